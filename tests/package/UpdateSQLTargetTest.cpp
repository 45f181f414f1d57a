// The UpdateSQL editor on SQLite tables built to mislead it: partial and
// expression indexes, names that are no plain identifiers, dotted and quoted
// table names, aliased and foreign fields, generated columns. Every scenario
// applies the generated statements and checks that exactly the intended row
// changed.
#include "UpdateSQLTestSupport.h"

#include "common/TestSupport.h"

#include "orvlib/OvConsts.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvSession.h"
#include "orvlib/OvUpdateSQL.h"

#include "rtl/Forms.h"
#include "rtl/SysUtils.h"
#include "rtl/UiServices.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include <functional>

namespace {

class UpdateSQLTargets : public ::testing::Test
{
protected:
    void SetUp() override
    {
        form1.setObjectName(QStringLiteral("Form1"));
        db = new TOvDatabase(&form1);
        db->SetDatabaseName(QStringLiteral("TARGETDB"));
        db->SetServerType(TOvServerType::stSQLite);
        db->SetRemoteDatabase(tmp.file(QStringLiteral("targets.db")));
        db->SetLoginPrompt(false);
        db->Params()->Add(QStringLiteral("CREATE=1"));
        db->Open();
        query = new TOvQuery(&form1);
        query->setObjectName(QStringLiteral("Query1"));
        query->SetDatabaseName(QStringLiteral("TARGETDB"));
        upd = new TOvUpdateSQL(&form1);
        upd->setObjectName(QStringLiteral("UpdateSQL1"));
        upd->SetDataSet(query);
        for (int i = 0; i < 4; ++i)
            upd->GetSQLIndex(i)->SetText(QStringLiteral("old"));
    }

    void exec(const QString &SQL) { db->ExecSQL(SQL); }

    // Opens the editor on the query SQL; Act plays the person and closes it.
    bool edit(const QString &SQL, const std::function<void(TOvUpdateSQLEditForm &)> &Act,
              const QList<TModalResult> &Answers = {})
    {
        query->SQL()->SetText(SQL);
        ui.onModal([&](TForm &F) { Act(*As<TOvUpdateSQLEditForm>(&F)); });
        for (TModalResult answer : Answers)
            ui.answer(answer);
        return EditUpdateSQL(upd);
    }

    // Every row of From in the order OrderBy, each as its values joined by "|".
    QStringList rows(const QString &From, const QString &OrderBy)
    {
        TOvQuery q;
        q.SetDatabaseName(QStringLiteral("TARGETDB"));
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

    TempFolder tmp;
    QWidget form1;
    TOvDatabase *db = nullptr;
    TOvQuery *query = nullptr;
    TOvUpdateSQL *upd = nullptr;
    ScriptedUi ui;
};

QStringList statement(const TOvUpdateSQL &Upd, int Slot)
{
    return Upd.GetSQLIndex(Slot)->toStringList();
}

} // namespace

// A partial unique index holds its key unique among some rows only, an
// expression index not on its plain columns: Select Primary Keys passes over
// both, and the delete of one member removes that member alone.
TEST_F(UpdateSQLTargets, partialAndExpressionIndexesAreNoRowKeys)
{
    exec("create table MEMBER (ID integer not null, EMAIL text, TENANT integer, ACTIVE integer, "
         "NAME text)");
    exec("create unique index M1_ACTIVE_EMAIL on MEMBER (EMAIL) where ACTIVE = 1");
    exec("create unique index M2_LOWER_EMAIL on MEMBER (lower(EMAIL), TENANT)");
    exec("create unique index M3_ID on MEMBER (ID)");
    exec("insert into MEMBER values (1, 'a@x', 1, 0, 'Ann'), (2, 'a@x', 2, 0, 'Bob'), "
         "(3, 'a@x', 3, 0, 'Cy'), (4, 'b@x', 1, 1, 'Di')");
    ASSERT_TRUE(edit("select * from MEMBER", [](TOvUpdateSQLEditForm &f) {
        f.btSelectPrimKeys->click();
        EXPECT_EQ(selectedItems(f.lbKeyFields), QStringList({"ID"}))
            << "the plain unique index, not the partial or the expression one";
        f.btGenerateSQL->click();
        f.btOk->click();
    }));
    const QVariantMap bob
        = {{"ID", 2}, {"EMAIL", "a@x"}, {"TENANT", 2}, {"ACTIVE", 0}, {"NAME", "Bob"}};
    QVariantMap renamed = bob;
    renamed["NAME"] = "Bo";
    EXPECT_EQ(upd->Apply(TUpdateKind::ukModify, renamed, bob), 1) << "modify";
    EXPECT_EQ(upd->Apply(TUpdateKind::ukDelete, {}, bob), 1) << "delete";
    EXPECT_EQ(rows("MEMBER", "ID"), QStringList({"1|a@x|1|0|Ann", "3|a@x|3|0|Cy", "4|b@x|1|1|Di"}))
        << "only Bob's row changed, then went";

    // Without the plain index no key is offered at all.
    exec("drop index M3_ID");
    edit("select * from MEMBER", [](TOvUpdateSQLEditForm &f) {
        f.btSelectPrimKeys->click();
        EXPECT_TRUE(selectedItems(f.lbKeyFields).isEmpty()) << "neither index identifies a row";
        f.btCancel->click();
    });
}

// Names that are no plain identifiers are quoted with the box cleared; the
// plain ones stay as they are. A key column with an operator in its name
// must not turn the condition into one that matches every row.
TEST_F(UpdateSQLTargets, namesThatNeedQuotesAreQuotedWhateverTheBox)
{
    exec("create table \"Line Items\" (\"K-1\" integer primary key, \"Item Name\" text, "
         "\"user\" text, \"Q\"\"T\" integer, PLAIN integer)");
    exec("insert into \"Line Items\" values (1, 'one', 'u1', 10, 100), (2, 'two', 'u2', 20, 200), "
         "(3, 'three', 'u3', 30, 300)");
    ASSERT_TRUE(edit("select * from \"Line Items\"", [](TOvUpdateSQLEditForm &f) {
        EXPECT_EQ(f.cbTableName->currentText(), "\"Line Items\"") << "table text as written";
        f.btSelectPrimKeys->click();
        EXPECT_EQ(selectedItems(f.lbKeyFields), QStringList({"K-1"}));
        EXPECT_FALSE(f.cbQuotedFields->isChecked());
        f.btGenerateSQL->click();
        f.btOk->click();
    }));
    EXPECT_EQ(statement(*upd, slotDelete),
              QStringList({"delete from \"Line Items\"", "where", "  \"K-1\" = :\"OLD_K-1\""}));
    EXPECT_EQ(statement(*upd, slotInsert),
              QStringList({"insert into \"Line Items\"",
                           "  (\"K-1\", \"Item Name\", \"user\", \"Q\"\"T\", PLAIN)", "values",
                           "  (:\"K-1\", :\"Item Name\", :\"user\", :\"Q\"\"T\", :PLAIN)"}))
        << "plain PLAIN unquoted, every other name quoted";

    const QVariantMap two
        = {{"K-1", 2}, {"Item Name", "two"}, {"user", "u2"}, {"Q\"T", 20}, {"PLAIN", 200}};
    QVariantMap changed = two;
    changed["Item Name"] = "TWO";
    EXPECT_EQ(upd->Apply(TUpdateKind::ukModify, changed, two), 1) << "modify";
    EXPECT_EQ(refreshRow("TARGETDB", *upd, {{"K-1", 2}}).value("Item Name").toString(), "TWO")
        << "refresh";
    EXPECT_EQ(upd->Apply(TUpdateKind::ukDelete, {}, two), 1) << "delete";
    EXPECT_EQ(rows("\"Line Items\"", "1"), QStringList({"1|one|u1|10|100", "3|three|u3|30|300"}))
        << "rows 1 and 3 untouched";
    EXPECT_EQ(upd->Apply(TUpdateKind::ukInsert, two, {}), 1) << "insert";
    EXPECT_EQ(rows("\"Line Items\"", "1").size(), 3);
}

// ID beside OLD_ID: the new value of OLD_ID would be bound to the old value
// of ID. Generating says so and writes nothing; without that field in the
// update list, the statements run.
TEST_F(UpdateSQLTargets, oldValueParameterClashIsShown)
{
    exec("create table T (ID integer primary key, OLD_ID integer, NAME text)");
    exec("insert into T values (1, 100, 'a'), (2, 200, 'b')");
    ASSERT_TRUE(edit("select * from T",
                     [](TOvUpdateSQLEditForm &f) {
                         f.btSelectPrimKeys->click();
                         f.btGenerateSQL->click();
                         EXPECT_EQ(entriesOf(UpdateSQLEditFormAccess::Buffer(f, slotModify)),
                                   QStringList({"old"}))
                             << "nothing generated";
                         f.lbUpdateFields->item(1)->setSelected(false);
                         f.btGenerateSQL->click();
                         f.btOk->click();
                     },
                     {mrOk}));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, SSQLOldValueParamClash().arg("OLD_ID"));
    EXPECT_EQ(statement(*upd, slotModify),
              QStringList(
                  {"update T", "set", "  ID = :ID,", "  NAME = :NAME", "where", "  ID = :OLD_ID"}));
    EXPECT_EQ(upd->Apply(TUpdateKind::ukModify, {{"ID", 1}, {"OLD_ID", 100}, {"NAME", "z"}},
                         {{"ID", 1}, {"OLD_ID", 100}, {"NAME", "a"}}),
              1);
    EXPECT_EQ(rows("T", "ID"), QStringList({"1|100|z", "2|200|b"}));
}

// DataSet Defaults lists the chosen table's columns: an aliased field
// stands for its column, fields of other tables and expressions stay out.
// With quoting on, the refresh reads the column, not the text 'CNAME'.
TEST_F(UpdateSQLTargets, dataSetDefaultsListColumnsOfTheTable)
{
    exec("create table CUSTOMER (ID integer primary key, NAME text)");
    exec("create table NOTES (NOTE_ID integer primary key, NOTE text)");
    exec("insert into CUSTOMER values (1, 'Ann'), (2, 'Bob')");
    exec("insert into NOTES values (1, 'n')");
    ASSERT_TRUE(edit("select c.ID, c.NAME as CNAME, upper(c.NAME) as UNAME, n.NOTE "
                     "from CUSTOMER c, NOTES n",
                     [](TOvUpdateSQLEditForm &f) {
                         EXPECT_EQ(f.cbTableName->currentText(), "CUSTOMER");
                         EXPECT_EQ(itemsOf(f.lbKeyFields), QStringList({"ID", "NAME"}));
                         EXPECT_EQ(selectedItems(f.lbUpdateFields), QStringList({"ID", "NAME"}));
                         fillList(f.lbKeyFields, {"ID", "NAME"}, {"ID"});
                         f.cbQuotedFields->setChecked(true);
                         f.btGenerateSQL->click();
                         f.btOk->click();
                     }));
    EXPECT_EQ(statement(*upd, slotRefresh).first(),
              "select \"ID\", \"NAME\" as \"CNAME\"\r\nfrom \"CUSTOMER\"");
    EXPECT_EQ(refreshRow("TARGETDB", *upd, {{"ID", 2}}).value("CNAME").toString(), "Bob")
        << "the column's value, not the alias as a string";
    EXPECT_EQ(upd->Apply(TUpdateKind::ukModify, {{"ID", 2}, {"CNAME", "Bea"}}, {{"ID", 2}}), 1);
    EXPECT_EQ(upd->Apply(TUpdateKind::ukInsert, {{"ID", 3}, {"CNAME", "Cy"}}, {}), 1);
    EXPECT_EQ(rows("CUSTOMER", "ID"), QStringList({"1|Ann", "2|Bea", "3|Cy"}));
    EXPECT_EQ(rows("NOTES", "NOTE_ID"), QStringList({"1|n"})) << "the other table untouched";
}

// A table named "a.b" beside table b of the attached schema a, and one with
// blanks around its name: the list shows them quoted, the look-ups and the
// statements keep them whole, and only their rows change.
TEST_F(UpdateSQLTargets, dottedAndBlankTableNamesStayWhole)
{
    exec(QStringLiteral("attach database '%1' as a").arg(tmp.file("a.db")));
    exec("create table a.b (OTHER integer primary key, X text)");
    exec("insert into a.b values (1, 'attached')");
    exec("create table \"a.b\" (ID integer primary key, X text)");
    exec("insert into \"a.b\" values (1, 'dotted'), (2, 'dotted two')");
    exec("create table \" T \" (ID integer primary key, X text)");
    exec("insert into \" T \" values (1, 'blank')");
    exec("create table T (TID integer primary key)");

    TStringList tables;
    Session()->GetTableNames("TARGETDB", QString(), false, &tables);
    EXPECT_GE(tables.IndexOf("\"a.b\""), 0) << tables.Text().toStdString();
    EXPECT_GE(tables.IndexOf("\" T \""), 0) << "blanks kept inside quotes";
    for (const QString &listed : {QStringLiteral("\"a.b\""), QStringLiteral("\" T \"")}) {
        TStringList fields;
        Session()->GetFieldNames("TARGETDB", listed, &fields);
        EXPECT_EQ(fields.toStringList(), QStringList({"ID", "X"})) << listed.toStdString();
    }

    ASSERT_TRUE(edit("select * from \"a.b\"", [](TOvUpdateSQLEditForm &f) {
        EXPECT_EQ(f.cbTableName->currentText(), "\"a.b\"") << "quotes kept";
        f.btGetTableFields->click();
        EXPECT_EQ(itemsOf(f.lbKeyFields), QStringList({"ID", "X"})) << "fields of \"a.b\"";
        f.btSelectPrimKeys->click();
        EXPECT_EQ(selectedItems(f.lbKeyFields), QStringList({"ID"}));
        f.btGenerateSQL->click();
        f.btOk->click();
    }));
    EXPECT_EQ(statement(*upd, slotDelete).first(), "delete from \"a.b\"");
    EXPECT_EQ(upd->Apply(TUpdateKind::ukDelete, {}, {{"ID", 1}}), 1);
    EXPECT_EQ(rows("\"a.b\"", "ID"), QStringList({"2|dotted two"}));
    EXPECT_EQ(rows("a.b", "OTHER"), QStringList({"1|attached"})) << "the attached table untouched";

    ASSERT_TRUE(edit("select * from \" T \"", [](TOvUpdateSQLEditForm &f) {
        f.btGetTableFields->click();
        f.btSelectPrimKeys->click();
        f.btGenerateSQL->click();
        f.btOk->click();
    }));
    EXPECT_EQ(upd->Apply(TUpdateKind::ukModify, {{"ID", 1}, {"X", "changed"}}, {{"ID", 1}}), 1);
    EXPECT_EQ(rows("\" T \"", "ID"), QStringList({"1|changed"}));
    EXPECT_TRUE(ui.messages.empty()) << "no message box on the way";
}

// Table texts that do not read as [owner.]table are refused with a message,
// and the statements stay as they were.
TEST_F(UpdateSQLTargets, tableTextsThatDoNotSplitAreRefused)
{
    exec("create table T (ID integer primary key)");
    const QStringList bad = {"a.b.c", "\"a\".\"b\".\"c\"", ".T", "T.", "a..T", "\"T", "\"T\"x"};
    QList<TModalResult> answers;
    for (qsizetype i = 0; i < bad.size(); ++i)
        answers << mrOk;
    edit(
        "select ID from T",
        [&bad](TOvUpdateSQLEditForm &f) {
            for (const QString &text : bad) {
                f.cbTableName->setEditText(text);
                f.btGenerateSQL->click();
                EXPECT_EQ(entriesOf(UpdateSQLEditFormAccess::Buffer(f, slotDelete)),
                          QStringList({"old"}))
                    << text.toStdString();
            }
            f.btCancel->click();
        },
        answers);
    ASSERT_EQ(ui.messages.size(), size_t(bad.size()));
    for (qsizetype i = 0; i < bad.size(); ++i)
        EXPECT_EQ(ui.messages[i].text, SSQLInvalidTableName().arg(bad[i])) << i;
}

// Generated columns are listed and re-read by the refresh; the modify and
// insert statements leave them out, since the database refuses to write them.
TEST_F(UpdateSQLTargets, generatedColumnsAreReadNotWritten)
{
    exec("create table G (ID integer primary key, A integer, "
         "TWICE integer generated always as (A * 2) virtual, N text, "
         "UPPERN text generated always as (upper(N)) stored)");
    exec("insert into G (ID, A, N) values (1, 1, 'x'), (2, 2, 'y')");
    ASSERT_TRUE(edit("select * from G", [](TOvUpdateSQLEditForm &f) {
        EXPECT_EQ(itemsOf(f.lbUpdateFields), QStringList({"ID", "A", "TWICE", "N", "UPPERN"}))
            << "generated columns are fields of the table";
        f.btGetTableFields->click();
        EXPECT_EQ(itemsOf(f.lbUpdateFields), QStringList({"ID", "A", "TWICE", "N", "UPPERN"}));
        f.btSelectPrimKeys->click();
        f.btGenerateSQL->click();
        f.btOk->click();
    }));
    EXPECT_EQ(statement(*upd, slotModify),
              QStringList({"update G", "set", "  ID = :ID,", "  A = :A,", "  N = :N", "where",
                           "  ID = :OLD_ID"}));
    EXPECT_EQ(statement(*upd, slotInsert),
              QStringList({"insert into G", "  (ID, A, N)", "values", "  (:ID, :A, :N)"}));
    EXPECT_EQ(statement(*upd, slotRefresh).first(), "select ID, A, TWICE, N, UPPERN\r\nfrom G");

    EXPECT_EQ(upd->Apply(TUpdateKind::ukInsert, {{"ID", 3}, {"A", 5}, {"N", "z"}}, {}), 1);
    EXPECT_EQ(upd->Apply(TUpdateKind::ukModify, {{"ID", 2}, {"A", 7}, {"N", "w"}}, {{"ID", 2}}), 1);
    const QVariantMap two = refreshRow("TARGETDB", *upd, {{"ID", 2}});
    EXPECT_EQ(two.value("TWICE").toInt(), 14) << "refresh re-reads the computed value";
    EXPECT_EQ(two.value("UPPERN").toString(), "W");
    EXPECT_EQ(upd->Apply(TUpdateKind::ukDelete, {}, {{"ID", 3}}), 1);
    EXPECT_EQ(rows("G", "ID"), QStringList({"1|1|2|x|X", "2|7|14|w|W"}));
}
