// A string-list property as a text module of the code editor: its name, the
// creator handed to the environment, and the round trip of a query's SQL.
#include "PackageTestSupport.h"

#include "OvRegModules.h"

#include "designide/Stfilsys.h"

#include "orvlib/OvDataSets.h"

#include "rtl/UiServices.h"

namespace {

// Module services that hand every call on to the environment's and keep
// what the package passed.
class RecordingModuleServices : public IOTAModuleServices
{
public:
    explicit RecordingModuleServices(std::shared_ptr<TModuleServices> Inner)
        : inner(std::move(Inner))
    {}
    IOTAModulePtr CreateModule(const IOTACreatorPtr &Creator) override
    {
        lastCreator = Creator;
        auto creator = std::dynamic_pointer_cast<IOTAModuleCreator>(Creator);
        if (creator) {
            createdName = creator->GetImplFileName();
            source = creator->NewImplSource(createdName, {}, {});
        }
        return refuse ? nullptr : inner->CreateModule(Creator);
    }
    IOTAModulePtr FindModule(const QString &FileName) override
    {
        found.append(FileName);
        return inner->FindModule(FileName);
    }
    int GetModuleCount() override { return inner->GetModuleCount(); }
    IOTAModulePtr GetModule(int Index) override { return inner->GetModule(Index); }
    void RegisterFileSystem(const IOTAFileSystemPtr &FileSystem) override
    {
        inner->RegisterFileSystem(FileSystem);
    }
    IOTAFileSystemPtr FindFileSystem(const QString &ID) override
    {
        return inner->FindFileSystem(ID);
    }

    std::shared_ptr<TModuleServices> inner;
    std::weak_ptr<IOTACreator> lastCreator;
    QString createdName;
    IOTAFilePtr source;
    QStringList found;
    bool refuse = false;
};

class RecordingServices : public IInterface
{
public:
    IInterfacePtr QueryInterface(const TGUID &IID) override
    {
        return IID == IID_IOTAModuleServices ? moduleServices : nullptr;
    }
    std::shared_ptr<RecordingModuleServices> moduleServices;
};

class StringsModule : public PackageFixture
{
protected:
    void SetUp() override
    {
        PackageFixture::SetUp();
        form.setObjectName("Form1");
        query = new TOvQuery(&form);
        query->setObjectName("Query1");
        query->SQL()->SetText("select * from T");
    }

    // Installs recording services in front of the environment's.
    RecordingModuleServices &record()
    {
        auto recording = std::make_shared<RecordingServices>();
        recording->moduleServices = std::make_shared<RecordingModuleServices>(services);
        BorlandIDEServices = recording;
        return *recording->moduleServices;
    }

    static IOTASourceEditorPtr editorOf(const IOTAModulePtr &Module)
    {
        return std::dynamic_pointer_cast<IOTASourceEditor>(Module->GetModuleFileEditor(0));
    }

    QObject form;
    TOvQuery *query = nullptr;
    std::shared_ptr<TestDesigner> designer = std::make_shared<TestDesigner>(&form);
    ScriptedUi ui;
};

TEST_F(StringsModule, NameJoinsExtensionRootComponentAndProperty)
{
    designer->extension = "ovf";
    EXPECT_EQ(StringsModuleName(designer, query, "SQL"), "ovf.Form1.Query1.SQL");
    designer->extension.clear();
    EXPECT_EQ(StringsModuleName(designer, query, "SQL"), ".Form1.Query1.SQL")
        << "an empty extension keeps its separator";

    QObject other;
    TOvQuery stranger(&other);
    stranger.setObjectName("Query2");
    EXPECT_EQ(StringsModuleName(designer, &stranger, "SQL"), "") << "not owned by the root";
    TOvQuery nested(query);
    EXPECT_EQ(StringsModuleName(designer, &nested, "SQL"), "") << "owned below the root";
    form.setObjectName("");
    EXPECT_EQ(StringsModuleName(designer, query, "SQL"), "") << "a root without a name";
    EXPECT_EQ(StringsModuleName(std::make_shared<TestDesigner>(), query, "SQL"), "")
        << "a designer without a root";
}

TEST_F(StringsModule, QuerySQLRoundTrip)
{
    TStringList list;
    list.SetText("select ID, NAME\nfrom CUSTOMER");
    ShowStringsInCodeEditor(designer, query, "SQL", &list, false);

    IOTAModulePtr module = services->FindModule(".Form1.Query1.SQL");
    ASSERT_TRUE(module);
    IOTASourceEditorPtr editor = editorOf(module);
    EXPECT_EQ(editor->GetText(), "select ID, NAME\nfrom CUSTOMER\n");
    EXPECT_FALSE(editor->GetModified()) << "shown without the modified mark";
    EXPECT_EQ(services->FrontEditor(), editor) << "shown";
    EXPECT_EQ(query->SQL()->Text(), "select * from T\n") << "the query is not touched yet";
    EXPECT_EQ(designer->modified, 0);

    // The person edits the module in the code editor and saves it.
    editor->SetText("select ID from CUSTOMER where ID = :ID\n");
    module->Save();
    EXPECT_EQ(query->SQL()->Text(), "select ID from CUSTOMER where ID = :ID\n");
    EXPECT_EQ(query->Params()->Count(), 1) << "written through the setter, which re-reads params";
    EXPECT_EQ(designer->modified, 1) << "the designer is told";

    EXPECT_TRUE(ShowExistingStringsModule(designer, query, "SQL"));
    EXPECT_TRUE(CloseStringsModule(designer, query, "SQL")) << "saved: closes without asking";
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(services->FindModule(".Form1.Query1.SQL"));
    EXPECT_FALSE(ShowExistingStringsModule(designer, query, "SQL"));
    EXPECT_TRUE(CloseStringsModule(designer, query, "SQL")) << "nothing open: editing may go on";
}

TEST_F(StringsModule, ModifiedModuleAndARefusedClose)
{
    TStringList list;
    list.SetText("select 2");
    services->OnShow = [&](const IOTASourceEditorPtr &) {
    };
    ShowStringsInCodeEditor(designer, query, "SQL", &list, true);
    IOTAModulePtr module = services->FindModule(".Form1.Query1.SQL");
    ASSERT_TRUE(module);
    EXPECT_TRUE(module->GetModuleFileEditor(0)->GetModified()) << "shown marked modified";

    ui.answer(mrCancel);
    EXPECT_FALSE(CloseStringsModule(designer, query, "SQL"));
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(services->FindModule(".Form1.Query1.SQL"), module) << "the module stays open";
    EXPECT_EQ(query->SQL()->Text(), "select * from T\n");

    ui.answer(mrYes);
    EXPECT_TRUE(CloseStringsModule(designer, query, "SQL"));
    EXPECT_EQ(query->SQL()->Text(), "select 2\n") << "saved on the way out";
    EXPECT_EQ(designer->modified, 1);
}

TEST_F(StringsModule, TheCreatorTheEnvironmentGets)
{
    RecordingModuleServices &rec = record();
    TStringList empty;
    ShowStringsInCodeEditor(designer, query, "SQL", &empty, false);
    EXPECT_EQ(rec.createdName, ".Form1.Query1.SQL");
    ASSERT_TRUE(rec.source);
    EXPECT_EQ(rec.source->GetSource(), "") << "an empty list gives an empty module";
    EXPECT_LE(qAbs(rec.source->GetAge().secsTo(QDateTime::currentDateTime())), 5);
    EXPECT_TRUE(rec.lastCreator.expired()) << "the creator goes with the last release";
    EXPECT_EQ(StringsFileSystem()->FindTStringsProperty(".Form1.Query1.SQL")->FileDate(),
              DateTimeToFileDate(rec.source->GetAge()));

    // The creator's answers, asked while it is alive.
    struct Check : public IOTAModuleServices
    {
        IOTAModulePtr CreateModule(const IOTACreatorPtr &Creator) override
        {
            auto c = std::dynamic_pointer_cast<IOTAModuleCreator>(Creator);
            EXPECT_TRUE(c);
            EXPECT_EQ(c->GetCreatorType(), "Text");
            EXPECT_TRUE(c->GetExisting());
            EXPECT_EQ(c->GetFileSystem(), "Delphi.TStringsFileSystem");
            EXPECT_FALSE(c->GetOwner());
            EXPECT_FALSE(c->GetUnnamed());
            EXPECT_EQ(c->GetAncestorName(), "");
            EXPECT_EQ(c->GetImplFileName(), "ovf.Form1.Query1.SQL");
            EXPECT_EQ(c->GetIntfFileName(), "");
            EXPECT_EQ(c->GetFormName(), "");
            EXPECT_FALSE(c->GetMainForm());
            EXPECT_FALSE(c->GetShowForm());
            EXPECT_TRUE(c->GetShowSource());
            EXPECT_FALSE(c->NewFormFile("a", "b"));
            EXPECT_FALSE(c->NewIntfSource("a", "b", "c"));
            EXPECT_EQ(c->NewImplSource("a", "b", "c")->GetSource(), "line 1\nline 2\n");
            ++created;
            return nullptr; // no module comes back
        }
        IOTAModulePtr FindModule(const QString &) override { return nullptr; }
        int GetModuleCount() override { return 0; }
        IOTAModulePtr GetModule(int) override { return nullptr; }
        void RegisterFileSystem(const IOTAFileSystemPtr &) override {}
        IOTAFileSystemPtr FindFileSystem(const QString &) override { return nullptr; }
        int created = 0;
    };
    struct Services : public IInterface
    {
        IInterfacePtr QueryInterface(const TGUID &IID) override
        {
            return IID == IID_IOTAModuleServices ? check : nullptr;
        }
        std::shared_ptr<Check> check = std::make_shared<Check>();
    };
    auto checking = std::make_shared<Services>();
    BorlandIDEServices = checking;
    designer->extension = "ovf";
    TStringList two;
    two.SetText("line 1\nline 2");
    ShowStringsInCodeEditor(designer, query, "SQL", &two, true);
    EXPECT_EQ(checking->check->created, 1);
    EXPECT_FALSE(StringsFileSystem()->FindTStringsProperty("ovf.Form1.Query1.SQL"))
        << "no module: nothing is tied to the property";
}

TEST_F(StringsModule, NoModuleUnderAnEmptyName)
{
    RecordingModuleServices &rec = record();
    QObject other;
    auto *stranger = new TOvQuery(&other);
    stranger->setObjectName("Query1");
    TStringList list;
    list.SetText("delete from T");
    EXPECT_THROW(ShowStringsInCodeEditor(designer, stranger, "SQL", &list, false), Exception);
    EXPECT_TRUE(rec.createdName.isNull()) << "no module is created";
    EXPECT_FALSE(StringsFileSystem()->FindTStringsProperty("")) << "nothing is tied to \"\"";
    EXPECT_EQ(services->GetModuleCount(), 0);

    EXPECT_TRUE(CloseStringsModule(designer, stranger, "SQL"));
    EXPECT_FALSE(ShowExistingStringsModule(designer, stranger, "SQL"));
    EXPECT_TRUE(rec.found.isEmpty()) << "no look-up for a module without a name";

    // The query of the root is unaffected by its namesake elsewhere.
    ShowStringsInCodeEditor(designer, query, "SQL", &list, false);
    EXPECT_EQ(rec.found, QStringList()) << "showing does not look for an open module";
    EXPECT_TRUE(ShowExistingStringsModule(designer, query, "SQL"));
    EXPECT_EQ(rec.found, QStringList({".Form1.Query1.SQL"}));
}

TEST_F(StringsModule, AFailedInterfaceQueryReachesTheCaller)
{
    BorlandIDEServices = std::make_shared<IInterface>();
    TStringList list;
    EXPECT_THROW(ShowStringsInCodeEditor(designer, query, "SQL", &list, false), EIntfCastError);
    EXPECT_THROW(CloseStringsModule(designer, query, "SQL"), EIntfCastError);
    EXPECT_THROW(ShowExistingStringsModule(designer, query, "SQL"), EIntfCastError);
}

TEST_F(StringsModule, AltKeyComesFromTheSeam)
{
    ui.altKeyDown = true;
    EXPECT_TRUE(IsAltKeyDown());
    ui.altKeyDown = false;
    EXPECT_FALSE(IsAltKeyDown());
}

} // namespace
