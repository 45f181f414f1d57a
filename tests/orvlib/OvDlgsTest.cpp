#include "SQLiteFixture.h"

#include "orvlib/OvDlgs.h"
#include "orvlib/OvDlgsForms.h"
#include "orvlib/OvDlgsParams.h"

#include "rtl/SysUtils.h"
#include "rtl/UiServices.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

// The child of Form named Name, which must exist.
template<class W>
W *child(QObject &Form, const char *Name)
{
    W *w = Form.findChild<W *>(QLatin1String(Name));
    if (!w)
        throw std::runtime_error(std::string("no control ") + Name);
    return w;
}

void click(QObject &Form, const char *Name)
{
    child<QAbstractButton>(Form, Name)->click();
}

QString text(QObject &Form, const char *Name)
{
    return child<QPlainTextEdit>(Form, Name)->toPlainText();
}

void setText(QObject &Form, const char *Name, const QString &Text)
{
    child<QPlainTextEdit>(Form, Name)->setPlainText(Text);
}

QStringList knownNames(QObject &Form)
{
    QStringList names;
    auto *list = child<QTreeWidget>(Form, "lbKnownParams");
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        names << list->topLevelItem(i)->text(0);
    return names;
}

} // namespace

// The database dialog driven the way the database component editor uses it:
// filled in a fixed order, shown, edited with every button, read back.
TEST(OvDatabaseEditDlg, editorScenario)
{
    TStringList history(QStringList{QStringLiteral("/data/recent.db"), QStringLiteral("old.db")});
    TStringList params(QStringList{QStringLiteral("BUSY TIMEOUT=100")});
    TStringList defaults(QStringList{QStringLiteral("CREATE=1"), QStringLiteral("READONLY=0")});

    TOvDatabaseEditDlg dlg(nullptr, 0);
    std::vector<std::string> events;
    dlg.LoadData(nullptr);
    dlg.SetDatabaseName(QStringLiteral("Shop"));
    dlg.SetServerType(TOvServerType::stPostgreSQL);
    dlg.SetRemoteDatabase(QStringLiteral("typed.db"));
    dlg.SetRemoteDatabaseHistory(&history);
    dlg.SetKeepConnection(false);
    dlg.SetLoginPrompt(true);
    dlg.SetDefaultDatabase(true);
    dlg.SetStoreConnected(false);
    dlg.SetParams(&params);
    dlg.GetDefaultParams = [&](TStrings *List) {
        List->Assign(defaults);
    };
    dlg.OnLoadDefaultParamsClick = [&](QObject *Sender) {
        events.push_back("load");
        EXPECT_EQ(Sender, &dlg) << "sender of the load button";
        dlg.SetParams(&defaults);
    };
    TStringList saved;
    dlg.OnSaveDefaultParamsClick = [&](QObject *) {
        events.push_back("save params");
        saved.Assign(*dlg.Params());
    };
    TOvServerType savedType = TOvServerType::stSQLite;
    dlg.OnSaveDefaultSrvTypeClick = [&](QObject *) {
        events.push_back("save type");
        savedType = dlg.ServerType();
    };

    ScriptedUi ui;
    ui.onModal([&](TForm &F) {
        auto *remote = child<QComboBox>(F, "cbRemoteDatabase");
        EXPECT_EQ(remote->currentText(), QStringLiteral("typed.db"))
            << "setting the history keeps the typed remote database";
        ASSERT_EQ(remote->count(), 2) << "the drop-down shows the history";
        EXPECT_EQ(remote->itemText(0), QStringLiteral("/data/recent.db"));
        EXPECT_EQ(child<QLineEdit>(F, "edDatabaseName")->text(), QStringLiteral("Shop"));
        EXPECT_EQ(child<QComboBox>(F, "cbServerType")->currentText(), QStringLiteral("PostgreSQL"));
        EXPECT_FALSE(child<QCheckBox>(F, "cbKeepConnection")->isChecked());
        EXPECT_TRUE(child<QCheckBox>(F, "cbDefaultDatabase")->isChecked());
        EXPECT_EQ(text(F, "meParams"), QStringLiteral("BUSY TIMEOUT=100"));

        // Edit, then save the edited parameters as defaults.
        setText(F, "meParams", QStringLiteral("BUSY TIMEOUT=250\nREADONLY=1"));
        click(F, "btSaveDefaultParams");
        EXPECT_EQ(saved.toStringList(),
                  (QStringList{QStringLiteral("BUSY TIMEOUT=250"), QStringLiteral("READONLY=1")}))
            << "the save handler reads the edited parameters";
        // Load the defaults: the handler's SetParams shows in the editor.
        click(F, "btLoadDefaultParams");
        EXPECT_EQ(text(F, "meParams"), QStringLiteral("CREATE=1\nREADONLY=0"));
        // Choose SQLite and save it as the default server type.
        auto *type = child<QComboBox>(F, "cbServerType");
        type->setCurrentIndex(type->findText(QStringLiteral("SQLite")));
        click(F, "btSaveDefaultSrvType");
        // Pick an entry of the history, change the switches, accept.
        remote->setCurrentIndex(1);
        child<QLineEdit>(F, "edDatabaseName")->setText(QStringLiteral("Shop2"));
        child<QCheckBox>(F, "cbStoreConnected")->setChecked(true);
        child<QCheckBox>(F, "cbLoginPrompt")->setChecked(false);
        click(F, "btOk");
    });
    EXPECT_EQ(dlg.ShowModal(), mrOk);
    EXPECT_EQ(events, (std::vector<std::string>{"save params", "load", "save type"}));
    EXPECT_EQ(savedType, TOvServerType::stSQLite) << "server type saved";
    EXPECT_EQ(dlg.DatabaseName(), QStringLiteral("Shop2"));
    EXPECT_EQ(dlg.ServerType(), TOvServerType::stSQLite);
    EXPECT_EQ(dlg.RemoteDatabase(), QStringLiteral("old.db")) << "chosen from the history";
    EXPECT_FALSE(dlg.KeepConnection());
    EXPECT_FALSE(dlg.LoginPrompt());
    EXPECT_TRUE(dlg.DefaultDatabase());
    EXPECT_TRUE(dlg.StoreConnected());
    EXPECT_EQ(dlg.Params()->toStringList(),
              (QStringList{QStringLiteral("CREATE=1"), QStringLiteral("READONLY=0")}));
    EXPECT_EQ(params.toStringList(), QStringList{QStringLiteral("BUSY TIMEOUT=100")})
        << "the dialog edits its own copy of the parameters";
    EXPECT_EQ(history.toStringList(),
              (QStringList{QStringLiteral("/data/recent.db"), QStringLiteral("old.db")}))
        << "the history list is shown, never changed";
    EXPECT_EQ(dlg.RemoteDatabaseHistory(), &history);
    EXPECT_EQ(ui.pendingSteps(), 0u);
}

TEST(OvDatabaseEditDlg, loadDataHandlerFailuresAndCancel)
{
    TOvDatabaseEditDlg dlg(nullptr, 0);
    dlg.SetDatabaseName(QStringLiteral("Stale"));
    dlg.SetDefaultDatabase(true);
    TStringList data(
        QStringList{QStringLiteral("DatabaseName=Shop"), QStringLiteral("ServerType=postgresql"),
                    QStringLiteral("RemoteDatabase=srv/shop"), QStringLiteral("KeepConnection=0"),
                    QStringLiteral("StoreConnected=yes"), QStringLiteral("Bogus=1")});
    dlg.LoadData(&data);
    EXPECT_EQ(dlg.DatabaseName(), QStringLiteral("Shop"));
    EXPECT_EQ(dlg.ServerType(), TOvServerType::stPostgreSQL) << "server type by name, any case";
    EXPECT_EQ(dlg.RemoteDatabase(), QStringLiteral("srv/shop"));
    EXPECT_FALSE(dlg.KeepConnection());
    EXPECT_TRUE(dlg.LoginPrompt()) << "unlisted settings start as for a new component";
    EXPECT_FALSE(dlg.DefaultDatabase()) << "LoadData resets what came before";
    EXPECT_TRUE(dlg.StoreConnected());

    dlg.SetParams(dlg.Params()); // the list itself: unchanged
    dlg.SetParams(nullptr);
    EXPECT_EQ(dlg.Params()->Count(), 0) << "a null list clears";

    // A failing handler (the settings file cannot be written) is reported and
    // the dialog stays open; Cancel then ends it.
    dlg.OnSaveDefaultParamsClick = [](QObject *) {
        throw Exception(QStringLiteral("disk full"));
    };
    ScriptedUi ui;
    ui.onModal([&](TForm &F) {
        click(F, "btSaveDefaultParams");
        EXPECT_EQ(F.ModalResult(), mrNone) << "still open after the failure";
        click(F, "btCancel");
    });
    ui.answer(mrOk);
    EXPECT_EQ(dlg.ShowModal(), mrCancel);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].type, mtError);
    EXPECT_EQ(ui.messages[0].text, QStringLiteral("disk full"));
}

// The Test button against a real SQLite file, a missing file and no file.
TEST(OvDatabaseEditDlg, testButtonReportsTheServersAnswer)
{
    SQLiteShop shop;
    TOvDatabaseEditDlg dlg(nullptr, 0);
    dlg.SetServerType(TOvServerType::stSQLite);
    dlg.SetRemoteDatabase(shop.file());
    ScriptedUi ui;
    ui.answer(mrOk).answer(mrOk).answer(mrOk);

    dlg.btTestClick();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].type, mtInformation)
        << "success: " << ui.messages[0].text.toStdString();
    EXPECT_TRUE(ui.messages[0].text.contains(shop.file()));

    const QString missing = shop.file() + QStringLiteral(".missing");
    dlg.SetRemoteDatabase(missing);
    dlg.btTestClick();
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].type, mtError);
    EXPECT_TRUE(ui.messages[1].text.contains(QStringLiteral("does not exist")))
        << "the driver's cause: " << ui.messages[1].text.toStdString();
    EXPECT_FALSE(QFile::exists(missing)) << "testing creates no database";

    dlg.SetRemoteDatabase(QStringLiteral("  "));
    dlg.btTestClick();
    ASSERT_EQ(ui.messages.size(), 3u);
    EXPECT_EQ(ui.messages[2].type, mtError) << "no remote database";

    EXPECT_FALSE(shop.db()->Connected()) << "the component's own connection is not touched";
}

// PostgreSQL needs a login: with LoginPrompt the Test asks first, and a
// refused connection reports libpq's message. Port 1 refuses at once.
TEST(OvDatabaseEditDlg, testButtonAsksForTheLoginOfAServer)
{
    TOvDatabaseEditDlg dlg(nullptr, 0);
    dlg.SetServerType(TOvServerType::stPostgreSQL);
    dlg.SetRemoteDatabase(QStringLiteral("127.0.0.1:1/nodb"));
    TStringList params(QStringList{QStringLiteral("USER NAME=alice")});
    dlg.SetParams(&params);
    ScriptedUi ui;
    ui.onModal([](TForm &F) {
        EXPECT_EQ(child<QLineEdit>(F, "edUserName")->text(), QStringLiteral("alice"));
        EXPECT_TRUE(child<QLabel>(F, "lblDatabase")->text().contains(QStringLiteral("nodb")));
        click(F, "btCancel");
    });
    dlg.btTestClick();
    EXPECT_TRUE(ui.messages.empty()) << "a cancelled login tests nothing";

    ui.onModal([](TForm &F) {
        child<QLineEdit>(F, "edPassword")->setText(QStringLiteral("secret"));
        click(F, "btOk");
    });
    ui.answer(mrOk);
    // A password written into the connection string never shows in a message.
    dlg.SetRemoteDatabase(QStringLiteral("host=127.0.0.1 port=1 dbname=nodb password='hunter 2'"));
    dlg.btTestClick();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].type, mtError);
    EXPECT_TRUE(ui.messages[0].text.contains(QStringLiteral("127.0.0.1")))
        << ui.messages[0].text.toStdString();
    EXPECT_FALSE(ui.messages[0].text.contains(QStringLiteral("hunter")))
        << ui.messages[0].text.toStdString();
    EXPECT_EQ(dlg.Params()->toStringList(), QStringList{QStringLiteral("USER NAME=alice")})
        << "the login of a test is not kept in the parameters";
}

// Against a real server (OV_PG_CONNINFO, a libpq connection string, serves as
// the remote database): the answer on success, and a login that reaches the
// server and is refused by it.
TEST(OvDatabaseEditDlg, testButtonOnARealPostgreSQLServer)
{
    const QString conninfo = qEnvironmentVariable("OV_PG_CONNINFO").trimmed();
    if (conninfo.isEmpty()) {
        if (runningUnderCi())
            FAIL() << "OV_PG_CONNINFO is not set under CI";
        GTEST_SKIP() << "no PostgreSQL server: set OV_PG_CONNINFO (scripts/test does)";
    }
    TOvDatabaseEditDlg dlg(nullptr, 0);
    dlg.SetServerType(TOvServerType::stPostgreSQL);
    dlg.SetRemoteDatabase(conninfo);
    dlg.SetLoginPrompt(false);
    ScriptedUi ui;
    ui.answer(mrOk);
    dlg.btTestClick();
    ASSERT_EQ(ui.messages.size(), 1u);
    if (ui.messages[0].type != mtInformation && !runningUnderCi())
        GTEST_SKIP() << "PostgreSQL unreachable: " << ui.messages[0].text.toStdString();
    EXPECT_EQ(ui.messages[0].type, mtInformation) << ui.messages[0].text.toStdString();

    dlg.SetLoginPrompt(true);
    ui.onModal([](TForm &F) {
        child<QLineEdit>(F, "edUserName")->setText(QStringLiteral("no_such_role_ov"));
        click(F, "btOk");
    });
    ui.answer(mrOk);
    dlg.btTestClick();
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].type, mtError);
    EXPECT_TRUE(ui.messages[1].text.contains(QStringLiteral("no_such_role_ov")))
        << "the server names the refused role: " << ui.messages[1].text.toStdString();
}

TEST(OvDatabaseEditDlg, browseButtonChoosesByServerType)
{
    TOvDatabaseEditDlg dlg(nullptr, 0);
    dlg.SetServerType(TOvServerType::stSQLite);
    dlg.SetRemoteDatabase(QStringLiteral("/data/a.db"));
    ScriptedUi ui;
    ui.onOpenFile([](TOpenDialog &D) {
        EXPECT_EQ(D.FileName, QStringLiteral("/data/a.db"));
        D.FileName = QStringLiteral("/data/b.db");
        return true;
    });
    click(dlg, "btBrowseRemoteDatabase");
    EXPECT_EQ(dlg.RemoteDatabase(), QStringLiteral("/data/b.db"));

    dlg.SetServerType(TOvServerType::stPostgreSQL);
    ui.onModal([](TForm &F) {
        child<QLineEdit>(F, "edServer")->setText(QStringLiteral("db.example.com"));
        child<QLineEdit>(F, "edDatabase")->setText(QStringLiteral("sales"));
        click(F, "btOk");
    });
    click(dlg, "btBrowseRemoteDatabase");
    EXPECT_EQ(dlg.RemoteDatabase(), QStringLiteral("db.example.com/sales"));

    EXPECT_EQ(ui.pendingSteps(), 0u);
}

// The parameter editor edits the very list it is given, and only on OK.
TEST(ShowDatabaseParamsEditor, editsTheGivenListOnlyOnOk)
{
    TStringList params(QStringList{QStringLiteral("CREATE=0")});
    int defaultsAsked = 0;
    auto defaults = [&](TStrings *List) {
        ++defaultsAsked;
        List->Assign(QStringList{QStringLiteral("BUSY TIMEOUT=9")});
    };
    ScriptedUi ui;

    ui.onModal([](TForm &F) {
        setText(F, "meParams", QStringLiteral("CREATE=1"));
        click(F, "btCancel");
    });
    EXPECT_FALSE(ShowDatabaseParamsEditor(&params, nullptr, defaults));
    EXPECT_EQ(params.toStringList(), QStringList{QStringLiteral("CREATE=0")}) << "cancel";

    ui.onModal([](TForm &F) {
        EXPECT_EQ(text(F, "meParams"), QStringLiteral("CREATE=0"));
        EXPECT_TRUE(child<QAbstractButton>(F, "btCodeEditor")->isHidden())
            << "no code editor without a callback";
        click(F, "btDefaultParams");
        EXPECT_EQ(text(F, "meParams"), QStringLiteral("BUSY TIMEOUT=9"));
        setText(F, "meParams", text(F, "meParams") + QStringLiteral("\nREADONLY=1\n"));
        click(F, "btOk");
    });
    TStrings *const same = &params;
    EXPECT_TRUE(ShowDatabaseParamsEditor(&params, nullptr, defaults));
    EXPECT_EQ(defaultsAsked, 1);
    EXPECT_EQ(same->toStringList(),
              (QStringList{QStringLiteral("BUSY TIMEOUT=9"), QStringLiteral("READONLY=1")}))
        << "accepted lines, without an empty last one";
}

// The code-editor button hands over the current text with the modified flag
// and closes as cancelled, leaving the list to the code editor.
TEST(ShowDatabaseParamsEditor, codeEditorTakesOverTheEdit)
{
    TStringList params(QStringList{QStringLiteral("USER NAME=bob")});
    QStringList handed;
    std::vector<bool> flags;
    auto codeEditor = [&](TStrings *List, bool Modified) {
        handed = List->toStringList();
        flags.push_back(Modified);
    };
    ScriptedUi ui;
    ui.onModal([](TForm &F) {
        EXPECT_TRUE(child<QAbstractButton>(F, "btDefaultParams")->isHidden())
            << "no default button without a callback";
        click(F, "btCodeEditor");
        EXPECT_EQ(F.ModalResult(), mrCancel) << "closed by the button";
    });
    EXPECT_FALSE(ShowDatabaseParamsEditor(&params, codeEditor, nullptr));
    EXPECT_EQ(handed, QStringList{QStringLiteral("USER NAME=bob")});

    ui.onModal([](TForm &F) {
        setText(F, "meParams", QStringLiteral("USER NAME=carol"));
        click(F, "btCodeEditor");
    });
    EXPECT_FALSE(ShowDatabaseParamsEditor(&params, codeEditor, nullptr));
    EXPECT_EQ(handed, QStringList{QStringLiteral("USER NAME=carol")});
    EXPECT_EQ(flags, (std::vector<bool>{false, true})) << "modified only after an edit";
    EXPECT_EQ(params.toStringList(), QStringList{QStringLiteral("USER NAME=bob")})
        << "the list itself is untouched";
}

TEST(ShowDatabaseParamsEditor, listsTheKnownParametersOfTheChosenServerType)
{
    TStringList params(QStringList{QStringLiteral("CREATE=1")});
    ScriptedUi ui;
    ui.onModal([](TForm &F) {
        const QStringList sqlite = knownNames(F);
        EXPECT_EQ(sqlite,
                  (QStringList{QStringLiteral("CREATE"), QStringLiteral("READONLY"),
                               QStringLiteral("BUSY TIMEOUT"), QStringLiteral("MAX RESULT MB")}));
        // Double-clicking a known parameter adds it once.
        auto *list = child<QTreeWidget>(F, "lbKnownParams");
        Q_EMIT list->itemActivated(list->topLevelItem(2), 0);
        Q_EMIT list->itemActivated(list->topLevelItem(0), 0); // CREATE is there already
        EXPECT_EQ(text(F, "meParams"), QStringLiteral("CREATE=1\nBUSY TIMEOUT="));

        auto *type = child<QComboBox>(F, "cbServerType");
        type->setCurrentIndex(type->findText(QStringLiteral("PostgreSQL")));
        const QStringList pg = knownNames(F);
        EXPECT_EQ(pg.mid(0, 2),
                  (QStringList{QStringLiteral("USER NAME"), QStringLiteral("PASSWORD")}));
        EXPECT_TRUE(pg.contains(QStringLiteral("sslmode")));
        EXPECT_TRUE(pg.contains(QStringLiteral("connect_timeout")));
        EXPECT_TRUE(pg.contains(QStringLiteral("BUSY TIMEOUT"))) << "bounds its lock waits too";
        for (const char *hidden : {"user", "password", "host", "dbname", "client_encoding"})
            EXPECT_FALSE(pg.contains(QLatin1String(hidden))) << hidden << " is not offered";
        EXPECT_EQ(QStringList(pg).removeDuplicates(), 0) << "each once";
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            EXPECT_FALSE(list->topLevelItem(i)->text(1).isEmpty()) << "every one is described";
        click(F, "btCancel");
    });
    EXPECT_FALSE(ShowDatabaseParamsEditor(&params, TOvServerType::stSQLite, nullptr, nullptr));
    EXPECT_THROW(ShowDatabaseParamsEditor(nullptr, nullptr, nullptr), Exception);
}

TEST(ShowSQLEditor, writesTheQueryOnlyOnOk)
{
    TOvQuery query;
    query.SQL()->Assign(QStringList{QStringLiteral("select *"), QStringLiteral("from customer")});
    std::vector<std::pair<QStringList, bool>> handed;
    auto codeEditor = [&](TStrings *List, bool Modified) {
        handed.emplace_back(List->toStringList(), Modified);
    };
    ScriptedUi ui;

    ui.onModal([](TForm &F) {
        EXPECT_EQ(F.windowTitle(), QStringLiteral("Form1.Query1.SQL")) << "captioned with the name";
        EXPECT_EQ(text(F, "meSQL"), QStringLiteral("select *\nfrom customer"));
        setText(F, "meSQL", QStringLiteral("delete from customer"));
        click(F, "btCancel");
    });
    EXPECT_FALSE(ShowSQLEditor(QStringLiteral("Form1.Query1.SQL"), &query, codeEditor));
    EXPECT_EQ(query.SQL()->Count(), 2) << "cancel leaves the SQL";

    ui.onModal([](TForm &F) {
        setText(F, "meSQL", QStringLiteral("select id\nfrom customer\nwhere id = :id\n"));
        click(F, "btOk");
    });
    EXPECT_TRUE(ShowSQLEditor(QStringLiteral("Form1.Query1.SQL"), &query, codeEditor));
    EXPECT_EQ(query.SQL()->toStringList(),
              (QStringList{QStringLiteral("select id"), QStringLiteral("from customer"),
                           QStringLiteral("where id = :id")}));
    EXPECT_EQ(query.Params()->Count(), 1) << "the query re-read its parameters";

    ui.onModal([](TForm &F) {
        setText(F, "meSQL", QStringLiteral("select 1"));
        click(F, "btCodeEditor");
    });
    EXPECT_FALSE(ShowSQLEditor(QStringLiteral("x"), &query, codeEditor));
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_EQ(handed[0].first, QStringList{QStringLiteral("select 1")});
    EXPECT_TRUE(handed[0].second) << "modified";
    EXPECT_EQ(query.SQL()->Count(), 3) << "the code editor path writes nothing";

    ui.onModal([](TForm &F) {
        EXPECT_TRUE(child<QAbstractButton>(F, "btCodeEditor")->isHidden());
        click(F, "btOk");
    });
    EXPECT_TRUE(ShowSQLEditor(QStringLiteral("x"), &query, nullptr));
    EXPECT_EQ(query.SQL()->Count(), 3) << "OK with the text unchanged";
    EXPECT_THROW(ShowSQLEditor(QStringLiteral("x"), nullptr, nullptr), Exception);
    EXPECT_EQ(ui.pendingSteps(), 0u);
}

TEST(InputRemoteDatabaseValue, sqliteChoosesAFile)
{
    ScriptedUi ui;
    ui.onOpenFile([](TOpenDialog &D) {
        EXPECT_EQ(D.FileName, QStringLiteral("/data/shop.db"));
        EXPECT_EQ(D.InitialDir, QStringLiteral("/data"));
        EXPECT_TRUE(D.Filter.contains(QStringLiteral("*.db")));
        D.FileName = QStringLiteral("/data/other.db");
        return true;
    });
    EXPECT_EQ(InputRemoteDatabaseValue(TOvServerType::stSQLite, QStringLiteral("/data/shop.db")),
              QStringLiteral("/data/other.db"));
    ui.onOpenFile([](TOpenDialog &D) {
        D.FileName = QStringLiteral("/ignored.db");
        return false;
    });
    EXPECT_EQ(InputRemoteDatabaseValue(TOvServerType::stSQLite, QStringLiteral("/data/shop.db")),
              QString())
        << "cancel: no choice";
}

TEST(InputRemoteDatabaseValue, postgresqlComposesServerPortAndDatabase)
{
    ScriptedUi ui;
    ui.onModal([](TForm &F) {
        EXPECT_EQ(child<QLineEdit>(F, "edServer")->text(), QStringLiteral("db.example.com"));
        EXPECT_EQ(child<QLineEdit>(F, "edPort")->text(), QStringLiteral("5433"));
        EXPECT_EQ(child<QLineEdit>(F, "edDatabase")->text(), QStringLiteral("sales"));
        child<QLineEdit>(F, "edPort")->setText(QStringLiteral("6000"));
        click(F, "btOk");
    });
    EXPECT_EQ(InputRemoteDatabaseValue(TOvServerType::stPostgreSQL,
                                       QStringLiteral("db.example.com:5433/sales")),
              QStringLiteral("db.example.com:6000/sales"));

    ui.onModal([](TForm &F) {
        child<QLineEdit>(F, "edDatabase")->clear();
        click(F, "btOk"); // disabled without a database
        EXPECT_EQ(F.ModalResult(), mrNone);
        click(F, "btCancel");
    });
    EXPECT_EQ(InputRemoteDatabaseValue(TOvServerType::stPostgreSQL, QStringLiteral("sales")),
              QString());

    ui.onModal([](TForm &F) {
        EXPECT_EQ(child<QLineEdit>(F, "edServer")->text(), QStringLiteral("srv"));
        child<QLineEdit>(F, "edDatabase")->setText(QStringLiteral("my shop"));
        click(F, "btOk");
    });
    EXPECT_EQ(InputRemoteDatabaseValue(TOvServerType::stPostgreSQL,
                                       QStringLiteral("host=srv dbname=x sslmode=require")),
              QStringLiteral("host=srv dbname='my shop' sslmode=require"))
        << "a connection string keeps its form and its other keywords";
}

// Reading and composing remote database texts, row by row as the driver reads them.
TEST(PgRemoteDatabase, parseAndCompose)
{
    struct Row
    {
        const char *text;
        TOvPgAddress address;
    };
    const Row parsed[] = {
        {"sales", {{}, {}, "sales"}},
        {"db.example.com/sales", {"db.example.com", {}, "sales"}},
        {"db.example.com:5433/sales", {"db.example.com", "5433", "sales"}},
        {"[::1]:5432/sales", {"::1", "5432", "sales"}},
        {"/var/run/postgresql/sales", {"/var/run/postgresql", {}, "sales"}},
        {"srv/a/b", {"srv", {}, "a/b"}},
        {"host=srv port=5433 dbname=sales", {"srv", "5433", "sales"}},
        {"host = 'my srv' dbname='it\\'s'", {"my srv", {}, "it's"}},
        {"postgresql://user@srv:5433/sales?sslmode=require", {"srv", "5433", "sales"}},
        {"", {}},
    };
    for (const Row &row : parsed) {
        EXPECT_EQ(ParsePgRemoteDatabase(QString::fromUtf8(row.text)), row.address) << row.text;
    }

    struct ComposeRow
    {
        TOvPgAddress address;
        const char *original;
        const char *expected;
    };
    const ComposeRow composed[] = {
        {{{}, {}, "sales"}, "", "sales"},
        {{"srv", "5433", "sales"}, "", "srv:5433/sales"},
        {{"::1", "5432", "sales"}, "", "[::1]:5432/sales"},
        {{"/run/pg", {}, "sales"}, "", "/run/pg/sales"},
        // Forms the short text cannot carry become a connection string.
        {{{}, "5433", "sales"}, "", "port=5433 dbname=sales"},
        {{"/run/pg", "5433", "sales"}, "", "host=/run/pg port=5433 dbname=sales"},
        {{{}, {}, "a=b"}, "", "dbname=a=b"},
        {{"srv", {}, "sales"},
         "user=bob host=old port=1 dbname=x",
         "user=bob host=srv dbname=sales"},
        {{"new", "6000", "db2"},
         "postgresql://bob@old:5432/db?sslmode=require",
         "postgresql://bob@new:6000/db2?sslmode=require"},
    };
    for (const ComposeRow &row : composed) {
        const QString text = ComposePgRemoteDatabase(row.address, QString::fromUtf8(row.original));
        EXPECT_EQ(text, QString::fromUtf8(row.expected)) << row.original;
        EXPECT_EQ(ParsePgRemoteDatabase(text), row.address) << "reads back: " << text.toStdString();
    }
}

TEST(LoginDialog, fillsTheLoginOnOkOnly)
{
    TOvDatabase db;
    db.SetDatabaseName(QStringLiteral("Sales"));
    db.SetServerType(TOvServerType::stPostgreSQL);
    db.SetRemoteDatabase(QStringLiteral("127.0.0.1:1/sales"));
    TStringList login(
        QStringList{QStringLiteral("USER NAME=alice"), QStringLiteral("sslmode=disable")});
    ScriptedUi ui;
    ui.onModal([](TForm &F) {
        EXPECT_TRUE(child<QLabel>(F, "lblDatabase")->text().contains(QStringLiteral("Sales")));
        child<QLineEdit>(F, "edUserName")->setText(QStringLiteral("mallory"));
        click(F, "btCancel");
    });
    EXPECT_FALSE(LoginDialog(&db, &login));
    EXPECT_EQ(login.Values(QStringLiteral("USER NAME")), QStringLiteral("alice")) << "cancel";

    ui.onModal([](TForm &F) {
        child<QLineEdit>(F, "edPassword")->setText(QStringLiteral("s3cret"));
        click(F, "btOk");
    });
    EXPECT_TRUE(LoginDialog(&db, &login));
    EXPECT_EQ(login.toStringList(),
              (QStringList{QStringLiteral("USER NAME=alice"), QStringLiteral("sslmode=disable"),
                           QStringLiteral("PASSWORD=s3cret")}));

    // The database asks with this dialog by default: a cancelled login
    // cancels the connection.
    ui.onModal([](TForm &F) { click(F, "btCancel"); });
    EXPECT_THROW(db.SetConnected(true), Exception);
    EXPECT_FALSE(db.Connected());
    EXPECT_EQ(ui.modalForms.back(), QStringLiteral("TOvLoginDlg"));

    // An installed hook replaces the dialog; null restores it.
    int hooked = 0;
    SetLoginDialogHook([&](TOvDatabase *, TStrings *) { return ++hooked, false; });
    EXPECT_THROW(db.SetConnected(true), Exception);
    EXPECT_EQ(hooked, 1);
    SetLoginDialogHook(nullptr);
    EXPECT_EQ(ui.pendingSteps(), 0u);
}

// Scripts reach controls by name: every label, button and editor a form
// creates carries one (the scenarios above use them).
TEST(OvDlgsForms, everyControlIsNamed)
{
    std::unique_ptr<TForm> forms[]
        = {std::make_unique<TOvDatabaseEditDlg>(nullptr, 0),
           std::make_unique<TOvDatabaseParamsDlg>(), std::make_unique<TOvSQLEditDlg>(),
           std::make_unique<TOvRemoteDatabaseDlg>(), std::make_unique<TOvLoginDlg>()};
    for (const auto &form : forms) {
        for (QWidget *w : form->findChildren<QWidget *>()) {
            const QString parent = w->parentWidget()->objectName();
            if (w->parentWidget() == form.get() || parent.startsWith(QLatin1String("gb"))
                || parent.startsWith(QLatin1String("pn"))) {
                EXPECT_FALSE(w->objectName().isEmpty())
                    << form->metaObject()->className() << ": a " << w->metaObject()->className()
                    << " without a name";
            }
        }
    }
}
