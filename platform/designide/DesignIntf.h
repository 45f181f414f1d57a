#pragma once

#include <QList>
#include <QMetaObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QObject;
class TComponentEditor;
class TPropertyEditor;
class TSprig;

// A component class: the meta-object of a QObject class with published
// properties. Descent follows QMetaObject::superClass().
using TComponentClass = const QMetaObject *;

// The type of a published property as the class libraries name it
// ("Boolean", "string", "Integer", "TStrings", "TParams", an enumeration or
// class name).
struct PTypeInfo
{
    QString Name;
    bool operator==(const PTypeInfo &) const = default;
};
PTypeInfo TypeInfo(const char *TypeName);

// The designer of the form or data module being edited. Every designer that
// exists can be found by its root (FindRootDesigner).
class IDesigner
{
public:
    IDesigner();
    IDesigner(const IDesigner &);
    IDesigner &operator=(const IDesigner &) = default;
    virtual ~IDesigner();
    // Tells the environment the designed module changed and must be saved.
    virtual void Modified() = 0;
    // The form or data module being designed.
    virtual QObject *Root() const = 0;
    // The extension of the files the designer keeps its modules in; module
    // names of the code editor start with it. A designer that keeps no files
    // has none (the base).
    virtual QString GetDesignerExtension() const;
};
using IDesignerPtr = std::shared_ptr<IDesigner>;

// The designer whose root is Component or one of Component's owners, or
// null when no designer edits it.
IDesigner *FindRootDesigner(const QObject *Component);

// Class references of the design-time classes: a name, the meta-object the
// class has as a QObject, and a way to create an instance.
struct TComponentEditorClass
{
    const QMetaObject *Meta = nullptr;
    std::function<std::unique_ptr<TComponentEditor>(QObject *Component, IDesignerPtr Designer)>
        Create;
    QString ClassName() const { return Meta ? QString::fromLatin1(Meta->className()) : QString(); }
    explicit operator bool() const { return Meta != nullptr; }
};

struct TPropertyEditorClass
{
    const QMetaObject *Meta = nullptr;
    std::function<std::unique_ptr<TPropertyEditor>(
        IDesignerPtr Designer, QList<QObject *> Components, const QString &PropName)>
        Create;
    QString ClassName() const { return Meta ? QString::fromLatin1(Meta->className()) : QString(); }
    explicit operator bool() const { return Meta != nullptr; }
};

struct TSprigClass
{
    const QMetaObject *Meta = nullptr;
    std::function<std::unique_ptr<TSprig>(QObject *Item)> Create;
    // The node class's answer to a component dragged from the palette onto
    // AParent (a class-level operation: there is no node yet). Empty means no.
    std::function<bool(TSprig *AParent, TComponentClass AClass)> PaletteOverTo;
    QString ClassName() const { return Meta ? QString::fromLatin1(Meta->className()) : QString(); }
    explicit operator bool() const { return Meta != nullptr; }
};

template<class T>
TComponentEditorClass componentEditorClass()
{
    return {&T::staticMetaObject, [](QObject *Component, IDesignerPtr Designer) {
                return std::unique_ptr<TComponentEditor>(new T(Component, std::move(Designer)));
            }};
}

template<class T>
TPropertyEditorClass propertyEditorClass()
{
    return {&T::staticMetaObject,
            [](IDesignerPtr Designer, QList<QObject *> Components, const QString &PropName) {
                return std::unique_ptr<TPropertyEditor>(
                    new T(std::move(Designer), std::move(Components), PropName));
            }};
}

template<class T>
TSprigClass sprigClass()
{
    return {&T::staticMetaObject,
            [](QObject *Item) { return std::unique_ptr<TSprig>(new T(Item)); },
            [](TSprig *AParent, TComponentClass AClass) {
                return T::PaletteOverTo(AParent, AClass);
            }};
}

// --- Registration -----------------------------------------------------------
// Each call is recorded in call order (see Registrations) and tagged with the
// package whose Register is running, so the package's registrations go when it
// is unloaded.

void RegisterComponents(const QString &Page, const QList<TComponentClass> &ComponentClasses);
void RegisterPropertyEditor(const PTypeInfo &PropertyType, TComponentClass ComponentClass,
                            const QString &PropertyName, const TPropertyEditorClass &EditorClass);
void RegisterComponentEditor(TComponentClass ComponentClass,
                             const TComponentEditorClass &ComponentEditor);
void RegisterPropertiesInCategory(const QString &CategoryName, TComponentClass ComponentClass,
                                  const QStringList &Filters);
void RegisterSprigType(TComponentClass ComponentClass, const TSprigClass &SprigClass);

// The environment's name of the property category for database properties.
QString sDatabaseCategoryName();
