#pragma once

#include "PropertyEditors.h"

#include <QList>
#include <QObject>

// References to other components of the module (a dataset's UpdateObject, a
// table's MasterSource): the environment's editor for every object-valued
// property whose class is not a collection. The value shows as the
// referenced component's Name (empty for none); the drop-down lists the
// named components of the designer's root (and the root) that belong to the
// property's class; typing a name chooses that component (letter case
// ignored), an empty text clears the reference, and a name no suitable
// component has raises EPropertyError.
class TComponentProperty : public TPropertyEditor
{
    Q_OBJECT

public:
    using TPropertyEditor::TPropertyEditor;

    // paMultiSelect, paValueList, paSortList, paRevertable.
    TPropertyAttributes GetAttributes() override;
    QString GetValue() override;
    void SetValue(const QString &Value) override;
    void GetValues(const TGetStrProc &Proc) override;

    // The components a reference may name, in their owner's order.
    QList<QObject *> candidates() const;
};

// Whether Property holds a reference to a component: a QObject pointer whose
// class does not offer the collection operations (Count, Item, Add, Clear).
bool isComponentReference(const QMetaProperty &Property);
