// Round trips to a PostgreSQL server, counted by a proxy in front of it: the
// catalogue answers a connection keeps, when it forgets them, and batches
// that cost a fixed number of round trips however many requests they hold.
#include "PgLatencyProxy.h"
#include "PgTestServer.h"

#include "orvlib/OvCatalogueCache.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDriver.h"

#include "rtl/SysUtils.h"

#include <libpq-fe.h>

#include <gtest/gtest.h>

#include <memory>

namespace {

class CatalogueRoundTrips : public ::testing::Test
{
protected:
    void SetUp() override
    {
        OV_REQUIRE_PG(pgMissing());
        proxy = std::make_unique<PgLatencyProxy>(pgConnInfo());
        ASSERT_TRUE(proxy->Problem().isEmpty()) << proxy->Problem().toStdString();
        db.SetDatabaseName(QStringLiteral("ROUNDTRIPS"));
        schema = pgUniqueName("ovrt_");
        OV_REQUIRE_PG(pgOpenInSchema(&db, schema, proxy->ConnInfo()));
        db.ExecSQL(QStringLiteral("create table t1 (id integer primary key, name text);"
                                  "create table t2 (id integer primary key, t1 integer);"
                                  "create unique index t2_t1 on t2 (t1)"));
        proxy->ResetCount();
    }

    void TearDown() override
    {
        if (db.Connected() && !schema.isEmpty())
            db.ExecSQL(QStringLiteral("drop schema if exists %1 cascade").arg(schema));
        db.Close();
        proxy.reset();
    }

    // The round trips Act costs.
    template<class F>
    int roundTrips(F Act)
    {
        proxy->ResetCount();
        Act();
        return proxy->RoundTrips();
    }

    std::unique_ptr<PgLatencyProxy> proxy;
    TOvDatabase db;
    QString schema;
};

// The tables of the test's schema (first on the search path, so bare) in a
// listing that also holds other tests' schemas on the shared server.
QStringList ours(const QStringList &Tables)
{
    QStringList bare;
    for (const QString &t : Tables)
        if (!t.contains(u'.'))
            bare << t;
    return bare;
}

QStringList namesOf(const QList<TOvColumnInfo> &Columns)
{
    QStringList names;
    for (const TOvColumnInfo &c : Columns)
        names << c.Name;
    return names;
}

} // namespace

// The proxy counts what a client waits for: a connection's start-up (after
// the encryption request, answered with a byte that is no message) and one
// query are two round trips, with and without the request.
TEST_F(CatalogueRoundTrips, proxyCountsReadyForQuery)
{
    for (const char *ssl : {"sslmode=prefer", "sslmode=disable"}) {
        proxy->ResetCount();
        PGconn *c = PQconnectdb((proxy->ConnInfo() + u' ' + QLatin1String(ssl)).toUtf8());
        ASSERT_EQ(PQstatus(c), CONNECTION_OK) << PQerrorMessage(c);
        EXPECT_EQ(proxy->RoundTrips(), 1) << ssl << ": start-up";
        PQclear(PQexec(c, "select 1; select 2"));
        EXPECT_EQ(proxy->RoundTrips(), 2) << ssl << ": one simple query of two statements";
        PQfinish(c);
    }
}

// A list or a table's fields asked for again costs nothing; a person's
// Refresh, a statement that changes the schema, an error that says it
// changed, and a new connection make the next look-up ask the server.
TEST_F(CatalogueRoundTrips, cacheKeepsAnswersUntilTheSchemaMayHaveChanged)
{
    TOvDriver &driver = db.Driver();
    QStringList tables;
    EXPECT_EQ(roundTrips([&] { tables = driver.TableNames(false); }), 1) << "first listing";
    EXPECT_EQ(ours(tables), QStringList({"t1", "t2"}));
    EXPECT_EQ(roundTrips([&] { tables = driver.MatchingTableNames(false, "*2"); }), 0)
        << "a pattern filters the kept list";
    EXPECT_EQ(ours(tables), QStringList({"t2"}));
    EXPECT_TRUE(db.Catalogue()->TableNamesReadAt(false).isValid()) << "the list's age is known";
    EXPECT_FALSE(db.Catalogue()->TableNamesReadAt(true).isValid()) << "not the other list's";

    EXPECT_EQ(roundTrips([&] { driver.Columns("t1"); }), 1) << "first read of the fields";
    EXPECT_EQ(roundTrips([&] {
                  EXPECT_EQ(driver.ColumnNames("t1"), QStringList({"id", "name"}));
              }),
              0)
        << "names from the kept columns";
    EXPECT_EQ(roundTrips([&] { driver.IndexColumns("t2"); }), 1);
    EXPECT_EQ(roundTrips([&] { driver.IndexColumns("t2"); }), 0) << "indexes kept";

    // A failure that says nothing of the schema keeps the answers.
    EXPECT_THROW(db.ExecSQL("select 1 / 0"), EOvDatabaseError);
    EXPECT_EQ(roundTrips([&] { driver.Columns("t1"); }), 0) << "kept after division by zero";

    // One that names a missing table forgets them.
    try {
        db.ExecSQL("select * from no_such_table");
        ADD_FAILURE() << "the server refused nothing";
    } catch (const EOvDatabaseError &e) {
        EXPECT_TRUE(e.SchemaChanged()) << "the error says the schema changed";
    }
    EXPECT_EQ(roundTrips([&] { driver.Columns("t1"); }), 1) << "read again after the error";

    // A statement that alters a table forgets them too.
    db.ExecSQL("alter table t1 add column born date");
    EXPECT_EQ(roundTrips([&] {
                  EXPECT_EQ(namesOf(driver.Columns("t1")), QStringList({"id", "name", "born"}));
              }),
              1)
        << "the new column is seen";

    db.ExecSQL("create table t3 (id integer)");
    EXPECT_EQ(ours(driver.TableNames(false)), QStringList({"t1", "t2", "t3"})) << "the new table";

    // Refresh.
    int generation = db.Catalogue()->Generation();
    db.RefreshCatalogue();
    EXPECT_GT(db.Catalogue()->Generation(), generation);
    EXPECT_EQ(roundTrips([&] { driver.TableNames(false); }), 1) << "read again after Refresh";

    // A new connection starts empty.
    db.Close();
    db.Open();
    EXPECT_EQ(roundTrips([&] { db.Driver().TableNames(false); }), 1) << "a new connection";
}

// A batch of descriptions costs one round trip, and one more for each
// statement the server refuses; each refusal stays on its own statement.
TEST_F(CatalogueRoundTrips, describeManyIsOneRoundTripPlusOnePerRefusal)
{
    TOvDriver &driver = db.Catalogue()->Inner();
    QStringList statements;
    for (int i = 0; i < 40; ++i)
        statements << (i == 10   ? QStringLiteral("select nothing from t1")
                       : i == 25 ? QStringLiteral("selec 1")
                                 : QStringLiteral("select id, name from t1 where id = $1"));
    std::vector<TOvAnswer<TOvStatementInfo>> answers;
    EXPECT_EQ(roundTrips([&] { answers = driver.DescribeMany(statements); }), 3);
    ASSERT_EQ(answers.size(), 40u);
    for (int i = 0; i < 40; ++i) {
        const bool refused = i == 10 || i == 25;
        EXPECT_EQ(bool(answers[i].Error), refused) << "statement " << i;
        if (!refused) {
            EXPECT_EQ(answers[i].Value.Fields.size(), 2) << "statement " << i;
        }
    }
    EXPECT_TRUE(answers[10].Error->Message().contains("nothing")) << "the server's message";

    std::vector<TOvAnswer<QList<TOvColumnInfo>>> columns;
    EXPECT_EQ(roundTrips([&] { columns = driver.ColumnsMany({"t1", "missing", "t2", "t1"}); }), 1);
    ASSERT_EQ(columns.size(), 4u);
    EXPECT_EQ(namesOf(columns[0].Value), QStringList({"id", "name"}));
    EXPECT_TRUE(columns[1].Value.isEmpty() && !columns[1].Error) << "an unknown table: no columns";
    EXPECT_EQ(namesOf(columns[2].Value), QStringList({"id", "t1"}));
    EXPECT_EQ(namesOf(columns[3].Value), QStringList({"id", "name"})) << "asked twice";

    // Inside a transaction a refusal would end it: the batch asks one by one
    // there, and the transaction goes on.
    db.ExecSQL("begin");
    answers = driver.DescribeMany(statements.mid(9, 3));
    EXPECT_TRUE(answers[1].Error && !answers[0].Error && !answers[2].Error);
    EXPECT_NO_THROW(db.ExecSQL("select 1")) << "the transaction is whole";
    db.ExecSQL("rollback");

    // Through the cache, a batch asks only for what is not kept.
    TOvDriver &cached = db.Driver();
    cached.Columns("t1");
    EXPECT_EQ(roundTrips([&] { columns = cached.ColumnsMany({"t1", "t2"}); }), 1);
    EXPECT_EQ(roundTrips([&] { columns = cached.ColumnsMany({"t1", "t2"}); }), 0) << "all kept";
    EXPECT_EQ(namesOf(columns[1].Value), QStringList({"id", "t1"}));
}

// A query's fields are the server's description of it: one round trip the
// first time, none the next, and a statement that changes data changes
// none. Its open declares, commits and fetches the first page in one
// exchange; the fields' origins cost one more, and a result that ends
// within the first page one more to close its cursor.
TEST_F(CatalogueRoundTrips, aQuerysFieldsAreDescribedAndItsOpenReadsTheFirstPageAtOnce)
{
    db.ExecSQL("insert into t1 select g, 'n' || g from generate_series(1, 150) g");
    TOvQuery q;
    q.SetDatabaseName(db.DatabaseName());
    q.SQL()->SetText("select id, name from t1 where id > :low order by id");
    q.ParamByName("low")->SetAsInteger(5);
    QStringList names;
    EXPECT_EQ(roundTrips([&] { names = q.FieldDefNames(); }), 1) << "described";
    EXPECT_EQ(names, QStringList({"id", "name"}));
    EXPECT_EQ(roundTrips([&] { names = q.FieldDefNames(); }), 0) << "the description is kept";

    EXPECT_EQ(roundTrips([&] { q.Open(); }), 2) << "open and first page, then origins";
    EXPECT_EQ(q.FieldByName("id")->AsInteger(), 6);
    EXPECT_EQ(q.FieldByName("name")->OriginTable, "t1");
    EXPECT_EQ(q.RecordCount(), 145) << "the rest after the first page";
    // The described fields take the types an open gives them.
    TOvQuery described;
    described.SetDatabaseName(db.DatabaseName());
    described.SQL()->Assign(*q.SQL());
    described.FieldDefNames();
    for (const char *name : {"id", "name"})
        EXPECT_EQ(described.CreatePersistentField(name, &described)->DataType(),
                  q.FieldByName(name)->DataType())
            << name;
    q.Close();

    q.SQL()->SetText("select id, name from t1 where id < :low");
    q.ParamByName("low")->SetAsInteger(3);
    EXPECT_EQ(roundTrips([&] { q.Open(); }), 3) << "a short result also closes its cursor";
    EXPECT_EQ(q.RecordCount(), 2);
    q.Close();

    // Adding fields must not run the statement.
    TOvQuery writer;
    writer.SetDatabaseName(db.DatabaseName());
    writer.SQL()->SetText("update t1 set name = 'changed' returning id, name as label");
    EXPECT_EQ(writer.FieldDefNames(), QStringList({"id", "label"}));
    q.SQL()->SetText("select count(*) from t1 where name = 'changed'");
    q.Open();
    EXPECT_EQ(q.Fields(0)->AsInteger(), 0) << "describing changed no row";
}

TEST(CatalogueAgeText, saysHowOldAListIs)
{
    const QDateTime now = QDateTime::fromSecsSinceEpoch(1'000'000);
    EXPECT_EQ(CatalogueAgeText(QDateTime(), now), QString()) << "nothing kept";
    EXPECT_TRUE(CatalogueAgeText(now.addSecs(-59), now).startsWith("as read just now"));
    EXPECT_TRUE(CatalogueAgeText(now.addSecs(-180), now).startsWith("as read 3 min ago"));
    EXPECT_TRUE(CatalogueAgeText(now.addSecs(-7200), now).startsWith("as read 2 h ago"));
    EXPECT_TRUE(CatalogueAgeText(now.addSecs(10), now).startsWith("as read just now"))
        << "a clock set back";
}
