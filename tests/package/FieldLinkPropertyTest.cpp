// The field-link editor of a table's MasterFields: the temporary copy it
// gives the field-link dialog, the write-back after a change, and the link
// working against real SQLite and PostgreSQL tables afterwards; and the
// index drop-downs of the same tables.
#include "PackageTestSupport.h"
#include "PgTestServer.h"

#include "OvRegProps.h"

#include "designide/DesignErrors.h"
#include "designide/FieldLinkDesigner.h"

#include "orvlib/OvConsts.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDriver.h"
#include "orvlib/OvSession.h"

#include "rtl/SysUtils.h"
#include "rtl/UiServices.h"

#include <QCoreApplication>
#include <QDir>
#include <QPointer>
#include <QRandomGenerator>
#include <QScopeGuard>

namespace {

QString screenshotPath(const QString &Name)
{
    QDir dir(QCoreApplication::applicationDirPath());
    dir.mkpath(QStringLiteral("screenshots"));
    return dir.filePath(QStringLiteral("screenshots/") + Name);
}

QStringList detailValues(TOvTable *Table, const QString &Field)
{
    QStringList values;
    for (Table->First(); !Table->Eof(); Table->Next())
        values << Table->FieldByName(Field)->Value().toString();
    return values;
}

// A table whose published link setters record each write, in order, and
// can be told to refuse one of them.
class RecordingTable : public TOvTable
{
    Q_OBJECT
    Q_PROPERTY(QString IndexName READ IndexName WRITE recIndexName)
    Q_PROPERTY(QString IndexFieldNames READ IndexFieldNames WRITE recIndexFieldNames)
    Q_PROPERTY(QString MasterFields READ MasterFields WRITE recMasterFields)

public:
    using TOvTable::TOvTable;

    QStringList calls;
    QString failOn;

    void recIndexName(const QString &V)
    {
        record("IndexName", V);
        SetIndexName(V);
    }
    void recIndexFieldNames(const QString &V)
    {
        record("IndexFieldNames", V);
        SetIndexFieldNames(V);
    }
    void recMasterFields(const QString &V)
    {
        record("MasterFields", V);
        SetMasterFields(V);
    }

private:
    void record(const QString &Name, const QString &Value)
    {
        calls << Name + "=" + Value;
        if (Name == failOn)
            throw Exception("refused: " + Name);
    }
};

// A designer that notes the table's MasterFields each time it is told.
class LinkWatchingDesigner : public TestDesigner
{
public:
    using TestDesigner::TestDesigner;
    void Modified() override
    {
        TestDesigner::Modified();
        told << (table ? table->MasterFields() : QString());
    }
    QPointer<TOvTable> table;
    QStringList told;
};

// CUSTOMER (the master) and ORDERS (the detail, with an index on its
// customer) on the server the test runs on; a master table, its data source
// and the detail table component.
class FieldLinkProperty : public PackageFixture, public ::testing::WithParamInterface<const char *>
{
protected:
    void SetUp() override
    {
        PackageFixture::SetUp();
        form.setObjectName("DataModule1");
        db = new TOvDatabase(&form);
        db->setObjectName("DB");
        db->SetDatabaseName("LINKDB");
        db->SetLoginPrompt(false);
        if (postgres()) {
            schema = pgUniqueName("ovlink_");
            OV_REQUIRE_PG(pgOpenInSchema(db, schema));
        } else {
            db->SetServerType(TOvServerType::stSQLite);
            db->SetRemoteDatabase(tmp.file("link.db"));
            db->Params()->Add("CREATE=TRUE");
            db->Open();
        }
        db->ExecSQL("create table customer (id integer primary key, name varchar(20))");
        db->ExecSQL("create table orders (id integer primary key, customer_id integer, "
                    "amount integer)");
        db->ExecSQL("create index orders_by_cust on orders (customer_id)");
        db->ExecSQL("insert into customer values (1, 'Ann'), (2, 'Bob')");
        db->ExecSQL("insert into orders values (10, 1, 5), (11, 2, 6), (12, 1, 7)");
        db->Close();

        master = new TOvTable(&form);
        master->setObjectName("Customers");
        master->SetDatabaseName("LINKDB");
        master->SetTableName("customer");
        source = new TDataSource(&form);
        source->setObjectName("CustomerSource");
        source->SetDataSet(master);
        detail = new TOvTable(&form);
        detail->setObjectName("Orders");
        detail->SetDatabaseName("LINKDB");
        detail->SetTableName("orders");
        detail->SetMasterSource(source);
    }
    void TearDown() override
    {
        // A skipped set-up made no tables and no schema.
        if (!schema.isEmpty() && db && detail && master) {
            try {
                detail->Close();
                master->Close();
                db->Open();
                db->ExecSQL("drop schema " + schema + " cascade");
                db->Close();
            } catch (const Exception &) {
            }
        }
        PackageFixture::TearDown();
    }
    bool postgres() const { return QLatin1String(GetParam()) == QLatin1String("postgresql"); }

    QObject form;
    std::shared_ptr<TestDesigner> designer = std::make_shared<TestDesigner>(&form);
    ScriptedUi ui;
    TOvDatabase *db = nullptr;
    TOvTable *master = nullptr;
    TDataSource *source = nullptr;
    TOvTable *detail = nullptr;
    QString schema;
};

// A person links ORDERS.customer_id to CUSTOMER.id in the dialog; the detail
// table then shows each customer's orders.
TEST_P(FieldLinkProperty, LinkByFieldsInTheDialog)
{
    detail->SetIndexFieldNames("amount");
    TOvTableFieldLinkProperty editor(designer, {detail}, "MasterFields");
    EXPECT_EQ(editor.GetAttributes(), TPropertyAttributes({paDialog, paRevertable}));

    QPointer<TOvTable> copy;
    ui.onModal([&](TForm &F) {
        auto *form = As<TFieldLinkForm>(&F);
        copy = editor.Table();
        ASSERT_TRUE(copy);
        EXPECT_NE(copy.data(), detail) << "the dialog works on a copy";
        EXPECT_TRUE(copy->Active()) << "open, so it knows fields and indexes";
        EXPECT_FALSE(detail->Active()) << "the table on the form stays closed";
        EXPECT_EQ(copy->IndexFieldNames(), "amount");
        EXPECT_FALSE(form->IndexBased()) << "an SQL table links by any fields";
        EXPECT_EQ(form->IndexEntries(), QStringList({"", SPrimary(), "orders_by_cust"}));
        EXPECT_EQ(form->IndexEntry(), "") << "linked by field names";
        EXPECT_EQ(form->MasterFields(), QStringList({"id", "name"}));
        EXPECT_EQ(form->DetailFields(), QStringList({"id", "customer_id", "amount"}));
        EXPECT_TRUE(form->Joins().isEmpty());

        form->SelectDetail("customer_id");
        form->SelectMaster("id");
        form->AddClick();
        EXPECT_EQ(form->JoinCaptions(), QStringList{"customer_id -> id"});
        EXPECT_EQ(form->DetailFields(), QStringList({"id", "amount"})) << "joined fields leave";
        F.grab().save(screenshotPath("FieldLinkDesigner.png"));
        F.SetModalResult(mrOk);
    });
    editor.Edit();
    EXPECT_TRUE(editor.Changed());
    EXPECT_FALSE(copy) << "the copy is freed";
    EXPECT_FALSE(editor.Table());
    EXPECT_EQ(detail->MasterFields(), "id");
    EXPECT_EQ(detail->IndexFieldNames(), "customer_id");
    EXPECT_EQ(detail->IndexName(), "");
    EXPECT_GE(designer->modified, 1);

    master->Open();
    detail->Open();
    EXPECT_EQ(detailValues(detail, "id"), QStringList({"10", "12"})) << "Ann's orders";
    detail->Close();
    master->Next();
    detail->Open();
    EXPECT_EQ(detailValues(detail, "id"), QStringList{"11"}) << "Bob's orders";
    detail->Close();
    master->Close();
    EXPECT_EQ(ui.pendingSteps(), 0u);
}

TEST_P(FieldLinkProperty, LinkByAnIndexAndThePrimaryKey)
{
    detail->SetIndexName("orders_by_cust");
    detail->SetMasterFields("id");
    TOvTableFieldLinkProperty editor(designer, {detail}, "MasterFields");

    // Unchanged: OK writes nothing.
    ui.onModal([&](TForm &F) {
        auto *form = As<TFieldLinkForm>(&F);
        EXPECT_EQ(form->IndexEntry(), "orders_by_cust");
        EXPECT_EQ(form->JoinCaptions(), QStringList{"customer_id -> id"})
            << "the copy's index fields joined to its master fields";
        EXPECT_EQ(form->DetailFields(), QStringList()) << "the index's only field is joined";
        F.SetModalResult(mrOk);
    });
    editor.Edit();
    EXPECT_FALSE(editor.Changed());
    EXPECT_EQ(designer->modified, 0);

    // The primary key, listed as SPrimary, is stored as an empty index name.
    ui.onModal([&](TForm &F) {
        auto *form = As<TFieldLinkForm>(&F);
        form->SetIndexEntry(SPrimary());
        EXPECT_TRUE(form->Joins().isEmpty()) << "another index starts a new link";
        EXPECT_EQ(form->DetailFields(), QStringList{"id"});
        form->SelectDetail("id");
        form->SelectMaster("id");
        form->AddClick();
        F.SetModalResult(mrOk);
    });
    editor.Edit();
    EXPECT_TRUE(editor.Changed());
    EXPECT_EQ(detail->IndexName(), "");
    EXPECT_EQ(detail->IndexFieldNames(), "");
    EXPECT_EQ(detail->MasterFields(), "id");

    // Back to the customer index: stored by its name; with an index only its
    // leading fields can be joined.
    ui.onModal([&](TForm &F) {
        auto *form = As<TFieldLinkForm>(&F);
        EXPECT_EQ(form->IndexEntry(), SPrimary()) << "an empty index name is the primary key";
        form->SetIndexEntry("orders_by_cust");
        form->SelectMaster("id");
        EXPECT_TRUE(form->CanAdd());
        form->AddClick();
        EXPECT_FALSE(form->CanAdd()) << "the index has no further field";
        F.SetModalResult(mrOk);
    });
    editor.Edit();
    EXPECT_EQ(detail->IndexName(), "orders_by_cust");
    EXPECT_EQ(detail->MasterFields(), "id");

    // Cancelled: nothing written.
    const int before = designer->modified;
    ui.onModal([&](TForm &F) {
        auto *form = As<TFieldLinkForm>(&F);
        form->ClearClick();
        F.SetModalResult(mrCancel);
    });
    editor.Edit();
    EXPECT_FALSE(editor.Changed());
    EXPECT_EQ(detail->MasterFields(), "id");
    EXPECT_EQ(designer->modified, before);
    EXPECT_EQ(ui.pendingSteps(), 0u);
}

// The accessors as the environment's designer calls them: only on the copy,
// SPrimary mapped to an empty index name, IndexFieldNames winning on the way
// back, and the copy freed when the designer fails.
TEST_P(FieldLinkProperty, AccessorsWorkOnTheCopy)
{
    detail->SetIndexName("orders_by_cust");
    TOvTableFieldLinkProperty editor(designer, {detail}, "MasterFields");
    EXPECT_THROW(editor.GetIndexName(), EDesignError) << "no copy outside Edit";

    QPointer<TOvTable> copy;
    setFieldLinkDesigner([&](TFieldLinkProperty &E) {
        copy = editor.Table();
        EXPECT_EQ(E.GetIndexName(), "orders_by_cust");
        EXPECT_EQ(E.GetIndexFieldNames(), "");
        TStringList fields;
        E.GetFieldNamesForIndex(fields);
        EXPECT_EQ(fields.toStringList(), QStringList{"customer_id"});
        EXPECT_FALSE(E.GetIndexBased());
        EXPECT_EQ(E.GetIndexDefs(), copy->IndexDefs());
        E.SetIndexName(SPrimary());
        EXPECT_EQ(copy->IndexName(), "") << "SPrimary is the primary key";
        E.SetIndexName(SPrimary().toLower());
        EXPECT_EQ(copy->IndexName(), SPrimary().toLower()) << "compared with its letter case";
        E.SetIndexName(SPrimary());
        E.SetMasterFields("id");
        EXPECT_EQ(detail->IndexName(), "orders_by_cust") << "the edited table waits";
        return true;
    });
    editor.Edit();
    setFieldLinkDesigner(defaultFieldLinkDesigner());
    EXPECT_EQ(detail->IndexName(), "") << "the primary key";
    EXPECT_EQ(detail->MasterFields(), "id");
    EXPECT_FALSE(copy);

    setFieldLinkDesigner([&](TFieldLinkProperty &E) {
        copy = editor.Table();
        E.SetIndexFieldNames("customer_id");
        E.SetMasterFields("id");
        throw Exception("the designer failed");
        return true;
    });
    EXPECT_THROW(editor.Edit(), Exception);
    setFieldLinkDesigner(defaultFieldLinkDesigner());
    EXPECT_FALSE(copy) << "freed on the way out";
    EXPECT_EQ(detail->IndexFieldNames(), "") << "nothing written back";
    EXPECT_EQ(detail->MasterFields(), "id");
}

TEST_P(FieldLinkProperty, UnreachableTablesAreLeftAlone)
{
    detail->SetIndexFieldNames("customer_id");
    detail->SetMasterFields("id");
    TOvTableFieldLinkProperty editor(designer, {detail}, "MasterFields");

    detail->SetTableName("no_such_table");
    EXPECT_THROW(editor.Edit(), Exception) << "the copy cannot open";
    detail->SetTableName("orders");

    // A database that cannot be reached.
    auto *lost = new TOvDatabase(&form);
    lost->SetDatabaseName("LOST");
    lost->SetLoginPrompt(false);
    if (postgres()) {
        lost->SetServerType(TOvServerType::stPostgreSQL);
        lost->SetRemoteDatabase("host=127.0.0.1 port=1 dbname=none connect_timeout=2");
    } else {
        lost->SetServerType(TOvServerType::stSQLite);
        lost->SetRemoteDatabase(tmp.file("missing/none.db"));
    }
    detail->SetDatabaseName("LOST");
    EXPECT_THROW(editor.Edit(), Exception);
    EXPECT_FALSE(lost->Connected());
    EXPECT_FALSE(editor.Table());

    EXPECT_TRUE(ui.modalForms.empty()) << "no designer shown";
    EXPECT_EQ(detail->IndexFieldNames(), "customer_id") << "unchanged";
    EXPECT_EQ(detail->MasterFields(), "id");
    EXPECT_EQ(designer->modified, 0);

    // No master to link to: the dialog says so instead of showing empty lists.
    detail->SetDatabaseName("LINKDB");
    detail->SetMasterSource(nullptr);
    EXPECT_THROW(editor.Edit(), EDesignError);
    EXPECT_TRUE(ui.modalForms.empty());
    EXPECT_EQ(detail->MasterFields(), "id");
}

// Names with blanks, quotes and mixed case travel through the dialog and
// the write-back unchanged, and the link still selects the right rows.
TEST_P(FieldLinkProperty, OddNames)
{
    db->Open();
    db->ExecSQL("create table \"Order Lines\" (\"Line No\" integer primary key, "
                "\"Cust \"\"Id\"\"\" integer)");
    db->ExecSQL("create index \"By Cust\" on \"Order Lines\" (\"Cust \"\"Id\"\"\")");
    db->ExecSQL("insert into \"Order Lines\" values (1, 1), (2, 2), (3, 1)");
    db->Close();
    detail->SetTableName("Order Lines");
    TOvTableFieldLinkProperty editor(designer, {detail}, "MasterFields");
    ui.onModal([&](TForm &F) {
        auto *form = As<TFieldLinkForm>(&F);
        EXPECT_TRUE(form->IndexEntries().contains("By Cust"));
        EXPECT_EQ(form->IndexEntry(), SPrimary()) << "no index set: the primary key";
        EXPECT_EQ(form->DetailFields(), QStringList{"Line No"});
        form->SetIndexEntry("");
        EXPECT_EQ(form->DetailFields(), QStringList({"Line No", "Cust \"Id\""}));
        form->SelectDetail("Cust \"Id\"");
        form->SelectMaster("id");
        form->AddClick();
        F.SetModalResult(mrOk);
    });
    editor.Edit();
    EXPECT_EQ(detail->IndexFieldNames(), "Cust \"Id\"");
    EXPECT_EQ(detail->MasterFields(), "id");
    master->Open();
    detail->Open();
    EXPECT_EQ(detailValues(detail, "Line No"), QStringList({"1", "3"}));
    detail->Close();
    master->Close();
}

// The IndexName and IndexFieldNames drop-downs of a table come from the
// catalogue: the primary key as SPrimary, partial indexes like any other,
// expression indexes left out (no order or link follows them), each field
// list once; read the same with the table closed and open.
TEST_P(FieldLinkProperty, IndexDropDownsFromTheCatalogue)
{
    db->Open();
    db->ExecSQL("create index orders_big on orders (amount) where amount > 5");
    db->ExecSQL("create index orders_expr on orders ((customer_id + 1))");
    db->ExecSQL("create unique index orders_by_cust2 on orders (customer_id, id)");
    db->ExecSQL("create index orders_again on orders (customer_id)");
    db->Close();
    db->SetKeepConnection(false);
    const auto offered = [&](auto Editor) {
        QStringList values;
        Editor.GetValues([&](const QString &V) { values << V; });
        return values;
    };
    const QStringList names{SPrimary(), "orders_again", "orders_big", "orders_by_cust",
                            "orders_by_cust2"};
    const QStringList fieldLists{"id", "customer_id", "amount", "customer_id;id"};

    EXPECT_EQ(offered(TIndexNameProperty(designer, {detail}, "IndexName")), names) << "closed";
    EXPECT_EQ(offered(TIndexFieldNamesProperty(designer, {detail}, "IndexFieldNames")), fieldLists);
    EXPECT_FALSE(db->Connected()) << "the look-up released its connection";

    detail->SetIndexName("orders_big");
    detail->Open();
    EXPECT_EQ(offered(TIndexNameProperty(designer, {detail}, "IndexName")), names) << "open";
    EXPECT_EQ(offered(TIndexFieldNamesProperty(designer, {detail}, "IndexFieldNames")), fieldLists);
    detail->Close();

    // What the catalogue says of each index, for whoever checks a link.
    TIndexDefs defs(nullptr);
    Session()->GetIndexDefs("LINKDB", "orders", &defs);
    ASSERT_EQ(defs.Count(), 6);
    EXPECT_EQ(defs.Items(0)->Options(), TIndexOptions(ixPrimary | ixUnique));
    EXPECT_EQ(defs.Find("orders_big")->Options(), TIndexOptions(ixPartial));
    EXPECT_EQ(defs.Find("orders_expr")->Options(), TIndexOptions(ixExpression));
    EXPECT_EQ(defs.Find("orders_by_cust2")->Options(), TIndexOptions(ixUnique));
    EXPECT_EQ(defs.Find("orders_by_cust2")->Fields(), "customer_id;id");
    Session()->GetIndexDefs("LINKDB", "no_such_table", &defs);
    EXPECT_EQ(defs.Count(), 0);
    EXPECT_FALSE(db->Connected());
}

// The copy connects the database to read fields and indexes; freeing it
// releases that connection as KeepConnection says, whichever way the editor
// ends. In the dialog, a chosen index offers only its next leading field.
TEST_P(FieldLinkProperty, TheCopyReleasesItsDatabaseOnEveryWayOut)
{
    db->Open();
    db->ExecSQL("create index orders_by_cust_amount on orders (customer_id, amount)");
    db->Close();
    db->SetKeepConnection(false);
    TOvTableFieldLinkProperty editor(designer, {detail}, "MasterFields");
    const auto cancel = [&] {
        ui.onModal([&](TForm &F) {
            EXPECT_TRUE(db->Connected()) << "the copy connected it";
            F.SetModalResult(mrCancel);
        });
    };

    cancel();
    editor.Edit();
    EXPECT_FALSE(db->Connected()) << "cancelled";

    ui.onModal([&](TForm &F) {
        auto *form = As<TFieldLinkForm>(&F);
        form->SetIndexEntry("orders_by_cust_amount");
        EXPECT_EQ(form->DetailFields(), QStringList({"customer_id", "amount"}));
        form->SelectDetail("amount");
        form->SelectMaster("id");
        EXPECT_FALSE(form->CanAdd()) << "only the index's next leading field joins";
        form->AddClick();
        EXPECT_TRUE(form->Joins().isEmpty());
        form->SelectDetail("customer_id");
        form->SelectMaster("id");
        form->AddClick();
        EXPECT_EQ(form->DetailFields(), QStringList{"amount"}) << "then its next one";
        form->SelectDetail("amount");
        form->SelectMaster("name");
        form->AddClick();
        EXPECT_FALSE(form->CanAdd()) << "the index has no further field";
        F.SetModalResult(mrOk);
    });
    editor.Edit();
    EXPECT_EQ(detail->IndexName(), "orders_by_cust_amount");
    EXPECT_EQ(detail->MasterFields(), "id;name");
    EXPECT_FALSE(db->Connected()) << "accepted";

    ui.onModal([](TForm &) { throw Exception("the dialog failed"); });
    EXPECT_THROW(editor.Edit(), Exception);
    EXPECT_FALSE(db->Connected()) << "failed";

    // Kept when KeepConnection says so, and a connection made before stays.
    db->SetKeepConnection(true);
    cancel();
    editor.Edit();
    EXPECT_TRUE(db->Connected()) << "KeepConnection";
    db->SetKeepConnection(false);
    cancel();
    editor.Edit();
    EXPECT_TRUE(db->Connected()) << "connected before the editor ran";
    db->Close();
    EXPECT_EQ(ui.pendingSteps(), 0u);
}

// The write-back goes through the table's published setters, MasterFields
// before the index; the designer hears of it after the values are in the
// table, also when a setter refuses part-way. A component of another class
// is refused before anything opens.
TEST_P(FieldLinkProperty, WriteBackOrderFailuresAndTheDesigner)
{
    auto *query = new TOvQuery(&form);
    TOvTableFieldLinkProperty wrong(designer, {query}, "MasterFields");
    EXPECT_THROW(wrong.Edit(), EInvalidCast);
    EXPECT_TRUE(ui.modalForms.empty()) << "no dialog for a query";

    auto *recording = new RecordingTable(&form);
    recording->setObjectName("RecordedOrders");
    recording->SetDatabaseName("LINKDB");
    recording->SetTableName("orders");
    recording->SetMasterSource(source);
    auto watcher = std::make_shared<LinkWatchingDesigner>(&form);
    watcher->table = recording;
    TOvTableFieldLinkProperty editor(watcher, {recording}, "MasterFields");
    const auto restore = qScopeGuard([] { setFieldLinkDesigner(defaultFieldLinkDesigner()); });

    setFieldLinkDesigner([](TFieldLinkProperty &E) {
        E.SetIndexName("orders_by_cust");
        E.SetMasterFields("id");
        return true;
    });
    editor.Edit();
    EXPECT_EQ(recording->calls, QStringList({"MasterFields=id", "IndexName=orders_by_cust"}));
    ASSERT_FALSE(watcher->told.isEmpty());
    EXPECT_EQ(watcher->told.last(), "id") << "told after the new link was written";

    recording->calls.clear();
    setFieldLinkDesigner([](TFieldLinkProperty &E) {
        E.SetIndexFieldNames("customer_id;amount");
        E.SetMasterFields("id;name");
        return true;
    });
    editor.Edit();
    EXPECT_EQ(recording->calls,
              QStringList({"MasterFields=id;name", "IndexFieldNames=customer_id;amount"}));
    EXPECT_EQ(watcher->told.last(), "id;name");

    // The index setter refuses: MasterFields stays written, and the designer
    // is told so the form keeps it; the copy is gone.
    recording->calls.clear();
    recording->failOn = "IndexName";
    setFieldLinkDesigner([](TFieldLinkProperty &E) {
        E.SetIndexName(SPrimary());
        E.SetMasterFields("name");
        return true;
    });
    const int toldBefore = watcher->modified;
    EXPECT_THROW(editor.Edit(), Exception);
    EXPECT_EQ(recording->calls, QStringList({"MasterFields=name", "IndexName="}));
    EXPECT_EQ(recording->MasterFields(), "name");
    EXPECT_GT(watcher->modified, toldBefore);
    EXPECT_EQ(watcher->told.last(), "name");
    EXPECT_FALSE(editor.Table());
    EXPECT_TRUE(ui.modalForms.empty());
}

INSTANTIATE_TEST_SUITE_P(Servers, FieldLinkProperty, ::testing::Values("sqlite", "postgresql"),
                         [](const auto &Info) { return std::string(Info.param); });

} // namespace

#include "FieldLinkPropertyTest.moc"
