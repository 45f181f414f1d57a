// Check Module in the designer's window: the check runs from the event loop
// (the window answers, with progress and Cancel), its findings fill the
// Problems pane, a double click selects the component and the property in
// the Object Inspector, and the structure view marks the component.
#include "ProblemsPane.h"
#include "GuiFixture.h"
#include "MainWindow.h"
#include "PropertiesPane.h"
#include "StructurePane.h"

#include "designide/Sprigs.h"

#include <QAction>
#include <QDockWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeView>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

class ProblemsPaneTest : public GuiTest
{
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        window
            = std::make_unique<TMainWindow>(nullptr, folder().file(QStringLiteral("recent.ini")));
        ASSERT_TRUE(window->openForm(demoForm()));
    }
    void TearDown() override { window.reset(); }

    QStringList rows() const
    {
        QStringList list;
        QTreeWidget *l = window->problems()->list();
        for (int i = 0; i < l->topLevelItemCount(); ++i) {
            const QTreeWidgetItem *item = l->topLevelItem(i);
            list << QStringLiteral("%1 %2.%3").arg(item->text(0), item->text(1), item->text(2));
        }
        return list;
    }

    std::unique_ptr<TMainWindow> window;
};

TEST_F(ProblemsPaneTest, checkModuleFillsThePaneAndLeadsToTheProperty)
{
    TProblemsPane *pane = window->problems();
    window->action(QStringLiteral("actCheckModule"))->trigger();
    // The command returns at once: the check goes on from the event loop.
    EXPECT_TRUE(pane->running()) << "the window is not held until the check ends";
    EXPECT_FALSE(pane->progress()->isHidden());
    EXPECT_FALSE(pane->cancelButton()->isHidden());
    EXPECT_FALSE(qobject_cast<QDockWidget *>(pane->parentWidget())->isHidden());

    // Cancel stops it; nothing is marked.
    pane->cancelButton()->click();
    EXPECT_FALSE(pane->running());
    EXPECT_TRUE(pane->progress()->isHidden());
    EXPECT_TRUE(pane->status().startsWith(QStringLiteral("Cancelled after ")))
        << pane->status().toStdString();

    // Run to the end: the demo's stored procedure does not exist on SQLite.
    window->checkModule();
    pane->finish();
    EXPECT_EQ(rows(), QStringList{QStringLiteral("error spRecalcTotals.StoredProcName")});
    EXPECT_EQ(pane->status(),
              QStringLiteral("1 error, 0 warnings, 0 info; 5 of 5 datasets checked"));
    EXPECT_FALSE(window->designer()->isModified()) << "checking changes nothing";
    window->resize(1100, 720);
    screenshot(window.get(), QStringLiteral("problems-pane"));

    // The structure view marks the component, and only it.
    TStructureModel *structure = window->structure()->model();
    QObject *proc
        = window->designer()->Root()->findChild<QObject *>(QStringLiteral("spRecalcTotals"));
    QObject *query = window->designer()->Root()->findChild<QObject *>(QStringLiteral("qOrders"));
    const QModelIndex procRow = structure->indexOf(structure->sprigOfItem(proc));
    EXPECT_TRUE(procRow.data(TStructureModel::CheckProblemRole).toBool());
    EXPECT_TRUE(procRow.data(Qt::ToolTipRole)
                    .toString()
                    .contains(QStringLiteral("no stored procedure RecalcTotals")));
    EXPECT_FALSE(structure->indexOf(structure->sprigOfItem(query))
                     .data(TStructureModel::CheckProblemRole)
                     .toBool());

    // A double click selects the component and its property.
    pane->showProblem(0);
    EXPECT_EQ(window->designer()->selection(), QList<QObject *>{proc});
    const QModelIndex current = window->inspector()->view()->currentIndex();
    EXPECT_EQ(current.siblingAtColumn(0).data().toString(), QStringLiteral("StoredProcName"));

    // A row whose component has gone since selects nothing.
    window->designer()->select({});
    delete proc;
    window->designer()->notifyComponentsChanged();
    window->designer()->setModified(false);
    pane->showProblem(0);
    EXPECT_TRUE(window->designer()->selection().isEmpty());

    // Another module: the rows and marks go.
    window->newModule();
    EXPECT_EQ(pane->list()->topLevelItemCount(), 0);
}

} // namespace
