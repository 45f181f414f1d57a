#pragma once

#include "PropertyEditors.h"

#include <QMetaProperty>

// Whole numbers (Integer, Int64 and their unsigned kin). Typed text must be a
// number in the property type's range, blanks around it allowed; anything
// else raises EPropertyError and nothing is written (a plain conversion
// would store 0 for "abc" or wrap 99999999999 around to another number).
class TIntegerProperty : public TPropertyEditor
{
    Q_OBJECT

public:
    using TPropertyEditor::TPropertyEditor;

    // paMultiSelect, paRevertable.
    TPropertyAttributes GetAttributes() override;
    QString GetValue() override;
    void SetValue(const QString &Value) override;
};

// Sets (a type the meta-type system converts to and from a QStringList of
// member names). The value shows as "[member, member]"; typed text in the
// same form (brackets optional, names in any letter case) replaces the set.
// A name that is no member raises EPropertyError and nothing is written.
class TSetProperty : public TPropertyEditor
{
    Q_OBJECT

public:
    using TPropertyEditor::TPropertyEditor;

    // paMultiSelect, paRevertable.
    TPropertyAttributes GetAttributes() override;
    QString GetValue() override;
    void SetValue(const QString &Value) override;
};

bool isIntegerProperty(const QMetaProperty &Property);
bool isSetProperty(const QMetaProperty &Property);
