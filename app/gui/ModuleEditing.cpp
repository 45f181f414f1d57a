#include "ModuleEditing.h"

#include "designide/FormFile.h"
#include "orvlib/DB.h"
#include "rtl/SysUtils.h"

#include <QHash>
#include <QMetaProperty>
#include <QPointer>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <limits>

namespace {

// The names of the module's components. Helper objects a component keeps
// may be named too (a query's "Params"); they take no name from a component,
// as the form reader sees it.
QSet<QString> namesIn(const QObject *Root)
{
    QSet<QString> names;
    names.insert(Root->objectName().toLower());
    for (const QObject *o : Root->findChildren<QObject *>())
        if (isDesignComponent(o))
            names.insert(o->objectName().toLower());
    return names;
}

QString defaultNameBase(TComponentClass Class)
{
    QString base = QLatin1String(Class->className());
    if (base.size() > 1 && base.startsWith(QLatin1Char('T')))
        base.remove(0, 1);
    return base;
}

QString firstFreeName(const QString &Base, const QSet<QString> &Taken)
{
    for (int n = 1;; ++n) {
        const QString name = Base + QString::number(n);
        if (!Taken.contains(name.toLower()))
            return name;
    }
}

// "object Name: Class" (or inherited / inline) at the start of a line.
const QRegularExpression &objectHeader()
{
    static const QRegularExpression re(
        QStringLiteral(
            R"(^(\s*(?:object|inherited|inline)\s+)([A-Za-z_]\w*)(\s*:\s*)([A-Za-z_]\w*))"
            R"((?:\s*\[\d+\])?\s*$)"),
        QRegularExpression::CaseInsensitiveOption);
    return re;
}

// "Prop = Identifier": a reference, an enumeration or a Boolean value.
const QRegularExpression &identifierValue()
{
    static const QRegularExpression re(
        QStringLiteral(R"(^(\s*[A-Za-z_][\w.]*\s*=\s*)([A-Za-z_]\w*)\s*$)"));
    return re;
}

void copyPublishedProperties(const QObject *From, QObject *To)
{
    const QMetaObject *meta = From->metaObject();
    for (int i = QObject::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i) {
        const QMetaProperty p = meta->property(i);
        if (p.isWritable())
            p.write(To, p.read(From));
    }
    for (const QByteArray &name : From->dynamicPropertyNames())
        To->setProperty(name.constData(), From->property(name.constData()));
}

// The writable published references to components of a class, each class
// looked up once in Known.
const QList<QMetaProperty> &referencesOf(const QMetaObject *Meta, TReferenceCache &Known)
{
    auto it = Known.find(Meta);
    if (it == Known.end()) {
        QList<QMetaProperty> list;
        for (int i = QObject::staticMetaObject.propertyCount(); i < Meta->propertyCount(); ++i)
            if (Meta->property(i).metaType().metaObject() && Meta->property(i).isWritable())
                list.append(Meta->property(i));
        it = Known.insert(Meta, list);
    }
    return *it;
}

// The module's components with a reference to one of Targets (or to a
// component one of them owns).
QList<QObject *> componentsReferring(QObject *Root, const QList<QPointer<QObject>> &Targets)
{
    QSet<const QObject *> targets;
    for (const QPointer<QObject> &t : Targets)
        if (t) {
            targets.insert(t);
            for (const QObject *part : t->findChildren<QObject *>())
                targets.insert(part);
        }
    TReferenceCache references;
    QList<QObject *> found;
    for (QObject *c : Root->children()) {
        for (const QMetaProperty &p : referencesOf(c->metaObject(), references))
            if (targets.contains(p.read(c).value<QObject *>()) && !targets.contains(c)) {
                found.append(c);
                break;
            }
    }
    return found;
}

} // namespace

QList<QObject *> referencedComponents(const QObject *Component, TReferenceCache &Known)
{
    QList<QObject *> found;
    const QObject *root = Component->parent();
    for (const QMetaProperty &p : referencesOf(Component->metaObject(), Known)) {
        QObject *target = p.read(Component).value<QObject *>();
        if (target && target != Component && root && target->parent() == root
            && !found.contains(target))
            found.append(target);
    }
    return found;
}

bool isDesignComponent(const QObject *Component)
{
    return Component && !Component->objectName().isEmpty()
           && GetClass(QLatin1String(Component->metaObject()->className()))
                  == Component->metaObject();
}

bool isPersistentField(const QObject *Component)
{
    return qobject_cast<const TField *>(Component) != nullptr;
}

QList<QObject *> surfaceComponents(const QObject *Root)
{
    QList<QObject *> list;
    if (!Root)
        return list;
    // A module has few classes and many components: each class is looked
    // up once.
    QHash<const QMetaObject *, bool> known;
    for (QObject *o : Root->children()) {
        if (o->objectName().isEmpty())
            continue;
        auto it = known.find(o->metaObject());
        if (it == known.end())
            it = known.insert(o->metaObject(), isDesignComponent(o) && !isPersistentField(o));
        if (*it)
            list.append(o);
    }
    return list;
}

QPoint designPosition(const QObject *Component, QPoint Fallback)
{
    const QVariant left = Component->property("Left");
    const QVariant top = Component->property("Top");
    if (!left.isValid() || !top.isValid())
        return Fallback;
    return QPoint(left.toInt(), top.toInt());
}

QPoint defaultDesignPosition(int Index)
{
    return QPoint(16 + Index % 8 * 88, 16 + Index / 8 * 56);
}

void setDesignPosition(QObject *Component, QPoint Position)
{
    Component->setProperty("Left", Position.x());
    Component->setProperty("Top", Position.y());
}

bool isValidComponentName(const QString &Name)
{
    return IsValidComponentName(Name); // the form files' rule, so a name given is a name read
}

QString uniqueComponentName(const QObject *Root, TComponentClass Class)
{
    return firstFreeName(defaultNameBase(Class), namesIn(Root));
}

QObject *addComponent(TFormDesigner &Designer, TComponentClass Class, QPoint Position)
{
    QObject *root = Designer.Root();
    if (!root || !Class)
        throw Exception(QStringLiteral("No data module is open"));
    const QString name = uniqueComponentName(root, Class);
    QObject *component = Class->newInstance(Q_ARG(QObject *, root));
    if (!component)
        throw Exception(
            QStringLiteral("Class %1 cannot be created").arg(QLatin1String(Class->className())));
    component->setObjectName(name);
    setDesignPosition(component, QPoint(qMax(0, Position.x()), qMax(0, Position.y())));
    Designer.notifyComponentsChanged();
    Designer.select({component});
    return component;
}

namespace {

QList<QObject *> placed(const TFormDesigner &Designer, const QList<QObject *> &Components)
{
    QList<QObject *> list;
    for (QObject *c : Components)
        if (c != Designer.Root() && c->parent() == Designer.Root() && isDesignComponent(c)
            && !isPersistentField(c))
            list.append(c);
    return list;
}

bool moveTo(TFormDesigner &Designer, const QList<std::pair<QObject *, QPoint>> &Moves)
{
    bool moved = false;
    for (const auto &[c, p] : Moves)
        if (designPosition(c) != p) {
            setDesignPosition(c, QPoint(qMax(0, p.x()), qMax(0, p.y())));
            moved = true;
        }
    if (moved)
        Designer.notifyComponentsChanged();
    return moved;
}

} // namespace

bool alignComponents(TFormDesigner &Designer, const QList<QObject *> &Components,
                     TAlignment Alignment)
{
    const QList<QObject *> list = placed(Designer, Components);
    if (list.size() < 2)
        return false;
    const QPoint anchor = designPosition(list.first());
    QList<std::pair<QObject *, QPoint>> moves;
    for (QObject *c : list) {
        QPoint p = designPosition(c);
        switch (Alignment) {
        case TAlignment::Lefts:
        case TAlignment::Rights:
        case TAlignment::VerticalCentres:
            p.setX(anchor.x());
            break;
        case TAlignment::Tops:
        case TAlignment::Bottoms:
        case TAlignment::HorizontalCentres:
            p.setY(anchor.y());
            break;
        }
        moves.append({c, p});
    }
    return moveTo(Designer, moves);
}

bool spaceEvenly(TFormDesigner &Designer, const QList<QObject *> &Components,
                 Qt::Orientation Orientation)
{
    QList<QObject *> list = placed(Designer, Components);
    if (list.size() < 3)
        return false;
    const bool across = Orientation == Qt::Horizontal;
    auto along = [across](QObject *C) {
        const QPoint p = designPosition(C);
        return across ? p.x() : p.y();
    };
    std::stable_sort(list.begin(), list.end(),
                     [&](QObject *A, QObject *B) { return along(A) < along(B); });
    const int first = along(list.first());
    const int span = along(list.last()) - first;
    QList<std::pair<QObject *, QPoint>> moves;
    for (int i = 1; i + 1 < list.size(); ++i) {
        QPoint p = designPosition(list[i]);
        const int at = first + int(qint64(span) * i / (list.size() - 1));
        (across ? p.rx() : p.ry()) = at;
        moves.append({list[i], p});
    }
    return moveTo(Designer, moves);
}

void renameComponent(TFormDesigner &Designer, QObject *Component, const QString &NewName)
{
    if (!Component || NewName == Component->objectName())
        return;
    if (!isValidComponentName(NewName))
        throw Exception(QStringLiteral("%1 is not a valid component name").arg(NewName));
    if (NewName.compare(Component->objectName(), Qt::CaseInsensitive) != 0
        && namesIn(Designer.Root()).contains(NewName.toLower()))
        throw Exception(QStringLiteral("A component named %1 already exists").arg(NewName));
    Component->setObjectName(NewName);
    Designer.notifyComponentsChanged();
}

int deleteSelection(TFormDesigner &Designer)
{
    QList<QPointer<QObject>> doomed;
    for (QObject *o : Designer.selection())
        if (o != Designer.Root() && isDesignComponent(o))
            doomed.append(o);
    if (doomed.isEmpty())
        return 0;
    QList<QObject *> changing = componentsReferring(Designer.Root(), doomed);
    for (const QPointer<QObject> &o : std::as_const(doomed))
        changing.append(o);
    Designer.aboutToChange(changing);
    Designer.select({});
    // A selected component may own another selected one, which goes with
    // its owner: the guards skip it.
    for (const QPointer<QObject> &o : doomed)
        delete o.data();
    Designer.notifyComponentsChanged();
    return int(doomed.size());
}

QString componentsText(const QList<QObject *> &Components)
{
    // Written as part of their module, so that references to the module's
    // other components are written too; then the blocks of the chosen ones
    // are cut out, one level less indented.
    QList<QObject *> chosen;
    for (QObject *c : Components)
        if (isDesignComponent(c) && c->parent())
            chosen.append(c);
    if (chosen.isEmpty())
        return {};
    const QObject *root = chosen.first()->parent();
    QSet<QString> names;
    QSet<const QObject *> datasets;
    for (QObject *c : std::as_const(chosen))
        if (c->parent() == root) {
            names.insert(c->objectName());
            datasets.insert(c);
        }
    // A dataset's persistent fields go with it.
    for (const QObject *o : root->children())
        if (const auto *field = qobject_cast<const TField *>(o))
            if (datasets.contains(field->DataSet()))
                names.insert(field->objectName());
    const QStringList lines = WriteFormText(root).split(QLatin1Char('\n'));
    const QString end = QStringLiteral("  end");
    QString text;
    bool inside = false;
    for (const QString &line : lines) {
        // Only the root's own blocks start two blanks in.
        const bool topLevel = line.startsWith(QLatin1String("  ")) && line.size() > 2
                              && line[2] != QLatin1Char(' ');
        QRegularExpressionMatch header;
        if (topLevel || inside)
            header = objectHeader().match(line);
        if (!inside && header.hasMatch())
            inside = names.contains(header.captured(2));
        if (inside) {
            // A copy is a new component of whatever module it goes to: no
            // block inherited from an ancestor, no position among inherited ones.
            if (header.hasMatch()) {
                const qsizetype indent = line.size() - QStringView(line).trimmed().size();
                text += QString(indent - 2, QLatin1Char(' ')) + QStringLiteral("object ")
                        + header.captured(2) + header.captured(3) + header.captured(4);
            } else {
                text += line.mid(2);
            }
            text += QLatin1Char('\n');
            if (line == end)
                inside = false;
        }
    }
    return text;
}

namespace {

// How many places a paste tries at most, over all its components: a paste
// into a crowded view gives up early rather than slowly.
constexpr int MaxPasteTries = 200000;

// The cell of a grid of footprint-sized cells that P falls in: footprints
// that overlap lie in neighbouring cells.
qint64 cellKey(QPoint Cell)
{
    return (qint64(Cell.x()) << 32) ^ quint32(Cell.y());
}

QPoint cellOf(QPoint P)
{
    const auto cell = [](int V, int Size) {
        return V >= 0 ? V / Size : -((-V - 1) / Size) - 1;
    };
    return {cell(P.x(), PasteFootprint.width()), cell(P.y(), PasteFootprint.height())};
}

// The places the module's components take (PasteFootprint), found by
// the cells of a grid of footprint-sized cells.
class Footprints
{
public:
    explicit Footprints(const QObject *Root)
    {
        for (QObject *c : surfaceComponents(Root)) {
            const QPoint at = designPosition(c);
            m_cells.insert(cellKey(cellOf(at)), at);
        }
    }
    // Whether a component at At would cover one of them or its name.
    bool covered(QPoint At) const
    {
        const QRect mine = PasteFootprint.translated(At);
        const QPoint cell = cellOf(At);
        for (int column = cell.x() - 1; column <= cell.x() + 1; ++column)
            for (int row = cell.y() - 1; row <= cell.y() + 1; ++row) {
                const qint64 key = cellKey({column, row});
                for (auto it = m_cells.constFind(key); it != m_cells.cend() && it.key() == key;
                     ++it)
                    if (PasteFootprint.translated(*it).intersects(mine))
                        return true;
            }
        return false;
    }

private:
    QMultiHash<qint64, QPoint> m_cells;
};

// Where the components Pasted into Root go, in their order (see
// pasteComponentsText): their own places, moved as one group.
QList<QPoint> pastePlaces(const QObject *Root, const QList<QObject *> &Pasted, const QRect &InView)
{
    const QPoint none(std::numeric_limits<int>::min(), 0);
    QList<QPoint> places;
    places.reserve(Pasted.size());
    int unplaced = 0;
    QRect bounds;
    for (const QObject *c : Pasted) {
        QPoint p = designPosition(c, none);
        if (p == none)
            p = defaultDesignPosition(unplaced++);
        places.append(p);
        bounds |= QRect(p, QSize(1, 1));
    }
    if (places.isEmpty())
        return places;

    // Into view, where the group fits there.
    const bool fits = InView.isValid() && bounds.width() <= InView.width()
                      && bounds.height() <= InView.height();
    QPoint delta;
    if (InView.isValid() && !InView.contains(bounds)) {
        auto into = [](int Low, int Size, int ViewLow, int ViewSize) {
            return Size <= ViewSize ? std::clamp(Low, ViewLow, ViewLow + ViewSize - Size) : ViewLow;
        };
        delta = QPoint(into(bounds.left(), bounds.width(), InView.left(), InView.width()),
                       into(bounds.top(), bounds.height(), InView.top(), InView.height()))
                - bounds.topLeft();
    }

    // Off the module's components, one step at a time; at the view's edge
    // the steps start again near its top left, each time a little further
    // right, as cascaded windows do.
    const Footprints occupied(Root);
    auto freeAt = [&](QPoint Delta) {
        for (const QPoint &p : std::as_const(places))
            if (occupied.covered(p + Delta))
                return false;
        return true;
    };
    const QPoint first = delta;
    const int steps = qBound(16, MaxPasteTries / int(places.size()), 1000);
    int pass = 0;
    bool free = freeAt(delta);
    for (int step = 0; !free && step < steps; ++step) {
        delta += QPoint(PasteOffset, PasteOffset);
        if (fits && !InView.contains(bounds.translated(delta)))
            delta = InView.topLeft()
                    + QPoint(++pass * 2 * PasteOffset % (InView.width() - bounds.width() + 1), 0)
                    - bounds.topLeft();
        free = freeAt(delta);
    }
    // The cascade found nothing: any free place in view, row by row.
    int tries = MaxPasteTries / int(places.size());
    if (!free && fits)
        for (int y = InView.top(); !free && y + bounds.height() <= InView.bottom();
             y += PasteOffset)
            for (int x = InView.left(); !free && x + bounds.width() <= InView.right() && tries > 0;
                 x += PasteOffset, --tries) {
                delta = QPoint(x, y) - bounds.topLeft();
                free = freeAt(delta);
            }
    if (!free) // crowded all the way: at least off the originals' own places
        delta = first + QPoint(PasteOffset, PasteOffset);
    for (QPoint &p : places)
        p += delta;
    return places;
}

} // namespace

QPoint freeDesignPosition(const QObject *Root, const QRect &InView)
{
    const QPoint margin(48, 8); // the name in view too, the box on the grid
    const Footprints occupied(Root);
    if (InView.isValid())
        for (int y = InView.top() + margin.y(); y + PasteFootprint.bottom() <= InView.bottom();
             y += PasteOffset)
            for (int x = InView.left() + margin.x(); x + PasteFootprint.right() <= InView.right();
                 x += PasteOffset)
                if (!occupied.covered({x, y}))
                    return {x, y};
    // No room in view: the first free place of the rows below it.
    const QPoint start = InView.isValid() ? InView.topLeft() + margin : margin;
    for (int y = start.y();; y += PasteFootprint.height())
        if (!occupied.covered({start.x(), y}))
            return {start.x(), y};
}

QList<QObject *> pasteComponentsText(TFormDesigner &Designer, const QString &Text,
                                     const QRect &InView)
{
    QObject *root = Designer.Root();
    if (!root)
        throw Exception(QStringLiteral("No data module is open"));
    QStringList lines = Text.split(QLatin1Char('\n'));
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();
    if (lines.isEmpty() || !objectHeader().match(lines.first()).hasMatch())
        throw Exception(QStringLiteral("The clipboard holds no components"));

    // New names for pasted components whose names are taken, and the
    // top-level ones, which become the root's own.
    QSet<QString> taken = namesIn(root);
    QHash<QString, QString> renamed; // old name (lower case) -> new name
    QStringList topLevel;
    int depth = 0;
    for (QString &line : lines) {
        const QRegularExpressionMatch m = objectHeader().match(line);
        if (m.hasMatch()) {
            QString name = m.captured(2);
            if (taken.contains(name.toLower())) {
                const TComponentClass cls = GetClass(m.captured(4));
                const QString fresh
                    = cls ? firstFreeName(defaultNameBase(cls), taken) : firstFreeName(name, taken);
                renamed.insert(name.toLower(), fresh);
                line = m.captured(1) + fresh + m.captured(3) + m.captured(4);
                name = fresh;
            }
            taken.insert(name.toLower());
            if (depth == 0)
                topLevel.append(name);
            ++depth;
        } else if (line.trimmed().compare(QLatin1String("end"), Qt::CaseInsensitive) == 0) {
            --depth;
        }
    }
    if (depth != 0)
        throw Exception(QStringLiteral("The clipboard holds no whole components"));
    for (QString &line : lines) {
        const QRegularExpressionMatch m = identifierValue().match(line);
        if (m.hasMatch()) {
            const auto it = renamed.constFind(m.captured(2).toLower());
            if (it != renamed.cend())
                line = m.captured(1) + *it;
        }
    }

    // Components of the module that pasted text refers to are stood in for
    // by empty components of the same class and name while the text is
    // read; the references are then pointed at the module's own.
    QHash<QString, QObject *> moduleNames;
    for (QObject *o : root->findChildren<QObject *>())
        if (isDesignComponent(o))
            moduleNames.insert(o->objectName().toLower(), o);
    QStringList stubs;
    QSet<QString> stubbed;
    for (const QString &line : std::as_const(lines)) {
        const QRegularExpressionMatch m = identifierValue().match(line);
        if (!m.hasMatch())
            continue;
        const QString key = m.captured(2).toLower();
        QObject *target = moduleNames.value(key);
        if (!target || stubbed.contains(key))
            continue;
        stubbed.insert(key);
        stubs << QStringLiteral("object %1: %2")
                     .arg(target->objectName(), QLatin1String(target->metaObject()->className()))
              << QStringLiteral("end");
    }
    QStringList wrapper{QStringLiteral("object OvPasteBuffer: TDataModule")};
    wrapper << stubs;
    wrapper << lines << QStringLiteral("end");

    // A reference to a component neither the text nor the module holds is
    // left unset: the text is read once, however many such references.
    std::unique_ptr<QObject> buffer;
    try {
        QList<int> dangling;
        TFormReader reader(wrapper.join(QLatin1Char('\n')) + QLatin1Char('\n'));
        reader.SetDanglingReferences(&dangling);
        buffer = reader.Read();
    } catch (const EFormError &e) {
        throw Exception(QStringLiteral("Cannot paste: %1").arg(e.Message()));
    }

    QList<QObject *> pasted;              // every pasted component the root will own
    QHash<QObject *, QObject *> standIns; // stub -> the module's component
    for (QObject *c : buffer->children()) {
        if (!isDesignComponent(c))
            continue;
        const QString key = c->objectName().toLower();
        if (stubbed.contains(key) && !topLevel.contains(c->objectName()))
            standIns.insert(c, moduleNames.value(key));
        else
            pasted.append(c);
    }

    // All or nothing: pointing the pasted references at the module's own
    // components changes those too (a dataset takes an update object, a
    // field attaches to its dataset), and one of them may refuse. What the
    // module's components refer to is noted first and put back on a refusal.
    struct Reference
    {
        QPointer<QObject> Owner;
        QMetaProperty Property;
        QPointer<QObject> Value;
    };
    std::vector<Reference> before;
    if (!standIns.isEmpty()) {
        TReferenceCache references;
        for (QObject *o : std::as_const(moduleNames))
            for (const QMetaProperty &p : referencesOf(o->metaObject(), references))
                if (p.isStored())
                    before.push_back({o, p, p.read(o).value<QObject *>()});
    }
    try {
        pointAtModule(pasted, standIns);
    } catch (...) {
        buffer.reset(); // the pasted components let go of the module's
        for (const Reference &r : before) {
            if (!r.Owner || r.Property.read(r.Owner).value<QObject *>() == r.Value.data())
                continue;
            QObject *value = r.Value.data();
            r.Property.write(r.Owner, QVariant(r.Property.metaType(), &value));
        }
        throw;
    }

    QList<QObject *> shown; // the pasted components the surface shows
    for (QObject *c : std::as_const(pasted))
        if (!isPersistentField(c))
            shown.append(c);
    const QList<QPoint> places = pastePlaces(root, shown, InView);
    for (QObject *c : std::as_const(pasted))
        c->setParent(root);
    for (qsizetype i = 0; i < shown.size(); ++i)
        setDesignPosition(shown[i], places[i]);
    buffer.reset(); // connections and open datasets the text stores stay held
    Designer.notifyComponentsChanged();
    Designer.select(shown);
    return shown;
}

void pointAtModule(const QList<QObject *> &Components, const QHash<QObject *, QObject *> &StandIns)
{
    if (StandIns.isEmpty())
        return;
    TReferenceCache references;
    for (QObject *c : Components) {
        QList<QObject *> parts{c};
        parts += c->findChildren<QObject *>();
        for (QObject *part : std::as_const(parts))
            for (const QMetaProperty &p : referencesOf(part->metaObject(), references)) {
                const auto it = StandIns.constFind(p.read(part).value<QObject *>());
                if (it == StandIns.cend())
                    continue;
                QObject *real = *it;
                p.write(part, QVariant(p.metaType(), &real));
            }
    }
}

QStringList reloadModuleText(TFormDesigner &Designer, const QString &Text)
{
    QObject *root = Designer.Root();
    if (!root)
        throw Exception(QStringLiteral("No data module is open"));
    TFormReader reader(Text, Designer.fileName());
    std::unique_ptr<QObject> fresh = reader.Read();
    if (fresh->metaObject() != root->metaObject())
        throw Exception(QStringLiteral("The text is a %1, not a %2")
                            .arg(QLatin1String(fresh->metaObject()->className()),
                                 QLatin1String(root->metaObject()->className())));
    Designer.select({});
    // Persistent fields too: they are the module's, if not the surface's.
    auto componentsOf = [](const QObject *Owner) {
        QList<QPointer<QObject>> list;
        for (QObject *c : Owner->children())
            if (isDesignComponent(c))
                list.append(c);
        return list;
    };
    for (const QPointer<QObject> &c : componentsOf(root))
        delete c.data(); // a field may have gone with its dataset
    root->setObjectName(fresh->objectName());
    copyPublishedProperties(fresh.get(), root);
    for (const QPointer<QObject> &c : componentsOf(fresh.get()))
        c->setParent(root);
    // Connections and open datasets the text stores stay held.
    return {};
}
