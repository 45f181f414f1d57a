#pragma once

#include "ToolsAPI.h"

#include <QList>

#include <functional>

class TModule;

// A view of the code editor listens to the module services through this:
// every call comes after the change it reports.
class TModuleServicesNotifier
{
public:
    virtual ~TModuleServicesNotifier();
    // A module was created (not when an open one got a creator's text anew:
    // that is an EditorChanged).
    virtual void ModuleOpened(const IOTAModulePtr &Module);
    // A module was closed; it has no files any more.
    virtual void ModuleClosed(const IOTAModulePtr &Module);
    // The text or the modified mark of an editor changed: its text replaced
    // (SetText, a creator's text for an open module), marked modified, saved.
    virtual void EditorChanged(const IOTASourceEditorPtr &Editor);
    // An editor was shown (brought to front).
    virtual void EditorShown(const IOTASourceEditorPtr &Editor);
};

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

    // Gives the open module FileName the name NewName (its component was
    // renamed), with the file its file system keeps; the module's editor is
    // reported changed. False when no module has the name or another one
    // has the new name.
    bool RenameModule(const QString &FileName, const QString &NewName);
    // Gives the open module FileName Text as the text its file holds (the
    // property it edits was changed under it, by an undo): the editor shows
    // it, not modified. A modified editor keeps what was typed in it. False
    // when no module has the name or its editor is modified.
    bool ReloadModule(const QString &FileName, const QString &Text);

    // The editor shown last (the one in front), while its module is open.
    IOTASourceEditorPtr FrontEditor() const;
    // Called whenever an editor is shown: the view brings it to front.
    std::function<void(const IOTASourceEditorPtr &Editor)> OnShow;

    // Adds a listener (not owned; it removes itself before it goes) and
    // returns the number that removes it.
    int AddNotifier(TModuleServicesNotifier *Notifier);
    void RemoveNotifier(int Index);

private:
    friend class TModule;
    friend class TSourceEditor;
    void editorShown(const IOTASourceEditorPtr &Editor);
    void moduleClosed(TModule *Module);
    void editorChanged(const IOTASourceEditorPtr &Editor);
    template<class F>
    void notify(F Call);

    QList<std::shared_ptr<TModule>> m_modules;
    QList<IOTAFileSystemPtr> m_fileSystems;
    std::weak_ptr<IOTASourceEditor> m_front;
    QList<std::pair<int, TModuleServicesNotifier *>> m_notifiers;
    int m_lastNotifier = 0;
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
