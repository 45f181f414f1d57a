#pragma once

// Internal to the MariaDB/MySQL driver: the driver class and what its two
// source files share (MySQLDriver.cpp: connection, statements, values;
// MySQLCatalogue.cpp: catalogue look-ups and routines).

#include "orvlib/OvDriver.h"
#include "orvlib/OvRowStore.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <mysql.h>

#include <map>
#include <memory>
#include <vector>

namespace ovmy {

// The result columns Meta describes; a column of another database than
// CurrentDb names its table with the database.
QList<TFieldDesc> describeFields(MYSQL_RES *Meta, const char *CurrentDb);

// One value as the text protocol sends it, as the library hands it on (see
// MySQLDriver.cpp); raises for a zero date.
QVariant textValue(const MYSQL_FIELD &F, const char *S, unsigned long Length);

// One bound parameter value and the storage its bind points into: it must
// live until the statement has run.
struct ParamValue
{
    QByteArray Data;
    MYSQL_TIME Time{};
    long long Integer = 0;
    double Real = 0;
    unsigned long Length = 0;
};

// Binds V: integers, doubles, dates and times in their binary forms, bytes
// as a BLOB, anything else as UTF-8 text; a null QVariant as NULL.
void bindValue(const QVariant &V, MYSQL_BIND &B, ParamValue &P);

// An object name split as "[database.]name": a part in backticks or double
// quotes keeps what it holds (a doubled quote is one quote), an unquoted part
// is trimmed. More than two parts, an empty part or a stray quote leave Valid
// false: such a name names nothing.
struct ObjName
{
    QString Schema; // empty: the connection's database
    QString Name;
    bool Valid = false;
};

ObjName parseObjName(const QString &Text);

// SQL whose placeholders "?N" (N from 1) are rewritten to the server's
// positional "?"; Order receives, per marker, the index N - 1 of its value.
// Markers inside literals, quoted names and comments are left alone; a bare
// "?" takes the next value in turn.
QByteArray positionalSQL(const QString &SQL, std::vector<int> &Order);

// A server-side prepared statement, closed on every way out.
struct StmtCloser
{
    void operator()(MYSQL_STMT *S) const { mysql_stmt_close(S); }
};
using Stmt = std::unique_ptr<MYSQL_STMT, StmtCloser>;

// The result buffers of one statement: one per column, read in the
// binary protocol and turned into the values the library hands on.
class RowReader
{
public:
    // Binds the columns Meta describes to S; raises on failure.
    RowReader(MYSQL_STMT *S, MYSQL_RES *Meta);
    const QList<TFieldDesc> &fields() const { return m_fields; }
    unsigned columnCount() const { return unsigned(m_columns.size()); }
    // Fetches the next row into Row; false at the end. Raises on failure,
    // and for a value the library cannot hold exactly (a zero date).
    bool next(QVariantList &Row);
    // The same in two steps, for a reader that keeps rows before it turns
    // them into values: fetch reads the next row (false at the end), raw
    // gives column I's bytes as fetched (false for NULL; valid until the
    // next fetch), and value turns such bytes into the value next gives.
    // value needs neither the statement nor the connection any more.
    bool fetch();
    bool raw(unsigned I, const char *&Data, unsigned long &Length) const;
    QVariant value(unsigned I, const char *Data, unsigned long Length) const;

private:
    struct Column
    {
        enum_field_types Type;
        unsigned Flags;
        unsigned Decimals;
        bool Binary;
        QByteArray Name;
        MYSQL_FIELD Field;
        bool Variable = false; // text or bytes, of any length
        std::vector<char> Buffer;
        std::vector<char> Whole; // a value longer than Buffer
        unsigned long Length = 0;
        my_bool IsNull = 0;
        my_bool Error = 0;
    };
    MYSQL_STMT *m_stmt;
    QList<TFieldDesc> m_fields;
    std::vector<Column> m_columns;
    std::vector<MYSQL_BIND> m_binds;
};

class MySQLDriver;

// A query's result from one execution, read to its end at the open (as the
// server streams it, with no cursor of the server's, which would first copy
// the result into a table of its own) and kept in memory as the binary
// protocol gave it, each value a byte that tells NULL, else its length and
// bytes, turned into values as rows are handed out. So between two reads no
// statement, lock or transaction of the reader's is held, and each row comes
// exactly once. A row that fails, or a result past MaxBytes, ends the rows:
// the rows before are handed out, and every read after them raises the
// error. Closing the connection ends the cursor.
class MyCursor final : public TOvCursor
{
public:
    MyCursor(MySQLDriver *Driver, Stmt S, std::unique_ptr<RowReader> Reader, qint64 MaxBytes);
    ~MyCursor() override;
    int FetchRows(std::vector<QVariantList> &Rows, int Count) override;
    // Ends the cursor: the connection is going.
    void abandon();

private:
    void keepRow();
    QVariantList takeRow();
    void close();
    MySQLDriver *m_driver;
    std::unique_ptr<RowReader> m_reader;
    TOvRowStore m_rows;
    QString m_error;
};

// One connection to a MariaDB or MySQL server.
class MySQLDriver final : public TOvDriver
{
public:
    ~MySQLDriver() override { Disconnect(); }

    TOvServerType ServerType() const override { return TOvServerType::stMySQL; }
    bool NeedsLogin() const override { return true; }
    bool IsConnected() const override { return m_conn != nullptr; }
    bool ObjOwnerSupported() const override { return true; }
    bool DescribesProcedures() const override { return true; }
    QString Placeholder(int Index) const override { return QStringLiteral("?%1").arg(Index + 1); }

    void Connect(const QString &RemoteDatabase, const TStrings &Params) override;
    void Disconnect() override;
    TOvResult Execute(const QString &SQL, const QVariantList &Params) override;
    std::unique_ptr<TOvCursor> OpenCursor(const QString &SQL, const QVariantList &Params) override;
    TOvStatementInfo Describe(const QString &SQL) override;
    QStringList TableNames(bool SystemTables) override;
    QStringList MatchingTableNames(bool SystemTables, const QString &Pattern) override;
    QList<TOvColumnInfo> Columns(const QString &TableName) override;
    QList<TOvIndexColumn> IndexColumns(const QString &TableName) override;
    QStringList ProcedureNames() override;
    QList<TOvProcParamInfo> ProcedureParams(const QString &ProcName) override;
    bool ProcedureExists(const QString &ProcName) override;
    QString ProcedureCallSQL(const QString &ProcName, int InputCount) const override;
    QString QuoteObjectName(const QString &Name) const override;
    QString QuoteColumnName(const QString &Name) const override;
    // MariaDB and MySQL quote names in backticks (double quotes make a
    // string) and keep a bare name's letter case; "<=>" is their NULL-safe
    // equality.
    QString QuoteIdent(const QString &Name) const override;
    QString NullSafeEqual() const override { return QStringLiteral("<=>"); }

    MYSQL *conn() const
    {
        if (!m_conn)
            throw EOvDatabaseError(QStringLiteral("not connected"));
        return m_conn;
    }
    // Raises the connection's last error. A connection found lost is
    // closed, so that IsConnected reports it and the next open reconnects.
    [[noreturn]] void fail() const;
    [[noreturn]] void fail(MYSQL_STMT *S) const;
    [[noreturn]] void raise(unsigned Code, const QString &Message) const;
    // Prepares SQL (placeholders "?N"), binds Params and runs it; raises on
    // failure. AsCursor: a statement that returns no rows is not run (null
    // is returned).
    // Refused tells whether a failure came before anything ran.
    Stmt run(const QString &SQL, const QVariantList &Params, bool AsCursor,
             bool *Refused = nullptr) const;
    // Binds Params to the prepared S (Order as positionalSQL gave it) and
    // runs it; raises on failure.
    void execute(MYSQL_STMT *S, const std::vector<int> &Order, const QVariantList &Params) const;
    // Runs one catalogue query of the driver's own with text parameters
    // bound (a null QString binds NULL); all rows.
    std::vector<QVariantList> query(const char *SQL, const QStringList &Params = {}) const;

private:
    // The routine a name names: its database, name and kind ("PROCEDURE",
    // "FUNCTION"); an empty Kind when there is none.
    struct RoutineRef
    {
        QString Schema, Name, Kind;
    };
    RoutineRef routine(const QString &ProcName) const;
    QStringList listTables(bool SystemTables, const QString &Pattern) const;
    friend class MyCursor;
    mutable MYSQL *m_conn = nullptr;
    qint64 m_maxResultBytes = qint64(1024) << 20;
    // The catalogue look-ups query has prepared, by their text (the
    // driver's own constants).
    mutable std::map<const char *, Stmt> m_lookups;
    std::vector<MyCursor *> m_cursors; // not yet at their end
};

} // namespace ovmy
