// The Object Inspector in the main window as a person uses it: the Name row,
// the filter, Booleans as check boxes and the line describing a property.
#include "GuiFixture.h"
#include "MainWindow.h"
#include "PropertiesPane.h"

#include "rtl/UiServices.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
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
