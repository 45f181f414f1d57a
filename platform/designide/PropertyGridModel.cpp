#include "PropertyGridModel.h"

#include "DesignErrors.h"
#include "FormFile.h"
#include "Registrations.h"

#include "rtl/SysUtils.h"

#include <QMetaProperty>
#include <QScopeGuard>
#include <QSet>

#include <algorithm>

namespace {

bool lessIgnoringCase(const QString &A, const QString &B)
{
    const int c = A.compare(B, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : A < B;
}

// The published properties of Object: QObject's own objectName is the
// component's Name, not a property the inspector lists.
QList<QMetaProperty> publishedOf(const QObject *Object)
{
    const QMetaObject *meta = Object->metaObject();
    QList<QMetaProperty> list;
    for (int i = QObject::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i)
        if (meta->property(i).isReadable())
            list.append(meta->property(i));
    return list;
}

// The editor class serving Name on Object, or an empty reference when the
// object has no such property.
TPropertyEditorClass editorClassOf(QObject *Object, const QString &Name)
{
    try {
        return propertyEditorClassFor(Object, Name);
    } catch (const EPropertyError &) {
        return {};
    }
}

} // namespace

QString sMiscellaneousCategoryName()
{
    return QStringLiteral("Miscellaneous");
}

// --- TInspectorRow -------------------------------------------------------------

QString TInspectorRow::path() const
{
    return m_parent ? m_parent->path() + QLatin1Char('.') + m_name : m_name;
}

bool TInspectorRow::hasChildren() const
{
    if (m_childrenBuilt)
        return !m_children.empty();
    return m_attributes.contains(paSubProperties) && !m_model->subObjects(this).isEmpty();
}

int TInspectorRow::childCount()
{
    if (!m_childrenBuilt)
        m_model->buildChildren(this);
    return static_cast<int>(m_children.size());
}

TInspectorRow *TInspectorRow::child(int Index)
{
    if (Index < 0 || Index >= childCount())
        return nullptr;
    return m_children[Index].get();
}

// --- TObjectInspectorModel -----------------------------------------------------

TObjectInspectorModel::TObjectInspectorModel(QObject *Parent)
    : QObject(Parent)
{}

TObjectInspectorModel::~TObjectInspectorModel() = default;

void TObjectInspectorModel::setSelection(IDesignerPtr Designer, const QList<QObject *> &Components)
{
    // The old editors go before the new ones are made: an editor may hold
    // state about the components it was created for.
    m_rows.clear();
    m_designer = std::move(Designer);
    m_selection.clear();
    m_guards.clear();
    QSet<QObject *> seen; // a rubber band may select thousands
    for (QObject *c : Components)
        if (c && !seen.contains(c)) {
            seen.insert(c);
            m_selection << c;
            m_guards << c;
        }
    if (!m_selection.isEmpty())
        m_rows = buildRows(m_selection, nullptr);
    emit rowsReset();
}

void TObjectInspectorModel::clear()
{
    setSelection({}, {});
}

TInspectorRow *TObjectInspectorModel::row(int Index) const
{
    return Index >= 0 && Index < rowCount() ? m_rows[Index].get() : nullptr;
}

TInspectorRow *TObjectInspectorModel::findRow(const QString &Path)
{
    const QStringList names = Path.split(QLatin1Char('.'));
    TInspectorRow *found = nullptr;
    for (const QString &name : names) {
        TInspectorRow *next = nullptr;
        const int count = found ? found->childCount() : rowCount();
        for (int i = 0; i < count && !next; ++i) {
            TInspectorRow *candidate = found ? found->child(i) : row(i);
            if (candidate->name().compare(name, Qt::CaseInsensitive) == 0)
                next = candidate;
        }
        if (!next)
            return nullptr;
        found = next;
    }
    return found;
}

std::vector<std::unique_ptr<TInspectorRow>>
TObjectInspectorModel::buildRows(const QList<QObject *> &Objects, TInspectorRow *Parent)
{
    std::vector<std::unique_ptr<TInspectorRow>> rows;
    QObject *first = Objects.first();
    const bool several = Objects.size() > 1;

    // The distinct classes of the selection, each with a component of it.
    QList<TComponentClass> classes;
    QList<QObject *> examples;
    for (QObject *o : Objects)
        if (!classes.contains(o->metaObject())) {
            classes << o->metaObject();
            examples << o;
        }

    for (const QMetaProperty &p : publishedOf(first)) {
        const QString name = QString::fromLatin1(p.name());
        const TPropertyEditorClass editorClass = editorClassOf(first, name);
        if (!editorClass)
            continue;
        // Shared means: the same property type and the same editor everywhere.
        // A selection has few classes, so each class is judged once.
        const PTypeInfo type = propertyTypeInfo(p);
        bool shared = true;
        for (int c = 1; c < classes.size() && shared; ++c) {
            const QMetaObject *meta = classes[c];
            const int index = meta->indexOfProperty(p.name());
            shared = index >= QObject::staticMetaObject.propertyCount()
                     && propertyTypeInfo(meta->property(index)) == type
                     && editorClassOf(examples[c], name).Meta == editorClass.Meta;
        }
        if (!shared)
            continue;

        auto row = std::make_unique<TInspectorRow>();
        row->m_name = name;
        row->m_model = this;
        row->m_parent = Parent;
        row->m_editor = editorClass.Create(m_designer, Objects, name);
        try {
            row->m_attributes = row->m_editor->GetAttributes();
        } catch (const Exception &) {
            continue; // an editor that cannot say what it offers offers nothing
        }
        if (several && !row->m_attributes.contains(paMultiSelect))
            continue;

        if (Parent) {
            row->m_categories = Parent->m_categories;
        } else {
            for (TComponentClass cls : classes)
                for (const QString &c : registrations().categoriesOf(cls, name))
                    if (!row->m_categories.contains(c))
                        row->m_categories << c;
            if (row->m_categories.isEmpty())
                row->m_categories << sMiscellaneousCategoryName();
        }
        readRow(row.get());
        rows.push_back(std::move(row));
    }

    std::stable_sort(rows.begin(), rows.end(), [](const auto &A, const auto &B) {
        return lessIgnoringCase(A->m_name, B->m_name);
    });
    for (int i = 0; i < static_cast<int>(rows.size()); ++i)
        rows[i]->m_index = i;
    return rows;
}

QList<QObject *> TObjectInspectorModel::subObjects(const TInspectorRow *Row) const
{
    QList<QObject *> objects;
    try {
        for (int i = 0; i < Row->m_editor->PropCount(); ++i) {
            const QVariant v = Row->m_editor->GetVarValueAt(i);
            if (!v.metaType().flags().testFlag(QMetaType::PointerToQObject))
                return {};
            QObject *o = v.value<QObject *>();
            if (!o || publishedOf(o).isEmpty())
                return {};
            objects << o;
        }
    } catch (const Exception &) {
        return {};
    }
    // A property that leads back to an object above it would unfold forever.
    for (const TInspectorRow *r = Row; r; r = r->m_parent)
        for (QObject *o : objects)
            if (r->m_editor->PropCount() > 0 && r->m_editor->GetComponent(0) == o)
                return {};
    return objects;
}

void TObjectInspectorModel::buildChildren(TInspectorRow *Row)
{
    Row->m_childrenBuilt = true;
    Row->m_children.clear();
    Row->m_childObjects.clear();
    if (!Row->m_attributes.contains(paSubProperties))
        return;
    Row->m_childObjects = subObjects(Row);
    if (!Row->m_childObjects.isEmpty())
        Row->m_children = buildRows(Row->m_childObjects, Row);
}

void TObjectInspectorModel::readRow(TInspectorRow *Row)
{
    Row->m_error.clear();
    Row->m_held = false;
    try {
        TPropertyEditor *editor = Row->m_editor.get();
        if (editor->PropCount() > 1 && !editor->AllEqual())
            Row->m_value.clear();
        else
            Row->m_value = editor->GetValue();
        // Only activation properties are ever held; the others ask nothing.
        bool held = editor->PropCount() > 0
                    && IsActivationProperty(editor->GetComponent(0), editor->GetName());
        for (int i = 0; held && i < editor->PropCount(); ++i)
            held = IsHeldActivation(editor->GetComponent(i), editor->GetName())
                   && !editor->GetVarValueAt(i).toBool();
        Row->m_held = held;
    } catch (const Exception &e) {
        Row->m_value.clear();
        Row->m_error = e.Message();
    } catch (const std::exception &e) {
        Row->m_value.clear();
        Row->m_error = QString::fromUtf8(e.what());
    }
}

bool TObjectInspectorModel::refreshRows(std::vector<std::unique_ptr<TInspectorRow>> &Rows)
{
    bool reset = false;
    for (auto &row : Rows) {
        readRow(row.get());
        if (!row->m_childrenBuilt)
            continue;
        if (subObjects(row.get()) != row->m_childObjects) {
            // The property now holds other objects: their rows are built
            // again when a view asks for them.
            row->m_childrenBuilt = false;
            row->m_children.clear();
            row->m_childObjects.clear();
            reset = true;
        } else if (refreshRows(row->m_children)) {
            reset = true;
        }
    }
    return reset;
}

bool TObjectInspectorModel::selectionDestroyed() const
{
    return std::any_of(m_guards.begin(), m_guards.end(),
                       [](const QPointer<QObject> &g) { return g.isNull(); });
}

void TObjectInspectorModel::refresh()
{
    if (selectionDestroyed()) {
        // The editors refer to the destroyed component: drop them unread.
        clear();
        return;
    }
    if (refreshRows(m_rows))
        emit rowsReset();
    else
        emit valuesChanged();
}

QStringList TObjectInspectorModel::categories() const
{
    QStringList used;
    for (const auto &row : m_rows)
        for (const QString &c : row->m_categories)
            if (!used.contains(c))
                used << c;
    // In registration order, the unplaced last.
    QStringList ordered;
    for (const TRegistration &e : registrations().entries())
        if (e.Kind == TRegistrationKind::PropertiesInCategory && used.contains(e.CategoryName)
            && !ordered.contains(e.CategoryName))
            ordered << e.CategoryName;
    for (const QString &c : used)
        if (!ordered.contains(c) && c != sMiscellaneousCategoryName())
            ordered << c;
    if (used.contains(sMiscellaneousCategoryName()))
        ordered << sMiscellaneousCategoryName();
    return ordered;
}

QList<TInspectorRow *> TObjectInspectorModel::rowsInCategory(const QString &Category) const
{
    QList<TInspectorRow *> rows;
    for (const auto &row : m_rows)
        if (row->m_categories.contains(Category))
            rows << row.get();
    return rows;
}

void TObjectInspectorModel::setHiddenCategories(const QStringList &Categories)
{
    if (m_hiddenCategories == Categories)
        return;
    m_hiddenCategories = Categories;
    emit rowsReset();
}

bool TObjectInspectorModel::isVisible(const TInspectorRow *Row) const
{
    while (Row->m_parent)
        Row = Row->m_parent;
    return std::any_of(Row->m_categories.begin(), Row->m_categories.end(),
                       [this](const QString &c) { return !m_hiddenCategories.contains(c); });
}

QStringList TObjectInspectorModel::valuesOf(TInspectorRow *Row) const
{
    QStringList values;
    Row->m_editor->GetValues([&values](const QString &V) { values << V; });
    if (Row->m_attributes.contains(paSortList))
        std::stable_sort(values.begin(), values.end(), lessIgnoringCase);
    return values;
}

QString TObjectInspectorModel::autoComplete(TInspectorRow *Row, const QString &Text,
                                            const QStringList *Values) const
{
    if (Text.isEmpty() || !Row->hasValueList() || !Row->m_editor->AutoFill())
        return Text;
    const QStringList values = Values ? *Values : valuesOf(Row);
    for (const QString &v : values)
        if (v.compare(Text, Qt::CaseInsensitive) == 0)
            return v;
    for (const QString &v : values)
        if (v.startsWith(Text, Qt::CaseInsensitive))
            return v;
    return Text;
}

void TObjectInspectorModel::setValue(TInspectorRow *Row, const QString &Text)
{
    // Whatever the editor does, the rows show what the components hold after it.
    const auto reread = qScopeGuard([this] { refresh(); });
    if (Row->isReadOnly()
        && (!Row->hasValueList() || !valuesOf(Row).contains(Text, Qt::CaseInsensitive)))
        throw EPropertyError(QStringLiteral("Property %1 is read-only").arg(Row->path()));
    Row->m_editor->SetValue(Text);
}

void TObjectInspectorModel::edit(TInspectorRow *Row)
{
    const auto reread = qScopeGuard([this] { refresh(); });
    Row->m_editor->Edit();
}

bool TObjectInspectorModel::canRevert(const TInspectorRow *Row) const
{
    if (!Row->m_attributes.contains(paRevertable) || Row->isReadOnly())
        return false;
    // Object-valued properties are edited in place, not replaced.
    const QMetaProperty p = Row->m_editor->GetPropInfo();
    return !p.metaType().flags().testFlag(QMetaType::IsPointer) && p.isWritable();
}

void TObjectInspectorModel::revert(TInspectorRow *Row)
{
    if (!canRevert(Row))
        throw EPropertyError(QStringLiteral("Property %1 cannot be reverted").arg(Row->path()));
    const QMetaObject *meta = Row->m_editor->GetComponent(0)->metaObject();
    std::unique_ptr<QObject> fresh(meta->newInstance(Q_ARG(QObject *, nullptr)));
    if (!fresh)
        fresh.reset(meta->newInstance());
    if (!fresh)
        throw EPropertyError(QStringLiteral("%1 has no default to revert %2 to")
                                 .arg(QString::fromLatin1(meta->className()), Row->path()));
    // The default as the row's own editor class shows it, so SetValue takes it back.
    const TPropertyEditorClass cls = editorClassOf(fresh.get(), Row->m_name);
    const std::unique_ptr<TPropertyEditor> reader
        = cls.Create(nullptr, QList<QObject *>{fresh.get()}, Row->m_name);
    setValue(Row, reader->GetValue());
}
