// Undo and redo in the main window as a person uses them: the keys from
// every pane, the steps named in the Edit menu, and an undo that gives back
// only what its step changed.
#include "GuiFixture.h"
#include "MainWindow.h"
#include "ModuleEditing.h"
#include "ModuleSurface.h"
#include "PropertiesPane.h"
#include "StructurePane.h"

#include "orvlib/DB.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"

#include <QAction>
#include <QMenu>
#include <QTest>
#include <QTreeView>

namespace {

class UndoRedoTest : public WindowTest
{
protected:
    QAction *undoAction() const { return window->action(QStringLiteral("actUndo")); }
    QAction *redoAction() const { return window->action(QStringLiteral("actRedo")); }
    void press(QWidget *Widget, int Key, Qt::KeyboardModifiers Modifiers)
    {
        Widget->setFocus();
        QTest::keyClick(Widget, Qt::Key(Key), Modifiers);
    }
};

} // namespace

// An open database and dataset stay open through undo and redo of steps
// that did not touch them; the selection stays; the keys work from the
// surface, the structure view and the Object Inspector.
TEST_F(UndoRedoTest, KeysFromEveryPaneAndOnlyTheStepUndone)
{
    ASSERT_TRUE(openDemo());
    const TFormDesignerPtr &d = window->designer();
    auto *demo = qobject_cast<TOvDatabase *>(component(QStringLiteral("Demo")));
    auto *orders = qobject_cast<TOvQuery *>(component(QStringLiteral("qOrders")));
    auto *customer = qobject_cast<TOvTable *>(component(QStringLiteral("tCustomer")));
    QObject *totals = component(QStringLiteral("qTotals"));
    ASSERT_TRUE(demo && orders && customer && totals);
    EXPECT_FALSE(undoAction()->isEnabled());
    EXPECT_EQ(undoAction()->text(), QStringLiteral("&Undo"));
    d->select({orders});
    ASSERT_TRUE(window->inspector()->commitValue(
        window->inspector()->itemModel().indexOf(QStringLiteral("Active")),
        QStringLiteral("True")));
    ASSERT_TRUE(orders->Active() && demo->Connected());
    EXPECT_FALSE(undoAction()->isEnabled()) << "opening is no design step";

    // A move on the surface, a value in the inspector.
    d->select({totals});
    const QPoint at = designPosition(totals);
    press(window->surface(), Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(designPosition(totals), at + QPoint(1, 0));
    EXPECT_EQ(undoAction()->text(), QStringLiteral("&Undo Move qTotals"));
    d->select({customer});
    ASSERT_TRUE(window->inspector()->commitValue(
        window->inspector()->itemModel().indexOf(QStringLiteral("TableName")),
        QStringLiteral("Orders")));
    EXPECT_EQ(undoAction()->text(), QStringLiteral("&Undo Set tCustomer.TableName"));

    // Ctrl+Z in the structure view, then in the inspector.
    press(window->structure()->view(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(customer->TableName(), QStringLiteral("Customer")) << "the value is back";
    EXPECT_EQ(component(QStringLiteral("tCustomer")), customer) << "the same object";
    EXPECT_TRUE(orders->Active()) << "a dataset the step did not touch stays open";
    EXPECT_TRUE(demo->Connected());
    EXPECT_EQ(d->selection(), QList<QObject *>{customer}) << "the selection stays";
    EXPECT_EQ(redoAction()->text(), QStringLiteral("&Redo Set tCustomer.TableName"));
    press(window->inspector()->view(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(designPosition(totals), at);
    EXPECT_FALSE(undoAction()->isEnabled());

    // Redo with both keys, from the surface.
    press(window->surface(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(designPosition(totals), at + QPoint(1, 0));
    press(window->surface(), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(customer->TableName(), QStringLiteral("Orders"));
    EXPECT_FALSE(redoAction()->isEnabled());
    EXPECT_TRUE(orders->Active());

    // A delete undone: the component is read back with the references the
    // module's others had to it, and selected; what stayed open stays open.
    d->select({customer});
    press(window->surface(), Qt::Key_Delete, {});
    EXPECT_EQ(component(QStringLiteral("tCustomer")), nullptr);
    auto *source = qobject_cast<TDataSource *>(component(QStringLiteral("dsCustomer")));
    EXPECT_EQ(source->DataSet(), nullptr);
    EXPECT_EQ(undoAction()->text(), QStringLiteral("&Undo Delete tCustomer"));
    window->undo();
    QObject *back = component(QStringLiteral("tCustomer"));
    ASSERT_TRUE(back);
    EXPECT_EQ(source->DataSet(), back) << "the source's reference is back";
    EXPECT_EQ(qobject_cast<TOvTable *>(back)->TableName(), QStringLiteral("Orders"));
    EXPECT_EQ(d->selection(), QList<QObject *>{back});
    EXPECT_TRUE(orders->Active());
    EXPECT_TRUE(demo->Connected());
    window->redo();
    EXPECT_EQ(component(QStringLiteral("tCustomer")), nullptr);
    window->undo();

    // Undo never closes what a person opened, nor opens what was closed.
    const QString sql = orders->SQL()->Text();
    d->select({orders});
    orders->SQL()->SetText(QStringLiteral("select * from Orders"));
    d->Modified();
    EXPECT_FALSE(orders->Active()) << "a new statement closes the query";
    EXPECT_EQ(undoAction()->text(), QStringLiteral("&Undo Set qOrders.SQL"));
    window->undo();
    EXPECT_EQ(orders->SQL()->Text(), sql);
    EXPECT_FALSE(orders->Active()) << "not opened by an undo";
    EXPECT_TRUE(demo->Connected());

    screenshot(window.get(), QStringLiteral("undo-redo"));
}

// A hundred steps and more are kept; the oldest go first.
TEST_F(UndoRedoTest, KeepsAHundredSteps)
{
    ASSERT_TRUE(openDemo());
    const TFormDesignerPtr &d = window->designer();
    QObject *totals = component(QStringLiteral("qTotals"));
    const QPoint at = designPosition(totals);
    d->select({totals});
    for (int i = 0; i < 120; ++i)
        press(window->surface(), Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(designPosition(totals), at + QPoint(0, 120));
    int undone = 0;
    while (undoAction()->isEnabled() && undone < 200) {
        window->undo();
        ++undone;
    }
    EXPECT_EQ(undone, 100);
    EXPECT_EQ(designPosition(totals), at + QPoint(0, 20));
}
