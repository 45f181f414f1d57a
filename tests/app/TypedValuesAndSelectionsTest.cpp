// The Object Inspector in the main window: a value typed and not entered is
// stored before the module is saved or closed, and several components
// selected in any way show the rows they share, set together in one step.
#include "GuiFixture.h"
#include "MainWindow.h"
#include "ModuleSurface.h"
#include "PropertiesPane.h"
#include "StructureModel.h"
#include "StructurePane.h"

#include "designide/FormFile.h"
#include "orvlib/OvDataSets.h"
#include "rtl/UiServices.h"

#include <QAction>
#include <QLineEdit>
#include <QTest>
#include <QTreeView>

namespace {

class TypedValuesAndSelectionsTest : public WindowTest
{
protected:
    TInspectorPane *inspector() const { return window->inspector(); }
    QModelIndex at(const QString &Path) const { return inspector()->itemModel().indexOf(Path); }
    // Opens the editor of row Path and types Text into it, without Enter.
    QLineEdit *typeInto(const QString &Path, const QString &Text)
    {
        const QModelIndex index = at(Path);
        QTreeView *view = inspector()->view();
        view->setCurrentIndex(index);
        if (!view->indexWidget(index)) // a new current row may have opened it
            view->edit(index);
        QWidget *editor = view->indexWidget(index);
        auto *line = editor ? editor->findChild<QLineEdit *>() : nullptr;
        if (!line)
            return nullptr;
        line->setFocus();
        line->selectAll();
        QTest::keyClicks(line, Text);
        return line;
    }
    QString savedText() const { return ReadFormFileText(demoForm()); }
    QString databaseOf(const QString &Name) const
    {
        return qobject_cast<TOvDataSet *>(component(Name))->DatabaseName();
    }
    QPoint centreOf(const QString &Name) const
    {
        return window->surface()->boxRect(component(Name)).center();
    }
};

} // namespace

// Ctrl+S with a value typed and not entered saves that value; so does
// closing after Yes; a refused value stops the save and keeps the file.
TEST_F(TypedValuesAndSelectionsTest, ATypedValueIsStoredBeforeSavingOrClosing)
{
    ASSERT_TRUE(openDemo());
    const TFormDesignerPtr &d = window->designer();
    auto *customer = qobject_cast<TOvTable *>(component(QStringLiteral("tCustomer")));
    d->select({customer});
    QLineEdit *line = typeInto(QStringLiteral("TableName"), QStringLiteral("Orders"));
    ASSERT_TRUE(line);
    EXPECT_EQ(customer->TableName(), QStringLiteral("Customer")) << "not entered yet";
    QTest::keyClick(line, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(customer->TableName(), QStringLiteral("Orders")) << "stored by the save";
    EXPECT_TRUE(savedText().contains(QLatin1String("TableName = 'Orders'")));
    EXPECT_FALSE(d->isModified());
    EXPECT_EQ(window->action(QStringLiteral("actUndo"))->text(),
              QStringLiteral("&Undo Set tCustomer.TableName"));

    // Quitting with a value typed: it is stored, and the window asks.
    ASSERT_TRUE(typeInto(QStringLiteral("TableName"), QStringLiteral("Customer")));
    ScriptedUi ui;
    ui.answer(mrCancel);
    EXPECT_FALSE(window->close()) << "cancelled";
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.messages[0].text.startsWith(QLatin1String("Save changes to demo.dfm?")));
    EXPECT_EQ(customer->TableName(), QStringLiteral("Customer"));
    EXPECT_TRUE(d->isModified());

    // A name typed on the surface and not entered: stored by the save.
    d->select({customer});
    QLineEdit *rename = window->surface()->beginRename(customer);
    ASSERT_TRUE(rename);
    rename->setText(QStringLiteral("tClients"));
    ASSERT_TRUE(window->save());
    EXPECT_EQ(customer->objectName(), QStringLiteral("tClients"));
    EXPECT_TRUE(savedText().contains(QLatin1String("object tClients: TOvTable")));
    EXPECT_EQ(ui.messages.size(), 1u);

    // A value the property refuses: the save stops, the file stays.
    const QString saved = savedText();
    d->select({component(QStringLiteral("qOrders"))});
    ASSERT_TRUE(typeInto(QStringLiteral("UpdateObject"), QStringLiteral("nosuch")));
    ui.answer(mrOk);
    EXPECT_FALSE(window->save());
    EXPECT_EQ(ui.messages.size(), 2u) << "the refusal shown";
    EXPECT_EQ(savedText(), saved);
}

// Ctrl+click, a rubber band, the structure view and Select All each show
// what the selected components share; a value set there is one step.
TEST_F(TypedValuesAndSelectionsTest, SeveralComponentsShowAndSetWhatTheyShare)
{
    ASSERT_TRUE(openDemo());
    const TFormDesignerPtr &d = window->designer();
    QWidget *viewport = window->surface()->viewport();

    // A query and a table, by Ctrl+click after a click on empty space
    // (the module selected): they share DatabaseName, the module leaves.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(700, 500));
    ASSERT_EQ(d->selection(), QList<QObject *>{d->Root()});
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier,
                      centreOf(QStringLiteral("qOrders")));
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier,
                      centreOf(QStringLiteral("tCustomer")));
    ASSERT_EQ(d->selection(), (QList<QObject *>{component(QStringLiteral("qOrders")),
                                                component(QStringLiteral("tCustomer"))}));
    EXPECT_EQ(inspector()->caption(), QStringLiteral("2 components selected"));
    ASSERT_TRUE(at(QStringLiteral("DatabaseName")).isValid());
    EXPECT_FALSE(at(QStringLiteral("TableName")).isValid()) << "the table's own";
    EXPECT_FALSE(at(QStringLiteral("SQL")).isValid()) << "the query's own";
    ASSERT_TRUE(inspector()->commitValue(at(QStringLiteral("DatabaseName")), QStringLiteral("X")));
    EXPECT_EQ(databaseOf(QStringLiteral("qOrders")), QStringLiteral("X"));
    EXPECT_EQ(databaseOf(QStringLiteral("tCustomer")), QStringLiteral("X"));
    window->undo();
    EXPECT_EQ(databaseOf(QStringLiteral("qOrders")), QStringLiteral("Demo")) << "one step";
    EXPECT_EQ(databaseOf(QStringLiteral("tCustomer")), QStringLiteral("Demo"));
    window->redo();
    EXPECT_EQ(databaseOf(QStringLiteral("tCustomer")), QStringLiteral("X"));
    window->undo();

    // A band down the first column below the database: three datasets.
    const QRect orders = window->surface()->boxRect(component(QStringLiteral("qOrders")));
    const QRect proc = window->surface()->boxRect(component(QStringLiteral("spRecalcTotals")));
    const QPoint from(orders.left() - 10, orders.top() - 4);
    QTest::mousePress(viewport, Qt::LeftButton, {}, from);
    QTest::mouseMove(viewport, from + QPoint(5, 5));
    QTest::mouseMove(viewport, proc.center());
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, proc.center());
    EXPECT_EQ(d->selection().size(), 3);
    EXPECT_TRUE(at(QStringLiteral("DatabaseName")).isValid()) << "after a rubber band";

    // Two rows of the structure view, after the module's own.
    d->select({d->Root()});
    TStructurePane *structure = window->structure();
    auto rowOf = [&](const QString &Name) {
        return structure->model()->indexOf(structure->model()->sprigOfItem(component(Name)));
    };
    QTreeView *tree = structure->view();
    tree->scrollTo(rowOf(QStringLiteral("qTotals")));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      tree->visualRect(rowOf(QStringLiteral("qTotals"))).center());
    tree->scrollTo(rowOf(QStringLiteral("tCustomerOrders")));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      tree->visualRect(rowOf(QStringLiteral("tCustomerOrders"))).center());
    EXPECT_EQ(d->selection().size(), 2);
    EXPECT_TRUE(at(QStringLiteral("DatabaseName")).isValid()) << "from the structure view";

    // Select All: every row shown is every component's.
    window->selectAll();
    EXPECT_EQ(inspector()->caption(), QStringLiteral("10 components selected"));
    for (int i = 0; i < inspector()->inspector().rowCount(); ++i) {
        const QString name = inspector()->inspector().row(i)->name();
        for (QObject *c : d->selection())
            EXPECT_GE(c->metaObject()->indexOfProperty(name.toLatin1().constData()), 0)
                << name.toStdString() << " of " << c->objectName().toStdString();
    }
}
