#pragma once

#include "OvUpdSEd.h"

#include "orvlib/OvDataSets.h"
#include "orvlib/OvUpdateSQL.h"
#include "rtl/Classes.h"

#include <QListWidget>
#include <QStringList>
#include <QVariantMap>

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

// Runs the update object's refresh statement on DatabaseName with the old
// values Keys (key field -> value); the fields of the row it finds, or an
// empty map when there is none.
inline QVariantMap refreshRow(const QString &DatabaseName, const TOvUpdateSQL &Update,
                              const QVariantMap &Keys)
{
    TOvQuery q;
    q.SetDatabaseName(DatabaseName);
    q.SQL()->Assign(*Update.GetSQLIndex(0));
    for (auto it = Keys.cbegin(); it != Keys.cend(); ++it)
        q.ParamByName(QStringLiteral("OLD_") + it.key())->SetValue(it.value());
    q.Open();
    QVariantMap row;
    if (!q.Eof())
        for (int i = 0; i < q.FieldCount(); ++i)
            row.insert(q.Fields(i)->FieldName(), q.Fields(i)->Value());
    return row;
}
