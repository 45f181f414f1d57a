#pragma once

#include "orvlib/DB.h"
#include "orvlib/OvTypes.h"

#include "rtl/Classes.h"
#include "rtl/SysUtils.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

// An error reported by a database server; Message() holds the server's own text.
class EOvDatabaseError : public Exception
{
public:
    explicit EOvDatabaseError(const QString &Message, const QString &ServerMessage = QString())
        : Exception(Message)
        , m_serverMessage(ServerMessage.isEmpty() ? Message : ServerMessage)
    {}
    const QString &ServerMessage() const { return m_serverMessage; }
    // The server gave up waiting for a lock another connection holds.
    bool Locked() const { return m_locked; }
    EOvDatabaseError &SetLocked(bool Value)
    {
        m_locked = Value;
        return *this;
    }
    // The server refused a statement because an object it names is missing
    // or changed: what was read of the catalogue may be out of date.
    bool SchemaChanged() const { return m_schemaChanged; }
    EOvDatabaseError &SetSchemaChanged(bool Value)
    {
        m_schemaChanged = Value;
        return *this;
    }
    // The server asks for a password and none was given.
    bool NeedsPassword() const { return m_needsPassword; }
    EOvDatabaseError &SetNeedsPassword(bool Value)
    {
        m_needsPassword = Value;
        return *this;
    }

private:
    QString m_serverMessage;
    bool m_locked = false;
    bool m_needsPassword = false;
    bool m_schemaChanged = false;
};

// The rows of a statement, read to the end.
struct TOvResult
{
    QList<TFieldDesc> Fields;
    std::vector<QVariantList> Rows;
    qint64 RowsAffected = -1;
};

// The rows of a query, handed out as they are asked for. They are one
// result of one run of the query: each row once, in the query's order, as
// the data stood when the cursor was opened, and whatever the query does
// besides reading (a function that writes, a sequence) done once. Between
// two reads a cursor holds nothing that blocks another session (no
// statement, no lock, no transaction of its own): a partly read result
// blocks no writer, and any statement runs on its connection at once, the
// cursor's own dataset writing its rows included, without reading the
// cursor on or changing the rows it hands out. A driver runs the query to
// its end at the open and keeps the result where it costs least: the
// server keeps it (a cursor that outlives its transaction), or the driver
// keeps it in memory up to a bound, past which a read raises a message
// that says so. Fetching from a kept result may read ahead in pages that
// grow with what was read (PageSize), so reading to the end costs little
// more than one read. A row that fails ends the rows: the rows before it
// are handed out and every read after them raises the error, or, where the
// server keeps the result, the open fails with it. A result the server
// keeps ends with the connection: the cursor's next read raises.
class TOvCursor : public TRowSource
{
public:
    QList<TFieldDesc> Fields;
    // Rows changed by the statements of the text that return no rows; -1 when none ran.
    qint64 RowsAffected = -1;

    // How many rows to read for a request of Count rows after Read rows.
    static int PageSize(int Count, qint64 Read);
    // Whether two reads of a row gave the same values (NaN is NaN): for a
    // driver that compares rows.
    static bool SameRow(const QVariantList &A, const QVariantList &B);
};

// Rows a cursor read before they were asked for (the rest of its last page),
// handed out in order before any row read later.
struct TOvReadAhead
{
    std::vector<QVariantList> Rows;
    size_t Next = 0;
    // Moves up to Count of the rows not yet handed out to the end of Out and
    // returns how many; the storage is released once all are handed out.
    int TakeInto(std::vector<QVariantList> &Out, int Count);
    bool Empty() const { return Next == Rows.size(); }
};

struct TOvColumnInfo
{
    QString Name;
    int Position = 0; // from 1
    QString TypeName;
    TFieldType DataType = TFieldType::ftUnknown;
    bool Nullable = true;
    // Computed by the database from other columns: it can be read, never written.
    bool Generated = false;
    // An identity column the server numbers itself and that takes no written
    // value (GENERATED ALWAYS AS IDENTITY); one made BY DEFAULT takes values.
    bool IdentityAlways = false;
    // The table itself can never be written through (a materialized view);
    // the same on every column of a table, so its columns answer
    // IsReadOnlyTable without asking the server again.
    bool ReadOnlyTable = false;
};

// One column of one index, as index information lists it.
struct TOvIndexColumn
{
    QString IndexName;
    int IndexType = 0; // itPrimary | itUnique | itExpression
    QString ColumnName;
    int Position = 0; // from 1
};

// What a server reports of a statement it prepared without running it.
struct TOvStatementInfo
{
    // The result columns; none for a statement that returns no rows.
    QList<TFieldDesc> Fields;
    // The distinct parameter markers, in placeholder order (DescribeStatement
    // fills them; a driver leaves them empty).
    QStringList ParamNames;
};

struct TOvProcParamInfo
{
    QString Name;
    int Position = 0; // from 1
    TParamType ParamType = TParamType::ptInput;
    TFieldType DataType = TFieldType::ftUnknown;
    QString TypeName;
};

// The answer to one request of a batch: its value, or the error that
// refused it (that request alone).
template<class T>
struct TOvAnswer
{
    T Value;
    std::shared_ptr<EOvDatabaseError> Error; // null when answered
};

// One connection to one database server. A driver translates the library's
// requests into the server's API; the components never see the API. Names
// handed to the catalogue operations come from users: a driver binds them as
// parameters or quotes them by its server's rules, never pastes them into SQL.
// Object names may be owner-qualified ("schema.table", each part optionally
// in double quotes); a driver without owners resolves them in its default
// namespace.
class TOvDriver
{
public:
    virtual ~TOvDriver();

    virtual TOvServerType ServerType() const = 0;
    // Opens the connection; raises EOvDatabaseError with the server's message.
    // Params: name=value lines (USER NAME, PASSWORD, CREATE, ...).
    virtual void Connect(const QString &RemoteDatabase, const TStrings &Params) = 0;
    virtual void Disconnect() = 0;
    virtual bool IsConnected() const = 0;
    // Whether a connection needs a user name and password (a login prompt).
    virtual bool NeedsLogin() const = 0;

    // Runs one statement whose parameters are written as Placeholder(i),
    // i from 0, with the values Params[i]; reads all rows.
    virtual TOvResult Execute(const QString &SQL, const QVariantList &Params) = 0;
    // As Execute, but the rows of a single query are read as they are asked
    // for. Anything else (several statements, statements that change data)
    // runs at once, as Execute runs it, and its rows are handed out from
    // memory; so does every statement of a driver that reads no other way.
    virtual std::unique_ptr<TOvCursor> OpenCursor(const QString &SQL, const QVariantList &Params);
    virtual QString Placeholder(int Index) const = 0;
    // Prepares SQL (parameters written as Placeholder(i)) on the server and
    // reports its result columns, without running it: no row is read and
    // nothing the statement would change is changed, and no named statement
    // is left behind on the server. Raises EOvDatabaseError with the server's
    // message when the server refuses the statement. The base raises: a
    // driver that cannot prepare without running says so.
    virtual TOvStatementInfo Describe(const QString &SQL);

    virtual bool ObjOwnerSupported() const = 0;
    // Tables and views; system tables only with SystemTables.
    virtual QStringList TableNames(bool SystemTables) = 0;
    // The names of TableNames(SystemTables) that match the wildcard Pattern
    // ("*" any run, "?" one character, case ignored, every other character
    // itself; empty matches all), in the same order. A driver may let its
    // server filter, as long as the answer stays the same.
    virtual QStringList MatchingTableNames(bool SystemTables, const QString &Pattern);
    // The system tables alone: the names TableNames(true) lists and
    // TableNames(false) does not, in the former's order, matching Pattern.
    virtual QStringList SystemTableNames(const QString &Pattern);
    // Columns of a table, in table order; empty for an unknown table.
    virtual QList<TOvColumnInfo> Columns(const QString &TableName) = 0;
    // Only the column names, in table order (a driver may read less for them).
    virtual QStringList ColumnNames(const QString &TableName);
    // Index columns of a table, ordered by index, then position.
    virtual QList<TOvIndexColumn> IndexColumns(const QString &TableName) = 0;
    virtual QStringList ProcedureNames() = 0;
    // Parameters of a procedure in order; raises when there is no such procedure.
    virtual QList<TOvProcParamInfo> ProcedureParams(const QString &ProcName) = 0;
    virtual bool ProcedureExists(const QString &ProcName) = 0;
    // Whether the server describes procedure parameters in its catalogue.
    virtual bool DescribesProcedures() const = 0;
    // The statement that calls a procedure with N input placeholders.
    virtual QString ProcedureCallSQL(const QString &ProcName, int InputCount) const = 0;

    // Batches: the answers to several requests, in the order asked, each
    // as the single call gives it. A driver sends a batch in a fixed number
    // of round trips where its server allows (a refused request may cost
    // one more for those after it); the base asks one by one.
    virtual std::vector<TOvAnswer<TOvStatementInfo>> DescribeMany(const QStringList &SQL);
    virtual std::vector<TOvAnswer<QList<TOvColumnInfo>>> ColumnsMany(const QStringList &Tables);
    virtual std::vector<TOvAnswer<QList<TOvIndexColumn>>>
    IndexColumnsMany(const QStringList &Tables);

    // A quoted, possibly owner-qualified object name for statements.
    virtual QString QuoteObjectName(const QString &Name) const;
    // A quoted column name (names from the catalogue keep their case).
    virtual QString QuoteColumnName(const QString &Name) const;
    // Whether the rows of the table or view can never be written through it
    // (a materialized view): statements that write it are refused before
    // they are made. The base: false.
    virtual bool IsReadOnlyTable(const QString &TableName);

    // --- The server's rules for names and keys. They need no connection:
    // IdentifierRules hands out an unconnected driver of a server type to ask
    // them, so statements can be written for a server that is not reached.
    // A driver whose server reads names otherwise (other quotes, other
    // letter-case folding) or compares NULLs otherwise overrides them.

    // Whether Name, written bare in a statement, reads back on this server as
    // exactly Name: a plain identifier that is no reserved word and has no
    // letter the server folds. The base: IsPlainIdentifier of the server type
    // (letter case kept, as SQLite reads names).
    virtual bool IsPlainName(const QString &Name) const;
    // Name in the server's identifier quotes (the base: double quotes, an
    // inner one doubled); read back, it is exactly Name.
    virtual QString QuoteIdent(const QString &Name) const;
    // The name the server reads for Name written bare. The base: Name itself.
    virtual QString UnquotedName(const QString &Name) const { return Name; }
    // The operator that compares two values as equal also when both are
    // NULL, for keys whose index holds NULLs as equal. The base: "is not
    // distinct from", the standard's.
    virtual QString NullSafeEqual() const { return QStringLiteral("is not distinct from"); }
};

// The rules of ServerType (see TOvDriver::IsPlainName and the functions after
// it), asked of an unconnected driver made once per server type; raises when
// no driver is registered for it.
const TOvDriver &IdentifierRules(TOvServerType ServerType);

// The index that addresses one row of a table, and its columns in key order.
struct TOvRowKey
{
    QString IndexName;
    QStringList Columns;
    // The index holds NULLs as equal and some of its columns may be NULL:
    // those columns are compared with the driver's NullSafeEqual.
    QStringList NullSafeColumns;
};

// The row key among Indexes (as IndexColumns lists them): the primary key,
// else the first unique index of plain columns (no expression, no where
// clause) whose columns are all NOT NULL, or which holds NULLs as equal.
// A unique index on a column that may be NULL is no key: rows whose value is
// NULL would be matched by nothing. Nullable holds the case-folded names of
// the table's columns that may be NULL. Nothing when there is no key.
std::optional<TOvRowKey> ChooseRowKey(const QList<TOvIndexColumn> &Indexes,
                                      const QSet<QString> &Nullable);

// Describes SQL written with the library's :name parameter markers (markers
// inside literals, quoted names and comments are left alone), as
// TOvDriver::Describe does: each distinct marker becomes one placeholder and
// is listed in ParamNames. Nothing is run.
TOvStatementInfo DescribeStatement(TOvDriver &Driver, const QString &SQL);
// DescribeStatement for several texts at once, through DescribeMany.
std::vector<TOvAnswer<TOvStatementInfo>> DescribeStatements(TOvDriver &Driver,
                                                            const QStringList &SQL);

using TOvDriverFactory = std::function<std::unique_ptr<TOvDriver>()>;
// Makes a driver available for a server type (the library registers its own).
void RegisterDriver(TOvServerType ServerType, TOvDriverFactory Factory);
// A new, unconnected driver; raises when none is registered for ServerType.
std::unique_ptr<TOvDriver> CreateDriver(TOvServerType ServerType);
bool HasDriver(TOvServerType ServerType);
