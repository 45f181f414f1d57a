#pragma once

#include "DesignIntf.h"

#include <QList>
#include <QObject>
#include <QString>

class TRootSprig;

// A node of the structure view. A node shows an item (a component) or, when
// transient, stands for something the components only name. Nodes form a tree
// under a TRootSprig; a node owns its children and frees them with itself.
//
// The environment asks a node to place itself (FigureParent), to caption and
// flag itself, and to take part in drag and drop; the virtual operations below
// are the answers a node class may change.
class TSprig : public QObject
{
    Q_OBJECT

public:
    explicit TSprig(QObject *AItem);
    // Frees the children and leaves the parent's list.
    ~TSprig() override;

    QObject *Item() const { return FItem; }
    TSprig *Parent() const { return FParent; }
    // The tree this node was created for or added to; null before either.
    TRootSprig *Root() const { return FRoot; }
    void SetRoot(TRootSprig *ARoot);

    int Count() const { return static_cast<int>(FChildren.size()); }
    TSprig *Items(int Index) const { return FChildren.at(Index); }
    const QList<TSprig *> &Children() const { return FChildren; }

    // The name that identifies the node among its siblings: the item's Name,
    // or "<ClassName>" for a node without an item.
    virtual QString UniqueName();
    virtual bool Transient();
    virtual bool AnyProblems();
    // The class of the item the node shows: the item's class, or null.
    virtual TComponentClass ItemClass();
    // The key under which Find finds the node: its UniqueName.
    virtual QString Name();
    // The text shown: CaptionFor(Name, UniqueName, the item's class name).
    virtual QString Caption();
    // Whether the node may be dropped onto AItem. The base: no.
    virtual bool DragOverTo(TSprig *AItem);
    // Drops the node onto AItem; returns whether anything changed. The base: no.
    virtual bool DragDropTo(TSprig *AItem);
    // Whether a component of AClass dragged from the palette may go onto
    // AParent (a class-level answer, reached through TSprigClass). The base: no.
    static bool PaletteOverTo(TSprig *AParent, TComponentClass AClass);
    // Runs when the parent asks its children to follow a change of it
    // (ReparentChildren). The base does nothing.
    virtual void Reparent();
    // Places the node in the tree. The base adds it to the root.
    virtual void FigureParent();

    // Makes AItem the last child of this node (taking it from its former
    // parent) and returns it. The node takes ownership. Adding a node to
    // itself or to one of its descendants raises EDesignError.
    TSprig *Add(TSprig *AItem);
    // The first child whose Name equals AName (ignoring letter case); with
    // ARecurse, depth-first through the grandchildren too. Null when absent.
    TSprig *Find(const QString &AName, bool ARecurse = true) const;
    // The node showing AItem, searched the same way; null when absent.
    TSprig *FindItem(const QObject *AItem, bool ARecurse = true) const;
    // Runs Reparent on each child, last child first (a child may move away).
    void ReparentChildren();

    // A caption from a name, a label and a class name: "Label: Name", or the
    // one of the two that is not empty (once, when they are equal), or
    // "<Class>" when both are empty.
    static QString CaptionFor(const QString &AName, const QString &ALabel = {},
                              const QString &AClass = {});

private:
    friend class TRootSprig; // lets the nodes forget it as it goes
    void detach();
    void setRootOfSubtree(TRootSprig *ARoot);

    QObject *FItem;
    TSprig *FParent = nullptr;
    TRootSprig *FRoot = nullptr;
    QList<TSprig *> FChildren;
};

// The node of a component.
class TComponentSprig : public TSprig
{
    Q_OBJECT

public:
    using TSprig::TSprig;
};

// A node that stands for no component of its own.
class TTransientSprig : public TSprig
{
    Q_OBJECT

public:
    using TSprig::TSprig;
    // True.
    bool Transient() override;
};

// The database design package's node of a dataset.
class TDataSetSprig : public TComponentSprig
{
    Q_OBJECT

public:
    using TComponentSprig::TComponentSprig;
};

// The node of a persistent field: a child of its dataset's node (at the root
// when the field has no dataset). The tree gives it to every field component
// whose class has no node class of its own.
class TFieldSprig : public TComponentSprig
{
    Q_OBJECT

public:
    using TComponentSprig::TComponentSprig;
    // Stays unplaced while the dataset's node is not in the tree yet.
    void FigureParent() override;
};

// The root of a structure-view tree: the form or data module being designed.
class TRootSprig : public TSprig
{
    Q_OBJECT

public:
    explicit TRootSprig(QObject *ADesignRoot);
    ~TRootSprig() override;

    // Builds the nodes of Components: each gets the node class registered for
    // its class (TComponentSprig when none is) and places itself. A node that
    // names a parent not placed yet is tried again after the others; nodes
    // that no pass places stay unattached (Orphans), owned by the root.
    void AddItems(const QList<QObject *> &Components);
    const QList<TSprig *> &Orphans() const { return FOrphans; }

private:
    friend class TSprig; // Add takes a node out of the orphans
    QList<TSprig *> FOrphans;
};
