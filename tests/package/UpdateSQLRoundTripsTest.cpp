// The UpdateSQL editor against a PostgreSQL server a network away: opening
// it, reading the table's fields and key and generating the statements cost
// a few round trips, counted by a proxy in front of the server, and nothing
// the second time on the same connection.
#include "PgLatencyProxy.h"
#include "PgTestServer.h"
#include "UpdateSQLTestSupport.h"

#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvUpdateSQL.h"

#include "rtl/SysUtils.h"
#include "rtl/UiServices.h"

#include <QPushButton>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace {

class UpdateSQLRoundTrips : public ::testing::Test
{
protected:
    void SetUp() override
    {
        OV_REQUIRE_PG(pgMissing());
        proxy = std::make_unique<PgLatencyProxy>(pgConnInfo());
        ASSERT_TRUE(proxy->Problem().isEmpty()) << proxy->Problem().toStdString();
        db = new TOvDatabase(&form1);
        db->SetDatabaseName(QStringLiteral("UPDSQLRT"));
        schema = pgUniqueName("ovupdrt_");
        OV_REQUIRE_PG(pgOpenInSchema(db, schema, proxy->ConnInfo()));
        // A schema of many tables: the editor's cost must not grow with it.
        db->ExecSQL(QStringLiteral(
            "create table rt_customer (id integer not null, branch integer not null,"
            " name varchar(40), primary key (id, branch));"
            "do $$ begin for i in 0..199 loop execute format("
            "'create table %I (id integer primary key)', 'rt_other' || i); end loop; end $$"));
        query = new TOvQuery(&form1);
        query->setObjectName(QStringLiteral("Query1"));
        query->SetDatabaseName(QStringLiteral("UPDSQLRT"));
        query->SQL()->SetText(
            QStringLiteral("select c.id, c.branch, c.name as cname from rt_customer c"));
        upd = new TOvUpdateSQL(&form1);
        upd->setObjectName(QStringLiteral("UpdateSQL1"));
        upd->SetDataSet(query);
    }

    void TearDown() override
    {
        if (db && db->Connected() && !schema.isEmpty())
            db->ExecSQL(QStringLiteral("drop schema if exists %1 cascade").arg(schema));
    }

    // Opens the editor, reads the table's fields and primary key, generates
    // and accepts: the round trips it cost.
    int generate()
    {
        proxy->ResetCount();
        ui.onModal([](TForm &F) {
            auto &f = *As<TOvUpdateSQLEditForm>(&F);
            f.btGetTableFields->click();
            f.btSelectPrimKeys->click();
            f.btGenerateSQL->click();
            f.btOk->click();
        });
        EXPECT_TRUE(EditUpdateSQL(upd));
        return proxy->RoundTrips();
    }

    std::unique_ptr<PgLatencyProxy> proxy;
    QWidget form1;
    QString schema;
    TOvDatabase *db = nullptr;
    TOvQuery *query = nullptr;
    TOvUpdateSQL *upd = nullptr;
    ScriptedUi ui;
};

} // namespace

TEST_F(UpdateSQLRoundTrips, generationCostsAFixedFewRoundTripsThenNone)
{
    EXPECT_EQ(generate(), 3) << "the first time on the connection";
    EXPECT_EQ(upd->GetSQLIndex(slotDelete)->toStringList(),
              QStringList({"delete from rt_customer", "where", "  id = :OLD_id and",
                           "  branch = :OLD_branch"}))
        << "the statements";
    EXPECT_EQ(generate(), 0) << "again: every answer is kept";
    db->RefreshCatalogue();
    EXPECT_EQ(generate(), 3) << "after Refresh the server is asked again";
    EXPECT_TRUE(ui.messages.empty()) << "no message box on the way";
}
