#pragma once

#include "DesignErrors.h"
#include "DesignIntf.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

#include <memory>

// Form files: the environment's text format for a form or data module and
// the components on it.
//
//   object DataModule1: TDataModule
//     object Query1: TOvQuery
//       DatabaseName = 'demo'
//       SQL.Strings = (
//         'select *'
//         'from customer')
//       Left = 40
//       Top = 16
//     end
//   end
//
// Components are QObjects; their published properties are their Q_PROPERTYs
// (QObject's own objectName is the component's Name and is not a property).
// Values: integers, floats, True/False, enumerations by name, sets as
// [a, b], strings in single quotes with #nn escapes for control characters
// and non-ASCII text (long strings split with "+"), string lists as
// "Prop.Strings = ( ... )", collections as "Prop = < item ... end >", and
// component references by name, binary data as {hex digits}. A component's
// design position (Left, Top) is kept as a dynamic property of that name;
// how its block begins ("inherited" or "inline" instead of "object", and the
// position "[n]" after its class) as the dynamic properties named by
// FormHeaderKindProperty and FormHeaderIndexProperty, so that a form read
// and saved keeps them.

// The root class of a data module: the usual root of a form file.
class TDataModule : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int Height READ Height WRITE SetHeight)
    Q_PROPERTY(int Width READ Width WRITE SetWidth)

public:
    Q_INVOKABLE explicit TDataModule(QObject *AOwner = nullptr);

    int Height() const { return m_height; }
    void SetHeight(int Value) { m_height = Value; }
    int Width() const { return m_width; }
    void SetWidth(int Value) { m_width = Value; }

private:
    int m_height = 150;
    int m_width = 215;
};

// A component of a class no loaded package registers, read from a form file.
// Its block is kept whole as it was written (its properties, the components
// inside it) and written back so; only its name and design position (Left,
// Top) can change. FormClassNameProperty holds the class the text names.
class TNotLoadedComponent : public QObject
{
    Q_OBJECT

public:
    Q_INVOKABLE explicit TNotLoadedComponent(QObject *AOwner = nullptr);
    // The class the form file names for it.
    QString ClassName() const;
};

// A form file that cannot be read: the message names the file, the line and
// the column (both from 1) of the first fault.
class EFormError : public EDesignError
{
public:
    EFormError(const QString &Message, int Line = 0, int Column = 0);
    int Line() const { return m_line; }
    int Column() const { return m_column; }

private:
    int m_line;
    int m_column;
};

// Whether Name can name a component: a letter or "_", then letters, digits
// and "_", all ASCII; and not "nil", which a reference means no component by.
// The reader, renaming and pasting apply this one rule.
bool IsValidComponentName(const QString &Name);

// The dynamic properties that keep a component's block header (see above):
// "inherited" or "inline" (absent for "object"), and the position (an int).
constexpr const char *FormHeaderKindProperty = "_formHeaderKind";
constexpr const char *FormHeaderIndexProperty = "_formHeaderIndex";
// The class name a block's header gives when it is not the object's own: a
// root of a class no package registers (`object DM: TDM`) reads as a
// TDataModule and a component of such a class as a TNotLoadedComponent.
constexpr const char *FormClassNameProperty = "_formClassName";
// The class name a form file gives Component: FormClassNameProperty, else
// its own class's.
QString FormClassName(const QObject *Component);

// Classes a form file may name besides the registered palette classes (the
// environment's own, such as TDataModule, and a host's). A class must have a
// Q_INVOKABLE constructor taking the owner. Registering a class again is harmless.
void RegisterClasses(const QList<TComponentClass> &Classes);
void UnRegisterClasses(const QList<TComponentClass> &Classes);
// The class named ClassName (letter case ignored): a palette class or a
// registered one; null when neither knows it.
TComponentClass GetClass(const QString &ClassName);
// The components below Root: every named object whose class a form file can
// name, in creation order, depth first. A text nests objects only in
// objects of such classes, so the parts of a component (its parameters,
// definitions, collection items) are not looked into.
QList<QObject *> DesignComponents(const QObject *Root);

// Reading text never acts on the outside world. Connected, Active and
// Prepared set to True in a text (a form opened, a paste, an undo, every
// command of the command line) are not set while it is read, nor after:
// TFormReader::Read holds them on the component (HeldActivations), the
// writer writes them back as they were stored, and the component stays
// closed until a person opens it (ActivateHeld, or setting the property).
// No reading path has a way to act; acting is a separate call.
struct TDeferredProperty
{
    QObject *Component = nullptr;
    QString PropName;
    QVariant Value;
    int Line = 0;
};

// Where a component starts in a form file (the line of its "object") and
// where each property written for it starts (lines from 1): what messages
// about a component read from a file point at.
struct TComponentSource
{
    int Line = 0;
    // Property name as written, in lower case and without ".Strings".
    QHash<QString, int> Properties;
    // The line of property Name, or the component's when it is not written.
    int PropertyLine(const QString &Name) const
    {
        return Name.isEmpty() ? Line : Properties.value(Name.toLower(), Line);
    }
};
using TFormSourceMap = QHash<const QObject *, TComponentSource>;

// The activation properties (Connected, Active, Prepared) that Component
// stores as True in the text it was read from and that were not acted on.
QStringList HeldActivations(const QObject *Component);
bool IsHeldActivation(const QObject *Component, const QString &PropName);
// Forgets (Held false) or records a stored True; the property editors
// forget it when a person sets the property to False.
void SetHeldActivation(QObject *Component, const QString &PropName, bool Held);
// Whether setting Name to True acts on the outside world.
bool IsActivationProperty(const QObject *Component, const QString &PropName);
// A person's one step: sets each held activation of Component live
// (connects, opens), in declaration order; the stored values stay held. A
// failure raises as setting the property raises.
void ActivateHeld(QObject *Component);

// Something in a form file that is read but that the designer cannot use:
// a reference into another module (`DataSet = Other.Query`), kept as written.
struct TFormWarning
{
    int Line = 0;
    QString Message; // "file(line): ..."
};

// Reads one form file. The whole text is read before anything is handed
// out: on the first fault Read raises EFormError and frees everything it
// built.
//
// What an IDE writes is kept: each component remembers the text it was read
// from, so that writing it back reuses that text for everything that did not
// change (see WriteFormText). Event properties (OnXxx = Handler) of any
// component and the root's properties no class of ours publishes
// (OldCreateOrder, PixelsPerInch) are kept as written; a component of a class
// no package registers becomes a TNotLoadedComponent; a reference to such a
// component, or into another module, is kept as written and left unset.
class TFormReader
{
public:
    // FileName only names the file in messages.
    explicit TFormReader(QString Text, QString FileName = QString());
    ~TFormReader();

    // The root component with the form's components below it (each owned by
    // the object it is written in). References are resolved after the whole
    // text was read; activations are held, never acted on.
    std::unique_ptr<QObject> Read();
    // References to components the text does not hold are left unset and
    // their lines (from 1) listed in Lines, instead of failing the read
    // (a paste refers to components of a module it may not reach).
    void SetDanglingReferences(QList<int> *Lines) { m_dangling = Lines; }
    // References into other modules, kept as written, in form order.
    const QList<TFormWarning> &Warnings() const { return m_warnings; }
    // The activations held, in form order, with their lines (for reports).
    const QList<TDeferredProperty> &Deferred() const { return m_deferred; }
    // When set before Read, Read fills Sources (cleared first) with where
    // each component and property it builds starts; nothing is kept otherwise.
    void SetSourceMap(TFormSourceMap *Sources) { m_sources = Sources; }
    // Acts on the held activations in form order, for a caller that was
    // asked to; a failure raises EFormError naming the component and the line.
    void ApplyDeferred();

private:
    QString m_text;
    QString m_fileName;
    QList<TDeferredProperty> m_deferred;
    QList<TFormWarning> m_warnings;
    TFormSourceMap *m_sources = nullptr;
    QList<int> *m_dangling = nullptr;
};

// The form text of Root and the components below it. Only published
// properties that differ from those of a new component of the same class
// are written, in declaration order (a property the class names in its
// Q_CLASSINFO("nodefault", "A, B") is written whatever its value); properties
// marked not stored, and
// those whose component says Is<Name>Stored() is false, are left out.
//
// A component read from a form text is written as it was read wherever it
// did not change: its header, each property whose value is what it was when
// read (whatever its spelling, order, default or escapes), the properties
// kept as written, and its "end". A changed property is written anew in
// its place, a property newly set after the others of its class before it,
// a new component after the others: a change touches only its own lines.
// Line breaks are "\n" (SaveFormFile writes the file's own).
QString WriteFormText(const QObject *Root);

// The form text of single components of one module, each written as
// WriteFormText writes it inside the module (references to the module's
// other components by name) but at the outermost level: a component with
// the components it owns, the root alone without its components. One writer
// serves many components of a module: the defaults it compares with are
// made once, and freed with it.
class TComponentTextWriter
{
public:
    explicit TComponentTextWriter(const QObject *Root);
    ~TComponentTextWriter();
    QString Text(const QObject *Component);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Acts on held activations in form order (what TFormReader::ApplyDeferred
// does); FileName only names the file in messages. No reading path calls it.
void ApplyDeferredProperties(const QList<TDeferredProperty> &Deferred, const QString &FileName);

// What a form file held when it was read or last written, so that a change
// another program made since (an editor, a version control pull) is noticed
// before it is overwritten.
struct TFormFileStamp
{
    bool Exists = false;
    QByteArray Digest; // of the file's bytes
    bool operator==(const TFormFileStamp &) const = default;
};
// The stamp of the file as it is on disk now.
TFormFileStamp CurrentFormFileStamp(const QString &FileName);

// The largest form file read: far above a module of ten thousand components.
constexpr qint64 MaxFormFileSize = 256 * 1024 * 1024;

// The text of a form file's bytes, read as UTF-8. A byte that is no part of
// valid UTF-8 (a file of an older tool in Latin-1, or one stray byte in a
// UTF-8 file) becomes the character U+DC00 plus the byte, so that no byte
// becomes a replacement character and EncodeFormFileText gives it back; in
// a string value it reads as the Latin-1 character of that byte.
QString DecodeFormFileBytes(const QByteArray &Bytes);
// The bytes of a form text: UTF-8, the bytes DecodeFormFileBytes kept as they were.
QByteArray EncodeFormFileText(const QString &Text);

// The text of form file FileName (DecodeFormFileBytes), with its stamp.
// Raises EFormError naming the file when it is missing or no regular file.
QString ReadFormFileText(const QString &FileName, TFormFileStamp *Stamp = nullptr);

// Reads FileName (see ReadFormFileText). Errors name the file. Sources, when
// given, receives where each component and property starts
// (TFormReader::SetSourceMap); Stamp what the file held.
std::unique_ptr<QObject> LoadFormFile(const QString &FileName,
                                      QList<TDeferredProperty> *Deferred = nullptr,
                                      TFormSourceMap *Sources = nullptr,
                                      TFormFileStamp *Stamp = nullptr,
                                      QList<TFormWarning> *Warnings = nullptr);

// SaveFormFile found the file changed since it was read or last saved.
class EFormFileChanged : public EFormError
{
public:
    using EFormError::EFormError;
};

// The bytes SaveFormFile writes for Root: WriteFormText with the line breaks
// of the file Root was read from, encoded by EncodeFormFileText.
QByteArray FormFileBytes(const QObject *Root);

// Writes the form text of Root to FileName, replacing it atomically through
// the platform's one atomic writer, and keeps the previous version as
// NAME.~EXT (FormBackupFileName). The file keeps its owner, group and
// permissions; a form with a second name (a hard link), or whose owner the
// saving user cannot give a new file, is written in place after its backup
// is copied, so every name sees the new text. The order makes every failure
// harmless: the new text is written and synced to a temporary file first (a
// full disk fails here, with the system's reason); then the old file becomes
// the backup, replacing the old backup and never writing through a link in
// its place, with the form's permissions; then the new file is renamed over
// the form. On any failure EFormError is raised and the form and its backup
// are as they were. With Expected, the file must still be what that stamp
// says (compared under the form's FileWriteLock, which keeps other
// processes' saves of this form apart and lets saves of other forms go on),
// else EFormFileChanged is raised and nothing is written. Temporary files a
// killed save of this form left are removed. Returns the stamp of what was
// written.
TFormFileStamp SaveFormFile(const QObject *Root, const QString &FileName,
                            const TFormFileStamp *Expected = nullptr);
// The backup name of a form file: "~" put before its extension (col.dfm:
// col.~dfm, col.xfm: col.~xfm), or after a name that has none; no two forms
// share a backup and no form is its own.
QString FormBackupFileName(const QString &FileName);
