// Reading a sorted result of 200,000 rows 100 at a time, as a grid scrolls,
// against reading it in one go: a dataset reads one result of one run of its
// query, so the pages cost little more than the one read. And a one-row
// write while a dataset of 1,000,000 rows is partly read (opened,
// 100 rows read), against the same write with no dataset open: by another
// connection, and on the dataset's own connection. Between two reads a
// dataset holds nothing, so the write waits for nobody and reads no rows
// ahead; after the runs, the memory a write on the dataset's own connection
// adds while the dataset is partly read is checked (under 10 MB). SQLite
// always; PostgreSQL when OV_PG_CONNINFO names a server.
//
// Opening the dataset runs its query to its end (a second or so for the
// million rows), so each iteration opens it once: its writes with the
// dataset partly read come in a row, each after walking its first 100 rows
// again, and those with it closed in another row, each after the same walk
// over a small dataset; which row comes first alternates. A write that
// follows a few milliseconds of other work is slower than one right after
// the write before, whatever that work was (a server process that slept,
// caches the work took over): a baseline of writes one after the other
// measured that, not the open dataset.
#include "BenchMain.h"

#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDriver.h"
#include "rtl/Classes.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

constexpr int Rows = 1000000;
constexpr int SortedRows = 200000;
constexpr double MaxGrowthMB = 10;
constexpr int PairsPerIteration = 9;
constexpr int Repetitions = 21;

// Two connections to one database holding the big table "rows_big" and a
// one-row table "target" that the writes change.
struct Databases
{
    QObject owner;
    TOvDatabase *reader = nullptr; // the dataset's connection
    TOvDatabase *other = nullptr;  // another session
    TOvQuery *big = nullptr;
    TOvQuery *small = nullptr; // 100 rows, walked before the writes with big closed

    TOvDatabase *make(const QString &Name, TOvServerType Type, const QString &Remote)
    {
        auto *db = new TOvDatabase(&owner);
        db->SetDatabaseName(Name);
        db->SetServerType(Type);
        db->SetLoginPrompt(false);
        db->SetRemoteDatabase(Remote);
        return db;
    }
    // Frees the components while the runtime library's registries still
    // exist; a static's destructor would run after them.
    void release()
    {
        delete big;
        delete small;
        delete other;
        delete reader;
        big = small = nullptr;
        other = reader = nullptr;
    }
    void finish(const QString &Prefix)
    {
        big = new TOvQuery(&owner);
        big->setObjectName(QStringLiteral("qBig"));
        big->SetDatabaseName(reader->DatabaseName());
        big->SQL()->SetText(QStringLiteral("select * from %1rows_big").arg(Prefix));
        small = new TOvQuery(&owner);
        small->SetDatabaseName(reader->DatabaseName());
        small->SQL()->SetText(
            QStringLiteral("select * from %1rows_big where id <= 100 order by id").arg(Prefix));
        m_prefix = Prefix;
    }
    // One row changed, through Db.
    void write(TOvDatabase *Db)
    {
        Db->ExecSQL(QStringLiteral("update %1target set n = n + 1 where id = 1").arg(m_prefix));
    }
    QString m_prefix;
};

// The folder of the SQLite file: in memory where the system offers one. A
// write then costs SQLite's own work and no wait for the disk, which other
// programs share and which takes a few milliseconds one moment and twenty
// the next; the open dataset's cost, if it had one, would stand out.
QString sqliteFolder()
{
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    return shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
}

Databases &sqlite()
{
    static QTemporaryDir dir(sqliteFolder() + QStringLiteral("/partly_read_bench-XXXXXX"));
    static Databases d;
    if (!d.reader) {
        const QString file = dir.filePath(QStringLiteral("partly.db"));
        d.reader = d.make(QStringLiteral("PartlySQLite"), TOvServerType::stSQLite, file);
        d.reader->Params()->Add(QStringLiteral("CREATE=true"));
        d.reader->ExecSQL(
            QStringLiteral("begin; create table rows_big (id integer primary key, name text,"
                           " amount real); with recursive s(i) as (select 1 union all"
                           " select i + 1 from s where i < %1) insert into rows_big select i,"
                           " 'name ' || i, i * 0.5 from s; create table target (id integer"
                           " primary key, n integer); insert into target values (1, 0);"
                           " commit;")
                .arg(Rows));
        d.other = d.make(QStringLiteral("PartlySQLiteOther"), TOvServerType::stSQLite, file);
        d.finish(QString());
    }
    return d;
}

QString pgConnInfo()
{
    return qEnvironmentVariable("OV_PG_CONNINFO").trimmed();
}

Databases &postgres()
{
    static Databases d;
    if (!d.reader) {
        d.reader = d.make(QStringLiteral("PartlyPg"), TOvServerType::stPostgreSQL, pgConnInfo());
        d.reader->ExecSQL(QStringLiteral("create schema if not exists ovbench_partly;"
                                         " create table if not exists ovbench_partly.target (id"
                                         " integer primary key, n integer);"
                                         " insert into ovbench_partly.target values (1, 0)"
                                         " on conflict do nothing;"
                                         " create table if not exists ovbench_partly.rows_big (id"
                                         " integer primary key, name text, amount float8)"));
        TOvQuery count(&d.owner);
        count.SetDatabaseName(d.reader->DatabaseName());
        count.SQL()->SetText(QStringLiteral("select count(*) from ovbench_partly.rows_big"));
        count.Open();
        if (count.Fields(0)->AsInteger() != Rows)
            d.reader->ExecSQL(QStringLiteral("truncate ovbench_partly.rows_big; insert into"
                                             " ovbench_partly.rows_big select g, 'name ' || g,"
                                             " g * 0.5 from generate_series(1, %1) g;"
                                             " analyze ovbench_partly.rows_big")
                                  .arg(Rows));
        count.Close();
        d.other
            = d.make(QStringLiteral("PartlyPgOther"), TOvServerType::stPostgreSQL, pgConnInfo());
        d.finish(QStringLiteral("ovbench_partly."));
    }
    return d;
}

// Opens the big dataset unless it is open (the open reads its first 100
// rows) and walks its first 100 rows.
void readPartly(Databases &D)
{
    if (!D.big->Active())
        D.big->Open();
    D.big->First();
    for (int i = 1; i < 100; ++i)
        D.big->Next();
}

// Walks 100 rows, of the big dataset partly read or of the small one with
// the big one closed, and times one write through Writer (seconds).
double timedWrite(Databases &D, TOvDatabase *Writer, bool Partly)
{
    if (Partly) {
        readPartly(D);
    } else {
        D.big->Close();
        if (!D.small->Active())
            D.small->Open();
        D.small->First();
        for (int i = 1; i < 100; ++i)
            D.small->Next();
    }
    QElapsedTimer timer;
    timer.start();
    D.write(Writer);
    return double(timer.nsecsElapsed()) / 1e9;
}

// The middle of Values (sorted in place).
double median(std::vector<double> &Values)
{
    std::sort(Values.begin(), Values.end());
    return Values[Values.size() / 2];
}

// range(0): 1 writes through another connection, 0 through the dataset's own.
// Each iteration writes PairsPerIteration times with the dataset partly read
// and as often with it closed, the two rows in turn first. The iteration's
// time is the median of its writes with the dataset partly read, the
// counter "closed" that of the others: a write that waited milliseconds for
// a processor taken by other programs does not decide.
void write(benchmark::State &State, Databases &D)
{
    TOvDatabase *writer = State.range(0) != 0 ? D.other : D.reader;
    D.reader->Open();
    writer->Open();
    double closed = 0;
    bool partlyFirst = true;
    for (auto _ : State) {
        std::vector<double> partlyTimes, closedTimes;
        for (const bool partly : {partlyFirst, !partlyFirst})
            for (int i = 0; i < PairsPerIteration; ++i)
                (partly ? partlyTimes : closedTimes).push_back(timedWrite(D, writer, partly));
        partlyFirst = !partlyFirst;
        State.SetIterationTime(median(partlyTimes));
        closed += median(closedTimes);
    }
    State.counters["closed"] = benchmark::Counter(closed, benchmark::Counter::kAvgIterations);
    D.big->Close();
    D.small->Close();
}

// The sorted rows, as the query of a dataset on Db's connection.
QString sortedQuery(Databases &D)
{
    return QStringLiteral("select id, name, amount from %1rows_big where id <= %2"
                          " order by amount desc")
        .arg(D.m_prefix)
        .arg(SortedRows);
}

// range(0): 0 reads the sorted rows in one go (the driver reads the whole
// result), 1 opens a dataset on them and reads 100 rows at a time to the end.
void page(benchmark::State &State, Databases &D)
{
    D.reader->Open();
    const QString sql = sortedQuery(D);
    TOvQuery query(&D.owner);
    query.SetDatabaseName(D.reader->DatabaseName());
    query.SQL()->SetText(sql);
    for (auto _ : State) {
        qsizetype rows = 0;
        if (State.range(0) == 0) {
            rows = qsizetype(D.reader->Driver().Execute(sql, {}).Rows.size());
        } else {
            query.Open();
            while (!query.AllFetched())
                query.FetchMore(100);
            rows = query.FetchedCount();
            query.Close();
        }
        if (rows != SortedRows)
            State.SkipWithError("not every row was read");
    }
}

void Page_SQLite(benchmark::State &State)
{
    page(State, sqlite());
}

void Page_Pg(benchmark::State &State)
{
    page(State, postgres());
}

// Many short repetitions, run in random order; the median of each decides.
void shortRepetitions(benchmark::internal::Benchmark *B)
{
    B->Arg(0)
        ->Arg(1)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond)
        ->Iterations(1)
        ->Repetitions(Repetitions);
}

void Write_SQLite(benchmark::State &State)
{
    write(State, sqlite());
}

void Write_Pg(benchmark::State &State)
{
    write(State, postgres());
}

double residentMB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * double(sysconf(_SC_PAGESIZE)) / 1e6 : 0;
}

// What a write on the dataset's own connection adds to the process while
// the dataset is partly read; true when under the limit.
bool memoryStaysBounded(const char *Label, Databases &D)
{
    D.reader->Open();
    readPartly(D);
    const double before = residentMB();
    D.write(D.reader);
    const double growth = residentMB() - before;
    D.big->Close();
    const bool ok = growth < MaxGrowthMB;
    std::printf("  %-44s %6.1f MB  (limit %.1f MB) %s\n", Label, growth, MaxGrowthMB,
                ok ? "ok" : "OVER");
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    const bool pg = !pgConnInfo().isEmpty();
    shortRepetitions(benchmark::RegisterBenchmark("Write_SQLite", &Write_SQLite));
    benchmark::RegisterBenchmark("Page_SQLite", &Page_SQLite)
        ->Arg(0)
        ->Arg(1)
        ->Unit(benchmark::kMillisecond)
        ->Apply(medianOfShortRuns);
    std::vector<BenchRatio> ratios{{"SQLite: 200,000 sorted rows, 100 at a time / in one go",
                                    "Page_SQLite/1", "Page_SQLite/0", 1.5},
                                   {"SQLite: other connection's write, partly read / closed",
                                    "Write_SQLite/1", "Write_SQLite/1@closed", 1.5},
                                   {"SQLite: own connection's write, partly read / closed",
                                    "Write_SQLite/0", "Write_SQLite/0@closed", 2}};
    if (pg) {
        shortRepetitions(benchmark::RegisterBenchmark("Write_Pg", &Write_Pg));
        benchmark::RegisterBenchmark("Page_Pg", &Page_Pg)
            ->Arg(0)
            ->Arg(1)
            ->Unit(benchmark::kMillisecond)
            ->Apply(medianOfShortRuns);
        ratios.push_back({"PostgreSQL: 200,000 sorted rows, 100 at a time / in one go", "Page_Pg/1",
                          "Page_Pg/0", 1.5});
        ratios.push_back({"PostgreSQL: other session's write, partly read / closed", "Write_Pg/1",
                          "Write_Pg/1@closed", 1.5});
        ratios.push_back({"PostgreSQL: own connection's write, partly read / closed", "Write_Pg/0",
                          "Write_Pg/0@closed", 2});
    } else {
        std::printf("OV_PG_CONNINFO is not set: PostgreSQL is not measured\n");
    }
    int status = runBenchmarks(argc, argv, ratios, {}, {}, true);
    std::printf("\nMemory a write adds while 1M rows are partly read:\n");
    bool bounded = memoryStaysBounded("SQLite: own connection", sqlite());
    if (pg)
        bounded = memoryStaysBounded("PostgreSQL: own connection", postgres()) && bounded;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--check-ratios") == 0 && !bounded)
            status = 1;
    sqlite().release();
    if (pg)
        postgres().release();
    return status;
}
