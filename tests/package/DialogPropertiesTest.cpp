// The Object Inspector editors that open a dialog: parameter collections, the
// parameters file, a database's connection parameters and a query's SQL, with
// scripted dialogs, the code editor's modules and real SQLite and PostgreSQL
// databases.
#include "PackageTestSupport.h"

#include "OvDesignSettings.h"
#include "OvRegModules.h"
#include "OvRegProps.h"

#include "designide/ColnEdit.h"
#include "designide/PropertyGridModel.h"
#include "designide/Registrations.h"
#include "designide/Stfilsys.h"
#include "designide/StringListEditor.h"

#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDlgsForms.h"
#include "orvlib/OvDriver.h"
#include "orvlib/OvSession.h"

#include "rtl/Classes.h"
#include "rtl/SysUtils.h"
#include "rtl/UiServices.h"

#include <QCoreApplication>
#include <QDir>
#include <QRandomGenerator>

namespace {

// A database whose parameters cannot be changed: its setter refuses every
// list, as a descendant that locks its parameters would.
class TLockedParamsDatabase : public TOvDatabase
{
    Q_OBJECT
    Q_PROPERTY(TStrings *Params READ Params WRITE SetLockedParams)

public:
    using TOvDatabase::TOvDatabase;
    void SetLockedParams(TStrings *) { throw Exception("The parameters are locked"); }
};

class DialogProperties : public PackageFixture
{
protected:
    void SetUp() override
    {
        PackageFixture::SetUp();
        form.setObjectName("DataModule1");
    }

    // A SQLite database component on a file of the temporary folder.
    TOvDatabase *sqliteDatabase(const QString &Name, TOvDatabase *Db = nullptr)
    {
        TOvDatabase *db = Db ? Db : new TOvDatabase(&form);
        db->setObjectName(Name);
        db->SetDatabaseName(Name);
        db->SetServerType(TOvServerType::stSQLite);
        db->SetRemoteDatabase(tmp.file(Name + ".db"));
        db->SetLoginPrompt(false);
        return db;
    }

    TOvQuery *query(const QString &Name, const QString &SQL)
    {
        auto *q = new TOvQuery(&form);
        q->setObjectName(Name);
        q->SQL()->SetText(SQL);
        return q;
    }

    // The text module of Component's property, or null.
    IOTASourceEditorPtr moduleEditor(QObject *Component, const QString &Prop)
    {
        IOTAModulePtr module = services->FindModule(StringsModuleName(designer, Component, Prop));
        return module ? std::dynamic_pointer_cast<IOTASourceEditor>(module->GetModuleFileEditor(0))
                      : nullptr;
    }

    QObject form;
    std::shared_ptr<TestDesigner> designer = std::make_shared<TestDesigner>(&form);
    ScriptedUi ui;
};

TEST_F(DialogProperties, ParamsCollectionsShowTheClassAndEditTheFirst)
{
    TOvQuery *first = query("Query1", "select :A, :B");
    TOvQuery *second = query("Query2", "select 1");
    ASSERT_EQ(first->Params()->Count(), 2);
    ASSERT_EQ(second->Params()->Count(), 0);

    TOvQueryParamsProperty editor(designer, {first, second}, "Params");
    EXPECT_EQ(editor.GetAttributes(), TPropertyAttributes({paDialog, paMultiSelect}));
    EXPECT_EQ(editor.GetValue(), "(TParams)") << "the class name, never the count";
    EXPECT_EQ(TOvQueryParamsProperty(designer, {second}, "Params").GetValue(), "(TParams)")
        << "the same for an empty collection";

    TCollection *shown = nullptr;
    TColOptions options = TColOption::coAdd;
    ui.onModal([&](TForm &F) {
        auto *e = As<TCollectionEditor>(&F);
        shown = e->Collection();
        options = e->Options();
        F.SetModalResult(mrOk);
    });
    editor.Edit();
    EXPECT_EQ(shown, first->Params()) << "the first selected query's parameters";
    EXPECT_EQ(options, TColOptions()) << "edited, never added or deleted";
    EXPECT_EQ(designer->modified, 0) << "no notification after the collection editor";

    auto *proc = new TOvStoredProc(&form);
    proc->setObjectName("Proc1");
    proc->Params()->AddParam("AMOUNT");
    TOvStoredProcParamsProperty procEditor(designer, {proc, first}, "Params");
    EXPECT_EQ(procEditor.GetAttributes(), TPropertyAttributes({paDialog, paMultiSelect}));
    EXPECT_EQ(procEditor.GetValue(), "(TParams)");
    ui.onModal([&](TForm &F) {
        shown = As<TCollectionEditor>(&F)->Collection();
        F.SetModalResult(mrOk);
    });
    procEditor.Edit();
    EXPECT_EQ(shown, proc->Params()) << "a procedure with parameters is not prepared again";
    EXPECT_FALSE(proc->Prepared());

    TOvQueryParamsProperty wrongClass(designer, {proc}, "Params");
    EXPECT_THROW(wrongClass.Edit(), EInvalidCast) << "the first component must be a query";
    EXPECT_EQ(ui.pendingSteps(), 0u);
}

TEST_F(DialogProperties, ParamsFileNameDialog)
{
    TOvDatabase *db = sqliteDatabase("FILEDB");
    tmp.write("conn.ini", "CREATE=TRUE\n");
    tmp.write("other.TXT", "CREATE=TRUE\n");
    db->SetParamsFileName(tmp.file("conn.ini"));

    TOvFileNameProperty editor(designer, {db}, "ParamsFileName");
    EXPECT_EQ(editor.GetAttributes(), TPropertyAttributes({paDialog, paRevertable}))
        << "no multi-selection";

    ui.onOpenFile([](TOpenDialog &) { return false; });
    editor.Edit();
    ASSERT_EQ(ui.openDialogs.size(), 1u);
    const TOpenDialog &shown = ui.openDialogs.front();
    EXPECT_EQ(shown.Filter, "Ini-files (*.ini)|*.INI|Text files (*.txt)|*.TXT|All files (*.*)|*.*");
    EXPECT_EQ(shown.FilterIndex, 1) << "ini files first";
    EXPECT_EQ(shown.Options, DefaultOpenOptions | ofPathMustExist | ofFileMustExist);
    EXPECT_EQ(shown.FileName, tmp.file("conn.ini")) << "starts at the current value";
    EXPECT_TRUE(shown.Title.isEmpty() && shown.DefaultExt.isEmpty() && shown.InitialDir.isEmpty());
    EXPECT_EQ(db->ParamsFileName(), tmp.file("conn.ini")) << "cancelled: unchanged";
    EXPECT_EQ(designer->modified, 0);

    // The person may only confirm an existing file in an existing folder.
    for (const QString &refused :
         {tmp.file("missing.ini"), tmp.file("nofolder/conn.ini"), tmp.path()}) {
        ui.onOpenFile([&](TOpenDialog &D) {
            D.FileName = refused;
            return true;
        });
        EXPECT_THROW(editor.Edit(), ScriptedUi::ScriptError) << refused.toStdString();
        EXPECT_EQ(db->ParamsFileName(), tmp.file("conn.ini")) << refused.toStdString();
    }

    ui.onOpenFile([&](TOpenDialog &D) {
        D.FileName = tmp.file("other.TXT");
        D.FilterIndex = 2;
        return true;
    });
    editor.Edit();
    EXPECT_EQ(db->ParamsFileName(), tmp.file("other.TXT")) << "the full path written back";
    EXPECT_TRUE(QDir::isAbsolutePath(db->ParamsFileName()));
    EXPECT_EQ(designer->modified, 1);

    // The chosen file is the one the database reads when it connects.
    db->SetConnected(true);
    EXPECT_TRUE(db->Connected());
    EXPECT_TRUE(tmp.exists("FILEDB.db")) << "CREATE=TRUE came from the chosen file";
    db->SetConnected(false);
    EXPECT_EQ(ui.pendingSteps(), 0u);
}

TEST_F(DialogProperties, StringListEditorsHandOutTheListItself)
{
    TOvDatabase *db = sqliteDatabase("LISTDB");
    db->Params()->Add("CREATE=TRUE");
    TOvDatabaseParamsProperty params(designer, {db}, "Params");
    const TPropertyAttributes expected
        = TClassProperty(designer, {db}, "Params").GetAttributes() + paDialog - paSubProperties;
    EXPECT_EQ(params.GetAttributes(), expected);
    EXPECT_TRUE(params.GetAttributes().contains(paDialog));
    EXPECT_FALSE(params.GetAttributes().contains(paSubProperties));
    EXPECT_EQ(params.GetValue(), "(TStrings)");
    EXPECT_EQ(params.GetStrings(), db->Params()) << "no copy";

    TOvQuery *q = query("Query1", "select 1");
    TOvQuerySQLProperty sql(designer, {q}, "SQL");
    EXPECT_EQ(sql.GetAttributes(), expected);
    EXPECT_EQ(sql.GetStrings(), q->SQL());

    TOvQuery *other = query("Query2", "select 2");
    TOvQuerySQLProperty both(designer, {other, q}, "SQL");
    TStringList lines;
    lines.SetText("select ID\nfrom T");
    both.SetStrings(&lines);
    EXPECT_EQ(q->SQL()->Text(), "select ID\nfrom T\n") << "written into every selected query";
    EXPECT_EQ(other->SQL()->Text(), "select ID\nfrom T\n");
    EXPECT_NE(q->SQL(), &lines) << "each setter copies the lines";
    EXPECT_EQ(designer->modified, 1);
    both.SetStrings(other->SQL());
    EXPECT_EQ(other->SQL()->Text(), "select ID\nfrom T\n") << "a list given back to itself stays";
}

TEST_F(DialogProperties, DatabaseParamsCodeEditorPaths)
{
    TOvDatabase *db = sqliteDatabase("CODEDB");
    db->Params()->SetText("CREATE=TRUE\nTIMEOUT=5");
    TOvDatabaseParamsProperty editor(designer, {db}, "Params");

    ui.altKeyDown = true;
    editor.Edit();
    IOTASourceEditorPtr module = moduleEditor(db, "Params");
    ASSERT_TRUE(module) << "Alt opens the text in the code editor";
    EXPECT_EQ(module->GetText(), "CREATE=TRUE\nTIMEOUT=5\n");
    EXPECT_FALSE(module->GetModified()) << "opened unmodified";
    EXPECT_TRUE(ui.modalForms.empty()) << "no dialog";

    // Open already: brought to front, with or without Alt, and no dialog.
    auto *elsewhere = sqliteDatabase("ELSEWHERE");
    ShowStringsInCodeEditor(designer, elsewhere, "Params", elsewhere->Params(), false);
    EXPECT_NE(services->FrontEditor(), module);
    ui.altKeyDown = false;
    editor.Edit();
    EXPECT_EQ(services->FrontEditor(), module);
    ShowStringsInCodeEditor(designer, elsewhere, "Params", elsewhere->Params(), false);
    ui.altKeyDown = true;
    editor.Edit();
    EXPECT_EQ(services->FrontEditor(), module);
    EXPECT_EQ(services->GetModuleCount(), 2) << "no second module for the same property";
    EXPECT_TRUE(ui.modalForms.empty());

    // The dialog's code-editor button hands over the edited text, flagged modified.
    ui.altKeyDown = false;
    TOvDatabase *fresh = sqliteDatabase("FRESH");
    fresh->Params()->SetText("CREATE=TRUE");
    TOvDatabaseParamsProperty freshEditor(designer, {fresh}, "Params");
    ui.onModal([](TForm &F) {
        auto *dlg = As<TOvDatabaseParamsDlg>(&F);
        TStringList lines;
        lines.SetText("CREATE=TRUE\nREADONLY=TRUE");
        dlg->SetLines(lines);
        dlg->addKnownParam("TIMEOUT");
        dlg->btCodeEditorClick();
    });
    freshEditor.Edit();
    IOTASourceEditorPtr handed = moduleEditor(fresh, "Params");
    ASSERT_TRUE(handed);
    EXPECT_TRUE(handed->GetModified()) << "the dialog decides the flag: the text differs";
    EXPECT_TRUE(handed->GetText().contains("READONLY=TRUE"));
    EXPECT_EQ(fresh->Params()->Text(), "CREATE=TRUE\n") << "the dialog itself stores nothing";
    EXPECT_EQ(designer->modified, 0);
    EXPECT_EQ(ui.pendingSteps(), 0u);
}

TEST_F(DialogProperties, DatabaseParamsDialogWritesEverySelectedDatabase)
{
    TOvDatabase *first = sqliteDatabase("FIRST");
    TOvDatabase *second = sqliteDatabase("SECOND");
    first->Params()->SetText("TIMEOUT=1");
    second->Params()->SetText("READONLY=TRUE");
    TOvDatabaseParamsProperty editor(designer, {first, second}, "Params");

    ui.onModal([&](TForm &F) {
        TStringList shown;
        As<TOvDatabaseParamsDlg>(&F)->GetLines(shown);
        EXPECT_EQ(shown.Text(), "TIMEOUT=1\n") << "the first database's lines";
        F.SetModalResult(mrCancel);
    });
    editor.Edit();
    EXPECT_EQ(first->Params()->Text(), "TIMEOUT=1\n") << "cancelled";
    EXPECT_EQ(second->Params()->Text(), "READONLY=TRUE\n");
    EXPECT_EQ(designer->modified, 0);

    // The default-parameters button offers the saved defaults.
    TStringList defaults;
    defaults.SetText("CREATE=TRUE\nTIMEOUT=7");
    DesignSettings->SaveDbParams(&defaults);
    ui.onModal([&](TForm &F) {
        auto *dlg = As<TOvDatabaseParamsDlg>(&F);
        dlg->btDefaultParamsClick();
        F.SetModalResult(mrOk);
    });
    editor.Edit();
    EXPECT_EQ(first->Params()->Text(), "CREATE=TRUE\nTIMEOUT=7\n");
    EXPECT_EQ(second->Params()->Text(), "CREATE=TRUE\nTIMEOUT=7\n") << "every selected database";
    EXPECT_NE(first->Params(), second->Params());
    EXPECT_EQ(designer->modified, 1);

    // Both now connect with CREATE=TRUE from the accepted lines.
    for (TOvDatabase *db : {first, second}) {
        db->SetConnected(true);
        EXPECT_TRUE(db->Connected()) << db->DatabaseName().toStdString();
        db->SetConnected(false);
    }
    EXPECT_TRUE(tmp.exists("FIRST.db") && tmp.exists("SECOND.db"));

    TStringList target;
    target.SetText("left=as is");
    editor.GetDefaultParams(nullptr);
    editor.GetDefaultParams(&target);
    EXPECT_EQ(target.Text(), "CREATE=TRUE\nTIMEOUT=7\n") << "the whole content replaced";
}

// The parameters dialog used to edit the first database's own list: a setter
// that then refused the lines left the first database changed without the
// designer hearing of it. The dialog edits a copy now, and what was written
// is reported.
TEST_F(DialogProperties, RefusedParamsLeaveNoUnreportedChange)
{
    auto *locked = sqliteDatabase("LOCKED", new TLockedParamsDatabase(&form));
    TOvDatabase *open = sqliteDatabase("OPEN");
    locked->Params()->SetText("TIMEOUT=1");
    open->Params()->SetText("TIMEOUT=2");
    const auto accept = [&](const QString &Text) {
        ui.onModal([Text](TForm &F) {
            TStringList lines;
            lines.SetText(Text);
            As<TOvDatabaseParamsDlg>(&F)->SetLines(lines);
            F.SetModalResult(mrOk);
        });
    };

    TOvDatabaseParamsProperty lockedFirst(designer, {locked, open}, "Params");
    accept("TIMEOUT=9");
    EXPECT_THROW(lockedFirst.Edit(), Exception);
    EXPECT_EQ(locked->Params()->Text(), "TIMEOUT=1\n") << "the refused list is unchanged";
    EXPECT_EQ(open->Params()->Text(), "TIMEOUT=2\n") << "never reached";
    EXPECT_EQ(designer->modified, 0) << "nothing written, nothing reported";

    TOvDatabaseParamsProperty lockedLast(designer, {open, locked}, "Params");
    accept("TIMEOUT=8");
    EXPECT_THROW(lockedLast.Edit(), Exception);
    EXPECT_EQ(open->Params()->Text(), "TIMEOUT=8\n") << "written before the refusal";
    EXPECT_EQ(locked->Params()->Text(), "TIMEOUT=1\n");
    EXPECT_EQ(designer->modified, 1) << "and that write is reported";
    EXPECT_EQ(ui.pendingSteps(), 0u);
}

TEST_F(DialogProperties, QuerySQLPaths)
{
    TOvQuery *q = query("Query1", "select 1");
    TOvQuery *other = query("Query2", "select 2");
    TOvQuerySQLProperty editor(designer, {q, other}, "SQL");

    QString caption;
    ui.onModal([&](TForm &F) {
        caption = F.windowTitle();
        TStringList lines;
        lines.SetText("select :ID");
        As<TOvSQLEditDlg>(&F)->SetLines(lines);
        F.SetModalResult(mrCancel);
    });
    editor.Edit();
    EXPECT_EQ(caption, "DataModule1.Query1.SQL") << "root, component and property, single dots";
    EXPECT_EQ(q->SQL()->Text(), "select 1\n") << "cancelled";
    EXPECT_EQ(designer->modified, 0);

    ui.onModal([&](TForm &F) {
        TStringList lines;
        lines.SetText("select :ID");
        As<TOvSQLEditDlg>(&F)->SetLines(lines);
        F.SetModalResult(mrOk);
    });
    editor.Edit();
    EXPECT_EQ(q->SQL()->Text(), "select :ID\n") << "the SQL editor writes the query itself";
    EXPECT_EQ(q->Params()->Names(), QStringList{"ID"});
    EXPECT_EQ(other->SQL()->Text(), "select 2\n") << "only the first query is edited";
    EXPECT_EQ(designer->modified, 1) << "one notification";

    ui.altKeyDown = true;
    editor.Edit();
    IOTASourceEditorPtr module = moduleEditor(q, "SQL");
    ASSERT_TRUE(module);
    EXPECT_EQ(module->GetText(), "select :ID\n");
    EXPECT_FALSE(module->GetModified());
    ui.altKeyDown = false;
    ShowStringsInCodeEditor(designer, other, "SQL", other->SQL(), false);
    editor.Edit();
    EXPECT_EQ(services->FrontEditor(), module) << "the open module comes forward, no dialog";
    EXPECT_EQ(ui.modalForms.size(), 2u);

    auto *notAQuery = new TOvTable(&form);
    notAQuery->setObjectName("Table1");
    TOvQuerySQLProperty wrong(designer, {notAQuery}, "SQL");
    EXPECT_THROW(wrong.Edit(), Exception) << "a table has no SQL to edit";
    EXPECT_EQ(ui.pendingSteps(), 0u);
}

// With the package registered, the Object Inspector model serves each of
// these properties with its editor, and a multi-selection keeps only those
// that allow it.
TEST_F(DialogProperties, InspectorRowsUseThePackageEditors)
{
    registrations().clear();
    const auto unregister = qScopeGuard([] { registrations().clear(); });
    {
        CurrentPackageScope scope("DclOrv240");
        Register();
    }
    TOvDatabase *db = sqliteDatabase("INSPDB");
    TOvDatabase *db2 = sqliteDatabase("INSPDB2");
    TOvQuery *q = query("Query1", "select :A");
    auto *proc = new TOvStoredProc(&form);
    proc->setObjectName("Proc1");
    auto *table = new TOvTable(&form);
    table->setObjectName("Table1");

    TObjectInspectorModel model;
    const auto editorOf = [&](const QString &Path) -> QString {
        TInspectorRow *row = model.findRow(Path);
        return row ? QString::fromLatin1(row->editor()->metaObject()->className()) : QString();
    };
    model.setSelection(designer, {q});
    EXPECT_EQ(editorOf("Params"), "TOvQueryParamsProperty");
    EXPECT_EQ(model.findRow("Params")->value(), "(TParams)");
    EXPECT_TRUE(model.findRow("Params")->hasDialog());
    EXPECT_EQ(editorOf("SQL"), "TOvQuerySQLProperty");
    EXPECT_TRUE(model.findRow("SQL")->hasDialog());
    EXPECT_FALSE(model.findRow("SQL")->hasChildren()) << "no sub-properties";

    model.setSelection(designer, {proc});
    EXPECT_EQ(editorOf("Params"), "TOvStoredProcParamsProperty");
    EXPECT_EQ(model.findRow("Params")->value(), "(TParams)");

    model.setSelection(designer, {table});
    EXPECT_EQ(editorOf("MasterFields"), "TOvTableFieldLinkProperty");
    EXPECT_TRUE(model.findRow("MasterFields")->hasDialog());

    model.setSelection(designer, {db});
    EXPECT_EQ(editorOf("Params"), "TOvDatabaseParamsProperty");
    EXPECT_EQ(editorOf("ParamsFileName"), "TOvFileNameProperty");
    model.setSelection(designer, {db, db2});
    EXPECT_EQ(editorOf("Params"), "TOvDatabaseParamsProperty") << "several databases at once";
    EXPECT_EQ(editorOf("ParamsFileName"), "") << "one database at a time";

    model.setSelection(designer, {q, proc});
    EXPECT_EQ(editorOf("Params"), "") << "different editors are not shared";

    // The ellipsis of a multi-selection's Params writes every database.
    model.setSelection(designer, {db, db2});
    ui.onModal([](TForm &F) {
        TStringList lines;
        lines.SetText("TIMEOUT=3");
        As<TOvDatabaseParamsDlg>(&F)->SetLines(lines);
        F.SetModalResult(mrOk);
    });
    model.edit(model.findRow("Params"));
    EXPECT_EQ(db->Params()->Text(), "TIMEOUT=3\n");
    EXPECT_EQ(db2->Params()->Text(), "TIMEOUT=3\n");
    EXPECT_EQ(ui.pendingSteps(), 0u);
}

// With the SQL-editor switch off the package leaves a query's SQL to the
// environment's string-list editor. Changed lines close an open query, as
// any change of its SQL does, and the designer hears of it once; unchanged
// lines write nothing and the query stays open.
class DialogPropertiesSwitchOff : public DialogProperties
{
protected:
    void SetUp() override
    {
        tmp.write("orvlib.ini", "[SQLEditor]\nEnabled=0\n");
        DialogProperties::SetUp();
    }
};

TEST_F(DialogPropertiesSwitchOff, QuerySQLFallsToTheStringListEditor)
{
    registrations().clear();
    const auto unregister = qScopeGuard([] { registrations().clear(); });
    {
        CurrentPackageScope scope("DclOrv240");
        Register();
    }
    sqliteDatabase("OFFDB")->Params()->SetValues("CREATE", "1");
    TOvQuery *q = query("Query1", "select 1 as A");
    q->SetDatabaseName("OFFDB");
    q->Open();
    TObjectInspectorModel model;
    model.setSelection(designer, {q});
    TInspectorRow *sql = model.findRow("SQL");
    ASSERT_TRUE(sql);
    EXPECT_STREQ(sql->editor()->metaObject()->className(), "TStringListProperty");
    EXPECT_TRUE(sql->hasDialog());

    ui.onModal([](TForm &F) { F.SetModalResult(mrOk); });
    model.edit(sql);
    EXPECT_TRUE(q->Active()) << "OK with the lines unchanged writes nothing";
    EXPECT_EQ(designer->modified, 0);

    ui.onModal([](TForm &F) {
        As<TStringsEditDlg>(&F)->SetText("select :ID as B");
        F.SetModalResult(mrOk);
    });
    model.edit(sql);
    EXPECT_EQ(q->SQL()->Text(), "select :ID as B\n");
    EXPECT_FALSE(q->Active()) << "the query closed on its new SQL";
    EXPECT_EQ(q->Params()->Names(), QStringList{"ID"});
    EXPECT_EQ(designer->modified, 1);
    EXPECT_EQ(ui.pendingSteps(), 0u);
}

// The accepted parameters reach a PostgreSQL database and a SQLite one
// selected together, and each connects with them.
TEST_F(DialogProperties, ParamsReachPostgreSQLAndSQLite)
{
    const QString connInfo = qEnvironmentVariable("OV_PG_CONNINFO");
    if (!HasDriver(TOvServerType::stPostgreSQL) || connInfo.isEmpty()) {
        if (runningUnderCi())
            FAIL() << "no PostgreSQL server under CI";
        GTEST_SKIP() << "OV_PG_CONNINFO not set";
    }
    const QString schema = QStringLiteral("ovparams_%1_%2")
                               .arg(QCoreApplication::applicationPid())
                               .arg(QRandomGenerator::global()->bounded(1000000));
    auto *pg = new TOvDatabase(&form);
    pg->setObjectName("PG");
    pg->SetDatabaseName("PG");
    pg->SetServerType(TOvServerType::stPostgreSQL);
    pg->SetRemoteDatabase(connInfo);
    pg->SetLoginPrompt(false);
    try {
        pg->Open();
    } catch (const Exception &e) {
        if (runningUnderCi())
            FAIL() << "PostgreSQL server unreachable under CI: " << e.what();
        GTEST_SKIP() << "PostgreSQL server unreachable: " << e.what();
    }
    pg->ExecSQL("create schema " + schema);
    pg->Close();
    const auto dropSchema = qScopeGuard([&] {
        pg->SetParams(nullptr);
        pg->Open();
        pg->ExecSQL("drop schema " + schema + " cascade");
        pg->Close();
    });
    TOvDatabase *lite = sqliteDatabase("LITE");

    TOvDatabaseParamsProperty editor(designer, {pg, lite}, "Params");
    ui.onModal([&](TForm &F) {
        TStringList lines;
        lines.SetText(QStringLiteral("options=-c search_path=%1\nCREATE=TRUE").arg(schema));
        As<TOvDatabaseParamsDlg>(&F)->SetLines(lines);
        F.SetModalResult(mrOk);
    });
    editor.Edit();
    EXPECT_EQ(pg->Params()->Strings(0), "options=-c search_path=" + schema);
    EXPECT_EQ(lite->Params()->Text(), pg->Params()->Text());

    pg->Open();
    pg->ExecSQL("create table MARK (ID integer)");
    pg->Close();
    pg->SetParams(nullptr);
    pg->Open();
    std::unique_ptr<TOvQuery> check(new TOvQuery);
    check->SetDatabaseName("PG");
    check->SQL()->SetText(
        "select count(*) from pg_tables where schemaname = :S and tablename = 'mark'");
    check->ParamByName("S")->SetValue(schema);
    check->Open();
    EXPECT_EQ(check->Fields(0)->Value().toInt(), 1) << "the table landed in the schema";
    check->Close();
    pg->Close();
    lite->Open();
    EXPECT_TRUE(lite->Connected());
    lite->Close();
}

} // namespace

#include "DialogPropertiesTest.moc"
