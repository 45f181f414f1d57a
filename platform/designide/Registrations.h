#pragma once

#include "DesignIntf.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

enum class TRegistrationKind {
    Components,
    PropertyEditor,
    ComponentEditor,
    PropertiesInCategory,
    SprigType
};

// One call of a registration function, as it was made. Only the members of its
// kind are filled.
struct TRegistration
{
    TRegistrationKind Kind = TRegistrationKind::Components;
    // The package whose Register made the call; empty outside any package.
    QString Package;

    // Components: the palette page and its classes.
    QString Page;
    QList<TComponentClass> ComponentClasses;

    // PropertyEditor, ComponentEditor, PropertiesInCategory, SprigType: the
    // component class served (null for a property editor of every class).
    TComponentClass ComponentClass = nullptr;

    // PropertyEditor.
    PTypeInfo PropertyType;
    QString PropertyName;
    TPropertyEditorClass PropertyEditor;

    // ComponentEditor.
    TComponentEditorClass ComponentEditor;

    // PropertiesInCategory.
    QString CategoryName;
    QStringList Filters;

    // SprigType.
    TSprigClass Sprig;

    // The call as one line of text, e.g.
    // RegisterComponentEditor(TOvDatabase, TOvDatabaseEditor).
    QString describe() const;
};

// The environment's registration tables: every registration in call order,
// and the look-ups the designer makes in them. Lives for the whole process;
// used on the user-interface thread only.
class Registrations
{
public:
    static Registrations &instance();

    void add(TRegistration Entry);
    // The log of all registrations still in force, in call order.
    const std::vector<TRegistration> &entries() const { return m_entries; }
    // The log as text, one describe() line per entry.
    QStringList describeAll() const;

    // The package tag given to registrations made from now on.
    const QString &currentPackage() const { return m_currentPackage; }
    void setCurrentPackage(const QString &Package) { m_currentPackage = Package; }

    // Removes every registration tagged with Package; returns how many went.
    int removePackage(const QString &Package);
    // Forgets everything (for tests and for a host starting afresh).
    void clear();

    // Palette pages in the order of their first registration.
    QStringList palettePages() const;
    // The classes of Page, in registration order, each once.
    QList<TComponentClass> paletteClasses(const QString &Page) const;
    // A palette class by its class name (case-insensitive), or null.
    TComponentClass findComponentClass(const QString &ClassName) const;

    // The component editor class serving ComponentClass: the registration for
    // the nearest class along its ancestry, the later one for the same class.
    // An empty reference when none is registered.
    TComponentEditorClass componentEditorFor(TComponentClass ComponentClass) const;

    // The property editor for property PropName of type PropType on
    // ComponentClass. A registration matches when the type names agree
    // (ignoring case), its class is ComponentClass, an ancestor of it or null,
    // and its property name is empty or PropName (ignoring case). Of the
    // matches the most specific wins: one that names the property beats one
    // for every property of the type; then the nearest class (null is
    // farthest); then the nearest type; for equals, the later registration.
    TPropertyEditorClass propertyEditorFor(TComponentClass ComponentClass, const QString &PropName,
                                           const PTypeInfo &PropType) const;
    // The same for a property whose type has ancestors: TypeChain lists the
    // type, then its ancestor types, nearest first (an object property of
    // class TOvQuery: TOvQuery, TOvDataSet, ...).
    TPropertyEditorClass propertyEditorFor(TComponentClass ComponentClass, const QString &PropName,
                                           const QList<PTypeInfo> &TypeChain) const;

    // The node class serving ComponentClass; same rule as component editors.
    TSprigClass sprigFor(TComponentClass ComponentClass) const;
    // The position of that registration among all registrations (the order
    // in which the tree places nodes), or -1 when none applies.
    int sprigRank(TComponentClass ComponentClass) const;

    // The categories of property PropName on ComponentClass, in registration
    // order, each once: every category registered for the class or an
    // ancestor with a filter that matches the name. Filters compare ignoring
    // case; "*" stands for any run of characters, "?" for one character.
    QStringList categoriesOf(TComponentClass ComponentClass, const QString &PropName) const;

    // Whether Name matches Filter as categoriesOf compares them.
    static bool matchesFilter(const QString &Filter, const QString &Name);
    // How many superClass() steps lead from Class to Ancestor; -1 when
    // Ancestor is not Class or one of its ancestors.
    static int inheritanceDistance(TComponentClass Class, TComponentClass Ancestor);

private:
    Registrations() = default;
    // The index of the entry of Kind serving ComponentClass by the
    // nearest-class rule, or -1.
    int nearestEntry(TRegistrationKind Kind, TComponentClass ComponentClass) const;

    std::vector<TRegistration> m_entries;
    QString m_currentPackage;
};

inline Registrations &registrations()
{
    return Registrations::instance();
}

// Sets the registration tag for its lifetime and restores the previous one,
// also when an exception passes.
class CurrentPackageScope
{
public:
    explicit CurrentPackageScope(const QString &Package);
    ~CurrentPackageScope();
    CurrentPackageScope(const CurrentPackageScope &) = delete;
    CurrentPackageScope &operator=(const CurrentPackageScope &) = delete;

private:
    QString m_saved;
};
