#include "Sprigs.h"

#include "DesignErrors.h"
#include "Registrations.h"

#include "orvlib/DB.h"

#include <QMetaObject>

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
    if (FParent)
        FParent->FChildren.removeOne(this);
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
    for (TSprig *child : FChildren)
        if (child->Name().compare(AName, Qt::CaseInsensitive) == 0)
            return child;
    if (ARecurse)
        for (TSprig *child : FChildren)
            if (TSprig *found = child->Find(AName, true))
                return found;
    return nullptr;
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

TRootSprig::TRootSprig(QObject *ADesignRoot)
    : TSprig(ADesignRoot)
{
    SetRoot(this);
}

TRootSprig::~TRootSprig()
{
    // The nodes go after this destructor's members: let them forget the root
    // so they do not look for themselves among its orphans.
    for (TSprig *child : Children())
        child->setRootOfSubtree(nullptr);
    const QList<TSprig *> orphans = std::exchange(FOrphans, {});
    for (TSprig *orphan : orphans) {
        orphan->setRootOfSubtree(nullptr);
        delete orphan;
    }
}

void TRootSprig::AddItems(const QList<QObject *> &Components)
{
    QList<TSprig *> pending;
    for (QObject *component : Components) {
        std::unique_ptr<TSprig> sprig;
        if (TSprigClass cls = registrations().sprigFor(component->metaObject()))
            sprig = cls.Create(component);
        else if (qobject_cast<TField *>(component))
            sprig = std::make_unique<TFieldSprig>(component);
        else
            sprig = std::make_unique<TComponentSprig>(component);
        sprig->SetRoot(this);
        pending.append(sprig.release());
    }
    // Placement may look for a parent placed later in the list: retry the
    // unplaced nodes while a pass still places any.
    bool progress = true;
    while (!pending.isEmpty() && progress) {
        progress = false;
        QList<TSprig *> unplaced;
        for (TSprig *sprig : std::as_const(pending)) {
            try {
                sprig->FigureParent();
            } catch (...) {
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
    FOrphans.append(pending);
}
