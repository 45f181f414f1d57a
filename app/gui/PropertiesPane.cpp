#include "PropertiesPane.h"

#include "GuiErrors.h"
#include "ModuleEditing.h"

#include "orvlib/OvCatalogueCache.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvSession.h"

#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPersistentModelIndex>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <exception>
#include <utility>

// --- TInspectorItemModel -------------------------------------------------------

TInspectorItemModel::TInspectorItemModel(TObjectInspectorModel &Inspector, QObject *Parent)
    : QAbstractItemModel(Parent)
    , m_inspector(Inspector)
    , m_root(std::make_unique<Node>())
{
    connect(&m_inspector, &TObjectInspectorModel::rowsReset, this, &TInspectorItemModel::rebuild);
    connect(&m_inspector, &TObjectInspectorModel::valuesChanged, this,
            &TInspectorItemModel::valuesChanged);
    rebuild();
}

TInspectorItemModel::~TInspectorItemModel() = default;

void TInspectorItemModel::setGroupByCategory(bool Grouped)
{
    if (m_grouped == Grouped)
        return;
    m_grouped = Grouped;
    rebuild();
}

void TInspectorItemModel::rebuild()
{
    beginResetModel();
    // Nodes are made when a view first asks for them: a reset costs nothing
    // but the top level, whatever the size of the module.
    m_root = std::make_unique<Node>();
    endResetModel();
}

void TInspectorItemModel::addChild(Node *Parent, TInspectorRow *Row, const QString &Category) const
{
    auto node = std::make_unique<Node>();
    node->parent = Parent;
    node->index = static_cast<int>(Parent->children.size());
    node->row = Row;
    node->category = Category;
    Parent->children.push_back(std::move(node));
}

TInspectorItemModel::Node *TInspectorItemModel::childrenOf(Node *N) const
{
    if (N->built)
        return N;
    N->built = true;
    if (N->row) {
        for (int i = 0; i < N->row->childCount(); ++i)
            addChild(N, N->row->child(i), {});
    } else if (N == m_root.get() && m_grouped) {
        for (const QString &c : m_inspector.categories())
            if (!m_inspector.hiddenCategories().contains(c))
                addChild(N, nullptr, c);
    } else if (N == m_root.get()) {
        for (int i = 0; i < m_inspector.rowCount(); ++i)
            if (m_inspector.isVisible(m_inspector.row(i)))
                addChild(N, m_inspector.row(i), {});
    } else {
        for (TInspectorRow *r : m_inspector.rowsInCategory(N->category))
            addChild(N, r, {});
    }
    return N;
}

TInspectorItemModel::Node *TInspectorItemModel::nodeOf(const QModelIndex &Index) const
{
    return Index.isValid() ? static_cast<Node *>(Index.internalPointer()) : m_root.get();
}

TInspectorRow *TInspectorItemModel::rowAt(const QModelIndex &Index) const
{
    return Index.isValid() ? nodeOf(Index)->row : nullptr;
}

QModelIndex TInspectorItemModel::index(int Row, int Column, const QModelIndex &Parent) const
{
    Node *parent = childrenOf(nodeOf(Parent));
    if (Row < 0 || Row >= static_cast<int>(parent->children.size()) || Column < 0 || Column > 1)
        return {};
    return createIndex(Row, Column, parent->children[Row].get());
}

QModelIndex TInspectorItemModel::parent(const QModelIndex &Child) const
{
    if (!Child.isValid())
        return {};
    Node *parent = nodeOf(Child)->parent;
    if (!parent || parent == m_root.get())
        return {};
    return createIndex(parent->index, 0, parent);
}

int TInspectorItemModel::rowCount(const QModelIndex &Parent) const
{
    if (Parent.column() > 0)
        return 0;
    return static_cast<int>(childrenOf(nodeOf(Parent))->children.size());
}

int TInspectorItemModel::columnCount(const QModelIndex &Parent) const
{
    Q_UNUSED(Parent);
    return 2;
}

bool TInspectorItemModel::hasChildren(const QModelIndex &Parent) const
{
    if (Parent.column() > 0)
        return false;
    Node *n = nodeOf(Parent);
    if (n->built || !n->row)
        return rowCount(Parent) > 0;
    return n->row->hasChildren();
}

QVariant TInspectorItemModel::data(const QModelIndex &Index, int Role) const
{
    if (!Index.isValid())
        return {};
    const Node *n = nodeOf(Index);
    if (Role == RowRole)
        return QVariant::fromValue(static_cast<void *>(n->row));
    if (!n->row) {
        if (Index.column() == PropertyColumn && Role == Qt::DisplayRole)
            return n->category;
        if (Role == Qt::FontRole) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    }
    const TInspectorRow *row = n->row;
    switch (Role) {
    case Qt::DisplayRole:
        if (Index.column() == ValueColumn && row->isHeld())
            return tr("%1 (stored True, held: not open)").arg(row->value());
        return Index.column() == PropertyColumn ? row->name() : row->value();
    case Qt::EditRole:
        return Index.column() == ValueColumn ? row->value() : QVariant();
    case Qt::ToolTipRole:
        if (!row->error().isEmpty())
            return row->error();
        if (Index.column() == ValueColumn && row->isHeld())
            return tr("The form stores True; reading it acted on nothing. Choose True to open "
                      "it now.");
        return Index.column() == PropertyColumn ? row->categories().join(QStringLiteral(", "))
                                                : QVariant();
    case Qt::ForegroundRole:
        if (Index.column() == ValueColumn && !row->error().isEmpty())
            return QColor(Qt::red);
        if (Index.column() == ValueColumn && row->isReadOnly() && !row->hasDialog()
            && !row->hasValueList())
            return QColor(Qt::darkGray);
        return {};
    default:
        return {};
    }
}

QVariant TInspectorItemModel::headerData(int Section, Qt::Orientation Orientation, int Role) const
{
    if (Orientation != Qt::Horizontal || Role != Qt::DisplayRole)
        return {};
    return Section == PropertyColumn ? tr("Property") : tr("Value");
}

Qt::ItemFlags TInspectorItemModel::flags(const QModelIndex &Index) const
{
    if (!Index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const TInspectorRow *row = nodeOf(Index)->row;
    if (row && Index.column() == ValueColumn
        && (!row->isReadOnly() || row->hasValueList() || row->hasDialog()))
        f |= Qt::ItemIsEditable;
    return f;
}

void TInspectorItemModel::announceValues(Node *N)
{
    if (!N->built || N->children.empty())
        return;
    const QModelIndex parent = N == m_root.get() ? QModelIndex() : createIndex(N->index, 0, N);
    emit dataChanged(index(0, 0, parent),
                     index(static_cast<int>(N->children.size()) - 1, ValueColumn, parent));
    for (auto &child : N->children)
        announceValues(child.get());
}

void TInspectorItemModel::valuesChanged()
{
    announceValues(m_root.get());
}

QModelIndex TInspectorItemModel::find(Node *N, const QString &Path) const
{
    childrenOf(N);
    for (auto &child : N->children) {
        if (child->row && child->row->path().compare(Path, Qt::CaseInsensitive) == 0)
            return createIndex(child->index, ValueColumn, child.get());
        const bool onTheWay
            = !child->row
              || Path.startsWith(child->row->path() + QLatin1Char('.'), Qt::CaseInsensitive);
        if (onTheWay) {
            const QModelIndex found = find(child.get(), Path);
            if (found.isValid())
                return found;
        }
    }
    return {};
}

QModelIndex TInspectorItemModel::indexOf(const QString &Path) const
{
    return find(m_root.get(), Path);
}

// --- The Value column's editor ----------------------------------------------------

namespace {

// The catalogue kept by the connected database a dataset reads from; null
// for anything else.
TOvCatalogueCache *catalogueOf(QObject *Component)
{
    auto *dataSet = qobject_cast<TOvDataSet *>(Component);
    TOvSession *session = dataSet ? Sessions().FindSession(dataSet->SessionName()) : nullptr;
    TOvDatabase *db = session ? session->FindDatabase(dataSet->DatabaseName()) : nullptr;
    return db ? db->Catalogue() : nullptr;
}

class TValueEditor : public QWidget
{
public:
    TValueEditor(QWidget *Parent, bool WithList, bool Editable, bool WithDialog)
        : QWidget(Parent)
    {
        auto *layout = new QHBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        if (WithList) {
            combo = new QComboBox(this);
            combo->setEditable(Editable);
            combo->setInsertPolicy(QComboBox::NoInsert);
            layout->addWidget(combo, 1);
            setFocusProxy(combo);
        } else {
            line = new QLineEdit(this);
            line->setReadOnly(!Editable);
            line->setFrame(false);
            layout->addWidget(line, 1);
            setFocusProxy(line);
        }
        if (WithDialog) {
            button = new QToolButton(this);
            button->setText(QStringLiteral("..."));
            button->setObjectName(QStringLiteral("ellipsis"));
            layout->addWidget(button);
        }
        setAutoFillBackground(true);
        if (line && button)
            line->installEventFilter(this);
        if (combo && button)
            combo->installEventFilter(this);
    }

    // The keys that open a row's editor: F4, Alt+Down and Ctrl+Enter the
    // dialog of a row with one (a drop-down opens its list itself), Enter
    // too where nothing can be typed.
    bool eventFilter(QObject *Watched, QEvent *Event) override
    {
        if (Event->type() != QEvent::KeyPress)
            return QWidget::eventFilter(Watched, Event);
        const auto *key = static_cast<QKeyEvent *>(Event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        const bool dialogKey
            = (enter && (key->modifiers() & Qt::ControlModifier))
              || (!combo
                  && (key->key() == Qt::Key_F4
                      || (key->key() == Qt::Key_Down && (key->modifiers() & Qt::AltModifier))
                      || (enter && line->isReadOnly())));
        if (!dialogKey)
            return QWidget::eventFilter(Watched, Event);
        button->click();
        return true;
    }

    QString text() const { return combo ? combo->currentText() : line->text(); }
    void setText(const QString &Text)
    {
        if (!combo) {
            line->setText(Text);
            return;
        }
        const int i = combo->findText(Text, Qt::MatchFixedString);
        if (i >= 0)
            combo->setCurrentIndex(i);
        else if (combo->isEditable())
            combo->setEditText(Text);
    }

    QComboBox *combo = nullptr;
    QLineEdit *line = nullptr;
    QToolButton *button = nullptr;
    // The text the editor opened with: closing with it unchanged writes nothing.
    QString initial;
    // Set once the editor asked the view to close it.
    bool closing = false;
};

} // namespace

TInspectorDelegate::TInspectorDelegate(TInspectorPane &Pane)
    : QStyledItemDelegate(&Pane)
    , m_pane(Pane)
{}

bool TInspectorDelegate::isBoolean(const QModelIndex &Index) const
{
    const TInspectorRow *row = m_pane.itemModel().rowAt(Index);
    if (!row || Index.column() != TInspectorItemModel::ValueColumn || row->isReadOnly()
        || row->hasDialog())
        return false;
    try {
        return row->editor()->GetPropType().Name == QLatin1String("Boolean");
    } catch (const std::exception &) {
        return false;
    }
}

void TInspectorDelegate::paint(QPainter *Painter, const QStyleOptionViewItem &Option,
                               const QModelIndex &Index) const
{
    if (!isBoolean(Index)) {
        QStyledItemDelegate::paint(Painter, Option, Index);
        return;
    }
    QStyleOptionViewItem option = Option;
    initStyleOption(&option, Index);
    option.features |= QStyleOptionViewItem::HasCheckIndicator;
    option.checkState
        = Index.data().toString() == QLatin1String("True") ? Qt::Checked : Qt::Unchecked;
    const QStyle *style = option.widget ? option.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &option, Painter, option.widget);
    // Some styles draw an empty box in colours next to the base's, which a
    // dark palette makes invisible: its outline in the text's colour.
    const QRect box
        = style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, option.widget);
    Painter->save();
    Painter->setPen(option.palette.color(QPalette::Text));
    Painter->setBrush(Qt::NoBrush);
    Painter->drawRect(box.adjusted(1, 1, -2, -2));
    Painter->restore();
}

bool TInspectorDelegate::editorEvent(QEvent *Event, QAbstractItemModel *Model,
                                     const QStyleOptionViewItem &Option, const QModelIndex &Index)
{
    if (!isBoolean(Index))
        return QStyledItemDelegate::editorEvent(Event, Model, Option, Index);
    m_clicking = false;
    const bool click
        = Event->type() == QEvent::MouseButtonRelease
          && static_cast<QMouseEvent *>(Event)->button() == Qt::LeftButton
          && Option.rect.contains(static_cast<QMouseEvent *>(Event)->position().toPoint());
    const bool space = Event->type() == QEvent::KeyPress
                       && static_cast<QKeyEvent *>(Event)->key() == Qt::Key_Space;
    if (!click && !space)
        return Event->type() == QEvent::MouseButtonDblClick;
    const bool on = Index.data().toString() == QLatin1String("True");
    m_pane.commitValue(Index, on ? QStringLiteral("False") : QStringLiteral("True"));
    return true;
}

QWidget *TInspectorDelegate::createEditor(QWidget *Parent, const QStyleOptionViewItem &Option,
                                          const QModelIndex &Index) const
{
    Q_UNUSED(Option);
    const TInspectorRow *row = m_pane.itemModel().rowAt(Index);
    if (!row || Index.column() != TInspectorItemModel::ValueColumn
        || (m_clicking && isBoolean(Index)))
        return nullptr;
    auto *editor
        = new TValueEditor(Parent, row->hasValueList(), !row->isReadOnly(), row->hasDialog());
    if (editor->combo) {
        // A list the connection kept from the catalogue may be out of date:
        // the tooltip says how old it is.
        TOvCatalogueCache *catalogue = catalogueOf(row->editor()->GetComponent(0));
        if (catalogue)
            catalogue->ResetServed();
        const QStringList values = m_pane.dropDownValues(Index);
        if (catalogue)
            editor->combo->setToolTip(
                CatalogueAgeText(catalogue->OldestServed(), QDateTime::currentDateTimeUtc()));
        editor->combo->addItems(values);
        if (editor->combo->isEditable()) {
            bool autoFill = false;
            try {
                autoFill = row->editor()->AutoFill();
            } catch (const std::exception &) {
            }
            if (autoFill) {
                auto *completer = new QCompleter(values, editor->combo);
                completer->setCaseSensitivity(Qt::CaseInsensitive);
                completer->setCompletionMode(QCompleter::InlineCompletion);
                editor->combo->setCompleter(completer);
            } else {
                editor->combo->setCompleter(nullptr);
            }
        }
    }
    // Return, or a choice from the drop-down, stores the value at once.
    const auto commit = [this, editor] {
        if (editor->closing)
            return;
        editor->closing = true;
        auto *self = const_cast<TInspectorDelegate *>(this);
        emit self->commitData(editor);
        emit self->closeEditor(editor, NoHint);
    };
    if (editor->combo) {
        connect(editor->combo, &QComboBox::activated, editor, commit);
        if (editor->combo->lineEdit())
            connect(editor->combo->lineEdit(), &QLineEdit::returnPressed, editor, commit);
    } else {
        connect(editor->line, &QLineEdit::returnPressed, editor, commit);
    }
    if (editor->button) {
        const QPersistentModelIndex at(Index);
        connect(editor->button, &QToolButton::clicked, editor, [this, editor, at] {
            // The dialog works on the components; the typed text is dropped.
            if (editor->closing)
                return;
            editor->closing = true;
            editor->initial = editor->text();
            emit const_cast<TInspectorDelegate *>(this)->closeEditor(editor, NoHint);
            if (at.isValid())
                m_pane.runEditor(at);
        });
    }
    return editor;
}

void TInspectorDelegate::setEditorData(QWidget *Editor, const QModelIndex &Index) const
{
    auto *editor = static_cast<TValueEditor *>(Editor);
    editor->initial = Index.data(Qt::EditRole).toString();
    editor->setText(editor->initial);
}

void TInspectorDelegate::setModelData(QWidget *Editor, QAbstractItemModel *Model,
                                      const QModelIndex &Index) const
{
    Q_UNUSED(Model);
    storeEditor(Editor, Index);
}

bool TInspectorDelegate::storeEditor(QWidget *Editor, const QModelIndex &Index) const
{
    auto *editor = static_cast<TValueEditor *>(Editor);
    QString text = editor->text();
    if (editor->combo && editor->combo->completer()) {
        // AutoFill: typed text becomes the entry it begins.
        QStringList values;
        for (int i = 0; i < editor->combo->count(); ++i)
            values << editor->combo->itemText(i);
        if (TInspectorRow *row = m_pane.itemModel().rowAt(Index)) {
            try {
                text = m_pane.inspector().autoComplete(row, text, &values);
            } catch (const std::exception &) {
                // AutoFill failing leaves the text as typed.
            }
        }
    }
    if (text == editor->initial)
        return true;
    // Set first: the message box of a refusal takes the focus, and the
    // editor losing it must not store the same text twice.
    const QString shown = std::exchange(editor->initial, text);
    if (m_pane.commitValue(Index, text))
        return true;
    editor->initial = shown;
    return false;
}

void TInspectorDelegate::updateEditorGeometry(QWidget *Editor, const QStyleOptionViewItem &Option,
                                              const QModelIndex &Index) const
{
    Q_UNUSED(Index);
    Editor->setGeometry(Option.rect);
}

// --- TInspectorPane -------------------------------------------------------------------

TInspectorPane::TInspectorPane(QWidget *Parent)
    : QWidget(Parent)
{
    m_items = new TInspectorItemModel(m_inspector, this);

    m_caption = new QLabel(this);
    m_caption->setObjectName(QStringLiteral("selectionCaption"));
    // A long name is cut, not given the width of the column.
    m_caption->setMinimumWidth(1);
    m_categoryButton = new QToolButton(this);
    m_categoryButton->setObjectName(QStringLiteral("byCategory"));
    m_categoryButton->setText(tr("By category"));
    m_categoryButton->setToolTip(tr("Group the properties by category"));
    m_categoryButton->setCheckable(true);
    connect(m_categoryButton, &QToolButton::toggled, this, [this](bool On) {
        m_items->setGroupByCategory(On);
        if (On)
            m_view->expandToDepth(0);
    });

    m_view = new QTreeView(this);
    m_view->setObjectName(QStringLiteral("inspectorView"));
    m_view->setModel(m_items);
    m_delegate = new TInspectorDelegate(*this);
    m_view->setItemDelegate(m_delegate);
    m_view->viewport()->installEventFilter(this);
    m_view->installEventFilter(this);
    m_view->setUniformRowHeights(true);
    m_view->setAlternatingRowColors(true);
    m_view->setAllColumnsShowFocus(true);
    m_view->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed
                            | QAbstractItemView::CurrentChanged);
    m_view->header()->setSectionResizeMode(QHeaderView::Interactive);
    m_view->header()->resizeSection(TInspectorItemModel::PropertyColumn, 140);
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_view, &QTreeView::customContextMenuRequested, this, &TInspectorPane::contextMenu);
    connect(m_view, &QTreeView::doubleClicked, this, &TInspectorPane::doubleClicked);

    // The Name row: renames the one selected component with the checks F2
    // on the surface makes.
    m_nameLabel = new QLabel(tr("Name"), this);
    m_nameEdit = new QLineEdit(this);
    m_nameEdit->setObjectName(QStringLiteral("nameEdit"));
    connect(m_nameEdit, &QLineEdit::returnPressed, this, &TInspectorPane::commitName);
    connect(m_nameEdit, &QLineEdit::editingFinished, this, &TInspectorPane::commitName);

    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("inspectorFilter"));
    m_filter->setPlaceholderText(tr("Filter properties"));
    m_filter->setClearButtonEnabled(true);
    connect(m_filter, &QLineEdit::textChanged, this, &TInspectorPane::applyFilter);
    connect(m_items, &QAbstractItemModel::modelReset, this, &TInspectorPane::applyFilter);
    connect(m_items, &QAbstractItemModel::modelReset, this, &TInspectorPane::fitColumns);

    m_description = new QLabel(this);
    m_description->setObjectName(QStringLiteral("propertyDescription"));
    // One line, so the grid keeps its height; the whole text as a tip.
    m_description->setMinimumWidth(1);
    m_description->setContentsMargins(4, 2, 4, 2);
    connect(m_view->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TInspectorPane::describeCurrent);
    connect(m_items, &QAbstractItemModel::modelReset, this, &TInspectorPane::describeCurrent);

    auto *top = new QHBoxLayout;
    top->setContentsMargins(4, 2, 4, 2);
    top->addWidget(m_caption, 1);
    top->addWidget(m_categoryButton);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(top);
    auto *name = new QHBoxLayout;
    name->setContentsMargins(4, 0, 4, 2);
    name->addWidget(m_nameLabel);
    name->addWidget(m_nameEdit, 1);
    layout->addLayout(name);
    layout->addWidget(m_filter);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_description);
}

bool TInspectorPane::eventFilter(QObject *Watched, QEvent *Event)
{
    // Enter, F4 or Alt+Down on a row opens its editor: the drop-down of a
    // row with a value list, else the dialog of a row with one, else the
    // text; Ctrl+Enter the dialog. (A key an open editor passes on is not one.)
    if (Watched == m_view && Event->type() == QEvent::KeyPress && m_view->hasFocus()) {
        const auto *key = static_cast<QKeyEvent *>(Event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        const bool drop = key->key() == Qt::Key_F4
                          || (key->key() == Qt::Key_Down && (key->modifiers() & Qt::AltModifier));
        const QModelIndex value
            = m_view->currentIndex().siblingAtColumn(TInspectorItemModel::ValueColumn);
        const TInspectorRow *row = m_items->rowAt(value);
        if ((enter || drop) && row && !m_view->indexWidget(value)) {
            if (row->hasDialog()
                && (!row->hasValueList() || (key->modifiers() & Qt::ControlModifier))) {
                runEditor(value);
                return true;
            }
            m_view->setCurrentIndex(value);
            m_view->edit(value);
            QWidget *editor = m_view->indexWidget(value);
            if (auto *combo = editor ? editor->findChild<QComboBox *>() : nullptr)
                combo->showPopup();
            return true;
        }
    }
    // A press on a Boolean's value is a click on its check box: the view,
    // which makes the row current, opens no drop-down for it (the keyboard's
    // edit key still does).
    if (Watched == m_view->viewport() && Event->type() == QEvent::MouseButtonPress)
        m_delegate->setClicking(m_delegate->isBoolean(
            m_view->indexAt(static_cast<QMouseEvent *>(Event)->position().toPoint())));
    return QWidget::eventFilter(Watched, Event);
}

QObject *TInspectorPane::namedComponent() const
{
    if (!m_designer)
        return nullptr;
    const QList<QObject *> selected = m_designer->selection();
    return selected.size() == 1 ? selected.first() : nullptr;
}

bool TInspectorPane::commitPendingEdit()
{
    const QModelIndex value
        = m_view->currentIndex().siblingAtColumn(TInspectorItemModel::ValueColumn);
    if (QWidget *editor = value.isValid() ? m_view->indexWidget(value) : nullptr) {
        if (!m_delegate->storeEditor(editor, value))
            return false;
        emit m_delegate->closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
    return commitName();
}

bool TInspectorPane::commitName()
{
    QObject *component = namedComponent();
    const QString text = m_nameEdit->text().trimmed();
    if (!component || text == component->objectName() || m_naming)
        return true;
    // The message box of a refusal takes the focus: no second try from that.
    m_naming = true;
    const bool ok = runGuarded([&] { renameComponent(*m_designer, component, text); });
    m_naming = false;
    if (!ok)
        m_nameEdit->setText(component->objectName());
    return ok;
}

// Rows whose property names do not contain the filter text are hidden; a
// category stays while one of its rows shows.
void TInspectorPane::applyFilter()
{
    const QString text = m_filter->text().trimmed();
    auto matches = [&](const QModelIndex &Index) {
        const TInspectorRow *row = m_items->rowAt(Index);
        return text.isEmpty() || (row && row->name().contains(text, Qt::CaseInsensitive));
    };
    for (int r = 0; r < m_items->rowCount(); ++r) {
        const QModelIndex top = m_items->index(r, 0);
        if (m_items->rowAt(top)) {
            m_view->setRowHidden(r, {}, !matches(top));
            continue;
        }
        bool any = false;
        for (int c = 0; c < m_items->rowCount(top); ++c) {
            const bool shown = matches(m_items->index(c, 0, top));
            m_view->setRowHidden(c, top, !shown);
            any = any || shown;
        }
        m_view->setRowHidden(r, {}, !any);
    }
}

// The names take the room their longest needs, the values the rest.
void TInspectorPane::fitColumns()
{
    m_view->resizeColumnToContents(TInspectorItemModel::PropertyColumn);
    const int most = qMax(80, m_view->viewport()->width() * 11 / 20);
    if (m_view->columnWidth(TInspectorItemModel::PropertyColumn) > most)
        m_view->setColumnWidth(TInspectorItemModel::PropertyColumn, most);
}

void TInspectorPane::describeCurrent()
{
    const QString text = description(m_view->currentIndex());
    m_description->setText(text);
    m_description->setToolTip(text);
}

QString TInspectorPane::description(const QModelIndex &Index) const
{
    const TInspectorRow *row = m_items->rowAt(Index);
    if (!row)
        return {};
    QString type;
    try {
        type = row->editor()->GetPropType().Name;
    } catch (const std::exception &) {
    }
    QStringList parts{type.isEmpty() ? row->path() : tr("%1: %2").arg(row->path(), type)};
    // A value that cannot be typed but has a dialog or a list is not read-only.
    if (row->isReadOnly() && !row->hasDialog() && !row->hasValueList())
        parts << tr("read-only");
    if (row->hasDialog())
        parts << tr("\u2026 opens its editor");
    else if (row->hasValueList())
        parts << tr("a value from the list");
    if (!row->categories().isEmpty())
        parts << tr("category %1").arg(row->categories().join(QStringLiteral(", ")));
    return parts.join(QStringLiteral(" \u2014 "));
}

TInspectorPane::~TInspectorPane()
{
    // Editors go before the components they were made for.
    for (const auto &c : m_connections)
        disconnect(c);
    m_inspector.clear();
}

void TInspectorPane::setDesigner(const TFormDesignerPtr &Designer)
{
    for (const auto &c : m_connections)
        disconnect(c);
    m_connections.clear();
    m_designer = Designer;
    if (m_designer) {
        TFormDesigner *d = m_designer.get();
        m_connections << connect(d, &TFormDesigner::selectionChanged, this,
                                 &TInspectorPane::showSelection)
                      << connect(d, &TFormDesigner::componentsChanged, this,
                                 &TInspectorPane::showSelection)
                      << connect(d, &TFormDesigner::designChanged, this, [this] {
                             ++m_notifications;
                             m_inspector.refresh();
                         });
    }
    showSelection();
}

void TInspectorPane::showSelection()
{
    if (m_designer)
        m_inspector.setSelection(m_designer, m_designer->selection());
    else
        m_inspector.clear();
    m_caption->setText(caption());
    if (m_items->groupByCategory())
        m_view->expandToDepth(0);
    applyFilter();
    const QObject *named = namedComponent();
    m_nameEdit->setEnabled(named != nullptr);
    m_nameEdit->setText(named ? named->objectName() : QString());
}

QString TInspectorPane::caption() const
{
    const QList<QObject *> &selected = m_inspector.selection();
    if (selected.isEmpty())
        return {};
    if (selected.size() > 1)
        return tr("%n components selected", nullptr, static_cast<int>(selected.size()));
    return QStringLiteral("%1: %2").arg(selected.first()->objectName(),
                                        QLatin1String(selected.first()->metaObject()->className()));
}

template<class F>
bool TInspectorPane::act(F &&Action)
{
    QStringList before;
    for (int i = 0; i < m_inspector.rowCount(); ++i)
        before << m_inspector.row(i)->value();
    const int notifications = m_notifications;
    const TFormDesignerPtr designer = m_designer;
    const bool ok = runGuarded(Action);
    // An editor that changed a component without telling the designer
    // (a dialog that edits in place) must not leave the module unmarked.
    if (designer && m_notifications == notifications) {
        QStringList after;
        for (int i = 0; i < m_inspector.rowCount(); ++i)
            after << m_inspector.row(i)->value();
        if (after != before)
            designer->Modified();
    }
    return ok;
}

bool TInspectorPane::commitValue(const QModelIndex &Index, const QString &Text)
{
    TInspectorRow *row = m_items->rowAt(Index);
    if (!row)
        return false;
    return act([&] { m_inspector.setValue(row, Text); });
}

bool TInspectorPane::runEditor(const QModelIndex &Index)
{
    TInspectorRow *row = m_items->rowAt(Index);
    if (!row)
        return false;
    return act([&] { m_inspector.edit(row); });
}

bool TInspectorPane::revertValue(const QModelIndex &Index)
{
    TInspectorRow *row = m_items->rowAt(Index);
    if (!row)
        return false;
    return act([&] { m_inspector.revert(row); });
}

QStringList TInspectorPane::dropDownValues(const QModelIndex &Index)
{
    TInspectorRow *row = m_items->rowAt(Index);
    QStringList values;
    if (!row)
        return values;
    runGuarded([&] { values = m_inspector.valuesOf(row); });
    return values;
}

void TInspectorPane::doubleClicked(const QModelIndex &Index)
{
    // A double click runs the editor: the dialog, or the next value of a list.
    const TInspectorRow *row = m_items->rowAt(Index);
    if (row && (row->hasDialog() || row->hasValueList()))
        runEditor(Index.siblingAtColumn(TInspectorItemModel::ValueColumn));
}

void TInspectorPane::contextMenu(const QPoint &Pos)
{
    const QModelIndex index = m_view->indexAt(Pos);
    const TInspectorRow *row = m_items->rowAt(index);
    QMenu menu(this);
    if (row) {
        QAction *revert = menu.addAction(tr("Revert to default"));
        revert->setEnabled(m_inspector.canRevert(row));
        const QPersistentModelIndex at(index);
        connect(revert, &QAction::triggered, this, [this, at] { revertValue(at); });
        menu.addSeparator();
    }
    QMenu *shown = menu.addMenu(tr("Show categories"));
    for (const QString &c : m_inspector.categories()) {
        QAction *a = shown->addAction(c);
        a->setCheckable(true);
        a->setChecked(!m_inspector.hiddenCategories().contains(c));
        connect(a, &QAction::toggled, this, [this, c](bool On) {
            QStringList hidden = m_inspector.hiddenCategories();
            hidden.removeAll(c);
            if (!On)
                hidden << c;
            m_inspector.setHiddenCategories(hidden);
        });
    }
    menu.addAction(m_categoryButton->text(), m_categoryButton,
                   [this] { m_categoryButton->toggle(); });
    menu.exec(m_view->viewport()->mapToGlobal(Pos));
}
