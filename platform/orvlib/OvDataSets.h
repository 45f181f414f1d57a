#pragma once

#include "orvlib/DB.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvTypes.h"

#include "rtl/Classes.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class TOvSession;
class TOvDataSet;
struct TOvResult;

// Base of the objects that write a dataset's changes back with statements
// of their own. DataSet and the dataset's UpdateObject refer to each other:
// setting one sets the other.
class TOvDataSetUpdateObject : public QObject
{
    Q_OBJECT
    Q_PROPERTY(TOvDataSet *DataSet READ DataSet WRITE SetDataSet STORED false)

public:
    explicit TOvDataSetUpdateObject(QObject *AOwner = nullptr);
    ~TOvDataSetUpdateObject() override;

    TOvDataSet *DataSet() const { return m_dataSet; }
    void SetDataSet(TOvDataSet *Value);

private:
    friend class TOvDataSet;
    QPointer<TOvDataSet> m_dataSet;
};

// Base of the library's datasets: finds its database by SessionName and
// DatabaseName, connects it when it opens, and reads its rows.
class TOvDataSet : public TDataSet
{
    Q_OBJECT
    Q_PROPERTY(QString SessionName READ SessionName WRITE SetSessionName)
    Q_PROPERTY(QString DatabaseName READ DatabaseName WRITE SetDatabaseName)
    Q_PROPERTY(TOvDataSetUpdateObject *UpdateObject READ UpdateObject WRITE SetUpdateObject)

public:
    explicit TOvDataSet(QObject *AOwner = nullptr);
    ~TOvDataSet() override;

    QString SessionName() const { return m_sessionName; }
    void SetSessionName(const QString &Value);
    QString DatabaseName() const { return m_databaseName; }
    void SetDatabaseName(const QString &Value);
    TOvDataSetUpdateObject *UpdateObject() const { return m_updateObject; }
    void SetUpdateObject(TOvDataSetUpdateObject *Value);

    // The session named by SessionName (the default one for an empty name);
    // raises when there is no such session.
    TOvSession *GetDBSession() const;
    // The database the dataset is attached to while it is open or prepared; null otherwise.
    TOvDatabase *Database() const { return m_database; }
    // Whether the dataset's server understands owner-qualified names
    // (schema.table). Decided by the server type of the dataset's database
    // component, or by DefServerType when there is none.
    bool IsObjOwnerSupported() const;
    TOvServerType ServerType() const;

    // Reads a select statement and reports where its fields come from.
    // FieldInfo receives one "field=table.column" entry per select-list item
    // that names a column: field is the name of the result field (its alias,
    // or the column name), table is the table as written in the from clause
    // (owner included, quotes removed), reached through table aliases.
    // TableInfo receives one "alias=table" entry per table read, in
    // from-clause order, each table once (alias is the table itself when it
    // has none). Unresolved, when given, receives the result field names that
    // could not be attributed (expressions, subqueries, unknown aliases).
    // A "*" or "alias.*" item is expanded, and an unqualified column of a
    // statement that reads several tables is attributed, only when the
    // database is already connected (it is never connected for this) and
    // shows the column in exactly one table. A field name is listed once:
    // the first item of that name wins. Statements other than select add
    // nothing. The lists are not cleared first.
    void ParseFieldInfoFromSQL(const QString &SQL, TStrings *FieldInfo, TStrings *TableInfo,
                               TStrings *Unresolved = nullptr);

protected:
    // Finds and connects the database; remembers it in Database().
    TOvDatabase *AttachDatabase();
    void DetachDatabase();
    void InternalClose() override;
    // Runs SQL (placeholders bound to Values) on the attached database and
    // reads its rows as they are needed. Whole reads it all at once (a
    // statement that may change data runs once, not once per page). A lock
    // the database waited for in vain is reported with the names of this
    // dataset and its database, at the open or at a later read.
    void OpenRows(const QString &SQL, const QVariantList &Values, bool Whole = false);
    // Runs SQL as ExecSQL runs it, on the attached database, with OpenRows's
    // naming of errors.
    TOvResult ExecuteStatement(const QString &SQL, const QVariantList &Values);
    // The property the dataset's statement is made from ("SQL"). A database
    // error of the statement as it is opened or run (not of the connection,
    // nor a lock, nor of a later read: the rows, not the text) names its
    // place "qOrders.SQL" (Exception::SetPlace); empty, or a dataset without
    // a name, names none.
    virtual QString StatementProperty() const { return {}; }
    QString StatementPlace() const;

private:
    QString m_sessionName;
    QString m_databaseName;
    QPointer<TOvDatabase> m_database;
    bool m_openedDatabase = false;
    QMetaObject::Connection m_disconnectWatch;
    QPointer<TOvDataSetUpdateObject> m_updateObject;
};

// A dataset defined by an SQL statement with :name parameters.
class TOvQuery : public TOvDataSet
{
    Q_OBJECT
    Q_PROPERTY(TStrings *SQL READ SQL WRITE SetSQL)
    Q_PROPERTY(TParams *Params READ Params WRITE SetParams)
    Q_PROPERTY(bool ParamCheck READ ParamCheck WRITE SetParamCheck)

public:
    Q_INVOKABLE explicit TOvQuery(QObject *AOwner = nullptr);
    ~TOvQuery() override;

    // The query's own list; the setter copies (safe with the list itself).
    // Every change closes the query and, with ParamCheck, rebuilds Params
    // from the markers in the text.
    TStrings *SQL() const { return m_sql.get(); }
    void SetSQL(TStrings *Value);
    TParams *Params() const { return m_params; }
    void SetParams(TParams *Value);
    bool ParamCheck() const { return m_paramCheck; }
    void SetParamCheck(bool Value) { m_paramCheck = Value; }
    TParam *ParamByName(const QString &Name) const { return m_params->ParamByName(Name); }
    // An empty Params is written to a form while the text has parameter
    // markers: reading the text fills Params, so leaving it out would not
    // give back the empty list.
    Q_INVOKABLE bool IsParamsKept() const;

    // Runs a statement that returns no rows.
    void ExecSQL();
    qint64 RowsAffected() const { return m_rowsAffected; }
    // The statement text that runs: the SQL, with macros expanded in a macro query.
    virtual QString StatementText() const;

protected:
    void InternalOpen() override;
    bool InternalDescribe(QList<TFieldDesc> &Fields) override;
    QString StatementProperty() const override { return QStringLiteral("SQL"); }
    virtual void SQLChanged();

private:
    friend class TOvDataSet; // OpenRows sets RowsAffected
    std::unique_ptr<TStringList> m_sql;
    TParams *m_params;
    bool m_paramCheck = true;
    qint64 m_rowsAffected = -1;
};

// A query whose text may hold macros (&name) that are replaced by their
// values before the statement runs. A new macro starts with the value
// "0=0", which keeps a where clause valid until it is given another.
class TOvMacroQuery : public TOvQuery
{
    Q_OBJECT
    Q_PROPERTY(TParams *Macros READ GetMacros WRITE SetMacros)
    Q_PROPERTY(QString MacroChar READ MacroChar WRITE SetMacroChar)

public:
    Q_INVOKABLE explicit TOvMacroQuery(QObject *AOwner = nullptr);

    TParams *GetMacros() const { return m_macros; }
    TParams *Macros() const { return m_macros; }
    void SetMacros(TParams *Value);
    QString MacroChar() const { return m_macroChar; }
    void SetMacroChar(const QString &Value);
    TParam *MacroByName(const QString &Name) const { return m_macros->ParamByName(Name); }
    // An empty Macros is written while the text has macros, as Params is.
    Q_INVOKABLE bool IsMacrosKept() const;

    QString StatementText() const override;

protected:
    void SQLChanged() override;

private:
    QStringList macroNames() const;
    void rebuildMacros();

    TParams *m_macros;
    QString m_macroChar = QStringLiteral("&");
};

// A dataset on one table, in the order of an index, optionally linked to a
// master dataset.
class TOvTable : public TOvDataSet
{
    Q_OBJECT
    Q_PROPERTY(QString TableName READ TableName WRITE SetTableName)
    Q_PROPERTY(QString IndexName READ IndexName WRITE SetIndexName)
    Q_PROPERTY(QString IndexFieldNames READ IndexFieldNames WRITE SetIndexFieldNames)
    Q_PROPERTY(QString MasterFields READ MasterFields WRITE SetMasterFields)
    Q_PROPERTY(TDataSource *MasterSource READ MasterSource WRITE SetMasterSource)
    Q_PROPERTY(bool ReadOnly READ ReadOnly WRITE SetReadOnly)

public:
    Q_INVOKABLE explicit TOvTable(QObject *AOwner = nullptr);
    ~TOvTable() override;

    QString TableName() const { return m_tableName; }
    void SetTableName(const QString &Value);
    // The index that orders the rows; empty means the primary key.
    // Setting it clears IndexFieldNames, and the other way round.
    QString IndexName() const { return m_indexName; }
    void SetIndexName(const QString &Value);
    // Field names separated by ";" that order the rows.
    QString IndexFieldNames() const { return m_indexFieldNames; }
    void SetIndexFieldNames(const QString &Value);
    // Fields of the master dataset (";" separated) whose values, in order,
    // select the rows of this table by its current index fields.
    QString MasterFields() const { return m_masterFields; }
    void SetMasterFields(const QString &Value);
    TDataSource *MasterSource() const { return m_masterSource; }
    void SetMasterSource(TDataSource *Value);
    bool ReadOnly() const { return m_readOnly; }
    void SetReadOnly(bool Value) { m_readOnly = Value; }

    // The table's indexes, read from the server when the table opens or
    // UpdateIndexDefs runs. The primary key is named SPrimary() here, so
    // IndexName may name it that way (or leave it empty).
    TIndexDefs *IndexDefs() const { return m_indexDefs; }
    void UpdateIndexDefs();
    // What the IndexName drop-down offers: the names of the indexes whose
    // order the table can follow (an expression index cannot be followed),
    // the primary key as SPrimary(). An open table lists the indexes it read
    // when it opened; a closed one reads them from the catalogue into
    // IndexDefs, connecting its database for the look-up as the session's
    // look-ups do. Without a table or database name it lists nothing.
    Q_INVOKABLE void GetIndexNames(TStrings *List);
    // What the IndexFieldNames drop-down offers: the field lists of the same
    // indexes (";" separated), each list once.
    Q_INVOKABLE void GetIndexFieldLists(TStrings *List);
    // The fields of the current ordering (IndexFieldNames, else the index
    // IndexName, else the primary key); GetIndexField needs an open table.
    int GetIndexFieldCount() const;
    TField *GetIndexField(int Index) const;
    QStringList IndexFieldList() const;
    // The provider-support answer: rows come from an SQL server.
    bool PSIsSQLBased() const { return true; }

protected:
    void InternalOpen() override;
    QString StatementProperty() const override { return QStringLiteral("TableName"); }

private:
    // IndexDefs, read from the catalogue first while the table is closed.
    const TIndexDefs &currentIndexDefs();

    QString m_tableName;
    QString m_indexName;
    QString m_indexFieldNames;
    QString m_masterFields;
    QPointer<TDataSource> m_masterSource;
    bool m_readOnly = false;
    TIndexDefs *m_indexDefs;
};

// A stored procedure of the server. Its parameters come from the server's
// catalogue when it is prepared (where the server describes them).
class TOvStoredProc : public TOvDataSet
{
    Q_OBJECT
    Q_PROPERTY(QString StoredProcName READ StoredProcName WRITE SetStoredProcName)
    Q_PROPERTY(TParams *Params READ Params WRITE SetParams)
    Q_PROPERTY(bool Prepared READ Prepared WRITE SetPrepared STORED false)

public:
    Q_INVOKABLE explicit TOvStoredProc(QObject *AOwner = nullptr);
    ~TOvStoredProc() override;

    QString StoredProcName() const { return m_storedProcName; }
    void SetStoredProcName(const QString &Value);
    TParams *Params() const { return m_params; }
    void SetParams(TParams *Value);
    int GetParamsCount() const { return m_params->Count(); }
    TParam *ParamByName(const QString &Name) const { return m_params->ParamByName(Name); }

    bool Prepared() const { return m_prepared; }
    void SetPrepared(bool Value);
    // Connects and reads the parameter descriptions; raises when the server
    // has no such procedure.
    void Prepare();
    void UnPrepare();
    // Whether the server describes the procedure's parameters.
    bool DescriptionsAvailable() const;
    // Runs the procedure with the input parameters; output values go back
    // into Params.
    void ExecProc();

protected:
    void InternalOpen() override;
    QString StatementProperty() const override { return QStringLiteral("StoredProcName"); }

private:
    QVariantList inputValues() const;

    QString m_storedProcName;
    TParams *m_params;
    bool m_prepared = false;
};
