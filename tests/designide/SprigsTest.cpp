#include "TestComponents.h"

#include "designide/DesignErrors.h"
#include "designide/Registrations.h"

#include <gtest/gtest.h>

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

} // namespace

#include "SprigsTest.moc"
