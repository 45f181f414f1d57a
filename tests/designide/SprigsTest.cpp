#include "TestComponents.h"

#include "designide/DesignErrors.h"
#include "designide/Registrations.h"
#include "rtl/SysUtils.h"

#include <QEventLoop>
#include <QIdentityProxyModel>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QPointer>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QStringListModel>
#include <QTextDocument>
#include <QTimer>
#include <QTranslator>

#include <gtest/gtest.h>

#include <memory>
#include <new>

namespace {

// Places itself under the node of the component named in its Caption, as the
// package's nodes place themselves under the node their settings name.
class TFollowerSprig : public TComponentSprig
{
    Q_OBJECT

public:
    using TComponentSprig::TComponentSprig;
    void FigureParent() override
    {
        const QString parentName = Item()->property("Caption").toString();
        if (TSprig *parent = Root()->Find(parentName))
            parent->Add(this);
    }
    void Reparent() override { order << Item()->objectName(); }
    static inline QStringList order;
};

// Shows a component under the name in its Caption, so tests can rename it.
class TKeyedSprig : public TComponentSprig
{
    Q_OBJECT

public:
    using TComponentSprig::TComponentSprig;
    QString Name() override { return Item()->property("Caption").toString(); }
    bool AnyProblems() override { return Name().isEmpty(); }
};

// Stands for a keyed node that no component provides; it learns its name
// after it was added, as the package's stand-in nodes do.
class TStandInSprig : public TTransientSprig
{
    Q_OBJECT

public:
    using TTransientSprig::TTransientSprig;
    QString Name() override { return key; }
    QString key;
};

// Goes under the keyed node named in its Caption, among the root's direct
// children and keyed nodes only; without one, under a stand-in of that name.
// It may be dropped onto keyed nodes, taking their name.
class TChildSprig : public TComponentSprig
{
    Q_OBJECT

public:
    using TComponentSprig::TComponentSprig;
    void FigureParent() override
    {
        const QString key = Item()->property("Caption").toString();
        if (key == "raise")
            throw EDesignError("cannot place " + Item()->objectName());
        TSprig *parent = Root()->Find(key, false, &TKeyedSprig::staticMetaObject);
        if (!parent)
            parent = Root()->Find(key, false, &TStandInSprig::staticMetaObject);
        if (!parent) {
            auto *standIn = new TStandInSprig(nullptr);
            Root()->Add(standIn);
            standIn->key = key;
            parent = standIn;
        }
        parent->Add(this);
    }
    bool DragOverTo(TSprig *AItem) override { return Is<TKeyedSprig>(AItem); }
    bool DragDropTo(TSprig *AItem) override
    {
        ++drops;
        const QString target = AItem->Name();
        if (target == "boom")
            throw EDesignError("cannot drop onto boom");
        const bool changed = Item()->property("Caption").toString() != target;
        Item()->setProperty("Caption", target);
        return changed;
    }
    static bool PaletteOverTo(TSprig *AParent, TComponentClass) { return Is<TKeyedSprig>(AParent); }
    static inline int drops = 0;
};

QStringList namesOf(const TSprig &Node)
{
    QStringList names;
    for (TSprig *child : Node.Children())
        names << child->Name();
    return names;
}

TEST(SprigsTest, treeOperations)
{
    TTestBase a("A"), b("B"), c("C");
    TRootSprig root(nullptr);
    TSprig *na = root.Add(new TComponentSprig(&a));
    TSprig *nb = root.Add(new TComponentSprig(&b));
    TSprig *nc = na->Add(new TFollowerSprig(&c));

    EXPECT_EQ(namesOf(root), QStringList({"A", "B"})) << "children in order of Add";
    EXPECT_EQ(nc->Parent(), na);
    EXPECT_EQ(nc->Root(), &root) << "the root reaches added nodes";
    EXPECT_EQ(root.Find("c", false), nullptr) << "no recursion: direct children only";
    EXPECT_EQ(root.Find("c"), nc) << "recursive, ignoring case";
    EXPECT_EQ(root.FindItem(&c), nc);

    nb->Add(nc); // a move, as a drop does
    EXPECT_EQ(na->Count(), 0) << "taken from its former parent";
    EXPECT_EQ(nc->Parent(), nb);
    EXPECT_THROW(nc->Add(nb), EDesignError) << "a node cannot go below itself";
    EXPECT_THROW(nb->Add(nb), EDesignError);

    TTestBase d("D");
    nb->Add(new TFollowerSprig(&d));
    TFollowerSprig::order.clear();
    nb->ReparentChildren();
    EXPECT_EQ(TFollowerSprig::order, QStringList({"D", "C"})) << "each child, last first";

    delete nc;
    EXPECT_EQ(namesOf(*nb), QStringList({"D"})) << "a freed node leaves its parent";
}

TEST(SprigsTest, namesAndCaptions)
{
    TTestBase a("Table1");
    TComponentSprig node(&a);
    TTransientSprig transient(nullptr);

    EXPECT_EQ(node.Name(), "Table1") << "Name defaults to UniqueName, the component's Name";
    EXPECT_EQ(node.ItemClass(), &TTestBase::staticMetaObject);
    EXPECT_EQ(node.Caption(), "Table1");
    EXPECT_FALSE(node.Transient());
    EXPECT_EQ(transient.UniqueName(), "<TTransientSprig>");
    EXPECT_TRUE(transient.Transient());
    EXPECT_EQ(transient.ItemClass(), nullptr);

    EXPECT_EQ(TSprig::CaptionFor("mydb", "Unknown", ""), "Unknown: mydb");
    EXPECT_EQ(TSprig::CaptionFor("", "Query1", ""), "Query1");
    EXPECT_EQ(TSprig::CaptionFor("Same", "Same", "TX"), "Same");
    EXPECT_EQ(TSprig::CaptionFor("", "", "TOvSession"), "<TOvSession>");
}

TEST(SprigsTest, rootPlacesRegisteredNodesInPasses)
{
    registrations().clear();
    RegisterSprigType(&TTestLeaf::staticMetaObject, sprigClass<TFollowerSprig>());

    // Child1 names Parent1, which comes after it; Lost names nothing there.
    TTestLeaf child("Child1"), lost("Lost");
    TTestBase parent("Parent1");
    child.SetCaption("Parent1");
    lost.SetCaption("Nowhere");

    auto root = std::make_unique<TRootSprig>(nullptr);
    root->AddItems({&child, &parent, &lost});

    EXPECT_EQ(namesOf(*root), QStringList({"Parent1"})) << "unregistered class: at the root";
    TSprig *parentNode = root->Find("Parent1", false);
    ASSERT_NE(parentNode, nullptr);
    EXPECT_EQ(namesOf(*parentNode), QStringList({"Child1"}))
        << "placed in a later pass under a node placed after it";
    EXPECT_EQ(QString::fromLatin1(parentNode->Items(0)->metaObject()->className()),
              "TFollowerSprig")
        << "the registered node class";
    ASSERT_EQ(root->Orphans().size(), 1);
    TSprig *orphan = root->Orphans().front();
    EXPECT_EQ(orphan->Name(), "Lost") << "unplaced nodes stay with the root";

    parentNode->Add(orphan); // a later drop attaches it
    EXPECT_TRUE(root->Orphans().isEmpty()) << "no longer an orphan";

    TTestLeaf stray("Stray");
    stray.SetCaption("Nowhere");
    root->AddItems({&stray});
    ASSERT_EQ(root->Orphans().size(), 1);
    delete root->Orphans().front(); // the environment discards it
    EXPECT_TRUE(root->Orphans().isEmpty()) << "a freed orphan leaves the root's list";
    root.reset(); // frees every node once
    registrations().clear();
}

TEST(SprigsTest, placementIndependentOfComponentOrder)
{
    registrations().clear();
    // Parents' node type first, as a package registers them.
    RegisterSprigType(&TTestDerived::staticMetaObject, sprigClass<TKeyedSprig>());
    RegisterSprigType(&TTestLeaf::staticMetaObject, sprigClass<TChildSprig>());

    TTestLeaf child1("Child1"), child2("Child2"), child3("Child3");
    TTestDerived keyed("Keyed1");
    TTestOther namesake; // an unregistered component carrying the key as its name
    namesake.setObjectName("P");
    child1.SetCaption("P");
    child2.SetCaption("Q");
    child3.SetCaption("q");
    keyed.SetCaption("P");

    const auto text = [](TRootSprig &Root) {
        QStringList lines;
        for (TSprig *node : Root.Children()) {
            lines << node->Name() + ": " + namesOf(*node).join(' ');
            for (TSprig *child : node->Children())
                EXPECT_EQ(child->Root(), &Root);
        }
        return lines.join(" | ");
    };
    TRootSprig root(nullptr);
    root.AddItems({&child1, &child2, &namesake, &child3, &keyed});
    EXPECT_EQ(text(root), "P:  | P: Child1 | Q: Child2 Child3")
        << "children placed after every keyed node, whatever the component order; the "
           "namesake of another kind is passed over; one stand-in serves both Q and q";
    EXPECT_TRUE(root.Orphans().isEmpty());

    root.Rebuild();
    EXPECT_EQ(text(root), "P:  | P: Child1 | Q: Child2 Child3") << "a rebuild gives the same";

    keyed.SetCaption("Renamed");
    EXPECT_EQ(root.Find("Renamed", false), root.FindItem(&keyed))
        << "after a build, names are read afresh";
    root.Rebuild();
    EXPECT_EQ(text(root), "P:  | Renamed:  | P: Child1 | Q: Child2 Child3");
    registrations().clear();
}

TEST(SprigsTest, lookupsDuringABuildIgnoreCaseBeyondAscii)
{
    registrations().clear();
    RegisterSprigType(&TTestDerived::staticMetaObject, sprigClass<TKeyedSprig>());
    RegisterSprigType(&TTestLeaf::staticMetaObject, sprigClass<TChildSprig>());

    // Placement runs on the build's name index; outside a build Find compares
    // names one by one. Both must agree on what "equal ignoring case" means,
    // also for letters beyond ASCII and outside the basic plane.
    const QString deseretUpper = QString::fromUcs4(U"\U00010400x");
    const QString deseretLower = QString::fromUcs4(U"\U00010428X");
    TTestDerived umlaut("Umlaut"), deseret("Deseret"), plain("Plain");
    umlaut.SetCaption(QString::fromUtf8("ÄPFEL"));
    deseret.SetCaption(deseretUpper);
    plain.SetCaption("Straße");
    TTestLeaf a("A"), b("B"), c("C");
    a.SetCaption(QString::fromUtf8("äpfel"));
    b.SetCaption(deseretLower);
    c.SetCaption("STRASSE"); // no simple case folding makes these equal

    TRootSprig root(nullptr);
    root.AddItems({&a, &b, &c, &umlaut, &deseret, &plain});
    EXPECT_EQ(root.FindItem(&a)->Parent(), root.FindItem(&umlaut));
    EXPECT_EQ(root.FindItem(&b)->Parent(), root.FindItem(&deseret));
    EXPECT_TRUE(Is<TStandInSprig>(root.FindItem(&c)->Parent()));
    EXPECT_EQ(root.Find(deseretLower, false), root.FindItem(&deseret))
        << "the same outside a build";
    EXPECT_EQ(root.Find("strasse", false), root.FindItem(&c)->Parent());
    registrations().clear();
}

// Goes under the node of its Buddy component, found by item.
class TBuddySprig : public TComponentSprig
{
    Q_OBJECT

public:
    using TComponentSprig::TComponentSprig;
    void FigureParent() override
    {
        if (TSprig *parent = Root()->FindItem(Item()->property("Buddy").value<QObject *>()))
            parent->Add(this);
    }
};

TEST(SprigsTest, findItemDuringABuild)
{
    registrations().clear();
    RegisterSprigType(&TTestDerived::staticMetaObject, sprigClass<TKeyedSprig>());
    RegisterSprigType(&TTestLeaf::staticMetaObject, sprigClass<TBuddySprig>());

    TTestDerived keyed("Keyed"), later("Later");
    TTestLeaf first("First"), second("Second"), third("Third"), lonely("Lonely");
    keyed.SetCaption("K");
    first.SetBuddy(&keyed);
    second.SetBuddy(&first); // a node of its own kind, placed in the same pass
    third.SetBuddy(&later);  // a component of the next build
    lonely.SetBuddy(&lonely);

    TRootSprig root(nullptr);
    root.AddItems({&second, &third, &first, &keyed, &lonely});
    EXPECT_EQ(root.FindItem(&first)->Parent(), root.FindItem(&keyed));
    EXPECT_EQ(root.FindItem(&second)->Parent(), root.FindItem(&first)) << "found in a later pass";
    EXPECT_EQ(root.Orphans().size(), 2) << "a buddy with no node, and one's own node unplaced";

    TTestLeaf fourth("Fourth");
    fourth.SetBuddy(&second);
    later.SetCaption("L");
    root.AddItems({&fourth, &later});
    EXPECT_EQ(root.FindItem(&fourth)->Parent(), root.FindItem(&second))
        << "a node of an earlier build is found as well";
    EXPECT_EQ(root.FindItem(&third), nullptr) << "an orphan is not in the tree";
    registrations().clear();
}

TEST(SprigsTest, dragAndDropProtocol)
{
    registrations().clear();
    RegisterSprigType(&TTestDerived::staticMetaObject, sprigClass<TKeyedSprig>());
    RegisterSprigType(&TTestLeaf::staticMetaObject, sprigClass<TChildSprig>());

    TTestLeaf child("Child");
    TTestDerived p("KeyedP"), q("KeyedQ"), boom("KeyedBoom"), unnamed("Unnamed");
    auto other = std::make_unique<TTestOther>();
    other->setObjectName("Other");
    child.SetCaption("P");
    p.SetCaption("P");
    q.SetCaption("Q");
    boom.SetCaption("boom");
    auto designer = std::make_shared<CountingDesigner>();
    TRootSprig root(nullptr, designer);
    root.AddItems({&child, &p, &q, &boom, &unnamed, other.get()});
    EXPECT_TRUE(root.FindItem(&unnamed)->AnyProblems());
    EXPECT_TRUE(root.ProblemsBelow()) << "the unnamed keyed node";
    EXPECT_FALSE(root.FindItem(&p)->ProblemsBelow());

    TChildSprig::drops = 0;
    EXPECT_FALSE(root.DragOver(root.FindItem(&child), root.FindItem(other.get())));
    EXPECT_FALSE(root.DragDrop(root.FindItem(&child), root.FindItem(other.get())));
    EXPECT_FALSE(root.DragDrop(root.FindItem(&child), nullptr));
    EXPECT_EQ(TChildSprig::drops, 0) << "no drop where DragOver refuses";

    EXPECT_FALSE(root.DragDrop(root.FindItem(&child), root.FindItem(&p)));
    EXPECT_EQ(TChildSprig::drops, 1);
    EXPECT_EQ(designer->modified, 0) << "no change: not modified";

    EXPECT_TRUE(root.DragDrop(root.FindItem(&child), root.FindItem(&q)));
    EXPECT_EQ(designer->modified, 1) << "a change is told to the designer";
    EXPECT_EQ(root.FindItem(&child)->Parent(), root.FindItem(&q)) << "and the tree rebuilt";

    EXPECT_THROW(root.DragDrop(root.FindItem(&child), root.FindItem(&boom)), EDesignError);
    EXPECT_EQ(designer->modified, 1);
    EXPECT_EQ(root.FindItem(&child)->Parent(), root.FindItem(&q)) << "the tree still whole";

    TTestLeaf bad("Bad");
    bad.SetCaption("raise");
    EXPECT_THROW(root.AddItems({&bad}), EDesignError) << "a node that cannot place itself";
    EXPECT_EQ(root.FindItem(&bad), nullptr);
    EXPECT_EQ(root.FindItem(&child)->Parent(), root.FindItem(&q)) << "the rest stays";
    bad.SetCaption("P");
    root.Rebuild();
    EXPECT_EQ(root.FindItem(&bad)->Parent(), root.FindItem(&p)) << "remembered for a rebuild";

    other.reset(); // a component freed since the last build
    root.Rebuild();
    EXPECT_EQ(root.FindItem(other.get()), nullptr);
    EXPECT_EQ(root.Count(), 4);

    EXPECT_TRUE(root.PaletteOver(root.FindItem(&p), &TTestLeaf::staticMetaObject))
        << "the registered node class answers";
    EXPECT_FALSE(root.PaletteOver(root.FindItem(&child), &TTestLeaf::staticMetaObject));
    EXPECT_FALSE(root.PaletteOver(root.FindItem(&p), &TTestOther::staticMetaObject))
        << "no node class registered: no";
    registrations().clear();
}

// A module owning a keyed component "P", with the keyed and child node
// classes registered.
class KeyedModule : public ::testing::Test
{
protected:
    void SetUp() override
    {
        registrations().clear();
        RegisterSprigType(&TTestDerived::staticMetaObject, sprigClass<TKeyedSprig>());
        RegisterSprigType(&TTestLeaf::staticMetaObject, sprigClass<TChildSprig>());
        keyed->SetCaption("P");
    }
    void TearDown() override { registrations().clear(); }

    QObject module;
    TTestDerived *keyed = new TTestDerived("Keyed1", &module);
};

// A rebuild keeps the node of every component that still exists (the view
// may hold it) and frees every other node: those of freed components, of
// components that left the module, transient ones and ones added by hand.
TEST_F(KeyedModule, rebuildKeepsTheNodesOfLiveComponentsOnly)
{
    auto *leaf = new TTestLeaf("Leaf1", &module);
    leaf->SetCaption("P");
    auto *stray = new TTestLeaf("Stray", &module);
    stray->SetCaption("Q"); // under a stand-in of its own
    auto *leaving = new TTestBase("Leaving", &module);
    TTestBase outside("Outside"); // not owned by the module

    TRootSprig root(&module);
    QList<QObject *> components = module.children();
    components << &outside;
    root.AddItems(components);
    TSprig *keyedNode = root.FindItem(keyed);
    TSprig *leafNode = root.FindItem(leaf);
    ASSERT_NE(keyedNode, nullptr);
    ASSERT_EQ(leafNode->Parent(), keyedNode);
    QPointer<TSprig> standIn = root.Find("Q", false);
    ASSERT_NE(standIn, nullptr);
    QPointer<TSprig> byHand = keyedNode->Add(new TTransientSprig(nullptr));
    QPointer<TSprig> strayNode = root.FindItem(stray);

    delete stray;
    std::unique_ptr<TTestBase> gone(leaving);
    leaving->setParent(nullptr);
    root.Rebuild();

    EXPECT_EQ(root.FindItem(keyed), keyedNode) << "the same node, placed again";
    EXPECT_EQ(root.FindItem(leaf), leafNode);
    EXPECT_EQ(leafNode->Parent(), keyedNode);
    EXPECT_TRUE(strayNode.isNull()) << "the node of a freed component is freed";
    EXPECT_TRUE(standIn.isNull()) << "transient nodes are made anew, and none is needed";
    EXPECT_TRUE(byHand.isNull()) << "a node added by hand is freed too";
    EXPECT_EQ(root.FindItem(leaving), nullptr) << "a component given another owner left the module";
    EXPECT_NE(root.FindItem(&outside), nullptr) << "a component the module does not own stays";

    // A node taken into another tree belongs to that tree from then on.
    TRootSprig other(nullptr);
    other.Add(leafNode);
    root.Rebuild();
    EXPECT_EQ(leafNode->Root(), &other);
    EXPECT_EQ(leafNode->Parent(), &other) << "the first tree's rebuild left it alone";
    EXPECT_NE(root.FindItem(leaf), nullptr) << "the first tree made itself a new node";
    EXPECT_NE(root.FindItem(leaf), leafNode);
}

// A component freed and another made at the same address, of another class:
// the new one gets the node its own class calls for, and only one.
TEST_F(KeyedModule, aFreedComponentsAddressUsedAgain)
{
    alignas(std::max_align_t) unsigned char storage[std::max(sizeof(TTestLeaf), sizeof(TTestOther))];
    auto *first = new (storage) TTestLeaf("First", &module);
    first->SetCaption("P");
    TRootSprig root(&module);
    root.AddItems(module.children());
    ASSERT_EQ(root.FindItem(first)->Parent(), root.FindItem(keyed));

    first->~TTestLeaf();
    auto *second = new (storage) TTestOther;
    second->setObjectName("Second");
    second->setParent(&module);
    ASSERT_EQ(static_cast<QObject *>(second), static_cast<QObject *>(static_cast<void *>(storage)));
    root.AddItems({second});
    root.Rebuild();

    int nodes = 0;
    const std::function<void(TSprig *)> count = [&](TSprig *Node) {
        for (TSprig *child : Node->Children()) {
            nodes += child->Item() == second;
            count(child);
        }
    };
    count(&root);
    EXPECT_EQ(nodes, 1);
    TSprig *node = root.FindItem(second);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->metaObject(), &TComponentSprig::staticMetaObject)
        << "not the node of the class that lived there before";
    EXPECT_EQ(node->Parent(), &root);
    EXPECT_EQ(node->ItemClass(), &TTestOther::staticMetaObject);
    second->~TTestOther();
}

// A module of many component classes: each component still gets the node
// class registered for its class.
TEST_F(KeyedModule, manyComponentClassesInOneModule)
{
    // Unregistered classes between, so the classes seen grow past a dozen.
    new QTimer(&module);
    new QEventLoop(&module);
    (new QMimeData)->setParent(&module);
    new QTranslator(&module);
    new QStringListModel(&module);
    new QStandardItemModel(&module);
    new QSortFilterProxyModel(&module);
    new QIdentityProxyModel(&module);
    new QItemSelectionModel(nullptr, &module);
    new QTextDocument(&module);
    new TTestBase("Base1", &module);
    (new TTestOther)->setParent(&module);
    auto *leaf = new TTestLeaf("Leaf1", &module);
    leaf->SetCaption("P");

    TRootSprig root(&module);
    root.AddItems(module.children());
    EXPECT_EQ(root.FindItem(keyed)->metaObject(), &TKeyedSprig::staticMetaObject);
    EXPECT_EQ(root.FindItem(leaf)->metaObject(), &TChildSprig::staticMetaObject);
    EXPECT_EQ(root.FindItem(leaf)->Parent(), root.FindItem(keyed));
    EXPECT_EQ(root.Count(), 13) << "the keyed node and the twelve other components";
}

// The components with a node anywhere in the tree or among the orphans.
QStringList componentsWithNodes(const TSprig &Node)
{
    QStringList names;
    for (TSprig *child : Node.Children()) {
        if (child->Item())
            names << child->Item()->objectName();
        names << componentsWithNodes(*child);
    }
    return names;
}

QStringList componentsWithNodes(const TRootSprig &Root)
{
    QStringList names = componentsWithNodes(static_cast<const TSprig &>(Root));
    for (TSprig *orphan : Root.Orphans())
        names << orphan->Item()->objectName();
    names.sort();
    return names;
}

// Deletions one at a time, a rebuild after each: exactly the survivors keep
// nodes. A node class registered again for a class is the one the next
// rebuild uses.
TEST_F(KeyedModule, deletionsAndANewNodeClassBetweenRebuilds)
{
    auto *a = new TTestLeaf("A", &module);
    auto *b = new TTestLeaf("B", &module);
    auto *c = new TTestLeaf("C", &module);
    for (TTestLeaf *leaf : {a, b, c})
        leaf->SetCaption("P");
    TRootSprig root(&module);
    root.AddItems(module.children());
    ASSERT_EQ(componentsWithNodes(root), QStringList({"A", "B", "C", "Keyed1"}));

    delete b;
    root.Rebuild();
    EXPECT_EQ(componentsWithNodes(root), QStringList({"A", "C", "Keyed1"}));
    delete a;
    root.Rebuild();
    EXPECT_EQ(componentsWithNodes(root), QStringList({"C", "Keyed1"}));
    EXPECT_EQ(root.FindItem(c)->Parent(), root.FindItem(keyed));

    RegisterSprigType(&TTestLeaf::staticMetaObject, sprigClass<TFollowerSprig>());
    root.Rebuild();
    EXPECT_EQ(root.FindItem(c)->metaObject(), &TFollowerSprig::staticMetaObject)
        << "the class registered last";
    EXPECT_EQ(root.FindItem(c)->Parent(), root.FindItem(keyed)) << "placed by the new class";
    EXPECT_EQ(componentsWithNodes(root), QStringList({"C", "Keyed1"}));
}

// Names are found ignoring case for every letter of the alphabet, while the
// tree builds and afterwards: "zoo" lands under "ZOO".
TEST_F(KeyedModule, everyLetterIgnoresItsCase)
{
    QList<TTestLeaf *> leaves;
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        const QString name = QString(QChar(letter)) + "oo";
        (new TTestDerived("Keyed_" + name, &module))->SetCaption(name.toUpper());
        leaves << new TTestLeaf("Leaf_" + name, &module);
        leaves.last()->SetCaption(name);
    }
    TRootSprig root(&module);
    root.AddItems(module.children());
    for (TTestLeaf *leaf : std::as_const(leaves)) {
        const QString name = leaf->Caption();
        TSprig *parent = root.FindItem(leaf)->Parent();
        ASSERT_TRUE(parent) << name.toStdString();
        EXPECT_EQ(parent->Name(), name.toUpper()) << name.toStdString();
        EXPECT_EQ(root.Find(name, false), parent) << "outside a build: " << name.toStdString();
    }
}

} // namespace

#include "SprigsTest.moc"
