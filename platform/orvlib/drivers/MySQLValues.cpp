// Values of the MariaDB/MySQL driver: the library's field types for the
// server's column types, values read in the text and the binary protocol,
// parameters bound, and the placeholders rewritten for the server.

#include "MySQLDriver.h"

#include <QDateTime>

#include <algorithm>
#include <charconv>
#include <cstring>

namespace ovmy {

namespace {

constexpr unsigned BinaryCharset = 63;

bool isIntegerType(enum_field_types T)
{
    return T == MYSQL_TYPE_TINY || T == MYSQL_TYPE_SHORT || T == MYSQL_TYPE_INT24
           || T == MYSQL_TYPE_LONG || T == MYSQL_TYPE_LONGLONG || T == MYSQL_TYPE_YEAR;
}

bool isTimeType(enum_field_types T)
{
    return T == MYSQL_TYPE_DATE || T == MYSQL_TYPE_NEWDATE || T == MYSQL_TYPE_DATETIME
           || T == MYSQL_TYPE_TIMESTAMP || T == MYSQL_TYPE_TIME || T == MYSQL_TYPE_DATETIME2
           || T == MYSQL_TYPE_TIMESTAMP2 || T == MYSQL_TYPE_TIME2;
}

bool isTextBlob(enum_field_types T)
{
    return T == MYSQL_TYPE_TINY_BLOB || T == MYSQL_TYPE_BLOB || T == MYSQL_TYPE_MEDIUM_BLOB
           || T == MYSQL_TYPE_LONG_BLOB || T == MYSQL_TYPE_JSON;
}

TFieldType fieldTypeOf(const MYSQL_FIELD &F)
{
    const enum_field_types t = F.type;
    if (isIntegerType(t))
        return t == MYSQL_TYPE_LONGLONG || (t == MYSQL_TYPE_LONG && (F.flags & UNSIGNED_FLAG))
                   ? TFieldType::ftLargeint
                   : TFieldType::ftInteger;
    if (t == MYSQL_TYPE_BIT)
        return TFieldType::ftLargeint;
    if (t == MYSQL_TYPE_FLOAT || t == MYSQL_TYPE_DOUBLE || t == MYSQL_TYPE_DECIMAL
        || t == MYSQL_TYPE_NEWDECIMAL)
        return TFieldType::ftFloat;
    if (isTimeType(t))
        return TFieldType::ftDateTime;
    if (t == MYSQL_TYPE_NULL)
        return TFieldType::ftUnknown;
    // MySQL's JSON is text whatever character set it reports.
    if (F.charsetnr == BinaryCharset && !(F.flags & (ENUM_FLAG | SET_FLAG)) && t != MYSQL_TYPE_JSON)
        return TFieldType::ftBlob;
    return isTextBlob(t) ? TFieldType::ftMemo : TFieldType::ftString;
}

} // namespace

QList<TFieldDesc> describeFields(MYSQL_RES *Meta, const char *CurrentDb)
{
    QList<TFieldDesc> fields;
    const unsigned n = mysql_num_fields(Meta);
    const MYSQL_FIELD *f = mysql_fetch_fields(Meta);
    for (unsigned i = 0; i < n; ++i) {
        TFieldDesc d;
        d.Name = QString::fromUtf8(f[i].name, f[i].name_length);
        d.DataType = fieldTypeOf(f[i]);
        if (f[i].org_table_length && f[i].org_name_length) {
            const QString table = QString::fromUtf8(f[i].org_table, f[i].org_table_length);
            const bool here = !f[i].db_length || (CurrentDb && qstrcmp(f[i].db, CurrentDb) == 0);
            d.OriginTable
                = here ? table : QString::fromUtf8(f[i].db, f[i].db_length) + u'.' + table;
            d.OriginColumn = QString::fromUtf8(f[i].org_name, f[i].org_name_length);
        }
        fields << d;
    }
    return fields;
}

namespace {

[[noreturn]] void zeroDate(const QByteArray &Column, const QString &Text)
{
    throw EOvDatabaseError(
        QStringLiteral("The column %1 holds the zero date %2, which names no day; correct the row "
                       "or read the column as text (cast(... as char))")
            .arg(QString::fromUtf8(Column), Text));
}

// A date or time as the library hands it on. Fraction digits beyond the
// millisecond (DATETIME(6), TIME(6)) and times outside one day stay text,
// to the microsecond, so that writing the value back loses nothing.
QVariant timeValue(const MYSQL_TIME &T, enum_field_types Type, unsigned Decimals,
                   const QByteArray &Column)
{
    const bool hasDate = Type != MYSQL_TYPE_TIME && Type != MYSQL_TYPE_TIME2;
    const bool hasTime = Type != MYSQL_TYPE_DATE && Type != MYSQL_TYPE_NEWDATE;
    const QString date = QString::asprintf("%04u-%02u-%02u", T.year, T.month, T.day);
    QString time
        = QString::asprintf("%s%02u:%02u:%02u", T.neg ? "-" : "", T.hour, T.minute, T.second);
    if (Decimals > 0 && Decimals <= 6)
        time += u'.' + QString::asprintf("%06lu", T.second_part).left(int(Decimals));
    if (hasDate && (T.month == 0 || T.day == 0))
        zeroDate(Column, hasTime ? date + u' ' + time : date);
    const QDate d(int(T.year), int(T.month), int(T.day));
    const bool exactMs = T.second_part % 1000 == 0 && Decimals <= 3;
    if (!hasDate) {
        if (T.neg || T.hour > 23 || !exactMs)
            return time;
        return QTime(int(T.hour), int(T.minute), int(T.second), int(T.second_part / 1000));
    }
    if (!d.isValid())
        return hasTime ? date + u' ' + time : date;
    if (!hasTime)
        return d;
    if (!exactMs)
        return date + u' ' + time;
    return QDateTime(d,
                     QTime(int(T.hour), int(T.minute), int(T.second), int(T.second_part / 1000)));
}

// "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS[.f]" or "[-]H…H:MM:SS[.f]" as the text
// protocol sends them.
bool parseTime(const char *S, size_t Length, enum_field_types Type, MYSQL_TIME &T)
{
    T = MYSQL_TIME{};
    const char *p = S, *end = S + Length;
    auto number = [&](unsigned &Out) {
        const auto r = std::from_chars(p, end, Out);
        const bool ok = r.ec == std::errc() && r.ptr != p;
        p = r.ptr;
        return ok;
    };
    auto expect = [&](char C) {
        return p < end && *p++ == C;
    };
    const bool hasDate = Type != MYSQL_TYPE_TIME && Type != MYSQL_TYPE_TIME2;
    if (hasDate) {
        if (!number(T.year) || !expect('-') || !number(T.month) || !expect('-') || !number(T.day))
            return false;
        if (p == end)
            return true;
        if (!expect(' '))
            return false;
    } else if (p < end && *p == '-') {
        T.neg = 1;
        ++p;
    }
    if (!number(T.hour) || !expect(':') || !number(T.minute) || !expect(':') || !number(T.second))
        return false;
    if (p < end && *p == '.') {
        ++p;
        unsigned long fraction = 0;
        int digits = 0;
        for (; p < end && *p >= '0' && *p <= '9'; ++p, ++digits)
            fraction = fraction * 10 + unsigned(*p - '0');
        for (; digits < 6; ++digits)
            fraction *= 10;
        T.second_part = fraction;
    }
    return p == end;
}

// DECIMAL: a double holds 15 significant digits; a longer value stays text.
QVariant decimalValue(const char *S, size_t Length)
{
    const QByteArray raw(S, qsizetype(Length));
    if (std::count_if(raw.begin(), raw.end(), [](char c) { return c >= '0' && c <= '9'; }) > 15)
        return QString::fromLatin1(raw);
    bool ok;
    const double d = raw.toDouble(&ok);
    return ok ? QVariant(d) : QVariant(QString::fromLatin1(raw));
}

// A FLOAT as the double whose shortest text is the float's: 0.1f reads as
// 0.1, and written back to the column it is the same float again.
QVariant floatValue(float F)
{
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, F);
    return QByteArray(buffer, r.ptr - buffer).toDouble();
}

QVariant integerValue(const MYSQL_FIELD &F, unsigned long long Bits)
{
    if (F.type == MYSQL_TYPE_LONGLONG && (F.flags & UNSIGNED_FLAG))
        return QVariant(qulonglong(Bits));
    if (F.type == MYSQL_TYPE_BIT && F.length == 64)
        return QVariant(qulonglong(Bits));
    if (fieldTypeOf(F) == TFieldType::ftInteger)
        return QVariant(int(qint64(Bits)));
    return QVariant(qlonglong(Bits));
}

// BIT arrives as its bytes, most significant first, in both protocols.
QVariant bitValue(const MYSQL_FIELD &F, const char *S, unsigned long Length)
{
    unsigned long long bits = 0;
    for (unsigned long i = 0; i < Length; ++i)
        bits = (bits << 8) | static_cast<unsigned char>(S[i]);
    return integerValue(F, bits);
}

} // namespace

QVariant textValue(const MYSQL_FIELD &F, const char *S, unsigned long Length)
{
    const QByteArray column(F.name, F.name_length);
    if (isIntegerType(F.type)) {
        const QByteArray raw(S, Length);
        return integerValue(F, (F.flags & UNSIGNED_FLAG) ? raw.toULongLong()
                                                         : qulonglong(raw.toLongLong()));
    }
    switch (F.type) {
    case MYSQL_TYPE_BIT:
        return bitValue(F, S, Length);
    case MYSQL_TYPE_FLOAT:
        return floatValue(QByteArray(S, Length).toFloat());
    case MYSQL_TYPE_DOUBLE:
        return QByteArray(S, Length).toDouble();
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL:
        return decimalValue(S, Length);
    default:
        break;
    }
    if (isTimeType(F.type)) {
        MYSQL_TIME t;
        if (!parseTime(S, Length, F.type, t))
            return QString::fromLatin1(S, qsizetype(Length));
        return timeValue(t, F.type, F.decimals, column);
    }
    if (fieldTypeOf(F) == TFieldType::ftBlob)
        return QByteArray(S, qsizetype(Length));
    return QString::fromUtf8(S, qsizetype(Length));
}

// --- Row buffers of the binary protocol

RowReader::RowReader(MYSQL_STMT *S, MYSQL_RES *Meta)
    : m_stmt(S)
{
    m_fields = describeFields(Meta, S->mysql ? S->mysql->db : nullptr);
    const unsigned n = mysql_num_fields(Meta);
    const MYSQL_FIELD *f = mysql_fetch_fields(Meta);
    m_columns.resize(n);
    m_binds.assign(n, MYSQL_BIND{});
    for (unsigned i = 0; i < n; ++i) {
        Column &c = m_columns[i];
        c.Type = f[i].type;
        c.Flags = f[i].flags;
        c.Decimals = f[i].decimals;
        c.Binary = fieldTypeOf(f[i]) == TFieldType::ftBlob;
        c.Name = QByteArray(f[i].name, f[i].name_length);
        // The conversions read the field's type, flags and length; its
        // names belong to the statement, which may close first.
        c.Field = f[i];
        c.Field.name = c.Field.org_name = c.Field.table = c.Field.org_table = c.Field.db
            = c.Field.catalog = c.Field.def = nullptr;
        MYSQL_BIND &b = m_binds[i];
        if (isIntegerType(c.Type)) {
            b.buffer_type = MYSQL_TYPE_LONGLONG;
            b.is_unsigned = (c.Flags & UNSIGNED_FLAG) != 0;
            c.Buffer.resize(sizeof(long long));
        } else if (c.Type == MYSQL_TYPE_FLOAT || c.Type == MYSQL_TYPE_DOUBLE) {
            b.buffer_type = c.Type;
            c.Buffer.resize(sizeof(double));
        } else if (isTimeType(c.Type)) {
            b.buffer_type = c.Type == MYSQL_TYPE_NEWDATE ? MYSQL_TYPE_DATE : c.Type;
            c.Buffer.resize(sizeof(MYSQL_TIME));
        } else {
            // Text and bytes: a small buffer first, the rest fetched when a
            // value is longer.
            b.buffer_type = MYSQL_TYPE_STRING;
            c.Buffer.resize(64);
            c.Variable = true;
        }
        b.buffer = c.Buffer.data();
        b.buffer_length = c.Buffer.size();
        b.length = &c.Length;
        b.is_null = &c.IsNull;
        b.error = &c.Error;
    }
    if (n > 0 && mysql_stmt_bind_result(S, m_binds.data()))
        throw EOvDatabaseError(QString::fromUtf8(mysql_stmt_error(S)));
}

bool RowReader::fetch()
{
    const int rc = mysql_stmt_fetch(m_stmt);
    if (rc == MYSQL_NO_DATA)
        return false;
    if (rc == 1)
        throw EOvDatabaseError(QString::fromUtf8(mysql_stmt_error(m_stmt)));
    for (unsigned i = 0; i < m_columns.size(); ++i) {
        Column &c = m_columns[i];
        c.Whole.clear();
        if (c.IsNull || !c.Variable || c.Length <= c.Buffer.size())
            continue;
        c.Whole.resize(c.Length);
        MYSQL_BIND b{};
        unsigned long length = 0;
        b.buffer_type = MYSQL_TYPE_STRING;
        b.buffer = c.Whole.data();
        b.buffer_length = c.Whole.size();
        b.length = &length;
        if (mysql_stmt_fetch_column(m_stmt, &b, i, 0))
            throw EOvDatabaseError(QString::fromUtf8(mysql_stmt_error(m_stmt)));
    }
    return true;
}

bool RowReader::raw(unsigned I, const char *&Data, unsigned long &Length) const
{
    const Column &c = m_columns[I];
    if (c.IsNull)
        return false;
    Data = c.Whole.empty() ? c.Buffer.data() : c.Whole.data();
    Length = c.Variable ? c.Length : (unsigned long)c.Buffer.size();
    return true;
}

QVariant RowReader::value(unsigned I, const char *Data, unsigned long Length) const
{
    const Column &c = m_columns[I];
    if (isIntegerType(c.Type)) {
        unsigned long long bits;
        std::memcpy(&bits, Data, sizeof bits);
        return integerValue(c.Field, bits);
    }
    if (c.Type == MYSQL_TYPE_FLOAT) {
        float v;
        std::memcpy(&v, Data, sizeof v);
        return floatValue(v);
    }
    if (c.Type == MYSQL_TYPE_DOUBLE) {
        double v;
        std::memcpy(&v, Data, sizeof v);
        return v;
    }
    if (isTimeType(c.Type)) {
        MYSQL_TIME t;
        std::memcpy(&t, Data, sizeof t);
        return timeValue(t, c.Type, c.Decimals, c.Name);
    }
    if (c.Type == MYSQL_TYPE_BIT)
        return bitValue(c.Field, Data, Length);
    if (c.Type == MYSQL_TYPE_DECIMAL || c.Type == MYSQL_TYPE_NEWDECIMAL)
        return decimalValue(Data, Length);
    if (c.Binary)
        return QByteArray(Data, qsizetype(Length));
    return QString::fromUtf8(Data, qsizetype(Length));
}

bool RowReader::next(QVariantList &Row)
{
    if (!fetch())
        return false;
    Row.clear();
    Row.reserve(qsizetype(m_columns.size()));
    for (unsigned i = 0; i < m_columns.size(); ++i) {
        const char *data;
        unsigned long length;
        Row << (raw(i, data, length) ? value(i, data, length) : QVariant());
    }
    return true;
}

// --- Placeholders

QByteArray positionalSQL(const QString &SQL, std::vector<int> &Order)
{
    Order.clear();
    QString out;
    out.reserve(SQL.size());
    const qsizetype n = SQL.size();
    int nextBare = 0;
    for (qsizetype i = 0; i < n;) {
        const QChar c = SQL.at(i);
        if (c == u'\'' || c == u'"' || c == u'`') {
            // A literal or quoted name; a doubled quote (or, in literals, a
            // backslash) escapes.
            qsizetype j = i + 1;
            while (j < n) {
                if (c != u'`' && SQL.at(j) == u'\\') {
                    j += 2;
                    continue;
                }
                if (SQL.at(j) == c) {
                    if (j + 1 < n && SQL.at(j + 1) == c) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            j = std::min(j + 1, n);
            out += QStringView(SQL).mid(i, j - i);
            i = j;
        } else if (c == u'#' || (c == u'-' && SQL.mid(i, 3).startsWith(u"-- "))
                   || (c == u'-' && i + 2 == n && SQL.mid(i) == u"--")) {
            qsizetype j = SQL.indexOf(u'\n', i);
            j = j < 0 ? n : j;
            out += QStringView(SQL).mid(i, j - i);
            i = j;
        } else if (c == u'/' && i + 1 < n && SQL.at(i + 1) == u'*') {
            qsizetype j = SQL.indexOf(QLatin1String("*/"), i + 2);
            j = j < 0 ? n : j + 2;
            out += QStringView(SQL).mid(i, j - i);
            i = j;
        } else if (c == u'?') {
            qsizetype j = i + 1;
            while (j < n && SQL.at(j).isDigit())
                ++j;
            Order.push_back(j > i + 1 ? SQL.mid(i + 1, j - i - 1).toInt() - 1 : nextBare++);
            out += u'?';
            i = j;
        } else {
            out += c;
            ++i;
        }
    }
    return out.toUtf8();
}

void bindValue(const QVariant &V, MYSQL_BIND &B, ParamValue &P)
{
    B = MYSQL_BIND{};
    if (V.isNull()) {
        B.buffer_type = MYSQL_TYPE_NULL;
        return;
    }
    auto asTime = [&](const QDate &D, const QTime &T) {
        if (D.isValid()) {
            P.Time.year = unsigned(D.year());
            P.Time.month = unsigned(D.month());
            P.Time.day = unsigned(D.day());
        }
        if (T.isValid()) {
            P.Time.hour = unsigned(T.hour());
            P.Time.minute = unsigned(T.minute());
            P.Time.second = unsigned(T.second());
            P.Time.second_part = (unsigned long)T.msec() * 1000;
        }
        B.buffer = &P.Time;
    };
    switch (V.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::Long:
        P.Integer = V.toLongLong();
        B.buffer_type = MYSQL_TYPE_LONGLONG;
        B.buffer = &P.Integer;
        return;
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::UChar:
    case QMetaType::ULong:
        P.Integer = static_cast<long long>(V.toULongLong());
        B.buffer_type = MYSQL_TYPE_LONGLONG;
        B.is_unsigned = 1;
        B.buffer = &P.Integer;
        return;
    case QMetaType::Double:
    case QMetaType::Float:
        P.Real = V.toDouble();
        B.buffer_type = MYSQL_TYPE_DOUBLE;
        B.buffer = &P.Real;
        return;
    case QMetaType::QDate:
        B.buffer_type = MYSQL_TYPE_DATE;
        P.Time.time_type = MYSQL_TIMESTAMP_DATE;
        asTime(V.toDate(), QTime());
        return;
    case QMetaType::QTime:
        B.buffer_type = MYSQL_TYPE_TIME;
        P.Time.time_type = MYSQL_TIMESTAMP_TIME;
        asTime(QDate(), V.toTime());
        return;
    case QMetaType::QDateTime: {
        // A DATETIME holds no zone: the wall-clock time as written.
        const QDateTime dt = V.toDateTime();
        B.buffer_type = MYSQL_TYPE_DATETIME;
        P.Time.time_type = MYSQL_TIMESTAMP_DATETIME;
        asTime(dt.date(), dt.time());
        return;
    }
    case QMetaType::QByteArray:
        P.Data = V.toByteArray();
        B.buffer_type = MYSQL_TYPE_BLOB;
        break;
    default:
        P.Data = V.toString().toUtf8();
        B.buffer_type = MYSQL_TYPE_STRING;
    }
    P.Length = (unsigned long)P.Data.size();
    B.buffer = P.Data.data();
    B.buffer_length = P.Length;
    B.length = &P.Length;
}

} // namespace ovmy
