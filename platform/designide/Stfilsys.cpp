#include "Stfilsys.h"

#include "DesignIntf.h"

#include "rtl/Classes.h"
#include "rtl/SysUtils.h"

#include <QMetaProperty>

namespace {

const std::shared_ptr<TStringsFileSystem> &theFileSystem()
{
    static const auto fileSystem = std::make_shared<TStringsFileSystem>();
    return fileSystem;
}

QString key(const QString &FileName)
{
    return FileName.toUpper();
}

class TTextFile : public IOTAFile
{
public:
    explicit TTextFile(const QString &Text)
        : m_text(Text)
        , m_age(Now())
    {}
    QString GetSource() override { return m_text; }
    QDateTime GetAge() override { return m_age; }

private:
    QString m_text;
    QDateTime m_age;
};

// A text module of the strings file system with a given text.
class TStringsModuleCreator : public IOTAModuleCreator
{
public:
    TStringsModuleCreator(const QString &Name, const QString &Text)
        : m_name(Name)
        , m_text(Text)
    {}

    QString GetCreatorType() override { return QStringLiteral("Text"); }
    bool GetExisting() override { return true; }
    QString GetFileSystem() override { return TStringsFileSystem::ID(); }
    IOTAModulePtr GetOwner() override { return nullptr; }
    bool GetUnnamed() override { return false; }
    QString GetAncestorName() override { return {}; }
    QString GetImplFileName() override { return m_name; }
    QString GetIntfFileName() override { return {}; }
    QString GetFormName() override { return {}; }
    bool GetMainForm() override { return false; }
    bool GetShowForm() override { return false; }
    bool GetShowSource() override { return true; }
    IOTAFilePtr NewFormFile(const QString &, const QString &) override { return nullptr; }
    IOTAFilePtr NewImplSource(const QString &, const QString &, const QString &) override
    {
        return std::make_shared<TTextFile>(m_text);
    }
    IOTAFilePtr NewIntfSource(const QString &, const QString &, const QString &) override
    {
        return nullptr;
    }
    void FormCreated(const IOTAFormEditorPtr &) override {}

private:
    QString m_name;
    QString m_text;
};

IOTAModuleServicesPtr moduleServices()
{
    return AsInterface<IOTAModuleServices>(BorlandIDEServices, IID_IOTAModuleServices);
}

} // namespace

TStringsProperty::TStringsProperty(QObject *Component, const QString &PropName)
    : m_component(Component)
    , m_propName(PropName)
{}

void TStringsProperty::Write(const QString &Text)
{
    QObject *component = m_component;
    if (!component)
        throw EDesignError(
            QStringLiteral("Cannot write %1: its component no longer exists").arg(m_propName));
    const QMetaObject *meta = component->metaObject();
    const int index = meta->indexOfProperty(m_propName.toLatin1().constData());
    const QMetaProperty property = index >= 0 ? meta->property(index) : QMetaProperty();
    if (!property.isValid() || property.metaType() != QMetaType::fromType<TStrings *>())
        throw EPropertyError(QStringLiteral("%1 has no string-list property %2")
                                 .arg(component->objectName(), m_propName));
    TStringList lines;
    lines.SetText(Text);
    if (!property.write(component, QVariant::fromValue<TStrings *>(&lines)))
        throw EPropertyError(QStringLiteral("Cannot set property %1 of %2")
                                 .arg(m_propName, component->objectName()));
    m_fileDate = DateTimeToFileDate(Now());
    if (IDesigner *designer = FindRootDesigner(component))
        designer->Modified();
}

void TStringsFileSystem::WriteFile(const QString &FileName, const QString &Text)
{
    TStringsProperty *file = FindTStringsProperty(FileName);
    if (!file)
        throw EDesignError(QStringLiteral("No property is tied to %1").arg(FileName));
    file->Write(Text);
}

void TStringsFileSystem::FileClosed(const QString &FileName)
{
    m_files.remove(key(FileName));
}

TStringsProperty *TStringsFileSystem::GetTStringsProperty(const QString &Ident, QObject *Component,
                                                          const QString &PropName)
{
    if (Ident.isEmpty() || !Component)
        throw EDesignError(
            QStringLiteral("Cannot tie property %1 to a file without a name").arg(PropName));
    auto file = std::make_shared<TStringsProperty>(Component, PropName);
    m_files.insert(key(Ident), file);
    return file.get();
}

void TStringsFileSystem::RenameFile(const QString &FileName, const QString &NewName)
{
    const auto it = m_files.find(key(FileName));
    if (it == m_files.end())
        return;
    std::shared_ptr<TStringsProperty> file = *it;
    m_files.erase(it);
    m_files.insert(key(NewName), std::move(file));
}

TStringsProperty *TStringsFileSystem::FindTStringsProperty(const QString &Ident) const
{
    const auto it = m_files.constFind(key(Ident));
    return it == m_files.cend() ? nullptr : it->get();
}

void Stfilsys::Register()
{
    moduleServices()->RegisterFileSystem(theFileSystem());
}

TStringsFileSystem *StringsFileSystem()
{
    return theFileSystem().get();
}

QString StringsModuleIdent(const IDesignerPtr &Designer, const QObject *Component,
                           const QString &PropName)
{
    const QObject *root = Designer ? Designer->Root() : nullptr;
    if (!Component || !root || Component->parent() != root || root->objectName().isEmpty())
        return {};
    return Designer->GetDesignerExtension() + u'.' + root->objectName() + u'.'
           + Component->objectName() + u'.' + PropName;
}

void OpenStringsModule(const IDesignerPtr &Designer, QObject *Component, const QString &PropName,
                       const QString &Text, bool Modified)
{
    const QString name = StringsModuleIdent(Designer, Component, PropName);
    if (name.isEmpty())
        throw EDesignError(QStringLiteral("%1 cannot be opened in the code editor: only a "
                                          "component of a named form or data module can")
                               .arg(Component ? Component->objectName() + u'.' + PropName
                                              : PropName));
    Stfilsys::Register();
    const IOTAModulePtr module
        = moduleServices()->CreateModule(std::make_shared<TStringsModuleCreator>(name, Text));
    if (!module)
        throw EDesignError(QStringLiteral("The code editor cannot open %1").arg(name));
    StringsFileSystem()
        ->GetTStringsProperty(name, Component, PropName)
        ->SetFileDate(DateTimeToFileDate(Now()));
    const IOTAEditorPtr editor = module->GetModuleFileEditor(0);
    if (Modified)
        editor->MarkModified();
    editor->Show();
}

bool ShowOpenStringsModule(const IDesignerPtr &Designer, const QObject *Component,
                           const QString &PropName)
{
    const QString name = StringsModuleIdent(Designer, Component, PropName);
    const IOTAModulePtr module = name.isEmpty() ? nullptr : moduleServices()->FindModule(name);
    if (!module || module->GetModuleFileCount() < 1)
        return false;
    module->GetModuleFileEditor(0)->Show();
    return true;
}
