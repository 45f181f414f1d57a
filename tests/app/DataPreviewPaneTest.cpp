// The data preview pane on a real SQLite file (and a PostgreSQL server when
// one is named): what it shows for each selection, rows read as the grid
// scrolls, and failures shown as messages.

#include "DataPreviewPane.h"
#include "DataSetTableModel.h"
#include "FormDesigner.h"
#include "GuiFixture.h"
#include "MainWindow.h"
#include "ModuleSurface.h"
#include "PgTestServer.h"

#include "designide/FormFile.h"
#include "designide/PackageLoader.h"
#include "orvlib/OvDB.h"
#include "orvlib/OvDriver.h"

#include "common/TestSupport.h"
#include "rtl/SysUtils.h"
#include "rtl/UiServices.h"

#include <QCoreApplication>
#include <QDir>
#include <QDockWidget>
#include <QHeaderView>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QString screenshotPath(const QString &Name)
{
    const QString dir = QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots");
    QDir().mkpath(dir);
    return dir + QLatin1Char('/') + Name + QStringLiteral(".png");
}

QString cell(const TDataPreviewPane &Pane, int Row, int Column)
{
    return Pane.model()->index(Row, Column).data().toString();
}

QStringList headers(const TDataPreviewPane &Pane)
{
    QStringList list;
    for (int c = 0; c < Pane.model()->columnCount(); ++c)
        list << Pane.model()->headerData(c, Qt::Horizontal).toString();
    return list;
}

// A data module with a database on a new SQLite file holding "items" (2000
// rows: id, name, price, note with a null in every tenth row and a line
// break in row 2), a query on it, and a data source.
struct SQLiteModule
{
    static constexpr int Rows = 2000;
    TempFolder dir;
    TFormDesignerPtr designer;
    TOvDatabase *db = nullptr;
    TOvQuery *query = nullptr;
    TDataSource *source = nullptr;

    SQLiteModule()
    {
        auto root = std::make_unique<QObject>();
        root->setObjectName(QStringLiteral("DataModule1"));
        db = new TOvDatabase(root.get());
        db->setObjectName(QStringLiteral("OvDatabase1"));
        db->SetDatabaseName(QStringLiteral("PreviewDemo"));
        db->SetServerType(TOvServerType::stSQLite);
        db->SetRemoteDatabase(dir.file(QStringLiteral("demo.db")));
        db->Params()->Add(QStringLiteral("CREATE=true"));
        db->ExecSQL(
            QStringLiteral(
                "create table items (id integer primary key, name varchar(40), price real, note "
                "text);"
                "with recursive s(i) as (select 1 union all select i + 1 from s where i < %1)"
                " insert into items select i, 'Item ' || i, i * 1.5,"
                " case when i % 10 = 0 then null when i = 2 then 'two' || char(10) || 'lines'"
                " else 'note ' || i end from s;")
                .arg(Rows));
        query = new TOvQuery(root.get());
        query->setObjectName(QStringLiteral("OvQuery1"));
        query->SetDatabaseName(QStringLiteral("PreviewDemo"));
        query->SQL()->SetText(QStringLiteral("select * from items order by id"));
        source = new TDataSource(root.get());
        source->setObjectName(QStringLiteral("DataSource1"));
        designer = std::make_shared<TFormDesigner>(std::move(root));
    }
    ~SQLiteModule() { designer.reset(); }
};

} // namespace

// A dataset whose form stores Active = True is held closed: the pane says
// so, nothing has run, and its Open button opens it in one step.
TEST(DataPreviewPane, aHeldDatasetIsNamedAndOpensInOneStep)
{
    SQLiteModule m;
    m.query->SQL()->SetText(QStringLiteral("delete from items where id > 10 returning id"));
    SetHeldActivation(m.query, QStringLiteral("Active"), true); // as the form reader holds it
    TDataPreviewPane pane;
    pane.setDesigner(m.designer);
    m.designer->select({m.query});
    EXPECT_TRUE(pane.statusText().contains(QStringLiteral("held closed")))
        << pane.statusText().toStdString();
    EXPECT_FALSE(pane.openButton()->isHidden());
    EXPECT_EQ(m.db->ExecSQL(QStringLiteral("update items set price = price")), SQLiteModule::Rows)
        << "nothing ran";
    m.designer->select({m.source});
    EXPECT_TRUE(pane.openButton()->isHidden()) << "only for a held dataset";
    m.designer->select({m.query});

    pane.openButton()->click();
    EXPECT_TRUE(m.query->Active()) << "the person asked";
    EXPECT_EQ(pane.dataSet(), m.query);
    EXPECT_TRUE(pane.openButton()->isHidden());
    EXPECT_TRUE(IsHeldActivation(m.query, QStringLiteral("Active"))) << "still stored True";
}

TEST(DataPreviewPane, showsTheRowsOfTheSelectedActiveDatasetAndSaysWhyOtherwise)
{
    SQLiteModule m;
    TDataPreviewPane pane;
    pane.resize(640, 360);
    pane.show();

    EXPECT_EQ(pane.statusText(), QStringLiteral("No data module is open."));
    pane.setDesigner(m.designer);
    EXPECT_EQ(pane.statusText(), QStringLiteral("Select an active dataset to see its rows."));
    EXPECT_EQ(pane.model()->rowCount(), 0);

    m.designer->select({m.db});
    EXPECT_EQ(pane.statusText(), QStringLiteral("OvDatabase1 is not a dataset."));
    m.designer->select({m.query});
    EXPECT_EQ(pane.statusText(),
              QStringLiteral("OvQuery1 is not active: set Active to True to see its rows."));
    EXPECT_EQ(pane.dataSet(), nullptr) << "an inactive dataset shows nothing";
    EXPECT_FALSE(m.query->Active()) << "and the pane does not open it";

    // Opening the selected dataset (as the inspector does) fills the grid.
    m.query->SetActive(true);
    m.designer->Modified();
    ASSERT_EQ(pane.dataSet(), m.query);
    EXPECT_EQ(headers(pane), (QStringList{"id", "name", "price", "note"})) << "from the fields";
    EXPECT_LT(pane.model()->rowCount(), SQLiteModule::Rows) << "not every row at once";
    EXPECT_GT(pane.model()->rowCount(), 0);
    EXPECT_EQ(cell(pane, 0, 1), QStringLiteral("Item 1"));
    EXPECT_EQ(cell(pane, 9, 3), QString()) << "null shows empty";
    EXPECT_EQ(pane.model()->index(9, 3).data(Qt::ToolTipRole).toString(), QStringLiteral("(null)"));
    EXPECT_EQ(cell(pane, 1, 3), QStringLiteral("two …")) << "one line per row";
    EXPECT_EQ(cell(pane, 2, 2), QStringLiteral("4.5"));
    EXPECT_EQ(pane.model()->headerData(4, Qt::Vertical).toInt(), 5) << "rows numbered from 1";
    EXPECT_TRUE(pane.statusText().startsWith(QStringLiteral("OvQuery1: first ")))
        << pane.statusText().toStdString();
    pane.grab().save(screenshotPath(QStringLiteral("data_preview")));

    // Scrolling to the end of what was read reads the next batch, not the rest.
    const int before = pane.model()->rowCount();
    pane.grid()->scrollToBottom();
    QCoreApplication::processEvents();
    const int after = pane.model()->rowCount();
    EXPECT_GT(after, before) << "the grid asked for more";
    EXPECT_LT(after, SQLiteModule::Rows);
    EXPECT_EQ(cell(pane, after - 1, 0), QString::number(after)) << "in order, none skipped";
    EXPECT_EQ(m.query->RecNo(), 1) << "the dataset's cursor stays where it was";

    // Reading everything through the dataset (its count) shows in the grid.
    EXPECT_EQ(m.query->RecordCount(), SQLiteModule::Rows);
    m.designer->Modified();
    EXPECT_EQ(pane.model()->rowCount(), SQLiteModule::Rows);
    EXPECT_FALSE(pane.model()->canFetchMore());
    EXPECT_EQ(pane.statusText(), QStringLiteral("OvQuery1: 2000 row(s), 4 field(s)."));

    // Two components, or one that is no dataset: nothing shown.
    m.designer->select({m.query, m.db});
    EXPECT_EQ(pane.model()->rowCount(), 0);
    EXPECT_EQ(pane.statusText(),
              QStringLiteral("2 components are selected: select one dataset to see its rows."));
    m.designer->select({m.source});
    EXPECT_EQ(pane.statusText(), QStringLiteral("DataSource1 is not a dataset."));

    // Closing the dataset by itself (its database disconnecting) empties the grid.
    m.designer->select({m.query});
    EXPECT_EQ(pane.dataSet(), m.query);
    m.db->Close();
    EXPECT_FALSE(m.query->Active());
    EXPECT_EQ(pane.dataSet(), nullptr);
    EXPECT_EQ(pane.model()->rowCount(), 0);
    EXPECT_EQ(pane.statusText(),
              QStringLiteral("OvQuery1 is not active: set Active to True to see its rows."));
    m.query->Open(); // reopening without the designer hearing of it
    EXPECT_EQ(pane.dataSet(), m.query);
    EXPECT_GT(pane.model()->rowCount(), 0);

    // A deleted dataset leaves an empty pane behind.
    delete m.query;
    m.designer->notifyComponentsChanged();
    EXPECT_EQ(pane.dataSet(), nullptr);
    EXPECT_EQ(pane.model()->columnCount(), 0);
    EXPECT_EQ(pane.statusText(), QStringLiteral("Select an active dataset to see its rows."));

    pane.setDesigner(nullptr);
    EXPECT_EQ(pane.statusText(), QStringLiteral("No data module is open."));
}

TEST(DataPreviewPane, persistentFieldsGiveTheColumnsAndTheirTitles)
{
    SQLiteModule m;
    auto *id = new TField(m.designer->Root());
    id->SetFieldName(QStringLiteral("id"));
    id->SetDataSet(m.query);
    auto *name = new TField(m.designer->Root());
    name->SetFieldName(QStringLiteral("name"));
    name->SetDisplayLabel(QStringLiteral("Item name"));
    name->SetDataSet(m.query);
    auto *price = new TField(m.designer->Root());
    price->SetFieldName(QStringLiteral("price"));
    price->SetVisible(false);
    price->SetDataSet(m.query);
    m.query->Open();

    TDataPreviewPane pane;
    pane.setDesigner(m.designer);
    m.designer->select({m.query});
    EXPECT_EQ(headers(pane), (QStringList{"id", "Item name"})) << "hidden fields are no columns";
    EXPECT_EQ(cell(pane, 4, 1), QStringLiteral("Item 5"));
    EXPECT_EQ(pane.model()->index(4, 0).data(Qt::TextAlignmentRole).value<Qt::Alignment>()
                  & Qt::AlignRight,
              Qt::AlignRight)
        << "numbers to the right";
}

TEST(DataPreviewPane, aFailureWhileReadingIsShownOnceAndTheRowsReadStay)
{
    SQLiteModule m;
    // abs() of the smallest integer overflows at row 150.
    m.query->SQL()->SetText(
        QStringLiteral("select id, case when id = 150 then abs(-9223372036854775807 - 1) else id"
                       " end as v from items order by id"));
    m.query->Open();
    TDataPreviewPane pane;
    pane.setDesigner(m.designer);
    m.designer->select({m.query});
    ASSERT_EQ(pane.model()->rowCount(), 100);

    ScriptedUi ui;
    ui.answer(mrOk);
    pane.model()->fetchMore();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.messages[0].text.contains(QStringLiteral("overflow")))
        << ui.messages[0].text.toStdString();
    EXPECT_EQ(ui.messages[0].type, mtError);
    EXPECT_EQ(pane.model()->rowCount(), 149) << "the rows before the failure stay";
    EXPECT_FALSE(pane.model()->canFetchMore()) << "no message after message while scrolling";
    pane.grid()->scrollToBottom();
    QCoreApplication::processEvents();
    EXPECT_EQ(ui.messages.size(), 1u);

    // Reopened with a good statement, the grid reads again.
    m.query->Close();
    m.query->SQL()->SetText(QStringLiteral("select id from items"));
    m.query->Open();
    EXPECT_TRUE(pane.model()->canFetchMore());
    pane.model()->fetchMore();
    EXPECT_EQ(pane.model()->rowCount(), 300);
}

TEST(DataPreviewPane, readsAPostgreSQLTableThroughACursor)
{
    QString problem;
    std::unique_ptr<TOvDriver> admin = pgAdmin(&problem);
    OV_REQUIRE_PG(problem);
    const QString conninfo = pgConnInfo();
    const QString schema = pgUniqueName("ovpreview_");
    admin->Execute(QStringLiteral("create schema %1; create table %1.\"Order Lines\" (\"Line No\""
                                  " integer primary key, amount numeric(10,2), shipped date);"
                                  " insert into %1.\"Order Lines\" select g, g / 4.0,"
                                  " date '2024-01-01' + g from generate_series(1, 50000) g")
                       .arg(schema),
                   {});
    struct Drop
    {
        TOvDriver *admin;
        QString schema;
        ~Drop() { admin->Execute(QStringLiteral("drop schema %1 cascade").arg(schema), {}); }
    } drop{admin.get(), schema};

    auto root = std::make_unique<QObject>();
    auto *db = new TOvDatabase(root.get());
    db->SetDatabaseName(QStringLiteral("PgPreview"));
    db->SetServerType(TOvServerType::stPostgreSQL);
    db->SetLoginPrompt(false);
    db->SetRemoteDatabase(conninfo);
    db->Params()->Add(QStringLiteral("options=-c search_path=%1").arg(schema));
    auto *table = new TOvTable(root.get());
    table->setObjectName(QStringLiteral("OvTable1"));
    table->SetDatabaseName(QStringLiteral("PgPreview"));
    table->SetTableName(QStringLiteral("\"Order Lines\""));
    auto designer = std::make_shared<TFormDesigner>(std::move(root));

    TDataPreviewPane pane;
    pane.resize(640, 360);
    pane.show();
    pane.setDesigner(designer);
    designer->select({table});
    table->Open();
    EXPECT_EQ(headers(pane), (QStringList{"Line No", "amount", "shipped"}));
    EXPECT_EQ(pane.model()->rowCount(), 100) << "one batch of 50000";
    EXPECT_EQ(cell(pane, 0, 1), QStringLiteral("0.25"));
    EXPECT_EQ(cell(pane, 1, 1), QStringLiteral("0.50")) << "the value with its scale";
    EXPECT_EQ(cell(pane, 0, 2), QStringLiteral("2024-01-02"));
    pane.grid()->scrollToBottom();
    QCoreApplication::processEvents();
    EXPECT_EQ(pane.model()->rowCount(), 300);
    EXPECT_EQ(cell(pane, 299, 0), QStringLiteral("300"));
    pane.grab().save(screenshotPath(QStringLiteral("data_preview_postgresql")));
    table->Close();
    designer.reset();
}

namespace {
class DataPreviewInMainWindow : public GuiTest
{
protected:
    // A suite run before in the same process may have left the package loaded.
    static void SetUpTestSuite()
    {
        unloadAllPackages();
        GuiTest::SetUpTestSuite();
    }
};
} // namespace

// In the designer's window: click a table of the demo, make it active as the
// inspector does, and the preview dock shows its rows.
TEST_F(DataPreviewInMainWindow, showsTheDemoTableSelectedOnTheSurface)
{
    TMainWindow window(nullptr, folder().file(QStringLiteral("recent.ini")));
    window.resize(1100, 720);
    window.show();
    ASSERT_TRUE(window.openForm(demoForm()));
    TDataPreviewPane *pane = window.dataPreview();
    ASSERT_TRUE(pane);
    auto *customers = window.designer()->Root()->findChild<TOvTable *>(QStringLiteral("tCustomer"));
    ASSERT_TRUE(customers);

    QTest::mouseClick(window.surface()->viewport(), Qt::LeftButton, {},
                      window.surface()->boxRect(customers).center());
    ASSERT_EQ(window.designer()->selection(), QList<QObject *>{customers});
    EXPECT_EQ(pane->statusText(),
              QStringLiteral("tCustomer is not active: set Active to True to see its rows."));
    customers->SetActive(true);
    window.designer()->Modified();
    ASSERT_EQ(pane->dataSet(), customers);
    EXPECT_EQ(pane->model()->rowCount(), customers->RecordCount());
    EXPECT_GT(pane->model()->rowCount(), 0);
    EXPECT_EQ(pane->model()->columnCount(), customers->FieldCount());

    auto *dock = qobject_cast<QDockWidget *>(pane->parentWidget());
    ASSERT_TRUE(dock);
    dock->raise();
    QCoreApplication::processEvents();
    const QImage picture = screenshot(&window, QStringLiteral("mainwindow_data_preview"));
    EXPECT_GT(colourCount(picture), 20);
    customers->Close();
    window.designer()->setModified(false);
}
