// The UpdateSQL editor on a PostgreSQL server: fields, keys and statements
// come from the server's catalogue, and the statements run there.
#include "UpdateSQLTestSupport.h"
#include "PgTestServer.h"

#include "common/TestSupport.h"

#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDriver.h"
#include "orvlib/OvSession.h"
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
        db = new TOvDatabase(&form1);
        db->SetDatabaseName(QString::fromLatin1(databaseName));
        // Each test has a schema of its own, first on its search path, so
        // tests running side by side on one server never meet.
        schema = pgUniqueName("ovupd_");
        OV_REQUIRE_PG(pgOpenInSchema(db, schema));
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
            db->ExecSQL(QStringLiteral("drop schema if exists %1 cascade;"
                                       "drop schema if exists %1_o cascade")
                            .arg(schema));
    }

    // Every row of From in the order OrderBy, each as its values joined by "|".
    QStringList rows(const QString &From, const QString &OrderBy)
    {
        TOvQuery q;
        q.SetDatabaseName(QString::fromLatin1(databaseName));
        q.SQL()->SetText(QStringLiteral("select * from %1 order by %2").arg(From, OrderBy));
        q.Open();
        QStringList result;
        for (; !q.Eof(); q.Next()) {
            QStringList values;
            for (int i = 0; i < q.FieldCount(); ++i)
                values << (q.Fields(i)->IsNull() ? QStringLiteral("null")
                                                 : q.Fields(i)->AsString());
            result << values.join(u'|');
        }
        return result;
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
        EXPECT_EQ(f.cbTableName->currentText(), "\"Upd Mixed\"") << "table as the query wrote it";
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

// Get Table Fields strips the quotes of the table text: a mixed-case table
// must still be found.
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

// Partial and expression unique indexes are no row keys; the primary key
// comes first although another index sorts before it; an index's INCLUDE
// columns are not its key.
TEST_F(UpdateSQLOnPostgres, rowKeysFromTheIndexes)
{
    db->ExecSQL("create table member (id integer not null, email text, tenant integer,"
                " active integer, name text);"
                "create unique index m1_active_email on member (email) where active = 1;"
                "create unique index m2_lower_email on member (lower(email), tenant);"
                "create unique index m3_id on member (id);"
                "insert into member values (1, 'a@x', 1, 0, 'Ann'), (2, 'a@x', 2, 0, 'Bob'),"
                " (3, 'a@x', 3, 0, 'Cy'), (4, 'b@x', 1, 1, 'Di');"
                "create table keyed (k integer primary key, code text, extra text);"
                "create unique index a_code on keyed (code);"
                "create table covered (code text not null, extra text, n integer);"
                "create unique index c_code on covered (code) include (extra)");
    query->SQL()->SetText("select * from member");
    ASSERT_TRUE(edit([](TOvUpdateSQLEditForm &f) {
        f.btSelectPrimKeys->click();
        EXPECT_EQ(selectedItems(f.lbKeyFields), QStringList({"id"}))
            << "the plain unique index, not the partial or the expression one";
        f.cbTableName->setEditText("keyed");
        f.btGetTableFields->click();
        f.btSelectPrimKeys->click();
        EXPECT_EQ(selectedItems(f.lbKeyFields), QStringList({"k"})) << "primary key first";
        f.cbTableName->setEditText("covered");
        f.btGetTableFields->click();
        f.btSelectPrimKeys->click();
        EXPECT_EQ(selectedItems(f.lbKeyFields), QStringList({"code"})) << "INCLUDE is no key";
        f.cbTableName->setEditText("member");
        f.btGetTableFields->click();
        f.btSelectPrimKeys->click();
        f.btGenerateSQL->click();
        f.btOk->click();
    }));
    const QVariantMap bob
        = {{"id", 2}, {"email", "a@x"}, {"tenant", 2}, {"active", 0}, {"name", "Bob"}};
    QVariantMap renamed = bob;
    renamed["name"] = "Bo";
    EXPECT_EQ(upd->Apply(TUpdateKind::ukModify, renamed, bob), 1) << "modify";
    EXPECT_EQ(upd->Apply(TUpdateKind::ukDelete, {}, bob), 1) << "delete";
    EXPECT_EQ(rows("member", "id"), QStringList({"1|a@x|1|0|Ann", "3|a@x|3|0|Cy", "4|b@x|1|1|Di"}))
        << "only Bob's row changed, then went";
}

// Names that need quotes are quoted with the box cleared (a reserved word,
// an operator, blanks); a table of a dataset that is no query keeps its
// schema, so a same-named table earlier on the search path is not touched.
TEST_F(UpdateSQLOnPostgres, quotedNamesAndOwnersOfATableDataset)
{
    db->ExecSQL(
        QStringLiteral(
            "create schema %1_o;"
            "create table %1_o.accounts (\"k-1\" integer primary key, \"user\" text,"
            " \"Full Name\" text, plain integer);"
            "create table %1.accounts (\"k-1\" integer primary key, \"user\" text,"
            " \"Full Name\" text, plain integer);"
            "insert into %1_o.accounts values (1, 'u1', 'Ann', 10), (2, 'u2', 'Bob', 20);"
            "insert into %1.accounts values (1, 'decoy', 'Decoy', 0), (2, 'decoy', 'Decoy', 0)")
            .arg(schema));
    TOvTable table(&form1);
    table.setObjectName(QStringLiteral("Table1"));
    table.SetDatabaseName(QString::fromLatin1(databaseName));
    upd->SetDataSet(&table);
    const QString owned = schema + QStringLiteral("_o.accounts");
    ASSERT_TRUE(edit([&](TOvUpdateSQLEditForm &f) {
        f.cbTableName->setEditText(owned);
        f.btGetTableFields->click();
        EXPECT_EQ(itemsOf(f.lbKeyFields), QStringList({"k-1", "user", "Full Name", "plain"}));
        f.btSelectPrimKeys->click();
        EXPECT_EQ(selectedItems(f.lbKeyFields), QStringList({"k-1"}));
        f.btGenerateSQL->click();
        f.btOk->click();
    }));
    EXPECT_EQ(upd->GetSQLIndex(1)->toStringList(),
              QStringList({"update " + owned, "set", "  \"k-1\" = :\"k-1\",",
                           "  \"user\" = :\"user\",", "  \"Full Name\" = :\"Full Name\",",
                           "  plain = :plain", "where", "  \"k-1\" = :\"OLD_k-1\""}))
        << "schema kept; names quoted where they need it";
    const QVariantMap two = {{"k-1", 2}, {"user", "u2"}, {"Full Name", "Bob"}, {"plain", 20}};
    QVariantMap changed = two;
    changed["Full Name"] = "Bo";
    EXPECT_EQ(upd->Apply(TUpdateKind::ukModify, changed, two), 1) << "modify";
    EXPECT_EQ(upd->Apply(TUpdateKind::ukDelete, {}, {{"k-1", 1}}), 1) << "delete";
    EXPECT_EQ(rows(owned, "1"), QStringList({"2|u2|Bo|20"}));
    EXPECT_EQ(rows(schema + ".accounts", "1"), QStringList({"1|decoy|Decoy|0", "2|decoy|Decoy|0"}))
        << "the table on the search path untouched";
    upd->SetDataSet(query);
}

// A NUL would cut a name passed to the server; such a name is refused.
TEST_F(UpdateSQLOnPostgres, namesWithANulAreRefused)
{
    TStringList names;
    EXPECT_THROW(Session()->GetFieldNames(
                     QString::fromLatin1(databaseName),
                     QStringLiteral("upd_customer") + QChar(u'\0') + QStringLiteral("x"), &names),
                 EOvDatabaseError);
    EXPECT_THROW(
        db->GetSchemaInfo(TOvSchemaType::stIndexes, QStringLiteral("upd_customer") + QChar(u'\0')),
        EOvDatabaseError);
    Session()->GetFieldNames(QString::fromLatin1(databaseName), QStringLiteral("upd_customer"),
                             &names);
    EXPECT_EQ(names.Count(), 3) << "the connection is still usable";
}

// A stored generated column is re-read by the refresh and left out of the
// modify and insert statements, which the server would refuse.
TEST_F(UpdateSQLOnPostgres, generatedColumnsAreReadNotWritten)
{
    db->ExecSQL("create table gen (id integer primary key, a integer,"
                " twice integer generated always as (a * 2) stored);"
                "insert into gen (id, a) values (1, 1), (2, 2)");
    query->SQL()->SetText("select * from gen");
    ASSERT_TRUE(edit([](TOvUpdateSQLEditForm &f) {
        f.btGetTableFields->click();
        EXPECT_EQ(itemsOf(f.lbUpdateFields), QStringList({"id", "a", "twice"}));
        f.btSelectPrimKeys->click();
        f.btGenerateSQL->click();
        f.btOk->click();
    }));
    EXPECT_EQ(upd->GetSQLIndex(2)->toStringList(),
              QStringList({"insert into gen", "  (id, a)", "values", "  (:id, :a)"}));
    EXPECT_EQ(upd->Apply(TUpdateKind::ukInsert, {{"id", 3}, {"a", 5}}, {}), 1);
    EXPECT_EQ(upd->Apply(TUpdateKind::ukModify, {{"id", 2}, {"a", 7}}, {{"id", 2}}), 1);
    EXPECT_EQ(refresh({{"id", 2}}).value("twice").toInt(), 14) << "refresh";
    EXPECT_EQ(upd->Apply(TUpdateKind::ukDelete, {}, {{"id", 3}}), 1);
    EXPECT_EQ(rows("gen", "id"), QStringList({"1|1|2", "2|7|14"}));
}
