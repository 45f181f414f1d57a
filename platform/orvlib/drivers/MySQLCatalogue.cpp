// Catalogue look-ups and stored routines of the MariaDB/MySQL driver.
//
// Databases are owners. An object name is "[database.]name"; a part may be
// written in backticks (or double quotes), which keep what they hold. An
// unqualified name is looked up in the connection's database. Names listed by
// TableNames and ProcedureNames are returned as stored, without quotes; the
// server's own tables (information_schema, mysql, performance_schema, sys)
// carry their database. Every look-up is one query on information_schema,
// every name a bound parameter.
//
// Stored procedures and functions: the parameters as the catalogue lists
// them; a function's result is the parameter "Result" (ptResult, position
// 0). A procedure's OUT and INOUT parameters come back from the call as one
// row whose columns carry their names.

#include "MySQLDriver.h"
#include "orvlib/OvCommon.h"
#include "orvlib/OvConsts.h"
#include "orvlib/OvPrivate.h"

namespace ovmy {

ObjName parseObjName(const QString &Text)
{
    QStringList parts;
    const QString s = Text.trimmed();
    qsizetype i = 0;
    for (;;) {
        while (i < s.size() && s[i].isSpace())
            ++i;
        QString part;
        if (i < s.size() && (s[i] == u'`' || s[i] == u'"')) {
            const QChar quote = s[i];
            bool closed = false;
            for (++i; i < s.size(); ++i) {
                if (s[i] == quote) {
                    if (i + 1 < s.size() && s[i + 1] == quote) {
                        part += quote;
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
                if (s[i] == u'`' || s[i] == u'"')
                    return {};
                ++i;
            }
            part = s.mid(start, i - start).trimmed();
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

namespace {

QString quoted(const QString &Name)
{
    return u'`' + QString(Name).replace(u'`', QStringLiteral("``")) + u'`';
}

// The library's field type for a column type of information_schema.
TFieldType fieldTypeOf(const QString &DataType, const QString &ColumnType)
{
    const QString t = DataType.toLower();
    if (t == u"tinyint" || t == u"smallint" || t == u"mediumint" || t == u"year")
        return TFieldType::ftInteger;
    if (t == u"int" || t == u"integer")
        return ColumnType.contains(u"unsigned", Qt::CaseInsensitive) ? TFieldType::ftLargeint
                                                                     : TFieldType::ftInteger;
    if (t == u"bigint" || t == u"bit")
        return TFieldType::ftLargeint;
    if (t == u"decimal" || t == u"numeric" || t == u"float" || t == u"double" || t == u"real")
        return TFieldType::ftFloat;
    if (t == u"date" || t == u"datetime" || t == u"timestamp" || t == u"time")
        return TFieldType::ftDateTime;
    if (t.endsWith(u"text") || t == u"json")
        return TFieldType::ftMemo;
    if (t.endsWith(u"blob") || t.endsWith(u"binary") || t == u"geometry" || t.startsWith(u"geom")
        || t.endsWith(u"point") || t.endsWith(u"linestring") || t.endsWith(u"polygon"))
        return TFieldType::ftBlob;
    return TFieldType::ftString;
}

// A schema parameter: null for the connection's database.
QString schemaParam(const ObjName &N)
{
    return N.Schema.isEmpty() ? QString() : N.Schema;
}

} // namespace

std::vector<QVariantList> MySQLDriver::query(const char *SQL, const QStringList &Params) const
{
    QVariantList values;
    for (const QString &p : Params)
        values << (p.isNull() ? QVariant() : QVariant(p));
    TOvResult result;
    // Prepared once for the connection and run again with new values: one
    // round trip a look-up. The server prepares it again by itself when a
    // table it reads changes.
    auto [kept, isNew] = m_lookups.try_emplace(SQL);
    std::vector<int> order;
    const QByteArray sql = positionalSQL(QString::fromUtf8(SQL), order);
    if (isNew) {
        kept->second.reset(mysql_stmt_init(conn()));
        if (!kept->second)
            fail();
        if (mysql_stmt_prepare(kept->second.get(), sql.constData(), (unsigned long)sql.size())) {
            const Stmt failed = std::move(kept->second);
            m_lookups.erase(kept);
            fail(failed.get());
        }
    }
    MYSQL_STMT *s = kept->second.get();
    execute(s, order, values);
    if (mysql_stmt_field_count(s) > 0) {
        std::unique_ptr<MYSQL_RES, void (*)(MYSQL_RES *)> meta(mysql_stmt_result_metadata(s),
                                                               mysql_free_result);
        if (!meta)
            fail(s);
        RowReader reader(s, meta.get());
        QVariantList row;
        while (reader.next(row))
            result.Rows.push_back(row);
    }
    mysql_stmt_free_result(s);
    return std::move(result.Rows);
}

QStringList MySQLDriver::listTables(bool SystemTables, const QString &Pattern) const
{
    QStringList names;
    const auto rows = query(
        SystemTables ? "select if(table_schema = database(), table_name,"
                       " concat(table_schema, '.', table_name)) from information_schema.tables"
                       " where table_schema = database() or table_schema in"
                       " ('information_schema', 'mysql', 'performance_schema', 'sys')"
                       " order by table_schema <> database(), table_schema, table_name"
                     : "select table_name from information_schema.tables"
                       " where table_schema = database() order by table_name");
    names.reserve(qsizetype(rows.size()));
    for (const QVariantList &row : rows) {
        const QString name = row.at(0).toString();
        if (Pattern.isEmpty() || ovlib::matchesPattern(name, Pattern))
            names << name;
    }
    return names;
}

QStringList MySQLDriver::TableNames(bool SystemTables)
{
    return listTables(SystemTables, QString());
}

QStringList MySQLDriver::MatchingTableNames(bool SystemTables, const QString &Pattern)
{
    return listTables(SystemTables, Pattern);
}

QList<TOvColumnInfo> MySQLDriver::Columns(const QString &TableName)
{
    const ObjName n = parseObjName(TableName);
    if (!n.Valid)
        return {};
    QList<TOvColumnInfo> columns;
    const auto rows = query("select column_name, ordinal_position, column_type, data_type,"
                            " is_nullable = 'YES', extra from information_schema.columns"
                            " where table_schema = coalesce(?, database()) and table_name = ?"
                            " order by ordinal_position",
                            {schemaParam(n), n.Name});
    for (const QVariantList &row : rows) {
        TOvColumnInfo c;
        c.Name = row.at(0).toString();
        c.Position = row.at(1).toInt();
        c.TypeName = row.at(2).toString();
        c.DataType = fieldTypeOf(row.at(3).toString(), c.TypeName);
        c.Nullable = row.at(4).toInt() != 0;
        // VIRTUAL, STORED or PERSISTENT GENERATED; a default expression
        // (DEFAULT_GENERATED) can be written.
        const QString extra = row.at(5).toString().toUpper();
        c.Generated = extra.contains(u"VIRTUAL GENERATED") || extra.contains(u"STORED GENERATED")
                      || extra.contains(u"PERSISTENT GENERATED");
        columns << c;
    }
    return columns;
}

QList<TOvIndexColumn> MySQLDriver::IndexColumns(const QString &TableName)
{
    const ObjName n = parseObjName(TableName);
    if (!n.Valid)
        return {};
    // The primary key first, then the others by name; a key part that is an
    // expression (MySQL's functional keys) has no column name.
    const auto rows = query("select index_name, non_unique, column_name, seq_in_index"
                            " from information_schema.statistics"
                            " where table_schema = coalesce(?, database()) and table_name = ?"
                            " order by index_name <> 'PRIMARY', index_name, seq_in_index",
                            {schemaParam(n), n.Name});
    QStringList withExpressions;
    for (const QVariantList &row : rows) {
        if (row.at(2).isNull())
            withExpressions << row.at(0).toString();
    }
    QList<TOvIndexColumn> columns;
    for (const QVariantList &row : rows) {
        TOvIndexColumn c;
        c.IndexName = row.at(0).toString();
        c.IndexType = (c.IndexName == u"PRIMARY" ? itPrimary : 0)
                      | (row.at(1).toInt() == 0 ? itUnique : 0)
                      | (withExpressions.contains(c.IndexName) ? itExpression : 0);
        c.ColumnName = row.at(2).toString();
        c.Position = row.at(3).toInt();
        columns << c;
    }
    return columns;
}

QStringList MySQLDriver::ProcedureNames()
{
    QStringList names;
    for (const QVariantList &row : query("select distinct routine_name from"
                                         " information_schema.routines where routine_schema ="
                                         " database() order by routine_name"))
        names << row.at(0).toString();
    return names;
}

MySQLDriver::RoutineRef MySQLDriver::routine(const QString &ProcName) const
{
    const ObjName n = parseObjName(ProcName);
    if (!n.Valid)
        return {};
    // A procedure wins over a function of the same name.
    const auto rows = query("select routine_schema, routine_name, routine_type"
                            " from information_schema.routines"
                            " where routine_schema = coalesce(?, database()) and routine_name = ?"
                            " order by routine_type desc limit 1",
                            {schemaParam(n), n.Name});
    if (rows.empty())
        return {};
    return {rows.front().at(0).toString(), rows.front().at(1).toString(),
            rows.front().at(2).toString()};
}

bool MySQLDriver::ProcedureExists(const QString &ProcName)
{
    return !routine(ProcName).Kind.isEmpty();
}

QList<TOvProcParamInfo> MySQLDriver::ProcedureParams(const QString &ProcName)
{
    const RoutineRef r = routine(ProcName);
    if (r.Kind.isEmpty())
        throw EOvDatabaseError(SStoredProcNotFound().arg(ProcName));
    const auto rows = query("select parameter_name, ordinal_position, parameter_mode, data_type,"
                            " dtd_identifier from information_schema.parameters"
                            " where specific_schema = ? and specific_name = ? and routine_type = ?"
                            " order by ordinal_position",
                            {r.Schema, r.Name, r.Kind});
    QList<TOvProcParamInfo> params;
    for (const QVariantList &row : rows) {
        TOvProcParamInfo p;
        p.Position = row.at(1).toInt();
        const QString mode = row.at(2).toString().toUpper();
        p.Name = p.Position == 0 ? QStringLiteral("Result") : row.at(0).toString();
        p.ParamType = p.Position == 0    ? TParamType::ptResult
                      : mode == u"OUT"   ? TParamType::ptOutput
                      : mode == u"INOUT" ? TParamType::ptInputOutput
                                         : TParamType::ptInput;
        p.TypeName = row.at(4).toString();
        p.DataType = fieldTypeOf(row.at(3).toString(), p.TypeName);
        params << p;
    }
    return params;
}

QString MySQLDriver::ProcedureCallSQL(const QString &ProcName, int InputCount) const
{
    const RoutineRef r = routine(ProcName);
    if (r.Kind.isEmpty())
        throw EOvDatabaseError(SStoredProcNotFound().arg(ProcName));
    const QString name = quoted(r.Schema) + u'.' + quoted(r.Name);
    QStringList args;
    if (r.Kind == u"FUNCTION") {
        for (int i = 0; i < InputCount; ++i)
            args << Placeholder(i);
        return QStringLiteral("select %1(%2) as `Result`").arg(name, args.join(u", "));
    }
    // Every parameter has its place in the call; an OUT one is bound to
    // null ("?0"), and the server returns the OUT and INOUT values as a row.
    const auto rows = query("select parameter_mode from information_schema.parameters"
                            " where specific_schema = ? and specific_name = ?"
                            " and routine_type = 'PROCEDURE' order by ordinal_position",
                            {r.Schema, r.Name});
    const auto inputs = std::count_if(rows.begin(), rows.end(), [](const QVariantList &Row) {
        return Row.at(0).toString().toUpper() != u"OUT";
    });
    if (inputs == InputCount) {
        int n = 0;
        for (const QVariantList &row : rows)
            args << (row.at(0).toString().toUpper() == u"OUT" ? QStringLiteral("?0")
                                                              : Placeholder(n++));
    } else {
        // A hand-made parameter list: the server says whether it fits.
        for (int i = 0; i < InputCount; ++i)
            args << Placeholder(i);
    }
    return QStringLiteral("call %1(%2)").arg(name, args.join(u", "));
}

QString MySQLDriver::QuoteObjectName(const QString &Name) const
{
    const ObjName n = parseObjName(Name);
    if (!n.Valid)
        return quoted(Name.trimmed());
    return n.Schema.isEmpty() ? quoted(n.Name) : quoted(n.Schema) + u'.' + quoted(n.Name);
}

QString MySQLDriver::QuoteColumnName(const QString &Name) const
{
    return quoted(Name);
}

QString MySQLDriver::QuoteIdent(const QString &Name) const
{
    return quoted(Name);
}

} // namespace ovmy
