// The Object Inspector's name lists and the Connected editor, against real
// sessions and SQLite databases, with the design settings in a temporary folder.
#include "OvDesignSettings.h"
#include "OvReg.h"
#include "OvRegProps.h"

#include "orvlib/OvComponents.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDlgsParams.h"
#include "orvlib/OvDriver.h"
#include "orvlib/OvSession.h"
#include "rtl/Classes.h"
#include "rtl/Registry.h"
#include "rtl/SysUtils.h"
#include "rtl/UiServices.h"

#include "common/TestSupport.h"

#include <QFile>

#include <gtest/gtest.h>

#include <memory>

namespace {

class CountingDesigner : public IDesigner
{
public:
    void Modified() override { ++modified; }
    QObject *Root() const override { return nullptr; }
    int modified = 0;
};

class NameListPropertiesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TRegistry::setStorePathOverride(tmp.file("registry"));
        tmp.write("registry", "[Software\\Orvanta]\nRootDir=" + tmp.path().toUtf8() + "\n");
        OvRegInitialization();
    }
    void TearDown() override
    {
        OvRegFinalization();
        TRegistry::setStorePathOverride(QString());
    }

    // A SQLite database file with two tables, and a database component on it.
    TOvDatabase *makeDatabase(const QString &Name, QObject *Owner = nullptr)
    {
        auto *db = new TOvDatabase(Owner ? Owner : &owner);
        db->SetDatabaseName(Name);
        db->SetServerType(TOvServerType::stSQLite);
        db->SetRemoteDatabase(tmp.file(Name + ".db"));
        db->Params()->Add("CREATE=TRUE");
        db->SetConnected(true);
        db->ExecSQL("create table CUSTOMER (ID integer primary key, NAME text)");
        db->ExecSQL("create table ORDERS (ID integer primary key)");
        db->SetConnected(false);
        db->Params()->Clear();
        return db;
    }

    template<class Editor>
    QStringList values(QList<QObject *> Components, const QString &Prop)
    {
        Editor editor(designer, Components, Prop);
        QStringList shown;
        editor.GetValues([&](const QString &v) { shown << v; });
        return shown;
    }

    TempFolder tmp;
    QObject owner;
    std::shared_ptr<CountingDesigner> designer = std::make_shared<CountingDesigner>();
};

TEST_F(NameListPropertiesTest, RemoteDatabaseHistory)
{
    TOvDatabase *db = makeDatabase("HIST");
    const QString before = db->RemoteDatabase();
    TOvDatabaseProperty editor(designer, {db}, "RemoteDatabase");
    EXPECT_EQ(editor.GetAttributes(), TPropertyAttributes({paValueList, paDialog}));

    EXPECT_EQ(values<TOvDatabaseProperty>({db}, "RemoteDatabase"), QStringList{"<history list>"})
        << "an empty history offers the placeholder only";
    editor.SetValue("<history list>");
    EXPECT_EQ(db->RemoteDatabase(), before) << "the placeholder is never stored";
    EXPECT_EQ(designer->modified, 0);

    DesignSettings->AddLastUsedDatabase("b.db");
    DesignSettings->AddLastUsedDatabase("a.db");
    EXPECT_EQ(values<TOvDatabaseProperty>({db}, "RemoteDatabase"), QStringList({"a.db", "b.db"}))
        << "the history in stored order, no placeholder";
    editor.SetValue("a.db");
    EXPECT_EQ(db->RemoteDatabase(), "a.db");
    EXPECT_EQ(designer->modified, 1);
}

TEST_F(NameListPropertiesTest, RemoteDatabaseDialog)
{
    TOvDatabase *db = makeDatabase("DLG");
    const QString before = db->RemoteDatabase();
    TOvDatabaseProperty editor(designer, {db}, "RemoteDatabase");
    ScriptedUi ui;
    ui.onOpenFile([](TOpenDialog &) { return false; });
    editor.Edit();
    EXPECT_EQ(db->RemoteDatabase(), before) << "no choice leaves the value";

    ui.onOpenFile([&](TOpenDialog &d) {
        d.FileName = tmp.file("other.db");
        return true;
    });
    editor.Edit();
    EXPECT_EQ(db->RemoteDatabase(), tmp.file("other.db"));
    EXPECT_EQ(ui.pendingSteps(), 0u);
}

TEST_F(NameListPropertiesTest, ConnectedFeedsTheHistory)
{
    TOvDatabase *first = makeDatabase("FIRST");
    TOvDatabase *second = makeDatabase("SECOND");
    DesignSettings->AddLastUsedDatabase(second->RemoteDatabase());
    DesignSettings->AddLastUsedDatabase("elsewhere.db");

    TOvDatabaseConnectedProperty editor(designer, {first, second}, "Connected");
    editor.SetValue("false");
    EXPECT_EQ(DesignSettings->RecentDatabases()->Count(), 2) << "false records nothing";

    editor.SetValue("tRuE");
    EXPECT_TRUE(first->Connected() && second->Connected()) << "every selected database connects";
    EXPECT_EQ(DesignSettings->RecentDatabases()->toStringList(),
              QStringList({first->RemoteDatabase(), "elsewhere.db", second->RemoteDatabase()}))
        << "only the first database is recorded, at the front";

    TOvDatabase broken(&owner);
    broken.SetDatabaseName("BROKEN");
    broken.SetRemoteDatabase(tmp.file("missing.db"));
    TOvDatabaseConnectedProperty brokenEditor(designer, {&broken}, "Connected");
    EXPECT_THROW(brokenEditor.SetValue("True"), Exception) << "a failed connection propagates";
    EXPECT_FALSE(broken.Connected());
    EXPECT_EQ(DesignSettings->RecentDatabases()->Count(), 3) << "and records nothing";
    EXPECT_FALSE(tmp.exists("missing.db")) << "no database file was created";
}

TEST_F(NameListPropertiesTest, SessionAndDatabaseNames)
{
    TOvSession session(&owner);
    session.SetSessionName("Second");
    TOvDatabase *mine = makeDatabase("MINE");
    mine->SetSessionName("Second");
    makeDatabase("DEFAULT_DB");

    TOvQuery query(&owner);
    TOvScript script(&owner);
    script.SetSessionName("Second");

    QStringList sessions;
    for (int i = 0; i < Sessions().GetCount(); ++i)
        sessions << Sessions().GetSession(i)->SessionName();
    EXPECT_EQ(values<TOvSessionNameProperty>({&query}, "SessionName"), sessions);
    EXPECT_EQ(values<TOvSessionNameProperty>({&script}, "SessionName"), sessions)
        << "the same list whatever the component";
    EXPECT_TRUE(sessions.contains("Second"));

    EXPECT_TRUE(values<TOvDatabaseNameProperty>({&query}, "DatabaseName").contains("DEFAULT_DB"));
    EXPECT_FALSE(values<TOvDatabaseNameProperty>({&query}, "DatabaseName").contains("MINE"));
    EXPECT_EQ(values<TOvDatabaseNameProperty>({&script}, "DatabaseName"), QStringList{"MINE"})
        << "a script lists its own session's databases";
}

TEST_F(NameListPropertiesTest, TableNamesAndAutoFill)
{
    TOvDatabase *db = makeDatabase("TABLES");
    TOvTable table(&owner);
    table.SetDatabaseName("TABLES");
    TOvTableNameProperty editor(designer, {&table}, "TableName");
    EXPECT_EQ(editor.GetAttributes(),
              TPropertyAttributes({paValueList, paMultiSelect, paSortList}));

    EXPECT_FALSE(editor.AutoFill()) << "not connected";
    EXPECT_FALSE(db->Connected()) << "AutoFill never connects";
    const QStringList tables = values<TOvTableNameProperty>({&table}, "TableName");
    EXPECT_EQ(tables, QStringList({"CUSTOMER", "ORDERS"})) << "no system tables";
    db->SetConnected(true);
    EXPECT_TRUE(editor.AutoFill());

    table.SetDatabaseName("NO_SUCH_DB");
    EXPECT_FALSE(editor.AutoFill()) << "the session holds no such database";
    table.SetSessionName("NoSuchSession");
    EXPECT_FALSE(editor.AutoFill()) << "an unknown session is no error";

    TOvStoredProc proc(&owner);
    proc.SetDatabaseName("TABLES");
    EXPECT_TRUE(values<TOvStoredProcNameProperty>({&proc}, "StoredProcName").isEmpty())
        << "SQLite has no stored procedures";
    EXPECT_THROW(values<TOvTableNameProperty>({&proc}, "TableName"), EInvalidCast)
        << "a component of another class";
}

} // namespace

namespace {

// Connecting with a password written into the remote database, on the server
// named by OV_PG_CONNINFO as the login named by OV_PG_PASSWORD_LOGIN.
TEST_F(NameListPropertiesTest, ConnectingRecordsNoPassword)
{
    const QString connInfo = qEnvironmentVariable("OV_PG_CONNINFO");
    const QStringList login = qEnvironmentVariable("OV_PG_PASSWORD_LOGIN").split(u' ');
    if (!HasDriver(TOvServerType::stPostgreSQL) || connInfo.isEmpty() || login.size() != 2) {
        if (runningUnderCi())
            FAIL() << "no PostgreSQL server with a password login under CI";
        GTEST_SKIP() << "OV_PG_CONNINFO or OV_PG_PASSWORD_LOGIN not set";
    }
    const TOvPgAddress server = ParsePgRemoteDatabase(connInfo);
    const QString user = login.at(0), password = login.at(1);
    const QString forms[] = {
        QStringLiteral("host=%1 port=%2 dbname=%3 user=%4 password='%5'")
            .arg(server.Host, server.Port, server.Database, user, password),
        QStringLiteral("postgresql://%4:%5@%1:%2/%3?connect_timeout=5")
            .arg(server.Host, server.Port, server.Database, user, password),
    };
    for (const QString &remote : forms) {
        TOvDatabase db(&owner);
        db.SetDatabaseName("PGPW");
        db.SetServerType(TOvServerType::stPostgreSQL);
        db.SetLoginPrompt(false);
        db.SetRemoteDatabase(remote);
        TOvDatabaseConnectedProperty editor(designer, {&db}, "Connected");
        try {
            editor.SetValue("True");
        } catch (const Exception &e) {
            if (runningUnderCi())
                FAIL() << "PostgreSQL server unreachable under CI: " << e.what();
            GTEST_SKIP() << "PostgreSQL server unreachable: " << e.what();
        }
        ASSERT_TRUE(db.Connected());
        const QString recorded = DesignSettings->RecentDatabases()->Strings(0);
        EXPECT_FALSE(recorded.contains(password)) << recorded.toStdString();
        EXPECT_EQ(ParsePgRemoteDatabase(recorded), server)
            << "the rest is kept: " << recorded.toStdString();
        EXPECT_TRUE(recorded.contains(user)) << recorded.toStdString();
        db.SetConnected(false);
    }
    EXPECT_EQ(DesignSettings->RecentDatabases()->Count(), 2);
    DesignSettings->SaveAll();
    const QByteArray ini = tmp.read("orvlib.ini");
    EXPECT_TRUE(ini.contains("[RecentDatabases]"));
    EXPECT_FALSE(ini.contains(password.toUtf8())) << ini.constData();
    EXPECT_EQ(QFile::permissions(tmp.file("orvlib.ini")),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
}

} // namespace
