// The persistent-fields editor on real databases: fields added from what the
// database reports, removed, named after their dataset, used when the dataset
// opens; every dialog through the modal seam.

#include "TestComponents.h"
#include "PgTestServer.h"

#include "../orvlib/SQLiteFixture.h"

#include "designide/DSDesign.h"
#include "designide/DesignErrors.h"
#include "designide/FormFile.h"

#include "orvlib/OvDB.h"
#include "orvlib/OvDriver.h"

#include "rtl/UiServices.h"

#include <QCoreApplication>
#include <QDir>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace {

QPushButton *button(TForm &F, const char *Name)
{
    return F.findChild<QPushButton *>(QLatin1String(Name));
}

QString screenshotPath(const char *Name)
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QLatin1String(Name));
}

QString fieldNames(TDataSet *Ds)
{
    QStringList names;
    for (int i = 0; i < Ds->FieldCount(); ++i)
        names << Ds->Fields(i)->FieldName();
    return names.join(u',');
}

QString componentNames(const QObject *Root)
{
    QStringList names;
    for (const QObject *c : Root->children())
        if (qobject_cast<const TField *>(c))
            names << c->objectName();
    return names.join(u',');
}

const TDSDesignerClass kDesignerClass{QStringLiteral("TDSDesigner")};

} // namespace

// The walk a person takes: open the editor, add some of the columns, remove
// one, look again (only the columns without a field are offered), close.
TEST(FieldsEditor, addAndRemoveFromSQLite)
{
    SQLiteShop shop;
    QObject root;
    root.setObjectName(QStringLiteral("DataModule1"));
    auto designer = std::make_shared<CountingDesigner>();
    designer->root = &root;
    auto *q = new TOvQuery(&root);
    q->setObjectName(QStringLiteral("OvQuery1"));
    q->SetDatabaseName(QStringLiteral("Shop"));
    q->SQL()->SetText(
        QStringLiteral("select id, name, \"Mixed Case\", city from customer order by id"));
    // A component that already has the name the id field would get.
    (new QObject(&root))->setObjectName(QStringLiteral("OvQuery1ID"));

    ScriptedUi ui;
    ui.onModal([&](TForm &F) {
        auto &ed = dynamic_cast<TFieldsEditor &>(F);
        EXPECT_EQ(ed.DataSet(), q);
        EXPECT_EQ(ed.DesignerClass(), kDesignerClass);
        EXPECT_EQ(ed.FieldOwner(), &root) << "fields belong to the designed root";
        EXPECT_TRUE(ed.FieldCaptions().isEmpty());
        EXPECT_FALSE(button(F, "btRemove")->isEnabled()) << "nothing to remove";
        button(F, "btAddFields")->click(); // runs the next step
        EXPECT_EQ(ed.FieldCaptions(), (QStringList{"id", "Mixed Case", "city"}))
            << "in column order, whatever order they were chosen in";
        EXPECT_EQ(designer->modified, 1);
        F.grab().save(screenshotPath("FieldsEditor.png"));

        ed.SelectFields({QStringLiteral("Mixed Case")});
        EXPECT_TRUE(button(F, "btRemove")->isEnabled());
        button(F, "btRemove")->click();
        EXPECT_EQ(ed.FieldCaptions(), (QStringList{"id", "city"})) << "order kept";
        EXPECT_EQ(designer->modified, 2);

        button(F, "btAddFields")->click(); // offered only name and Mixed Case; cancelled
        EXPECT_EQ(designer->modified, 2) << "a cancelled choice changes nothing";
        button(F, "btClose")->click();
    });
    ui.onModal([&](TForm &F) {
        auto &dlg = dynamic_cast<TAddFieldsDlg &>(F);
        EXPECT_EQ(dlg.Available(), (QStringList{"id", "name", "Mixed Case", "city"}));
        EXPECT_EQ(dlg.Chosen(), dlg.Available()) << "all chosen at first";
        dlg.Choose({QStringLiteral("city"), QStringLiteral("id"), QStringLiteral("Mixed Case")});
        F.grab().save(screenshotPath("AddFieldsDlg.png"));
        button(F, "btOk")->click();
    });
    ui.onModal([&](TForm &F) {
        EXPECT_EQ(dynamic_cast<TAddFieldsDlg &>(F).Available(),
                  (QStringList{"name", "Mixed Case"}));
        button(F, "btCancel")->click();
    });
    ShowFieldsEditor(designer, q, kDesignerClass);
    EXPECT_EQ(ui.pendingSteps(), 0u);
    EXPECT_EQ(ui.modalForms,
              (std::vector<QString>{"TFieldsEditor", "TAddFieldsDlg", "TAddFieldsDlg"}));

    EXPECT_EQ(componentNames(&root), QStringLiteral("OvQuery1id1,OvQuery1city"))
        << "named after dataset and field, unique among the root's components";
    q->Open();
    EXPECT_EQ(fieldNames(q), QStringLiteral("id,city"));
    q->Last();
    EXPECT_EQ(q->Fields(0)->AsInteger(), 3);
    EXPECT_EQ(q->Fields(1)->AsString(), QStringLiteral("Oslo"));

    // An open dataset is closed for the change; the database's error is shown
    // and nothing is added.
    q->SQL()->SetText(QStringLiteral("select nosuchcolumn from customer"));
    ui.onModal([&](TForm &F) {
        button(F, "btAddFields")->click();
        EXPECT_EQ(dynamic_cast<TFieldsEditor &>(F).FieldCaptions().size(), 2);
        button(F, "btClose")->click();
    });
    ui.answer(mrOk);
    ShowFieldsEditor(designer, q, kDesignerClass);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages.front().type, mtError);
    EXPECT_TRUE(ui.messages.front().text.contains(QStringLiteral("nosuchcolumn")))
        << ui.messages.front().text.toStdString();
    EXPECT_EQ(designer->modified, 2);

    // A persistent column the database no longer returns names itself.
    q->SQL()->SetText(QStringLiteral("select id from customer"));
    try {
        q->Open();
        ADD_FAILURE() << "opened without its city column";
    } catch (const Exception &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("'city'"))) << e.Message().toStdString();
    }
    EXPECT_FALSE(q->Active());

    EXPECT_THROW(ShowFieldsEditor(designer, nullptr, kDesignerClass), EDesignError);
}

// Names a component cannot hold are left out; a dataset without a name still
// gives a valid name; a taken name gets the next free number.
TEST(FieldsEditor, componentNames)
{
    QObject root;
    (new QObject(&root))->setObjectName(QStringLiteral("OvQuery1MixedCase"));
    (new QObject(&root))->setObjectName(QStringLiteral("ovquery1mixedcase1"));
    const struct
    {
        const char *dataSet, *field, *expected;
    } rows[] = {
        {"OvQuery1", "ID", "OvQuery1ID"},
        {"OvQuery1", "Mixed Case", "OvQuery1MixedCase2"}, // taken, letter case ignored
        {"OvQuery1", "a.b\"c-d", "OvQuery1abcd"},
        {"", "1st", "_1st"},
        {"", "*", "Field"},
        {"Ov", "Größe", "OvGröße"},
    };
    for (const auto &r : rows)
        EXPECT_EQ(TFieldsEditor::FieldComponentName(&root, QString::fromUtf8(r.dataSet),
                                                    QString::fromUtf8(r.field)),
                  QString::fromUtf8(r.expected))
            << r.dataSet << " + " << r.field;
}

// Deleting a dataset deletes its persistent fields from the root; the editor
// notices a field removed elsewhere.
TEST(FieldsEditor, ownershipWithTheRoot)
{
    SQLiteShop shop;
    auto root = std::make_unique<QObject>();
    auto *q = new TOvQuery(root.get());
    q->setObjectName(QStringLiteral("Q"));
    q->SetDatabaseName(QStringLiteral("Shop"));
    q->SQL()->SetText(QStringLiteral("select id, name from customer"));
    auto designer = std::make_shared<CountingDesigner>();
    designer->root = root.get();

    TFieldsEditor ed;
    ed.Setup(designer, q, kDesignerClass);
    const QList<QObject *> added = ed.AddFields({QStringLiteral("name"), QStringLiteral("id")});
    ASSERT_EQ(added.size(), 2);
    EXPECT_EQ(ed.FieldCaptions(), (QStringList{"name", "id"})) << "the order asked for";
    EXPECT_THROW(ed.AddFields({QStringLiteral("id")}), Exception) << "one field per column";

    QPointer<QObject> name(added.at(0));
    QPointer<QObject> id(added.at(1));
    q->Open();
    delete id.data();
    EXPECT_FALSE(q->Active());
    EXPECT_EQ(fieldNames(q), QStringLiteral("name"));
    EXPECT_EQ(ed.FieldCaptions(), QStringList{QStringLiteral("name")})
        << "a field freed elsewhere leaves the editor's list";

    delete q;
    EXPECT_TRUE(name.isNull()) << "the field went with its dataset";
    EXPECT_EQ(componentNames(root.get()), QString());
    EXPECT_EQ(ed.DataSet(), nullptr) << "the editor let go of the deleted dataset";
    EXPECT_TRUE(ed.FieldCaptions().isEmpty());
    ed.AddFieldsClick(); // no dataset: nothing happens, nothing is shown
}

// The same walk on PostgreSQL, with a column name that needs quotes.
TEST(FieldsEditor, addFromPostgreSQL)
{
    QString problem;
    std::unique_ptr<TOvDriver> admin = pgAdmin(&problem);
    OV_REQUIRE_PG(problem);
    const QString id = pgUniqueName(QString());
    const QString schema = QStringLiteral("ovfe_") + id;
    admin->Execute(QStringLiteral("create schema %1; create table %1.item (id integer, "
                                  "\"Unit Price\" numeric(8,2), label text); insert into "
                                  "%1.item values (1, 2.50, 'x'), (2, 10, 'y')")
                       .arg(schema),
                   {});
    struct Drop
    {
        TOvDriver *d;
        QString s;
        ~Drop() { d->Execute(QStringLiteral("drop schema %1 cascade").arg(s), {}); }
    } drop{admin.get(), schema};

    QObject root;
    auto *db = new TOvDatabase(&root);
    db->SetDatabaseName(QStringLiteral("Fe") + id);
    db->SetServerType(TOvServerType::stPostgreSQL);
    db->SetLoginPrompt(false);
    db->SetRemoteDatabase(pgConnInfo());
    auto *q = new TOvQuery(&root);
    q->setObjectName(QStringLiteral("OvQuery1"));
    q->SetDatabaseName(db->DatabaseName());
    q->SQL()->SetText(QStringLiteral("select * from %1.item order by id").arg(schema));
    auto designer = std::make_shared<CountingDesigner>();
    designer->root = &root;

    ScriptedUi ui;
    ui.onModal([&](TForm &F) {
        button(F, "btAddFields")->click();
        button(F, "btClose")->click();
    });
    ui.onModal([&](TForm &F) {
        auto &dlg = dynamic_cast<TAddFieldsDlg &>(F);
        EXPECT_EQ(dlg.Available(), (QStringList{"id", "Unit Price", "label"}));
        dlg.Choose({QStringLiteral("Unit Price"), QStringLiteral("id")});
        button(F, "btOk")->click();
    });
    ShowFieldsEditor(designer, q, kDesignerClass);
    EXPECT_EQ(designer->modified, 1);
    EXPECT_EQ(componentNames(&root), QStringLiteral("OvQuery1id,OvQuery1UnitPrice"));
    q->Open();
    EXPECT_EQ(fieldNames(q), QStringLiteral("id,Unit Price"));
    q->Last();
    EXPECT_EQ(q->FieldByName(QStringLiteral("Unit Price"))->AsFloat(), 10.0);
    EXPECT_EQ(q->FieldByName(QStringLiteral("id"))->AsInteger(), 2);

    // A persistent column the server no longer returns names itself.
    q->Close();
    q->SQL()->SetText(QStringLiteral("select id from %1.item").arg(schema));
    try {
        q->Open();
        ADD_FAILURE() << "opened without its Unit Price column";
    } catch (const Exception &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("'Unit Price'")))
            << e.Message().toStdString();
    }
    db->Close();
}

// The structure view puts persistent fields under their dataset's node, also
// when a field comes before its dataset in the list.
TEST(FieldsEditor, fieldNodesUnderTheirDataSet)
{
    QObject root;
    auto *q = new TOvQuery(&root);
    q->setObjectName(QStringLiteral("Q"));
    auto *b = q->CreatePersistentField(QStringLiteral("b"), &root);
    b->setObjectName(QStringLiteral("Qb"));
    auto *a = q->CreatePersistentField(QStringLiteral("a"), &root);
    a->setObjectName(QStringLiteral("Qa"));
    auto *loose = new TField(&root);
    loose->setObjectName(QStringLiteral("Loose"));

    TRootSprig tree(&root);
    tree.AddItems({b, loose, q, a});
    TSprig *qNode = tree.FindItem(q, false);
    ASSERT_NE(qNode, nullptr) << "the dataset at the root";
    ASSERT_EQ(qNode->Count(), 2) << "its fields below it";
    EXPECT_EQ(qNode->Items(0)->Item(), b) << "fields wait for the dataset's node";
    EXPECT_EQ(qNode->Items(1)->Item(), a) << "and keep their list order";
    EXPECT_NE(qobject_cast<TFieldSprig *>(qNode->Items(0)), nullptr);
    EXPECT_NE(tree.FindItem(loose, false), nullptr) << "a field without dataset at the root";
    EXPECT_TRUE(tree.Orphans().isEmpty());
}

// A form file stores the persistent fields with their dataset; the form read
// back has them attached in the same order, and the dataset opens with them.
TEST(FieldsEditor, formFileKeepsTheFields)
{
    SQLiteShop shop;
    // Without the package loaded, the query class is made known by hand.
    RegisterClasses({&TOvQuery::staticMetaObject});
    struct Unregister
    {
        ~Unregister() { UnRegisterClasses({&TOvQuery::staticMetaObject}); }
    } unregister;
    TDataModule root;
    root.setObjectName(QStringLiteral("DataModule1"));
    auto *q = new TOvQuery(&root);
    q->setObjectName(QStringLiteral("OvQuery1"));
    q->SetDatabaseName(QStringLiteral("Shop"));
    q->SQL()->SetText(QStringLiteral("select id, name, city from customer order by id"));
    TFieldsEditor ed;
    ed.Setup(nullptr, q, kDesignerClass);
    ed.AddFields({QStringLiteral("city"), QStringLiteral("id")});
    qobject_cast<TField *>(q->PersistentFields().at(0))->SetDisplayLabel(QStringLiteral("Town"));

    const QString text = WriteFormText(&root);
    EXPECT_TRUE(text.contains(QStringLiteral("DataType = ftLargeint")))
        << "the type is known when the field is made, not only after an open";
    EXPECT_TRUE(text.contains(QStringLiteral("object OvQuery1city: TField")));
    EXPECT_TRUE(text.contains(QStringLiteral("DataSet = OvQuery1"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("DisplayLabel = 'Town'")));

    TFormReader reader(text);
    std::unique_ptr<QObject> copy = reader.Read();
    auto *q2 = copy->findChild<TOvQuery *>(QStringLiteral("OvQuery1"));
    ASSERT_NE(q2, nullptr);
    EXPECT_EQ(componentNames(copy.get()), QStringLiteral("OvQuery1city,OvQuery1id"));
    EXPECT_EQ(fieldNames(q2), QStringLiteral("city,id")) << "attached in form order";
    EXPECT_EQ(qobject_cast<TField *>(q2->PersistentFields().at(0))->DisplayLabel(),
              QStringLiteral("Town"));
    q2->Open();
    q2->Last();
    EXPECT_EQ(q2->Fields(0)->AsString(), QStringLiteral("Oslo"));
    EXPECT_EQ(q2->Fields(1)->AsInteger(), 3);
    EXPECT_EQ(WriteFormText(copy.get()).toStdString(), text.toStdString())
        << "written again the same";
}
