#include "Sprigs.h"

#include "DesignErrors.h"
#include "Registrations.h"

#include "orvlib/DB.h"

#include <QHash>
#include <QMetaObject>

#include <algorithm>
#include <limits>
#include <memory>

TSprig::TSprig(QObject *AItem)
    : FItem(AItem)
{}

TSprig::~TSprig()
{
    if (FRoot && FRoot != this)
        FRoot->FOrphans.removeOne(this);
    detach();
    // Children leave this list as they go; take them out first.
    const QList<TSprig *> children = std::exchange(FChildren, {});
    for (TSprig *child : children) {
        child->FParent = nullptr;
        delete child;
    }
}

void TSprig::SetRoot(TRootSprig *ARoot)
{
    FRoot = ARoot;
}

void TSprig::detach()
{
    if (FParent) {
        FParent->FChildren.removeOne(this);
        FParent->FIndex.reset();
    }
    FParent = nullptr;
}

void TSprig::setRootOfSubtree(TRootSprig *ARoot)
{
    FRoot = ARoot;
    for (TSprig *child : std::as_const(FChildren))
        child->setRootOfSubtree(ARoot);
}

QString TSprig::UniqueName()
{
    if (FItem)
        return FItem->objectName();
    return QStringLiteral("<%1>").arg(QString::fromLatin1(metaObject()->className()));
}

bool TSprig::Transient()
{
    return false;
}

bool TSprig::AnyProblems()
{
    return false;
}

TComponentClass TSprig::ItemClass()
{
    return FItem ? FItem->metaObject() : nullptr;
}

QString TSprig::Name()
{
    return UniqueName();
}

QString TSprig::Caption()
{
    const TComponentClass cls = ItemClass();
    return CaptionFor(Name(), UniqueName(),
                      cls ? QString::fromLatin1(cls->className()) : QString());
}

bool TSprig::DragOverTo(TSprig *AItem)
{
    Q_UNUSED(AItem);
    return false;
}

bool TSprig::DragDropTo(TSprig *AItem)
{
    Q_UNUSED(AItem);
    return false;
}

bool TSprig::PaletteOverTo(TSprig *AParent, TComponentClass AClass)
{
    Q_UNUSED(AParent);
    Q_UNUSED(AClass);
    return false;
}

void TSprig::Reparent() {}

void TSprig::FigureParent()
{
    if (FRoot && FRoot != this)
        FRoot->Add(this);
}

TSprig *TSprig::Add(TSprig *AItem)
{
    for (const TSprig *s = this; s; s = s->FParent)
        if (s == AItem)
            throw EDesignError(
                QStringLiteral("Cannot add node %1 below itself").arg(AItem->UniqueName()));
    if (AItem->FRoot)
        AItem->FRoot->FOrphans.removeOne(AItem);
    AItem->detach();
    AItem->FParent = this;
    FChildren.append(AItem);
    AItem->setRootOfSubtree(FRoot);
    return AItem;
}

TSprig *TSprig::Find(const QString &AName, bool ARecurse) const
{
    return Find(AName, ARecurse, nullptr);
}

TSprig *TSprig::Find(const QString &AName, bool ARecurse, const QMetaObject *ASprigClass) const
{
    if (TSprig *found = findDirect(AName, ASprigClass))
        return found;
    if (ARecurse)
        for (TSprig *child : FChildren)
            if (TSprig *found = child->Find(AName, true, ASprigClass))
                return found;
    return nullptr;
}

TSprig::NameIndex::Key::Key(const QString &AName)
    : Name(AName)
    , Hash(14695981039346656037ULL)
{
    // FNV-1a over the case-folded code points: the folding the comparison
    // ignoring case uses, so names it finds equal hash alike.
    for (qsizetype i = 0; i < AName.size(); ++i) {
        char32_t c = AName.at(i).unicode();
        if (c < 0x80) { // the usual name: ASCII folds to lower case
            Hash ^= (c >= u'A' && c <= u'Z') ? c + (u'a' - u'A') : c;
            Hash *= 1099511628211ULL;
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < AName.size() && AName.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(AName.at(i).unicode(), AName.at(i + 1).unicode());
            ++i;
        }
        Hash ^= QChar::toCaseFolded(c);
        Hash *= 1099511628211ULL;
    }
}

bool TSprig::NameIndex::Key::operator==(const Key &Other) const
{
    // Names are usually spelled alike: compare exactly before folding.
    return Hash == Other.Hash
           && (Name == Other.Name || Name.compare(Other.Name, Qt::CaseInsensitive) == 0);
}

TSprig *TSprig::findDirect(const QString &AName, const QMetaObject *ASprigClass) const
{
    const int build = FRoot ? FRoot->FBuild : 0;
    if (build == 0) {
        for (TSprig *child : FChildren)
            if (child->Name().compare(AName, Qt::CaseInsensitive) == 0
                && (!ASprigClass || child->metaObject()->inherits(ASprigClass)))
                return child;
        return nullptr;
    }
    if (!FIndex || FIndex->Build != build) {
        FIndex = std::make_unique<NameIndex>();
        FIndex->Build = build;
    }
    // Children are only ever appended while the index lives (a removal drops
    // it): read the names of those added since the last look-up.
    for (; FIndex->Count < FChildren.size(); ++FIndex->Count) {
        TSprig *child = FChildren.at(FIndex->Count);
        FIndex->Nodes[NameIndex::Key(child->Name())].append({child, child->metaObject()});
    }
    const auto it = FIndex->Nodes.constFind(NameIndex::Key(AName));
    if (it == FIndex->Nodes.constEnd())
        return nullptr;
    for (const NameIndex::Entry &entry : *it)
        if (!ASprigClass || entry.Class->inherits(ASprigClass))
            return entry.Node;
    return nullptr;
}

TSprig *TSprig::FindItem(const QObject *AItem, bool ARecurse) const
{
    if (FRoot && FRoot->FBuild != 0) {
        // Every node of the build is in the map; it counts when it hangs
        // below this node (directly, without ARecurse).
        TSprig *node = FRoot->FNodesByItem.value(AItem);
        for (TSprig *s = node ? node->FParent : nullptr; s; s = s->FParent) {
            if (s == this)
                return node;
            if (!ARecurse)
                break;
        }
        if (node)
            return nullptr;
        // Not made in this build: perhaps in an earlier one, found below.
    }
    for (TSprig *child : FChildren)
        if (child->FItem == AItem)
            return child;
    if (ARecurse)
        for (TSprig *child : FChildren)
            if (TSprig *found = child->FindItem(AItem, true))
                return found;
    return nullptr;
}

void TSprig::ReparentChildren()
{
    for (auto i = FChildren.size(); i-- > 0;)
        if (i < FChildren.size())
            FChildren[i]->Reparent();
}

bool TSprig::ProblemsBelow()
{
    for (TSprig *child : std::as_const(FChildren))
        if (child->AnyProblems() || child->ProblemsBelow())
            return true;
    return false;
}

QString TSprig::CaptionFor(const QString &AName, const QString &ALabel, const QString &AClass)
{
    if (AName.isEmpty() && ALabel.isEmpty())
        return AClass.isEmpty() ? QString() : QStringLiteral("<%1>").arg(AClass);
    if (ALabel.isEmpty() || ALabel == AName)
        return AName;
    if (AName.isEmpty())
        return ALabel;
    return QStringLiteral("%1: %2").arg(ALabel, AName);
}

bool TTransientSprig::Transient()
{
    return true;
}

void TFieldSprig::FigureParent()
{
    auto *field = qobject_cast<TField *>(Item());
    TDataSet *dataSet = field ? field->DataSet() : nullptr;
    if (!dataSet) {
        TComponentSprig::FigureParent();
        return;
    }
    if (TRootSprig *root = Root()) {
        if (TSprig *parent = root->FindItem(dataSet))
            parent->Add(this);
    }
}

TRootSprig::TRootSprig(QObject *ADesignRoot, IDesignerPtr ADesigner)
    : TSprig(ADesignRoot)
    , FDesigner(std::move(ADesigner))
{
    SetRoot(this);
}

TRootSprig::~TRootSprig()
{
    clearNodes();
}

void TRootSprig::clearNodes()
{
    // Let the nodes forget the root first so they do not look for themselves
    // among its orphans as they go (and in the destructor, the root's members
    // go before the base class frees the children).
    for (TSprig *child : Children())
        child->setRootOfSubtree(nullptr);
    const QList<TSprig *> orphans = std::exchange(FOrphans, {});
    for (TSprig *orphan : orphans) {
        orphan->setRootOfSubtree(nullptr);
        delete orphan;
    }
    const QList<TSprig *> children = std::exchange(FChildren, {});
    FIndex.reset();
    for (TSprig *child : children) {
        child->FParent = nullptr;
        delete child;
    }
}

void TRootSprig::takeNodesForReuse()
{
    std::vector<TSprig *> nodes;
    const auto collect = [&nodes](TSprig *Node, const auto &Self) -> void {
        nodes.push_back(Node);
        for (TSprig *child : std::as_const(Node->FChildren))
            Self(child, Self);
    };
    for (TSprig *child : std::as_const(FChildren))
        collect(child, collect);
    for (TSprig *orphan : std::as_const(FOrphans))
        collect(orphan, collect);
    FChildren.clear();
    FOrphans.clear();
    FIndex.reset();
    FReusable.reserve(qsizetype(nodes.size()));
    for (TSprig *node : nodes) {
        // Every link goes: nothing is freed through another node.
        node->FParent = nullptr;
        node->FRoot = nullptr;
        node->FChildren.clear(); // keeps its capacity for the next build
        node->FIndex.reset();
        if (node->FItem && !FReusable.contains(node->FItem))
            FReusable.insert(node->FItem, node);
        else
            delete node;
    }
}

void TRootSprig::deleteReusable()
{
    for (TSprig *node : std::as_const(FReusable))
        delete node; // unlinked: it touches no other node
    FReusable.clear();
}

void TRootSprig::AddItems(const QList<QObject *> &Components)
{
    FComponents.reserve(FComponents.size() + Components.size());
    for (QObject *component : Components)
        FComponents.append(component);
    placeItems(Components);
}

void TRootSprig::placeItems(const QList<QObject *> &Components)
{
    struct Placing
    {
        int Rank;
        QObject *Component;
        const TSprigClass *Class; // null: no node class registered
        bool Field;               // a field component without a node class of its own
    };
    // The registered node class (and its rank, the position of its
    // registration) is looked up once per component class.
    QHash<const QMetaObject *, std::pair<TSprigClass, int>> classes;
    std::vector<Placing> placing;
    placing.reserve(Components.size());
    for (QObject *component : Components) {
        const QMetaObject *meta = component->metaObject();
        auto known = classes.find(meta);
        if (known == classes.end())
            known = classes.insert(
                meta, {registrations().sprigFor(meta), registrations().sprigRank(meta)});
        // A field goes under its dataset's node, so after every other kind.
        const bool field = !known->first && qobject_cast<TField *>(component);
        placing.push_back({field ? std::numeric_limits<int>::max() : known->second, component,
                           known->first ? &known->first : nullptr, field});
    }
    std::stable_sort(placing.begin(), placing.end(),
                     [](const Placing &A, const Placing &B) { return A.Rank < B.Rank; });

    // Each node is placed as soon as it is made, while its component is at
    // hand; the nodes no parent took yet wait for the next pass.
    QList<TSprig *> pending;
    FBuild = ++FBuildCounter;
    FNodesByItem.reserve(placing.size());
    // A node that raises while placing itself is freed (and so leaves any
    // parent it found first); the exception goes on.
    const auto place = [&pending](TSprig *Node) {
        try {
            Node->FigureParent();
        } catch (...) {
            delete Node;
            throw;
        }
        if (!Node->Parent())
            pending.append(Node);
    };
    try {
        for (const Placing &p : placing) {
            std::unique_ptr<TSprig> sprig(FReusable.take(p.Component));
            const QMetaObject *nodeClass = p.Class   ? p.Class->Meta
                                           : p.Field ? &TFieldSprig::staticMetaObject
                                                     : &TComponentSprig::staticMetaObject;
            if (sprig && sprig->metaObject() != nodeClass)
                sprig.reset(); // the registered node class changed
            if (!sprig) {
                if (p.Class)
                    sprig = p.Class->Create(p.Component);
                else if (p.Field)
                    sprig = std::make_unique<TFieldSprig>(p.Component);
                else
                    sprig = std::make_unique<TComponentSprig>(p.Component);
            }
            sprig->SetRoot(this);
            FNodesByItem.insert(p.Component, sprig.get());
            place(sprig.release());
        }
        // Placement may still look for a parent placed later (a node class
        // that depends on another of its own kind): retry the unplaced nodes
        // while a pass still places any.
        for (qsizetype before = -1; !pending.isEmpty() && pending.size() != before;) {
            before = pending.size();
            const QList<TSprig *> waiting = std::exchange(pending, {});
            for (qsizetype i = 0; i < waiting.size(); ++i) {
                try {
                    place(waiting[i]);
                } catch (...) {
                    pending.append(waiting.mid(i + 1));
                    throw;
                }
            }
        }
    } catch (...) {
        FBuild = 0;
        FNodesByItem.clear();
        qDeleteAll(pending); // nobody's yet
        deleteReusable();
        throw;
    }
    FBuild = 0;
    FNodesByItem.clear();
    FOrphans.append(pending);
    // Nodes of components that are gone (or changed class).
    deleteReusable();
}

void TRootSprig::Rebuild()
{
    takeNodesForReuse();
    FComponents.removeIf([](const QPointer<QObject> &Component) { return Component.isNull(); });
    QList<QObject *> components;
    components.reserve(FComponents.size());
    for (const QPointer<QObject> &component : std::as_const(FComponents))
        components.append(component);
    placeItems(components);
}

bool TRootSprig::DragOver(TSprig *ADragged, TSprig *ATarget)
{
    return ADragged && ATarget && ADragged != ATarget && ADragged->DragOverTo(ATarget);
}

bool TRootSprig::DragDrop(TSprig *ADragged, TSprig *ATarget)
{
    if (!DragOver(ADragged, ATarget))
        return false;
    bool changed = false;
    try {
        changed = ADragged->DragDropTo(ATarget);
    } catch (...) {
        Rebuild();
        throw;
    }
    if (changed) {
        if (FDesigner)
            FDesigner->Modified();
        Rebuild();
    }
    return changed;
}

bool TRootSprig::PaletteOver(TSprig *AParent, TComponentClass AClass)
{
    const TSprigClass cls = registrations().sprigFor(AClass);
    return cls && cls.PaletteOverTo && cls.PaletteOverTo(AParent, AClass);
}
