// The Object Inspector model on test components: which rows a selection
// shows, which editor serves each, and what the operations of a row do.
#include "TestComponents.h"

#include "designide/ComponentProperty.h"
#include "designide/DesignErrors.h"
#include "designide/FormFile.h"
#include "designide/PropertyGridModel.h"
#include "designide/Registrations.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// A component with a default the inspector can revert to: it can be
// created from its class, as palette components are.
class TRevertable : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Caption MEMBER Caption)
    Q_PROPERTY(int Count MEMBER Count)

public:
    Q_INVOKABLE explicit TRevertable(QObject *Owner = nullptr)
        : QObject(Owner)
    {}
    QString Caption = QStringLiteral("Untitled");
    int Count = 7;
};

// An editor for one component at a time, with an unsorted list it lets the
// inspector complete from only while AutoFillOn is set.
class TSingleListProperty : public TStringProperty
{
    Q_OBJECT

public:
    using TStringProperty::TStringProperty;
    TPropertyAttributes GetAttributes() override { return {paValueList}; }
    void GetValues(const TGetStrProc &Proc) override
    {
        for (const char *v : {"zeta", "Alpha", "beta"})
            Proc(QString::fromLatin1(v));
    }
    bool AutoFill() override { return AutoFillOn; }
    static inline bool AutoFillOn = true;
};

// An editor whose value cannot be read and whose writes fail halfway: the
// first component is written before it raises.
class TFaultyProperty : public TStringProperty
{
    Q_OBJECT

public:
    using TStringProperty::TStringProperty;
    QString GetValue() override { throw EPropertyError("cannot read " + GetName()); }
    void SetValue(const QString &Value) override
    {
        GetComponent(0)->setProperty(GetName().toLatin1(), Value);
        throw EPropertyError("written only to the first");
    }
};

// A sorted list for typed text on a value the editor keeps read-only.
class TChoiceOnlyProperty : public TStringProperty
{
    Q_OBJECT

public:
    using TStringProperty::TStringProperty;
    TPropertyAttributes GetAttributes() override
    {
        return {paValueList, paSortList, paReadOnly, paMultiSelect};
    }
    void GetValues(const TGetStrProc &Proc) override
    {
        Proc("two");
        Proc("One");
    }
};

QStringList rowNames(const TObjectInspectorModel &Model)
{
    QStringList names;
    for (int i = 0; i < Model.rowCount(); ++i)
        names << Model.row(i)->name();
    return names;
}

QString editorOf(TInspectorRow *Row)
{
    return Row ? QString::fromLatin1(Row->editor()->metaObject()->className()) : "(no row)";
}

class ObjectInspectorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        designer->root = &root;
        first.SetCaption("one");
        second.SetCaption("two");
    }
    void TearDown() override { registrations().clear(); }

    QObject root;
    std::shared_ptr<CountingDesigner> designer = std::make_shared<CountingDesigner>();
    TTestBase &first = *new TTestBase("First", &root);
    TTestLeaf &second = *new TTestLeaf("Second", &root);
    TTestOther &other = *new TTestOther;
    TObjectInspectorModel model;
};

TEST_F(ObjectInspectorTest, oneComponentShowsEveryPropertyWithItsEditor)
{
    RegisterPropertyEditor(TypeInfo("string"), &TTestBase::staticMetaObject, "Caption",
                           propertyEditorClass<TPropEdA>());
    // Registered later and for a nearer class, but for every string property:
    // the registration naming Caption stays the more specific one.
    RegisterPropertyEditor(TypeInfo("string"), &TTestLeaf::staticMetaObject, "",
                           propertyEditorClass<TPropEdB>());
    model.setSelection(designer, {&second});

    EXPECT_EQ(rowNames(model),
              QStringList({"Active", "Buddy", "Caption", "Count", "IndexFieldNames", "IndexName",
                           "Lines", "MasterFields", "Mode", "Version"}))
        << "every published property, sorted by name, objectName left out";
    EXPECT_EQ(editorOf(model.findRow("caption")), "TPropEdA") << "the named registration wins";
    EXPECT_EQ(editorOf(model.findRow("IndexName")), "TPropEdB")
        << "the class's registration for every string property";
    EXPECT_EQ(editorOf(model.findRow("Active")), "TEnumProperty");
    EXPECT_EQ(editorOf(model.findRow("Buddy")), "TComponentProperty")
        << "a reference to a component";
    EXPECT_EQ(editorOf(model.findRow("Lines")), "TStringListProperty");
    EXPECT_EQ(editorOf(model.findRow("Count")), "TIntegerProperty");

    EXPECT_EQ(model.findRow("Caption")->value(), "two");
    EXPECT_EQ(model.findRow("Active")->value(), "False");
    EXPECT_EQ(model.findRow("Mode")->value(), "tmFirst");
    EXPECT_EQ(model.findRow("Lines")->value(), "(TStrings)");
    EXPECT_EQ(model.valuesOf(model.findRow("Active")), QStringList({"False", "True"}));
    EXPECT_TRUE(model.findRow("Lines")->isReadOnly()) << "not typed";
    EXPECT_TRUE(model.findRow("Lines")->hasDialog()) << "edited in its dialog";
    EXPECT_FALSE(model.findRow("Lines")->hasChildren()) << "a string list has no sub-properties";
    EXPECT_EQ(model.findRow("NoSuch"), nullptr);

    model.setValue(model.findRow("Mode"), "TMTHIRD");
    EXPECT_EQ(second.Mode(), TTestBase::tmThird) << "names are taken in any letter case";
    EXPECT_EQ(model.findRow("Mode")->value(), "tmThird") << "the row reads the value back";
    EXPECT_EQ(designer->modified, 1);

    EXPECT_THROW(model.setValue(model.findRow("Mode"), "tmFourth"), EPropertyError);
    EXPECT_THROW(model.setValue(model.findRow("Version"), "2.0"), EPropertyError)
        << "a property without a setter refuses the write";
    EXPECT_EQ(model.findRow("Version")->value(), "1.0");
    EXPECT_EQ(designer->modified, 1) << "a refused write is no change";
}

// An activation the form stores True but that was held is shown as held;
// a person setting it True opens it and keeps it stored, setting it False
// forgets it.
TEST_F(ObjectInspectorTest, aHeldActivationIsShownUntilAPersonSetsIt)
{
    SetHeldActivation(&second, QStringLiteral("Active"), true);
    model.setSelection(designer, {&second});
    EXPECT_TRUE(model.findRow("Active")->isHeld());
    EXPECT_EQ(model.findRow("Active")->value(), "False") << "it is not live";
    EXPECT_FALSE(model.findRow("Caption")->isHeld());

    model.setValue(model.findRow("Active"), "True");
    EXPECT_TRUE(second.Active());
    EXPECT_FALSE(model.findRow("Active")->isHeld()) << "live now";
    EXPECT_TRUE(IsHeldActivation(&second, QStringLiteral("Active"))) << "and still stored True";
    model.setValue(model.findRow("Active"), "False");
    EXPECT_FALSE(IsHeldActivation(&second, QStringLiteral("Active"))) << "the person said False";
    EXPECT_FALSE(model.findRow("Active")->isHeld());
}

TEST_F(ObjectInspectorTest, severalComponentsShowWhatTheyShareAndMayEditTogether)
{
    RegisterPropertyEditor(TypeInfo("string"), &TTestBase::staticMetaObject, "MasterFields",
                           propertyEditorClass<TSingleListProperty>());
    RegisterPropertyEditor(TypeInfo("string"), &TTestLeaf::staticMetaObject, "IndexName",
                           propertyEditorClass<TPropEdC>());

    model.setSelection(designer, {&first});
    ASSERT_NE(model.findRow("MasterFields"), nullptr) << "offered for one component";

    model.setSelection(designer, {&first, &second});
    const QStringList shared = rowNames(model);
    EXPECT_FALSE(shared.contains("MasterFields")) << "its editor lacks paMultiSelect";
    EXPECT_FALSE(shared.contains("IndexName")) << "the two components use different editors";
    EXPECT_TRUE(shared.contains("Caption"));
    EXPECT_TRUE(shared.contains("Mode"));

    EXPECT_EQ(model.findRow("Caption")->value(), "") << "different values show blank";
    EXPECT_EQ(model.findRow("Mode")->value(), "tmFirst") << "equal values show";
    model.setValue(model.findRow("Caption"), "same");
    EXPECT_EQ(first.Caption(), "same");
    EXPECT_EQ(second.Caption(), "same") << "every selected component is written";
    EXPECT_EQ(model.findRow("Caption")->value(), "same");

    model.setSelection(designer, {&first, &other, &first});
    EXPECT_EQ(model.selection().size(), 2) << "a component selected twice counts once";
    EXPECT_EQ(rowNames(model), QStringList({"Caption"})) << "the one property both have";
    model.setSelection(designer, {});
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(ObjectInspectorTest, valueListsSortAndCompleteAsTheEditorSays)
{
    RegisterPropertyEditor(TypeInfo("string"), &TTestBase::staticMetaObject, "MasterFields",
                           propertyEditorClass<TSingleListProperty>());
    RegisterPropertyEditor(TypeInfo("string"), &TTestBase::staticMetaObject, "IndexFieldNames",
                           propertyEditorClass<TChoiceOnlyProperty>());
    model.setSelection(designer, {&first});
    TInspectorRow *unsorted = model.findRow("MasterFields");
    TInspectorRow *sorted = model.findRow("IndexFieldNames");

    EXPECT_EQ(model.valuesOf(unsorted), QStringList({"zeta", "Alpha", "beta"}))
        << "without paSortList the editor's order";
    EXPECT_EQ(model.valuesOf(sorted), QStringList({"One", "two"})) << "sorted ignoring case";

    TSingleListProperty::AutoFillOn = true;
    EXPECT_EQ(model.autoComplete(unsorted, "BE"), "beta") << "completed ignoring case";
    EXPECT_EQ(model.autoComplete(unsorted, "q"), "q") << "no entry starts so";
    const QStringList prefixFirst{"Customer", "Cust"};
    EXPECT_EQ(model.autoComplete(unsorted, "cust", &prefixFirst), "Cust")
        << "an equal entry beats an earlier longer one";
    TSingleListProperty::AutoFillOn = false;
    EXPECT_EQ(model.autoComplete(unsorted, "be"), "be") << "AutoFill refused";
    EXPECT_EQ(model.autoComplete(model.findRow("Caption"), "x"), "x") << "no value list";

    model.setValue(sorted, "one");
    EXPECT_EQ(first.IndexFieldNames, "one") << "a read-only row takes an entry of its list";
    EXPECT_THROW(model.setValue(sorted, "three"), EPropertyError) << "but no other text";
    EXPECT_EQ(first.IndexFieldNames, "one");
}

TEST_F(ObjectInspectorTest, componentReferencesOfferTheModulesComponents)
{
    auto *leaf = new TTestLeaf("Leaf", &root);
    new TTestOther(); // not on the module
    auto *stranger = new TTestOther;
    stranger->setParent(&root);
    stranger->setObjectName("Stranger");
    new TTestBase("", &root); // unnamed: cannot be referred to
    model.setSelection(designer, {&first});
    TInspectorRow *buddy = model.findRow("Buddy");

    EXPECT_EQ(model.valuesOf(buddy), QStringList({"First", "Leaf", "Second", "Stranger"}))
        << "named components of the module, sorted: Buddy takes any QObject";
    model.setValue(buddy, "leaf");
    EXPECT_EQ(first.Buddy(), leaf) << "chosen by name ignoring case";
    EXPECT_EQ(buddy->value(), "Leaf");
    EXPECT_THROW(model.setValue(buddy, "Nobody"), EPropertyError);
    EXPECT_EQ(first.Buddy(), leaf) << "a refused name leaves the reference";
    model.setValue(buddy, "");
    EXPECT_EQ(first.Buddy(), nullptr) << "empty text clears the reference";
    EXPECT_EQ(buddy->value(), "");
}

TEST_F(ObjectInspectorTest, subPropertiesFollowTheObjectTheyBelongTo)
{
    // Expanding Buddy as an object of its own instead of choosing it.
    RegisterPropertyEditor(TypeInfo("QObject"), &TTestBase::staticMetaObject, "Buddy",
                           propertyEditorClass<TClassProperty>());
    TTestBase inner("Inner");
    inner.SetCaption("inside");
    first.SetBuddy(&inner);
    model.setSelection(designer, {&first});
    TInspectorRow *buddy = model.findRow("Buddy");
    ASSERT_TRUE(buddy->hasChildren());
    EXPECT_EQ(buddy->childCount(), 10);
    TInspectorRow *caption = model.findRow("Buddy.Caption");
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption->parent(), buddy);
    EXPECT_EQ(caption->path(), "Buddy.Caption");
    EXPECT_EQ(caption->value(), "inside");

    model.setValue(caption, "changed");
    EXPECT_EQ(inner.Caption(), "changed") << "a sub-property writes the inner object";
    EXPECT_EQ(first.Caption(), "one");

    int resets = 0;
    QObject::connect(&model, &TObjectInspectorModel::rowsReset, [&] { ++resets; });
    TTestBase replacement("Replacement");
    first.SetBuddy(&replacement);
    model.refresh();
    EXPECT_EQ(resets, 1) << "the child rows of the old object are gone";
    EXPECT_EQ(model.findRow("Buddy.Caption")->value(), "") << "rows of the new object";

    first.SetBuddy(&first);
    model.refresh();
    EXPECT_FALSE(model.findRow("Buddy")->hasChildren())
        << "an object that leads back to itself does not unfold forever";
    first.SetBuddy(nullptr);
    model.refresh();
    EXPECT_EQ(model.findRow("Buddy")->childCount(), 0);
}

TEST_F(ObjectInspectorTest, categoriesGroupAndFilterRows)
{
    RegisterPropertiesInCategory("Linkage", &TTestBase::staticMetaObject,
                                 {"MasterFields", "Index*"});
    RegisterPropertiesInCategory("Visual", &TTestLeaf::staticMetaObject, {"Caption", "Mode"});
    RegisterPropertiesInCategory("Linkage", &TTestLeaf::staticMetaObject, {"Caption"});
    model.setSelection(designer, {&first, &second});

    EXPECT_EQ(model.categories(), QStringList({"Linkage", "Visual", "Miscellaneous"}))
        << "registration order, the unplaced last";
    EXPECT_EQ(model.findRow("Caption")->categories(), QStringList({"Visual", "Linkage"}))
        << "the categories of every selected class";
    QStringList linkage;
    for (TInspectorRow *r : model.rowsInCategory("Linkage"))
        linkage << r->name();
    EXPECT_EQ(linkage, QStringList({"Caption", "IndexFieldNames", "IndexName", "MasterFields"}));

    model.setHiddenCategories({"Visual"});
    EXPECT_TRUE(model.isVisible(model.findRow("Caption"))) << "still in a shown category";
    EXPECT_TRUE(model.isVisible(model.findRow("Count")));
    model.setHiddenCategories({"Visual", "Linkage"});
    EXPECT_FALSE(model.isVisible(model.findRow("Caption")));
    EXPECT_FALSE(model.isVisible(model.findRow("Mode")));
    EXPECT_TRUE(model.isVisible(model.findRow("Active")));
}

TEST_F(ObjectInspectorTest, editorErrorsReachTheCallerAndRowsShowWhatHappened)
{
    RegisterPropertyEditor(TypeInfo("string"), &TTestBase::staticMetaObject, "Caption",
                           propertyEditorClass<TFaultyProperty>());
    model.setSelection(designer, {&first});
    EXPECT_EQ(model.findRow("Caption")->error(), "cannot read Caption");
    model.setSelection(designer, {&first, &second});
    TInspectorRow *caption = model.findRow("Caption");
    EXPECT_EQ(caption->value(), "") << "different values: GetValue is not asked";
    EXPECT_THROW(model.setValue(caption, "two"), EPropertyError);
    EXPECT_EQ(first.Caption(), "two");
    EXPECT_EQ(model.findRow("Caption")->error(), "cannot read Caption")
        << "the rows were read again after the failed write: now equal, so GetValue ran";

    // A selected component destroyed behind the model's back.
    model.setSelection(designer, {&second});
    delete &second;
    int resets = 0;
    QObject::connect(&model, &TObjectInspectorModel::rowsReset, [&] { ++resets; });
    model.refresh();
    EXPECT_EQ(model.rowCount(), 0) << "no editor is left on a destroyed component";
    EXPECT_EQ(resets, 1);
}

TEST_F(ObjectInspectorTest, numbersAreCheckedBeforeTheyAreWritten)
{
    model.setSelection(designer, {&first, &second});
    TInspectorRow *count = model.findRow("Count");
    model.setValue(count, " 42 ");
    EXPECT_EQ(first.Count(), 42) << "blanks around a number are allowed";
    EXPECT_EQ(second.Count(), 42);
    model.setValue(count, "-2147483648");
    EXPECT_EQ(first.Count(), -2147483648LL) << "the smallest Integer";
    const int before = designer->modified;
    for (const char *bad : {"abc", "", "4 2", "1.5", "2147483648", "99999999999", "0x10"}) {
        EXPECT_THROW(model.setValue(model.findRow("Count"), bad), EPropertyError) << bad;
        EXPECT_EQ(first.Count(), -2147483648LL) << bad << " leaves the value (no wrap-around)";
    }
    EXPECT_EQ(designer->modified, before) << "refused numbers are no change";
}

TEST_F(ObjectInspectorTest, revertGoesBackToTheClassDefault)
{
    TRevertable item(&root);
    item.Caption = "Changed";
    item.Count = 99;
    model.setSelection(designer, {&item});
    EXPECT_TRUE(model.canRevert(model.findRow("Caption")));
    model.revert(model.findRow("Caption"));
    model.revert(model.findRow("Count"));
    EXPECT_EQ(item.Caption, "Untitled");
    EXPECT_EQ(item.Count, 7);
    EXPECT_EQ(model.findRow("Count")->value(), "7");

    model.setSelection(designer, {&first});
    EXPECT_FALSE(model.canRevert(model.findRow("Lines"))) << "an object is edited in place";
    EXPECT_FALSE(model.canRevert(model.findRow("Version"))) << "nothing to write to";
    EXPECT_THROW(model.revert(model.findRow("Caption")), EPropertyError)
        << "a class that cannot be created has no default";
    EXPECT_EQ(first.Caption(), "one");
}

TEST_F(ObjectInspectorTest, objectPropertiesUseTheEditorsOfTheirClassAncestors)
{
    // Buddy is declared as QObject; TTestBase registrations for a TTestBase-typed
    // property would not reach it, but a registration for QObject does.
    RegisterPropertyEditor(TypeInfo("QObject"), nullptr, "", propertyEditorClass<TPropEdD>());
    model.setSelection(designer, {&first});
    EXPECT_EQ(editorOf(model.findRow("Buddy")), "TPropEdD");
    EXPECT_EQ(registrations()
                  .propertyEditorFor(&TTestLeaf::staticMetaObject, "Buddy",
                                     QList<PTypeInfo>{{"TTestLeaf"}, {"TTestBase"}, {"QObject"}})
                  .ClassName(),
              "TPropEdD")
        << "an ancestor type matches";
    RegisterPropertyEditor(TypeInfo("TTestBase"), nullptr, "", propertyEditorClass<TPropEdC>());
    EXPECT_EQ(registrations()
                  .propertyEditorFor(&TTestLeaf::staticMetaObject, "Buddy",
                                     QList<PTypeInfo>{{"TTestLeaf"}, {"TTestBase"}, {"QObject"}})
                  .ClassName(),
              "TPropEdC")
        << "the nearer type wins";
}

} // namespace

#include "PropertyGridModelTest.moc"
