// The designer's edits of a data module without a window: names, the
// clipboard text with its references, persistent fields, reloading and undo.
#include "ModuleEditing.h"
#include "FormDesigner.h"
#include "GuiFixture.h"
#include "ModuleHistory.h"

#include "designide/FormFile.h"
#include "orvlib/DB.h"
#include "orvlib/OvComponents.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvUpdateSQL.h"

#include "EmbeddedDatabases.h"

#include <QDir>
#include <QFile>

#include <QSignalSpy>

namespace {

class ModuleEditingTest : public GuiTest
{
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        designer = std::make_shared<TFormDesigner>(LoadFormFile(demoForm()), demoForm());
        root = designer->Root();
    }
    template<class T = QObject>
    T *find(const QString &Name) const
    {
        return root->findChild<T *>(Name, Qt::FindDirectChildrenOnly);
    }
    // A persistent field of Dataset, owned by the module as the fields
    // editor makes them.
    TField *addField(TDataSet *DataSet, const QString &FieldName)
    {
        auto *f = new TField(root);
        f->setObjectName(DataSet->objectName() + FieldName);
        f->SetFieldName(FieldName);
        f->SetDataSet(DataSet);
        return f;
    }
    QStringList pasteErrorOf(const QString &Text)
    {
        try {
            pasteComponentsText(*designer, Text);
        } catch (const Exception &e) {
            return {e.Message()};
        }
        return {};
    }

    TFormDesignerPtr designer;
    QObject *root = nullptr;
};

} // namespace

// Default names skip every name of the module in any letter case, nested
// ones included; a class without the "T" keeps its whole name.
TEST_F(ModuleEditingTest, DefaultNamesAreFreeInAnyCase)
{
    EXPECT_EQ(uniqueComponentName(root, &TOvQuery::staticMetaObject), QStringLiteral("OvQuery1"));
    new TOvQuery(root);
    root->children().last()->setObjectName(QStringLiteral("OVQUERY1"));
    addField(find<TDataSet>(QStringLiteral("tCustomer")), QStringLiteral("X"))
        ->setObjectName(QStringLiteral("ovquery2"));
    EXPECT_EQ(uniqueComponentName(root, &TOvQuery::staticMetaObject), QStringLiteral("OvQuery3"));
    EXPECT_EQ(uniqueComponentName(root, &TDataModule::staticMetaObject),
              QStringLiteral("DataModule1"));

    for (const char *good : {"a", "_x", "Q1", "A_b_9"})
        EXPECT_TRUE(isValidComponentName(QLatin1String(good))) << good;
    for (const char *bad : {"", "1a", "a b", "a.b", "a-b", "'q'", "ä", "a;drop"})
        EXPECT_FALSE(isValidComponentName(QString::fromUtf8(bad))) << bad;
}

// Persistent fields stay off the surface but travel with their dataset:
// copied with it, pasted onto the pasted dataset, freed with it, and back
// with an undo.
TEST_F(ModuleEditingTest, PersistentFieldsGoWithTheirDataset)
{
    auto *customer = find<TOvTable>(QStringLiteral("tCustomer"));
    TField *custNo = addField(customer, QStringLiteral("CustNo"));
    addField(customer, QStringLiteral("Name"));
    TModuleHistory history(designer);
    EXPECT_FALSE(surfaceComponents(root).contains(custNo)) << "fields are not on the surface";
    EXPECT_EQ(surfaceComponents(root).size(), 10);

    const QString clip = componentsText({customer});
    EXPECT_TRUE(clip.contains(QLatin1String("object tCustomerCustNo: TField")));
    EXPECT_TRUE(clip.contains(QLatin1String("object tCustomerName: TField")));
    EXPECT_FALSE(clip.contains(QLatin1String("dsCustomer"))) << "only what was chosen";

    const QList<QObject *> pasted = pasteComponentsText(*designer, clip);
    ASSERT_EQ(pasted.size(), 1) << "the fields are pasted, not shown";
    auto *copy = qobject_cast<TOvTable *>(pasted[0]);
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->objectName(), QStringLiteral("OvTable1"));
    ASSERT_EQ(copy->FieldCount(), 2);
    EXPECT_EQ(copy->Fields(0)->FieldName(), QStringLiteral("CustNo"));
    EXPECT_NE(copy->Fields(0), custNo);
    EXPECT_EQ(customer->FieldCount(), 2) << "the original keeps its own";
    EXPECT_FALSE(copy->Fields(0)->property("Left").isValid()) << "fields get no position";

    designer->select({customer});
    EXPECT_EQ(deleteSelection(*designer), 1);
    EXPECT_EQ(find(QStringLiteral("tCustomerCustNo")), nullptr) << "freed with the dataset";
    history.undo();
    customer = find<TOvTable>(QStringLiteral("tCustomer"));
    ASSERT_TRUE(customer);
    EXPECT_EQ(customer->FieldCount(), 2);
    EXPECT_EQ(designer->Root(), root);
}

// Undo goes back exactly as many steps as the history keeps, each to the
// text before its change; a change that changed nothing is no step.
TEST_F(ModuleEditingTest, UndoGoesBackExactlyTheStepsItKeeps)
{
    TModuleHistory history(designer, 3);
    auto *totals = find<TOvQuery>(QStringLiteral("qTotals"));
    ASSERT_TRUE(totals);
    QStringList before;
    for (int i = 1; i <= 5; ++i) {
        before << WriteFormText(root);
        totals->SQL()->SetText(QStringLiteral("select %1").arg(i));
        designer->Modified();
    }
    designer->Modified(); // nothing changed
    int steps = 0;
    while (history.canUndo()) {
        history.undo();
        ++steps;
        EXPECT_EQ(WriteFormText(root), before.at(5 - steps)) << "step " << steps;
    }
    EXPECT_EQ(steps, 3);
    history.undo(); // nothing kept: nothing happens
    EXPECT_EQ(WriteFormText(root), before.at(2)) << "no step further than kept";
}

// Text that is no whole component text, or that reads wrongly, is refused
// and leaves the module as it was; text quoting "object" or "end" inside
// strings is not taken for structure; references to missing components go.
TEST_F(ModuleEditingTest, PasteRefusesBadTextAndKeepsTheModule)
{
    const QString before = WriteFormText(root);
    EXPECT_EQ(pasteErrorOf(QStringLiteral("hello")),
              QStringList{QStringLiteral("The clipboard holds no components")});
    EXPECT_EQ(pasteErrorOf(QStringLiteral("object A: TOvQuery\n")),
              QStringList{QStringLiteral("The clipboard holds no whole components")});
    EXPECT_EQ(pasteErrorOf(QStringLiteral("object A: TOvQuery\nend\nend\n")),
              QStringList{QStringLiteral("The clipboard holds no whole components")});
    // A database where a dataset belongs: the reader refuses the reference.
    const QStringList wrong
        = pasteErrorOf(QStringLiteral("object S: TDataSource\n  DataSet = Demo\nend\n"));
    ASSERT_EQ(wrong.size(), 1);
    EXPECT_TRUE(wrong[0].startsWith(QLatin1String("Cannot paste: "))) << wrong[0].toStdString();
    EXPECT_EQ(WriteFormText(root), before) << "nothing of a refused paste stays";
    EXPECT_FALSE(designer->isModified());

    // A component of a class no package registers is kept as written.
    const QList<QObject *> kept = pasteComponentsText(
        *designer, QStringLiteral("object A: TNoSuchClass\n  Colour = 1\n  Left = 7\nend\n"));
    ASSERT_EQ(kept.size(), 1);
    ASSERT_NE(qobject_cast<TNotLoadedComponent *>(kept[0]), nullptr);
    EXPECT_EQ(qobject_cast<TNotLoadedComponent *>(kept[0])->ClassName(),
              QStringLiteral("TNoSuchClass"));
    EXPECT_TRUE(WriteFormText(root).contains(QLatin1String("  object A: TNoSuchClass\n"
                                                           "    Colour = 1\n")))
        << "kept whole; its place is where the paste put it";

    const QList<QObject *> pasted
        = pasteComponentsText(*designer, QStringLiteral("object qOdd: TOvQuery\n"
                                                        "  DatabaseName = 'Demo'\n"
                                                        "  UpdateObject = usGone\n"
                                                        "  SQL.Strings = (\n"
                                                        "    'object X: TOvTable'\n"
                                                        "    'end')\n"
                                                        "end\n"
                                                        "object dsOdd: TDataSource\n"
                                                        "  DataSet = qOdd\n"
                                                        "end\n"));
    ASSERT_EQ(pasted.size(), 2);
    auto *odd = qobject_cast<TOvQuery *>(pasted[0]);
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->SQL()->Text(), QStringLiteral("object X: TOvTable\nend\n"));
    EXPECT_EQ(odd->UpdateObject(), nullptr) << "usGone is not in the module";
    EXPECT_FALSE(WriteFormText(root).contains(QLatin1String("usGone")))
        << "a reference left unset is not written";
    EXPECT_EQ(qobject_cast<TDataSource *>(pasted[1])->DataSet(), odd);
    EXPECT_EQ(designer->selection(), pasted);
    EXPECT_TRUE(designer->isModified());
}

// Reloading keeps the root object, refuses a text of another root class,
// and holds the connections the text stores without connecting them.
TEST_F(ModuleEditingTest, ReloadKeepsTheRootAndHoldsStoredConnections)
{
    EXPECT_THROW(reloadModuleText(*designer, QStringLiteral("object X: TOvQuery\nend\n")),
                 Exception);
    EXPECT_EQ(surfaceComponents(root).size(), 10);

    const QStringList failures
        = reloadModuleText(*designer, QStringLiteral("object Other: TDataModule\n"
                                                     "  object Db: TOvDatabase\n"
                                                     "    DatabaseName = 'Nowhere'\n"
                                                     "    RemoteDatabase = '/no/such/folder/x.db'\n"
                                                     "    ServerType = stSQLite\n"
                                                     "    LoginPrompt = False\n"
                                                     "    Connected = True\n"
                                                     "  end\n"
                                                     "end\n"));
    EXPECT_EQ(designer->Root(), root);
    EXPECT_EQ(root->objectName(), QStringLiteral("Other"));
    ASSERT_EQ(surfaceComponents(root).size(), 1);
    EXPECT_TRUE(failures.isEmpty()) << "nothing was tried";
    auto *db = find<TOvDatabase>(QStringLiteral("Db"));
    EXPECT_FALSE(db->Connected());
    EXPECT_EQ(HeldActivations(db), QStringList{QStringLiteral("Connected")});
    EXPECT_TRUE(WriteFormText(root).contains(QLatin1String("    Connected = True\n")));
}

// Pasted text acts on nothing it stores: a delete stored as an open query is
// not run, a database stored connected with CREATE=1 creates no file. Both
// are held, and copied again as they were. References to components that
// are nowhere are dropped, however many. Deleted and undone, or its stored
// value forgotten and undone, the query holds it again and still runs nothing.
TEST_F(ModuleEditingTest, PasteHoldsWhatTheTextStores)
{
    QDir::setCurrent(folder().path());
    createMissingEmbeddedDatabases(root);
    auto *demo = find<TOvDatabase>(QStringLiteral("Demo"));
    auto *orders = find<TOvQuery>(QStringLiteral("qOrders"));
    orders->Open();
    const int rows = orders->RecordCount();
    orders->Close();
    demo->Close();
    ASSERT_GT(rows, 0);

    const QString created = folder().file(QStringLiteral("created.db"));
    QString text = QStringLiteral("object qWipe: TOvQuery\n"
                                  "  DatabaseName = 'Demo'\n"
                                  "  SQL.Strings = (\n"
                                  "    'delete from Orders')\n"
                                  "  Active = True\n"
                                  "end\n"
                                  "object dbNew: TOvDatabase\n"
                                  "  DatabaseName = 'New'\n"
                                  "  RemoteDatabase = '%1'\n"
                                  "  ServerType = stSQLite\n"
                                  "  Params.Strings = (\n"
                                  "    'CREATE=1')\n"
                                  "  LoginPrompt = False\n"
                                  "  Connected = True\n"
                                  "end\n")
                       .arg(created);
    for (int i = 0; i < 200; ++i)
        text
            += QStringLiteral("object dsGone%1: TDataSource\n  DataSet = qNowhere%1\nend\n").arg(i);
    const QList<QObject *> pasted = pasteComponentsText(*designer, text);
    ASSERT_EQ(pasted.size(), 202);
    auto *wipe = qobject_cast<TOvQuery *>(pasted[0]);
    auto *db = qobject_cast<TOvDatabase *>(pasted[1]);
    ASSERT_TRUE(wipe && db);
    EXPECT_FALSE(wipe->Active());
    EXPECT_FALSE(db->Connected());
    EXPECT_FALSE(QFile::exists(created)) << "no database file made";
    EXPECT_EQ(qobject_cast<TDataSource *>(pasted[201])->DataSet(), nullptr);

    TModuleHistory history(designer);
    designer->select({wipe});
    ASSERT_EQ(deleteSelection(*designer), 1);
    history.undo();
    wipe = find<TOvQuery>(QStringLiteral("qWipe"));
    ASSERT_TRUE(wipe);
    EXPECT_FALSE(wipe->Active()) << "read back closed";
    EXPECT_TRUE(IsHeldActivation(wipe, QStringLiteral("Active"))) << "still stored True";
    EXPECT_TRUE(WriteFormText(root).contains(QLatin1String("    'delete from Orders')\n"
                                                           "    Active = True\n")))
        << "a save writes it again, where the text had it";
    SetHeldActivation(wipe, QStringLiteral("Active"), false); // as the inspector's False does
    designer->Modified();
    ASSERT_EQ(history.undoName(), QStringLiteral("Set qWipe.Active"));
    history.undo();
    EXPECT_TRUE(IsHeldActivation(wipe, QStringLiteral("Active"))) << "held again";
    EXPECT_FALSE(wipe->Active());
    EXPECT_FALSE(demo->Connected()) << "no undo connected";
    orders->Open();
    EXPECT_EQ(orders->RecordCount(), rows) << "the stored delete never ran";
    orders->Close();
    const QString copied = componentsText({wipe, db});
    EXPECT_TRUE(copied.contains(QLatin1String("    'delete from Orders')\n  Active = True\n")))
        << copied.toStdString();
    EXPECT_TRUE(copied.contains(QLatin1String("  LoginPrompt = False\n  Connected = True\n")))
        << copied.toStdString();

    // A person's one step opens what is held; setting it False forgets it.
    ActivateHeld(db);
    EXPECT_TRUE(db->Connected());
    EXPECT_TRUE(QFile::exists(created));
    EXPECT_TRUE(IsHeldActivation(db, QStringLiteral("Connected")));
}

// A paste that is refused half way leaves the module exactly as it was,
// also what its components refer to.
TEST_F(ModuleEditingTest, ARefusedPasteChangesNothing)
{
    QDir::setCurrent(folder().path());
    createMissingEmbeddedDatabases(root);
    auto *orders = find<TOvQuery>(QStringLiteral("qOrders"));
    auto *update = find<TOvUpdateSQL>(QStringLiteral("usOrders"));
    ASSERT_EQ(orders->UpdateObject(), update);
    orders->Open();
    designer->setModified(false);
    const QString before = WriteFormText(root);
    // The update object takes qOrders over; the field then finds it open.
    const QStringList refused = pasteErrorOf(QStringLiteral("object usNew: TOvUpdateSQL\n"
                                                            "  DataSet = qOrders\n"
                                                            "end\n"
                                                            "object qOrdersExtra: TField\n"
                                                            "  FieldName = 'Extra'\n"
                                                            "  DataSet = qOrders\n"
                                                            "end\n"));
    ASSERT_EQ(refused.size(), 1);
    EXPECT_TRUE(refused[0].contains(QLatin1String("open dataset"))) << refused[0].toStdString();
    EXPECT_EQ(orders->UpdateObject(), update) << "qOrders keeps its update object";
    EXPECT_EQ(update->DataSet(), orders);
    EXPECT_EQ(find(QStringLiteral("usNew")), nullptr);
    EXPECT_EQ(WriteFormText(root), before);
    EXPECT_FALSE(designer->isModified());
    EXPECT_TRUE(orders->Active());
}
