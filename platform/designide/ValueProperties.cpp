#include "ValueProperties.h"

#include "DesignErrors.h"

#include <QStringList>

#include <limits>

namespace {

// The range of the integer type of Property.
void rangeOf(const QMetaProperty &Property, long double &Low, long double &High)
{
    switch (Property.metaType().id()) {
    case QMetaType::Short:
        Low = std::numeric_limits<short>::min(), High = std::numeric_limits<short>::max();
        break;
    case QMetaType::UShort:
        Low = 0, High = std::numeric_limits<unsigned short>::max();
        break;
    case QMetaType::UInt:
        Low = 0, High = std::numeric_limits<unsigned>::max();
        break;
    case QMetaType::LongLong:
        Low = std::numeric_limits<qint64>::min(), High = std::numeric_limits<qint64>::max();
        break;
    case QMetaType::ULongLong:
        Low = 0, High = std::numeric_limits<quint64>::max();
        break;
    default:
        Low = std::numeric_limits<int>::min(), High = std::numeric_limits<int>::max();
    }
}

QStringList setNames(const QVariant &Value)
{
    QStringList names = Value.value<QStringList>();
    return names;
}

QString setText(const QStringList &Names)
{
    return QLatin1Char('[') + Names.join(QStringLiteral(", ")) + QLatin1Char(']');
}

bool sameNames(QStringList A, QStringList B)
{
    for (QString &s : A)
        s = s.toLower();
    for (QString &s : B)
        s = s.toLower();
    A.sort();
    B.sort();
    A.removeDuplicates();
    B.removeDuplicates();
    return A == B;
}

} // namespace

bool isIntegerProperty(const QMetaProperty &Property)
{
    if (Property.isEnumType())
        return false;
    switch (Property.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return true;
    default:
        return false;
    }
}

bool isSetProperty(const QMetaProperty &Property)
{
    const QMetaType type = Property.metaType();
    const QMetaType list = QMetaType::fromType<QStringList>();
    return !Property.isEnumType() && type != list && type.id() >= QMetaType::User
           && QMetaType::canConvert(type, list) && QMetaType::canConvert(list, type);
}

TPropertyAttributes TIntegerProperty::GetAttributes()
{
    return {paMultiSelect, paRevertable};
}

QString TIntegerProperty::GetValue()
{
    return GetStrValue();
}

void TIntegerProperty::SetValue(const QString &Value)
{
    const QString text = Value.trimmed();
    const QMetaProperty p = GetPropInfo();
    long double low = 0, high = 0;
    rangeOf(p, low, high);
    bool ok = false;
    long double number = 0;
    if (low < 0) {
        number = static_cast<long double>(text.toLongLong(&ok));
    } else {
        number = static_cast<long double>(text.toULongLong(&ok));
        if (!ok && text.startsWith(QLatin1Char('-')))
            text.toLongLong(&ok), number = -1; // a negative number for an unsigned type
    }
    if (!ok)
        throw EPropertyError(
            QStringLiteral("\"%1\" is not a valid integer value for %2").arg(Value, GetName()));
    if (number < low || number > high)
        throw EPropertyError(QStringLiteral("%1 is out of range for %2 (%3 to %4)")
                                 .arg(text, GetName(), QString::number(qint64(low)),
                                      low < 0 || high <= std::numeric_limits<qint64>::max()
                                          ? QString::number(qint64(high))
                                          : QString::number(quint64(high))));
    if (low < 0)
        SetVarValue(QVariant(text.toLongLong()));
    else
        SetVarValue(QVariant(text.toULongLong()));
}

TPropertyAttributes TSetProperty::GetAttributes()
{
    return {paMultiSelect, paRevertable};
}

QString TSetProperty::GetValue()
{
    return setText(setNames(GetVarValue()));
}

void TSetProperty::SetValue(const QString &Value)
{
    QString text = Value.trimmed();
    if (text.startsWith(QLatin1Char('[')) && text.endsWith(QLatin1Char(']')))
        text = text.mid(1, text.size() - 2);
    QStringList names;
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (!part.trimmed().isEmpty())
            names << part.trimmed();
    // Convert there and back before writing: a name the set does not know
    // would otherwise vanish without a word.
    const QMetaType type = GetPropInfo().metaType();
    QVariant set(QVariant::fromValue(names));
    if (!set.convert(type) || !sameNames(setNames(set), names))
        throw EPropertyError(
            QStringLiteral("Invalid property value \"%1\" for %2").arg(Value, GetName()));
    SetVarValue(set);
}
