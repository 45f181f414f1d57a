#pragma once

#include "DesignIntf.h"

#include <QList>
#include <QMetaProperty>
#include <QObject>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <initializer_list>

class TIndexDefs;
class TStrings;

// What the Object Inspector offers for a property.
enum class TPropertyAttribute {
    paValueList,             // a drop-down of GetValues
    paSubProperties,         // expandable into sub-properties
    paDialog,                // an ellipsis button that runs Edit
    paMultiSelect,           // offered while several components are selected
    paAutoUpdate,            // SetValue on every keystroke
    paSortList,              // the drop-down is shown sorted
    paReadOnly,              // the value cannot be typed
    paRevertable,            // can be reverted to the inherited value
    paFullWidthName,         // the name takes the full width
    paVolatileSubProperties, // sub-properties change with the value
    paNotNestable,           // not shown as a sub-property
    paValueEditable          // a value list whose text may also be typed
};
using enum TPropertyAttribute;

// A set of property attributes.
class TPropertyAttributes
{
public:
    constexpr TPropertyAttributes() = default;
    constexpr TPropertyAttributes(std::initializer_list<TPropertyAttribute> Items)
    {
        for (TPropertyAttribute a : Items)
            m_bits |= bit(a);
    }

    constexpr bool contains(TPropertyAttribute A) const { return (m_bits & bit(A)) != 0; }
    constexpr bool isEmpty() const { return m_bits == 0; }
    constexpr TPropertyAttributes &operator+=(TPropertyAttribute A)
    {
        m_bits |= bit(A);
        return *this;
    }
    constexpr TPropertyAttributes &operator-=(TPropertyAttribute A)
    {
        m_bits &= ~bit(A);
        return *this;
    }
    friend constexpr TPropertyAttributes operator+(TPropertyAttributes S, TPropertyAttribute A)
    {
        return S += A;
    }
    friend constexpr TPropertyAttributes operator-(TPropertyAttributes S, TPropertyAttribute A)
    {
        return S -= A;
    }
    constexpr bool operator==(const TPropertyAttributes &) const = default;

private:
    static constexpr std::uint32_t bit(TPropertyAttribute A)
    {
        return std::uint32_t(1) << static_cast<int>(A);
    }
    std::uint32_t m_bits = 0;
};

using TGetStrProc = std::function<void(const QString &Value)>;

// The base of every property editor: one published property (a Q_PROPERTY)
// of the components selected in the designer.
//
// Values are read from the first component and written to every selected
// component through its property setter; every write ends with Modified, which
// tells the designer the form changed, also when a later component refuses
// the value after earlier ones took it (the error then propagates). A property the component does
// not publish, a read-only one, or a value its setter refuses raises EPropertyError naming the
// component and the property; an error the setter itself raises passes on with the place
// "Component.Property" (Exception::SetPlace).
class TPropertyEditor : public QObject
{
    Q_OBJECT

public:
    TPropertyEditor(IDesignerPtr ADesigner, QList<QObject *> AComponents, const QString &APropName);
    ~TPropertyEditor() override;

    // The base: paRevertable.
    virtual TPropertyAttributes GetAttributes();
    // The displayed text. The base: "(unknown)".
    virtual QString GetValue();
    // Stores typed or chosen text. The base ignores it.
    virtual void SetValue(const QString &Value);
    // Hands each entry of the drop-down to Proc. The base has none.
    virtual void GetValues(const TGetStrProc &Proc);
    // Ellipsis button or double click. The base moves to the value after the
    // current one in GetValues (wrapping), when the property has a value list.
    virtual void Edit();
    // Whether the inspector may complete typed text from the value list.
    virtual bool AutoFill();
    // Whether every selected component holds the same value.
    virtual bool AllEqual();

    QObject *GetComponent(int Index) const;
    // The number of selected components.
    int PropCount() const { return static_cast<int>(FComponents.size()); }
    QString GetName() const { return FPropName; }
    // The property of the first component.
    QMetaProperty GetPropInfo() const;
    PTypeInfo GetPropType() const;
    const IDesignerPtr &Designer() const { return FDesigner; }
    // Tells the designer the form changed (nothing when there is no designer).
    void Modified();

    QVariant GetVarValue() const { return GetVarValueAt(0); }
    QVariant GetVarValueAt(int Index) const;
    void SetVarValue(const QVariant &Value);

    QString GetStrValue() const { return GetStrValueAt(0); }
    QString GetStrValueAt(int Index) const;
    void SetStrValue(const QString &Value);

    // Ordinal value: integers, enumerations (their numeric value), Booleans (0, 1).
    qint64 GetOrdValue() const { return GetOrdValueAt(0); }
    qint64 GetOrdValueAt(int Index) const;
    void SetOrdValue(qint64 Value);

protected:
    // The published property Name of Component, or EPropertyError.
    QMetaProperty propertyOf(const QObject *Component) const;

private:
    IDesignerPtr FDesigner;
    QList<QObject *> FComponents;
    QString FPropName;
};

// The type name of a published property as registrations use it: "Boolean",
// "string", "Integer", "Int64", "Double", an enumeration's name, or the class
// name of an object-valued property ("TStrings" for a TStrings*).
PTypeInfo propertyTypeInfo(const QMetaProperty &Property);

// Text properties.
class TStringProperty : public TPropertyEditor
{
    Q_OBJECT

public:
    using TPropertyEditor::TPropertyEditor;

    // paMultiSelect, paRevertable.
    TPropertyAttributes GetAttributes() override;
    QString GetValue() override;
    void SetValue(const QString &Value) override;
};

// Enumerations and Booleans: the value is shown by name, the drop-down lists
// every name ("False", "True" for a Boolean), and typed names are accepted in
// any letter case. Any other name raises EPropertyError.
class TEnumProperty : public TPropertyEditor
{
    Q_OBJECT

public:
    using TPropertyEditor::TPropertyEditor;

    // paMultiSelect, paValueList, paSortList, paRevertable.
    TPropertyAttributes GetAttributes() override;
    QString GetValue() override;
    void SetValue(const QString &Value) override;
    void GetValues(const TGetStrProc &Proc) override;

protected:
    // The names with their ordinal values, in declaration order.
    QList<QPair<QString, qint64>> valueNames() const;
};

// Object-valued properties (a QObject or a class-library object such as
// TStrings). The value shows as the class name in parentheses.
class TClassProperty : public TPropertyEditor
{
    Q_OBJECT

public:
    using TPropertyEditor::TPropertyEditor;

    // paMultiSelect, paSubProperties, paReadOnly, paVolatileSubProperties.
    TPropertyAttributes GetAttributes() override;
    QString GetValue() override;

    // The object of the first component when it is a QObject, else null.
    QObject *GetOrdValue() const;
    // Stores a QObject into every selected component.
    void SetOrdValue(QObject *Value);

    // The object of the first component as a T (any pointer type the property
    // declares, e.g. TStrings), or null.
    template<class T>
    T *GetObjectValue() const
    {
        return GetVarValue().template value<T *>();
    }
    // Stores Value into every selected component through its setter.
    template<class T>
    void SetObjectValue(T *Value)
    {
        SetVarValue(QVariant::fromValue(Value));
    }
};

// The editor class for property PropName of Component: the registered one, or
// the environment's default for its type (enumerations and Booleans
// TEnumProperty, references to components TComponentProperty, string lists
// TStringListProperty, other object pointers TClassProperty, whole numbers
// TIntegerProperty, sets TSetProperty, anything else TStringProperty).
// Raises EPropertyError when Component has no such property.
TPropertyEditorClass propertyEditorClassFor(QObject *Component, const QString &PropName);

// --- The database design package ------------------------------------------

// String properties of datasets whose drop-down the dataset fills.
class TDBStringProperty : public TStringProperty
{
    Q_OBJECT

public:
    using TStringProperty::TStringProperty;

    // paValueList, paSortList, paMultiSelect.
    TPropertyAttributes GetAttributes() override;
    // The entries of GetValueList, in list order.
    void GetValues(const TGetStrProc &Proc) override;
    // Fills List with the values to offer. The base offers none.
    virtual void GetValueList(TStrings &List);
};

// A dataset's IndexName: the index names the first dataset lists through its
// invokable GetIndexNames(TStrings *List), when it has one.
class TIndexNameProperty : public TDBStringProperty
{
    Q_OBJECT

public:
    using TDBStringProperty::TDBStringProperty;
    void GetValueList(TStrings &List) override;
};

// A dataset's IndexFieldNames: the field lists of its indexes, as the first
// dataset lists them through its invokable GetIndexFieldLists(TStrings *List),
// when it has one.
class TIndexFieldNamesProperty : public TDBStringProperty
{
    Q_OBJECT

public:
    using TDBStringProperty::TDBStringProperty;
    void GetValueList(TStrings &List) override;
};

class TFieldLinkProperty;
// The environment's field-link designer: runs on Editor (through its
// accessors) and answers whether the user changed the link.
using TFieldLinkDesigner = std::function<bool(TFieldLinkProperty &Editor)>;
// Installs the field-link designer; an empty one removes it.
void setFieldLinkDesigner(TFieldLinkDesigner Designer);
// The one installed from the start: the field-link dialog (TFieldLinkForm)
// shown modally through the platform's UI services.
TFieldLinkDesigner defaultFieldLinkDesigner();

// The master/detail link of a dataset (its MasterFields). Edit runs the
// field-link designer, which reads and writes the link only through the
// virtual accessors; descendants redirect them (to a temporary copy of the
// dataset, for instance). The base accessors work on GetDataSet's properties
// of the same names.
class TFieldLinkProperty : public TStringProperty
{
    Q_OBJECT

public:
    using TStringProperty::TStringProperty;

    // paDialog, paRevertable.
    TPropertyAttributes GetAttributes() override;
    // Runs the field-link designer; Changed() then tells whether the link
    // changed, and a change is reported to the designer (Modified). Raises
    // EDesignError when no field-link designer is installed.
    void Edit() override;
    // The dataset being linked: the first component.
    virtual QObject *GetDataSet();

    // Whether the last Edit changed the link.
    bool Changed() const { return FChanged; }

    virtual void GetFieldNamesForIndex(TStrings &List);
    virtual bool GetIndexBased();
    // The dataset's index definitions (the database library's TIndexDefs).
    // The base has none to offer: null.
    virtual TIndexDefs *GetIndexDefs();
    virtual QString GetIndexFieldNames();
    virtual QString GetIndexName();
    virtual QString GetMasterFields();
    virtual void SetIndexFieldNames(const QString &Value);
    virtual void SetIndexName(const QString &Value);
    virtual void SetMasterFields(const QString &Value);

protected:
    bool FChanged = false;
};
