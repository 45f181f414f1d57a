// --gensql --write runs beside each other in one folder: a run waiting for a
// server holds up no other form, and runs on one form in a folder that
// cannot be listed keep every update object.
#include "CliRun.h"
#include "FullDisk.h"
#include "TestSupport.h"

#include "designide/FormFile.h"
#include "orvlib/DB.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvUpdateSQL.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace {

const QList<TComponentClass> formClasses = {
    &TOvDatabase::staticMetaObject, &TOvQuery::staticMetaObject, &TOvUpdateSQL::staticMetaObject};

QByteArray readFile(const QString &Path)
{
    QFile f(Path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A module with a database and, for each select, a query with an update
// object us1, us2, ... that has no statements yet.
QByteArray moduleText(const QString &Database, const QStringList &Selects)
{
    QString text = QStringLiteral("object Module: TDataModule\n"
                                  "  object Db: TOvDatabase\n"
                                  "    DatabaseName = 'Db'\n%1"
                                  "    LoginPrompt = False\n"
                                  "  end\n")
                       .arg(Database);
    for (int i = 1; i <= Selects.size(); ++i)
        text += QStringLiteral("  object q%1: TOvQuery\n"
                               "    DatabaseName = 'Db'\n"
                               "    UpdateObject = us%1\n"
                               "    SQL.Strings = (\n"
                               "      '%2')\n"
                               "  end\n"
                               "  object us%1: TOvUpdateSQL\n"
                               "  end\n")
                    .arg(i)
                    .arg(Selects[i - 1]);
    return (text + QStringLiteral("end\n")).toUtf8();
}

const QString sqliteDemo = QStringLiteral("    RemoteDatabase = 'demo.db'\n"
                                          "    ServerType = stSQLite\n");

// A PostgreSQL server that takes connections and never answers.
class SilentServer
{
public:
    SilentServer()
    {
        m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_socket, reinterpret_cast<sockaddr *>(&address), length) == 0
            && ::listen(m_socket, 4) == 0
            && ::getsockname(m_socket, reinterpret_cast<sockaddr *>(&address), &length) == 0)
            m_port = ntohs(address.sin_port);
    }
    ~SilentServer()
    {
        for (int client : m_clients)
            ::close(client);
        ::close(m_socket);
    }
    int port() const { return m_port; }
    // Waits for a client to connect; false when none came within TimeoutMs.
    bool accept(int TimeoutMs)
    {
        pollfd waiting{m_socket, POLLIN, 0};
        if (::poll(&waiting, 1, TimeoutMs) != 1)
            return false;
        const int client = ::accept4(m_socket, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            return false;
        m_clients.push_back(client);
        return true;
    }

private:
    int m_socket = -1;
    int m_port = 0;
    std::vector<int> m_clients;
};

class ConcurrentWriteTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { RegisterClasses(formClasses); }
    static void TearDownTestSuite() { UnRegisterClasses(formClasses); }

    // The demo's SQLite database, made by a first run.
    void makeDemoDatabase(const QString &Form)
    {
        dir.write(QStringLiteral("demo.sql"),
                  readFile(QStringLiteral(OV_EXAMPLES_DIR "/demo.sql")));
        const CliRun made
            = runOvdesigner({QStringLiteral("--gensql"), Form, QStringLiteral("us1")}, dir.path());
        ASSERT_EQ(made.exit, 0) << made.err.toStdString();
    }
    // The update objects of the form that hold statements.
    QStringList objectsWithStatements(const QString &Form) const
    {
        QStringList names;
        std::unique_ptr<QObject> root = LoadFormFile(dir.file(Form));
        for (auto *update : root->findChildren<TOvUpdateSQL *>())
            if (!update->ModifySQL()->Text().trimmed().isEmpty())
                names << update->objectName();
        names.sort();
        return names;
    }

    TempFolder dir;
};

} // namespace

// A run that waits for its server writes nothing meanwhile and locks nothing:
// a run on another form of the folder writes and ends while it waits; the
// waiting form stays as it was.
TEST_F(ConcurrentWriteTest, aRunWaitingForItsServerHoldsUpNoOtherForm)
{
    SilentServer server;
    ASSERT_GT(server.port(), 0);
    const QByteArray slow = moduleText(
        QStringLiteral("    RemoteDatabase = 'host=127.0.0.1 port=%1 dbname=sales user=clerk"
                       " sslmode=disable gssencmode=disable connect_timeout=120'\n"
                       "    ServerType = stPostgreSQL\n")
            .arg(server.port()),
        {QStringLiteral("select a from t")});
    dir.write(QStringLiteral("slow.dfm"), slow);
    dir.write(QStringLiteral("quick.dfm"),
              moduleText(sqliteDemo, {QStringLiteral("select CustNo, Name from Customer")}));
    makeDemoDatabase(QStringLiteral("quick.dfm"));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PGPASSWORD"), QStringLiteral("unused"));
    QProcess waiting;
    waiting.setWorkingDirectory(dir.path());
    waiting.setProcessEnvironment(env);
    waiting.start(QStringLiteral(OV_DESIGNER),
                  {QStringLiteral("--gensql"), QStringLiteral("slow.dfm"), QStringLiteral("us1"),
                   QStringLiteral("--write")});
    ASSERT_TRUE(waiting.waitForStarted(30000));
    ASSERT_TRUE(server.accept(60000)) << "the slow run connects";

    const CliRun quick = runOvdesigner({QStringLiteral("--gensql"), QStringLiteral("quick.dfm"),
                                        QStringLiteral("us1"), QStringLiteral("--write")},
                                       dir.path());
    EXPECT_FALSE(waiting.waitForFinished(0)) << "the slow run still waits for its server";
    EXPECT_EQ(quick.exit, 0) << quick.out.toStdString() << quick.err.toStdString();
    EXPECT_EQ(objectsWithStatements(QStringLiteral("quick.dfm")), QStringList{"us1"});

    waiting.kill();
    ASSERT_TRUE(waiting.waitForFinished(30000));
    EXPECT_EQ(dir.read(QStringLiteral("slow.dfm")), slow) << "the waiting run wrote nothing";
    EXPECT_FALSE(dir.exists(QStringLiteral("slow.~dfm")));
}

// Four runs at once, each writing its own update object of one form, in a
// folder its user can write but not list (root runs them without its right
// to override that): every run ends well and every update object is kept;
// no lock file or temporary file is left.
TEST_F(ConcurrentWriteTest, runsInAFolderThatCannotBeListedKeepEveryUpdateObject)
{
    const QStringList selects{QStringLiteral("select CustNo, Name from Customer"),
                              QStringLiteral("select CustNo, OrderNo, Amount from Orders"),
                              QStringLiteral("select CustNo, Name, City from Customer"),
                              QStringLiteral("select CustNo, OrderNo, OrderDate from Orders")};
    const QByteArray start = moduleText(sqliteDemo, selects);
    dir.write(QStringLiteral("four.dfm"), start);
    makeDemoDatabase(QStringLiteral("four.dfm"));
    const QByteArray folder = QFile::encodeName(dir.path());
    QString program = QStringLiteral(OV_DESIGNER);
    QStringList prefix;
    if (::geteuid() == 0) {
        program = QStringLiteral("setpriv");
        prefix = {QStringLiteral("--inh-caps=-dac_override,-dac_read_search"),
                  QStringLiteral("--bounding-set=-dac_override,-dac_read_search"),
                  QStringLiteral(OV_DESIGNER)};
    }
    for (int trial = 0; trial < 3; ++trial) {
        SCOPED_TRACE(trial);
        dir.write(QStringLiteral("four.dfm"), start);
        ASSERT_EQ(::chmod(folder.constData(), 0300), 0);
        std::vector<std::unique_ptr<QProcess>> runs;
        for (int i = 1; i <= selects.size(); ++i) {
            runs.push_back(std::make_unique<QProcess>());
            runs.back()->setWorkingDirectory(dir.path());
            runs.back()->start(program, prefix
                                            + QStringList{QStringLiteral("--gensql"),
                                                          QStringLiteral("four.dfm"),
                                                          QStringLiteral("us%1").arg(i),
                                                          QStringLiteral("--write")});
        }
        for (auto &run : runs) {
            ASSERT_TRUE(run->waitForFinished(120000));
            EXPECT_EQ(run->exitCode(), 0) << run->readAllStandardError().toStdString();
        }
        ASSERT_EQ(::chmod(folder.constData(), 0700), 0);
        EXPECT_EQ(objectsWithStatements(QStringLiteral("four.dfm")),
                  QStringList({"us1", "us2", "us3", "us4"}));
        EXPECT_EQ(filesIn(dir.path()),
                  QStringList({"demo.db", "demo.sql", "four.dfm", "four.~dfm"}));
    }
}
