// Round trips to PostgreSQL per action a person takes, through a proxy that
// holds each server reply for 0 and then 20 ms (a server in the same room,
// then one in another building) and counts the server's ReadyForQuery
// messages. Each action runs the first time on a freshly connected
// database (the connection's own set-up not counted, except for the module
// check, which opens its own), over a schema of 1,000 tables. The program
// prints round trips and wall time per action; with --check-budgets it fails
// when an action's round trips exceed its budget: exact counts, not timings.
//
// Needs OV_PG_CONNINFO; the database "ovbench_roundtrips" is built on the
// first run and kept.
#include "BenchPg.h"
#include "ModuleCheck.h"
#include "OvUpdSEd.h"
#include "PgLatencyProxy.h"

#include "orvlib/OvDB.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvSession.h"
#include "orvlib/OvUpdateSQL.h"
#include "rtl/SysUtils.h"
#include "rtl/UiServices.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>

#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>

namespace {

constexpr int Tables = 1000;
const char DbName[] = "ovbench_roundtrips";
const char Database[] = "RTBENCH";

QString benchConnInfo()
{
    return benchPgServer() + QStringLiteral(" dbname=") + QLatin1String(DbName);
}

QString tableOf(int I)
{
    return QStringLiteral("t%1").arg(I % Tables, 4, 10, QLatin1Char('0'));
}

void ensureDatabase()
{
    benchPgEnsureDatabase(
        QLatin1String(DbName), benchConnInfo(),
        QStringLiteral("select count(*) from pg_tables where schemaname = 'public'"), Tables,
        [](PGconn *Conn) {
            benchPgCreateTables(Conn, Tables,
                                QStringLiteral("format('create table %I (id integer primary key,"
                                               " name text, amount numeric)',"
                                               " 't' || lpad(i::text, 4, '0'))"));
            benchPgExec(Conn,
                        QStringLiteral("create function add_amount(p_id integer, p_amount numeric,"
                                       " out p_total numeric) language sql as"
                                       " 'select p_amount + p_id'; analyze"));
        });
}

// What an action works on: a database component connected through the
// proxy, and the datasets the actions use on it.
struct Fixture
{
    explicit Fixture(const QString &ConnInfo)
    {
        db = new TOvDatabase(&root);
        db->setObjectName(QLatin1String(Database));
        db->SetDatabaseName(QLatin1String(Database));
        db->SetServerType(TOvServerType::stPostgreSQL);
        db->SetLoginPrompt(false);
        db->SetRemoteDatabase(ConnInfo);
    }
    template<class T>
    T *dataSet(const char *Name)
    {
        auto *ds = new T(&root);
        ds->setObjectName(QLatin1String(Name));
        ds->SetDatabaseName(QLatin1String(Database));
        return ds;
    }
    QObject root;
    TOvDatabase *db = nullptr;
};

// A module of Count datasets: queries with an update object of four
// statements and tables with an index, in turns.
void buildModule(Fixture &F, int Count)
{
    for (int i = 0; i < Count; ++i) {
        const QString t = tableOf(i);
        if (i % 2) {
            auto *table = F.dataSet<TOvTable>("");
            table->setObjectName(QStringLiteral("tab%1").arg(i));
            table->SetTableName(t);
            table->SetIndexName(t + QStringLiteral("_pkey"));
            continue;
        }
        auto *q = F.dataSet<TOvQuery>("");
        q->setObjectName(QStringLiteral("q%1").arg(i));
        q->SQL()->SetText(QStringLiteral("select id, name, amount from %1").arg(t));
        auto *u = new TOvUpdateSQL(&F.root);
        u->setObjectName(QStringLiteral("u%1").arg(i));
        u->RefreshSQL()->SetText(
            QStringLiteral("select id, name, amount from %1 where id = :OLD_id").arg(t));
        u->ModifySQL()->SetText(
            QStringLiteral("update %1 set name = :name, amount = :amount where id = :OLD_id")
                .arg(t));
        u->InsertSQL()->SetText(
            QStringLiteral("insert into %1 (id, name, amount) values (:id, :name, :amount)")
                .arg(t));
        u->DeleteSQL()->SetText(QStringLiteral("delete from %1 where id = :OLD_id").arg(t));
        q->SetUpdateObject(u);
    }
}

void checkModule(Fixture &F)
{
    TModuleCheck check(&F.root);
    check.Run();
    if (!check.Problems().isEmpty())
        throw std::runtime_error(check.Problems().first().Message.toStdString());
}

struct Action
{
    const char *Name;
    int Budget;
    // Sets the fixture up; true when the action needs the database open first.
    std::function<bool(Fixture &)> Prepare;
    std::function<void(Fixture &)> Act;
};

const std::vector<Action> &actions()
{
    static ScriptedUi ui;
    static const std::vector<Action> list = {
        {"--check, 200 datasets", 12,
         [](Fixture &F) {
             buildModule(F, 200);
             return false;
         },
         checkModule},
        {"--check, 2,000 datasets", 30,
         [](Fixture &F) {
             buildModule(F, 2000);
             return false;
         },
         checkModule},
        {"UpdateSQL editor: open, fields, key, generate", 3,
         [](Fixture &F) {
             auto *q = F.dataSet<TOvQuery>("Query1");
             q->SQL()->SetText(QStringLiteral("select id, name, amount from t0001"));
             auto *u = new TOvUpdateSQL(&F.root);
             u->setObjectName(QStringLiteral("UpdateSQL1"));
             u->SetDataSet(q);
             return true;
         },
         [](Fixture &F) {
             ui.onModal([](TForm &Form) {
                 auto &f = *As<TOvUpdateSQLEditForm>(&Form);
                 f.btGetTableFields->click();
                 f.btSelectPrimKeys->click();
                 f.btGenerateSQL->click();
                 f.btOk->click();
             });
             if (!EditUpdateSQL(F.root.findChild<TOvUpdateSQL *>(QStringLiteral("UpdateSQL1"))))
                 throw std::runtime_error("the editor was not accepted");
         }},
        {"TableName drop-down", 3, [](Fixture &) { return true; },
         [](Fixture &F) {
             TStringList names;
             F.db->Session()->GetTableNames(QLatin1String(Database), QString(), false, &names);
             if (names.Count() != Tables)
                 throw std::runtime_error("the table list is incomplete");
         }},
        {"IndexName drop-down", 3,
         [](Fixture &F) {
             F.dataSet<TOvTable>("Table1")->SetTableName(tableOf(7));
             return true;
         },
         [](Fixture &F) {
             TStringList names;
             F.root.findChild<TOvTable *>(QStringLiteral("Table1"))->GetIndexNames(&names);
         }},
        {"Fields editor: add all fields", 3,
         [](Fixture &F) {
             F.dataSet<TOvQuery>("Query1")->SQL()->SetText(
                 QStringLiteral("select id, name, amount from t0002"));
             return true;
         },
         [](Fixture &F) {
             if (F.root.findChild<TOvQuery *>(QStringLiteral("Query1"))->FieldDefNames().size()
                 != 3)
                 throw std::runtime_error("the fields were not read");
         }},
        {"Parameters editor (stored procedure)", 3,
         [](Fixture &F) {
             F.dataSet<TOvStoredProc>("Proc1")->SetStoredProcName(QStringLiteral("add_amount"));
             return true;
         },
         [](Fixture &F) {
             F.root.findChild<TOvStoredProc *>(QStringLiteral("Proc1"))->Prepare();
         }},
        {"Data preview: open a query", 3,
         [](Fixture &F) {
             F.dataSet<TOvQuery>("Query1")->SQL()->SetText(
                 QStringLiteral("select id, name, amount from t0003"));
             return true;
         },
         [](Fixture &F) {
             F.root.findChild<TOvQuery *>(QStringLiteral("Query1"))->Open();
         }},
    };
    return list;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (benchPgServer().isEmpty()) {
        std::printf("OV_PG_CONNINFO is not set: round trips are not measured\n");
        return 0;
    }
    try {
        ensureDatabase();
    } catch (const std::exception &e) {
        std::printf("the benchmark database could not be built: %s\n", e.what());
        return 1;
    }
    PgLatencyProxy proxy(benchConnInfo());
    if (!proxy.Problem().isEmpty()) {
        std::printf("%s\n", qPrintable(proxy.Problem()));
        return 1;
    }
    int over = 0;
    std::printf("%-48s %6s %6s %10s %10s\n", "action", "budget", "trips", "ms @0", "ms @20");
    for (const Action &action : actions()) {
        int trips[2] = {0, 0};
        double ms[2] = {0, 0};
        for (int run = 0; run < 2; ++run) {
            proxy.SetDelay(run ? 20 : 0);
            Fixture fixture(proxy.ConnInfo());
            try {
                if (action.Prepare(fixture))
                    fixture.db->Open();
                proxy.ResetCount();
                QElapsedTimer timer;
                timer.start();
                action.Act(fixture);
                ms[run] = timer.nsecsElapsed() / 1e6;
                trips[run] = proxy.RoundTrips();
            } catch (const Exception &e) {
                std::printf("%s: %s\n", action.Name, qPrintable(e.Message()));
                trips[run] = 1 << 20;
            } catch (const std::exception &e) {
                std::printf("%s: %s\n", action.Name, e.what());
                trips[run] = 1 << 20;
            }
        }
        const int worst = std::max(trips[0], trips[1]);
        const bool fails = worst > action.Budget;
        over += fails;
        std::printf("%-48s %6d %6d %10.1f %10.1f%s\n", action.Name, action.Budget, worst, ms[0],
                    ms[1], fails ? "  OVER BUDGET" : "");
    }
    // As the other benchmarks' --check-ratios: CTest runs the program to see
    // that it works; a run with --check-budgets holds the actions to them.
    const bool strict = QCoreApplication::arguments().contains(QStringLiteral("--check-budgets"));
    return strict && over ? 1 : 0;
}
