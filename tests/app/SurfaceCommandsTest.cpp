// The surface's keyboard and layout commands in the main window: arrows
// select the nearest component, Ctrl+arrows move, align and space evenly,
// snap to the grid, the keys shown in the menus and the status bar.
#include "GuiFixture.h"
#include "MainWindow.h"
#include "ModuleEditing.h"
#include "ModuleSurface.h"

#include "orvlib/OvComponents.h"

#include <QAction>
#include <QLabel>
#include <QTest>

namespace {

class SurfaceCommandsTest : public WindowTest
{
protected:
    void press(int Key, Qt::KeyboardModifiers Modifiers = {})
    {
        window->surface()->setFocus();
        QTest::keyClick(window->surface(), Qt::Key(Key), Modifiers);
    }
    QList<QObject *> selection() const { return window->designer()->selection(); }
    QAction *action(const char *Name) const { return window->action(QLatin1String(Name)); }
};

} // namespace

TEST_F(SurfaceCommandsTest, ArrowsAlignSpaceSnapAndStatus)
{
    ASSERT_TRUE(openDemo());
    const TFormDesignerPtr &d = window->designer();
    QObject *orders = component(QStringLiteral("qOrders"));
    QObject *update = component(QStringLiteral("usOrders"));
    QObject *totals = component(QStringLiteral("qTotals"));
    d->select({orders});
    auto *status = window->findChild<QLabel *>(QStringLiteral("statusSelection"));
    auto *state = window->findChild<QLabel *>(QStringLiteral("statusModule"));
    EXPECT_EQ(status->text(), QStringLiteral("qOrders: TOvQuery"));
    EXPECT_EQ(state->text(), QStringLiteral("10 components, saved"));

    // Arrows walk to the nearest component that way; Ctrl+arrows move.
    press(Qt::Key_Right);
    EXPECT_EQ(selection(), QList<QObject *>{update});
    press(Qt::Key_Left);
    EXPECT_EQ(selection(), QList<QObject *>{orders});
    press(Qt::Key_Down);
    EXPECT_EQ(selection(), QList<QObject *>{component(QStringLiteral("tCustomer"))});
    press(Qt::Key_Up);
    press(Qt::Key_Up);
    EXPECT_EQ(selection(), QList<QObject *>{component(QStringLiteral("Demo"))});
    d->select({orders});
    const QPoint at = designPosition(orders);
    press(Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(designPosition(orders), at + QPoint(0, 1));
    EXPECT_EQ(state->text(), QStringLiteral("10 components, modified"));

    // Lined up with the first selected; spaced between the outermost.
    d->select({orders, update, totals});
    action("actAlignTops")->trigger();
    EXPECT_EQ(designPosition(update).y(), designPosition(orders).y());
    EXPECT_EQ(designPosition(totals).y(), designPosition(orders).y());
    EXPECT_EQ(window->action(QStringLiteral("actUndo"))->text(),
              QStringLiteral("&Undo Align Tops"));
    setDesignPosition(update, QPoint(designPosition(orders).x() + 10, designPosition(update).y()));
    action("actSpaceAcross")->trigger();
    EXPECT_EQ(designPosition(update).x(),
              (designPosition(orders).x() + designPosition(totals).x()) / 2);
    EXPECT_EQ(status->text(), QStringLiteral("3 components selected"));

    // Snapping puts a placed component on the grid.
    action("actSnapToGrid")->trigger();
    window->surface()->setPendingClass(&TOvMonitor::staticMetaObject);
    QTest::mouseClick(window->surface()->viewport(), Qt::LeftButton, {}, QPoint(403, 301));
    QObject *placed = component(QStringLiteral("OvMonitor1"));
    ASSERT_TRUE(placed);
    EXPECT_EQ(designPosition(placed).x() % TModuleSurface::GridSize, 0);
    EXPECT_EQ(designPosition(placed).y() % TModuleSurface::GridSize, 0);

    // The keys show in the menus.
    EXPECT_EQ(action("actDelete")->shortcut(), QKeySequence(QKeySequence::Delete));
    EXPECT_EQ(action("actRename")->shortcut(), QKeySequence(Qt::Key_F2));
    EXPECT_FALSE(action("actSaveAs")->shortcut().isEmpty());
    d->select({placed});
    press(Qt::Key_Delete);
    EXPECT_EQ(component(QStringLiteral("OvMonitor1")), nullptr) << "Delete through the menu's key";
    screenshot(window.get(), QStringLiteral("surface-commands"));
}
