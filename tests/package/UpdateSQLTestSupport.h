#pragma once

#include "OvUpdSEd.h"

#include "rtl/Classes.h"

#include <QListWidget>
#include <QStringList>

// The tests' view of the editor form's private state: the statement buffers,
// the field-origin list, the owner flag and the generators themselves.
struct UpdateSQLEditFormAccess
{
    static TStrings &FieldInfo(TOvUpdateSQLEditForm &Form) { return *Form.FFieldInfo; }
    static TStrings &Buffer(TOvUpdateSQLEditForm &Form, int Index)
    {
        return *Form.statementBuffer(Index);
    }
    static void SetObjOwnerSupported(TOvUpdateSQLEditForm &Form, bool Value)
    {
        Form.FObjOwnerSupported = Value;
    }
    static bool ObjOwnerSupported(TOvUpdateSQLEditForm &Form) { return Form.FObjOwnerSupported; }
    static QString FindFieldAlias(TOvUpdateSQLEditForm &Form, const QString &Table,
                                  const QString &Field)
    {
        return Form.FindFieldAlias(Table, Field);
    }
    // The four generators, called directly (no selection check).
    static void GenerateAll(TOvUpdateSQLEditForm &Form)
    {
        Form.GenerateModifySQL();
        Form.GenerateInsertSQL();
        Form.GenerateDeleteSQL();
        Form.GenerateRefreshSQL();
    }
};

// Statement slots.
enum { slotRefresh = 0, slotModify = 1, slotInsert = 2, slotDelete = 3 };

inline QStringList entriesOf(const TStrings &List)
{
    return List.toStringList();
}

// Replaces the items of ListBox with Names and selects those in Selected.
inline void fillList(QListWidget *ListBox, const QStringList &Names, const QStringList &Selected)
{
    ListBox->clear();
    ListBox->addItems(Names);
    for (int i = 0; i < ListBox->count(); ++i)
        ListBox->item(i)->setSelected(Selected.contains(ListBox->item(i)->text()));
}

inline QStringList selectedItems(const QListWidget *ListBox)
{
    QStringList names;
    for (int i = 0; i < ListBox->count(); ++i)
        if (ListBox->item(i)->isSelected())
            names.append(ListBox->item(i)->text());
    return names;
}

inline QStringList itemsOf(const QListWidget *ListBox)
{
    QStringList names;
    for (int i = 0; i < ListBox->count(); ++i)
        names.append(ListBox->item(i)->text());
    return names;
}
