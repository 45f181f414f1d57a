// The MariaDB and MySQL driver, over the MariaDB C client library.
//
// RemoteDatabase names the server and the database: "host[:port]/database"
// (an IPv6 host in brackets, "[::1]:3306/sales"), or "database" alone for the
// local server, reached through its socket. Params: USER NAME and PASSWORD;
// port and socket; connect_timeout (seconds, default 5); the SSL options
// ssl (true: refuse a connection without TLS), ssl_ca, ssl_capath, ssl_cert,
// ssl_key, ssl_cipher, ssl_crl, ssl_verify_server_cert, tls_version, passed
// to the client library as given; and the session's waits, lock_wait_timeout
// and innodb_lock_wait_timeout (seconds, default 10 each) and
// max_statement_time (seconds, default 0: no limit); MAX RESULT MB (the most
// of a query's result a dataset holds, default 1024). Lines of other server
// types are ignored. The character set is always utf8mb4. Affected-row counts
// count the rows a statement found, so that an update that writes the values
// a row already holds still counts the row.
//
// Values keep what the server holds: BIGINT UNSIGNED reads as an unsigned
// 64-bit number, DECIMAL as a number while a double holds its digits and as
// text beyond, DATETIME and TIME with more than millisecond digits as text
// to the microsecond, BIT as a number, ENUM, SET and JSON as text, binary
// strings and BLOBs as bytes. A zero date ('0000-00-00', or a date with a
// zero month or day) names no day: reading one fails with the column's name
// instead of handing on a value that would be written back as another.
//
// Parameters are always bound through a prepared statement, never written
// into the text. Catalogue look-ups and routines: MySQLCatalogue.cpp.

#include "MySQLDriver.h"
#include "orvlib/OvCommon.h"
#include "orvlib/OvComponents.h"
#include "orvlib/OvConsts.h"
#include "orvlib/OvDlgsParams.h"
#include "orvlib/OvSQLLexer.h"

#include <errmsg.h>
#include <mysqld_error.h>

#include <algorithm>
#include <cstring>

namespace ovmy {

// --- Connection

void MySQLDriver::Connect(const QString &RemoteDatabase, const TStrings &Params)
{
    Disconnect();
    const TOvPgAddress address = ParsePgRemoteDatabase(RemoteDatabase.trimmed());
    QByteArray host = address.Host.toUtf8(), database = address.Database.toUtf8();
    QByteArray user, password, socket;
    unsigned port = address.Port.toUInt();
    unsigned connectTimeout = 5;
    QList<std::pair<QByteArray, QByteArray>> waits{{"lock_wait_timeout", "10"},
                                                   {"innodb_lock_wait_timeout", "10"}};
    MYSQL *m = mysql_init(nullptr);
    if (!m)
        throw EOvDatabaseError(QStringLiteral("out of memory"));
    std::unique_ptr<MYSQL, void (*)(MYSQL *)> guard(m, mysql_close);
    for (int i = 0; i < Params.Count(); ++i) {
        const QString name = Params.Names(i).trimmed().toLower();
        const QString value = Params.ValueFromIndex(i).trimmed();
        const QByteArray bytes = Params.ValueFromIndex(i).toUtf8();
        const bool on = value == u"1" || value.compare(u"true", Qt::CaseInsensitive) == 0
                        || value.compare(u"yes", Qt::CaseInsensitive) == 0;
        const my_bool flag = on ? 1 : 0;
        if (name == u"user name")
            user = bytes;
        else if (name == u"password")
            password = bytes;
        else if (name == u"port")
            port = value.toUInt();
        else if (name == u"socket")
            socket = bytes;
        else if (name == u"max result mb") {
            const qint64 mb = value.toLongLong();
            m_maxResultBytes = (mb > 0 ? mb : 1024) << 20;
        } else if (name == u"connect_timeout")
            connectTimeout = value.toUInt();
        else if (name == u"ssl")
            mysql_optionsv(m, MYSQL_OPT_SSL_ENFORCE, &flag);
        else if (name == u"ssl_verify_server_cert")
            mysql_optionsv(m, MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &flag);
        else if (name == u"ssl_ca")
            mysql_optionsv(m, MYSQL_OPT_SSL_CA, bytes.constData());
        else if (name == u"ssl_capath")
            mysql_optionsv(m, MYSQL_OPT_SSL_CAPATH, bytes.constData());
        else if (name == u"ssl_cert")
            mysql_optionsv(m, MYSQL_OPT_SSL_CERT, bytes.constData());
        else if (name == u"ssl_key")
            mysql_optionsv(m, MYSQL_OPT_SSL_KEY, bytes.constData());
        else if (name == u"ssl_cipher")
            mysql_optionsv(m, MYSQL_OPT_SSL_CIPHER, bytes.constData());
        else if (name == u"ssl_crl")
            mysql_optionsv(m, MYSQL_OPT_SSL_CRL, bytes.constData());
        else if (name == u"tls_version")
            mysql_optionsv(m, MARIADB_OPT_TLS_VERSION, bytes.constData());
        else if (name == u"lock_wait_timeout" || name == u"innodb_lock_wait_timeout"
                 || name == u"max_statement_time") {
            bool ok;
            value.toDouble(&ok);
            if (!ok)
                throw EOvDatabaseError(
                    QStringLiteral("%1 must be a number of seconds, not \"%2\"").arg(name, value));
            waits.removeIf([&](const auto &W) { return W.first == name.toLatin1(); });
            waits.append({name.toLatin1(), value.toLatin1()});
        }
    }
    mysql_optionsv(m, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    mysql_optionsv(m, MYSQL_OPT_CONNECT_TIMEOUT, &connectTimeout);
    const my_bool noLocalFiles = 0;
    mysql_optionsv(m, MYSQL_OPT_LOCAL_INFILE, &noLocalFiles);
    const unsigned long flags = CLIENT_MULTI_STATEMENTS | CLIENT_MULTI_RESULTS | CLIENT_FOUND_ROWS;
    auto orNull = [](const QByteArray &B) {
        return B.isEmpty() ? nullptr : B.constData();
    };
    if (!mysql_real_connect(m, orNull(host), orNull(user), password.constData(), orNull(database),
                            port, orNull(socket), flags)) {
        const QString msg = QString::fromUtf8(mysql_error(m));
        const bool denied = mysql_errno(m) == ER_ACCESS_DENIED_ERROR;
        throw EOvDatabaseError(msg, msg).SetNeedsPassword(denied && password.isEmpty());
    }
    m_conn = guard.release();
    QByteArray set = "set session ";
    for (const auto &[name, value] : std::as_const(waits))
        set += name + " = " + value + (name == waits.last().first ? "" : ", ");
    if (mysql_real_query(m_conn, set.constData(), (unsigned long)set.size()))
        fail();
}

void MySQLDriver::Disconnect()
{
    while (!m_cursors.empty())
        m_cursors.back()->abandon();
    m_lookups.clear();
    if (m_conn)
        mysql_close(m_conn);
    m_conn = nullptr;
}

namespace {

bool lost(unsigned Code)
{
    return Code == CR_SERVER_GONE_ERROR || Code == CR_SERVER_LOST || Code == CR_CONNECTION_ERROR;
}

bool lockError(unsigned Code)
{
    return Code == ER_LOCK_WAIT_TIMEOUT || Code == ER_LOCK_DEADLOCK;
}

} // namespace

void MySQLDriver::fail() const
{
    if (!m_conn)
        throw EOvDatabaseError(QStringLiteral("not connected"));
    raise(mysql_errno(m_conn), QString::fromUtf8(mysql_error(m_conn)));
}

void MySQLDriver::fail(MYSQL_STMT *S) const
{
    raise(mysql_stmt_errno(S), QString::fromUtf8(mysql_stmt_error(S)));
}

void MySQLDriver::raise(unsigned Code, const QString &Message) const
{
    if (lost(Code)) {
        const_cast<MySQLDriver *>(this)->Disconnect();
        throw EOvDatabaseError(QStringLiteral("Connection to the server lost: %1").arg(Message),
                               Message);
    }
    throw EOvDatabaseError(Message, Message).SetLocked(lockError(Code));
}

// --- Statements

Stmt MySQLDriver::run(const QString &SQL, const QVariantList &Params, bool AsCursor,
                      bool *Refused) const
{
    std::vector<int> order;
    const QByteArray sql = positionalSQL(SQL, order);
    Stmt s(mysql_stmt_init(conn()));
    if (!s)
        fail();
    if (Refused)
        *Refused = true;
    if (mysql_stmt_prepare(s.get(), sql.constData(), (unsigned long)sql.size()))
        fail(s.get());
    if (AsCursor && mysql_stmt_field_count(s.get()) == 0)
        return nullptr;
    if (Refused)
        *Refused = false;
    execute(s.get(), order, Params);
    return s;
}

void MySQLDriver::execute(MYSQL_STMT *S, const std::vector<int> &Order,
                          const QVariantList &Params) const
{
    const unsigned count = mysql_stmt_param_count(S);
    if (count != Order.size())
        throw EOvDatabaseError(
            QStringLiteral("The statement has %1 parameters where %2 were written")
                .arg(count)
                .arg(Order.size()));
    // The bound values are read when the statement runs, below.
    std::vector<ParamValue> values(count);
    std::vector<MYSQL_BIND> binds(count);
    for (unsigned i = 0; i < count; ++i) {
        const int index = Order[i];
        // "?0": a procedure's OUT parameter, bound to null.
        if (index < -1 || index >= Params.size())
            throw EOvDatabaseError(
                QStringLiteral("No value was given for parameter %1").arg(index + 1));
        bindValue(index < 0 ? QVariant() : Params.at(index), binds[i], values[i]);
    }
    if (count > 0 && mysql_stmt_bind_param(S, binds.data()))
        fail(S);
    if (mysql_stmt_execute(S))
        fail(S);
}

namespace {

// The rows of S after it ran: the first result with columns; later
// results (a procedure's status) are read and dropped.
void readStmtResult(MySQLDriver &D, MYSQL_STMT *S, TOvResult &Result)
{
    for (;;) {
        if (mysql_stmt_field_count(S) > 0) {
            std::unique_ptr<MYSQL_RES, void (*)(MYSQL_RES *)> meta(mysql_stmt_result_metadata(S),
                                                                   mysql_free_result);
            if (!meta)
                D.fail(S);
            RowReader reader(S, meta.get());
            std::vector<QVariantList> rows;
            QVariantList row;
            while (reader.next(row))
                rows.push_back(row);
            if (Result.Fields.isEmpty()) {
                Result.Fields = reader.fields();
                Result.Rows = std::move(rows);
            }
        } else {
            const my_ulonglong n = mysql_stmt_affected_rows(S);
            if (n != my_ulonglong(-1))
                Result.RowsAffected = std::max<qint64>(Result.RowsAffected, 0) + qint64(n);
        }
        const int more = mysql_stmt_next_result(S);
        if (more > 0)
            D.fail(S);
        if (more != 0)
            return;
    }
}

} // namespace

TOvResult MySQLDriver::Execute(const QString &SQL, const QVariantList &Params)
{
    MYSQL *c = conn();
    TOvResult result;
    if (!Params.isEmpty()) {
        const Stmt s = run(SQL, Params, false);
        readStmtResult(*this, s.get(), result);
        return result;
    }
    // Without parameters the text may hold several statements; the rows of
    // the first that returns rows count, the changes of the others add up.
    const QByteArray sql = SQL.toUtf8();
    if (mysql_real_query(c, sql.constData(), (unsigned long)sql.size()))
        fail();
    for (;;) {
        if (MYSQL_RES *res = mysql_store_result(c)) {
            std::unique_ptr<MYSQL_RES, void (*)(MYSQL_RES *)> owned(res, mysql_free_result);
            if (result.Fields.isEmpty()) {
                result.Fields = describeFields(res, c->db);
                const MYSQL_FIELD *f = mysql_fetch_fields(res);
                const unsigned n = mysql_num_fields(res);
                result.Rows.reserve(size_t(mysql_num_rows(res)));
                while (MYSQL_ROW row = mysql_fetch_row(res)) {
                    const unsigned long *lengths = mysql_fetch_lengths(res);
                    QVariantList values;
                    values.reserve(n);
                    for (unsigned i = 0; i < n; ++i)
                        values << (row[i] ? textValue(f[i], row[i], lengths[i]) : QVariant());
                    result.Rows.push_back(std::move(values));
                }
            }
        } else if (mysql_field_count(c) == 0) {
            result.RowsAffected
                = std::max<qint64>(result.RowsAffected, 0) + qint64(mysql_affected_rows(c));
        } else {
            fail();
        }
        const int more = mysql_next_result(c);
        if (more > 0)
            fail();
        if (more != 0)
            return result;
    }
}

std::unique_ptr<TOvCursor> MySQLDriver::OpenCursor(const QString &SQL, const QVariantList &Params)
{
    // Only a single query that the server prepares is kept by the cursor;
    // the rest runs the plain way, which also reports a statement
    // that is simply wrong. A query that fails while running is not run
    // again.
    if (!LooksLikeQuery(SQL))
        return TOvDriver::OpenCursor(SQL, Params);
    Stmt s;
    bool refused = false;
    try {
        s = run(SQL, Params, true, &refused);
    } catch (const EOvDatabaseError &) {
        if (!refused || !m_conn)
            throw;
    }
    if (!s)
        return TOvDriver::OpenCursor(SQL, Params);
    std::unique_ptr<MYSQL_RES, void (*)(MYSQL_RES *)> meta(mysql_stmt_result_metadata(s.get()),
                                                           mysql_free_result);
    if (!meta)
        fail(s.get());
    auto reader = std::make_unique<RowReader>(s.get(), meta.get());
    return std::make_unique<MyCursor>(this, std::move(s), std::move(reader), m_maxResultBytes);
}

TOvStatementInfo MySQLDriver::Describe(const QString &SQL)
{
    // Preparing never runs the statement; closing it leaves nothing behind.
    std::vector<int> order;
    const QByteArray sql = positionalSQL(SQL, order);
    Stmt s(mysql_stmt_init(conn()));
    if (!s)
        fail();
    if (mysql_stmt_prepare(s.get(), sql.constData(), (unsigned long)sql.size()))
        fail(s.get());
    TOvStatementInfo info;
    if (mysql_stmt_field_count(s.get()) > 0) {
        std::unique_ptr<MYSQL_RES, void (*)(MYSQL_RES *)> meta(mysql_stmt_result_metadata(s.get()),
                                                               mysql_free_result);
        if (meta)
            info.Fields = describeFields(meta.get(), m_conn->db);
    }
    return info;
}

// --- Cursor

MyCursor::MyCursor(MySQLDriver *Driver, Stmt S, std::unique_ptr<RowReader> Reader, qint64 MaxBytes)
    : m_driver(Driver)
    , m_reader(std::move(Reader))
{
    Fields = m_reader->fields();
    try {
        while (m_reader->fetch()) {
            keepRow();
            if (m_rows.Kept() > MaxBytes) {
                m_error = SResultTooLarge().arg(MaxBytes >> 20);
                break;
            }
        }
    } catch (const EOvDatabaseError &e) {
        m_error = e.Message();
    }
    // Closing the statement drops the rows not read (past the bound) and
    // leaves nothing on the server.
    S.reset();
    // Nothing to hand out but the failure: the open fails.
    if (m_rows.Empty() && !m_error.isEmpty())
        throw EOvDatabaseError(m_error, m_error);
    Driver->m_cursors.push_back(this);
}

MyCursor::~MyCursor()
{
    close();
}

void MyCursor::keepRow()
{
    char *p = m_rows.RowEnd();
    for (unsigned i = 0, n = m_reader->columnCount(); i < n; ++i) {
        const char *data;
        unsigned long length;
        if (!m_reader->raw(i, data, length)) {
            p = m_rows.Reserve(p, 1);
            *p++ = 0;
            continue;
        }
        const quint32 size = quint32(length);
        p = m_rows.Reserve(p, 5 + size_t(size));
        *p = 1;
        std::memcpy(p + 1, &size, 4);
        if (size > 0)
            std::memcpy(p + 5, data, size);
        p += 5 + size;
    }
    m_rows.EndRow(p);
}

QVariantList MyCursor::takeRow()
{
    const unsigned n = m_reader->columnCount();
    QVariantList row;
    row.reserve(qsizetype(n));
    const char *p = m_rows.Front();
    for (unsigned i = 0; i < n; ++i) {
        if (*p++ == 0) {
            row << QVariant();
            continue;
        }
        quint32 size;
        std::memcpy(&size, p, 4);
        row << m_reader->value(i, p + 4, size);
        p += 4 + size;
    }
    m_rows.Consumed(p);
    return row;
}

void MyCursor::close()
{
    m_rows.Clear();
    if (MySQLDriver *d = std::exchange(m_driver, nullptr))
        std::erase(d->m_cursors, this);
}

void MyCursor::abandon()
{
    if (m_driver && !m_rows.Empty() && m_error.isEmpty())
        m_error = QStringLiteral("The connection was closed before all rows were read");
    close();
}

int MyCursor::FetchRows(std::vector<QVariantList> &Rows, int Count)
{
    int n = 0;
    try {
        for (; n < Count && !m_rows.Empty(); ++n)
            Rows.push_back(takeRow());
    } catch (const EOvDatabaseError &e) {
        // A value the library cannot hold (a zero date) ends the rows.
        m_error = e.Message();
        close();
        throw;
    }
    if (n < Count && !m_error.isEmpty())
        throw EOvDatabaseError(m_error, m_error);
    if (m_rows.Empty())
        close();
    return n;
}

} // namespace ovmy

std::unique_ptr<TOvDriver> createMySQLDriver()
{
    return std::make_unique<ovmy::MySQLDriver>();
}
