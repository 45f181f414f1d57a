#pragma once

#include "FormDesigner.h"
#include "StructureModel.h"

#include <QMenu>
#include <QSet>
#include <QTreeView>
#include <QWidget>

#include <memory>

class TSprig;

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

    // Scrolls until Index stays in view: the rows a scroll shows open their
    // branches, which may push it down again.
    void scrollTo(const QModelIndex &Index, ScrollHint Hint = EnsureVisible) override;

signals:
    // Other rows came into view: the view was scrolled or resized.
    void shownRowsChanged();

protected:
    void resizeEvent(QResizeEvent *Event) override;
    void scrollContentsBy(int Dx, int Dy) override;
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
// Every branch shows open but those the person collapsed.
class TStructurePane : public QWidget
{
    Q_OBJECT

public:
    explicit TStructurePane(QWidget *Parent = nullptr);
    ~TStructurePane() override;

    void setDesigner(const TFormDesignerPtr &Designer);

    TStructureTree *view() const { return m_view; }
    TStructureModel *model() const { return m_model; }
    // The commands on the node at Index (a database: Refresh Catalogue, which
    // forgets the lists its connection kept); null when it has none.
    std::unique_ptr<QMenu> contextMenuAt(const QModelIndex &Index);

private:
    void restoreState();
    // Opens the shown branches that the person did not collapse. A branch
    // opens when its row is first shown: opening a large module lays out
    // the rows in view, not every row of the tree.
    void expandShown();
    bool isCollapsedByPerson(const QModelIndex &Index) const;
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
    bool m_rebuilding = false;
    bool m_expanding = false;
    QList<QMetaObject::Connection> m_connections;
};
