// The structure view of a data module built from the package's nodes: the
// tree, its captions and flags, and drag and drop with the component
// properties checked afterwards.
#include "OvReg.h"
#include "OvRegSprigs.h"

#include "designide/Registrations.h"
#include "orvlib/OvComponents.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvSession.h"
#include "orvlib/OvUpdateSQL.h"
#include "rtl/Classes.h"
#include "rtl/SysUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>

namespace {

class CountingDesigner : public IDesigner
{
public:
    void Modified() override { ++modified; }
    QObject *Root() const override { return nullptr; }
    int modified = 0;
};

// A query that can be told to fail the next time it is closed, as a dataset
// whose close handler raises; every setter of its names closes it first.
// When ReopenAfterClose is set it opens again after each close, so that a
// second setter closes (and may fail) again.
class TFailingQuery : public TOvQuery
{
    Q_OBJECT

public:
    explicit TFailingQuery(QObject *AOwner)
        : TOvQuery(AOwner)
    {
        connect(this, &TDataSet::AfterClose, this, [this] {
            if (ReopenAfterClose)
                Open();
        });
    }
    int FailOnClose = 0; // the close that raises, counted from 1; 0 never
    bool ReopenAfterClose = false;
    int Closes = 0;

protected:
    void InternalOpen() override { SetData({}, {}); }
    void InternalClose() override
    {
        if (++Closes == FailOnClose)
            throw Exception(QStringLiteral("%1 cannot close").arg(objectName()));
    }
};

template<class T>
T *make(QObject *Owner, const QString &Name)
{
    auto *c = new T(Owner);
    c->setObjectName(Name);
    return c;
}

// The tree as text: one line per node, indented by depth, the caption and a
// "!" for a flagged node; the orphans last. Sorted puts siblings in caption
// order, so that trees that differ only in sibling order read the same.
QString treeText(TSprig &Node, bool Sorted, int Depth = 0)
{
    QStringList blocks;
    for (TSprig *child : Node.Children())
        blocks << treeText(*child, Sorted, Depth + 1);
    if (Sorted)
        blocks.sort();
    QString text;
    if (Depth > 0)
        text = QString(2 * (Depth - 1), ' ') + Node.Caption() + (Node.AnyProblems() ? " !" : "")
               + "\n";
    return text + blocks.join(QString());
}

std::string treeText(TRootSprig &Root, bool Sorted = false)
{
    QStringList orphans;
    for (TSprig *orphan : Root.Orphans())
        orphans << orphan->Caption();
    orphans.sort();
    return (treeText(static_cast<TSprig &>(Root), Sorted) + "orphans: " + orphans.join(", "))
        .toStdString();
}

TSprig *nodeOf(TRootSprig &Root, QObject *Component)
{
    return Root.FindItem(Component);
}

class SprigsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        registrations().clear();
        Register();
        buildModule();
    }
    void TearDown() override { registrations().clear(); }

    // Two sessions with a database each, a database of the default session,
    // datasets under databases and under implied databases, a dataset and a
    // database of a session that has no node, an update object, and a
    // monitor that carries a session's name.
    void buildModule()
    {
        monitor = make<TOvMonitor>(&module, "Sales");
        sales = make<TOvSession>(&module, "SessionA");
        sales->SetSessionName("Sales");
        stock = make<TOvSession>(&module, "SessionB");
        stock->SetSessionName("Stock");

        salesDb = make<TOvDatabase>(&module, "DbSales");
        salesDb->SetDatabaseName("SALESDB");
        salesDb->SetSessionName("Sales");
        salesDb->SetServerType(TOvServerType::stSQLite);
        salesDb->SetRemoteDatabase("/data/sales.db");
        stockDb = make<TOvDatabase>(&module, "DbStock");
        stockDb->SetDatabaseName("StockDB");
        stockDb->SetSessionName("stock");
        stockDb->SetServerType(TOvServerType::stPostgreSQL);
        stockDb->SetRemoteDatabase("db1:5433/stock");
        mainDb = make<TOvDatabase>(&module, "DbMain");
        mainDb->SetDatabaseName("MainDB");
        mainDb->SetServerType(TOvServerType::stSQLite);
        ghostDb = make<TOvDatabase>(&module, "DbGhost");
        ghostDb->SetDatabaseName("GhostDB");
        ghostDb->SetSessionName("Ghost");

        orders = make<TOvQuery>(&module, "Orders");
        orders->SetSessionName("Sales");
        orders->SetDatabaseName("salesdb");
        orders->SQL()->Add("select *");
        orders->SQL()->Add("from ORDERS");
        items = make<TOvTable>(&module, "Items");
        items->SetSessionName("STOCK");
        items->SetDatabaseName("StockDB");
        items->SetTableName("ITEMS");
        report = make<TOvStoredProc>(&module, "Report");
        report->SetSessionName("default");
        report->SetDatabaseName("MainDB");
        archive1 = make<TOvQuery>(&module, "Archive1");
        archive1->SetSessionName("SALES");
        archive1->SetDatabaseName("Archive");
        archive1->SQL()->Add("select 1");
        archive2 = make<TOvMacroQuery>(&module, "Archive2");
        archive2->SetSessionName("Sales");
        archive2->SetDatabaseName("Archive");
        lost = make<TOvTable>(&module, "Lost");
        lost->SetSessionName("Ghost");
        lost->SetDatabaseName("GhostDB");
        lost->SetTableName("T");
        update = make<TOvUpdateSQL>(&module, "UpdateOrders");
        update->RefreshSQL()->Add("select * from ORDERS where ID = :ID");

        components = module.children();
    }

    std::unique_ptr<TRootSprig> build(const QList<QObject *> &Components)
    {
        auto root = std::make_unique<TRootSprig>(&module, designer);
        root->AddItems(Components);
        return root;
    }

    // The tree of the module in creation order.
    const std::string Expected = "Sales\n"
                                 "SessionA: Sales\n"
                                 "  DbSales: SQLite | /data/sales.db\n"
                                 "    Orders: select *...\n"
                                 "  Unknown: Archive\n"
                                 "    Archive1: select 1\n"
                                 "    Archive2 !\n"
                                 "SessionB: Stock\n"
                                 "  DbStock: PostgreSQL | db1:5433/stock\n"
                                 "    Items: ITEMS\n"
                                 "OvSession: Default\n"
                                 "  DbMain: SQLite | <UnknownDatabase>\n"
                                 "    Report !\n"
                                 "UpdateOrders !\n"
                                 "orphans: DbGhost: SQLite | <UnknownDatabase>, Lost: T";

    QObject module;
    std::shared_ptr<CountingDesigner> designer = std::make_shared<CountingDesigner>();
    TOvMonitor *monitor;
    TOvSession *sales, *stock;
    TOvDatabase *salesDb, *stockDb, *mainDb, *ghostDb;
    TOvQuery *orders, *archive1;
    TOvMacroQuery *archive2;
    TOvTable *items, *lost;
    TOvStoredProc *report;
    TOvUpdateSQL *update;
    QList<QObject *> components;
};

TEST_F(SprigsTest, keys)
{
    EXPECT_EQ(SessionSprigName(""), "<DefaultSession>");
    EXPECT_EQ(SessionSprigName("dEfAuLt"), "<DefaultSession>") << "the default session, any case";
    EXPECT_EQ(SessionSprigName("Sales"), "Sales") << "other names unchanged";
    EXPECT_EQ(SessionSprigName(" Default"), " Default") << "no trimming of the key";
    EXPECT_EQ(ImpliedDatabaseSprigName("Archive"), "<ImpliedDatabase>.Archive");
    EXPECT_EQ(ImpliedDatabaseSprigName(""), "<ImpliedDatabase>.");
    EXPECT_EQ(ImpliedDatabaseSprigName("%1 a.b"), "<ImpliedDatabase>.%1 a.b")
        << "placeholders in a name are not expanded";
}

TEST_F(SprigsTest, treeOfADataModule)
{
    auto root = build(components);
    EXPECT_EQ(treeText(*root), Expected);

    TSprig *implied = root->Find("Sales", false, &TOvSessionSprig::staticMetaObject)
                          ->Find("<ImpliedDatabase>.archive", false);
    ASSERT_NE(implied, nullptr) << "found by its unique name, letter case aside";
    auto *impliedNode = qobject_cast<TOvImpliedDatabaseSprig *>(implied);
    ASSERT_NE(impliedNode, nullptr);
    EXPECT_EQ(impliedNode->FSessionName, "SALES")
        << "the creating dataset's own spelling of the session name";
    EXPECT_EQ(impliedNode->FDatabaseName, "Archive");
    EXPECT_TRUE(impliedNode->Transient());
    EXPECT_EQ(impliedNode->Item(), nullptr);
    EXPECT_EQ(impliedNode->ItemClass(), &TOvDatabase::staticMetaObject);

    TSprig *defaultNode = root->Find("<DefaultSession>", false);
    ASSERT_NE(defaultNode, nullptr);
    EXPECT_TRUE(defaultNode->Transient());
    EXPECT_EQ(defaultNode->ItemClass(), &TOvSession::staticMetaObject);
    EXPECT_EQ(defaultNode->Item(), nullptr);

    EXPECT_EQ(nodeOf(*root, monitor)->Count(), 0)
        << "a monitor named after a session receives no databases";
    EXPECT_TRUE(root->ProblemsBelow());
    EXPECT_FALSE(nodeOf(*root, stock)->ProblemsBelow());

    root->Rebuild();
    EXPECT_EQ(treeText(*root), Expected) << "building twice gives the same tree";
}

TEST_F(SprigsTest, sameTreeWhateverTheComponentOrder)
{
    const std::string sorted = treeText(*build(components), true);
    QList<QList<QObject *>> permutations;
    QList<QObject *> reversed(components.rbegin(), components.rend());
    permutations << reversed;
    for (int seed = 1; seed <= 20; ++seed) {
        QList<QObject *> shuffled = components;
        std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(seed));
        permutations << shuffled;
    }
    for (const QList<QObject *> &order : std::as_const(permutations)) {
        QStringList names;
        for (QObject *c : order)
            names << c->objectName();
        EXPECT_EQ(treeText(*build(order), true), sorted) << names.join(' ').toStdString();
    }

    // Datasets first, each before its database: still under the database.
    auto root = build(reversed);
    EXPECT_EQ(nodeOf(*root, orders)->Parent(), nodeOf(*root, salesDb))
        << "not under an implied node of the same name";
    EXPECT_EQ(nodeOf(*root, report)->Parent(), nodeOf(*root, mainDb));
    EXPECT_EQ(root->Find("<ImpliedDatabase>.SALESDB"), nullptr);
}

TEST_F(SprigsTest, captionsAndFlags)
{
    auto *unnamed = make<TOvSession>(&module, "Session3");
    auto *noName = make<TOvDatabase>(&module, "DbNoName");
    noName->SetSessionName("Sales");
    auto *noDatabase = make<TOvQuery>(&module, "NoDatabase");
    noDatabase->SetSessionName("Stock");
    auto *single = make<TOvQuery>(&module, "Single");
    single->SetDatabaseName("MainDB");
    single->SQL()->Add("select 'a|b' from T");
    auto *noTable = make<TOvTable>(&module, "NoTable");
    noTable->SetDatabaseName("MainDB");
    auto *archive3 = make<TOvQuery>(&module, "Archive3");
    archive3->SetSessionName("sales");
    archive3->SetDatabaseName("ARCHIVE");
    auto *proc = make<TOvStoredProc>(&module, "Proc");
    proc->SetDatabaseName("MainDB");
    proc->SetStoredProcName("SP_TOTALS");
    auto root = build(module.children());

    EXPECT_EQ(nodeOf(*root, unnamed)->Caption(), "Session3") << "an empty name: the label alone";
    EXPECT_TRUE(nodeOf(*root, unnamed)->AnyProblems()) << "a session without a name";
    EXPECT_FALSE(nodeOf(*root, sales)->AnyProblems());
    EXPECT_TRUE(nodeOf(*root, noName)->AnyProblems()) << "a database without a name";
    EXPECT_FALSE(nodeOf(*root, salesDb)->AnyProblems());

    TSprig *noDatabaseNode = nodeOf(*root, noDatabase);
    ASSERT_NE(noDatabaseNode->Parent(), nullptr);
    EXPECT_EQ(noDatabaseNode->Parent()->UniqueName(), "<ImpliedDatabase>.")
        << "an empty database name is a key like any other";
    EXPECT_TRUE(noDatabaseNode->Parent()->AnyProblems()) << "the implied node of no name";
    EXPECT_EQ(noDatabaseNode->Parent()->Caption(), "Unknown");
    EXPECT_TRUE(noDatabaseNode->AnyProblems()) << "a dataset without a database name";

    EXPECT_EQ(nodeOf(*root, archive3)->Parent(), nodeOf(*root, archive1)->Parent())
        << "one implied node for names that differ only in letter case";
    EXPECT_EQ(nodeOf(*root, single)->Caption(), "Single: select 'a|b' from T")
        << "one line: no ellipsis";
    EXPECT_FALSE(nodeOf(*root, single)->AnyProblems());
    EXPECT_TRUE(nodeOf(*root, archive2)->AnyProblems()) << "a query without SQL";
    EXPECT_EQ(nodeOf(*root, archive2)->Caption(), "Archive2") << "no SQL: the label alone";
    EXPECT_TRUE(nodeOf(*root, noTable)->AnyProblems()) << "a table without a table name";
    EXPECT_EQ(nodeOf(*root, noTable)->Caption(), "NoTable");
    EXPECT_EQ(nodeOf(*root, proc)->Caption(), "Proc: SP_TOTALS");
    EXPECT_FALSE(nodeOf(*root, proc)->AnyProblems());
    EXPECT_TRUE(nodeOf(*root, report)->AnyProblems()) << "no stored procedure name";

    TSprig *updateNode = nodeOf(*root, update);
    EXPECT_TRUE(updateNode->AnyProblems()) << "a refresh statement alone does not count";
    update->DeleteSQL()->Add("delete from ORDERS where ID = :OLD_ID");
    EXPECT_FALSE(updateNode->AnyProblems()) << "a delete statement is enough";
    update->DeleteSQL()->Clear();
    update->InsertSQL()->Add("insert into ORDERS (ID) values (:ID)");
    EXPECT_FALSE(updateNode->AnyProblems()) << "an insert statement is enough";

    stockDb->SetRemoteDatabase("");
    EXPECT_EQ(nodeOf(*root, stockDb)->Caption(), "DbStock: PostgreSQL | <UnknownDatabase>");
}

// Each flagged or unattached node says why, naming its own setting and the
// value that did not resolve; a node without a problem says nothing.
TEST_F(SprigsTest, eachFlaggedNodeSaysWhy)
{
    auto *unnamed = make<TOvSession>(&module, "Session3");
    auto *noName = make<TOvDatabase>(&module, "DbNoName");
    noName->SetSessionName("Sales");
    auto *noDatabase = make<TOvQuery>(&module, "NoDatabase");
    noDatabase->SQL()->Add("select 1");
    auto *noTable = make<TOvTable>(&module, "NoTable");
    noTable->SetDatabaseName("MainDB");
    auto *elsewhere = make<TOvTable>(&module, "Elsewhere");
    elsewhere->SetSessionName("Nowhere");
    elsewhere->SetDatabaseName("MainDB");
    // A persistent field of a dataset in another module.
    QObject other;
    other.setObjectName("OtherModule");
    auto *foreign = make<TOvQuery>(&other, "Remote");
    auto *field = make<TField>(&module, "RemoteID");
    field->SetFieldName("ID");
    field->SetDataSet(foreign);
    auto root = build(module.children());

    const auto hint = [&](QObject *Component) {
        TSprig *node = nodeOf(*root, Component);
        for (TSprig *orphan : root->Orphans())
            if (orphan->Item() == Component)
                node = orphan;
        return node ? node->ProblemHint().toStdString() : std::string("no node");
    };
    EXPECT_EQ(hint(ghostDb), "SessionName \"Ghost\" names no session of this module");
    EXPECT_EQ(hint(lost), "SessionName \"Ghost\" names no session of this module");
    EXPECT_EQ(hint(elsewhere), "SessionName \"Nowhere\" names no session of this module");
    EXPECT_EQ(hint(field), "DataSet \"OtherModule.Remote\" is not a component of this module");
    EXPECT_EQ(hint(unnamed), "SessionName is empty");
    EXPECT_EQ(hint(noName), "DatabaseName is empty");
    EXPECT_EQ(hint(noDatabase), "DatabaseName is empty");
    EXPECT_EQ(nodeOf(*root, noDatabase)->Parent()->ProblemHint().toStdString(),
              "the datasets below name no database: their DatabaseName is empty");
    EXPECT_EQ(hint(noTable), "TableName is empty");
    EXPECT_EQ(hint(archive2), "SQL is empty");
    EXPECT_EQ(hint(report), "StoredProcName is empty");
    EXPECT_EQ(hint(update), "ModifySQL, InsertSQL and DeleteSQL are all empty");
    for (QObject *clean : std::initializer_list<QObject *>{sales, salesDb, orders, items})
        EXPECT_EQ(hint(clean), "") << clean->objectName().toStdString();
    EXPECT_EQ(root->Orphans().size(), 4) << "DbGhost, Lost, Elsewhere and the field";
}

TEST_F(SprigsTest, keysFindOnlyNodesOfTheirKind)
{
    // A session named like the default-session node's key, a database named
    // like an implied node's key, and a session named like the default one.
    auto *literal = make<TOvSession>(&module, "Literal");
    literal->SetSessionName("<DefaultSession>");
    auto *literalDb = make<TOvDatabase>(&module, "DbLiteral");
    literalDb->SetSessionName("<DefaultSession>");
    literalDb->SetDatabaseName("L");
    auto *impostor = make<TOvDatabase>(&module, "DbImpostor");
    impostor->SetSessionName("Sales");
    impostor->SetDatabaseName("<ImpliedDatabase>.Archive");
    auto *shadow = make<TOvSession>(&module, "Shadow");
    shadow->SetSessionName("DEFAULT");
    auto root = build(module.children());

    EXPECT_EQ(nodeOf(*root, literalDb)->Parent(), nodeOf(*root, literal))
        << "a session really named <DefaultSession> keeps its databases";
    EXPECT_EQ(nodeOf(*root, mainDb)->Parent()->UniqueName(), "<DefaultSession>");
    EXPECT_TRUE(Is<TOvDefaultSessionSprig>(nodeOf(*root, mainDb)->Parent()))
        << "the default session's databases go to the default-session node";
    EXPECT_EQ(nodeOf(*root, shadow)->Count(), 0)
        << "a session named like the default one receives no databases";
    EXPECT_TRUE(Is<TOvImpliedDatabaseSprig>(nodeOf(*root, archive1)->Parent()))
        << "a database named like an implied node's key is not one";
    EXPECT_EQ(nodeOf(*root, impostor)->Count(), 0);
}

TEST_F(SprigsTest, persistentFieldsUnderTheirDataset)
{
    // Fields created before their dataset and its database, as a form file
    // may load them: each still lands under its dataset's node.
    QList<QObject *> order;
    for (const QString &name : {QString("ID"), QString("NAME")}) {
        auto *field = new TField(&module);
        field->setObjectName("Orders" + name);
        field->SetFieldName(name);
        field->SetDataSet(orders);
        order << field;
    }
    order << QList<QObject *>(components.rbegin(), components.rend());
    auto root = build(order);
    TSprig *ordersNode = nodeOf(*root, orders);
    ASSERT_EQ(ordersNode->Count(), 2);
    EXPECT_EQ(ordersNode->Items(0)->Item(), order[0]);
    EXPECT_EQ(ordersNode->Items(1)->Item(), order[1]);
    EXPECT_EQ(ordersNode->Parent(), nodeOf(*root, salesDb))
        << "the dataset still under its database";
    EXPECT_FALSE(ordersNode->ProblemsBelow());

    // A drop of the dataset keeps its fields with it.
    EXPECT_TRUE(root->DragDrop(ordersNode, nodeOf(*root, stockDb)));
    EXPECT_EQ(nodeOf(*root, orders)->Parent(), nodeOf(*root, stockDb));
    EXPECT_EQ(nodeOf(*root, orders)->Count(), 2);
}

TEST_F(SprigsTest, dropsOfDatabases)
{
    auto root = build(components);
    TSprig *stockNode = nodeOf(*root, stock);

    // Onto its own session, names equal but for letter case: no change, and
    // the dataset spelling the session otherwise keeps its spelling.
    EXPECT_TRUE(root->DragOver(nodeOf(*root, stockDb), stockNode));
    EXPECT_FALSE(root->DragDrop(nodeOf(*root, stockDb), stockNode));
    EXPECT_EQ(stockDb->SessionName(), "stock");
    EXPECT_EQ(items->SessionName(), "STOCK") << "a no-change drop writes nothing";

    // A default-session database onto the default-session node.
    TSprig *defaultNode = root->Find("<DefaultSession>", false);
    EXPECT_FALSE(root->DragDrop(nodeOf(*root, mainDb), defaultNode));
    EXPECT_EQ(mainDb->SessionName(), "");
    EXPECT_EQ(report->SessionName(), "default") << "the default session, spelled its own way";
    EXPECT_EQ(designer->modified, 0) << "no change, no Modified";
    EXPECT_EQ(treeText(*root), Expected);

    // Onto the default-session node: the name is cleared.
    EXPECT_TRUE(root->DragDrop(nodeOf(*root, salesDb), defaultNode));
    EXPECT_EQ(salesDb->SessionName(), "");
    EXPECT_EQ(orders->SessionName(), "") << "its dataset follows";
    EXPECT_EQ(orders->DatabaseName(), "salesdb") << "DatabaseName never changes on re-parenting";
    EXPECT_EQ(designer->modified, 1) << "a change ends with Modified";
    defaultNode = root->Find("<DefaultSession>", false);
    EXPECT_EQ(nodeOf(*root, salesDb)->Parent(), defaultNode) << "the tree was rebuilt";
    EXPECT_EQ(nodeOf(*root, orders)->Parent(), nodeOf(*root, salesDb));

    // Into another session: the database and its datasets move.
    EXPECT_TRUE(root->DragDrop(nodeOf(*root, mainDb), nodeOf(*root, stock)));
    EXPECT_EQ(mainDb->SessionName(), "Stock");
    EXPECT_EQ(report->SessionName(), "Stock");
    EXPECT_EQ(designer->modified, 2);
    EXPECT_EQ(nodeOf(*root, report)->Parent(), nodeOf(*root, mainDb));
    EXPECT_EQ(nodeOf(*root, mainDb)->Parent(), nodeOf(*root, stock));

    // Not onto a session without a name, nor onto anything but a session.
    auto *unnamed = make<TOvSession>(&module, "Unnamed");
    root->AddItems({unnamed});
    EXPECT_FALSE(root->DragOver(nodeOf(*root, stockDb), nodeOf(*root, unnamed)));
    EXPECT_FALSE(root->DragDrop(nodeOf(*root, stockDb), nodeOf(*root, unnamed)));
    EXPECT_EQ(stockDb->SessionName(), "stock");
    EXPECT_FALSE(TOvDatabaseSprig::PaletteOverTo(nodeOf(*root, unnamed), nullptr));
    EXPECT_TRUE(TOvDatabaseSprig::PaletteOverTo(root->Find("<DefaultSession>", false), nullptr));
    EXPECT_TRUE(root->PaletteOver(nodeOf(*root, stock), &TOvDatabase::staticMetaObject));
    EXPECT_FALSE(root->PaletteOver(nodeOf(*root, monitor), &TOvDatabase::staticMetaObject));
    EXPECT_FALSE(root->PaletteOver(nodeOf(*root, salesDb), &TOvDatabase::staticMetaObject));
    EXPECT_TRUE(root->PaletteOver(nodeOf(*root, salesDb), &TOvTable::staticMetaObject));
}

TEST_F(SprigsTest, dropsOfImpliedDatabases)
{
    auto root = build(components);
    TSprig *implied = nodeOf(*root, archive1)->Parent();

    // Onto its own session: FSessionName "SALES" and the session "Sales".
    EXPECT_FALSE(root->DragDrop(implied, nodeOf(*root, sales)));
    EXPECT_EQ(archive1->SessionName(), "SALES");
    EXPECT_EQ(archive2->SessionName(), "Sales") << "each dataset keeps its own spelling";

    EXPECT_TRUE(root->DragOver(implied, nodeOf(*root, stock)));
    EXPECT_TRUE(root->DragDrop(implied, nodeOf(*root, stock)));
    EXPECT_EQ(archive1->SessionName(), "Stock");
    EXPECT_EQ(archive2->SessionName(), "Stock");
    EXPECT_EQ(archive1->DatabaseName(), "Archive") << "database names untouched";
    EXPECT_EQ(archive2->DatabaseName(), "Archive");
    EXPECT_EQ(designer->modified, 1);
    implied = nodeOf(*root, archive2)->Parent();
    EXPECT_EQ(implied->Parent(), nodeOf(*root, stock)) << "rebuilt under the new session";
    EXPECT_EQ(implied->Count(), 2) << "still shared";

    EXPECT_TRUE(root->DragDrop(implied, root->Find("<DefaultSession>", false)));
    EXPECT_EQ(archive1->SessionName(), "");
    EXPECT_EQ(archive2->SessionName(), "");
    implied = nodeOf(*root, archive2)->Parent();
    EXPECT_TRUE(Is<TOvDefaultSessionSprig>(implied->Parent()));
    EXPECT_FALSE(root->DragOver(implied, nodeOf(*root, mainDb))) << "only onto sessions";
}

TEST_F(SprigsTest, dropsOfDatasets)
{
    auto root = build(components);

    // Onto the database it already names (letter case aside): no change.
    EXPECT_FALSE(root->DragDrop(nodeOf(*root, items), nodeOf(*root, stockDb)));
    EXPECT_EQ(items->SessionName(), "STOCK");
    EXPECT_EQ(items->DatabaseName(), "StockDB");

    // Onto another database: both names, spelled as the database spells them.
    EXPECT_TRUE(root->DragDrop(nodeOf(*root, orders), nodeOf(*root, stockDb)));
    EXPECT_EQ(orders->DatabaseName(), "StockDB");
    EXPECT_EQ(orders->SessionName(), "stock");
    EXPECT_EQ(nodeOf(*root, orders)->Parent(), nodeOf(*root, stockDb));
    EXPECT_EQ(designer->modified, 1);

    // Onto an implied database node.
    TSprig *implied = nodeOf(*root, archive1)->Parent();
    EXPECT_TRUE(root->DragOver(nodeOf(*root, items), implied));
    EXPECT_TRUE(root->DragDrop(nodeOf(*root, items), implied));
    EXPECT_EQ(items->DatabaseName(), "Archive");
    EXPECT_EQ(items->SessionName(), "SALES");
    EXPECT_EQ(nodeOf(*root, items)->Parent(), nodeOf(*root, archive1)->Parent());
    EXPECT_EQ(designer->modified, 2);

    // Not onto a database without a name, a session or another dataset.
    auto *noName = make<TOvDatabase>(&module, "DbNoName");
    noName->SetSessionName("Sales");
    root->AddItems({noName});
    EXPECT_FALSE(root->DragOver(nodeOf(*root, report), nodeOf(*root, noName)));
    EXPECT_FALSE(root->DragOver(nodeOf(*root, report), nodeOf(*root, sales)));
    EXPECT_FALSE(root->DragOver(nodeOf(*root, report), nodeOf(*root, orders)));
    EXPECT_TRUE(root->PaletteOver(nodeOf(*root, archive1)->Parent(), &TOvQuery::staticMetaObject));
    EXPECT_EQ(report->DatabaseName(), "MainDB");
    EXPECT_EQ(designer->modified, 2);
}

TEST_F(SprigsTest, dropsOntoNodesWithoutItem)
{
    // The environment may call DragDropTo without asking first: targets that
    // have no item are recognised by their class before anything is read.
    auto root = build(components);
    TSprig *defaultNode = root->Find("<DefaultSession>", false);
    TSprig *implied = nodeOf(*root, archive1)->Parent();

    EXPECT_FALSE(nodeOf(*root, orders)->DragDropTo(defaultNode));
    EXPECT_FALSE(nodeOf(*root, orders)->DragOverTo(defaultNode));
    EXPECT_FALSE(nodeOf(*root, salesDb)->DragDropTo(implied));
    EXPECT_FALSE(nodeOf(*root, salesDb)->DragOverTo(implied));
    EXPECT_FALSE(implied->DragDropTo(implied));
    EXPECT_FALSE(nodeOf(*root, orders)->DragDropTo(nullptr));
    EXPECT_FALSE(nodeOf(*root, salesDb)->DragDropTo(nodeOf(*root, monitor)));
    EXPECT_FALSE(TOvDataSetSprig::PaletteOverTo(defaultNode, nullptr));
    EXPECT_EQ(orders->DatabaseName(), "salesdb");
    EXPECT_EQ(orders->SessionName(), "Sales");
    EXPECT_EQ(salesDb->SessionName(), "Sales");
}

TEST_F(SprigsTest, aFailedDatasetDropLeavesTheDatasetAsItWas)
{
    // The second setter (SessionName) raises after DatabaseName was written.
    auto *failing = make<TFailingQuery>(&module, "Failing");
    failing->SetSessionName("Sales");
    failing->SetDatabaseName("SALESDB");
    failing->Open();
    failing->ReopenAfterClose = true;
    failing->FailOnClose = 2;
    auto root = build(module.children());
    const std::string before = treeText(*root);

    EXPECT_THROW(root->DragDrop(nodeOf(*root, failing), nodeOf(*root, stockDb)), Exception);
    EXPECT_EQ(failing->DatabaseName(), "SALESDB") << "not left between two databases";
    EXPECT_EQ(failing->SessionName(), "Sales");
    EXPECT_EQ(designer->modified, 0);
    EXPECT_EQ(treeText(*root), before) << "the tree rebuilt as it was";
}

TEST_F(SprigsTest, aFailedDatabaseDropMovesNoDataset)
{
    // Two datasets under DbSales; re-parenting runs the last child first, so
    // Orders moves and then the failing one raises.
    auto *failing = make<TFailingQuery>(&module, "Failing");
    failing->SetSessionName("Sales");
    failing->SetDatabaseName("SALESDB");
    failing->Open();
    failing->FailOnClose = 1;
    QList<QObject *> order = components;
    order.insert(order.indexOf(orders), failing);
    auto root = build(order);
    ASSERT_EQ(nodeOf(*root, salesDb)->Children().last(), nodeOf(*root, orders));
    const std::string before = treeText(*root);

    EXPECT_THROW(root->DragDrop(nodeOf(*root, salesDb), nodeOf(*root, stock)), Exception);
    EXPECT_EQ(salesDb->SessionName(), "Sales") << "the database stays";
    EXPECT_EQ(orders->SessionName(), "Sales") << "the dataset moved first is moved back";
    EXPECT_EQ(failing->SessionName(), "Sales");
    EXPECT_EQ(designer->modified, 0);
    EXPECT_EQ(treeText(*root), before);

    // The same through an implied node.
    auto *failing2 = make<TFailingQuery>(&module, "Failing2");
    failing2->SetSessionName("Sales");
    failing2->SetDatabaseName("Archive");
    failing2->Open();
    failing2->FailOnClose = 1;
    order = components;
    order.insert(order.indexOf(archive1), failing2);
    root = build(order);
    TSprig *implied = nodeOf(*root, archive1)->Parent();
    ASSERT_EQ(implied->Count(), 3);
    EXPECT_THROW(root->DragDrop(implied, nodeOf(*root, stock)), Exception);
    EXPECT_EQ(archive1->SessionName(), "SALES");
    EXPECT_EQ(archive2->SessionName(), "Sales");
    EXPECT_EQ(failing2->SessionName(), "Sales");
    EXPECT_EQ(nodeOf(*root, archive1)->Parent()->Parent(), nodeOf(*root, sales));
}

} // namespace

#include "SprigsTest.moc"
