// The UpdateSQL editor on a PostgreSQL server: fields, keys and statements
// come from the server's catalogue, and the statements run there.
#include "UpdateSQLTestSupport.h"

#include "common/TestSupport.h"

#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDriver.h"
#include "orvlib/OvUpdateSQL.h"

#include "rtl/SysUtils.h"
#include "rtl/UiServices.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QPushButton>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <functional>

namespace {

const char *const databaseName = "UPDSQLPG";

// The server named by OV_PG_CONNINFO with two tables of the scenarios, and an
// update object on a query over the first one. Without a reachable server
// the tests skip, except under CI, where they fail.
class UpdateSQLOnPostgres : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!HasDriver(TOvServerType::stPostgreSQL))
            GTEST_SKIP() << "OrvLib240 has no PostgreSQL driver";
        const QString connInfo = qEnvironmentVariable("OV_PG_CONNINFO");
        QString problem;
        if (connInfo.isEmpty())
            problem = QStringLiteral("OV_PG_CONNINFO is not set");
        db = new TOvDatabase(&form1);
        db->SetDatabaseName(QString::fromLatin1(databaseName));
        db->SetServerType(TOvServerType::stPostgreSQL);
        db->SetRemoteDatabase(connInfo);
        db->SetLoginPrompt(false);
        // Each test has a schema of its own, first on its search path, so
        // tests running side by side on one server never meet.
        schema = QStringLiteral("ovupd_%1_%2")
                     .arg(QCoreApplication::applicationPid())
                     .arg(QRandomGenerator::global()->bounded(1000000));
        db->Params()->Add(QStringLiteral("options=-c search_path=%1").arg(schema));
        if (problem.isEmpty()) {
            try {
                db->Open();
            } catch (const Exception &e) {
                problem = e.Message();
            }
        }
        if (!problem.isEmpty()) {
            if (runningUnderCi())
                FAIL() << "PostgreSQL server unreachable under CI: " << problem.toStdString();
            GTEST_SKIP() << "PostgreSQL server unreachable: " << problem.toStdString();
        }
        db->ExecSQL(QStringLiteral("create schema ") + schema);
        db->ExecSQL(QStringLiteral("create table upd_customer (id integer not null, "
                                   "branch integer not null, name varchar(40), "
                                   "primary key (id, branch))"));
        db->ExecSQL(QStringLiteral(
            "create table \"Upd Mixed\" (\"Id\" integer primary key, \"Full Name\" text)"));
        query = new TOvQuery(&form1);
        query->setObjectName(QStringLiteral("Query1"));
        query->SetDatabaseName(QString::fromLatin1(databaseName));
        query->SQL()->SetText(
            QStringLiteral("select c.id, c.branch, c.name as cname from upd_customer c"));
        upd = new TOvUpdateSQL(&form1);
        upd->setObjectName(QStringLiteral("UpdateSQL1"));
        upd->SetDataSet(query);
    }

    void TearDown() override
    {
        if (db && db->Connected() && !schema.isEmpty())
            db->ExecSQL(QStringLiteral("drop schema if exists %1 cascade").arg(schema));
    }

    bool edit(const std::function<void(TOvUpdateSQLEditForm &)> &Act)
    {
        ui.onModal([&](TForm &F) { Act(*As<TOvUpdateSQLEditForm>(&F)); });
        return EditUpdateSQL(upd);
    }

    // Runs the refresh statement for the old values Keys; the row's fields.
    QVariantMap refresh(const QVariantMap &Keys)
    {
        return refreshRow(QString::fromLatin1(databaseName), *upd, Keys);
    }

    QWidget form1;
    QString schema;
    TOvDatabase *db = nullptr;
    TOvQuery *query = nullptr;
    TOvUpdateSQL *upd = nullptr;
    ScriptedUi ui;
};

} // namespace

TEST_F(UpdateSQLOnPostgres, generatedStatementsRun)
{
    ASSERT_TRUE(edit([](TOvUpdateSQLEditForm &f) {
        EXPECT_EQ(f.cbTableName->currentText(), "upd_customer") << "table of the query";
        f.btGetTableFields->click();
        EXPECT_EQ(itemsOf(f.lbKeyFields), QStringList({"id", "branch", "name"})) << "columns";
        f.btSelectPrimKeys->click();
        EXPECT_EQ(selectedItems(f.lbKeyFields), QStringList({"id", "branch"})) << "primary key";
        f.btGenerateSQL->click();
        f.btOk->click();
    }));
    EXPECT_EQ(upd->GetSQLIndex(2)->toStringList(),
              QStringList({"insert into upd_customer", "  (id, branch, name)", "values",
                           "  (:id, :branch, :cname)"}));
    const QVariantMap key = {{"id", 1}, {"branch", 7}};
    EXPECT_EQ(upd->Apply(TUpdateKind::ukInsert, {{"id", 1}, {"branch", 7}, {"cname", "Ann"}}, {}),
              1)
        << "insert";
    EXPECT_EQ(upd->Apply(TUpdateKind::ukModify, {{"id", 1}, {"branch", 7}, {"cname", "Bob"}}, key),
              1)
        << "modify";
    EXPECT_EQ(refresh(key).value("cname").toString(), "Bob") << "refresh";
    EXPECT_EQ(upd->Apply(TUpdateKind::ukDelete, {}, key), 1) << "delete";
    EXPECT_TRUE(refresh(key).isEmpty()) << "row gone";
}

// A mixed-case table, quoted: the fields come from the query, the key is
// picked by hand, and the quoted statements run.
TEST_F(UpdateSQLOnPostgres, quotedStatementsRunOnAMixedCaseTable)
{
    query->SQL()->SetText(QStringLiteral("select \"Id\", \"Full Name\" from \"Upd Mixed\""));
    ASSERT_TRUE(edit([](TOvUpdateSQLEditForm &f) {
        EXPECT_EQ(f.cbTableName->currentText(), "Upd Mixed") << "table of the query";
        fillList(f.lbKeyFields, {"Id", "Full Name"}, {"Id"});
        f.cbQuotedFields->setChecked(true);
        f.btGenerateSQL->click();
        f.btOk->click();
    }));
    EXPECT_EQ(upd->GetSQLIndex(1)->toStringList(),
              QStringList({"update \"Upd Mixed\"", "set", "  \"Id\" = :\"Id\",",
                           "  \"Full Name\" = :\"Full Name\"", "where", "  \"Id\" = :\"OLD_Id\""}));
    EXPECT_EQ(upd->Apply(TUpdateKind::ukInsert, {{"Id", 5}, {"Full Name", "Ann Lee"}}, {}), 1);
    EXPECT_EQ(upd->Apply(TUpdateKind::ukModify, {{"Id", 5}, {"Full Name", "Bo Ng"}}, {{"Id", 5}}),
              1);
    EXPECT_EQ(refresh({{"Id", 5}}).value("Full Name").toString(), "Bo Ng") << "refresh";
    EXPECT_EQ(upd->Apply(TUpdateKind::ukDelete, {}, {{"Id", 5}}), 1) << "delete";
}

// The table text reaches the catalogue without its quotes (Get Table Fields
// strips them; the query's table list has none): a mixed-case table must
// still be found.
TEST_F(UpdateSQLOnPostgres, mixedCaseTableLookups)
{
    query->SQL()->SetText(QStringLiteral("select \"Id\", \"Full Name\" from \"Upd Mixed\""));
    edit([](TOvUpdateSQLEditForm &f) {
        f.btGetTableFields->click();
        EXPECT_EQ(itemsOf(f.lbKeyFields), QStringList({"Id", "Full Name"})) << "columns";
        f.btSelectPrimKeys->click();
        EXPECT_EQ(selectedItems(f.lbKeyFields), QStringList({"Id"})) << "primary key";
        f.btCancel->click();
    });
    EXPECT_TRUE(ui.messages.empty()) << "no error box";
}

// PostgreSQL knows owners: the schema stays in the look-ups and statements.
TEST_F(UpdateSQLOnPostgres, ownerQualifiedTable)
{
    ASSERT_TRUE(edit([&](TOvUpdateSQLEditForm &f) {
        f.cbTableName->setEditText("\"" + schema + "\".\"upd_customer\"");
        f.btGetTableFields->click();
        EXPECT_EQ(itemsOf(f.lbKeyFields), QStringList({"id", "branch", "name"}))
            << "quotes stripped, owner kept";
        f.cbTableName->setEditText(schema + ".upd_customer");
        f.btSelectPrimKeys->click();
        EXPECT_EQ(selectedItems(f.lbKeyFields), QStringList({"id", "branch"})) << "primary key";
        f.btGenerateSQL->click();
        f.btOk->click();
    }));
    EXPECT_EQ(upd->GetSQLIndex(3)->toStringList(),
              QStringList({"delete from " + schema + ".upd_customer", "where", "  id = :OLD_id and",
                           "  branch = :OLD_branch"}));
    EXPECT_EQ(upd->Apply(TUpdateKind::ukInsert, {{"id", 2}, {"branch", 1}, {"name", "Cy"}}, {}), 1);
    EXPECT_EQ(upd->Apply(TUpdateKind::ukDelete, {}, {{"id", 2}, {"branch", 1}}), 1);
    EXPECT_TRUE(ui.messages.empty()) << "no message box on the way";
}
