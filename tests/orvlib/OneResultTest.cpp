// A dataset shows one result of one run of its query: while it is partly
// read, another session moves rows and the dataset's own connection writes
// the rows it shows, and still every row comes once, in the query's order,
// and what the query does besides reading is done once. On SQLite and
// PostgreSQL, each with a second, independent session.

#include "PgTestServer.h"
#include "SQLiteFixture.h"

#include "orvlib/OvConsts.h"
#include "orvlib/OvDB.h"
#include "orvlib/OvDriver.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

constexpr int Rows = 1000;

// The ids of Ds from its first row to its end.
std::vector<qint64> walkAll(TDataSet *Ds)
{
    std::vector<qint64> ids;
    for (Ds->First(); !Ds->Eof(); Ds->Next())
        ids.push_back(Ds->Fields(0)->AsInteger());
    return ids;
}

std::vector<qint64> idsFrom(qint64 From, qint64 To)
{
    std::vector<qint64> ids;
    for (qint64 i = From; i <= To; ++i)
        ids.push_back(i);
    return ids;
}

// The table "ranked" holds ids 1..Rows ranked by k = 10 * id. Q reads
// "order by k". OtherSession runs SQL in a session of its own; Own runs it
// on the dataset's connection.
void moveRowsWhilePartlyRead(TOvQuery *Q, const std::function<void(const QString &)> &OtherSession,
                             const std::function<void(const QString &)> &Own)
{
    Q->Open();
    for (int i = 1; i < 100; ++i)
        Q->Next();
    ASSERT_EQ(Q->Fields(0)->AsInteger(), 100);
    ASSERT_FALSE(Q->AllFetched());
    // Row 1 moves just past row 100 (the last one read), row 150 to the front.
    OtherSession(QStringLiteral("update ranked set k = 1005 where id = 1"));
    OtherSession(QStringLiteral("update ranked set k = 0 where id = 150"));
    EXPECT_EQ(walkAll(Q), idsFrom(1, Rows)) << "each row once, as the query ran at the open";

    // The rows as they are now: 150, 2..100, 1, 101..149, 151..1000.
    std::vector<qint64> now{150};
    for (qint64 id : idsFrom(2, 100))
        now.push_back(id);
    now.push_back(1);
    for (qint64 id : idsFrom(101, Rows))
        if (id != 150)
            now.push_back(id);
    Q->Close();
    Q->Open();
    for (int i = 1; i < 100; ++i)
        Q->Next();
    // The dataset's own connection writes the row it stands on and one ahead.
    Own(QStringLiteral("update ranked set k = -5 where id = %1").arg(Q->Fields(0)->AsInteger()));
    Own(QStringLiteral("update ranked set k = k + 1 where id = 500"));
    EXPECT_EQ(walkAll(Q), now) << "its own writes leave the rows it shows alone";
    Q->Close();
}

class SQLiteOneResult : public ::testing::Test
{
protected:
    void SetUp() override
    {
        shop.exec(QStringLiteral("create table ranked (id integer primary key, k integer);"
                                 "with recursive s(i) as (select 1 union all select i + 1 from s"
                                 " where i < %1) insert into ranked select i, 10 * i from s;")
                      .arg(Rows));
    }
    TOvQuery *query(const QString &SQL)
    {
        auto *q = new TOvQuery(shop.owner());
        q->setObjectName(QStringLiteral("Query"));
        q->SetDatabaseName(QStringLiteral("Shop"));
        q->SQL()->SetText(SQL);
        return q;
    }
    SQLiteShop shop;
};

} // namespace

TEST_F(SQLiteOneResult, eachRowOnceWhileAnotherConnectionMovesRowsAndItsOwnWrites)
{
    TOvQuery *q = query(QStringLiteral("select id from ranked order by k"));
    moveRowsWhilePartlyRead(
        q, [this](const QString &SQL) { shop.exec(SQL); },
        [this](const QString &SQL) { shop.db()->ExecSQL(SQL); });

    // A query whose result differs from run to run reads as one run.
    q->SQL()->SetText(QStringLiteral("select id, random() from ranked order by id"));
    q->Open();
    EXPECT_EQ(walkAll(q), idsFrom(1, Rows));
}

TEST_F(SQLiteOneResult, aResultPastTheMemoryBoundSaysSoAfterTheRowsWithin)
{
    shop.db()->Params()->Add(QStringLiteral("MAX RESULT MB=1"));
    // 1,000 rows of 10,000 bytes: 10 MB, of which about the first megabyte is kept.
    TOvQuery *q = query(QStringLiteral("select id, zeroblob(10000) from ranked order by id"));
    q->Open();
    EXPECT_EQ(q->Fields(0)->AsInteger(), 1) << "the rows within the bound are shown";
    try {
        q->Last();
        ADD_FAILURE() << "a result past the bound was read whole";
    } catch (const EOvDatabaseError &e) {
        EXPECT_EQ(e.Message(), SResultTooLarge().arg(1));
    }
    EXPECT_GT(q->FetchedCount(), 100);
    EXPECT_LT(q->FetchedCount(), 110);
    q->Close();

    // Within the bound the same query reads to the end.
    q->SQL()->SetText(QStringLiteral("select id, zeroblob(500) from ranked order by id"));
    q->Open();
    EXPECT_EQ(q->RecordCount(), Rows);
}

// --- PostgreSQL -----------------------------------------------------------------

namespace {

class PostgreSQLOneResult : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString problem;
        admin = pgAdmin(&problem);
        OV_REQUIRE_PG(problem);
        schema = pgUniqueName(QStringLiteral("ovone_"));
        db = new TOvDatabase(&owner);
        db->SetDatabaseName(QStringLiteral("One") + schema);
        ASSERT_EQ(pgOpenInSchema(db, schema), QString());
        db->ExecSQL(QStringLiteral("create table ranked (id integer primary key, k integer);"
                                   " insert into ranked select g, 10 * g"
                                   " from generate_series(1, %1) g")
                        .arg(Rows));
    }
    void TearDown() override
    {
        delete db;
        if (admin && admin->IsConnected())
            admin->Execute(QStringLiteral("drop schema if exists %1 cascade").arg(schema), {});
    }
    qint64 adminValue(const QString &SQL)
    {
        const TOvResult r = admin->Execute(SQL.arg(schema), {});
        return r.Rows.empty() ? -1 : r.Rows.front().front().toLongLong();
    }
    TOvQuery *query(const QString &SQL)
    {
        auto *q = new TOvQuery(&owner);
        q->setObjectName(QStringLiteral("Query"));
        q->SetDatabaseName(db->DatabaseName());
        q->SQL()->SetText(SQL);
        return q;
    }

    std::unique_ptr<TOvDriver> admin;
    QObject owner;
    TOvDatabase *db = nullptr;
    QString schema;
};

} // namespace

TEST_F(PostgreSQLOneResult, eachRowOnceWhileAnotherSessionMovesRowsAndItsOwnWrites)
{
    TOvQuery *q = query(QStringLiteral("select id from ranked order by k"));
    moveRowsWhilePartlyRead(
        q,
        [this](const QString &SQL) {
            admin->Execute(QStringLiteral("set search_path to %1; ").arg(schema) + SQL, {});
        },
        [this](const QString &SQL) { db->ExecSQL(SQL); });
}

TEST_F(PostgreSQLOneResult, whatTheQueryDoesBesidesReadingIsDoneOnce)
{
    db->ExecSQL(QStringLiteral(
        "create table log (id integer); create sequence numbers;"
        " create function logged(i integer) returns integer volatile language plpgsql as"
        " $$ begin insert into log values (i); return i; end $$"));
    TOvQuery *q = query(QStringLiteral("select logged(id) from ranked order by id"));
    q->Open();
    EXPECT_FALSE(q->AllFetched());
    EXPECT_EQ(adminValue(QStringLiteral("select count(*) from %1.log")), Rows)
        << "the open ran the query once, to its end, and committed what it wrote";
    EXPECT_EQ(walkAll(q), idsFrom(1, Rows));
    EXPECT_EQ(adminValue(QStringLiteral("select count(*) from %1.log")), Rows)
        << "reading on runs nothing again";
    EXPECT_EQ(adminValue(QStringLiteral("select count(distinct id) from %1.log")), Rows);
    q->Close();

    q->SQL()->SetText(QStringLiteral("select nextval('numbers') from ranked"));
    q->Open();
    EXPECT_EQ(q->RecordCount(), Rows);
    EXPECT_EQ(adminValue(QStringLiteral("select last_value from %1.numbers")), Rows)
        << "one number per row shown";
    q->Close();

    // A partly read dataset keeps one cursor on its connection; closing it
    // closes the cursor.
    auto cursors = [this] {
        return db->Driver()
            .Execute(QStringLiteral("select count(*) from pg_cursors"), {})
            .Rows.front()
            .front()
            .toLongLong();
    };
    q->SQL()->SetText(QStringLiteral("select id from ranked"));
    q->Open();
    EXPECT_EQ(cursors(), 1);
    q->Close();
    EXPECT_EQ(cursors(), 0) << "closing a dataset closes its cursor on the server";
}
