// The designer's main window driven as a person drives it, offscreen: files,
// the surface's mouse and keys, context menus and the package's editors.
#include "MainWindow.h"
#include "GuiFixture.h"
#include "ModuleEditing.h"
#include "ModuleSurface.h"
#include "PalettePane.h"
#include "StructurePane.h"

#include "designide/FormFile.h"
#include "designide/PackageLoader.h"
#include "orvlib/DB.h"
#include "orvlib/OvComponents.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvSession.h"
#include "orvlib/OvUpdateSQL.h"
#include "rtl/Forms.h"
#include "rtl/UiServices.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
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

    // The picture the README shows: a query selected, so every pane has
    // something to say.
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, centreOf(QStringLiteral("qOrders")));
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
    EXPECT_FALSE(surface->glyphFor(&TDataSource::staticMetaObject).isNull());
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

// The context menu of an update object: the package's verbs with "-" as a
// separator, then the environment's entries. Its editor verb and a double
// click both open the UpdateSQL editor through the dialog seam; accepting
// it marks the module modified.
TEST_F(MainWindowTest, ListsAndRunsTheVerbsOfAComponent)
{
    ASSERT_TRUE(openDemo());
    QObject *update = component(QStringLiteral("usOrders"));
    std::unique_ptr<QMenu> menu = window->surface()->contextMenuFor(update);
    const QStringList texts = menuTexts(*menu);
    ASSERT_GE(texts.size(), 4);
    EXPECT_TRUE(texts[0].startsWith(QLatin1String("Orvanta "))) << texts[0].toStdString();
    EXPECT_EQ(texts[1], QStringLiteral("-"));
    EXPECT_EQ(texts[2], QStringLiteral("&UpdateSQL Editor..."));
    EXPECT_EQ(texts[3], QStringLiteral("-")) << "the environment's entries follow a separator";
    EXPECT_TRUE(texts.contains(QStringLiteral("Cu&t")));
    EXPECT_TRUE(texts.contains(QStringLiteral("&Delete")));

    ScriptedUi ui;
    QString caption;
    ui.onModal([&](TForm &Form) {
        caption = Form.windowTitle();
        auto *generate = Form.findChild<QPushButton *>(QStringLiteral("btGenerateSQL"));
        ASSERT_TRUE(generate);
        generate->click();
        Form.resize(640, 480);
        const QImage picture = screenshot(&Form, QStringLiteral("updatesql-editor"));
        EXPECT_GT(colourCount(picture), 8);
        Form.SetModalResult(mrOk);
    });
    menu->actions()[2]->trigger();
    ASSERT_EQ(ui.modalForms.size(), 1u);
    EXPECT_EQ(ui.modalForms[0], QStringLiteral("TOvUpdateSQLEditForm"));
    EXPECT_TRUE(caption.contains(QLatin1String("usOrders"))) << caption.toStdString();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(window->designer()->isModified()) << "the editor tells the designer";
    const auto *u = qobject_cast<TOvUpdateSQL *>(update);
    EXPECT_TRUE(u->ModifySQL()->Text().contains(QLatin1String("update Orders")));

    // A double click runs the editor's Edit: the same editor; Cancel keeps
    // the statements.
    window->designer()->setModified(false);
    const QString before = u->ModifySQL()->Text();
    ui.onModal([](TForm &Form) { Form.SetModalResult(mrCancel); });
    QTest::mouseDClick(viewport(), Qt::LeftButton, {}, centreOf(QStringLiteral("usOrders")));
    ASSERT_EQ(ui.modalForms.size(), 2u);
    EXPECT_EQ(ui.modalForms[1], QStringLiteral("TOvUpdateSQLEditForm"));
    EXPECT_EQ(u->ModifySQL()->Text(), before);
    EXPECT_FALSE(window->designer()->isModified());
    EXPECT_EQ(ui.pendingSteps(), 0u);

    // The surface's own menu has only the environment's entries.
    std::unique_ptr<QMenu> own = window->surface()->contextMenuFor(nullptr);
    EXPECT_EQ(menuTexts(*own).first(), QStringLiteral("Cu&t"));
}

// Failures come as message boxes with their text, and what was open stays
// open: a broken form file (named with its line), clipboard text that is no
// components, a package module that is not one.
TEST_F(MainWindowTest, FailuresAreShownAndTheModuleStays)
{
    ASSERT_TRUE(openDemo());
    QObject *root = window->designer()->Root();
    folder().write(QStringLiteral("broken.dfm"),
                   "object X: TDataModule\n  object Q: TOvQuery\n    Bogus = 1\n  end\nend\n");
    folder().write(QStringLiteral("fake.so"), "not a module");

    ScriptedUi ui;
    ui.answer(mrOk).answer(mrOk).answer(mrOk).answer(mrOk);
    EXPECT_FALSE(window->openForm(folder().file(QStringLiteral("broken.dfm"))));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.messages[0].text.contains(QLatin1String("broken.dfm")));
    EXPECT_TRUE(ui.messages[0].text.contains(QLatin1String("3"))) << "the line of the fault";
    EXPECT_EQ(ui.messages[0].type, mtError);
    EXPECT_EQ(window->designer()->Root(), root) << "the open module stays";

    QApplication::clipboard()->setText(QStringLiteral("select * from Orders"));
    window->paste();
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].text, QStringLiteral("The clipboard holds no components"));
    EXPECT_FALSE(window->designer()->isModified());

    EXPECT_FALSE(window->installPackage(folder().file(QStringLiteral("fake.so"))));
    ASSERT_EQ(ui.messages.size(), 3u);
    EXPECT_TRUE(ui.messages[2].text.contains(QLatin1String("fake.so")));

    // A missing file, from the recent list or typed.
    EXPECT_FALSE(window->openForm(folder().file(QStringLiteral("gone.dfm"))));
    ASSERT_EQ(ui.messages.size(), 4u);
    EXPECT_TRUE(ui.messages[3].text.contains(QLatin1String("not found")));
    EXPECT_EQ(ui.pendingSteps(), 0u);
}

// F2 renames in place: Enter keeps a valid, free name; a bad or taken name
// is refused with a message and the component keeps its own; Escape keeps it.
TEST_F(MainWindowTest, RenamesInPlace)
{
    ASSERT_TRUE(openDemo());
    QObject *orders = component(QStringLiteral("qOrders"));
    window->designer()->select({orders});
    QTest::keyClick(window->surface(), Qt::Key_F2);
    QLineEdit *edit = window->surface()->renameEditor();
    ASSERT_TRUE(edit);
    EXPECT_EQ(edit->text(), QStringLiteral("qOrders"));
    edit->setText(QStringLiteral("qAllOrders"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(orders->objectName(), QStringLiteral("qAllOrders"));
    EXPECT_TRUE(window->designer()->isModified());
    EXPECT_EQ(window->surface()->renameEditor(), nullptr);
    // The update object still points at it: references are to the component.
    EXPECT_EQ(qobject_cast<TOvDataSet *>(orders)->UpdateObject(),
              component(QStringLiteral("usOrders")));

    ScriptedUi ui;
    ui.answer(mrOk).answer(mrOk).answer(mrOk);
    for (const QString &bad : {QStringLiteral("9lives"), QStringLiteral("q Orders"),
                               QStringLiteral("TCUSTOMER"), QStringLiteral("a.b")}) {
        if (bad == QStringLiteral("a.b"))
            ui.answer(mrOk);
        window->surface()->beginRename(orders)->setText(bad);
        QTest::keyClick(window->surface()->renameEditor(), Qt::Key_Return);
        EXPECT_EQ(orders->objectName(), QStringLiteral("qAllOrders")) << bad.toStdString();
    }
    ASSERT_EQ(ui.messages.size(), 4u);
    EXPECT_EQ(ui.messages[2].text, QStringLiteral("A component named TCUSTOMER already exists"));
    EXPECT_EQ(ui.messages[0].text, QStringLiteral("9lives is not a valid component name"));

    // Only the letter case changes: allowed, it is the same component.
    window->surface()->beginRename(orders)->setText(QStringLiteral("QALLORDERS"));
    QTest::keyClick(window->surface()->renameEditor(), Qt::Key_Return);
    EXPECT_EQ(orders->objectName(), QStringLiteral("QALLORDERS"));

    window->surface()->beginRename(orders)->setText(QStringLiteral("Other"));
    QTest::keyClick(window->surface()->renameEditor(), Qt::Key_Escape);
    EXPECT_EQ(orders->objectName(), QStringLiteral("QALLORDERS"));
    EXPECT_EQ(window->surface()->renameEditor(), nullptr);
}

// Copy and paste go through the form-file text: pasted components get free
// names, references among them follow the copies, references to the rest
// of the module stay, references to what the module lacks go. Cut removes,
// undo brings back what was there before each change.
TEST_F(MainWindowTest, CutCopyPasteAndUndo)
{
    ASSERT_TRUE(openDemo());
    const TFormDesignerPtr &d = window->designer();
    QObject *customer = component(QStringLiteral("tCustomer"));
    QObject *source = component(QStringLiteral("dsCustomer"));
    d->select({customer, source});
    window->copy();
    const QString clip = QApplication::clipboard()->text();
    EXPECT_TRUE(clip.startsWith(QLatin1String("object tCustomer: TOvTable")));
    EXPECT_FALSE(d->isModified()) << "copying changes nothing";

    window->paste();
    QObject *table1 = component(QStringLiteral("OvTable1"));
    QObject *source1 = component(QStringLiteral("DataSource1"));
    ASSERT_TRUE(table1 && source1);
    EXPECT_EQ(qobject_cast<TDataSource *>(source1)->DataSet(), table1)
        << "the pasted source shows the pasted table";
    EXPECT_EQ(qobject_cast<TDataSource *>(source)->DataSet(), customer);
    EXPECT_EQ(qobject_cast<TOvTable *>(table1)->TableName(), QStringLiteral("Customer"));
    EXPECT_EQ(d->selection(), (QList<QObject *>{table1, source1}));
    EXPECT_EQ(designPosition(table1), QPoint(152, 240))
        << "off the original and every name, right and down";
    EXPECT_EQ(designPosition(source1), QPoint(240, 240)) << "the copies keep their layout";
    EXPECT_TRUE(d->isModified());
    EXPECT_EQ(surfaceComponents(d->Root()).size(), 12);

    // A source alone keeps pointing at the module's table, and lands past
    // the first copy. Pasted again and again, copies stay in view, none on
    // another.
    d->select({source});
    window->copy();
    window->paste();
    QObject *source2 = component(QStringLiteral("DataSource2"));
    ASSERT_TRUE(source2);
    EXPECT_EQ(qobject_cast<TDataSource *>(source2)->DataSet(),
              component(QStringLiteral("tCustomer")));
    EXPECT_EQ(designPosition(source2), QPoint(288, 288)) << "cascades";
    EXPECT_EQ(window->action(QStringLiteral("actUndo"))->text(), QStringLiteral("&Undo Paste"));
    QList<QPoint> places;
    const QRect view = window->surface()->viewport()->rect();
    for (int i = 0; i < 40; ++i) {
        window->paste();
        QObject *copy = d->selection().value(0);
        ASSERT_TRUE(copy);
        EXPECT_TRUE(view.contains(window->surface()->boxRect(copy))) << i;
        EXPECT_FALSE(places.contains(designPosition(copy))) << i;
        places.append(designPosition(copy));
    }
    screenshot(window.get(), QStringLiteral("paste-cascade"));
    for (int i = 0; i < 41; ++i)
        window->undo();
    EXPECT_EQ(component(QStringLiteral("DataSource2")), nullptr) << "a paste is one step";
    EXPECT_TRUE(component(QStringLiteral("OvTable1")));

    // Cut the table: the module's source loses it; paste brings it back
    // under its own name, since the name is free again.
    d->select({component(QStringLiteral("tCustomer"))});
    window->cut();
    EXPECT_EQ(component(QStringLiteral("tCustomer")), nullptr);
    EXPECT_EQ(qobject_cast<TDataSource *>(component(QStringLiteral("dsCustomer")))->DataSet(),
              nullptr);
    window->paste();
    EXPECT_TRUE(component(QStringLiteral("tCustomer")));

    // Pasted into another module: references to what it lacks are dropped.
    const QString copied = componentsText(
        {component(QStringLiteral("dsCustomer")), component(QStringLiteral("tCustomerOrders"))});
    ScriptedUi ui;
    ui.answer(mrNo);
    ASSERT_TRUE(window->newModule());
    QApplication::clipboard()->setText(copied);
    window->paste();
    QObject *orders
        = window->designer()->Root()->findChild<QObject *>(QStringLiteral("tCustomerOrders"));
    ASSERT_TRUE(orders);
    EXPECT_EQ(designPosition(orders), QPoint(216, 128)) << "a free place in view is kept";
    EXPECT_EQ(qobject_cast<TOvTable *>(orders)->MasterSource(),
              window->designer()->Root()->findChild<QObject *>(QStringLiteral("dsCustomer")));
    EXPECT_EQ(qobject_cast<TDataSource *>(
                  window->designer()->Root()->findChild<QObject *>(QStringLiteral("dsCustomer")))
                  ->DataSet(),
              nullptr)
        << "tCustomer is not in this module";
    // A copy from far off the view lands in it.
    QApplication::clipboard()->setText(
        QStringLiteral("object dsFar: TDataSource\n  Left = 5000\n  Top = 4000\nend\n"));
    window->paste();
    ASSERT_EQ(window->designer()->selection().size(), 1);
    EXPECT_TRUE(window->surface()->viewport()->rect().contains(
        window->surface()->boxRect(window->designer()->selection().first())));
}

// Undo restores the module text before the last change, step by step,
// whoever made the change, and the root object stays the same.
TEST_F(MainWindowTest, UndoStepsBackThroughChanges)
{
    ASSERT_TRUE(openDemo());
    const TFormDesignerPtr &d = window->designer();
    QObject *root = d->Root();
    const QString original = WriteFormText(root);
    EXPECT_FALSE(window->action(QStringLiteral("actUndo"))->isEnabled());

    d->select({component(QStringLiteral("tCustomer"))});
    window->deleteSelection();
    EXPECT_EQ(component(QStringLiteral("tCustomer")), nullptr);
    EXPECT_TRUE(window->action(QStringLiteral("actUndo"))->isEnabled());
    const QString afterDelete = WriteFormText(root);

    // An editor's change: a property set and Modified().
    qobject_cast<TOvQuery *>(component(QStringLiteral("qTotals")))
        ->SQL()
        ->SetText(QStringLiteral("select 1"));
    d->Modified();

    window->undo();
    EXPECT_EQ(WriteFormText(root), afterDelete);
    window->undo();
    EXPECT_EQ(WriteFormText(root), original);
    EXPECT_EQ(d->Root(), root);
    QObject *back = component(QStringLiteral("tCustomer"));
    ASSERT_TRUE(back);
    EXPECT_EQ(qobject_cast<TDataSource *>(component(QStringLiteral("dsCustomer")))->DataSet(), back)
        << "references to the restored component are restored";
    EXPECT_FALSE(window->action(QStringLiteral("actUndo"))->isEnabled());
    EXPECT_FALSE(d->isModified()) << "back to the module as opened: nothing to save";
    window->redo();
    EXPECT_TRUE(d->isModified()) << "a redo is a change to save";
    window->undo();
    EXPECT_EQ(window->surface()->componentAt(centreOf(QStringLiteral("tCustomer"))), back);
}

// The panes live in docks the View menu shows and hides; a glyph chosen on
// the palette is placed by the next click on the surface and the palette's
// choice goes; Escape drops the choice; a glyph dropped on the surface
// places its class there.
TEST_F(MainWindowTest, PalettePlacesOnTheSurfaceAndThePanesFollow)
{
    ASSERT_TRUE(openDemo());
    TPalettePane *palette = window->palette();
    ASSERT_TRUE(palette && window->structure() && window->inspector() && window->codeEditor());
    EXPECT_EQ(window->designer()->selection(), QList<QObject *>{window->designer()->Root()})
        << "a module opens with itself selected";

    const int builds = window->structure()->model()->build();
    ASSERT_TRUE(palette->chooseClass(&TOvStoredProc::staticMetaObject));
    EXPECT_EQ(window->surface()->pendingClass(), &TOvStoredProc::staticMetaObject);
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, QPoint(500, 200));
    QObject *proc = component(QStringLiteral("OvStoredProc1"));
    ASSERT_TRUE(proc);
    EXPECT_EQ(palette->chosenClass(), nullptr) << "placing clears the palette's choice";
    EXPECT_GT(window->structure()->model()->build(), builds)
        << "the structure view was rebuilt with the new component";

    ASSERT_TRUE(palette->chooseClass(&TOvQuery::staticMetaObject));
    QTest::keyClick(window->surface(), Qt::Key_Escape);
    EXPECT_EQ(palette->chosenClass(), nullptr);
    EXPECT_EQ(window->surface()->pendingClass(), nullptr);
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, QPoint(600, 200));
    EXPECT_EQ(component(QStringLiteral("OvQuery1")), nullptr);

    QMimeData data;
    data.setData(QLatin1String(ComponentClassMimeType), "TOvScript");
    QDragEnterEvent enter(QPoint(300, 300), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(300, 300), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(viewport(), &drop);
    QObject *script = component(QStringLiteral("OvScript1"));
    ASSERT_TRUE(script);
    EXPECT_EQ(window->surface()->componentAt(QPoint(300, 300)), script);

    // The View menu holds one entry per dock.
    QMenu *view = nullptr;
    for (QAction *a : window->menuBar()->actions())
        if (a->text() == QStringLiteral("&View"))
            view = a->menu();
    ASSERT_TRUE(view);
    QStringList docks;
    for (QAction *a : view->actions())
        docks.append(a->text());
    EXPECT_EQ(
        docks,
        (QStringList{QStringLiteral("Palette"), QStringLiteral("Structure"),
                     QStringLiteral("Object Inspector"), QStringLiteral("Code Editor"),
                     QStringLiteral("Data Preview"), QStringLiteral("Problems"), QString(),
                     QStringLiteral("Go to Object &Inspector"), QStringLiteral("Go to &Structure"),
                     QStringLiteral("Go to the S&urface"), QStringLiteral("Go to the &Palette")}))
        << "one entry per dock, then a key for each pane";
}

// Every change marks the module; opening another, a new one or closing the
// window asks first: Cancel keeps everything, No drops the changes, Yes
// saves them.
TEST_F(MainWindowTest, AsksToSaveAModifiedModule)
{
    ASSERT_TRUE(openDemo());
    const QByteArray onDisk = folder().read(QStringLiteral("demo.dfm"));
    folder().write(QStringLiteral("other.dfm"), "object Other: TDataModule\nend\n");
    const TFormDesignerPtr first = window->designer();
    window->surface()->setPendingClass(&TOvMonitor::staticMetaObject);
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, QPoint(400, 300));
    ASSERT_TRUE(first->isModified());

    ScriptedUi ui;
    ui.answer(mrCancel);
    EXPECT_FALSE(window->openForm(folder().file(QStringLiteral("other.dfm"))));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, QStringLiteral("Save changes to demo.dfm?"));
    EXPECT_EQ(ui.messages[0].type, mtConfirmation);
    EXPECT_EQ(ui.messages[0].buttons, mbYesNoCancel);
    EXPECT_EQ(window->designer(), first);

    // Closing the window: Cancel keeps it open.
    ui.answer(mrCancel);
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());

    ui.answer(mrNo);
    EXPECT_TRUE(window->openForm(folder().file(QStringLiteral("other.dfm"))));
    EXPECT_EQ(window->designer()->Root()->objectName(), QStringLiteral("Other"));
    EXPECT_EQ(folder().read(QStringLiteral("demo.dfm")), onDisk) << "No writes nothing";
    EXPECT_EQ(window->recentFiles().value(1), demoForm());

    // Yes saves before the next one opens; a new module asks where to save.
    window->selectAll();
    window->surface()->setPendingClass(&TOvMonitor::staticMetaObject);
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, QPoint(400, 300));
    ui.answer(mrYes);
    ASSERT_TRUE(window->newModule());
    EXPECT_TRUE(
        folder().read(QStringLiteral("other.dfm")).contains("object OvMonitor1: TOvMonitor"));
    EXPECT_EQ(window->designer()->Root()->objectName(), QStringLiteral("DataModule1"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("DataModule1 - ovdesigner"));

    window->surface()->setPendingClass(&TOvSession::staticMetaObject);
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, QPoint(100, 100));
    QString asked;
    ui.answer(mrYes).onOpenFile([&](TOpenDialog &Dialog) {
        asked = Dialog.FileName;
        Dialog.FileName = folder().file(QStringLiteral("fresh.dfm"));
        return true;
    });
    EXPECT_TRUE(window->close());
    EXPECT_EQ(asked, QStringLiteral("DataModule1.dfm"));
    std::unique_ptr<QObject> fresh = LoadFormFile(folder().file(QStringLiteral("fresh.dfm")));
    EXPECT_TRUE(fresh->findChild<TOvSession *>(QStringLiteral("OvSession1")));
    EXPECT_EQ(ui.pendingSteps(), 0u);
}

// Help shows each package's About dialog through the package's own About
// verb; the installed packages list names, descriptions and the version
// read from the module file.
TEST_F(MainWindowTest, AboutAndInstalledPackages)
{
    ScriptedUi ui;
    QString shownAbout;
    ui.onModal([&](TForm &Form) {
        shownAbout = QLatin1String(Form.metaObject()->className());
        Form.SetModalResult(mrOk);
    });
    QAction *about = nullptr;
    emit window->helpMenu()->aboutToShow();
    for (QAction *a : window->helpMenu()->actions())
        if (a->objectName() == QStringLiteral("aboutDclOrv240"))
            about = a;
    ASSERT_TRUE(about);
    EXPECT_EQ(about->text(), QStringLiteral("About Orvanta Components..."));
    about->trigger();
    EXPECT_EQ(shownAbout, QStringLiteral("TOvAboutDlg"));

    QStringList row;
    ui.onModal([&](TForm &Form) {
        auto *table = Form.findChild<QTableWidget *>(QStringLiteral("packageTable"));
        ASSERT_TRUE(table);
        ASSERT_GE(table->rowCount(), 1);
        for (int col = 0; col < table->columnCount(); ++col)
            row.append(table->item(0, col)->text());
        screenshot(&Form, QStringLiteral("installed-packages"));
        Form.SetModalResult(mrOk);
    });
    window->action(QStringLiteral("actInstalledPackages"))->trigger();
    ASSERT_EQ(row.size(), 4);
    EXPECT_EQ(row[0], QStringLiteral("DclOrv240"));
    EXPECT_EQ(row[1], QStringLiteral("Orvanta Components"));
    EXPECT_FALSE(row[2].isEmpty()) << "the module file's version";
    EXPECT_TRUE(row[3].endsWith(QLatin1String("DclOrv240.so")));
    EXPECT_EQ(ui.pendingSteps(), 0u);
}

// A module of 10,000 components: all on the one surface, reachable by
// scrolling, selectable, and a change to it can still be undone.
TEST_F(MainWindowTest, TenThousandComponentsOnOneSurface)
{
    QString text = QStringLiteral("object Big: TDataModule\n");
    for (int i = 0; i < 10000; ++i)
        text += QStringLiteral("  object Q%1: TOvQuery\n    Left = %2\n    Top = %3\n  end\n")
                    .arg(i)
                    .arg(8 + (i % 100) * 88)
                    .arg(8 + (i / 100) * 56);
    text += QStringLiteral("end\n");
    folder().write(QStringLiteral("big.dfm"), text.toUtf8());
    ASSERT_TRUE(window->openForm(folder().file(QStringLiteral("big.dfm"))));
    TModuleSurface *surface = window->surface();
    EXPECT_EQ(surfaceComponents(window->designer()->Root()).size(), 10000);
    EXPECT_LT(surface->viewport()->findChildren<QWidget *>().size(), 5)
        << "components are painted, not widgets";

    // The last one, far down and right.
    QObject *last = component(QStringLiteral("Q9999"));
    surface->horizontalScrollBar()->setValue(surface->horizontalScrollBar()->maximum());
    surface->verticalScrollBar()->setValue(surface->verticalScrollBar()->maximum());
    const QRect box = surface->boxRect(last);
    ASSERT_TRUE(surface->viewport()->rect().contains(box)) << "scrolled into view";
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, box.center());
    EXPECT_EQ(window->designer()->selection(), QList<QObject *>{last});
    screenshot(window.get(), QStringLiteral("mainwindow-10000"));

    window->deleteSelection();
    EXPECT_EQ(surfaceComponents(window->designer()->Root()).size(), 9999);
    ASSERT_TRUE(window->action(QStringLiteral("actUndo"))->isEnabled());
    window->undo();
    EXPECT_EQ(surfaceComponents(window->designer()->Root()).size(), 10000);
    EXPECT_TRUE(component(QStringLiteral("Q9999")));
}

// An editor that adds a component and only says Modified() (editors know no
// other way) still gets it onto the surface; a rename by any pane shows.
TEST_F(MainWindowTest, TheSurfaceFollowsChangesMadeElsewhere)
{
    ASSERT_TRUE(openDemo());
    auto *extra = new TOvQuery(window->designer()->Root());
    extra->setObjectName(QStringLiteral("qExtra"));
    setDesignPosition(extra, QPoint(400, 400));
    window->designer()->Modified();
    EXPECT_EQ(window->surface()->componentAt(QPoint(414, 414)), extra);

    component(QStringLiteral("qTotals"))->setObjectName(QStringLiteral("qSums"));
    window->designer()->Modified();
    EXPECT_EQ(window->surface()->componentAt(centreOf(QStringLiteral("qSums"))),
              component(QStringLiteral("qSums")));

    // Freed without a word to the designer: the surface neither hits nor
    // draws it, before any rebuild.
    delete extra;
    EXPECT_EQ(window->surface()->componentAt(QPoint(414, 414)), nullptr);
    EXPECT_TRUE(window->surface()->boxRect(extra).isEmpty());
    window->surface()->grab();
}
