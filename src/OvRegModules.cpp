#include "OvRegModules.h"

#include "designide/Stfilsys.h"
#include "designide/ToolsAPI.h"

#include "rtl/Classes.h"
#include "rtl/SysUtils.h"
#include "rtl/UiServices.h"

#include <QBuffer>

namespace {

// The text of a new strings module and its age.
class TOTAFile : public IOTAFile
{
public:
    TOTAFile(const QString &ASource, const QDateTime &AAge)
        : FSource(ASource)
        , FAge(AAge)
    {}

    QString GetSource() override { return FSource; }
    QDateTime GetAge() override { return FAge; }

private:
    QString FSource;
    QDateTime FAge;
};

// Describes a strings module to the module services: a text module of the
// strings file system, named FFileName, whose text is FStream's.
class TStringsModuleCreator : public IOTAModuleCreator
{
public:
    TStringsModuleCreator(const QString &FileName, std::unique_ptr<QBuffer> Stream,
                          const QDateTime &Age)
        : FFileName(FileName)
        , FStream(std::move(Stream))
        , FAge(Age)
    {}

    QString GetCreatorType() override { return QStringLiteral("Text"); }
    bool GetExisting() override { return true; }
    QString GetFileSystem() override { return QStringLiteral("Delphi.TStringsFileSystem"); }
    IOTAModulePtr GetOwner() override { return nullptr; }
    bool GetUnnamed() override { return false; }

    QString GetAncestorName() override { return QString(); }
    QString GetImplFileName() override { return FFileName; }
    QString GetIntfFileName() override { return QString(); }
    QString GetFormName() override { return QString(); }
    bool GetMainForm() override { return false; }
    bool GetShowForm() override { return false; }
    bool GetShowSource() override { return true; }
    IOTAFilePtr NewFormFile(const QString &, const QString &) override { return nullptr; }
    IOTAFilePtr NewImplSource(const QString &, const QString &, const QString &) override
    {
        return std::make_shared<TOTAFile>(QString::fromUtf8(FStream->data()), FAge);
    }
    IOTAFilePtr NewIntfSource(const QString &, const QString &, const QString &) override
    {
        return nullptr;
    }
    void FormCreated(const IOTAFormEditorPtr &) override {}

private:
    QString FFileName;
    std::unique_ptr<QBuffer> FStream;
    QDateTime FAge;
};

IOTAModuleServicesPtr moduleServices()
{
    return AsInterface<IOTAModuleServices>(BorlandIDEServices, IID_IOTAModuleServices);
}

// The open module of the property, or null; never asks for a module without a name.
IOTAModulePtr findStringsModule(const IOTAModuleServicesPtr &Services, const IDesignerPtr &Designer,
                                QObject *Component, const QString &PropName)
{
    const QString name = StringsModuleName(Designer, Component, PropName);
    return name.isEmpty() ? nullptr : Services->FindModule(name);
}

} // namespace

QString StringsModuleName(const IDesignerPtr &Designer, const QObject *Component,
                          const QString &PropName)
{
    const QObject *root = Designer ? Designer->Root() : nullptr;
    if (!Component || !root || Component->parent() != root || root->objectName().isEmpty())
        return QString();
    return Designer->GetDesignerExtension() + u'.' + root->objectName() + u'.'
           + Component->objectName() + u'.' + PropName;
}

void ShowStringsInCodeEditor(const IDesignerPtr &Designer, QObject *Component,
                             const QString &PropName, TStrings *List, bool Modified)
{
    const IOTAModuleServicesPtr services = moduleServices();
    const QString name = StringsModuleName(Designer, Component, PropName);
    if (name.isEmpty())
        throw Exception(QStringLiteral("%1 cannot be opened in the code editor: only a "
                                       "component of a named form or data module can")
                            .arg(Component ? Component->objectName() + u'.' + PropName : PropName));
    Stfilsys::Register();
    auto stream = std::make_unique<QBuffer>();
    stream->open(QIODevice::ReadWrite);
    if (List)
        List->SaveToStream(*stream);
    stream->seek(0);
    const QDateTime age = Now();
    const IOTAModulePtr module = services->CreateModule(
        std::make_shared<TStringsModuleCreator>(name, std::move(stream), age));
    if (!module)
        return;
    StringsFileSystem()
        ->GetTStringsProperty(name, Component, PropName)
        ->SetFileDate(DateTimeToFileDate(age));
    const IOTAEditorPtr editor = module->GetModuleFileEditor(0);
    if (Modified)
        editor->MarkModified();
    editor->Show();
}

bool CloseStringsModule(const IDesignerPtr &Designer, QObject *Component, const QString &PropName)
{
    const IOTAModuleServicesPtr services = moduleServices();
    const IOTAModulePtr module = findStringsModule(services, Designer, Component, PropName);
    if (!module || module->GetModuleFileCount() <= 0)
        return true;
    return module->Close();
}

bool ShowExistingStringsModule(const IDesignerPtr &Designer, QObject *Component,
                               const QString &PropName)
{
    const IOTAModuleServicesPtr services = moduleServices();
    const IOTAModulePtr module = findStringsModule(services, Designer, Component, PropName);
    if (!module || module->GetModuleFileCount() < 1)
        return false;
    module->GetModuleFileEditor(0)->Show();
    return true;
}

bool IsAltKeyDown()
{
    return uiServices().isAltKeyDown();
}
