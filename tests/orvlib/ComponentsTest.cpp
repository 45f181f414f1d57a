#include "orvlib/OvDB.h"

#include "rtl/SysUtils.h"

#include <QMetaProperty>

#include <gtest/gtest.h>

#include <memory>

namespace {

QMetaProperty prop(const QMetaObject &Meta, const char *Name)
{
    return Meta.property(Meta.indexOfProperty(Name));
}

} // namespace

TEST(Components, publishedPropertiesHaveTheirNamesAndTypes)
{
    struct Row
    {
        const QMetaObject *meta;
        const char *property;
        const char *type;
    } rows[] = {
        {&TOvSession::staticMetaObject, "SessionName", "QString"},
        {&TOvDatabase::staticMetaObject, "DatabaseName", "QString"},
        {&TOvDatabase::staticMetaObject, "RemoteDatabase", "QString"},
        {&TOvDatabase::staticMetaObject, "ServerType", "OvTypes::TOvServerType"},
        {&TOvDatabase::staticMetaObject, "SessionName", "QString"},
        {&TOvDatabase::staticMetaObject, "Params", "TStrings*"},
        {&TOvDatabase::staticMetaObject, "ParamsFileName", "QString"},
        {&TOvDatabase::staticMetaObject, "KeepConnection", "bool"},
        {&TOvDatabase::staticMetaObject, "LoginPrompt", "bool"},
        {&TOvDatabase::staticMetaObject, "Connected", "bool"},
        {&TOvDatabase::staticMetaObject, "DesignOptions", "TOvDesignDBOptions"},
        {&TOvDataSet::staticMetaObject, "SessionName", "QString"},
        {&TOvDataSet::staticMetaObject, "DatabaseName", "QString"},
        {&TOvQuery::staticMetaObject, "SQL", "TStrings*"},
        {&TOvQuery::staticMetaObject, "Params", "TParams*"},
        {&TOvMacroQuery::staticMetaObject, "Macros", "TParams*"},
        {&TOvTable::staticMetaObject, "TableName", "QString"},
        {&TOvTable::staticMetaObject, "IndexName", "QString"},
        {&TOvTable::staticMetaObject, "IndexFieldNames", "QString"},
        {&TOvTable::staticMetaObject, "MasterFields", "QString"},
        {&TOvTable::staticMetaObject, "MasterSource", "TDataSource*"},
        {&TOvStoredProc::staticMetaObject, "StoredProcName", "QString"},
        {&TOvStoredProc::staticMetaObject, "Params", "TParams*"},
        {&TOvUpdateSQL::staticMetaObject, "DataSet", "TOvDataSet*"},
        {&TOvUpdateSQL::staticMetaObject, "RefreshSQL", "TStrings*"},
        {&TOvUpdateSQL::staticMetaObject, "ModifySQL", "TStrings*"},
        {&TOvUpdateSQL::staticMetaObject, "InsertSQL", "TStrings*"},
        {&TOvUpdateSQL::staticMetaObject, "DeleteSQL", "TStrings*"},
        {&TOvScript::staticMetaObject, "SessionName", "QString"},
        {&TOvScript::staticMetaObject, "DatabaseName", "QString"},
        {&TOvScript::staticMetaObject, "SQL", "TStrings*"},
    };
    for (const Row &r : rows) {
        const QMetaProperty p = prop(*r.meta, r.property);
        ASSERT_TRUE(p.isValid()) << r.meta->className() << "." << r.property;
        EXPECT_STREQ(p.typeName(), r.type) << r.meta->className() << "." << r.property;
    }
    EXPECT_TRUE(prop(TOvDatabase::staticMetaObject, "ServerType").isEnumType())
        << "the Object Inspector lists server types by name";
    EXPECT_TRUE(TOvMacroQuery::staticMetaObject.inherits(&TOvQuery::staticMetaObject));
    EXPECT_TRUE(TOvTable::staticMetaObject.inherits(&TOvDataSet::staticMetaObject));
    EXPECT_TRUE(TOvUpdateSQL::staticMetaObject.inherits(&TOvDataSetUpdateObject::staticMetaObject));
}

TEST(Components, stringListSettersCopyAndSurviveSelfAssignment)
{
    TOvDatabase db;
    db.Params()->Add(QStringLiteral("USER NAME=alice"));
    db.Params()->Add(QStringLiteral("PASSWORD=secret"));
    db.SetParams(db.Params());
    EXPECT_EQ(db.Params()->Count(), 2) << "self-assignment keeps the lines";
    QVariant v = db.property("Params");
    db.setProperty("Params", v);
    EXPECT_EQ(db.Params()->Text(), QStringLiteral("USER NAME=alice\nPASSWORD=secret\n"));

    TStringList other;
    other.Add(QStringLiteral("X=1"));
    db.SetParams(&other);
    other.Add(QStringLiteral("Y=2"));
    EXPECT_EQ(db.Params()->Count(), 1)
        << "the setter copied; later changes of the source do not reach it";

    TOvQuery query;
    query.SQL()->Add(QStringLiteral("select * from t where a = :a and b = :b"));
    query.SetSQL(query.SQL());
    EXPECT_EQ(query.SQL()->Count(), 1);
    EXPECT_EQ(query.Params()->Names(), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));

    TOvUpdateSQL update;
    update.GetSQLIndex(1)->Add(QStringLiteral("update t set a = :a"));
    update.SetSQLIndex(1, update.GetSQLIndex(1));
    EXPECT_EQ(update.ModifySQL()->Count(), 1);
    EXPECT_THROW(update.GetSQLIndex(4), EListError);
    EXPECT_THROW(update.GetSQLIndex(-1), EListError);
}

TEST(Sessions, defaultSessionAndSessionComponents)
{
    TOvSessionList &list = Sessions();
    const int before = list.GetCount();
    ASSERT_GE(before, 1);
    EXPECT_EQ(list.GetSession(0), Session()) << "the default session comes first";
    EXPECT_EQ(Session()->SessionName(), QStringLiteral("Default"));
    EXPECT_EQ(list.FindSession(QString()), Session()) << "an empty name means the default session";
    EXPECT_EQ(list.GetSessionByName(QString()), Session());
    EXPECT_EQ(list.FindSession(QStringLiteral("default")), Session()) << "letter case ignored";
    EXPECT_EQ(list.FindSession(QStringLiteral("Reports")), nullptr);
    EXPECT_THROW(list.GetSessionByName(QStringLiteral("Reports")), Exception);

    {
        auto owner = std::make_unique<QObject>();
        auto *reports = new TOvSession(owner.get());
        EXPECT_EQ(list.GetCount(), before) << "a session without a name is not listed";
        reports->SetSessionName(QStringLiteral("Reports"));
        EXPECT_EQ(list.GetCount(), before + 1);
        EXPECT_EQ(list.FindSession(QStringLiteral("REPORTS")), reports);
        EXPECT_EQ(list.GetSession(list.GetCount() - 1), reports);

        auto *db = new TOvDatabase(owner.get());
        db->SetDatabaseName(QStringLiteral("Sales"));
        db->SetSessionName(QStringLiteral("reports"));
        EXPECT_EQ(reports->FindDatabase(QStringLiteral("SALES")), db);
        EXPECT_EQ(Session()->FindDatabase(QStringLiteral("Sales")), nullptr) << "other session";
        db->SetDatabaseName(QStringLiteral(" Sales "));
        EXPECT_EQ(db->DatabaseName(), QStringLiteral(" Sales ")) << "stored as given";
        EXPECT_EQ(reports->FindDatabase(QStringLiteral("sales")), db) << "found without the blanks";
        db->SetDatabaseName(QStringLiteral("Sales"));
        TStringList names;
        reports->GetDatabaseNames(&names);
        EXPECT_EQ(names.toStringList(), QStringList{QStringLiteral("Sales")});
    }
    EXPECT_EQ(list.GetCount(), before) << "a destroyed session leaves the list";
    EXPECT_EQ(list.FindSession(QStringLiteral("Reports")), nullptr);
}

TEST(UpdateObjects, dataSetLinkRunsBothWays)
{
    TOvQuery query;
    auto update = std::make_unique<TOvUpdateSQL>();
    update->SetDataSet(&query);
    EXPECT_EQ(query.UpdateObject(), update.get());
    TOvTable table;
    table.SetUpdateObject(update.get());
    EXPECT_EQ(update->DataSet(), &table) << "moved to the table";
    EXPECT_EQ(query.UpdateObject(), nullptr) << "and gone from the query";
    update.reset();
    EXPECT_EQ(table.UpdateObject(), nullptr) << "a destroyed update object unlinks itself";
}

TEST(Collections, parametersThroughTheInterfaceACollectionEditorUses)
{
    TOvQuery query;
    query.SQL()->SetText(QStringLiteral("select * from t where a = :a and b = :b and c = :a"));
    TParams *params = query.Params();
    ASSERT_EQ(params->Count(), 2) << "each marker name once";

    // An editor that knows only QObject: count, items, their properties.
    QObject *collection = query.property("Params").value<TParams *>();
    int count = -1;
    ASSERT_TRUE(QMetaObject::invokeMethod(collection, "Count", Q_RETURN_ARG(int, count)));
    EXPECT_EQ(count, 2);
    TCollectionItem *item = nullptr;
    ASSERT_TRUE(QMetaObject::invokeMethod(collection, "Item", Q_RETURN_ARG(TCollectionItem *, item),
                                          Q_ARG(int, 1)));
    EXPECT_EQ(item->property("Name").toString(), QStringLiteral("b"));
    item->setProperty("Value", 42);
    EXPECT_EQ(query.ParamByName(QStringLiteral("B"))->AsInteger(), 42) << "edits reach the query";
    QString itemClass;
    QMetaObject::invokeMethod(collection, "ItemClassName", Q_RETURN_ARG(QString, itemClass));
    EXPECT_EQ(itemClass, QStringLiteral("TParam"));

    int changes = 0;
    QObject::connect(params, &TCollection::Changed, [&] { ++changes; });
    params->Move(1, 0);
    EXPECT_EQ(params->Names(), (QStringList{"b", "a"}));
    EXPECT_EQ(params->Items(0)->Index(), 0);
    params->Delete(1);
    EXPECT_EQ(params->Names(), QStringList{QStringLiteral("b")});
    EXPECT_EQ(changes, 2) << "one notification per change";
    EXPECT_THROW(params->Item(5), EListError);

    // Assign copies values; a collection assigned to itself stays as it is.
    TParams copy;
    copy.Assign(*params);
    EXPECT_EQ(copy.Items(0)->Value().toInt(), 42);
    copy.Assign(copy);
    EXPECT_EQ(copy.Count(), 1);
    query.SetParams(query.Params());
    EXPECT_EQ(query.Params()->Count(), 1) << "setter safe with its own collection";
}
