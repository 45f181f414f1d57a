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
// application_name, ...; letter case ignored) is passed on unchanged. Lines of
// other server types (CREATE, BUSY TIMEOUT, ...) are ignored, so one set of
// default parameters serves every server type. Params win over what
// RemoteDatabase says. connect_timeout defaults to 5 seconds, so a server
// that does not answer fails fast; the client encoding is always UTF8.
//
// Schemas are owners. An object name is "[schema.]name"; a part in double
// quotes keeps its case, an unquoted part folds to lower case, as the server
// reads identifiers. An unqualified name resolves through the search_path.
// Names listed by TableNames and ProcedureNames read back the same way: they
// are quoted where the server would need quotes and carry their schema when
// it is not on the search_path ("customer", "\"Order Items\"",
// "archive.customer"). Column and index names are returned as stored.
// Catalogue queries take every name as a bound parameter.
//
// Stored procedures are functions (prokind 'f') and procedures ('p'). Their
// parameters come from the catalogue's argument names, modes and types; an
// unnamed output is called "columnN" (as the server names its result column),
// an unnamed input "$N". A function with a single, scalar result (no OUT
// arguments) is described with a leading parameter "Result" (ptResult,
// position 0). An overloaded name means its first definition on the
// search_path (the oldest one within a schema).

#include "orvlib/OvCommon.h"
#include "orvlib/OvComponents.h"
#include "orvlib/OvConsts.h"
#include "orvlib/OvDriver.h"

#include <QDateTime>
#include <QHash>

#include <libpq-fe.h>

#include <algorithm>
#include <memory>

namespace {

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

// The relation kinds listed as tables: tables, partitioned tables, views,
// materialized views and foreign tables.
#define OV_TABLE_KINDS "('r', 'p', 'v', 'm', 'f')"

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
        const QString digits = (S.mid(start, i - start).toString() + QStringLiteral("000")).left(3);
        ms = digits.toInt();
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

// One value in the server's text form, as the library hands it on; a value
// that does not parse (infinity, a BC date) stays text.
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
    case NumericOid:
        v = raw.toDouble(&ok);
        break;
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
        const QDate d = QDate::fromString(QString::fromLatin1(raw), Qt::ISODate);
        ok = d.isValid();
        v = d;
        break;
    }
    case TimeOid:
    case TimetzOid:
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

struct ResultDeleter
{
    void operator()(PGresult *R) const { PQclear(R); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

QString text(const Result &R, int Row, int Col)
{
    return QString::fromUtf8(PQgetvalue(R.get(), Row, Col), PQgetlength(R.get(), Row, Col));
}

// An object name split as the server reads "[schema.]name": a quoted part
// keeps its case (a doubled quote is one quote), an unquoted part is trimmed
// and its ASCII letters folded to lower case. More than two parts, an empty
// part or a stray quote leave Valid false: such a name names nothing.
struct ObjName
{
    QString Schema;
    QString Name;
    bool Valid = false;
};

ObjName parseObjName(const QString &Text)
{
    QStringList parts;
    const QString s = Text.trimmed();
    qsizetype i = 0;
    for (;;) {
        while (i < s.size() && s[i].isSpace())
            ++i;
        QString part;
        if (i < s.size() && s[i] == u'"') {
            bool closed = false;
            for (++i; i < s.size(); ++i) {
                if (s[i] == u'"') {
                    if (i + 1 < s.size() && s[i + 1] == u'"') {
                        part += u'"';
                        ++i;
                        continue;
                    }
                    closed = true;
                    ++i;
                    break;
                }
                part += s[i];
            }
            if (!closed)
                return {};
            while (i < s.size() && s[i].isSpace())
                ++i;
        } else {
            const qsizetype start = i;
            while (i < s.size() && s[i] != u'.') {
                if (s[i] == u'"')
                    return {};
                ++i;
            }
            part = s.mid(start, i - start).trimmed();
            for (QChar &c : part) {
                if (c >= u'A' && c <= u'Z')
                    c = QChar(c.unicode() + (u'a' - u'A'));
            }
        }
        if (part.isEmpty())
            return {};
        parts << part;
        if (i >= s.size())
            break;
        if (s[i] != u'.')
            return {};
        ++i;
    }
    if (parts.size() > 2)
        return {};
    return parts.size() == 2 ? ObjName{parts[0], parts[1], true} : ObjName{{}, parts[0], true};
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
    void Disconnect() override
    {
        if (m_conn)
            PQfinish(m_conn);
        m_conn = nullptr;
    }
    TOvResult Execute(const QString &SQL, const QVariantList &Params) override;
    QStringList TableNames(bool SystemTables) override;
    QList<TOvColumnInfo> Columns(const QString &TableName) override;
    QList<TOvIndexColumn> IndexColumns(const QString &TableName) override;
    QStringList ProcedureNames() override;
    QList<TOvProcParamInfo> ProcedureParams(const QString &ProcName) override;
    bool ProcedureExists(const QString &ProcName) override { return routineOid(ProcName) != 0; }
    QString ProcedureCallSQL(const QString &ProcName, int InputCount) const override;
    QString QuoteObjectName(const QString &Name) const override;

private:
    PGconn *conn() const
    {
        if (!m_conn)
            throw EOvDatabaseError(QStringLiteral("not connected"));
        return m_conn;
    }
    // Runs a catalogue query whose parameters are text; raises on failure.
    Result query(const char *SQL, const QStringList &Params = {}) const;
    // Raises the error of R (or of the connection). A connection found broken
    // is closed, so that IsConnected reports it and the next open reconnects.
    [[noreturn]] void fail(const PGresult *R) const;
    Oid tableOid(const QString &Name) const;
    Oid routineOid(const QString &Name) const;
    Routine routine(const QString &Name) const;
    void readOrigins(const PGresult *R, QList<TFieldDesc> &Fields) const;

    // Mutable: a const look-up that finds the connection broken closes it.
    mutable PGconn *m_conn = nullptr;
};

void PostgreSQLDriver::Connect(const QString &RemoteDatabase, const TStrings &Params)
{
    Disconnect();
    // Later entries override earlier ones; the expanded connection string
    // comes after the defaults and before Params.
    QList<std::pair<QByteArray, QByteArray>> entries{{"connect_timeout", "5"},
                                                     {"fallback_application_name", "OrvLib240"}};
    const QString target = RemoteDatabase.trimmed();
    const bool connString = target.contains(u'=') || target.startsWith(u"postgresql://")
                            || target.startsWith(u"postgres://");
    if (connString) {
        entries.append({"dbname", target.toUtf8()});
    } else {
        const qsizetype slash
            = target.startsWith(u'/') ? target.lastIndexOf(u'/') : target.indexOf(u'/');
        QString host, port, dbname = target;
        if (slash >= 0) {
            host = target.left(slash);
            dbname = target.mid(slash + 1);
            if (host.startsWith(u'[')) { // [ipv6]:port
                const qsizetype close = host.indexOf(u']');
                if (close > 0 && host.mid(close + 1).startsWith(u':'))
                    port = host.mid(close + 2);
                host = host.mid(1, close > 0 ? close - 1 : host.size() - 1);
            } else if (!host.startsWith(u'/') && host.count(u':') == 1) {
                port = host.section(u':', 1);
                host = host.section(u':', 0, 0);
            }
        }
        entries.append({"host", host.toUtf8()});
        entries.append({"port", port.toUtf8()});
        entries.append({"dbname", dbname.toUtf8()});
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
        PQfinish(c);
        throw EOvDatabaseError(msg, msg);
    }
    PQsetNoticeProcessor(c, forwardNotice, nullptr);
    m_conn = c;
    // Dates and times are read back in ISO form.
    query("set datestyle to 'ISO'");
}

void PostgreSQLDriver::fail(const PGresult *R) const
{
    QString msg = R ? QString::fromUtf8(PQresultErrorMessage(R)).trimmed() : QString();
    if (msg.isEmpty() && m_conn)
        msg = QString::fromUtf8(PQerrorMessage(m_conn)).trimmed();
    if (m_conn && PQstatus(m_conn) != CONNECTION_OK) {
        PQfinish(m_conn);
        m_conn = nullptr;
        throw EOvDatabaseError(QStringLiteral("Connection to the server lost: %1").arg(msg), msg);
    }
    throw EOvDatabaseError(msg, msg);
}

Result PostgreSQLDriver::query(const char *SQL, const QStringList &Params) const
{
    std::vector<QByteArray> data;
    data.reserve(Params.size());
    std::vector<const char *> values;
    for (const QString &p : Params) {
        data.push_back(p.toUtf8());
        values.push_back(data.back().constData());
    }
    Result r(
        PQexecParams(conn(), SQL, int(values.size()), nullptr, values.data(), nullptr, nullptr, 0));
    const ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
        fail(r.get());
    return r;
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
        const int n = int(Params.size());
        std::vector<QByteArray> data(n);
        std::vector<const char *> values(n, nullptr);
        std::vector<int> lengths(n, 0), formats(n, 0);
        std::vector<Oid> types(n, 0); // 0: the server infers the type
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
                data[i] = QByteArray::number(v.toDouble(), 'g', 17);
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
        r.reset(PQexecParams(c, sql.constData(), n, types.data(), values.data(), lengths.data(),
                             formats.data(), 0));
    }
    TOvResult result;
    switch (r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR) {
    case PGRES_TUPLES_OK: {
        const int cols = PQnfields(r.get()), rows = PQntuples(r.get());
        for (int col = 0; col < cols; ++col) {
            TFieldDesc f;
            f.Name = QString::fromUtf8(PQfname(r.get(), col));
            f.DataType = fieldTypeOf(PQftype(r.get(), col));
            result.Fields << f;
        }
        result.Rows.reserve(rows);
        for (int row = 0; row < rows; ++row) {
            QVariantList values;
            values.reserve(cols);
            for (int col = 0; col < cols; ++col) {
                if (PQgetisnull(r.get(), row, col))
                    values << QVariant();
                else
                    values << decodeValue(PQftype(r.get(), col), PQgetvalue(r.get(), row, col),
                                          PQgetlength(r.get(), row, col));
            }
            result.Rows.push_back(std::move(values));
        }
        readOrigins(r.get(), result.Fields);
        break;
    }
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

QString PostgreSQLDriver::QuoteObjectName(const QString &Name) const
{
    const ObjName n = parseObjName(Name);
    if (!n.Valid) // names nothing: quoted whole, the server reports it missing
        return QuoteIdentifier(Name.trimmed(), true);
    const QString object = QuoteIdentifier(n.Name, true);
    return n.Schema.isEmpty() ? object : QuoteIdentifier(n.Schema, true) + u'.' + object;
}

Oid PostgreSQLDriver::tableOid(const QString &Name) const
{
    const ObjName n = parseObjName(Name);
    if (!n.Valid)
        return 0;
    const Result r
        = n.Schema.isEmpty()
              ? query("select c.oid from pg_class c where c.relname = $1"
                      " and c.relkind in " OV_TABLE_KINDS " and pg_table_is_visible(c.oid)",
                      {n.Name})
              : query("select c.oid from pg_class c join pg_namespace s on s.oid = c.relnamespace"
                      " where s.nspname = $1 and c.relname = $2 and c.relkind in " OV_TABLE_KINDS,
                      {n.Schema, n.Name});
    return PQntuples(r.get()) > 0 ? text(r, 0, 0).toUInt() : 0;
}

QStringList PostgreSQLDriver::TableNames(bool SystemTables)
{
    const Result r = query("select case when pg_table_is_visible(c.oid) then quote_ident(c.relname)"
                           " else quote_ident(n.nspname) || '.' || quote_ident(c.relname) end"
                           " from pg_class c join pg_namespace n on n.oid = c.relnamespace"
                           " where c.relkind in " OV_TABLE_KINDS
                           " and (n.nspname !~ '^pg_' and n.nspname <> 'information_schema'"
                           " or n.oid = pg_my_temp_schema()"
                           " or $1::boolean and n.nspname in ('pg_catalog', 'information_schema'))",
                           {SystemTables ? QStringLiteral("true") : QStringLiteral("false")});
    QStringList names;
    for (int i = 0; i < PQntuples(r.get()); ++i)
        names << text(r, i, 0);
    std::sort(names.begin(), names.end());
    return names;
}

QList<TOvColumnInfo> PostgreSQLDriver::Columns(const QString &TableName)
{
    QList<TOvColumnInfo> columns;
    const Oid table = tableOid(TableName);
    if (!table)
        return columns;
    const Result r = query(
        "select a.attname, format_type(a.atttypid, a.atttypmod),"
        " coalesce(nullif(t.typbasetype, 0), a.atttypid), a.attnotnull"
        " from pg_attribute a join pg_type t on t.oid = a.atttypid"
        " where a.attrelid = $1::oid and a.attnum > 0 and not a.attisdropped order by a.attnum",
        {QString::number(table)});
    for (int i = 0; i < PQntuples(r.get()); ++i) {
        TOvColumnInfo c;
        c.Name = text(r, i, 0);
        c.Position = i + 1; // dropped columns leave gaps in attnum
        c.TypeName = text(r, i, 1);
        c.DataType = fieldTypeOf(text(r, i, 2).toUInt());
        c.Nullable = text(r, i, 3) != u"t";
        columns << c;
    }
    return columns;
}

QList<TOvIndexColumn> PostgreSQLDriver::IndexColumns(const QString &TableName)
{
    QList<TOvIndexColumn> result;
    const Oid table = tableOid(TableName);
    if (!table)
        return result;
    // Key columns only (INCLUDE columns follow indnkeyatts); attnum 0 is an
    // expression. The primary key first, then by index name, then position.
    const Result r
        = query("select ic.relname, ix.indisprimary, ix.indisunique, k.ord, a.attname"
                " from pg_index ix join pg_class ic on ic.oid = ix.indexrelid"
                " cross join lateral unnest(ix.indkey::int2[]) with ordinality k(attnum, ord)"
                " left join pg_attribute a on a.attrelid = ix.indrelid and a.attnum = k.attnum"
                " and k.attnum <> 0"
                " where ix.indrelid = $1::oid and k.ord <= ix.indnkeyatts"
                " order by ix.indisprimary desc, ic.relname, k.ord",
                {QString::number(table)});
    for (int i = 0; i < PQntuples(r.get()); ++i) {
        TOvIndexColumn c;
        c.IndexName = text(r, i, 0);
        if (text(r, i, 1) == u"t")
            c.IndexType |= itPrimary | itUnique;
        if (text(r, i, 2) == u"t")
            c.IndexType |= itUnique;
        c.Position = text(r, i, 3).toInt();
        if (PQgetisnull(r.get(), i, 4))
            c.IndexType |= itExpression; // an expression key has no column name
        else
            c.ColumnName = text(r, i, 4);
        result << c;
    }
    // The server sorted by name in its own collation; the library sorts
    // names by their characters, as the SQLite driver does.
    std::stable_sort(result.begin(), result.end(), [](const auto &a, const auto &b) {
        const bool pa = a.IndexType & itPrimary, pb = b.IndexType & itPrimary;
        return pa != pb ? pa : a.IndexName < b.IndexName;
    });
    return result;
}

QStringList PostgreSQLDriver::ProcedureNames()
{
    const Result r = query(
        "select distinct case when pg_function_is_visible(p.oid) then quote_ident(p.proname)"
        " else quote_ident(n.nspname) || '.' || quote_ident(p.proname) end"
        " from pg_proc p join pg_namespace n on n.oid = p.pronamespace"
        " where p.prokind in ('f', 'p') and n.nspname !~ '^pg_'"
        " and n.nspname <> 'information_schema'"
        " and p.prorettype not in ('trigger'::regtype, 'event_trigger'::regtype)");
    QStringList names;
    for (int i = 0; i < PQntuples(r.get()); ++i)
        names << text(r, i, 0);
    std::sort(names.begin(), names.end());
    return names;
}

Oid PostgreSQLDriver::routineOid(const QString &Name) const
{
    const ObjName n = parseObjName(Name);
    if (!n.Valid)
        return 0;
    const Result r
        = n.Schema.isEmpty()
              ? query("select p.oid from pg_proc p join pg_namespace n on n.oid = p.pronamespace"
                      " where p.proname = $1 and p.prokind in ('f', 'p')"
                      " and pg_function_is_visible(p.oid)"
                      " order by array_position(current_schemas(true), n.nspname), p.oid limit 1",
                      {n.Name})
              : query("select p.oid from pg_proc p join pg_namespace n on n.oid = p.pronamespace"
                      " where n.nspname = $1 and p.proname = $2 and p.prokind in ('f', 'p')"
                      " order by p.oid limit 1",
                      {n.Schema, n.Name});
    return PQntuples(r.get()) > 0 ? text(r, 0, 0).toUInt() : 0;
}

Routine PostgreSQLDriver::routine(const QString &Name) const
{
    const Oid oid = routineOid(Name);
    if (!oid)
        throw EOvDatabaseError(SStoredProcNotFound().arg(Name));
    // One row per argument; a routine without arguments gives one row of nulls.
    const Result r
        = query("select p.prokind, quote_ident(n.nspname) || '.' || quote_ident(p.proname),"
                " p.prorettype, format_type(p.prorettype, null), rt.typtype,"
                " a.name, a.mode, a.typ, format_type(a.typ, null)"
                " from pg_proc p join pg_namespace n on n.oid = p.pronamespace"
                " join pg_type rt on rt.oid = p.prorettype"
                " left join lateral unnest(coalesce(p.proallargtypes, p.proargtypes::oid[]),"
                " p.proargmodes, p.proargnames) with ordinality a(typ, mode, name, ord) on true"
                " where p.oid = $1::oid order by a.ord",
                {QString::number(oid)});
    Routine routine;
    const int rows = PQntuples(r.get());
    if (rows == 0)
        throw EOvDatabaseError(SStoredProcNotFound().arg(Name)); // dropped meanwhile
    routine.IsProcedure = text(r, 0, 0) == u"p";
    routine.QualifiedName = text(r, 0, 1);
    routine.ReturnType = text(r, 0, 2).toUInt();
    routine.ReturnTypeName = text(r, 0, 3);
    bool outputs = false;
    for (int i = 0; i < rows; ++i) {
        if (PQgetisnull(r.get(), i, 7))
            continue;
        Routine::Arg a;
        a.Name = text(r, i, 5);
        a.Mode = PQgetisnull(r.get(), i, 6) ? 'i' : PQgetvalue(r.get(), i, 6)[0];
        a.Type = text(r, i, 7).toUInt();
        a.TypeName = text(r, i, 8);
        outputs = outputs || !a.isInput() || a.Mode == 'b';
        routine.Args << a;
    }
    // Pseudo types (void, record, trigger, polymorphic) and composites give
    // no single value.
    const QString retKind = text(r, 0, 4);
    routine.ScalarResult = !routine.IsProcedure && !outputs && retKind != u"p" && retKind != u"c";
    return routine;
}

QList<TOvProcParamInfo> PostgreSQLDriver::ProcedureParams(const QString &ProcName)
{
    const Routine routine = this->routine(ProcName);
    QList<TOvProcParamInfo> params;
    if (routine.ScalarResult) {
        params.append({QStringLiteral("Result"), 0, TParamType::ptResult,
                       fieldTypeOf(routine.ReturnType), routine.ReturnTypeName});
    }
    int inputs = 0, outputs = 0;
    for (int i = 0; i < routine.Args.size(); ++i) {
        const Routine::Arg &a = routine.Args.at(i);
        TOvProcParamInfo p;
        p.Position = i + 1;
        p.ParamType = a.Mode == 'b' ? TParamType::ptInputOutput
                      : a.isInput() ? TParamType::ptInput
                                    : TParamType::ptOutput;
        p.DataType = fieldTypeOf(a.Type);
        p.TypeName = a.TypeName;
        const int input = a.isInput() ? ++inputs : 0;
        const int output = a.isInput() && a.Mode != 'b' ? 0 : ++outputs;
        p.Name = !a.Name.isEmpty() ? a.Name
                 : output          ? QStringLiteral("column%1").arg(output)
                                   : QStringLiteral("$%1").arg(input);
        params << p;
    }
    return params;
}

QString PostgreSQLDriver::ProcedureCallSQL(const QString &ProcName, int InputCount) const
{
    const Routine routine = this->routine(ProcName);
    const auto inputs = std::count_if(routine.Args.begin(), routine.Args.end(),
                                      [](const Routine::Arg &a) { return a.isInput(); });
    QStringList args;
    if (inputs == InputCount) {
        // Every argument typed as described, so the call reaches this very
        // routine among overloads. A procedure takes its OUT arguments too.
        int n = 0;
        for (const Routine::Arg &a : routine.Args) {
            if (a.isInput())
                args << QStringLiteral("%1$%2::%3")
                            .arg(a.Mode == 'v' ? QStringLiteral("variadic ") : QString())
                            .arg(++n)
                            .arg(a.TypeName);
            else if (routine.IsProcedure && a.Mode == 'o')
                args << QStringLiteral("null::") + a.TypeName;
        }
    } else {
        // A hand-made parameter list: the server picks the routine.
        for (int i = 0; i < InputCount; ++i)
            args << Placeholder(i);
    }
    const QString call = routine.QualifiedName + u'(' + args.join(u", ") + u')';
    // The alias names a scalar result's column after the Result parameter.
    return routine.IsProcedure ? QStringLiteral("call ") + call
                               : QStringLiteral("select * from %1 as \"Result\"").arg(call);
}

} // namespace

std::unique_ptr<TOvDriver> createPostgreSQLDriver()
{
    return std::make_unique<PostgreSQLDriver>();
}
