#include "CliRun.h"
#include "FullDisk.h"
#include "TestSupport.h"

#include "designide/FormFile.h"
#include "orvlib/OvComponents.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDriver.h"
#include "orvlib/OvSession.h"
#include "orvlib/OvUpdateSQL.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

const QList<TComponentClass> formClasses
    = {&TOvSession::staticMetaObject,    &TOvDatabase::staticMetaObject,
       &TOvQuery::staticMetaObject,      &TOvMacroQuery::staticMetaObject,
       &TOvStoredProc::staticMetaObject, &TOvTable::staticMetaObject,
       &TOvUpdateSQL::staticMetaObject,  &TOvScript::staticMetaObject,
       &TOvMonitor::staticMetaObject,    &TOvSQLBaseServer::staticMetaObject,
       &TDataSource::staticMetaObject};

QString examples(const QString &Name)
{
    return QStringLiteral(OV_EXAMPLES_DIR "/") + Name;
}

QByteArray readFile(const QString &Path)
{
    QFile f(Path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct RunResult : CliRun
{
    // The error lines of the program itself (Qt may add notes of its own).
    QStringList errors() const
    {
        QStringList lines;
        for (const QString &l : err.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            if (l.startsWith(QLatin1String("ovdesigner: ")))
                lines.append(l);
        return lines;
    }
};

RunResult ovdesigner(const QStringList &Args, const QString &WorkDir = QString(),
                     const QProcessEnvironment &Env = QProcessEnvironment::systemEnvironment(),
                     const QString &Program = QStringLiteral(OV_DESIGNER))
{
    return {runOvdesigner(Args, WorkDir, Env, Program)};
}

class CommandLineTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { RegisterClasses(formClasses); }
    static void TearDownTestSuite() { UnRegisterClasses(formClasses); }

    // The demo copied into a temporary folder, with its form text changed by Edit.
    void copyDemo(const std::function<void(QString &)> &Edit = {})
    {
        QString form = QString::fromUtf8(readFile(examples(QStringLiteral("demo.dfm"))));
        if (Edit)
            Edit(form);
        dir.write(QStringLiteral("demo.dfm"), form.toUtf8());
        dir.write(QStringLiteral("demo.sql"), readFile(examples(QStringLiteral("demo.sql"))));
    }

    // The demo form without the statements of its update object.
    static QString withoutStatements(const QString &FormText)
    {
        TFormReader reader(FormText);
        std::unique_ptr<QObject> root = reader.Read();
        auto *upd = root->findChild<TOvUpdateSQL *>(QStringLiteral("usOrders"));
        for (int i = 0; i < 4; ++i)
            upd->GetSQLIndex(i)->Clear();
        return WriteFormText(root.get());
    }

    TempFolder dir;
};

const char demoStatements[] = "-- RefreshSQL\n"
                              "select CustNo, OrderNo, OrderDate, Amount, InvoiceCode\n"
                              "from Orders\n"
                              "where\n"
                              "  CustNo = :OLD_CustNo and\n"
                              "  OrderNo = :OLD_OrderNo\n"
                              "-- ModifySQL\n"
                              "update Orders\n"
                              "set\n"
                              "  CustNo = :CustNo,\n"
                              "  OrderNo = :OrderNo,\n"
                              "  OrderDate = :OrderDate,\n"
                              "  Amount = :Amount,\n"
                              "  InvoiceCode = :InvoiceCode\n"
                              "where\n"
                              "  CustNo = :OLD_CustNo and\n"
                              "  OrderNo = :OLD_OrderNo\n"
                              "-- InsertSQL\n"
                              "insert into Orders\n"
                              "  (CustNo, OrderNo, OrderDate, Amount, InvoiceCode)\n"
                              "values\n"
                              "  (:CustNo, :OrderNo, :OrderDate, :Amount, :InvoiceCode)\n"
                              "-- DeleteSQL\n"
                              "delete from Orders\n"
                              "where\n"
                              "  CustNo = :OLD_CustNo and\n"
                              "  OrderNo = :OLD_OrderNo\n";

TEST_F(CommandLineTest, examplesRoundTripByteForByte)
{
    for (const QString &name :
         {QStringLiteral("demo.dfm"), QStringLiteral("postgresql/pgdemo.dfm")}) {
        SCOPED_TRACE(name.toStdString());
        const QString text = QString::fromUtf8(readFile(examples(name)));
        ASSERT_FALSE(text.isEmpty());
        TFormReader reader(text, name);
        std::unique_ptr<QObject> root = reader.Read();
        EXPECT_EQ(WriteFormText(root.get()), text);
        EXPECT_TRUE(reader.Deferred().isEmpty()) << "the examples store no connection";
    }
    // The demo's links are components, not names.
    const QString demo = QString::fromUtf8(readFile(examples(QStringLiteral("demo.dfm"))));
    std::unique_ptr<QObject> root = TFormReader(demo).Read();
    auto *detail = root->findChild<TOvTable *>(QStringLiteral("tCustomerOrders"));
    ASSERT_TRUE(detail && detail->MasterSource());
    EXPECT_EQ(detail->MasterSource()->DataSet(),
              root->findChild<TOvTable *>(QStringLiteral("tCustomer")));
    auto *query = root->findChild<TOvQuery *>(QStringLiteral("qOrders"));
    EXPECT_EQ(query->UpdateObject(), root->findChild<TOvUpdateSQL *>(QStringLiteral("usOrders")));
    EXPECT_EQ(root->findChild<TOvUpdateSQL *>(QStringLiteral("usOrders"))->DataSet(), query);
}

TEST_F(CommandLineTest, helpAndUsageErrors)
{
    const RunResult help = ovdesigner({QStringLiteral("--help")});
    EXPECT_EQ(help.exit, 0);
    for (const char *item : {"--tree FORM", "--gensql FORM UPDATEOBJECT", "--write", "--check",
                             "--remote-database", "--package FILE", "Exit status"})
        EXPECT_TRUE(help.out.contains(QLatin1String(item))) << item;

    for (const QStringList &args :
         {QStringList{QStringLiteral("--frobnicate")}, QStringList{QStringLiteral("--tree")},
          QStringList{QStringLiteral("--gensql"), QStringLiteral("demo.dfm")},
          QStringList{QStringLiteral("--tree"), QStringLiteral("a.dfm"),
                      QStringLiteral("--write")}}) {
        const RunResult r = ovdesigner(args);
        EXPECT_EQ(r.exit, 2) << args.join(' ').toStdString();
        EXPECT_EQ(r.errors().size(), 1) << r.err.toStdString();
    }
}

// Without a command the designer's window opens: without a display it says
// so in one line naming the command-line forms and exits 2; with one it
// opens the form (creating its database) and, asked to, quits after the
// first paint with the time. --list keeps the listing of registrations.
TEST_F(CommandLineTest, theWindowAndTheListing)
{
    TempFolder dir;
    dir.write(QStringLiteral("demo.dfm"), readFile(examples(QStringLiteral("demo.dfm"))));
    dir.write(QStringLiteral("demo.sql"), readFile(examples(QStringLiteral("demo.sql"))));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path());
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));

    const RunResult headless = ovdesigner({dir.file(QStringLiteral("demo.dfm"))}, dir.path(), env);
    EXPECT_EQ(headless.exit, 2);
    ASSERT_EQ(headless.errors().size(), 1) << headless.err.toStdString();
    EXPECT_TRUE(headless.errors()[0].contains(QLatin1String("no display")));
    EXPECT_TRUE(headless.errors()[0].contains(QLatin1String("--tree FORM")));
    EXPECT_FALSE(dir.exists(QStringLiteral("demo.db"))) << "nothing done without a window";

    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const RunResult shown
        = ovdesigner({dir.file(QStringLiteral("demo.dfm")), QStringLiteral("--quit-after-paint")},
                     dir.path(), env);
    EXPECT_EQ(shown.exit, 0) << shown.err.toStdString();
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^first paint: \\d+ ms\n$")).match(shown.out).hasMatch())
        << shown.out.toStdString();
    EXPECT_TRUE(dir.exists(QStringLiteral("demo.db")));
    EXPECT_EQ(dir.read(QStringLiteral("demo.dfm")), readFile(examples(QStringLiteral("demo.dfm"))))
        << "opening writes nothing";

    const RunResult list = ovdesigner({QStringLiteral("--list")}, dir.path(), env);
    EXPECT_EQ(list.exit, 0);
    EXPECT_TRUE(list.out.contains(QLatin1String("Palette page \"Orvanta\":")));
    EXPECT_TRUE(list.out.contains(QLatin1String("Registrations in order:")));

    for (const QStringList &args : {QStringList{QStringLiteral("a.dfm"), QStringLiteral("b.dfm")},
                                    QStringList{QStringLiteral("--list"), QStringLiteral("a.dfm")},
                                    QStringList{QStringLiteral("--tree"), QStringLiteral("a.dfm"),
                                                QStringLiteral("--quit-after-paint")}}) {
        const RunResult r = ovdesigner(args, dir.path(), env);
        EXPECT_EQ(r.exit, 2) << args.join(' ').toStdString();
        EXPECT_EQ(r.errors().size(), 1) << r.err.toStdString();
    }
}

TEST_F(CommandLineTest, treeOfTheDemoIsClean)
{
    copyDemo();
    const RunResult r
        = ovdesigner({QStringLiteral("--tree"), QStringLiteral("demo.dfm")}, dir.path());
    EXPECT_EQ(r.exit, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("DemoData\n"))) << r.out.toStdString();
    EXPECT_TRUE(
        r.out.contains(QStringLiteral("\n    Demo: SQLite | demo.db\n      tCustomer: Customer\n")))
        << r.out.toStdString();
    EXPECT_FALSE(r.out.contains(QStringLiteral("[problem]")));
    EXPECT_FALSE(r.out.contains(QStringLiteral("warning:")));
    EXPECT_TRUE(r.errors().isEmpty());
    EXPECT_FALSE(dir.exists(QStringLiteral("demo.db"))) << "--tree connects nothing";
}

TEST_F(CommandLineTest, treeFlagsEachProblem)
{
    // One component for each problem a node can have, and a database that
    // names a session no component provides.
    dir.write(QStringLiteral("flags.dfm"), "object Flags: TDataModule\n"
                                           "  object Sess: TOvSession\n"
                                           "  end\n"
                                           "  object Named: TOvSession\n"
                                           "    SessionName = 'Work'\n"
                                           "  end\n"
                                           "  object NoName: TOvDatabase\n"
                                           "    ServerType = stSQLite\n"
                                           "  end\n"
                                           "  object Lost: TOvDatabase\n"
                                           "    DatabaseName = 'Lost'\n"
                                           "    ServerType = stSQLite\n"
                                           "    SessionName = 'Nowhere'\n"
                                           "  end\n"
                                           "  object tNoTable: TOvTable\n"
                                           "    DatabaseName = 'Implied'\n"
                                           "  end\n"
                                           "  object qNoSQL: TOvQuery\n"
                                           "    DatabaseName = 'Implied'\n"
                                           "  end\n"
                                           "  object spNoName: TOvStoredProc\n"
                                           "    DatabaseName = 'Implied'\n"
                                           "  end\n"
                                           "  object usEmpty: TOvUpdateSQL\n"
                                           "  end\n"
                                           "  object qNoDb: TOvQuery\n"
                                           "    SQL.Strings = (\n"
                                           "      'select 1')\n"
                                           "  end\n"
                                           "end\n");
    const RunResult r
        = ovdesigner({QStringLiteral("--tree"), QStringLiteral("flags.dfm")}, dir.path());
    EXPECT_EQ(r.exit, 1) << r.err.toStdString();
    EXPECT_EQ(r.out,
              QStringLiteral("Flags\n"
                             "  Sess  [problem]\n"
                             "  Named: Work\n"
                             "  OvSession: Default\n"
                             "    NoName: SQLite | <UnknownDatabase>  [problem]\n"
                             "      qNoDb: select 1  [problem]\n"
                             "    Unknown: Implied\n"
                             "      tNoTable  [problem]\n"
                             "      qNoSQL  [problem]\n"
                             "      spNoName  [problem]\n"
                             "  usEmpty  [problem]\n"
                             "  Lost: SQLite | <UnknownDatabase>  [problem] [unattached]\n"));

    // A clean form exits 0.
    dir.write(QStringLiteral("clean.dfm"), "object Clean: TDataModule\n"
                                           "  object Named: TOvSession\n"
                                           "    SessionName = 'Work'\n"
                                           "  end\n"
                                           "end\n");
    EXPECT_EQ(ovdesigner({QStringLiteral("--tree"), QStringLiteral("clean.dfm")}, dir.path()).exit,
              0);
}

TEST_F(CommandLineTest, treeWarnsOfStoredConnectionsAndPasswords)
{
    // Port 1 answers nobody: had --tree connected, it would have failed.
    dir.write(QStringLiteral("secrets.dfm"),
              "object Secrets: TDataModule\n"
              "  object Db1: TOvDatabase\n"
              "    DatabaseName = 'Db1'\n"
              "    RemoteDatabase = 'host=127.0.0.1 port=1 dbname=x password=hunter2'\n"
              "    ServerType = stPostgreSQL\n"
              "    Params.Strings = (\n"
              "      'USER NAME=admin'\n"
              "      'Password=hunter2')\n"
              "    LoginPrompt = False\n"
              "    DesignOptions = [ddoStoreConnected]\n"
              "    Connected = True\n"
              "  end\n"
              "  object Db2: TOvDatabase\n"
              "    DatabaseName = 'Db2'\n"
              "    RemoteDatabase = 'shop.db'\n"
              "    ServerType = stSQLite\n"
              "    Params.Strings = (\n"
              "      'PASSWORD=')\n"
              "  end\n"
              "end\n");
    const RunResult r
        = ovdesigner({QStringLiteral("--tree"), QStringLiteral("secrets.dfm")}, dir.path());
    EXPECT_EQ(r.exit, 1) << r.err.toStdString();
    QStringList warnings;
    for (const QString &line : r.out.split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("warning: ")))
            warnings.append(line);
    EXPECT_EQ(
        warnings,
        QStringList({QStringLiteral("warning: Db1: the form stores a connected database (line 11)"),
                     QStringLiteral("warning: Db1: the form stores a password in Params"),
                     QStringLiteral("warning: Db1: the form stores a password in RemoteDatabase")}))
        << r.out.toStdString();
}

// --tree exits 1 only for what it finds: a database held disconnected is no
// finding, a node left unattached on its own is one.
TEST_F(CommandLineTest, treeExitStatusFollowsItsFindings)
{
    dir.write(QStringLiteral("held.dfm"), "object Held: TDataModule\n"
                                          "  object Db1: TOvDatabase\n"
                                          "    DatabaseName = 'Db1'\n"
                                          "    RemoteDatabase = 'shop.db'\n"
                                          "    ServerType = stSQLite\n"
                                          "    DesignOptions = [ddoStoreConnected]\n"
                                          "    Connected = False\n"
                                          "  end\n"
                                          "end\n");
    const RunResult held
        = ovdesigner({QStringLiteral("--tree"), QStringLiteral("held.dfm")}, dir.path());
    EXPECT_EQ(held.exit, 0) << held.out.toStdString() << held.err.toStdString();
    EXPECT_FALSE(held.out.contains(QStringLiteral("warning:"))) << held.out.toStdString();

    dir.write(QStringLiteral("alone.dfm"), "object Alone: TDataModule\n"
                                           "  object Db1: TOvDatabase\n"
                                           "    DatabaseName = 'Db1'\n"
                                           "    RemoteDatabase = 'shop.db'\n"
                                           "    ServerType = stSQLite\n"
                                           "    SessionName = 'Elsewhere'\n"
                                           "  end\n"
                                           "end\n");
    const RunResult alone
        = ovdesigner({QStringLiteral("--tree"), QStringLiteral("alone.dfm")}, dir.path());
    EXPECT_EQ(alone.exit, 1) << alone.out.toStdString() << alone.err.toStdString();
    EXPECT_EQ(alone.out,
              QStringLiteral("Alone\n  Db1: SQLite | shop.db  [problem] [unattached]\n"));
    EXPECT_FALSE(dir.exists(QStringLiteral("shop.db"))) << "nothing connected";
}

TEST_F(CommandLineTest, brokenInputsExitWithOneLine)
{
    dir.write(QStringLiteral("broken.dfm"),
              "object A: TDataModule\n  object Q: TOvQuery\n    SQL = 1\n");
    struct Case
    {
        QStringList args;
        const char *message;
    };
    const std::vector<Case> cases = {
        {{QStringLiteral("--tree"), QStringLiteral("missing.dfm")}, "missing.dfm not found"},
        {{QStringLiteral("--tree"), QStringLiteral("broken.dfm")},
         "broken.dfm(3:5): string list expected as SQL.Strings"},
        {{QStringLiteral("--gensql"), QStringLiteral("broken.dfm"), QStringLiteral("U")},
         "broken.dfm(3:5)"},
        {{QStringLiteral("--tree"), QStringLiteral("x.dfm"), QStringLiteral("--package"),
          QStringLiteral("/nonexistent/Pkg.so")},
         "/nonexistent/Pkg.so"},
    };
    for (const Case &c : cases) {
        const RunResult r = ovdesigner(c.args, dir.path());
        EXPECT_EQ(r.exit, 2) << c.args.join(' ').toStdString();
        ASSERT_EQ(r.errors().size(), 1) << r.err.toStdString();
        EXPECT_TRUE(r.errors().first().contains(QLatin1String(c.message))) << r.err.toStdString();
    }

    copyDemo();
    const QByteArray before = dir.read(QStringLiteral("demo.dfm"));
    RunResult r = ovdesigner(
        {QStringLiteral("--gensql"), QStringLiteral("demo.dfm"), QStringLiteral("usNothing")},
        dir.path());
    EXPECT_EQ(r.exit, 2);
    EXPECT_EQ(r.errors(), QStringList{QStringLiteral(
                              "ovdesigner: demo.dfm has no update object named usNothing")});
    r = ovdesigner(
        {QStringLiteral("--gensql"), QStringLiteral("demo.dfm"), QStringLiteral("qOrders")},
        dir.path());
    EXPECT_EQ(r.exit, 2) << "a query is no update object";

    // An unreachable database: one line, nothing written, no backup.
    r = ovdesigner({QStringLiteral("--gensql"), QStringLiteral("demo.dfm"),
                    QStringLiteral("usOrders"), QStringLiteral("--write"),
                    QStringLiteral("--remote-database"),
                    QStringLiteral("Demo=/nonexistent/folder/demo.db")},
                   dir.path());
    EXPECT_EQ(r.exit, 2) << r.out.toStdString();
    EXPECT_EQ(r.errors().size(), 1) << r.err.toStdString();
    EXPECT_EQ(dir.read(QStringLiteral("demo.dfm")), before);
    EXPECT_FALSE(dir.exists(QStringLiteral("demo.~dfm")));
}

TEST_F(CommandLineTest, gensqlOnTheDemoWithoutAServer)
{
    copyDemo([](QString &Form) { Form = withoutStatements(Form); });
    const QByteArray stripped = dir.read(QStringLiteral("demo.dfm"));

    // The database file is created from the script on first use.
    RunResult r = ovdesigner(
        {QStringLiteral("--gensql"), QStringLiteral("demo.dfm"), QStringLiteral("usOrders")},
        dir.path());
    EXPECT_EQ(r.exit, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QLatin1String(demoStatements));
    EXPECT_TRUE(dir.exists(QStringLiteral("demo.db")));
    EXPECT_TRUE(r.err.contains(QStringLiteral("created ")));
    EXPECT_EQ(dir.read(QStringLiteral("demo.dfm")), stripped) << "printing writes nothing";

    r = ovdesigner({QStringLiteral("--gensql"), QStringLiteral("demo.dfm"),
                    QStringLiteral("usOrders"), QStringLiteral("--check")},
                   dir.path());
    EXPECT_EQ(r.exit, 0) << r.out.toStdString();
    EXPECT_TRUE(r.out.endsWith(QStringLiteral("\ncheck: ok\n")));

    // Written into the form: what the committed demo holds, byte for byte,
    // the previous version kept as the backup.
    r = ovdesigner({QStringLiteral("--gensql"), QStringLiteral("demo.dfm"),
                    QStringLiteral("usOrders"), QStringLiteral("--write"),
                    QStringLiteral("--check")},
                   dir.path());
    EXPECT_EQ(r.exit, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("wrote usOrders into demo.dfm\ncheck: ok\n"));
    EXPECT_EQ(dir.read(QStringLiteral("demo.dfm")), readFile(examples(QStringLiteral("demo.dfm"))));
    EXPECT_EQ(dir.read(QStringLiteral("demo.~dfm")), stripped);
}

TEST_F(CommandLineTest, checkCatchesAColumnTheTableLacks)
{
    // The query names a column the table has lost: every statement that
    // names it fails on the database, and nothing is written.
    copyDemo([](QString &Form) {
        Form.replace(QStringLiteral("'select CustNo, OrderNo, OrderDate, Amount, InvoiceCode'"),
                     QStringLiteral("'select CustNo, OrderNo, OrderDate, Discount, InvoiceCode'"));
    });
    const QByteArray before = dir.read(QStringLiteral("demo.dfm"));
    const RunResult r = ovdesigner({QStringLiteral("--gensql"), QStringLiteral("demo.dfm"),
                                    QStringLiteral("usOrders"), QStringLiteral("--check"),
                                    QStringLiteral("--write")},
                                   dir.path());
    EXPECT_EQ(r.exit, 1) << r.out.toStdString() << r.err.toStdString();
    QStringList checks;
    for (const QString &line : r.out.split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("check: ")))
            checks.append(line);
    EXPECT_EQ(checks,
              QStringList(
                  {QStringLiteral("check: RefreshSQL: no such column: Discount"),
                   QStringLiteral("check: ModifySQL: no such column: Discount"),
                   QStringLiteral("check: InsertSQL: table Orders has no column named Discount")}))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("not written: the check failed")));
    EXPECT_EQ(dir.read(QStringLiteral("demo.dfm")), before);
}

// The PostgreSQL example against the test server, in a schema of its own.
TEST_F(CommandLineTest, gensqlOnThePostgreSQLExample)
{
    const QString connInfo = qEnvironmentVariable("OV_PG_CONNINFO");
    const QString schema = QStringLiteral("ovcli_%1_%2")
                               .arg(QCoreApplication::applicationPid())
                               .arg(QRandomGenerator::global()->bounded(1000000));
    TOvDatabase db;
    db.SetDatabaseName(QStringLiteral("OVCLIPG"));
    db.SetServerType(TOvServerType::stPostgreSQL);
    db.SetRemoteDatabase(connInfo);
    db.SetLoginPrompt(false);
    db.Params()->Add(QStringLiteral("options=-c search_path=%1").arg(schema));
    QString problem = connInfo.isEmpty() ? QStringLiteral("OV_PG_CONNINFO is not set") : QString();
    if (problem.isEmpty()) {
        try {
            db.Open();
        } catch (const Exception &e) {
            problem = e.Message();
        }
    }
    if (!problem.isEmpty()) {
        if (runningUnderCi())
            FAIL() << "PostgreSQL server unreachable under CI: " << problem.toStdString();
        GTEST_SKIP() << "PostgreSQL server unreachable: " << problem.toStdString();
    }
    db.ExecSQL(QStringLiteral("create schema ") + schema);
    auto dropSchema = qScopeGuard(
        [&] { db.ExecSQL(QStringLiteral("drop schema if exists %1 cascade").arg(schema)); });
    TOvScript script;
    script.SetDatabaseName(db.DatabaseName());
    script.SQL()->SetText(
        QString::fromUtf8(readFile(examples(QStringLiteral("postgresql/pgdemo.sql")))));
    script.ExecScript();

    const QString form
        = QString::fromUtf8(readFile(examples(QStringLiteral("postgresql/pgdemo.dfm"))));
    dir.write(QStringLiteral("pgdemo.dfm"), form.toUtf8());
    const QString remote
        = QStringLiteral("PgDemo=%1 options='-c search_path=%2'").arg(connInfo, schema);
    RunResult r = ovdesigner({QStringLiteral("--gensql"), QStringLiteral("pgdemo.dfm"),
                              QStringLiteral("usOrders"), QStringLiteral("--check"),
                              QStringLiteral("--remote-database"), remote},
                             dir.path());
    EXPECT_EQ(r.exit, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("-- ModifySQL\n"
                                              "update orders\n"
                                              "set\n"
                                              "  cust_no = :cust_no,\n"
                                              "  order_no = :order_no,\n"
                                              "  order_date = :order_date,\n"
                                              "  amount = :amount,\n"
                                              "  invoice_code = :invoice_code\n"
                                              "where\n"
                                              "  cust_no = :OLD_cust_no and\n"
                                              "  order_no = :OLD_order_no\n")))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.endsWith(QStringLiteral("check: ok\n")));

    // Written with the override: the form keeps its own remote database.
    r = ovdesigner({QStringLiteral("--gensql"), QStringLiteral("pgdemo.dfm"),
                    QStringLiteral("usOrders"), QStringLiteral("--write"),
                    QStringLiteral("--remote-database"), remote},
                   dir.path());
    EXPECT_EQ(r.exit, 0) << r.err.toStdString();
    const QString written = QString::fromUtf8(dir.read(QStringLiteral("pgdemo.dfm")));
    EXPECT_TRUE(written.contains(QStringLiteral("RemoteDatabase = '127.0.0.1:54329/ovtest'")));
    EXPECT_TRUE(written.contains(QStringLiteral("'  cust_no = :OLD_cust_no and'")));
    EXPECT_EQ(QString::fromUtf8(dir.read(QStringLiteral("pgdemo.~dfm"))), form);

    // A column the table lacks, reported by the server.
    dir.write(QStringLiteral("pgdemo.dfm"), QString(form)
                                                .replace(QStringLiteral("order_date, amount"),
                                                         QStringLiteral("order_date, discount"))
                                                .toUtf8());
    r = ovdesigner({QStringLiteral("--gensql"), QStringLiteral("pgdemo.dfm"),
                    QStringLiteral("usOrders"), QStringLiteral("--check"),
                    QStringLiteral("--remote-database"), remote},
                   dir.path());
    EXPECT_EQ(r.exit, 1) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("check: ModifySQL: ")));
    EXPECT_TRUE(r.out.contains(QStringLiteral("column \"discount\""))) << r.out.toStdString();
}

// A full disk while --write stores the statements: exit 2 with the system's
// reason, the form and its older backup exactly as they were, no temporary
// file left. On a tiny file system in a namespace of its own where one can be
// made, and always under a file size limit.
TEST_F(CommandLineTest, aFullDiskLeavesTheFormAndItsBackupAsTheyWere)
{
    copyDemo([](QString &Form) { Form = withoutStatements(Form); });
    ASSERT_EQ(ovdesigner({QStringLiteral("--gensql"), QStringLiteral("demo.dfm"),
                          QStringLiteral("usOrders")},
                         dir.path())
                  .exit,
              0)
        << "the database is made beforehand";
    dir.write(QStringLiteral("demo.~dfm"), "an older version\n");
    const QStringList before = filesIn(dir.path());
    TempFolder config;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    const QStringList args{QStringLiteral("--gensql"), QStringLiteral("demo.dfm"),
                           QStringLiteral("usOrders"), QStringLiteral("--write")};
    for (const FullDiskWay way : {FullDiskWay::SmallFileSystem, FullDiskWay::FileSizeLimit}) {
        const bool tmpfs = way == FullDiskWay::SmallFileSystem;
        SCOPED_TRACE(tmpfs ? "small file system" : "file size limit");
        TempFolder result;
        const FullDiskRun run = runOnFullDisk(way, dir.path(), result.path(),
                                              QStringLiteral(OV_DESIGNER), args, 1024, env);
        if (tmpfs && !run.ran) {
            // The size limit below still fails the write.
            std::printf("note: no small file system here (%s)\n", qPrintable(run.why));
            continue;
        }
        ASSERT_TRUE(run.ran) << run.why.toStdString();
        EXPECT_EQ(run.exitCode, 2) << run.out.toStdString() << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QString::fromLocal8Bit(std::strerror(tmpfs ? ENOSPC : EFBIG))))
            << run.err.toStdString();
        EXPECT_FALSE(run.out.contains(QLatin1String("wrote "))) << "no success reported";
        EXPECT_EQ(filesIn(result.path()), before) << "no temporary file left";
        for (const QString &name : before)
            EXPECT_EQ(readFile(result.file(name)), dir.read(name)) << name.toStdString();
    }
}

// Two runs at once on one form, each writing its own update object: the
// read-modify-write cycles follow each other, so both are kept.
TEST_F(CommandLineTest, twoWritersAtOnceKeepBothUpdateObjects)
{
    const QString second = QStringLiteral("  object qCustomers: TOvQuery\n"
                                          "    DatabaseName = 'Demo'\n"
                                          "    UpdateObject = usCustomers\n"
                                          "    SQL.Strings = (\n"
                                          "      'select CustNo, Name from Customer')\n"
                                          "  end\n"
                                          "  object usCustomers: TOvUpdateSQL\n"
                                          "  end\n"
                                          "end\n");
    copyDemo([&](QString &Form) {
        Form = withoutStatements(Form);
        Form.chop(4);
        Form += second;
    });
    ASSERT_LT(ovdesigner({QStringLiteral("--tree"), QStringLiteral("demo.dfm")}, dir.path()).exit,
              2)
        << "the form reads";
    const QByteArray start = dir.read(QStringLiteral("demo.dfm"));
    for (int trial = 0; trial < 3; ++trial) {
        SCOPED_TRACE(trial);
        dir.write(QStringLiteral("demo.dfm"), start);
        std::vector<std::unique_ptr<QProcess>> runs;
        for (const char *update : {"usOrders", "usCustomers"}) {
            runs.push_back(std::make_unique<QProcess>());
            runs.back()->setWorkingDirectory(dir.path());
            runs.back()->start(QStringLiteral(OV_DESIGNER),
                               {QStringLiteral("--gensql"), QStringLiteral("demo.dfm"),
                                QLatin1String(update), QStringLiteral("--write")});
        }
        for (auto &run : runs) {
            ASSERT_TRUE(run->waitForFinished(120000));
            EXPECT_EQ(run->exitCode(), 0) << run->readAllStandardError().toStdString();
        }
        const QByteArray form = dir.read(QStringLiteral("demo.dfm"));
        EXPECT_TRUE(form.contains("'update Orders'")) << form.constData();
        EXPECT_TRUE(form.contains("'update Customer'")) << form.constData();
    }
}

// Output that cannot be written is an error, whatever the command did; so
// are two first runs at once, which both need the demo database made.
TEST_F(CommandLineTest, exitStatusIsHonestAboutOutputAndFirstRuns)
{
    copyDemo();
    for (const QStringList &args :
         {QStringList{QStringLiteral("--help")}, QStringList{QStringLiteral("--list")},
          QStringList{QStringLiteral("--tree"), QStringLiteral("demo.dfm")},
          QStringList{QStringLiteral("--gensql"), QStringLiteral("demo.dfm"),
                      QStringLiteral("usOrders")}}) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const RunResult r = ovdesigner(
            QStringList{QStringLiteral("-c"), QStringLiteral("exec \"$0\" \"$@\" >/dev/full"),
                        QStringLiteral(OV_DESIGNER)}
                + args,
            dir.path(), QProcessEnvironment::systemEnvironment(), QStringLiteral("/bin/sh"));
        EXPECT_EQ(r.exit, 2) << r.err.toStdString();
        EXPECT_EQ(r.errors().value(r.errors().size() - 1),
                  QStringLiteral("ovdesigner: cannot write the output: %1")
                      .arg(QString::fromLocal8Bit(std::strerror(ENOSPC))))
            << r.err.toStdString();
    }

    for (int trial = 0; trial < 3; ++trial) {
        SCOPED_TRACE(trial);
        QFile::remove(dir.file(QStringLiteral("demo.db")));
        std::vector<std::unique_ptr<QProcess>> runs;
        for (int i = 0; i < 2; ++i) {
            runs.push_back(std::make_unique<QProcess>());
            runs.back()->setWorkingDirectory(dir.path());
            runs.back()->start(QStringLiteral(OV_DESIGNER),
                               {QStringLiteral("--gensql"), QStringLiteral("demo.dfm"),
                                QStringLiteral("usOrders")});
        }
        for (auto &run : runs) {
            ASSERT_TRUE(run->waitForFinished(120000));
            EXPECT_EQ(run->exitCode(), 0) << run->readAllStandardError().toStdString();
            EXPECT_EQ(QString::fromUtf8(run->readAllStandardOutput()),
                      QLatin1String(demoStatements));
        }
        EXPECT_EQ(filesIn(dir.path()),
                  QStringList({QStringLiteral("demo.db"), QStringLiteral("demo.dfm"),
                               QStringLiteral("demo.sql")}))
            << "one database, no temporary file left";
    }
}

// A package whose finalization raises: reported, exit 2, no crash.
TEST_F(CommandLineTest, aPackageThatFailsToUnloadIsReported)
{
    const RunResult r
        = ovdesigner({QStringLiteral("--package"), QStringLiteral(OVTEST_PKG_FINI_FAILS),
                      QStringLiteral("--list")},
                     dir.path());
    EXPECT_EQ(r.exit, 2) << r.err.toStdString();
    EXPECT_EQ(r.errors(), QStringList{QStringLiteral("ovdesigner: Package OvTestPkgFiniFails: "
                                                     "finalization failed: UnitB cannot stop")})
        << r.err.toStdString();
}

} // namespace

namespace {

// The rows of Table in the SQLite database File, read through the library.
qint64 sqliteCount(const QString &File, const QString &Table)
{
    std::unique_ptr<TOvDriver> driver = CreateDriver(TOvServerType::stSQLite);
    TStringList params;
    driver->Connect(File, params);
    return driver->Execute(QStringLiteral("select count(*) from %1").arg(Table), {})
        .Rows.front()
        .front()
        .toLongLong();
}

// A server that answers every connection as a PostgreSQL server asking for a
// clear-text password would, and then waits for the client to give up.
class PasswordAskingServer
{
public:
    PasswordAskingServer()
    {
        m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_socket, reinterpret_cast<sockaddr *>(&address), length) != 0
            || ::listen(m_socket, 4) != 0
            || ::getsockname(m_socket, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return;
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~PasswordAskingServer()
    {
        ::shutdown(m_socket, SHUT_RDWR);
        ::close(m_socket);
        if (m_thread.joinable())
            m_thread.join();
    }
    int port() const { return m_port; }

private:
    void serve()
    {
        for (;;) {
            const int client = ::accept(m_socket, nullptr, nullptr);
            if (client < 0)
                return;
            // The start-up message: its length, then the rest of it.
            unsigned char header[4];
            if (::recv(client, header, 4, MSG_WAITALL) == 4) {
                const int length
                    = (header[0] << 24) | (header[1] << 16) | (header[2] << 8) | header[3];
                std::vector<char> rest(std::max(length - 4, 0));
                ::recv(client, rest.data(), rest.size(), MSG_WAITALL);
                // AuthenticationCleartextPassword.
                const char ask[] = {'R', 0, 0, 0, 8, 0, 0, 0, 3};
                ::send(client, ask, sizeof ask, MSG_NOSIGNAL);
                char ignored[256];
                while (::recv(client, ignored, sizeof ignored, 0) > 0) {
                }
            }
            ::close(client);
        }
    }

    int m_socket = -1;
    int m_port = 0;
    std::thread m_thread;
};

} // namespace

// Opening a form for a command acts on none of the values it stores: a
// query that stores Active = True over a delete is not run, a database that
// stores Connected = True is connected only to read the catalogue, and both
// are written back as they were stored.
TEST_F(CommandLineTest, commandsNeverActOnStoredValues)
{
    copyDemo([](QString &Form) {
        Form.replace(QStringLiteral("    LoginPrompt = False\n"),
                     QStringLiteral("    LoginPrompt = False\n    Connected = True\n"));
        Form.replace(QStringLiteral("  object qTotals: TOvQuery\n"),
                     QStringLiteral("  object qTotals: TOvQuery\n    Active = True\n"));
        Form.replace(
            QStringLiteral("      'select CustNo, Name as CustomerName, OrderCount, Total'\n"
                           "      'from CustomerTotals'\n"
                           "      'order by Total desc')\n"),
            QStringLiteral("      'delete from Orders')\n"));
    });
    const QByteArray edited = dir.read(QStringLiteral("demo.dfm"));
    ASSERT_TRUE(edited.contains("'delete from Orders')"));
    RunResult r = ovdesigner({QStringLiteral("--tree"), QStringLiteral("demo.dfm")}, dir.path());
    EXPECT_EQ(r.exit, 1) << "the stored connection is a warning";
    r = ovdesigner(
        {QStringLiteral("--gensql"), QStringLiteral("demo.dfm"), QStringLiteral("usOrders")},
        dir.path());
    ASSERT_EQ(r.exit, 0) << r.err.toStdString();
    const qint64 orders
        = sqliteCount(dir.file(QStringLiteral("demo.db")), QStringLiteral("Orders"));
    EXPECT_GT(orders, 0);
    r = ovdesigner({QStringLiteral("--gensql"), QStringLiteral("demo.dfm"),
                    QStringLiteral("usOrders"), QStringLiteral("--check"),
                    QStringLiteral("--write")},
                   dir.path());
    EXPECT_EQ(r.exit, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_EQ(sqliteCount(dir.file(QStringLiteral("demo.db")), QStringLiteral("Orders")), orders)
        << "the stored delete never ran";
    EXPECT_EQ(dir.read(QStringLiteral("demo.dfm")), edited) << "written back as stored";
}

// A PostgreSQL database that wants a password no one can type: the command
// fails at once, names the database and the ways to give the password.
TEST_F(CommandLineTest, aPasswordNobodyCanTypeFailsAtOnce)
{
    PasswordAskingServer server;
    ASSERT_GT(server.port(), 0);
    copyDemo([&](QString &Form) {
        Form.replace(QStringLiteral("    RemoteDatabase = 'demo.db'\n    ServerType = stSQLite\n"
                                    "    LoginPrompt = False\n"),
                     QStringLiteral("    RemoteDatabase = 'host=127.0.0.1 port=%1 dbname=sales"
                                    " user=clerk sslmode=disable gssencmode=disable'\n"
                                    "    ServerType = stPostgreSQL\n")
                         .arg(server.port()));
    });
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("PGPASSWORD"));
    env.insert(QStringLiteral("PGPASSFILE"), dir.file(QStringLiteral("no-such-pgpass")));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    const RunResult r = ovdesigner(
        {QStringLiteral("--gensql"), QStringLiteral("demo.dfm"), QStringLiteral("usOrders")},
        dir.path(), env);
    EXPECT_EQ(r.exit, 2) << r.out.toStdString() << r.err.toStdString();
    ASSERT_EQ(r.errors().size(), 1) << r.err.toStdString();
    const QString message = r.errors().first();
    EXPECT_TRUE(message.startsWith(QStringLiteral("ovdesigner: database Demo (")))
        << message.toStdString();
    for (const char *way : {"PGPASSWORD", "~/.pgpass", "PASSWORD=", "--remote-database Demo="})
        EXPECT_TRUE(message.contains(QLatin1String(way))) << way << ": " << message.toStdString();
}
