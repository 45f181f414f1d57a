#include "StructurePane.h"

#include "GuiErrors.h"
#include "ModuleEditing.h"
#include "PalettePane.h"

#include "designide/FormFile.h"
#include "designide/PackageLoader.h"
#include "designide/Registrations.h"
#include "designide/Sprigs.h"

#include "rtl/Dialogs.h"
#include "rtl/SysUtils.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QPainter>
#include <QStyle>
#include <QVBoxLayout>

namespace {

// The data of a node's drag: the model it came from, the build and the node.
constexpr char SprigMimeType[] = "application/x-ovdesigner-structure-node";

struct SprigDragData
{
    quintptr Model;
    int Build;
    quintptr Sprig;
};

// The components a module shows in its structure: every component below the
// root (persistent fields too: they go under their datasets), in creation
// order.
QList<QObject *> componentsOf(QObject *Root)
{
    QList<QObject *> list;
    if (!Root)
        return list;
    for (QObject *o : Root->findChildren<QObject *>())
        if (isDesignComponent(o))
            list.append(o);
    return list;
}

QIcon problemIcon()
{
    static const QIcon icon = [] {
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(140, 0, 0), 1));
        p.setBrush(QColor(220, 40, 40));
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        p.setPen(QPen(Qt::white, 2));
        p.drawLine(QPointF(8, 4.5), QPointF(8, 9));
        p.drawPoint(QPointF(8, 11.5));
        return QIcon(pixmap);
    }();
    return icon;
}

} // namespace

// --- TStructureModel -------------------------------------------------------------

TStructureModel::TStructureModel(QObject *Parent)
    : QAbstractItemModel(Parent)
{
    // The nodes are objects of the packages' node classes: an unloading
    // package takes their code with it, so the tree is built anew (with the
    // classes left) while its module is still there; a loaded package may
    // bring node classes too.
    m_notifier = addPackageNotifier([this](const QString &, bool) { rebuildComponents(); });
}

TStructureModel::~TStructureModel()
{
    removePackageNotifier(m_notifier);
}

void TStructureModel::setDesigner(const TFormDesignerPtr &Designer)
{
    m_designer = Designer;
    resetTree(true);
}

void TStructureModel::rebuildComponents()
{
    resetTree(true);
}

void TStructureModel::rebuild()
{
    resetTree(false);
}

void TStructureModel::resetTree(bool NewComponents)
{
    emit aboutToRebuild();
    beginResetModel();
    ++m_build;
    QString error;
    try {
        QObject *designRoot = m_designer ? m_designer->Root() : nullptr;
        if (!designRoot) {
            m_root.reset();
        } else if (NewComponents || !m_root) {
            m_root.reset();
            m_root = std::make_unique<TRootSprig>(designRoot, m_designer);
            m_root->AddItems(componentsOf(designRoot));
        } else {
            m_root->Rebuild();
        }
    } catch (const Exception &e) {
        // A node raised while placing itself: it is left out, the rest stays.
        error = e.Message();
    }
    indexTree();
    endResetModel();
    emit rebuilt();
    if (!error.isEmpty())
        showErrorMessage(error);
}

void TStructureModel::indexTree()
{
    // A rebuilt tree is usually about as large as the last one: size the
    // indexes for it at once instead of growing them step by step.
    const qsizetype nodes = m_row.size();
    const qsizetype items = m_byItem.size();
    m_topChildren.clear();
    m_row.clear();
    m_byItem.clear();
    m_problemsBelow.clear();
    m_unattached.clear();
    if (!m_root)
        return;
    m_row.reserve(nodes);
    m_byItem.reserve(items);
    m_topChildren = m_root->Children();
    for (TSprig *orphan : m_root->Orphans()) {
        m_topChildren << orphan;
        m_unattached.insert(orphan);
    }
    m_row.insert(m_root.get(), 0);
    if (m_root->Item())
        m_byItem.insert(m_root->Item(), m_root.get());

    // One walk, children before parents: a parent is marked when any node
    // below it is flagged.
    struct Frame
    {
        TSprig *Sprig;
        bool Visited;
    };
    std::vector<Frame> stack;
    for (qsizetype i = m_topChildren.size(); i-- > 0;) {
        m_row.insert(m_topChildren[i], static_cast<int>(i));
        stack.push_back({m_topChildren[i], false});
    }
    bool anyBelowRoot = false;
    while (!stack.empty()) {
        Frame &top = stack.back();
        TSprig *s = top.Sprig;
        if (!top.Visited) {
            top.Visited = true;
            if (s->Item())
                m_byItem.insert(s->Item(), s);
            const QList<TSprig *> &children = s->Children();
            for (qsizetype i = children.size(); i-- > 0;) {
                m_row.insert(children[i], static_cast<int>(i));
                stack.push_back({children[i], false});
            }
            continue;
        }
        stack.pop_back();
        bool flagged = m_unattached.contains(s) || s->AnyProblems();
        if (!flagged)
            for (TSprig *child : s->Children())
                if (m_problemsBelow.contains(child)) {
                    flagged = true;
                    break;
                }
        if (flagged) {
            m_problemsBelow.insert(s);
            anyBelowRoot = true;
        }
    }
    if (anyBelowRoot || m_root->AnyProblems())
        m_problemsBelow.insert(m_root.get());
}

bool TStructureModel::isUnattached(const TSprig *Sprig) const
{
    return m_unattached.contains(Sprig);
}

const QList<TSprig *> &TStructureModel::childrenOf(const TSprig *Sprig) const
{
    return Sprig == m_root.get() ? m_topChildren : Sprig->Children();
}

TSprig *TStructureModel::sprigOf(const QModelIndex &Index) const
{
    return Index.isValid() ? static_cast<TSprig *>(Index.internalPointer()) : nullptr;
}

QModelIndex TStructureModel::indexOf(TSprig *Sprig) const
{
    const auto it = m_row.constFind(Sprig);
    return it == m_row.cend() ? QModelIndex() : createIndex(*it, 0, Sprig);
}

TSprig *TStructureModel::sprigOfItem(const QObject *Component) const
{
    return m_byItem.value(Component);
}

QModelIndex TStructureModel::index(int Row, int Column, const QModelIndex &Parent) const
{
    if (!m_root || Column != 0 || Row < 0)
        return {};
    if (!Parent.isValid())
        return Row == 0 ? createIndex(0, 0, m_root.get()) : QModelIndex();
    const QList<TSprig *> &children = childrenOf(sprigOf(Parent));
    return Row < children.size() ? createIndex(Row, 0, children.at(Row)) : QModelIndex();
}

QModelIndex TStructureModel::parent(const QModelIndex &Index) const
{
    TSprig *s = sprigOf(Index);
    if (!s || s == m_root.get())
        return {};
    TSprig *p = isUnattached(s) ? m_root.get() : s->Parent();
    return p ? indexOf(p) : QModelIndex();
}

int TStructureModel::rowCount(const QModelIndex &Parent) const
{
    if (!m_root)
        return 0;
    if (!Parent.isValid())
        return 1;
    return static_cast<int>(childrenOf(sprigOf(Parent)).size());
}

int TStructureModel::columnCount(const QModelIndex &Parent) const
{
    Q_UNUSED(Parent);
    return 1;
}

QString TStructureModel::problemHint(TSprig *Sprig, bool Unattached)
{
    if (Unattached)
        return tr("Not attached: it names a session that no component of the module provides");
    if (Sprig->Transient())
        return tr("Incomplete: the components below name it without a name");
    return tr("Incomplete: a setting this component needs is empty");
}

void TStructureModel::setCheckMarks(const QHash<const QObject *, QString> &Marks)
{
    QSet<const QObject *> touched;
    for (auto it = m_checkMarks.cbegin(); it != m_checkMarks.cend(); ++it)
        touched.insert(it.key());
    for (auto it = Marks.cbegin(); it != Marks.cend(); ++it)
        touched.insert(it.key());
    m_checkMarks = Marks;
    for (const QObject *c : std::as_const(touched))
        if (TSprig *s = sprigOfItem(c)) {
            const QModelIndex i = indexOf(s);
            emit dataChanged(i, i);
        }
}

QVariant TStructureModel::data(const QModelIndex &Index, int Role) const
{
    TSprig *s = sprigOf(Index);
    if (!s)
        return {};
    const bool checkMarked = s != m_root.get() && s->Item() && m_checkMarks.contains(s->Item());
    switch (Role) {
    case Qt::DisplayRole: {
        QString caption = s->Caption();
        // A query's caption is the first line of its SQL: keep the row one line.
        caption.replace(QLatin1Char('\n'), QLatin1Char(' '));
        return caption;
    }
    case Qt::DecorationRole:
        if (checkMarked || (s != m_root.get() && (isUnattached(s) || s->AnyProblems())))
            return problemIcon();
        if (const TComponentClass c = s->Item() && s != m_root.get() ? s->ItemClass() : nullptr)
            return QIcon(componentGlyph(c));
        return {};
    case Qt::ForegroundRole:
        if (checkMarked || (s != m_root.get() && (isUnattached(s) || s->AnyProblems())))
            return QColor(170, 0, 0);
        if (s->Transient())
            return QColor(96, 96, 96);
        return {};
    case Qt::FontRole:
        if (s->Transient()) {
            QFont font;
            font.setItalic(true);
            return font;
        }
        return {};
    case Qt::ToolTipRole: {
        QString tip = s->Caption();
        if (const TComponentClass c = s->ItemClass())
            tip += QStringLiteral(" (%1)").arg(QString::fromLatin1(c->className()));
        if (s != m_root.get() && (isUnattached(s) || s->AnyProblems()))
            tip += u'\n' + problemHint(s, isUnattached(s));
        else if (problemsBelow(s))
            tip += u'\n' + tr("A component below is incomplete");
        if (checkMarked)
            tip += u'\n' + tr("Check Module: %1").arg(m_checkMarks.value(s->Item()));
        return tip;
    }
    case SprigRole:
        return QVariant::fromValue(static_cast<void *>(s));
    case ProblemRole:
        return s != m_root.get() && (isUnattached(s) || s->AnyProblems());
    case CheckProblemRole:
        return checkMarked;
    default:
        return {};
    }
}

Qt::ItemFlags TStructureModel::flags(const QModelIndex &Index) const
{
    TSprig *s = sprigOf(Index);
    if (!s)
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsDropEnabled;
    if (s->Item())
        f |= Qt::ItemIsSelectable;
    if (s != m_root.get())
        f |= Qt::ItemIsDragEnabled;
    return f;
}

bool TStructureModel::canDrop(TSprig *Dragged, TSprig *Target) const
{
    return m_root && isCurrent(Dragged) && isCurrent(Target) && m_root->DragOver(Dragged, Target);
}

bool TStructureModel::drop(TSprig *Dragged, TSprig *Target)
{
    if (!canDrop(Dragged, Target))
        return false;
    emit aboutToRebuild();
    beginResetModel();
    ++m_build;
    bool changed = false;
    QString error;
    try {
        // Tells the designer and rebuilds the tree when the drop changed
        // something, and rebuilds it when the drop raised.
        changed = m_root->DragDrop(Dragged, Target);
    } catch (const Exception &e) {
        error = e.Message();
    }
    indexTree();
    endResetModel();
    emit rebuilt();
    if (!error.isEmpty())
        showErrorMessage(error);
    return changed;
}

bool TStructureModel::canDropClass(TComponentClass Class, TSprig *Target) const
{
    return m_root && Class && isCurrent(Target) && m_root->PaletteOver(Target, Class);
}

namespace {
// Separates the names in a key: a character no name typed into a field has.
constexpr char16_t KeySeparator = 0x1f;
} // namespace

QString TStructureModel::keyOf(TSprig *Sprig)
{
    QString key;
    for (TSprig *s = Sprig; s; s = s->Parent()) {
        if (s->Item()) {
            key.prepend(u'@' + QString::number(reinterpret_cast<quintptr>(s->Item()), 16));
            break;
        }
        key.prepend(QChar(KeySeparator) + s->UniqueName());
    }
    return key;
}

TSprig *TStructureModel::findKey(const QString &Key) const
{
    const QStringList parts = Key.split(QChar(KeySeparator));
    if (!parts.first().startsWith(u'@'))
        return nullptr;
    bool ok = false;
    const quintptr item = parts.first().mid(1).toULongLong(&ok, 16);
    TSprig *node = ok ? m_byItem.value(reinterpret_cast<const QObject *>(item)) : nullptr;
    for (qsizetype i = 1; node && i < parts.size(); ++i) {
        TSprig *next = nullptr;
        for (TSprig *c : childrenOf(node))
            if (c->UniqueName() == parts[i]) {
                next = c;
                break;
            }
        node = next;
    }
    return node;
}

QObject *TStructureModel::dropClass(TComponentClass Class, TSprig *Target)
{
    if (!m_designer || !canDropClass(Class, Target))
        return nullptr;
    const QString target = keyOf(Target);
    QObject *component = nullptr;
    // Below the lowest component on the surface.
    int bottom = -56;
    for (QObject *c : surfaceComponents(m_designer->Root()))
        bottom = std::max(bottom, designPosition(c).y());
    try {
        // Announces the new component: the tree is built anew with its node.
        component = addComponent(*m_designer, Class, QPoint(16, bottom + 56));
    } catch (const Exception &e) {
        showErrorMessage(e.Message());
        return nullptr;
    }
    TSprig *node = sprigOfItem(component);
    TSprig *onto = findKey(target);
    if (node && onto)
        drop(node, onto);
    return component;
}

QMimeData *TStructureModel::mimeDataFor(TSprig *Sprig) const
{
    auto *data = new QMimeData;
    const SprigDragData raw{reinterpret_cast<quintptr>(this), m_build,
                            reinterpret_cast<quintptr>(Sprig)};
    data->setData(QLatin1String(SprigMimeType),
                  QByteArray(reinterpret_cast<const char *>(&raw), sizeof raw));
    data->setText(Sprig->Caption());
    return data;
}

TSprig *TStructureModel::sprigFromMimeData(const QMimeData *Data) const
{
    if (!Data)
        return nullptr;
    const QByteArray bytes = Data->data(QLatin1String(SprigMimeType));
    if (bytes.size() != sizeof(SprigDragData))
        return nullptr;
    SprigDragData raw;
    memcpy(&raw, bytes.constData(), sizeof raw);
    // A drag from another view, or from before a rebuild, names nothing here.
    if (raw.Model != reinterpret_cast<quintptr>(this) || raw.Build != m_build)
        return nullptr;
    auto *sprig = reinterpret_cast<TSprig *>(raw.Sprig);
    return isCurrent(sprig) ? sprig : nullptr;
}

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

    connect(m_model, &TStructureModel::rebuilt, this, &TStructurePane::restoreState);
    connect(m_view, &QTreeView::collapsed, this, [this](const QModelIndex &Index) {
        if (!m_restoring)
            m_collapsed.insert(TStructureModel::keyOf(m_model->sprigOf(Index)));
    });
    connect(m_view, &QTreeView::expanded, this, [this](const QModelIndex &Index) {
        if (!m_restoring)
            m_collapsed.remove(TStructureModel::keyOf(m_model->sprigOf(Index)));
    });
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TStructurePane::viewSelectionChanged);
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

// After a rebuild: the collapsed branches are recorded as the person
// collapses them, and the selection is the designer's, so both come back
// from there: every branch opens but those.
void TStructurePane::restoreState()
{
    m_restoring = true;
    m_view->expandAll();
    if (!m_collapsed.isEmpty()) {
        // Walk the branches once.
        std::vector<QModelIndex> stack{m_model->index(0, 0)};
        while (!stack.empty()) {
            const QModelIndex index = stack.back();
            stack.pop_back();
            if (!index.isValid())
                continue;
            const int rows = m_model->rowCount(index);
            if (rows == 0)
                continue;
            if (m_collapsed.contains(TStructureModel::keyOf(m_model->sprigOf(index))))
                m_view->collapse(index);
            for (int r = 0; r < rows; ++r)
                stack.push_back(m_model->index(r, 0, index));
        }
    }
    m_restoring = false;
    showDesignerSelection(false);
}

void TStructurePane::viewSelectionChanged()
{
    if (m_syncing || !m_designer)
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
