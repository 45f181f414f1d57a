#pragma once

#include "DesignErrors.h"

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <memory>

// The environment's open tools interfaces: module services, modules, their
// file editors, and the creator and file interfaces a package implements to
// have a module created. Interfaces are reference counted (std::shared_ptr):
// an object lives as long as someone holds it and goes with the last release.

using TGUID = QUuid;

class IInterface
{
public:
    virtual ~IInterface();
    // This object as the interface of identifier IID, or null when it serves
    // none of that identifier. The base serves none.
    virtual std::shared_ptr<IInterface> QueryInterface(const TGUID &IID);
};
using IInterfacePtr = std::shared_ptr<IInterface>;

// An interface query that must succeed: Obj's interface IID as a T, or
// EIntfCastError when Obj is null or does not serve it.
class EIntfCastError : public EDesignError
{
public:
    using EDesignError::EDesignError;
};

template<class T>
std::shared_ptr<T> Supports(const IInterfacePtr &Obj, const TGUID &IID)
{
    return Obj ? std::dynamic_pointer_cast<T>(Obj->QueryInterface(IID)) : nullptr;
}

[[noreturn]] void raiseIntfCast(const TGUID &IID);

template<class T>
std::shared_ptr<T> AsInterface(const IInterfacePtr &Obj, const TGUID &IID)
{
    if (std::shared_ptr<T> result = Supports<T>(Obj, IID))
        return result;
    raiseIntfCast(IID);
}

class IOTAModule;
using IOTAModulePtr = std::shared_ptr<IOTAModule>;

// The text of a new module's file and its age.
class IOTAFile : public IInterface
{
public:
    virtual QString GetSource() = 0;
    virtual QDateTime GetAge() = 0;
};
using IOTAFilePtr = std::shared_ptr<IOTAFile>;

// The form editor of a module with a form. Text modules have none.
class IOTAFormEditor : public IInterface
{};
using IOTAFormEditorPtr = std::shared_ptr<IOTAFormEditor>;

// What kind of module to create and where it belongs.
class IOTACreator : public IInterface
{
public:
    // "Text" for a plain text module.
    virtual QString GetCreatorType() = 0;
    // Whether the module's file exists already (in its file system).
    virtual bool GetExisting() = 0;
    // The identifier of the file system that keeps the module's file.
    virtual QString GetFileSystem() = 0;
    // The project the module belongs to; none for a module of its own.
    virtual IOTAModulePtr GetOwner() = 0;
    virtual bool GetUnnamed() = 0;
};
using IOTACreatorPtr = std::shared_ptr<IOTACreator>;

class IOTAModuleCreator : public IOTACreator
{
public:
    virtual QString GetAncestorName() = 0;
    // The module's file name: the name it is found by.
    virtual QString GetImplFileName() = 0;
    virtual QString GetIntfFileName() = 0;
    virtual QString GetFormName() = 0;
    virtual bool GetMainForm() = 0;
    virtual bool GetShowForm() = 0;
    virtual bool GetShowSource() = 0;
    virtual IOTAFilePtr NewFormFile(const QString &FormIdent, const QString &AncestorIdent) = 0;
    // The text of the module's file.
    virtual IOTAFilePtr NewImplSource(const QString &ModuleIdent, const QString &FormIdent,
                                      const QString &AncestorIdent)
        = 0;
    virtual IOTAFilePtr NewIntfSource(const QString &ModuleIdent, const QString &FormIdent,
                                      const QString &AncestorIdent)
        = 0;
    virtual void FormCreated(const IOTAFormEditorPtr &FormEditor) = 0;
};
using IOTAModuleCreatorPtr = std::shared_ptr<IOTAModuleCreator>;

// An editor of one file of a module.
class IOTAEditor : public IInterface
{
public:
    virtual QString GetFileName() = 0;
    virtual bool GetModified() = 0;
    // Marks the file changed, so closing the module asks to save it.
    virtual void MarkModified() = 0;
    // Brings the editor to front in the code editor.
    virtual void Show() = 0;
};
using IOTAEditorPtr = std::shared_ptr<IOTAEditor>;

// The file editor of a text module: its text, as the code editor's view edits it.
class IOTASourceEditor : public IOTAEditor
{
public:
    virtual QString GetText() = 0;
    // Replaces the text and marks the file modified.
    virtual void SetText(const QString &Text) = 0;
};
using IOTASourceEditorPtr = std::shared_ptr<IOTASourceEditor>;

// A module open in the environment.
class IOTAModule : public IInterface
{
public:
    virtual QString GetFileName() = 0;
    // The number of files (and file editors) of the module; 0 once closed.
    virtual int GetModuleFileCount() = 0;
    // The editor of file Index; EListError outside 0..count-1.
    virtual IOTAEditorPtr GetModuleFileEditor(int Index) = 0;
    // Writes the module's files through their file system; raises when a
    // file cannot be written, which leaves it modified.
    virtual void Save() = 0;
    // Closes the module. A modified module asks first (save, discard,
    // cancel); false when the user keeps it open.
    virtual bool Close() = 0;
    // As Close, without asking when ForceClosed is set (changes are dropped).
    virtual bool CloseModule(bool ForceClosed) = 0;
};

// Where the files of modules are kept: the environment asks the file system
// named by a creator to store a module's text when the module is saved.
class IOTAFileSystem : public IInterface
{
public:
    virtual QString GetIDString() = 0;
    // Stores Text as the file FileName; raises when it cannot.
    virtual void WriteFile(const QString &FileName, const QString &Text) = 0;
    // The module of FileName was closed; what was kept for it can go.
    virtual void FileClosed(const QString &FileName) = 0;
};
using IOTAFileSystemPtr = std::shared_ptr<IOTAFileSystem>;

// The identifier of IOTAModuleServices in an interface query.
inline const TGUID IID_IOTAModuleServices{QStringLiteral("{55A5E848-27FB-4880-8E7C-7F05A9802482}")};

class IOTAModuleServices : public IInterface
{
public:
    // Creates and opens the module Creator describes; null when it cannot be
    // created (no file name, a kind of creator this environment does not
    // serve). A module of the same name that is open already is returned
    // with the creator's text in it.
    virtual IOTAModulePtr CreateModule(const IOTACreatorPtr &Creator) = 0;
    // The open module FileName (letter case ignored), or null.
    virtual IOTAModulePtr FindModule(const QString &FileName) = 0;
    virtual int GetModuleCount() = 0;
    virtual IOTAModulePtr GetModule(int Index) = 0;
    // Makes FileSystem known under its identifier; registering an identifier
    // again keeps the first.
    virtual void RegisterFileSystem(const IOTAFileSystemPtr &FileSystem) = 0;
    virtual IOTAFileSystemPtr FindFileSystem(const QString &ID) = 0;
};
using IOTAModuleServicesPtr = std::shared_ptr<IOTAModuleServices>;

// The environment's services. Query it for IID_IOTAModuleServices. The
// designide library sets it when it loads; a host or a test may replace it.
extern IInterfacePtr BorlandIDEServices;
