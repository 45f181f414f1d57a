#include "orvlib/Collections.h"

#include "rtl/SysUtils.h"

#include <QMetaProperty>

#include <memory>

TCollectionItem::TCollectionItem(TCollection *Collection)
    : QObject(Collection)
    , m_collection(Collection)
{}

TCollectionItem::~TCollectionItem()
{
    if (m_collection)
        m_collection->detach(this);
}

int TCollectionItem::Index() const
{
    return m_collection ? static_cast<int>(m_collection->m_items.indexOf(this)) : -1;
}

QString TCollectionItem::DisplayName() const
{
    return QString::fromLatin1(metaObject()->className());
}

void TCollectionItem::Assign(const TCollectionItem &Source)
{
    const QMetaObject *meta = metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const QMetaProperty p = meta->property(i);
        if (p.isWritable() && p.isStored())
            p.write(this, Source.property(p.name()));
    }
}

TCollection::TCollection(QObject *Owner)
    : QObject(Owner)
{}

TCollection::~TCollection()
{
    // Items are children; detach them first so their destructors do not
    // touch a list that is going away.
    for (TCollectionItem *item : std::as_const(m_items))
        item->m_collection = nullptr;
    qDeleteAll(m_items);
    m_items.clear();
}

TCollectionItem *TCollection::Item(int Index) const
{
    if (Index < 0 || Index >= m_items.size())
        throw EListError(QStringLiteral("Collection index out of bounds (%1)").arg(Index));
    return m_items.at(Index);
}

TCollectionItem *TCollection::Add()
{
    TCollectionItem *item = CreateItem();
    Insert(item);
    return item;
}

void TCollection::Insert(TCollectionItem *Item)
{
    Item->setParent(this);
    Item->m_collection = this;
    m_items.append(Item);
    notifyChanged();
}

void TCollection::Delete(int Index)
{
    delete Item(Index); // the destructor detaches it
}

void TCollection::detach(TCollectionItem *Item)
{
    if (m_items.removeOne(Item))
        notifyChanged();
}

void TCollection::Move(int CurIndex, int NewIndex)
{
    Item(CurIndex);
    Item(NewIndex);
    if (CurIndex == NewIndex)
        return;
    m_items.move(CurIndex, NewIndex);
    notifyChanged();
}

void TCollection::Clear()
{
    if (m_items.isEmpty())
        return;
    BeginUpdate();
    const QList<TCollectionItem *> items = m_items;
    for (TCollectionItem *item : items) {
        item->m_collection = nullptr;
        delete item;
    }
    m_items.clear();
    m_changedInUpdate = true;
    EndUpdate();
}

QString TCollection::ItemClassName() const
{
    std::unique_ptr<TCollectionItem> probe(CreateItem());
    return QString::fromLatin1(probe->metaObject()->className());
}

void TCollection::Assign(const TCollection &Source)
{
    if (&Source == this)
        return;
    BeginUpdate();
    Clear();
    for (TCollectionItem *src : Source.m_items) {
        TCollectionItem *item = CreateItem();
        item->Assign(*src);
        Insert(item);
    }
    m_changedInUpdate = true;
    EndUpdate();
}

void TCollection::EndUpdate()
{
    if (m_updateCount > 0 && --m_updateCount == 0 && m_changedInUpdate) {
        m_changedInUpdate = false;
        Q_EMIT Changed();
    }
}

void TCollection::notifyChanged()
{
    if (m_updateCount > 0)
        m_changedInUpdate = true;
    else
        Q_EMIT Changed();
}
