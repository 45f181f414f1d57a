// The runtime library's catalogue look-ups on SQLite against the same reads
// done directly with the sqlite3 API, and the select parser's throughput.
// When OV_PG_CONNINFO names a PostgreSQL server, the same look-ups on
// PostgreSQL against the minimal catalogue query sent through libpq, on
// databases of 1,000 and 10,000 tables in three schemas that the benchmark
// builds for itself (and keeps for the next run).
#include "BenchMain.h"
#include "BenchPg.h"

#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvSelectParser.h"
#include "orvlib/OvSession.h"
#include "rtl/Classes.h"
#include "rtl/SysUtils.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <map>
#include <memory>
#include <stdexcept>

namespace {

constexpr int TableCount = 10000;
constexpr int WideColumns = 1000;
const char *const WideTable = "WIDE_TABLE";

void exec(sqlite3 *Db, const QString &Sql)
{
    char *error = nullptr;
    if (sqlite3_exec(Db, Sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "unknown error";
        sqlite3_free(error);
        throw std::runtime_error(message);
    }
}

// One database for the whole run: 10,000 tables, and a table of 1,000
// columns with a composite primary key, two unique indexes and two others.
class Catalog
{
public:
    static Catalog &instance()
    {
        static Catalog catalog;
        return catalog;
    }

    QString file;
    sqlite3 *raw = nullptr;
    TOvDatabase *database = nullptr;

private:
    Catalog()
    {
        file = dir.filePath("catalog.db");
        sqlite3_open(file.toUtf8().constData(), &raw);
        exec(raw, "begin");
        for (int i = 0; i < TableCount; ++i)
            exec(raw, QString("create table T%1 (ID integer primary key, NAME text)")
                          .arg(i, 5, 10, QChar('0')));
        QStringList columns;
        for (int c = 0; c < WideColumns; ++c)
            columns << QString("C%1 integer").arg(c);
        exec(raw, QString("create table %1 (%2, primary key (C0, C1))")
                      .arg(WideTable, columns.join(", ")));
        exec(raw, QString("create unique index WIDE_U1 on %1 (C10, C11, C12)").arg(WideTable));
        exec(raw, QString("create unique index WIDE_U2 on %1 (C20)").arg(WideTable));
        exec(raw, QString("create index WIDE_I1 on %1 (C30, C31)").arg(WideTable));
        exec(raw, QString("create index WIDE_I2 on %1 (C40)").arg(WideTable));
        exec(raw, "commit");

        database = new TOvDatabase();
        database->SetDatabaseName("BENCH");
        database->SetServerType(TOvServerType::stSQLite);
        database->SetRemoteDatabase(file);
        database->SetConnected(true);
    }

    QTemporaryDir dir;
};

// A prepared statement stepped to the end, each row handed to Row.
template<class F>
void query(sqlite3 *Db, const char *Sql, const QString &Arg, F Row)
{
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(Db, Sql, -1, &st, nullptr);
    if (!Arg.isNull())
        sqlite3_bind_text16(st, 1, Arg.utf16(), int(Arg.size() * 2), SQLITE_TRANSIENT);
    while (sqlite3_step(st) == SQLITE_ROW)
        Row(st);
    sqlite3_finalize(st);
}

QString text(sqlite3_stmt *St, int Col)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(St, Col)),
                             sqlite3_column_bytes(St, Col));
}

void Raw_TableNames(benchmark::State &State)
{
    Catalog &c = Catalog::instance();
    for (auto _ : State) {
        QStringList names;
        query(c.raw,
              "select name from sqlite_schema where type in ('table', 'view') "
              "and name not like 'sqlite\\_%' escape '\\' order by name",
              QString(), [&](sqlite3_stmt *st) { names << text(st, 0); });
        benchmark::DoNotOptimize(names);
    }
}

void Lib_GetTableNames(benchmark::State &State)
{
    Catalog::instance(); // the database and its alias BENCH, made before timing
    for (auto _ : State) {
        TStringList names;
        Session()->GetTableNames("BENCH", QString(), false, &names);
        if (names.Count() != TableCount + 1)
            State.SkipWithError("wrong table count");
        benchmark::DoNotOptimize(names);
    }
}

void Raw_FieldNames(benchmark::State &State)
{
    Catalog &c = Catalog::instance();
    for (auto _ : State) {
        QStringList names;
        query(c.raw, "select name from pragma_table_xinfo(?1) where hidden <> 1", WideTable,
              [&](sqlite3_stmt *st) { names << text(st, 0); });
        benchmark::DoNotOptimize(names);
    }
}

void Lib_GetFieldNames(benchmark::State &State)
{
    Catalog::instance(); // the cases run in random order: this one may come first
    for (auto _ : State) {
        TStringList names;
        Session()->GetFieldNames("BENCH", WideTable, &names);
        if (names.Count() != WideColumns)
            State.SkipWithError("wrong column count");
        benchmark::DoNotOptimize(names);
    }
}

// The same answer read directly, in the statement the library runs (every
// key column of every index, and of a rowid key, at one read of the file),
// kept prepared as the library keeps it, in the same order (the primary key
// first, then by index name and key position) with the same bits: what the
// library adds is its own work only, the dataset.
void Raw_IndexInfo(benchmark::State &State)
{
    Catalog &c = Catalog::instance();
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v3(c.raw,
                       "select il.name, il.\"unique\", il.origin, il.partial, ii.seqno, ii.name"
                       " from pragma_index_list(?1, 'main') il,"
                       " pragma_index_info(il.name, 'main') ii"
                       " union all"
                       " select 'PRIMARY', 1, 'pk', 0, ti.pk - 1, ti.name"
                       " from (select 1 where not exists (select 1"
                       " from pragma_index_list(?1, 'main') where origin = 'pk'))"
                       " cross join pragma_table_info(?1, 'main') ti where ti.pk > 0",
                       -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr);
    for (auto _ : State) {
        struct Row
        {
            QString index, column;
            int type, position;
        };
        QList<Row> rows;
        sqlite3_bind_text(st, 1, WideTable, -1, SQLITE_STATIC);
        while (sqlite3_step(st) == SQLITE_ROW) {
            const bool primary = text(st, 2) == "pk";
            const int type = (sqlite3_column_int(st, 1) || primary ? 2 : 0) | (primary ? 4 : 0)
                             | (sqlite3_column_int(st, 3) ? 16 : 0)
                             | (sqlite3_column_type(st, 5) == SQLITE_NULL ? 8 : 0);
            rows.append({text(st, 0), text(st, 5), type, sqlite3_column_int(st, 4) + 1});
        }
        sqlite3_reset(st);
        std::sort(rows.begin(), rows.end(), [](const Row &a, const Row &b) {
            if ((a.type & 4) != (b.type & 4))
                return (a.type & 4) != 0;
            return a.index != b.index ? a.index < b.index : a.position < b.position;
        });
        if (rows.size() != 9)
            State.SkipWithError("wrong index row count");
        benchmark::DoNotOptimize(rows);
    }
    sqlite3_finalize(st);
}

void Lib_GetSchemaInfoIndexes(benchmark::State &State)
{
    Catalog &c = Catalog::instance();
    for (auto _ : State) {
        std::unique_ptr<TDataSet> info
            = c.database->GetSchemaInfo(TOvSchemaType::stIndexes, WideTable);
        int rows = 0;
        for (info->First(); !info->Eof(); info->Next()) {
            benchmark::DoNotOptimize(info->FieldByName("COLUMN_NAME")->AsString());
            ++rows;
        }
        if (rows != 9)
            State.SkipWithError("wrong index row count");
    }
}

// "select C000000, C000001 as A000001, t."C000002", ... from WIDE_TABLE t"
// with Items entries. Every entry has the same length whatever its number,
// so ten times the entries are ten times the text.
QString longSelect(int Items)
{
    QString sql = "select ";
    for (int i = 0; i < Items; ++i) {
        if (i)
            sql += ", ";
        const QString n = QString("%1").arg(i, 6, 10, QChar('0'));
        switch (i % 3) {
        case 0:
            sql += QString("C%1").arg(n);
            break;
        case 1:
            sql += QString("C%1 as A%1").arg(n);
            break;
        default:
            sql += QString("t.\"C%1\"").arg(n);
            break;
        }
    }
    return sql + "\nfrom WIDE_TABLE t -- the one table\nwhere t.C0 > 0";
}

// A select list of Items entries and the query that parses it, made once.
struct LongSelect
{
    explicit LongSelect(int Items)
        : sql(longSelect(Items))
    {}
    QString sql;
    TOvQuery query;
};

LongSelect &keptSelect(int Items)
{
    return keptFixture<LongSelect>(Items, {1000, 10000, 100000});
}

// One parse into new lists, timed from emptied caches, as after the edit
// that asks for it: otherwise the text of 10k items and its lists would
// stay in the processor's cache between runs and those of 100k would not,
// and the ratio would measure the cache's size. Freeing the lists is not
// parsing.
double parseOnce(int Items)
{
    LongSelect &select = keptSelect(Items);
    evictCaches();
    const double start = steadySeconds();
    auto fields = std::make_unique<TStringList>();
    auto tables = std::make_unique<TStringList>();
    select.query.ParseFieldInfoFromSQL(select.sql, fields.get(), tables.get(), nullptr);
    const double seconds = steadySeconds() - start;
    benchmark::DoNotOptimize(fields.get());
    fields.reset();
    tables.reset();
    finishFrees();
    return seconds;
}

// The parse's throughput; its growth is timed in turns (main).
void Lib_ParseFieldInfoFromSQL(benchmark::State &State)
{
    const int items = int(State.range(0));
    for (auto _ : State)
        State.SetIterationTime(parseOnce(items));
    State.SetBytesProcessed(State.iterations() * keptSelect(items).sql.toUtf8().size());
}

// The select reader alone, without building the lists.
void Lib_ParseSelectStatement(benchmark::State &State)
{
    const QString sql = longSelect(int(State.range(0)));
    for (auto _ : State)
        benchmark::DoNotOptimize(ParseSelectStatement(sql));
    State.SetBytesProcessed(State.iterations() * sql.toUtf8().size());
}

// "select t0.*, t1.*, ... from T00000 t0, T00001 t1, ..." over Tables tables:
// every qualified star finds its table and expands its columns.
void Lib_FieldOriginsQualifiedStars(benchmark::State &State)
{
    const int tables = int(State.range(0));
    QStringList stars, from;
    for (int i = 0; i < tables; ++i) {
        stars << QString("t%1.*").arg(i);
        from << QString("T%1 t%2").arg(i, 5, 10, QChar('0')).arg(i);
    }
    const QString sql = "select " + stars.join(", ") + " from " + from.join(", ");
    Catalog::instance();
    TOvQuery query;
    query.SetDatabaseName("BENCH");
    for (auto _ : State) {
        TStringList fields, tables;
        query.ParseFieldInfoFromSQL(sql, &fields, &tables, nullptr);
        // Each table has ID and NAME; the first of a name wins.
        if (fields.Count() != 2)
            State.SkipWithError("the stars were not expanded");
        benchmark::DoNotOptimize(fields);
    }
}

// --- PostgreSQL ---------------------------------------------------------------

const char *const PgSearchPath = "bench_a,bench_b,public";

QStringList pgColumn(const BenchPgResult &R)
{
    QStringList values;
    const int rows = PQntuples(R.get());
    values.reserve(rows);
    for (int i = 0; i < rows; ++i)
        values << QString::fromUtf8(PQgetvalue(R.get(), i, 0), PQgetlength(R.get(), i, 0));
    return values;
}

// A database "ovbench_catalog_<Tables>" of Tables tables spread over the
// schemas bench_a, bench_b (both on the search_path) and bench_c (off it),
// plus WIDE_TABLE of 1,000 columns in bench_a with the indexes of the SQLite
// side. Built once; a later run finds it complete and keeps it.
class PgCatalog
{
public:
    // The catalogue of Tables tables, or null (State skipped with the
    // reason) when the server cannot be reached or the build fails.
    static PgCatalog *instance(benchmark::State &State, int Tables)
    {
        static std::map<int, std::unique_ptr<PgCatalog>> catalogs;
        std::unique_ptr<PgCatalog> &c = catalogs[Tables];
        try {
            if (!c)
                c.reset(new PgCatalog(Tables));
        } catch (const Exception &e) {
            State.SkipWithError(qPrintable(e.Message()));
        } catch (const std::exception &e) {
            State.SkipWithError(e.what());
        }
        return c.get();
    }

    QString name;     // the database component's DatabaseName
    QString conninfo; // for raw connections to the benchmark database
    PGconn *raw = nullptr;
    TOvDatabase *database = nullptr;
    // A second component on the same database for the first-call case,
    // which connects anew each time: the other cases keep the warm session
    // of theirs, as the raw cases keep theirs.
    QString reconnectedName;
    TOvDatabase *reconnected = nullptr;

private:
    explicit PgCatalog(int Tables)
    {
        const QString dbname = QString("ovbench_catalog_%1").arg(Tables);
        conninfo = benchPgServer() + " dbname=" + dbname
                   + " options='-c search_path=" + PgSearchPath + "'";
        benchPgEnsureDatabase(dbname, conninfo,
                              "select count(*) from pg_class c join pg_namespace n"
                              " on n.oid = c.relnamespace where c.relkind = 'r'"
                              " and n.nspname in ('bench_a', 'bench_b', 'bench_c')",
                              Tables + 1, [&](PGconn *Conn) { fill(Conn, Tables); });
        raw = benchPgConnect(conninfo);
        name = QString("PGBENCH%1").arg(Tables);
        database = component(name, dbname);
        database->SetConnected(true);
        reconnectedName = name + "_RECONNECTED";
        reconnected = component(reconnectedName, dbname);
    }

    static TOvDatabase *component(const QString &Name, const QString &DbName)
    {
        auto *db = new TOvDatabase();
        db->SetDatabaseName(Name);
        db->SetServerType(TOvServerType::stPostgreSQL);
        db->SetLoginPrompt(false);
        db->SetRemoteDatabase(benchPgServer());
        db->Params()->Add("dbname=" + DbName);
        db->Params()->Add(QString("options=-c search_path=") + PgSearchPath);
        return db;
    }

    static void fill(PGconn *Conn, int Tables)
    {
        benchPgExec(Conn, "create schema bench_a; create schema bench_b; create schema bench_c");
        benchPgCreateTables(Conn, Tables,
                            "format('create table %I.%I (id integer)',"
                            " (array['bench_a', 'bench_b', 'bench_c'])[i % 3 + 1],"
                            " 't' || lpad(i::text, 5, '0'))");
        QStringList columns;
        for (int c = 0; c < WideColumns; ++c)
            columns << QString("c%1 integer").arg(c);
        benchPgExec(Conn,
                    QString("create table bench_a.wide_table (%1, primary key (c0, c1));"
                            "create unique index wide_u1 on bench_a.wide_table (c10, c11, c12);"
                            "create unique index wide_u2 on bench_a.wide_table (c20);"
                            "create index wide_i1 on bench_a.wide_table (c30, c31);"
                            "create index wide_i2 on bench_a.wide_table (c40);"
                            "analyze")
                        .arg(columns.join(", ")));
    }
};

// The name as the server reads it, bare when the search_path finds it.
const char *const PgListedName
    = "case when pg_table_is_visible(c.oid) then quote_ident(c.relname)"
      " else quote_ident(n.nspname) || '.' || quote_ident(c.relname) end";

QString pgTableListSQL(const char *Where)
{
    return QString("select name from (select %1 as name from pg_class c join pg_namespace n"
                   " on n.oid = c.relnamespace where c.relkind in ('r', 'p', 'v', 'm', 'f')"
                   " and %2) t order by name collate \"C\"")
        .arg(PgListedName, Where);
}

const char *const PgUserSchemas = "(n.nspname !~ '^pg_' and n.nspname <> 'information_schema'"
                                  " or n.oid = pg_my_temp_schema())";

void Raw_PgTableNames(benchmark::State &State)
{
    PgCatalog *pc = PgCatalog::instance(State, int(State.range(0)));
    if (!pc)
        return;
    PgCatalog &c = *pc;
    const QString sql = pgTableListSQL(PgUserSchemas);
    for (auto _ : State)
        benchmark::DoNotOptimize(pgColumn(benchPgExec(c.raw, sql)));
}

void Lib_PgGetTableNames(benchmark::State &State)
{
    const int tables = int(State.range(0));
    PgCatalog *pc = PgCatalog::instance(State, tables);
    if (!pc)
        return;
    PgCatalog &c = *pc;
    for (auto _ : State) {
        TStringList names;
        Session()->GetTableNames(c.name, QString(), false, &names);
        if (names.Count() != tables + 1)
            State.SkipWithError("wrong table count");
        benchmark::DoNotOptimize(names);
    }
}

// The first listing on a new connection, connecting included on both sides.
void Raw_PgTableNamesFirstCall(benchmark::State &State)
{
    PgCatalog *pc = PgCatalog::instance(State, TableCount);
    if (!pc)
        return;
    PgCatalog &c = *pc;
    const QString sql = pgTableListSQL(PgUserSchemas);
    for (auto _ : State) {
        PGconn *conn = benchPgConnect(c.conninfo);
        benchmark::DoNotOptimize(pgColumn(benchPgExec(conn, sql)));
        PQfinish(conn);
    }
}

void Lib_PgGetTableNamesFirstCall(benchmark::State &State)
{
    PgCatalog *pc = PgCatalog::instance(State, TableCount);
    if (!pc)
        return;
    PgCatalog &c = *pc;
    for (auto _ : State) {
        c.reconnected->SetConnected(false);
        c.reconnected->SetConnected(true);
        TStringList names;
        Session()->GetTableNames(c.reconnectedName, QString(), false, &names);
        benchmark::DoNotOptimize(names);
    }
}

// Ten tables of 10,000 whose names match. A pattern ignores letter case, so
// the server is asked the same: a case-blind regular expression (a LIKE
// that minds case asks less of it).
void Raw_PgTableNamesPattern(benchmark::State &State)
{
    PgCatalog *pc = PgCatalog::instance(State, TableCount);
    if (!pc)
        return;
    PgCatalog &c = *pc;
    const QString sql
        = QString("select name from (select %1 as name from pg_class c join pg_namespace n"
                  " on n.oid = c.relnamespace where c.relkind in ('r', 'p', 'v', 'm', 'f')"
                  " and %2) t where name ~* $1 order by name collate \"C\"")
              .arg(PgListedName, PgUserSchemas);
    for (auto _ : State)
        benchmark::DoNotOptimize(pgColumn(benchPgExec(c.raw, sql, {"^t000.0$"})));
}

void Lib_PgGetTableNamesPattern(benchmark::State &State)
{
    PgCatalog *pc = PgCatalog::instance(State, TableCount);
    if (!pc)
        return;
    PgCatalog &c = *pc;
    for (auto _ : State) {
        TStringList names;
        Session()->GetTableNames(c.name, "T000?0", false, &names);
        if (names.Count() != 7) // bench_c's are listed with their schema
            State.SkipWithError("wrong table count");
        benchmark::DoNotOptimize(names);
    }
}

void Raw_PgSysTables(benchmark::State &State)
{
    PgCatalog *pc = PgCatalog::instance(State, int(State.range(0)));
    if (!pc)
        return;
    PgCatalog &c = *pc;
    const QString sql = pgTableListSQL("n.nspname in ('pg_catalog', 'information_schema')");
    for (auto _ : State)
        benchmark::DoNotOptimize(pgColumn(benchPgExec(c.raw, sql)));
}

void Lib_PgGetSchemaInfoSysTables(benchmark::State &State)
{
    PgCatalog *pc = PgCatalog::instance(State, int(State.range(0)));
    if (!pc)
        return;
    PgCatalog &c = *pc;
    for (auto _ : State) {
        std::unique_ptr<TDataSet> info
            = c.database->GetSchemaInfo(TOvSchemaType::stSysTables, QString());
        if (info->RecordCount() < 100)
            State.SkipWithError("too few system tables");
        benchmark::DoNotOptimize(info);
    }
}

void Raw_PgProcNames(benchmark::State &State)
{
    PgCatalog *pc = PgCatalog::instance(State, TableCount);
    if (!pc)
        return;
    PgCatalog &c = *pc;
    const QString sql = "select name from (select distinct case when pg_function_is_visible(p.oid)"
                        " then quote_ident(p.proname) else quote_ident(n.nspname) || '.'"
                        " || quote_ident(p.proname) end as name from pg_proc p join pg_namespace n"
                        " on n.oid = p.pronamespace where p.prokind in ('f', 'p')"
                        " and n.nspname !~ '^pg_' and n.nspname <> 'information_schema'"
                        ") t order by name collate \"C\"";
    for (auto _ : State)
        benchmark::DoNotOptimize(pgColumn(benchPgExec(c.raw, sql)));
}

void Lib_PgGetStoredProcNames(benchmark::State &State)
{
    PgCatalog *pc = PgCatalog::instance(State, TableCount);
    if (!pc)
        return;
    PgCatalog &c = *pc;
    for (auto _ : State) {
        TStringList names;
        Session()->GetStoredProcNames(c.name, &names);
        benchmark::DoNotOptimize(names);
    }
}

const char *const PgWideColumnsSQL
    = "select attname from pg_attribute where attrelid = $1::regclass"
      " and attnum > 0 and not attisdropped order by attnum";

void Raw_PgFieldNames(benchmark::State &State)
{
    PgCatalog *pc = PgCatalog::instance(State, TableCount);
    if (!pc)
        return;
    PgCatalog &c = *pc;
    for (auto _ : State)
        benchmark::DoNotOptimize(pgColumn(benchPgExec(c.raw, PgWideColumnsSQL, {"wide_table"})));
}

void Lib_PgGetFieldNames(benchmark::State &State)
{
    PgCatalog *pc = PgCatalog::instance(State, TableCount);
    if (!pc)
        return;
    PgCatalog &c = *pc;
    for (auto _ : State) {
        TStringList names;
        Session()->GetFieldNames(c.name, "wide_table", &names);
        if (names.Count() != WideColumns)
            State.SkipWithError("wrong column count");
        benchmark::DoNotOptimize(names);
    }
}

// The columns of "select *": the result's own description, as a client
// reads it without the catalogue.
void Raw_PgSelectStarFields(benchmark::State &State)
{
    PgCatalog *pc = PgCatalog::instance(State, TableCount);
    if (!pc)
        return;
    PgCatalog &c = *pc;
    for (auto _ : State) {
        const BenchPgResult r = benchPgExec(c.raw, "select * from wide_table where false");
        QStringList names;
        for (int i = 0; i < PQnfields(r.get()); ++i)
            names << QString::fromUtf8(PQfname(r.get(), i));
        benchmark::DoNotOptimize(names);
    }
}

void Lib_PgParseSelectStar(benchmark::State &State)
{
    PgCatalog *pc = PgCatalog::instance(State, TableCount);
    if (!pc)
        return;
    PgCatalog &c = *pc;
    TOvQuery query;
    query.SetDatabaseName(c.name);
    for (auto _ : State) {
        TStringList fields, tables;
        query.ParseFieldInfoFromSQL("select * from wide_table", &fields, &tables, nullptr);
        if (fields.Count() != WideColumns)
            State.SkipWithError("wrong field count");
        benchmark::DoNotOptimize(fields);
    }
}

void Raw_PgIndexInfo(benchmark::State &State)
{
    PgCatalog *pc = PgCatalog::instance(State, TableCount);
    if (!pc)
        return;
    PgCatalog &c = *pc;
    const char *sql = "select ic.relname, ix.indisprimary, ix.indisunique, k.ord, a.attname"
                      " from pg_index ix join pg_class ic on ic.oid = ix.indexrelid"
                      " cross join lateral unnest(ix.indkey::int2[]) with ordinality k(attnum, ord)"
                      " left join pg_attribute a on a.attrelid = ix.indrelid"
                      " and a.attnum = k.attnum and k.attnum <> 0"
                      " where ix.indrelid = $1::regclass and k.ord <= ix.indnkeyatts"
                      " order by ix.indisprimary desc, ic.relname collate \"C\", k.ord";
    for (auto _ : State) {
        const BenchPgResult r = benchPgExec(c.raw, sql, {"wide_table"});
        QStringList rows;
        for (int i = 0; i < PQntuples(r.get()); ++i)
            rows << QString::fromUtf8(PQgetvalue(r.get(), i, 0))
                        + QString::fromUtf8(PQgetvalue(r.get(), i, 4));
        benchmark::DoNotOptimize(rows);
    }
}

void Lib_PgGetSchemaInfoIndexes(benchmark::State &State)
{
    PgCatalog *pc = PgCatalog::instance(State, TableCount);
    if (!pc)
        return;
    PgCatalog &c = *pc;
    for (auto _ : State) {
        std::unique_ptr<TDataSet> info
            = c.database->GetSchemaInfo(TOvSchemaType::stIndexes, "wide_table");
        int rows = 0;
        for (info->First(); !info->Eof(); info->Next()) {
            benchmark::DoNotOptimize(info->FieldByName("COLUMN_NAME")->AsString());
            ++rows;
        }
        if (rows != 9)
            State.SkipWithError("wrong index row count");
    }
}

// Every case is the median of many short runs, interleaved with those of
// every other case (see medianOfShortRuns): a busy stretch of the machine
// does not fall on one side of a ratio only.
void registerPostgreSQLBenchmarks()
{
    const auto ms = benchmark::kMillisecond;
    const auto us = benchmark::kMicrosecond;
    benchmark::RegisterBenchmark("Raw_PgTableNames", Raw_PgTableNames)
        ->Arg(1000)
        ->Arg(10000)
        ->Unit(ms)
        ->Apply(medianOfShortRuns);
    benchmark::RegisterBenchmark("Lib_PgGetTableNames", Lib_PgGetTableNames)
        ->Arg(1000)
        ->Arg(10000)
        ->Unit(ms)
        ->Apply(medianOfShortRuns);
    benchmark::RegisterBenchmark("Raw_PgTableNamesFirstCall", Raw_PgTableNamesFirstCall)
        ->Unit(ms)
        ->Apply(medianOfShortRuns);
    benchmark::RegisterBenchmark("Lib_PgGetTableNamesFirstCall", Lib_PgGetTableNamesFirstCall)
        ->Unit(ms)
        ->Apply(medianOfShortRuns);
    benchmark::RegisterBenchmark("Raw_PgTableNamesPattern", Raw_PgTableNamesPattern)
        ->Unit(ms)
        ->Apply(medianOfShortRuns);
    benchmark::RegisterBenchmark("Lib_PgGetTableNamesPattern", Lib_PgGetTableNamesPattern)
        ->Unit(ms)
        ->Apply(medianOfShortRuns);
    benchmark::RegisterBenchmark("Raw_PgSysTables", Raw_PgSysTables)
        ->Arg(1000)
        ->Arg(10000)
        ->Unit(ms)
        ->Apply(medianOfShortRuns);
    benchmark::RegisterBenchmark("Lib_PgGetSchemaInfoSysTables", Lib_PgGetSchemaInfoSysTables)
        ->Arg(1000)
        ->Arg(10000)
        ->Unit(ms)
        ->Apply(medianOfShortRuns);
    benchmark::RegisterBenchmark("Raw_PgProcNames", Raw_PgProcNames)
        ->Unit(us)
        ->Apply(medianOfShortRuns);
    benchmark::RegisterBenchmark("Lib_PgGetStoredProcNames", Lib_PgGetStoredProcNames)
        ->Unit(us)
        ->Apply(medianOfShortRuns);
    benchmark::RegisterBenchmark("Raw_PgFieldNames", Raw_PgFieldNames)
        ->Unit(us)
        ->Apply(medianOfShortRuns);
    benchmark::RegisterBenchmark("Lib_PgGetFieldNames", Lib_PgGetFieldNames)
        ->Unit(us)
        ->Apply(medianOfShortRuns);
    benchmark::RegisterBenchmark("Raw_PgSelectStarFields", Raw_PgSelectStarFields)
        ->Unit(us)
        ->Apply(medianOfShortRuns);
    benchmark::RegisterBenchmark("Lib_PgParseSelectStar", Lib_PgParseSelectStar)
        ->Unit(us)
        ->Apply(medianOfShortRuns);
    benchmark::RegisterBenchmark("Raw_PgIndexInfo", Raw_PgIndexInfo)
        ->Unit(us)
        ->Apply(medianOfShortRuns);
    benchmark::RegisterBenchmark("Lib_PgGetSchemaInfoIndexes", Lib_PgGetSchemaInfoIndexes)
        ->Unit(us)
        ->Apply(medianOfShortRuns);
}

const std::vector<BenchRatio> PgRatios{
    {"PG GetTableNames / libpq", "Lib_PgGetTableNames/10000", "Raw_PgTableNames/10000", 1.5},
    {"PG GetTableNames first call / libpq", "Lib_PgGetTableNamesFirstCall",
     "Raw_PgTableNamesFirstCall", 1.5},
    {"PG GetTableNames(pattern) / libpq", "Lib_PgGetTableNamesPattern", "Raw_PgTableNamesPattern",
     1.5},
    {"PG GetSchemaInfo(sys tables) / libpq", "Lib_PgGetSchemaInfoSysTables/10000",
     "Raw_PgSysTables/10000", 1.5},
    {"PG GetStoredProcNames / libpq", "Lib_PgGetStoredProcNames", "Raw_PgProcNames", 1.5},
    {"PG GetFieldNames / libpq", "Lib_PgGetFieldNames", "Raw_PgFieldNames", 1.5},
    {"PG fields of select * / libpq", "Lib_PgParseSelectStar", "Raw_PgSelectStarFields", 1.5},
    {"PG GetSchemaInfo(indexes) / libpq", "Lib_PgGetSchemaInfoIndexes", "Raw_PgIndexInfo", 1.5},
    // Linear: ten times the tables take at most ten times as long (with slack).
    {"PG GetTableNames 10k / 1k tables (x10)", "Lib_PgGetTableNames/10000",
     "Lib_PgGetTableNames/1000", 10 * 1.3},
    {"PG sys tables 10k / 1k tables (x10)", "Lib_PgGetSchemaInfoSysTables/10000",
     "Lib_PgGetSchemaInfoSysTables/1000", 10 * 1.3}};

} // namespace

BENCHMARK(Raw_TableNames)->Unit(benchmark::kMillisecond)->Apply(medianOfShortRuns);
BENCHMARK(Lib_GetTableNames)->Unit(benchmark::kMillisecond)->Apply(medianOfShortRuns);
BENCHMARK(Raw_FieldNames)->Unit(benchmark::kMicrosecond)->Apply(medianOfShortRuns);
BENCHMARK(Lib_GetFieldNames)->Unit(benchmark::kMicrosecond)->Apply(medianOfShortRuns);
BENCHMARK(Raw_IndexInfo)->Unit(benchmark::kMicrosecond)->Apply(medianOfShortRuns);
BENCHMARK(Lib_GetSchemaInfoIndexes)->Unit(benchmark::kMicrosecond)->Apply(medianOfShortRuns);
BENCHMARK(Lib_ParseSelectStatement)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Apply(medianOfShortRuns);
BENCHMARK(Lib_ParseFieldInfoFromSQL)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(41);
BENCHMARK(Lib_FieldOriginsQualifiedStars)
    ->Arg(1000)
    ->Arg(4000)
    ->Unit(benchmark::kMillisecond)
    ->Apply(medianOfShortRuns);

int main(int argc, char **argv)
{
    keepFreedMemory();
    timeInTurns("Lib_ParseFieldInfo_1kAnd10k", 1000, 10000, parseOnce)
        ->Unit(benchmark::kMillisecond);
    timeInTurns("Lib_ParseFieldInfo_10kAnd100k", 10000, 100000, parseOnce)
        ->Unit(benchmark::kMillisecond);
    std::vector<BenchRatio> ratios{
        {"GetTableNames / sqlite3", "Lib_GetTableNames", "Raw_TableNames", 1.5},
        {"GetFieldNames / sqlite3", "Lib_GetFieldNames", "Raw_FieldNames", 1.5},
        {"GetSchemaInfo(indexes) / sqlite3", "Lib_GetSchemaInfoIndexes", "Raw_IndexInfo", 1.3},
        // Linear: ten times the text takes at most ten times as long (with
        // slack). The work is linear (the instruction count grows 10.0x from
        // 10k to 100k items); at 100k items the lists outgrow the caches, and
        // the look-ups of names wait for memory in batches, not one by one.
        {"ParseFieldInfoFromSQL 10k / 1k items (x10 text)", "Lib_ParseFieldInfo_1kAnd10k@ratio", "",
         10 * 1.3},
        {"ParseFieldInfoFromSQL 100k / 10k items (x10 text)", "Lib_ParseFieldInfo_10kAnd100k@ratio",
         "", 11},
        // Linear in the number of qualified stars (and of their tables).
        {"Field origins of 4000 / 1000 qualified stars (x4)", "Lib_FieldOriginsQualifiedStars/4000",
         "Lib_FieldOriginsQualifiedStars/1000", 4 * 1.3}};
    if (!benchPgServer().isEmpty()) {
        registerPostgreSQLBenchmarks();
        ratios.insert(ratios.end(), PgRatios.begin(), PgRatios.end());
    } else {
        std::printf("OV_PG_CONNINFO is not set: the PostgreSQL look-ups are not measured\n");
    }
    return runBenchmarks(
        argc, argv, ratios,
        {{"ParseFieldInfoFromSQL, long select list", "Lib_ParseFieldInfoFromSQL/10000", 20e6}}, {},
        /*Interleaved=*/true);
}
