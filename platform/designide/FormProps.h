#pragma once

#include <QMetaProperty>
#include <QObject>
#include <QString>

// How form files see published properties. Private to the form reader and writer.
namespace formfile {

enum class PropKind {
    Unsupported,
    Boolean,
    Integer, // any integer type
    Float,   // double or float
    String,  // QString
    Enum,    // a Q_ENUM
    Set,     // a Q_FLAG, or a type Qt converts to and from QStringList (its member names)
    Strings, // TStrings *: written as Name.Strings = ( ... )
    Object,  // a QObject pointer: a collection (by its value) or a component reference
    Variant  // QVariant: written after the value it holds
};

PropKind kindOf(const QMetaProperty &Property);

// The published properties of a class: those of QObject itself (objectName)
// excluded, in declaration order (base classes first).
QList<QMetaProperty> publishedProperties(const QMetaObject *Meta);
// The published property Name: exact spelling first, then ignoring letter case.
int findProperty(const QMetaObject *Meta, const QString &Name);

// Whether Object is written as a collection (it offers Count(), Item(int),
// Add() and Clear() through the meta-object system, as TCollection does).
bool isCollection(const QObject *Object);
int collectionCount(QObject *Collection);
QObject *collectionItem(QObject *Collection, int Index);
QObject *collectionAdd(QObject *Collection);
void collectionClear(QObject *Collection);

// Whether a form can give Property a value: it has a setter, or it is a collection.
bool isSettable(const QObject *Object, const QMetaProperty &Property);
// Whether the value of Property is to be stored for Object: the property is
// stored, and Object's Is<Name>Stored(), when it has one, says true.
bool isStoredFor(const QObject *Object, const QMetaProperty &Property);

// The design position of a component, kept as dynamic properties.
inline bool isDesignPosition(const QString &Name)
{
    return Name == QLatin1String("Left") || Name == QLatin1String("Top");
}

} // namespace formfile
