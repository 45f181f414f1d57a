// Nothing waits without end: a lock another session holds ends a wait after
// the connection's BUSY TIMEOUT and is reported as a lock; a SQLite
// "database" that is a folder, a device or a pipe is refused before SQLite
// opens it; and a read-only connection to a database in write-ahead-log mode
// leaves no log files behind.

#include "PgTestServer.h"
#include "SQLiteFixture.h"

#include "orvlib/OvConsts.h"
#include "orvlib/OvDriver.h"

#include "rtl/Classes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

std::unique_ptr<TStringList> params(std::initializer_list<const char *> Lines)
{
    auto list = std::make_unique<TStringList>();
    for (const char *line : Lines)
        list->Add(QString::fromUtf8(line));
    return list;
}

// The message Connect raises for File, empty when it connects.
QString connectError(const QString &File, const TStrings &Params)
{
    const std::unique_ptr<TOvDriver> driver = CreateDriver(TOvServerType::stSQLite);
    try {
        driver->Connect(File, Params);
    } catch (const EOvDatabaseError &e) {
        return e.Message();
    }
    return {};
}

QString shown(const QString &File)
{
    return QDir::toNativeSeparators(QFileInfo(File).absoluteFilePath());
}

} // namespace

TEST(SQLiteBoundedWait, aFolderADeviceOrAPipeIsRefusedAsNotARegularFile)
{
    TempFolder dir;
    const TStringList none;
    EXPECT_EQ(connectError(dir.path(), none), SNotARegularFile().arg(shown(dir.path())));
    EXPECT_EQ(connectError(QStringLiteral("/dev/zero"), none),
              SNotARegularFile().arg(QStringLiteral("/dev/zero")));
    EXPECT_EQ(connectError(dir.path(), *params({"CREATE=1"})),
              SNotARegularFile().arg(shown(dir.path())))
        << "CREATE makes no database of a folder";

    // A pipe would hang the open: it runs in a child that an alarm ends.
    const QString fifo = dir.file(QStringLiteral("pipe.db"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const pid_t child = fork();
    if (child == 0) {
        alarm(20);
        _exit(connectError(fifo, none) == SNotARegularFile().arg(shown(fifo)) ? 0 : 1);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_FALSE(WIFSIGNALED(status)) << "the open of a pipe hung";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the pipe was not refused";

    // The other side: a database file, also through a link, opens; a
    // missing one is still missing.
    SQLiteShop shop;
    EXPECT_EQ(connectError(shop.file(), none), QString());
    const QString link = dir.file(QStringLiteral("link.db"));
    ASSERT_TRUE(QFile::link(shop.file(), link));
    EXPECT_EQ(connectError(link, none), QString());
    EXPECT_EQ(connectError(dir.file(QStringLiteral("none.db")), none),
              SDatabaseFileNotFound().arg(shown(dir.file(QStringLiteral("none.db")))));
}

TEST(SQLiteBoundedWait, aReadOnlyConnectionLeavesNoWriteAheadLogBehind)
{
    SQLiteShop shop;
    shop.exec(QStringLiteral("pragma journal_mode = wal; insert into customer (id, name)"
                             " values (10, 'Wal')"));
    const QString wal = shop.file() + QStringLiteral("-wal");
    const QString shm = shop.file() + QStringLiteral("-shm");
    ASSERT_FALSE(QFileInfo::exists(wal)) << "the writer closed the log";

    const std::unique_ptr<TOvDriver> driver = CreateDriver(TOvServerType::stSQLite);
    driver->Connect(shop.file(), *params({"READONLY=1"}));
    EXPECT_EQ(driver->Execute(QStringLiteral("select name from customer where id = 10"), {})
                  .Rows.front()
                  .front(),
              QVariant(QStringLiteral("Wal")));
    EXPECT_FALSE(driver->Columns(QStringLiteral("customer")).isEmpty());
    EXPECT_THROW(driver->Execute(QStringLiteral("delete from customer"), {}), EOvDatabaseError)
        << "a read-only connection writes nothing";
    driver->Disconnect();
    EXPECT_FALSE(QFileInfo::exists(wal));
    EXPECT_FALSE(QFileInfo::exists(shm));
    EXPECT_EQ(shop.count(QStringLiteral("customer")), 4);

    // While another connection has the database open, its log stays theirs.
    sqlite3 *other = nullptr;
    ASSERT_EQ(sqlite3_open(shop.file().toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "insert into customer (id, name) values (11, 'Other')", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    driver->Connect(shop.file(), *params({"READONLY=1"}));
    EXPECT_EQ(driver->Execute(QStringLiteral("select count(*) from customer"), {})
                  .Rows.front()
                  .front()
                  .toLongLong(),
              5);
    driver->Disconnect();
    EXPECT_TRUE(QFileInfo::exists(wal)) << "the other connection's log is left alone";
    EXPECT_EQ(sqlite3_exec(other, "insert into customer (id, name) values (12, 'After')", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(other);
    EXPECT_FALSE(QFileInfo::exists(wal)) << "the last to close ends it";
    EXPECT_EQ(shop.count(QStringLiteral("customer")), 6);
}

// --- PostgreSQL -----------------------------------------------------------------

namespace {

class PostgreSQLBoundedWait : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString problem;
        admin = pgAdmin(&problem);
        OV_REQUIRE_PG(problem);
        schema = pgUniqueName(QStringLiteral("ovwait_"));
        admin->Execute(
            QStringLiteral("create schema %1; create table %1.held (id integer)").arg(schema), {});
    }
    void TearDown() override
    {
        if (admin && admin->IsConnected()) {
            admin->Execute(QStringLiteral("rollback"), {});
            admin->Execute(QStringLiteral("drop schema if exists %1 cascade").arg(schema), {});
        }
    }
    // A connection with Lines as its parameters; a statement of it ends
    // after 20 s whatever it waits for, so that a wait without end fails
    // the test instead of hanging it.
    std::unique_ptr<TOvDriver> connect(std::initializer_list<const char *> Lines,
                                       const char *Options = "")
    {
        const std::unique_ptr<TStringList> p = params(Lines);
        p->Add(QStringLiteral("options=-c statement_timeout=20000 ") + QString::fromUtf8(Options));
        std::unique_ptr<TOvDriver> driver = CreateDriver(TOvServerType::stPostgreSQL);
        driver->Connect(pgConnInfo(), *p);
        return driver;
    }
    static QString setting(TOvDriver &Driver)
    {
        return Driver.Execute(QStringLiteral("show lock_timeout"), {})
            .Rows.front()
            .front()
            .toString();
    }

    std::unique_ptr<TOvDriver> admin;
    QString schema;
};

} // namespace

TEST_F(PostgreSQLBoundedWait, aLockAnotherSessionHoldsEndsTheWaitAndIsReportedAsALock)
{
    EXPECT_EQ(setting(*connect({})), QStringLiteral("5s")) << "bounded by default";
    EXPECT_EQ(setting(*connect({}, "-c lock_timeout=1234")), QStringLiteral("1234ms"))
        << "the connection's own setting is kept";
    EXPECT_EQ(setting(*connect({"BUSY TIMEOUT=300"}, "-c lock_timeout=1234")),
              QStringLiteral("300ms"))
        << "BUSY TIMEOUT wins when given";

    const std::unique_ptr<TOvDriver> waiting = connect({"BUSY TIMEOUT=300"});
    admin->Execute(QStringLiteral("begin"), {});
    admin->Execute(QStringLiteral("lock table %1.held in access exclusive mode").arg(schema), {});
    const QString sql = QStringLiteral("select id from %1.held").arg(schema);
    for (const char *step : {"prepare", "open"}) {
        try {
            if (qstrcmp(step, "prepare") == 0)
                waiting->Describe(sql);
            else
                waiting->OpenCursor(sql, {});
            ADD_FAILURE() << step << " went through an exclusive lock";
        } catch (const EOvDatabaseError &e) {
            EXPECT_TRUE(e.Locked()) << step << ": " << e.Message().toStdString();
            EXPECT_TRUE(e.Message().contains(QStringLiteral("lock"))) << e.Message().toStdString();
        }
    }
    admin->Execute(QStringLiteral("rollback"), {});
    EXPECT_EQ(waiting->Describe(sql).Fields.size(), 1) << "the lock gone, the connection goes on";
}
