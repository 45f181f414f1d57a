// Checking a data module against PostgreSQL (ovdesigner --check, Check
// Module): a module of N queries, each with three persistent fields and an
// update object of four statements, over a database of 10,000 tables. The
// check prepares every statement and never runs one; it is measured against
// preparing and describing the same statements one by one with raw libpq on
// one connection, and against itself at ten times the module.
//
// Needs OV_PG_CONNINFO (the README's test command sets it); the database
// "ovbench_check" is built on the first run and kept.
#include "BenchMain.h"
#include "BenchPg.h"
#include "ModuleCheck.h"

#include "orvlib/OvDB.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvUpdateSQL.h"
#include "rtl/SysUtils.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <stdexcept>

namespace {

constexpr int Tables = 10000;
const char DbName[] = "ovbench_check";

QString benchConnInfo()
{
    return benchPgServer() + QStringLiteral(" dbname=") + QLatin1String(DbName);
}

// The database of Tables tables t00000... (id integer primary key, name
// text, amount numeric), built when missing or incomplete.
void ensureDatabase()
{
    static bool done = false;
    if (done)
        return;
    benchPgEnsureDatabase(
        QLatin1String(DbName), benchConnInfo(),
        QStringLiteral("select count(*) from pg_tables where schemaname = 'public'"), Tables,
        [](PGconn *Conn) {
            benchPgCreateTables(Conn, Tables,
                                QStringLiteral("format('create table %I (id integer primary key,"
                                               " name text, amount numeric)',"
                                               " 't' || lpad(i::text, 5, '0'))"));
            benchPgExec(Conn, QStringLiteral("analyze"));
        });
    done = true;
}

QString tableOf(int I)
{
    return QStringLiteral("t%1").arg(I % Tables, 5, 10, QLatin1Char('0'));
}

// The five statements of dataset I, written with :name markers.
QStringList statementsOf(int I)
{
    const QString t = tableOf(I);
    return {QStringLiteral("select id, name, amount from %1").arg(t),
            QStringLiteral("select id, name, amount from %1 where id = :OLD_id").arg(t),
            QStringLiteral("update %1 set id = :id, name = :name, amount = :amount where id = "
                           ":OLD_id")
                .arg(t),
            QStringLiteral("insert into %1 (id, name, amount) values (:id, :name, :amount)").arg(t),
            QStringLiteral("delete from %1 where id = :OLD_id").arg(t)};
}

// The same statements with the server's placeholders, as raw libpq sends them.
QStringList rawStatementsOf(int I)
{
    const QString t = tableOf(I);
    return {QStringLiteral("select id, name, amount from %1").arg(t),
            QStringLiteral("select id, name, amount from %1 where id = $1").arg(t),
            QStringLiteral("update %1 set id = $1, name = $2, amount = $3 where id = $4").arg(t),
            QStringLiteral("insert into %1 (id, name, amount) values ($1, $2, $3)").arg(t),
            QStringLiteral("delete from %1 where id = $1").arg(t)};
}

// The modules measured, made once per size and freed before the program
// ends (while the runtime library's registries still exist).
std::map<int, std::unique_ptr<QObject>> modules;

// A module of Count queries on the benchmark database.
QObject *moduleOf(int Count)
{
    std::unique_ptr<QObject> &root = modules[Count];
    if (root)
        return root.get();
    root = std::make_unique<QObject>();
    root->setObjectName(QStringLiteral("CheckBench%1").arg(Count));
    const QString dbName = QStringLiteral("CHECKBENCH%1").arg(Count);
    auto *db = new TOvDatabase(root.get());
    db->setObjectName(dbName);
    db->SetDatabaseName(dbName);
    db->SetServerType(TOvServerType::stPostgreSQL);
    db->SetLoginPrompt(false);
    db->SetRemoteDatabase(benchConnInfo());
    const char *const fieldNames[] = {"id", "name", "amount"};
    const TFieldType fieldTypes[]
        = {TFieldType::ftInteger, TFieldType::ftMemo, TFieldType::ftFloat};
    for (int i = 0; i < Count; ++i) {
        const QStringList sql = statementsOf(i);
        auto *q = new TOvQuery(root.get());
        q->setObjectName(QStringLiteral("q%1").arg(i));
        q->SetDatabaseName(dbName);
        q->SQL()->SetText(sql[0]);
        for (int f = 0; f < 3; ++f) {
            auto *field = new TField(root.get());
            field->setObjectName(q->objectName() + QLatin1String(fieldNames[f]));
            field->SetFieldName(QLatin1String(fieldNames[f]));
            field->SetDataType(fieldTypes[f]);
            field->SetDataSet(q);
        }
        auto *u = new TOvUpdateSQL(root.get());
        u->setObjectName(QStringLiteral("u%1").arg(i));
        for (int s = 0; s < 4; ++s)
            u->GetSQLIndex(s)->SetText(sql[s + 1]);
        q->SetUpdateObject(u);
    }
    return root.get();
}

void Lib_CheckModule(benchmark::State &State)
{
    const int count = int(State.range(0));
    QObject *root = nullptr;
    try {
        ensureDatabase();
        root = moduleOf(count);
    } catch (const std::exception &e) {
        State.SkipWithError(e.what());
        return;
    }
    for (auto _ : State) {
        TModuleCheck check(root);
        check.Run();
        if (!check.Problems().isEmpty() || check.CheckedDataSets() != count) {
            const QString first = check.Problems().isEmpty()
                                      ? QStringLiteral("not every dataset was checked")
                                      : check.Problems().first().Message;
            State.SkipWithError(qPrintable(first));
            return;
        }
    }
}

// What the check must do at least: prepare and describe each statement on
// the server, one by one, on an open connection.
void Raw_PrepareStatements(benchmark::State &State)
{
    const int count = int(State.range(0));
    PGconn *conn = nullptr;
    try {
        ensureDatabase();
        conn = benchPgConnect(benchConnInfo());
    } catch (const std::exception &e) {
        State.SkipWithError(e.what());
        return;
    }
    std::vector<QByteArray> statements;
    for (int i = 0; i < count; ++i)
        for (const QString &s : rawStatementsOf(i))
            statements.push_back(s.toUtf8());
    for (auto _ : State) {
        for (const QByteArray &s : statements) {
            PGresult *prepared = PQprepare(conn, "", s.constData(), 0, nullptr);
            const bool ok = PQresultStatus(prepared) == PGRES_COMMAND_OK;
            PQclear(prepared);
            PGresult *described = ok ? PQdescribePrepared(conn, "") : nullptr;
            if (!ok || PQresultStatus(described) != PGRES_COMMAND_OK) {
                State.SkipWithError(PQerrorMessage(conn));
                PQclear(described);
                PQfinish(conn);
                return;
            }
            benchmark::DoNotOptimize(PQnfields(described));
            PQclear(described);
        }
    }
    PQfinish(conn);
}

} // namespace

int main(int argc, char **argv)
{
    if (benchPgServer().isEmpty()) {
        std::printf("OV_PG_CONNINFO is not set: the module check is not measured\n");
        return runBenchmarks(argc, argv, {});
    }
    const auto ms = benchmark::kMillisecond;
    benchmark::RegisterBenchmark("Raw_PrepareStatements", Raw_PrepareStatements)
        ->Arg(1000)
        ->Unit(ms)
        ->Iterations(1)
        ->Repetitions(3);
    // The server's share of a check varies from one run to the next: the
    // small module, quick to check, counts with the median of 9 runs, the
    // large one with that of 5, interleaved.
    benchmark::RegisterBenchmark("Lib_CheckModule", Lib_CheckModule)
        ->Arg(1000)
        ->Unit(ms)
        ->Iterations(1)
        ->Repetitions(9);
    benchmark::RegisterBenchmark("Lib_CheckModule", Lib_CheckModule)
        ->Arg(10000)
        ->Unit(ms)
        ->Iterations(1)
        ->Repetitions(5);
    const int status = runBenchmarks(argc, argv,
                                     {{"Check of 1,000 datasets / raw libpq prepares",
                                       "Lib_CheckModule/1000", "Raw_PrepareStatements/1000", 3.0},
                                      {"Check of 10,000 / 1,000 datasets (x10)",
                                       "Lib_CheckModule/10000", "Lib_CheckModule/1000", 12.0}},
                                     {}, {}, /*Interleaved=*/true);
    modules.clear();
    return status;
}
