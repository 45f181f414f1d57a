#include "DesignIntf.h"

#include "DesignErrors.h"
#include "Registrations.h"

namespace {

QList<IDesigner *> &liveDesigners()
{
    static QList<IDesigner *> designers;
    return designers;
}

} // namespace

IDesigner::IDesigner()
{
    liveDesigners().append(this);
}

IDesigner::IDesigner(const IDesigner &)
{
    liveDesigners().append(this);
}

IDesigner::~IDesigner()
{
    liveDesigners().removeOne(this);
}

QString IDesigner::GetDesignerExtension() const
{
    return QString();
}

IDesigner *FindRootDesigner(const QObject *Component)
{
    for (const QObject *o = Component; o; o = o->parent())
        for (IDesigner *designer : std::as_const(liveDesigners()))
            if (designer->Root() == o)
                return designer;
    return nullptr;
}

PTypeInfo TypeInfo(const char *TypeName)
{
    return {QString::fromLatin1(TypeName)};
}

namespace {

// A registration naming no class, or an editor class that cannot create its
// editor, would only fail later, far from its cause: refuse it at the call.
void requireClass(TComponentClass Class, const char *Function)
{
    if (!Class)
        throw ERegistrationError(
            QStringLiteral("%1: no component class given").arg(QLatin1String(Function)));
}

template<class EditorClass>
void requireEditor(const EditorClass &Editor, TComponentClass Class, const char *Function)
{
    if (!Editor || !Editor.Create)
        throw ERegistrationError(
            QStringLiteral("%1: no editor class given for %2")
                .arg(QLatin1String(Function),
                     Class ? QString::fromLatin1(Class->className()) : QStringLiteral("nil")));
}

} // namespace

void RegisterComponents(const QString &Page, const QList<TComponentClass> &ComponentClasses)
{
    for (TComponentClass c : ComponentClasses)
        requireClass(c, "RegisterComponents");
    TRegistration e;
    e.Kind = TRegistrationKind::Components;
    e.Page = Page;
    e.ComponentClasses = ComponentClasses;
    registrations().add(std::move(e));
}

void RegisterPropertyEditor(const PTypeInfo &PropertyType, TComponentClass ComponentClass,
                            const QString &PropertyName, const TPropertyEditorClass &EditorClass)
{
    // A null component class is allowed here: the editor then serves the
    // property type on every class.
    requireEditor(EditorClass, ComponentClass, "RegisterPropertyEditor");
    TRegistration e;
    e.Kind = TRegistrationKind::PropertyEditor;
    e.PropertyType = PropertyType;
    e.ComponentClass = ComponentClass;
    e.PropertyName = PropertyName;
    e.PropertyEditor = EditorClass;
    registrations().add(std::move(e));
}

void RegisterComponentEditor(TComponentClass ComponentClass,
                             const TComponentEditorClass &ComponentEditor)
{
    requireClass(ComponentClass, "RegisterComponentEditor");
    requireEditor(ComponentEditor, ComponentClass, "RegisterComponentEditor");
    TRegistration e;
    e.Kind = TRegistrationKind::ComponentEditor;
    e.ComponentClass = ComponentClass;
    e.ComponentEditor = ComponentEditor;
    registrations().add(std::move(e));
}

void RegisterPropertiesInCategory(const QString &CategoryName, TComponentClass ComponentClass,
                                  const QStringList &Filters)
{
    requireClass(ComponentClass, "RegisterPropertiesInCategory");
    TRegistration e;
    e.Kind = TRegistrationKind::PropertiesInCategory;
    e.CategoryName = CategoryName;
    e.ComponentClass = ComponentClass;
    e.Filters = Filters;
    registrations().add(std::move(e));
}

void RegisterSprigType(TComponentClass ComponentClass, const TSprigClass &SprigClass)
{
    requireClass(ComponentClass, "RegisterSprigType");
    requireEditor(SprigClass, ComponentClass, "RegisterSprigType");
    TRegistration e;
    e.Kind = TRegistrationKind::SprigType;
    e.ComponentClass = ComponentClass;
    e.Sprig = SprigClass;
    registrations().add(std::move(e));
}

QString sDatabaseCategoryName()
{
    return QStringLiteral("Database");
}
