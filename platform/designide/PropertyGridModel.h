#pragma once

#include "DesignIntf.h"
#include "PropertyEditors.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// The Object Inspector without a window: for the components selected in a
// designer, the published properties they share, each served by the editor
// registered for it, and the operations a view offers on a row (type a value,
// choose from the drop-down, press the ellipsis button, revert, expand).
//
// Editors are created when the selection is set and live, one per row, until
// the selection changes; a view keeps row pointers only until rowsReset().
// Every operation that reaches an editor may raise (Exception from
// rtl/SysUtils.h): the model lets it pass to the view, which shows it, and
// re-reads the values afterwards in every case.

// The category of properties no registration places anywhere else.
QString sMiscellaneousCategoryName();

class TInspectorRow
{
public:
    // The property name shown in the first column.
    const QString &name() const { return m_name; }
    TPropertyEditor *editor() const { return m_editor.get(); }
    TPropertyAttributes attributes() const { return m_attributes; }
    // The displayed value: the editor's GetValue, or empty when several
    // components are selected and their values differ (AllEqual false).
    const QString &value() const { return m_value; }
    // The message of the error GetValue raised at the last refresh, or empty.
    const QString &error() const { return m_error; }
    // An activation (Connected, Active) the form stores True that was held,
    // not acted on, and is not live: the value shows False until a person
    // sets it True.
    bool isHeld() const { return m_held; }
    // The categories the property belongs to (at least one).
    const QStringList &categories() const { return m_categories; }

    TInspectorRow *parent() const { return m_parent; }
    // The position among its siblings.
    int index() const { return m_index; }
    // The name with the names of its parents: "UpdateObject.ModifySQL".
    QString path() const;

    // paSubProperties and a value that has properties of its own. Cheap: the
    // child rows are only built by childCount() or child().
    bool hasChildren() const;
    int childCount();
    TInspectorRow *child(int Index);

    bool hasValueList() const { return m_attributes.contains(paValueList); }
    bool hasDialog() const { return m_attributes.contains(paDialog); }
    bool isReadOnly() const { return m_attributes.contains(paReadOnly); }

private:
    friend class TObjectInspectorModel;

    QString m_name;
    std::unique_ptr<TPropertyEditor> m_editor;
    TPropertyAttributes m_attributes;
    QString m_value;
    QString m_error;
    bool m_held = false;
    QStringList m_categories;
    TInspectorRow *m_parent = nullptr;
    int m_index = 0;
    class TObjectInspectorModel *m_model = nullptr;
    // The objects whose properties the child rows show (one per selected
    // component), as they were when the children were built.
    QList<QObject *> m_childObjects;
    bool m_childrenBuilt = false;
    std::vector<std::unique_ptr<TInspectorRow>> m_children;
};

class TObjectInspectorModel : public QObject
{
    Q_OBJECT

public:
    explicit TObjectInspectorModel(QObject *Parent = nullptr);
    ~TObjectInspectorModel() override;

    // Shows the properties Components share: every published property that
    // each of them has with the same type and the same editor class; with
    // more than one component only those whose editor says paMultiSelect.
    // Rows come sorted by name, ignoring case. An empty list shows nothing.
    void setSelection(IDesignerPtr Designer, const QList<QObject *> &Components);
    void clear();
    const QList<QObject *> &selection() const { return m_selection; }
    const IDesignerPtr &designer() const { return m_designer; }

    int rowCount() const { return static_cast<int>(m_rows.size()); }
    TInspectorRow *row(int Index) const;
    // The row at Path ("SQL", "UpdateObject.ModifySQL"; names ignore case),
    // building child rows on the way; null when there is none.
    TInspectorRow *findRow(const QString &Path);

    // Every category of the top-level rows, in the order they first appear
    // in the registrations, with the category of unplaced properties last.
    QStringList categories() const;
    // The top-level rows in Category, in row order.
    QList<TInspectorRow *> rowsInCategory(const QString &Category) const;
    // Categories whose rows are hidden: a row is visible when one of its
    // categories is not hidden.
    void setHiddenCategories(const QStringList &Categories);
    const QStringList &hiddenCategories() const { return m_hiddenCategories; }
    bool isVisible(const TInspectorRow *Row) const;

    // The drop-down of Row: the editor's GetValues, sorted ignoring case when
    // the attributes say paSortList, else in the editor's order.
    QStringList valuesOf(TInspectorRow *Row) const;
    // What typed text becomes: when Row has a value list and the editor's
    // AutoFill allows it, the entry equal to Text or else the first entry
    // that starts with it (both ignoring case); otherwise Text unchanged.
    // Values is the list when the caller has it already (else valuesOf).
    QString autoComplete(TInspectorRow *Row, const QString &Text,
                         const QStringList *Values = nullptr) const;

    // Stores Text through the editor's SetValue. A read-only row accepts only
    // an entry of its value list (EPropertyError otherwise).
    void setValue(TInspectorRow *Row, const QString &Text);
    // The ellipsis button: the editor's Edit.
    void edit(TInspectorRow *Row);
    // Whether Row can go back to the value a new component of its class has.
    bool canRevert(const TInspectorRow *Row) const;
    // Stores, through SetValue, the value a new component of the first
    // component's class shows.
    void revert(TInspectorRow *Row);

    // Re-reads every row's value (after the designer's Modified, or any
    // outside change). Child rows whose object was replaced are dropped and
    // built again on demand (rowsReset() is announced then). When a selected
    // component was destroyed meanwhile, the model shows nothing instead.
    void refresh();

signals:
    // The set of rows changed: row pointers held by a view are stale.
    void rowsReset();
    // Values (and attributes) of existing rows were read again.
    void valuesChanged();

private:
    friend class TInspectorRow;

    // Rows for the shared properties of Objects, sorted by name.
    std::vector<std::unique_ptr<TInspectorRow>> buildRows(const QList<QObject *> &Objects,
                                                          TInspectorRow *Parent);
    void buildChildren(TInspectorRow *Row);
    // The objects Row's property holds in each selected component, when all
    // are QObjects; otherwise empty.
    QList<QObject *> subObjects(const TInspectorRow *Row) const;
    void readRow(TInspectorRow *Row);
    // Reads Rows and their built children; true when a child set was dropped.
    bool refreshRows(std::vector<std::unique_ptr<TInspectorRow>> &Rows);

    // Whether a selected component was destroyed since the selection was set.
    bool selectionDestroyed() const;

    IDesignerPtr m_designer;
    QList<QObject *> m_selection;
    QList<QPointer<QObject>> m_guards;
    std::vector<std::unique_ptr<TInspectorRow>> m_rows;
    QStringList m_hiddenCategories;
};
