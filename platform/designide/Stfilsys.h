#pragma once

#include "DesignIntf.h"
#include "ToolsAPI.h"

#include <QHash>
#include <QPointer>

// The strings file system: it keeps a text module's file in a string-list
// property of a component. A module created with the file system identifier
// "Delphi.TStringsFileSystem" whose name was tied to a component and a
// property (GetTStringsProperty) writes its text into that property when it
// is saved: through the property's setter, and the component's designer is
// told (Modified).

// The file of one string-list property.
class TStringsProperty
{
public:
    TStringsProperty(QObject *Component, const QString &PropName);

    QObject *Component() const { return m_component; }
    QString PropName() const { return m_propName; }
    // The file's date (DateTimeToFileDate): when the module was made or
    // last saved.
    qint64 FileDate() const { return m_fileDate; }
    void SetFileDate(qint64 Value) { m_fileDate = Value; }

    // Writes Text into the property through its setter and tells the
    // component's designer. Raises when the component is gone or the
    // property is no string list it can write.
    void Write(const QString &Text);

private:
    QPointer<QObject> m_component;
    QString m_propName;
    qint64 m_fileDate = 0;
};

class TStringsFileSystem : public IOTAFileSystem
{
public:
    static QString ID() { return QStringLiteral("Delphi.TStringsFileSystem"); }

    QString GetIDString() override { return ID(); }
    void WriteFile(const QString &FileName, const QString &Text) override;
    void FileClosed(const QString &FileName) override;

    // Ties the file Ident to the property PropName of Component and returns
    // its file; a name tied before is tied anew. An empty name, or no
    // component, raises: such a file could not be told from another one.
    TStringsProperty *GetTStringsProperty(const QString &Ident, QObject *Component,
                                          const QString &PropName);
    // The file FileName is called NewName from now on (its component was
    // renamed); a file tied to NewName before is replaced.
    void RenameFile(const QString &FileName, const QString &NewName);
    // The file Ident, or null when no property is tied to it.
    TStringsProperty *FindTStringsProperty(const QString &Ident) const;

private:
    // Keyed by the file name in upper case: names are compared without case.
    QHash<QString, std::shared_ptr<TStringsProperty>> m_files;
};

namespace Stfilsys {
// Registers the strings file system with the module services of
// BorlandIDEServices, once; later calls do nothing.
void Register();
} // namespace Stfilsys

// The strings file system, registered or not.
TStringsFileSystem *StringsFileSystem();

// The environment's own way to open a string-list property in the code
// editor, as its default string-list editor does: a text module of the
// strings file system, found again under the same name a package uses
// (designer extension "." root "." component "." property).

// The module name of property PropName of Component in Designer; empty when
// the component is not owned by the designer's named root.
QString StringsModuleIdent(const IDesignerPtr &Designer, const QObject *Component,
                           const QString &PropName);
// Opens Text as the property's module (an open one gets the text), marked
// modified when Modified is set, and shows it. Raises EDesignError when the
// property has no module name: such a module could be saved into another
// component's property.
void OpenStringsModule(const IDesignerPtr &Designer, QObject *Component, const QString &PropName,
                       const QString &Text, bool Modified);
// Brings the property's open module to front; false when none is open.
bool ShowOpenStringsModule(const IDesignerPtr &Designer, const QObject *Component,
                           const QString &PropName);
