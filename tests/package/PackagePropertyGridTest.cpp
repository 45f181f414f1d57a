// The Object Inspector model with the package's own registrations: every
// property of every palette component resolved to its editor, what a
// multi-selection shares, and drop-downs read from real databases (SQLite,
// and PostgreSQL when a server is named).
#include "OvDesignSettings.h"
#include "OvReg.h"
#include "PackageTestSupport.h"

#include "designide/FormFile.h"
#include "designide/PropertyGridModel.h"
#include "designide/Registrations.h"
#include "orvlib/OvComponents.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDriver.h"
#include "orvlib/OvSession.h"
#include "orvlib/OvUpdateSQL.h"
#include "rtl/Classes.h"
#include "rtl/SysUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

class ObjectInspectorPackageTest : public PackageFixture
{
protected:
    void SetUp() override
    {
        PackageFixture::SetUp();
        registrations().clear();
        Register();
    }
    void TearDown() override
    {
        model.clear();
        registrations().clear();
        PackageFixture::TearDown();
    }

    QStringList rowNames()
    {
        QStringList names;
        for (int i = 0; i < model.rowCount(); ++i)
            names << model.row(i)->name();
        return names;
    }

    // "Property=Editor" for every row of Component alone.
    QStringList resolved(QObject *Component)
    {
        model.setSelection(designer, {Component});
        QStringList lines;
        for (int i = 0; i < model.rowCount(); ++i)
            lines << model.row(i)->name() + "="
                         + QString::fromLatin1(model.row(i)->editor()->metaObject()->className());
        return lines;
    }

    TDataModule root;
    std::shared_ptr<TestDesigner> designer = std::make_shared<TestDesigner>(&root);
    TObjectInspectorModel model;
};

TEST_F(ObjectInspectorPackageTest, everyPaletteComponentResolvesEveryProperty)
{
    const QList<TComponentClass> palette = registrations().paletteClasses("Orvanta");
    ASSERT_EQ(palette.size(), 10);
    QStringList all;
    for (TComponentClass cls : palette) {
        std::unique_ptr<QObject> component(cls->newInstance(Q_ARG(QObject *, &root)));
        ASSERT_NE(component, nullptr) << cls->className();
        for (const QString &line : resolved(component.get()))
            all << QString::fromLatin1(cls->className()) + "." + line;
        model.clear();
    }
    // Class.Property=Editor, in palette order, properties sorted as shown.
    const QStringList expected = {
        "TOvSession.KeepConnections=TEnumProperty",
        "TOvSession.SessionName=TStringProperty",
        "TOvDatabase.Connected=TOvDatabaseConnectedProperty",
        "TOvDatabase.DatabaseName=TStringProperty",
        "TOvDatabase.DesignOptions=TSetProperty",
        "TOvDatabase.KeepConnection=TEnumProperty",
        "TOvDatabase.LoginPrompt=TEnumProperty",
        "TOvDatabase.Params=TOvDatabaseParamsProperty",
        "TOvDatabase.ParamsFileName=TOvFileNameProperty",
        "TOvDatabase.RemoteDatabase=TOvDatabaseProperty",
        "TOvDatabase.ServerType=TEnumProperty",
        "TOvDatabase.SessionName=TOvSessionNameProperty",
        "TOvQuery.Active=TEnumProperty",
        "TOvQuery.DatabaseName=TOvDatabaseNameProperty",
        "TOvQuery.ParamCheck=TEnumProperty",
        "TOvQuery.Params=TOvQueryParamsProperty",
        "TOvQuery.SessionName=TOvSessionNameProperty",
        "TOvQuery.SQL=TOvQuerySQLProperty",
        "TOvQuery.UpdateObject=TComponentProperty",
        "TOvMacroQuery.Active=TEnumProperty",
        "TOvMacroQuery.DatabaseName=TOvDatabaseNameProperty",
        "TOvMacroQuery.MacroChar=TStringProperty",
        "TOvMacroQuery.Macros=TClassProperty",
        "TOvMacroQuery.ParamCheck=TEnumProperty",
        "TOvMacroQuery.Params=TOvQueryParamsProperty",
        "TOvMacroQuery.SessionName=TOvSessionNameProperty",
        "TOvMacroQuery.SQL=TOvQuerySQLProperty",
        "TOvMacroQuery.UpdateObject=TComponentProperty",
        "TOvStoredProc.Active=TEnumProperty",
        "TOvStoredProc.DatabaseName=TOvDatabaseNameProperty",
        "TOvStoredProc.Params=TOvStoredProcParamsProperty",
        "TOvStoredProc.Prepared=TEnumProperty",
        "TOvStoredProc.SessionName=TOvSessionNameProperty",
        "TOvStoredProc.StoredProcName=TOvStoredProcNameProperty",
        "TOvStoredProc.UpdateObject=TComponentProperty",
        "TOvTable.Active=TEnumProperty",
        "TOvTable.DatabaseName=TOvDatabaseNameProperty",
        "TOvTable.IndexFieldNames=TIndexFieldNamesProperty",
        "TOvTable.IndexName=TIndexNameProperty",
        "TOvTable.MasterFields=TOvTableFieldLinkProperty",
        "TOvTable.MasterSource=TComponentProperty",
        "TOvTable.ReadOnly=TEnumProperty",
        "TOvTable.SessionName=TOvSessionNameProperty",
        "TOvTable.TableName=TOvTableNameProperty",
        "TOvTable.UpdateObject=TComponentProperty",
        "TOvUpdateSQL.DataSet=TComponentProperty",
        "TOvUpdateSQL.DeleteSQL=TStringListProperty",
        "TOvUpdateSQL.InsertSQL=TStringListProperty",
        "TOvUpdateSQL.ModifySQL=TStringListProperty",
        "TOvUpdateSQL.RefreshSQL=TStringListProperty",
        "TOvScript.ContinueOnError=TEnumProperty",
        "TOvScript.DatabaseName=TOvDatabaseNameProperty",
        "TOvScript.SessionName=TOvSessionNameProperty",
        "TOvScript.SQL=TStringListProperty",
        "TOvScript.Terminator=TStringProperty",
        "TOvMonitor.Active=TEnumProperty",
        "TOvMonitor.MaxLines=TIntegerProperty",
        "TOvSQLBaseServer.Connected=TEnumProperty",
        "TOvSQLBaseServer.Password=TStringProperty",
        "TOvSQLBaseServer.ServerName=TStringProperty",
    };
    EXPECT_EQ(all.join('\n').toStdString(), expected.join('\n').toStdString());
}

TEST_F(ObjectInspectorPackageTest, multiSelectionSharesWhatEveryEditorAllows)
{
    auto *query = new TOvQuery(&root);
    auto *table = new TOvTable(&root);
    auto *proc = new TOvStoredProc(&root);
    query->SetDatabaseName("A");
    table->SetDatabaseName("A");
    proc->SetDatabaseName("B");
    model.setSelection(designer, {query, table, proc});
    EXPECT_EQ(rowNames(), QStringList({"Active", "DatabaseName", "SessionName", "UpdateObject"}))
        << "Params is served by two different editors, the rest belongs to one class";
    EXPECT_EQ(model.findRow("DatabaseName")->value(), "") << "A, A, B differ";
    EXPECT_EQ(model.findRow("DatabaseName")->categories(), QStringList({sDatabaseCategoryName()}));
    model.setValue(model.findRow("DatabaseName"), "C");
    EXPECT_EQ(query->DatabaseName(), "C");
    EXPECT_EQ(table->DatabaseName(), "C");
    EXPECT_EQ(proc->DatabaseName(), "C");
    EXPECT_EQ(designer->modified, 1);

    auto *one = new TOvDatabase(&root);
    auto *two = new TOvDatabase(&root);
    model.setSelection(designer, {one, two});
    EXPECT_EQ(model.findRow("RemoteDatabase"), nullptr) << "one database at a time";
    ASSERT_NE(model.findRow("Params"), nullptr);
    ASSERT_NE(model.findRow("DesignOptions"), nullptr);
    EXPECT_EQ(model.findRow("DesignOptions")->value(), "[]");
    model.setValue(model.findRow("DesignOptions"), "[ddoStoreConnected, DDOISDEFAULTDATABASE]");
    EXPECT_TRUE(two->DesignOptions().Contains(ddoStoreConnected));
    EXPECT_TRUE(two->DesignOptions().Contains(ddoIsDefaultDatabase));
    EXPECT_EQ(model.findRow("DesignOptions")->value(), "[ddoIsDefaultDatabase, ddoStoreConnected]");
    EXPECT_THROW(model.setValue(model.findRow("DesignOptions"), "[ddoStoreConnected, ddoBogus]"),
                 EPropertyError)
        << "an unknown member is refused, not dropped";
    EXPECT_TRUE(one->DesignOptions().Contains(ddoIsDefaultDatabase)) << "and nothing is written";
    model.setValue(model.findRow("DesignOptions"), "");
    EXPECT_TRUE(one->DesignOptions().IsEmpty());
}

TEST_F(ObjectInspectorPackageTest, connectingThroughTheInspectorFeedsTheHistoryOnSQLite)
{
    auto *db = new TOvDatabase(&root);
    db->setObjectName("Database1");
    db->SetDatabaseName("OI");
    db->SetServerType(TOvServerType::stSQLite);
    db->SetRemoteDatabase(tmp.file("oi.db"));
    db->Params()->Add("CREATE=TRUE");
    db->SetConnected(true);
    db->ExecSQL("create table zeta (ID integer)");
    db->ExecSQL("create table Alpha (ID integer)");
    db->ExecSQL("create table beta (ID integer)");
    db->SetConnected(false);

    model.setSelection(designer, {db});
    EXPECT_EQ(model.valuesOf(model.findRow("RemoteDatabase")), QStringList({"<history list>"}));
    model.setValue(model.findRow("Connected"), "true");
    EXPECT_TRUE(db->Connected());
    EXPECT_EQ(model.findRow("Connected")->value(), "True");
    EXPECT_EQ(model.valuesOf(model.findRow("RemoteDatabase")), QStringList({tmp.file("oi.db")}))
        << "the history, unsorted, holds the connected database";

    auto *table = new TOvTable(&root);
    table->SetDatabaseName("OI");
    model.setSelection(designer, {table});
    TInspectorRow *name = model.findRow("TableName");
    EXPECT_EQ(model.valuesOf(name), QStringList({"Alpha", "beta", "zeta"}))
        << "sorted, ignoring case";
    EXPECT_EQ(model.autoComplete(name, "BE"), "beta") << "AutoFill: the database is connected";
    db->SetConnected(false);
    db->SetKeepConnection(false);
    EXPECT_EQ(model.autoComplete(name, "BE"), "BE") << "no AutoFill while it is closed";
}

// The table-name drop-down on a PostgreSQL server named by OV_PG_CONNINFO.
TEST_F(ObjectInspectorPackageTest, tableNamesFromPostgreSQL)
{
    const QString connInfo = qEnvironmentVariable("OV_PG_CONNINFO");
    if (!HasDriver(TOvServerType::stPostgreSQL) || connInfo.isEmpty()) {
        if (runningUnderCi())
            FAIL() << "no PostgreSQL server under CI";
        GTEST_SKIP() << "OV_PG_CONNINFO not set";
    }
    auto *db = new TOvDatabase(&root);
    db->SetDatabaseName("OIPG");
    db->SetServerType(TOvServerType::stPostgreSQL);
    db->SetLoginPrompt(false);
    db->SetRemoteDatabase(connInfo);
    try {
        db->SetConnected(true);
    } catch (const Exception &e) {
        if (runningUnderCi())
            FAIL() << "PostgreSQL server unreachable under CI: " << e.what();
        GTEST_SKIP() << "PostgreSQL server unreachable: " << e.what();
    }
    db->ExecSQL("drop table if exists \"Oi Mixed\", oi_plain");
    db->ExecSQL("create table \"Oi Mixed\" (id int)");
    db->ExecSQL("create table oi_plain (id int)");

    auto *table = new TOvTable(&root);
    table->SetDatabaseName("OIPG");
    model.setSelection(designer, {table});
    const QStringList names = model.valuesOf(model.findRow("TableName"));
    EXPECT_TRUE(names.filter("Oi Mixed").size() == 1) << names.join(", ").toStdString();
    EXPECT_TRUE(names.filter("oi_plain").size() == 1) << names.join(", ").toStdString();
    EXPECT_TRUE(names.filter("pg_class").isEmpty()) << "no system tables";
    QStringList sorted = names;
    std::stable_sort(sorted.begin(), sorted.end(), [](const QString &A, const QString &B) {
        return A.compare(B, Qt::CaseInsensitive) < 0;
    });
    EXPECT_EQ(names, sorted);
    const QString chosen = names.filter("Oi Mixed").first();
    model.setValue(model.findRow("TableName"), chosen);
    EXPECT_EQ(table->TableName(), chosen);
    db->ExecSQL("drop table \"Oi Mixed\", oi_plain");
    db->SetConnected(false);
}

} // namespace
