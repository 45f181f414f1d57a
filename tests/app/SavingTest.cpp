// The designer's Save against a form file that changed under it or a disk
// that is full, and Save As into another folder: what the person is asked or
// told, and what stays on disk.
#include "FullDisk.h"
#include "GuiFixture.h"
#include "MainWindow.h"
#include "ModuleEditing.h"

#include "designide/FormFile.h"
#include "orvlib/DB.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "rtl/UiServices.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <cerrno>
#include <cstring>

namespace {

class SavingTest : public GuiTest
{
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        window
            = std::make_unique<TMainWindow>(nullptr, folder().file(QStringLiteral("recent.ini")));
        ASSERT_TRUE(window->openForm(demoForm()));
    }
    void TearDown() override
    {
        if (window && window->designer())
            window->designer()->setModified(false);
        window.reset();
    }

    // A change of the module, as a pane makes one.
    void change(int Tag)
    {
        QObject *root = window->designer()->Root();
        root->findChild<TOvQuery *>(QStringLiteral("qTotals"))->setProperty("Left", Tag);
        window->designer()->Modified();
    }
    // Another program rewrites the form: a real second process.
    void writeElsewhere(const QByteArray &Text)
    {
        QProcess editor;
        editor.start(QStringLiteral("/bin/sh"),
                     {QStringLiteral("-c"), QStringLiteral("printf '%s' \"$1\" > \"$2\""),
                      QStringLiteral("sh"), QString::fromUtf8(Text), demoForm()});
        ASSERT_TRUE(editor.waitForFinished(30000));
        ASSERT_EQ(editor.exitCode(), 0);
    }
    QByteArray onDisk(const char *Name = "demo.dfm") const
    {
        return folder().read(QLatin1String(Name));
    }

    std::unique_ptr<TMainWindow> window;
};

} // namespace

// Save finds the file changed by another program since it was opened or last
// saved and asks: Cancel writes nothing, No reloads the file, Yes overwrites
// it and the other program's version becomes the backup.
TEST_F(SavingTest, AFormChangedOnDiskIsNotOverwrittenWithoutAsking)
{
    const QByteArray other
        = "object Edited: TDataModule\n  object qTotals: TOvQuery\n    Left = 7\n  end\nend\n";
    change(500);
    writeElsewhere(other);
    ScriptedUi ui;
    ui.answer(mrCancel);
    EXPECT_FALSE(window->save());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.messages[0].text.contains(QLatin1String("changed by another program")))
        << ui.messages[0].text.toStdString();
    EXPECT_EQ(ui.messages[0].buttons, mbYesNoCancel);
    EXPECT_EQ(onDisk(), other) << "Cancel writes nothing";
    EXPECT_FALSE(folder().exists(QStringLiteral("demo.~dfm")));
    EXPECT_TRUE(window->designer()->isModified());

    ui.answer(mrNo);
    EXPECT_FALSE(window->save());
    EXPECT_EQ(window->designer()->Root()->objectName(), QStringLiteral("Edited"))
        << "No reloads the file";
    EXPECT_FALSE(window->designer()->isModified());
    EXPECT_EQ(onDisk(), other);

    change(600);
    writeElsewhere(other + "\n");
    ui.answer(mrYes);
    EXPECT_TRUE(window->save());
    EXPECT_TRUE(onDisk().contains("Left = 600")) << "Yes overwrites";
    EXPECT_EQ(onDisk("demo.~dfm"), other + "\n") << "the other program's version is the backup";

    // Saved again with nothing changed outside: no question.
    change(700);
    EXPECT_TRUE(window->save());
    EXPECT_TRUE(onDisk().contains("Left = 700"));
    EXPECT_EQ(ui.messages.size(), 3u);
    EXPECT_EQ(ui.pendingSteps(), 0u);
}

// A save that cannot be written (a file size limit fails the write as a full
// disk would) shows the system's reason; the form and its backup stay as
// they were and the module keeps its changes.
TEST_F(SavingTest, AFullDiskIsReportedAndLosesNothing)
{
    change(500);
    ASSERT_TRUE(window->save());
    const QByteArray form = onDisk(), backup = onDisk("demo.~dfm");
    const QStringList files = filesIn(folder().path());
    change(600);
    ScriptedUi ui;
    ui.answer(mrOk);
    bool ok = true;
    ASSERT_TRUE(withFileSizeLimit(512, [&] { ok = window->save(); }));

    EXPECT_FALSE(ok);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].type, mtError);
    EXPECT_TRUE(ui.messages[0].text.contains(QString::fromLocal8Bit(std::strerror(EFBIG))))
        << ui.messages[0].text.toStdString();
    EXPECT_EQ(onDisk(), form);
    EXPECT_EQ(onDisk("demo.~dfm"), backup);
    EXPECT_EQ(filesIn(folder().path()), files) << "no temporary file left";
    EXPECT_TRUE(window->designer()->isModified()) << "the changes are still to be saved";
}

// One rule for names whatever path gives them: "nil" and non-ASCII names are
// refused by renaming, pasting and reading alike; a name a query's helper
// object also has ("Params") works through a save and a reopening.
TEST_F(SavingTest, NamesFollowOneRuleInEveryPath)
{
    TFormDesigner &designer = *window->designer();
    QObject *root = designer.Root();
    auto *query = root->findChild<TOvQuery *>(QStringLiteral("qOrders"));
    for (const QString &name : {QStringLiteral("nil"), QStringLiteral("Caf\u00e9")}) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_THROW(renameComponent(designer, query, name), Exception);
        EXPECT_THROW(
            pasteComponentsText(designer, QStringLiteral("object %1: TOvQuery\nend\n").arg(name)),
            Exception);
        EXPECT_THROW(TFormReader(QStringLiteral("object M: TDataModule\n  object %1: TOvQuery\n"
                                                "  end\nend\n")
                                     .arg(name))
                         .Read(),
                     EFormError);
    }
    EXPECT_EQ(query->objectName(), QStringLiteral("qOrders"));

    // A dataset named Params after a query (which has a Params helper object),
    // with a data source pointing at it.
    auto *totals = root->findChild<TOvQuery *>(QStringLiteral("qTotals"));
    renameComponent(designer, totals, QStringLiteral("Params"));
    auto *source = root->findChild<TDataSource *>(QStringLiteral("dsCustomer"));
    source->SetDataSet(totals);
    designer.Modified();
    ASSERT_TRUE(window->save());
    ASSERT_TRUE(window->openForm(demoForm()));
    QObject *reopened = window->designer()->Root();
    auto *params
        = reopened->findChild<TOvQuery *>(QStringLiteral("Params"), Qt::FindDirectChildrenOnly);
    ASSERT_NE(params, nullptr);
    EXPECT_EQ(reopened->findChild<TDataSource *>(QStringLiteral("dsCustomer"))->DataSet(), params)
        << "the reference names the component, not the query's helper object";
}

// A form of inherited and inline blocks is saved with its headers; a copy of
// such a component is a plain component of whatever module it is pasted in.
TEST_F(SavingTest, InheritedBlocksAreSavedAsReadAndCopiedAsNew)
{
    const QByteArray text = "inherited Child: TDataModule\n"
                            "  inline qBase: TOvQuery [1]\n"
                            "    DatabaseName = 'Demo'\n"
                            "  end\n"
                            "  object qOwn: TOvQuery\n"
                            "  end\n"
                            "end\n";
    folder().write(QStringLiteral("child.dfm"), text);
    ASSERT_TRUE(window->openForm(folder().file(QStringLiteral("child.dfm"))));
    QObject *base = window->designer()->Root()->findChild<QObject *>(QStringLiteral("qBase"));
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(componentsText({base}),
              QStringLiteral("object qBase: TOvQuery\n  DatabaseName = 'Demo'\nend\n"));
    window->designer()->Modified();
    ASSERT_TRUE(window->save());
    EXPECT_EQ(folder().read(QStringLiteral("child.dfm")), text);
}

// A query stored with no parameters (or macros) though its text has
// markers keeps the empty list through a save: reading the text alone would
// make them, so a second save would write other text than the first.
TEST_F(SavingTest, AnEmptyListBesideMarkersIsWrittenAndReadBack)
{
    const QString text = QStringLiteral("object M: TDataModule\n"
                                        "  object q: TOvMacroQuery\n"
                                        "    SQL.Strings = (\n"
                                        "      'select * from t where &w and id = :id')\n"
                                        "    Params = <>\n"
                                        "    Macros = <>\n"
                                        "  end\n"
                                        "  object p: TOvQuery\n"
                                        "    SQL.Strings = (\n"
                                        "      'select 1')\n"
                                        "  end\n"
                                        "end\n");
    std::unique_ptr<QObject> first = TFormReader(text).Read();
    const QString written = WriteFormText(first.get());
    EXPECT_EQ(written, text) << "an empty list beside no markers is still left out";
    std::unique_ptr<QObject> again = TFormReader(written).Read();
    auto *query = again->findChild<TOvMacroQuery *>(QStringLiteral("q"));
    ASSERT_NE(query, nullptr);
    EXPECT_EQ(query->Params()->Count(), 0);
    EXPECT_EQ(query->Macros()->Count(), 0);
    EXPECT_EQ(WriteFormText(again.get()), written);
}

// Save As into another folder with a database file named relative to the
// form's folder asks once, listing the names: Yes rewrites them as one undo
// step and the saved form finds the same file from its folder; No saves them
// as they are; Cancel writes nothing. A rewrite whose save fails is taken back.
TEST_F(SavingTest, SaveAsIntoAnotherFolderAsksAboutRelativeDatabaseFiles)
{
    const QString copies = folder().file(QStringLiteral("saved copies"));
    ASSERT_TRUE(QDir().mkpath(copies));
    const QString target = copies + QStringLiteral("/demo.dfm");
    auto *demo = window->designer()->Root()->findChild<TOvDatabase *>(QStringLiteral("Demo"));
    ASSERT_TRUE(demo);
    const QString database = folder().file(QStringLiteral("demo.db"));
    ASSERT_TRUE(QFileInfo::exists(database));
    auto chooseTarget = [&](TOpenDialog &Dialog) {
        Dialog.FileName = target;
        return true;
    };
    auto undoText = [&] {
        return window->action(QStringLiteral("actUndo"))->text();
    };
    auto text = [](const QString &File) {
        QFile f(File);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    auto workingFolderIs = [](const QString &Folder) {
        return QDir::currentPath() == QDir(Folder).canonicalPath();
    };
    const QString undoBefore = undoText();

    // Cancel: nothing written, nothing changed, the folder stays.
    ScriptedUi ui;
    ui.onOpenFile(chooseTarget).answer(mrCancel);
    EXPECT_FALSE(window->saveAs());
    ASSERT_EQ(ui.messages.size(), 1u);
    const MessageRequest question = ui.messages[0];
    EXPECT_EQ(question.type, mtConfirmation);
    EXPECT_EQ(question.buttons, mbYesNoCancel);
    EXPECT_TRUE(
        question.text.contains(QStringLiteral("Demo.RemoteDatabase: demo.db  \u2192  ../demo.db")))
        << question.text.toStdString();
    EXPECT_EQ(question.text.count(QStringLiteral("\u2192")), 1) << "only what reads differently";
    screenshot(question, QStringLiteral("save-as-relative-paths"));
    EXPECT_FALSE(QFileInfo::exists(target));
    EXPECT_EQ(demo->RemoteDatabase(), QStringLiteral("demo.db"));
    EXPECT_EQ(undoText(), undoBefore);
    EXPECT_TRUE(workingFolderIs(folder().path()));

    // Yes, on a disk that takes no form: the rewrite is taken back.
    ui.onOpenFile(chooseTarget).answer(mrYes).answer(mrOk);
    bool written = true;
    ASSERT_TRUE(withFileSizeLimit(512, [&] { written = window->saveAs(); }));
    EXPECT_FALSE(written);
    ASSERT_EQ(ui.messages.size(), 3u);
    EXPECT_EQ(ui.messages[2].type, mtError);
    EXPECT_EQ(demo->RemoteDatabase(), QStringLiteral("demo.db")) << "named from where it is used";
    EXPECT_TRUE(workingFolderIs(folder().path()));

    // Yes: one step, the module modified and saved with the new name, and
    // the new folder is where the module's names are found from.
    ui.onOpenFile(chooseTarget).answer(mrYes);
    ASSERT_TRUE(window->saveAs());
    EXPECT_EQ(demo->RemoteDatabase(), QStringLiteral("../demo.db"));
    EXPECT_TRUE(text(target).contains("RemoteDatabase = '../demo.db'"));
    EXPECT_EQ(undoText(), QStringLiteral("&Undo Rewrite File Paths"));
    EXPECT_FALSE(window->designer()->isModified());
    EXPECT_TRUE(workingFolderIs(copies));
    EXPECT_EQ(QFileInfo(demo->RemoteDatabase()).canonicalFilePath(),
              QFileInfo(database).canonicalFilePath());
    EXPECT_FALSE(demo->Connected()) << "saving connects nothing";

    // Opened again, the copy finds the file (read only: nothing connects).
    ASSERT_TRUE(window->openForm(target));
    demo = window->designer()->Root()->findChild<TOvDatabase *>(QStringLiteral("Demo"));
    EXPECT_EQ(demo->RemoteDatabase(), QStringLiteral("../demo.db"));
    EXPECT_TRUE(QFileInfo::exists(demo->RemoteDatabase()));
    EXPECT_FALSE(demo->Connected());
    EXPECT_FALSE(QFileInfo::exists(copies + QStringLiteral("/demo.db"))) << "no second database";

    // No, from the copy back to the form's folder: saved as it is.
    const QString back = folder().file(QStringLiteral("kept.dfm"));
    ui.onOpenFile([&](TOpenDialog &Dialog) {
          Dialog.FileName = back;
          return true;
      }).answer(mrNo);
    ASSERT_TRUE(window->saveAs());
    EXPECT_TRUE(text(back).contains("RemoteDatabase = '../demo.db'"));
    EXPECT_EQ(demo->RemoteDatabase(), QStringLiteral("../demo.db"));
    EXPECT_EQ(ui.messages.size(), 5u);
    EXPECT_EQ(ui.pendingSteps(), 0u);
}
