// The UpdateSQL editor form, driven as a person would, on a real SQLite database.
#include "UpdateSQLTestSupport.h"

#include "common/TestSupport.h"

#include "orvlib/OvConsts.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvUpdateSQL.h"

#include "rtl/Forms.h"
#include "rtl/SysUtils.h"
#include "rtl/UiServices.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <functional>

namespace {

using Person = std::function<void(TOvUpdateSQLEditForm &)>;

const QStringList loadedStatements = {"old refresh", "old modify", "old insert", "old delete"};

// The person types Text into the memo and moves on to another control.
void typeInMemo(TOvUpdateSQLEditForm &Form, const QString &Text)
{
    Form.meSQLText->setPlainText(Text);
    QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(Form.meSQLText, &leave);
}

void chooseStatement(TOvUpdateSQLEditForm &Form, int Slot)
{
    Form.rgrStatementType->Buttons().at(Slot)->click();
}

// Right click on List, then a click on Item of the popup menu.
void popupAndPick(TOvUpdateSQLEditForm &Form, QListWidget *List, QAction *Item)
{
    Q_EMIT List->customContextMenuRequested(QPoint(4, 4));
    Item->trigger();
    Form.pmFields->hide();
}

QStringList statementsOf(const TOvUpdateSQL &Upd)
{
    QStringList texts;
    for (int i = 0; i < 4; ++i)
        texts.append(Upd.GetSQLIndex(i)->toStringList().join(u'\n'));
    return texts;
}

// An SQLite database with the tables of the scenarios, and an update object
// named UpdateSQL1 on the query Query1, both owned by the form Form1.
class UpdateSQLForm : public ::testing::Test
{
protected:
    void SetUp() override
    {
        form1.setObjectName(QStringLiteral("Form1"));
        db = new TOvDatabase(&form1);
        db->SetDatabaseName(QStringLiteral("UPDSQLDB"));
        db->SetServerType(TOvServerType::stSQLite);
        db->SetRemoteDatabase(tmp.file(QStringLiteral("upd.db")));
        db->SetLoginPrompt(false);
        db->Params()->Add(QStringLiteral("CREATE=1"));
        for (const char *ddl : {
                 "create table CUSTOMER (ID integer not null, BRANCH integer not null, "
                 "NAME varchar(40), primary key (ID, BRANCH))",
                 "create table UONLY (A integer, B integer, C integer not null, D integer not "
                 "null)",
                 "create unique index UX_B on UONLY (A)",
                 "create unique index UX_A on UONLY (C, D)",
                 "create table NOKEY (X integer, Y integer)",
                 "create table \"Mixed Case\" (\"Id\" integer primary key, \"Full Name\" text)",
             })
            db->ExecSQL(QString::fromLatin1(ddl));
        query = new TOvQuery(&form1);
        query->setObjectName(QStringLiteral("Query1"));
        query->SetDatabaseName(QStringLiteral("UPDSQLDB"));
        query->SQL()->SetText(
            QStringLiteral("select c.ID, c.BRANCH, c.NAME as CNAME from CUSTOMER c"));
        upd = new TOvUpdateSQL(&form1);
        upd->setObjectName(QStringLiteral("UpdateSQL1"));
        upd->SetDataSet(query);
        for (int i = 0; i < 4; ++i)
            upd->GetSQLIndex(i)->SetText(loadedStatements.at(i));
    }

    // Opens the editor on Upd with Act playing the person (Act must close
    // it); Answers are the buttons pressed on the message boxes on the way.
    bool edit(TOvUpdateSQL *Upd, const Person &Act, const QList<TModalResult> &Answers = {})
    {
        ui.onModal([&](TForm &F) { Act(*As<TOvUpdateSQLEditForm>(&F)); });
        for (TModalResult answer : Answers)
            ui.answer(answer);
        const bool result = EditUpdateSQL(Upd);
        EXPECT_EQ(ui.pendingSteps(), 0u) << "every scripted step was used";
        return result;
    }

    qint64 rowCount(const QString &Table)
    {
        TOvQuery q;
        q.SetDatabaseName(QStringLiteral("UPDSQLDB"));
        q.SQL()->SetText(QStringLiteral("select count(*) from ") + Table);
        q.Open();
        return q.Fields(0)->AsInteger();
    }

    // Runs the refresh statement for the old values Keys; the row's fields.
    QVariantMap refresh(const QVariantMap &Keys)
    {
        return refreshRow(QStringLiteral("UPDSQLDB"), *upd, Keys);
    }

    TempFolder tmp;
    QWidget form1;
    TOvDatabase *db = nullptr;
    TOvQuery *query = nullptr;
    TOvUpdateSQL *upd = nullptr;
    ScriptedUi ui;
};

} // namespace

TEST_F(UpdateSQLForm, opensWithTheQueryDefaultsAndCancelKeepsAll)
{
    const bool ok = edit(upd, [](TOvUpdateSQLEditForm &f) {
        EXPECT_EQ(f.windowTitle(), "Form1.UpdateSQL1 (Query1)") << "caption";
        EXPECT_EQ(f.cbTableName->count(), 1) << "tables of the query";
        EXPECT_EQ(f.cbTableName->currentText(), "CUSTOMER") << "first table chosen";
        // CNAME shows column NAME: the lists hold the column, its parameters
        // keep the field's name.
        const QStringList fields = {"ID", "BRANCH", "NAME"};
        EXPECT_EQ(selectedItems(f.lbKeyFields), fields) << "key fields: the dataset's columns";
        EXPECT_EQ(selectedItems(f.lbUpdateFields), fields)
            << "update fields: the dataset's columns";
        EXPECT_FALSE(f.btDataSetDefaults->isEnabled()) << "DataSet Defaults already applied";
        EXPECT_TRUE(f.btGetTableFields->isEnabled() && f.btSelectPrimKeys->isEnabled()
                    && f.btGenerateSQL->isEnabled())
            << "action buttons";
        EXPECT_EQ(f.meSQLText->toPlainText(), "old refresh") << "memo shows the refresh slot";
        EXPECT_EQ(f.pcUpdateSQL->currentWidget(), f.tsOptions) << "page";
        EXPECT_FALSE(f.cbQuotedFields->isChecked()) << "quote check box";
        EXPECT_EQ(f.focusWidget(), f.cbTableName) << "focus";
        EXPECT_EQ(Screen->Cursor(), crDefault) << "hourglass gone after loading";
        f.btCancel->click();
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(statementsOf(*upd), loadedStatements) << "Cancel writes nothing";
}

// Get Table Fields, Select Primary Keys, Generate SQL, OK; then the four
// statements run against the table with parameters bound from a row.
TEST_F(UpdateSQLForm, generatedStatementsRun)
{
    const bool ok = edit(upd, [](TOvUpdateSQLEditForm &f) {
        f.btGetTableFields->click();
        EXPECT_EQ(itemsOf(f.lbKeyFields), QStringList({"ID", "BRANCH", "NAME"})) << "table fields";
        EXPECT_EQ(selectedItems(f.lbUpdateFields).size(), 3) << "all selected";
        EXPECT_TRUE(f.btDataSetDefaults->isEnabled()) << "DataSet Defaults offered again";
        EXPECT_GE(f.lbKeyFields->HorizontalExtent(),
                  QFontMetrics(f.lbKeyFields->font()).horizontalAdvance("BRANCHA"))
            << "scroll extent covers the widest name";
        f.btSelectPrimKeys->click();
        EXPECT_EQ(selectedItems(f.lbKeyFields), QStringList({"ID", "BRANCH"})) << "primary key";
        EXPECT_EQ(selectedItems(f.lbUpdateFields).size(), 3) << "update list untouched";
        f.btGenerateSQL->click();
        EXPECT_EQ(f.pcUpdateSQL->currentWidget(), f.tsSQL) << "what was made is shown";
        EXPECT_EQ(f.rgrStatementType->ItemIndex(), slotModify) << "on the modify statement";
        EXPECT_EQ(f.meSQLText->toPlainText(),
                  "update CUSTOMER\nset\n  ID = :ID,\n  BRANCH = :BRANCH,\n  NAME = :CNAME\n"
                  "where\n  ID = :OLD_ID and\n  BRANCH = :OLD_BRANCH")
            << "memo shows the new modify statement";
        f.btOk->click();
    });
    ASSERT_TRUE(ok);
    EXPECT_TRUE(ui.messages.empty()) << "statements that prepare pass OK unasked";
    EXPECT_EQ(
        upd->GetSQLIndex(1)->toStringList(),
        QStringList({"update CUSTOMER", "set", "  ID = :ID,", "  BRANCH = :BRANCH,",
                     "  NAME = :CNAME", "where", "  ID = :OLD_ID and", "  BRANCH = :OLD_BRANCH"}))
        << "modify statement written";

    const QVariantMap ann = {{"ID", 1}, {"BRANCH", 7}, {"CNAME", "Ann"}};
    const QVariantMap key = {{"ID", 1}, {"BRANCH", 7}};
    EXPECT_EQ(upd->Apply(TUpdateKind::ukInsert, ann, {}), 1) << "insert";
    QVariantMap bob = ann;
    bob["CNAME"] = "Bob";
    EXPECT_EQ(upd->Apply(TUpdateKind::ukModify, bob, key), 1) << "modify";
    EXPECT_EQ(refresh(key).value("CNAME").toString(), "Bob") << "refresh reads the row back";
    EXPECT_EQ(upd->Apply(TUpdateKind::ukDelete, {}, key), 1) << "delete";
    EXPECT_EQ(rowCount("CUSTOMER"), 0) << "row gone";
}

TEST_F(UpdateSQLForm, quotedStatementsRunOnAMixedCaseTable)
{
    query->SQL()->SetText(QStringLiteral("select \"Id\", \"Full Name\" from \"Mixed Case\""));
    ASSERT_TRUE(edit(upd, [](TOvUpdateSQLEditForm &f) {
        EXPECT_EQ(f.cbTableName->currentText(), "\"Mixed Case\"") << "table as the query wrote it";
        f.btGetTableFields->click();
        f.btSelectPrimKeys->click();
        EXPECT_EQ(selectedItems(f.lbKeyFields), QStringList({"Id"})) << "rowid primary key";
        f.cbQuotedFields->setChecked(true);
        f.btGenerateSQL->click();
        f.btOk->click();
    }));
    EXPECT_EQ(upd->GetSQLIndex(3)->toStringList(),
              QStringList({"delete from \"Mixed Case\"", "where", "  \"Id\" = :\"OLD_Id\""}));
    const QVariantMap row = {{"Id", 5}, {"Full Name", "Ann Lee"}};
    EXPECT_EQ(upd->Apply(TUpdateKind::ukInsert, row, {}), 1) << "insert";
    EXPECT_EQ(upd->Apply(TUpdateKind::ukModify, {{"Id", 5}, {"Full Name", "Bo Ng"}}, {{"Id", 5}}),
              1)
        << "modify";
    EXPECT_EQ(refresh({{"Id", 5}}).value("Full Name").toString(), "Bo Ng") << "refresh";
    EXPECT_EQ(upd->Apply(TUpdateKind::ukDelete, {}, {{"Id", 5}}), 1) << "delete";
}

TEST_F(UpdateSQLForm, keysDataSetDefaultsAndIndexes)
{
    query->SQL()->SetText(QStringLiteral("select id, branch, name from CUSTOMER"));
    edit(upd, [](TOvUpdateSQLEditForm &f) {
        f.btSelectPrimKeys->click();
        EXPECT_EQ(selectedItems(f.lbKeyFields), QStringList({"id", "branch"}))
            << "primary key matched regardless of letter case";
        f.btGetTableFields->click();
        f.btDataSetDefaults->click();
        EXPECT_EQ(selectedItems(f.lbKeyFields), QStringList({"id", "branch", "name"}))
            << "dataset fields back, all selected";
        EXPECT_FALSE(f.btDataSetDefaults->isEnabled()) << "DataSet Defaults disabled again";

        f.cbTableName->setEditText("UONLY");
        f.btGetTableFields->click();
        f.lbUpdateFields->item(1)->setSelected(false);
        f.btSelectPrimKeys->click();
        EXPECT_EQ(selectedItems(f.lbKeyFields), QStringList({"C", "D"}))
            << "no primary key: the first unique index (UX_A)";
        EXPECT_EQ(selectedItems(f.lbUpdateFields), QStringList({"A", "C", "D"}))
            << "update list untouched";

        f.cbTableName->setEditText("NOKEY");
        f.btGetTableFields->click();
        f.btSelectPrimKeys->click();
        EXPECT_TRUE(selectedItems(f.lbKeyFields).isEmpty()) << "no index: no key field";
        f.btCancel->click();
    });
    EXPECT_TRUE(ui.messages.empty()) << "no message box on the way";
}

TEST_F(UpdateSQLForm, missingDatabaseIsReportedNotFatal)
{
    query->SetDatabaseName(QStringLiteral("NOSUCHDB"));
    edit(upd,
         [](TOvUpdateSQLEditForm &f) {
             f.btSelectPrimKeys->click();
             EXPECT_EQ(selectedItems(f.lbKeyFields).size(), 3) << "Select Primary Keys: no change";
             f.btGetTableFields->click();
             EXPECT_EQ(itemsOf(f.lbKeyFields), QStringList({"ID", "BRANCH", "NAME"}))
                 << "lists kept after the failed look-up";
             f.btCancel->click();
         },
         {mrOk});
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].type, mtError) << "the look-up's error is shown";
}

TEST_F(UpdateSQLForm, memoEditsStayInTheirSlot)
{
    db->Close(); // statements that are no SQL: nothing to check them on
    const bool ok = edit(upd, [](TOvUpdateSQLEditForm &f) {
        f.pcUpdateSQL->setCurrentWidget(f.tsSQL);
        chooseStatement(f, slotModify);
        EXPECT_EQ(f.meSQLText->toPlainText(), "old modify") << "memo follows the slot";
        typeInMemo(f, "update T set A = 1\nwhere B = 2");
        chooseStatement(f, slotInsert);
        EXPECT_EQ(f.meSQLText->toPlainText(), "old insert") << "other slot untouched";
        typeInMemo(f, "insert into T values (1)");
        chooseStatement(f, slotModify);
        EXPECT_EQ(f.meSQLText->toPlainText(), "update T set A = 1\nwhere B = 2")
            << "typed text kept in its slot";
        f.btOk->click();
    });
    ASSERT_TRUE(ok);
    EXPECT_EQ(statementsOf(*upd), QStringList({"old refresh", "update T set A = 1\nwhere B = 2",
                                               "insert into T values (1)", "old delete"}))
        << "all four written on OK";

    // Generating replaces typed statements; Cancel (and Esc) then drop it all.
    const QStringList before = statementsOf(*upd);
    for (const bool escape : {false, true}) {
        EXPECT_FALSE(edit(upd, [escape](TOvUpdateSQLEditForm &f) {
            typeInMemo(f, "typed");
            f.btGenerateSQL->click();
            EXPECT_TRUE(f.meSQLText->toPlainText().startsWith("update ")) << "generated";
            typeInMemo(f, "typed again");
            f.btGenerateSQL->click();
            EXPECT_TRUE(f.meSQLText->toPlainText().startsWith("update "))
                << "generated again, the modify statement already chosen";
            escape ? f.reject() : f.btCancel->click();
        }));
        EXPECT_EQ(statementsOf(*upd), before) << (escape ? "Esc" : "Cancel") << " changes nothing";
    }
}

TEST_F(UpdateSQLForm, okWithEmptyModifyStatementAsks)
{
    db->Close(); // statements that are no SQL: nothing to check them on
    const bool ok = edit(upd,
                         [](TOvUpdateSQLEditForm &f) {
                             chooseStatement(f, slotModify);
                             typeInMemo(f, "  \n ");
                             chooseStatement(f, slotRefresh);
                             typeInMemo(f, "");
                             f.btOk->click();
                             EXPECT_EQ(f.ModalResult(), mrNone) << "No keeps the dialog open";
                             f.btOk->click();
                             EXPECT_EQ(f.ModalResult(), mrNone) << "Cancel keeps the dialog open";
                             f.btOk->click();
                             EXPECT_EQ(f.ModalResult(), mrOk) << "Yes closes";
                         },
                         {mrNo, mrCancel, mrYes});
    EXPECT_TRUE(ok);
    ASSERT_EQ(ui.messages.size(), 3u);
    EXPECT_EQ(ui.messages[0].text, SSQLNotGenerated());
    EXPECT_EQ(ui.messages[0].type, mtConfirmation);
    EXPECT_EQ(ui.messages[0].buttons, mbYesNoCancel);
    EXPECT_TRUE(Trim(upd->GetSQLIndex(1)->Text()).isEmpty()) << "empty modify written";
    EXPECT_TRUE(upd->GetSQLIndex(0)->IsEmpty()) << "empty refresh passes unasked";
}

// OK on a connected database prepares the four statements without running
// them: one that names a missing column is reported with its statement and
// the server's reason; Yes goes back to it, No keeps it. A disconnected
// database is not connected for the check.
TEST_F(UpdateSQLForm, okChecksTheStatementsOnAConnectedDatabase)
{
    upd->GetSQLIndex(slotRefresh)->SetText("select ID, NAME from CUSTOMER where ID = :OLD_ID");
    upd->GetSQLIndex(slotModify)->SetText("update CUSTOMER set NAMEX = :NAME where ID = :OLD_ID");
    upd->GetSQLIndex(slotInsert)->SetText("insert into CUSTOMER (ID, BRANCH) values (:ID, 1)");
    upd->GetSQLIndex(slotDelete)->Clear();
    const qint64 rows = rowCount("CUSTOMER");
    ASSERT_TRUE(db->Connected());

    EXPECT_TRUE(edit(upd,
                     [](TOvUpdateSQLEditForm &f) {
                         f.btOk->click();
                         EXPECT_EQ(f.ModalResult(), mrNone) << "Yes: back to the editor";
                         EXPECT_EQ(f.pcUpdateSQL->currentWidget(), f.tsSQL) << "SQL page";
                         EXPECT_EQ(f.rgrStatementType->ItemIndex(), slotModify)
                             << "on the statement that failed";
                         EXPECT_EQ(f.focusWidget(), f.meSQLText) << "the cursor in the statement";
                         // Corrected and confirmed with the focus still in the memo (as
                         // OK's accelerator leaves it): the edit is part of what is kept.
                         f.meSQLText->setPlainText(
                             "update CUSTOMER set NAME = :NAME where ID = :OLD_ID");
                         f.btOk->click();
                         EXPECT_EQ(f.ModalResult(), mrOk) << "corrected: closes unasked";
                     },
                     {mrYes}));
    ASSERT_EQ(ui.messages.size(), 1u);
    const MessageRequest &asked = ui.messages[0];
    EXPECT_TRUE(asked.text.contains("database UPDSQLDB")) << asked.text.toStdString();
    EXPECT_TRUE(asked.text.contains("UpdateSQL1.ModifySQL: no such column: NAMEX"))
        << "which statement and why: " << asked.text.toStdString();
    EXPECT_FALSE(asked.text.contains("RefreshSQL") || asked.text.contains("InsertSQL"))
        << "statements that prepare are not listed";
    EXPECT_EQ(asked.buttons, mbYesNoCancel) << "Escape answers Cancel, not No";
    EXPECT_EQ(upd->GetSQLIndex(slotModify)->Text().trimmed(),
              "update CUSTOMER set NAME = :NAME where ID = :OLD_ID");
    EXPECT_EQ(rowCount("CUSTOMER"), rows) << "prepared, never run: the insert added no row";

    // No accepts the statement as it is.
    upd->GetSQLIndex(slotDelete)->SetText("delete from NOSUCHTABLE");
    EXPECT_TRUE(edit(upd, [](TOvUpdateSQLEditForm &f) { f.btOk->click(); }, {mrNo}));
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_TRUE(ui.messages[1].text.contains("UpdateSQL1.DeleteSQL: no such table: NOSUCHTABLE"))
        << ui.messages[1].text.toStdString();
    EXPECT_EQ(upd->GetSQLIndex(slotDelete)->Text().trimmed(), "delete from NOSUCHTABLE");

    // Escape (or closing the box) answers Cancel: back to the editor, as Yes.
    {
        QMessageBox box;
        std::map<QAbstractButton *, TModalResult> results;
        QtUiServices::setUpMessageBox(box, ui.messages[1], &results);
        EXPECT_EQ(results[box.escapeButton()], mrCancel);
    }
    EXPECT_FALSE(edit(upd,
                      [](TOvUpdateSQLEditForm &f) {
                          f.btOk->click();
                          EXPECT_EQ(f.ModalResult(), mrNone) << "Escape keeps the editor open";
                          EXPECT_EQ(f.rgrStatementType->ItemIndex(), slotDelete);
                          f.SetModalResult(mrCancel);
                      },
                      {mrCancel}));
    ASSERT_EQ(ui.messages.size(), 3u);

    // Disconnected: nothing is checked, and the check does not connect.
    db->Close();
    EXPECT_TRUE(edit(upd, [](TOvUpdateSQLEditForm &f) { f.btOk->click(); }));
    EXPECT_EQ(ui.messages.size(), 3u);
    EXPECT_FALSE(db->Connected());
}

TEST_F(UpdateSQLForm, generateNeedsKeyAndUpdateFields)
{
    db->Close(); // statements that are no SQL: nothing to check them on
    edit(upd,
         [](TOvUpdateSQLEditForm &f) {
             popupAndPick(f, f.lbKeyFields, f.miClearAll);
             EXPECT_EQ(f.PopupComponent, f.lbKeyFields) << "popup remembers its list";
             EXPECT_TRUE(selectedItems(f.lbKeyFields).isEmpty()) << "Clear All on the key list";
             EXPECT_EQ(selectedItems(f.lbUpdateFields).size(), 3) << "other list untouched";
             f.btGenerateSQL->click();
             EXPECT_EQ(f.meSQLText->toPlainText(), "old refresh") << "nothing generated";
             popupAndPick(f, f.lbKeyFields, f.miSelectAll);
             EXPECT_EQ(selectedItems(f.lbKeyFields).size(), 3) << "Select All";
             f.btOk->click();
         },
         {mrOk});
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, SSQLGenSelect());
    EXPECT_EQ(statementsOf(*upd), loadedStatements) << "buffers unchanged";
}

// Table texts as typed: blanks, quotes, owners and hostile text.
TEST_F(UpdateSQLForm, tableTexts)
{
    const QStringList hostile
        = {"CUSTOMER; drop table CUSTOMER --", "x' or '1'='1", "CUST\"\"OMER", "   "};
    edit(upd,
         [&hostile](TOvUpdateSQLEditForm &f) {
             f.cbTableName->setEditText("   ");
             EXPECT_FALSE(f.btGetTableFields->isEnabled() || f.btSelectPrimKeys->isEnabled()
                          || f.btGenerateSQL->isEnabled())
                 << "blank table text disables the actions";
             f.cbTableName->setEditText("   C");
             EXPECT_TRUE(f.btGenerateSQL->isEnabled()) << "a character enables them";

             for (const char *text : {"\"CUSTOMER\"", "\"main\".\"CUSTOMER\"", "'CUSTOMER'"}) {
                 f.lbKeyFields->clear();
                 f.cbTableName->setEditText(text);
                 f.btGetTableFields->click();
                 EXPECT_EQ(itemsOf(f.lbKeyFields), QStringList({"ID", "BRANCH", "NAME"})) << text;
             }
             for (const QString &text : hostile) {
                 f.cbTableName->setEditText(text);
                 f.GetTableFieldsClick(); // also with the button disabled
                 EXPECT_EQ(itemsOf(f.lbKeyFields), QStringList({"ID", "BRANCH", "NAME"}))
                     << "lists kept for " << text.toStdString();
             }
             f.btCancel->click();
         },
         {mrOk, mrOk, mrOk, mrOk});
    ASSERT_EQ(ui.messages.size(), 4u);
    const QString stripped[]
        = {"CUSTOMER; drop table CUSTOMER --", "x or 1=1", "CUST\"OMER", "   "};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(ui.messages[i].text, QString(SSQLDataSetOpen()).replace("%s", stripped[i]));
    EXPECT_EQ(rowCount("CUSTOMER"), 0) << "table still there";
}

TEST_F(UpdateSQLForm, captionsAndNoDataSet)
{
    auto *bare = new TOvUpdateSQL(&form1);
    bare->setObjectName(QStringLiteral("UpdateSQL2"));
    edit(bare, [](TOvUpdateSQLEditForm &f) {
        EXPECT_EQ(f.windowTitle(), "Form1.UpdateSQL2 (" + SNoDataSet() + ")");
        EXPECT_EQ(f.cbTableName->count(), 0) << "no tables";
        EXPECT_EQ(f.lbKeyFields->count() + f.lbUpdateFields->count(), 0) << "no fields";
        f.cbTableName->setEditText("CUSTOMER");
        EXPECT_FALSE(f.btGetTableFields->isEnabled() || f.btSelectPrimKeys->isEnabled()
                     || f.btGenerateSQL->isEnabled())
            << "no dataset: actions stay disabled";
        f.btCancel->click();
    });

    TOvTable table(&form1);
    table.setObjectName(QStringLiteral("Table1"));
    table.SetDatabaseName(QStringLiteral("UPDSQLDB"));
    upd->SetDataSet(&table);
    edit(upd, [](TOvUpdateSQLEditForm &f) {
        EXPECT_EQ(f.windowTitle(), "Form1.UpdateSQL1 (Table1)");
        EXPECT_EQ(f.cbTableName->count() + f.lbKeyFields->count(), 0) << "no query, no defaults";
        EXPECT_FALSE(f.btGetTableFields->isEnabled()) << "nothing typed yet";
        f.cbTableName->setEditText("CUSTOMER");
        f.btGetTableFields->click();
        EXPECT_EQ(selectedItems(f.lbUpdateFields), QStringList({"ID", "BRANCH", "NAME"}))
            << "typed table, fetched fields";
        f.btCancel->click();
    });
    upd->SetDataSet(query);

    QObject dataModule;
    dataModule.setObjectName(QStringLiteral("DataModule1"));
    TOvUpdateSQL onModule(&dataModule);
    onModule.setObjectName(QStringLiteral("UpdateSQL1"));
    onModule.SetDataSet(query);
    edit(&onModule, [](TOvUpdateSQLEditForm &f) {
        EXPECT_EQ(f.windowTitle(), "UpdateSQL1 (Query1)") << "a data module is no form";
        f.btCancel->click();
    });
}

TEST_F(UpdateSQLForm, thousandColumns)
{
    QStringList columns;
    for (int i = 1; i <= 1000; ++i)
        columns.append(QStringLiteral("COL%1 integer").arg(i, 4, 10, QLatin1Char('0')));
    columns.first() += QStringLiteral(" primary key");
    db->ExecSQL(QStringLiteral("create table WIDE (%1)").arg(columns.join(", ")));
    edit(upd, [](TOvUpdateSQLEditForm &f) {
        // Its speed is measured by the benchmark (updatesql_bench).
        f.cbTableName->setEditText("WIDE");
        f.btGetTableFields->click();
        f.btSelectPrimKeys->click();
        f.btGenerateSQL->click();
        EXPECT_EQ(selectedItems(f.lbKeyFields), QStringList({"COL0001"}));
        EXPECT_EQ(UpdateSQLEditFormAccess::Buffer(f, slotModify).Count(), 1004) << "set lines";
        f.btCancel->click();
    });
}

// The loaded form against its layout: kind, parent, caption, bounds.
TEST(UpdateSQLFormLayout, controls)
{
    TOvUpdateSQLEditForm f;
    struct Row
    {
        QWidget *control;
        const char *kind;
        const char *parent;
        QString caption;
        QRect bounds; // labels: width and height not checked
    };
    const QList<Row> rows = {
        {f.pcUpdateSQL, "QTabWidget", "OvUpdateSQLEditForm", {}, {0, 0, 475, 247}},
        {f.gbxGenSQL, "QGroupBox", "tsOptions", "SQL Generation", {3, 0, 460, 214}},
        {f.lblTableName, "QLabel", "gbxGenSQL", "Table &Name:", {9, 18, 0, 0}},
        {f.cbTableName, "QComboBox", "gbxGenSQL", {}, {9, 33, 130, 21}},
        {f.btGetTableFields, "QPushButton", "gbxGenSQL", "Get &Table Fields", {15, 60, 120, 25}},
        {f.btDataSetDefaults, "QPushButton", "gbxGenSQL", "&DataSet Defaults", {15, 90, 120, 25}},
        {f.btSelectPrimKeys,
         "QPushButton",
         "gbxGenSQL",
         "Select &Primary Keys",
         {16, 120, 120, 25}},
        {f.btGenerateSQL, "QPushButton", "gbxGenSQL", "&Generate SQL", {15, 150, 120, 25}},
        {f.cbQuotedFields, "QCheckBox", "gbxGenSQL", "&Quote Field Names", {15, 182, 126, 17}},
        {f.lblKeyFields, "QLabel", "gbxGenSQL", "&Key Fields:", {149, 18, 0, 0}},
        {f.lbKeyFields, "QListWidget", "gbxGenSQL", {}, {149, 33, 150, 172}},
        {f.lblUpdateFields, "QLabel", "gbxGenSQL", "Refresh/Update &Fields:", {302, 18, 0, 0}},
        {f.lbUpdateFields, "QListWidget", "gbxGenSQL", {}, {302, 33, 150, 172}},
        {f.rgrStatementType, "QGroupBox", "tsSQL", "Statement Type", {3, 6, 460, 37}},
        {f.lblSQLText, "QLabel", "tsSQL", "S&QL Text:", {6, 48, 0, 0}},
        {f.meSQLText, "QPlainTextEdit", "tsSQL", {}, {3, 63, 460, 151}},
        {f.pnlButton, "QFrame", "OvUpdateSQLEditForm", {}, {0, 247, 475, 33}},
        {f.btOk, "QPushButton", "pnlButton", "&OK", {316, 5, 75, 25}},
        {f.btCancel, "QPushButton", "pnlButton", "Cancel", {396, 5, 75, 25}},
    };
    for (const Row &r : rows) {
        ASSERT_NE(r.control, nullptr);
        const std::string name = r.control->objectName().toStdString();
        EXPECT_TRUE(r.control->inherits(r.kind)) << name;
        EXPECT_EQ(r.control->parentWidget()->objectName(), r.parent) << name;
        QString caption;
        if (auto *b = qobject_cast<QAbstractButton *>(r.control))
            caption = b->text();
        else if (auto *l = qobject_cast<QLabel *>(r.control))
            caption = l->text();
        else if (auto *g = qobject_cast<QGroupBox *>(r.control))
            caption = g->title();
        EXPECT_EQ(caption, r.caption) << name;
        const QRect g = r.control->geometry();
        EXPECT_EQ(g.topLeft(), r.bounds.topLeft()) << name;
        if (r.bounds.width() > 0) {
            EXPECT_EQ(g.size(), r.bounds.size()) << name;
        }
    }

    EXPECT_EQ(f.windowTitle(), "UpdateSQL Editor") << "design caption";
    EXPECT_EQ(f.minimumSize(), QSize(475, 280)) << "client area, fixed";
    EXPECT_EQ(f.maximumSize(), QSize(475, 280)) << "client area, fixed";
    EXPECT_FALSE(f.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint))
        << "dialog border";
    EXPECT_EQ(f.pcUpdateSQL->count(), 2);
    EXPECT_EQ(f.pcUpdateSQL->widget(0), f.tsOptions);
    EXPECT_EQ(f.pcUpdateSQL->tabText(0), "Options");
    EXPECT_EQ(f.pcUpdateSQL->widget(1), f.tsSQL);
    EXPECT_EQ(f.pcUpdateSQL->tabText(1), "SQL");
    EXPECT_EQ(f.rgrStatementType->Items(),
              QStringList({"&Refresh", "&Modify", "&Insert", "&Delete"}));
    EXPECT_EQ(f.rgrStatementType->ItemIndex(), 0) << "Refresh chosen";
    EXPECT_TRUE(f.cbTableName->isEditable());
    for (TOvListBox *list : {f.lbKeyFields, f.lbUpdateFields}) {
        EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection) << "multi-select";
        EXPECT_EQ(list->contextMenuPolicy(), Qt::CustomContextMenu) << "popup pmFields";
    }
    EXPECT_EQ(f.meSQLText->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(f.meSQLText->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(f.pnlButton->frameShape(), QFrame::NoFrame) << "panel without bevel";
    EXPECT_TRUE(f.btOk->isDefault()) << "OK is the default button";
    EXPECT_EQ(f.pmFields->actions(), QList<QAction *>({f.miSelectAll, f.miClearAll}));
    EXPECT_EQ(f.miSelectAll->text(), "&Select All");
    EXPECT_EQ(f.miClearAll->text(), "&Clear All");

    // Tab order: each parent's controls in their order, pages one after the other.
    const QList<QRadioButton *> items = f.rgrStatementType->Buttons();
    const QList<QWidget *> order = {
        f.pcUpdateSQL,   f.cbTableName, f.btGetTableFields, f.btDataSetDefaults, f.btSelectPrimKeys,
        f.btGenerateSQL, f.lbKeyFields, f.lbUpdateFields,   f.cbQuotedFields,    f.meSQLText,
        items.at(0),     items.at(1),   items.at(2),        items.at(3),         f.btOk,
        f.btCancel};
    QList<QWidget *> chain;
    for (QWidget *w = f.nextInFocusChain(); w != &f; w = w->nextInFocusChain())
        if (order.contains(w))
            chain.append(w);
    EXPECT_EQ(chain, order);
}
