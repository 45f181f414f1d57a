// The MariaDB/MySQL driver against the server named by OV_MY_CONNINFO
// (scripts/test starts one). Outside CI the tests skip when it is unset or
// unreachable; under CI they fail. Every test works in a database of its own.

#include "MyTestServer.h"
#include "SQLiteFixture.h" // PrintTo for QString

#include "orvlib/OvCommon.h"
#include "orvlib/OvConsts.h"
#include "orvlib/OvDB.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDriver.h"

#include "rtl/SysUtils.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <set>

namespace {

class MySQLTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        db = std::make_unique<MyTestDatabase>();
        OV_REQUIRE_MY(db->Problem());
        driver = db->Connect();
    }
    QVariant scalar(const QString &SQL, const QVariantList &Params = {})
    {
        const TOvResult r = driver->Execute(SQL, Params);
        return r.Rows.empty() ? QVariant() : r.Rows.front().front();
    }
    // Every row of a cursor, read a few at a time.
    static std::vector<QVariantList> readAll(TOvCursor &Cursor)
    {
        std::vector<QVariantList> rows;
        while (Cursor.FetchRows(rows, 3) == 3) {
        }
        return rows;
    }

    std::unique_ptr<MyTestDatabase> db;
    std::unique_ptr<TOvDriver> driver;
};

// One row of every kind of column, as the server holds it.
const char kAllTypes[] = R"sql(
create table all_types (
  id int primary key,
  small_dec decimal(10,2), long_dec decimal(65,30), big_u bigint unsigned, int_u int unsigned,
  tiny tinyint, fl float, dbl double, dt6 datetime(6), dt3 datetime(3), dt0 datetime,
  d date, t6 time(6), t0 time, ts timestamp(6) null, y year, b bit(10), b64 bit(64),
  e enum('a','b','c'), s set('a','b','c'), j json, txt text, vc varchar(20), bin varbinary(8),
  bl blob);
insert into all_types values (
  1, 12345678.91, '12345678901234567890123456789012345.123456789012345678901234567891',
  18446744073709551615, 4294967295, -128, 0.1, 1.7976931348623157e308,
  '2024-02-29 13:14:15.123456', '2024-02-29 13:14:15.123', '1999-12-31 23:59:59',
  '2024-02-29', '-838:59:59.000001', '12:34:56', '2024-03-01 00:00:00.000001', 2155,
  b'1010101010', b'1111111111111111111111111111111111111111111111111111111111111111',
  'b', 'a,c', '{"k": [1, 2]}', 'Zoë 😀 naïve', 'x''y\\z', x'00ff00', x'000102fffe');
insert into all_types (id) values (2);
)sql";

TEST_F(MySQLTest, EveryColumnTypeReadsAsTheServerHoldsItAndWritesBackUnchanged)
{
    db->Exec(QString::fromUtf8(kAllTypes));
    const TOvResult text
        = driver->Execute(QStringLiteral("select * from all_types order by id"), {});
    ASSERT_EQ(text.Rows.size(), 2u);
    // The binary protocol (a cursor with a bound parameter) reads the same values.
    std::unique_ptr<TOvCursor> cursor = driver->OpenCursor(
        QStringLiteral("select * from all_types where id >= ?1 order by id"), {1});
    const std::vector<QVariantList> binary = readAll(*cursor);
    ASSERT_EQ(binary.size(), 2u);
    for (int c = 0; c < text.Fields.size(); ++c) {
        EXPECT_EQ(text.Rows[0][c], binary[0][c]) << text.Fields[c].Name.toStdString();
        EXPECT_EQ(text.Rows[0][c].typeId(), binary[0][c].typeId())
            << text.Fields[c].Name.toStdString();
        EXPECT_TRUE(binary[1][c].isNull() || c == 0);
    }
    const QVariantList &row = binary[0];
    auto at = [&](const char *Name) {
        for (int c = 0; c < cursor->Fields.size(); ++c)
            if (cursor->Fields[c].Name == QLatin1String(Name))
                return row[c];
        ADD_FAILURE() << Name;
        return QVariant();
    };
    EXPECT_EQ(at("small_dec"), QVariant(12345678.91));
    EXPECT_EQ(at("long_dec"),
              QVariant(QStringLiteral(
                  "12345678901234567890123456789012345.123456789012345678901234567891")));
    EXPECT_EQ(at("big_u"), QVariant(qulonglong(18446744073709551615ull)));
    EXPECT_EQ(at("int_u"), QVariant(qlonglong(4294967295ll)));
    EXPECT_EQ(at("tiny"), QVariant(-128));
    EXPECT_EQ(at("fl"), QVariant(0.1));
    EXPECT_EQ(at("dbl"), QVariant(1.7976931348623157e308));
    EXPECT_EQ(at("dt6"), QVariant(QStringLiteral("2024-02-29 13:14:15.123456")));
    EXPECT_EQ(at("dt3"), QVariant(QDateTime(QDate(2024, 2, 29), QTime(13, 14, 15, 123))));
    EXPECT_EQ(at("dt0"), QVariant(QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59))));
    EXPECT_EQ(at("d"), QVariant(QDate(2024, 2, 29)));
    EXPECT_EQ(at("t6"), QVariant(QStringLiteral("-838:59:59.000001")));
    EXPECT_EQ(at("t0"), QVariant(QTime(12, 34, 56)));
    EXPECT_EQ(at("ts"), QVariant(QStringLiteral("2024-03-01 00:00:00.000001")));
    EXPECT_EQ(at("y"), QVariant(2155));
    EXPECT_EQ(at("b"), QVariant(qlonglong(0b1010101010)));
    EXPECT_EQ(at("b64"), QVariant(qulonglong(~0ull)));
    EXPECT_EQ(at("e"), QVariant(QStringLiteral("b")));
    EXPECT_EQ(at("s"), QVariant(QStringLiteral("a,c")));
    EXPECT_EQ(at("j"), QVariant(QStringLiteral("{\"k\": [1, 2]}")));
    EXPECT_EQ(at("txt"), QVariant(QString::fromUtf8("Zoë 😀 naïve")));
    EXPECT_EQ(at("vc"), QVariant(QStringLiteral("x'y\\z")));
    EXPECT_EQ(at("bin"), QVariant(QByteArray::fromHex("00ff00")));
    EXPECT_EQ(at("bl"), QVariant(QByteArray::fromHex("000102fffe")));

    // Written back through bound parameters, the copy is the same table.
    db->Exec(QStringLiteral("create table copied like all_types"));
    QStringList marks;
    for (int c = 0; c < row.size(); ++c)
        marks << driver->Placeholder(c);
    for (const QVariantList &r : binary)
        driver->Execute(QStringLiteral("insert into copied values (%1)").arg(marks.join(u',')), r);
    const TOvResult sums
        = driver->Execute(QStringLiteral("checksum table all_types, copied extended"), {});
    ASSERT_EQ(sums.Rows.size(), 2u);
    EXPECT_EQ(sums.Rows[0][1], sums.Rows[1][1]);
    EXPECT_FALSE(sums.Rows[0][1].isNull());
    // And the other way: a value changed on the way shows in the sums.
    driver->Execute(QStringLiteral("update copied set dt6 = ?1 where id = 1"),
                    {QDateTime(QDate(2024, 2, 29), QTime(13, 14, 15, 123))});
    const TOvResult changed
        = driver->Execute(QStringLiteral("checksum table all_types, copied extended"), {});
    EXPECT_NE(changed.Rows[0][1], changed.Rows[1][1]);
}

TEST_F(MySQLTest, ZeroDatesAreRefusedWithTheColumnNamed)
{
    db->Exec(QStringLiteral("set session sql_mode = ''; create table z (id int, happened date);"
                            "insert into z values (1, '0000-00-00'), (2, '2024-05-00');"));
    for (const char *where : {"id = 1", "id = 2"}) {
        const QString sql = QStringLiteral("select * from z where ") + QLatin1String(where);
        try {
            driver->Execute(sql, {});
            ADD_FAILURE() << "read a zero date: " << where;
        } catch (const EOvDatabaseError &e) {
            EXPECT_TRUE(e.Message().contains(u"happened")) << e.Message().toStdString();
            EXPECT_TRUE(e.Message().contains(u"zero date")) << e.Message().toStdString();
        }
        std::unique_ptr<TOvCursor> cursor = driver->OpenCursor(sql, {});
        std::vector<QVariantList> rows;
        EXPECT_THROW(cursor->FetchRows(rows, 10), EOvDatabaseError);
    }
    // A real date in the same column reads.
    db->Exec(QStringLiteral("insert into z values (3, '2024-05-01')"));
    EXPECT_EQ(scalar(QStringLiteral("select happened from z where id = 3")),
              QVariant(QDate(2024, 5, 1)));
}

TEST_F(MySQLTest, ParametersAreBoundNeverWrittenIntoTheText)
{
    db->Exec(QStringLiteral("create table people (id int primary key, name varchar(100))"));
    const QString hostile = QStringLiteral("O'Brien\\'; drop table people; -- ?1");
    driver->Execute(QStringLiteral("insert into people values (?1, ?2)"), {1, hostile});
    EXPECT_EQ(scalar(QStringLiteral("select name from people where id = ?1"), {1}),
              QVariant(hostile));
    // Markers inside literals, quoted names and comments are text; a marker
    // used twice takes one value.
    const TOvResult r = driver->Execute(
        QStringLiteral("select '?2' as `a?2`, ?1 + ?1 /* ?2 */ as twice, \"?3\" # ?4\n"), {21});
    ASSERT_EQ(r.Rows.size(), 1u);
    EXPECT_EQ(r.Rows[0][0], QVariant(QStringLiteral("?2")));
    EXPECT_EQ(r.Fields[0].Name, QStringLiteral("a?2"));
    EXPECT_EQ(r.Rows[0][1].toInt(), 42);
    EXPECT_EQ(r.Rows[0][2], QVariant(QStringLiteral("?3")));
    // A value missing for a marker is an error, not a null.
    EXPECT_THROW(driver->Execute(QStringLiteral("select ?2"), {1}), EOvDatabaseError);
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from people")).toInt(), 1);
}

TEST_F(MySQLTest, DescribeReportsColumnsAndRunsNothing)
{
    db->Exec(QStringLiteral("create table log (id int auto_increment primary key, msg text)"));
    const TOvStatementInfo info = DescribeStatement(
        *driver, QStringLiteral("select id, msg as note from log where id = :id"));
    ASSERT_EQ(info.Fields.size(), 2);
    EXPECT_EQ(info.Fields[1].Name, QStringLiteral("note"));
    EXPECT_EQ(info.Fields[1].OriginColumn, QStringLiteral("msg"));
    EXPECT_EQ(info.Fields[1].OriginTable, QStringLiteral("log"));
    EXPECT_EQ(info.Fields[1].DataType, TFieldType::ftMemo);
    EXPECT_EQ(info.ParamNames, QStringList{QStringLiteral("id")});
    const TOvStatementInfo insert
        = DescribeStatement(*driver, QStringLiteral("insert into log (msg) values (:m)"));
    EXPECT_TRUE(insert.Fields.isEmpty());
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from log")).toInt(), 0);
    try {
        driver->Describe(QStringLiteral("select nothing from log"));
        ADD_FAILURE() << "described an unknown column";
    } catch (const EOvDatabaseError &e) {
        EXPECT_TRUE(e.Message().contains(u"nothing")) << e.Message().toStdString();
    }
}

TEST_F(MySQLTest, CatalogueListsTablesFieldsIndexesAndRoutines)
{
    db->Exec(QStringLiteral(R"sql(
create table orders (order_no int, line_no int, `Ship To` varchar(40) not null,
  qty int not null, total decimal(10,2) as (qty * 2) stored, note text,
  serial int not null auto_increment unique, primary key (line_no, order_no),
  unique key by_ship (`Ship To`, qty), key plain (note(10)));
create view big_orders as select * from orders where qty > 10;
create procedure bump(in amount int, out was int, inout total int) begin
  set was = total; set total = total + amount; end;
create function twice(n int) returns bigint deterministic return n * 2;
)sql"));
    EXPECT_EQ(driver->TableNames(false),
              QStringList({QStringLiteral("big_orders"), QStringLiteral("orders")}));
    EXPECT_TRUE(driver->TableNames(true).contains(QStringLiteral("mysql.user")));
    EXPECT_FALSE(driver->TableNames(false).contains(QStringLiteral("mysql.user")));
    EXPECT_EQ(driver->MatchingTableNames(false, QStringLiteral("BIG*")),
              QStringList{QStringLiteral("big_orders")});

    const QList<TOvColumnInfo> columns = driver->Columns(QStringLiteral("orders"));
    ASSERT_EQ(columns.size(), 7);
    EXPECT_EQ(columns[2].Name, QStringLiteral("Ship To"));
    EXPECT_FALSE(columns[2].Nullable);
    EXPECT_TRUE(columns[0].Nullable == false); // a primary key column
    EXPECT_TRUE(columns[4].Generated);
    EXPECT_FALSE(columns[6].Generated); // auto_increment may be written
    EXPECT_EQ(columns[4].DataType, TFieldType::ftFloat);
    EXPECT_EQ(columns[5].DataType, TFieldType::ftMemo);
    // Qualified and quoted names find the same table; unknown ones nothing.
    EXPECT_EQ(driver->Columns(u'`' + db->Name() + QStringLiteral("`.`orders`")).size(), 7);
    EXPECT_TRUE(driver->Columns(QStringLiteral("nothing")).isEmpty());
    EXPECT_TRUE(driver->Columns(QStringLiteral("orders`; drop table orders; --")).isEmpty());

    const QList<TOvIndexColumn> index = driver->IndexColumns(QStringLiteral("orders"));
    QStringList seen;
    for (const TOvIndexColumn &c : index)
        seen << QStringLiteral("%1:%2:%3:%4")
                    .arg(c.IndexName)
                    .arg(c.IndexType)
                    .arg(c.ColumnName)
                    .arg(c.Position);
    EXPECT_EQ(
        seen,
        QStringList({QStringLiteral("PRIMARY:6:line_no:1"), QStringLiteral("PRIMARY:6:order_no:2"),
                     QStringLiteral("by_ship:2:Ship To:1"), QStringLiteral("by_ship:2:qty:2"),
                     QStringLiteral("plain:0:note:1"), QStringLiteral("serial:2:serial:1")}));

    EXPECT_EQ(driver->ProcedureNames(),
              QStringList({QStringLiteral("bump"), QStringLiteral("twice")}));
    EXPECT_TRUE(driver->ProcedureExists(QStringLiteral("bump")));
    EXPECT_FALSE(driver->ProcedureExists(QStringLiteral("bumps")));
    EXPECT_THROW(driver->ProcedureParams(QStringLiteral("bumps")), EOvDatabaseError);
    const QList<TOvProcParamInfo> bump = driver->ProcedureParams(QStringLiteral("bump"));
    ASSERT_EQ(bump.size(), 3);
    EXPECT_EQ(bump[0].ParamType, TParamType::ptInput);
    EXPECT_EQ(bump[1].ParamType, TParamType::ptOutput);
    EXPECT_EQ(bump[2].ParamType, TParamType::ptInputOutput);
    EXPECT_EQ(bump[2].Name, QStringLiteral("total"));
    const QList<TOvProcParamInfo> twice = driver->ProcedureParams(QStringLiteral("twice"));
    ASSERT_EQ(twice.size(), 2);
    EXPECT_EQ(twice[0].ParamType, TParamType::ptResult);
    EXPECT_EQ(twice[0].Name, QStringLiteral("Result"));
    EXPECT_EQ(twice[0].DataType, TFieldType::ftLargeint);

    // Calls: the OUT and INOUT values come back as one row named after them.
    const TOvResult called
        = driver->Execute(driver->ProcedureCallSQL(QStringLiteral("bump"), 2), {5, 10});
    ASSERT_EQ(called.Rows.size(), 1u);
    ASSERT_EQ(called.Fields.size(), 2);
    EXPECT_EQ(called.Fields[0].Name, QStringLiteral("was"));
    EXPECT_EQ(called.Rows[0][0].toInt(), 10);
    EXPECT_EQ(called.Rows[0][1].toInt(), 15);
    const TOvResult f = driver->Execute(driver->ProcedureCallSQL(QStringLiteral("twice"), 1), {21});
    EXPECT_EQ(f.Fields[0].Name, QStringLiteral("Result"));
    EXPECT_EQ(f.Rows[0][0].toLongLong(), 42);
}

TEST_F(MySQLTest, LookUpsAskedAgainSeeTheSchemaAsItIsNow)
{
    db->Exec(QStringLiteral("create table shifting (id int primary key)"));
    ASSERT_EQ(driver->Columns(QStringLiteral("shifting")).size(), 1);
    ASSERT_EQ(driver->IndexColumns(QStringLiteral("shifting")).size(), 1);
    // Changed from another session between two look-ups on this connection.
    db->Exec(QStringLiteral("alter table shifting add column label varchar(10),"
                            " add unique key by_label (label)"));
    const QList<TOvColumnInfo> columns = driver->Columns(QStringLiteral("shifting"));
    ASSERT_EQ(columns.size(), 2) << "a column added since is listed";
    EXPECT_EQ(columns[1].Name, QStringLiteral("label"));
    EXPECT_EQ(driver->IndexColumns(QStringLiteral("shifting")).size(), 2) << "and its index";
    EXPECT_EQ(driver->Columns(QStringLiteral("missing")).size(), 0)
        << "another table, same look-up";
    db->Exec(QStringLiteral("drop table shifting"));
    EXPECT_TRUE(driver->Columns(QStringLiteral("shifting")).isEmpty()) << "a dropped table";
    // The same driver connected again prepares its look-ups afresh.
    TStringList params;
    myLogin(params);
    driver->Connect(db->Remote(), params);
    EXPECT_TRUE(driver->TableNames(false).isEmpty());
    EXPECT_TRUE(driver->Columns(QStringLiteral("shifting")).isEmpty());
}

TEST_F(MySQLTest, APartlyReadCursorHoldsNothingAndShowsEachRowOnce)
{
    db->Exec(QStringLiteral("create table numbers (n int primary key, label varchar(10));"
                            "insert into numbers select seq, 'old' from seq_1_to_500;"));
    std::unique_ptr<TOvCursor> cursor
        = driver->OpenCursor(QStringLiteral("select n, label from numbers order by n"), {});
    std::vector<QVariantList> rows;
    ASSERT_EQ(cursor->FetchRows(rows, 10), 10);

    // Another session changes rows and the table itself, within a short wait.
    std::unique_ptr<TOvDriver> other = db->Connect();
    other->Execute(
        QStringLiteral("set session lock_wait_timeout = 2, innodb_lock_wait_timeout = 2"), {});
    other->Execute(QStringLiteral("update numbers set label = 'new' where n > 5"), {});
    other->Execute(QStringLiteral("delete from numbers where n between 100 and 199"), {});
    other->Execute(QStringLiteral("insert into numbers values (0, 'new'), (1000, 'new')"), {});
    other->Execute(QStringLiteral("alter table numbers add column extra int"), {});
    // The reader's own connection serves other statements meanwhile.
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from numbers")).toInt(), 402);

    while (cursor->FetchRows(rows, 64) == 64) {
    }
    // One execution: the rows as they were when the query ran, each once.
    ASSERT_EQ(rows.size(), 500u);
    std::set<int> numbers;
    for (const QVariantList &r : rows) {
        numbers.insert(r[0].toInt());
        EXPECT_EQ(r[1], QVariant(QStringLiteral("old")));
    }
    EXPECT_EQ(numbers.size(), 500u);
    EXPECT_EQ(*numbers.begin(), 1);
    EXPECT_EQ(*numbers.rbegin(), 500);
    std::vector<QVariantList> more;
    EXPECT_EQ(cursor->FetchRows(more, 5), 0);
}

TEST_F(MySQLTest, AResultPastTheMemoryBoundSaysSoAfterTheRowsWithin)
{
    db->Exec(QStringLiteral("create table wide (id int primary key, body longblob, note text);"
                            "insert into wide select seq, repeat('x', 10000),"
                            " if(seq % 2, null, repeat('y', 300)) from seq_1_to_1000;"));
    driver = db->Connect({QStringLiteral("MAX RESULT MB=1")});
    // 1,000 rows of 10,000 bytes: 10 MB, of which about the first megabyte is kept.
    std::unique_ptr<TOvCursor> cursor
        = driver->OpenCursor(QStringLiteral("select id, body, note from wide order by id"), {});
    std::vector<QVariantList> rows;
    try {
        while (cursor->FetchRows(rows, 7) == 7) {
        }
        ADD_FAILURE() << "a result past the bound was read whole";
    } catch (const EOvDatabaseError &e) {
        EXPECT_EQ(e.Message(), SResultTooLarge().arg(1));
    }
    EXPECT_GT(rows.size(), 100u) << "the rows within the bound are handed out";
    EXPECT_LT(rows.size(), 110u);
    EXPECT_THROW(cursor->FetchRows(rows, 1), EOvDatabaseError) << "and the error stays";
    // The connection serves the next statement: the rows past the bound were dropped.
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from wide")).toInt(), 1000);

    // Within the bound the same query reads to the end, long values and
    // NULLs exactly as stored.
    cursor = driver->OpenCursor(
        QStringLiteral("select id, left(body, 500), note from wide order by id"), {});
    rows = readAll(*cursor);
    ASSERT_EQ(rows.size(), 1000u);
    EXPECT_EQ(rows[0][0].toInt(), 1);
    EXPECT_EQ(rows[999][0].toInt(), 1000);
    EXPECT_EQ(rows[0][1], QVariant(QByteArray(500, 'x')));
    EXPECT_TRUE(rows[0][2].isNull());
    EXPECT_EQ(rows[1][2], QVariant(QString(300, u'y')));
}

TEST_F(MySQLTest, ACursorEndsWithItsConnectionAndStatementsThatReturnNoRowsRunAtOnce)
{
    db->Exec(QStringLiteral("create table t (n int); insert into t values (1), (2), (3);"));
    std::unique_ptr<TOvCursor> changes
        = driver->OpenCursor(QStringLiteral("update t set n = n + 10 where n > ?1"), {1});
    EXPECT_EQ(changes->RowsAffected, 2);
    EXPECT_EQ(scalar(QStringLiteral("select sum(n) from t")).toInt(), 1 + 12 + 13);

    std::unique_ptr<TOvCursor> cursor = driver->OpenCursor(QStringLiteral("select n from t"), {});
    std::vector<QVariantList> rows;
    ASSERT_EQ(cursor->FetchRows(rows, 1), 1);
    driver->Disconnect();
    EXPECT_THROW(cursor->FetchRows(rows, 1), EOvDatabaseError);
    // A wrong query reports the server's message when opened.
    driver = db->Connect();
    try {
        driver->OpenCursor(QStringLiteral("select missing from t"), {});
        ADD_FAILURE() << "opened a wrong query";
    } catch (const EOvDatabaseError &e) {
        EXPECT_TRUE(e.Message().contains(u"missing")) << e.Message().toStdString();
    }
}

TEST_F(MySQLTest, WaitsForLocksAreBoundedAndReportedAsLocks)
{
    db->Exec(QStringLiteral("create table acct (id int primary key, amount int);"
                            "insert into acct values (1, 100);"));
    std::unique_ptr<TOvDriver> holder = db->Connect();
    holder->Execute(QStringLiteral("start transaction"), {});
    holder->Execute(QStringLiteral("select * from acct where id = 1 for update"), {});
    std::unique_ptr<TOvDriver> waiter = CreateDriver(TOvServerType::stMySQL);
    TStringList params;
    myLogin(params);
    params.SetValues(QStringLiteral("innodb_lock_wait_timeout"), QStringLiteral("1"));
    params.SetValues(QStringLiteral("max_statement_time"), QStringLiteral("30.5"));
    waiter->Connect(db->Remote(), params);
    const TOvResult waits
        = waiter->Execute(QStringLiteral("select @@lock_wait_timeout, @@innodb_lock_wait_timeout, "
                                         "@@max_statement_time"),
                          {});
    EXPECT_EQ(waits.Rows[0][0].toInt(), 10) << "the default";
    EXPECT_EQ(waits.Rows[0][1].toInt(), 1);
    EXPECT_EQ(waits.Rows[0][2].toDouble(), 30.5);
    try {
        waiter->Execute(QStringLiteral("update acct set amount = 0 where id = 1"), {});
        ADD_FAILURE() << "wrote a locked row";
    } catch (const EOvDatabaseError &e) {
        EXPECT_TRUE(e.Locked()) << e.Message().toStdString();
    }
    holder->Execute(QStringLiteral("commit"), {});
    // Once the lock is gone the same statement runs; an unchanged row still
    // counts as found.
    EXPECT_EQ(waiter->Execute(QStringLiteral("update acct set amount = 100 where id = 1"), {})
                  .RowsAffected,
              1);
    // A wait that is not a number is refused before connecting.
    params.SetValues(QStringLiteral("lock_wait_timeout"), QStringLiteral("10; drop table acct"));
    EXPECT_THROW(waiter->Connect(db->Remote(), params), EOvDatabaseError);
}

TEST_F(MySQLTest, ConnectingNamesTheServerAndAsksForAPasswordWhenRefused)
{
    EXPECT_TRUE(driver->IsConnected());
    EXPECT_EQ(scalar(QStringLiteral("select database()")), QVariant(db->Name()));
    EXPECT_EQ(scalar(QStringLiteral("select @@character_set_client")),
              QVariant(QStringLiteral("utf8mb4")));
    std::unique_ptr<TOvDriver> wrong = CreateDriver(TOvServerType::stMySQL);
    TStringList params;
    myLogin(params);
    try {
        wrong->Connect(myServer() + QStringLiteral("/no_such_database_here"), params);
        ADD_FAILURE() << "connected to a missing database";
    } catch (const EOvDatabaseError &e) {
        EXPECT_TRUE(e.Message().contains(u"no_such_database_here")) << e.Message().toStdString();
    }
    EXPECT_FALSE(wrong->IsConnected());
}

// The components on the driver: a query read in part while another session
// writes, a table ordered by index fields with names that need backticks, a
// procedure's OUT values, and the schema information.
TEST_F(MySQLTest, ComponentsReadThroughTheDriver)
{
    db->Exec(QStringLiteral(R"sql(
create table `Order Items` (`key` int primary key, `Größe` varchar(10), qty int not null,
  unique key by_size (`Größe`, qty));
insert into `Order Items` select seq, concat('s', 300 - seq), seq mod 7 from seq_1_to_300;
create procedure total_of(in lo int, out total bigint) select sum(qty) into total
  from `Order Items` where `key` >= lo;
)sql"));
    TOvDatabase database;
    database.SetDatabaseName(QStringLiteral("MyComponents"));
    db->Open(&database);

    TOvQuery q;
    q.SetDatabaseName(database.DatabaseName());
    q.SQL()->SetText(QStringLiteral("select `key`, qty from `Order Items` where qty >= :q "
                                    "order by `key`"));
    q.ParamByName(QStringLiteral("q"))->SetAsInteger(0);
    q.Open();
    q.First();
    q.Next();
    EXPECT_EQ(q.FieldByName(QStringLiteral("key"))->AsInteger(), 2);
    std::unique_ptr<TOvDriver> other = db->Connect();
    other->Execute(QStringLiteral("set session lock_wait_timeout = 2"), {});
    other->Execute(QStringLiteral("alter table `Order Items` add column note text"), {});
    other->Execute(QStringLiteral("delete from `Order Items` where `key` > 150"), {});
    int n = 2;
    for (q.Next(); !q.Eof(); q.Next())
        EXPECT_EQ(q.FieldByName(QStringLiteral("key"))->AsInteger(), ++n);
    EXPECT_EQ(n, 300);
    q.Close();

    TOvTable t;
    t.SetDatabaseName(database.DatabaseName());
    t.SetTableName(QStringLiteral("Order Items"));
    t.SetIndexFieldNames(QString::fromUtf8("Größe;qty"));
    t.Open();
    t.First();
    EXPECT_EQ(t.FieldByName(QStringLiteral("key"))->AsInteger(), 150); // "s150" sorts first
    t.Close();

    TOvStoredProc proc;
    proc.SetDatabaseName(database.DatabaseName());
    proc.SetStoredProcName(QStringLiteral("total_of"));
    proc.Prepare();
    proc.ParamByName(QStringLiteral("lo"))->SetAsInteger(148);
    proc.ExecProc();
    EXPECT_EQ(proc.ParamByName(QStringLiteral("total"))->Value().toLongLong(),
              148 % 7 + 149 % 7 + 150 % 7);

    std::unique_ptr<TDataSet> ds
        = database.GetSchemaInfo(TOvSchemaType::stIndexes, QStringLiteral("`Order Items`"));
    QStringList seen;
    for (ds->First(); !ds->Eof(); ds->Next())
        seen << ds->FieldByName(QStringLiteral("INDEX_NAME"))->AsString() + u':'
                    + ds->FieldByName(QStringLiteral("COLUMN_NAME"))->AsString();
    EXPECT_EQ(seen, QStringList({QStringLiteral("PRIMARY:key"), QString::fromUtf8("by_size:Größe"),
                                 QStringLiteral("by_size:qty")}));
}

TEST(MySQLQuoting, NamesAreQuotedInBackticksWhereTheServerNeedsIt)
{
    EXPECT_EQ(QuoteIdentifier(TOvServerType::stMySQL, QStringLiteral("a`b"), true),
              QStringLiteral("`a``b`"));
    EXPECT_EQ(QuoteIdentifier(TOvServerType::stPostgreSQL, QStringLiteral("a`b"), true),
              QStringLiteral("\"a`b\""));
    EXPECT_TRUE(IsPlainIdentifier(TOvServerType::stMySQL, QStringLiteral("Customer_2")));
    for (const char *name : {"order", "KEY", "rank", "Ship To", "a-b"})
        EXPECT_FALSE(IsPlainIdentifier(TOvServerType::stMySQL, QString::fromUtf8(name))) << name;
    EXPECT_FALSE(IsPlainIdentifier(TOvServerType::stMySQL, QString::fromUtf8("größe")));
    EXPECT_TRUE(IsPlainIdentifier(TOvServerType::stPostgreSQL, QString::fromUtf8("größe")));
    // "user" is reserved on PostgreSQL, not on MariaDB.
    EXPECT_TRUE(IsPlainIdentifier(TOvServerType::stMySQL, QStringLiteral("user")));
    EXPECT_EQ(GetServerTypeName(TOvServerType::stMySQL), QStringLiteral("MySQL"));
    EXPECT_EQ(StrToServerTypeDef(QStringLiteral(" mysql "), TOvServerType::stSQLite),
              TOvServerType::stMySQL);
    ASSERT_TRUE(HasDriver(TOvServerType::stMySQL));
    std::unique_ptr<TOvDriver> driver = CreateDriver(TOvServerType::stMySQL);
    EXPECT_EQ(driver->QuoteObjectName(QStringLiteral("shop.`Order Items`")),
              QStringLiteral("`shop`.`Order Items`"));
    EXPECT_EQ(driver->QuoteColumnName(QStringLiteral("a`b")), QStringLiteral("`a``b`"));
}

} // namespace
