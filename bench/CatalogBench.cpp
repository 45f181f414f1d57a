// The runtime library's catalogue look-ups on SQLite against the same reads
// done directly with the sqlite3 API, and the select parser's throughput.
#include "BenchMain.h"

#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvSelectParser.h"
#include "orvlib/OvSession.h"
#include "rtl/Classes.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

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
        query(c.raw, "select name from pragma_table_info(?1)", WideTable,
              [&](sqlite3_stmt *st) { names << text(st, 0); });
        benchmark::DoNotOptimize(names);
    }
}

void Lib_GetFieldNames(benchmark::State &State)
{
    for (auto _ : State) {
        TStringList names;
        Session()->GetFieldNames("BENCH", WideTable, &names);
        if (names.Count() != WideColumns)
            State.SkipWithError("wrong column count");
        benchmark::DoNotOptimize(names);
    }
}

void Raw_IndexInfo(benchmark::State &State)
{
    Catalog &c = Catalog::instance();
    for (auto _ : State) {
        struct Row
        {
            QString index, column;
            int type, position;
        };
        QList<Row> rows;
        query(c.raw, "select name, \"unique\", origin from pragma_index_list(?1)", WideTable,
              [&](sqlite3_stmt *st) {
                  const QString index = text(st, 0);
                  const int type
                      = (sqlite3_column_int(st, 1) ? 2 : 0) | (text(st, 2) == "pk" ? 4 : 0);
                  query(
                      c.raw, "select seqno, name from pragma_index_info(?1)", index,
                      [&](sqlite3_stmt *ist) {
                          rows.append({index, text(ist, 1), type, sqlite3_column_int(ist, 0) + 1});
                      });
              });
        benchmark::DoNotOptimize(rows);
    }
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

// "select C0, C1 as A1, t.C2, ... from WIDE_TABLE t" with Items entries.
QString longSelect(int Items)
{
    QString sql = "select ";
    for (int i = 0; i < Items; ++i) {
        if (i)
            sql += ", ";
        switch (i % 3) {
        case 0:
            sql += QString("C%1").arg(i);
            break;
        case 1:
            sql += QString("C%1 as A%1").arg(i);
            break;
        default:
            sql += QString("t.\"C%1\"").arg(i);
            break;
        }
    }
    return sql + "\nfrom WIDE_TABLE t -- the one table\nwhere t.C0 > 0";
}

void Lib_ParseFieldInfoFromSQL(benchmark::State &State)
{
    const QString sql = longSelect(int(State.range(0)));
    TOvQuery query;
    for (auto _ : State) {
        TStringList fields, tables;
        query.ParseFieldInfoFromSQL(sql, &fields, &tables, nullptr);
        benchmark::DoNotOptimize(fields);
    }
    State.SetBytesProcessed(State.iterations() * sql.toUtf8().size());
}

// The select reader alone, without building the lists.
void Lib_ParseSelectStatement(benchmark::State &State)
{
    const QString sql = longSelect(int(State.range(0)));
    for (auto _ : State)
        benchmark::DoNotOptimize(ParseSelectStatement(sql));
    State.SetBytesProcessed(State.iterations() * sql.toUtf8().size());
}

} // namespace

BENCHMARK(Raw_TableNames)->Unit(benchmark::kMillisecond);
BENCHMARK(Lib_GetTableNames)->Unit(benchmark::kMillisecond);
BENCHMARK(Raw_FieldNames)->Unit(benchmark::kMicrosecond);
BENCHMARK(Lib_GetFieldNames)->Unit(benchmark::kMicrosecond);
BENCHMARK(Raw_IndexInfo)->Unit(benchmark::kMicrosecond);
BENCHMARK(Lib_GetSchemaInfoIndexes)->Unit(benchmark::kMicrosecond);
BENCHMARK(Lib_ParseSelectStatement)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(Lib_ParseFieldInfoFromSQL)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    return runBenchmarks(
        argc, argv,
        {{"GetTableNames / sqlite3", "Lib_GetTableNames", "Raw_TableNames", 1.5},
         {"GetFieldNames / sqlite3", "Lib_GetFieldNames", "Raw_FieldNames", 1.5},
         {"GetSchemaInfo(indexes) / sqlite3", "Lib_GetSchemaInfoIndexes", "Raw_IndexInfo", 1.5},
         // Linear: ten times the text takes at most ten times as long (with
         // slack). The work is linear (the instruction count grows 10.1x from
         // 10k to 100k items); at 100k items the lists outgrow the caches and
         // memory adds its share.
         {"ParseFieldInfoFromSQL 10k / 1k items (x10 text)", "Lib_ParseFieldInfoFromSQL/10000",
          "Lib_ParseFieldInfoFromSQL/1000", 10 * 1.3},
         {"ParseFieldInfoFromSQL 100k / 10k items (x10 text)", "Lib_ParseFieldInfoFromSQL/100000",
          "Lib_ParseFieldInfoFromSQL/10000", 10 * 1.3}},
        {{"ParseFieldInfoFromSQL, long select list", "Lib_ParseFieldInfoFromSQL/10000", 20e6}});
}
