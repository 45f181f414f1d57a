#include "OvReg.h"

#include "OvDesignSettings.h"
#include "OvRegEditors.h"
#include "OvRegProps.h"
#include "OvRegSprigs.h"

#include "designide/DesignIntf.h"
#include "orvlib/OvDB.h"
#include "orvlib/OvTypes.h"

TDesignSettings *DesignSettings = nullptr;

void OvRegInitialization()
{
    DesignSettings = new TDesignSettings();
    DefServerType = DesignSettings->ReadDefaultServerType();
}

void OvRegFinalization()
{
    if (!DesignSettings)
        return;
    DesignSettings->SaveAll();
    delete DesignSettings;
    DesignSettings = nullptr;
}

// Order! The environment shows the palette, resolves editors and builds the
// structure view from these tables in the order they were registered.
void Register()
{
    RegisterComponents(QStringLiteral("Orvanta"),
                       {&TOvSession::staticMetaObject, &TOvDatabase::staticMetaObject,
                        &TOvQuery::staticMetaObject, &TOvMacroQuery::staticMetaObject,
                        &TOvStoredProc::staticMetaObject, &TOvTable::staticMetaObject,
                        &TOvUpdateSQL::staticMetaObject, &TOvScript::staticMetaObject,
                        &TOvMonitor::staticMetaObject, &TOvSQLBaseServer::staticMetaObject});

    const PTypeInfo boolean = TypeInfo("Boolean");
    const PTypeInfo string = TypeInfo("string");
    const PTypeInfo params = TypeInfo("TParams");
    const PTypeInfo strings = TypeInfo("TStrings");

    RegisterPropertyEditor(boolean, &TOvDatabase::staticMetaObject, QStringLiteral("Connected"),
                           propertyEditorClass<TOvDatabaseConnectedProperty>());
    RegisterPropertyEditor(string, &TOvDatabase::staticMetaObject, QStringLiteral("RemoteDatabase"),
                           propertyEditorClass<TOvDatabaseProperty>());
    RegisterPropertyEditor(string, &TOvDatabase::staticMetaObject, QStringLiteral("SessionName"),
                           propertyEditorClass<TOvSessionNameProperty>());
    RegisterPropertyEditor(string, &TOvDatabase::staticMetaObject, QStringLiteral("ParamsFileName"),
                           propertyEditorClass<TOvFileNameProperty>());
    RegisterPropertyEditor(string, &TOvDataSet::staticMetaObject, QStringLiteral("DatabaseName"),
                           propertyEditorClass<TOvDatabaseNameProperty>());
    RegisterPropertyEditor(string, &TOvDataSet::staticMetaObject, QStringLiteral("SessionName"),
                           propertyEditorClass<TOvSessionNameProperty>());
    RegisterPropertyEditor(string, &TOvScript::staticMetaObject, QStringLiteral("DatabaseName"),
                           propertyEditorClass<TOvDatabaseNameProperty>());
    RegisterPropertyEditor(string, &TOvScript::staticMetaObject, QStringLiteral("SessionName"),
                           propertyEditorClass<TOvSessionNameProperty>());
    RegisterPropertyEditor(string, &TOvStoredProc::staticMetaObject,
                           QStringLiteral("StoredProcName"),
                           propertyEditorClass<TOvStoredProcNameProperty>());
    RegisterPropertyEditor(string, &TOvTable::staticMetaObject, QStringLiteral("TableName"),
                           propertyEditorClass<TOvTableNameProperty>());
    RegisterPropertyEditor(string, &TOvTable::staticMetaObject, QStringLiteral("IndexName"),
                           propertyEditorClass<TIndexNameProperty>());
    RegisterPropertyEditor(string, &TOvTable::staticMetaObject, QStringLiteral("IndexFieldNames"),
                           propertyEditorClass<TIndexFieldNamesProperty>());
    RegisterPropertyEditor(params, &TOvQuery::staticMetaObject, QStringLiteral("Params"),
                           propertyEditorClass<TOvQueryParamsProperty>());
    RegisterPropertyEditor(params, &TOvStoredProc::staticMetaObject, QStringLiteral("Params"),
                           propertyEditorClass<TOvStoredProcParamsProperty>());

    RegisterComponentEditor(&TOvSession::staticMetaObject,
                            componentEditorClass<TOvDefaultEditor>());
    RegisterComponentEditor(&TOvDatabase::staticMetaObject,
                            componentEditorClass<TOvDatabaseEditor>());
    RegisterComponentEditor(&TOvDataSet::staticMetaObject,
                            componentEditorClass<TOvDataSetEditor>());
    RegisterComponentEditor(&TOvQuery::staticMetaObject, componentEditorClass<TOvQueryEditor>());
    RegisterComponentEditor(&TOvMacroQuery::staticMetaObject,
                            OvMacroQueryEditorClass());
    RegisterComponentEditor(&TOvStoredProc::staticMetaObject,
                            componentEditorClass<TOvStoredProcEditor>());
    RegisterComponentEditor(&TOvUpdateSQL::staticMetaObject,
                            componentEditorClass<TOvUpdateSQLEditor>());
    RegisterComponentEditor(&TOvScript::staticMetaObject, componentEditorClass<TOvScriptEditor>());
    RegisterComponentEditor(&TOvMonitor::staticMetaObject,
                            componentEditorClass<TOvDefaultEditor>());
    RegisterComponentEditor(&TOvSQLBaseServer::staticMetaObject,
                            componentEditorClass<TOvDefaultEditor>());

    RegisterPropertyEditor(strings, &TOvDatabase::staticMetaObject, QStringLiteral("Params"),
                           propertyEditorClass<TOvDatabaseParamsProperty>());
    // The switch is read here for the first time after loading and kept; a
    // change of the ini file takes effect at the next load.
    if (DesignSettings && DesignSettings->SQLEditor())
        RegisterPropertyEditor(strings, &TOvQuery::staticMetaObject, QStringLiteral("SQL"),
                               propertyEditorClass<TOvQuerySQLProperty>());
    RegisterPropertyEditor(string, &TOvTable::staticMetaObject, QStringLiteral("MasterFields"),
                           propertyEditorClass<TOvTableFieldLinkProperty>());

    RegisterPropertiesInCategory(sDatabaseCategoryName(), &TOvDatabase::staticMetaObject,
                                 {QStringLiteral("ServerType"), QStringLiteral("SessionName"),
                                  QStringLiteral("DatabaseName"),
                                  QStringLiteral("RemoteDatabase")});
    RegisterPropertiesInCategory(sDatabaseCategoryName(), &TOvDataSet::staticMetaObject,
                                 {QStringLiteral("DatabaseName")});
    RegisterPropertiesInCategory(sDatabaseCategoryName(), &TOvDataSetUpdateObject::staticMetaObject,
                                 {QStringLiteral("*SQL")});

    RegisterSprigType(&TOvSession::staticMetaObject, sprigClass<TOvSessionSprig>());
    RegisterSprigType(&TOvDatabase::staticMetaObject, sprigClass<TOvDatabaseSprig>());
    RegisterSprigType(&TOvDataSet::staticMetaObject, sprigClass<TOvDataSetSprig>());
    RegisterSprigType(&TOvTable::staticMetaObject, sprigClass<TOvTableSprig>());
    RegisterSprigType(&TOvQuery::staticMetaObject, sprigClass<TOvQuerySprig>());
    RegisterSprigType(&TOvStoredProc::staticMetaObject, sprigClass<TOvStoredProcSprig>());
    RegisterSprigType(&TOvUpdateSQL::staticMetaObject, sprigClass<TOvUpdateSQLSprig>());
}

