// Catalogue look-ups and stored procedures of the PostgreSQL driver.
//
// Schemas are owners. An object name is "[schema.]name"; a part in double
// quotes keeps its case, an unquoted part folds to lower case, as the server
// reads identifiers. An unqualified name resolves through the search_path.
// Names often lose their quotes on the way (a select list parsed into bare
// table names, a name typed into a combo box): when the folded name names
// nothing, its unquoted parts are tried as written, so "Order Items" still
// finds the table "Order Items". The folded name always wins when it exists.
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

#include "PostgreSQLDriver.h"
#include "orvlib/OvCommon.h"
#include "orvlib/OvConsts.h"
#include "orvlib/OvPrivate.h"

#include <QHash>

#include <algorithm>

namespace ovpg {

// The relation kinds listed as tables: tables, partitioned tables, views,
// materialized views and foreign tables.
#define OV_TABLE_KINDS "('r', 'p', 'v', 'm', 'f')"

ObjName parseObjName(const QString &Text, bool Fold)
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
                if (Fold && c >= u'A' && c <= u'Z')
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

namespace {

// The table (or view) a name names, as expressions of a statement that give
// its oid or null: Folded for the folded spelling, Written for the spelling
// as written when that differs (empty otherwise), their names and schemas
// bound as Params. Without a schema the search_path decides, as the server
// would. Each spelling is one index look-up whose kind test sits in the
// select list, which keeps the statements as cheap to plan as the look-up
// itself.
struct RelOid
{
    QByteArray Folded;
    QByteArray Written;
    QStringList Params;

    bool valid() const { return !Folded.isEmpty(); }
    // The oid: the folded spelling's, else the written one's.
    QByteArray oid() const
    {
        return Written.isEmpty() ? Folded : "coalesce(" + Folded + ", " + Written + ')';
    }
};

RelOid relOid(const QString &Name)
{
    RelOid rel;
    const ObjName folded = parseObjName(Name);
    if (!folded.Valid)
        return rel;
    auto spelling = [&rel](const ObjName &n) {
        QByteArray sql = "(select case when c.relkind in " OV_TABLE_KINDS " then c.oid end"
                         " from pg_class c where c.relname = $"
                         + QByteArray::number(rel.Params.size() + 1) + "::name and ";
        rel.Params << n.Name;
        if (n.Schema.isEmpty()) {
            sql += "pg_table_is_visible(c.oid))";
        } else {
            sql += "c.relnamespace = (select s.oid from pg_namespace s where s.nspname = $"
                   + QByteArray::number(rel.Params.size() + 1) + "::name))";
            rel.Params << n.Schema;
        }
        return sql;
    };
    rel.Folded = spelling(folded);
    const ObjName written = parseObjName(Name, false);
    if (written.Schema != folded.Schema || written.Name != folded.Name)
        rel.Written = spelling(written);
    return rel;
}

// Looks Name up with Find, folded first, then (when that names nothing and
// differs) with its unquoted parts as written.
template<class F>
Oid lookUp(const QString &Name, F Find)
{
    const ObjName folded = parseObjName(Name);
    if (!folded.Valid)
        return 0;
    Oid oid = Find(folded);
    if (!oid) {
        const ObjName written = parseObjName(Name, false);
        if (written.Schema != folded.Schema || written.Name != folded.Name)
            oid = Find(written);
    }
    return oid;
}

// Case-insensitive matching in the server must agree with the library's own
// (QChar::toCaseFolded): the characters that fold alike, keyed by their fold,
// for every fold that more than one character shares.
const QHash<char16_t, QList<char16_t>> &foldClasses()
{
    static const QHash<char16_t, QList<char16_t>> classes = [] {
        QHash<char16_t, QList<char16_t>> all;
        for (char32_t c = 0; c <= 0xFFFF; ++c) {
            if (QChar::isSurrogate(c))
                continue;
            all[QChar::toCaseFolded(c)] << char16_t(c);
        }
        all.removeIf([](const auto &Entry) { return Entry.value().size() < 2; });
        return all;
    }();
    return classes;
}

QString charEntry(char32_t C)
{
    return C > 0xFFFF ? QStringLiteral("\\U%1").arg(uint(C), 8, 16, QLatin1Char('0'))
                      : QStringLiteral("\\u%1").arg(uint(C), 4, 16, QLatin1Char('0'));
}

// A regular expression for the server that matches every name
// ovlib::matchesPattern(Name, Pattern) accepts, and for names within the
// BMP nothing else; empty when the pattern filters nothing or cannot be
// written so. "?" matches one UTF-16 unit: k of them match between k/2
// and k characters of the server.
QString serverPattern(const QString &Pattern)
{
    if (Pattern.isEmpty() || Pattern == QLatin1String("*"))
        return {};
    QString re = QStringLiteral("^");
    for (qsizetype i = 0; i < Pattern.size();) {
        const QChar p = Pattern.at(i);
        if (p == u'*' || p == u'?') {
            int units = 0;
            bool any = false;
            for (; i < Pattern.size() && (Pattern.at(i) == u'*' || Pattern.at(i) == u'?'); ++i) {
                if (Pattern.at(i) == u'*')
                    any = true;
                else
                    ++units;
            }
            if (units > 255)
                return {}; // beyond the server's repetition bound
            const int least = (units + 1) / 2;
            re += any ? QStringLiteral(".{%1,}").arg(least)
                      : QStringLiteral(".{%1,%2}").arg(least).arg(units);
            continue;
        }
        if (p.isHighSurrogate() && i + 1 < Pattern.size() && Pattern.at(i + 1).isLowSurrogate()) {
            re += charEntry(QChar::surrogateToUcs4(p, Pattern.at(i + 1)));
            i += 2;
            continue;
        }
        if (p.isSurrogate() || p.isNull())
            return {}; // names hold neither
        const auto alike = foldClasses().constFind(p.toCaseFolded().unicode());
        if (alike == foldClasses().constEnd()) {
            re += charEntry(p.unicode());
        } else {
            re += u'[';
            for (char16_t c : *alike)
                re += charEntry(c);
            re += u']';
        }
        ++i;
    }
    return re + u'$';
}

} // namespace

QString PostgreSQLDriver::QuoteObjectName(const QString &Name) const
{
    ObjName n = parseObjName(Name);
    if (!n.Valid) // names nothing: quoted whole, the server reports it missing
        return QuoteIdentifier(Name.trimmed(), true);
    if (m_conn)
        tableOid(Name, &n); // the spelling that finds the table
    const QString object = QuoteIdentifier(n.Name, true);
    return n.Schema.isEmpty() ? object : QuoteIdentifier(n.Schema, true) + u'.' + object;
}

Oid PostgreSQLDriver::tableOid(const QString &Name, ObjName *Found) const
{
    const RelOid rel = relOid(Name);
    if (!rel.valid())
        return 0;
    const QByteArray sql
        = "select " + rel.Folded + (rel.Written.isEmpty() ? "" : ", " + rel.Written);
    const Result r = query(sql.constData(), rel.Params);
    if (!PQgetisnull(r.get(), 0, 0))
        return text(r, 0, 0).toUInt();
    if (PQnfields(r.get()) < 2 || PQgetisnull(r.get(), 0, 1))
        return 0;
    if (Found)
        *Found = parseObjName(Name, false);
    return text(r, 0, 1).toUInt();
}

// Which relations a listing holds: user tables (with the session's own
// temporary ones), user and system tables, or system tables alone.
enum class TableScope { User, All, System };

// Listed names as the server reads them: bare when the search_path finds the
// table, else qualified. For the user's tables visibility is worked out once
// for the whole catalogue (the first schema of the path that holds a
// relation of the name hides the others, as pg_table_is_visible decides)
// rather than per table, which on a fresh connection would load every table
// into the session's catalogue cache first. $1 is the scope ('user' or
// 'all'), $2 a regular expression the listed name must match ('' for all).
static const char *const ListTablesSQL
    = "with path as (select s.oid, min(p.pos) as pos from unnest(current_schemas(true))"
      " with ordinality p(name, pos) join pg_namespace s on s.nspname = p.name group by s.oid),"
      " visible as (select distinct on (c.relname) c.oid from pg_class c"
      " join path on path.oid = c.relnamespace order by c.relname, path.pos)"
      " select name from (select case when v.oid is not null then quote_ident(c.relname)"
      " else quote_ident(n.nspname) || '.' || quote_ident(c.relname) end as name"
      " from pg_class c join pg_namespace n on n.oid = c.relnamespace"
      " left join visible v on v.oid = c.oid"
      " where c.relkind in " OV_TABLE_KINDS
      " and (n.nspname !~ '^pg_' and n.nspname <> 'information_schema'"
      " or n.oid = pg_my_temp_schema()"
      " or $1::text = 'all' and n.nspname in ('pg_catalog', 'information_schema'))) t"
      " where $2::text = '' or name ~ $2::text";

// The system tables alone: a few hundred, whose visibility is cheap to ask
// one by one. $1 is 'system', $2 as above.
static const char *const ListSystemTablesSQL
    = "select name from (select case when pg_table_is_visible(c.oid) then quote_ident(c.relname)"
      " else quote_ident(n.nspname) || '.' || quote_ident(c.relname) end as name"
      " from pg_class c join pg_namespace n on n.oid = c.relnamespace"
      " where c.relkind in " OV_TABLE_KINDS
      " and n.nspname in ('pg_catalog', 'information_schema') and $1::text = 'system') t"
      " where $2::text = '' or name ~ $2::text";

QStringList PostgreSQLDriver::listTables(int Scope, const QString &Pattern) const
{
    static const QString scopes[]
        = {QStringLiteral("user"), QStringLiteral("all"), QStringLiteral("system")};
    // Regular expressions are written in characters of UTF-8; other server
    // encodings leave the filtering to the library.
    const char *encoding = PQparameterStatus(conn(), "server_encoding");
    const QString regex
        = encoding && qstrcmp(encoding, "UTF8") == 0 ? serverPattern(Pattern) : QString();
    const Result r = query(Scope == int(TableScope::System) ? ListSystemTablesSQL : ListTablesSQL,
                           {scopes[Scope], regex});
    QStringList names;
    const int rows = PQntuples(r.get());
    names.reserve(rows);
    for (int i = 0; i < rows; ++i) {
        QString name = text(r, i, 0);
        if (Pattern.isEmpty() || ovlib::matchesPattern(name, Pattern))
            names << std::move(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

QStringList PostgreSQLDriver::TableNames(bool SystemTables)
{
    return listTables(int(SystemTables ? TableScope::All : TableScope::User), QString());
}

QStringList PostgreSQLDriver::MatchingTableNames(bool SystemTables, const QString &Pattern)
{
    return listTables(int(SystemTables ? TableScope::All : TableScope::User), Pattern);
}

// A name is either bare (visible) or qualified with its schema, so a system
// table's name never equals a user table's: what the system flag adds is the
// tables of the two system schemas.
QStringList PostgreSQLDriver::SystemTableNames(const QString &Pattern)
{
    return listTables(int(TableScope::System), Pattern);
}

QList<TOvColumnInfo> PostgreSQLDriver::Columns(const QString &TableName)
{
    QList<TOvColumnInfo> columns;
    const RelOid rel = relOid(TableName);
    if (!rel.valid())
        return columns;
    const QByteArray sql = "select a.attname, format_type(a.atttypid, a.atttypmod),"
                           " coalesce(nullif(t.typbasetype, 0), a.atttypid), a.attnotnull,"
                           " a.attgenerated <> '', a.attidentity = 'a', c.relkind = 'm'"
                           " from pg_attribute a join pg_type t on t.oid = a.atttypid"
                           " join pg_class c on c.oid = a.attrelid"
                           " where a.attrelid = "
                           + rel.oid()
                           + " and a.attnum > 0 and not a.attisdropped order by a.attnum";
    const Result r = query(sql.constData(), rel.Params);
    const int rows = PQntuples(r.get());
    columns.reserve(rows);
    for (int i = 0; i < rows; ++i) {
        TOvColumnInfo c;
        c.Name = text(r, i, 0);
        c.Position = i + 1; // dropped columns leave gaps in attnum
        c.TypeName = text(r, i, 1);
        c.DataType = fieldTypeOf(text(r, i, 2).toUInt());
        c.Nullable = text(r, i, 3) != u"t";
        c.Generated = text(r, i, 4) == u"t"; // a stored generated column
        c.IdentityAlways = text(r, i, 5) == u"t";
        c.ReadOnlyTable = text(r, i, 6) == u"t";
        columns << c;
    }
    return columns;
}

QStringList PostgreSQLDriver::ColumnNames(const QString &TableName)
{
    QStringList names;
    const RelOid rel = relOid(TableName);
    if (!rel.valid())
        return names;
    const QByteArray sql = "select a.attname from pg_attribute a where a.attrelid = " + rel.oid()
                           + " and a.attnum > 0 and not a.attisdropped order by a.attnum";
    const Result r = query(sql.constData(), rel.Params);
    const int rows = PQntuples(r.get());
    names.reserve(rows);
    for (int i = 0; i < rows; ++i)
        names << text(r, i, 0);
    return names;
}

// A materialized view holds rows the server computed; no statement writes them.
bool PostgreSQLDriver::IsReadOnlyTable(const QString &TableName)
{
    const RelOid rel = relOid(TableName);
    if (!rel.valid())
        return false;
    const QByteArray sql = "select c.relkind = 'm' from pg_class c where c.oid = " + rel.oid();
    const Result r = query(sql.constData(), rel.Params);
    return PQntuples(r.get()) > 0 && text(r, 0, 0) == u"t";
}

QList<TOvIndexColumn> PostgreSQLDriver::IndexColumns(const QString &TableName)
{
    QList<TOvIndexColumn> result;
    const RelOid rel = relOid(TableName);
    if (!rel.valid())
        return result;
    // Key columns only (INCLUDE columns follow indnkeyatts); attnum 0 is an
    // expression. The primary key first, then by index name, then position.
    // Each key column's name is looked up by itself: the planner cannot tell
    // how wide the table is and would otherwise read all its columns.
    // Indexes hold NULLs as equal from version 15 on, when made so.
    const QByteArray nullsNotDistinct
        = PQserverVersion(conn()) >= 150000 ? "ix.indnullsnotdistinct" : "false";
    const QByteArray sql
        = "select ic.relname, ix.indisprimary, ix.indisunique, k.ord,"
          " (select a.attname from pg_attribute a where a.attrelid = ix.indrelid"
          " and a.attnum = k.attnum and k.attnum <> 0),"
          " ix.indexprs is not null, ix.indpred is not null, "
          + nullsNotDistinct
          + " from pg_index ix join pg_class ic on ic.oid = ix.indexrelid"
            " cross join lateral unnest(ix.indkey::int2[]) with ordinality k(attnum, ord)"
            " where ix.indrelid = "
          + rel.oid()
          + " and k.ord <= ix.indnkeyatts order by ix.indisprimary desc, ic.relname, k.ord";
    const Result r = query(sql.constData(), rel.Params);
    const int rows = PQntuples(r.get());
    result.reserve(rows);
    for (int i = 0; i < rows; ++i) {
        TOvIndexColumn c;
        c.IndexName = text(r, i, 0);
        if (text(r, i, 1) == u"t")
            c.IndexType |= itPrimary | itUnique;
        if (text(r, i, 2) == u"t")
            c.IndexType |= itUnique;
        c.Position = text(r, i, 3).toInt();
        // Expression and partial indexes are marked on every row: their
        // plain columns are not unique on their own.
        if (text(r, i, 5) == u"t")
            c.IndexType |= itExpression;
        if (text(r, i, 6) == u"t")
            c.IndexType |= itPartial;
        if (text(r, i, 7) == u"t")
            c.IndexType |= itNullsNotDistinct;
        if (!PQgetisnull(r.get(), i, 4)) // an expression key has no column name
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
    // Trigger functions (results trigger 2279 and event_trigger 3838, oids
    // fixed on every server) are not called as stored procedures. Nearly
    // every routine lives in pg_catalog (oid 11): leaving those out first
    // spares testing the result type of each, a quarter of the look-up's
    // time on the server.
    const Result r = query(
        "select distinct case when pg_function_is_visible(p.oid) then quote_ident(p.proname)"
        " else quote_ident(n.nspname) || '.' || quote_ident(p.proname) end"
        " from pg_proc p join pg_namespace n on n.oid = p.pronamespace"
        " where p.prokind in ('f', 'p') and p.pronamespace <> 11 and n.nspname !~ '^pg_'"
        " and n.nspname <> 'information_schema' and p.prorettype not in (2279, 3838)");
    QStringList names;
    for (int i = 0; i < PQntuples(r.get()); ++i)
        names << text(r, i, 0);
    std::sort(names.begin(), names.end());
    return names;
}

Oid PostgreSQLDriver::routineOid(const QString &Name) const
{
    return lookUp(Name, [this](const ObjName &n) -> Oid {
        const Result r
            = n.Schema.isEmpty()
                  ? query("select p.oid from pg_proc p join pg_namespace n"
                          " on n.oid = p.pronamespace where p.proname = $1"
                          " and p.prokind in ('f', 'p') and pg_function_is_visible(p.oid)"
                          " order by array_position(current_schemas(true), n.nspname), p.oid"
                          " limit 1",
                          {n.Name})
                  : query("select p.oid from pg_proc p join pg_namespace n"
                          " on n.oid = p.pronamespace where n.nspname = $1 and p.proname = $2"
                          " and p.prokind in ('f', 'p') order by p.oid limit 1",
                          {n.Schema, n.Name});
        return PQntuples(r.get()) > 0 ? text(r, 0, 0).toUInt() : 0;
    });
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

} // namespace ovpg
