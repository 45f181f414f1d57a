// Checking a module against a PostgreSQL server costs a number of round
// trips that does not grow with the module, counted by a proxy in front of
// the server; what the server refuses is still reported on its component.
#include "ModuleCheck.h"
#include "PgLatencyProxy.h"
#include "PgTestServer.h"

#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDriver.h"
#include "orvlib/OvUpdateSQL.h"
#include "rtl/SysUtils.h"

#include <QObject>

#include <gtest/gtest.h>

#include <memory>

namespace {

class ModuleCheckRoundTrips : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString problem;
        admin = pgAdmin(&problem);
        OV_REQUIRE_PG(problem);
        proxy = std::make_unique<PgLatencyProxy>(pgConnInfo());
        ASSERT_TRUE(proxy->Problem().isEmpty()) << proxy->Problem().toStdString();
        schema = pgUniqueName("ovcheckrt_");
        admin->Execute(QStringLiteral("create schema %1; set search_path = %1;"
                                      "do $$ begin for i in 0..99 loop execute format("
                                      "'create table %I (id integer primary key, name text, "
                                      "amount numeric)', 't' || i); end loop; end $$")
                           .arg(schema),
                       {});
    }

    void TearDown() override
    {
        if (admin && !schema.isEmpty())
            admin->Execute(QStringLiteral("drop schema if exists %1 cascade").arg(schema), {});
    }

    // A module of Count datasets over the tables t0 to t99: even ones are
    // queries with three fields and an update object of four statements,
    // odd ones tables with their primary key as index.
    void build(int Count)
    {
        auto *db = new TOvDatabase(&root);
        db->setObjectName(QStringLiteral("RT"));
        db->SetDatabaseName(QStringLiteral("RT"));
        db->SetServerType(TOvServerType::stPostgreSQL);
        db->SetLoginPrompt(false);
        db->SetRemoteDatabase(proxy->ConnInfo());
        db->Params()->Add(QStringLiteral("options=-c search_path=%1").arg(schema));
        for (int i = 0; i < Count; ++i) {
            const QString t = QStringLiteral("t%1").arg(i % 100);
            if (i % 2) {
                auto *table = new TOvTable(&root);
                table->setObjectName(QStringLiteral("tab%1").arg(i));
                table->SetDatabaseName(QStringLiteral("RT"));
                table->SetTableName(t);
                table->SetIndexName(t + QStringLiteral("_pkey"));
                continue;
            }
            auto *q = new TOvQuery(&root);
            q->setObjectName(QStringLiteral("q%1").arg(i));
            q->SetDatabaseName(QStringLiteral("RT"));
            q->SQL()->SetText(QStringLiteral("select id, name, amount from %1").arg(t));
            auto *u = new TOvUpdateSQL(&root);
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

    // Runs the check and returns its round trips.
    int roundTripsOf(TModuleCheck &Check)
    {
        proxy->ResetCount();
        Check.Run();
        return proxy->RoundTrips();
    }

    std::unique_ptr<TOvDriver> admin;
    std::unique_ptr<PgLatencyProxy> proxy;
    QString schema;
    QObject root;
};

QStringList findings(const TModuleCheck &Check)
{
    QStringList found;
    for (const TCheckProblem &p : Check.Problems())
        found << p.ComponentName + u'.' + p.Property + u' ' + severityName(p.Severity);
    return found;
}

} // namespace

// 200 datasets: the connection (start-up and its settings, three), then one
// round trip for the 500 statements, one for the 100 tables' columns and one
// for their indexes.
TEST_F(ModuleCheckRoundTrips, twoHundredDatasetsInSixRoundTrips)
{
    build(200);
    TModuleCheck check(&root);
    EXPECT_EQ(roundTripsOf(check), 6);
    EXPECT_EQ(check.CheckedDataSets(), 200);
    EXPECT_TRUE(check.Problems().isEmpty()) << findings(check).join(", ").toStdString();
}

// Refused statements and a missing table and index are reported on their
// components as before; each refused statement costs one round trip more
// (the server skips the rest of its batch), a missing table none.
TEST_F(ModuleCheckRoundTrips, refusalsStayOnTheirComponents)
{
    build(200);
    root.findChild<TOvQuery *>("q40")->SQL()->SetText("select nothing from t40");
    root.findChild<TOvUpdateSQL *>("u120")->DeleteSQL()->SetText("delete from t20 where x = 1");
    root.findChild<TOvTable *>("tab61")->SetTableName("t_missing");
    root.findChild<TOvTable *>("tab63")->SetIndexName("no_index");
    TModuleCheck check(&root);
    EXPECT_EQ(roundTripsOf(check), 8);
    EXPECT_EQ(findings(check), QStringList({"q40.SQL error", "tab61.TableName error",
                                            "tab63.IndexName error", "u120.DeleteSQL error"}));
}
