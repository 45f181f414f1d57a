#include "SQLiteFixture.h"

#include "orvlib/OvConsts.h"
#include "orvlib/OvDriver.h"

#include "rtl/SysUtils.h"

#include <gtest/gtest.h>

namespace {

template<class T>
T *makeDataSet(QObject *Owner)
{
    auto *ds = new T(Owner);
    ds->setObjectName(QString::fromLatin1(T::staticMetaObject.className()).mid(3));
    ds->SetDatabaseName(QStringLiteral("Shop"));
    return ds;
}

QStringList column(TDataSet *Ds, const char *Field)
{
    QStringList values;
    for (Ds->First(); !Ds->Eof(); Ds->Next())
        values << (Ds->FieldByName(QString::fromLatin1(Field))->IsNull()
                       ? QStringLiteral("<null>")
                       : Ds->FieldByName(QString::fromLatin1(Field))->AsString());
    return values;
}

} // namespace

TEST(SQLiteQuery, openWalkAndBindParameters)
{
    SQLiteShop shop;
    auto *q = makeDataSet<TOvQuery>(shop.owner());
    q->SQL()->SetText(QStringLiteral("select id, name, \"Mixed Case\" as mc from customer\n"
                                     "where city = :city and name <> ':not_a_param' -- :nor_this\n"
                                     "order by id"));
    EXPECT_EQ(q->Params()->Names(), QStringList{QStringLiteral("city")})
        << "markers in literals and comments are text";
    q->ParamByName(QStringLiteral("city"))->SetAsString(QStringLiteral("Oslo"));
    q->Open();
    EXPECT_TRUE(q->Active());
    EXPECT_EQ(q->Database(), shop.db()) << "attached to its database";
    EXPECT_EQ(column(q, "name"), (QStringList{"Ann", "Cid"}));
    EXPECT_EQ(column(q, "MC"), (QStringList{"a", "<null>"})) << "alias, null value";
    q->First();
    EXPECT_EQ(q->FieldByName(QStringLiteral("id"))->AsInteger(), 1);
    EXPECT_THROW(q->FieldByName(QStringLiteral("nosuch")), Exception);
    EXPECT_EQ(q->FieldByName(QStringLiteral("name"))->OriginTable, QStringLiteral("customer"));

    // A value that looks like SQL stays a value.
    q->Close();
    q->ParamByName(QStringLiteral("city"))->SetAsString(QStringLiteral("x' or '1'='1"));
    q->Open();
    EXPECT_TRUE(q->Eof()) << "bound, not pasted";

    // Changing the SQL closes the query and keeps values of surviving parameters.
    q->ParamByName(QStringLiteral("city"))->SetAsString(QStringLiteral("Rome"));
    q->SQL()->SetText(QStringLiteral("select name from customer where city = :City or id = :id"));
    EXPECT_FALSE(q->Active());
    EXPECT_EQ(q->Params()->Names(), (QStringList{"City", "id"}));
    EXPECT_EQ(q->ParamByName(QStringLiteral("city"))->AsString(), QStringLiteral("Rome"));
    q->ParamByName(QStringLiteral("id"))->SetAsInteger(3);
    q->Open();
    EXPECT_EQ(column(q, "name"), (QStringList{"Bob", "Cid"}));
    q->Close();

    // Statements without rows; a failing statement raises the server's message.
    q->SQL()->SetText(QStringLiteral("update customer set city = :city where city = 'Oslo'"));
    q->ParamByName(QStringLiteral("city"))->SetAsString(QStringLiteral("Bergen"));
    q->ExecSQL();
    EXPECT_EQ(q->RowsAffected(), 2);
    q->SQL()->SetText(QStringLiteral("select nosuchcolumn from customer"));
    try {
        q->Open();
        FAIL() << "a bad statement opens nothing";
    } catch (const EOvDatabaseError &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("nosuchcolumn")))
            << e.Message().toStdString();
    }
    EXPECT_FALSE(q->Active());
    q->SQL()->SetText(QStringLiteral("select count(*) as n from customer where city = 'Bergen'"));
    q->Open();
    EXPECT_EQ(q->FieldByName(QStringLiteral("n"))->AsInteger(), 2) << "the next call works again";

    // Datasets close with their database: on disconnect, and when it goes away.
    shop.db()->Close();
    EXPECT_FALSE(q->Active());
    EXPECT_EQ(q->Database(), nullptr);
    q->Open();
    delete shop.db();
    EXPECT_FALSE(q->Active()) << "closed before the database was destroyed";
    EXPECT_THROW(q->Open(), Exception) << "no database of that name any more";
}

TEST(SQLiteQuery, macrosExpandBeforeTheStatementRuns)
{
    SQLiteShop shop;
    auto *q = makeDataSet<TOvMacroQuery>(shop.owner());
    q->SQL()->SetText(
        QStringLiteral("select name from customer where &filter and id > :min order by &order"));
    EXPECT_EQ(q->GetMacros()->Names(), (QStringList{"filter", "order"}));
    EXPECT_EQ(q->Params()->Names(), QStringList{QStringLiteral("min")});
    EXPECT_EQ(q->MacroByName(QStringLiteral("filter"))->AsString(), QStringLiteral("0=0"))
        << "a new macro keeps the where clause valid";
    q->MacroByName(QStringLiteral("order"))->SetAsString(QStringLiteral("name desc"));
    q->ParamByName(QStringLiteral("min"))->SetAsInteger(0);
    q->Open();
    EXPECT_EQ(column(q, "name"), (QStringList{"Cid", "Bob", "Ann"}));
    q->Close();
    q->MacroByName(QStringLiteral("filter"))->SetAsString(QStringLiteral("city = 'Oslo'"));
    q->Open();
    EXPECT_EQ(column(q, "name"), (QStringList{"Cid", "Ann"}));
    EXPECT_EQ(
        q->StatementText(),
        QStringLiteral(
            "select name from customer where city = 'Oslo' and id > :min order by name desc\n"));

    q->SQL()->SetText(QStringLiteral("select '&notamacro' as t from customer where &filter"));
    EXPECT_EQ(q->GetMacros()->Names(), QStringList{QStringLiteral("filter")})
        << "literals hold no macros";
    EXPECT_EQ(q->MacroByName(QStringLiteral("filter"))->AsString(), QStringLiteral("city = 'Oslo'"))
        << "a surviving macro keeps its value";
}

TEST(SQLiteTable, orderIndexesAndMasterDetail)
{
    SQLiteShop shop;
    auto *orders = makeDataSet<TOvTable>(shop.owner());
    orders->SetTableName(QStringLiteral("orders"));
    orders->Open();
    EXPECT_EQ(orders->RecordCount(), 3);
    EXPECT_EQ(orders->GetIndexFieldCount(), 2) << "the primary key orders the rows";
    EXPECT_EQ(orders->GetIndexField(1)->FieldName(), QStringLiteral("line_no"));
    ASSERT_EQ(orders->IndexDefs()->Count(), 1);
    EXPECT_TRUE(orders->IndexDefs()->Items(0)->Options() & ixPrimary);
    EXPECT_EQ(orders->IndexDefs()->Items(0)->Name(), SPrimary()) << "listed as the primary index";
    EXPECT_EQ(orders->IndexDefs()->Items(0)->Fields(), QStringLiteral("order_no;line_no"));
    EXPECT_TRUE(orders->PSIsSQLBased());

    orders->SetIndexFieldNames(QStringLiteral("amount"));
    EXPECT_FALSE(orders->Active()) << "a new order closes the table";
    orders->Open();
    EXPECT_EQ(column(orders, "amount"), (QStringList{"1.25", "5.5", "7"}));
    orders->SetIndexName(SPrimary());
    orders->Open();
    EXPECT_EQ(orders->GetIndexFieldCount(), 2) << "the primary key by its listed name";
    EXPECT_EQ(column(orders, "line_no"), (QStringList{"1", "2", "1"}));
    orders->SetIndexName(QStringLiteral("nosuch"));
    EXPECT_TRUE(orders->IndexFieldNames().isEmpty())
        << "IndexName and IndexFieldNames exclude each other";
    EXPECT_THROW(orders->Open(), Exception);
    EXPECT_FALSE(orders->Active());

    // Detail rows follow the master's current record.
    auto *customers = makeDataSet<TOvTable>(shop.owner());
    customers->SetTableName(QStringLiteral("customer"));
    customers->Open();
    auto *source = new TDataSource(shop.owner());
    source->SetDataSet(customers);
    auto *items = makeDataSet<TOvTable>(shop.owner());
    items->SetTableName(QStringLiteral("orders"));
    items->SetIndexFieldNames(QStringLiteral("customer_id;order_no"));
    items->SetMasterSource(source);
    items->SetMasterFields(QStringLiteral("id"));
    items->Open();
    EXPECT_EQ(column(items, "amount"), (QStringList{"5.5", "7"})) << "orders of customer 1";

    auto *missing = makeDataSet<TOvTable>(shop.owner());
    missing->SetTableName(QStringLiteral("x; drop table orders"));
    EXPECT_THROW(missing->Open(), EOvDatabaseError);
    EXPECT_EQ(shop.count(QStringLiteral("orders")), 3);
}

TEST(SQLiteStoredProc, noProceduresOnSQLite)
{
    SQLiteShop shop;
    auto *proc = makeDataSet<TOvStoredProc>(shop.owner());
    proc->SetStoredProcName(QStringLiteral("anything"));
    EXPECT_FALSE(proc->DescriptionsAvailable()) << "not connected";
    EXPECT_THROW(proc->Prepare(), Exception);
    EXPECT_FALSE(proc->Prepared());
    EXPECT_EQ(proc->Database(), nullptr) << "a failed prepare leaves it detached";
    shop.db()->Open();
    EXPECT_FALSE(proc->DescriptionsAvailable()) << "SQLite describes no procedures";
    EXPECT_EQ(proc->GetParamsCount(), 0);
}

TEST(SQLiteUpdateSQL, statementsRunWithNewAndOldValues)
{
    SQLiteShop shop;
    auto *q = makeDataSet<TOvQuery>(shop.owner());
    q->SQL()->SetText(QStringLiteral("select * from customer"));
    auto *upd = new TOvUpdateSQL(shop.owner());
    upd->setObjectName(QStringLiteral("UpdateSQL1"));
    upd->SetDataSet(q);
    upd->ModifySQL()->SetText(
        QStringLiteral("update customer set name = :name where id = :OLD_id"));
    upd->DeleteSQL()->SetText(QStringLiteral("delete from customer where id = :OLD_id"));
    EXPECT_EQ(upd->Apply(TUpdateKind::ukModify, {{"name", "Anna"}, {"id", 1}}, {{"id", 1}}), 1);
    EXPECT_EQ(upd->Apply(TUpdateKind::ukDelete, {}, {{"ID", 2}}), 1);
    EXPECT_EQ(shop.count(QStringLiteral("customer where name = 'Anna'")), 1);
    EXPECT_EQ(shop.count(QStringLiteral("customer")), 2);
    EXPECT_THROW(upd->Apply(TUpdateKind::ukInsert, {}, {}), Exception) << "no insert statement";
}

TEST(SQLiteScript, statementsSplitOutsideLiteralsAndComments)
{
    SQLiteShop shop;
    TOvScript script(shop.owner());
    script.SetDatabaseName(QStringLiteral("Shop"));
    script.SQL()->SetText(
        QStringLiteral("insert into t_x values (1); -- one; two\n"
                       "insert into tax values (2) /* ; */;\n"
                       "insert into customer (id, name) values (9, 'semi;colon');\n"
                       "/\n"
                       "insert into t_x values (3)"));
    EXPECT_EQ(script.Statements().size(), 4);
    EXPECT_EQ(script.ExecScript(), 4);
    EXPECT_EQ(shop.count(QStringLiteral("customer where name = 'semi;colon'")), 1);
    EXPECT_EQ(shop.count(QStringLiteral("t_x")), 2);

    script.SQL()->SetText(
        QStringLiteral("insert into t_x values (4); insert into nosuch values (1); "
                       "insert into t_x values (5)"));
    EXPECT_THROW(script.ExecScript(), EOvDatabaseError) << "stops at the first failure";
    EXPECT_EQ(shop.count(QStringLiteral("t_x")), 3);
    script.SetContinueOnError(true);
    EXPECT_EQ(script.ExecScript(), 2);
    EXPECT_EQ(script.Errors().size(), 1);
}

TEST(SQLiteMonitor, tracesStatementsWhileActive)
{
    SQLiteShop shop;
    TOvMonitor monitor;
    QStringList seen;
    monitor.OnSQL = [&](TOvMonitor *, const QString &Text) {
        seen << Text;
    };
    auto *q = makeDataSet<TOvQuery>(shop.owner());
    q->SQL()->SetText(QStringLiteral("select 1"));
    q->Open();
    EXPECT_TRUE(seen.isEmpty()) << "inactive";
    q->Close();
    monitor.SetActive(true);
    monitor.SetMaxLines(1);
    q->Open();
    EXPECT_TRUE(seen.contains(QStringLiteral("select 1\n")));
    EXPECT_EQ(monitor.Lines()->Count(), 1);
}
