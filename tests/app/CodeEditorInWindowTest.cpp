// The code editor inside the main window: Ctrl+S in a tab, the File menu's
// command, a module saved with a tab's edit pending, and tabs that follow
// their component's rename and go with it.
#include "CodeEditorPane.h"
#include "CodeEditorTabs.h"
#include "GuiFixture.h"
#include "MainWindow.h"
#include "ModuleEditing.h"

#include "orvlib/OvDataSets.h"
#include "rtl/UiServices.h"

#include <QAction>
#include <QDockWidget>
#include <QFile>
#include <QPlainTextEdit>
#include <QTest>

namespace {

class CodeEditorInWindowTest : public WindowTest
{
protected:
    // The query's Edit SQL verb, its dialog's code-editor button pressed.
    void openSqlOf(QObject *Query) { openSqlInCodeEditor(*window, Query, ui); }
    void type(QPlainTextEdit *Edit, const QString &Text)
    {
        Edit->setFocus();
        Edit->selectAll();
        QTest::keyClicks(Edit, Text);
    }
    TCodeEditorPane *code() const { return window->codeEditor(); }
    QDockWidget *codeDock() const
    {
        return window->findChild<QDockWidget *>(QStringLiteral("codeEditorPaneDock"));
    }

    ScriptedUi ui;
};

} // namespace

// Ctrl+S in a tab writes the tab into its property (no ambiguous key); the
// File menu names the tab; Save asks about a pending tab first.
TEST_F(CodeEditorInWindowTest, SaveATabAndTheModuleWithATabPending)
{
    ASSERT_TRUE(openDemo());
    auto *orders = qobject_cast<TOvQuery *>(component(QStringLiteral("qOrders")));
    openSqlOf(orders);
    ASSERT_EQ(code()->tabCount(), 1);
    EXPECT_EQ(code()->tabTitle(0), QStringLiteral("qOrders.SQL"));
    EXPECT_TRUE(codeDock()->isVisible());
    QAction *saveTab = window->action(QStringLiteral("actSaveTab"));
    EXPECT_TRUE(saveTab->isEnabled());
    EXPECT_EQ(saveTab->text(), QStringLiteral("Save &Tab qOrders.SQL\tCtrl+S"));

    type(code()->editorAt(0), QStringLiteral("select * from Orders"));
    QTest::keyClick(code()->editorAt(0), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(orders->SQL()->Text(), QStringLiteral("select * from Orders\n"));
    EXPECT_EQ(code()->tabTitle(0), QStringLiteral("qOrders.SQL")) << "saved";
    screenshot(window.get(), QStringLiteral("code-editor-in-window"));

    // The module saved while the tab holds an edit: Cancel stops, Yes
    // writes the tab first.
    type(code()->editorAt(0), QStringLiteral("select OrderNo from Orders"));
    ui.answer(mrCancel);
    EXPECT_FALSE(window->save());
    EXPECT_TRUE(ui.messages.back().text.contains(QLatin1String("qOrders.SQL")));
    ui.answer(mrYes);
    EXPECT_TRUE(window->save());
    QFile saved(demoForm());
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.readAll().contains("'select OrderNo from Orders'")) << "the tab's text";
    EXPECT_EQ(ui.pendingSteps(), 0u);
}

// A tab follows its component's rename: a new component of the old name
// gets a tab of its own, and saving either writes its own component; the
// tab closes with its component, and the pane with its last tab.
TEST_F(CodeEditorInWindowTest, TabsFollowRenamesAndGoWithTheirComponent)
{
    ASSERT_TRUE(openDemo());
    auto *orders = qobject_cast<TOvQuery *>(component(QStringLiteral("qOrders")));
    openSqlOf(orders);
    renameComponent(*window->designer(), orders, QStringLiteral("qOld"));
    EXPECT_EQ(code()->tabTitle(0), QStringLiteral("qOld.SQL"));

    auto *fresh = new TOvQuery(window->designer()->Root());
    fresh->setObjectName(QStringLiteral("qOrders"));
    window->designer()->notifyComponentsChanged();
    openSqlOf(fresh);
    ASSERT_EQ(code()->tabCount(), 2) << "one tab each";
    EXPECT_EQ(code()->tabTitle(1), QStringLiteral("qOrders.SQL"));
    type(code()->editorAt(1), QStringLiteral("select 1"));
    QTest::keyClick(code()->editorAt(1), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(fresh->SQL()->Text(), QStringLiteral("select 1\n"));
    EXPECT_NE(orders->SQL()->Text(), QStringLiteral("select 1\n"))
        << "the renamed one keeps its own";

    window->designer()->select({orders});
    window->deleteSelection();
    ASSERT_EQ(code()->tabCount(), 1);
    EXPECT_EQ(code()->tabTitle(0), QStringLiteral("qOrders.SQL"));
    EXPECT_TRUE(code()->closeTab(0));
    EXPECT_FALSE(codeDock()->isVisible()) << "no empty pane stays";
    EXPECT_EQ(ui.pendingSteps(), 0u);
}
