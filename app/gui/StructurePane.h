#pragma once

#include "FormDesigner.h"

#include "designide/DesignIntf.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QSet>
#include <QTreeView>
#include <QWidget>

#include <memory>
#include <vector>

class TRootSprig;
class TSprig;

// The structure view's model: the node tree of one module as a Qt item
// model. The module's root is the one top-level row; below it the nodes as
// they placed themselves, then the nodes no parent took (flagged, since the
// component names something the module lacks). Rows, parents and problem
// marks are indexed once per build, so the view's look-ups stay constant
// time with tens of thousands of nodes.
class TStructureModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    // Extra roles: the node (TSprig *), whether the node itself is flagged,
    // and whether its component is marked by a module check.
    enum Roles { SprigRole = Qt::UserRole + 1, ProblemRole, CheckProblemRole };

    explicit TStructureModel(QObject *Parent = nullptr);
    ~TStructureModel() override;

    // Builds the tree of Designer's module (none for null).
    void setDesigner(const TFormDesignerPtr &Designer);
    TRootSprig *rootSprig() const { return m_root.get(); }

    // The tree built anew from the module's components (after components
    // were added, deleted or renamed), or from the same components (after a
    // value changed).
    void rebuildComponents();
    void rebuild();

    TSprig *sprigOf(const QModelIndex &Index) const;
    QModelIndex indexOf(TSprig *Sprig) const;
    // The node showing Component, or null.
    TSprig *sprigOfItem(const QObject *Component) const;
    // Whether Sprig is a node of the current build.
    bool isCurrent(const TSprig *Sprig) const { return m_row.contains(Sprig); }
    // Counts builds: a node pointer is valid only in the build it came from.
    int build() const { return m_build; }

    // Whether Sprig is flagged, or hides a flagged node below it.
    bool problemsBelow(const TSprig *Sprig) const { return m_problemsBelow.contains(Sprig); }

    // Marks the components a module check found wrong, each with the text
    // its tooltip adds; marks stay across rebuilds until replaced. An empty
    // map clears them.
    void setCheckMarks(const QHash<const QObject *, QString> &Marks);
    bool isCheckMarked(const QObject *Component) const { return m_checkMarks.contains(Component); }

    // The text that explains a flag to the person.
    static QString problemHint(TSprig *Sprig, bool Unattached);

    // Drag and drop through the nodes' protocol, with the tree rebuilt when
    // a drop changed something. Errors raised by a node are shown through
    // the message seam; the tree is rebuilt either way.
    bool canDrop(TSprig *Dragged, TSprig *Target) const;
    bool drop(TSprig *Dragged, TSprig *Target);
    bool canDropClass(TComponentClass Class, TSprig *Target) const;
    // A component of Class dragged from the palette and let go on Target:
    // the new component (default name, below the others on the surface)
    // goes onto the target as if its node had been dragged there. Returns
    // it, or null when the target does not take the class. Errors are shown.
    QObject *dropClass(TComponentClass Class, TSprig *Target);

    // A key for Sprig that finds its node again after a rebuild: its
    // component, or for a node without one, its parent's key and its unique
    // name.
    static QString keyOf(TSprig *Sprig);
    // The node of Key in the current build, or null.
    TSprig *findKey(const QString &Key) const;

    // The MIME data a drag of Sprig carries, and the node it names while that
    // node is one of the current build (null otherwise).
    QMimeData *mimeDataFor(TSprig *Sprig) const;
    TSprig *sprigFromMimeData(const QMimeData *Data) const;

    QModelIndex index(int Row, int Column, const QModelIndex &Parent = {}) const override;
    QModelIndex parent(const QModelIndex &Index) const override;
    int rowCount(const QModelIndex &Parent = {}) const override;
    int columnCount(const QModelIndex &Parent = {}) const override;
    QVariant data(const QModelIndex &Index, int Role) const override;
    Qt::ItemFlags flags(const QModelIndex &Index) const override;

signals:
    // Around every rebuild, so the view can keep expansion and selection.
    void aboutToRebuild();
    void rebuilt();

private:
    void resetTree(bool NewComponents);
    void indexTree();
    bool isUnattached(const TSprig *Sprig) const;
    const QList<TSprig *> &childrenOf(const TSprig *Sprig) const;

    TFormDesignerPtr m_designer;
    std::unique_ptr<TRootSprig> m_root;
    // The root's own rows: its children, then the unattached nodes.
    QList<TSprig *> m_topChildren;
    QHash<const TSprig *, int> m_row;
    QHash<const QObject *, TSprig *> m_byItem;
    QSet<const TSprig *> m_problemsBelow;
    QSet<const TSprig *> m_unattached;
    QHash<const QObject *, QString> m_checkMarks;
    int m_build = 0;
    int m_notifier = 0;
};

// The tree view of the structure pane: it hands drags and drops to the
// model's node protocol instead of Qt's row moves.
class TStructureTree : public QTreeView
{
    Q_OBJECT

public:
    explicit TStructureTree(QWidget *Parent = nullptr);
    TStructureModel *structureModel() const;

    // The node a drop at Pos would go onto (the row under the point), or null.
    TSprig *targetAt(const QPoint &Pos) const;

protected:
    void startDrag(Qt::DropActions SupportedActions) override;
    void dragEnterEvent(QDragEnterEvent *Event) override;
    void dragMoveEvent(QDragMoveEvent *Event) override;
    void dropEvent(QDropEvent *Event) override;

private:
    bool acceptable(const QMimeData *Data, TSprig *Target) const;
};

// The structure view: the module's node tree with captions and problem
// markers, drag and drop through the nodes, rebuilt after every change of
// the module, with the branches a person collapsed and the selection kept
// across rebuilds, and the selection in step with the designer's both ways.
class TStructurePane : public QWidget
{
    Q_OBJECT

public:
    explicit TStructurePane(QWidget *Parent = nullptr);
    ~TStructurePane() override;

    void setDesigner(const TFormDesignerPtr &Designer);

    TStructureTree *view() const { return m_view; }
    TStructureModel *model() const { return m_model; }

private:
    void restoreState();
    void viewSelectionChanged();
    void designerSelectionChanged();
    // Selects the rows of the designer's selection; Reveal scrolls to the
    // first (opening the branches above it).
    void showDesignerSelection(bool Reveal);

    TStructureModel *m_model;
    TStructureTree *m_view;
    TFormDesignerPtr m_designer;
    // Branches the person collapsed, by a key that survives rebuilds; every
    // other branch shows expanded.
    QSet<QString> m_collapsed;
    bool m_restoring = false;
    bool m_syncing = false;
    QList<QMetaObject::Connection> m_connections;
};
