#include "TestComponents.h"

#include "designide/DesignErrors.h"
#include "designide/DesignIntf.h"
#include "designide/Registrations.h"

#include <gtest/gtest.h>

namespace {

const TComponentClass Base = &TTestBase::staticMetaObject;
const TComponentClass Derived = &TTestDerived::staticMetaObject;
const TComponentClass Leaf = &TTestLeaf::staticMetaObject;
const TComponentClass Other = &TTestOther::staticMetaObject;

class RegistrationsTest : public ::testing::Test
{
protected:
    void SetUp() override { registrations().clear(); }
    void TearDown() override { registrations().clear(); }

    static QString editorFor(TComponentClass C)
    {
        return registrations().componentEditorFor(C).ClassName();
    }
    static QString propEditorFor(TComponentClass C, const QString &Prop,
                                 const char *Type = "string")
    {
        return registrations().propertyEditorFor(C, Prop, TypeInfo(Type)).ClassName();
    }
};

TEST_F(RegistrationsTest, logKeepsCallOrderAndPackageTags)
{
    RegisterComponents("Host", {Other});
    {
        CurrentPackageScope scope("PkgA");
        RegisterComponents("Test", {Base, Derived});
        RegisterPropertyEditor(TypeInfo("Boolean"), Base, "Active",
                               propertyEditorClass<TPropEdA>());
        RegisterComponentEditor(Derived, componentEditorClass<TEditorA>());
        RegisterPropertiesInCategory(sDatabaseCategoryName(), Base, {"Caption", "*SQL"});
        RegisterSprigType(Base, sprigClass<TSprigA>());
    }
    RegisterComponentEditor(Other, componentEditorClass<TEditorB>());

    EXPECT_EQ(registrations().describeAll(),
              QStringList({
                  R"(RegisterComponents("Host", [TTestOther]))",
                  R"(RegisterComponents("Test", [TTestBase, TTestDerived]))",
                  R"(RegisterPropertyEditor(Boolean, TTestBase, "Active", TPropEdA))",
                  R"(RegisterComponentEditor(TTestDerived, TEditorA))",
                  R"(RegisterPropertiesInCategory("Database", TTestBase, ["Caption", "*SQL"]))",
                  R"(RegisterSprigType(TTestBase, TSprigA))",
                  R"(RegisterComponentEditor(TTestOther, TEditorB))",
              }))
        << "every call, in call order";
    QStringList tags;
    for (const TRegistration &e : registrations().entries())
        tags << e.Package;
    EXPECT_EQ(tags, QStringList({"", "PkgA", "PkgA", "PkgA", "PkgA", "PkgA", ""}))
        << "tagged with the package whose Register ran, empty outside";
    EXPECT_TRUE(registrations().currentPackage().isEmpty()) << "scope restores the tag";

    EXPECT_EQ(registrations().removePackage("PkgA"), 5);
    EXPECT_EQ(registrations().describeAll(),
              QStringList({R"(RegisterComponents("Host", [TTestOther]))",
                           R"(RegisterComponentEditor(TTestOther, TEditorB))"}))
        << "only the package's registrations go";
    EXPECT_EQ(editorFor(Derived), QString()) << "its editor no longer serves";
    EXPECT_EQ(registrations().palettePages(), QStringList({"Host"})) << "its palette page is gone";
    EXPECT_EQ(registrations().removePackage("PkgA"), 0) << "removing twice removes nothing";
}

TEST_F(RegistrationsTest, nearestClassWinsThenLaterRegistration)
{
    RegisterComponentEditor(Base, componentEditorClass<TEditorA>());
    RegisterComponentEditor(Derived, componentEditorClass<TEditorB>());
    RegisterComponentEditor(Derived, componentEditorClass<TEditorC>());
    RegisterComponentEditor(Base, componentEditorClass<TEditorB>()); // later, but farther from Leaf

    EXPECT_EQ(editorFor(Leaf), "TEditorC") << "inherits the nearest class's latest editor";
    EXPECT_EQ(editorFor(Derived), "TEditorC") << "later registration for the same class wins";
    EXPECT_EQ(editorFor(Base), "TEditorB") << "Base's own later registration";
    EXPECT_EQ(editorFor(Other), QString()) << "an unrelated class has none";

    RegisterSprigType(Base, sprigClass<TSprigA>());
    RegisterSprigType(Leaf, sprigClass<TSprigB>());
    EXPECT_EQ(registrations().sprigFor(Leaf).ClassName(), "TSprigB");
    EXPECT_EQ(registrations().sprigFor(Derived).ClassName(), "TSprigA") << "falls back to Base";
    EXPECT_FALSE(registrations().sprigFor(Other));

    TTestLeaf leaf("Leaf1");
    auto editor = GetComponentEditor(&leaf, {});
    EXPECT_EQ(QString::fromLatin1(editor->metaObject()->className()), "TEditorC")
        << "GetComponentEditor creates the registered class";
    TTestOther other;
    editor = GetComponentEditor(&other, {});
    EXPECT_EQ(QString::fromLatin1(editor->metaObject()->className()), "TComponentEditor")
        << "and the base editor when none is registered";
    EXPECT_EQ(editor->Component(), &other);
}

TEST_F(RegistrationsTest, propertyEditorMatching)
{
    RegisterPropertyEditor(TypeInfo("string"), nullptr, "", propertyEditorClass<TPropEdA>());
    RegisterPropertyEditor(TypeInfo("string"), Base, "", propertyEditorClass<TPropEdB>());
    RegisterPropertyEditor(TypeInfo("string"), Derived, "Caption", propertyEditorClass<TPropEdC>());
    RegisterPropertyEditor(TypeInfo("String"), Base, "Caption", propertyEditorClass<TPropEdD>());

    EXPECT_EQ(propEditorFor(Leaf, "Caption"), "TPropEdC") << "nearest class beats a later one";
    EXPECT_EQ(propEditorFor(Leaf, "caption"), "TPropEdC") << "property names ignore case";
    EXPECT_EQ(propEditorFor(Base, "Caption"), "TPropEdD")
        << "same class: the later registration, type names ignoring case";
    EXPECT_EQ(propEditorFor(Derived, "Hint"), "TPropEdB")
        << "an empty property name serves every property of the type";
    EXPECT_EQ(propEditorFor(Other, "Caption"), "TPropEdA") << "a null class serves every class";
    EXPECT_EQ(propEditorFor(Base, "Caption", "Boolean"), QString()) << "the type must match";
}

TEST_F(RegistrationsTest, categoriesWithWildcards)
{
    RegisterPropertiesInCategory("Database", Base, {"DatabaseName", "*SQL"});
    RegisterPropertiesInCategory("Linkage", Derived, {"Data?et", "DatabaseName"});
    RegisterPropertiesInCategory("Database", Derived, {"SessionName"});
    RegisterPropertiesInCategory("Visual", Other, {"*"});

    EXPECT_EQ(registrations().categoriesOf(Leaf, "ModifySQL"), QStringList({"Database"}))
        << "*SQL matches a name ending in SQL";
    EXPECT_EQ(registrations().categoriesOf(Leaf, "deletesql"), QStringList({"Database"}))
        << "ignoring case";
    EXPECT_EQ(registrations().categoriesOf(Leaf, "SQL"), QStringList({"Database"}))
        << "the star may stand for nothing";
    EXPECT_TRUE(registrations().categoriesOf(Leaf, "SQLText").isEmpty())
        << "*SQL does not match SQL in the middle";
    EXPECT_EQ(registrations().categoriesOf(Leaf, "DatabaseName"),
              QStringList({"Database", "Linkage"}))
        << "several categories, in registration order";
    EXPECT_EQ(registrations().categoriesOf(Base, "DatabaseName"), QStringList({"Database"}))
        << "a descendant's registration does not reach the ancestor";
    EXPECT_EQ(registrations().categoriesOf(Derived, "DataSet"), QStringList({"Linkage"}))
        << "? stands for one character";
    EXPECT_EQ(registrations().categoriesOf(Derived, "SessionName"), QStringList({"Database"}));
    EXPECT_TRUE(registrations().categoriesOf(Other, "").size() == 1) << "* matches even nothing";

    EXPECT_TRUE(Registrations::matchesFilter("*a*b*", "xxaxxbxx"));
    EXPECT_FALSE(Registrations::matchesFilter("*a*b", "xxaxxbxx"));
    EXPECT_FALSE(Registrations::matchesFilter("Name", "Names"));
}

TEST_F(RegistrationsTest, paletteAndRefusedRegistrations)
{
    RegisterComponents("Orvanta", {Base, Derived});
    RegisterComponents("Other", {Other});
    RegisterComponents("Orvanta", {Leaf, Base});

    EXPECT_EQ(registrations().palettePages(), QStringList({"Orvanta", "Other"}));
    EXPECT_EQ(registrations().paletteClasses("Orvanta"),
              QList<TComponentClass>({Base, Derived, Leaf}))
        << "classes in order, each once";
    EXPECT_EQ(registrations().findComponentClass("ttestleaf"), Leaf);
    EXPECT_EQ(registrations().findComponentClass("TNoSuch"), nullptr);

    const auto before = registrations().entries().size();
    EXPECT_THROW(RegisterComponents("Orvanta", {Base, nullptr}), ERegistrationError);
    EXPECT_THROW(RegisterComponentEditor(nullptr, componentEditorClass<TEditorA>()),
                 ERegistrationError);
    EXPECT_THROW(RegisterComponentEditor(Base, TComponentEditorClass{}), ERegistrationError);
    EXPECT_THROW(RegisterSprigType(Base, TSprigClass{}), ERegistrationError);
    EXPECT_EQ(registrations().entries().size(), before) << "a refused call records nothing";
}

} // namespace
