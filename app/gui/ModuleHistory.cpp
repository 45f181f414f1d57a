#include "ModuleHistory.h"

#include "ModuleEditing.h"

#include "designide/FormFile.h"
#include "rtl/SysUtils.h"

#include <QChildEvent>
#include <QMetaProperty>
#include <QRegularExpression>

#include <algorithm>
#include <memory>

namespace {

// A module up to this many components takes the text of every component
// as soon as its history starts; a larger one when the event loop is next
// idle, so that opening it shows the window first.
constexpr int BaselineSyncLimit = 2000;

// "object Name: Class" on a text's first line.
QString headerName(const QString &Text)
{
    const qsizetype space = Text.indexOf(QLatin1Char(' '));
    const qsizetype colon = Text.indexOf(QLatin1Char(':'));
    if (space < 0 || colon < space)
        return {};
    return Text.mid(space + 1, colon - space - 1).trimmed();
}

// "Prop = Identifier": a reference, an enumeration or a Boolean value.
const QRegularExpression &identifierValue()
{
    static const QRegularExpression re(
        QStringLiteral(R"(^\s*[A-Za-z_][\w.]*\s*=\s*([A-Za-z_]\w*)\s*$)"),
        QRegularExpression::MultilineOption);
    return re;
}

// The component of the module whose text a step keeps: a component owned by
// another is kept with its owner.
QObject *keptComponent(QObject *Root, QObject *Component)
{
    QObject *c = Component;
    while (c && c->parent() && c->parent() != Root)
        c = c->parent();
    if (!c || (c != Root && c->parent() != Root))
        return nullptr;
    return c == Root || isDesignComponent(c) ? c : nullptr;
}

// Restores the form text of the module's root or components while the
// history reads a step back: no step of its own.
struct Restoring
{
    explicit Restoring(bool &Flag)
        : flag(Flag)
    {
        flag = true;
    }
    ~Restoring() { flag = false; }
    bool &flag;
};

// The text a step keeps of a component: its form text as a save writes it,
// but for what a person opened or connected that the form does not store
// (not held): opening and closing are no design steps. A stored True
// (Connected, Active, Prepared) is the module's and is kept; an undo gives
// it back held, as reading a form does, and never acts on it.
QString keptText(TComponentTextWriter &Writer, const QObject *Component)
{
    QString text = Writer.Text(Component);
    if (!text.contains(QLatin1String(" = True\n")))
        return text;
    for (const char *name : {"Connected", "Active", "Prepared"}) {
        const QString prop = QLatin1String(name);
        if (IsActivationProperty(Component, prop) && !IsHeldActivation(Component, prop))
            text.replace(QStringLiteral("\n  %1 = True\n").arg(prop), QStringLiteral("\n"));
    }
    return text;
}

// Puts each of Places' components at its index among Root's children (the
// order of the form file), the others keeping their order around them.
// Reparenting moves a child behind the others, so the children from the
// first one out of place on are taken off, last first, and put back in
// order: a cost that grows with the children once, not once per component.
void placeChildren(QObject *Root, QList<std::pair<int, QObject *>> Places)
{
    if (Places.isEmpty())
        return;
    std::stable_sort(Places.begin(), Places.end(),
                     [](const auto &A, const auto &B) { return A.first < B.first; });
    const QObjectList now = Root->children();
    QSet<const QObject *> placed;
    for (const auto &p : std::as_const(Places))
        placed.insert(p.second);
    QObjectList wanted;
    wanted.reserve(now.size());
    auto next = Places.cbegin();
    for (QObject *c : now) {
        if (placed.contains(c))
            continue;
        while (next != Places.cend() && next->first <= wanted.size())
            wanted.append((next++)->second);
        wanted.append(c);
    }
    while (next != Places.cend())
        wanted.append((next++)->second);
    qsizetype first = 0;
    while (first < now.size() && now[first] == wanted[first])
        ++first;
    for (qsizetype i = now.size(); i-- > first;)
        now[i]->setParent(nullptr);
    for (qsizetype i = first; i < wanted.size(); ++i)
        wanted[i]->setParent(Root);
}

} // namespace

QHash<QString, QString> formTextBlocks(const QString &Text)
{
    QHash<QString, QString> blocks;
    const QStringList lines = Text.split(QLatin1Char('\n'));
    QString key;
    QString value;
    bool nested = false;
    auto flush = [&] {
        if (!key.isEmpty())
            blocks.insert(key, value);
        key.clear();
        value.clear();
    };
    for (int i = 0; i < lines.size(); ++i) {
        const QString &line = lines[i];
        if (i == 0) {
            blocks.insert(QStringLiteral("object"), line);
            continue;
        }
        const bool top = line.size() > 2 && line.startsWith(QLatin1String("  "))
                         && line[2] != QLatin1Char(' ');
        if (nested) {
            value += line + QLatin1Char('\n');
            if (line == QLatin1String("  end")) {
                nested = false;
                flush();
            }
            continue;
        }
        if (top) {
            flush();
            if (line.startsWith(QLatin1String("  object "))) {
                key = line.trimmed().section(QLatin1Char(':'), 0, 0);
                nested = true;
            } else {
                key = line.trimmed().section(QLatin1Char(' '), 0, 0);
            }
        }
        if (!key.isEmpty())
            value += line + QLatin1Char('\n');
    }
    flush();
    return blocks;
}

TModuleHistory::TModuleHistory(TFormDesignerPtr Designer, int Depth, QObject *Parent)
    : QObject(Parent)
    , m_designer(std::move(Designer))
    , m_depth(qMax(1, Depth))
{
    QObject *root = m_designer->Root();
    if (!root)
        return;
    root->installEventFilter(this);
    connect(m_designer.get(), &TFormDesigner::designChanged, this, &TModuleHistory::record);
    connect(m_designer.get(), &TFormDesigner::componentsChanged, this, &TModuleHistory::record);
    connect(m_designer.get(), &TFormDesigner::selectionChanged, this,
            [this] { snapshot(m_designer->selection(), false); });
    connect(m_designer.get(), &TFormDesigner::aboutToChangeComponents, this,
            [this](const QList<QObject *> &Components) {
                snapshot(Components, true);
                for (QObject *c : Components)
                    m_touched.append(c);
                // Their places, should they be deleted: an undo puts them back
                // where they were.
                const QObjectList &children = m_designer->Root()->children();
                QSet<const QObject *> wanted(Components.cbegin(), Components.cend());
                for (int i = 0; i < children.size() && !wanted.isEmpty(); ++i)
                    if (wanted.remove(children[i]))
                        m_places.insert(children[i], i);
            });
    if (root->children().size() <= BaselineSyncLimit)
        takeBaseline();
    else
        QMetaObject::invokeMethod(this, &TModuleHistory::takeBaseline, Qt::QueuedConnection);
}

TModuleHistory::~TModuleHistory()
{
    if (QObject *root = m_designer->Root())
        root->removeEventFilter(this);
}

void TModuleHistory::takeBaseline()
{
    if (m_baselineTaken || !m_designer->Root())
        return;
    m_baselineTaken = true;
    QObject *root = m_designer->Root();
    QList<QObject *> all{root};
    for (QObject *c : root->children())
        if (isDesignComponent(c))
            all.append(c);
    snapshot(all, false);
}

int TModuleHistory::idOf(QObject *Component)
{
    auto it = m_texts.find(Component);
    return it == m_texts.end() ? 0 : it->Id;
}

void TModuleHistory::snapshot(const QList<QObject *> &Components, bool Overwrite)
{
    QObject *root = m_designer->Root();
    if (!root || m_restoring)
        return;
    if (!m_baselineTaken) {
        takeBaseline();
        if (!Overwrite)
            return;
    }
    std::unique_ptr<TComponentTextWriter> writer;
    TReferenceCache references;
    for (QObject *c : Components) {
        QObject *kept = keptComponent(root, c);
        if (!kept)
            continue;
        auto it = m_texts.find(kept);
        if (it != m_texts.end() && !Overwrite)
            continue;
        if (!writer)
            writer = std::make_unique<TComponentTextWriter>(root);
        const QString text = keptText(*writer, kept);
        if (kept != root)
            setReferences(kept, referencedComponents(kept, references));
        if (it != m_texts.end()) {
            it->Text = text;
            continue;
        }
        const int id = m_nextId++;
        m_texts.insert(kept, {id, text});
        m_objects.insert(id, kept);
        m_names.insert(kept->objectName().toLower(), kept);
    }
}

bool TModuleHistory::eventFilter(QObject *Watched, QEvent *Event)
{
    if (Watched == m_designer->Root() && !m_restoring) {
        if (Event->type() == QEvent::ChildAdded) {
            m_added.append(static_cast<QChildEvent *>(Event)->child());
        } else if (Event->type() == QEvent::ChildRemoved) {
            QObject *child = static_cast<QChildEvent *>(Event)->child();
            const auto it = m_texts.constFind(child);
            if (it != m_texts.cend()) {
                m_removed.push_back({it->Id, it->Text, QString(), m_places.value(child, -1)});
                m_objects.remove(it->Id);
                m_texts.erase(it);
            }
            // Those that referred to it have lost the reference.
            for (QObject *c : m_referrers.value(child))
                m_touched.append(c);
            forget(child);
        }
    }
    return QObject::eventFilter(Watched, Event);
}

void TModuleHistory::setReferences(QObject *Component, const QList<QObject *> &Targets)
{
    auto it = m_references.find(Component);
    if (it != m_references.end()) {
        if (*it == Targets)
            return;
        for (QObject *t : std::as_const(*it)) {
            auto r = m_referrers.find(t);
            if (r != m_referrers.end() && (r->remove(Component), r->isEmpty()))
                m_referrers.erase(r);
        }
        m_references.erase(it);
    }
    if (Targets.isEmpty())
        return;
    m_references.insert(Component, Targets);
    for (QObject *t : Targets)
        m_referrers[t].insert(Component);
}

void TModuleHistory::forget(QObject *Component)
{
    setReferences(Component, {});
    m_referrers.remove(Component);
}

void TModuleHistory::markModified()
{
    m_designer->setModified(!isClean());
}

void TModuleHistory::setClean()
{
    m_clean = int(m_undo.size());
    markModified();
}

QObject *TModuleHistory::objectOf(int Id) const
{
    return m_objects.value(Id);
}

QObject *TModuleHistory::componentNamed(const QString &Name) const
{
    QObject *root = m_designer->Root();
    QObject *known = m_names.value(Name.toLower());
    if (known && m_texts.contains(known)
        && known->objectName().compare(Name, Qt::CaseInsensitive) == 0)
        return known;
    // Every component is indexed once the history has its texts: a name
    // not found is no component's (True, an enumeration's value).
    if (m_baselineTaken)
        return nullptr;
    for (QObject *c : root->children())
        if (c->objectName().compare(Name, Qt::CaseInsensitive) == 0 && isDesignComponent(c))
            return c;
    return nullptr;
}

void TModuleHistory::record()
{
    QObject *root = m_designer->Root();
    if (m_restoring || !root)
        return;
    if (!m_baselineTaken) {
        takeBaseline();
        // What changed before the history had its texts is in them: the
        // state saved can no longer be reached.
        m_clean = -1;
    }
    Step step;
    step.Name = std::exchange(m_nextName, QString());
    step.Entries = std::exchange(m_removed, {});
    TComponentTextWriter writer(root);
    TReferenceCache references;
    QSet<QObject *> seen;
    QSet<QObject *> added;
    for (const QPointer<QObject> &c : std::as_const(m_added))
        if (c)
            added.insert(c);
    QHash<const QObject *, int> places; // of every child, once a component was added
    auto placeOf = [&](const QObject *Component) {
        if (places.isEmpty()) {
            const QObjectList &children = root->children();
            places.reserve(children.size());
            for (int i = 0; i < children.size(); ++i)
                places.insert(children[i], i);
        }
        return places.value(Component, -1);
    };
    QList<QObject *> linked; // components a change may have touched besides
    auto compare = [&](QObject *Candidate, bool Side) {
        QObject *c = keptComponent(root, Candidate);
        if (!c || seen.contains(c))
            return;
        seen.insert(c);
        const QString text = keptText(writer, c);
        auto it = m_texts.find(c);
        if (it == m_texts.end()) {
            const int id = m_nextId++;
            m_texts.insert(c, {id, text});
            m_objects.insert(id, c);
            step.Entries.push_back({id, QString(), text, placeOf(c), Side});
        } else if (it->Text != text) {
            step.Entries.push_back({it->Id, it->Text, text, -1, Side});
            it->Text = text;
        } else {
            return;
        }
        m_names.insert(c->objectName().toLower(), c);
        if (c == root)
            return;
        // Who names it reads differently after a rename; who referred to
        // what it refers to, before or now, may have lost the reference.
        const QList<QObject *> before = m_references.value(c);
        const QList<QObject *> now = referencedComponents(c, references);
        setReferences(c, now);
        linked += m_referrers.value(c).values();
        for (const QList<QObject *> *targets : {&before, &now})
            for (QObject *t : *targets)
                linked += m_referrers.value(t).values();
    };
    auto compareLinked = [&] {
        while (!linked.isEmpty())
            compare(linked.takeLast(), true);
    };
    compare(root, false);
    for (QObject *c : m_designer->selection())
        compare(c, false);
    for (const QPointer<QObject> &c : std::as_const(m_touched))
        if (c)
            compare(c, false);
    for (QObject *c : std::as_const(added))
        compare(c, false);
    compareLinked();
    // Nothing the history watched changed: some pane changed a component
    // it did not announce. The whole module is compared.
    if (step.Entries.empty()) {
        for (QObject *c : root->children())
            if (isDesignComponent(c))
                compare(c, false);
        compareLinked();
    }
    m_added.clear();
    m_touched.clear();
    m_places.clear();
    if (step.Entries.empty()) {
        // Nothing stored changed (a dataset opened): the save point holds.
        markModified();
        return;
    }
    if (step.Name.isEmpty())
        step.Name = nameOf(step);
    // The saved state, were it among the steps undone, is gone with them.
    if (m_clean > int(m_undo.size()))
        m_clean = -1;
    m_undo.push_back(std::move(step));
    while (int(m_undo.size()) > m_depth) {
        m_undo.pop_front();
        if (m_clean >= 0)
            --m_clean;
    }
    m_redo.clear();
    markModified();
    emit changed();
}

QString TModuleHistory::nameOf(const Step &Whole)
{
    // A component changed by another's change (a reference taken from it)
    // does not name the step.
    Step S;
    for (const Entry &e : Whole.Entries)
        if (!e.Side)
            S.Entries.push_back(e);
    if (S.Entries.empty())
        S.Entries = Whole.Entries;
    int adds = 0, deletes = 0;
    QSet<QString> keys;
    QString name;
    for (const Entry &e : S.Entries) {
        if (e.Before.isEmpty())
            ++adds;
        else if (e.After.isEmpty())
            ++deletes;
        const QString text = e.After.isEmpty() ? e.Before : e.After;
        name = headerName(text);
        if (e.Before.isEmpty() || e.After.isEmpty())
            continue;
        const QHash<QString, QString> before = formTextBlocks(e.Before);
        const QHash<QString, QString> after = formTextBlocks(e.After);
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            if (after.value(it.key()) != it.value())
                keys.insert(it.key());
        for (auto it = after.cbegin(); it != after.cend(); ++it)
            if (!before.contains(it.key()))
                keys.insert(it.key());
    }
    const int count = int(S.Entries.size());
    const QString who = count == 1 ? name : QObject::tr("%1 components").arg(count);
    // Components added or deleted name the step; the others changed only
    // their references to them.
    auto named = [&](bool Added) {
        const int n = Added ? adds : deletes;
        if (n != 1)
            return QObject::tr("%1 components").arg(n);
        for (const Entry &e : S.Entries)
            if ((Added ? e.Before : e.After).isEmpty())
                return headerName(Added ? e.After : e.Before);
        return QString();
    };
    if (adds && !deletes)
        return QObject::tr("Add %1").arg(named(true));
    if (deletes && !adds)
        return QObject::tr("Delete %1").arg(named(false));
    if (adds || deletes)
        return QObject::tr("Change %1").arg(who);
    keys.remove(QStringLiteral("Left"));
    keys.remove(QStringLiteral("Top"));
    if (keys.isEmpty())
        return QObject::tr("Move %1").arg(who);
    if (keys.size() == 1 && *keys.cbegin() == QLatin1String("object") && count == 1)
        return QObject::tr("Rename %1 to %2").arg(headerName(S.Entries[0].Before), name);
    if (keys.size() == 1) {
        QString prop = *keys.cbegin();
        if (prop.endsWith(QLatin1String(".Strings")))
            prop.chop(8);
        if (count == 1)
            return QObject::tr("Set %1.%2").arg(name, prop);
        return QObject::tr("Set %1 of %2").arg(prop, who);
    }
    return QObject::tr("Change %1").arg(who);
}

QString TModuleHistory::undoName() const
{
    return m_undo.empty() ? QString() : m_undo.back().Name;
}

QString TModuleHistory::redoName() const
{
    return m_redo.empty() ? QString() : m_redo.back().Name;
}

void TModuleHistory::clear()
{
    m_clean = isClean() ? 0 : -1;
    m_undo.clear();
    m_redo.clear();
    emit changed();
}

void TModuleHistory::undo()
{
    if (m_undo.empty())
        return;
    apply(m_undo.back(), true);
    m_redo.push_back(std::move(m_undo.back()));
    m_undo.pop_back();
    markModified();
    emit changed();
}

void TModuleHistory::redo()
{
    if (m_redo.empty())
        return;
    apply(m_redo.back(), false);
    m_undo.push_back(std::move(m_redo.back()));
    m_redo.pop_back();
    markModified();
    emit changed();
}

void TModuleHistory::apply(const Step &S, bool Undo)
{
    QObject *root = m_designer->Root();
    if (!root)
        return;
    struct Target
    {
        const Entry *E;
        QString Text;    // what the component becomes
        QString Current; // what it is now
        QString Name;    // its name in Text
        QObject *Real = nullptr;
    };
    QList<Target> create, inPlace;
    QList<QPointer<QObject>> drop;
    QSet<QString> defined;
    for (const Entry &e : S.Entries) {
        const QString &text = Undo ? e.Before : e.After;
        QObject *real = objectOf(e.Id);
        if (text.isEmpty()) {
            if (real)
                drop.append(real);
            continue;
        }
        // What the component is now, as last written (a held-back value may
        // have kept it from being what the step says).
        const QString current = real ? m_texts.value(real).Text : QString();
        Target t{&e, text, current, headerName(text), real};
        defined.insert(t.Name.toLower());
        (real ? inPlace : create).append(t);
    }

    // The texts are read inside a buffer module, the components they refer
    // to stood in for by empty components of the same class and name; the
    // references are pointed at the module's own afterwards.
    QString wrapper = QStringLiteral("object OvUndoBuffer: TDataModule\n");
    QHash<QString, QObject *> stubbed; // lower-case name -> the module's component
    for (const QList<Target> *list : {&create, &inPlace})
        for (const Target &t : *list) {
            QRegularExpressionMatchIterator it = identifierValue().globalMatch(t.Text);
            while (it.hasNext()) {
                const QString ident = it.next().captured(1);
                const QString key = ident.toLower();
                if (defined.contains(key) || stubbed.contains(key))
                    continue;
                QObject *real = componentNamed(ident);
                if (!real)
                    continue;
                stubbed.insert(key, real);
                wrapper
                    += QStringLiteral("object %1: %2\nend\n")
                           .arg(real->objectName(), QLatin1String(real->metaObject()->className()));
            }
        }
    for (const QList<Target> *list : {&create, &inPlace})
        for (const Target &t : *list)
            wrapper += t.Text;
    wrapper += QStringLiteral("end\n");

    std::unique_ptr<QObject> buffer;
    try {
        TFormReader reader(wrapper);
        buffer = reader.Read();
    } catch (const EFormError &e) {
        throw Exception(QStringLiteral("Cannot undo: %1").arg(e.Message()));
    }
    QHash<QString, QObject *> read; // lower-case name -> the buffer's component
    for (QObject *c : buffer->children())
        read.insert(c->objectName().toLower(), c);
    QHash<QObject *, QObject *> realOf; // buffer component -> the module's
    for (auto it = stubbed.cbegin(); it != stubbed.cend(); ++it)
        if (QObject *stub = read.value(it.key()))
            realOf.insert(stub, it.value());
    for (Target &t : inPlace)
        if (QObject *scratch = read.value(t.Name.toLower()))
            realOf.insert(scratch, t.Real);

    auto mapped = [&](QObject *Value) {
        return realOf.value(Value, Value);
    };
    // The references the texts give the components changed in place, read
    // before the components read back are linked to the module: linking one
    // may take it from a stand-in (an update object serves one dataset).
    QHash<const QObject *, QHash<int, QObject *>> referenceOf;
    for (const Target &t : std::as_const(inPlace))
        if (const QObject *scratch = read.value(t.Name.toLower())) {
            const QMetaObject *meta = scratch->metaObject();
            for (int i = QObject::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i)
                if (meta->property(i).metaType().flags() & QMetaType::PointerToQObject)
                    referenceOf[scratch].insert(i,
                                                meta->property(i).read(scratch).value<QObject *>());
        }

    Restoring restoring(m_restoring);
    QStringList failures;
    QList<QPointer<QObject>> selection;
    for (QObject *c : m_designer->selection())
        selection.append(c);
    bool renamed = false;

    // Names first, so that the module reads as the texts do.
    for (const Target &t : std::as_const(inPlace))
        if (t.Real->objectName() != t.Name) {
            m_names.remove(t.Real->objectName().toLower());
            t.Real->setObjectName(t.Name);
            renamed = true;
        }

    QList<QObject *> created;
    for (Target &t : create) {
        QObject *c = read.value(t.Name.toLower());
        if (!c)
            continue;
        c->setParent(root);
        t.Real = c;
        created.append(c);
    }
    // A component read back goes to its old place among the root's
    // children (the order of the form file).
    QList<std::pair<int, QObject *>> places;
    for (const Target &t : std::as_const(create))
        if (t.Real && t.E->Index >= 0)
            places.append({t.E->Index, t.Real});
    placeChildren(root, places);
    pointAtModule(created, realOf);

    // Only the properties whose text differs are set, in declaration order.
    bool moved = false;
    for (const Target &t : std::as_const(inPlace)) {
        QObject *scratch = read.value(t.Name.toLower());
        if (!scratch)
            continue;
        const QHash<QString, QString> now = formTextBlocks(t.Current);
        const QHash<QString, QString> then = formTextBlocks(t.Text);
        QSet<QString> changed;
        for (auto it = now.cbegin(); it != now.cend(); ++it)
            if (then.value(it.key()) != it.value())
                changed.insert(it.key().section(QLatin1Char('.'), 0, 0));
        for (auto it = then.cbegin(); it != then.cend(); ++it)
            if (!now.contains(it.key()))
                changed.insert(it.key().section(QLatin1Char('.'), 0, 0));
        moved = moved || changed.contains(QStringLiteral("Left"))
                || changed.contains(QStringLiteral("Top"));
        const QMetaObject *meta = t.Real->metaObject();
        try {
            for (int i = QObject::staticMetaObject.propertyCount(); i < meta->propertyCount();
                 ++i) {
                const QMetaProperty p = meta->property(i);
                if (!changed.contains(QLatin1String(p.name())) || !p.isWritable())
                    continue;
                // A stored True comes back held and a forgotten one goes, as
                // the text says; what is open or connected now stays so.
                const QString name = QLatin1String(p.name());
                if (IsActivationProperty(t.Real, name)) {
                    SetHeldActivation(t.Real, name, IsHeldActivation(scratch, name));
                    continue;
                }
                QVariant value;
                if (p.metaType().flags() & QMetaType::PointerToQObject) {
                    QObject *target = referenceOf.value(scratch).value(i);
                    if (target && target->parent() != scratch)
                        target = mapped(target);
                    value = QVariant(p.metaType(), &target);
                } else {
                    value = p.read(scratch);
                }
                p.write(t.Real, value);
            }
            for (const char *pos : {"Left", "Top"})
                if (changed.contains(QLatin1String(pos)) && meta->indexOfProperty(pos) < 0)
                    t.Real->setProperty(pos, scratch->property(pos));
        } catch (const Exception &e) {
            failures.append(QStringLiteral("%1: %2").arg(t.Name, e.Message()));
        }
    }

    for (const QPointer<QObject> &c : std::as_const(drop)) {
        if (!c)
            continue;
        const auto it = m_texts.constFind(c.data());
        if (it != m_texts.cend()) {
            m_objects.remove(it->Id);
            m_texts.erase(it);
        }
        m_names.remove(c->objectName().toLower());
        forget(c.data());
        delete c.data();
    }
    buffer.reset();

    // The texts kept are what the components now are.
    TComponentTextWriter writer(root);
    TReferenceCache references;
    for (const QList<Target> *list : {&create, &inPlace})
        for (const Target &t : *list) {
            if (!t.Real)
                continue;
            m_texts.insert(t.Real, {t.E->Id, keptText(writer, t.Real)});
            m_objects.insert(t.E->Id, t.Real);
            m_names.insert(t.Name.toLower(), t.Real);
            if (t.Real != root)
                setReferences(t.Real, referencedComponents(t.Real, references));
        }

    // The surface places its icons when the components change: a move
    // taken back must move the icon too.
    if (!created.isEmpty() || !drop.isEmpty() || renamed || moved)
        m_designer->notifyComponentsChanged();
    else
        m_designer->Modified();
    QList<QObject *> shown;
    for (QObject *c : std::as_const(created))
        if (!isPersistentField(c))
            shown.append(c);
    if (shown.isEmpty())
        for (const QPointer<QObject> &c : std::as_const(selection))
            if (c)
                shown.append(c);
    m_designer->select(shown);
    if (!failures.isEmpty())
        throw Exception(failures.join(QLatin1Char('\n')));
}
