#pragma once

// Internal to the PostgreSQL driver: the driver class and what its two
// source files share (PostgreSQLDriver.cpp: connection, statements, values;
// PostgreSQLCatalogue.cpp: catalogue look-ups and routines).

#include "orvlib/OvDriver.h"

#include <QByteArrayList>
#include <QList>
#include <QString>
#include <QStringList>

#include <libpq-fe.h>

#include <functional>
#include <memory>

namespace ovpg {

// Type oids of pg_type that the driver maps (they never change).
enum : Oid {
    BoolOid = 16,
    ByteaOid = 17,
    CharOid = 18,
    NameOid = 19,
    Int8Oid = 20,
    Int2Oid = 21,
    Int4Oid = 23,
    TextOid = 25,
    OidOid = 26,
    Float4Oid = 700,
    Float8Oid = 701,
    BpcharOid = 1042,
    VarcharOid = 1043,
    DateOid = 1082,
    TimeOid = 1083,
    TimestampOid = 1114,
    TimestamptzOid = 1184,
    TimetzOid = 1266,
    NumericOid = 1700,
    VoidOid = 2278,
};

// The library's field type for a server type.
TFieldType fieldTypeOf(Oid Type);

struct ResultDeleter
{
    void operator()(PGresult *R) const { PQclear(R); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// The result columns R describes (no origins).
QList<TFieldDesc> describeResult(const PGresult *R);

// Row Row, column Col of R as text (the server sends UTF-8).
QString text(const Result &R, int Row, int Col);

// An object name split as the server reads "[schema.]name": a quoted part
// keeps its case (a doubled quote is one quote), an unquoted part is trimmed
// and its ASCII letters folded to lower case (kept as written without Fold).
// More than two parts, an empty part or a stray quote leave Valid false:
// such a name names nothing.
struct ObjName
{
    QString Schema;
    QString Name;
    bool Valid = false;
};

ObjName parseObjName(const QString &Text, bool Fold = true);

// A routine as the catalogue describes it.
struct Routine
{
    struct Arg
    {
        QString Name;    // empty when unnamed
        char Mode = 'i'; // i in, o out, b inout, v variadic, t table column
        Oid Type = 0;
        QString TypeName;
        bool isInput() const { return Mode == 'i' || Mode == 'b' || Mode == 'v'; }
    };
    bool IsProcedure = false;
    QString QualifiedName; // quoted, with its schema
    Oid ReturnType = 0;
    QString ReturnTypeName;
    bool ScalarResult = false;
    QList<Arg> Args;
};

class PostgreSQLDriver;

// A query's result, read a page at a time (see TOvCursor): a cursor the
// server keeps past the transaction it was declared in (WITH HOLD), fetched
// from, and closed at the end, when the dataset closes, or with the
// connection.
class PgCursor final : public TOvCursor
{
public:
    // InTransaction: declared inside the user's transaction, whose rollback
    // takes it.
    PgCursor(PostgreSQLDriver *Driver, QByteArray Name, bool InTransaction);
    ~PgCursor() override;
    // The rows a dataset asks for first unless told otherwise: a cursor
    // declared outside a transaction fetches them with its open.
    static constexpr int FirstPage = 100;
    int FetchRows(std::vector<QVariantList> &Rows, int Count) override;
    // Takes R, the answer to a fetch of Count rows, as the next page.
    void TakePage(const PGresult *R, int Count);
    // Forgets the cursor: the connection is going, and the server's cursor with it.
    void abandon();

private:
    // Fetches up to Count rows into the read-ahead; a failure is kept, the
    // cursor closed, and the error raised.
    void readPage(int Count);
    // Closes the server's cursor and leaves the driver.
    void close();

    PostgreSQLDriver *m_driver;
    QByteArray m_name;
    bool m_inTransaction;
    qint64 m_read = 0; // rows fetched so far
    TOvReadAhead m_readAhead;
    QString m_error, m_serverError;
};

// One connection to a PostgreSQL server.
class PostgreSQLDriver final : public TOvDriver
{
public:
    ~PostgreSQLDriver() override { Disconnect(); }

    TOvServerType ServerType() const override { return TOvServerType::stPostgreSQL; }
    bool NeedsLogin() const override { return true; }
    bool IsConnected() const override { return m_conn && PQstatus(m_conn) == CONNECTION_OK; }
    bool ObjOwnerSupported() const override { return true; }
    bool DescribesProcedures() const override { return true; }
    QString Placeholder(int Index) const override { return QStringLiteral("$%1").arg(Index + 1); }

    void Connect(const QString &RemoteDatabase, const TStrings &Params) override;
    void Disconnect() override;
    TOvResult Execute(const QString &SQL, const QVariantList &Params) override;
    std::unique_ptr<TOvCursor> OpenCursor(const QString &SQL, const QVariantList &Params) override;
    TOvStatementInfo Describe(const QString &SQL) override;
    QStringList TableNames(bool SystemTables) override;
    QStringList MatchingTableNames(bool SystemTables, const QString &Pattern) override;
    QStringList SystemTableNames(const QString &Pattern) override;
    QList<TOvColumnInfo> Columns(const QString &TableName) override;
    QStringList ColumnNames(const QString &TableName) override;
    QList<TOvIndexColumn> IndexColumns(const QString &TableName) override;
    QStringList ProcedureNames() override;
    QList<TOvProcParamInfo> ProcedureParams(const QString &ProcName) override;
    bool ProcedureExists(const QString &ProcName) override { return routineOid(ProcName) != 0; }
    QString ProcedureCallSQL(const QString &ProcName, int InputCount) const override;
    QString QuoteObjectName(const QString &Name) const override;
    bool IsReadOnlyTable(const QString &TableName) override;
    // The server folds a bare name's ASCII letters to lower case and leaves
    // other letters as written: a name is bare only in lower-case ASCII.
    bool IsPlainName(const QString &Name) const override;
    QString UnquotedName(const QString &Name) const override;
    std::vector<TOvAnswer<TOvStatementInfo>> DescribeMany(const QStringList &SQL) override;
    std::vector<TOvAnswer<QList<TOvColumnInfo>>> ColumnsMany(const QStringList &Tables) override;
    std::vector<TOvAnswer<QList<TOvIndexColumn>>>
    IndexColumnsMany(const QStringList &Tables) override;

private:
    PGconn *conn() const
    {
        if (!m_conn)
            throw EOvDatabaseError(QStringLiteral("not connected"));
        return m_conn;
    }
    // Runs a catalogue query whose parameters are text; raises on failure.
    // SQL is one statement of the driver's own.
    Result query(const char *SQL, const QStringList &Params = {}) const;
    // Raises the error of R (or of the connection). A connection found broken
    // is closed, so that IsConnected reports it and the next open reconnects.
    [[noreturn]] void fail(const PGresult *R) const;
    // The error R (or the connection) reports.
    EOvDatabaseError errorOf(const PGresult *R) const;

    // Look-ups asked for together (PostgreSQLBatch.cpp). Each runs twice:
    // first query() only notes the query it is asked for and answers with
    // no rows; the noted queries then travel in one pipeline; the second
    // time query() hands out their answers instead of asking the server.
    // The catalogue code stays the one that single look-ups run, so a batch
    // answers as they do. A query not noted the first time (one that
    // depends on an earlier answer) runs as usual.
    struct Batch;
    void batched(const std::function<void()> &Each);
    // The noted query's answer or error while a batch is answered; null
    // when the query was not noted, or while a batch is noted.
    Result batchAnswer(const char *SQL, const QStringList &Params) const;
    // Sends Count requests in one pipeline (one round trip; each refusal
    // costs one more for the requests after it): Send sends request I as
    // CommandsEach commands, Read takes their results. Outside a transaction
    // only: false there, and nothing was sent.
    bool pipeline(int Count, int CommandsEach, const std::function<bool(int)> &Send,
                  const std::function<void(int, std::vector<Result> &)> &Read);
    Batch *m_batch = nullptr;
    // The table (or view) Name names, 0 for none; Found receives the parts
    // that found it.
    Oid tableOid(const QString &Name, ObjName *Found = nullptr) const;
    // Table names of a scope (TableScope) matching Pattern, sorted.
    QStringList listTables(int Scope, const QString &Pattern) const;
    Oid routineOid(const QString &Name) const;
    Routine routine(const QString &Name) const;
    void readOrigins(const PGresult *R, QList<TFieldDesc> &Fields) const;
    // Runs SQL with Params bound as the library binds values.
    Result execParams(const QByteArray &SQL, const QVariantList &Params) const;
    // Outside a transaction: declares the cursor Name for SQL in a
    // transaction of its own, commits it and fetches the first page, all in
    // one pipeline. Null when the connection cannot pipeline.
    std::unique_ptr<TOvCursor> openPipelined(const QString &SQL, const QVariantList &Params,
                                             const QByteArray &Name);
    // Runs a command that must succeed; raises otherwise.
    void command(const char *SQL) const;
    // Closes the server's cursor Name; in an aborted transaction, once the
    // transaction has ended (closeForgottenCursors). Never raises.
    void closeCursor(const QByteArray &Name);
    void closeForgottenCursors();
    // Whether the session still has the cursor Name (a lost connection counts as yes).
    bool cursorExists(const QByteArray &Name) const;
    friend class PgCursor;
    // Mutable: a const look-up that finds the connection broken closes it.
    mutable PGconn *m_conn = nullptr;
    std::vector<PgCursor *> m_cursors; // not yet at their end
    QByteArrayList m_forgottenCursors; // ended while a transaction was aborted
    quint64 m_cursorCount = 0;         // names each cursor of the session
};

} // namespace ovpg
