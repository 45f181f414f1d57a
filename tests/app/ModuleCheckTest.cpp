// ovdesigner --check against real SQLite and PostgreSQL databases: a module
// that matches its database is clean; each change of the schema is
// reported on the component and property it breaks, on the line where that
// starts in the form file, with the exit status CI reads.
#include "ModuleCheck.h"
#include "CliRun.h"
#include "PgTestServer.h"
#include "TestSupport.h"

#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDriver.h"
#include "orvlib/OvUpdateSQL.h"
#include "rtl/SysUtils.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>

#include <gtest/gtest.h>

namespace {

// The module under check. %DATABASE% is the database component's server
// settings; the stored procedure appears only where the server has them.
const char ModuleTemplate[] = R"(object ShopData: TDataModule
  object Shop: TOvDatabase
    DatabaseName = 'Shop'
%DATABASE%    LoginPrompt = False
  end
  object qItems: TOvQuery
    DatabaseName = 'Shop'
    UpdateObject = usItems
    SQL.Strings = (
      'select id, name, price'
      'from items')
  end
  object qItemsid: TField
    FieldName = 'id'
    DataSet = qItems
    DataType = ftInteger
  end
  object qItemsname: TField
    FieldName = 'name'
    DataSet = qItems
    DataType = ftString
  end
  object qItemsprice: TField
    FieldName = 'price'
    DataSet = qItems
    DataType = ftFloat
  end
  object usItems: TOvUpdateSQL
    ModifySQL.Strings = (
      'update items set name = :name, price = :price'
      'where id = :OLD_id')
    DeleteSQL.Strings = (
      'delete from items where id = :OLD_id')
  end
  object tItems: TOvTable
    DatabaseName = 'Shop'
    TableName = 'items'
    IndexName = 'items_name'
  end
  object tNotes: TOvTable
    DatabaseName = 'Shop'
    TableName = 'notes'
    IndexFieldNames = 'body'
  end
  object qPurge: TOvQuery
    DatabaseName = 'Shop'
    SQL.Strings = (
      'delete from items')
    Active = True
  end
%PROCEDURE%end
)";

const char ProcedureComponent[] = R"(  object spTouch: TOvStoredProc
    DatabaseName = 'Shop'
    StoredProcName = 'item_touch'
    Params = <
      item
        Name = 'p_id'
        DataType = ftInteger
        ParamType = ptInput
      end
      item
        Name = 'p_note'
        DataType = ftMemo
        ParamType = ptInput
      end>
  end
)";

const char Schema[] = "create table items (id integer primary key, name varchar(40) not null, "
                      "price real);\n"
                      "create index items_name on items (name);\n"
                      "create table notes (id integer primary key, body text);\n"
                      "insert into items values (1, 'a', 1.5), (2, 'b', 2.5), (3, 'c', 3.5);\n";

// A finding as the JSON output gives it.
struct Finding
{
    QString component, property, severity;
    int line = 0;
    QString message;
};

// The line (from 1) of the first line holding Text after the line holding After.
int lineOf(const QString &Form, const QString &Text, const QString &After = {})
{
    const QStringList lines = Form.split(QLatin1Char('\n'));
    int i = 0;
    if (!After.isEmpty())
        while (i < lines.size() && !lines[i].contains(After))
            ++i;
    for (; i < lines.size(); ++i)
        if (lines[i].contains(Text))
            return i + 1;
    return 0;
}

class ModuleCheckTest : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        pg = GetParam();
        if (pg) {
            QString problem;
            admin = pgAdmin(&problem);
            OV_REQUIRE_PG(problem);
            schema = pgUniqueName(QStringLiteral("ovcheck_"));
        }
        buildSchema();
        QString database;
        if (pg)
            database = QStringLiteral("    RemoteDatabase = 'nowhere:1/none'\n"
                                      "    ServerType = stPostgreSQL\n");
        else
            database = QStringLiteral("    RemoteDatabase = 'shop.db'\n"
                                      "    ServerType = stSQLite\n");
        form = QString::fromLatin1(ModuleTemplate)
                   .replace(QStringLiteral("%DATABASE%"), database)
                   .replace(QStringLiteral("%PROCEDURE%"),
                            pg ? QString::fromLatin1(ProcedureComponent) : QString());
        dir.write(QStringLiteral("shop.dfm"), form.toUtf8());
    }

    void TearDown() override
    {
        if (admin)
            exec(QStringLiteral("drop schema if exists %1 cascade").arg(schema));
    }

    void exec(const QString &SQL)
    {
        if (pg) {
            admin->Execute(SQL, {});
            return;
        }
        std::unique_ptr<TOvDriver> db = CreateDriver(TOvServerType::stSQLite);
        TStringList params;
        params.Add(QStringLiteral("CREATE=1"));
        db->Connect(dir.file(QStringLiteral("shop.db")), params);
        db->Execute(SQL, {});
    }

    void buildSchema()
    {
        if (pg) {
            exec(QStringLiteral("drop schema if exists %1 cascade; create schema %1; set "
                                "search_path to %1")
                     .arg(schema));
            exec(QString::fromLatin1(Schema));
            exec(QStringLiteral("create procedure item_touch(p_id integer, p_note text) "
                                "language plpgsql as $$ begin null; end $$"));
        } else {
            QFile::remove(dir.file(QStringLiteral("shop.db")));
            exec(QString::fromLatin1(Schema));
        }
    }

    int rowCount(const QString &Table)
    {
        if (pg)
            return admin->Execute(QStringLiteral("select count(*) from ") + Table, {})
                .Rows.at(0)
                .at(0)
                .toInt();
        std::unique_ptr<TOvDriver> db = CreateDriver(TOvServerType::stSQLite);
        db->Connect(dir.file(QStringLiteral("shop.db")), TStringList());
        return db->Execute(QStringLiteral("select count(*) from ") + Table, {})
            .Rows.at(0)
            .at(0)
            .toInt();
    }

    CliRun check(const QStringList &More = {})
    {
        QStringList args{QStringLiteral("--check"), QStringLiteral("shop.dfm")};
        if (pg)
            args << QStringLiteral("--remote-database")
                 << QStringLiteral("Shop=%1 options='-c search_path=%2'").arg(pgConnInfo(), schema);
        return runOvdesigner(args + More, dir.path());
    }

    // The findings of a JSON run; fails the test when the output is no array.
    QList<Finding> findings(const CliRun &Run)
    {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(Run.out.toUtf8(), &error);
        EXPECT_TRUE(doc.isArray()) << error.errorString().toStdString() << "\n"
                                   << Run.out.toStdString() << Run.err.toStdString();
        QList<Finding> list;
        for (const QJsonValue &v : doc.array()) {
            const QJsonObject o = v.toObject();
            EXPECT_EQ(o.value(QStringLiteral("file")).toString(), QStringLiteral("shop.dfm"));
            list.append({o.value(QStringLiteral("component")).toString(),
                         o.value(QStringLiteral("property")).toString(),
                         o.value(QStringLiteral("severity")).toString(),
                         o.value(QStringLiteral("line")).toInt(),
                         o.value(QStringLiteral("message")).toString()});
        }
        return list;
    }

    // "Component.Property severity line" for each finding, to compare at once.
    static QStringList keys(const QList<Finding> &List)
    {
        QStringList keys;
        for (const Finding &f : List)
            keys << QStringLiteral("%1.%2 %3 %4")
                        .arg(f.component, f.property, f.severity)
                        .arg(f.line);
        return keys;
    }

    QString key(const QString &Component, const QString &Property, const QString &Line) const
    {
        return QStringLiteral("%1.%2 error %3")
            .arg(Component, Property)
            .arg(lineOf(form, Line, QStringLiteral("object ") + Component + QLatin1Char(':')));
    }

    bool pg = false;
    std::unique_ptr<TOvDriver> admin;
    QString schema;
    TempFolder dir;
    QString form;
};

TEST_P(ModuleCheckTest, schemaChangesAreReportedWhereTheyBreakTheModule)
{
    // Clean: nothing to say but the summary, status 0.
    CliRun r = check();
    EXPECT_EQ(r.exit, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("0 errors, 0 warnings, 0 info; %1 of %1 datasets checked\n")
                         .arg(pg ? 5 : 4));
    EXPECT_EQ(rowCount(QStringLiteral("items")), 3)
        << "the stored Active = True of a delete ran nothing";

    struct Change
    {
        const char *what;
        QString sql;
        QStringList expected;
        const char *message; // part of the first finding's message
    };
    const QString retype
        = pg ? QStringLiteral("alter table items alter column price type text")
             : QStringLiteral("drop table items; create table items (id integer primary key, "
                              "name varchar(40) not null, price text); create index items_name "
                              "on items (name)");
    QList<Change> changes{
        {"a column renamed",
         QStringLiteral("alter table items rename column price to cost"),
         {key(QStringLiteral("qItems"), QStringLiteral("SQL"), QStringLiteral("SQL.Strings")),
          key(QStringLiteral("usItems"), QStringLiteral("ModifySQL"),
              QStringLiteral("ModifySQL.Strings"))},
         "price"},
        {"a column's type changed",
         retype,
         {key(QStringLiteral("qItemsprice"), QStringLiteral("DataType"),
              QStringLiteral("DataType"))},
         "the field is Float, column price of qItems is"},
        {"a table dropped",
         QStringLiteral("drop table notes"),
         {key(QStringLiteral("tNotes"), QStringLiteral("TableName"), QStringLiteral("TableName"))},
         "no table notes in database Shop"},
        {"an index dropped",
         QStringLiteral("drop index items_name"),
         {key(QStringLiteral("tItems"), QStringLiteral("IndexName"), QStringLiteral("IndexName"))},
         "table items has no index items_name"},
    };
    if (pg)
        changes.append(
            {"a procedure's parameters changed",
             QStringLiteral("drop procedure item_touch(integer, text); create procedure "
                            "item_touch(p_id integer, p_note text, p_user text) language plpgsql "
                            "as $$ begin null; end $$"),
             {key(QStringLiteral("spTouch"), QStringLiteral("Params"),
                  QStringLiteral("Params = <"))},
             "Params does not"});
    for (const Change &c : std::as_const(changes)) {
        SCOPED_TRACE(c.what);
        buildSchema();
        exec(c.sql);
        r = check({QStringLiteral("--format"), QStringLiteral("json")});
        EXPECT_EQ(r.exit, 1) << r.out.toStdString() << r.err.toStdString();
        const QList<Finding> found = findings(r);
        EXPECT_EQ(keys(found), c.expected) << r.out.toStdString();
        if (!found.isEmpty()) {
            EXPECT_TRUE(found.first().message.contains(QLatin1String(c.message)))
                << found.first().message.toStdString();
        }
        EXPECT_TRUE(r.err.contains(QStringLiteral("of %1 datasets checked").arg(pg ? 5 : 4)))
            << r.err.toStdString();
    }

    // The text form of the last change: FORM(LINE): Component.Property: message.
    r = check();
    EXPECT_EQ(r.exit, 1);
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << r.out.toStdString();
    const Finding last
        = findings(check({QStringLiteral("--format"), QStringLiteral("json")})).value(0);
    EXPECT_EQ(lines[0], QStringLiteral("shop.dfm(%1): %2.%3: %4")
                            .arg(last.line)
                            .arg(last.component, last.property, last.message));
    EXPECT_EQ(
        lines[1],
        QStringLiteral("1 error, 0 warnings, 0 info; %1 of %1 datasets checked").arg(pg ? 5 : 4));

    EXPECT_EQ(rowCount(QStringLiteral("items")), 3) << "no check deleted anything";
    EXPECT_EQ(dir.read(QStringLiteral("shop.dfm")), form.toUtf8()) << "the form is unchanged";
}

TEST_P(ModuleCheckTest, anUnreachableDatabaseIsOneProblemAndNothingIsChecked)
{
    QStringList args{QStringLiteral("--check"), QStringLiteral("shop.dfm"),
                     QStringLiteral("--remote-database"),
                     pg ? QStringLiteral("Shop=host=127.0.0.1 port=1 dbname=none")
                        : QStringLiteral("Shop=missing.db")};
    const CliRun r = runOvdesigner(args, dir.path());
    EXPECT_EQ(r.exit, 2) << r.out.toStdString() << r.err.toStdString();
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines[0].startsWith(
        QStringLiteral("shop.dfm(%1): Shop.RemoteDatabase: database Shop (")
            .arg(lineOf(form, QStringLiteral("RemoteDatabase"), QStringLiteral("object Shop:")))))
        << lines[0].toStdString();
    EXPECT_EQ(lines.filter(QStringLiteral("info: not checked: database Shop could not be reached"))
                  .size(),
              pg ? 5 : 4);
    EXPECT_FALSE(dir.exists(QStringLiteral("missing.db"))) << "no database is created";

    // A role that must give a password, and none given: no prompt, one
    // finding on the database's Params (which are not in the form: the
    // component's own line).
    const QStringList login = qEnvironmentVariable("OV_PG_PASSWORD_LOGIN").split(u' ');
    if (!pg || login.size() != 2)
        return;
    args.last() = QStringLiteral("Shop=%1 user=%2 options='-c search_path=%3'")
                      .arg(pgConnInfo(), login[0], schema);
    const CliRun p = runOvdesigner(args, dir.path());
    EXPECT_EQ(p.exit, 2) << p.out.toStdString() << p.err.toStdString();
    EXPECT_TRUE(p.out.startsWith(
        QStringLiteral("shop.dfm(%1): Shop.Params: database Shop needs a password and there "
                       "is nobody to ask for it")
            .arg(lineOf(form, QStringLiteral("object Shop:")))))
        << p.out.toStdString();
}

TEST_P(ModuleCheckTest, aLockAnotherSessionHoldsIsAFindingNotAWaitWithoutEnd)
{
    // The database waits 300 ms for a lock, then gives up.
    form.replace(QStringLiteral("    LoginPrompt = False\n"),
                 QStringLiteral("    LoginPrompt = False\n"
                                "    Params.Strings = (\n"
                                "      'BUSY TIMEOUT=300')\n"));
    dir.write(QStringLiteral("shop.dfm"), form.toUtf8());
    std::unique_ptr<TOvDriver> holder;
    if (pg) {
        exec(QStringLiteral("begin; lock table items in access exclusive mode"));
    } else {
        holder = CreateDriver(TOvServerType::stSQLite);
        holder->Connect(dir.file(QStringLiteral("shop.db")), TStringList());
        holder->Execute(QStringLiteral("begin exclusive"), {});
    }
    const CliRun r = check();
    if (pg)
        exec(QStringLiteral("rollback"));
    else
        holder->Execute(QStringLiteral("rollback"), {});
    ASSERT_NE(r.exit, -1) << "the check waited without end";
    if (pg) {
        // The statements on the locked table are findings that name the
        // lock; what the catalogue answers is checked as usual.
        EXPECT_EQ(r.exit, 1) << r.out.toStdString() << r.err.toStdString();
        const QStringList locked = r.out.split(QLatin1Char('\n'))
                                       .filter(QStringLiteral("not checked: another session holds "
                                                              "a lock on database Shop"));
        EXPECT_EQ(locked.size(), 4) << r.out.toStdString();
        EXPECT_EQ(locked.filter(QStringLiteral("lock timeout")).size(), 4) << r.out.toStdString();
        EXPECT_EQ(locked.filter(QStringLiteral("qItems.SQL: ")).size(), 1) << r.out.toStdString();
    } else {
        // A SQLite file locked whole cannot be opened: one finding, the server's word.
        EXPECT_EQ(r.exit, 2) << r.out.toStdString() << r.err.toStdString();
        EXPECT_TRUE(r.out.contains(QStringLiteral("database is locked"))) << r.out.toStdString();
    }
    const CliRun after = check();
    EXPECT_EQ(after.exit, 0) << "the lock gone, the module checks clean\n"
                             << after.out.toStdString() << after.err.toStdString();
    if (pg)
        return;

    // Checking a database in write-ahead-log mode leaves no log behind.
    exec(QStringLiteral("pragma journal_mode = wal"));
    holder.reset();
    const CliRun wal = check();
    EXPECT_EQ(wal.exit, 0) << wal.out.toStdString() << wal.err.toStdString();
    EXPECT_FALSE(dir.exists(QStringLiteral("shop.db-wal")));
    EXPECT_FALSE(dir.exists(QStringLiteral("shop.db-shm")));
}

INSTANTIATE_TEST_SUITE_P(Servers, ModuleCheckTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &Info) {
                             return std::string(Info.param ? "PostgreSQL" : "SQLite");
                         });

// The checks that need no schema change, in process on SQLite, run a step at
// a time as the designer runs them: macros expanded, master links and
// their cycles, update parameters, columns no field reads, an unknown
// session, and a component freed between two steps.
TEST(ModuleCheckSteps, linksParametersAndFieldsOfALiveModule)
{
    TempFolder dir;
    {
        std::unique_ptr<TOvDriver> db = CreateDriver(TOvServerType::stSQLite);
        TStringList params;
        params.Add(QStringLiteral("CREATE=1"));
        db->Connect(dir.file(QStringLiteral("u.db")), params);
        db->Execute(QStringLiteral("create table items (id integer primary key, name text);"
                                   "create table lines (item integer, qty integer)"),
                    {});
    }
    QObject root;
    root.setObjectName(QStringLiteral("Module"));
    auto *db = new TOvDatabase(&root);
    db->setObjectName(QStringLiteral("Db"));
    db->SetDatabaseName(QStringLiteral("U"));
    db->SetServerType(TOvServerType::stSQLite);
    db->SetRemoteDatabase(dir.file(QStringLiteral("u.db")));
    db->SetLoginPrompt(false);
    auto dataSet = [&](auto *DataSet, const char *Name) {
        DataSet->setObjectName(QLatin1String(Name));
        DataSet->SetDatabaseName(QStringLiteral("U"));
        return DataSet;
    };
    auto source = [&](TDataSet *DataSet) {
        auto *s = new TDataSource(&root);
        s->setObjectName(DataSet->objectName() + QStringLiteral("Source"));
        s->SetDataSet(DataSet);
        return s;
    };

    // Prepared as the runtime sends it: "&tbl" alone would not prepare.
    auto *macro = dataSet(new TOvMacroQuery(&root), "qMacro");
    macro->SQL()->SetText(QStringLiteral("select id, name from &tbl"));
    macro->MacroByName(QStringLiteral("tbl"))->SetValue(QStringLiteral("items"));

    auto *master = dataSet(new TOvTable(&root), "tItems");
    master->SetTableName(QStringLiteral("items"));
    auto *detail = dataSet(new TOvTable(&root), "tLines");
    detail->SetTableName(QStringLiteral("lines"));
    detail->SetIndexFieldNames(QStringLiteral("item"));
    detail->SetMasterSource(source(master));
    detail->SetMasterFields(QStringLiteral("id;price"));

    auto *a = dataSet(new TOvTable(&root), "tA");
    auto *b = dataSet(new TOvTable(&root), "tB");
    a->SetTableName(QStringLiteral("lines"));
    b->SetTableName(QStringLiteral("lines"));
    a->SetMasterSource(source(b));
    b->SetMasterSource(source(a));

    auto *query = dataSet(new TOvQuery(&root), "qItems");
    query->SQL()->SetText(QStringLiteral("select id, name from items"));
    auto *id = new TField(&root);
    id->setObjectName(QStringLiteral("qItemsid"));
    id->SetFieldName(QStringLiteral("id"));
    id->SetDataSet(query);
    auto *update = new TOvUpdateSQL(&root);
    update->setObjectName(QStringLiteral("usItems"));
    update->DeleteSQL()->SetText(QStringLiteral("delete from items where id = :OLD_ident"));
    query->SetUpdateObject(update);

    auto *lost = dataSet(new TOvQuery(&root), "qLost");
    lost->SetSessionName(QStringLiteral("Nowhere"));
    lost->SQL()->SetText(QStringLiteral("select 1"));
    auto *gone = dataSet(new TOvQuery(&root), "qGone");
    gone->SQL()->SetText(QStringLiteral("select nothing from nowhere"));

    TModuleCheck check(&root);
    EXPECT_EQ(check.StepCount(), 11) << "the structure, the master chains, the read-ahead of "
                                        "the datasets' slice, then one step per dataset";
    check.Step();
    check.Step();
    delete gone; // freed while the window ran the check: passed over
    check.Run();
    QStringList found;
    for (const TCheckProblem &p : check.Problems())
        found << QStringLiteral("%1.%2 %3: %4")
                     .arg(p.ComponentName, p.Property, severityName(p.Severity), p.Message);
    EXPECT_EQ(found,
              (QStringList{
                  QStringLiteral("qLost.SessionName error: names session Nowhere, which no session "
                                 "component provides"),
                  QStringLiteral("tA.MasterSource error: the master chain comes back to the "
                                 "table: tA -> tB -> tA"),
                  QStringLiteral("tB.MasterSource error: the master chain comes back to the "
                                 "table: tB -> tA -> tB"),
                  QStringLiteral("tLines.MasterFields error: master tItems has no field price"),
                  QStringLiteral("qItems. info: no persistent field reads column name"),
                  QStringLiteral("usItems.DeleteSQL error: parameter :OLD_ident names no field "
                                 "of qItems"),
              }));
    EXPECT_EQ(check.CheckedDataSets(), 6);
    EXPECT_EQ(check.UncheckedDataSets(), 1);
    EXPECT_FALSE(db->Connected()) << "the module's own database stays as it was";
}

} // namespace
