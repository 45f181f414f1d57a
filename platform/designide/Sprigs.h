#pragma once

#include "DesignIntf.h"
#include "rtl/SysUtils.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <vector>

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
    // The item as a T (the class-verifying cast of the class libraries:
    // EInvalidCast when it is of another class; null without an item). The
    // item's class is read once and kept, so a node that asks often does not
    // go back to the component each time.
    template<class T>
    T *ItemAs();
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
    // Why the node is flagged (AnyProblems) or left unattached (no parent
    // after a build), naming the setting and the value at fault; empty when
    // its class cannot tell (a view then says it in general terms). The
    // base: none.
    virtual QString ProblemHint();
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
    // As Find, but only nodes of ASprigClass or a descendant class count: a
    // node of another kind that happens to carry the name is passed over.
    TSprig *Find(const QString &AName, bool ARecurse, const QMetaObject *ASprigClass) const;
    // The node showing AItem, searched the same way; null when absent.
    // While the root builds, a node placing itself finds the node of another
    // component at once, without walking the tree.
    TSprig *FindItem(const QObject *AItem, bool ARecurse = true) const;
    // Runs Reparent on each child, last child first (a child may move away).
    void ReparentChildren();
    // Whether a node anywhere below this one is flagged (AnyProblems): a view
    // marks a collapsed branch that hides a problem.
    bool ProblemsBelow();

    // A caption from a name, a label and a class name: "Label: Name", or the
    // one of the two that is not empty (once, when they are equal), or
    // "<Class>" when both are empty.
    static QString CaptionFor(const QString &AName, const QString &ALabel = {},
                              const QString &AClass = {});

private:
    friend class TRootSprig; // lets the nodes forget it as it goes
    void detach();
    void setRootOfSubtree(TRootSprig *ARoot);
    TSprig *findDirect(const QString &AName, const QMetaObject *ASprigClass) const;

    // While the root builds, placement looks names up among the same few
    // parents thousands of times: an index of the children by name keeps each
    // look-up constant. Names are read when first needed (a transient node may
    // get its name after it was added) and trusted only during the build that
    // read them, because between builds they follow the components.
    struct NameIndex
    {
        // A name as the index keys it: equal when equal ignoring letter case,
        // with a hash of its case-folded characters (no folded copy is made).
        struct Key
        {
            explicit Key(const QString &AName);
            QString Name;
            size_t Hash;
            bool operator==(const Key &Other) const;
        };
        friend size_t qHash(const Key &AKey, size_t Seed) { return AKey.Hash ^ Seed; }
        struct Entry
        {
            TSprig *Node;
            const QMetaObject *Class; // kept here: a look-up touches no node it passes over
        };
        int Build = 0;       // the root's build the names were read in
        qsizetype Count = 0; // children indexed so far, from the first
        QHash<Key, QList<Entry>> Nodes;
    };

    QObject *FItem;
    TSprig *FParent = nullptr;
    TRootSprig *FRoot = nullptr;
    QList<TSprig *> FChildren;
    mutable std::unique_ptr<NameIndex> FIndex;
    const QMetaObject *FItemClass = nullptr; // read when first needed
    // The root's record of the component this node was made for; -1 for a
    // node the root did not make (transient ones).
    qsizetype FEntry = -1;
    bool FListed = false; // on the root's list of the other nodes
};

template<class T>
T *TSprig::ItemAs()
{
    if (!FItem)
        return nullptr;
    if (!FItemClass)
        FItemClass = FItem->metaObject();
    if (!FItemClass->inherits(&T::staticMetaObject))
        raiseInvalidCast(FItem, T::staticMetaObject.className());
    return static_cast<T *>(FItem);
}

// The node of a component. A component of a class no package registers
// (TNotLoadedComponent) says so with its class: "ImageList1 (not loaded: TImageList)".
class TComponentSprig : public TSprig
{
    Q_OBJECT

public:
    using TSprig::TSprig;
    QString Caption() override;
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
    // Unattached: the field's dataset is not a component of the module.
    QString ProblemHint() override;
};

// The root of a structure-view tree: the form or data module being designed.
//
// The view's side of drag and drop: it asks DragOver while a node is dragged,
// calls DragDrop when it is let go, and PaletteOver while a class is dragged
// from the palette. A drop that reports a change tells the designer
// (Modified) and rebuilds the tree: the nodes of components that still exist
// are kept and placed again, every other node pointer the view held (transient
// nodes, nodes of deleted components) is stale afterwards.
class TRootSprig : public TSprig
{
    Q_OBJECT

public:
    explicit TRootSprig(QObject *ADesignRoot, IDesignerPtr ADesigner = {});
    ~TRootSprig() override;

    // Builds the nodes of Components: each gets the node class registered for
    // its class (TComponentSprig when none is) and places itself. Nodes are
    // placed class by class in the order their node types were registered
    // (unregistered classes first), each class in the order given: a package
    // registers the node types of parents before those of their children, so
    // placement finds every parent that exists whatever order the components
    // were created in. A node that still finds no parent is tried again after
    // the others; nodes that no pass places stay unattached (Orphans), owned
    // by the root. The root remembers Components for Rebuild.
    void AddItems(const QList<QObject *> &Components);
    const QList<TSprig *> &Orphans() const { return FOrphans; }
    // Builds the tree again from the components given to AddItems that still
    // exist, as if from scratch: transient nodes are made anew, and the node of
    // a component is kept (emptied and placed again) when its class is still
    // the registered one, so a rebuild allocates and frees almost nothing.
    // Building twice gives the same tree.
    void Rebuild();

    bool DragOver(TSprig *ADragged, TSprig *ATarget);
    // Drops ADragged onto ATarget when DragOver allows it; returns whether
    // anything changed. A change is told to the designer and rebuilds the
    // tree. When the drop raises, the tree is rebuilt as well (the nodes may
    // have moved) and the exception propagates.
    bool DragDrop(TSprig *ADragged, TSprig *ATarget);
    // The answer of the node class registered for AClass to a component of
    // that class dragged from the palette onto AParent; false when none is.
    bool PaletteOver(TSprig *AParent, TComponentClass AClass);

    IDesignerPtr Designer() const { return FDesigner; }

private:
    friend class TSprig; // nodes leave the orphans and their entry as they go

    // A component given to AddItems, with what a rebuild needs of it without
    // reading the component again: its class (fixed for its life) and the
    // node made for it last time (null when none is kept).
    //
    // Whether the component still exists: a component owned by the design
    // root is watched through the root's ChildRemoved events (Gone), any
    // other through a guarded pointer (Guard). A guarded pointer costs an
    // atomic operation on the component for each one made, which a module of
    // thousands of components would pay at every build.
    struct Entry
    {
        QObject *Item = nullptr;
        const QMetaObject *Class = nullptr;
        QPointer<QObject> Guard; // null for a watched component
        TSprig *Node = nullptr;
        const QMetaObject *NodeClass = nullptr;
        bool Watched = false;
        bool Gone = false;
    };

    // A node leaves this tree (freed, or given another root): it is no
    // longer an orphan, an entry's node, or on the list of the others.
    void forget(TSprig *ANode);
    void clearNodes();
    // Empties the tree: the nodes of components stay with their entries,
    // every other node is freed.
    void unlinkNodes();
    // Makes (or keeps) and places the nodes of the entries from First on.
    void placeEntries(qsizetype First);
    bool exists(const Entry &AEntry) const;
    bool eventFilter(QObject *Watched, QEvent *Event) override;
    // During a build: the node made for Item, or null.
    TSprig *nodeOfBuild(const QObject *Item);

    IDesignerPtr FDesigner;
    QList<TSprig *> FOrphans;
    std::vector<Entry> FEntries;
    // The nodes in the tree the root did not make for an entry (transient
    // nodes, nodes added by hand).
    QList<TSprig *> FOthers;
    int FBuild = 0; // counts builds; 0 outside AddItems
    int FBuildCounter = 0;
    // During a build, once FindItem asks: the node of each component.
    QHash<const QObject *, TSprig *> FNodesByItem;
    int FNodesByItemBuild = 0;
    // The design root, whose children are watched; and the entries of each
    // watched component, made when a ChildRemoved first needs it.
    QPointer<QObject> FDesignRoot;
    QMultiHash<const QObject *, size_t> FWatchedEntries;
    bool FWatchedEntriesValid = false;
};
