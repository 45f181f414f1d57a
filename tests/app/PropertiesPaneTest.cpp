// The Object Inspector pane driven as a person drives it, offscreen, on a
// data module of real components with the package module loaded and its
// editors registered, against a real SQLite database.
#include "PropertiesPane.h"
#include "FormDesigner.h"
#include "GuiFixture.h"
#include "MainWindow.h"
#include "ModuleSurface.h"

#include "designide/FormFile.h"
#include "designide/PackageLoader.h"
#include "designide/Registrations.h"
#include "orvlib/DB.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvUpdateSQL.h"
#include "rtl/UiServices.h"

#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include <gtest/gtest.h>

namespace {

class InspectorPaneTest : public GuiTest
{
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        auto root = std::make_unique<TDataModule>();
        root->setObjectName("DataModule1");
        database = new TOvDatabase(root.get());
        database->setObjectName("Database1");
        database->SetDatabaseName("INSPECT");
        database->SetServerType(TOvServerType::stSQLite);
        database->SetRemoteDatabase(tmp.file("inspect.db"));
        database->Params()->Add("CREATE=TRUE");
        database->SetConnected(true);
        database->ExecSQL("create table CUSTOMER (ID integer primary key, NAME text)");
        database->ExecSQL("create table ORDERS (ID integer primary key, CUSTOMER_ID integer)");
        database->ExecSQL("create table \"odd.name\" (ID integer)");
        database->SetConnected(false);
        database->Params()->Clear();

        table = new TOvTable(root.get());
        table->setObjectName("Table1");
        table->SetDatabaseName("INSPECT");
        query = new TOvQuery(root.get());
        query->setObjectName("Query1");
        query->SetDatabaseName("INSPECT");
        update = new TOvUpdateSQL(root.get());
        update->setObjectName("UpdateSQL1");
        source = new TDataSource(root.get());
        source->setObjectName("DataSource1");

        designer = std::make_shared<TFormDesigner>(std::move(root));
        pane.resize(380, 560);
        pane.setDesigner(designer);
    }
    void TearDown() override { pane.setDesigner(nullptr); }

    QModelIndex at(const QString &Path) { return pane.itemModel().indexOf(Path); }
    QString shown(const QString &Path) { return at(Path).data().toString(); }

    // Opens the Value cell's editor as a click on the selected cell does.
    QWidget *openEditor(const QString &Path)
    {
        // Editors closed before are deleted first, so the one found is new.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const QModelIndex index = at(Path);
        EXPECT_TRUE(index.isValid()) << Path.toStdString();
        pane.view()->setCurrentIndex(index);
        pane.view()->edit(index);
        return pane.view()->indexWidget(index) ? pane.view()->indexWidget(index)
                                               : pane.view()->viewport()->focusWidget();
    }
    QComboBox *openCombo(const QString &Path)
    {
        openEditor(Path);
        return pane.view()->viewport()->findChild<QComboBox *>();
    }
    // Types Text into a combo's edit line and presses Return.
    void enter(QComboBox *Combo, const QString &Text)
    {
        ASSERT_NE(Combo->lineEdit(), nullptr);
        Combo->lineEdit()->selectAll();
        QTest::keyClicks(Combo->lineEdit(), Text);
        QTest::keyClick(Combo->lineEdit(), Qt::Key_Return);
    }
    QStringList items(QComboBox *Combo)
    {
        QStringList list;
        for (int i = 0; i < Combo->count(); ++i)
            list << Combo->itemText(i);
        return list;
    }
    QStringList topLevel()
    {
        QStringList names;
        for (int i = 0; i < pane.itemModel().rowCount(); ++i)
            names << pane.itemModel().index(i, 0).data().toString();
        return names;
    }

    TempFolder tmp;
    TOvDatabase *database = nullptr;
    TOvTable *table = nullptr;
    TOvQuery *query = nullptr;
    TOvUpdateSQL *update = nullptr;
    TDataSource *source = nullptr;
    TFormDesignerPtr designer;
    TInspectorPane pane;
};

TEST_F(InspectorPaneTest, followsTheSelectionAndEditsThroughTheWidgets)
{
    EXPECT_EQ(pane.itemModel().rowCount(), 0) << "nothing selected, nothing shown";
    designer->select({table});
    EXPECT_EQ(pane.caption(), "Table1: TOvTable");
    EXPECT_EQ(shown("DatabaseName"), "INSPECT");
    EXPECT_EQ(pane.itemModel().headerData(0, Qt::Horizontal).toString(), "Property");

    // The table-name drop-down lists the database's tables, sorted, odd names
    // as they are.
    QComboBox *combo = openCombo("TableName");
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(items(combo), QStringList({"\"odd.name\"", "CUSTOMER", "ORDERS"}));
    enter(combo, "ORDERS");
    EXPECT_EQ(table->TableName(), "ORDERS") << "the chosen name is written";
    EXPECT_EQ(shown("TableName"), "ORDERS");
    EXPECT_TRUE(designer->isModified()) << "the designer heard of the change";

    // Booleans and enumerations choose among their names.
    combo = openCombo("ReadOnly");
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(items(combo), QStringList({"False", "True"}));
    enter(combo, "true");
    EXPECT_TRUE(table->ReadOnly());

    // A double click on a list row runs its editor: the next value.
    const QModelIndex readOnly = at("ReadOnly");
    emit pane.view()->doubleClicked(readOnly);
    EXPECT_FALSE(table->ReadOnly());

    // With the database connected, typed text is completed from the list.
    database->SetConnected(true);
    combo = openCombo("TableName");
    ASSERT_NE(combo, nullptr);
    ASSERT_NE(combo->completer(), nullptr);
    EXPECT_EQ(combo->completer()->completionMode(), QCompleter::InlineCompletion);
    enter(combo, "cust");
    EXPECT_EQ(table->TableName(), "CUSTOMER") << "completed ignoring case";

    // Another component: the rows follow.
    designer->select({source});
    EXPECT_EQ(pane.caption(), "DataSource1: TDataSource");
    EXPECT_TRUE(at("TableName").isValid() == false);
}

TEST_F(InspectorPaneTest, referencesListOnlyComponentsOfTheirClass)
{
    designer->select({table});
    QComboBox *combo = openCombo("MasterSource");
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(items(combo), QStringList({"DataSource1"})) << "only data sources";
    enter(combo, "DataSource1");
    EXPECT_EQ(table->MasterSource(), source);

    designer->select({query});
    combo = openCombo("UpdateObject");
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(items(combo), QStringList({"UpdateSQL1"}));
    EXPECT_TRUE(pane.commitValue(at("UpdateObject"), "updatesql1"));
    EXPECT_EQ(query->UpdateObject(), update);

    ScriptedUi ui;
    ui.answer(mrOk);
    EXPECT_FALSE(pane.commitValue(at("UpdateObject"), "Table1")) << "a table is no update object";
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.messages[0].text.contains("Table1"));
    EXPECT_EQ(ui.messages[0].type, mtError);
    EXPECT_EQ(query->UpdateObject(), update) << "the reference stays";
}

TEST_F(InspectorPaneTest, errorsAreShownAndThePaneKeepsWorking)
{
    // A database whose file does not exist cannot connect; the name is
    // relative to the working folder.
    database->SetRemoteDatabase("missing/none.db");
    designer->select({database});
    designer->setModified(false);

    ScriptedUi ui;
    ui.answer(mrOk);
    QComboBox *combo = openCombo("Connected");
    ASSERT_NE(combo, nullptr);
    enter(combo, "True");
    ASSERT_EQ(ui.messages.size(), 1u) << "the failure is shown as a message box";
    EXPECT_EQ(ui.messages[0].type, mtError);
    const QString &text = ui.messages[0].text;
    EXPECT_TRUE(text.startsWith("Database1.Connected: ")) << text.toStdString();
    EXPECT_TRUE(text.contains(
        "Database file "
        + QDir::toNativeSeparators(QDir::current().absoluteFilePath("missing/none.db"))
        + " does not exist"))
        << "named with its full path: " << text.toStdString();
    EXPECT_FALSE(database->Connected());
    EXPECT_EQ(shown("Connected"), "False") << "the row shows what the component holds";
    EXPECT_FALSE(designer->isModified()) << "a failed write is no change";

    // Still working: a plain text property.
    EXPECT_TRUE(pane.commitValue(at("DatabaseName"), "RENAMED"));
    EXPECT_EQ(database->DatabaseName(), "RENAMED");
    EXPECT_TRUE(designer->isModified());
    EXPECT_EQ(ui.pendingSteps(), 0u);
}

TEST_F(InspectorPaneTest, ellipsisRunsTheEditorsDialog)
{
    const QString file = tmp.file("other.db");
    designer->select({database});
    designer->setModified(false);

    // The remote database: a history drop-down and a dialog.
    QComboBox *combo = openCombo("RemoteDatabase");
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(items(combo), QStringList({"<history list>"})) << "no history yet";
    enter(combo, "<history list>");
    EXPECT_EQ(database->RemoteDatabase(), tmp.file("inspect.db")) << "the placeholder is no value";
    EXPECT_FALSE(designer->isModified());

    ScriptedUi ui;
    QString offered;
    ui.onOpenFile([&](TOpenDialog &Dialog) {
        offered = Dialog.Filter;
        Dialog.FileName = file;
        return true;
    });
    openCombo("RemoteDatabase");
    auto *ellipsis = pane.view()->viewport()->findChild<QToolButton *>("ellipsis");
    ASSERT_NE(ellipsis, nullptr) << "a dialog row has an ellipsis button";
    QTest::mouseClick(ellipsis, Qt::LeftButton);
    EXPECT_TRUE(offered.startsWith("SQLite")) << "the file dialog ran through the seam";
    EXPECT_EQ(database->RemoteDatabase(), file);
    EXPECT_EQ(shown("RemoteDatabase"), file);
    EXPECT_TRUE(designer->isModified());
    EXPECT_EQ(ui.pendingSteps(), 0u);

    // Parameters of a query: "(TParams)", never a count.
    designer->select({query});
    EXPECT_EQ(shown("Params"), "(TParams)");
}

TEST_F(InspectorPaneTest, multiSelectionShowsSharedRowsAndWritesAll)
{
    table->SetDatabaseName("ONE");
    query->SetDatabaseName("TWO");
    designer->select({table, query});
    EXPECT_EQ(pane.caption(), "2 components selected");
    const QStringList rows = topLevel();
    EXPECT_TRUE(rows.contains("DatabaseName"));
    EXPECT_TRUE(rows.contains("SessionName"));
    EXPECT_FALSE(rows.contains("TableName")) << "only the table has it";
    EXPECT_FALSE(rows.contains("SQL")) << "only the query has it";
    EXPECT_EQ(shown("DatabaseName"), "") << "different values show blank";

    QComboBox *combo = openCombo("DatabaseName");
    ASSERT_NE(combo, nullptr);
    EXPECT_TRUE(items(combo).contains("INSPECT"))
        << "the databases of the first component's session";
    enter(combo, "INSPECT");
    EXPECT_EQ(table->DatabaseName(), "INSPECT");
    EXPECT_EQ(query->DatabaseName(), "INSPECT");
    EXPECT_EQ(shown("DatabaseName"), "INSPECT");

    designer->select({database, table});
    EXPECT_FALSE(topLevel().contains("RemoteDatabase"));
}

TEST_F(InspectorPaneTest, categoriesGroupTheRowsAndSubPropertiesExpand)
{
    designer->select({update});
    EXPECT_FALSE(pane.itemModel().groupByCategory());
    pane.categoryButton()->click();
    ASSERT_TRUE(pane.itemModel().groupByCategory());
    const QStringList groups = topLevel();
    ASSERT_FALSE(groups.isEmpty());
    EXPECT_EQ(groups.first(), "Database") << "the package's category";
    const QModelIndex database = pane.itemModel().index(0, 0);
    QStringList inDatabase;
    for (int i = 0; i < pane.itemModel().rowCount(database); ++i)
        inDatabase << pane.itemModel().index(i, 0, database).data().toString();
    EXPECT_EQ(inDatabase, QStringList({"DeleteSQL", "InsertSQL", "ModifySQL", "RefreshSQL"}));
    EXPECT_TRUE(pane.view()->isExpanded(database));
    pane.categoryButton()->click();
    EXPECT_TRUE(topLevel().contains("ModifySQL"));

    // An object property whose editor unfolds it: the update object of a
    // query seen through its own properties.
    {
        CurrentPackageScope scope("InspectorPaneTest");
        RegisterPropertyEditor(TypeInfo("TOvDataSetUpdateObject"), &TOvQuery::staticMetaObject,
                               "UpdateObject", propertyEditorClass<TClassProperty>());
    }
    query->SetUpdateObject(update);
    designer->select({query});
    const QModelIndex object = at("UpdateObject");
    ASSERT_TRUE(pane.itemModel().hasChildren(object.siblingAtColumn(0)));
    pane.view()->expand(object.siblingAtColumn(0));
    const QModelIndex modify = at("UpdateObject.ModifySQL");
    ASSERT_TRUE(modify.isValid());
    EXPECT_EQ(modify.parent(), object.siblingAtColumn(0));
    registrations().removePackage("InspectorPaneTest");
}

TEST_F(InspectorPaneTest, screenshot)
{
    table->SetTableName("CUSTOMER");
    designer->select({table});
    pane.show();
    pane.view()->setCurrentIndex(at("TableName"));
    EXPECT_GT(colourCount(screenshot(&pane, "inspector")), 10);
    pane.categoryButton()->click();
    EXPECT_GT(colourCount(screenshot(&pane, "inspector-categories")), 10);
}

// In the main window: a click on the surface selects, the docked inspector
// follows, and a value typed there marks the module modified.
TEST_F(InspectorPaneTest, inTheMainWindowFollowsTheSurface)
{
    TMainWindow window(nullptr, folder().file("recent.ini"));
    window.resize(1100, 720);
    window.show();
    ASSERT_TRUE(window.openForm(demoForm()));
    TInspectorPane *inspector = window.inspector();
    ASSERT_NE(inspector, nullptr);
    QObject *orders
        = window.designer()->Root()->findChild<QObject *>("qOrders", Qt::FindDirectChildrenOnly);
    ASSERT_NE(orders, nullptr);
    QTest::mouseClick(window.surface()->viewport(), Qt::LeftButton, {},
                      window.surface()->boxRect(orders).center());
    EXPECT_EQ(inspector->caption(), "qOrders: TOvQuery");
    const QModelIndex check = inspector->itemModel().indexOf("ParamCheck");
    ASSERT_TRUE(check.isValid());
    EXPECT_FALSE(window.designer()->isModified());
    EXPECT_TRUE(inspector->commitValue(check, "False"));
    EXPECT_FALSE(orders->property("ParamCheck").toBool());
    EXPECT_TRUE(window.designer()->isModified());
    EXPECT_GT(colourCount(screenshot(&window, "mainwindow-inspector")), 20);
    window.designer()->setModified(false);
}

} // namespace
