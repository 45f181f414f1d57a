#include "Sprigs.h"

#include "DesignErrors.h"
#include "FormFile.h"
#include "Registrations.h"

#include "orvlib/DB.h"

#include <QChildEvent>
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
        FRoot->forget(this);
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
    if (FRoot == ARoot)
        return;
    if (FRoot && FRoot != this)
        FRoot->forget(this);
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
    SetRoot(ARoot);
    // In the tree and not one the root made: the root frees it at the next
    // rebuild, so it keeps a list of such nodes.
    if (ARoot && ARoot != this && FEntry < 0 && !FListed) {
        ARoot->FOthers.append(this);
        FListed = true;
    }
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

QString TSprig::ProblemHint()
{
    return {};
}

TComponentClass TSprig::ItemClass()
{
    if (FItem && !FItemClass)
        FItemClass = FItem->metaObject();
    return FItemClass;
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
        // Every node of the build is known; it counts when it hangs below
        // this node (directly, without ARecurse).
        TSprig *node = FRoot->nodeOfBuild(AItem);
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

QString TComponentSprig::Caption()
{
    if (const auto *notLoaded = qobject_cast<const TNotLoadedComponent *>(Item()))
        return QStringLiteral("%1 (not loaded: %2)").arg(Name(), notLoaded->ClassName());
    return TSprig::Caption();
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

QString TFieldSprig::ProblemHint()
{
    auto *field = qobject_cast<TField *>(Item());
    const TDataSet *dataSet = field ? field->DataSet() : nullptr;
    if (Parent() || !dataSet)
        return {};
    // Named as a reader finds it: with the module it belongs to, if any.
    const QObject *owner = dataSet->parent();
    const QString name = owner && !owner->objectName().isEmpty()
                             ? owner->objectName() + u'.' + dataSet->objectName()
                             : dataSet->objectName();
    return QStringLiteral("DataSet \"%1\" is not a component of this module").arg(name);
}

TRootSprig::TRootSprig(QObject *ADesignRoot, IDesignerPtr ADesigner)
    : TSprig(ADesignRoot)
    , FDesigner(std::move(ADesigner))
    , FDesignRoot(ADesignRoot)
{
    SetRoot(this);
    if (ADesignRoot)
        ADesignRoot->installEventFilter(this);
}

bool TRootSprig::exists(const Entry &AEntry) const
{
    // The design root frees its children without telling itself.
    return AEntry.Watched ? !AEntry.Gone && FDesignRoot : !AEntry.Guard.isNull();
}

bool TRootSprig::eventFilter(QObject *Watched, QEvent *Event)
{
    // A child leaves the design root as it is freed (or given another
    // owner): it is no longer a component of this module. The event comes
    // while it is still being freed, before its address can be used again.
    if (Event->type() == QEvent::ChildRemoved && Watched == FDesignRoot) {
        const QObject *child = static_cast<QChildEvent *>(Event)->child();
        if (!FWatchedEntriesValid) {
            FWatchedEntries.clear();
            for (size_t i = 0; i < FEntries.size(); ++i)
                if (FEntries[i].Watched && !FEntries[i].Gone)
                    FWatchedEntries.insert(FEntries[i].Item, i);
            FWatchedEntriesValid = true;
        }
        for (auto it = FWatchedEntries.constFind(child);
             it != FWatchedEntries.constEnd() && it.key() == child; ++it)
            FEntries[*it].Gone = true;
        FWatchedEntries.remove(child);
    }
    return TSprig::eventFilter(Watched, Event);
}

TRootSprig::~TRootSprig()
{
    clearNodes();
}

void TRootSprig::forget(TSprig *ANode)
{
    FOrphans.removeOne(ANode);
    if (ANode->FEntry >= 0) {
        FEntries[size_t(ANode->FEntry)].Node = nullptr;
        ANode->FEntry = -1;
    }
    if (ANode->FListed) {
        FOthers.removeOne(ANode);
        ANode->FListed = false;
    }
}

void TRootSprig::clearNodes()
{
    unlinkNodes();
    for (Entry &entry : FEntries)
        if (TSprig *node = std::exchange(entry.Node, nullptr)) {
            node->FEntry = -1;
            node->FRoot = nullptr; // unlinked: it touches no other node as it goes
            delete node;
        }
}

void TRootSprig::unlinkNodes()
{
    // Every node below the root is the node of an entry or on the list of
    // the others: both are reached without walking the tree.
    const auto unlink = [](TSprig *Node) {
        Node->FParent = nullptr;
        Node->FChildren.clear(); // keeps its capacity for the next build
        Node->FIndex.reset();
    };
    for (const Entry &entry : FEntries)
        if (entry.Node)
            unlink(entry.Node);
    const QList<TSprig *> others = std::exchange(FOthers, {});
    for (TSprig *node : others) {
        unlink(node);
        node->FListed = false;
        node->FRoot = nullptr; // unlinked: it touches no other node as it goes
    }
    qDeleteAll(others);
    FChildren.clear();
    FOrphans.clear();
    FIndex.reset();
}

TSprig *TRootSprig::nodeOfBuild(const QObject *Item)
{
    if (FNodesByItemBuild != FBuild) {
        FNodesByItem.clear();
        FNodesByItem.reserve(qsizetype(FEntries.size()));
        for (const Entry &entry : FEntries)
            if (entry.Node)
                FNodesByItem.insert(entry.Node->FItem, entry.Node);
        FNodesByItemBuild = FBuild;
    }
    return FNodesByItem.value(Item);
}

void TRootSprig::AddItems(const QList<QObject *> &Components)
{
    const qsizetype first = qsizetype(FEntries.size());
    FEntries.reserve(FEntries.size() + size_t(Components.size()));
    const QObject *designRoot = FDesignRoot.data();
    for (QObject *component : Components) {
        Entry entry;
        entry.Item = component;
        entry.Class = component->metaObject();
        entry.Watched = designRoot && component->parent() == designRoot;
        if (!entry.Watched)
            entry.Guard = component;
        FEntries.push_back(std::move(entry));
    }
    FWatchedEntriesValid = false;
    placeEntries(first);
}

void TRootSprig::placeEntries(qsizetype First)
{
    // The registered node class of each component class, and its rank (the
    // position of its registration), looked up once per class.
    struct ClassInfo
    {
        TSprigClass Sprig;
        const QMetaObject *NodeClass;
        int Rank;
    };
    std::vector<ClassInfo> infos;
    QHash<const QMetaObject *, size_t> infoOf;
    struct Placing
    {
        int Rank;
        size_t Entry;
        size_t Info;
    };
    std::vector<Placing> placing;
    placing.reserve(FEntries.size() - size_t(First));
    for (size_t i = size_t(First); i < FEntries.size(); ++i) {
        const QMetaObject *meta = FEntries[i].Class;
        auto known = infoOf.constFind(meta);
        if (known == infoOf.constEnd()) {
            ClassInfo info{registrations().sprigFor(meta), nullptr,
                           registrations().sprigRank(meta)};
            if (info.Sprig) {
                info.NodeClass = info.Sprig.Meta;
            } else if (meta->inherits(&TField::staticMetaObject)) {
                // A field goes under its dataset's node, so after every other kind.
                info.NodeClass = &TFieldSprig::staticMetaObject;
                info.Rank = std::numeric_limits<int>::max();
            } else {
                info.NodeClass = &TComponentSprig::staticMetaObject;
            }
            infos.push_back(info);
            known = infoOf.insert(meta, infos.size() - 1);
        }
        placing.push_back({infos[*known].Rank, i, *known});
    }
    // In rank order, components of one rank in the order given: a module has
    // few ranks and many components, so the components are dealt out to
    // their ranks (in linear time) rather than sorted.
    {
        std::vector<int> ranks;
        for (const ClassInfo &info : infos)
            ranks.push_back(info.Rank);
        std::sort(ranks.begin(), ranks.end());
        ranks.erase(std::unique(ranks.begin(), ranks.end()), ranks.end());
        std::vector<size_t> bucketOf(infos.size()), start(ranks.size() + 1, 0);
        for (size_t i = 0; i < infos.size(); ++i)
            bucketOf[i] = size_t(std::lower_bound(ranks.begin(), ranks.end(), infos[i].Rank)
                                 - ranks.begin());
        for (const Placing &p : placing)
            ++start[bucketOf[p.Info] + 1];
        for (size_t b = 1; b < start.size(); ++b)
            start[b] += start[b - 1];
        std::vector<Placing> dealt(placing.size());
        for (const Placing &p : placing)
            dealt[start[bucketOf[p.Info]]++] = p;
        placing.swap(dealt);
    }

    QList<TSprig *> pending;
    FBuild = ++FBuildCounter;
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
        // Every node first (kept from the last build when its node class is
        // still the registered one), so placement can find any of them.
        for (const Placing &p : placing) {
            Entry &entry = FEntries[p.Entry];
            const ClassInfo &info = infos[p.Info];
            if (entry.Node && entry.NodeClass != info.NodeClass)
                delete entry.Node; // the registered node class changed; clears entry.Node
            if (entry.Node)
                continue;
            QObject *component = entry.Item;
            std::unique_ptr<TSprig> node
                = info.Sprig ? info.Sprig.Create(component)
                  : info.NodeClass == &TFieldSprig::staticMetaObject
                      ? std::unique_ptr<TSprig>(std::make_unique<TFieldSprig>(component))
                      : std::make_unique<TComponentSprig>(component);
            node->FEntry = qsizetype(p.Entry);
            node->SetRoot(this);
            if (node->FItem == component)
                node->FItemClass = entry.Class;
            entry.Node = node.release();
            entry.NodeClass = info.NodeClass;
        }
        // Each node places itself in class order; the nodes no parent took
        // yet wait for the next pass. In a large module the components are
        // not in the caches when their nodes place themselves: fetch the
        // first lines of a component (its class and, in the usual component,
        // the names its node reads) and its node a few placements ahead.
        constexpr size_t Ahead = 8;
        for (size_t i = 0; i < placing.size(); ++i) {
            if (i + Ahead < placing.size()) {
                const Entry &ahead = FEntries[placing[i + Ahead].Entry];
                const char *item = reinterpret_cast<const char *>(ahead.Item);
                for (int offset = 0; offset < 256; offset += 64)
                    __builtin_prefetch(item + offset);
                __builtin_prefetch(ahead.Node);
            }
            if (TSprig *node = FEntries[placing[i].Entry].Node)
                place(node);
        }
        // Placement may still look for a parent placed later (a node class
        // that depends on another of its own kind): retry the unplaced nodes
        // while a pass still places any.
        for (qsizetype before = -1; !pending.isEmpty() && pending.size() != before;) {
            before = pending.size();
            const QList<TSprig *> waiting = std::exchange(pending, {});
            for (TSprig *node : waiting)
                place(node);
        }
    } catch (...) {
        FBuild = 0;
        FNodesByItem.clear();
        // The nodes of this build no parent took are nobody's: free them
        // (with whatever was placed below them). Their components stay
        // remembered for a rebuild.
        for (const Placing &p : placing) {
            TSprig *node = FEntries[p.Entry].Node;
            if (node && !node->FParent)
                delete node;
        }
        throw;
    }
    FBuild = 0;
    FNodesByItem.clear();
    FOrphans.append(pending);
}

void TRootSprig::Rebuild()
{
    unlinkNodes();
    // Forget the components that are gone, with their nodes.
    size_t kept = 0;
    for (size_t i = 0; i < FEntries.size(); ++i) {
        Entry &entry = FEntries[i];
        if (!exists(entry)) {
            if (TSprig *node = std::exchange(entry.Node, nullptr)) {
                node->FEntry = -1;
                node->FRoot = nullptr;
                delete node;
            }
            continue;
        }
        if (kept != i) {
            FEntries[kept] = std::move(entry);
            if (TSprig *node = FEntries[kept].Node)
                node->FEntry = qsizetype(kept);
        }
        ++kept;
    }
    FEntries.resize(kept);
    FWatchedEntriesValid = false;
    placeEntries(0);
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
