// The answers of the PostgreSQL catalogue look-ups on awkward names: which
// names are listed, how they are spelled, in which order, what a wildcard
// pattern keeps, and which table a name resolves to. The wildcard results are
// checked against a plain matcher written here, so a look-up that filters in
// the server must give exactly what filtering the full list gives. Needs
// OV_PG_CONNINFO; skips without it outside CI.

#include "SQLiteFixture.h" // PrintTo for QString
#include "PgTestServer.h"

#include "orvlib/OvCommon.h"
#include "orvlib/OvDB.h"
#include "orvlib/OvDriver.h"

#include <QCoreApplication>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// "*" any run, "?" one UTF-16 unit, letters compared case-folded.
bool wildcard(QStringView Name, QStringView Pattern)
{
    if (Pattern.isEmpty())
        return Name.isEmpty();
    if (Pattern.front() == u'*')
        return wildcard(Name, Pattern.mid(1))
               || (!Name.isEmpty() && wildcard(Name.mid(1), Pattern));
    if (Name.isEmpty())
        return false;
    if (Pattern.front() != u'?' && Pattern.front().toCaseFolded() != Name.front().toCaseFolded())
        return false;
    return wildcard(Name.mid(1), Pattern.mid(1));
}

QStringList filtered(const QStringList &Names, const QString &Pattern)
{
    if (Pattern.isEmpty())
        return Names;
    QStringList kept;
    for (const QString &n : Names) {
        if (wildcard(n, Pattern))
            kept << n;
    }
    return kept;
}

QStringList rowsOf(TDataSet &Ds)
{
    QStringList rows;
    for (Ds.First(); !Ds.Eof(); Ds.Next())
        rows << Ds.Fields(0)->AsString();
    return rows;
}

// Three schemas: "ovc_<id>" and "ovc2_<id>" on the search_path in that order,
// "OvcOff_<id>" (mixed case) off it. The names cover quotes, case, pattern
// characters, regular-expression characters, letters whose case folding
// leaves ASCII, a character outside the BMP, and names hidden by an earlier
// schema of the path (by a table or by an index).
class PgCatalogueAnswers : public ::testing::Test
{
protected:
    void SetUp() override
    {
        OV_REQUIRE_PG(pgMissing());
        const QString conn = pgConnInfo();
        const QString id = pgUniqueName(QString());
        first = QStringLiteral("ovc_") + id;
        second = QStringLiteral("ovc2_") + id;
        off = QStringLiteral("OvcOff_") + id;
        db = new TOvDatabase(&owner);
        db->SetDatabaseName(QStringLiteral("PgCat") + id);
        db->SetServerType(TOvServerType::stPostgreSQL);
        db->SetLoginPrompt(false);
        db->SetRemoteDatabase(conn);
        db->Params()->Add(QStringLiteral("options=-c search_path=%1,%2,public").arg(first, second));
        try {
            db->Open();
        } catch (const Exception &e) {
            if (runningUnderCi())
                FAIL() << e.Message().toStdString();
            GTEST_SKIP() << "PostgreSQL unreachable: " << e.Message().toStdString();
        }
        db->ExecSQL(QStringLiteral(R"sql(
create schema %1;
create schema %2;
create schema %3;
create table %1.customer (id integer primary key, name text not null, city varchar(40),
                          score numeric(10,2), gone integer, joined date);
alter table %1.customer drop column gone;
create table %1."CUSTOMER" (upper_only integer);
create table %1."Order Items" (item integer, sku text, code text, variant text,
                               constraint u_sku unique (sku));
create unique index ux_cover on %1."Order Items" (code) include (variant);
create table %1.a_b (x integer);
create table %1.axb (x integer);
create table %1."a%b" (x integer);
create table %1."A_B" (x integer);
create table %1."x.y" (x integer);
create table %1."br[a]" (x integer);
create table %1."q$" (x integer);
create table %1."st*r" (x integer);
create table %1."qu?" (x integer);
create table %1."back\slash" (x integer);
create table %1."(p|q)+" (x integer);
create table %1."Ärger" (x integer);
create table %1."ärger" (x integer);
create table %1."%4elvin" (x integer);
create table %1."%5t" (x integer);
create table %1."%6t" (x integer);
create table %1."tab	stop" (x integer);
create materialized view %1.mv_customer as select id from %1.customer;
create view %1.v_customer as select id, name from %1.customer;
create sequence %1.seq_not_a_table;
create index idxname on %1.customer (name);
create table %2.customer (second_col integer);
create table %2.only2 (y integer);
create table %2.idxname (hidden_by_index integer);
create table %3.customer (other_col integer);
create table %3."CamelTable" ("Id" integer primary key, "DisplayName" text);
create table %3.a_b (z integer);
)sql")
                        .arg(first, second, QuoteIdentifier(off, true), QString(QChar(0x212A)),
                             QStringLiteral("\U0001F600"), QString(QChar(0x017F))));
    }

    void TearDown() override
    {
        if (db && db->Connected())
            db->ExecSQL(QStringLiteral("drop schema if exists %1, %2, %3 cascade")
                            .arg(first, second, QuoteIdentifier(off, true)));
    }

    QStringList tableNames(const QString &Pattern, bool System)
    {
        TStringList list;
        list.Add(QStringLiteral("stale entry"));
        Session()->GetTableNames(db->DatabaseName(), Pattern, System, &list);
        return list.toStringList();
    }
    QStringList schemaInfo(TOvSchemaType Type, const QString &Pattern)
    {
        std::unique_ptr<TDataSet> ds = db->GetSchemaInfo(Type, Pattern);
        return rowsOf(*ds);
    }
    QStringList fieldNames(const QString &Table)
    {
        TStringList list;
        Session()->GetFieldNames(db->DatabaseName(), Table, &list);
        return list.toStringList();
    }
    // The names of this test's schemas and of the system schemas: other
    // tests may add and drop tables in their own schemas meanwhile.
    QStringList ours(const QStringList &Names) const
    {
        const QStringList schemas{QString(), second, QuoteIdentifier(off, true),
                                  QStringLiteral("information_schema"),
                                  QStringLiteral("pg_catalog")};
        QStringList kept;
        for (const QString &n : Names) {
            if (schemas.contains(schemaOf(n)))
                kept << n;
        }
        return kept;
    }
    // The schema part of a listed name as spelled, empty when unqualified.
    static QString schemaOf(const QString &Name)
    {
        qsizetype i = 0;
        if (Name.startsWith(u'"')) {
            for (i = 1; i < Name.size(); ++i) {
                if (Name[i] == u'"' && (i + 1 == Name.size() || Name[i + 1] != u'"'))
                    break;
                if (Name[i] == u'"')
                    ++i;
            }
            ++i;
        } else {
            while (i < Name.size() && Name[i] != u'.')
                ++i;
        }
        return i < Name.size() && Name[i] == u'.' ? Name.left(i) : QString();
    }

    QObject owner;
    TOvDatabase *db = nullptr;
    QString first, second, off;
};

} // namespace

// Which names are listed and how: quoted where the server needs quotes,
// qualified where the search_path does not find them, sorted by character.
TEST_F(PgCatalogueAnswers, tableNamesAreSpelledAsTheServerReadsThem)
{
    const QStringList all = tableNames(QString(), false);
    QStringList sorted = all;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(all, sorted) << "sorted by character";
    const QString o = QuoteIdentifier(off, true);
    for (const QString &name :
         {QStringLiteral("customer"), QStringLiteral("\"CUSTOMER\""),
          QStringLiteral("\"Order Items\""), QStringLiteral("a_b"), QStringLiteral("\"a%b\""),
          QStringLiteral("\"A_B\""), QStringLiteral("\"x.y\""), QStringLiteral("\"back\\slash\""),
          QStringLiteral("\"tab\tstop\""), QStringLiteral("mv_customer"),
          QStringLiteral("v_customer"), QStringLiteral("only2"),
          second + QStringLiteral(".customer"), second + QStringLiteral(".idxname"),
          o + QStringLiteral(".customer"), o + QStringLiteral(".\"CamelTable\""),
          o + QStringLiteral(".a_b")})
        EXPECT_TRUE(all.contains(name)) << "listed: " << name.toStdString();
    for (const QString &name : {QStringLiteral("seq_not_a_table"), QStringLiteral("idxname"),
                                QStringLiteral("pg_class"), QStringLiteral("u_sku")})
        EXPECT_FALSE(all.contains(name)) << "not listed: " << name.toStdString();

    const QStringList withSystem = tableNames(QString(), true);
    EXPECT_TRUE(withSystem.contains(QStringLiteral("pg_class")));
    EXPECT_TRUE(withSystem.contains(QStringLiteral("information_schema.tables")));
    EXPECT_FALSE(withSystem.contains(QStringLiteral("pg_toast.pg_toast_1255")));
    EXPECT_EQ(ours(schemaInfo(TOvSchemaType::stTables, QString())), ours(all))
        << "the schema information lists the same names";
}

// A pattern keeps exactly the names the wildcard matcher keeps: "*" and "?"
// are wildcards, "%" and "_" and every other character stand for themselves,
// letter case is ignored as the library folds it.
TEST_F(PgCatalogueAnswers, tablePatternsKeepWhatTheWildcardKeeps)
{
    const QStringList all = tableNames(QString(), false);
    const QStringList allSystem = tableNames(QString(), true);
    const QString o = QuoteIdentifier(off, true);
    const QStringList patterns{QStringLiteral("a_b"),
                               QStringLiteral("A_B"),
                               QStringLiteral("a?b"),
                               QStringLiteral("\"a%b\""),
                               QStringLiteral("\"a?b\""),
                               QStringLiteral("*a_b"),
                               QStringLiteral("a%"),
                               QStringLiteral("a_"),
                               QStringLiteral("_*"),
                               QStringLiteral("%*"),
                               QStringLiteral("*"),
                               QStringLiteral("**"),
                               QStringLiteral("?"),
                               QStringLiteral("*.*"),
                               QStringLiteral("\"x.y\""),
                               QStringLiteral("\"x?y\""),
                               QStringLiteral("*[*"),
                               QStringLiteral("*]\""),
                               QStringLiteral("*$*"),
                               QStringLiteral("\"q$\""),
                               QStringLiteral("*\\*"),
                               QStringLiteral("\"back\\*"),
                               QStringLiteral("*(*"),
                               QStringLiteral("\"(p|q)+\""),
                               QStringLiteral("*|*"),
                               QStringLiteral("\"st*r\""),
                               QStringLiteral("\"qu?\""),
                               QStringLiteral("*^*"),
                               QStringLiteral("CUSTOMER"),
                               QStringLiteral("\"customer\""),
                               QStringLiteral("*customer"),
                               QStringLiteral("\"ärger\""),
                               QStringLiteral("\"ÄRGER\""),
                               QStringLiteral("\"kelvin\""),
                               QStringLiteral("\"K*"),
                               QStringLiteral("\"st\""),
                               QStringLiteral("\"ST\""),
                               QStringLiteral("\"??t\""),
                               QStringLiteral("\"?t\""),
                               QStringLiteral("\"\U0001F600t\""),
                               QStringLiteral("*\ts*"),
                               QStringLiteral("o*"),
                               o.toLower() + QStringLiteral(".*"),
                               second.toUpper() + QStringLiteral(".?D*"),
                               QStringLiteral("\"*\"")};
    for (const QString &p : patterns) {
        EXPECT_EQ(ours(tableNames(p, false)), ours(filtered(all, p))) << p.toStdString();
        EXPECT_EQ(ours(schemaInfo(TOvSchemaType::stTables, p)), ours(filtered(all, p)))
            << "schema information: " << p.toStdString();
        EXPECT_EQ(ours(tableNames(p, true)), ours(filtered(allSystem, p)))
            << "with system tables: " << p.toStdString();
    }

    // A few answers spelled out.
    EXPECT_EQ(tableNames(QStringLiteral("A_B"), false), QStringList{"a_b"});
    EXPECT_EQ(tableNames(QStringLiteral("\"a%b\""), false), QStringList{"\"a%b\""});
    EXPECT_EQ(tableNames(QStringLiteral("a?b"), false), (QStringList{"a_b", "axb"}));
    EXPECT_EQ(tableNames(QStringLiteral("\"ärger\""), false),
              (QStringList{"\"Ärger\"", "\"ärger\""}));
    EXPECT_EQ(tableNames(QStringLiteral("\"kelvin\""), false),
              QStringList{QStringLiteral("\"%1elvin\"").arg(QChar(0x212A))})
        << "the Kelvin sign folds to k";
    EXPECT_EQ(tableNames(QStringLiteral("\"??t\""), false),
              QStringList{QStringLiteral("\"\U0001F600t\"")})
        << "a character outside the BMP is two units";
    EXPECT_TRUE(tableNames(QStringLiteral("\"?t\""), false)
                    .contains(QStringLiteral("\"%1t\"").arg(QChar(0x017F))));
    EXPECT_EQ(tableNames(QStringLiteral("pg_?lass"), false), QStringList());
    EXPECT_EQ(tableNames(QStringLiteral("PG_CLASS"), true), QStringList{"pg_class"});
    EXPECT_EQ(tableNames(QStringLiteral("information_schema.tables"), true),
              QStringList{"information_schema.tables"});
}

// The system-table listing holds exactly the names that the listing with
// system tables adds to the plain one, in the same order.
TEST_F(PgCatalogueAnswers, systemTablesAreWhatTheSystemFlagAdds)
{
    const QStringList user = tableNames(QString(), false);
    const QStringList withSystem = tableNames(QString(), true);
    QStringList added;
    for (const QString &n : withSystem) {
        if (!user.contains(n))
            added << n;
    }
    const QStringList system = schemaInfo(TOvSchemaType::stSysTables, QString());
    EXPECT_EQ(ours(system), ours(added));
    EXPECT_TRUE(system.contains(QStringLiteral("pg_class")));
    EXPECT_TRUE(system.contains(QStringLiteral("information_schema.columns")));
    EXPECT_FALSE(system.contains(QStringLiteral("customer")));
    for (const QString &p : {QStringLiteral("pg_class"), QStringLiteral("PG_?LASS"),
                             QStringLiteral("information_schema.*"), QStringLiteral("*_class"),
                             QStringLiteral("pg%"), QStringLiteral("customer")}) {
        EXPECT_EQ(schemaInfo(TOvSchemaType::stSysTables, p), filtered(system, p))
            << p.toStdString();
    }
    EXPECT_EQ(schemaInfo(TOvSchemaType::stSysTables, QStringLiteral("PG_?LASS")),
              QStringList{"pg_class"});
}

// Which table a name resolves to, and what is read of it.
TEST_F(PgCatalogueAnswers, namesResolveToTheTableTheServerWouldUse)
{
    EXPECT_EQ(fieldNames(QStringLiteral("customer")),
              (QStringList{"id", "name", "city", "score", "joined"}))
        << "the first schema of the path; a dropped column leaves no name";
    EXPECT_EQ(fieldNames(second + QStringLiteral(".customer")), QStringList{"second_col"});
    EXPECT_EQ(fieldNames(second.toUpper() + QStringLiteral(".CUSTOMER")),
              QStringList{"second_col"});
    EXPECT_EQ(fieldNames(QStringLiteral("only2")), QStringList{"y"});
    EXPECT_EQ(fieldNames(QStringLiteral("idxname")), QStringList())
        << "hidden by an index of the same name earlier on the path";
    EXPECT_EQ(fieldNames(second + QStringLiteral(".idxname")), QStringList{"hidden_by_index"});
    EXPECT_EQ(fieldNames(QStringLiteral("A_B")), QStringList{"x"}) << "folds to a_b";
    EXPECT_EQ(fieldNames(QStringLiteral("\"A_B\"")), QStringList{"x"});
    EXPECT_EQ(fieldNames(off + QStringLiteral(".a_b")), QStringList{"z"}) << "schema as written";
    EXPECT_EQ(fieldNames(off + QStringLiteral(".camelTable")), QStringList()) << "neither spelling";
    EXPECT_EQ(fieldNames(QStringLiteral("\"x.y\"")), QStringList{"x"});
    EXPECT_EQ(fieldNames(QStringLiteral("x.y")), QStringList()) << "schema x, table y";
    EXPECT_EQ(fieldNames(QStringLiteral("mv_customer")), QStringList{"id"});
    EXPECT_EQ(fieldNames(QStringLiteral("seq_not_a_table")), QStringList());
    EXPECT_EQ(fieldNames(QStringLiteral("a_%")), QStringList()) << "no pattern";
    EXPECT_EQ(fieldNames(QStringLiteral("pg_class")).value(0), QStringLiteral("oid"));

    std::unique_ptr<TDataSet> cols
        = db->GetSchemaInfo(TOvSchemaType::stColumns, QStringLiteral("CUSTOMER"));
    QStringList described;
    for (cols->First(); !cols->Eof(); cols->Next()) {
        described << QStringLiteral("%1:%2:%3:%4")
                         .arg(cols->FieldByName(QStringLiteral("COLUMN_NAME"))->AsString())
                         .arg(cols->FieldByName(QStringLiteral("COLUMN_POSITION"))->AsInteger())
                         .arg(cols->FieldByName(QStringLiteral("COLUMN_TYPE"))->AsString())
                         .arg(cols->FieldByName(QStringLiteral("COLUMN_NULLABLE"))->AsInteger());
    }
    EXPECT_EQ(described.join(u' '),
              QStringLiteral("id:1:integer:0 name:2:text:0 city:3:character varying(40):1 "
                             "score:4:numeric(10,2):1 joined:5:date:1"));

    std::unique_ptr<TDataSet> ix
        = db->GetSchemaInfo(TOvSchemaType::stIndexes, QStringLiteral("Order Items"));
    QStringList indexes;
    for (ix->First(); !ix->Eof(); ix->Next()) {
        indexes << QStringLiteral("%1:%2:%3:%4")
                       .arg(ix->FieldByName(QStringLiteral("INDEX_NAME"))->AsString())
                       .arg(ix->FieldByName(QStringLiteral("INDEX_TYPE"))->AsInteger())
                       .arg(ix->FieldByName(QStringLiteral("COLUMN_NAME"))->AsString())
                       .arg(ix->FieldByName(QStringLiteral("COLUMN_POSITION"))->AsInteger());
    }
    EXPECT_EQ(indexes.join(u' '), QStringLiteral("u_sku:2:sku:1 ux_cover:2:code:1"))
        << "included columns are no key columns";
    EXPECT_EQ(rowsOf(*db->GetSchemaInfo(TOvSchemaType::stIndexes, QStringLiteral("idxname"))),
              QStringList());
}
