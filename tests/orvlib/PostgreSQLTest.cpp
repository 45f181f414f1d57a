// The PostgreSQL driver and the components on it, against the server named by
// OV_PG_CONNINFO (scripts/test starts one). Outside CI the tests skip when it
// is unset or unreachable; under CI they fail. Every test makes its own
// schemas with unique names and drops them.

#include "SQLiteFixture.h" // PrintTo for QString
#include "PgTestServer.h"

#include "orvlib/OvCommon.h"
#include "orvlib/OvDB.h"
#include "orvlib/OvDriver.h"

#include "rtl/SysUtils.h"
#include "rtl/Forms.h"
#include "rtl/UiServices.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace {

// The value of one keyword of a simple "key=value key=value" string.
QString connValue(const QString &Key)
{
    for (const QString &part : pgConnInfo().split(u' ', Qt::SkipEmptyParts)) {
        if (part.startsWith(Key + u'='))
            return part.mid(Key.size() + 1);
    }
    return {};
}

// Schemas and objects of one test; "ovs_<id>" is on the component's
// search_path, "OvMixed_<id>" (mixed case, needs quotes) is not.
class PostgreSQLTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString problem;
        admin = pgAdmin(&problem);
        OV_REQUIRE_PG(problem);
        id = pgUniqueName(QString());
        schema = QStringLiteral("ovs_") + id;
        mixed = QStringLiteral("OvMixed_") + id;
        const QString m = QuoteIdentifier(mixed, true);
        exec(QStringLiteral(R"sql(
create schema %1;
create schema %2;
create table %1.customer (id serial primary key, name text not null, "Mixed Case" text,
                          city varchar(40), joined date, seen timestamp, vip boolean,
                          photo bytea, score numeric(10,2));
create table %1."CUSTOMER" (upper_only integer);
create table %1.orders (order_no integer, line_no integer, customer_id integer,
                        amount numeric(10,2), primary key (order_no, line_no));
create table %1."Order Items" (item integer, sku text, code text, variant text,
                               constraint u_sku unique (sku));
create unique index ux_b on %1."Order Items" (code, variant);
create index ix_plain on %1."Order Items" (variant);
create index ix_expr on %1."Order Items" (lower(sku), item);
create unique index ux_part on %1."Order Items" (item) include (code) where item > 0;
create table %1.t (a integer);
create table %1.t_x (a integer);
create table %1.tax (b integer);
create view %1.v_customer as select id, name from %1.customer;
create table %2."CamelTable" ("Id" integer primary key, "DisplayName" text);
create table %2.customer (other_col integer);
insert into %1.customer (name, "Mixed Case", city, joined, seen, vip, photo, score) values
  ('Ann', 'a', 'Oslo', '2024-02-29', '2024-02-29 13:14:15.5', true, '\x00ff10', 12.5),
  ('Bob', 'b', 'Rome', null, null, false, null, null);
insert into %1.t values (1);
create function %1.add_tax(amount numeric, rate numeric default 0.25) returns numeric
  language sql as 'select amount * (1 + rate)';
create function %1.split_name(in full_name text, out first text, out last text)
  language sql as $$select split_part(full_name, ' ', 1), split_part(full_name, ' ', 2)$$;
create function %1.bump(inout n integer, step integer) language sql as 'select n + step';
create procedure %1.set_city(p_id integer, p_city text)
  language sql as 'update %1.customer set city = p_city where id = p_id';
create procedure %1.double_it(inout v integer, out note text)
  language plpgsql as $$begin v := v * 2; note := 'doubled'; end$$;
create function %1.over(a integer) returns text language sql as $$select 'integer'$$;
create function %1.over(a text) returns text language sql as $$select 'text'$$;
create function %2."Hello"() returns text language sql as $$select 'hi'$$;
create function %1.touch() returns trigger language plpgsql as $$begin return new; end$$;
create function %1.on_ddl() returns event_trigger language plpgsql as $$begin end$$;
)sql")
                 .arg(schema, m));
    }

    void TearDown() override
    {
        if (!admin || !admin->IsConnected())
            return;
        try {
            exec(
                QStringLiteral("drop schema if exists %1 cascade; drop schema if exists %2 cascade")
                    .arg(schema, QuoteIdentifier(mixed, true)));
        } catch (const Exception &) {
        }
    }

    TOvResult exec(const QString &SQL) { return admin->Execute(SQL, {}); }
    bool tableExists(const QString &Qualified)
    {
        return !exec(QStringLiteral("select 1 from pg_tables where schemaname || '.' || "
                                    "tablename = '%1'")
                         .arg(Qualified))
                    .Rows.empty();
    }

    // A database component "Pg<id>" in the default session whose search_path
    // holds the test schema first (through the libpq keyword "options").
    TOvDatabase *database()
    {
        auto *db = new TOvDatabase(&owner);
        db->SetDatabaseName(dbName());
        db->SetServerType(TOvServerType::stPostgreSQL);
        db->SetLoginPrompt(false);
        db->SetRemoteDatabase(pgConnInfo());
        db->Params()->Add(QStringLiteral("options=-c search_path=%1,public").arg(schema));
        return db;
    }
    QString dbName() const { return QStringLiteral("Pg") + id; }

    std::unique_ptr<TOvDriver> admin;
    QObject owner;
    QString id, schema, mixed;
};

QStringList fieldNames(const QString &Db, const QString &Table)
{
    TStringList list;
    list.Add(QStringLiteral("stale entry"));
    Session()->GetFieldNames(Db, Table, &list);
    return list.toStringList();
}

QString indexRows(TOvDatabase *Db, const QString &Table)
{
    std::unique_ptr<TDataSet> ds = Db->GetSchemaInfo(TOvSchemaType::stIndexes, Table);
    QStringList rows;
    for (ds->First(); !ds->Eof(); ds->Next()) {
        rows << QStringLiteral("%1:%2:%3:%4")
                    .arg(ds->FieldByName(QStringLiteral("INDEX_NAME"))->AsString())
                    .arg(ds->FieldByName(QStringLiteral("INDEX_TYPE"))->AsInteger())
                    .arg(ds->FieldByName(QStringLiteral("COLUMN_NAME"))->IsNull()
                             ? QStringLiteral("<expr>")
                             : ds->FieldByName(QStringLiteral("COLUMN_NAME"))->AsString())
                    .arg(ds->FieldByName(QStringLiteral("COLUMN_POSITION"))->AsInteger());
    }
    return rows.join(u' ');
}

template<class T>
T *makeDataSet(QObject *Owner, const QString &Db)
{
    auto *ds = new T(Owner);
    ds->setObjectName(QString::fromLatin1(T::staticMetaObject.className()).mid(3));
    ds->SetDatabaseName(Db);
    return ds;
}

} // namespace

// With LoginPrompt the person is asked for the login before the connection
// opens; what they type is what connects, and a cancel connects nothing.
TEST_F(PostgreSQLTest, loginPromptAsksThroughTheDialog)
{
    TOvDatabase *db = database();
    db->SetLoginPrompt(true);
    const QString server
        = connValue(QStringLiteral("host")) + u':' + connValue(QStringLiteral("port"));
    db->SetRemoteDatabase(server + u'/' + connValue(QStringLiteral("dbname")));

    ScriptedUi ui;
    ui.onModal([](TForm &F) { F.findChild<QPushButton *>(QStringLiteral("btCancel"))->click(); });
    EXPECT_THROW(db->Open(), Exception);
    EXPECT_FALSE(db->Connected());

    ui.onModal([&](TForm &F) {
        F.findChild<QLineEdit *>(QStringLiteral("edUserName"))->setText(connValue("user"));
        F.findChild<QPushButton *>(QStringLiteral("btOk"))->click();
    });
    db->Open();
    EXPECT_TRUE(db->Connected()) << "connected with the login typed in the dialog";
    EXPECT_EQ(ui.modalForms, (std::vector<QString>{"TOvLoginDlg", "TOvLoginDlg"}));
    EXPECT_TRUE(db->Params()->Values(QStringLiteral("PASSWORD")).isEmpty())
        << "the login is not stored in the component";
}

// A role that must give its password: a wrong one is refused with the
// server's own reason and leaves the database closed; the right one connects.
TEST_F(PostgreSQLTest, wrongPasswordIsRefusedWithTheServersReason)
{
    const QStringList login = qEnvironmentVariable("OV_PG_PASSWORD_LOGIN").split(u' ');
    if (login.size() != 2) {
        if (runningUnderCi())
            FAIL() << "OV_PG_PASSWORD_LOGIN is not set under CI (scripts/test sets it)";
        GTEST_SKIP() << "no role with a password: set OV_PG_PASSWORD_LOGIN=\"user password\"";
    }
    TOvDatabase *db = database();
    const QString server
        = connValue(QStringLiteral("host")) + u':' + connValue(QStringLiteral("port"));
    db->SetRemoteDatabase(server + u'/' + connValue(QStringLiteral("dbname")));
    db->Params()->SetValues(QStringLiteral("USER NAME"), login.at(0));
    db->Params()->SetValues(QStringLiteral("PASSWORD"), login.at(1) + QStringLiteral("-wrong"));
    try {
        db->Open();
        FAIL() << "a wrong password must not connect";
    } catch (const EOvDatabaseError &e) {
        EXPECT_TRUE(e.ServerMessage().contains(QStringLiteral("password authentication failed")))
            << e.ServerMessage().toStdString();
        EXPECT_FALSE(e.Message().contains(QStringLiteral("-wrong"))) << "the password is not shown";
    }
    EXPECT_FALSE(db->Connected());

    db->Params()->SetValues(QStringLiteral("PASSWORD"), login.at(1));
    db->Open();
    EXPECT_TRUE(db->Connected()) << "the right password connects, the failure left nothing behind";
}

// A password written into the remote database never reaches the SQL monitor.
TEST_F(PostgreSQLTest, monitorTraceMasksPasswords)
{
    TOvMonitor monitor(&owner);
    monitor.SetActive(true);
    TOvDatabase *db = database();
    db->SetRemoteDatabase(pgConnInfo() + QStringLiteral(" password='s3cret pw'"));
    db->Open();
    db->Close();
    const QString server
        = connValue(QStringLiteral("host")) + u':' + connValue(QStringLiteral("port"));
    db->SetRemoteDatabase(QStringLiteral("postgresql://%1:hidden@%2/%3")
                              .arg(connValue(QStringLiteral("user")), server,
                                   connValue(QStringLiteral("dbname"))));
    db->Open();
    const QString trace = monitor.Lines()->Text();
    EXPECT_TRUE(trace.contains(QStringLiteral("Connect"))) << "the connections were traced";
    EXPECT_FALSE(trace.contains(QStringLiteral("s3cret"))) << trace.toStdString();
    EXPECT_FALSE(trace.contains(QStringLiteral("hidden"))) << trace.toStdString();
}

TEST_F(PostgreSQLTest, connectFailuresCarryTheServersMessageAndLeaveItDisconnected)
{
    TOvDatabase *db = database();
    EXPECT_TRUE(db->IsObjOwnerSupported());

    // A database that does not exist, in the "host:port/dbname" form.
    const QString server
        = connValue(QStringLiteral("host")) + u':' + connValue(QStringLiteral("port"));
    db->SetRemoteDatabase(server + QStringLiteral("/nosuchdb_") + id);
    db->Params()->SetValues(QStringLiteral("USER NAME"), connValue(QStringLiteral("user")));
    try {
        db->Open();
        FAIL() << "a missing database must not connect";
    } catch (const EOvDatabaseError &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("nosuchdb_") + id))
            << e.Message().toStdString();
        EXPECT_TRUE(e.ServerMessage().contains(QStringLiteral("does not exist")))
            << "the server's own text: " << e.ServerMessage().toStdString();
    }
    EXPECT_FALSE(db->Connected());

    // A refused port fails fast, with libpq's reason.
    db->SetRemoteDatabase(connValue(QStringLiteral("host")) + QStringLiteral(":1/ovtest"));
    QElapsedTimer timer;
    timer.start();
    EXPECT_THROW(db->Open(), EOvDatabaseError);
    EXPECT_LT(timer.elapsed(), 6000) << "connect_timeout bounds the wait";
    EXPECT_FALSE(db->Connected());

    // The same form with the right database connects; parameters of another
    // server type (CREATE) are ignored.
    db->SetRemoteDatabase(server + u'/' + connValue(QStringLiteral("dbname")));
    db->Params()->Add(QStringLiteral("CREATE=1"));
    db->Open();
    EXPECT_TRUE(db->Connected());
    db->Close();
    db->SetRemoteDatabase(QStringLiteral("postgresql://") + server + u'/'
                          + connValue(QStringLiteral("dbname")));
    db->Open();
    EXPECT_TRUE(db->Connected()) << "a URI";
    const TOvResult who = db->Driver().Execute(
        QStringLiteral("select current_user, current_schemas(false)::text"), {});
    EXPECT_EQ(who.Rows.at(0).at(0).toString(), connValue(QStringLiteral("user")));
    EXPECT_TRUE(who.Rows.at(0).at(1).toString().startsWith(u'{' + schema))
        << "options reached the server: " << who.Rows.at(0).at(1).toString().toStdString();
}

TEST_F(PostgreSQLTest, catalogueLookUpsFollowSchemasQuotesAndCase)
{
    TOvDatabase *db = database();
    const QString D = dbName();

    // Table names read back as the server reads them.
    TStringList list;
    Session()->GetTableNames(D, QString(), false, &list);
    const QStringList tables = list.toStringList();
    for (const QString &name :
         {QStringLiteral("customer"), QStringLiteral("\"CUSTOMER\""), QStringLiteral("orders"),
          QStringLiteral("\"Order Items\""), QStringLiteral("v_customer"), QStringLiteral("t_x"),
          QuoteIdentifier(mixed, true) + QStringLiteral(".\"CamelTable\""),
          QuoteIdentifier(mixed, true) + QStringLiteral(".customer")})
        EXPECT_TRUE(tables.contains(name)) << "listed: " << name.toStdString();
    EXPECT_FALSE(tables.contains(QStringLiteral("pg_class"))) << "no system tables by default";
    Session()->GetTableNames(D, QStringLiteral("t_x"), false, &list);
    EXPECT_EQ(list.toStringList(), QStringList{QStringLiteral("t_x")}) << "'_' is no wildcard";
    Session()->GetTableNames(D, QStringLiteral("pg_class"), true, &list);
    EXPECT_EQ(list.toStringList(), QStringList{QStringLiteral("pg_class")}) << "system tables";
    Session()->GetTableNames(D, QStringLiteral("information_schema.tables"), true, &list);
    EXPECT_EQ(list.Count(), 1) << "information_schema, qualified";

    // Columns: unquoted names fold, quoted ones keep their case, the schema
    // selects, the search_path resolves.
    const QStringList customer{"id",   "name", "Mixed Case", "city", "joined",
                               "seen", "vip",  "photo",      "score"};
    EXPECT_EQ(fieldNames(D, QStringLiteral("customer")), customer);
    EXPECT_EQ(fieldNames(D, QStringLiteral("CUSTOMER")), customer) << "unquoted folds";
    EXPECT_EQ(fieldNames(D, QStringLiteral("\"CUSTOMER\"")), QStringList{"upper_only"});
    EXPECT_EQ(fieldNames(D, schema + QStringLiteral(".Customer")), customer);
    EXPECT_EQ(fieldNames(D, QuoteIdentifier(mixed, true) + QStringLiteral(".customer")),
              QStringList{"other_col"})
        << "the same name in another schema";
    // Names that lost their quotes on the way: as written when folding finds nothing.
    EXPECT_EQ(fieldNames(D, mixed + QStringLiteral(".customer")), QStringList{"other_col"});
    EXPECT_EQ(fieldNames(D, QStringLiteral("Order Items")),
              (QStringList{"item", "sku", "code", "variant"}));
    EXPECT_EQ(fieldNames(D, QuoteIdentifier(mixed, true) + QStringLiteral(".\"CamelTable\"")),
              (QStringList{"Id", "DisplayName"}));
    EXPECT_EQ(fieldNames(D, QStringLiteral(" \"Order Items\" ")),
              (QStringList{"item", "sku", "code", "variant"}));
    EXPECT_EQ(fieldNames(D, QStringLiteral("v_customer")), (QStringList{"id", "name"}));
    for (const QString &bad :
         {QStringLiteral("nosuch"), QStringLiteral("a.b.c"), QStringLiteral("\"unterminated"),
          QStringLiteral("t_%"), QStringLiteral(".")})
        EXPECT_TRUE(fieldNames(D, bad).isEmpty()) << "names nothing: " << bad.toStdString();

    // Hostile names are names: nothing found, nothing changed, connection fine.
    for (const QString &hostile :
         {QStringLiteral("x'; drop table t; --"), QStringLiteral("t\" ; drop table t; --"),
          QStringLiteral("t'); drop table t; --"), QStringLiteral("\"t\"\"; drop table t; --\"")})
        EXPECT_TRUE(fieldNames(D, hostile).isEmpty()) << hostile.toStdString();
    EXPECT_TRUE(tableExists(schema + QStringLiteral(".t"))) << "table t survived";
    EXPECT_EQ(fieldNames(D, QStringLiteral("t")), QStringList{"a"}) << "still usable";

    // Index information: primary key first (4|2), then by name, then position;
    // unique 2, plain 0, expression indexes 8 on every row (the expression
    // key without a column name), partial indexes 16.
    EXPECT_EQ(indexRows(db, QStringLiteral("orders")),
              QStringLiteral("orders_pkey:6:order_no:1 orders_pkey:6:line_no:2"));
    EXPECT_EQ(indexRows(db, QStringLiteral("\"Order Items\"")),
              QStringLiteral("ix_expr:8:<expr>:1 ix_expr:8:item:2 ix_plain:0:variant:1 "
                             "u_sku:2:sku:1 ux_b:2:code:1 ux_b:2:variant:2 ux_part:18:item:1"))
        << "INCLUDE columns are no key columns";
    EXPECT_EQ(indexRows(db, QuoteIdentifier(mixed, true) + QStringLiteral(".\"CamelTable\"")),
              QStringLiteral("CamelTable_pkey:6:Id:1"));
    EXPECT_EQ(indexRows(db, QStringLiteral("x'; drop table t; --")), QString());

    // Columns with their types through GetSchemaInfo.
    std::unique_ptr<TDataSet> cols
        = db->GetSchemaInfo(TOvSchemaType::stColumns, QStringLiteral("customer"));
    cols->First();
    cols->Next();
    EXPECT_EQ(cols->FieldByName(QStringLiteral("COLUMN_NAME"))->AsString(), QStringLiteral("name"));
    EXPECT_EQ(cols->FieldByName(QStringLiteral("COLUMN_TYPE"))->AsString(), QStringLiteral("text"));
    EXPECT_EQ(cols->FieldByName(QStringLiteral("COLUMN_NULLABLE"))->AsInteger(), 0);
}

TEST_F(PostgreSQLTest, storedProcedureParametersComeFromTheCatalogue)
{
    TOvDatabase *db = database();
    const QString D = dbName();
    TStringList list;
    Session()->GetStoredProcNames(D, &list);
    for (const char *name : {"add_tax", "bump", "double_it", "set_city", "split_name"})
        EXPECT_GE(list.IndexOf(QString::fromLatin1(name)), 0) << name;
    EXPECT_GE(list.IndexOf(QuoteIdentifier(mixed, true) + QStringLiteral(".\"Hello\"")), 0)
        << "off the search_path: qualified and quoted";
    EXPECT_LT(list.IndexOf(QStringLiteral("now")), 0) << "no system functions";
    EXPECT_LT(list.IndexOf(QStringLiteral("touch")), 0) << "a trigger function is no procedure";
    EXPECT_LT(list.IndexOf(QStringLiteral("on_ddl")), 0) << "nor an event trigger function";

    auto params = [&](const QString &Proc) {
        QStringList rows;
        for (const TOvProcParamInfo &p : db->Driver().ProcedureParams(Proc))
            rows << QStringLiteral("%1:%2:%3:%4")
                        .arg(p.Name)
                        .arg(p.Position)
                        .arg(int(p.ParamType))
                        .arg(p.TypeName);
        return rows.join(u' ');
    };
    db->Open();
    // ptInput 1, ptOutput 2, ptInputOutput 3, ptResult 4.
    EXPECT_EQ(params(QStringLiteral("add_tax")),
              QStringLiteral("Result:0:4:numeric amount:1:1:numeric rate:2:1:numeric"));
    EXPECT_EQ(params(QStringLiteral("SPLIT_NAME")),
              QStringLiteral("full_name:1:1:text first:2:2:text last:3:2:text"));
    EXPECT_EQ(params(schema + QStringLiteral(".bump")),
              QStringLiteral("n:1:3:integer step:2:1:integer"));
    EXPECT_EQ(params(QStringLiteral("double_it")), QStringLiteral("v:1:3:integer note:2:2:text"));
    EXPECT_EQ(params(QuoteIdentifier(mixed, true) + QStringLiteral(".\"Hello\"")),
              QStringLiteral("Result:0:4:text"));
    EXPECT_THROW(db->Driver().ProcedureParams(QStringLiteral("x'; drop table t; --")),
                 EOvDatabaseError);
    EXPECT_TRUE(tableExists(schema + QStringLiteral(".t")));

    // GetSchemaInfo lists the parameter kinds (3 result).
    std::unique_ptr<TDataSet> ds
        = db->GetSchemaInfo(TOvSchemaType::stProcedureParams, QStringLiteral("add_tax"));
    ds->First();
    EXPECT_EQ(ds->FieldByName(QStringLiteral("PARAM_TYPE"))->AsInteger(), 3);

    // The component prepares from the description and runs function and procedure.
    auto *proc = makeDataSet<TOvStoredProc>(&owner, D);
    proc->SetStoredProcName(QStringLiteral("split_name"));
    EXPECT_TRUE(proc->DescriptionsAvailable());
    proc->Prepare();
    EXPECT_EQ(proc->GetParamsCount(), 3);
    proc->Params()
        ->ParamByName(QStringLiteral("full_name"))
        ->SetAsString(QStringLiteral("Ada Lovelace"));
    proc->ExecProc();
    EXPECT_EQ(proc->Params()->ParamByName(QStringLiteral("last"))->AsString(), "Lovelace");

    proc->SetStoredProcName(QStringLiteral("add_tax"));
    proc->Params()->Clear();
    proc->Prepare();
    proc->Params()->ParamByName(QStringLiteral("amount"))->SetAsFloat(100);
    proc->Params()->ParamByName(QStringLiteral("rate"))->SetAsFloat(0.5);
    proc->ExecProc();
    EXPECT_DOUBLE_EQ(proc->Params()->ParamByName(QStringLiteral("Result"))->Value().toDouble(), 150)
        << "the scalar result";

    // An overloaded name: the oldest definition, called with its own types.
    proc->SetStoredProcName(QStringLiteral("over"));
    proc->Prepare();
    proc->Params()->ParamByName(QStringLiteral("a"))->SetAsString(QStringLiteral("7"));
    proc->ExecProc();
    EXPECT_EQ(proc->Params()->ParamByName(QStringLiteral("Result"))->AsString(), "integer");

    proc->SetStoredProcName(QStringLiteral("double_it"));
    proc->Prepare();
    proc->Params()->ParamByName(QStringLiteral("v"))->SetAsInteger(21);
    proc->ExecProc();
    EXPECT_EQ(proc->Params()->ParamByName(QStringLiteral("v"))->AsInteger(), 42) << "inout";
    EXPECT_EQ(proc->Params()->ParamByName(QStringLiteral("note"))->AsString(), "doubled");

    proc->SetStoredProcName(QStringLiteral("set_city"));
    proc->Prepare();
    proc->Params()->ParamByName(QStringLiteral("p_id"))->SetAsInteger(2);
    proc->Params()->ParamByName(QStringLiteral("p_city"))->SetAsString(QStringLiteral("Bergen"));
    proc->ExecProc();
    EXPECT_EQ(exec(QStringLiteral("select city from %1.customer where id = 2").arg(schema))
                  .Rows.at(0)
                  .at(0)
                  .toString(),
              QStringLiteral("Bergen"))
        << "procedure called";
}

TEST_F(PostgreSQLTest, queriesMapTypesAndBindParameters)
{
    TOvDatabase *db = database();
    auto *q = makeDataSet<TOvQuery>(&owner, dbName());
    q->SQL()->SetText(QStringLiteral("select id, name, \"Mixed Case\" as mc, joined, seen, vip,"
                                     " photo, score, count(*) over () as n from customer"
                                     " where city <> :city order by id"));
    q->ParamByName(QStringLiteral("city"))->SetAsString(QStringLiteral("x' or '1'='1"));
    q->Open();
    ASSERT_EQ(q->RecordCount(), 2) << "the value is bound, not pasted";
    auto f = [&](const char *Name) {
        return q->FieldByName(QString::fromLatin1(Name));
    };
    EXPECT_EQ(f("id")->DataType(), TFieldType::ftInteger);
    EXPECT_EQ(f("n")->DataType(), TFieldType::ftLargeint);
    EXPECT_EQ(f("score")->DataType(), TFieldType::ftFloat);
    EXPECT_EQ(f("vip")->DataType(), TFieldType::ftBoolean);
    EXPECT_EQ(f("photo")->DataType(), TFieldType::ftBlob);
    EXPECT_EQ(f("seen")->DataType(), TFieldType::ftDateTime);
    EXPECT_EQ(f("name")->OriginTable, QStringLiteral("customer")) << "origin from the server";
    EXPECT_EQ(f("mc")->OriginColumn, QStringLiteral("Mixed Case"));
    EXPECT_TRUE(f("n")->OriginTable.isEmpty()) << "an expression has no origin";
    q->First();
    EXPECT_EQ(f("joined")->Value().toDate(), QDate(2024, 2, 29));
    EXPECT_EQ(f("seen")->Value().toDateTime(),
              QDateTime(QDate(2024, 2, 29), QTime(13, 14, 15, 500)));
    EXPECT_TRUE(f("vip")->AsBoolean());
    EXPECT_EQ(f("photo")->Value().toByteArray(), QByteArray("\x00\xff\x10", 3));
    EXPECT_DOUBLE_EQ(f("score")->AsFloat(), 12.5);
    q->Next();
    EXPECT_TRUE(f("joined")->IsNull()) << "NULL is a null value";
    EXPECT_TRUE(f("photo")->IsNull());
    q->Close();

    // Typed values bind; a failing statement raises the server's message.
    q->SQL()->SetText(QStringLiteral("select :a::integer + 1 as a, :b::bytea as b, :c::date as c"));
    q->ParamByName(QStringLiteral("a"))->SetAsInteger(41);
    q->ParamByName(QStringLiteral("b"))->SetValue(QByteArray("\x00\x01", 2));
    q->ParamByName(QStringLiteral("c"))->SetValue(QDate(2000, 1, 2));
    q->Open();
    EXPECT_EQ(f("a")->AsInteger(), 42);
    EXPECT_EQ(f("b")->Value().toByteArray(), QByteArray("\x00\x01", 2));
    EXPECT_EQ(f("c")->Value().toDate(), QDate(2000, 1, 2));
    q->Close();

    // Times with a zone are instants; what does not parse (infinity) stays text.
    q->SQL()->SetText(QStringLiteral("select '2024-01-02 03:04:05.25+05:30'::timestamptz as tz,"
                                     " 'infinity'::timestamp as inf, '23:59:58.5'::time as t,"
                                     " 12345678901234567890.125::numeric as big"));
    q->Open();
    EXPECT_EQ(f("tz")->Value().toDateTime(),
              QDateTime(QDate(2024, 1, 1), QTime(21, 34, 5, 250), Qt::UTC));
    EXPECT_EQ(f("inf")->AsString(), QStringLiteral("infinity"));
    EXPECT_EQ(f("t")->Value().toTime(), QTime(23, 59, 58, 500));
    EXPECT_EQ(f("big")->AsString(), QStringLiteral("12345678901234567890.125"))
        << "a numeric beyond a double's digits keeps them";
    q->Close();

    // Several statements without parameters run in order; the last one counts.
    EXPECT_EQ(db->ExecSQL(QStringLiteral("update customer set city = 'Oslo';"
                                         " update customer set vip = true where id = 2")),
              1);
    q->SQL()->SetText(QStringLiteral("select nosuchcolumn from customer"));
    try {
        q->Open();
        FAIL() << "a bad statement opens nothing";
    } catch (const EOvDatabaseError &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("nosuchcolumn")))
            << e.Message().toStdString();
    }

    // A table component reads through a quoted, schema-qualified name.
    auto *t = makeDataSet<TOvTable>(&owner, dbName());
    t->SetTableName(QuoteIdentifier(mixed, true) + QStringLiteral(".\"CamelTable\""));
    t->Open();
    EXPECT_EQ(t->FieldCount(), 2);
    t->Close();
    t->SetTableName(QStringLiteral("Order Items"));
    t->Open();
    EXPECT_EQ(t->FieldCount(), 4) << "statement spelled as the look-up found it";
}

TEST_F(PostgreSQLTest, aServerThatGoesAwayIsReportedAndTheNextCallReconnects)
{
    TOvDatabase *db = database();
    const QString D = dbName();
    db->Open();
    int disconnects = 0;
    QObject counting; // ends the connection before the counter goes
    QObject::connect(db, &TOvDatabase::BeforeDisconnect, &counting, [&] { ++disconnects; });
    const QVariant pid
        = db->Driver().Execute(QStringLiteral("select pg_backend_pid()"), {}).Rows.at(0).at(0);
    admin->Execute(QStringLiteral("select pg_terminate_backend($1)"), {pid});

    try {
        fieldNames(D, QStringLiteral("customer"));
        FAIL() << "a look-up on a terminated connection must raise";
    } catch (const EOvDatabaseError &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("lost"), Qt::CaseInsensitive))
            << e.Message().toStdString();
    }
    EXPECT_FALSE(db->Connected()) << "the broken connection is reported as not connected";
    EXPECT_EQ(fieldNames(D, QStringLiteral("customer")).value(0), QStringLiteral("id"))
        << "the next call reconnects and works";
    EXPECT_EQ(disconnects, 1) << "the broken connection was closed properly, once";
    EXPECT_TRUE(db->Connected());
    EXPECT_NE(db->Driver().Execute(QStringLiteral("select pg_backend_pid()"), {}).Rows.at(0).at(0),
              pid);
}
