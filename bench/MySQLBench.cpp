// Opening a query over a table of 1,000,000 rows on MariaDB and reading its
// first 100 rows, against the raw C client running the same query to its end
// (mysql_use_result, every row received, each value looked at). A dataset
// shows one result of one run of its query, so the open reads the query to
// its end too: the ratio is what keeping the result costs over a client that
// only looks at it. And the catalogue: table names, a table's fields and
// its index information, asked of a driver of its own (each a round trip to
// the server; a database component keeps the answers), against the raw
// client's queries on information_schema, in a schema of 10,000 tables
// (built in about a minute). Needs OV_MY_CONNINFO ("host:port", as the
// tests; user OV_MY_USER, default root, password OV_MY_PASSWORD); the tables
// live in the databases ovbench_rows and ovbench_cat, built once and kept
// for the next run.
#include "BenchMain.h"

#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDriver.h"
#include "rtl/Classes.h"
#include "rtl/SysUtils.h"

#include <mysql.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int Rows = 1000000;
constexpr int ReadRows = 100;
const char Query[] = "select * from rows_1000000 order by id";

QString connInfo()
{
    return qEnvironmentVariable("OV_MY_CONNINFO").trimmed();
}

QString user()
{
    const QString u = qEnvironmentVariable("OV_MY_USER");
    return u.isEmpty() ? QStringLiteral("root") : u;
}

// A raw client connection to Database ("" for none); ends the program when
// the server cannot be reached.
MYSQL *rawConnect(const char *Database)
{
    const QString info = connInfo();
    const int colon = int(info.lastIndexOf(u':'));
    const QByteArray host = (colon < 0 ? info : info.left(colon)).toUtf8();
    const unsigned port = colon < 0 ? 0 : info.mid(colon + 1).toUInt();
    const QByteArray name = user().toUtf8(), password = qgetenv("OV_MY_PASSWORD");
    MYSQL *m = mysql_init(nullptr);
    mysql_optionsv(m, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    if (!mysql_real_connect(m, host.constData(), name.constData(), password.constData(),
                            *Database ? Database : nullptr, port, nullptr, 0)) {
        std::fprintf(stderr, "MariaDB at %s: %s\n", host.constData(), mysql_error(m));
        std::exit(1);
    }
    return m;
}

void rawExec(MYSQL *M, const char *SQL)
{
    if (mysql_query(M, SQL)) {
        std::fprintf(stderr, "%s: %s\n", SQL, mysql_error(M));
        std::exit(1);
    }
    if (MYSQL_RES *r = mysql_store_result(M))
        mysql_free_result(r);
}

// The table, filled from the server's sequence engine when it does not hold
// the rows yet, and a database component on it.
class MyTables
{
public:
    static MyTables &instance()
    {
        static MyTables tables;
        return tables;
    }
    QObject owner;
    TOvDatabase *database = nullptr;

private:
    MyTables()
    {
        MYSQL *m = rawConnect("");
        rawExec(m, "create database if not exists ovbench_rows");
        rawExec(m, "use ovbench_rows");
        rawExec(m, "create table if not exists rows_1000000 (id int primary key,"
                   " name varchar(40), amount double)");
        mysql_query(m, "select count(*) from rows_1000000");
        MYSQL_RES *r = mysql_store_result(m);
        const long long count = r ? std::atoll(mysql_fetch_row(r)[0]) : 0;
        mysql_free_result(r);
        if (count != Rows) {
            rawExec(m, "truncate rows_1000000");
            rawExec(m, "insert into rows_1000000 select seq, concat('name ', seq), seq * 0.5"
                       " from seq_1_to_1000000");
            rawExec(m, "analyze table rows_1000000");
        }
        mysql_close(m);
        database = new TOvDatabase(&owner);
        database->SetDatabaseName(QStringLiteral("BenchMy"));
        database->SetServerType(TOvServerType::stMySQL);
        database->SetLoginPrompt(false);
        database->SetRemoteDatabase(connInfo() + QStringLiteral("/ovbench_rows"));
        database->Params()->SetValues(QStringLiteral("USER NAME"), user());
        const QString password = qEnvironmentVariable("OV_MY_PASSWORD");
        if (!password.isEmpty())
            database->Params()->SetValues(QStringLiteral("PASSWORD"), password);
        database->Open();
    }
};

void Lib_MyQueryOpenFirst100(benchmark::State &State)
{
    MyTables &t = MyTables::instance();
    TOvQuery query(&t.owner);
    query.SetDatabaseName(t.database->DatabaseName());
    query.SQL()->SetText(QString::fromLatin1(Query));
    for (auto _ : State) {
        query.Open();
        qint64 sum = 0;
        for (int i = 0; i < ReadRows && !query.Eof(); ++i, query.Next()) {
            sum += query.Fields(0)->AsInteger();
            benchmark::DoNotOptimize(query.Fields(1)->AsString());
        }
        if (sum != qint64(ReadRows) * (ReadRows + 1) / 2)
            State.SkipWithError("the first rows are not the expected ones");
        query.Close();
    }
}

// The C client alone, on a connection of its own: the same query, every row
// streamed to the end, each value's length looked at.
void Raw_MyQueryToEnd(benchmark::State &State)
{
    MyTables::instance();
    MYSQL *m = rawConnect("ovbench_rows");
    for (auto _ : State) {
        if (mysql_query(m, Query)) {
            State.SkipWithError(mysql_error(m));
            break;
        }
        MYSQL_RES *r = mysql_use_result(m);
        qint64 sum = 0;
        while (MYSQL_ROW row = mysql_fetch_row(r)) {
            const unsigned long *lengths = mysql_fetch_lengths(r);
            sum += lengths[0] + lengths[1] + lengths[2];
            benchmark::DoNotOptimize(row);
        }
        mysql_free_result(r);
        benchmark::DoNotOptimize(sum);
    }
    mysql_close(m);
}

constexpr int TableCount = 10000;
constexpr int WideColumns = 40;

// The schema ovbench_cat: TableCount small tables and wide_table, with a
// primary key and two indexes, built when it does not hold them yet.
class MyCatalog
{
public:
    static MyCatalog &instance()
    {
        static MyCatalog catalog;
        return catalog;
    }
    // A driver of its own: a database component's keeps the answers.
    std::unique_ptr<TOvDriver> driver;
    MYSQL *raw = nullptr;

private:
    MyCatalog()
    {
        raw = rawConnect("");
        rawExec(raw, "create database if not exists ovbench_cat");
        rawExec(raw, "use ovbench_cat");
        mysql_query(raw, "select count(*) from information_schema.tables"
                         " where table_schema = 'ovbench_cat'");
        MYSQL_RES *r = mysql_store_result(raw);
        const long long count = r ? std::atoll(mysql_fetch_row(r)[0]) : 0;
        mysql_free_result(r);
        if (count != TableCount + 1) {
            for (int i = 0; i < TableCount; ++i)
                rawExec(raw, QStringLiteral("create table if not exists t%1 (id int primary key,"
                                            " name varchar(40), amount double)")
                                 .arg(i, 4, 10, QLatin1Char('0'))
                                 .toLatin1()
                                 .constData());
            QStringList columns{QStringLiteral("id int primary key")};
            for (int c = 1; c < WideColumns; ++c)
                columns << QStringLiteral("c%1 varchar(20)").arg(c);
            columns << QStringLiteral("key by_two (c1, c2)")
                    << QStringLiteral("unique key by_three (c3, c4, c5)");
            rawExec(raw, QStringLiteral("create table if not exists wide_table (%1)")
                             .arg(columns.join(u','))
                             .toLatin1()
                             .constData());
        }
        TStringList params;
        params.SetValues(QStringLiteral("USER NAME"), user());
        const QString password = qEnvironmentVariable("OV_MY_PASSWORD");
        if (!password.isEmpty())
            params.SetValues(QStringLiteral("PASSWORD"), password);
        driver = CreateDriver(TOvServerType::stMySQL);
        driver->Connect(connInfo() + QStringLiteral("/ovbench_cat"), params);
    }
};

// The first column of every row of SQL, as the raw client reads it.
QStringList rawColumn(MYSQL *M, const char *SQL)
{
    QStringList values;
    if (mysql_query(M, SQL))
        return values;
    MYSQL_RES *r = mysql_store_result(M);
    while (MYSQL_ROW row = mysql_fetch_row(r))
        values << QString::fromUtf8(row[0] ? row[0] : "");
    mysql_free_result(r);
    return values;
}

// Times Lookup, a look-up on the catalogue schema, and checks the number of
// rows it gives.
template<class F>
void timeLookup(benchmark::State &State, qsizetype Expected, F Lookup)
{
    MyCatalog &c = MyCatalog::instance();
    for (auto _ : State) {
        const auto rows = Lookup(c);
        if (rows.size() != Expected)
            State.SkipWithError("wrong row count");
        benchmark::DoNotOptimize(rows);
    }
}

void Raw_MyTableNames(benchmark::State &State)
{
    timeLookup(State, TableCount + 1, [](MyCatalog &C) {
        return rawColumn(C.raw, "select table_name from information_schema.tables"
                                " where table_schema = database() order by table_name");
    });
}

void Lib_MyTableNames(benchmark::State &State)
{
    timeLookup(State, TableCount + 1, [](MyCatalog &C) { return C.driver->TableNames(false); });
}

void Raw_MyFields(benchmark::State &State)
{
    timeLookup(State, WideColumns, [](MyCatalog &C) {
        return rawColumn(C.raw, "select column_name, ordinal_position, column_type, data_type,"
                                " is_nullable, extra from information_schema.columns"
                                " where table_schema = database() and table_name = 'wide_table'"
                                " order by ordinal_position");
    });
}

void Lib_MyFields(benchmark::State &State)
{
    timeLookup(State, WideColumns, [](MyCatalog &C) { return C.driver->Columns("wide_table"); });
}

// The primary key's column and the five of the two other indexes.
constexpr int IndexColumns = 6;

void Raw_MyIndexes(benchmark::State &State)
{
    timeLookup(State, IndexColumns, [](MyCatalog &C) {
        return rawColumn(C.raw, "select index_name, non_unique, column_name, seq_in_index"
                                " from information_schema.statistics"
                                " where table_schema = database() and table_name = 'wide_table'"
                                " order by index_name <> 'PRIMARY', index_name, seq_in_index");
    });
}

void Lib_MyIndexes(benchmark::State &State)
{
    timeLookup(State, IndexColumns,
               [](MyCatalog &C) { return C.driver->IndexColumns("wide_table"); });
}

} // namespace

int main(int argc, char **argv)
{
    if (connInfo().isEmpty()) {
        std::printf("OV_MY_CONNINFO is not set: MariaDB is not measured\n");
        return 0;
    }
    for (auto [name, f] :
         {std::pair{"Lib_MyQueryOpenFirst100", &Lib_MyQueryOpenFirst100},
          std::pair{"Raw_MyQueryToEnd", &Raw_MyQueryToEnd},
          std::pair{"Lib_MyTableNames", &Lib_MyTableNames},
          std::pair{"Raw_MyTableNames", &Raw_MyTableNames},
          std::pair{"Lib_MyFields", &Lib_MyFields}, std::pair{"Raw_MyFields", &Raw_MyFields},
          std::pair{"Lib_MyIndexes", &Lib_MyIndexes}, std::pair{"Raw_MyIndexes", &Raw_MyIndexes}})
        benchmark::RegisterBenchmark(name, f)
            ->Unit(benchmark::kMicrosecond)
            ->Apply(medianOfShortRuns);
    const std::vector<BenchRatio> ratios{
        {"MariaDB query: open + 100 rows / raw client to the end, 1M rows",
         "Lib_MyQueryOpenFirst100", "Raw_MyQueryToEnd", 1.5},
        {"MariaDB table names / raw client, 10,000 tables", "Lib_MyTableNames", "Raw_MyTableNames",
         1.5},
        {"MariaDB fields / raw client", "Lib_MyFields", "Raw_MyFields", 1.5},
        {"MariaDB index information / raw client", "Lib_MyIndexes", "Raw_MyIndexes", 1.5}};
    return runBenchmarks(argc, argv, ratios, {}, {}, /*Interleaved=*/true);
}
