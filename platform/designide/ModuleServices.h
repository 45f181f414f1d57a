#pragma once

#include "ToolsAPI.h"

#include <QList>

#include <functional>

class TModule;

// The environment's module services: the model of the code editor. It keeps
// the open text modules, each with one source editor, and stores a module's
// text through the file system its creator named. The designer application
// puts a view on it (OnShow, the editors' text); tests use it directly.
class TModuleServices : public IOTAModuleServices,
                        public std::enable_shared_from_this<TModuleServices>
{
public:
    TModuleServices();
    ~TModuleServices() override;

    IOTAModulePtr CreateModule(const IOTACreatorPtr &Creator) override;
    IOTAModulePtr FindModule(const QString &FileName) override;
    int GetModuleCount() override;
    IOTAModulePtr GetModule(int Index) override;
    void RegisterFileSystem(const IOTAFileSystemPtr &FileSystem) override;
    IOTAFileSystemPtr FindFileSystem(const QString &ID) override;

    // The editor shown last (the one in front), while its module is open.
    IOTASourceEditorPtr FrontEditor() const;
    // Called whenever an editor is shown: the view brings it to front.
    std::function<void(const IOTASourceEditorPtr &Editor)> OnShow;

private:
    friend class TModule;
    friend class TSourceEditor;
    void editorShown(const IOTASourceEditorPtr &Editor);
    void moduleClosed(TModule *Module);

    QList<std::shared_ptr<TModule>> m_modules;
    QList<IOTAFileSystemPtr> m_fileSystems;
    std::weak_ptr<IOTASourceEditor> m_front;
};

// The environment's services object, serving IOTAModuleServices.
class TIDEServices : public IInterface
{
public:
    TIDEServices();
    IInterfacePtr QueryInterface(const TGUID &IID) override;
    const std::shared_ptr<TModuleServices> &ModuleServices() const { return m_moduleServices; }

private:
    std::shared_ptr<TModuleServices> m_moduleServices;
};

// The module services of BorlandIDEServices, as the environment's own class;
// null when BorlandIDEServices was replaced by something else.
std::shared_ptr<TModuleServices> ideModuleServices();
