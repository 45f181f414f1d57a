// The default, database and UpdateSQL component editors: their verbs, the
// database dialog's copy in and back, and the dialogs they open, driven
// through the modal seam on real components.
#include "PackageTestSupport.h"

#include "OvAbout.h"
#include "OvDesignSettings.h"
#include "OvRegEditors.h"
#include "OvRegModules.h"
#include "OvRegProps.h"
#include "OvUpdSEd.h"

#include "designide/Registrations.h"

#include "orvlib/OvComponents.h"
#include "orvlib/OvConsts.h"
#include "orvlib/OvDB.h"
#include "orvlib/OvDlgs.h"
#include "orvlib/OvDlgsForms.h"

#include "rtl/IniFiles.h"
#include "rtl/UiServices.h"

#include <QPlainTextEdit>
#include <QPushButton>

namespace {

// A database whose published setters record each call, in order, and can
// be told to fail on one of them.
class RecordingDatabase : public TOvDatabase
{
    Q_OBJECT
    Q_PROPERTY(TStrings *Params READ Params WRITE recParams)
    Q_PROPERTY(QString DatabaseName READ DatabaseName WRITE recDatabaseName)
    Q_PROPERTY(OvTypes::TOvServerType ServerType READ ServerType WRITE recServerType)
    Q_PROPERTY(QString RemoteDatabase READ RemoteDatabase WRITE recRemoteDatabase)
    Q_PROPERTY(bool KeepConnection READ KeepConnection WRITE recKeepConnection)
    Q_PROPERTY(bool LoginPrompt READ LoginPrompt WRITE recLoginPrompt)
    Q_PROPERTY(TOvDesignDBOptions DesignOptions READ DesignOptions WRITE recDesignOptions)

public:
    using TOvDatabase::TOvDatabase;

    QStringList calls;
    QString failOn;

    void recParams(TStrings *V)
    {
        record("Params");
        SetParams(V);
    }
    void recDatabaseName(const QString &V)
    {
        record("DatabaseName");
        SetDatabaseName(V);
    }
    void recServerType(OvTypes::TOvServerType V)
    {
        record("ServerType");
        SetServerType(V);
    }
    void recRemoteDatabase(const QString &V)
    {
        record("RemoteDatabase");
        SetRemoteDatabase(V);
    }
    void recKeepConnection(bool V)
    {
        record("KeepConnection");
        SetKeepConnection(V);
    }
    void recLoginPrompt(bool V)
    {
        record("LoginPrompt");
        SetLoginPrompt(V);
    }
    void recDesignOptions(TOvDesignDBOptions V)
    {
        record(QStringLiteral("DesignOptions %1").arg(V.ToInt()));
        SetDesignOptions(V);
    }

private:
    void record(const QString &Name)
    {
        calls << Name;
        if (Name.startsWith(failOn) && !failOn.isEmpty())
            throw Exception("refused: " + Name);
    }
};

QStringList verbsOf(TComponentEditor &Editor)
{
    QStringList verbs;
    for (int i = 0; i < Editor.GetVerbCount(); ++i)
        verbs << Editor.GetVerb(i);
    return verbs;
}

class ComponentEditors : public PackageFixture
{
protected:
    void SetUp() override
    {
        PackageFixture::SetUp();
        form.setObjectName("Form1");
        db = new RecordingDatabase(&form);
        db->setObjectName("Database1");
        db->SetDatabaseName("SALES");
        db->SetServerType(TOvServerType::stSQLite);
        db->SetRemoteDatabase(tmp.file("sales.db"));
        db->SetKeepConnection(false);
        db->SetLoginPrompt(true);
        db->SetDesignOptions({ddoStoreConnected});
        db->Params()->SetText("USER NAME=anna\nCREATE=1");
        savedDefault = DefServerType;
    }
    void TearDown() override
    {
        DefServerType = savedDefault;
        PackageFixture::TearDown();
    }

    QObject form;
    RecordingDatabase *db = nullptr;
    std::shared_ptr<TestDesigner> designer = std::make_shared<TestDesigner>(&form);
    TOvServerType savedDefault = TOvServerType::stSQLite;
    ScriptedUi ui;
};

TEST_F(ComponentEditors, EveryPaletteComponentHasItsVerbs)
{
    registrations().setCurrentPackage("ComponentEditorsTest");
    Register();
    const auto cleanUp = qScopeGuard([] {
        registrations().removePackage("ComponentEditorsTest");
        registrations().setCurrentPackage(QString());
    });
    const QString about = AboutVerbCaption();
    EXPECT_EQ(about, "Orvanta Library 6.5.3.0");
    const QStringList onlyAbout = {about};
    TOvSession session(&form);
    TOvMonitor monitor(&form);
    TOvSQLBaseServer server(&form);
    TOvScript script(&form);
    TOvUpdateSQL update(&form);
    for (QObject *c : std::initializer_list<QObject *>{&session, &monitor, &server, &script}) {
        const auto editor = GetComponentEditor(c, designer);
        EXPECT_EQ(verbsOf(*editor), onlyAbout) << c->metaObject()->className();
        editor->ExecuteVerb(1);
        editor->ExecuteVerb(-1);
        EXPECT_EQ(editor->GetVerb(1), QString());
    }
    EXPECT_EQ(verbsOf(*GetComponentEditor(db, designer)),
              QStringList({about, "-", SEditDatabaseVerb(), SBindVerb()}));
    EXPECT_EQ(verbsOf(*GetComponentEditor(&update, designer)),
              QStringList({about, "-", SUpdateSQLEditor()}));
    EXPECT_TRUE(ui.modalForms.empty()) << "separators and unknown indexes do nothing";

    // A double click on a session or a script shows the About dialog.
    for (QObject *c : std::initializer_list<QObject *>{&session, &script}) {
        ui.onModal([](TForm &F) { F.SetModalResult(mrOk); });
        GetComponentEditor(c, designer)->Edit();
    }
    ui.onModal([](TForm &F) { F.SetModalResult(mrOk); });
    GetComponentEditor(&monitor, designer)->ExecuteVerb(0);
    EXPECT_EQ(ui.modalForms, std::vector<QString>(3, "TOvAboutDlg"));
    EXPECT_EQ(designer->modified, 0);
}

TEST_F(ComponentEditors, DatabaseDialogCopiesInAndBackInOrder)
{
    DesignSettings->AddLastUsedDatabase("recent.db");
    TOvDatabaseEditor editor(db, designer);
    ui.onModal([&](TForm &F) {
        auto *dlg = As<TOvDatabaseEditDlg>(&F);
        EXPECT_EQ(editor.EditDlg, dlg) << "EditDlg is the dialog while it is shown";
        EXPECT_EQ(dlg->DatabaseName(), "SALES");
        EXPECT_EQ(dlg->ServerType(), TOvServerType::stSQLite);
        EXPECT_EQ(dlg->RemoteDatabase(), tmp.file("sales.db"));
        EXPECT_EQ(dlg->RemoteDatabaseHistory(), DesignSettings->RecentDatabases())
            << "the settings' own list";
        EXPECT_FALSE(dlg->KeepConnection());
        EXPECT_TRUE(dlg->LoginPrompt());
        EXPECT_FALSE(dlg->DefaultDatabase());
        EXPECT_TRUE(dlg->StoreConnected());
        EXPECT_EQ(dlg->Params()->toStringList(), QStringList({"USER NAME=anna", "CREATE=1"}));
        EXPECT_TRUE(db->calls.isEmpty()) << "nothing written while the dialog is open";

        dlg->SetDatabaseName("ORDERS");
        dlg->SetServerType(TOvServerType::stPostgreSQL);
        dlg->SetRemoteDatabase("db.example.com/orders");
        dlg->SetKeepConnection(true);
        dlg->SetLoginPrompt(false);
        dlg->SetDefaultDatabase(true);
        dlg->SetStoreConnected(false);
        TStringList params;
        params.SetText("USER NAME=bob");
        dlg->SetParams(&params);
        F.SetModalResult(mrOk);
    });
    editor.Edit(); // the double click runs verb 2
    EXPECT_EQ(ui.modalForms, std::vector<QString>({"TOvDatabaseEditDlg"}));
    EXPECT_EQ(editor.EditDlg, nullptr);
    EXPECT_EQ(db->calls,
              QStringList({"Params", "DatabaseName", "ServerType", "RemoteDatabase",
                           "KeepConnection", "LoginPrompt", "DesignOptions 3", "DesignOptions 1"}))
        << "the default-database option added, then store-connected removed";
    EXPECT_EQ(db->DatabaseName(), "ORDERS");
    EXPECT_EQ(db->ServerType(), TOvServerType::stPostgreSQL);
    EXPECT_EQ(db->RemoteDatabase(), "db.example.com/orders");
    EXPECT_TRUE(db->KeepConnection());
    EXPECT_FALSE(db->LoginPrompt());
    EXPECT_EQ(db->DesignOptions(), TOvDesignDBOptions({ddoIsDefaultDatabase}));
    EXPECT_EQ(db->Params()->toStringList(), QStringList({"USER NAME=bob"}));
    EXPECT_EQ(designer->modified, 1);
    EXPECT_EQ(DesignSettings->RecentDatabases()->toStringList(), QStringList({"recent.db"}))
        << "the editor adds nothing to the history";

    // OK with nothing changed still writes every value and tells the designer.
    db->calls.clear();
    ui.onModal([](TForm &F) { F.SetModalResult(mrOk); });
    editor.ExecuteVerb(2);
    EXPECT_EQ(db->calls.size(), 8);
    EXPECT_EQ(db->DesignOptions(), TOvDesignDBOptions({ddoIsDefaultDatabase}));
    EXPECT_EQ(designer->modified, 2);
}

TEST_F(ComponentEditors, CancelKeepsTheDatabaseButSavedDefaultsStay)
{
    TStringList defaults;
    defaults.SetText("USER NAME=admin\nROLE=dba");
    DesignSettings->SaveDbParams(&defaults);
    TOvDatabaseEditor editor(db, designer);
    ui.onModal([&](TForm &F) {
        auto *dlg = As<TOvDatabaseEditDlg>(&F);
        dlg->btLoadDefaultParamsClick();
        EXPECT_EQ(dlg->Params()->toStringList(), QStringList({"USER NAME=admin", "ROLE=dba"}));
        TStringList asked;
        dlg->GetDefaultParams(&asked);
        EXPECT_EQ(asked.toStringList(), defaults.toStringList());
        TStringList mine;
        mine.SetText("USER NAME=carl\nPASSWORD=x");
        dlg->SetParams(&mine);
        dlg->btSaveDefaultParamsClick();
        dlg->SetServerType(TOvServerType::stPostgreSQL);
        dlg->btSaveDefaultSrvTypeClick();
        EXPECT_TRUE(ui.messages.empty()) << "the buttons raised nothing";
        F.SetModalResult(mrCancel);
    });
    editor.ExecuteVerb(2);
    EXPECT_TRUE(db->calls.isEmpty());
    EXPECT_EQ(db->DatabaseName(), "SALES");
    EXPECT_EQ(db->Params()->toStringList(), QStringList({"USER NAME=anna", "CREATE=1"}));
    EXPECT_EQ(designer->modified, 0);
    EXPECT_EQ(DefServerType, TOvServerType::stPostgreSQL);

    TIniFile ini(DesignSettings->IniFileName());
    EXPECT_EQ(ini.ReadString("TOvDatabase_Params", "USER NAME", ""), "carl");
    EXPECT_EQ(ini.ReadString("TOvDatabase_Params", "ROLE", "gone"), "gone");
    EXPECT_EQ(ini.ReadString("TOvDatabase", "ServerType", ""), "PostgreSQL");

    // Outside the dialog the handlers have nothing to act on.
    editor.SaveDefaultParams(nullptr);
    editor.LoadDefaultParams(nullptr);
    EXPECT_EQ(DesignSettings->DbParams()->toStringList(),
              QStringList({"USER NAME=carl", "PASSWORD=x"}));
}

TEST_F(ComponentEditors, ASetterFailingPartWayStillTellsTheDesigner)
{
    TOvDatabaseEditor editor(db, designer);
    db->failOn = "RemoteDatabase";
    ui.onModal([](TForm &F) {
        auto *dlg = As<TOvDatabaseEditDlg>(&F);
        dlg->SetDatabaseName("RENAMED");
        dlg->SetRemoteDatabase("other.db");
        F.SetModalResult(mrOk);
    });
    EXPECT_THROW(editor.ExecuteVerb(2), Exception);
    EXPECT_EQ(db->calls, QStringList({"Params", "DatabaseName", "ServerType", "RemoteDatabase"}));
    EXPECT_EQ(db->DatabaseName(), "RENAMED") << "values written before the failure stay";
    EXPECT_EQ(designer->modified, 1) << "and the form knows it changed";
    EXPECT_EQ(editor.EditDlg, nullptr);

    // A failure inside the dialog writes nothing and tells nobody.
    db->calls.clear();
    ui.onModal([](TForm &) { throw std::runtime_error("the dialog failed"); });
    EXPECT_THROW(editor.ExecuteVerb(2), std::runtime_error);
    EXPECT_TRUE(db->calls.isEmpty());
    EXPECT_EQ(designer->modified, 1);
    EXPECT_EQ(editor.EditDlg, nullptr);
}

TEST_F(ComponentEditors, ParameterVerbAndTheCodeEditor)
{
    TOvDatabaseEditor editor(db, designer);
    ui.onModal([](TForm &F) {
        F.findChild<QPlainTextEdit *>("meParams")->setPlainText("USER NAME=dora\nPASSWORD=pw");
        F.SetModalResult(mrOk);
    });
    editor.ExecuteVerb(3);
    EXPECT_EQ(db->Params()->toStringList(), QStringList({"USER NAME=dora", "PASSWORD=pw"}));
    EXPECT_EQ(designer->modified, 1);

    // The dialog's code-editor button opens the list as a module and
    // closes the dialog as cancelled.
    ui.onModal([](TForm &F) {
        F.findChild<QPlainTextEdit *>("meParams")->setPlainText("USER NAME=eve");
        F.findChild<QPushButton *>("btCodeEditor")->click();
    });
    editor.ExecuteVerb(3);
    EXPECT_EQ(designer->modified, 1);
    IOTAModulePtr module = services->FindModule(".Form1.Database1.Params");
    ASSERT_TRUE(module);
    auto source = std::dynamic_pointer_cast<IOTASourceEditor>(module->GetModuleFileEditor(0));
    EXPECT_EQ(source->GetText(), "USER NAME=eve\n");
    EXPECT_TRUE(source->GetModified()) << "the text differs from the list";

    // While that module is open and the person refuses to close it, the
    // verb stops before its dialog.
    ui.answer(mrCancel);
    editor.ExecuteVerb(3);
    EXPECT_EQ(ui.modalForms.size(), 2u) << "no third dialog";
    EXPECT_EQ(ui.pendingSteps(), 0u);
    EXPECT_TRUE(services->FindModule(".Form1.Database1.Params"));

    // Saving it on the way writes the property and lets the dialog open.
    ui.answer(mrYes);
    ui.onModal([](TForm &F) {
        EXPECT_EQ(F.findChild<QPlainTextEdit *>("meParams")->toPlainText(), "USER NAME=eve");
        F.SetModalResult(mrCancel);
    });
    editor.ExecuteVerb(3);
    EXPECT_EQ(db->Params()->toStringList(), QStringList({"USER NAME=eve"}));
    EXPECT_EQ(designer->modified, 2) << "the save told the designer; the cancel did not";
    EXPECT_FALSE(services->FindModule(".Form1.Database1.Params"));
}

TEST_F(ComponentEditors, CodeEditorRefusedForADatabaseOutsideTheRoot)
{
    QObject elsewhere;
    auto *loose = new TOvDatabase(&elsewhere);
    loose->setObjectName("Database9");
    TOvDatabaseEditor editor(loose, designer);
    ui.onModal([](TForm &F) {
        F.findChild<QPlainTextEdit *>("meParams")->setPlainText("USER NAME=fay");
        F.findChild<QPushButton *>("btCodeEditor")->click();
        EXPECT_EQ(F.ModalResult(), mrNone) << "the dialog stays open with its text";
        F.SetModalResult(mrOk);
    });
    ui.answer(mrOk);
    editor.ExecuteVerb(3);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].type, mtError);
    EXPECT_EQ(services->GetModuleCount(), 0);
    EXPECT_EQ(loose->Params()->toStringList(), QStringList({"USER NAME=fay"}));
}

TEST_F(ComponentEditors, UpdateSQLEditorVerb)
{
    auto *update = new TOvUpdateSQL(&form);
    update->setObjectName("UpdateSQL1");
    update->GetSQLIndex(1)->SetText("update T set A = :A where ID = :OLD_ID");
    TOvUpdateSQLEditor editor(update, designer);
    EXPECT_EQ(editor.GetVerbCount(), 3);
    editor.ExecuteVerb(1);
    editor.ExecuteVerb(3);
    EXPECT_TRUE(ui.modalForms.empty());

    ui.onModal([](TForm &F) { F.SetModalResult(mrCancel); });
    editor.Edit();
    EXPECT_EQ(designer->modified, 0) << "cancel";
    ui.onModal([](TForm &F) { F.SetModalResult(mrOk); });
    editor.ExecuteVerb(2);
    EXPECT_EQ(designer->modified, 1) << "OK, even with no statement changed";
    EXPECT_EQ(ui.modalForms, std::vector<QString>(2, "TOvUpdateSQLEditForm"));

    ui.onModal([](TForm &F) { F.SetModalResult(mrOk); });
    EXPECT_TRUE(EditUpdateSQLComponent(nullptr, update)) << "no designer to tell";
}

// Both parameter editors list the known parameters of the database's own
// server, whatever the default server type is.
TEST_F(ComponentEditors, ParameterEditorsListTheDatabasesOwnServer)
{
    QList<TOvServerType> shown;
    const auto note = [&] {
        ui.onModal([&](TForm &F) {
            shown << As<TOvDatabaseParamsDlg>(&F)->ServerType();
            F.SetModalResult(mrCancel);
        });
    };
    for (const TOvServerType own : {TOvServerType::stPostgreSQL, TOvServerType::stSQLite}) {
        DefServerType = own == TOvServerType::stSQLite ? TOvServerType::stPostgreSQL
                                                       : TOvServerType::stSQLite;
        db->SetServerType(own);
        note();
        TOvDatabaseEditor(db, designer).ExecuteVerb(3);
        note();
        TOvDatabaseParamsProperty(designer, {db}, "Params").Edit();
    }
    EXPECT_EQ(shown, QList<TOvServerType>({TOvServerType::stPostgreSQL, TOvServerType::stPostgreSQL,
                                           TOvServerType::stSQLite, TOvServerType::stSQLite}));
    EXPECT_EQ(designer->modified, 0);
}

// The checked casts: an editor given a component of another class raises
// before any dialog opens. The UpdateSQL editor holds the designer only for
// its call, also when the form raises.
TEST_F(ComponentEditors, WrongClassesAndAFailingUpdateSQLForm)
{
    auto *update = new TOvUpdateSQL(&form);
    update->setObjectName("UpdateSQL1");
    TOvDatabaseEditor onUpdate(update, designer);
    EXPECT_THROW(onUpdate.Edit(), EInvalidCast);
    EXPECT_THROW(onUpdate.ExecuteVerb(3), EInvalidCast);
    TOvUpdateSQLEditor onDatabase(db, designer);
    EXPECT_THROW(onDatabase.Edit(), EInvalidCast);
    EXPECT_TRUE(ui.modalForms.empty()) << "no dialog for a wrong class";

    TOvUpdateSQLEditor editor(update, designer);
    const long held = designer.use_count();
    ui.onModal([&](TForm &) {
        EXPECT_GT(designer.use_count(), held) << "held while the form runs";
        throw Exception("the form failed");
    });
    EXPECT_THROW(editor.ExecuteVerb(2), Exception);
    EXPECT_EQ(designer.use_count(), held) << "released on the way out";
    EXPECT_EQ(designer->modified, 0);
    EXPECT_EQ(ui.modalForms, std::vector<QString>({"TOvUpdateSQLEditForm"}));
}

} // namespace

#include "ComponentEditorsTest.moc"
