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

TSprig *TSprig::findDirect(const QString &AName, const QMetaObject *ASprigClass) const
{
    const auto fits = [ASprigClass](const TSprig *Node) {
        return !ASprigClass || Node->metaObject()->inherits(ASprigClass);
    };
    const int build = FRoot ? FRoot->FBuild : 0;
    if (build == 0) {
        for (TSprig *child : FChildren)
            if (child->Name().compare(AName, Qt::CaseInsensitive) == 0 && fits(child))
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
        FIndex->Nodes[child->Name().toCaseFolded()].append(child);
    }
    const auto it = FIndex->Nodes.constFind(AName.toCaseFolded());
    if (it == FIndex->Nodes.constEnd())
        return nullptr;
    const auto found = std::find_if(it->begin(), it->end(), fits);
    return found == it->end() ? nullptr : *found;
}

TSprig *TSprig::FindItem(const QObject *AItem, bool ARecurse) const
{
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

void TRootSprig::AddItems(const QList<QObject *> &Components)
{
    struct Placing
    {
        int Rank;
        TSprig *Node;
    };
    // The registered node class (and its rank, the position of its
    // registration) is looked up once per component class.
    QHash<const QMetaObject *, std::pair<TSprigClass, int>> classes;
    std::vector<Placing> placing;
    placing.reserve(Components.size());
    FComponents.reserve(FComponents.size() + Components.size());
    try {
        for (QObject *component : Components) {
            auto known = classes.find(component->metaObject());
            if (known == classes.end())
                known = classes.insert(component->metaObject(),
                                       {registrations().sprigFor(component->metaObject()),
                                        registrations().sprigRank(component->metaObject())});
            std::unique_ptr<TSprig> sprig;
            int rank = known->second;
            if (known->first) {
                sprig = known->first.Create(component);
            } else if (qobject_cast<TField *>(component)) {
                // A field goes under its dataset's node, so after every other kind.
                sprig = std::make_unique<TFieldSprig>(component);
                rank = std::numeric_limits<int>::max();
            } else {
                sprig = std::make_unique<TComponentSprig>(component);
            }
            sprig->SetRoot(this);
            placing.push_back({rank, sprig.release()});
        }
    } catch (...) {
        for (const Placing &p : placing)
            delete p.Node;
        throw;
    }
    for (QObject *component : Components)
        FComponents.append(component);
    std::stable_sort(placing.begin(), placing.end(),
                     [](const Placing &A, const Placing &B) { return A.Rank < B.Rank; });
    QList<TSprig *> pending;
    pending.reserve(placing.size());
    for (const Placing &p : placing)
        pending.append(p.Node);

    FBuild = ++FBuildCounter;
    // Placement may still look for a parent placed later (a node class that
    // depends on another of its own kind): retry the unplaced nodes while a
    // pass still places any.
    bool progress = true;
    while (!pending.isEmpty() && progress) {
        progress = false;
        QList<TSprig *> unplaced;
        for (TSprig *sprig : std::as_const(pending)) {
            try {
                sprig->FigureParent();
            } catch (...) {
                FBuild = 0;
                for (TSprig *s : std::as_const(pending))
                    if (!s->Parent())
                        delete s;
                throw;
            }
            if (sprig->Parent())
                progress = true;
            else
                unplaced.append(sprig);
        }
        pending = unplaced;
    }
    FBuild = 0;
    FOrphans.append(pending);
}

void TRootSprig::Rebuild()
{
    clearNodes();
    QList<QObject *> components;
    components.reserve(FComponents.size());
    for (const QPointer<QObject> &component : std::as_const(FComponents))
        if (component)
            components.append(component);
    FComponents.clear();
    AddItems(components);
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
