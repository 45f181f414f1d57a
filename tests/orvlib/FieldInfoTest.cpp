#include "SQLiteFixture.h"

#include <gtest/gtest.h>

namespace {

struct Parsed
{
    QStringList fields;
    QStringList tables;
    QStringList unresolved;
};

Parsed parse(TOvDataSet &Ds, const QString &SQL)
{
    TStringList fields, tables, unresolved;
    Ds.ParseFieldInfoFromSQL(SQL, &fields, &tables, &unresolved);
    return {fields.toStringList(), tables.toStringList(), unresolved.toStringList()};
}

struct Case
{
    const char *sql;
    QStringList fields;
    QStringList tables;
    QStringList unresolved;
};

} // namespace

// Without a connection: everything the statement itself says.
TEST(ParseFieldInfo, corpusWithoutADatabase)
{
    const Case cases[] = {
        {"select ID, NAME from CUSTOMER",
         {"ID=CUSTOMER.ID", "NAME=CUSTOMER.NAME"},
         {"CUSTOMER=CUSTOMER"},
         {}},
        {"SELECT c.id, c.name AS cname FROM customer c",
         {"id=customer.id", "cname=customer.name"},
         {"c=customer"},
         {}},
        {"select c.id custno, o.amount from customer as c join orders o on o.customer_id = c.id",
         {"custno=customer.id", "amount=orders.amount"},
         {"c=customer", "o=orders"},
         {}},
        {"select \"Order Items\".\"sku\", oi.code as \"Item Code\" from \"Order Items\" left outer "
         "join \"Order Items\" oi on 1=1",
         {"sku=Order Items.sku", "Item Code=Order Items.code"},
         {"Order Items=Order Items"},
         {}},
        {"select s.c.id, c.name from sales.customer c, s.c",
         {"id=s.c.id", "name=sales.customer.name"},
         {"c=sales.customer", "s.c=s.c"},
         {}},
        {"select customer.name from sales.customer",
         {"name=sales.customer.name"},
         {"sales.customer=sales.customer"},
         {}},
        {"select count(*) as n, max(amount), amount * 2 doubled, 'x' lit, name from orders",
         {"name=orders.name"},
         {"orders=orders"},
         {"n", "max(amount)", "doubled", "lit"}},
        {"select id /* , hidden */ , -- comment, more\n name from t -- from u",
         {"id=t.id", "name=t.name"},
         {"t=t"},
         {}},
        {"select 'from x' as a, id from t where name = 'select y from z'",
         {"id=t.id"},
         {"t=t"},
         {"a"}},
        {"select id, name from a, b", {}, {"a=a", "b=b"}, {"id", "name"}},
        {"select a.id, x.v from a join (select 1 as v) x on true", {"id=a.id"}, {"a=a"}, {"v"}},
        {"select distinct on (id) id from t order by id", {"id=t.id"}, {"t=t"}, {}},
        {"with recent as (select * from orders) select r.order_no from recent r",
         {"order_no=recent.order_no"},
         {"r=recent"},
         {}},
        {"select t.* from t", {}, {"t=t"}, {"t.*"}},
        {"select * from t", {}, {"t=t"}, {"*"}},
        {"select case when a > 1 then 'x' else 'y' end from t",
         {},
         {"t=t"},
         {"case when a > 1 then 'x' else 'y' end"}},
        {"select a::text, b collate nocase, c from t",
         {"c=t.c"},
         {"t=t"},
         {"a::text", "b collate nocase"}},
        {"select id from (a join b on a.x = b.x) join c on c.y = b.y",
         {},
         {"a=a", "b=b", "c=c"},
         {"id"}},
        {"select u.id from t", {}, {"t=t"}, {"id"}},
        // A name holding "=" cannot stand before the "=" of an entry.
        {"select a.id as \"x=y\", a.name from \"k=v\" a, \"p=q\"",
         {"name=k=v.name"},
         {"a=k=v"},
         {"x=y"}},
        {"update t set a = 1", {}, {}, {}},
        {"", {}, {}, {}},
        {"select", {}, {}, {}},
    };
    TOvQuery q;
    for (const Case &c : cases) {
        const Parsed p = parse(q, QString::fromUtf8(c.sql));
        EXPECT_EQ(p.fields, c.fields) << c.sql;
        EXPECT_EQ(p.tables, c.tables) << c.sql;
        EXPECT_EQ(p.unresolved, c.unresolved) << c.sql;
    }
    const Parsed dangling = parse(q, QStringLiteral("select id from"));
    EXPECT_TRUE(dangling.fields.isEmpty()) << "no table, nothing attributed";
}

// With the database connected: "*" expands and unqualified columns find their table.
TEST(ParseFieldInfo, connectedDatabaseResolvesStarsAndAmbiguity)
{
    SQLiteShop shop;
    TOvQuery q(shop.owner());
    q.SetDatabaseName(QStringLiteral("Shop"));
    Parsed p = parse(q, QStringLiteral("select * from customer"));
    EXPECT_TRUE(p.fields.isEmpty()) << "not connected: the parser does not connect";
    shop.db()->Open();
    p = parse(q, QStringLiteral("select * from customer"));
    EXPECT_EQ(p.fields, (QStringList{"id=customer.id", "name=customer.name",
                                     "Mixed Case=customer.Mixed Case", "city=customer.city"}));
    p = parse(
        q, QStringLiteral("select o.*, name from orders o, customer c where o.customer_id = c.id"));
    EXPECT_EQ(p.fields, (QStringList{"order_no=orders.order_no", "line_no=orders.line_no",
                                     "customer_id=orders.customer_id", "amount=orders.amount",
                                     "name=customer.name"}))
        << "o.* expands; name is only in customer";
    p = parse(q, QStringLiteral("select name, amount from customer, v_customer, orders"));
    EXPECT_EQ(p.fields, QStringList{QStringLiteral("amount=orders.amount")});
    EXPECT_EQ(p.unresolved, QStringList{QStringLiteral("name")})
        << "name is in two tables: ambiguous";
}
