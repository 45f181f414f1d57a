#include "SQLiteFixture.h"

#include <sqlite3.h>

#include <stdexcept>

namespace {
const char *const kSchema = R"sql(
create table customer (id integer primary key, name text not null, "Mixed Case" text, city text);
create table orders (order_no integer, line_no integer, customer_id integer, amount real,
                     primary key (order_no, line_no));
create table "Order Items" (item integer, sku text, code text, variant text,
                            constraint u_sku unique (sku));
create unique index ux_b on "Order Items" (code, variant);
create index ix_plain on "Order Items" (variant);
create table t_x (a integer);
create table tax (b integer);
create table "CamelTable" ("Id" integer, "DisplayName" text);
create view v_customer as select id, name from customer;
insert into customer values (1, 'Ann', 'a', 'Oslo'), (2, 'Bob', 'b', 'Rome'), (3, 'Cid', null, 'Oslo');
insert into orders values (10, 1, 1, 5.5), (10, 2, 1, 7.0), (11, 1, 2, 1.25);
)sql";
} // namespace

SQLiteShop::SQLiteShop()
    : m_owner(std::make_unique<QObject>())
{
    exec(QString::fromUtf8(kSchema));
    m_db = new TOvDatabase(m_owner.get());
    m_db->setObjectName(QStringLiteral("ShopDatabase"));
    m_db->SetDatabaseName(QStringLiteral("Shop"));
    m_db->SetServerType(TOvServerType::stSQLite);
    m_db->SetRemoteDatabase(file());
}

SQLiteShop::~SQLiteShop() = default;

void SQLiteShop::exec(const QString &SQL) const
{
    sqlite3 *h = nullptr;
    if (sqlite3_open(file().toUtf8().constData(), &h) != SQLITE_OK)
        throw std::runtime_error("cannot open the test database");
    char *err = nullptr;
    const int rc = sqlite3_exec(h, SQL.toUtf8().constData(), nullptr, nullptr, &err);
    const std::string msg = err ? err : "";
    sqlite3_free(err);
    sqlite3_close(h);
    if (rc != SQLITE_OK)
        throw std::runtime_error("test schema: " + msg);
}

qint64 SQLiteShop::count(const QString &Table) const
{
    sqlite3 *h = nullptr;
    sqlite3_open(file().toUtf8().constData(), &h);
    sqlite3_stmt *st = nullptr;
    const QByteArray sql = "select count(*) from " + Table.toUtf8();
    qint64 n = -1;
    if (sqlite3_prepare_v2(h, sql.constData(), -1, &st, nullptr) == SQLITE_OK
        && sqlite3_step(st) == SQLITE_ROW)
        n = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(h);
    return n;
}
