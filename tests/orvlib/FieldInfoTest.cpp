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
         {"sku=\"Order Items\".sku", "Item Code=\"Order Items\".code"},
         {"\"Order Items\"=\"Order Items\""},
         {}},
        // Quoted names keep their quotes: "a.b" is one table, not b of owner a.
        {"select \"a.b\".x, s.\"a.b\".y as \"y.1\" from \"a.b\", s.\"a.b\"",
         {"x=\"a.b\".x", "y.1=s.\"a.b\".y"},
         {"\"a.b\"=\"a.b\"", "s.\"a.b\"=s.\"a.b\""},
         {}},
        {"select \"a\"\"b\" from \"t\"\"u\"",
         {"a\"b=\"t\"\"u\".a\"b"},
         {"\"t\"\"u\"=\"t\"\"u\""},
         {}},
        {"select [c d].e from [c d]", {"e=\"c d\".e"}, {"\"c d\"=\"c d\""}, {}},
        // A four-part column reference: three parts name the table.
        {"select d.s.t.id, s.t.name, x.s.t.z from d.s.t",
         {"id=d.s.t.id"},
         {"d.s.t=d.s.t"},
         {"name", "z"}},
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
        // A common table expression is no table the query reads.
        {"with recent as (select * from orders) select r.order_no from recent r",
         {},
         {},
         {"order_no"}},
        {"with q(id) as (select 1), R as (select 2) select q.id, x, t.y from q, r, t",
         {"y=t.y"},
         {"t=t"},
         {"id", "x"}},
        {"select /* a /* nested ; :p */ still from x */ id from t", {"id=t.id"}, {"t=t"}, {}},
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
         {"name=\"k=v\".name"},
         {"a=\"k=v\""},
         {"x=y"}},
        // A name is letters (any past ASCII), digits, "_" and "$"; the
        // characters beside the ASCII letters end it.
        {"select Größe, a$1, _x9, b@c, f{g from Tä_b$",
         {"Größe=Tä_b$.Größe", "a$1=Tä_b$.a$1", "_x9=Tä_b$._x9"},
         {"Tä_b$=Tä_b$"},
         {"b@c", "f{g"}},
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

    // A table named "a.b" beside table b: its columns come from the table
    // the query names, and the origins keep the quotes.
    shop.exec(QStringLiteral("create table \"a.b\" (ab_id integer, ab_name text);"
                             "create table b (b_id integer)"));
    p = parse(q, QStringLiteral("select x.*, ab_name, b_id from \"a.b\" x, b"));
    EXPECT_EQ(p.fields, (QStringList{"ab_id=\"a.b\".ab_id", "ab_name=\"a.b\".ab_name",
                                     "b_id=b.b_id"}));
    EXPECT_EQ(p.tables, (QStringList{"x=\"a.b\"", "b=b"}));
    EXPECT_TRUE(p.unresolved.isEmpty());
}

// A list longer than the reader takes in one go: the first of a name wins
// over the whole list (the entries held before included), and fields and
// unresolved names keep their order even in one list.
TEST(ParseFieldInfo, longListKeepsOrderAndFirstNames)
{
    QStringList items, expected{QStringLiteral("C5=old.C5")};
    for (int i = 0; i < 40; ++i) {
        if (i == 17) {
            items << QStringLiteral("c%1 as \"p=q\"").arg(i);
            expected << QStringLiteral("p=q");
        } else if (i == 33) {
            items << QStringLiteral("t.C1"); // the name of item 1, in other letters
        } else {
            items << QStringLiteral("c%1").arg(i);
            if (i != 5)
                expected << QStringLiteral("c%1=t.c%1").arg(i);
        }
    }
    items << QStringLiteral("count(*)");
    expected << QStringLiteral("count(*)");
    TStringList list;
    list.Add(QStringLiteral("C5=old.C5"));
    TOvQuery q;
    q.ParseFieldInfoFromSQL("select " + items.join(", ") + " from t", &list, nullptr, &list);
    EXPECT_EQ(list.toStringList(), expected);
}
