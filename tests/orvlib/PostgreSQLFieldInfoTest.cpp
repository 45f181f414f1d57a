// The dataset layer on a real PostgreSQL server: field origins and catalogue
// look-ups with schemas as owners, as the UpdateSQL editor uses them. Needs
// OV_PG_CONNINFO; skips without it outside CI.

#include "SQLiteFixture.h"
#include "PgTestServer.h"

#include "orvlib/OvCommon.h"
#include "orvlib/OvDriver.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

namespace {

class PgFieldInfo : public ::testing::Test
{
protected:
    void SetUp() override
    {
        OV_REQUIRE_PG(pgMissing());
        const QString conn = pgConnInfo();
        schema = QStringLiteral("ovfi_%1").arg(QCoreApplication::applicationPid());
        db = new TOvDatabase(&owner);
        db->SetDatabaseName(QStringLiteral("PgFieldInfo"));
        db->SetServerType(TOvServerType::stPostgreSQL);
        db->SetLoginPrompt(false);
        db->SetRemoteDatabase(conn);
        try {
            db->Open();
        } catch (const Exception &e) {
            OV_REQUIRE_PG(QStringLiteral("unreachable: ") + e.Message());
        }
        db->ExecSQL(QStringLiteral("drop schema if exists %1 cascade; create schema %1;"
                                   "create table %1.customer (id integer primary key, name text);"
                                   "create table %1.orders (order_no integer, line_no integer,"
                                   " customer_id integer, amount numeric,"
                                   " primary key (order_no, line_no));")
                        .arg(schema));
    }
    void TearDown() override
    {
        if (db && db->Connected())
            db->ExecSQL(QStringLiteral("drop schema if exists %1 cascade").arg(schema));
    }

    QObject owner;
    TOvDatabase *db = nullptr;
    QString schema;
};

} // namespace

TEST_F(PgFieldInfo, ownerQualifiedTablesFromQueryToCatalogue)
{
    TOvQuery q(&owner);
    q.SetDatabaseName(QStringLiteral("PgFieldInfo"));
    EXPECT_TRUE(q.IsObjOwnerSupported()) << "schemas are owners";

    const QString sql = QStringLiteral("select c.id, c.name as cname, o.* from %1.customer c\n"
                                       "join %1.orders o on o.customer_id = c.id")
                            .arg(schema);
    TStringList fields, tables;
    q.ParseFieldInfoFromSQL(sql, &fields, &tables);
    const QString customer = schema + QStringLiteral(".customer");
    const QString orders = schema + QStringLiteral(".orders");
    EXPECT_EQ(tables.toStringList(), (QStringList{"c=" + customer, "o=" + orders}));
    EXPECT_EQ(
        fields.toStringList(),
        (QStringList{"id=" + customer + ".id", "cname=" + customer + ".name",
                     "order_no=" + orders + ".order_no", "line_no=" + orders + ".line_no",
                     "customer_id=" + orders + ".customer_id", "amount=" + orders + ".amount"}))
        << "o.* expanded from the schema-qualified table";

    // The editor's path: the table text keeps its owner, the look-ups find it.
    const QString table = GetValidObjName(tables.ValueFromIndex(1), !q.IsObjOwnerSupported());
    EXPECT_EQ(table, orders);
    TStringList names;
    q.GetDBSession()->GetFieldNames(q.DatabaseName(), table, &names);
    EXPECT_EQ(names.toStringList(), (QStringList{"order_no", "line_no", "customer_id", "amount"}));

    std::unique_ptr<TDataSet> keys = db->GetSchemaInfo(TOvSchemaType::stIndexes, table);
    QStringList primary;
    for (keys->First(); !keys->Eof(); keys->Next()) {
        if (keys->FieldByName(QStringLiteral("INDEX_TYPE"))->AsInteger() & itPrimary)
            primary << keys->FieldByName(QStringLiteral("COLUMN_NAME"))->AsString();
    }
    EXPECT_EQ(primary, (QStringList{"order_no", "line_no"})) << "composite key in key order";

    // Hostile names stay names.
    q.GetDBSession()->GetFieldNames(q.DatabaseName(),
                                    schema + QStringLiteral(".orders\"; drop table x; --"), &names);
    EXPECT_EQ(names.Count(), 0);
    q.GetDBSession()->GetFieldNames(q.DatabaseName(), table, &names);
    EXPECT_EQ(names.Count(), 4) << "nothing was dropped";
}
