// Values keep their precision: every row of a table of every type is read
// through a query and written back with its own values through an update
// object; each write finds its one row by those values (times to the
// microsecond included), and the table reads the same before and after.

#include "PgTestServer.h"
#include "SQLiteFixture.h" // PrintTo for QString

#include "orvlib/OvDB.h"
#include "orvlib/OvDriver.h"

#include <gtest/gtest.h>

namespace {

// The whole table as the server itself writes it as text, row by row.
QStringList tableText(TOvDatabase *Db, const QString &SQL)
{
    QStringList rows;
    for (const QVariantList &row : Db->Driver().Execute(SQL, {}).Rows)
        rows << row.at(0).toString();
    return rows;
}

// Reads Select through a query and writes each row back with Modify, its
// new and old values both the values read; returns the rows each write
// changed, in order.
QList<qint64> writeBackEveryRow(TOvDatabase *Db, const QString &Select, const QString &Modify)
{
    QObject owner;
    auto *q = new TOvQuery(&owner);
    q->setObjectName(QStringLiteral("qValues"));
    q->SetDatabaseName(Db->DatabaseName());
    q->SQL()->SetText(Select);
    auto *upd = new TOvUpdateSQL(&owner);
    upd->setObjectName(QStringLiteral("usValues"));
    upd->SetDataSet(q);
    upd->GetSQLIndex(1)->SetText(Modify);
    q->Open();
    std::vector<QVariantMap> read;
    for (; !q->Eof(); q->Next()) {
        QVariantMap row;
        for (int i = 0; i < q->FieldCount(); ++i)
            row.insert(q->Fields(i)->FieldName(), q->Fields(i)->Value());
        read.push_back(row);
    }
    q->Close();
    QList<qint64> changed;
    for (const QVariantMap &row : read)
        changed << upd->Apply(TUpdateKind::ukModify, row, row);
    return changed;
}

} // namespace

TEST(ValueRoundTrip, postgresTypesWriteBackExactly)
{
    QObject owner;
    auto *db = new TOvDatabase(&owner);
    db->SetDatabaseName(QStringLiteral("PgValues"));
    const QString schema = pgUniqueName("ovval_");
    OV_REQUIRE_PG(pgOpenInSchema(db, schema));
    db->ExecSQL(QStringLiteral(R"sql(
create table vals (id integer primary key, tstz timestamptz, ts timestamp, t time, ttz timetz,
  iv interval, d date, n numeric, n2 numeric(30,10), i8 bigint, f8 double precision, f4 real,
  b bytea, u uuid, j json, jb jsonb, arr integer[], tarr text[], flag boolean, txt text);
insert into vals values
 (1, '2024-05-01 10:00:00.935418+02', '2024-05-01 10:00:00.935418', '12:34:56.123456',
  '12:34:56.123456+05:30', '1 year 2 mons 3 days 04:05:06.789012', '2024-02-29', 0.1,
  12345678901234567890.1234567890, 9223372036854775807, '-0', 0.1, '\x00ff10',
  'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11', '{"a": [1, 2.50]}', '{"b": 1}', '{1,2,3}',
  '{"a b",NULL}', true, 'Größe €'),
 (2, '2024-05-01 10:00:00.935+00', '2024-05-01 10:00:00', '23:59:59.999999',
  '00:00:00+00', '-00:00:00.000001', '0044-03-15 BC', 1.10, -0.0000000001,
  -9223372036854775808, 1e-300, 3.4028235e38, '\x', '00000000-0000-0000-0000-000000000000',
  '[]', '[]', '{}', '{}', false, ''),
 (3, 'infinity', '-infinity', '00:00:00', null, '0', 'infinity', 'NaN', 0, 0, 'NaN',
  '-Infinity', null, null, 'null', 'null', '{{1,2},{3,4}}', null, null, null),
 (4, null, null, null, null, null, null, 100, 1, 1, 1.7976931348623157e308, -0.0, null, null,
  null, null, null, null, null, null);
)sql"));
    const QString whole = QStringLiteral("select vals::text from vals order by id");
    const QStringList before = tableText(db, whole);
    ASSERT_EQ(before.size(), 4);

    // Every column is set, and the row is found by each value that has an
    // equality: a value that changed on the way matches no row.
    const QStringList columns{"tstz", "ts", "t", "ttz", "iv", "d",   "n",    "n2",   "i8", "f8",
                              "f4",   "b",  "u", "j",   "jb", "arr", "tarr", "flag", "txt"};
    QStringList set, where{QStringLiteral("id = :OLD_id")};
    for (const QString &c : columns) {
        set << QStringLiteral("%1 = :%1").arg(c);
        if (c != u"j") // json has no equality
            where << QStringLiteral("%1 is not distinct from :OLD_%1").arg(c);
    }
    const QString modify
        = QStringLiteral("update vals set %1 where %2")
              .arg(set.join(QStringLiteral(", ")), where.join(QStringLiteral(" and ")));
    EXPECT_EQ(writeBackEveryRow(db, QStringLiteral("select * from vals order by id"), modify),
              QList<qint64>({1, 1, 1, 1}))
        << "each row found by its own values";
    EXPECT_EQ(tableText(db, whole).join(u'\n').toStdString(), before.join(u'\n').toStdString())
        << "the table as it was, to the last digit";

    // What a reader sees: the full value, not one rounded to milliseconds.
    QObject readers;
    auto *q = new TOvQuery(&readers);
    q->SetDatabaseName(db->DatabaseName());
    q->SQL()->SetText(QStringLiteral("select tstz, t, n, n2 from vals where id = 1"));
    q->Open();
    const QStringList asServer
        = tableText(db,
                    QStringLiteral("select tstz::text || '|' || t::text from vals where id = 1"))
              .first()
              .split(u'|');
    EXPECT_EQ(q->Fields(0)->AsString(), asServer.at(0));
    EXPECT_EQ(q->Fields(1)->AsString(), QStringLiteral("12:34:56.123456"));
    EXPECT_DOUBLE_EQ(q->Fields(2)->AsFloat(), 0.1) << "a numeric a double holds is a double";
    EXPECT_EQ(q->Fields(3)->AsString(), QStringLiteral("12345678901234567890.1234567890"));
    q->Close();
    db->ExecSQL(QStringLiteral("drop schema %1 cascade").arg(schema));
}

TEST(ValueRoundTrip, sqliteTypesWriteBackExactly)
{
    SQLiteShop shop;
    TOvDatabase *db = shop.db();
    db->ExecSQL(QStringLiteral(R"sql(
create table vals (id integer primary key, i8 integer, f8 real, n numeric, ts text, b blob,
  txt text);
insert into vals values
 (1, 9223372036854775807, -0.0, 0.1, '2024-05-01 10:00:00.935418', x'00ff10', 'Größe €'),
 (2, -9223372036854775808, 1e-300, 12345678901234567890, '23:59:59.999999', x'', ''),
 (3, 0, 1.7976931348623157e308, 1.10, null, null, null);
)sql"));
    const QString whole = QStringLiteral(
        "select quote(id) || '|' || quote(i8) || '|' || quote(f8) || '|' || quote(n) || '|'"
        " || quote(ts) || '|' || quote(b) || '|' || quote(txt) || '|' || typeof(f8)"
        " from vals order by id");
    const QStringList before = tableText(db, whole);
    ASSERT_EQ(before.size(), 3);
    EXPECT_EQ(writeBackEveryRow(db, QStringLiteral("select * from vals order by id"),
                                QStringLiteral("update vals set i8 = :i8, f8 = :f8, n = :n,"
                                               " ts = :ts, b = :b, txt = :txt"
                                               " where id = :OLD_id and i8 is :OLD_i8"
                                               " and f8 is :OLD_f8 and n is :OLD_n"
                                               " and ts is :OLD_ts and b is :OLD_b")),
              QList<qint64>({1, 1, 1}));
    EXPECT_EQ(tableText(db, whole).join(u'\n').toStdString(), before.join(u'\n').toStdString());
}
