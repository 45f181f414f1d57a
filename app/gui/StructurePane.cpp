#include "StructurePane.h"

#include "PalettePane.h"

#include "designide/Registrations.h"
#include "designide/Sprigs.h"
#include "orvlib/OvDatabase.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QPointer>
#include <QScopedValueRollback>
#include <QVBoxLayout>

// --- TStructureTree -----------------------------------------------------------------

TStructureTree::TStructureTree(QWidget *Parent)
    : QTreeView(Parent)
{
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void TStructureTree::scrollTo(const QModelIndex &Index, ScrollHint Hint)
{
    // Each round opens only rows that came into view; a handful settle it.
    for (int round = 0; round < 8; ++round) {
        QTreeView::scrollTo(Index, Hint);
        const QRect rect = visualRect(Index);
        if (rect.isEmpty() || viewport()->rect().contains(rect))
            break;
    }
}

void TStructureTree::resizeEvent(QResizeEvent *Event)
{
    QTreeView::resizeEvent(Event);
    emit shownRowsChanged();
}

void TStructureTree::scrollContentsBy(int Dx, int Dy)
{
    QTreeView::scrollContentsBy(Dx, Dy);
    if (Dy)
        emit shownRowsChanged();
}

TStructureModel *TStructureTree::structureModel() const
{
    return qobject_cast<TStructureModel *>(model());
}

TSprig *TStructureTree::targetAt(const QPoint &Pos) const
{
    const TStructureModel *m = structureModel();
    return m ? m->sprigOf(indexAt(Pos)) : nullptr;
}

void TStructureTree::startDrag(Qt::DropActions SupportedActions)
{
    Q_UNUSED(SupportedActions);
    TStructureModel *m = structureModel();
    TSprig *s = m ? m->sprigOf(currentIndex()) : nullptr;
    if (!s || s == m->rootSprig())
        return;
    auto *drag = new QDrag(this);
    drag->setMimeData(m->mimeDataFor(s));
    if (const TComponentClass c = s->ItemClass())
        drag->setPixmap(componentGlyph(c));
    drag->exec(Qt::MoveAction);
}

bool TStructureTree::acceptable(const QMimeData *Data, TSprig *Target) const
{
    const TStructureModel *m = structureModel();
    if (!m || !Target)
        return false;
    if (TSprig *dragged = m->sprigFromMimeData(Data))
        return m->canDrop(dragged, Target);
    if (Data->hasFormat(QLatin1String(ComponentClassMimeType))) {
        const QString name = QString::fromUtf8(Data->data(QLatin1String(ComponentClassMimeType)));
        return m->canDropClass(registrations().findComponentClass(name), Target);
    }
    return false;
}

void TStructureTree::dragEnterEvent(QDragEnterEvent *Event)
{
    const QMimeData *data = Event->mimeData();
    if (structureModel()
        && (structureModel()->sprigFromMimeData(data)
            || data->hasFormat(QLatin1String(ComponentClassMimeType))))
        Event->acceptProposedAction();
    else
        Event->ignore();
}

void TStructureTree::dragMoveEvent(QDragMoveEvent *Event)
{
    // Scrolls near the edges and opens a collapsed branch held over.
    QTreeView::dragMoveEvent(Event);
    // The row under the pointer is the target (there is no "between rows"):
    // the dragged node itself says whether it may go there.
    const QPoint pos = Event->position().toPoint();
    if (acceptable(Event->mimeData(), targetAt(pos)))
        Event->accept(visualRect(indexAt(pos)));
    else
        Event->ignore(visualRect(indexAt(pos)));
}

void TStructureTree::dropEvent(QDropEvent *Event)
{
    TStructureModel *m = structureModel();
    TSprig *target = targetAt(Event->position().toPoint());
    const QMimeData *data = Event->mimeData();
    if (m && data->hasFormat(QLatin1String(ComponentClassMimeType))) {
        const TComponentClass cls = registrations().findComponentClass(
            QString::fromUtf8(data->data(QLatin1String(ComponentClassMimeType))));
        if (!m->canDropClass(cls, target)) {
            Event->ignore();
            return;
        }
        Event->setDropAction(Qt::CopyAction);
        Event->accept();
        m->dropClass(cls, target);
        return;
    }
    TSprig *dragged = m ? m->sprigFromMimeData(data) : nullptr;
    if (!m || !dragged || !m->canDrop(dragged, target)) {
        Event->ignore();
        return;
    }
    // Accepted as a copy: the view must not remove the dragged rows itself,
    // the rebuilt tree shows where the node went.
    Event->setDropAction(Qt::CopyAction);
    Event->accept();
    m->drop(dragged, target);
}

// --- TStructurePane -----------------------------------------------------------------

TStructurePane::TStructurePane(QWidget *Parent)
    : QWidget(Parent)
    , m_model(new TStructureModel(this))
    , m_view(new TStructureTree(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    m_view->setModel(m_model);

    connect(m_model, &TStructureModel::aboutToRebuild, this, [this] { m_rebuilding = true; });
    connect(m_model, &TStructureModel::rebuilt, this, &TStructurePane::restoreState);
    // A branch the person opens or closes shows other rows, whose branches
    // open in turn.
    connect(m_view, &QTreeView::collapsed, this, [this](const QModelIndex &Index) {
        if (m_restoring || m_rebuilding)
            return;
        m_collapsed.insert(TStructureModel::keyOf(m_model->sprigOf(Index)));
        expandShown();
    });
    connect(m_view, &QTreeView::expanded, this, [this](const QModelIndex &Index) {
        if (m_restoring || m_rebuilding)
            return;
        m_collapsed.remove(TStructureModel::keyOf(m_model->sprigOf(Index)));
        expandShown();
    });
    connect(m_view, &TStructureTree::shownRowsChanged, this, &TStructurePane::expandShown);
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TStructurePane::viewSelectionChanged);
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_view, &QWidget::customContextMenuRequested, this, [this](const QPoint &At) {
        std::unique_ptr<QMenu> menu = contextMenuAt(m_view->indexAt(At));
        if (menu)
            menu->exec(m_view->viewport()->mapToGlobal(At));
    });
}

std::unique_ptr<QMenu> TStructurePane::contextMenuAt(const QModelIndex &Index)
{
    TSprig *sprig = Index.isValid() ? m_model->sprigOf(Index) : nullptr;
    auto *db = sprig ? qobject_cast<TOvDatabase *>(sprig->Item()) : nullptr;
    if (!db)
        return nullptr;
    auto menu = std::make_unique<QMenu>(this);
    QAction *refresh = menu->addAction(tr("Refresh Catalogue"));
    refresh->setObjectName(QStringLiteral("refreshCatalogue"));
    // Only an open connection keeps lists; the next look-up of a closed
    // one reads the server anyway.
    refresh->setEnabled(db->Connected());
    QPointer<TOvDatabase> guarded(db);
    connect(refresh, &QAction::triggered, menu.get(), [guarded] {
        if (guarded)
            guarded->RefreshCatalogue();
    });
    return menu;
}

TStructurePane::~TStructurePane()
{
    for (const QMetaObject::Connection &c : std::as_const(m_connections))
        disconnect(c);
}

void TStructurePane::setDesigner(const TFormDesignerPtr &Designer)
{
    for (const QMetaObject::Connection &c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
    m_collapsed.clear();
    m_designer = Designer;
    if (TFormDesigner *d = Designer.get()) {
        m_connections << connect(d, &TFormDesigner::componentsChanged, m_model,
                                 &TStructureModel::rebuildComponents);
        m_connections << connect(d, &TFormDesigner::designChanged, m_model,
                                 [this] { m_model->rebuild(); });
        m_connections << connect(d, &TFormDesigner::selectionChanged, this,
                                 &TStructurePane::designerSelectionChanged);
    }
    m_model->setDesigner(Designer);
}

// After a rebuild: the rows that stayed keep their branches open or closed
// and their selection; the shown branches that are new open (but those the
// person collapsed, recorded as they are collapsed), and the selection is
// the designer's. Captions may have changed anywhere: the view repaints.
void TStructurePane::restoreState()
{
    m_rebuilding = false;
    expandShown();
    showDesignerSelection(false);
    m_view->viewport()->update();
}

bool TStructurePane::isCollapsedByPerson(const QModelIndex &Index) const
{
    return !m_collapsed.isEmpty()
           && m_collapsed.contains(TStructureModel::keyOf(m_model->sprigOf(Index)));
}

void TStructurePane::expandShown()
{
    if (m_rebuilding || m_expanding || m_model->rowCount() == 0)
        return;
    const QScopedValueRollback<bool> expanding(m_expanding, true);
    const QScopedValueRollback<bool> restoring(m_restoring, true);
    const int bottom = m_view->viewport()->height();
    QModelIndex index = m_view->indexAt(QPoint(0, 0));
    if (!index.isValid())
        index = m_model->index(0, 0);
    // A branch opened below the first row shown pushes down only the rows
    // after it; its own rows are the next the walk reaches. The walk ends
    // below the last row shown.
    for (; index.isValid(); index = m_view->indexBelow(index)) {
        if (m_view->visualRect(index).top() >= bottom)
            break;
        if (m_model->hasChildren(index) && !m_view->isExpanded(index)
            && !isCollapsedByPerson(index))
            m_view->expand(index);
    }
}

void TStructurePane::viewSelectionChanged()
{
    // Selected rows that a rebuild takes away leave the view's selection:
    // the designer's stays, and is shown again after the rebuild.
    if (m_syncing || m_rebuilding || !m_designer)
        return;
    QList<QObject *> components;
    for (const QModelIndex &index : m_view->selectionModel()->selectedRows())
        if (TSprig *s = m_model->sprigOf(index); s && s->Item())
            components << s->Item();
    m_syncing = true;
    m_designer->select(components);
    m_syncing = false;
}

void TStructurePane::designerSelectionChanged()
{
    showDesignerSelection(true);
}

void TStructurePane::showDesignerSelection(bool Reveal)
{
    if (m_syncing)
        return;
    m_syncing = true;
    QItemSelection selection;
    QModelIndex current;
    if (m_designer)
        for (QObject *c : m_designer->selection())
            if (TSprig *s = m_model->sprigOfItem(c)) {
                const QModelIndex index = m_model->indexOf(s);
                selection.select(index, index);
                if (!current.isValid())
                    current = index;
            }
    QItemSelectionModel *sm = m_view->selectionModel();
    sm->select(selection, QItemSelectionModel::ClearAndSelect);
    if (current.isValid()) {
        // A new current row scrolls to itself unless told not to.
        const bool autoScroll = m_view->hasAutoScroll();
        m_view->setAutoScroll(Reveal);
        sm->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
        m_view->setAutoScroll(autoScroll);
        // A component chosen elsewhere is shown, opening its branch; after a
        // rebuild the branches stay as the person left them.
        if (Reveal)
            m_view->scrollTo(current);
    }
    m_syncing = false;
}
