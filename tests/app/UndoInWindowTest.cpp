// Undo and redo in the main window give back everything a step changed and
// show it: icons on the surface, links between components (also those a
// change took from a component nobody selected), the code editor's tabs and
// the modified mark.
#include "CodeEditorPane.h"
#include "CodeEditorTabs.h"
#include "GuiFixture.h"
#include "MainWindow.h"
#include "ModuleEditing.h"
#include "ModuleSurface.h"
#include "PropertiesPane.h"

#include "designide/FormFile.h"
#include "orvlib/DB.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvUpdateSQL.h"
#include "rtl/UiServices.h"

#include <QAction>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

namespace {

class UndoInWindowTest : public WindowTest
{
protected:
    QAction *act(const char *Name) const { return window->action(QLatin1String(Name)); }
    // The module's form text, as a failure shows it.
    std::string formText() const { return WriteFormText(window->designer()->Root()).toStdString(); }
    QRect box(const QString &Name) const { return window->surface()->boxRect(component(Name)); }
    bool setValue(const QString &Path, const QString &Text)
    {
        return window->inspector()->commitValue(window->inspector()->itemModel().indexOf(Path),
                                                Text);
    }
    TOvQuery *query(const QString &Name) const { return qobject_cast<TOvQuery *>(component(Name)); }
};

} // namespace

// A nudge, a drag and an Align command taken back put the icons back where
// they were, not only the stored Left/Top; made again, they move again.
TEST_F(UndoInWindowTest, UndoingAMoveMovesTheIcon)
{
    ASSERT_TRUE(openDemo());
    const TFormDesignerPtr &d = window->designer();
    QObject *totals = component(QStringLiteral("qTotals"));
    QObject *demo = component(QStringLiteral("Demo"));
    const QRect totalsBox = box(QStringLiteral("qTotals"));
    const QRect demoBox = box(QStringLiteral("Demo"));

    d->select({totals});
    QTest::keyClick(window->surface(), Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(box(QStringLiteral("qTotals")), totalsBox.translated(0, 1)) << "nudged";
    window->undo();
    EXPECT_EQ(box(QStringLiteral("qTotals")), totalsBox) << "the nudge's undo moves the icon";
    window->redo();
    EXPECT_EQ(box(QStringLiteral("qTotals")), totalsBox.translated(0, 1)) << "and its redo";
    window->undo();

    // Align tops with qTotals first: Demo moves down to its row.
    d->select({totals, demo});
    act("actAlignTops")->trigger();
    EXPECT_EQ(box(QStringLiteral("Demo")).top(), totalsBox.top());
    EXPECT_EQ(act("actUndo")->text(), QStringLiteral("&Undo Align Tops"));
    window->undo();
    EXPECT_EQ(designPosition(demo), QPoint(40, 16));
    EXPECT_EQ(box(QStringLiteral("Demo")), demoBox) << "the icon follows the stored place";

    // A drag of the icon.
    d->select({demo});
    QWidget *viewport = window->surface()->viewport();
    const QPoint from = demoBox.center();
    QTest::mousePress(viewport, Qt::LeftButton, {}, from);
    QTest::mouseMove(viewport, from + QPoint(10, 5));
    QTest::mouseMove(viewport, from + QPoint(200, 160));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, from + QPoint(200, 160));
    ASSERT_NE(box(QStringLiteral("Demo")), demoBox);
    window->undo();
    EXPECT_EQ(box(QStringLiteral("Demo")), demoBox);
    EXPECT_EQ(window->surface()->componentAt(demoBox.center()), demo)
        << "a click where it shows finds it";
    screenshot(window.get(), QStringLiteral("undo-move"));
}

// Deleting components others refer to, and undoing it, gives every link
// back: the saved form is the one before the delete, line for line.
TEST_F(UndoInWindowTest, UndoingADeleteGivesEveryLinkBack)
{
    ASSERT_TRUE(openDemo());
    const TFormDesignerPtr &d = window->designer();
    const std::string before = formText();
    d->select({component(QStringLiteral("usOrders")), component(QStringLiteral("dsCustomer"))});
    window->deleteSelection();
    EXPECT_EQ(query(QStringLiteral("qOrders"))->UpdateObject(), nullptr);
    const std::string deleted = formText();

    window->undo();
    auto *updates = qobject_cast<TOvUpdateSQL *>(component(QStringLiteral("usOrders")));
    auto *source = qobject_cast<TDataSource *>(component(QStringLiteral("dsCustomer")));
    ASSERT_TRUE(updates && source);
    EXPECT_EQ(query(QStringLiteral("qOrders"))->UpdateObject(), updates);
    EXPECT_EQ(updates->DataSet(), query(QStringLiteral("qOrders"))) << "linked both ways";
    EXPECT_EQ(
        qobject_cast<TOvTable *>(component(QStringLiteral("tCustomerOrders")))->MasterSource(),
        source);
    EXPECT_EQ(formText(), before) << "the same form, its order too";
    ASSERT_TRUE(window->save());
    EXPECT_EQ(WriteFormText(LoadFormFile(demoForm()).get()).toStdString(), before)
        << "and so is the file";

    window->redo();
    EXPECT_EQ(formText(), deleted);
    window->undo();
    EXPECT_EQ(formText(), before);
    EXPECT_EQ(query(QStringLiteral("qOrders"))->UpdateObject(),
              component(QStringLiteral("usOrders")));
}

// An update object serves one dataset: linking it to qTotals takes it from
// qOrders, which nobody selected. That belongs to the step.
TEST_F(UndoInWindowTest, ALinkTakenFromAnotherComponentComesBack)
{
    ASSERT_TRUE(openDemo());
    const TFormDesignerPtr &d = window->designer();
    QObject *updates = component(QStringLiteral("usOrders"));
    const std::string before = formText();
    d->select({component(QStringLiteral("qTotals"))});
    ASSERT_TRUE(setValue(QStringLiteral("UpdateObject"), QStringLiteral("usOrders")));
    EXPECT_EQ(query(QStringLiteral("qTotals"))->UpdateObject(), updates);
    EXPECT_EQ(query(QStringLiteral("qOrders"))->UpdateObject(), nullptr) << "taken from it";
    EXPECT_EQ(act("actUndo")->text(), QStringLiteral("&Undo Set qTotals.UpdateObject"));
    const std::string after = formText();

    window->undo();
    EXPECT_EQ(query(QStringLiteral("qOrders"))->UpdateObject(), updates) << "given back";
    EXPECT_EQ(query(QStringLiteral("qTotals"))->UpdateObject(), nullptr);
    EXPECT_EQ(formText(), before);
    window->redo();
    EXPECT_EQ(formText(), after);
    EXPECT_EQ(query(QStringLiteral("qOrders"))->UpdateObject(), nullptr);

    // A rename changes the text of who refers to it: undoing a later step
    // of the referrer still finds the component.
    window->undo();
    d->select({updates});
    window->inspector()->nameEdit()->setText(QStringLiteral("usOrders2"));
    ASSERT_TRUE(window->inspector()->commitName());
    d->select({component(QStringLiteral("qOrders"))});
    ASSERT_TRUE(setValue(QStringLiteral("UpdateObject"), QString()));
    window->undo();
    EXPECT_EQ(query(QStringLiteral("qOrders"))->UpdateObject(), updates);
    window->undo();
    EXPECT_EQ(updates->objectName(), QStringLiteral("usOrders"));
    EXPECT_EQ(formText(), before);
}

// Undoing back to the state saved or opened clears the "*"; opening a
// dataset stores nothing and marks nothing.
TEST_F(UndoInWindowTest, TheModifiedMarkFollowsTheSavePoint)
{
    ASSERT_TRUE(openDemo());
    const TFormDesignerPtr &d = window->designer();
    d->select({component(QStringLiteral("qOrders"))});
    ASSERT_TRUE(setValue(QStringLiteral("Active"), QStringLiteral("True")));
    EXPECT_TRUE(query(QStringLiteral("qOrders"))->Active());
    EXPECT_FALSE(d->isModified()) << "opening stores nothing";
    EXPECT_FALSE(window->windowTitle().contains(QLatin1Char('*')));

    d->select({component(QStringLiteral("qTotals"))});
    QTest::keyClick(window->surface(), Qt::Key_Right, Qt::ControlModifier);
    EXPECT_TRUE(window->windowTitle().contains(QLatin1Char('*')));
    window->undo();
    EXPECT_FALSE(d->isModified()) << "back where it was opened";
    EXPECT_FALSE(window->windowTitle().contains(QLatin1Char('*')));
    window->redo();
    EXPECT_TRUE(d->isModified());
    ASSERT_TRUE(window->save());
    EXPECT_FALSE(d->isModified());
    window->undo();
    EXPECT_TRUE(d->isModified()) << "the saved state is the one after the step";
    window->redo();
    EXPECT_FALSE(d->isModified());

    // A new step from an undone state leaves the saved one out of reach.
    window->undo();
    QTest::keyClick(window->surface(), Qt::Key_Down, Qt::ControlModifier);
    window->undo();
    EXPECT_TRUE(d->isModified());
}

// A code-editor tab shows what undo and redo give its property; Ctrl+S in
// it afterwards writes nothing undone back.
TEST_F(UndoInWindowTest, CodeEditorTabsFollowUndoAndRedo)
{
    ASSERT_TRUE(openDemo());
    TOvQuery *orders = query(QStringLiteral("qOrders"));
    const QString sql = orders->SQL()->Text();
    ScriptedUi ui;
    openSqlInCodeEditor(*window, orders, ui);
    TCodeEditorPane *code = window->codeEditor();
    ASSERT_EQ(code->tabCount(), 1);
    QPlainTextEdit *edit = code->editorAt(0);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("select * from Orders"));
    QTest::keyClick(edit, Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(orders->SQL()->Text(), QStringLiteral("select * from Orders\n"));

    window->undo();
    EXPECT_EQ(orders->SQL()->Text(), sql);
    EXPECT_EQ(edit->toPlainText(), sql) << "the tab shows the undone text";
    EXPECT_EQ(code->tabTitle(0), QStringLiteral("qOrders.SQL")) << "not modified";
    QTest::keyClick(edit, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(orders->SQL()->Text(), sql) << "saving the tab brings nothing back";
    EXPECT_TRUE(act("actRedo")->isEnabled()) << "and leaves redo";
    window->redo();
    EXPECT_EQ(edit->toPlainText(), QStringLiteral("select * from Orders\n"));
    EXPECT_EQ(code->tabTitle(0), QStringLiteral("qOrders.SQL"));
}
