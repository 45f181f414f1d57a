// The structure view: the demo's node tree as a person sees it, selection in
// step with the designer, rebuilds that keep what the person arranged, and
// drag and drop through the nodes.
#include "StructurePane.h"
#include "PalettePane.h"
#include "PaneTestSupport.h"

#include "designide/Sprigs.h"

#include "orvlib/OvCatalogueCache.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDriver.h"
#include "orvlib/OvSession.h"

#include "rtl/UiServices.h"

#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The tree as text, one row a line, indented by depth; a flagged row ends in
// " !", a collapsed branch in " +".
void dump(const TStructurePane &Pane, const QModelIndex &Index, int Depth, QStringList &Out)
{
    const TStructureModel *m = Pane.model();
    QString line = QString(Depth * 2, u' ') + Index.data().toString();
    if (Index.data(TStructureModel::ProblemRole).toBool())
        line += " !";
    if (m->rowCount(Index) > 0 && !Pane.view()->isExpanded(Index))
        line += " +";
    Out << line;
    for (int r = 0; r < m->rowCount(Index); ++r)
        dump(Pane, m->index(r, 0, Index), Depth + 1, Out);
}

QStringList dump(const TStructurePane &Pane)
{
    QStringList out;
    if (Pane.model()->rowCount() > 0)
        dump(Pane, Pane.model()->index(0, 0), 0, out);
    return out;
}

template<class T>
T *child(const TFormDesignerPtr &Designer, const char *Name)
{
    return Designer->Root()->findChild<T *>(QLatin1String(Name));
}

} // namespace

class StructurePaneTest : public PaneFixture
{
protected:
    void SetUp() override
    {
        PaneFixture::SetUp();
        designer = openDemo();
        pane.resize(360, 420);
        pane.setDesigner(designer);
        pane.show();
    }

    QModelIndex indexOf(QObject *Component) const
    {
        return pane.model()->indexOf(pane.model()->sprigOfItem(Component));
    }
    TSprig *nodeOf(QObject *Component) const { return pane.model()->sprigOfItem(Component); }

    // Drags Dragged over Target and lets it go there, as the view receives a
    // drag: the move decides whether the drop is offered at all.
    bool dragOnto(const QMimeData &Data, QObject *Target)
    {
        return dragOnto(Data, indexOf(Target));
    }
    bool dragOnto(const QMimeData &Data, const QModelIndex &target)
    {
        QWidget *viewport = pane.view()->viewport();
        pane.view()->scrollTo(target);
        const QPoint at = pane.view()->visualRect(target).center();
        QDragEnterEvent enter(at, Qt::MoveAction, &Data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &enter);
        QDragMoveEvent move(at, Qt::MoveAction, &Data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
        if (!move.isAccepted())
            return false;
        QDropEvent drop(at, Qt::MoveAction, &Data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &drop);
        return drop.isAccepted();
    }

    TFormDesignerPtr designer;
    TStructurePane pane;
};

// The demo as nodes: the root, its components without a node class of their
// own, the default session with the database and its datasets; captions from
// the nodes, one line each; a component that lacks a setting is marked, with
// a tooltip that says so, and so are the branches above it.
TEST_F(StructurePaneTest, TheDemoAsATreeWithProblemMarks)
{
    EXPECT_EQ(dump(pane), (QStringList{
                              "DemoData",
                              "  dsCustomer",
                              "  scrArchive",
                              "  Monitor",
                              "  OvSession: Default",
                              "    Demo: SQLite | demo.db",
                              "      tCustomer: Customer",
                              "      tCustomerOrders: Orders",
                              "      qOrders: select CustNo, OrderNo, OrderDate, Amount, "
                              "InvoiceCode...",
                              "      qTotals: select CustNo, Name as CustomerName, OrderCount, "
                              "Total...",
                              "      spRecalcTotals: RecalcTotals",
                              "  usOrders",
                          }));

    // A query without SQL or database, and a database whose session is not
    // in the module.
    auto *bare = new TOvQuery(designer->Root());
    bare->setObjectName("qBare");
    auto *lost = new TOvDatabase(designer->Root());
    lost->setObjectName("Lost");
    lost->SetDatabaseName("LostDB");
    lost->SetSessionName("NoSuchSession");
    designer->notifyComponentsChanged();

    const QModelIndex bareRow = indexOf(bare);
    ASSERT_TRUE(bareRow.isValid());
    EXPECT_TRUE(bareRow.data(TStructureModel::ProblemRole).toBool());
    EXPECT_FALSE(bareRow.data(Qt::DecorationRole).value<QIcon>().isNull()) << "a marker icon";
    EXPECT_EQ(bareRow.data(Qt::ForegroundRole).value<QColor>(), QColor(170, 0, 0));
    EXPECT_TRUE(bareRow.data(Qt::ToolTipRole).toString().contains("Incomplete"));
    const QModelIndex implied = bareRow.parent();
    EXPECT_TRUE(implied.data(TStructureModel::ProblemRole).toBool())
        << "the implied database of an empty name is flagged too";
    EXPECT_TRUE(pane.model()->problemsBelow(pane.model()->sprigOf(implied.parent())));
    EXPECT_TRUE(implied.parent().data(Qt::ToolTipRole).toString().contains("below is incomplete"))
        << "the session row tells of the problem below it";

    const QModelIndex lostRow = indexOf(lost);
    ASSERT_TRUE(lostRow.isValid()) << "an unattached node is still shown";
    EXPECT_EQ(lostRow.parent(), pane.model()->index(0, 0)) << "at the root";
    EXPECT_TRUE(lostRow.data(TStructureModel::ProblemRole).toBool());
    EXPECT_TRUE(lostRow.data(Qt::ToolTipRole)
                    .toString()
                    .contains("Not attached: SessionName \"NoSuchSession\" names no session"))
        << "the node's own reason";
    EXPECT_TRUE(bareRow.data(Qt::ToolTipRole).toString().contains("DatabaseName is empty"));

    const QModelIndex good = indexOf(child<TOvQuery>(designer, "qOrders"));
    EXPECT_FALSE(good.data(TStructureModel::ProblemRole).toBool());
    EXPECT_FALSE(pane.model()->problemsBelow(pane.model()->sprigOf(good)));

    screenshot(&pane, "structure_view");
}

// A selection on either side shows on the other: the designer's selection
// selects the rows of its components, and a click (Ctrl adds) selects the
// components; a row without a component (a transient node) selects nothing.
TEST_F(StructurePaneTest, SelectionInStepBothWays)
{
    auto *orders = child<TOvQuery>(designer, "qOrders");
    auto *customer = child<TOvTable>(designer, "tCustomer");
    designer->select({orders});
    EXPECT_EQ(pane.view()->selectionModel()->selectedRows(), QModelIndexList{indexOf(orders)});
    EXPECT_EQ(pane.view()->currentIndex(), indexOf(orders));

    QSignalSpy changed(designer.get(), &TFormDesigner::selectionChanged);
    QWidget *viewport = pane.view()->viewport();
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier,
                      pane.view()->visualRect(indexOf(customer)).center());
    EXPECT_EQ(designer->selection(), QList<QObject *>{customer});
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier,
                      pane.view()->visualRect(indexOf(orders)).center());
    EXPECT_EQ(designer->selection().size(), 2);
    EXPECT_TRUE(designer->selection().contains(orders));
    EXPECT_GE(changed.count(), 2);

    const QModelIndex session = indexOf(child<TOvDatabase>(designer, "Demo")).parent();
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier,
                      pane.view()->visualRect(session).center());
    EXPECT_TRUE(designer->selection().isEmpty()) << "the default session is no component";

    designer->select({});
    EXPECT_TRUE(pane.view()->selectionModel()->selectedRows().isEmpty());
}

// Every change rebuilds the tree from the components; branches the person
// collapsed stay collapsed, new branches open, the selection stays, renamed
// and deleted components show at once.
TEST_F(StructurePaneTest, RebuildsKeepCollapsedBranchesAndSelection)
{
    auto *demo = child<TOvDatabase>(designer, "Demo");
    auto *orders = child<TOvQuery>(designer, "qOrders");
    designer->select({orders});
    pane.view()->collapse(indexOf(demo)); // after the selection: that reveals its row
    const int before = pane.model()->build();

    orders->SQL()->SetText("select * from Customer");
    designer->Modified();
    EXPECT_GT(pane.model()->build(), before) << "a value change rebuilds";
    EXPECT_EQ(indexOf(orders).data().toString(), "qOrders: select * from Customer");
    EXPECT_FALSE(pane.view()->isExpanded(indexOf(demo))) << "still collapsed";
    EXPECT_EQ(pane.view()->selectionModel()->selectedRows(), QModelIndexList{indexOf(orders)});

    // A new database with a dataset: its branch opens.
    auto *other = new TOvDatabase(designer->Root());
    other->setObjectName("Other");
    other->SetDatabaseName("OtherDB");
    auto *table = new TOvTable(designer->Root());
    table->setObjectName("tOther");
    table->SetDatabaseName("OtherDB");
    table->SetTableName("T");
    designer->notifyComponentsChanged();
    EXPECT_TRUE(pane.view()->isExpanded(indexOf(other)));
    EXPECT_EQ(indexOf(table).parent(), indexOf(other));
    EXPECT_FALSE(pane.view()->isExpanded(indexOf(demo)));

    pane.view()->expand(indexOf(demo));
    designer->Modified();
    EXPECT_TRUE(pane.view()->isExpanded(indexOf(demo))) << "opened again, stays open";

    // A value change that moves a dataset under a database no component
    // provides: its new branch opens; the default session (a node without a
    // component) collapsed before stays collapsed; the view does not jump.
    pane.resize(360, 120);
    pane.view()->scrollToBottom();
    const int scrolled = pane.view()->verticalScrollBar()->value();
    ASSERT_GT(scrolled, 0);
    pane.view()->collapse(indexOf(demo).parent());
    table->SetDatabaseName("Nowhere");
    designer->Modified();
    const QModelIndex nowhere = indexOf(table).parent();
    EXPECT_EQ(nowhere.data().toString(), "Unknown: Nowhere");
    EXPECT_FALSE(pane.view()->isExpanded(indexOf(demo).parent()));
    pane.view()->expand(indexOf(demo).parent());
    pane.view()->scrollTo(nowhere);
    EXPECT_TRUE(pane.view()->isExpanded(nowhere)) << "opened as it is shown";
    pane.view()->scrollToBottom();
    const int bottom = pane.view()->verticalScrollBar()->value();
    designer->Modified();
    EXPECT_EQ(pane.view()->verticalScrollBar()->value(), bottom) << "the view stays where it was";
    EXPECT_EQ(pane.view()->selectionModel()->selectedRows(), QModelIndexList{indexOf(orders)});
    table->SetDatabaseName("OtherDB");
    designer->Modified();

    table->setObjectName("tRenamed");
    delete orders;
    designer->notifyComponentsChanged();
    EXPECT_EQ(indexOf(table).data().toString(), "tRenamed: T");
    EXPECT_FALSE(dump(pane).join('\n').contains("qOrders"));
    EXPECT_TRUE(designer->selection().isEmpty());
    EXPECT_TRUE(pane.view()->selectionModel()->selectedRows().isEmpty());

    pane.setDesigner(nullptr);
    EXPECT_EQ(pane.model()->rowCount(), 0) << "no module, no tree";
}

// A rebuild changes the model in place: a value change that moves nothing
// announces no rows, a moved dataset leaves one list and enters another,
// the other rows stay as they were, and a mark that changes is told.
TEST_F(StructurePaneTest, ARebuildAnnouncesOnlyWhatChanged)
{
    auto *orders = child<TOvQuery>(designer, "qOrders");
    auto *customer = child<TOvTable>(designer, "tCustomer");
    const QPersistentModelIndex kept(indexOf(customer));
    QSignalSpy resets(pane.model(), &QAbstractItemModel::modelReset);
    QSignalSpy removed(pane.model(), &QAbstractItemModel::rowsRemoved);
    QSignalSpy inserted(pane.model(), &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(pane.model(), &QAbstractItemModel::dataChanged);

    designer->Modified();
    EXPECT_EQ(resets.count() + removed.count() + inserted.count() + changed.count(), 0)
        << "nothing moved, no mark changed";

    orders->SetDatabaseName("Elsewhere");
    designer->Modified();
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(removed.count(), 1) << "the query left its database";
    EXPECT_EQ(inserted.count(), 1) << "the database it names now came, with it";
    EXPECT_EQ(indexOf(orders).parent().data().toString(), "Unknown: Elsewhere");
    EXPECT_EQ(QModelIndex(kept), indexOf(customer)) << "the other rows stayed";

    customer->SetTableName("");
    designer->Modified();
    ASSERT_FALSE(changed.isEmpty());
    EXPECT_EQ(changed.first().at(0).value<QModelIndex>(), indexOf(customer))
        << "its mark changed first, before the branches above it";
    EXPECT_TRUE(indexOf(customer).data(TStructureModel::ProblemRole).toBool());
}

// A branch opens when its row is first shown: a module of hundreds of
// branches lays out the rows in view; scrolling opens the others, and a
// component selected elsewhere is shown in view although the rows above it
// opened as the view went there.
TEST_F(StructurePaneTest, BranchesOpenAsTheyAreShown)
{
    QList<QObject *> tables;
    for (int i = 0; i < 300; ++i) {
        auto *t = new TOvTable(designer->Root());
        t->setObjectName(QString("tMany%1").arg(i));
        t->SetDatabaseName(QString("Many%1").arg(i, 3, 10, QChar('0')));
        t->SetTableName("T");
        tables << t;
    }
    designer->notifyComponentsChanged();
    const QModelIndex last = indexOf(tables.last()).parent();
    EXPECT_FALSE(pane.view()->isExpanded(last)) << "far below the rows shown";
    EXPECT_TRUE(pane.view()->isExpanded(indexOf(child<TOvDatabase>(designer, "Demo"))));

    designer->select({tables[150]});
    const QRect shown = pane.view()->visualRect(indexOf(tables[150]));
    EXPECT_TRUE(pane.view()->viewport()->rect().contains(shown)) << "in view, opened above";

    pane.view()->scrollTo(last);
    EXPECT_TRUE(pane.view()->isExpanded(last)) << "opened as it came into view";
    EXPECT_TRUE(pane.view()->isExpanded(indexOf(tables[150]).parent()));
}

// Drag and drop asks the dragged node: a dataset goes onto a database, not
// onto a session; the drop rewrites its names, marks the module modified
// and shows the dataset in its new place. A drag from before a rebuild
// names no node any more.
TEST_F(StructurePaneTest, DragAndDropThroughTheNodes)
{
    auto *orders = child<TOvQuery>(designer, "qOrders");
    auto *other = new TOvDatabase(designer->Root());
    other->setObjectName("Other");
    other->SetDatabaseName("OtherDB");
    auto *session = new TOvSession(designer->Root());
    session->setObjectName("Sess");
    session->SetSessionName("S2");
    designer->notifyComponentsChanged();
    designer->setModified(false);

    std::unique_ptr<QMimeData> data(pane.model()->mimeDataFor(nodeOf(orders)));
    EXPECT_FALSE(dragOnto(*data, session)) << "a dataset does not go onto a session";
    EXPECT_EQ(orders->DatabaseName(), "Demo");
    EXPECT_FALSE(designer->isModified());

    const QModelIndex source = indexOf(orders);
    pane.view()->setCurrentIndex(source);
    EXPECT_TRUE(dragOnto(*data, other));
    EXPECT_EQ(orders->DatabaseName(), "OtherDB");
    EXPECT_TRUE(designer->isModified());
    EXPECT_EQ(indexOf(orders).parent(), indexOf(other)) << "shown under its new database";

    EXPECT_EQ(pane.model()->sprigFromMimeData(data.get()), nullptr)
        << "the tree was rebuilt: the old drag names no node";
    EXPECT_FALSE(dragOnto(*data, child<TOvDatabase>(designer, "Demo")));
    EXPECT_EQ(orders->DatabaseName(), "OtherDB");

    // The database goes onto the new session, and its datasets with it.
    data.reset(pane.model()->mimeDataFor(nodeOf(other)));
    EXPECT_TRUE(dragOnto(*data, session));
    EXPECT_EQ(other->SessionName(), "S2");
    EXPECT_EQ(orders->SessionName(), "S2") << "re-parented with its database";
    EXPECT_EQ(indexOf(other).parent(), indexOf(session));

    // A palette class goes where its node class says.
    EXPECT_TRUE(pane.model()->canDropClass(&TOvQuery::staticMetaObject, nodeOf(other)));
    EXPECT_FALSE(pane.model()->canDropClass(&TOvQuery::staticMetaObject, nodeOf(session)));
    QMimeData fromPalette;
    fromPalette.setData(ComponentClassMimeType, "TOvQuery");
    EXPECT_FALSE(dragOnto(fromPalette, session));
    EXPECT_TRUE(dragOnto(fromPalette, other));
    auto *added = qobject_cast<TOvQuery *>(designer->selection().value(0));
    ASSERT_TRUE(added) << "the new component is selected";
    EXPECT_EQ(added->objectName(), "OvQuery1");
    EXPECT_EQ(added->DatabaseName(), "OtherDB") << "it took the target's names";
    EXPECT_EQ(added->SessionName(), "S2");
    EXPECT_EQ(indexOf(added).parent(), indexOf(other));

    // Onto a database that only datasets name (a node without a component).
    auto *ghost = new TOvTable(designer->Root());
    ghost->setObjectName("tGhost");
    ghost->SetDatabaseName("Ghost/DB");
    designer->notifyComponentsChanged();
    fromPalette.setData(ComponentClassMimeType, "TOvTable");
    EXPECT_TRUE(dragOnto(fromPalette, indexOf(ghost).parent()));
    auto *table = qobject_cast<TOvTable *>(designer->selection().value(0));
    ASSERT_TRUE(table);
    EXPECT_EQ(table->DatabaseName(), "Ghost/DB");
    EXPECT_EQ(indexOf(table).parent(), indexOf(ghost).parent()) << "beside the other one";
}

// The nodes are objects of the package's classes: unloading it lets go of
// them while its code is still there (the view stays usable), and loading it
// again brings its nodes back.
TEST_F(StructurePaneTest, FollowsThePackageOutAndIn)
{
    const QStringList loaded = dump(pane);
    unloadPackage(package);
    EXPECT_FALSE(dump(pane).join('\n').contains("OvSession")) << "no package nodes left";
    EXPECT_EQ(dump(pane).value(0), "DemoData");
    pane.view()->grab(); // paints what is left
    package = loadPackage(QStringLiteral(OV_PACKAGE_FILE));
    EXPECT_EQ(dump(pane), loaded);
}

// The model makes the rows below a branch when they are first asked for: a
// component is found with the rows on its way, a branch never opened tells
// whether it has nodes without making them, and a rebuild that takes its
// last node away (or brings its first) has the view lay it out again.
TEST_F(StructurePaneTest, RowsBelowABranchAreMadeWhenAskedFor)
{
    TStructureModel model;
    model.setDesigner(designer);
    const QModelIndex orders = model.indexOf(model.sprigOfItem(child<TOvQuery>(designer, "qOrders")));
    ASSERT_TRUE(orders.isValid());
    EXPECT_EQ(orders.parent().parent().data().toString(), "OvSession: Default");
    EXPECT_EQ(model.index(orders.row(), 0, orders.parent()), orders);

    auto *session = new TOvSession(designer->Root());
    session->setObjectName("Second");
    session->SetSessionName("S2");
    auto *database = new TOvDatabase(designer->Root());
    database->setObjectName("Far");
    database->SetDatabaseName("FarDB");
    database->SetSessionName("S2");
    model.rebuildComponents();
    const QPersistentModelIndex second = model.indexOf(model.sprigOfItem(session));
    ASSERT_TRUE(second.isValid());
    EXPECT_TRUE(model.hasChildren(second));

    QSignalSpy layouts(&model, &QAbstractItemModel::layoutChanged);
    database->SetSessionName("Elsewhere");
    model.rebuild();
    EXPECT_EQ(layouts.count(), 1) << "the unopened branch lost its last node";
    EXPECT_FALSE(model.hasChildren(second));
    database->SetSessionName("S2");
    model.rebuild();
    EXPECT_EQ(layouts.count(), 2) << "and got it back";
    ASSERT_EQ(model.rowCount(second), 1);
    EXPECT_EQ(model.index(0, 0, second), model.indexOf(model.sprigOfItem(database)));
}

// A database's node offers Refresh Catalogue, enabled while it is connected:
// the lists its connection kept are forgotten. Other nodes offer nothing.
TEST_F(StructurePaneTest, RefreshCatalogueOnADatabaseNode)
{
    auto *db = child<TOvDatabase>(designer, "Demo");
    ASSERT_NE(db, nullptr);
    EXPECT_EQ(pane.contextMenuAt(indexOf(child<QObject>(designer, "qOrders"))), nullptr)
        << "a dataset has no such command";

    std::unique_ptr<QMenu> menu = pane.contextMenuAt(indexOf(db));
    ASSERT_NE(menu, nullptr);
    QAction *refresh = menu->findChild<QAction *>("refreshCatalogue");
    ASSERT_NE(refresh, nullptr);
    EXPECT_FALSE(refresh->isEnabled()) << "a closed connection keeps nothing";

    QTemporaryDir dir;
    db->SetRemoteDatabase(dir.filePath("refresh.db"));
    db->Params()->Add("CREATE=1");
    db->Open();
    db->Driver().TableNames(false);
    ASSERT_TRUE(db->Catalogue()->TableNamesReadAt(false).isValid()) << "the list is kept";
    menu = pane.contextMenuAt(indexOf(db));
    refresh = menu->findChild<QAction *>("refreshCatalogue");
    ASSERT_TRUE(refresh->isEnabled());
    refresh->trigger();
    EXPECT_FALSE(db->Catalogue()->TableNamesReadAt(false).isValid()) << "the list is forgotten";
    db->Close();
}
