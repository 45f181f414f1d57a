// The SQLite driver: the embedded default server. RemoteDatabase is the
// database file (":memory:" for a private in-memory database). A file that
// does not exist is an error unless the parameter CREATE is true, so a typo
// never leaves a new empty database behind. Parameters: CREATE, READONLY
// (true/false, 1/0, yes/no), BUSY TIMEOUT (milliseconds, default 5000),
// MAX RESULT MB (the most of a query's result a cursor holds, default 1024).
// SQLite has no owners beyond attached schemas and no stored procedures.

#include "orvlib/OvCommon.h"
#include "orvlib/OvConsts.h"
#include "orvlib/OvDriver.h"
#include "orvlib/OvRowStore.h"
#include "orvlib/OvSQLLexer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <algorithm>
#include <cstring>

#include <sys/stat.h>

namespace {

bool paramIsTrue(const TStrings &Params, const char *Name)
{
    const QString v = Params.Values(QString::fromLatin1(Name)).trimmed();
    return v == QLatin1String("1") || v.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0
           || v.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0;
}

TFieldType fieldTypeOf(const QString &DeclType)
{
    // SQLite's type affinity rules, in their order.
    const QString t = DeclType.toUpper();
    if (t.contains(QLatin1String("INT")))
        return TFieldType::ftLargeint;
    if (t.contains(QLatin1String("CHAR")) || t.contains(QLatin1String("CLOB")))
        return TFieldType::ftString;
    if (t.contains(QLatin1String("TEXT")))
        return TFieldType::ftMemo;
    if (t.contains(QLatin1String("BLOB")))
        return TFieldType::ftBlob;
    if (t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("FLOA"))
        || t.contains(QLatin1String("DOUB")) || t.contains(QLatin1String("NUM"))
        || t.contains(QLatin1String("DEC")))
        return TFieldType::ftFloat;
    if (t.contains(QLatin1String("BOOL")))
        return TFieldType::ftBoolean;
    if (t.contains(QLatin1String("DATE")) || t.contains(QLatin1String("TIME")))
        return TFieldType::ftDateTime;
    return TFieldType::ftUnknown;
}

QString text16(const void *P)
{
    return P ? QString::fromUtf16(static_cast<const char16_t *>(P)) : QString();
}

// A prepared statement, finalized on every way out.
class Stmt
{
public:
    Stmt(sqlite3 *Db, const QString &SQL, qsizetype *TailOffset = nullptr)
        : m_db(Db)
    {
        const void *tail = nullptr;
        const auto *start = reinterpret_cast<const char16_t *>(SQL.utf16());
        const int rc = sqlite3_prepare16_v3(Db, start, int(SQL.size() * sizeof(char16_t)), 0,
                                            &m_stmt, &tail);
        if (rc != SQLITE_OK)
            fail();
        if (TailOffset)
            *TailOffset = tail ? static_cast<const char16_t *>(tail) - start : SQL.size();
    }
    // A statement the connection keeps prepared in Slot (see m_indexColumns):
    // used once, then reset, which ends its read transaction, and left
    // prepared for the next use.
    Stmt(sqlite3 *Db, sqlite3_stmt *&Slot, const QString &SQL)
        : m_db(Db)
        , m_kept(true)
    {
        if (!Slot) {
            const auto *start = reinterpret_cast<const char16_t *>(SQL.utf16());
            if (sqlite3_prepare16_v3(Db, start, int(SQL.size() * sizeof(char16_t)),
                                     SQLITE_PREPARE_PERSISTENT, &Slot, nullptr)
                != SQLITE_OK)
                fail();
        }
        m_stmt = Slot;
    }
    ~Stmt()
    {
        if (!m_kept) {
            sqlite3_finalize(m_stmt);
        } else if (m_stmt) {
            sqlite3_reset(m_stmt);
            sqlite3_clear_bindings(m_stmt);
        }
    }
    Stmt(const Stmt &) = delete;
    Stmt &operator=(const Stmt &) = delete;

    sqlite3_stmt *get() const { return m_stmt; }
    // Hands the statement over; the caller finalizes it.
    sqlite3_stmt *release() { return std::exchange(m_stmt, nullptr); }
    explicit operator bool() const { return m_stmt != nullptr; }

    void bind(int Index, const QVariant &Value)
    {
        int rc = SQLITE_OK;
        if (Value.isNull()) {
            rc = sqlite3_bind_null(m_stmt, Index);
        } else {
            switch (Value.typeId()) {
            case QMetaType::Bool:
            case QMetaType::Int:
            case QMetaType::UInt:
            case QMetaType::LongLong:
            case QMetaType::ULongLong:
            case QMetaType::Long:
            case QMetaType::Short:
                rc = sqlite3_bind_int64(m_stmt, Index, Value.toLongLong());
                break;
            case QMetaType::Double:
            case QMetaType::Float:
                rc = sqlite3_bind_double(m_stmt, Index, Value.toDouble());
                break;
            case QMetaType::QByteArray: {
                // An empty blob is no NULL: SQLite reads a null pointer as one.
                const QByteArray b = Value.toByteArray();
                rc = b.isEmpty() ? sqlite3_bind_zeroblob(m_stmt, Index, 0)
                                 : sqlite3_bind_blob64(m_stmt, Index, b.constData(),
                                                       quint64(b.size()), SQLITE_TRANSIENT);
                break;
            }
            default: {
                const QString s = Value.toString();
                rc = sqlite3_bind_text16(m_stmt, Index, s.utf16(), int(s.size() * sizeof(char16_t)),
                                         SQLITE_TRANSIENT);
            }
            }
        }
        if (rc != SQLITE_OK)
            fail();
    }
    void bind(int Index, const QString &Value) { bind(Index, QVariant(Value)); }

    // True while a row is available.
    bool step()
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            fail();
        return false;
    }
    // UTF-8 is the database's own encoding here: no conversion inside SQLite.
    QString text(int Col) const
    {
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, Col));
        return p ? QString::fromUtf8(p, sqlite3_column_bytes(m_stmt, Col)) : QString();
    }
    qint64 integer(int Col) const { return sqlite3_column_int64(m_stmt, Col); }
    bool isNull(int Col) const { return sqlite3_column_type(m_stmt, Col) == SQLITE_NULL; }

    [[noreturn]] void fail() const
    {
        const QString msg = QString::fromUtf8(sqlite3_errmsg(m_db));
        throw EOvDatabaseError(msg, msg).SetLocked((sqlite3_errcode(m_db) & 0xff) == SQLITE_BUSY);
    }

private:
    sqlite3 *m_db;
    sqlite3_stmt *m_stmt = nullptr;
    bool m_kept = false;
};

// Binds Params to the placeholders of St: "?N" placeholders carry their
// number, anonymous ones take their position.
void bindAll(Stmt &St, const QVariantList &Params)
{
    const int count = sqlite3_bind_parameter_count(St.get());
    for (int i = 1; i <= count; ++i) {
        const char *name = sqlite3_bind_parameter_name(St.get(), i);
        const int index = name && name[0] == '?' ? std::atoi(name + 1) - 1 : i - 1;
        St.bind(i, index >= 0 && index < Params.size() ? Params.at(index) : QVariant());
    }
}

QList<TFieldDesc> describe(sqlite3_stmt *St)
{
    QList<TFieldDesc> fields;
    const int cols = sqlite3_column_count(St);
    for (int c = 0; c < cols; ++c) {
        TFieldDesc f;
        f.Name = text16(sqlite3_column_name16(St, c));
        f.DataType = fieldTypeOf(QString::fromUtf8(sqlite3_column_decltype(St, c)));
        f.OriginTable = QString::fromUtf8(sqlite3_column_table_name(St, c));
        f.OriginColumn = QString::fromUtf8(sqlite3_column_origin_name(St, c));
        fields << f;
    }
    return fields;
}

// The current row of St.
QVariantList readRow(sqlite3_stmt *St, int Cols)
{
    QVariantList row;
    row.reserve(Cols);
    for (int c = 0; c < Cols; ++c) {
        switch (sqlite3_column_type(St, c)) {
        case SQLITE_INTEGER:
            row << QVariant(sqlite3_column_int64(St, c));
            break;
        case SQLITE_FLOAT:
            row << QVariant(sqlite3_column_double(St, c));
            break;
        case SQLITE_BLOB: {
            const auto *p = static_cast<const char *>(sqlite3_column_blob(St, c));
            row << QVariant(QByteArray(p, sqlite3_column_bytes(St, c)));
            break;
        }
        case SQLITE_NULL:
            row << QVariant();
            break;
        default: {
            // UTF-8 is the database's own encoding here: no conversion inside SQLite.
            const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(St, c));
            row << QVariant(QString::fromUtf8(p, sqlite3_column_bytes(St, c)));
        }
        }
    }
    return row;
}

// Whether Text holds a statement (anything but blanks, comments and ";").
bool holdsStatement(const QString &Text)
{
    TOvSQLLexer lexer(Text);
    for (TOvSQLToken t = lexer.Next(); t.kind != TOvSQLToken::End; t = lexer.Next()) {
        if (!t.isSymbol(';'))
            return true;
    }
    return false;
}

// A query's result, read to its end when the cursor is made and kept in
// memory, each value in SQLite's own form (a type byte, then 8 bytes or a
// length and the bytes), until it is handed out: the statement is finalized
// at once, so the read transaction and its lock end with the open. Rows are
// handed out in the query's order, each once; a row that fails, or a result
// past MaxBytes, ends the rows, and every read after the last of them
// raises the error.
class SQLiteCursor final : public TOvCursor
{
public:
    SQLiteCursor(sqlite3_stmt *St, qint64 MaxBytes);
    int FetchRows(std::vector<QVariantList> &Rows, int Count) override;

private:
    enum Tag : char { Null, Integer, Float, Text, Blob };
    // Keeps the current row of St.
    void append(sqlite3_stmt *St);
    QVariantList takeRow();

    int m_cols = 0;
    TOvRowStore m_rows;
    QString m_error;
    bool m_locked = false;
};

// A table name as the table list shows it: as it is, unless the look-ups
// would read it otherwise (a dot read as an owner separator, quotes and
// surrounding blanks removed); such a name is listed in double quotes.
QString listedName(const QString &Name)
{
    const bool plain
        = !Name.isEmpty() && !Name.contains(u'.') && !Name.contains(u'"') && Name == Name.trimmed();
    return plain ? Name : QuoteIdentifier(Name, true);
}

class SQLiteDriver final : public TOvDriver
{
public:
    ~SQLiteDriver() override { Disconnect(); }

    TOvServerType ServerType() const override { return TOvServerType::stSQLite; }
    bool NeedsLogin() const override { return false; }
    bool IsConnected() const override { return m_db != nullptr; }
    bool ObjOwnerSupported() const override { return false; }
    bool DescribesProcedures() const override { return false; }
    QString Placeholder(int Index) const override { return QStringLiteral("?%1").arg(Index + 1); }

    void Connect(const QString &RemoteDatabase, const TStrings &Params) override;
    void Disconnect() override;
    TOvResult Execute(const QString &SQL, const QVariantList &Params) override;
    std::unique_ptr<TOvCursor> OpenCursor(const QString &SQL, const QVariantList &Params) override;
    TOvStatementInfo Describe(const QString &SQL) override;
    QStringList TableNames(bool SystemTables) override;
    QList<TOvColumnInfo> Columns(const QString &TableName) override;
    QStringList ColumnNames(const QString &TableName) override;
    QList<TOvIndexColumn> IndexColumns(const QString &TableName) override;
    QStringList ProcedureNames() override { return {}; }
    QList<TOvProcParamInfo> ProcedureParams(const QString &ProcName) override
    {
        throw EOvDatabaseError(SStoredProcNotFound().arg(ProcName));
    }
    bool ProcedureExists(const QString &) override { return false; }
    QString ProcedureCallSQL(const QString &ProcName, int) const override
    {
        throw EOvDatabaseError(SStoredProcNotFound().arg(ProcName));
    }

private:
    sqlite3 *db() const
    {
        if (!m_db)
            throw EOvDatabaseError(QStringLiteral("not connected"));
        return m_db;
    }
    // Splits Name into schema and table; false when the schema is not one of
    // the connection's (then the table does not exist).
    bool resolve(const QString &Name, QString &Schema, QString &Table);
    sqlite3 *m_db = nullptr;
    qint64 m_maxResultBytes = 0;
    // Look-ups a catalogue browser repeats table after table, prepared once
    // for the connection. SQLite prepares them again by itself when the
    // schema changes; the names are bound, never part of the text.
    sqlite3_stmt *m_indexColumns = nullptr;
};

SQLiteCursor::SQLiteCursor(sqlite3_stmt *St, qint64 MaxBytes)
    : m_cols(sqlite3_column_count(St))
{
    Fields = describe(St);
    sqlite3 *db = sqlite3_db_handle(St);
    int rc;
    while ((rc = sqlite3_step(St)) == SQLITE_ROW) {
        append(St);
        if (m_rows.Kept() > MaxBytes) {
            m_error = SResultTooLarge().arg(MaxBytes >> 20);
            break;
        }
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        m_error = QString::fromUtf8(sqlite3_errmsg(db));
        m_locked = (sqlite3_errcode(db) & 0xff) == SQLITE_BUSY;
    }
    sqlite3_finalize(St);
    // Nothing to hand out but the failure: the open fails.
    if (m_rows.Kept() == 0 && !m_error.isEmpty())
        throw EOvDatabaseError(m_error, m_error).SetLocked(m_locked);
}

void SQLiteCursor::append(sqlite3_stmt *St)
{
    char *p = m_rows.RowEnd();
    for (int c = 0; c < m_cols; ++c) {
        const int type = sqlite3_column_type(St, c);
        if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
            p = m_rows.Reserve(p, 9);
            *p = type == SQLITE_INTEGER ? Integer : Float;
            if (type == SQLITE_INTEGER) {
                const qint64 v = sqlite3_column_int64(St, c);
                std::memcpy(p + 1, &v, 8);
            } else {
                const double v = sqlite3_column_double(St, c);
                std::memcpy(p + 1, &v, 8);
            }
            p += 9;
        } else if (type == SQLITE_NULL) {
            p = m_rows.Reserve(p, 1);
            *p++ = Null;
        } else {
            // UTF-8 is the database's own encoding here: no conversion inside SQLite.
            const void *v
                = type == SQLITE_BLOB ? sqlite3_column_blob(St, c) : sqlite3_column_text(St, c);
            const qint32 n = sqlite3_column_bytes(St, c);
            p = m_rows.Reserve(p, 5 + size_t(n));
            *p = type == SQLITE_BLOB ? Blob : Text;
            std::memcpy(p + 1, &n, 4);
            if (n > 0)
                std::memcpy(p + 5, v, size_t(n));
            p += 5 + n;
        }
    }
    m_rows.EndRow(p);
}

QVariantList SQLiteCursor::takeRow()
{
    QVariantList row;
    row.reserve(m_cols);
    const char *p = m_rows.Front();
    for (int c = 0; c < m_cols; ++c) {
        const char tag = *p++;
        if (tag == Integer || tag == Float) {
            qint64 i;
            double d;
            std::memcpy(tag == Integer ? static_cast<void *>(&i) : &d, p, 8);
            row << (tag == Integer ? QVariant(i) : QVariant(d));
            p += 8;
        } else if (tag == Text || tag == Blob) {
            qint32 n;
            std::memcpy(&n, p, 4);
            p += 4;
            row << (tag == Text ? QVariant(QString::fromUtf8(p, n)) : QVariant(QByteArray(p, n)));
            p += n;
        } else {
            row << QVariant();
        }
    }
    m_rows.Consumed(p);
    return row;
}

int SQLiteCursor::FetchRows(std::vector<QVariantList> &Rows, int Count)
{
    int n = 0;
    for (; n < Count && !m_rows.Empty(); ++n)
        Rows.push_back(takeRow());
    if (n < Count && !m_error.isEmpty())
        throw EOvDatabaseError(m_error, m_error).SetLocked(m_locked);
    return n;
}

void SQLiteDriver::Connect(const QString &RemoteDatabase, const TStrings &Params)
{
    Disconnect();
    const QString file = RemoteDatabase.trimmed();
    const bool memory = file == QLatin1String(":memory:");
    const bool create = paramIsTrue(Params, "CREATE");
    const bool readOnly = paramIsTrue(Params, "READONLY");
    // Named with the folder it was looked for in: a relative name is
    // relative to the working folder, which a person cannot see.
    const QString shown = QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath());
    struct stat st;
    const bool exists = !memory && ::stat(QFile::encodeName(file).constData(), &st) == 0;
    if (!memory && !create && !exists)
        throw EOvDatabaseError(SDatabaseFileNotFound().arg(shown));
    // A folder, a device or a pipe is no database: SQLite would report it
    // as a missing table or a disk error, and a pipe would hang the open.
    if (exists && !S_ISREG(st.st_mode))
        throw EOvDatabaseError(SNotARegularFile().arg(shown));
    // READONLY opens for writing where the file allows it, and the
    // connection refuses every write (query_only): only a connection that
    // may write can end a write-ahead log, and the last one to close ends
    // it and removes its files, which a reader that cannot write leaves
    // behind.
    int flags = SQLITE_OPEN_READWRITE;
    if (create && !readOnly)
        flags |= SQLITE_OPEN_CREATE;
    flags |= SQLITE_OPEN_NOMUTEX;
    sqlite3 *handle = nullptr;
    const int rc = sqlite3_open_v2(file.toUtf8().constData(), &handle, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString msg = handle ? QString::fromUtf8(sqlite3_errmsg(handle))
                                   : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close_v2(handle);
        throw EOvDatabaseError(QStringLiteral("%1: %2").arg(file, msg),
                               QStringLiteral("%1: %2").arg(file, msg));
    }
    bool ok = false;
    const int timeout = Params.Values(QStringLiteral("BUSY TIMEOUT")).toInt(&ok);
    sqlite3_busy_timeout(handle, ok ? timeout : 5000);
    sqlite3_extended_result_codes(handle, 1);
    m_db = handle;
    const qint64 maxMB = Params.Values(QStringLiteral("MAX RESULT MB")).toLongLong(&ok);
    m_maxResultBytes = (ok && maxMB > 0 ? maxMB : 1024) << 20;
    // Opening reads nothing; read the schema now, so that a file that is no
    // database fails here and not at the first look-up.
    try {
        Stmt probe(m_db, QStringLiteral("select count(*) from sqlite_schema"));
        probe.step();
        if (readOnly)
            Stmt(m_db, QStringLiteral("pragma query_only = 1")).step();
    } catch (const EOvDatabaseError &e) {
        Disconnect();
        const QString msg = QStringLiteral("%1: %2").arg(file, e.ServerMessage());
        throw EOvDatabaseError(msg, msg).SetLocked(e.Locked());
    }
}

void SQLiteDriver::Disconnect()
{
    sqlite3_finalize(std::exchange(m_indexColumns, nullptr));
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

TOvResult SQLiteDriver::Execute(const QString &SQL, const QVariantList &Params)
{
    TOvResult result;
    QString rest = SQL;
    // Several statements run in order; the rows of the last one that returns
    // rows are the result.
    while (!rest.trimmed().isEmpty()) {
        qsizetype tail = 0;
        Stmt st(db(), rest, &tail);
        if (!st) { // only blanks or comments were left
            break;
        }
        bindAll(st, Params);
        const int cols = sqlite3_column_count(st.get());
        if (cols > 0) {
            result.Fields = describe(st.get());
            result.Rows.clear();
        }
        while (st.step())
            result.Rows.push_back(readRow(st.get(), cols));
        if (cols == 0)
            result.RowsAffected = sqlite3_changes64(m_db);
        rest = rest.mid(tail);
    }
    return result;
}

std::unique_ptr<TOvCursor> SQLiteDriver::OpenCursor(const QString &SQL, const QVariantList &Params)
{
    qsizetype tail = 0;
    Stmt st(db(), SQL, &tail);
    // Only a single query that reads is stepped lazily; the rest runs at once.
    if (!st || sqlite3_column_count(st.get()) == 0 || !sqlite3_stmt_readonly(st.get())
        || holdsStatement(SQL.mid(tail)))
        return TOvDriver::OpenCursor(SQL, Params);
    bindAll(st, Params);
    return std::make_unique<SQLiteCursor>(st.release(), m_maxResultBytes);
}

TOvStatementInfo SQLiteDriver::Describe(const QString &SQL)
{
    // Each statement of the text is compiled and finalized unstepped: SQLite
    // runs nothing before sqlite3_step. The columns are those of the last
    // statement that returns rows.
    TOvStatementInfo info;
    QString rest = SQL;
    while (!rest.trimmed().isEmpty()) {
        qsizetype tail = 0;
        Stmt st(db(), rest, &tail);
        if (!st)
            break;
        if (sqlite3_column_count(st.get()) > 0)
            info.Fields = describe(st.get());
        rest = rest.mid(tail);
    }
    return info;
}

QStringList SQLiteDriver::TableNames(bool SystemTables)
{
    QStringList names;
    Stmt st(db(), SystemTables ? QStringLiteral("select name from sqlite_schema"
                                                " where type in ('table', 'view') order by name")
                               : QStringLiteral("select name from sqlite_schema"
                                                " where type in ('table', 'view')"
                                                " and name not like 'sqlite\\_%' escape '\\'"
                                                " order by name"));
    while (st.step())
        names << listedName(st.text(0));
    if (SystemTables)
        names << QStringLiteral("sqlite_schema");
    return names;
}

bool SQLiteDriver::resolve(const QString &Name, QString &Schema, QString &Table)
{
    // SQLite reads a name as a C string: "a\0b" would find table a.
    if (Name.contains(QChar(u'\0')))
        return false;
    SplitObjName(Name, Schema, Table);
    if (Schema.isEmpty()) {
        Schema = QStringLiteral("main");
        return true;
    }
    Stmt st(db(),
            QStringLiteral("select 1 from pragma_database_list where name = ?1 collate nocase"));
    st.bind(1, Schema);
    return st.step();
}

QList<TOvColumnInfo> SQLiteDriver::Columns(const QString &TableName)
{
    QList<TOvColumnInfo> columns;
    QString schema, table;
    if (!resolve(TableName, schema, table) || table.isEmpty())
        return columns;
    // table_xinfo lists generated columns too (hidden 2 and 3); hidden 1 are
    // the hidden columns of a virtual table, which "*" does not show.
    Stmt st(db(), QStringLiteral("select name, type, \"notnull\", hidden"
                                 " from pragma_table_xinfo(?1, ?2) where hidden <> 1"));
    st.bind(1, table);
    st.bind(2, schema);
    while (st.step()) {
        TOvColumnInfo c;
        c.Position = int(columns.size()) + 1;
        c.Name = st.text(0);
        c.TypeName = st.text(1);
        c.DataType = fieldTypeOf(c.TypeName);
        c.Nullable = st.integer(2) == 0;
        c.Generated = st.integer(3) >= 2;
        columns << c;
    }
    return columns;
}

QStringList SQLiteDriver::ColumnNames(const QString &TableName)
{
    QStringList names;
    QString schema, table;
    if (!resolve(TableName, schema, table) || table.isEmpty())
        return names;
    Stmt st(db(), QStringLiteral("select name from pragma_table_xinfo(?1, ?2) where hidden <> 1"));
    st.bind(1, table);
    st.bind(2, schema);
    while (st.step())
        names << st.text(0);
    return names;
}

QList<TOvIndexColumn> SQLiteDriver::IndexColumns(const QString &TableName)
{
    QList<TOvIndexColumn> result;
    QString schema, table;
    if (!resolve(TableName, schema, table) || table.isEmpty())
        return result;

    // One statement, so one lock and one look at the file's state: every
    // key column of every index, and, for a table whose key is the rowid
    // (an INTEGER PRIMARY KEY has no index of its own), the key's columns
    // under the name "PRIMARY". An expression key has no column name. The
    // check for a key index is the outer loop of the second part, so a
    // table's columns are not read when it has one.
    Stmt st(db(), m_indexColumns,
            QStringLiteral("select il.name, il.\"unique\", il.origin, il.partial, ii.seqno, ii.name"
                           " from pragma_index_list(?1, ?2) il, pragma_index_info(il.name, ?2) ii"
                           " union all"
                           " select 'PRIMARY', 1, 'pk', 0, ti.pk - 1, ti.name"
                           " from (select 1 where not exists (select 1"
                           " from pragma_index_list(?1, ?2) where origin = 'pk'))"
                           " cross join pragma_table_info(?1, ?2) ti where ti.pk > 0"));
    st.bind(1, table);
    st.bind(2, schema);
    while (st.step()) {
        int type = st.integer(1) ? itUnique : 0;
        const auto *origin = reinterpret_cast<const char *>(sqlite3_column_text(st.get(), 2));
        if (origin && std::strcmp(origin, "pk") == 0)
            type |= itPrimary | itUnique;
        if (st.integer(3))
            type |= itPartial;
        if (st.isNull(5))
            type |= itExpression; // for now the row's; below the whole index's
        result.append({st.text(0), type, st.text(5), int(st.integer(4)) + 1});
    }

    // The primary key first, then the others by name, each in key order.
    std::sort(result.begin(), result.end(), [](const TOvIndexColumn &a, const TOvIndexColumn &b) {
        const bool pa = a.IndexType & itPrimary, pb = b.IndexType & itPrimary;
        if (pa != pb)
            return pa;
        if (a.IndexName != b.IndexName)
            return a.IndexName < b.IndexName;
        return a.Position < b.Position;
    });
    // An index with an expression is marked whole: its plain columns are
    // not its key.
    for (qsizetype first = 0, next = 0; first < result.size(); first = next) {
        int expression = 0;
        for (next = first;
             next < result.size() && result[next].IndexName == result[first].IndexName; ++next)
            expression |= result[next].IndexType & itExpression;
        for (qsizetype i = first; i < next; ++i)
            result[i].IndexType |= expression;
    }
    return result;
}

} // namespace

std::unique_ptr<TOvDriver> createSQLiteDriver()
{
    return std::make_unique<SQLiteDriver>();
}
