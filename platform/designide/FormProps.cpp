#include "FormProps.h"

#include "rtl/Classes.h"

#include <QMetaMethod>
#include <QStringList>

namespace formfile {

PropKind kindOf(const QMetaProperty &Property)
{
    if (Property.isFlagType())
        return PropKind::Set;
    if (Property.isEnumType())
        return PropKind::Enum;
    const QMetaType type = Property.metaType();
    switch (type.id()) {
    case QMetaType::Bool:
        return PropKind::Boolean;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return PropKind::Integer;
    case QMetaType::Double:
    case QMetaType::Float:
        return PropKind::Float;
    case QMetaType::QString:
        return PropKind::String;
    case QMetaType::QVariant:
        return PropKind::Variant;
    default:
        break;
    }
    if (type == QMetaType::fromType<TStrings *>())
        return PropKind::Strings;
    if (type.flags().testFlag(QMetaType::PointerToQObject))
        return PropKind::Object;
    if (QMetaType::canConvert(type, QMetaType::fromType<QStringList>())
        && QMetaType::canConvert(QMetaType::fromType<QStringList>(), type))
        return PropKind::Set;
    return PropKind::Unsupported;
}

QList<QMetaProperty> publishedProperties(const QMetaObject *Meta)
{
    QList<QMetaProperty> list;
    for (int i = QObject::staticMetaObject.propertyCount(); i < Meta->propertyCount(); ++i)
        list.append(Meta->property(i));
    return list;
}

int findProperty(const QMetaObject *Meta, const QString &Name)
{
    const int first = QObject::staticMetaObject.propertyCount();
    const int exact = Meta->indexOfProperty(Name.toLatin1().constData());
    if (exact >= first)
        return exact;
    for (int i = first; i < Meta->propertyCount(); ++i)
        if (Name.compare(QLatin1String(Meta->property(i).name()), Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

namespace {

QMetaMethod method(const QObject *Object, const char *Signature)
{
    const QMetaObject *meta = Object->metaObject();
    const int index = meta->indexOfMethod(Signature);
    return index < 0 ? QMetaMethod() : meta->method(index);
}

QObject *invokeForObject(QObject *Collection, const char *Signature, QGenericArgument Arg = {})
{
    const QMetaMethod m = method(Collection, Signature);
    QObject *result = nullptr;
    // The item class is unknown here; any QObject pointer has one layout.
    if (!m.isValid()
        || !m.invoke(Collection, Qt::DirectConnection,
                     QGenericReturnArgument(m.typeName(), &result), Arg))
        return nullptr;
    return result;
}

} // namespace

bool isCollection(const QObject *Object)
{
    return Object && method(Object, "Count()").isValid() && method(Object, "Item(int)").isValid()
           && method(Object, "Add()").isValid() && method(Object, "Clear()").isValid();
}

int collectionCount(QObject *Collection)
{
    int count = 0;
    method(Collection, "Count()")
        .invoke(Collection, Qt::DirectConnection, Q_RETURN_ARG(int, count));
    return count;
}

QObject *collectionItem(QObject *Collection, int Index)
{
    return invokeForObject(Collection, "Item(int)", Q_ARG(int, Index));
}

QObject *collectionAdd(QObject *Collection)
{
    return invokeForObject(Collection, "Add()");
}

void collectionClear(QObject *Collection)
{
    method(Collection, "Clear()").invoke(Collection, Qt::DirectConnection);
}

bool isSettable(const QObject *Object, const QMetaProperty &Property)
{
    // A collection is filled in place: it needs no setter.
    return Property.isWritable()
           || (kindOf(Property) == PropKind::Object
               && isCollection(Property.read(Object).value<QObject *>()));
}

bool isStoredFor(const QObject *Object, const QMetaProperty &Property)
{
    if (!Property.isStored() || !isSettable(Object, Property))
        return false;
    const QByteArray signature = QByteArray("Is") + Property.name() + "Stored()";
    const QMetaMethod m = method(Object, signature.constData());
    if (!m.isValid())
        return true;
    bool stored = true;
    m.invoke(const_cast<QObject *>(Object), Qt::DirectConnection, Q_RETURN_ARG(bool, stored));
    return stored;
}

} // namespace formfile
