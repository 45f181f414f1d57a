// The code editor's model on its own: module services, modules and their
// editors, and the strings file system writing a module into a property.
#include "TestComponents.h"

#include "designide/ModuleServices.h"
#include "designide/Stfilsys.h"

#include "rtl/UiServices.h"

#include <gtest/gtest.h>

namespace {

class TextFile : public IOTAFile
{
public:
    explicit TextFile(QString Text)
        : text(std::move(Text))
    {}
    QString GetSource() override { return text; }
    QDateTime GetAge() override { return {}; }
    QString text;
};

// A text-module creator with a name, a file system and a text of the test's choosing.
class TextCreator : public IOTAModuleCreator
{
public:
    TextCreator(QString Name, QString Text, QString FileSystem = TStringsFileSystem::ID())
        : name(std::move(Name))
        , text(std::move(Text))
        , fileSystem(std::move(FileSystem))
    {}
    QString GetCreatorType() override { return type; }
    bool GetExisting() override { return true; }
    QString GetFileSystem() override { return fileSystem; }
    IOTAModulePtr GetOwner() override { return nullptr; }
    bool GetUnnamed() override { return false; }
    QString GetAncestorName() override { return {}; }
    QString GetImplFileName() override { return name; }
    QString GetIntfFileName() override { return {}; }
    QString GetFormName() override { return {}; }
    bool GetMainForm() override { return false; }
    bool GetShowForm() override { return false; }
    bool GetShowSource() override { return true; }
    IOTAFilePtr NewFormFile(const QString &, const QString &) override { return nullptr; }
    IOTAFilePtr NewImplSource(const QString &, const QString &, const QString &) override
    {
        return std::make_shared<TextFile>(text);
    }
    IOTAFilePtr NewIntfSource(const QString &, const QString &, const QString &) override
    {
        return nullptr;
    }
    void FormCreated(const IOTAFormEditorPtr &) override {}

    QString name, text, fileSystem;
    QString type = QStringLiteral("Text");
};

class ModuleServices : public ::testing::Test
{
protected:
    void SetUp() override
    {
        saved = BorlandIDEServices;
        BorlandIDEServices = std::make_shared<TIDEServices>();
        services = ideModuleServices();
        Stfilsys::Register();
        root.setObjectName("Form1");
        designer.root = &root;
    }
    void TearDown() override { BorlandIDEServices = saved; }

    IOTAModulePtr open(const QString &Name, const QString &Text, TTestBase *Component)
    {
        IOTAModulePtr module = services->CreateModule(std::make_shared<TextCreator>(Name, Text));
        if (module)
            StringsFileSystem()->GetTStringsProperty(Name, Component, "Lines");
        return module;
    }

    static IOTASourceEditorPtr editorOf(const IOTAModulePtr &Module)
    {
        return std::dynamic_pointer_cast<IOTASourceEditor>(Module->GetModuleFileEditor(0));
    }

    IInterfacePtr saved;
    std::shared_ptr<TModuleServices> services;
    QObject root;
    CountingDesigner designer;
    ScriptedUi ui;
};

TEST_F(ModuleServices, QueryForTheModuleServicesByIdentifier)
{
    EXPECT_EQ(Supports<IOTAModuleServices>(BorlandIDEServices, IID_IOTAModuleServices), services);
    EXPECT_EQ(IID_IOTAModuleServices, QUuid("{55A5E848-27FB-4880-8E7C-7F05A9802482}"));
    EXPECT_FALSE(Supports<IOTAModuleServices>(BorlandIDEServices, QUuid::createUuid()));
    BorlandIDEServices = std::make_shared<IInterface>();
    EXPECT_THROW(AsInterface<IOTAModuleServices>(BorlandIDEServices, IID_IOTAModuleServices),
                 EIntfCastError);
    // Registering again, with services that do not serve the query, raises.
    EXPECT_THROW(Stfilsys::Register(), EIntfCastError);
}

TEST_F(ModuleServices, SavedModuleWritesThePropertyThroughItsSetterAndTellsTheDesigner)
{
    auto *memo = new TTestBase("Memo1", &root);
    memo->Lines()->SetText("old");
    IOTAModulePtr module = open(".Form1.Memo1.Lines", "first\nsecond\n", memo);
    ASSERT_TRUE(module);
    EXPECT_EQ(services->FindModule(".form1.MEMO1.lines"), module) << "names ignore case";
    EXPECT_EQ(module->GetModuleFileCount(), 1);
    IOTASourceEditorPtr editor = editorOf(module);
    EXPECT_EQ(editor->GetText(), "first\nsecond\n");
    EXPECT_FALSE(editor->GetModified());

    IOTASourceEditorPtr shown;
    services->OnShow = [&](const IOTASourceEditorPtr &E) {
        shown = E;
    };
    editor->Show();
    EXPECT_EQ(shown, editor);
    EXPECT_EQ(services->FrontEditor(), editor);

    editor->SetText("select 1\nfrom T\n");
    EXPECT_TRUE(editor->GetModified());
    EXPECT_EQ(memo->Lines()->Text(), "old\n") << "nothing is written before the save";
    module->Save();
    EXPECT_EQ(memo->Lines()->toStringList(), QStringList({"select 1", "from T"}));
    EXPECT_EQ(designer.modified, 1);
    EXPECT_FALSE(editor->GetModified());
    EXPECT_GT(StringsFileSystem()->FindTStringsProperty(".Form1.Memo1.Lines")->FileDate(), 0);

    EXPECT_TRUE(module->Close()) << "an unmodified module closes without asking";
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(module->GetModuleFileCount(), 0);
    EXPECT_FALSE(services->FindModule(".Form1.Memo1.Lines"));
    EXPECT_FALSE(services->FrontEditor());
    EXPECT_FALSE(StringsFileSystem()->FindTStringsProperty(".Form1.Memo1.Lines"))
        << "the file goes with its module";
    EXPECT_THROW(module->GetModuleFileEditor(0), EListError);
}

TEST_F(ModuleServices, ClosingAModifiedModuleAsks)
{
    auto *memo = new TTestBase("Memo1", &root);
    memo->Lines()->SetText("kept");
    IOTAModulePtr module = open("x.Form1.Memo1.Lines", "kept\n", memo);
    editorOf(module)->SetText("changed\n");

    ui.answer(mrCancel);
    EXPECT_FALSE(module->Close()) << "cancel keeps the module open";
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.messages[0].text.contains("x.Form1.Memo1.Lines"));
    EXPECT_EQ(ui.messages[0].buttons, mbYesNoCancel);
    EXPECT_EQ(services->FindModule("x.Form1.Memo1.Lines"), module);

    ui.answer(mrNo);
    EXPECT_TRUE(module->Close()) << "no discards the change";
    EXPECT_EQ(memo->Lines()->Text(), "kept\n");
    EXPECT_EQ(designer.modified, 0);

    module = open("x.Form1.Memo1.Lines", "kept\n", memo);
    editorOf(module)->SetText("saved\n");
    ui.answer(mrYes);
    EXPECT_TRUE(module->Close()) << "yes saves, then closes";
    EXPECT_EQ(memo->Lines()->Text(), "saved\n");
    EXPECT_EQ(designer.modified, 1);

    module = open("x.Form1.Memo1.Lines", "kept\n", memo);
    module->GetModuleFileEditor(0)->MarkModified();
    EXPECT_TRUE(module->CloseModule(true)) << "a forced close does not ask";
    EXPECT_EQ(ui.pendingSteps(), 0u);
    EXPECT_EQ(ui.messages.size(), 3u);
}

TEST_F(ModuleServices, ASaveThatCannotWriteKeepsTheModuleModified)
{
    auto *memo = new TTestBase("Memo1", &root);
    IOTAModulePtr module = open(".Form1.Memo1.Lines", "a\n", memo);
    editorOf(module)->SetText("b\n");
    delete memo;
    EXPECT_THROW(module->Save(), EDesignError);
    EXPECT_TRUE(editorOf(module)->GetModified());
    // Yes on the close question, and the save fails: the module stays open.
    ui.answer(mrYes);
    EXPECT_THROW(module->Close(), EDesignError);
    EXPECT_EQ(services->FindModule(".Form1.Memo1.Lines"), module);

    // A property that is no string list is refused as well.
    auto *other = new TTestBase("Memo2", &root);
    IOTAModulePtr caption
        = services->CreateModule(std::make_shared<TextCreator>(".Form1.Memo2.Caption", "text"));
    StringsFileSystem()->GetTStringsProperty(".Form1.Memo2.Caption", other, "Caption");
    EXPECT_THROW(caption->Save(), EPropertyError);
    EXPECT_EQ(other->Caption(), QString());
    EXPECT_EQ(designer.modified, 0);
}

TEST_F(ModuleServices, ModulesWithoutANameOrFileSystemAreNotCreated)
{
    EXPECT_FALSE(services->CreateModule(std::make_shared<TextCreator>("", "text")));
    auto form = std::make_shared<TextCreator>("Unit1", "text");
    form->type = "Form";
    EXPECT_FALSE(services->CreateModule(form));
    EXPECT_THROW(
        services->CreateModule(std::make_shared<TextCreator>("Unit1", "text", "No.Such.FS")),
        EDesignError);
    EXPECT_EQ(services->GetModuleCount(), 0);
    auto *memo = new TTestBase("Memo1", &root);
    EXPECT_THROW(StringsFileSystem()->GetTStringsProperty("", memo, "Lines"), EDesignError)
        << "an empty name would be shared by every property tied to it";
}

TEST_F(ModuleServices, CreatingAnOpenModuleAgainShowsTheNewText)
{
    auto *memo = new TTestBase("Memo1", &root);
    IOTAModulePtr first = open(".Form1.Memo1.Lines", "one\n", memo);
    editorOf(first)->SetText("edited\n");
    IOTAModulePtr second = open(".FORM1.Memo1.Lines", "two\n", memo);
    EXPECT_EQ(first, second);
    EXPECT_EQ(services->GetModuleCount(), 1);
    EXPECT_EQ(editorOf(second)->GetText(), "two\n");
    EXPECT_FALSE(editorOf(second)->GetModified());
}

TEST_F(ModuleServices, TheCreatorIsReleasedAfterCreation)
{
    auto *memo = new TTestBase("Memo1", &root);
    auto creator = std::make_shared<TextCreator>(".Form1.Memo1.Lines", "x");
    std::weak_ptr<TextCreator> watch = creator;
    IOTAModulePtr module = services->CreateModule(std::move(creator));
    StringsFileSystem()->GetTStringsProperty(".Form1.Memo1.Lines", memo, "Lines");
    EXPECT_TRUE(module);
    EXPECT_TRUE(watch.expired());
}

} // namespace

namespace {

// Writes down what the services tell, one line an event.
class RecordingNotifier : public TModuleServicesNotifier
{
public:
    void ModuleOpened(const IOTAModulePtr &Module) override
    {
        log << "opened " + Module->GetFileName();
    }
    void ModuleClosed(const IOTAModulePtr &Module) override
    {
        log << QStringLiteral("closed %1 (%2 files)")
                   .arg(Module->GetFileName())
                   .arg(Module->GetModuleFileCount());
        if (onClosed)
            onClosed();
    }
    void EditorChanged(const IOTASourceEditorPtr &Editor) override
    {
        log << QStringLiteral("changed %1%2: %3")
                   .arg(Editor->GetFileName(), Editor->GetModified() ? "*" : "", Editor->GetText());
    }
    void EditorShown(const IOTASourceEditorPtr &Editor) override
    {
        log << "shown " + Editor->GetFileName();
    }
    QStringList log;
    std::function<void()> onClosed;
};

} // namespace

// A view learns of every module that opens or closes and of every change of
// an editor's text or mark, after it happened; a view that goes is no longer
// told, also when it leaves while being told.
TEST_F(ModuleServices, ListenersAreToldWhatHappens)
{
    auto *memo = new TTestBase("Memo1", &root);
    RecordingNotifier view;
    const int id = services->AddNotifier(&view);

    IOTAModulePtr m = open("dfm.Form1.Memo1.Lines", "one", memo);
    ASSERT_TRUE(m);
    IOTASourceEditorPtr editor = editorOf(m);
    editor->SetText("two");
    editor->Show();
    m->Save();
    open("dfm.Form1.Memo1.Lines", "three", memo); // the open module, new text
    editor->MarkModified();
    ui.answer(mrNo);
    EXPECT_TRUE(m->Close());
    EXPECT_EQ(view.log, (QStringList{
                            "opened dfm.Form1.Memo1.Lines",
                            "changed dfm.Form1.Memo1.Lines*: two",
                            "shown dfm.Form1.Memo1.Lines",
                            "changed dfm.Form1.Memo1.Lines: two",
                            "changed dfm.Form1.Memo1.Lines: three",
                            "changed dfm.Form1.Memo1.Lines*: three",
                            "closed dfm.Form1.Memo1.Lines (0 files)",
                        }));

    // A second view that leaves while the first close is told: the first
    // is told the rest, the second nothing more.
    RecordingNotifier other;
    const int otherId = services->AddNotifier(&other);
    view.onClosed = [&] {
        services->RemoveNotifier(otherId);
    };
    IOTAModulePtr a = open("dfm.Form1.Memo1.A", "a", memo);
    IOTAModulePtr b = open("dfm.Form1.Memo1.B", "b", memo);
    a->CloseModule(true);
    b->CloseModule(true);
    EXPECT_EQ(other.log, (QStringList{"opened dfm.Form1.Memo1.A", "opened dfm.Form1.Memo1.B"}));
    EXPECT_EQ(view.log.last(), "closed dfm.Form1.Memo1.B (0 files)");

    services->RemoveNotifier(id);
    view.log.clear();
    open("dfm.Form1.Memo1.C", "c", memo);
    EXPECT_TRUE(view.log.isEmpty());
}
