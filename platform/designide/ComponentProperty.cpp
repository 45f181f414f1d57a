#include "ComponentProperty.h"

#include "DesignErrors.h"

#include <QMetaProperty>

namespace {

bool hasMethod(const QMetaObject *Meta, const char *Signature)
{
    return Meta->indexOfMethod(Signature) >= 0;
}

} // namespace

bool isComponentReference(const QMetaProperty &Property)
{
    if (!Property.metaType().flags().testFlag(QMetaType::PointerToQObject))
        return false;
    const QMetaObject *meta = Property.metaType().metaObject();
    if (!meta)
        return false;
    return !(hasMethod(meta, "Count()") && hasMethod(meta, "Item(int)") && hasMethod(meta, "Add()")
             && hasMethod(meta, "Clear()"));
}

TPropertyAttributes TComponentProperty::GetAttributes()
{
    return {paMultiSelect, paValueList, paSortList, paRevertable};
}

QString TComponentProperty::GetValue()
{
    const QVariant v = GetVarValue();
    const QObject *target = v.metaType().flags().testFlag(QMetaType::PointerToQObject)
                                ? v.value<QObject *>()
                                : nullptr;
    return target ? target->objectName() : QString();
}

QList<QObject *> TComponentProperty::candidates() const
{
    QObject *root = Designer() ? Designer()->Root() : nullptr;
    if (!root) {
        // Without a designer: the module the first component sits on.
        root = GetComponent(0);
        while (root->parent())
            root = root->parent();
    }
    const QMetaObject *wanted = GetPropInfo().metaType().metaObject();
    QList<QObject *> list;
    const auto consider = [&](QObject *O) {
        if (!O->objectName().isEmpty() && (!wanted || O->metaObject()->inherits(wanted)))
            list << O;
    };
    consider(root);
    for (QObject *o : root->children())
        consider(o);
    return list;
}

void TComponentProperty::GetValues(const TGetStrProc &Proc)
{
    for (const QObject *o : candidates())
        Proc(o->objectName());
}

void TComponentProperty::SetValue(const QString &Value)
{
    const QMetaType type = GetPropInfo().metaType();
    QObject *target = nullptr;
    if (!Value.trimmed().isEmpty()) {
        for (QObject *o : candidates())
            if (o->objectName().compare(Value.trimmed(), Qt::CaseInsensitive) == 0) {
                target = o;
                break;
            }
        if (!target)
            throw EPropertyError(
                QStringLiteral("Invalid property value \"%1\" for %2").arg(Value, GetName()));
    }
    SetVarValue(QVariant(type, &target));
}
