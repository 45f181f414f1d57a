// Datasets hand out their rows as they are needed: opening a large result
// gives one batch, walking gives more, and whatever needs every row takes the
// rest. The rows are the result of one run of the query, as the data stood
// at the open. Between two reads nothing is held on the database: other
// processes and sessions write and change the schema at once, and a write on
// the dataset's own connection changes no row an open dataset shows. On
// SQLite and PostgreSQL.

#include "PgTestServer.h"
#include "SQLiteFixture.h"

#include "orvlib/OvCommon.h"
#include "orvlib/OvConsts.h"
#include "orvlib/OvDB.h"
#include "orvlib/OvDriver.h"

#include "rtl/SysUtils.h"

#include <QCoreApplication>
#include <QRandomGenerator>

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

TOvQuery *makeQuery(QObject *Owner, const QString &Db, const QString &SQL)
{
    auto *q = new TOvQuery(Owner);
    q->setObjectName(QStringLiteral("Query"));
    q->SetDatabaseName(Db);
    q->SQL()->SetText(SQL);
    return q;
}

// Walks Ds from where it stands to its end; the values of field 0, as numbers.
std::vector<qint64> walkRest(TDataSet *Ds)
{
    std::vector<qint64> values;
    for (; !Ds->Eof(); Ds->Next())
        values.push_back(Ds->Fields(0)->AsInteger());
    return values;
}

bool isSequence(const std::vector<qint64> &Values, qint64 From, qint64 To)
{
    if (Values.size() != size_t(To - From + 1))
        return false;
    for (size_t i = 0; i < Values.size(); ++i) {
        if (Values[i] != From + qint64(i))
            return false;
    }
    return true;
}

// The shop database with a table "big" of N rows (id 1..N, name "n<id>").
class SQLiteBig : public ::testing::Test
{
protected:
    static constexpr int N = 5000;
    void SetUp() override
    {
        shop.exec(QStringLiteral("create table big (id integer primary key, name text);"
                                 "with recursive s(i) as (select 1 union all select i + 1 from s"
                                 " where i < %1) insert into big select i, 'n' || i from s;")
                      .arg(N));
    }
    SQLiteShop shop;
};

} // namespace

TEST_F(SQLiteBig, opensWithOneBatchAndReadsTheRestWhenAsked)
{
    TOvQuery *q = makeQuery(shop.owner(), QStringLiteral("Shop"),
                            QStringLiteral("select id, name from big order by id"));
    q->Open();
    EXPECT_EQ(q->FetchedCount(), q->FetchBatchSize()) << "opening reads one batch";
    EXPECT_FALSE(q->AllFetched());
    EXPECT_FALSE(q->Eof());
    EXPECT_FALSE(q->IsEmpty());
    EXPECT_EQ(q->RecNo(), 1);

    // Walking past the rows read reads on, a batch at a time.
    for (int i = 0; i < 150; ++i)
        q->Next();
    EXPECT_EQ(q->FieldByName(QStringLiteral("id"))->AsInteger(), 151);
    EXPECT_EQ(q->FieldByName(QStringLiteral("name"))->AsString(), QStringLiteral("n151"));
    EXPECT_EQ(q->FetchedCount(), 2 * q->FetchBatchSize()) << "one more batch, no more";

    // The count needs every row; the cursor stays where it was.
    EXPECT_EQ(q->RecordCount(), N);
    EXPECT_TRUE(q->AllFetched());
    EXPECT_EQ(q->RecNo(), 151);
    EXPECT_EQ(q->Fields(0)->AsInteger(), 151);

    // Last, First and a full walk over rows read and unread alike.
    q->Close();
    q->Open();
    q->Last();
    EXPECT_EQ(q->Fields(0)->AsInteger(), N);
    EXPECT_EQ(q->RecNo(), N);
    q->First();
    EXPECT_TRUE(isSequence(walkRest(q), 1, N));
    q->Close();
    q->Open();
    EXPECT_TRUE(isSequence(walkRest(q), 1, N)) << "a walk straight from the open";
    EXPECT_TRUE(q->Eof());

    // A view reading ahead: FetchMore leaves the cursor alone and stops at the end.
    q->Close();
    q->Open();
    EXPECT_EQ(q->FetchMore(1000), 1000);
    EXPECT_EQ(q->FetchedCount(), q->FetchBatchSize() + 1000);
    EXPECT_EQ(q->RecNo(), 1);
    EXPECT_EQ(q->RecordValue(1099, 1), QVariant(QStringLiteral("n1100")));
    EXPECT_FALSE(q->RecordValue(1100, 1).isValid()) << "a row not read yet has no value";
    EXPECT_EQ(q->FetchMore(N), N - 1100);
    EXPECT_EQ(q->FetchMore(10), 0);
    EXPECT_TRUE(q->AllFetched());

    // A result smaller than a batch is read whole at the open.
    q->Close();
    q->SQL()->SetText(QStringLiteral("select id from big where id <= 3"));
    q->Open();
    EXPECT_TRUE(q->AllFetched());
    EXPECT_EQ(q->RecordCount(), 3);

    // A table dataset reads lazily too, in the order of its key.
    auto *t = new TOvTable(shop.owner());
    t->SetDatabaseName(QStringLiteral("Shop"));
    t->SetTableName(QStringLiteral("big"));
    t->Open();
    EXPECT_FALSE(t->AllFetched());
    EXPECT_TRUE(isSequence(walkRest(t), 1, N));
}

TEST_F(SQLiteBig, writesOnTheConnectionRunAtOnceAndTheDatasetKeepsTheRowsItOpenedWith)
{
    TOvQuery *q = makeQuery(shop.owner(), QStringLiteral("Shop"),
                            QStringLiteral("select id, name from big order by id"));
    q->Open();
    ASSERT_FALSE(q->AllFetched());
    // A change through the same connection while rows are unread runs at
    // once; the dataset goes on with the rows as they were at its open.
    TOvQuery *w = makeQuery(shop.owner(), QStringLiteral("Shop"),
                            QStringLiteral("update big set name = 'changed' where id > 100"));
    w->ExecSQL();
    EXPECT_EQ(w->RowsAffected(), N - 100);
    EXPECT_EQ(q->FetchedCount(), q->FetchBatchSize()) << "the write read nothing ahead";
    EXPECT_TRUE(isSequence(walkRest(q), 1, N)) << "each row once";
    q->Last();
    EXPECT_EQ(q->Fields(1)->AsString(), QStringLiteral("n%1").arg(N)) << "as it was at the open";

    // A write that moves the rows already read: each row still once, in order.
    q->Close();
    q->Open();
    w->SQL()->SetText(QStringLiteral("update big set name = 'n' || id, id = id + 100000"));
    w->ExecSQL();
    EXPECT_EQ(w->RowsAffected(), N);
    EXPECT_TRUE(isSequence(walkRest(q), 1, N)) << "no row read twice or skipped";

    // Reading statements leave open datasets as they are.
    q->Close();
    q->Open();
    TOvQuery *r = makeQuery(shop.owner(), QStringLiteral("Shop"),
                            QStringLiteral("select count(*) from big"));
    r->Open();
    EXPECT_EQ(r->Fields(0)->AsInteger(), N);
    EXPECT_FALSE(q->AllFetched()) << "a read does not read the other dataset on";
    TStringList list;
    Session()->GetTableNames(QStringLiteral("Shop"), QString(), false, &list);
    EXPECT_TRUE(list.toStringList().contains(QStringLiteral("big")));
    EXPECT_FALSE(q->AllFetched()) << "nor does a catalogue look-up";

    // A query that changes data is no lazy read: it runs at once, whole.
    TOvQuery *d = makeQuery(shop.owner(), QStringLiteral("Shop"),
                            QStringLiteral("delete from big where id > 100000 returning id"));
    d->Open();
    EXPECT_FALSE(q->AllFetched()) << "the open dataset was not read on";
    EXPECT_EQ(d->RecordCount(), N);
    EXPECT_EQ(q->RecordCount(), N) << "the rows of its open stay";
    EXPECT_EQ(shop.count(QStringLiteral("big")), 0) << "the delete ran to the end";

    // Several statements in one text still give the rows of the last query.
    TOvQuery *m = makeQuery(shop.owner(), QStringLiteral("Shop"),
                            QStringLiteral("insert into big values (1, 'one'), (2, 'two');"
                                           " select name from big order by id;"));
    m->Open();
    EXPECT_EQ(m->RecordCount(), 2);
    EXPECT_EQ(m->Fields(0)->AsString(), QStringLiteral("one"));
}

TEST_F(SQLiteBig, aClosedOrExhaustedDatasetLeavesTheFileToOtherWriters)
{
    // A partly read dataset holds the file's read lock; closing it, or
    // reading it to the end, gives the file back to other connections.
    TOvQuery *q
        = makeQuery(shop.owner(), QStringLiteral("Shop"), QStringLiteral("select id from big"));
    q->Open();
    q->Close();
    EXPECT_NO_THROW(shop.exec(QStringLiteral("insert into big values (-1, 'after close')")));
    q->Open();
    EXPECT_EQ(q->RecordCount(), N + 1);
    EXPECT_NO_THROW(shop.exec(QStringLiteral("insert into big values (-2, 'after the end')")));

    // The database closing closes the dataset and ends its statement first.
    q->Close();
    q->Open();
    shop.db()->Close();
    EXPECT_FALSE(q->Active());
    EXPECT_NO_THROW(shop.exec(QStringLiteral("insert into big values (-3, 'after disconnect')")));
}

TEST_F(SQLiteBig, aPartlyReadDatasetBlocksNoOtherProcessAndALockIsNamed)
{
    TOvQuery *q = makeQuery(shop.owner(), QStringLiteral("Shop"),
                            QStringLiteral("select id, name from big order by id"));
    q->Open();
    ASSERT_FALSE(q->AllFetched());
    // Another process writes at once, without waiting for a busy timeout.
    const QByteArray file = shop.file().toUtf8();
    const pid_t child = fork();
    if (child == 0) {
        sqlite3 *h = nullptr;
        int rc = sqlite3_open(file.constData(), &h);
        if (rc == SQLITE_OK)
            rc = sqlite3_exec(h, "insert into big values (100000, 'other process')", nullptr,
                              nullptr, nullptr);
        _exit(rc == SQLITE_OK ? 0 : 10 + (rc & 0xff));
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10 + the writer's SQLite error; 15 is SQLITE_BUSY";
    q->Last();
    EXPECT_EQ(q->RecNo(), N) << "the other process's row came after the open";
    q->Close();
    q->Open();
    q->Last();
    EXPECT_EQ(q->Fields(1)->AsString(), QStringLiteral("other process")) << "the next open has it";

    // A writer that holds the file: the open that gives up names the
    // dataset and its database.
    q->Close();
    shop.db()->Close();
    shop.db()->Params()->Add(QStringLiteral("BUSY TIMEOUT=50"));
    shop.db()->Open();
    sqlite3 *writer = nullptr;
    ASSERT_EQ(sqlite3_open(file.constData(), &writer), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(writer, "begin exclusive", nullptr, nullptr, nullptr), SQLITE_OK);
    try {
        q->Open();
        ADD_FAILURE() << "read through an exclusive lock";
    } catch (const EOvDatabaseError &e) {
        EXPECT_TRUE(e.Locked());
        EXPECT_EQ(e.Message(), SLockWait().arg(QStringLiteral("Query"), QStringLiteral("Shop"),
                                               QStringLiteral("database is locked")));
    }
    sqlite3_exec(writer, "rollback", nullptr, nullptr, nullptr);
    sqlite3_close(writer);
}

TEST_F(SQLiteBig, aRowThatFailsIsReportedEveryTimeAndTheRowsBeforeStay)
{
    // abs() of the smallest integer overflows: row 151 fails.
    TOvQuery *q = makeQuery(
        shop.owner(), QStringLiteral("Shop"),
        QStringLiteral(
            "select id, case when id = 151 then abs(-9223372036854775807 - 1) else id end"
            " as v from big order by id"));
    q->Open();
    EXPECT_EQ(q->FetchedCount(), 100) << "the first batch is fine";
    try {
        walkRest(q);
        FAIL() << "the failing row stops the walk";
    } catch (const EOvDatabaseError &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("overflow"), Qt::CaseInsensitive))
            << e.Message().toStdString();
    }
    EXPECT_EQ(q->Fields(0)->AsInteger(), 150) << "the cursor stays on the last good row";
    EXPECT_EQ(q->FetchedCount(), 150);
    EXPECT_THROW(q->Next(), EOvDatabaseError) << "the same failure again, no silent end";
    EXPECT_THROW(q->RecordCount(), EOvDatabaseError) << "no count that leaves rows out";
    EXPECT_FALSE(q->AllFetched());
    EXPECT_FALSE(q->Eof());
    q->Close();
    q->SQL()->SetText(QStringLiteral("select id from big"));
    q->Open();
    EXPECT_EQ(q->RecordCount(), N) << "closing clears the failure";
}

TEST_F(SQLiteBig, aFailingRowsErrorSurvivesAWriteThatReadsAhead)
{
    TOvQuery *q = makeQuery(
        shop.owner(), QStringLiteral("Shop"),
        QStringLiteral(
            "select id, case when id = 151 then abs(-9223372036854775807 - 1) else id end"
            " as v from big order by id"));
    q->Open();
    ASSERT_EQ(q->FetchedCount(), 100);
    // A write on the same connection reads nothing ahead (a row after those
    // read); the dataset meets the failing row when it gets that far, never
    // a silent end after the good rows.
    TOvQuery *w = makeQuery(shop.owner(), QStringLiteral("Shop"),
                            QStringLiteral("insert into big values (100000, 'written')"));
    EXPECT_NO_THROW(w->ExecSQL()) << "the write is not the reader's failure";
    EXPECT_THROW(walkRest(q), EOvDatabaseError);
    EXPECT_EQ(q->FetchedCount(), 150) << "the rows before the failing one";
    EXPECT_THROW(q->RecordCount(), EOvDatabaseError) << "again, no count that leaves rows out";
    EXPECT_EQ(shop.count(QStringLiteral("big")), N + 1) << "the write went through";
}

// --- PostgreSQL -----------------------------------------------------------------

namespace {

// A schema with a table "big" of N rows, and a database component whose
// connection names itself, so that its sessions can be found on the server.
class PostgreSQLBig : public ::testing::Test
{
protected:
    static constexpr int N = 20000;
    void SetUp() override
    {
        QString problem;
        admin = pgAdmin(&problem);
        OV_REQUIRE_PG(problem);
        id = pgUniqueName(QString());
        schema = QStringLiteral("ovlazy_") + id;
        admin->Execute(QStringLiteral("create schema %1; create table %1.big (id integer primary "
                                      "key, name text); insert into %1.big select g, 'n' || g"
                                      " from generate_series(1, %2) g")
                           .arg(schema)
                           .arg(N),
                       {});
        db = new TOvDatabase(&owner);
        db->SetDatabaseName(QStringLiteral("Lazy") + id);
        db->SetServerType(TOvServerType::stPostgreSQL);
        db->SetLoginPrompt(false);
        db->SetRemoteDatabase(pgConnInfo());
        db->Params()->Add(QStringLiteral("options=-c search_path=%1,public").arg(schema));
        db->Params()->Add(QStringLiteral("application_name=") + schema);
    }
    void TearDown() override
    {
        delete db; // its datasets close first
        if (admin && admin->IsConnected())
            admin->Execute(QStringLiteral("drop schema if exists %1 cascade").arg(schema), {});
    }
    qint64 adminCount(const QString &SQL)
    {
        const TOvResult r = admin->Execute(SQL.arg(schema), {});
        return r.Rows.empty() ? -1 : r.Rows.front().front().toLongLong();
    }
    // Sessions of the component left inside a transaction.
    qint64 idleInTransaction()
    {
        return adminCount(QStringLiteral("select count(*) from pg_stat_activity where"
                                         " application_name = '%1' and state like 'idle in%'"));
    }
    TOvQuery *query(const QString &SQL) { return makeQuery(&owner, db->DatabaseName(), SQL); }

    std::unique_ptr<TOvDriver> admin;
    QObject owner;
    TOvDatabase *db = nullptr;
    QString id, schema;
};

} // namespace

TEST_F(PostgreSQLBig, aCursorReadsInBatchesAndEndsItsTransactionWhenDone)
{
    TOvQuery *q = query(QStringLiteral("select id, name from big where id > :min order by id"));
    q->ParamByName(QStringLiteral("min"))->SetAsInteger(10);
    q->Open();
    EXPECT_EQ(q->FetchedCount(), q->FetchBatchSize());
    EXPECT_FALSE(q->AllFetched());
    EXPECT_EQ(q->Fields(0)->AsInteger(), 11) << "the parameter is bound in the cursor";
    EXPECT_EQ(q->FieldByName(QStringLiteral("name"))->OriginTable, QStringLiteral("big"))
        << "field origins as for a plain result";
    EXPECT_EQ(idleInTransaction(), 0) << "between two reads the session holds nothing";

    // Catalogue look-ups and other queries run beside it and read it no further.
    TStringList list;
    Session()->GetTableNames(db->DatabaseName(), QString(), false, &list);
    EXPECT_TRUE(list.toStringList().contains(QStringLiteral("big")));
    EXPECT_TRUE(db->GetSchemaInfo(TOvSchemaType::stIndexes, QStringLiteral("nosuch"))->IsEmpty());
    TOvQuery *other = query(QStringLiteral("select id from big order by id desc"));
    other->Open();
    EXPECT_EQ(other->Fields(0)->AsInteger(), N);
    EXPECT_FALSE(q->AllFetched());

    EXPECT_TRUE(isSequence(walkRest(q), 11, N));
    EXPECT_EQ(idleInTransaction(), 0);
    other->Close();
    q->Close();
    q->Open();
    EXPECT_EQ(idleInTransaction(), 0);
    q->Open();
    EXPECT_EQ(q->RecordCount(), N - 10);
    EXPECT_EQ(idleInTransaction(), 0) << "read to the end";
}

TEST_F(PostgreSQLBig, aChangeWhileRowsAreUnreadIsCommittedAndTheDatasetKeepsItsRows)
{
    TOvQuery *q = query(QStringLiteral("select id, name from big order by id"));
    q->Open();
    ASSERT_FALSE(q->AllFetched());
    TOvQuery *w = query(QStringLiteral("update big set name = 'changed' where id > 100"));
    w->ExecSQL();
    EXPECT_EQ(w->RowsAffected(), N - 100);
    EXPECT_EQ(q->FetchedCount(), q->FetchBatchSize()) << "the write read nothing ahead";
    q->Last();
    EXPECT_EQ(q->RecNo(), N);
    EXPECT_EQ(q->Fields(1)->AsString(), QStringLiteral("n%1").arg(N)) << "as at the open";
    EXPECT_EQ(adminCount(QStringLiteral("select count(*) from %1.big where name = 'changed'")),
              N - 100)
        << "the update was committed";
    EXPECT_EQ(idleInTransaction(), 0);

    // Inside the user's own transaction the rows are read in it, and the
    // user's rollback still rolls back what the user did.
    db->ExecSQL(QStringLiteral("begin"));
    q->Close();
    q->Open();
    EXPECT_EQ(q->RecordCount(), N);
    q->Close();
    q->Open();
    db->ExecSQL(QStringLiteral("delete from big where id <= 10"));
    EXPECT_EQ(q->RecordCount(), N) << "the rows as at the open";
    q->Close();
    q->Open();
    EXPECT_EQ(q->RecordCount(), N - 10) << "the transaction sees its own delete";
    q->Close();
    q->Open();
    db->ExecSQL(QStringLiteral("rollback"));
    EXPECT_EQ(adminCount(QStringLiteral("select count(*) from %1.big")), N) << "rolled back";
    EXPECT_EQ(idleInTransaction(), 0);
    try {
        q->Last();
        ADD_FAILURE() << "rows of a rolled-back transaction read on";
    } catch (const EOvDatabaseError &e) {
        EXPECT_EQ(e.Message(), SRowsRolledBack());
    }
    EXPECT_EQ(q->FetchedCount(), q->FetchBatchSize()) << "the rows handed out stay";

    // Rows opened in a transaction that commits are read on after it.
    q->Close();
    db->ExecSQL(QStringLiteral("begin"));
    q->Open();
    db->ExecSQL(QStringLiteral("commit"));
    EXPECT_TRUE(isSequence(walkRest(q), 1, N));
    EXPECT_EQ(idleInTransaction(), 0);
}

TEST_F(PostgreSQLBig, aPartlyReadDatasetBlocksNoOtherSessionAndALockIsNamed)
{
    TOvQuery *q = query(QStringLiteral("select id, name from big order by id"));
    q->Open();
    ASSERT_FALSE(q->AllFetched());
    // Another session changes the table's schema without waiting.
    admin->Execute(QStringLiteral("set lock_timeout = '2s'"), {});
    EXPECT_NO_THROW(admin->Execute(
        QStringLiteral("alter table %1.big add column extra integer").arg(schema), {}));
    EXPECT_TRUE(isSequence(walkRest(q), 1, N)) << "read on after the change";

    // A session that holds the table: a partly read dataset reads on, and
    // the open that gives up names the dataset and its database.
    q->Close();
    q->Open();
    db->ExecSQL(QStringLiteral("set lock_timeout = 200"));
    admin->Execute(QStringLiteral("begin"), {});
    admin->Execute(QStringLiteral("lock table %1.big in access exclusive mode").arg(schema), {});
    EXPECT_TRUE(isSequence(walkRest(q), 1, N)) << "its rows are kept apart from the table";
    q->Close();
    try {
        q->Open();
        ADD_FAILURE() << "read through an exclusive lock";
    } catch (const EOvDatabaseError &e) {
        EXPECT_TRUE(e.Locked());
        EXPECT_TRUE(e.Message().startsWith(
            SLockWait().arg(QStringLiteral("Query"), db->DatabaseName(), QString())))
            << e.Message().toStdString();
    }
    admin->Execute(QStringLiteral("rollback"), {});
    EXPECT_EQ(idleInTransaction(), 0);
    q->Close();
    q->Open();
    EXPECT_EQ(q->RecordCount(), N) << "the connection goes on";
}

TEST_F(PostgreSQLBig, whatACursorCannotReadRunsThePlainWay)
{
    // select into and a data-changing with clause are refused by cursors.
    TOvQuery *q = query(QStringLiteral("select id into big_copy from big where id <= 5"));
    q->Open();
    EXPECT_EQ(adminCount(QStringLiteral("select count(*) from %1.big_copy")), 5);
    q->Close();
    q->SQL()->SetText(QStringLiteral(
        "with gone as (delete from big where id > :keep returning id) select count(*) from gone"));
    q->ParamByName(QStringLiteral("keep"))->SetAsInteger(N - 7);
    q->Open();
    EXPECT_EQ(q->Fields(0)->AsInteger(), 7);
    EXPECT_EQ(adminCount(QStringLiteral("select count(*) from %1.big")), N - 7) << "committed";
    EXPECT_EQ(idleInTransaction(), 0);
    q->Close();

    // A statement that is simply wrong fails the open with the server's message.
    q->SQL()->SetText(QStringLiteral("select nosuchcolumn from big"));
    try {
        q->Open();
        FAIL() << "opens nothing";
    } catch (const EOvDatabaseError &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("nosuchcolumn")))
            << e.Message().toStdString();
    }
    EXPECT_EQ(idleInTransaction(), 0) << "nothing left open";

    // A row that fails on the server fails the open, which runs the query
    // to its end, and the connection goes on.
    q->SQL()->SetText(QStringLiteral("select 1000 / (id - 150) from big order by id"));
    try {
        q->Open();
        ADD_FAILURE() << "a result with a failing row opened";
    } catch (const EOvDatabaseError &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("division by zero")))
            << e.Message().toStdString();
    }
    EXPECT_FALSE(q->Active());
    EXPECT_EQ(idleInTransaction(), 0) << "the failed transaction was ended";
    TOvQuery *after = query(QStringLiteral("select count(*) from big"));
    after->Open();
    EXPECT_EQ(after->Fields(0)->AsInteger(), N - 7);

    // Two cursors on one connection: the failure of one leaves the other
    // readable, and look-ups work at once.
    TOvQuery *good = query(QStringLiteral("select id from big order by id"));
    good->Open();
    q->Close();
    EXPECT_THROW(q->Open(), EOvDatabaseError);
    EXPECT_EQ(idleInTransaction(), 0);
    TStringList list;
    Session()->GetTableNames(db->DatabaseName(), QString(), false, &list);
    EXPECT_TRUE(list.toStringList().contains(QStringLiteral("big")));
    EXPECT_EQ(good->RecordCount(), N - 7);
}
