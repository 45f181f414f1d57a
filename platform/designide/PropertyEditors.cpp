#include "PropertyEditors.h"

#include "ComponentProperty.h"
#include "DesignErrors.h"
#include "FormFile.h"
#include "Registrations.h"
#include "StringListEditor.h"
#include "ValueProperties.h"

#include "rtl/Classes.h"

#include <QMetaEnum>
#include <QMetaObject>

namespace {

QString componentName(const QObject *Component)
{
    const QString name = Component->objectName();
    const QString cls = QString::fromLatin1(Component->metaObject()->className());
    return name.isEmpty() ? cls : QStringLiteral("%1 (%2)").arg(name, cls);
}

bool isBoolean(const QMetaProperty &P)
{
    return P.metaType().id() == QMetaType::Bool;
}

// The declared type of an object-valued property without its "*".
QString pointeeName(const QMetaProperty &P)
{
    QString name = QString::fromLatin1(P.typeName());
    if (name.endsWith(QLatin1Char('*')))
        name.chop(1);
    return name.trimmed();
}

TFieldLinkDesigner &fieldLinkDesigner()
{
    static TFieldLinkDesigner designer = defaultFieldLinkDesigner();
    return designer;
}

// Calls the invokable Method(TStrings *) of Component, when it has one.
void invokeListMethod(QObject *Component, const char *Method, TStrings &List)
{
    if (!Component)
        return;
    const QByteArray signature = QByteArray(Method) + "(TStrings*)";
    if (Component->metaObject()->indexOfMethod(signature.constData()) < 0)
        return;
    TStrings *list = &List;
    QMetaObject::invokeMethod(Component, Method, Qt::DirectConnection, Q_ARG(TStrings *, list));
}

// Writes the published property Name of Component; a property the component
// does not publish would otherwise become a dynamic property unnoticed.
void writeNamed(QObject *Component, const char *Name, const QVariant &Value)
{
    const QMetaObject *meta = Component->metaObject();
    const int index = meta->indexOfProperty(Name);
    if (index < 0 || !meta->property(index).write(Component, Value))
        throw EPropertyError(QStringLiteral("Cannot set property %1 of %2")
                                 .arg(QLatin1String(Name), componentName(Component)));
}

} // namespace

// --- TPropertyEditor ----------------------------------------------------------

TPropertyEditor::TPropertyEditor(IDesignerPtr ADesigner, QList<QObject *> AComponents,
                                 const QString &APropName)
    : FDesigner(std::move(ADesigner))
    , FComponents(std::move(AComponents))
    , FPropName(APropName)
{}

TPropertyEditor::~TPropertyEditor() = default;

TPropertyAttributes TPropertyEditor::GetAttributes()
{
    return {paRevertable};
}

QString TPropertyEditor::GetValue()
{
    return QStringLiteral("(unknown)");
}

void TPropertyEditor::SetValue(const QString &Value)
{
    Q_UNUSED(Value);
}

void TPropertyEditor::GetValues(const TGetStrProc &Proc)
{
    Q_UNUSED(Proc);
}

void TPropertyEditor::Edit()
{
    if (!GetAttributes().contains(paValueList))
        return;
    QStringList values;
    GetValues([&](const QString &V) { values << V; });
    if (values.isEmpty())
        return;
    const QString current = GetValue();
    int i = 0;
    while (i < values.size() && values[i].compare(current, Qt::CaseInsensitive) != 0)
        ++i;
    // The value after the current one; the first when the current is not listed.
    SetValue(values[i < values.size() ? (i + 1) % values.size() : 0]);
}

bool TPropertyEditor::AutoFill()
{
    return true;
}

bool TPropertyEditor::AllEqual()
{
    const QVariant first = GetVarValueAt(0);
    for (int i = 1; i < PropCount(); ++i)
        if (GetVarValueAt(i) != first)
            return false;
    return true;
}

QObject *TPropertyEditor::GetComponent(int Index) const
{
    if (Index < 0 || Index >= FComponents.size())
        throw EListError(QStringLiteral("Component index out of bounds (%1) for property %2")
                             .arg(Index)
                             .arg(FPropName));
    return FComponents[Index];
}

QMetaProperty TPropertyEditor::propertyOf(const QObject *Component) const
{
    const QMetaObject *meta = Component->metaObject();
    const int index = meta->indexOfProperty(FPropName.toLatin1().constData());
    if (index < 0)
        throw EPropertyError(QStringLiteral("%1 has no published property %2")
                                 .arg(componentName(Component), FPropName));
    return meta->property(index);
}

QMetaProperty TPropertyEditor::GetPropInfo() const
{
    return propertyOf(GetComponent(0));
}

PTypeInfo TPropertyEditor::GetPropType() const
{
    return propertyTypeInfo(GetPropInfo());
}

void TPropertyEditor::Modified()
{
    if (FDesigner)
        FDesigner->Modified();
}

QVariant TPropertyEditor::GetVarValueAt(int Index) const
{
    const QObject *component = GetComponent(Index);
    return propertyOf(component).read(component);
}

void TPropertyEditor::SetVarValue(const QVariant &Value)
{
    // Check every component before writing any, so a selection that mixes in
    // a component without this property is refused as a whole.
    QList<QMetaProperty> props;
    for (const QObject *c : FComponents) {
        const QMetaProperty p = propertyOf(c);
        if (!p.isWritable())
            throw EPropertyError(
                QStringLiteral("Property %1 of %2 is read-only").arg(FPropName, componentName(c)));
        props << p;
    }
    int written = 0;
    try {
        for (; written < FComponents.size(); ++written) {
            // What the setter raises (a dataset that fails to open) names the
            // component and property, so a message tells which of a selection;
            // a component without a name is a helper that says what it does.
            QObject *component = FComponents[written];
            const QString place = component->objectName().isEmpty()
                                      ? QString()
                                      : component->objectName() + QLatin1Char('.') + FPropName;
            if (!RaisedAt(place, [&] { return props[written].write(component, Value); }))
                throw EPropertyError(
                    QStringLiteral("Invalid value \"%1\" for property %2 of %3")
                        .arg(Value.toString(), FPropName, componentName(FComponents[written])));
            // A person who sets an activation False no longer wants it stored True.
            if (!props[written].read(FComponents[written]).toBool()
                && IsActivationProperty(FComponents[written], FPropName))
                SetHeldActivation(FComponents[written], FPropName, false);
        }
    } catch (...) {
        // The components before the failing one keep the new value: the
        // designer must hear of that change although the write as a whole failed.
        if (written > 0)
            Modified();
        throw;
    }
    Modified();
}

QString TPropertyEditor::GetStrValueAt(int Index) const
{
    return GetVarValueAt(Index).toString();
}

void TPropertyEditor::SetStrValue(const QString &Value)
{
    SetVarValue(Value);
}

qint64 TPropertyEditor::GetOrdValueAt(int Index) const
{
    return GetVarValueAt(Index).toLongLong();
}

void TPropertyEditor::SetOrdValue(qint64 Value)
{
    const QMetaProperty p = GetPropInfo();
    if (isBoolean(p))
        SetVarValue(Value != 0);
    else if (p.isEnumType())
        SetVarValue(static_cast<int>(Value));
    else
        SetVarValue(Value);
}

PTypeInfo propertyTypeInfo(const QMetaProperty &Property)
{
    if (Property.isEnumType())
        return {QString::fromLatin1(Property.enumerator().enumName())};
    switch (Property.metaType().id()) {
    case QMetaType::Bool:
        return {QStringLiteral("Boolean")};
    case QMetaType::QString:
        return {QStringLiteral("string")};
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
        return {QStringLiteral("Integer")};
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return {QStringLiteral("Int64")};
    case QMetaType::Double:
    case QMetaType::Float:
        return {QStringLiteral("Double")};
    default:
        return {pointeeName(Property)};
    }
}

// --- TStringProperty, TEnumProperty, TClassProperty ---------------------------

TPropertyAttributes TStringProperty::GetAttributes()
{
    return {paMultiSelect, paRevertable};
}

QString TStringProperty::GetValue()
{
    return GetStrValue();
}

void TStringProperty::SetValue(const QString &Value)
{
    SetStrValue(Value);
}

TPropertyAttributes TEnumProperty::GetAttributes()
{
    return {paMultiSelect, paValueList, paSortList, paRevertable};
}

QList<QPair<QString, qint64>> TEnumProperty::valueNames() const
{
    const QMetaProperty p = GetPropInfo();
    if (isBoolean(p))
        return {{QStringLiteral("False"), 0}, {QStringLiteral("True"), 1}};
    QList<QPair<QString, qint64>> names;
    if (p.isEnumType()) {
        const QMetaEnum e = p.enumerator();
        for (int i = 0; i < e.keyCount(); ++i)
            names.append({QString::fromLatin1(e.key(i)), e.value(i)});
    }
    return names;
}

QString TEnumProperty::GetValue()
{
    const qint64 ord = GetOrdValue();
    for (const auto &[name, value] : valueNames())
        if (value == ord)
            return name;
    return QString::number(ord);
}

void TEnumProperty::SetValue(const QString &Value)
{
    for (const auto &[name, value] : valueNames())
        if (name.compare(Value, Qt::CaseInsensitive) == 0) {
            SetOrdValue(value);
            return;
        }
    throw EPropertyError(
        QStringLiteral("Invalid property value \"%1\" for %2").arg(Value, GetName()));
}

void TEnumProperty::GetValues(const TGetStrProc &Proc)
{
    for (const auto &entry : valueNames())
        Proc(entry.first);
}

TPropertyAttributes TClassProperty::GetAttributes()
{
    return {paMultiSelect, paSubProperties, paReadOnly, paVolatileSubProperties};
}

QString TClassProperty::GetValue()
{
    if (const QObject *object = GetOrdValue())
        return QStringLiteral("(%1)").arg(QString::fromLatin1(object->metaObject()->className()));
    return QStringLiteral("(%1)").arg(pointeeName(GetPropInfo()));
}

QObject *TClassProperty::GetOrdValue() const
{
    const QVariant v = GetVarValue();
    return v.metaType().flags().testFlag(QMetaType::PointerToQObject) ? v.value<QObject *>()
                                                                      : nullptr;
}

void TClassProperty::SetOrdValue(QObject *Value)
{
    SetVarValue(QVariant::fromValue(Value));
}

TPropertyEditorClass propertyEditorClassFor(QObject *Component, const QString &PropName)
{
    const QMetaObject *meta = Component->metaObject();
    const int index = meta->indexOfProperty(PropName.toLatin1().constData());
    if (index < 0)
        throw EPropertyError(QStringLiteral("%1 has no published property %2")
                                 .arg(componentName(Component), PropName));
    const QMetaProperty p = meta->property(index);
    // An object property is also served by the editors of its class's ancestors.
    QList<PTypeInfo> types{propertyTypeInfo(p)};
    if (p.metaType().flags().testFlag(QMetaType::PointerToQObject) && p.metaType().metaObject())
        for (const QMetaObject *m = p.metaType().metaObject()->superClass(); m; m = m->superClass())
            types << PTypeInfo{QString::fromLatin1(m->className())};
    if (TPropertyEditorClass registered = registrations().propertyEditorFor(meta, PropName, types))
        return registered;
    if (p.isEnumType() || isBoolean(p))
        return propertyEditorClass<TEnumProperty>();
    if (isComponentReference(p))
        return propertyEditorClass<TComponentProperty>();
    if (isIntegerProperty(p))
        return propertyEditorClass<TIntegerProperty>();
    if (isSetProperty(p))
        return propertyEditorClass<TSetProperty>();
    if (isStringListType(types.first()))
        return propertyEditorClass<TStringListProperty>();
    if (p.metaType().flags().testFlag(QMetaType::IsPointer))
        return propertyEditorClass<TClassProperty>();
    return propertyEditorClass<TStringProperty>();
}

// --- The database design package ------------------------------------------

TPropertyAttributes TDBStringProperty::GetAttributes()
{
    return {paValueList, paSortList, paMultiSelect};
}

void TDBStringProperty::GetValues(const TGetStrProc &Proc)
{
    TStringList list;
    GetValueList(list);
    for (int i = 0; i < list.Count(); ++i)
        Proc(list[i]);
}

void TDBStringProperty::GetValueList(TStrings &List)
{
    Q_UNUSED(List);
}

void TIndexNameProperty::GetValueList(TStrings &List)
{
    invokeListMethod(GetComponent(0), "GetIndexNames", List);
}

void TIndexFieldNamesProperty::GetValueList(TStrings &List)
{
    invokeListMethod(GetComponent(0), "GetIndexFieldLists", List);
}

void setFieldLinkDesigner(TFieldLinkDesigner Designer)
{
    fieldLinkDesigner() = std::move(Designer);
}

TPropertyAttributes TFieldLinkProperty::GetAttributes()
{
    return {paDialog, paRevertable};
}

void TFieldLinkProperty::Edit()
{
    FChanged = false;
    const TFieldLinkDesigner &designer = fieldLinkDesigner();
    if (!designer)
        throw EDesignError(
            QStringLiteral("No field-link designer is available to edit %1").arg(GetName()));
    FChanged = designer(*this);
    if (FChanged)
        Modified();
}

QObject *TFieldLinkProperty::GetDataSet()
{
    return GetComponent(0);
}

void TFieldLinkProperty::GetFieldNamesForIndex(TStrings &List)
{
    Q_UNUSED(List);
}

bool TFieldLinkProperty::GetIndexBased()
{
    return true;
}

TIndexDefs *TFieldLinkProperty::GetIndexDefs()
{
    return nullptr;
}

QString TFieldLinkProperty::GetIndexFieldNames()
{
    return GetDataSet()->property("IndexFieldNames").toString();
}

QString TFieldLinkProperty::GetIndexName()
{
    return GetDataSet()->property("IndexName").toString();
}

QString TFieldLinkProperty::GetMasterFields()
{
    return GetDataSet()->property("MasterFields").toString();
}

void TFieldLinkProperty::SetIndexFieldNames(const QString &Value)
{
    writeNamed(GetDataSet(), "IndexFieldNames", Value);
}

void TFieldLinkProperty::SetIndexName(const QString &Value)
{
    writeNamed(GetDataSet(), "IndexName", Value);
}

void TFieldLinkProperty::SetMasterFields(const QString &Value)
{
    writeNamed(GetDataSet(), "MasterFields", Value);
}
