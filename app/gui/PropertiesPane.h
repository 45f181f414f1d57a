#pragma once

#include "FormDesigner.h"

#include "designide/PropertyGridModel.h"

#include <QAbstractItemModel>
#include <QStyledItemDelegate>
#include <QWidget>

#include <memory>
#include <vector>

class QLabel;
class QLineEdit;
class QToolButton;
class QTreeView;

// The Object Inspector's rows as a Qt item model with two columns, Property
// and Value: the top-level rows of the inspector model (only those of shown
// categories), their sub-properties as children, or, grouped by category,
// one node per category with its rows beneath (a row in several categories
// appears under each).
class TInspectorItemModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum Column { PropertyColumn, ValueColumn };
    // The inspector row of an index, or null for a category node.
    static constexpr int RowRole = Qt::UserRole + 1;

    explicit TInspectorItemModel(TObjectInspectorModel &Inspector, QObject *Parent = nullptr);
    ~TInspectorItemModel() override;

    bool groupByCategory() const { return m_grouped; }
    void setGroupByCategory(bool Grouped);

    TInspectorRow *rowAt(const QModelIndex &Index) const;
    // The Value cell of the row at Path ("UpdateObject.ModifySQL"): the first
    // one when grouping shows the row more than once; invalid when hidden.
    QModelIndex indexOf(const QString &Path) const;

    QModelIndex index(int Row, int Column, const QModelIndex &Parent = {}) const override;
    QModelIndex parent(const QModelIndex &Child) const override;
    int rowCount(const QModelIndex &Parent = {}) const override;
    int columnCount(const QModelIndex &Parent = {}) const override;
    bool hasChildren(const QModelIndex &Parent = {}) const override;
    QVariant data(const QModelIndex &Index, int Role = Qt::DisplayRole) const override;
    QVariant headerData(int Section, Qt::Orientation Orientation,
                        int Role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &Index) const override;

private:
    struct Node
    {
        Node *parent = nullptr;
        int index = 0;
        TInspectorRow *row = nullptr; // null for the root and category nodes
        QString category;
        bool built = false;
        std::vector<std::unique_ptr<Node>> children;
    };

    void rebuild();
    void valuesChanged();
    Node *nodeOf(const QModelIndex &Index) const;
    Node *childrenOf(Node *N) const;
    void addChild(Node *Parent, TInspectorRow *Row, const QString &Category) const;
    void announceValues(Node *N);
    QModelIndex find(Node *N, const QString &Path) const;

    TObjectInspectorModel &m_inspector;
    bool m_grouped = false;
    std::unique_ptr<Node> m_root;
};

class TInspectorPane;

// The Value column's editors: a combo box for rows with a value list
// (completing typed text when the property editor's AutoFill allows it), a
// line edit otherwise, and an ellipsis button for rows with a dialog.
class TInspectorDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit TInspectorDelegate(TInspectorPane &Pane);

    QWidget *createEditor(QWidget *Parent, const QStyleOptionViewItem &Option,
                          const QModelIndex &Index) const override;
    void setEditorData(QWidget *Editor, const QModelIndex &Index) const override;
    void setModelData(QWidget *Editor, QAbstractItemModel *Model,
                      const QModelIndex &Index) const override;
    // Stores the text of Editor, one of this delegate's, into row Index when
    // it differs from the value it showed; false when that was refused.
    bool storeEditor(QWidget *Editor, const QModelIndex &Index) const;
    void updateEditorGeometry(QWidget *Editor, const QStyleOptionViewItem &Option,
                              const QModelIndex &Index) const override;
    // A Boolean's value is a check box that one click (or Space) turns; its
    // drop-down still opens from the keyboard.
    void paint(QPainter *Painter, const QStyleOptionViewItem &Option,
               const QModelIndex &Index) const override;
    bool editorEvent(QEvent *Event, QAbstractItemModel *Model, const QStyleOptionViewItem &Option,
                     const QModelIndex &Index) override;
    bool isBoolean(const QModelIndex &Index) const;
    void setClicking(bool On) { m_clicking = On; }

private:
    TInspectorPane &m_pane;
    bool m_clicking = false; // a mouse press on a Boolean's check box
};

// The Object Inspector: the properties of the designer's selection, edited
// through the registered property editors. Errors an editor raises are shown
// as a message box with their text and the pane keeps working. After every
// change made here the designer hears of it (Modified), also from editors
// that changed a component without saying so.
class TInspectorPane : public QWidget
{
    Q_OBJECT

public:
    explicit TInspectorPane(QWidget *Parent = nullptr);
    ~TInspectorPane() override;

    // Follows Designer's selection; null shows nothing.
    void setDesigner(const TFormDesignerPtr &Designer);
    const TFormDesignerPtr &designer() const { return m_designer; }

    TObjectInspectorModel &inspector() { return m_inspector; }
    TInspectorItemModel &itemModel() { return *m_items; }
    QTreeView *view() const { return m_view; }
    // The toggle between the plain list and the rows grouped by category.
    QToolButton *categoryButton() const { return m_categoryButton; }
    // The Name row: the one selected component's name; Return renames it
    // with the checks of a rename on the surface (false when refused, the
    // reason shown and the name put back).
    QLineEdit *nameEdit() const { return m_nameEdit; }
    bool commitName();
    // Stores what was typed into a row's editor or the Name field and not
    // yet entered, and closes the editor: whatever saves, checks or closes
    // the module calls this first, so nothing typed is lost. False when
    // the value was refused (the reason shown); the editor then stays.
    bool commitPendingEdit();
    // The filter over property names, and the line describing the current row.
    QLineEdit *filter() const { return m_filter; }
    QLabel *descriptionLine() const { return m_description; }
    // What a row is: "SQL: TStrings — … opens its editor — category Database".
    QString description(const QModelIndex &Index) const;
    // What is selected: "Query1: TOvQuery", "3 components selected", or empty.
    QString caption() const;

    // What a person does on a row; each returns whether it succeeded (a
    // failure has been shown as a message box).
    bool commitValue(const QModelIndex &Index, const QString &Text);
    bool runEditor(const QModelIndex &Index);
    bool revertValue(const QModelIndex &Index);
    // The drop-down of a row; empty (and the error shown) when listing fails.
    QStringList dropDownValues(const QModelIndex &Index);

private:
    // Runs Action on the inspector; shows what it raises and makes sure the
    // designer hears of a change.
    template<class F>
    bool act(F &&Action);
    void showSelection();
    void contextMenu(const QPoint &Pos);
    void doubleClicked(const QModelIndex &Index);
    bool eventFilter(QObject *Watched, QEvent *Event) override;
    QObject *namedComponent() const;
    void applyFilter();
    void fitColumns();
    void describeCurrent();

    TObjectInspectorModel m_inspector;
    TInspectorItemModel *m_items = nullptr;
    QTreeView *m_view = nullptr;
    QLabel *m_caption = nullptr;
    QToolButton *m_categoryButton = nullptr;
    QLabel *m_nameLabel = nullptr;
    QLineEdit *m_nameEdit = nullptr;
    QLineEdit *m_filter = nullptr;
    TInspectorDelegate *m_delegate = nullptr;
    QLabel *m_description = nullptr;
    TFormDesignerPtr m_designer;
    QList<QMetaObject::Connection> m_connections;
    int m_notifications = 0;
    bool m_naming = false;
};
