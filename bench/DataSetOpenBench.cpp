// Opening a dataset and reading its first 100 rows, on tables of 10,000 and
// 1,000,000 rows, against a raw client that runs the same query to its end
// (sqlite3 stepping through every row, libpq receiving every row). A dataset
// shows one result of one run of its query, so the open runs the query to
// its end too: the ratio is what keeping the result costs over a client
// that only looks at it. SQLite always; PostgreSQL when OV_PG_CONNINFO names
// a server (the tables are built once and kept for the next run).
#include "BenchMain.h"
#include "BenchPg.h"

#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDriver.h"
#include "rtl/Classes.h"
#include "rtl/SysUtils.h"

#include <QTemporaryDir>

#include <sqlite3.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int BigRows = 1000000;
constexpr int SmallRows = 10000;
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
    QString file() const { return dir.filePath(QStringLiteral("rows.db")); }

private:
    SQLiteTables()
    {
        database = new TOvDatabase(&owner);
        database->SetDatabaseName(QStringLiteral("BenchSQLite"));
        database->SetServerType(TOvServerType::stSQLite);
        database->SetRemoteDatabase(file());
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

// The query a table dataset runs: its rows in the order of its key.
QString tableQuery(const QString &Prefix, int Rows)
{
    return QStringLiteral("select * from %1%2 order by id").arg(Prefix, tableName(Rows));
}

void Lib_SQLiteQueryOpenFirst100(benchmark::State &State)
{
    SQLiteTables &t = SQLiteTables::instance();
    TOvQuery query(&t.owner);
    query.SetDatabaseName(t.database->DatabaseName());
    query.SQL()->SetText(tableQuery(QString(), int(State.range(0))));
    openAndReadFirstRows(State, &query);
}

// sqlite3 alone, on a connection of its own: the query a table dataset
// runs, stepped to its end, each value looked at.
void Raw_SQLiteQueryToEnd(benchmark::State &State)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(SQLiteTables::instance().file().toUtf8().constData(), &db, SQLITE_OPEN_READONLY,
                    nullptr);
    const QByteArray sql = tableQuery(QString(), int(State.range(0))).toUtf8();
    for (auto _ : State) {
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr);
        qint64 sum = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            sum += sqlite3_column_int64(st, 0) + sqlite3_column_bytes(st, 1);
            benchmark::DoNotOptimize(sqlite3_column_text(st, 1));
            benchmark::DoNotOptimize(sqlite3_column_double(st, 2));
        }
        sqlite3_finalize(st);
        benchmark::DoNotOptimize(sum);
    }
    sqlite3_close(db);
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
    query.SQL()->SetText(tableQuery(QString(), int(State.range(0))));
    openAndReadFirstRows(State, &query);
}

// libpq alone: the query a table dataset runs, every row received, each
// value looked at.
void Raw_PgQueryToEnd(benchmark::State &State)
{
    PgTables::instance();
    PGconn *conn = benchPgConnect(PgTables::connInfo());
    const QString sql = tableQuery(QStringLiteral("ovbench_rows."), int(State.range(0)));
    for (auto _ : State) {
        const BenchPgResult r = benchPgExec(conn, sql);
        qint64 sum = 0;
        for (int row = 0, rows = PQntuples(r.get()); row < rows; ++row)
            for (int col = 0; col < 3; ++col)
                sum += PQgetlength(r.get(), row, col);
        benchmark::DoNotOptimize(sum);
    }
    PQfinish(conn);
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
BENCHMARK(Raw_SQLiteQueryToEnd)
    ->Arg(SmallRows)
    ->Arg(BigRows)
    ->Unit(benchmark::kMicrosecond)
    ->Apply(medianOfShortRuns);

int main(int argc, char **argv)
{
    // The first page of a million rows against a raw client's whole result.
    std::vector<BenchRatio> ratios{
        {"SQLite query: open + 100 rows / raw client to the end, 1M rows",
         "Lib_SQLiteQueryOpenFirst100/1000000", "Raw_SQLiteQueryToEnd/1000000", 1.5},
        {"SQLite table: open + 100 rows / raw client to the end, 1M rows",
         "Lib_SQLiteTableOpenFirst100/1000000", "Raw_SQLiteQueryToEnd/1000000", 1.5}};
    if (!PgTables::connInfo().isEmpty()) {
        for (auto *f : {&Lib_PgQueryOpenFirst100, &Lib_PgTableOpenFirst100, &Raw_PgQueryToEnd}) {
            const char *name = f == &Lib_PgQueryOpenFirst100   ? "Lib_PgQueryOpenFirst100"
                               : f == &Lib_PgTableOpenFirst100 ? "Lib_PgTableOpenFirst100"
                                                               : "Raw_PgQueryToEnd";
            benchmark::RegisterBenchmark(name, f)
                ->Arg(SmallRows)
                ->Arg(BigRows)
                ->Unit(benchmark::kMicrosecond)
                ->Apply(medianOfShortRuns);
        }
        ratios.push_back({"PostgreSQL query: open + 100 rows / raw client to the end, 1M rows",
                          "Lib_PgQueryOpenFirst100/1000000", "Raw_PgQueryToEnd/1000000", 1.5});
        ratios.push_back({"PostgreSQL table: open + 100 rows / raw client to the end, 1M rows",
                          "Lib_PgTableOpenFirst100/1000000", "Raw_PgQueryToEnd/1000000", 1.5});
    } else {
        std::printf("OV_PG_CONNINFO is not set: PostgreSQL is not measured\n");
    }
    return runBenchmarks(argc, argv, ratios, {}, {}, /*Interleaved=*/true);
}
