#include "ModuleServices.h"
#include "Stfilsys.h"

#include "rtl/Classes.h"
#include "rtl/Dialogs.h"
#include "rtl/SysUtils.h"

IInterface::~IInterface() = default;

IInterfacePtr IInterface::QueryInterface(const TGUID &IID)
{
    Q_UNUSED(IID);
    return nullptr;
}

void raiseIntfCast(const TGUID &IID)
{
    throw EIntfCastError(
        QStringLiteral("Interface not supported: %1").arg(IID.toString(QUuid::WithBraces)));
}

IInterfacePtr BorlandIDEServices = std::make_shared<TIDEServices>();

// --- TSourceEditor, TModule ----------------------------------------------------

class TSourceEditor : public IOTASourceEditor, public std::enable_shared_from_this<TSourceEditor>
{
public:
    TSourceEditor(TModule *Module, const QString &Text)
        : m_module(Module)
        , m_text(Text)
    {}

    QString GetFileName() override;
    bool GetModified() override { return m_modified; }
    void MarkModified() override
    {
        m_modified = true;
        changed();
    }
    void Show() override;
    QString GetText() override { return m_text; }
    void SetText(const QString &Text) override
    {
        m_text = Text;
        m_modified = true;
        changed();
    }

    void reset(const QString &Text)
    {
        m_text = Text;
        m_modified = false;
        changed();
    }
    void saved()
    {
        m_modified = false;
        changed();
    }
    void detach() { m_module = nullptr; }

private:
    void changed();

    TModule *m_module; // the module owns the editor; null once closed
    QString m_text;
    bool m_modified = false;
};

class TModule : public IOTAModule, public std::enable_shared_from_this<TModule>
{
public:
    TModule(TModuleServices *Services, const QString &FileName, IOTAFileSystemPtr FileSystem,
            const QString &Text)
        : m_services(Services)
        , m_fileName(FileName)
        , m_fileSystem(std::move(FileSystem))
        , m_editor(std::make_shared<TSourceEditor>(this, Text))
    {}
    ~TModule() override
    {
        if (m_editor)
            m_editor->detach();
    }

    QString GetFileName() override { return m_fileName; }
    int GetModuleFileCount() override { return m_editor ? 1 : 0; }
    IOTAEditorPtr GetModuleFileEditor(int Index) override
    {
        if (Index < 0 || Index >= GetModuleFileCount())
            throw EListError(QStringLiteral("List index out of bounds (%1) in the files of %2")
                                 .arg(Index)
                                 .arg(m_fileName));
        return m_editor;
    }

    void Save() override
    {
        if (!m_editor)
            throw EDesignError(QStringLiteral("%1 is closed and cannot be saved").arg(m_fileName));
        m_fileSystem->WriteFile(m_fileName, m_editor->GetText());
        m_editor->saved();
    }

    bool Close() override { return CloseModule(false); }

    bool CloseModule(bool ForceClosed) override
    {
        if (!m_editor || !m_services)
            return true;
        if (!ForceClosed && m_editor->GetModified()) {
            const TModalResult answer
                = MessageDlg(QStringLiteral("Save changes to %1?").arg(m_fileName), mtConfirmation,
                             mbYesNoCancel);
            if (answer == mrYes)
                Save();
            else if (answer != mrNo)
                return false;
        }
        // Keep this module alive until the services have let go of it.
        const std::shared_ptr<TModule> self = shared_from_this();
        m_editor->detach();
        m_editor.reset();
        TModuleServices *services = m_services;
        m_services = nullptr;
        services->moduleClosed(this);
        m_fileSystem->FileClosed(m_fileName);
        return true;
    }

    void reopen(const QString &Text) { m_editor->reset(Text); }
    void rename(const QString &FileName) { m_fileName = FileName; }
    const IOTAFileSystemPtr &fileSystem() const { return m_fileSystem; }
    const std::shared_ptr<TSourceEditor> &editor() const { return m_editor; }
    TModuleServices *services() const { return m_services; }

private:
    TModuleServices *m_services;
    QString m_fileName;
    IOTAFileSystemPtr m_fileSystem;
    std::shared_ptr<TSourceEditor> m_editor;
};

QString TSourceEditor::GetFileName()
{
    return m_module ? m_module->GetFileName() : QString();
}

void TSourceEditor::changed()
{
    if (m_module && m_module->services())
        m_module->services()->editorChanged(shared_from_this());
}

void TSourceEditor::Show()
{
    if (m_module && m_module->services())
        m_module->services()->editorShown(shared_from_this());
}

// --- TModuleServices ---------------------------------------------------------------

TModuleServicesNotifier::~TModuleServicesNotifier() = default;
void TModuleServicesNotifier::ModuleOpened(const IOTAModulePtr &) {}
void TModuleServicesNotifier::ModuleClosed(const IOTAModulePtr &) {}
void TModuleServicesNotifier::EditorChanged(const IOTASourceEditorPtr &) {}
void TModuleServicesNotifier::EditorShown(const IOTASourceEditorPtr &) {}

int TModuleServices::AddNotifier(TModuleServicesNotifier *Notifier)
{
    m_notifiers.append({++m_lastNotifier, Notifier});
    return m_lastNotifier;
}

void TModuleServices::RemoveNotifier(int Index)
{
    m_notifiers.removeIf([Index](const auto &N) { return N.first == Index; });
}

template<class F>
void TModuleServices::notify(F Call)
{
    // A listener may remove itself (or another) while it is told.
    const auto notifiers = m_notifiers;
    for (const auto &n : notifiers)
        if (m_notifiers.contains(n))
            Call(n.second);
}

void TModuleServices::editorChanged(const IOTASourceEditorPtr &Editor)
{
    notify([&](TModuleServicesNotifier *N) { N->EditorChanged(Editor); });
}

TModuleServices::TModuleServices() = default;

TModuleServices::~TModuleServices()
{
    // Modules outliving the services (held by someone) must not call back.
    const QList<std::shared_ptr<TModule>> modules = m_modules;
    for (const std::shared_ptr<TModule> &module : modules)
        module->CloseModule(true);
}

IOTAModulePtr TModuleServices::CreateModule(const IOTACreatorPtr &Creator)
{
    const auto creator = std::dynamic_pointer_cast<IOTAModuleCreator>(Creator);
    if (!creator || creator->GetCreatorType() != QLatin1String("Text"))
        return nullptr;
    // A module without a name could never be found again, and a file system
    // could not tell its file from another one.
    const QString fileName = creator->GetImplFileName();
    if (fileName.isEmpty())
        return nullptr;
    const QString fsName = creator->GetFileSystem();
    IOTAFileSystemPtr fileSystem = FindFileSystem(fsName);
    if (!fileSystem)
        throw EDesignError(QStringLiteral("Cannot create module %1: no file system \"%2\" is "
                                          "registered")
                               .arg(fileName, fsName));
    const IOTAFilePtr source = creator->NewImplSource(fileName, QString(), QString());
    const QString text = source ? source->GetSource() : QString();
    if (IOTAModulePtr open = FindModule(fileName)) {
        static_cast<TModule *>(open.get())->reopen(text);
        return open;
    }
    auto module = std::make_shared<TModule>(this, fileName, std::move(fileSystem), text);
    m_modules.append(module);
    notify([&](TModuleServicesNotifier *N) { N->ModuleOpened(module); });
    return module;
}

IOTAModulePtr TModuleServices::FindModule(const QString &FileName)
{
    for (const std::shared_ptr<TModule> &module : std::as_const(m_modules))
        if (SameText(module->GetFileName(), FileName))
            return module;
    return nullptr;
}

bool TModuleServices::RenameModule(const QString &FileName, const QString &NewName)
{
    const IOTAModulePtr module = FindModule(FileName);
    if (!module || NewName.isEmpty())
        return false;
    if (SameText(FileName, NewName) && FileName == NewName)
        return true;
    if (const IOTAModulePtr other = FindModule(NewName); other && other != module)
        return false;
    auto *m = static_cast<TModule *>(module.get());
    m->rename(NewName);
    if (auto *strings = dynamic_cast<TStringsFileSystem *>(m->fileSystem().get()))
        strings->RenameFile(FileName, NewName);
    if (m->editor())
        editorChanged(m->editor());
    return true;
}

bool TModuleServices::ReloadModule(const QString &FileName, const QString &Text)
{
    const IOTAModulePtr module = FindModule(FileName);
    auto *m = static_cast<TModule *>(module.get());
    if (!m || !m->editor() || m->editor()->GetModified())
        return false;
    if (m->editor()->GetText() != Text)
        m->reopen(Text);
    return true;
}

int TModuleServices::GetModuleCount()
{
    return static_cast<int>(m_modules.size());
}

IOTAModulePtr TModuleServices::GetModule(int Index)
{
    if (Index < 0 || Index >= m_modules.size())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(Index));
    return m_modules.at(Index);
}

void TModuleServices::RegisterFileSystem(const IOTAFileSystemPtr &FileSystem)
{
    if (!FileSystem || FindFileSystem(FileSystem->GetIDString()))
        return;
    m_fileSystems.append(FileSystem);
}

IOTAFileSystemPtr TModuleServices::FindFileSystem(const QString &ID)
{
    for (const IOTAFileSystemPtr &fs : std::as_const(m_fileSystems))
        if (SameText(fs->GetIDString(), ID))
            return fs;
    return nullptr;
}

IOTASourceEditorPtr TModuleServices::FrontEditor() const
{
    // The editor of a closed module has no file any more.
    IOTASourceEditorPtr editor = m_front.lock();
    return editor && !editor->GetFileName().isEmpty() ? editor : nullptr;
}

void TModuleServices::editorShown(const IOTASourceEditorPtr &Editor)
{
    m_front = Editor;
    if (OnShow)
        OnShow(Editor);
    notify([&](TModuleServicesNotifier *N) { N->EditorShown(Editor); });
}

void TModuleServices::moduleClosed(TModule *Module)
{
    for (qsizetype i = 0; i < m_modules.size(); ++i)
        if (m_modules.at(i).get() == Module) {
            const IOTAModulePtr closed = m_modules.takeAt(i);
            notify([&](TModuleServicesNotifier *N) { N->ModuleClosed(closed); });
            break;
        }
}

// --- TIDEServices -------------------------------------------------------------------

TIDEServices::TIDEServices()
    : m_moduleServices(std::make_shared<TModuleServices>())
{}

IInterfacePtr TIDEServices::QueryInterface(const TGUID &IID)
{
    if (IID == IID_IOTAModuleServices)
        return m_moduleServices;
    return nullptr;
}

std::shared_ptr<TModuleServices> ideModuleServices()
{
    return std::dynamic_pointer_cast<TModuleServices>(
        Supports<IOTAModuleServices>(BorlandIDEServices, IID_IOTAModuleServices));
}
