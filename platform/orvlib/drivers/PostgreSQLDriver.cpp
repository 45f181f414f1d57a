// The PostgreSQL driver, over libpq.
//
// RemoteDatabase names the server and the database in one of three forms:
//   "host[:port]/dbname"  e.g. "db.example.com:5433/sales", "[::1]:5432/sales";
//                         a host that starts with "/" is a socket directory
//                         ("/var/run/postgresql/sales")
//   "dbname"              a database on the local server, reached the way
//                         libpq reaches it by default (PGHOST, PGPORT, socket)
//   a libpq connection string or URI, recognised by an "=" or the
//                         "postgresql://" / "postgres://" prefix:
//                         "host=db port=5433 dbname=sales", "postgresql://db/sales"
// Params: USER NAME and PASSWORD give libpq's user and password. Any other
// line whose name is a libpq keyword (sslmode, connect_timeout, options,
// application_name, ...; letter case ignored) is passed on unchanged. BUSY
// TIMEOUT (milliseconds, default 5000) bounds every wait for a lock, as on
// SQLite. Lines of other server types (CREATE, READONLY, ...) are ignored,
// so one set of default parameters serves every server type. Params win
// over what RemoteDatabase says. connect_timeout defaults to 5 seconds, so
// a server that does not answer fails fast; the client encoding is always
// UTF8.
//
// Catalogue look-ups and stored procedures: PostgreSQLCatalogue.cpp.

#include "PostgreSQLDriver.h"
#include "orvlib/OvCommon.h"
#include "orvlib/OvComponents.h"
#include "orvlib/OvConsts.h"
#include "orvlib/OvDlgsParams.h"
#include "orvlib/OvSQLLexer.h"

#include <QDateTime>
#include <QHash>
#include <QLocale>

#include <algorithm>
#include <cmath>

namespace ovpg {

TFieldType fieldTypeOf(Oid Type)
{
    switch (Type) {
    case BoolOid:
        return TFieldType::ftBoolean;
    case Int2Oid:
    case Int4Oid:
    case OidOid:
        return TFieldType::ftInteger;
    case Int8Oid:
        return TFieldType::ftLargeint;
    case Float4Oid:
    case Float8Oid:
    case NumericOid:
        return TFieldType::ftFloat;
    case TextOid:
        return TFieldType::ftMemo;
    case ByteaOid:
        return TFieldType::ftBlob;
    case DateOid:
    case TimeOid:
    case TimetzOid:
    case TimestampOid:
    case TimestamptzOid:
        return TFieldType::ftDateTime;
    case VoidOid:
        return TFieldType::ftUnknown;
    default:
        return TFieldType::ftString; // everything else arrives as its text form
    }
}

QString text(const Result &R, int Row, int Col)
{
    return QString::fromUtf8(PQgetvalue(R.get(), Row, Col), PQgetlength(R.get(), Row, Col));
}

namespace {

// "HH:MM:SS[.fraction][+HH[:MM[:SS]]]" as the server writes times with
// DateStyle ISO. Offset is in seconds east of UTC; HasOffset tells whether
// the text had one.
bool parseTime(QStringView S, QTime &Time, int &Offset, bool &HasOffset)
{
    if (S.size() < 8 || S[2] != u':' || S[5] != u':')
        return false;
    bool ok1, ok2, ok3;
    const int h = S.mid(0, 2).toInt(&ok1), m = S.mid(3, 2).toInt(&ok2), s = S.mid(6, 2).toInt(&ok3);
    if (!ok1 || !ok2 || !ok3)
        return false;
    qsizetype i = 8;
    int ms = 0;
    if (i < S.size() && S[i] == u'.') {
        const qsizetype start = ++i;
        while (i < S.size() && S[i].isDigit())
            ++i;
        const QStringView fraction = S.mid(start, i - start);
        // A time holds milliseconds: finer digits (the server keeps
        // microseconds) leave the value in its text, which loses nothing.
        for (qsizetype d = 3; d < fraction.size(); ++d) {
            if (fraction[d] != u'0')
                return false;
        }
        ms = (fraction.left(3).toString() + QStringLiteral("000")).left(3).toInt();
    }
    HasOffset = false;
    Offset = 0;
    if (i < S.size()) {
        if (S[i] != u'+' && S[i] != u'-')
            return false;
        const int sign = S[i] == u'+' ? 1 : -1;
        const QStringList parts = S.mid(i + 1).toString().split(u':');
        int factor = 3600;
        for (const QString &p : parts) {
            bool ok;
            Offset += p.toInt(&ok) * factor;
            if (!ok || factor == 0)
                return false;
            factor /= 60;
        }
        Offset *= sign;
        HasOffset = true;
    }
    Time = QTime(h, m, s, ms);
    return Time.isValid();
}

// The shortest text that reads back as exactly Value, as the server writes
// a float8 ("0.1", "-0", "1e+300").
QByteArray shortestText(double Value)
{
    if (Value == 0 && std::signbit(Value))
        return QByteArrayLiteral("-0"); // Qt writes -0.0 as "0"
    return QByteArray::number(Value, 'g', QLocale::FloatingPointShortest);
}

// One value in the server's text form, as the library hands it on. A value
// the library's type cannot hold exactly stays text, so that writing it back
// writes what was read: one that does not parse (infinity, a BC date), a
// time finer than a millisecond, a numeric a double does not hold digit for
// digit (more digits, trailing zeros of its scale).
QVariant decodeValue(Oid Type, const char *Text, int Length)
{
    const QByteArray raw = QByteArray::fromRawData(Text, Length);
    bool ok = true;
    QVariant v;
    switch (Type) {
    case BoolOid:
        return QVariant(Length > 0 && Text[0] == 't');
    case Int2Oid:
    case Int4Oid:
        v = raw.toInt(&ok);
        break;
    case OidOid:
    case Int8Oid:
        v = raw.toLongLong(&ok);
        break;
    case Float4Oid:
    case Float8Oid:
        v = raw.toDouble(&ok);
        break;
    case NumericOid: {
        // AsString then loses nothing; AsFloat still converts the text.
        const double d = raw.toDouble(&ok);
        if (!ok || shortestText(d) != raw)
            return QString::fromLatin1(raw);
        v = d;
        break;
    }
    case ByteaOid: {
        size_t size = 0;
        unsigned char *bytes
            = PQunescapeBytea(reinterpret_cast<const unsigned char *>(Text), &size);
        if (!bytes)
            break;
        QByteArray data(reinterpret_cast<const char *>(bytes), qsizetype(size));
        PQfreemem(bytes);
        return data;
    }
    case DateOid: {
        // "yyyy-mm-dd" alone: Qt would read "0044-03-15 BC" as a date AD.
        const QDate d
            = Length == 10 ? QDate::fromString(QString::fromLatin1(raw), Qt::ISODate) : QDate();
        ok = d.isValid();
        v = d;
        break;
    }
    case TimetzOid:
        // A time of day holds no offset from UTC: the text keeps it.
        return QString::fromLatin1(raw);
    case TimeOid:
    case TimestampOid:
    case TimestamptzOid: {
        const QString s = QString::fromLatin1(raw);
        const bool withDate = Type == TimestampOid || Type == TimestamptzOid;
        const QDate d = withDate ? QDate::fromString(s.left(10), Qt::ISODate) : QDate();
        QTime t;
        int offset = 0;
        bool hasOffset = false;
        ok = (!withDate || (d.isValid() && s.size() > 11 && s[10] == u' '))
             && parseTime(QStringView(s).mid(withDate ? 11 : 0), t, offset, hasOffset);
        if (ok && !withDate)
            v = t;
        else if (ok)
            v = hasOffset ? QDateTime(d, t, Qt::OffsetFromUTC, offset) : QDateTime(d, t);
        break;
    }
    default:
        return QString::fromUtf8(Text, Length);
    }
    return ok ? v : QVariant(QString::fromUtf8(Text, Length));
}

// The keywords libpq knows, lower case.
const QStringList &libpqKeywords()
{
    static const QStringList keywords = [] {
        QStringList list;
        PQconninfoOption *options = PQconndefaults();
        for (PQconninfoOption *o = options; o && o->keyword; ++o)
            list << QString::fromLatin1(o->keyword);
        PQconninfoFree(options);
        return list;
    }();
    return keywords;
}

void forwardNotice(void *, const char *Message)
{
    TOvMonitor::Trace(QString::fromUtf8(Message).trimmed());
}

} // namespace

void PostgreSQLDriver::Connect(const QString &RemoteDatabase, const TStrings &Params)
{
    Disconnect();
    // Later entries override earlier ones; the expanded connection string
    // comes after the defaults and before Params.
    QList<std::pair<QByteArray, QByteArray>> entries{{"connect_timeout", "5"},
                                                     {"fallback_application_name", "OrvLib240"}};
    const QString target = RemoteDatabase.trimmed();
    const bool connString = target.contains(u'=')
                            || target.startsWith(u"postgresql://", Qt::CaseInsensitive)
                            || target.startsWith(u"postgres://", Qt::CaseInsensitive);
    if (connString) {
        entries.append({"dbname", target.toUtf8()});
    } else {
        // The short forms, read as the remote-database dialog reads them.
        const TOvPgAddress address = ParsePgRemoteDatabase(target);
        entries.append({"host", address.Host.toUtf8()});
        entries.append({"port", address.Port.toUtf8()});
        entries.append({"dbname", address.Database.toUtf8()});
    }
    for (int i = 0; i < Params.Count(); ++i) {
        const QString name = Params.Names(i).trimmed();
        const QString value = Params.ValueFromIndex(i);
        if (name.compare(u"USER NAME", Qt::CaseInsensitive) == 0)
            entries.append({"user", value.toUtf8()});
        else if (name.compare(u"PASSWORD", Qt::CaseInsensitive) == 0)
            entries.append({"password", value.toUtf8()});
        else if (libpqKeywords().contains(name.toLower()) && name.toLower() != u"client_encoding")
            entries.append({name.toLower().toLatin1(), value.toUtf8()});
    }
    entries.append({QByteArray("client_encoding"), QByteArray("UTF8")});

    std::vector<const char *> keys, values;
    for (const auto &[key, value] : std::as_const(entries)) {
        keys.push_back(key.constData());
        values.push_back(value.constData());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    PGconn *c = PQconnectdbParams(keys.data(), values.data(), connString ? 1 : 0);
    if (!c || PQstatus(c) != CONNECTION_OK) {
        const QString msg
            = c ? QString::fromUtf8(PQerrorMessage(c)).trimmed() : QStringLiteral("out of memory");
        // libpq never prompts; it reports that a password was wanted.
        const bool needsPassword = c && PQconnectionNeedsPassword(c);
        PQfinish(c);
        throw EOvDatabaseError(msg, msg).SetNeedsPassword(needsPassword);
    }
    PQsetNoticeProcessor(c, forwardNotice, nullptr);
    m_conn = c;
    // Dates and times are read back in ISO form. A statement waits at most
    // BUSY TIMEOUT milliseconds (5000 by default) for a lock another session
    // holds, then fails naming the lock: a look-up, a prepare or a check
    // never waits without end. A lock_timeout the connection's own options
    // set is kept unless BUSY TIMEOUT is given.
    bool given = false;
    const int timeout = Params.Values(QStringLiteral("BUSY TIMEOUT")).trimmed().toInt(&given);
    given = given && timeout >= 0;
    const QByteArray ms = QByteArray::number(given ? timeout : 5000);
    query(("set datestyle to 'ISO'; select set_config('lock_timeout', '" + ms + "', false)"
           + (given ? "" : " where current_setting('lock_timeout') = '0'"))
              .constData());
}

void PostgreSQLDriver::fail(const PGresult *R) const
{
    EOvDatabaseError error = errorOf(R);
    if (m_conn && PQstatus(m_conn) != CONNECTION_OK) {
        PQfinish(m_conn);
        m_conn = nullptr;
        const QString msg = error.ServerMessage();
        throw EOvDatabaseError(QStringLiteral("Connection to the server lost: %1").arg(msg), msg);
    }
    throw error;
}

EOvDatabaseError PostgreSQLDriver::errorOf(const PGresult *R) const
{
    QString Message = R ? QString::fromUtf8(PQresultErrorMessage(R)).trimmed() : QString();
    if (Message.isEmpty() && m_conn)
        Message = QString::fromUtf8(PQerrorMessage(m_conn)).trimmed();
    const char *state = R ? PQresultErrorField(R, PG_DIAG_SQLSTATE) : nullptr;
    const QByteArray code(state ? state : "");
    // Missing tables, columns, routines, schemas and other objects: what
    // the catalogue said of them no longer holds.
    static const QByteArrayList schemaStates = {"42P01", "42703", "42883", "3F000", "42704"};
    EOvDatabaseError error(Message, Message);
    // lock_not_available: a lock_timeout ran out, or NOWAIT found a lock.
    error.SetLocked(code == "55P03").SetSchemaChanged(schemaStates.contains(code));
    return error;
}

Result PostgreSQLDriver::query(const char *SQL, const QStringList &Params) const
{
    std::vector<QByteArray> data;
    data.reserve(Params.size());
    std::vector<const char *> values;
    for (const QString &p : Params) {
        // Parameters travel as C strings: "a\0b" would arrive as "a" and
        // name another object. No name holds a NUL; refuse it.
        if (p.contains(QChar(u'\0')))
            throw EOvDatabaseError(
                QStringLiteral("The name \"%1\" holds a NUL character")
                    .arg(QString(p).replace(QChar(u'\0'), QStringLiteral("\\0"))));
        data.push_back(p.toUtf8());
        values.push_back(data.back().constData());
    }
    PGconn *c = conn();
    if (m_batch)
        if (Result answer = batchAnswer(SQL, Params))
            return answer;
    // Inside the user's transaction a failing look-up must not abort it: it
    // runs under a savepoint.
    const bool guarded = PQtransactionStatus(c) == PQTRANS_INTRANS;
    if (guarded)
        command("savepoint ov_lookup");
    // Without parameters the simple protocol serves: the server parses,
    // plans and runs in one step instead of the extended protocol's parse,
    // bind, describe and execute, which a short look-up feels.
    Result r(values.empty() ? PQexec(c, SQL)
                            : PQexecParams(c, SQL, int(values.size()), nullptr, values.data(),
                                           nullptr, nullptr, 0));
    const ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
        if (guarded && PQstatus(c) == CONNECTION_OK)
            PQclear(PQexec(c, "rollback to savepoint ov_lookup; release savepoint ov_lookup"));
        fail(r.get());
    }
    if (guarded)
        command("release savepoint ov_lookup");
    return r;
}

void PostgreSQLDriver::command(const char *SQL) const
{
    const Result r(PQexec(conn(), SQL));
    if (!r || PQresultStatus(r.get()) != PGRES_COMMAND_OK)
        fail(r.get());
}

QList<TFieldDesc> describeResult(const PGresult *R)
{
    QList<TFieldDesc> fields;
    const int cols = PQnfields(R);
    for (int col = 0; col < cols; ++col) {
        TFieldDesc f;
        f.Name = QString::fromUtf8(PQfname(R, col));
        f.DataType = fieldTypeOf(PQftype(R, col));
        fields << f;
    }
    return fields;
}

namespace {

// Appends the rows of R from row From on.
void appendRows(const PGresult *R, std::vector<QVariantList> &Rows, int From = 0)
{
    const int cols = PQnfields(R), rows = PQntuples(R);
    Rows.reserve(Rows.size() + std::max(rows - From, 0));
    for (int row = From; row < rows; ++row) {
        QVariantList values;
        values.reserve(cols);
        for (int col = 0; col < cols; ++col) {
            if (PQgetisnull(R, row, col))
                values << QVariant();
            else
                values << decodeValue(PQftype(R, col), PQgetvalue(R, row, col),
                                      PQgetlength(R, row, col));
        }
        Rows.push_back(std::move(values));
    }
}


// A statement's values as libpq takes them, bound as the library binds values.
struct BoundValues
{
    explicit BoundValues(const QVariantList &Params);
    int n;
    std::vector<QByteArray> data;
    std::vector<const char *> values;
    std::vector<int> lengths, formats;
    std::vector<Oid> types; // 0: the server infers the type
};

BoundValues::BoundValues(const QVariantList &Params)
    : n(int(Params.size()))
    , data(n)
    , values(n, nullptr)
    , lengths(n, 0)
    , formats(n, 0)
    , types(n, 0)
{
    for (int i = 0; i < n; ++i) {
        const QVariant &v = Params.at(i);
        if (v.isNull())
            continue;
        switch (v.typeId()) {
        case QMetaType::Bool:
            data[i] = v.toBool() ? "true" : "false";
            break;
        case QMetaType::Double:
        case QMetaType::Float:
            // Exact for a float column, and for a numeric one the value
            // it was read from.
            data[i] = shortestText(v.toDouble());
            break;
        case QMetaType::QByteArray:
            data[i] = v.toByteArray();
            formats[i] = 1; // binary: bytes as they are
            types[i] = ByteaOid;
            break;
        case QMetaType::QDate:
            data[i] = v.toDate().toString(Qt::ISODate).toLatin1();
            break;
        case QMetaType::QTime:
            data[i] = v.toTime().toString(Qt::ISODateWithMs).toLatin1();
            break;
        case QMetaType::QDateTime:
            data[i] = v.toDateTime().toString(Qt::ISODateWithMs).toLatin1();
            break;
        default:
            data[i] = v.toString().toUtf8();
        }
        values[i] = data[i].constData();
        lengths[i] = int(data[i].size());
    }
}

} // namespace

Result PostgreSQLDriver::execParams(const QByteArray &SQL, const QVariantList &Params) const
{
    PGconn *c = conn();
    const BoundValues v(Params);
    return Result(PQexecParams(c, SQL.constData(), v.n, v.types.data(), v.values.data(),
                               v.lengths.data(), v.formats.data(), 0));
}

TOvResult PostgreSQLDriver::Execute(const QString &SQL, const QVariantList &Params)
{
    PGconn *c = conn();
    const QByteArray sql = SQL.toUtf8();
    Result r;
    if (Params.isEmpty()) {
        // Without parameters the text may hold several statements; the
        // result of the last one counts.
        r.reset(PQexec(c, sql.constData()));
    } else {
        r = execParams(sql, Params);
    }
    TOvResult result;
    switch (r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR) {
    case PGRES_TUPLES_OK:
        result.Fields = describeResult(r.get());
        appendRows(r.get(), result.Rows);
        readOrigins(r.get(), result.Fields);
        break;
    case PGRES_COMMAND_OK:
        result.RowsAffected = QByteArray(PQcmdTuples(r.get())).toLongLong();
        break;
    case PGRES_EMPTY_QUERY:
        break;
    case PGRES_COPY_IN:
    case PGRES_COPY_OUT:
    case PGRES_COPY_BOTH: {
        // A COPY would leave the connection waiting for data: end it and
        // drain what the server sends back.
        if (PQresultStatus(r.get()) == PGRES_COPY_IN)
            PQputCopyEnd(c, "COPY is not supported by this library");
        char *buffer = nullptr;
        while (PQresultStatus(r.get()) != PGRES_COPY_IN && PQgetCopyData(c, &buffer, 0) > 0)
            PQfreemem(buffer);
        while (PGresult *rest = PQgetResult(c))
            PQclear(rest);
        throw EOvDatabaseError(QStringLiteral("COPY is not supported by this library"));
    }
    default:
        fail(r.get());
    }
    return result;
}

std::unique_ptr<TOvCursor> PostgreSQLDriver::OpenCursor(const QString &SQL,
                                                        const QVariantList &Params)
{
    PGconn *c = conn();
    closeForgottenCursors();
    const PGTransactionStatusType status = PQtransactionStatus(c);
    // An aborted transaction reads nothing: the plain path reports it.
    if (!LooksLikeQuery(SQL) || (status != PQTRANS_IDLE && status != PQTRANS_INTRANS))
        return TOvDriver::OpenCursor(SQL, Params);
    // Outside a transaction the cursor is declared in one of its own, which
    // is committed at once: the commit runs the query to its end, once, and
    // the server keeps the rows, not a transaction or a lock. Inside the
    // user's transaction a savepoint keeps a refused declaration from
    // aborting it; the rows are then read as the transaction goes on, and
    // those not yet read are kept when it commits.
    const bool own = status == PQTRANS_IDLE;
    const QByteArray name = "ov_rows_" + QByteArray::number(++m_cursorCount);
    if (own)
        if (std::unique_ptr<TOvCursor> cursor = openPipelined(SQL, Params, name))
            return cursor;
    command(own ? "begin" : "savepoint ov_cursor");
    auto undo = [&] {
        if (PQstatus(c) == CONNECTION_OK)
            PQclear(
                PQexec(c, own ? "rollback"
                              : "rollback to savepoint ov_cursor; release savepoint ov_cursor"));
    };
    const Result declared
        = execParams("declare " + name + " no scroll cursor with hold for " + SQL.toUtf8(), Params);
    if (!declared || PQresultStatus(declared.get()) != PGRES_COMMAND_OK) {
        if (PQstatus(c) != CONNECTION_OK)
            fail(declared.get());
        undo();
        // Not a query a cursor reads (select into, a with clause that
        // changes data, several statements): it runs the plain way, which
        // also reports a statement that is simply wrong.
        return TOvDriver::OpenCursor(SQL, Params);
    }
    const Result described(PQdescribePortal(c, name.constData()));
    if (!described || PQresultStatus(described.get()) != PGRES_COMMAND_OK) {
        undo();
        fail(described.get());
    }
    const Result ended(PQexec(c, own ? "commit" : "release savepoint ov_cursor"));
    if (!ended || PQresultStatus(ended.get()) != PGRES_COMMAND_OK) {
        // A row that fails fails the commit, which ends the transaction.
        if (!own)
            undo();
        fail(ended.get());
    }
    auto cursor = std::make_unique<PgCursor>(this, name, !own);
    cursor->Fields = describeResult(described.get());
    readOrigins(described.get(), cursor->Fields);
    return cursor;
}

std::unique_ptr<TOvCursor> PostgreSQLDriver::openPipelined(const QString &SQL,
                                                           const QVariantList &Params,
                                                           const QByteArray &Name)
{
    PGconn *c = conn();
    const QByteArray declare
        = "declare " + Name + " no scroll cursor with hold for " + SQL.toUtf8();
    const QByteArray fetch
        = "fetch forward " + QByteArray::number(PgCursor::FirstPage) + " from " + Name;
    const BoundValues v(Params);
    auto plain = [c](const char *Command) {
        return PQsendQueryParams(c, Command, 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
    };
    std::vector<Result> results;
    // The fetch follows the commit, which has run the query to its end:
    // the rows it reads are those kept, from the one execution.
    const bool pipelined = pipeline(
        1, 5,
        [&](int) {
            return plain("begin")
                   && PQsendQueryParams(c, declare.constData(), v.n, v.types.data(),
                                        v.values.data(), v.lengths.data(), v.formats.data(), 0)
                   && PQsendDescribePortal(c, Name.constData()) && plain("commit")
                   && plain(fetch.constData());
        },
        [&](int, std::vector<Result> &Results) { results = std::move(Results); });
    if (!pipelined)
        return nullptr;
    auto ok = [&](size_t I, ExecStatusType Status) {
        return I < results.size() && PQresultStatus(results[I].get()) == Status;
    };
    auto at = [&](size_t I) {
        return I < results.size() ? results[I].get() : nullptr;
    };
    // A refused command leaves the transaction aborted: it is rolled back.
    auto undo = [&] {
        if (PQstatus(c) == CONNECTION_OK && PQtransactionStatus(c) != PQTRANS_IDLE)
            PQclear(PQexec(c, "rollback"));
    };
    if (!ok(0, PGRES_COMMAND_OK)) {
        undo();
        fail(at(0));
    }
    if (!ok(1, PGRES_COMMAND_OK)) {
        if (PQstatus(c) != CONNECTION_OK)
            fail(at(1));
        undo();
        // Not a query a cursor reads: it runs the plain way, which also
        // reports a statement that is simply wrong.
        return TOvDriver::OpenCursor(SQL, Params);
    }
    if (!ok(2, PGRES_COMMAND_OK) || !ok(3, PGRES_COMMAND_OK)) {
        // A row that fails fails the commit, which ends the transaction.
        undo();
        fail(at(ok(2, PGRES_COMMAND_OK) ? 3 : 2));
    }
    if (!ok(4, PGRES_TUPLES_OK)) {
        closeCursor(Name);
        fail(at(4));
    }
    auto cursor = std::make_unique<PgCursor>(this, Name, false);
    cursor->Fields = describeResult(at(2));
    readOrigins(at(2), cursor->Fields);
    cursor->TakePage(at(4), PgCursor::FirstPage);
    return cursor;
}

void PostgreSQLDriver::closeCursor(const QByteArray &Name)
{
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK)
        return;
    const PGTransactionStatusType status = PQtransactionStatus(m_conn);
    if (status != PQTRANS_IDLE && status != PQTRANS_INTRANS) {
        // An aborted transaction runs nothing: closed once it has ended.
        m_forgottenCursors << Name;
        return;
    }
    try {
        query(("close " + Name).constData());
    } catch (const EOvDatabaseError &) {
        // gone already, with a rolled-back transaction
    }
}

bool PostgreSQLDriver::cursorExists(const QByteArray &Name) const
{
    try {
        return PQntuples(
                   query("select 1 from pg_cursors where name = $1", {QString::fromLatin1(Name)})
                       .get())
               > 0;
    } catch (const EOvDatabaseError &) {
        return true; // the connection went: not the transaction's doing
    }
}

void PostgreSQLDriver::closeForgottenCursors()
{
    for (const QByteArray &name : std::exchange(m_forgottenCursors, {}))
        closeCursor(name);
}

TOvStatementInfo PostgreSQLDriver::Describe(const QString &SQL)
{
    PGconn *c = conn();
    // The unnamed statement: the server replaces it with the next one and
    // never runs it unless asked to (Parse and Describe only, no Execute).
    const QByteArray sql = SQL.toUtf8();
    Result prepared, described;
    const PGTransactionStatusType status = PQtransactionStatus(c);
    const bool guarded = status == PQTRANS_INTRANS;
    if (status == PQTRANS_IDLE && PQenterPipelineMode(c)) {
        // Outside a transaction Parse and Describe travel together, one
        // round trip; a refused statement aborts the pipeline up to its
        // sync point and nothing else. Each command's results end with a
        // null; the sync point answers last.
        const bool sent = PQsendPrepare(c, "", sql.constData(), 0, nullptr)
                          && PQsendDescribePrepared(c, "") && PQpipelineSync(c);
        if (sent) {
            prepared.reset(PQgetResult(c));
            PQclear(PQgetResult(c));
            described.reset(PQgetResult(c));
            PQclear(PQgetResult(c));
            const Result sync(PQgetResult(c));
        }
        if (!PQexitPipelineMode(c) || !sent) {
            // A connection left halfway through a pipeline serves nothing else.
            const QString msg = QString::fromUtf8(PQerrorMessage(c)).trimmed();
            Disconnect();
            throw EOvDatabaseError(QStringLiteral("Connection to the server lost: %1").arg(msg),
                                   msg);
        }
    } else {
        // Inside a transaction a savepoint keeps a refused statement from
        // aborting it.
        if (guarded)
            command("savepoint ov_describe");
        prepared.reset(PQprepare(c, "", sql.constData(), 0, nullptr));
        if (prepared && PQresultStatus(prepared.get()) == PGRES_COMMAND_OK)
            described.reset(PQdescribePrepared(c, ""));
    }
    const PGresult *failed
        = !prepared || PQresultStatus(prepared.get()) != PGRES_COMMAND_OK     ? prepared.get()
          : !described || PQresultStatus(described.get()) != PGRES_COMMAND_OK ? described.get()
                                                                              : nullptr;
    if (failed || !prepared || !described) {
        if (guarded && PQstatus(c) == CONNECTION_OK)
            PQclear(PQexec(c, "rollback to savepoint ov_describe; release savepoint ov_describe"));
        fail(failed);
    }
    if (guarded)
        command("release savepoint ov_describe");
    TOvStatementInfo info;
    info.Fields = describeResult(described.get());
    return info;
}

bool PostgreSQLDriver::IsPlainName(const QString &Name) const
{
    return IsPlainIdentifier(ServerType(), Name)
           && std::none_of(Name.cbegin(), Name.cend(),
                           [](QChar c) { return c.unicode() >= 0x80 || (c >= u'A' && c <= u'Z'); });
}

QString PostgreSQLDriver::UnquotedName(const QString &Name) const
{
    QString folded = Name;
    for (QChar &c : folded) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    }
    return folded;
}

void PostgreSQLDriver::Disconnect()
{
    // The server drops a session's cursors with the session.
    while (!m_cursors.empty())
        m_cursors.back()->abandon();
    m_forgottenCursors.clear();
    if (m_conn)
        PQfinish(m_conn);
    m_conn = nullptr;
}

PgCursor::PgCursor(PostgreSQLDriver *Driver, QByteArray Name, bool InTransaction)
    : m_driver(Driver)
    , m_name(std::move(Name))
    , m_inTransaction(InTransaction)
{
    Driver->m_cursors.push_back(this);
}

PgCursor::~PgCursor()
{
    close();
}

void PgCursor::close()
{
    PostgreSQLDriver *d = std::exchange(m_driver, nullptr);
    if (!d)
        return;
    std::erase(d->m_cursors, this);
    d->closeCursor(m_name);
}

void PgCursor::abandon()
{
    if (m_driver && m_error.isEmpty())
        m_error = m_serverError
            = QStringLiteral("The connection was closed before all rows were read");
    if (m_driver)
        std::erase(m_driver->m_cursors, this);
    m_driver = nullptr;
}

void PgCursor::readPage(int Count)
{
    PostgreSQLDriver *d = m_driver;
    try {
        const Result r = d->query(
            ("fetch forward " + QByteArray::number(Count) + " from " + m_name).constData());
        TakePage(r.get(), Count);
    } catch (const EOvDatabaseError &e) {
        m_error = e.Message();
        m_serverError = e.ServerMessage();
        // A cursor declared in the user's transaction goes with its rollback.
        if (m_inTransaction && !d->cursorExists(m_name))
            m_error = SRowsRolledBack();
        close();
        throw EOvDatabaseError(m_error, m_serverError);
    }
}

void PgCursor::TakePage(const PGresult *R, int Count)
{
    const int rows = PQntuples(R);
    appendRows(R, m_readAhead.Rows);
    m_read += rows;
    if (rows < Count)
        close(); // the end
}

int PgCursor::FetchRows(std::vector<QVariantList> &Rows, int Count)
{
    int n = m_readAhead.TakeInto(Rows, Count);
    if (n < Count && !m_error.isEmpty())
        throw EOvDatabaseError(m_error, m_serverError);
    if (n < Count && m_driver) {
        readPage(PageSize(Count - n, m_read));
        n += m_readAhead.TakeInto(Rows, Count - n);
    }
    return n;
}

// Names each result column's table and column where the server knows them.
// Origins are a courtesy: a failing look-up leaves them empty.
void PostgreSQLDriver::readOrigins(const PGresult *R, QList<TFieldDesc> &Fields) const
{
    QStringList oids;
    for (int col = 0; col < Fields.size(); ++col) {
        const Oid table = PQftable(R, col);
        if (table != InvalidOid && !oids.contains(QString::number(table)))
            oids << QString::number(table);
    }
    if (oids.isEmpty())
        return;
    QHash<QString, QString> tables, columns; // "oid" -> table, "oid/attnum" -> column
    try {
        const Result r
            = query("select c.oid, a.attnum, case when pg_table_is_visible(c.oid) then "
                    "quote_ident(c.relname)"
                    " else quote_ident(n.nspname) || '.' || quote_ident(c.relname) end, a.attname"
                    " from pg_class c join pg_namespace n on n.oid = c.relnamespace"
                    " join pg_attribute a on a.attrelid = c.oid and a.attnum > 0"
                    " where c.oid = any($1::oid[])",
                    {u'{' + oids.join(u',') + u'}'});
        for (int i = 0; i < PQntuples(r.get()); ++i) {
            tables.insert(text(r, i, 0), text(r, i, 2));
            columns.insert(text(r, i, 0) + u'/' + text(r, i, 1), text(r, i, 3));
        }
    } catch (const EOvDatabaseError &) {
        return;
    }
    for (int col = 0; col < Fields.size(); ++col) {
        const Oid table = PQftable(R, col);
        if (table == InvalidOid)
            continue;
        Fields[col].OriginTable = tables.value(QString::number(table));
        Fields[col].OriginColumn
            = columns.value(QString::number(table) + u'/' + QString::number(PQftablecol(R, col)));
    }
}

} // namespace ovpg

std::unique_ptr<TOvDriver> createPostgreSQLDriver()
{
    return std::make_unique<ovpg::PostgreSQLDriver>();
}
