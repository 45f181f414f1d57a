#include "Registrations.h"

#include "DesignErrors.h"

#include <QMetaObject>

#include <algorithm>
#include <limits>
#include <tuple>

namespace {

QString className(TComponentClass Class)
{
    return Class ? QString::fromLatin1(Class->className()) : QStringLiteral("nil");
}

QString quoted(const QString &S)
{
    return QLatin1Char('"') + S + QLatin1Char('"');
}

// Glob match of Name against Pattern ("*" any run, "?" one character),
// ignoring case. Iterative with one back-track point: linear in practice and
// never recursive, whatever the pattern.
bool globMatch(const QString &Pattern, const QString &Name)
{
    qsizetype p = 0, n = 0, starP = -1, starN = 0;
    while (n < Name.size()) {
        if (p < Pattern.size()
            && (Pattern[p] == QLatin1Char('?')
                || Pattern[p].toCaseFolded() == Name[n].toCaseFolded())) {
            ++p;
            ++n;
        } else if (p < Pattern.size() && Pattern[p] == QLatin1Char('*')) {
            starP = p++;
            starN = n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < Pattern.size() && Pattern[p] == QLatin1Char('*'))
        ++p;
    return p == Pattern.size();
}

} // namespace

QString TRegistration::describe() const
{
    switch (Kind) {
    case TRegistrationKind::Components: {
        QStringList names;
        for (TComponentClass c : ComponentClasses)
            names << className(c);
        return QStringLiteral("RegisterComponents(%1, [%2])")
            .arg(quoted(Page), names.join(QStringLiteral(", ")));
    }
    case TRegistrationKind::PropertyEditor:
        return QStringLiteral("RegisterPropertyEditor(%1, %2, %3, %4)")
            .arg(PropertyType.Name, className(ComponentClass), quoted(PropertyName),
                 PropertyEditor.ClassName());
    case TRegistrationKind::ComponentEditor:
        return QStringLiteral("RegisterComponentEditor(%1, %2)")
            .arg(className(ComponentClass), ComponentEditor.ClassName());
    case TRegistrationKind::PropertiesInCategory: {
        QStringList filters;
        for (const QString &f : Filters)
            filters << quoted(f);
        return QStringLiteral("RegisterPropertiesInCategory(%1, %2, [%3])")
            .arg(quoted(CategoryName), className(ComponentClass),
                 filters.join(QStringLiteral(", ")));
    }
    case TRegistrationKind::SprigType:
        return QStringLiteral("RegisterSprigType(%1, %2)")
            .arg(className(ComponentClass), Sprig.ClassName());
    }
    return {};
}

Registrations &Registrations::instance()
{
    static Registrations tables;
    return tables;
}

void Registrations::add(TRegistration Entry)
{
    Entry.Package = m_currentPackage;
    m_entries.push_back(std::move(Entry));
}

QStringList Registrations::describeAll() const
{
    QStringList lines;
    for (const TRegistration &e : m_entries)
        lines << e.describe();
    return lines;
}

int Registrations::removePackage(const QString &Package)
{
    const auto before = m_entries.size();
    std::erase_if(m_entries, [&](const TRegistration &e) { return e.Package == Package; });
    return static_cast<int>(before - m_entries.size());
}

void Registrations::clear()
{
    m_entries.clear();
}

QStringList Registrations::palettePages() const
{
    QStringList pages;
    for (const TRegistration &e : m_entries)
        if (e.Kind == TRegistrationKind::Components && !pages.contains(e.Page))
            pages << e.Page;
    return pages;
}

QList<TComponentClass> Registrations::paletteClasses(const QString &Page) const
{
    QList<TComponentClass> classes;
    for (const TRegistration &e : m_entries)
        if (e.Kind == TRegistrationKind::Components && e.Page == Page)
            for (TComponentClass c : e.ComponentClasses)
                if (!classes.contains(c))
                    classes << c;
    return classes;
}

TComponentClass Registrations::findComponentClass(const QString &ClassName) const
{
    for (const TRegistration &e : m_entries)
        if (e.Kind == TRegistrationKind::Components)
            for (TComponentClass c : e.ComponentClasses)
                if (QString::fromLatin1(c->className()).compare(ClassName, Qt::CaseInsensitive)
                    == 0)
                    return c;
    return nullptr;
}

int Registrations::inheritanceDistance(TComponentClass Class, TComponentClass Ancestor)
{
    int distance = 0;
    for (TComponentClass c = Class; c; c = c->superClass(), ++distance)
        if (c == Ancestor)
            return distance;
    return -1;
}

int Registrations::nearestEntry(TRegistrationKind Kind, TComponentClass ComponentClass) const
{
    // Walk the ancestry from the class itself up; at each level the last
    // registration for exactly that class is the one in force.
    for (TComponentClass c = ComponentClass; c; c = c->superClass())
        for (auto i = m_entries.size(); i-- > 0;)
            if (m_entries[i].Kind == Kind && m_entries[i].ComponentClass == c)
                return static_cast<int>(i);
    return -1;
}

TComponentEditorClass Registrations::componentEditorFor(TComponentClass ComponentClass) const
{
    const int i = nearestEntry(TRegistrationKind::ComponentEditor, ComponentClass);
    return i < 0 ? TComponentEditorClass{} : m_entries[i].ComponentEditor;
}

TSprigClass Registrations::sprigFor(TComponentClass ComponentClass) const
{
    const int i = nearestEntry(TRegistrationKind::SprigType, ComponentClass);
    return i < 0 ? TSprigClass{} : m_entries[i].Sprig;
}

int Registrations::sprigRank(TComponentClass ComponentClass) const
{
    return nearestEntry(TRegistrationKind::SprigType, ComponentClass);
}

TPropertyEditorClass Registrations::propertyEditorFor(TComponentClass ComponentClass,
                                                      const QString &PropName,
                                                      const PTypeInfo &PropType) const
{
    return propertyEditorFor(ComponentClass, PropName, QList<PTypeInfo>{PropType});
}

TPropertyEditorClass Registrations::propertyEditorFor(TComponentClass ComponentClass,
                                                      const QString &PropName,
                                                      const QList<PTypeInfo> &TypeChain) const
{
    // Lower is more specific, compared in order: unnamed, class distance,
    // type distance.
    using Rank = std::tuple<int, int, int>;
    const TRegistration *best = nullptr;
    Rank bestRank;
    for (const TRegistration &e : m_entries) {
        if (e.Kind != TRegistrationKind::PropertyEditor
            || (!e.PropertyName.isEmpty()
                && e.PropertyName.compare(PropName, Qt::CaseInsensitive) != 0))
            continue;
        int typeDistance = 0;
        while (typeDistance < TypeChain.size()
               && e.PropertyType.Name.compare(TypeChain[typeDistance].Name, Qt::CaseInsensitive)
                      != 0)
            ++typeDistance;
        if (typeDistance == TypeChain.size())
            continue;
        int distance = std::numeric_limits<int>::max(); // a null class serves every class
        if (e.ComponentClass) {
            distance = inheritanceDistance(ComponentClass, e.ComponentClass);
            if (distance < 0)
                continue;
        }
        const Rank rank{e.PropertyName.isEmpty() ? 1 : 0, distance, typeDistance};
        // "<=": of equally specific registrations, the later one wins.
        if (!best || rank <= bestRank) {
            best = &e;
            bestRank = rank;
        }
    }
    return best ? best->PropertyEditor : TPropertyEditorClass{};
}

QStringList Registrations::categoriesOf(TComponentClass ComponentClass,
                                        const QString &PropName) const
{
    QStringList categories;
    for (const TRegistration &e : m_entries) {
        if (e.Kind != TRegistrationKind::PropertiesInCategory || categories.contains(e.CategoryName)
            || (e.ComponentClass && inheritanceDistance(ComponentClass, e.ComponentClass) < 0))
            continue;
        if (std::any_of(e.Filters.begin(), e.Filters.end(),
                        [&](const QString &f) { return matchesFilter(f, PropName); }))
            categories << e.CategoryName;
    }
    return categories;
}

bool Registrations::matchesFilter(const QString &Filter, const QString &Name)
{
    return globMatch(Filter, Name);
}

CurrentPackageScope::CurrentPackageScope(const QString &Package)
    : m_saved(registrations().currentPackage())
{
    registrations().setCurrentPackage(Package);
}

CurrentPackageScope::~CurrentPackageScope()
{
    registrations().setCurrentPackage(m_saved);
}
