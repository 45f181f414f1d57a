#pragma once

#include <QList>
#include <QObject>
#include <QString>

class TCollection;

// An item of a TCollection. Its published properties are what a collection
// editor shows and edits.
class TCollectionItem : public QObject
{
    Q_OBJECT

public:
    explicit TCollectionItem(TCollection *Collection = nullptr);
    ~TCollectionItem() override;

    TCollection *Collection() const { return m_collection; }
    // Position in the collection; -1 outside one.
    Q_INVOKABLE int Index() const;
    // The text a collection editor lists for the item.
    Q_INVOKABLE virtual QString DisplayName() const;
    // Copies the published values of Source (an item of the same class).
    virtual void Assign(const TCollectionItem &Source);

private:
    friend class TCollection;
    TCollection *m_collection = nullptr;
};

// An owned, ordered list of items of one class. The item operations are
// invokable, so an editor that knows only QObject can list, add, delete and
// move items through the meta-object system.
class TCollection : public QObject
{
    Q_OBJECT

public:
    explicit TCollection(QObject *Owner = nullptr);
    ~TCollection() override;

    Q_INVOKABLE int Count() const { return static_cast<int>(m_items.size()); }
    // The item at Index; EListError when out of range.
    Q_INVOKABLE TCollectionItem *Item(int Index) const;
    // Appends a new item of the collection's item class.
    Q_INVOKABLE TCollectionItem *Add();
    Q_INVOKABLE void Delete(int Index);
    Q_INVOKABLE void Move(int CurIndex, int NewIndex);
    Q_INVOKABLE void Clear();
    // The class name of the items, as a collection editor shows it.
    Q_INVOKABLE QString ItemClassName() const;
    // The component the collection belongs to.
    QObject *Owner() const { return parent(); }

    // Replaces the items with copies of Source's items; assigning a
    // collection to itself leaves it unchanged.
    void Assign(const TCollection &Source);

    void BeginUpdate() { ++m_updateCount; }
    void EndUpdate();

Q_SIGNALS:
    // After every change of the item list or of an item's values.
    void Changed();

protected:
    // Creates an unattached item of the collection's item class.
    virtual TCollectionItem *CreateItem() const = 0;
    // Takes an item created by CreateItem into the list.
    void Insert(TCollectionItem *Item);
    void notifyChanged();

private:
    friend class TCollectionItem;
    void detach(TCollectionItem *Item);

    QList<TCollectionItem *> m_items;
    int m_updateCount = 0;
    bool m_changedInUpdate = false;
};
