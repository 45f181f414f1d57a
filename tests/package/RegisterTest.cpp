// What Register puts into the environment's tables, and in which order.
#include "OvDesignSettings.h"
#include "OvReg.h"

#include "designide/Registrations.h"
#include "orvlib/OvTypes.h"
#include "rtl/Registry.h"

#include "common/TestSupport.h"

#include <gtest/gtest.h>

namespace {

QString name(TComponentClass C)
{
    return C ? QString::fromLatin1(C->className()) : QStringLiteral("<all>");
}

// One registration as "kind: class → what", the way the tables below read.
QString row(const TRegistration &R)
{
    switch (R.Kind) {
    case TRegistrationKind::Components: {
        QStringList classes;
        for (TComponentClass c : R.ComponentClasses)
            classes << name(c);
        return "palette " + R.Page + ": " + classes.join(' ');
    }
    case TRegistrationKind::PropertyEditor:
        return QStringLiteral("property %1 %2.%3 -> %4")
            .arg(R.PropertyType.Name, name(R.ComponentClass), R.PropertyName,
                 R.PropertyEditor.ClassName());
    case TRegistrationKind::ComponentEditor:
        return "editor " + name(R.ComponentClass) + " -> " + R.ComponentEditor.ClassName();
    case TRegistrationKind::PropertiesInCategory:
        return "category " + R.CategoryName + " " + name(R.ComponentClass) + ": "
               + R.Filters.join(' ');
    case TRegistrationKind::SprigType:
        return "sprig " + name(R.ComponentClass) + " -> " + R.Sprig.ClassName();
    }
    return {};
}

const QStringList Before16 = {
    "palette Orvanta: TOvSession TOvDatabase TOvQuery TOvMacroQuery TOvStoredProc TOvTable "
    "TOvUpdateSQL TOvScript TOvMonitor TOvSQLBaseServer",
    "property Boolean TOvDatabase.Connected -> TOvDatabaseConnectedProperty",
    "property string TOvDatabase.RemoteDatabase -> TOvDatabaseProperty",
    "property string TOvDatabase.SessionName -> TOvSessionNameProperty",
    "property string TOvDatabase.ParamsFileName -> TOvFileNameProperty",
    "property string TOvDataSet.DatabaseName -> TOvDatabaseNameProperty",
    "property string TOvDataSet.SessionName -> TOvSessionNameProperty",
    "property string TOvScript.DatabaseName -> TOvDatabaseNameProperty",
    "property string TOvScript.SessionName -> TOvSessionNameProperty",
    "property string TOvStoredProc.StoredProcName -> TOvStoredProcNameProperty",
    "property string TOvTable.TableName -> TOvTableNameProperty",
    "property string TOvTable.IndexName -> TIndexNameProperty",
    "property string TOvTable.IndexFieldNames -> TIndexFieldNamesProperty",
    "property TParams TOvQuery.Params -> TOvQueryParamsProperty",
    "property TParams TOvStoredProc.Params -> TOvStoredProcParamsProperty",
    "editor TOvSession -> TOvDefaultEditor",
    "editor TOvDatabase -> TOvDatabaseEditor",
    "editor TOvDataSet -> TOvDataSetEditor",
    "editor TOvQuery -> TOvQueryEditor",
    "editor TOvMacroQuery -> TOvMacroQueryEditor",
    "editor TOvStoredProc -> TOvStoredProcEditor",
    "editor TOvUpdateSQL -> TOvUpdateSQLEditor",
    "editor TOvScript -> TOvScriptEditor",
    "editor TOvMonitor -> TOvDefaultEditor",
    "editor TOvSQLBaseServer -> TOvDefaultEditor",
    "property TStrings TOvDatabase.Params -> TOvDatabaseParamsProperty",
};
const QString Row16 = "property TStrings TOvQuery.SQL -> TOvQuerySQLProperty";
const QStringList After16 = {
    "property string TOvTable.MasterFields -> TOvTableFieldLinkProperty",
    "category Database TOvDatabase: ServerType SessionName DatabaseName RemoteDatabase",
    "category Database TOvDataSet: DatabaseName",
    "category Database TOvDataSetUpdateObject: *SQL",
    "sprig TOvSession -> TOvSessionSprig",
    "sprig TOvDatabase -> TOvDatabaseSprig",
    "sprig TOvDataSet -> TOvDataSetSprig",
    "sprig TOvTable -> TOvTableSprig",
    "sprig TOvQuery -> TOvQuerySprig",
    "sprig TOvStoredProc -> TOvStoredProcSprig",
    "sprig TOvUpdateSQL -> TOvUpdateSQLSprig",
};

class RegisterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TRegistry::setStorePathOverride(tmp.file("registry"));
        tmp.write("registry", "[Software\\Orvanta]\nRootDir=" + tmp.path().toUtf8() + "\n");
        registrations().clear();
        savedServerType = DefServerType;
    }
    void TearDown() override
    {
        OvRegFinalization();
        registrations().clear();
        TRegistry::setStorePathOverride(QString());
        DefServerType = savedServerType;
    }

    QStringList registerAll()
    {
        OvRegInitialization();
        CurrentPackageScope scope("DclOrv240");
        Register();
        QStringList rows;
        for (const TRegistration &r : registrations().entries())
            rows << row(r);
        return rows;
    }

    TempFolder tmp;
    TOvServerType savedServerType{};
};

TEST_F(RegisterTest, SwitchOnRegistersAllInOrder)
{
    tmp.write("orvlib.ini", "[SQLEditor]\nEnabled=1\n");
    EXPECT_EQ(registerAll(), Before16 + QStringList{Row16} + After16);
    EXPECT_EQ(registrations().paletteClasses("Orvanta").size(), 10)
        << "the two base classes are not on the palette";
}

TEST_F(RegisterTest, SwitchOffSkipsOnlyTheSQLEditor)
{
    tmp.write("orvlib.ini", "[SQLEditor]\nEnabled=0\n");
    EXPECT_EQ(registerAll(), Before16 + After16);
}

TEST_F(RegisterTest, NoIniFileRegistersTheSQLEditorAndKeepsServerType)
{
    DefServerType = TOvServerType::stPostgreSQL;
    EXPECT_EQ(registerAll(), Before16 + QStringList{Row16} + After16);
    EXPECT_EQ(DefServerType, TOvServerType::stPostgreSQL)
        << "no ini entry keeps the runtime default";
    EXPECT_FALSE(tmp.exists("orvlib.ini")) << "registering writes nothing";
}

TEST_F(RegisterTest, InitializationTakesServerTypeFromIni)
{
    DefServerType = TOvServerType::stSQLite;
    tmp.write("orvlib.ini", "[TOvDatabase]\nServerType="
                                + GetServerTypeName(TOvServerType::stPostgreSQL).toUtf8() + "\n");
    OvRegInitialization();
    EXPECT_EQ(DefServerType, TOvServerType::stPostgreSQL);
}

TEST_F(RegisterTest, WithoutSettingsTheSQLEditorIsSkipped)
{
    ASSERT_EQ(DesignSettings, nullptr);
    CurrentPackageScope scope("DclOrv240");
    Register();
    QStringList rows;
    for (const TRegistration &r : registrations().entries())
        rows << row(r);
    EXPECT_EQ(rows, Before16 + After16);
}

TEST_F(RegisterTest, FinalizationSavesTheRecentListOnceAndClearsTheSettings)
{
    OvRegInitialization();
    ASSERT_NE(DesignSettings, nullptr);
    DesignSettings->AddLastUsedDatabase("sales.db");
    EXPECT_FALSE(tmp.exists("orvlib.ini")) << "the recent list is written only at unload";
    OvRegFinalization();
    EXPECT_EQ(DesignSettings, nullptr);
    EXPECT_EQ(tmp.read("orvlib.ini"), "[RecentDatabases]\nItem00=sales.db\n");

    tmp.write("orvlib.ini", "[RecentDatabases]\nItem00=changed.db\n");
    OvRegFinalization();
    EXPECT_EQ(tmp.read("orvlib.ini"), "[RecentDatabases]\nItem00=changed.db\n")
        << "a second finalization writes nothing";
}

TEST_F(RegisterTest, EditorsResolveToTheMostSpecificClass)
{
    registerAll();
    auto &regs = registrations();
    const TComponentClass table = regs.findComponentClass("TOvTable");
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(regs.componentEditorFor(table).ClassName(), "TOvDataSetEditor")
        << "a table has no editor of its own";
    EXPECT_EQ(regs.sprigFor(table).ClassName(), "TOvTableSprig");
    const TComponentClass macro = regs.findComponentClass("TOvMacroQuery");
    EXPECT_EQ(regs.sprigFor(macro).ClassName(), "TOvQuerySprig");
    EXPECT_EQ(regs.propertyEditorFor(macro, "SessionName", TypeInfo("string")).ClassName(),
              "TOvSessionNameProperty");
    EXPECT_EQ(regs.categoriesOf(regs.findComponentClass("TOvUpdateSQL"), "ModifySQL"),
              QStringList{"Database"});
}

} // namespace
