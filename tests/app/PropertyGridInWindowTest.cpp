// The Object Inspector in the main window as a person uses it: the Name row,
// the filter, Booleans as check boxes, the line describing a property and the
// string-list editor.
#include "CodeEditorPane.h"
#include "GuiFixture.h"
#include "MainWindow.h"
#include "PropertiesPane.h"

#include "designide/StringListEditor.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDlgsForms.h"
#include "orvlib/OvUpdateSQL.h"
#include "rtl/UiServices.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QStatusBar>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

namespace {

class InspectorInWindowTest : public WindowTest
{
protected:
    TInspectorPane *inspector() const { return window->inspector(); }
    QModelIndex at(const QString &Path) const { return inspector()->itemModel().indexOf(Path); }
    bool shown(const QString &Path) const
    {
        const QModelIndex index = at(Path);
        return index.isValid() && !inspector()->view()->isRowHidden(index.row(), index.parent());
    }
};

} // namespace

// The Name row renames with the surface's checks (a bad or taken name is
// refused and put back) and the rename is a step to undo.
TEST_F(InspectorInWindowTest, NameRowFilterCheckBoxesAndDescription)
{
    ASSERT_TRUE(openDemo());
    QObject *orders = component(QStringLiteral("qOrders"));
    window->designer()->select({orders});
    QLineEdit *name = inspector()->nameEdit();
    EXPECT_EQ(name->text(), QStringLiteral("qOrders"));

    ScriptedUi ui;
    ui.answer(mrOk).answer(mrOk);
    name->setText(QStringLiteral("q Orders"));
    EXPECT_FALSE(inspector()->commitName());
    EXPECT_EQ(name->text(), QStringLiteral("qOrders")) << "put back";
    name->setText(QStringLiteral("QTOTALS"));
    EXPECT_FALSE(inspector()->commitName()) << "taken, whatever the case";
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_TRUE(ui.messages[1].text.contains(QLatin1String("already exists")));
    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("qAllOrders"));
    QTest::keyClick(name, Qt::Key_Return);
    EXPECT_EQ(orders->objectName(), QStringLiteral("qAllOrders"));
    EXPECT_EQ(window->action(QStringLiteral("actUndo"))->text(),
              QStringLiteral("&Undo Rename qOrders to qAllOrders"));

    // The filter keeps the rows whose names contain its text.
    QTest::keyClicks(inspector()->filter(), QStringLiteral("sql"));
    EXPECT_TRUE(shown(QStringLiteral("SQL")));
    EXPECT_FALSE(shown(QStringLiteral("ParamCheck")));
    inspector()->filter()->clear();
    EXPECT_TRUE(shown(QStringLiteral("ParamCheck")));

    // One click turns a Boolean.
    const QModelIndex check = at(QStringLiteral("ParamCheck"));
    QTreeView *view = inspector()->view();
    view->scrollTo(check);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(check).center());
    EXPECT_FALSE(orders->property("ParamCheck").toBool());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(check).center());
    EXPECT_TRUE(orders->property("ParamCheck").toBool());

    view->setCurrentIndex(at(QStringLiteral("SQL")));
    EXPECT_TRUE(inspector()->descriptionLine()->text().startsWith(QLatin1String("SQL: TStrings")))
        << inspector()->descriptionLine()->text().toStdString();
    EXPECT_EQ(ui.pendingSteps(), 0u);
    screenshot(window.get(), QStringLiteral("inspector-in-window"));
}

// A string list without an editor of its own (an update object's statement)
// gets the environment's string-list editor from its "..." button: Cancel
// leaves everything, OK is one step to undo, and "Code Editor..." moves the
// text into a tab bound to the property. A query's SQL keeps the package's
// own editor while the SQL-editor switch is on.
TEST_F(InspectorInWindowTest, StringListEditorOnAnUpdateObjectsStatement)
{
    ASSERT_TRUE(openDemo());
    auto *update = qobject_cast<TOvUpdateSQL *>(component(QStringLiteral("usOrders")));
    ASSERT_TRUE(update);
    const QString original = update->ModifySQL()->Text();
    window->designer()->select({update});
    QTreeView *view = inspector()->view();
    const auto pressEllipsis = [&](const QString &Path) {
        // The row is made current afresh, which opens its editor.
        view->setCurrentIndex({});
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        view->setCurrentIndex(at(Path));
        auto *ellipsis = view->viewport()->findChild<QToolButton *>(QStringLiteral("ellipsis"));
        ASSERT_TRUE(ellipsis) << "the row offers its dialog";
        QTest::mouseClick(ellipsis, Qt::LeftButton);
    };
    EXPECT_EQ(inspector()->itemModel().rowAt(at(QStringLiteral("ModifySQL")))->editor()
                  ->metaObject()->className(),
              QByteArray("TStringListProperty"));
    EXPECT_FALSE(inspector()->descriptionLine()->text().contains(QLatin1String("read-only")));

    ScriptedUi ui;
    ui.onModal([](TForm &F) {
        auto *dlg = qobject_cast<TStringsEditDlg *>(&F);
        ASSERT_TRUE(dlg);
        EXPECT_EQ(dlg->windowTitle(), QStringLiteral("usOrders.ModifySQL"));
        EXPECT_EQ(dlg->LineCountText(), QStringLiteral("10 lines"));
        dlg->SetText(QStringLiteral("delete from Orders"));
        F.SetModalResult(mrCancel);
    });
    pressEllipsis(QStringLiteral("ModifySQL"));
    EXPECT_EQ(update->ModifySQL()->Text(), original) << "Cancel writes nothing";
    EXPECT_FALSE(window->designer()->isModified());
    EXPECT_FALSE(window->action(QStringLiteral("actUndo"))->isEnabled());

    ui.onModal([](TForm &F) {
        auto *dlg = static_cast<TStringsEditDlg *>(&F);
        dlg->SetText(QStringLiteral("update Orders\nset Amount = :Amount\nwhere OrderNo = "
                                    ":OLD_OrderNo"));
        EXPECT_EQ(dlg->LineCountText(), QStringLiteral("3 lines"));
        dlg->show();
        screenshot(dlg, QStringLiteral("string-list-editor"));
        F.SetModalResult(mrOk);
    });
    pressEllipsis(QStringLiteral("ModifySQL"));
    EXPECT_EQ(update->ModifySQL()->Count(), 3);
    EXPECT_TRUE(window->designer()->isModified());
    EXPECT_EQ(window->action(QStringLiteral("actUndo"))->text(),
              QStringLiteral("&Undo Set usOrders.ModifySQL"));
    window->action(QStringLiteral("actUndo"))->trigger();
    EXPECT_EQ(update->ModifySQL()->Text(), original) << "one undo restores the statement";

    // Code Editor...: the text goes on in a tab of its own; the property
    // waits for the tab to be saved, and the button brings the tab back.
    ui.onModal([](TForm &F) {
        auto *dlg = static_cast<TStringsEditDlg *>(&F);
        dlg->SetText(QStringLiteral("update Orders set Amount = 0"));
        dlg->btCodeEditorClick();
    });
    pressEllipsis(QStringLiteral("ModifySQL"));
    TCodeEditorPane *code = window->codeEditor();
    ASSERT_EQ(code->tabCount(), 1);
    EXPECT_EQ(code->tabTitle(0), QStringLiteral("*usOrders.ModifySQL")) << "modified";
    EXPECT_EQ(code->editorAt(0)->toPlainText(), QStringLiteral("update Orders set Amount = 0"));
    EXPECT_EQ(update->ModifySQL()->Text(), original);
    QTest::keyClick(code->editorAt(0), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(update->ModifySQL()->Text(), QStringLiteral("update Orders set Amount = 0\n"));
    pressEllipsis(QStringLiteral("ModifySQL"));
    EXPECT_EQ(code->tabCount(), 1) << "no dialog over the open tab";

    // The query's SQL has the package's editor: its own dialog opens.
    window->designer()->select({component(QStringLiteral("qOrders"))});
    ui.onModal([](TForm &F) {
        EXPECT_TRUE(qobject_cast<TOvSQLEditDlg *>(&F)) << F.metaObject()->className();
        F.SetModalResult(mrCancel);
    });
    pressEllipsis(QStringLiteral("SQL"));
    EXPECT_EQ(ui.pendingSteps(), 0u);
    EXPECT_TRUE(ui.messages.empty());
}

// The status bar names the selection and the module's state in full at
// 1024x768 the moment they change, not only after the event loop has laid
// the bar out again: labels sized for their earlier text showed "q 1".
TEST_F(InspectorInWindowTest, StatusBarReadsWholeAt1024x768)
{
    window->resize(1024, 768);
    ASSERT_TRUE(openDemo());
    window->designer()->select({component(QStringLiteral("qOrders"))});
    ASSERT_TRUE(inspector()->commitValue(at(QStringLiteral("ParamCheck")), QStringLiteral("False")));
    QStatusBar *bar = window->statusBar();
    for (const auto &[name, text] :
         {std::pair{"statusSelection", "qOrders: TOvQuery"},
          std::pair{"statusModule", "10 components, modified"}}) {
        auto *label = bar->findChild<QLabel *>(QLatin1String(name));
        ASSERT_TRUE(label) << name;
        EXPECT_EQ(label->text(), QLatin1String(text));
        EXPECT_GE(label->width(), label->sizeHint().width()) << name << " is cut";
        EXPECT_LE(label->geometry().right(), bar->width()) << name << " runs off the bar";
    }
    screenshot(bar, QStringLiteral("status-bar"));
}

// An error of a value set in the inspector names the component and the
// property before the database's message: the query whose statement failed
// and its SQL, also when Active was set and when it was one of a selection,
// and once only.
TEST_F(InspectorInWindowTest, AnErrorNamesTheComponentAndProperty)
{
    ASSERT_TRUE(openDemo());
    auto *orders = qobject_cast<TOvQuery *>(component(QStringLiteral("qOrders")));
    auto *totals = qobject_cast<TOvQuery *>(component(QStringLiteral("qTotals")));
    ASSERT_TRUE(orders && totals);
    orders->SQL()->SetText(QStringLiteral("selec * from Orders"));
    window->designer()->select({totals, orders});

    ScriptedUi ui;
    ui.answer(mrOk);
    EXPECT_FALSE(inspector()->commitValue(at(QStringLiteral("Active")), QStringLiteral("True")));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].type, mtError);
    EXPECT_EQ(ui.messages[0].text, QStringLiteral("qOrders.SQL: near \"selec\": syntax error"));
    EXPECT_TRUE(totals->Active()) << "the one before it took the value";
    EXPECT_FALSE(orders->Active());
    screenshot(ui.messages[0], QStringLiteral("inspector-error-names-place"));
    totals->Close();

    // A value its setter refuses for another reason names the property set.
    auto *demo = component(QStringLiteral("Demo"));
    demo->setProperty("RemoteDatabase", QStringLiteral("gone.db"));
    window->designer()->select({demo});
    ui.answer(mrOk);
    EXPECT_FALSE(inspector()->commitValue(at(QStringLiteral("Connected")), QStringLiteral("True")));
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_TRUE(ui.messages[1].text.startsWith(QStringLiteral("Demo.Connected: Cannot connect")))
        << ui.messages[1].text.toStdString();
    EXPECT_EQ(ui.messages[1].text.count(QStringLiteral("Demo.")), 1) << "prefixed once";
    EXPECT_EQ(ui.pendingSteps(), 0u);
}
