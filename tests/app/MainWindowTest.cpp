// The designer's main window driven as a person drives it, offscreen: files,
// the surface's mouse and keys, context menus and the package's editors.
#include "MainWindow.h"
#include "GuiFixture.h"
#include "ModuleEditing.h"
#include "ModuleSurface.h"

#include "designide/FormFile.h"
#include "designide/PackageLoader.h"
#include "orvlib/DB.h"
#include "orvlib/OvComponents.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvUpdateSQL.h"
#include "rtl/Forms.h"
#include "rtl/UiServices.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>

namespace {

class MainWindowTest : public GuiTest
{
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        window
            = std::make_unique<TMainWindow>(nullptr, folder().file(QStringLiteral("recent.ini")));
        window->resize(1100, 720);
        window->show();
    }
    void TearDown() override
    {
        if (window && window->designer())
            window->designer()->setModified(false);
        window.reset();
    }

    bool openDemo() { return window->openForm(demoForm()); }
    QObject *component(const QString &Name) const
    {
        return window->designer()->Root()->findChild<QObject *>(Name, Qt::FindDirectChildrenOnly);
    }
    QPoint centreOf(const QString &Name) const
    {
        return window->surface()->boxRect(component(Name)).center();
    }
    QWidget *viewport() const { return window->surface()->viewport(); }
    QStringList menuTexts(QMenu &Menu) const
    {
        QStringList texts;
        for (QAction *a : Menu.actions())
            texts.append(a->isSeparator() ? QStringLiteral("-") : a->text());
        return texts;
    }

    std::unique_ptr<TMainWindow> window;
};

} // namespace

// The demo opens with every component on the surface at its stored place,
// its SQLite database created beside it, and the window titled after it.
TEST_F(MainWindowTest, OpensTheDemoWithEveryComponentAtItsPlace)
{
    ASSERT_TRUE(openDemo());
    const TFormDesignerPtr &d = window->designer();
    ASSERT_TRUE(d);
    EXPECT_EQ(d->Root()->objectName(), QStringLiteral("DemoData"));
    EXPECT_FALSE(d->isModified());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("demo.dfm - ovdesigner"));
    EXPECT_TRUE(folder().exists(QStringLiteral("demo.db"))) << "the database made from demo.sql";
    EXPECT_EQ(window->recentFiles().value(0), demoForm());

    const QStringList names{QStringLiteral("Demo"),
                            QStringLiteral("qOrders"),
                            QStringLiteral("usOrders"),
                            QStringLiteral("qTotals"),
                            QStringLiteral("tCustomer"),
                            QStringLiteral("dsCustomer"),
                            QStringLiteral("tCustomerOrders"),
                            QStringLiteral("spRecalcTotals"),
                            QStringLiteral("scrArchive"),
                            QStringLiteral("Monitor")};
    for (const QString &name : names) {
        QObject *c = component(name);
        ASSERT_TRUE(c) << name.toStdString();
        const QRect box = window->surface()->boxRect(c);
        EXPECT_EQ(box.topLeft(), designPosition(c)) << name.toStdString() << ": at Left/Top";
        EXPECT_EQ(window->surface()->componentAt(box.center()), c) << name.toStdString();
        // The name under the glyph hits the component too.
        EXPECT_EQ(window->surface()->componentAt(box.center() + QPoint(0, box.height())), c)
            << name.toStdString() << ": by its name";
    }
    EXPECT_EQ(window->surface()->componentAt(QPoint(600, 500)), nullptr);

    const QImage picture = screenshot(window.get(), QStringLiteral("mainwindow"));
    EXPECT_GT(colourCount(picture), 20) << "a painted window, not an empty one";
}

// A palette class, then a click: a component with the first free default
// name at the click, selected, the module marked modified.
TEST_F(MainWindowTest, PlacesAComponentOfTheChosenClass)
{
    ASSERT_TRUE(openDemo());
    TModuleSurface *surface = window->surface();
    QSignalSpy placed(surface, &TModuleSurface::componentPlaced);
    surface->setPendingClass(&TOvQuery::staticMetaObject);
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, QPoint(400, 300));
    ASSERT_EQ(placed.count(), 1);
    QObject *q1 = component(QStringLiteral("OvQuery1"));
    ASSERT_TRUE(q1);
    EXPECT_TRUE(qobject_cast<TOvQuery *>(q1));
    EXPECT_EQ(surface->componentAt(QPoint(400, 300)), q1);
    EXPECT_EQ(window->designer()->selection(), QList<QObject *>{q1});
    EXPECT_EQ(surface->pendingClass(), nullptr) << "one click places one component";
    EXPECT_TRUE(window->designer()->isModified());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("demo.dfm* - ovdesigner"));

    // A name taken in another letter case is still taken.
    renameComponent(*window->designer(), q1, QStringLiteral("ovquery2"));
    surface->setPendingClass(&TOvQuery::staticMetaObject);
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, QPoint(500, 300));
    EXPECT_TRUE(component(QStringLiteral("OvQuery1")));
    surface->setPendingClass(&TOvQuery::staticMetaObject);
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, QPoint(500, 400));
    EXPECT_TRUE(component(QStringLiteral("OvQuery3")));
    // The environment's own class has no glyph resource and still shows.
    surface->setPendingClass(&TDataSource::staticMetaObject);
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, QPoint(600, 400));
    EXPECT_TRUE(component(QStringLiteral("DataSource1")));
    EXPECT_FALSE(TModuleSurface::glyphFor(&TDataSource::staticMetaObject).isNull());
}

// A click selects one, Ctrl adds and removes, a rubber band selects what it
// touches, a click on empty space selects the module itself.
TEST_F(MainWindowTest, SelectsByClickCtrlAndRubberBand)
{
    ASSERT_TRUE(openDemo());
    const TFormDesignerPtr &d = window->designer();
    QObject *demo = component(QStringLiteral("Demo"));
    QObject *orders = component(QStringLiteral("qOrders"));
    QObject *totals = component(QStringLiteral("qTotals"));

    QTest::mouseClick(viewport(), Qt::LeftButton, {}, centreOf(QStringLiteral("Demo")));
    EXPECT_EQ(d->selection(), QList<QObject *>{demo});
    QTest::mouseClick(viewport(), Qt::LeftButton, Qt::ControlModifier,
                      centreOf(QStringLiteral("qOrders")));
    EXPECT_EQ(d->selection(), (QList<QObject *>{demo, orders}));
    QTest::mouseClick(viewport(), Qt::LeftButton, Qt::ControlModifier,
                      centreOf(QStringLiteral("Demo")));
    EXPECT_EQ(d->selection(), QList<QObject *>{orders}) << "Ctrl-click again removes";

    // A band from empty space across the middle row of the demo.
    QTest::mousePress(viewport(), Qt::LeftButton, {}, QPoint(100, 66));
    QTest::mouseMove(viewport(), QPoint(300, 80));
    QTest::mouseRelease(viewport(), Qt::LeftButton, {}, QPoint(300, 80));
    const QList<QObject *> band = d->selection();
    EXPECT_EQ(band.size(), 2);
    EXPECT_TRUE(band.contains(totals));
    EXPECT_TRUE(band.contains(component(QStringLiteral("usOrders"))));
    EXPECT_FALSE(d->isModified()) << "selecting changes nothing";

    QTest::mouseClick(viewport(), Qt::LeftButton, {}, QPoint(700, 500));
    EXPECT_EQ(d->selection(), QList<QObject *>{d->Root()});
    window->selectAll();
    EXPECT_EQ(d->selection().size(), 10);
}

// Dragging a selected component moves the whole selection; the positions
// go into the saved form and come back from it.
TEST_F(MainWindowTest, MovesTheSelectionAndSavesThePositions)
{
    ASSERT_TRUE(openDemo());
    QObject *demo = component(QStringLiteral("Demo"));
    QObject *orders = component(QStringLiteral("qOrders"));
    window->designer()->select({demo, orders});
    const QPoint from = centreOf(QStringLiteral("Demo"));
    QTest::mousePress(viewport(), Qt::LeftButton, {}, from);
    QTest::mouseMove(viewport(), from + QPoint(10, 5));
    QTest::mouseMove(viewport(), from + QPoint(300, 200));
    QTest::mouseRelease(viewport(), Qt::LeftButton, {}, from + QPoint(300, 200));
    EXPECT_EQ(designPosition(demo), QPoint(340, 216));
    EXPECT_EQ(designPosition(orders), QPoint(340, 272));
    EXPECT_TRUE(window->designer()->isModified());

    // Ctrl+arrow nudges by a pixel; nothing goes left of the surface.
    QTest::keyClick(window->surface(), Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(designPosition(demo), QPoint(341, 216));

    ASSERT_TRUE(window->save());
    EXPECT_FALSE(window->designer()->isModified());
    EXPECT_TRUE(folder().exists(QStringLiteral("demo.~dfm"))) << "the previous version is kept";
    std::unique_ptr<QObject> back = LoadFormFile(demoForm());
    QObject *demoBack = back->findChild<QObject *>(QStringLiteral("Demo"));
    ASSERT_TRUE(demoBack);
    EXPECT_EQ(designPosition(demoBack), QPoint(341, 216));
    EXPECT_EQ(WriteFormText(back.get()), WriteFormText(window->designer()->Root()))
        << "the saved file reads back as the module";
}
