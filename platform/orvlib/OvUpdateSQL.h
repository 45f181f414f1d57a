#pragma once

#include "orvlib/OvDataSets.h"

#include "rtl/Classes.h"

#include <QObject>
#include <QPointer>
#include <QVariant>

#include <memory>

// Update kinds, which are also the statement slots of TOvUpdateSQL.
enum class TUpdateKind { ukRefresh, ukModify, ukInsert, ukDelete };

// The four statements of an update object: refresh, modify, insert, delete.
class TOvUpdateSQL : public TOvDataSetUpdateObject
{
    Q_OBJECT
    Q_PROPERTY(TStrings *RefreshSQL READ RefreshSQL WRITE SetRefreshSQL)
    Q_PROPERTY(TStrings *ModifySQL READ ModifySQL WRITE SetModifySQL)
    Q_PROPERTY(TStrings *InsertSQL READ InsertSQL WRITE SetInsertSQL)
    Q_PROPERTY(TStrings *DeleteSQL READ DeleteSQL WRITE SetDeleteSQL)

public:
    Q_INVOKABLE explicit TOvUpdateSQL(QObject *AOwner = nullptr);
    ~TOvUpdateSQL() override;

    // The statement list of a slot: 0 refresh, 1 modify, 2 insert, 3 delete.
    // The object's own list; an index outside 0..3 raises EListError.
    TStrings *GetSQLIndex(int Index) const;
    // Copies Value into the slot's list (safe with the list itself).
    void SetSQLIndex(int Index, TStrings *Value);
    TStrings *GetSQL(TUpdateKind Kind) const { return GetSQLIndex(static_cast<int>(Kind)); }

    TStrings *RefreshSQL() const { return GetSQLIndex(0); }
    void SetRefreshSQL(TStrings *Value) { SetSQLIndex(0, Value); }
    TStrings *ModifySQL() const { return GetSQLIndex(1); }
    void SetModifySQL(TStrings *Value) { SetSQLIndex(1, Value); }
    TStrings *InsertSQL() const { return GetSQLIndex(2); }
    void SetInsertSQL(TStrings *Value) { SetSQLIndex(2, Value); }
    TStrings *DeleteSQL() const { return GetSQLIndex(3); }
    void SetDeleteSQL(TStrings *Value) { SetSQLIndex(3, Value); }

    // Runs the statement of Kind on the dataset's database with the
    // parameter values given (a parameter OLD_x takes the value of x from
    // OldValues, any other from NewValues); returns the rows affected.
    qint64 Apply(TUpdateKind Kind, const QVariantMap &NewValues, const QVariantMap &OldValues);

private:
    std::unique_ptr<TStringList> m_sql[4];
};
