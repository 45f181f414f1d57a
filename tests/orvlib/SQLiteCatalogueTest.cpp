#include "SQLiteFixture.h"

#include "orvlib/OvConsts.h"
#include "orvlib/OvDriver.h"

#include "rtl/SysUtils.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

QStringList names(void (TOvSession::*Get)(const QString &, const QString &, bool, TStrings *),
                  const QString &Db, const QString &Pattern, bool System)
{
    TStringList list;
    (Session()->*Get)(Db, Pattern, System, &list);
    return list.toStringList();
}

QStringList fieldNames(const QString &Table)
{
    TStringList list;
    list.Add(QStringLiteral("stale entry"));
    Session()->GetFieldNames(QStringLiteral("Shop"), Table, &list);
    return list.toStringList();
}

struct IndexRow
{
    QString index;
    int type;
    QString column;
    int position;
    bool operator==(const IndexRow &) const = default;
};

std::vector<IndexRow> indexRows(TOvDatabase *Db, const QString &Table)
{
    std::unique_ptr<TDataSet> ds = Db->GetSchemaInfo(TOvSchemaType::stIndexes, Table);
    std::vector<IndexRow> rows;
    for (ds->First(); !ds->Eof(); ds->Next()) {
        rows.push_back({ds->FieldByName(QStringLiteral("INDEX_NAME"))->AsString(),
                        int(ds->FieldByName(QStringLiteral("INDEX_TYPE"))->AsInteger()),
                        ds->FieldByName(QStringLiteral("COLUMN_NAME"))->AsString(),
                        int(ds->FieldByName(QStringLiteral("COLUMN_POSITION"))->AsInteger())});
    }
    return rows;
}

} // namespace

TEST(SQLiteConnect, failuresRaiseWithTheCauseAndLeaveNothingBehind)
{
    SQLiteShop shop;
    TOvDatabase *db = shop.db();

    // A file that does not exist: an error naming it, and no new file.
    const QString missing = shop.file() + QStringLiteral(".missing");
    db->SetRemoteDatabase(missing);
    try {
        db->Open();
        FAIL() << "a missing file must not connect";
    } catch (const Exception &e) {
        EXPECT_TRUE(e.Message().contains(missing)) << e.Message().toStdString();
    }
    EXPECT_FALSE(db->Connected());
    EXPECT_FALSE(QFile::exists(missing)) << "no empty database made by accident";
    // A relative name: the error says where it was looked for.
    db->SetRemoteDatabase(QStringLiteral("no-such-file.db"));
    try {
        db->Open();
        FAIL() << "a missing file must not connect";
    } catch (const Exception &e) {
        EXPECT_TRUE(e.Message().contains(QDir::current().absoluteFilePath("no-such-file.db")))
            << e.Message().toStdString();
    }

    // A file that is no database: the server's own message.
    const QString text = shop.file() + QStringLiteral(".txt");
    {
        QFile f(text);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
    }
    db->SetRemoteDatabase(text);
    try {
        db->SetConnected(true);
        FAIL() << "a text file is no database";
    } catch (const EOvDatabaseError &e) {
        EXPECT_TRUE(e.ServerMessage().contains(QStringLiteral("not a database")))
            << e.Message().toStdString();
    }
    EXPECT_FALSE(db->Connected());

    // An empty RemoteDatabase is refused before any driver runs.
    db->SetRemoteDatabase(QString());
    EXPECT_THROW(db->Open(), Exception);

    // The next call works again.
    db->SetRemoteDatabase(shop.file());
    db->Open();
    EXPECT_TRUE(db->Connected());
    db->SetRemoteDatabase(missing);
    EXPECT_FALSE(db->Connected()) << "a new remote database disconnects";

    // CREATE=1 asks for a new file.
    db->Params()->Add(QStringLiteral("CREATE=1"));
    db->Open();
    EXPECT_TRUE(db->Connected());
    EXPECT_TRUE(QFile::exists(missing));
}

TEST(SQLiteCatalogue, tableNamesWithPatternsAndSystemTables)
{
    SQLiteShop shop;
    const QString db = QStringLiteral("Shop");
    EXPECT_EQ(names(&TOvSession::GetTableNames, db, QString(), false),
              (QStringList{"CamelTable", "Order Items", "customer", "orders", "t_x", "tax",
                           "v_customer"}))
        << "tables and views in name order, no system tables";
    EXPECT_EQ(names(&TOvSession::GetTableNames, db, QStringLiteral("t_x"), false),
              QStringList{"t_x"})
        << "'_' is no wildcard: tax does not match t_x";
    EXPECT_EQ(names(&TOvSession::GetTableNames, db, QStringLiteral("T*"), false),
              (QStringList{"t_x", "tax"}))
        << "'*' wildcard, letter case ignored";
    EXPECT_EQ(names(&TOvSession::GetTableNames, db, QStringLiteral("%"), false), QStringList{})
        << "'%' is no wildcard";
    EXPECT_EQ(names(&TOvSession::GetTableNames, db, QStringLiteral("?ax"), false),
              QStringList{"tax"});

    const QStringList withSystem = names(&TOvSession::GetTableNames, db, QString(), true);
    EXPECT_TRUE(withSystem.contains(QStringLiteral("sqlite_schema")))
        << "system tables when asked for";
    EXPECT_TRUE(withSystem.contains(QStringLiteral("customer")));

    TStringList procs;
    procs.Add(QStringLiteral("stale"));
    Session()->GetStoredProcNames(db, &procs);
    EXPECT_EQ(procs.Count(), 0) << "SQLite has no stored procedures";
}

TEST(SQLiteCatalogue, fieldNamesOfMixedCaseQuotedAndHostileNames)
{
    SQLiteShop shop;
    EXPECT_EQ(fieldNames(QStringLiteral("customer")),
              (QStringList{"id", "name", "Mixed Case", "city"}))
        << "table order, stale entries replaced";
    EXPECT_EQ(fieldNames(QStringLiteral("CUSTOMER")), fieldNames(QStringLiteral("customer")))
        << "SQLite names ignore letter case";
    EXPECT_EQ(fieldNames(QStringLiteral("Order Items")),
              (QStringList{"item", "sku", "code", "variant"}));
    EXPECT_EQ(fieldNames(QStringLiteral("\"Order Items\"")),
              (QStringList{"item", "sku", "code", "variant"}))
        << "a quoted name";
    EXPECT_EQ(fieldNames(QStringLiteral("main.customer")).size(), 4) << "the main schema as owner";
    EXPECT_EQ(fieldNames(QStringLiteral("v_customer")), (QStringList{"id", "name"})) << "a view";
    EXPECT_EQ(fieldNames(QStringLiteral("nosuch")), QStringList{}) << "unknown table";
    EXPECT_EQ(fieldNames(QStringLiteral("dbo.customer")), QStringList{}) << "unknown owner";
    EXPECT_EQ(fieldNames(QString()), QStringList{}) << "no name";

    const QString hostile[] = {QStringLiteral("x'; drop table customer; --"),
                               QStringLiteral("t\" ; drop table customer; --"),
                               QStringLiteral("customer'); drop table orders; --"),
                               QStringLiteral("customer\" where 1=1 --")};
    for (const QString &name : hostile)
        EXPECT_EQ(fieldNames(name), QStringList{}) << name.toStdString();
    EXPECT_EQ(shop.count(QStringLiteral("customer")), 3) << "nothing was dropped";
    EXPECT_EQ(shop.count(QStringLiteral("orders")), 3);
    EXPECT_EQ(names(&TOvSession::GetTableNames, QStringLiteral("Shop"), QString(), false).size(),
              7);
}

TEST(SQLiteCatalogue, indexInformationWithBitsAndOrder)
{
    SQLiteShop shop;
    TOvDatabase *db = shop.db();
    EXPECT_EQ(indexRows(db, QStringLiteral("customer")),
              (std::vector<IndexRow>{{"PRIMARY", 6, "id", 1}}))
        << "an INTEGER PRIMARY KEY (the rowid) still reports its key";
    EXPECT_EQ(indexRows(db, QStringLiteral("orders")),
              (std::vector<IndexRow>{{"sqlite_autoindex_orders_1", 6, "order_no", 1},
                                     {"sqlite_autoindex_orders_1", 6, "line_no", 2}}))
        << "composite primary key in key order";
    EXPECT_EQ(indexRows(db, QStringLiteral("\"Order Items\"")),
              (std::vector<IndexRow>{{"ix_plain", 0, "variant", 1},
                                     {"sqlite_autoindex_Order Items_1", 2, "sku", 1},
                                     {"ux_b", 2, "code", 1},
                                     {"ux_b", 2, "variant", 2}}))
        << "no primary key: indexes by name, unique bit only where unique";
    shop.exec(QStringLiteral("create index ix_expr on tax (b + 1, b)"));
    EXPECT_EQ(indexRows(db, QStringLiteral("tax")),
              (std::vector<IndexRow>{{"ix_expr", 8, "", 1}, {"ix_expr", 8, "b", 2}}))
        << "an expression key has no column name; every row has the expression bit";
    EXPECT_TRUE(indexRows(db, QStringLiteral("nosuch")).empty());
    EXPECT_TRUE(indexRows(db, QStringLiteral("x'; drop table orders; --")).empty());
    EXPECT_EQ(shop.count(QStringLiteral("orders")), 3);

    std::unique_ptr<TDataSet> cols
        = db->GetSchemaInfo(TOvSchemaType::stColumns, QStringLiteral("orders"));
    EXPECT_EQ(cols->RecordCount(), 4);
    EXPECT_EQ(cols->FieldByName(QStringLiteral("COLUMN_NAME"))->AsString(),
              QStringLiteral("order_no"));
    std::unique_ptr<TDataSet> tables
        = db->GetSchemaInfo(TOvSchemaType::stTables, QStringLiteral("*Items"));
    EXPECT_EQ(tables->RecordCount(), 1);
    EXPECT_EQ(tables->FieldByName(QStringLiteral("TABLE_NAME"))->AsString(),
              QStringLiteral("Order Items"));
    std::unique_ptr<TDataSet> procs = db->GetSchemaInfo(TOvSchemaType::stProcedures, QString());
    EXPECT_TRUE(procs->IsEmpty());
}

// Index information says what an index is: a partial index carries 16 and
// an index with an expression 8, on every row of the index.
TEST(SQLiteCatalogue, partialAndExpressionIndexesAreMarkedWhole)
{
    SQLiteShop shop;
    shop.exec(
        QStringLiteral("create table m (id integer, email text, tenant integer, active integer);"
                       "create unique index m_a on m (email) where active = 1;"
                       "create unique index m_b on m (tenant, lower(email));"
                       "create unique index m_c on m (id);"));
    EXPECT_EQ(indexRows(shop.db(), QStringLiteral("m")),
              (std::vector<IndexRow>{{"m_a", 2 | 16, "email", 1},
                                     {"m_b", 2 | 8, "tenant", 1},
                                     {"m_b", 2 | 8, "", 2},
                                     {"m_c", 2, "id", 1}}));
}

// The index look-up stays prepared for its connection: it leaves no lock
// behind for a writer on another connection, sees indexes changed there,
// and a connection to another file reads that file's. Names with quotes
// and mixed case are bound, never spliced into the text; index names sort
// by character code, the rowid key first.
TEST(SQLiteCatalogue, indexLookUpFollowsSchemaChangesAndReconnects)
{
    SQLiteShop shop;
    const QString table = QStringLiteral("\"Odd \"\"Q\"\" Case\"");
    shop.exec(QStringLiteral("create table %1 (id integer primary key, a text, b text);"
                             "create index \"Zeta\" on %1 (b);"
                             "create index alpha on %1 (a, b);")
                  .arg(table));
    TOvDatabase *db = shop.db();
    EXPECT_EQ(indexRows(db, table), (std::vector<IndexRow>{{"PRIMARY", 6, "id", 1},
                                                           {"Zeta", 0, "b", 1},
                                                           {"alpha", 0, "a", 1},
                                                           {"alpha", 0, "b", 2}}));

    // The other connection has no busy timeout: a lock left behind fails it.
    shop.exec(QStringLiteral("drop index \"Zeta\"; create unique index \"Zeta\" on %1 (a);"
                             "create index \"with \"\"quote\" on %1 (lower(b), id)")
                  .arg(table));
    EXPECT_EQ(indexRows(db, table), (std::vector<IndexRow>{{"PRIMARY", 6, "id", 1},
                                                           {"Zeta", 0, "b", 1},
                                                           {"alpha", 0, "a", 1},
                                                           {"alpha", 0, "b", 2}}))
        << "the connection keeps what it read until a Refresh";
    db->RefreshCatalogue();
    EXPECT_EQ(indexRows(db, table), (std::vector<IndexRow>{{"PRIMARY", 6, "id", 1},
                                                           {"Zeta", 2, "a", 1},
                                                           {"alpha", 0, "a", 1},
                                                           {"alpha", 0, "b", 2},
                                                           {"with \"quote", 8, "", 1},
                                                           {"with \"quote", 8, "id", 2}}));

    const QString other = shop.file() + QStringLiteral(".other");
    sqlite3 *h = nullptr;
    ASSERT_EQ(sqlite3_open(other.toUtf8().constData(), &h), SQLITE_OK);
    const QByteArray sql
        = QStringLiteral("create table %1 (k1 text, k2 text, primary key (k2, k1))")
              .arg(table)
              .toUtf8();
    ASSERT_EQ(sqlite3_exec(h, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(h);
    db->Close();
    db->SetRemoteDatabase(other);
    EXPECT_EQ(indexRows(db, table),
              (std::vector<IndexRow>{{"sqlite_autoindex_Odd \"Q\" Case_1", 6, "k2", 1},
                                     {"sqlite_autoindex_Odd \"Q\" Case_1", 6, "k1", 2}}))
        << "the look-up of the closed connection is not reused";
}

// Names as the table list shows them read back as the same table: a name
// the look-ups would split or trim is listed in quotes. User tables whose
// names merely begin with "sqlite" are user tables. Generated columns are
// columns; a NUL in a name finds nothing.
TEST(SQLiteCatalogue, listedNamesReadBackAsTheSameTable)
{
    SQLiteShop shop;
    const QString attached = shop.file() + QStringLiteral(".aux");
    QFile empty(attached); // an empty file is an empty database
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    shop.exec(QStringLiteral("create table \"a.b\" (in_dotted integer);"
                             "create table b (in_main_b integer);"
                             "create table \" pad \" (in_padded integer);"
                             "create table \"q\"\"t\" (in_quoted integer);"
                             "create table sqlitex (s1 integer);"
                             "create table \"SQLite1\" (s2 integer);"
                             "create table g (x integer, y integer generated always as (x + 1),"
                             " z integer generated always as (x * 2) stored);"));
    TOvDatabase *db = shop.db();
    db->Open();
    db->ExecSQL(QStringLiteral("attach database '%1' as a").arg(attached));
    db->ExecSQL(QStringLiteral("create table a.b (in_attached integer)"));

    const QStringList tables
        = names(&TOvSession::GetTableNames, QStringLiteral("Shop"), QString(), false);
    for (const char *name : {"\"a.b\"", "b", "\" pad \"", "\"q\"\"t\"", "sqlitex", "SQLite1"})
        EXPECT_TRUE(tables.contains(QString::fromUtf8(name))) << name;
    const QStringList expected[]
        = {{"in_dotted"}, {"in_main_b"}, {"in_padded"}, {"in_quoted"}, {"s1"}, {"s2"}};
    const QString listed[] = {"\"a.b\"", "b", "\" pad \"", "\"q\"\"t\"", "sqlitex", "SQLite1"};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(fieldNames(listed[i]), expected[i]) << listed[i].toStdString();
    EXPECT_EQ(fieldNames(QStringLiteral("a.b")), QStringList{"in_attached"})
        << "unquoted, the dot names an owner";

    EXPECT_EQ(fieldNames(QStringLiteral("g")), (QStringList{"x", "y", "z"}));
    std::unique_ptr<TDataSet> cols = db->GetSchemaInfo(TOvSchemaType::stColumns, "g");
    QStringList generated;
    for (cols->First(); !cols->Eof(); cols->Next())
        generated << cols->FieldByName(QStringLiteral("COLUMN_GENERATED"))->AsString();
    EXPECT_EQ(generated, (QStringList{"0", "1", "1"}));

    EXPECT_TRUE(fieldNames(QStringLiteral("b") + QChar(u'\0') + QStringLiteral("x")).isEmpty())
        << "b\\0x is no table";
    EXPECT_TRUE(indexRows(db, QStringLiteral("b") + QChar(u'\0')).empty());
}

TEST(SQLiteCatalogue, lookUpsKeepOrDropTheirConnection)
{
    SQLiteShop shop;
    shop.db()->SetKeepConnection(true);
    TStringList list;
    Session()->GetTableNames(QStringLiteral("Shop"), QString(), false, &list);
    EXPECT_TRUE(shop.db()->Connected()) << "KeepConnection keeps the connection a look-up opened";
    shop.db()->Close();
    shop.db()->SetKeepConnection(false);
    Session()->GetTableNames(QStringLiteral("Shop"), QString(), false, &list);
    EXPECT_FALSE(shop.db()->Connected()) << "without KeepConnection it is closed again";
    EXPECT_THROW(Session()->GetTableNames(QStringLiteral("Nowhere"), QString(), false, &list),
                 Exception)
        << "an unknown database";
    list.Add(QStringLiteral("stale"));
    Session()->GetTableNames(QString(), QString(), false, &list);
    EXPECT_EQ(list.Count(), 0) << "no database chosen: an empty list, no error";
}

TEST(SQLiteConnect, parametersFromTheParamsFile)
{
    SQLiteShop shop;
    TOvDatabase *db = shop.db();
    const QString fresh = shop.file() + QStringLiteral(".new");
    db->SetRemoteDatabase(fresh);
    TempFolder dir;
    dir.write(QStringLiteral("params.ini"), "CREATE=1\nBUSY TIMEOUT=100\n");
    db->SetParamsFileName(dir.file(QStringLiteral("params.ini")));
    db->Params()->Add(QStringLiteral("BUSY TIMEOUT=250"));
    TStringList effective;
    db->GetEffectiveParams(effective);
    EXPECT_EQ(effective.toStringList(), (QStringList{"CREATE=1", "BUSY TIMEOUT=250"}))
        << "the file's lines, with Params over them";
    db->Open();
    EXPECT_TRUE(db->Connected()) << "CREATE came from the file";
    db->Close();

    db->SetParamsFileName(dir.file(QStringLiteral("missing.ini")));
    EXPECT_THROW(db->Open(), Exception) << "an unreadable parameters file is an error";
    EXPECT_FALSE(db->Connected());
}
