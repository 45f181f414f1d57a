// Describing a statement without running it, on SQLite and PostgreSQL: the
// result columns come back, a statement that changes data changes nothing,
// a refused statement raises with the server's message and leaves the
// connection (and a transaction it is in) usable.
#include "PgTestServer.h"
#include "TestSupport.h"

#include "orvlib/OvDriver.h"
#include "rtl/SysUtils.h"

#include <gtest/gtest.h>

namespace {

class DescribeTest : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        if (GetParam()) {
            QString problem;
            driver = pgAdmin(&problem);
            OV_REQUIRE_PG(problem);
            schema = pgUniqueName(QStringLiteral("ovdescribe_"));
            driver->Execute(QStringLiteral("create schema %1; set search_path to %1").arg(schema),
                            {});
        } else {
            driver = CreateDriver(TOvServerType::stSQLite);
            TStringList params;
            params.Add(QStringLiteral("CREATE=1"));
            driver->Connect(dir.file(QStringLiteral("d.db")), params);
        }
        driver->Execute(QStringLiteral("create table items (id integer primary key, name "
                                       "varchar(20))"),
                        {});
        driver->Execute(QStringLiteral("insert into items values (1, 'a')"), {});
        driver->Execute(QStringLiteral("insert into items values (2, 'b')"), {});
    }
    void TearDown() override
    {
        if (driver && !schema.isEmpty())
            driver->Execute(QStringLiteral("drop schema if exists %1 cascade").arg(schema), {});
    }

    int count()
    {
        return driver->Execute(QStringLiteral("select count(*) from items"), {})
            .Rows.at(0)
            .at(0)
            .toInt();
    }

    TempFolder dir;
    std::unique_ptr<TOvDriver> driver;
    QString schema;
};

TEST_P(DescribeTest, preparesWithoutRunning)
{
    const TOvStatementInfo select
        = DescribeStatement(*driver, QStringLiteral("select id, name from items where id = :id"));
    ASSERT_EQ(select.Fields.size(), 2);
    EXPECT_EQ(select.Fields[0].Name, QStringLiteral("id"));
    EXPECT_EQ(select.Fields[1].DataType, TFieldType::ftString);
    EXPECT_EQ(select.ParamNames, QStringList{QStringLiteral("id")});

    const TOvStatementInfo del = DescribeStatement(
        *driver, QStringLiteral("delete from items where id = :OLD_id or id <> :OLD_ID"));
    EXPECT_TRUE(del.Fields.isEmpty());
    EXPECT_EQ(del.ParamNames, QStringList{QStringLiteral("OLD_id")})
        << "one per name, case ignored";
    EXPECT_EQ(count(), 2) << "the delete was never run";

    try {
        DescribeStatement(*driver, QStringLiteral("select nothing from items"));
        ADD_FAILURE() << "a column that is missing prepares";
    } catch (const EOvDatabaseError &e) {
        EXPECT_TRUE(e.ServerMessage().contains(QStringLiteral("nothing")))
            << qPrintable(e.Message());
    }
    EXPECT_EQ(count(), 2) << "the connection works after a refusal";

    // Inside a transaction a refusal leaves the transaction alive.
    driver->Execute(QStringLiteral("begin"), {});
    driver->Execute(QStringLiteral("insert into items values (3, 'c')"), {});
    EXPECT_THROW(DescribeStatement(*driver, QStringLiteral("select * from nowhere")),
                 EOvDatabaseError);
    EXPECT_EQ(DescribeStatement(*driver, QStringLiteral("select name from items")).Fields.size(),
              1);
    driver->Execute(QStringLiteral("commit"), {});
    EXPECT_EQ(count(), 3) << "the transaction's insert was kept";
}

INSTANTIATE_TEST_SUITE_P(Servers, DescribeTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &Info) {
                             return std::string(Info.param ? "PostgreSQL" : "SQLite");
                         });

} // namespace
