#pragma once

#include "FormDesigner.h"

#include "designide/DesignIntf.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QHash>
#include <QPixmap>
#include <QPointer>

#include <memory>
#include <vector>

class QAction;
class QLineEdit;
class QMenu;
class QMimeData;

// The data-module surface: every component of the module as its palette
// glyph with its name under it, at its design position. One widget paints
// them all, so a module of many thousands of components stays responsive.
//
// Mouse: a click selects (Ctrl adds or removes), a drag on empty space
// selects with a rubber band, a drag on a selected component moves the
// selection, a double click runs the component editor's Edit, the right
// button shows the editor's verbs and the environment's own entries. With a
// class chosen on the palette, a click places a new component of it.
// Keys: Delete deletes, F2 renames in place, arrows move by one pixel.
class TModuleSurface : public QAbstractScrollArea
{
    Q_OBJECT
public:
    // The size of a component's box; its glyph sits in the middle.
    static constexpr int BoxSize = 28;
    // The grid components snap to when snapping is on.
    static constexpr int GridSize = 8;

    explicit TModuleSurface(QWidget *Parent = nullptr);
    ~TModuleSurface() override;

    void setDesigner(const TFormDesignerPtr &Designer);
    const TFormDesignerPtr &designer() const { return m_designer; }

    // The class the next click places; null for none.
    void setPendingClass(TComponentClass Class);
    TComponentClass pendingClass() const { return m_pendingClass; }

    // The environment's entries appended to every context menu (cut, copy,
    // paste, delete...); not owned.
    void setEnvironmentActions(const QList<QAction *> &Actions);

    // Where Component's box is, in viewport coordinates; empty when it is
    // not on the surface.
    QRect boxRect(const QObject *Component) const;
    // The design positions at which a component's box and name are wholly
    // in view; empty when the view is too small for one.
    QRect placementArea() const;
    // The component whose box or name is at ViewportPos, or null.
    QObject *componentAt(QPoint ViewportPos) const;

    // The context menu for Component (null: the surface itself): the
    // editor's verbs, a separator, the environment's entries. The editor
    // lives as long as the menu.
    std::unique_ptr<QMenu> contextMenuFor(QObject *Component);
    // Runs Component's editor Edit, as a double click does; errors are shown.
    void editComponent(QObject *Component);

    // Starts renaming Component in place; the editor is returned for tests.
    QLineEdit *beginRename(QObject *Component);
    // Stores a name typed in place and not yet entered, and ends the
    // renaming: whatever saves or closes the module calls this first. False
    // when the name was refused (the reason shown).
    bool commitPendingRename();
    QLineEdit *renameEditor() const { return m_renameEdit; }

    // With snapping on, placed and dragged components land on the grid
    // (Ctrl+arrow still nudges by a pixel).
    void setSnapToGrid(bool On);
    bool snapToGrid() const { return m_snap; }
    // The component an arrow key (Qt::Key_Left...) selects from From: the
    // nearest one that way, straight ahead preferred; null when none.
    QObject *nearestComponent(QObject *From, Qt::Key Direction) const;

    // The glyph of a class as the palette shows it.
    QPixmap glyphFor(TComponentClass Class);

signals:
    // A component of the pending class was placed; the palette may clear
    // its choice.
    void componentPlaced(QObject *Component);
    // The class the next click places changed (null: none).
    void pendingClassChanged(TComponentClass Class);

protected:
    void paintEvent(QPaintEvent *Event) override;
    void mousePressEvent(QMouseEvent *Event) override;
    void mouseMoveEvent(QMouseEvent *Event) override;
    void mouseReleaseEvent(QMouseEvent *Event) override;
    void mouseDoubleClickEvent(QMouseEvent *Event) override;
    void contextMenuEvent(QContextMenuEvent *Event) override;
    void keyPressEvent(QKeyEvent *Event) override;
    void resizeEvent(QResizeEvent *Event) override;
    void changeEvent(QEvent *Event) override;
    void scrollContentsBy(int Dx, int Dy) override;
    bool eventFilter(QObject *Watched, QEvent *Event) override;
    // A glyph dragged from the palette places its class where it is dropped.
    void dragEnterEvent(QDragEnterEvent *Event) override;
    void dragMoveEvent(QDragMoveEvent *Event) override;
    void dropEvent(QDropEvent *Event) override;

private:
    struct Item
    {
        // Null once the component left the module (deleted, or given
        // another owner): the surface watches the root's ChildRemoved
        // events, which costs nothing per component (a guarded pointer to
        // each would cost an atomic operation on every component at every
        // rebuild).
        QObject *Component = nullptr;
        TComponentClass Class = nullptr;
        // The name is read when painted: only the visible ones are.
        QPoint Pos; // design position, content coordinates
    };

    void rebuild();
    void updateScrollBars();
    QPoint offset() const;
    QRect boxOf(const Item &I) const;   // content coordinates
    QRect labelOf(const Item &I) const; // content coordinates
    int itemAt(QPoint ContentPos) const;
    void moveSelection(QPoint Delta, bool Snap = false);
    QPoint snapped(QPoint Pos) const;
    void ensureVisible(const QRect &ContentBox);
    void commitRename();
    TComponentClass droppedClass(const QMimeData *Data) const;
    void cancelRename();

    TFormDesignerPtr m_designer;
    std::vector<Item> m_items;
    QHash<const QObject *, int> m_index;
    TComponentClass m_pendingClass = nullptr;
    QList<QAction *> m_environmentActions;

    enum class Drag { None, Pending, Moving, Band };
    Drag m_drag = Drag::None;
    QPoint m_pressContent;
    QPoint m_dragContent;
    QList<QObject *> m_bandBase;

    QLineEdit *m_renameEdit = nullptr;
    QPointer<QObject> m_renaming;
    QPointer<QObject> m_watchedRoot; // the designer's root, whose children are the items
    bool m_snap = false;
    QList<QMetaObject::Connection> m_connections;
    QHash<TComponentClass, QPixmap> m_glyphs;
    // The background's dot tile, made again when the palette changes.
    QPixmap m_tile;
    QColor m_tileBase, m_tileText;
    int m_lineHeight = 0;       // of the names under the glyphs
    qsizetype m_childCount = 0; // the root's children at the last rebuild
};
