// Opening a dataset and reading its first 100 rows, on a table of 1,000,000
// rows against a table of 1,000 rows: rows are read as they are needed, so
// the size of the table must not show. SQLite always; PostgreSQL when
// OV_PG_CONNINFO names a server (the tables are built once and kept for the
// next run).
#include "BenchMain.h"

#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDriver.h"
#include "rtl/Classes.h"
#include "rtl/SysUtils.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int BigRows = 1000000;
constexpr int SmallRows = 1000;
constexpr int ReadRows = 100;

QString tableName(int Rows)
{
    return QStringLiteral("rows_%1").arg(Rows);
}

// One SQLite file for the run with both tables, filled in one transaction
// by a recursive select (about a second for the million).
class SQLiteTables
{
public:
    static SQLiteTables &instance()
    {
        static SQLiteTables tables;
        return tables;
    }
    QObject owner;
    TOvDatabase *database = nullptr;

private:
    SQLiteTables()
    {
        database = new TOvDatabase(&owner);
        database->SetDatabaseName(QStringLiteral("BenchSQLite"));
        database->SetServerType(TOvServerType::stSQLite);
        database->SetRemoteDatabase(dir.filePath(QStringLiteral("rows.db")));
        database->Params()->Add(QStringLiteral("CREATE=true"));
        for (int rows : {SmallRows, BigRows}) {
            database->ExecSQL(
                QStringLiteral("begin; create table %1 (id integer primary key, name text,"
                               " amount real); with recursive s(i) as (select 1 union all"
                               " select i + 1 from s where i < %2) insert into %1 select i,"
                               " 'name ' || i, i * 0.5 from s; commit;")
                    .arg(tableName(rows))
                    .arg(rows));
        }
    }
    QTemporaryDir dir;
};

// Opens DataSet, reads the first ReadRows rows field by field, closes it.
void openAndReadFirstRows(benchmark::State &State, TOvDataSet *DataSet)
{
    for (auto _ : State) {
        DataSet->Open();
        qint64 sum = 0;
        for (int i = 0; i < ReadRows && !DataSet->Eof(); ++i, DataSet->Next()) {
            sum += DataSet->Fields(0)->AsInteger();
            benchmark::DoNotOptimize(DataSet->Fields(1)->AsString());
        }
        if (sum != qint64(ReadRows) * (ReadRows + 1) / 2)
            State.SkipWithError("the first rows are not the expected ones");
        DataSet->Close();
    }
}

void Lib_SQLiteQueryOpenFirst100(benchmark::State &State)
{
    SQLiteTables &t = SQLiteTables::instance();
    TOvQuery query(&t.owner);
    query.SetDatabaseName(t.database->DatabaseName());
    query.SQL()->SetText(QStringLiteral("select * from %1").arg(tableName(int(State.range(0)))));
    openAndReadFirstRows(State, &query);
}

void Lib_SQLiteTableOpenFirst100(benchmark::State &State)
{
    SQLiteTables &t = SQLiteTables::instance();
    TOvTable table(&t.owner);
    table.SetDatabaseName(t.database->DatabaseName());
    table.SetTableName(tableName(int(State.range(0))));
    openAndReadFirstRows(State, &table);
}

// The PostgreSQL tables live in a schema of their own, kept between runs.
class PgTables
{
public:
    static QString connInfo() { return qEnvironmentVariable("OV_PG_CONNINFO").trimmed(); }
    static PgTables &instance()
    {
        static PgTables tables;
        return tables;
    }
    QObject owner;
    TOvDatabase *database = nullptr;

private:
    PgTables()
    {
        database = new TOvDatabase(&owner);
        database->SetDatabaseName(QStringLiteral("BenchPg"));
        database->SetServerType(TOvServerType::stPostgreSQL);
        database->SetLoginPrompt(false);
        database->SetRemoteDatabase(connInfo());
        database->Params()->Add(QStringLiteral("options=-c search_path=ovbench_rows"));
        database->ExecSQL(QStringLiteral("create schema if not exists ovbench_rows"));
        for (int rows : {SmallRows, BigRows}) {
            const QString table = QStringLiteral("ovbench_rows.") + tableName(rows);
            database->ExecSQL(QStringLiteral("create table if not exists %1 (id integer primary"
                                             " key, name text, amount float8)")
                                  .arg(table));
            const std::unique_ptr<TOvCursor> count = database->Driver().OpenCursor(
                QStringLiteral("select count(*) from %1").arg(table), {});
            std::vector<QVariantList> rows1;
            count->FetchRows(rows1, 1);
            if (rows1.empty() || rows1.front().front().toLongLong() != rows) {
                database->ExecSQL(QStringLiteral("truncate %1; insert into %1 select g, 'name ' ||"
                                                 " g, g * 0.5 from generate_series(1, %2) g")
                                      .arg(table)
                                      .arg(rows));
                // Vacuumed now, not by the server's own vacuum in the middle
                // of the run (a million new rows call for it): that would
                // take a core from whichever case it fell on.
                database->ExecSQL(QStringLiteral("vacuum analyze %1").arg(table));
            }
        }
    }
};

void Lib_PgQueryOpenFirst100(benchmark::State &State)
{
    PgTables &t = PgTables::instance();
    TOvQuery query(&t.owner);
    query.SetDatabaseName(t.database->DatabaseName());
    query.SQL()->SetText(QStringLiteral("select * from %1").arg(tableName(int(State.range(0)))));
    openAndReadFirstRows(State, &query);
}

void Lib_PgTableOpenFirst100(benchmark::State &State)
{
    PgTables &t = PgTables::instance();
    TOvTable table(&t.owner);
    table.SetDatabaseName(t.database->DatabaseName());
    table.SetTableName(tableName(int(State.range(0))));
    openAndReadFirstRows(State, &table);
}

} // namespace

// Each case as the median of many short runs, the runs of all cases
// interleaved: a busy stretch of the machine falls on both sizes alike.
BENCHMARK(Lib_SQLiteQueryOpenFirst100)
    ->Arg(SmallRows)
    ->Arg(BigRows)
    ->Unit(benchmark::kMicrosecond)
    ->Apply(medianOfShortRuns);
BENCHMARK(Lib_SQLiteTableOpenFirst100)
    ->Arg(SmallRows)
    ->Arg(BigRows)
    ->Unit(benchmark::kMicrosecond)
    ->Apply(medianOfShortRuns);

int main(int argc, char **argv)
{
    // Near 1: the million rows cost what the thousand cost (slack for noise).
    std::vector<BenchRatio> ratios{
        {"SQLite query: open + 100 rows, 1M / 1k rows", "Lib_SQLiteQueryOpenFirst100/1000000",
         "Lib_SQLiteQueryOpenFirst100/1000", 1.5},
        {"SQLite table: open + 100 rows, 1M / 1k rows", "Lib_SQLiteTableOpenFirst100/1000000",
         "Lib_SQLiteTableOpenFirst100/1000", 1.5}};
    if (!PgTables::connInfo().isEmpty()) {
        for (auto *f : {&Lib_PgQueryOpenFirst100, &Lib_PgTableOpenFirst100}) {
            const char *name = f == &Lib_PgQueryOpenFirst100 ? "Lib_PgQueryOpenFirst100"
                                                             : "Lib_PgTableOpenFirst100";
            benchmark::RegisterBenchmark(name, f)
                ->Arg(SmallRows)
                ->Arg(BigRows)
                ->Unit(benchmark::kMicrosecond)
                ->Apply(medianOfShortRuns);
        }
        ratios.push_back({"PostgreSQL query: open + 100 rows, 1M / 1k rows",
                          "Lib_PgQueryOpenFirst100/1000000", "Lib_PgQueryOpenFirst100/1000", 1.5});
        ratios.push_back({"PostgreSQL table: open + 100 rows, 1M / 1k rows",
                          "Lib_PgTableOpenFirst100/1000000", "Lib_PgTableOpenFirst100/1000", 1.5});
    } else {
        std::printf("OV_PG_CONNINFO is not set: PostgreSQL is not measured\n");
    }
    return runBenchmarks(argc, argv, ratios, {}, {}, /*Interleaved=*/true);
}
