#include "ModuleSurface.h"

#include "GuiErrors.h"
#include "ModuleEditing.h"
#include "PalettePane.h"

#include "designide/ComponentEditors.h"
#include "designide/FormFile.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>

namespace {

constexpr int LabelWidth = 96;
constexpr int LabelGap = 2;
constexpr int Margin = 24;

// A colour Amount of the way from From to To.
QColor blend(const QColor &From, const QColor &To, qreal Amount)
{
    const auto mix = [Amount](int A, int B) {
        return A + qRound((B - A) * Amount);
    };
    return QColor(mix(From.red(), To.red()), mix(From.green(), To.green()),
                  mix(From.blue(), To.blue()));
}

} // namespace

TModuleSurface::TModuleSurface(QWidget *Parent)
    : QAbstractScrollArea(Parent)
{
    setObjectName(QStringLiteral("moduleSurface"));
    // Every colour of the surface comes from the palette: a dark theme
    // gets a dark surface with light names.
    viewport()->setAutoFillBackground(true);
    viewport()->setBackgroundRole(QPalette::Base);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(false);
    viewport()->setAcceptDrops(true);
    m_lineHeight = fontMetrics().height();
}

TModuleSurface::~TModuleSurface() = default;

void TModuleSurface::setDesigner(const TFormDesignerPtr &Designer)
{
    cancelRename();
    for (const QMetaObject::Connection &c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
    if (m_watchedRoot)
        m_watchedRoot->removeEventFilter(this);
    m_designer = Designer;
    m_watchedRoot = Designer ? Designer->Root() : nullptr;
    if (m_watchedRoot)
        m_watchedRoot->installEventFilter(this);
    m_drag = Drag::None;
    // Classes may have come and gone with packages since the last module.
    m_glyphs.clear();
    if (m_designer) {
        TFormDesigner *d = m_designer.get();
        m_connections << connect(d, &TFormDesigner::componentsChanged, this,
                                 &TModuleSurface::rebuild)
                      // Names are read when painted: a value change only
                      // repaints, unless an editor added or freed a component.
                      << connect(d, &TFormDesigner::designChanged, this,
                                 [this] {
                                     if (m_designer && m_designer->Root()
                                         && m_designer->Root()->children().size() != m_childCount)
                                         rebuild();
                                     else
                                         viewport()->update();
                                 })
                      << connect(d, &TFormDesigner::selectionChanged, viewport(),
                                 qOverload<>(&QWidget::update));
    }
    rebuild();
}

void TModuleSurface::setPendingClass(TComponentClass Class)
{
    if (Class == m_pendingClass)
        return;
    m_pendingClass = Class;
    viewport()->setCursor(Class ? Qt::CrossCursor : Qt::ArrowCursor);
    emit pendingClassChanged(Class);
}

void TModuleSurface::setEnvironmentActions(const QList<QAction *> &Actions)
{
    m_environmentActions = Actions;
}

QPixmap TModuleSurface::glyphFor(TComponentClass Class)
{
    auto it = m_glyphs.constFind(Class);
    if (it == m_glyphs.cend())
        it = m_glyphs.insert(Class, componentGlyph(Class));
    return *it;
}

// --- Items -------------------------------------------------------------------------

void TModuleSurface::rebuild()
{
    m_items.clear();
    m_index.clear();
    m_childCount = m_designer && m_designer->Root() ? m_designer->Root()->children().size() : 0;
    if (m_designer && m_designer->Root()) {
        const QList<QObject *> components = surfaceComponents(m_designer->Root());
        m_items.reserve(components.size());
        m_index.reserve(components.size());
        // Components without a stored position are laid out in rows.
        int n = 0;
        for (QObject *c : components) {
            const QPoint fallback = defaultDesignPosition(n++);
            m_index.insert(c, int(m_items.size()));
            m_items.push_back({c, c->metaObject(), designPosition(c, fallback)});
        }
    }
    if (m_renaming && !m_index.contains(m_renaming))
        cancelRename();
    updateScrollBars();
    viewport()->update();
}

QPoint TModuleSurface::offset() const
{
    return QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

void TModuleSurface::ensureVisible(const QRect &ContentBox)
{
    const QRect view(offset(), viewport()->size());
    auto scroll = [](QScrollBar *Bar, int Low, int High, int ViewLow, int ViewHigh) {
        if (Low < ViewLow)
            Bar->setValue(Bar->value() - (ViewLow - Low));
        else if (High > ViewHigh)
            Bar->setValue(Bar->value() + (High - ViewHigh));
    };
    scroll(horizontalScrollBar(), ContentBox.left(), ContentBox.right(), view.left(), view.right());
    scroll(verticalScrollBar(), ContentBox.top(), ContentBox.bottom(), view.top(), view.bottom());
}

QRect TModuleSurface::placementArea() const
{
    // The name is centred under the box and may be wider.
    const int side = qMax(0, (LabelWidth - BoxSize) / 2);
    const QRect view(offset(), viewport()->size());
    const QRect area(view.topLeft() + QPoint(side, 0),
                     view.bottomRight() - QPoint(BoxSize + side, BoxSize + LabelGap + m_lineHeight)
                         + QPoint(1, 1));
    return area.isValid() ? area : QRect();
}

QRect TModuleSurface::boxOf(const Item &I) const
{
    return QRect(I.Pos, QSize(BoxSize, BoxSize));
}

QRect TModuleSurface::labelOf(const Item &I) const
{
    const int h = m_lineHeight;
    return QRect(I.Pos.x() + BoxSize / 2 - LabelWidth / 2, I.Pos.y() + BoxSize + LabelGap,
                 LabelWidth, h);
}

QRect TModuleSurface::boxRect(const QObject *Component) const
{
    const auto it = m_index.constFind(Component);
    if (it == m_index.cend())
        return {};
    return boxOf(m_items[*it]).translated(-offset());
}

int TModuleSurface::itemAt(QPoint ContentPos) const
{
    // The last drawn is on top: search backwards.
    for (int i = int(m_items.size()) - 1; i >= 0; --i) {
        const Item &it = m_items[i];
        if (!it.Component)
            continue;
        if (boxOf(it).contains(ContentPos))
            return i;
        const QRect label = labelOf(it);
        if (label.contains(ContentPos)) {
            // Only the text itself, not the empty width beside it.
            const int w = fontMetrics().horizontalAdvance(it.Component->objectName()) + 4;
            if (qAbs(ContentPos.x() - label.center().x()) <= w / 2)
                return i;
        }
    }
    return -1;
}

QObject *TModuleSurface::componentAt(QPoint ViewportPos) const
{
    const int i = itemAt(ViewportPos + offset());
    return i < 0 ? nullptr : m_items[i].Component;
}

void TModuleSurface::updateScrollBars()
{
    int right = 0, bottom = 0;
    for (const Item &it : m_items) {
        right = qMax(right, it.Pos.x());
        bottom = qMax(bottom, it.Pos.y());
    }
    right += LabelWidth;
    bottom += BoxSize + LabelGap + m_lineHeight;
    const QSize view = viewport()->size();
    horizontalScrollBar()->setRange(0, qMax(0, right + Margin - view.width()));
    verticalScrollBar()->setRange(0, qMax(0, bottom + Margin - view.height()));
    horizontalScrollBar()->setPageStep(view.width());
    verticalScrollBar()->setPageStep(view.height());
    horizontalScrollBar()->setSingleStep(16);
    verticalScrollBar()->setSingleStep(16);
}

void TModuleSurface::changeEvent(QEvent *Event)
{
    QAbstractScrollArea::changeEvent(Event);
    if (Event->type() == QEvent::FontChange) {
        m_lineHeight = fontMetrics().height();
        updateScrollBars();
    }
}

void TModuleSurface::resizeEvent(QResizeEvent *Event)
{
    QAbstractScrollArea::resizeEvent(Event);
    updateScrollBars();
}

void TModuleSurface::scrollContentsBy(int Dx, int Dy)
{
    if (m_renameEdit)
        m_renameEdit->move(m_renameEdit->pos() + QPoint(Dx, Dy));
    viewport()->update();
}

// --- Painting ----------------------------------------------------------------------

void TModuleSurface::paintEvent(QPaintEvent *Event)
{
    QPainter p(viewport());
    const QPoint off = offset();
    const QRect visible = Event->rect().translated(off);

    // A faint dot grid, as design surfaces show it: one tile, repeated.
    const QPalette pal = palette();
    const QColor base = pal.color(QPalette::Base);
    const QColor ink = pal.color(QPalette::Text);
    if (m_tile.isNull() || m_tileBase != base || m_tileText != ink) {
        m_tileBase = base;
        m_tileText = ink;
        m_tile = QPixmap(8, 8);
        m_tile.fill(base);
        QPainter tp(&m_tile);
        tp.setPen(blend(base, ink, 0.25));
        tp.drawPoint(0, 0);
    }
    p.setBrushOrigin(-off);
    p.fillRect(Event->rect(), QBrush(m_tile));

    if (!m_designer)
        return;
    QList<QObject *> selected = m_designer->selection();
    QSet<const QObject *> isSelected(selected.cbegin(), selected.cend());
    const QPoint moveBy = m_drag == Drag::Moving ? m_dragContent - m_pressContent : QPoint();
    for (const Item &it : m_items) {
        if (!it.Component)
            continue;
        const bool sel = isSelected.contains(it.Component);
        const QPoint shift = sel ? moveBy : QPoint();
        const QRect box = boxOf(it).translated(shift);
        const QRect label = labelOf(it).translated(shift);
        if (!box.united(label).intersects(visible))
            continue;
        const QRect b = box.translated(-off);
        p.setPen(pal.color(QPalette::Mid));
        p.setBrush(pal.color(QPalette::Button));
        p.drawRect(b.adjusted(0, 0, -1, -1));
        p.setPen(pal.color(QPalette::Light));
        p.drawLine(b.left() + 1, b.top() + 1, b.right() - 1, b.top() + 1);
        p.drawLine(b.left() + 1, b.top() + 1, b.left() + 1, b.bottom() - 1);
        // A component no package registers: a question mark for its glyph,
        // its class under its name.
        const auto *notLoaded = qobject_cast<const TNotLoadedComponent *>(it.Component);
        if (notLoaded) {
            QFont bold = p.font();
            bold.setBold(true);
            p.setFont(bold);
            p.setPen(QColor(0x80, 0x80, 0x80));
            p.drawText(b, Qt::AlignCenter, QStringLiteral("?"));
            p.setFont(font());
        } else {
            const QPixmap glyph = glyphFor(it.Class);
            p.drawPixmap(b.left() + (BoxSize - glyph.width()) / 2,
                         b.top() + (BoxSize - glyph.height()) / 2, glyph);
        }

        const QRect l = label.translated(-off);
        const QString text
            = fontMetrics().elidedText(it.Component->objectName(), Qt::ElideRight, LabelWidth);
        if (sel) {
            const int w = fontMetrics().horizontalAdvance(text) + 4;
            const QRect back(l.center().x() - w / 2, l.top(), w, l.height());
            p.fillRect(back, pal.color(QPalette::Highlight));
            p.setPen(pal.color(QPalette::HighlightedText));
        } else {
            p.setPen(ink);
        }
        p.drawText(l, Qt::AlignHCenter | Qt::AlignTop, text);
        if (notLoaded) {
            p.setPen(QColor(0x80, 0x80, 0x80));
            p.drawText(
                l.translated(0, l.height()), Qt::AlignHCenter | Qt::AlignTop,
                fontMetrics().elidedText(notLoaded->ClassName(), Qt::ElideRight, LabelWidth));
        }

        if (sel) {
            // Grab handles at the box's corners: in the text's colour for a
            // single selection, halfway to the background for one of several.
            const QColor handle = selected.size() == 1 ? ink : blend(base, ink, 0.5);
            for (const QPoint &c : {b.topLeft(), b.topRight(), b.bottomLeft(), b.bottomRight()})
                p.fillRect(QRect(c - QPoint(2, 2), QSize(5, 5)), handle);
        }
    }

    if (m_drag == Drag::Band) {
        const QRect band = QRect(m_pressContent, m_dragContent).normalized().translated(-off);
        p.setPen(QPen(pal.color(QPalette::Highlight), 1, Qt::DashLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(band);
    }
}

// --- Mouse and keys ----------------------------------------------------------------

void TModuleSurface::mousePressEvent(QMouseEvent *Event)
{
    setFocus();
    if (m_renameEdit)
        commitRename();
    if (!m_designer || !m_designer->Root())
        return;
    const QPoint pos = Event->position().toPoint() + offset();
    if (Event->button() == Qt::RightButton) {
        // Right-clicking a component that is not selected selects it.
        const int i = itemAt(pos);
        if (i >= 0 && !m_designer->selection().contains(m_items[i].Component))
            m_designer->select({m_items[i].Component});
        return;
    }
    if (Event->button() != Qt::LeftButton)
        return;

    if (m_pendingClass) {
        const TComponentClass cls = m_pendingClass;
        QObject *added = nullptr;
        runGuarded([&] {
            added = addComponent(*m_designer, cls, snapped(pos - QPoint(BoxSize / 2, BoxSize / 2)));
        });
        setPendingClass(nullptr);
        if (added)
            emit componentPlaced(added);
        return;
    }

    const bool ctrl = Event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier);
    const int i = itemAt(pos);
    m_pressContent = m_dragContent = pos;
    QList<QObject *> sel = m_designer->selection();
    if (i < 0) {
        m_drag = Drag::Band;
        m_bandBase = ctrl ? sel : QList<QObject *>();
        if (!ctrl)
            m_designer->select({m_designer->Root()});
        return;
    }
    QObject *hit = m_items[i].Component;
    if (ctrl) {
        if (sel.contains(hit))
            sel.removeAll(hit);
        else
            sel.append(hit);
        sel.removeAll(m_designer->Root());
        m_designer->select(sel);
        m_drag = Drag::None;
        return;
    }
    if (!sel.contains(hit))
        m_designer->select({hit});
    m_drag = Drag::Pending;
}

void TModuleSurface::mouseMoveEvent(QMouseEvent *Event)
{
    if (m_drag == Drag::None)
        return;
    m_dragContent = Event->position().toPoint() + offset();
    if (m_drag == Drag::Pending
        && (m_dragContent - m_pressContent).manhattanLength() >= QApplication::startDragDistance())
        m_drag = Drag::Moving;
    if (m_drag == Drag::Band) {
        const QRect band = QRect(m_pressContent, m_dragContent).normalized();
        QList<QObject *> sel = m_bandBase;
        for (const Item &it : m_items)
            if (it.Component && band.intersects(boxOf(it)) && !sel.contains(it.Component))
                sel.append(it.Component);
        if (sel.isEmpty())
            sel.append(m_designer->Root());
        m_designer->select(sel);
    }
    viewport()->update();
}

void TModuleSurface::mouseReleaseEvent(QMouseEvent *Event)
{
    if (m_drag == Drag::None)
        return;
    m_dragContent = Event->position().toPoint() + offset();
    const Drag drag = m_drag;
    m_drag = Drag::None;
    if (drag == Drag::Moving)
        moveSelection(m_dragContent - m_pressContent, m_snap);
    viewport()->update();
}

QPoint TModuleSurface::snapped(QPoint Pos) const
{
    if (!m_snap)
        return Pos;
    auto round = [](int V) {
        return (V + GridSize / 2) / GridSize * GridSize;
    };
    return QPoint(round(Pos.x()), round(Pos.y()));
}

void TModuleSurface::setSnapToGrid(bool On)
{
    m_snap = On;
    viewport()->update();
}

QObject *TModuleSurface::nearestComponent(QObject *From, Qt::Key Direction) const
{
    const auto from = m_index.constFind(From);
    if (from == m_index.cend())
        return nullptr;
    const QPoint origin = m_items[*from].Pos;
    QObject *best = nullptr;
    qint64 bestCost = 0;
    for (const Item &it : m_items) {
        if (!it.Component || it.Component == From)
            continue;
        const QPoint d = it.Pos - origin;
        // Ahead in that direction, within 45 degrees either side.
        const int ahead = Direction == Qt::Key_Right  ? d.x()
                          : Direction == Qt::Key_Left ? -d.x()
                          : Direction == Qt::Key_Down ? d.y()
                                                      : -d.y();
        const int aside = Direction == Qt::Key_Left || Direction == Qt::Key_Right ? d.y() : d.x();
        if (ahead <= 0 || qAbs(aside) > ahead)
            continue;
        // Straight ahead beats the same distance to the side.
        const qint64 cost = qint64(ahead) * ahead + 4 * qint64(aside) * aside;
        if (!best || cost < bestCost) {
            best = it.Component;
            bestCost = cost;
        }
    }
    return best;
}

void TModuleSurface::moveSelection(QPoint Delta, bool Snap)
{
    if (!m_designer || Delta.isNull())
        return;
    bool moved = false;
    for (QObject *c : m_designer->selection()) {
        const auto it = m_index.constFind(c);
        if (it == m_index.cend())
            continue;
        const QPoint p = Snap ? snapped(m_items[*it].Pos + Delta) : m_items[*it].Pos + Delta;
        setDesignPosition(c, QPoint(qMax(0, p.x()), qMax(0, p.y())));
        moved = true;
    }
    if (moved)
        m_designer->notifyComponentsChanged();
}

void TModuleSurface::mouseDoubleClickEvent(QMouseEvent *Event)
{
    if (Event->button() != Qt::LeftButton || !m_designer)
        return;
    m_drag = Drag::None;
    if (QObject *c = componentAt(Event->position().toPoint()))
        editComponent(c);
}

void TModuleSurface::editComponent(QObject *Component)
{
    if (!m_designer || !Component)
        return;
    runGuarded([&] {
        std::unique_ptr<TComponentEditor> editor = GetComponentEditor(Component, m_designer);
        editor->Edit();
    });
}

std::unique_ptr<QMenu> TModuleSurface::contextMenuFor(QObject *Component)
{
    auto menu = std::make_unique<QMenu>(this);
    if (m_designer && Component && Component != m_designer->Root()) {
        // The editor serves this one menu and goes with it.
        std::shared_ptr<TComponentEditor> editor;
        runGuarded([&] { editor = GetComponentEditor(Component, m_designer); });
        const int count = editor ? editor->GetVerbCount() : 0;
        for (int i = 0; i < count; ++i) {
            const QString caption = editor->GetVerb(i);
            if (caption == QLatin1String("-")) {
                menu->addSeparator();
                continue;
            }
            QAction *a = menu->addAction(caption);
            a->setObjectName(QStringLiteral("verb%1").arg(i));
            runGuarded([&] { editor->PrepareItem(i, a); });
            connect(a, &QAction::triggered, menu.get(),
                    [editor, i] { runGuarded([&] { editor->ExecuteVerb(i); }); });
        }
        if (count > 0 && !m_environmentActions.isEmpty())
            menu->addSeparator();
    }
    for (QAction *a : std::as_const(m_environmentActions)) {
        if (a->isSeparator())
            menu->addSeparator();
        else
            menu->addAction(a);
    }
    return menu;
}

void TModuleSurface::contextMenuEvent(QContextMenuEvent *Event)
{
    if (!m_designer)
        return;
    QObject *c = componentAt(Event->pos());
    std::unique_ptr<QMenu> menu = contextMenuFor(c);
    if (!menu->isEmpty())
        menu->exec(Event->globalPos());
}

void TModuleSurface::keyPressEvent(QKeyEvent *Event)
{
    if (!m_designer) {
        QAbstractScrollArea::keyPressEvent(Event);
        return;
    }
    const QList<QObject *> sel = m_designer->selection();
    switch (Event->key()) {
    case Qt::Key_Escape:
        if (m_pendingClass)
            setPendingClass(nullptr);
        else
            m_designer->select({m_designer->Root()});
        return;
    case Qt::Key_F2:
        if (sel.size() == 1 && m_index.contains(sel.first()))
            beginRename(sel.first());
        return;
    case Qt::Key_Delete:
        runGuarded([&] { deleteSelection(*m_designer); });
        return;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down: {
        const int step = (Event->modifiers() & Qt::ShiftModifier) ? 8 : 1;
        const QPoint d = Event->key() == Qt::Key_Left    ? QPoint(-step, 0)
                         : Event->key() == Qt::Key_Right ? QPoint(step, 0)
                         : Event->key() == Qt::Key_Up    ? QPoint(0, -step)
                                                         : QPoint(0, step);
        if (Event->modifiers() & Qt::ControlModifier) {
            moveSelection(d);
        } else if (sel.size() == 1 && m_index.contains(sel.first())) {
            // The nearest component that way becomes the selection.
            if (QObject *next = nearestComponent(sel.first(), Qt::Key(Event->key()))) {
                m_designer->select({next});
                const auto it = m_index.constFind(next);
                ensureVisible(boxOf(m_items[*it]));
            }
        } else if (!sel.isEmpty() && sel.first() == m_designer->Root() && !m_items.empty()) {
            m_designer->select({m_items.front().Component});
        } else {
            QAbstractScrollArea::keyPressEvent(Event);
        }
        return;
    }
    default:
        QAbstractScrollArea::keyPressEvent(Event);
    }
}

// --- Drops from the palette -------------------------------------------------------

TComponentClass TModuleSurface::droppedClass(const QMimeData *Data) const
{
    if (!m_designer || !m_designer->Root()
        || !Data->hasFormat(QLatin1String(ComponentClassMimeType)))
        return nullptr;
    return GetClass(QString::fromUtf8(Data->data(QLatin1String(ComponentClassMimeType))));
}

void TModuleSurface::dragEnterEvent(QDragEnterEvent *Event)
{
    if (droppedClass(Event->mimeData()))
        Event->acceptProposedAction();
}

void TModuleSurface::dragMoveEvent(QDragMoveEvent *Event)
{
    if (droppedClass(Event->mimeData()))
        Event->acceptProposedAction();
}

void TModuleSurface::dropEvent(QDropEvent *Event)
{
    const TComponentClass cls = droppedClass(Event->mimeData());
    if (!cls)
        return;
    Event->acceptProposedAction();
    const QPoint pos = Event->position().toPoint() + offset() - QPoint(BoxSize / 2, BoxSize / 2);
    QObject *added = nullptr;
    runGuarded([&] { added = addComponent(*m_designer, cls, snapped(pos)); });
    if (added)
        emit componentPlaced(added);
}

// --- Rename in place ---------------------------------------------------------------

QLineEdit *TModuleSurface::beginRename(QObject *Component)
{
    cancelRename();
    const auto it = m_index.constFind(Component);
    if (it == m_index.cend())
        return nullptr;
    const Item &item = m_items[*it];
    m_renaming = Component;
    m_renameEdit = new QLineEdit(Component->objectName(), viewport());
    m_renameEdit->setObjectName(QStringLiteral("renameEditor"));
    const QRect l = labelOf(item).translated(-offset()).adjusted(-8, -2, 8, 2);
    m_renameEdit->setGeometry(l);
    m_renameEdit->selectAll();
    m_renameEdit->show();
    m_renameEdit->setFocus();
    connect(m_renameEdit, &QLineEdit::returnPressed, this, &TModuleSurface::commitRename);
    m_renameEdit->installEventFilter(this);
    return m_renameEdit;
}

bool TModuleSurface::eventFilter(QObject *Watched, QEvent *Event)
{
    if (Watched == m_watchedRoot && Event->type() == QEvent::ChildRemoved) {
        // Until the next rebuild the surface neither draws nor hits it.
        const auto it = m_index.find(static_cast<QChildEvent *>(Event)->child());
        if (it != m_index.end()) {
            m_items[size_t(*it)].Component = nullptr;
            m_index.erase(it);
            viewport()->update();
        }
        return false;
    }
    if (Watched == m_renameEdit) {
        if (Event->type() == QEvent::KeyPress
            && static_cast<QKeyEvent *>(Event)->key() == Qt::Key_Escape) {
            cancelRename();
            setFocus();
            return true;
        }
        if (Event->type() == QEvent::FocusOut) {
            // Leaving the editor keeps what was typed, once.
            QMetaObject::invokeMethod(this, &TModuleSurface::commitRename, Qt::QueuedConnection);
        }
    }
    return QAbstractScrollArea::eventFilter(Watched, Event);
}

void TModuleSurface::commitRename()
{
    if (!m_renameEdit)
        return;
    commitPendingRename();
    setFocus();
}

bool TModuleSurface::commitPendingRename()
{
    if (!m_renameEdit)
        return true;
    const QString name = m_renameEdit->text().trimmed();
    QPointer<QObject> target = m_renaming;
    cancelRename();
    return !target || !m_designer
           || runGuarded([&] { renameComponent(*m_designer, target, name); });
}

void TModuleSurface::cancelRename()
{
    if (!m_renameEdit)
        return;
    QLineEdit *edit = m_renameEdit;
    m_renameEdit = nullptr;
    m_renaming = nullptr;
    edit->hide();
    edit->deleteLater();
}
