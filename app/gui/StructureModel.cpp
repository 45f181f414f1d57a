#include "StructureModel.h"

#include "GuiErrors.h"
#include "ModuleEditing.h"
#include "PalettePane.h"

#include "designide/FormFile.h"
#include "designide/PackageLoader.h"
#include "designide/Sprigs.h"

#include "rtl/SysUtils.h"

#include <QMimeData>
#include <QPainter>

#include <algorithm>

namespace {

// The data of a node's drag: the model it came from, the build and the node.
constexpr char SprigMimeType[] = "application/x-ovdesigner-structure-node";

struct SprigDragData
{
    quintptr Model;
    int Build;
    quintptr Sprig;
};

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

// The model's row of one node.
struct TStructureModel::Row
{
    // Null from the moment a rebuild finds the row gone until it is removed.
    TSprig *Sprig = nullptr;
    Row *Parent = nullptr;
    int Number = 0; // the row's number under Parent
    // What the row stands for across rebuilds: the component shown, or for
    // a node without one, its unique name.
    const QObject *Item = nullptr;
    QString Name;
    bool Unattached = false;
    bool Flagged = false; // the node itself; never the root's row
    // Whether the rows below are made; until they are, how many nodes are
    // below (a rebuild tells the view when a branch gains its first or loses
    // its last).
    bool Made = false;
    int Nodes = 0;
    // Whether the row bears or hides a problem, worked out when first asked
    // in build BelowBuild.
    mutable int BelowBuild = 0;
    mutable bool Below = false;
    std::vector<std::unique_ptr<Row>> Children;
};

// The placed children of a node, and below the root, the unattached nodes
// after them.
class TStructureModel::Children
{
public:
    Children(const QList<TSprig *> &Placed, const QList<TSprig *> *Unattached)
        : m_placed(Placed)
        , m_unattached(Unattached)
    {}
    int size() const { return int(m_placed.size() + (m_unattached ? m_unattached->size() : 0)); }
    TSprig *at(int I) const
    {
        return I < m_placed.size() ? m_placed.at(I) : m_unattached->at(I - m_placed.size());
    }
    bool unattached(int I) const { return I >= m_placed.size(); }

private:
    const QList<TSprig *> &m_placed;
    const QList<TSprig *> *m_unattached;
};

TStructureModel::Children TStructureModel::childSprigs(const Row *R) const
{
    return Children(R->Sprig->Children(), R == m_top.get() ? &m_root->Orphans() : nullptr);
}

TStructureModel::TStructureModel(QObject *Parent)
    : QAbstractItemModel(Parent)
{
    // The nodes are objects of the packages' node classes: an unloading
    // package takes their code with it, so the tree is built anew (with the
    // classes left) while its module is still there; a loaded package may
    // bring node classes too.
    m_notifier = addPackageNotifier([this](const QString &, bool) {
        m_icons.clear();
        rebuildComponents();
    });
}

TStructureModel::~TStructureModel()
{
    removePackageNotifier(m_notifier);
}

void TStructureModel::setDesigner(const TFormDesignerPtr &Designer)
{
    emit aboutToRebuild();
    beginResetModel();
    ++m_build;
    m_designer = Designer;
    m_top.reset();
    m_root.reset();
    m_icons.clear();
    const QString error = buildTree(true);
    resetRows();
    endResetModel();
    emit rebuilt();
    if (!error.isEmpty())
        showErrorMessage(error);
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
    // A drop tells the designer before it rebuilds the tree itself; the
    // rows follow when it is done.
    if (m_dropping)
        return;
    emit aboutToRebuild();
    ++m_build;
    const QString error = buildTree(NewComponents);
    updateRows();
    emit rebuilt();
    if (!error.isEmpty())
        showErrorMessage(error);
}

QString TStructureModel::buildTree(bool NewComponents)
{
    m_sprigsValid = false;
    try {
        QObject *designRoot = m_designer ? m_designer->Root() : nullptr;
        if (!designRoot) {
            m_root.reset();
        } else if (NewComponents || !m_root) {
            m_root.reset();
            m_root = std::make_unique<TRootSprig>(designRoot, m_designer);
            m_root->AddItems(DesignComponents(designRoot));
        } else {
            m_root->Rebuild();
        }
    } catch (const Exception &e) {
        // A node raised while placing itself: it is left out, the rest stays.
        return e.Message();
    }
    return {};
}

void TStructureModel::resetRows()
{
    m_top.reset();
    m_rowOfSprigValid = false;
    m_rowOfItemValid = false;
    m_rowOfSprig.clear();
    m_rowOfItem.clear();
    if (!m_root)
        return;
    m_top = makeRow(m_root.get(), nullptr, 0, false);
}

void TStructureModel::updateRows()
{
    if (!m_root || !m_top || m_top->Item != m_root->Item()) {
        // No module, or the first tree: the rows are made anew.
        beginResetModel();
        resetRows();
        endResetModel();
        return;
    }
    // First every row that stays shows its node of the new tree and every
    // row that goes shows none, so the view may read any row while it hears
    // of the rows that come and go.
    m_rowOfSprigValid = false;
    m_relayout = false;
    std::vector<Edit> edits;
    bind(m_top.get(), m_root.get(), false);
    diffRows(m_top.get(), edits);
    for (const Edit &e : edits)
        applyEdit(e);
    updateMarks(m_top.get(), true);
    m_rowOfSprigValid = false; // in case it was asked in between
    if (m_relayout) {
        // The view may have read that such a branch has nodes below it (or
        // none): it reads again.
        m_relayout = false;
        emit layoutAboutToBeChanged();
        emit layoutChanged();
    }
}

std::unique_ptr<TStructureModel::Row> TStructureModel::makeRow(TSprig *Sprig, Row *Parent,
                                                               int Number, bool Unattached)
{
    auto row = std::make_unique<Row>();
    row->Parent = Parent;
    row->Number = Number;
    row->Item = Sprig->Item();
    if (!row->Item)
        row->Name = Sprig->UniqueName();
    else if (m_rowOfItemValid)
        m_rowOfItem.insert(row->Item, row.get());
    if (m_rowOfSprigValid)
        m_rowOfSprig.insert(Sprig, row.get());
    bind(row.get(), Sprig, Unattached);
    row->Nodes = childSprigs(row.get()).size();
    row->Flagged = flaggedRow(row.get());
    return row;
}

void TStructureModel::makeChildRows(Row *R) const
{
    if (R->Made || !R->Sprig)
        return;
    auto *self = const_cast<TStructureModel *>(this);
    const Children children = childSprigs(R);
    const int count = children.size();
    R->Children.reserve(size_t(count));
    for (int i = 0; i < count; ++i)
        R->Children.push_back(self->makeRow(children.at(i), R, i, children.unattached(i)));
    R->Made = true;
}

bool TStructureModel::shows(const Row *R, TSprig *Sprig) const
{
    if (R->Item)
        return Sprig->Item() == R->Item;
    return !Sprig->Item() && Sprig->UniqueName() == R->Name;
}

void TStructureModel::bind(Row *R, TSprig *Sprig, bool Unattached)
{
    R->Sprig = Sprig;
    R->Unattached = Unattached;
}

// The children of R (bound to its new node) against the new tree: the rows
// that show the same nodes at the start and at the end of the list stay
// (and are compared in turn), the rows between them are replaced. A drop or
// a change of names moves a node out of one list and into another: each
// list changes in one place.
void TStructureModel::diffRows(Row *R, std::vector<Edit> &Edits)
{
    const Children children = childSprigs(R);
    if (!R->Made) {
        // No row below was made: the new nodes are made when asked for.
        if ((children.size() == 0) != (R->Nodes == 0))
            m_relayout = true;
        R->Nodes = children.size();
        return;
    }
    std::vector<std::unique_ptr<Row>> &rows = R->Children;
    const int oldCount = int(rows.size());
    const int newCount = int(children.size());
    int head = 0;
    while (head < oldCount && head < newCount && shows(rows[head].get(), children.at(head)))
        ++head;
    int tail = 0;
    while (tail < oldCount - head && tail < newCount - head
           && shows(rows[oldCount - 1 - tail].get(), children.at(newCount - 1 - tail)))
        ++tail;
    for (int i = 0; i < head; ++i) {
        bind(rows[i].get(), children.at(i), children.unattached(i));
        diffRows(rows[i].get(), Edits);
    }
    for (int t = 0; t < tail; ++t) {
        const int n = newCount - 1 - t;
        bind(rows[oldCount - 1 - t].get(), children.at(n), children.unattached(n));
        diffRows(rows[oldCount - 1 - t].get(), Edits);
    }
    if (head + tail == oldCount && head + tail == newCount)
        return;
    for (int i = head; i < oldCount - tail; ++i)
        dropSprigs(rows[i].get());
    Edit edit{R, head, oldCount - tail - 1, {}, {}};
    for (int i = head; i < newCount - tail; ++i) {
        edit.Added << children.at(i);
        edit.AddedUnattached << children.unattached(i);
    }
    Edits.push_back(std::move(edit));
}

void TStructureModel::dropSprigs(Row *R)
{
    for (const std::unique_ptr<Row> &child : R->Children)
        dropSprigs(child.get());
    bind(R, nullptr, R->Unattached);
    // Only a look-up that still leads to this row is removed.
    const auto it = m_rowOfItem.find(R->Item);
    if (m_rowOfItemValid && R->Item && it != m_rowOfItem.end() && *it == R)
        m_rowOfItem.erase(it);
}

void TStructureModel::applyEdit(const Edit &E)
{
    const QModelIndex parent = indexOfRow(E.Parent);
    std::vector<std::unique_ptr<Row>> &rows = E.Parent->Children;
    if (E.First <= E.Last) {
        beginRemoveRows(parent, E.First, E.Last);
        rows.erase(rows.begin() + E.First, rows.begin() + E.Last + 1);
        for (size_t i = size_t(E.First); i < rows.size(); ++i)
            rows[i]->Number = int(i);
        endRemoveRows();
    }
    if (!E.Added.isEmpty()) {
        const int last = E.First + int(E.Added.size()) - 1;
        beginInsertRows(parent, E.First, last);
        std::vector<std::unique_ptr<Row>> added;
        for (int i = 0; i < E.Added.size(); ++i)
            added.push_back(makeRow(E.Added[i], E.Parent, E.First + i, E.AddedUnattached[i]));
        rows.insert(rows.begin() + E.First, std::make_move_iterator(added.begin()),
                    std::make_move_iterator(added.end()));
        for (size_t i = size_t(last) + 1; i < rows.size(); ++i)
            rows[i]->Number = int(i);
        endInsertRows();
    }
}

bool TStructureModel::flaggedRow(const Row *R) const
{
    // The root's row is never flagged itself.
    return R->Parent && R->Sprig && (R->Unattached || R->Sprig->AnyProblems());
}

void TStructureModel::updateMarks(Row *R, bool Announce)
{
    for (const std::unique_ptr<Row> &child : R->Children)
        updateMarks(child.get(), Announce);
    const bool flagged = flaggedRow(R);
    if (Announce && flagged != R->Flagged) {
        R->Flagged = flagged;
        const QModelIndex index = indexOfRow(R);
        emit dataChanged(index, index,
                         {Qt::DecorationRole, Qt::ForegroundRole, Qt::ToolTipRole, ProblemRole});
    }
    R->Flagged = flagged;
}

bool TStructureModel::problemsBelow(TSprig *Sprig, bool Unattached) const
{
    if (Unattached || Sprig->AnyProblems())
        return true;
    // Every node the root did not place is flagged.
    if (Sprig == m_root.get() && !m_root->Orphans().isEmpty())
        return true;
    for (TSprig *child : Sprig->Children())
        if (problemsBelow(child, false))
            return true;
    return false;
}

bool TStructureModel::problemsBelowRow(const Row *R) const
{
    if (R->BelowBuild != m_build) {
        R->Below = R->Sprig && problemsBelow(R->Sprig, R->Unattached);
        R->BelowBuild = m_build;
    }
    return R->Below;
}

TStructureModel::Row *TStructureModel::rowOf(const QModelIndex &Index) const
{
    return Index.isValid() ? static_cast<Row *>(Index.internalPointer()) : nullptr;
}

QModelIndex TStructureModel::indexOfRow(const Row *R) const
{
    return R ? createIndex(R->Number, 0, const_cast<Row *>(R)) : QModelIndex();
}

TSprig *TStructureModel::sprigOf(const QModelIndex &Index) const
{
    const Row *row = rowOf(Index);
    return row ? row->Sprig : nullptr;
}

std::vector<TStructureModel::Row *> TStructureModel::allRows() const
{
    std::vector<Row *> rows;
    if (m_top)
        rows.push_back(m_top.get());
    for (size_t i = 0; i < rows.size(); ++i)
        for (const std::unique_ptr<Row> &child : rows[i]->Children)
            rows.push_back(child.get());
    return rows;
}

const QHash<const TSprig *, TStructureModel::Row *> &TStructureModel::rowsBySprig() const
{
    if (!m_rowOfSprigValid) {
        m_rowOfSprig.clear();
        for (Row *row : allRows())
            if (row->Sprig)
                m_rowOfSprig.insert(row->Sprig, row);
        m_rowOfSprigValid = true;
    }
    return m_rowOfSprig;
}

void TStructureModel::indexSprigs() const
{
    if (m_sprigsValid)
        return;
    m_sprigs.clear();
    m_sprigOfItem.clear();
    if (m_root) {
        std::vector<TSprig *> pending{m_root.get()};
        pending.insert(pending.end(), m_root->Orphans().begin(), m_root->Orphans().end());
        while (!pending.empty()) {
            TSprig *s = pending.back();
            pending.pop_back();
            m_sprigs.insert(s);
            if (s->Item())
                m_sprigOfItem.insert(s->Item(), s);
            pending.insert(pending.end(), s->Children().begin(), s->Children().end());
        }
    }
    m_sprigsValid = true;
}

TStructureModel::Row *TStructureModel::rowOfSprig(TSprig *Sprig) const
{
    if (!m_top || !Sprig)
        return nullptr;
    if (Row *row = rowsBySprig().value(Sprig))
        return row;
    if (!isCurrent(Sprig))
        return nullptr;
    // Down from the root's row, making the rows on the way: below the root
    // sit its children and the nodes it did not place.
    QList<TSprig *> way;
    for (TSprig *s = Sprig; s && s != m_root.get(); s = s->Parent())
        way.prepend(s);
    Row *row = m_top.get();
    for (TSprig *next : std::as_const(way)) {
        makeChildRows(row);
        const auto it
            = std::find_if(row->Children.begin(), row->Children.end(),
                           [next](const std::unique_ptr<Row> &R) { return R->Sprig == next; });
        if (it == row->Children.end())
            return nullptr;
        row = it->get();
    }
    return row;
}

const QHash<const QObject *, TStructureModel::Row *> &TStructureModel::rowsByItem() const
{
    if (!m_rowOfItemValid) {
        m_rowOfItem.clear();
        for (Row *row : allRows())
            if (row->Item && row->Sprig) // not a row on its way out
                m_rowOfItem.insert(row->Item, row);
        m_rowOfItemValid = true;
    }
    return m_rowOfItem;
}

bool TStructureModel::isCurrent(const TSprig *Sprig) const
{
    if (!Sprig)
        return false;
    indexSprigs();
    return m_sprigs.contains(Sprig);
}

QModelIndex TStructureModel::indexOf(TSprig *Sprig) const
{
    return indexOfRow(rowOfSprig(Sprig));
}

TSprig *TStructureModel::sprigOfItem(const QObject *Component) const
{
    indexSprigs();
    return m_sprigOfItem.value(Component);
}

bool TStructureModel::problemsBelow(const TSprig *Sprig) const
{
    if (!isCurrent(Sprig))
        return false;
    auto *s = const_cast<TSprig *>(Sprig);
    return problemsBelow(s, m_root->Orphans().contains(s));
}

QModelIndex TStructureModel::index(int Row, int Column, const QModelIndex &Parent) const
{
    if (!m_top || Column != 0 || Row < 0)
        return {};
    if (!Parent.isValid())
        return Row == 0 ? indexOfRow(m_top.get()) : QModelIndex();
    makeChildRows(rowOf(Parent));
    const auto &children = rowOf(Parent)->Children;
    return size_t(Row) < children.size() ? indexOfRow(children[size_t(Row)].get()) : QModelIndex();
}

QModelIndex TStructureModel::parent(const QModelIndex &Index) const
{
    const Row *row = rowOf(Index);
    return row ? indexOfRow(row->Parent) : QModelIndex();
}

int TStructureModel::rowCount(const QModelIndex &Parent) const
{
    if (!Parent.isValid())
        return m_top ? 1 : 0;
    Row *row = rowOf(Parent);
    makeChildRows(row);
    return int(row->Children.size());
}

bool TStructureModel::hasChildren(const QModelIndex &Parent) const
{
    if (!Parent.isValid())
        return m_top != nullptr;
    const Row *row = rowOf(Parent);
    if (row->Made)
        return !row->Children.empty();
    return row->Sprig && childSprigs(row).size() > 0;
}

int TStructureModel::columnCount(const QModelIndex &Parent) const
{
    Q_UNUSED(Parent);
    return 1;
}

QString TStructureModel::problemHint(TSprig *Sprig, bool Unattached)
{
    // The node's own reason, naming the setting at fault, where it gives one.
    const QString own = Sprig->ProblemHint();
    if (Unattached)
        return tr("Not attached: %1")
            .arg(own.isEmpty() ? tr("what it names is not a component of the module") : own);
    if (!own.isEmpty())
        return tr("Incomplete: %1").arg(own);
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
        if (const Row *row = rowsByItem().value(c)) {
            const QModelIndex i = indexOfRow(row);
            emit dataChanged(i, i);
        }
}

QVariant TStructureModel::data(const QModelIndex &Index, int Role) const
{
    const Row *row = rowOf(Index);
    TSprig *s = row ? row->Sprig : nullptr;
    if (!s)
        return {};
    const bool checkMarked = row != m_top.get() && row->Item && m_checkMarks.contains(row->Item);
    switch (Role) {
    case Qt::DisplayRole: {
        QString caption = s->Caption();
        // A query's caption is the first line of its SQL: keep the row one line.
        caption.replace(QLatin1Char('\n'), QLatin1Char(' '));
        return caption;
    }
    case Qt::DecorationRole:
        if (checkMarked || row->Flagged)
            return problemIcon();
        if (const TComponentClass c = s->Item() && row != m_top.get() ? s->ItemClass() : nullptr) {
            auto icon = m_icons.constFind(c);
            if (icon == m_icons.cend())
                icon = m_icons.insert(c, QIcon(componentGlyph(c)));
            return *icon;
        }
        return {};
    case Qt::ForegroundRole:
        if (checkMarked || row->Flagged)
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
        if (row->Flagged)
            tip += u'\n' + problemHint(s, row->Unattached);
        else if (problemsBelowRow(row))
            tip += u'\n' + tr("A component below is incomplete");
        if (checkMarked)
            tip += u'\n' + tr("Check Module: %1").arg(m_checkMarks.value(row->Item));
        return tip;
    }
    case SprigRole:
        return QVariant::fromValue(static_cast<void *>(s));
    case ProblemRole:
        return row->Flagged;
    case CheckProblemRole:
        return checkMarked;
    default:
        return {};
    }
}

Qt::ItemFlags TStructureModel::flags(const QModelIndex &Index) const
{
    const Row *row = rowOf(Index);
    TSprig *s = row ? row->Sprig : nullptr;
    if (!s)
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsDropEnabled;
    if (s->Item())
        f |= Qt::ItemIsSelectable;
    if (row != m_top.get())
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
    ++m_build;
    bool changed = false;
    QString error;
    m_dropping = true;
    try {
        // Tells the designer and rebuilds the tree when the drop changed
        // something, and rebuilds it when the drop raised.
        changed = m_root->DragDrop(Dragged, Target);
    } catch (const Exception &e) {
        error = e.Message();
    } catch (...) {
        m_dropping = false;
        updateRows();
        emit rebuilt();
        throw;
    }
    m_dropping = false;
    updateRows();
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
    TSprig *sprig = ok ? sprigOfItem(reinterpret_cast<const QObject *>(item)) : nullptr;
    for (qsizetype i = 1; sprig && i < parts.size(); ++i) {
        const Children children(sprig->Children(),
                                sprig == m_root.get() ? &m_root->Orphans() : nullptr);
        TSprig *next = nullptr;
        for (int c = 0; c < children.size() && !next; ++c)
            if (children.at(c)->UniqueName() == parts[i])
                next = children.at(c);
        sprig = next;
    }
    return sprig;
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
