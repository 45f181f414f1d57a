// Persistent fields: field components of the form that a dataset uses, in
// their order, instead of the fields it would make when it opens. Run on a
// real SQLite file and, when OV_PG_CONNINFO names one, a PostgreSQL server.

#include "SQLiteFixture.h"
#include "PgTestServer.h"

#include "orvlib/OvDriver.h"

#include "rtl/SysUtils.h"

#include <QCoreApplication>
#include <QPointer>
#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace {

// "name=value" per field of the current record, in field order.
QString record(TDataSet *Ds)
{
    QStringList parts;
    for (int i = 0; i < Ds->FieldCount(); ++i) {
        TField *f = Ds->Fields(i);
        parts << f->FieldName() + u'=' + (f->IsNull() ? QStringLiteral("<null>") : f->AsString());
    }
    return parts.join(u' ');
}

QString fieldNames(TDataSet *Ds)
{
    QStringList names;
    for (int i = 0; i < Ds->FieldCount(); ++i)
        names << Ds->Fields(i)->FieldName();
    return names.join(u',');
}

// The common scenario on one database: Db names the database component,
// Table a table with the columns id (1, 2, 3), name and city.
void walkPersistentFields(QObject *Owner, const QString &Db, const QString &Table)
{
    auto *q = new TOvQuery(Owner);
    q->setObjectName(QStringLiteral("OvQuery1"));
    q->SetDatabaseName(Db);
    q->SQL()->SetText(QStringLiteral("select id, name, city from %1 order by id").arg(Table));

    // Field definitions come from the database without leaving the query open.
    EXPECT_EQ(q->FieldDefNames(), (QStringList{"id", "name", "city"})) << "defs from the result";
    EXPECT_FALSE(q->Active()) << "reading the definitions closes again";
    EXPECT_EQ(q->FieldCount(), 0) << "no fields while closed without persistent ones";

    // Persistent fields in an order of their own: city before id; name left out.
    TField *city = q->CreatePersistentField(QStringLiteral("city"), Owner);
    TField *id = q->CreatePersistentField(QStringLiteral("id"), Owner);
    EXPECT_EQ(city->parent(), Owner) << "owned by the form, not the dataset";
    EXPECT_EQ(city->DataSet(), q);
    EXPECT_TRUE(city->IsPersistent());
    EXPECT_EQ(id->DataType(), q->FieldDefs().at(0).DataType) << "type taken from the definitions";
    EXPECT_EQ(q->FieldCount(), 2) << "persistent fields are the fields while closed";
    EXPECT_THROW(q->CreatePersistentField(QStringLiteral("id"), Owner), Exception)
        << "a second field of one name";

    q->Open();
    EXPECT_EQ(fieldNames(q), QStringLiteral("city,id")) << "their order, extra column dropped";
    EXPECT_EQ(q->FindField(QStringLiteral("name")), nullptr) << "extra columns are not fields";
    EXPECT_EQ(record(q), QStringLiteral("city=Oslo id=1")) << "values by name, not position";
    q->Next();
    EXPECT_EQ(record(q), QStringLiteral("city=Rome id=2"));
    EXPECT_EQ(q->FieldByName(QStringLiteral("ID")), id) << "found with letter case ignored";
    EXPECT_EQ(id->Index(), 1);
    EXPECT_THROW(q->CreatePersistentField(QStringLiteral("name"), Owner), Exception)
        << "fields change only while the dataset is closed";
    EXPECT_THROW(id->SetFieldName(QStringLiteral("x")), Exception);

    // Fields missing from the result: the open fails and names each of them.
    q->Close();
    EXPECT_TRUE(city->IsNull()) << "no value while closed";
    q->SQL()->SetText(QStringLiteral("select name from %1").arg(Table));
    try {
        q->Open();
        ADD_FAILURE() << "open with missing fields succeeded";
    } catch (const Exception &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("'city'"))) << e.Message().toStdString();
        EXPECT_TRUE(e.Message().contains(QStringLiteral("'id'"))) << e.Message().toStdString();
        EXPECT_TRUE(e.Message().contains(QStringLiteral("OvQuery1")));
    }
    EXPECT_FALSE(q->Active()) << "the failed open leaves it closed";
    EXPECT_EQ(q->Database(), nullptr) << "and detached from its database";
    EXPECT_EQ(q->FieldDefNames(), QStringList{QStringLiteral("name")})
        << "the definitions are read whatever the persistent fields say";

    // Removing a field takes it out of the list; an open dataset closes first.
    q->SQL()->SetText(QStringLiteral("select id, name, city from %1 order by id").arg(Table));
    q->Open();
    delete city;
    EXPECT_FALSE(q->Active()) << "closed before a field of it goes";
    EXPECT_EQ(fieldNames(q), QStringLiteral("id"));
    q->Open();
    q->Last();
    EXPECT_EQ(record(q), QStringLiteral("id=3"));

    // Freeing the dataset frees its persistent fields.
    QPointer<TField> watch(id);
    delete q;
    EXPECT_TRUE(watch.isNull()) << "fields go with their dataset";
}

} // namespace

TEST(PersistentFields, sqliteQueryUsesItsFields)
{
    SQLiteShop shop;
    walkPersistentFields(shop.owner(), QStringLiteral("Shop"), QStringLiteral("customer"));
}

// A field moves between closed datasets only, and the owner's destruction
// frees fields and datasets in either order of creation.
TEST(PersistentFields, attachMoveAndOwnership)
{
    SQLiteShop shop;
    auto owner = std::make_unique<QObject>();
    auto *field = new TField(owner.get()); // created before its dataset, as a form may load it
    field->SetFieldName(QStringLiteral("name"));
    auto *a = new TOvQuery(owner.get());
    auto *b = new TOvQuery(owner.get());
    for (TOvQuery *q : {a, b}) {
        q->SetDatabaseName(QStringLiteral("Shop"));
        q->SQL()->SetText(QStringLiteral("select id, name from customer order by id"));
    }
    field->SetDataSet(a);
    EXPECT_EQ(a->PersistentFields(), QObjectList{field});
    a->Open();
    EXPECT_EQ(field->AsString(), QStringLiteral("Ann"));
    EXPECT_THROW(field->SetDataSet(b), Exception) << "not away from an open dataset";
    a->Close();
    field->SetDataSet(b);
    EXPECT_TRUE(a->PersistentFields().isEmpty());
    EXPECT_EQ(b->PersistentFields(), QObjectList{field});
    a->Open();
    EXPECT_EQ(fieldNames(a), QStringLiteral("id,name")) << "a makes its own fields again";
    TField *made = a->Fields(0);
    EXPECT_FALSE(made->IsPersistent());
    EXPECT_THROW(made->SetDataSet(b), Exception) << "a field the dataset made stays there";
    a->Close();
    // The other field of the same name cannot join b.
    auto *twin = new TField(owner.get());
    twin->SetFieldName(QStringLiteral("name"));
    EXPECT_THROW(twin->SetDataSet(b), Exception);
    EXPECT_EQ(twin->DataSet(), nullptr);
    owner.reset(); // the field precedes its dataset among the owner's children
}

TEST(PersistentFields, postgresqlQueryUsesItsFields)
{
    QString problem;
    std::unique_ptr<TOvDriver> admin = pgAdmin(&problem);
    OV_REQUIRE_PG(problem);
    const QString id = pgUniqueName(QString());
    const QString schema = QStringLiteral("ovpf_") + id;
    admin->Execute(QStringLiteral("create schema %1; create table %1.customer (id integer, "
                                  "name text, city text); insert into %1.customer values "
                                  "(1, 'Ann', 'Oslo'), (2, 'Bob', 'Rome'), (3, 'Cid', null)")
                       .arg(schema),
                   {});
    struct Drop
    {
        TOvDriver *d;
        QString s;
        ~Drop() { d->Execute(QStringLiteral("drop schema %1 cascade").arg(s), {}); }
    } drop{admin.get(), schema};

    QObject owner;
    auto *db = new TOvDatabase(&owner);
    db->SetDatabaseName(QStringLiteral("Pf") + id);
    db->SetServerType(TOvServerType::stPostgreSQL);
    db->SetLoginPrompt(false);
    db->SetRemoteDatabase(pgConnInfo());
    walkPersistentFields(&owner, db->DatabaseName(), schema + QStringLiteral(".customer"));
    db->Close();
}
