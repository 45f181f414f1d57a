#include "TestComponents.h"

#include "designide/DesignErrors.h"
#include "designide/Registrations.h"
#include "designide/StringListEditor.h"

#include "rtl/UiServices.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

QStringList valuesOf(TPropertyEditor &Editor)
{
    QStringList values;
    Editor.GetValues([&](const QString &V) { values << V; });
    return values;
}

class EditorsTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        registrations().clear();
        setFieldLinkDesigner(defaultFieldLinkDesigner());
    }

    template<class E>
    std::unique_ptr<E> editor(const QString &Prop, QList<QObject *> Components = {})
    {
        if (Components.isEmpty())
            Components = {&first, &second};
        return std::make_unique<E>(designer, Components, Prop);
    }

    std::shared_ptr<CountingDesigner> designer = std::make_shared<CountingDesigner>();
    TTestBase first{"First"};
    TTestLeaf second{"Second"};
};

TEST_F(EditorsTest, stringPropertyReadsFirstAndWritesAll)
{
    first.SetCaption("one");
    second.SetCaption("two");
    auto ed = editor<TStringProperty>("Caption");

    EXPECT_EQ(ed->GetValue(), "one") << "value of the first component";
    EXPECT_FALSE(ed->AllEqual());
    EXPECT_EQ(ed->PropCount(), 2);
    EXPECT_EQ(ed->GetPropType().Name, "string");

    ed->SetValue("both");
    EXPECT_EQ(first.Caption(), "both") << "first written";
    EXPECT_EQ(second.Caption(), "both") << "every selected component written";
    EXPECT_EQ(designer->modified, 1) << "one Modified per write";
    EXPECT_TRUE(ed->AllEqual());
    EXPECT_THROW(ed->GetComponent(2), EListError) << "index past the selection";
}

TEST_F(EditorsTest, writesThatCannotHappenRaiseAndChangeNothing)
{
    TTestOther other;
    first.SetCount(5);

    auto readOnly = editor<TStringProperty>("Version");
    EXPECT_THROW(readOnly->SetValue("2.0"), EPropertyError) << "read-only property";

    auto mixed = editor<TStringProperty>("Active", {&first, &other});
    EXPECT_THROW(mixed->SetValue("true"), EPropertyError)
        << "a selected component without the property";
    EXPECT_FALSE(first.Active()) << "checked before any component is written";
    EXPECT_TRUE(other.dynamicPropertyNames().isEmpty()) << "no dynamic property slipped in";

    auto count = editor<TStringProperty>("Count");
    EXPECT_THROW(count->SetValue("many"), EPropertyError) << "a value the type refuses";
    EXPECT_EQ(first.Count(), 5);
    count->SetValue("12");
    EXPECT_EQ(second.Count(), 12) << "convertible text is accepted";
    EXPECT_EQ(designer->modified, 1) << "only the successful write told the designer";

    auto missing = editor<TStringProperty>("NoSuchProperty");
    EXPECT_THROW(missing->GetValue(), EPropertyError);
}

TEST_F(EditorsTest, enumPropertyForBooleansAndEnumerations)
{
    auto active = editor<TEnumProperty>("Active");
    EXPECT_EQ(valuesOf(*active), QStringList({"False", "True"}));
    EXPECT_EQ(active->GetValue(), "False");
    EXPECT_TRUE(active->GetAttributes().contains(paValueList));

    active->SetValue("tRUE");
    EXPECT_TRUE(first.Active() && second.Active()) << "names in any letter case";
    EXPECT_EQ(active->GetValue(), "True");
    EXPECT_EQ(active->GetOrdValue(), 1);

    EXPECT_THROW(active->SetValue("Maybe"), EPropertyError);
    EXPECT_TRUE(first.Active()) << "an unknown name changes nothing";
    EXPECT_EQ(designer->modified, 1);

    active->Edit(); // double click: the next value
    EXPECT_FALSE(second.Active());

    auto mode = editor<TEnumProperty>("Mode");
    EXPECT_EQ(mode->GetPropType().Name, "TTestMode");
    EXPECT_EQ(valuesOf(*mode), QStringList({"tmFirst", "tmSecond", "tmThird"}));
    mode->SetValue("TMTHIRD");
    EXPECT_EQ(second.Mode(), TTestBase::tmThird);
    EXPECT_EQ(mode->GetValue(), "tmThird");
    mode->Edit();
    EXPECT_EQ(first.Mode(), TTestBase::tmFirst) << "Edit wraps to the first value";
}

TEST_F(EditorsTest, classPropertyAndDefaultEditorClasses)
{
    TTestOther buddy;
    auto ed = editor<TClassProperty>("Buddy");
    EXPECT_EQ(ed->GetValue(), "(QObject)") << "no object: the declared class";
    ed->SetOrdValue(&buddy);
    EXPECT_EQ(second.Buddy(), &buddy);
    EXPECT_EQ(ed->GetOrdValue(), &buddy);
    EXPECT_EQ(ed->GetValue(), "(TTestOther)") << "the object's class in parentheses";

    auto lines = editor<TClassProperty>("Lines");
    EXPECT_EQ(lines->GetPropType().Name, "TStrings");
    EXPECT_EQ(lines->GetOrdValue(), nullptr) << "a TStrings is not a QObject";
    TStringList text({"select 1", "from x"});
    lines->SetObjectValue<TStrings>(&text);
    EXPECT_EQ(second.Lines()->Text(), text.Text()) << "written through the setter";
    EXPECT_EQ(lines->GetObjectValue<TStrings>(), first.Lines());
    EXPECT_EQ(lines->GetValue(), "(TStrings)");

    const auto classFor = [&](const char *Prop) {
        return propertyEditorClassFor(&second, Prop).ClassName();
    };
    EXPECT_EQ(classFor("Active"), "TEnumProperty");
    EXPECT_EQ(classFor("Mode"), "TEnumProperty");
    EXPECT_EQ(classFor("Lines"), "TStringListProperty");
    EXPECT_EQ(classFor("Caption"), "TStringProperty");
    RegisterPropertyEditor(TypeInfo("string"), &TTestDerived::staticMetaObject, "Caption",
                           propertyEditorClass<TPropEdA>());
    EXPECT_EQ(classFor("Caption"), "TPropEdA") << "a registration overrides the default";
    EXPECT_THROW(propertyEditorClassFor(&second, "Nothing"), EPropertyError);
}

// The string-list editor: lines that differ between the selected components
// are written on OK although the first one's are unchanged; a code editor
// that cannot take the text says so and leaves the dialog open with it.
TEST_F(EditorsTest, stringListEditorWritesEveryComponentAndKeepsItsText)
{
    first.Lines()->SetText("select 1");
    second.Lines()->SetText("select 2");
    auto lines = editor<TStringListProperty>("Lines");
    EXPECT_TRUE(lines->GetAttributes().contains(paDialog));
    EXPECT_FALSE(lines->GetAttributes().contains(paSubProperties));

    ScriptedUi ui;
    ui.onModal([](TForm &F) {
        auto *dlg = qobject_cast<TStringsEditDlg *>(&F);
        ASSERT_TRUE(dlg);
        EXPECT_EQ(dlg->Text(), "select 1") << "the first component's lines";
        EXPECT_EQ(dlg->LineCountText(), "1 line");
        dlg->SetText("");
        EXPECT_EQ(dlg->LineCountText(), "0 lines");
        dlg->SetText("select 1");
        F.SetModalResult(mrOk);
    });
    lines->Edit();
    EXPECT_EQ(second.Lines()->Text(), "select 1\n") << "the selection now agrees";
    EXPECT_EQ(designer->modified, 1);

    ui.onModal([](TForm &F) { F.SetModalResult(mrOk); });
    lines->Edit();
    EXPECT_EQ(designer->modified, 1) << "nothing changed, nothing written";

    // No named module to open the text in: the error is shown, the typed
    // text stays in the dialog, and Cancel then writes nothing.
    ui.onModal([](TForm &F) {
        auto *dlg = static_cast<TStringsEditDlg *>(&F);
        dlg->SetText("select 3");
        dlg->btCodeEditorClick();
        EXPECT_EQ(F.ModalResult(), mrNone) << "still open";
        EXPECT_EQ(dlg->Text(), "select 3");
        F.SetModalResult(mrCancel);
    });
    ui.answer(mrOk);
    lines->Edit();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.messages[0].text.contains("cannot be opened in the code editor"));
    EXPECT_EQ(first.Lines()->Text(), "select 1\n");
    EXPECT_EQ(ui.pendingSteps(), 0u);
}

class TwoVerbEditor : public TComponentEditor
{
public:
    using TComponentEditor::TComponentEditor;
    int GetVerbCount() override { return TComponentEditor::GetVerbCount() + 2; }
    QString GetVerb(int Index) override { return Index == 0 ? "First" : "-"; }
    void ExecuteVerb(int Index) override { executed << Index; }
    QList<int> executed;
};

TEST_F(EditorsTest, componentEditorDoubleClick)
{
    TwoVerbEditor withVerbs(&first, designer);
    withVerbs.Edit();
    EXPECT_EQ(withVerbs.executed, QList<int>({0})) << "double click runs verb 0";
    EXPECT_EQ(withVerbs.Component(), &first);
    EXPECT_EQ(withVerbs.GetDesigner(), designer);

    TDataSetEditor none(&first, designer);
    none.Edit(); // no verbs: nothing to run, nothing raised
    EXPECT_EQ(none.GetVerbCount(), 0);
    EXPECT_FALSE(none.GetDSDesignerClass().Name.isEmpty());
}

TEST_F(EditorsTest, databasePackageEditors)
{
    auto index = editor<TIndexNameProperty>("IndexName");
    EXPECT_EQ(valuesOf(*index), QStringList({"ByName", "ById"}))
        << "listed by the dataset's GetIndexNames";
    auto fields = editor<TIndexFieldNamesProperty>("IndexFieldNames");
    EXPECT_TRUE(valuesOf(*fields).isEmpty()) << "a dataset without the list offers nothing";

    auto link = editor<TFieldLinkProperty>("MasterFields");
    setFieldLinkDesigner({});
    EXPECT_THROW(link->Edit(), EDesignError) << "no field-link designer installed";
    EXPECT_FALSE(link->Changed());

    setFieldLinkDesigner([](TFieldLinkProperty &Ed) {
        Ed.SetIndexName("ByName");
        Ed.SetMasterFields(Ed.GetMasterFields() + "ID");
        return true;
    });
    link->Edit();
    EXPECT_TRUE(link->Changed());
    EXPECT_EQ(first.MasterFields, "ID") << "accessors work on GetDataSet, the first component";
    EXPECT_EQ(first.IndexName, "ByName");
    EXPECT_EQ(designer->modified, 1) << "a change is reported";

    setFieldLinkDesigner([](TFieldLinkProperty &) { return false; });
    link->Edit();
    EXPECT_FALSE(link->Changed());
    EXPECT_EQ(designer->modified, 1) << "no change, no report";
}

TEST_F(EditorsTest, fieldLinkDialogIsInstalledByDefault)
{
    ScriptedUi ui;
    auto link = editor<TFieldLinkProperty>("MasterFields");
    EXPECT_EQ(link->GetAttributes(), TPropertyAttributes({paDialog, paRevertable}));
    // The dialog is there; it refuses a dataset without a master before it
    // shows, so the script (which has no step) is never asked.
    try {
        link->Edit();
        ADD_FAILURE() << "a dataset without MasterSource has nothing to link to";
    } catch (const EDesignError &e) {
        EXPECT_TRUE(e.Message().contains("MasterSource")) << e.Message().toStdString();
    }
    EXPECT_TRUE(ui.modalForms.empty());
    EXPECT_FALSE(link->Changed());
    EXPECT_EQ(first.MasterFields, "");
}

} // namespace
