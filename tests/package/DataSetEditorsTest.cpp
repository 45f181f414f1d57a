// The dataset, query, macro query and stored procedure editors: verb tables
// with the SQL-editor switch on and off, the double click, the collection,
// fields and SQL editors they open, and the stored-procedure matrix on
// SQLite and PostgreSQL.
#include "PackageTestSupport.h"
#include "PgTestServer.h"

#include "OvDesignSettings.h"
#include "OvRegEditors.h"
#include "OvRegModules.h"
#include "OvRegUtils.h"

#include "designide/ColnEdit.h"
#include "designide/DSDesign.h"

#include "orvlib/OvConsts.h"
#include "orvlib/OvDB.h"
#include "orvlib/OvDriver.h"

#include "rtl/UiServices.h"

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>

namespace {

QStringList verbsOf(TComponentEditor &Editor)
{
    QStringList verbs;
    for (int i = 0; i < Editor.GetVerbCount(); ++i)
        verbs << Editor.GetVerb(i);
    return verbs;
}

// What a collection editor was opened with.
struct Opened
{
    QObject *component = nullptr;
    TCollection *collection = nullptr;
    QString property;
    TColOptions options;
};

// The package with the SQL-editor switch of the ini file set as given.
class DataSetEditorsBase : public PackageFixture
{
protected:
    void setUpWithSwitch(bool On)
    {
        tmp.write("orvlib.ini", On ? "[SQLEditor]\nEnabled=1\n" : "[SQLEditor]\nEnabled=0\n");
        PackageFixture::SetUp();
        form.setObjectName("Form1");
    }

    // Expects the next modal form to be a collection editor and closes it.
    void expectCollectionEditor(Opened &Into)
    {
        ui.onModal([&Into](TForm &F) {
            auto *editor = As<TCollectionEditor>(&F);
            Into = {editor->Component(), editor->Collection(), editor->PropertyName(),
                    editor->Options()};
            F.SetModalResult(mrOk);
        });
    }

    QObject form;
    std::shared_ptr<TestDesigner> designer = std::make_shared<TestDesigner>(&form);
    ScriptedUi ui;
};

class DataSetEditors : public DataSetEditorsBase, public ::testing::WithParamInterface<bool>
{
protected:
    void SetUp() override { setUpWithSwitch(GetParam()); }
};

TEST_P(DataSetEditors, VerbTablesAndTheDoubleClick)
{
    const bool on = GetParam();
    ASSERT_EQ(DesignSettings->SQLEditor(), on);
    auto *table = new TOvTable(&form);
    auto *query = new TOvQuery(&form);
    auto *macro = new TOvMacroQuery(&form);
    auto *proc = new TOvStoredProc(&form);
    const QString about = AboutVerbCaption();
    const QStringList dataset = {about, "-", SDatasetDesignerVerb()};

    TOvDataSetEditor tableEditor(table, designer);
    TOvQueryEditor queryEditor(query, designer);
    const auto macroEditor = OvMacroQueryEditorClass().Create(macro, designer);
    TOvStoredProcEditor procEditor(proc, designer);

    EXPECT_EQ(verbsOf(tableEditor), dataset);
    QStringList queryVerbs = dataset + QStringList{SBindVerb()};
    if (on)
        queryVerbs << SEditSQLVerb();
    EXPECT_EQ(verbsOf(queryEditor), queryVerbs);
    EXPECT_EQ(verbsOf(*macroEditor), queryVerbs + QStringList{SBindMacrosVerb()})
        << "the macro verb follows the last query verb";
    EXPECT_EQ(macroEditor->GetVerbCount(), on ? 6 : 5);
    EXPECT_EQ(verbsOf(procEditor), dataset + QStringList{SBindVerb()});

    // Separators and indexes no class of the chain knows do nothing.
    for (TComponentEditor *e : std::initializer_list<TComponentEditor *>{
             &tableEditor, &queryEditor, macroEditor.get(), &procEditor}) {
        e->ExecuteVerb(1);
        e->ExecuteVerb(-1);
        e->ExecuteVerb(e->GetVerbCount());
        EXPECT_EQ(e->GetVerb(e->GetVerbCount()), QString());
    }
    EXPECT_TRUE(ui.modalForms.empty());

    // A double click opens the fields editor, whatever the dataset.
    for (TComponentEditor *e : std::initializer_list<TComponentEditor *>{
             &tableEditor, &queryEditor, macroEditor.get(), &procEditor}) {
        ui.onModal([&](TForm &F) {
            auto *fields = As<TFieldsEditor>(&F);
            EXPECT_EQ(fields->DataSet(), e->Component());
            EXPECT_EQ(fields->DesignerClass(), TDSDesignerClass{"TDSDesigner"});
            EXPECT_EQ(fields->Designer(), designer);
            F.SetModalResult(mrOk);
        });
        e->Edit();
    }
    EXPECT_EQ(ui.modalForms, std::vector<QString>(4, "TFieldsEditor"));

    // Verb 0 of every dataset editor shows the About dialog.
    for (TComponentEditor *e : std::initializer_list<TComponentEditor *>{
             &tableEditor, &queryEditor, macroEditor.get(), &procEditor}) {
        ui.onModal([](TForm &F) { F.SetModalResult(mrOk); });
        e->ExecuteVerb(0);
    }
    EXPECT_EQ(std::vector<QString>(ui.modalForms.begin() + 4, ui.modalForms.end()),
              std::vector<QString>(4, "TOvAboutDlg"));
    EXPECT_EQ(designer->modified, 0);
}

TEST_P(DataSetEditors, ParameterAndMacroCollections)
{
    auto *query = new TOvQuery(&form);
    query->SQL()->SetText("select * from T where A = :A and B = :B");
    auto *macro = new TOvMacroQuery(&form);
    macro->SQL()->SetText("select * from T where &COND");
    const auto macroEditor = OvMacroQueryEditorClass().Create(macro, designer);

    Opened opened;
    expectCollectionEditor(opened);
    TOvQueryEditor(query, designer).ExecuteVerb(3);
    EXPECT_EQ(opened.component, query);
    EXPECT_EQ(opened.collection, query->Params());
    EXPECT_EQ(opened.property, "Params");
    EXPECT_EQ(opened.options, TColOptions()) << "edit only";

    expectCollectionEditor(opened);
    macroEditor->ExecuteVerb(GetParam() ? 5 : 4);
    EXPECT_EQ(opened.collection, macro->GetMacros());
    EXPECT_EQ(opened.property, "Macros");
    EXPECT_EQ(opened.options, TColOptions());

    expectCollectionEditor(opened);
    macroEditor->ExecuteVerb(3);
    EXPECT_EQ(opened.collection, macro->Params()) << "the query's parameter verb";
    EXPECT_EQ(designer->modified, 0) << "the verbs themselves report nothing";

    // A query editor on a component of another class refuses before dispatching.
    TOvTable table(&form);
    EXPECT_THROW(TOvQueryEditor(&table, designer).ExecuteVerb(0), EInvalidCast);
    EXPECT_THROW(TOvStoredProcEditor(&table, designer).ExecuteVerb(0), EInvalidCast);
    EXPECT_TRUE(ui.modalForms.size() == 3);
}

TEST_P(DataSetEditors, EditSQLOnlyWithTheSwitch)
{
    auto *query = new TOvQuery(&form);
    query->setObjectName("Query1");
    query->SQL()->SetText("select 1");
    TOvQueryEditor editor(query, designer);
    if (!GetParam()) {
        editor.ExecuteVerb(4);
        EXPECT_TRUE(ui.modalForms.empty()) << "no Edit SQL verb with the switch off";
        return;
    }
    ui.onModal([](TForm &F) {
        EXPECT_TRUE(F.windowTitle().contains("Form1.Query1.SQL"));
        F.findChild<QPlainTextEdit *>("meSQL")->setPlainText("select 2");
        F.SetModalResult(mrCancel);
    });
    editor.ExecuteVerb(4);
    EXPECT_EQ(query->SQL()->Text(), "select 1\n");
    EXPECT_EQ(designer->modified, 0) << "a cancelled dialog tells nobody";

    ui.onModal([](TForm &F) {
        F.findChild<QPlainTextEdit *>("meSQL")->setPlainText("select 3");
        F.SetModalResult(mrOk);
    });
    editor.ExecuteVerb(4);
    EXPECT_EQ(query->SQL()->Text(), "select 3\n");
    EXPECT_EQ(designer->modified, 1);

    // The code-editor button hands the text to a module and ends the dialog.
    ui.onModal([](TForm &F) {
        F.findChild<QPlainTextEdit *>("meSQL")->setPlainText("select 4");
        F.findChild<QPushButton *>("btCodeEditor")->click();
    });
    editor.ExecuteVerb(4);
    IOTAModulePtr module = services->FindModule(".Form1.Query1.SQL");
    ASSERT_TRUE(module);
    EXPECT_TRUE(module->GetModuleFileEditor(0)->GetModified());

    // While the module stays open (the person cancels its close), the verb stops.
    ui.answer(mrCancel);
    editor.ExecuteVerb(4);
    EXPECT_EQ(ui.modalForms.size(), 3u);
    EXPECT_EQ(ui.pendingSteps(), 0u);
    EXPECT_EQ(query->SQL()->Text(), "select 3\n");
}

INSTANTIATE_TEST_SUITE_P(SQLEditorSwitch, DataSetEditors, ::testing::Bool(),
                         [](const auto &Info) { return Info.param ? "On" : "Off"; });

// --- Stored procedures ----------------------------------------------------------

class StoredProcOnSQLite : public DataSetEditorsBase
{
protected:
    void SetUp() override
    {
        setUpWithSwitch(true);
        db = new TOvDatabase(&form);
        db->SetDatabaseName("SPDB");
        db->SetServerType(TOvServerType::stSQLite);
        db->SetRemoteDatabase(tmp.file("sp.db"));
        db->SetLoginPrompt(false);
        db->Params()->Add("CREATE=1");
        proc = new TOvStoredProc(&form);
        proc->SetDatabaseName("SPDB");
        proc->SetStoredProcName("NO_SUCH_PROC");
    }
    TOvDatabase *db = nullptr;
    TOvStoredProc *proc = nullptr;
};

TEST_F(StoredProcOnSQLite, Matrix)
{
    TOvStoredProcEditor editor(proc, designer);
    // No parameters: it is prepared first, and SQLite has no procedures.
    EXPECT_THROW(editor.ExecuteVerb(3), Exception);
    EXPECT_TRUE(ui.modalForms.empty()) << "a failed prepare opens no editor";
    EXPECT_FALSE(proc->Prepared());
    // Asking the database connected it; the next cases start disconnected.
    db->Close();

    // Parameters given by hand: nothing is prepared, and an unconnected or
    // undescribing database lets the person add and delete them.
    proc->Params()->AddParam("X", TFieldType::ftInteger, TParamType::ptInput);
    Opened opened;
    expectCollectionEditor(opened);
    editor.ExecuteVerb(3);
    EXPECT_EQ(opened.options, TColOptions(TColOption::coAdd | TColOption::coDelete));
    EXPECT_EQ(opened.collection, proc->Params());
    EXPECT_FALSE(db->Connected()) << "the look-up does not connect";
    EXPECT_EQ(FindStoredProcDatabase(proc), db);

    db->Open();
    expectCollectionEditor(opened);
    editor.ExecuteVerb(3);
    EXPECT_EQ(opened.options, TColOptions(TColOption::coAdd | TColOption::coDelete))
        << "connected, but SQLite describes no procedures";

    // A blank database name: no look-up, not even of the session.
    proc->SetDatabaseName("   ");
    proc->SetSessionName("NoSuchSession");
    expectCollectionEditor(opened);
    editor.ExecuteVerb(3);
    EXPECT_EQ(opened.options, TColOptions(TColOption::coAdd | TColOption::coDelete));

    // A named database in a session that does not exist raises.
    proc->SetDatabaseName("SPDB");
    EXPECT_THROW(editor.ExecuteVerb(3), Exception);
    EXPECT_EQ(ui.modalForms.size(), 3u);
    TOvDataSet *asDataSet = proc;
    EXPECT_FALSE(IsDataSetDatabaseConnected(asDataSet)) << "FindSession: false, no error";
}

// A procedure that cannot be prepared opens no editor, and the connection
// its Prepare made is released as KeepConnection says.
TEST_F(StoredProcOnSQLite, AFailedPrepareReleasesTheConnection)
{
    TOvStoredProcEditor editor(proc, designer);
    db->SetKeepConnection(false);
    EXPECT_THROW(editor.ExecuteVerb(3), Exception);
    EXPECT_FALSE(db->Connected()) << "released";
    db->SetKeepConnection(true);
    EXPECT_THROW(editor.ExecuteVerb(3), Exception);
    EXPECT_TRUE(db->Connected()) << "kept";
    EXPECT_TRUE(ui.modalForms.empty());
    EXPECT_FALSE(proc->Prepared());
}

class StoredProcOnPostgres : public DataSetEditorsBase
{
protected:
    void SetUp() override
    {
        setUpWithSwitch(true);
        db = new TOvDatabase(&form);
        db->SetDatabaseName("SPPG");
        schema = pgUniqueName("ovsp_");
        OV_REQUIRE_PG(pgOpenInSchema(db, schema));
        db->ExecSQL("create function add_tax(amount numeric, rate numeric, out total numeric) "
                    "language sql as 'select amount * (1 + rate)'");
        proc = new TOvStoredProc(&form);
        proc->SetDatabaseName("SPPG");
        proc->SetStoredProcName("add_tax");
    }
    void TearDown() override
    {
        if (db && db->Connected())
            db->ExecSQL("drop schema " + schema + " cascade");
        DataSetEditorsBase::TearDown();
    }
    TOvDatabase *db = nullptr;
    TOvStoredProc *proc = nullptr;
    QString schema;
};

TEST_F(StoredProcOnPostgres, Matrix)
{
    TOvStoredProcEditor editor(proc, designer);
    Opened opened;
    int paramsSeen = 0;
    ui.onModal([&](TForm &F) {
        auto *e = As<TCollectionEditor>(&F);
        opened.options = e->Options();
        paramsSeen = e->Collection()->Count();
        EXPECT_TRUE(proc->Prepared()) << "prepared while the editor is open";
        F.SetModalResult(mrOk);
    });
    editor.ExecuteVerb(3);
    EXPECT_EQ(paramsSeen, 3) << "described by the server";
    EXPECT_EQ(opened.options, TColOptions()) << "described: edit only";
    EXPECT_FALSE(proc->Prepared()) << "unprepared afterwards";

    // Parameters present and prepared before: still unprepared after.
    proc->Prepare();
    expectCollectionEditor(opened);
    editor.ExecuteVerb(3);
    EXPECT_EQ(opened.options, TColOptions());
    EXPECT_FALSE(proc->Prepared());

    // Parameters present, not prepared: nothing is prepared; the database
    // is found by name and, connected, describes the procedure.
    expectCollectionEditor(opened);
    editor.ExecuteVerb(3);
    EXPECT_EQ(opened.options, TColOptions());
    EXPECT_FALSE(proc->Prepared());

    // Its database closed: the parameters are built by hand.
    db->Close();
    expectCollectionEditor(opened);
    editor.ExecuteVerb(3);
    EXPECT_EQ(opened.options, TColOptions(TColOption::coAdd | TColOption::coDelete));
    EXPECT_FALSE(db->Connected());

    // A procedure not created yet: no editor, and the connection its Prepare
    // made is released as KeepConnection says.
    proc->SetStoredProcName("not_created_yet");
    db->SetKeepConnection(false);
    EXPECT_THROW(editor.ExecuteVerb(3), Exception);
    EXPECT_FALSE(db->Connected()) << "released";
    EXPECT_EQ(ui.modalForms.size(), 4u) << "no editor for it";
    db->SetKeepConnection(true);
    db->Open();
}

} // namespace
