// The generators of the UpdateSQL editor.
#include "UpdateSQLTestSupport.h"

#include <QCheckBox>
#include <QComboBox>

#include <gtest/gtest.h>

namespace {

// A form set up as a person leaves it before generating: a table text, the
// two lists with their selections, the quote check box and field origins.
struct Choice
{
    QString table;
    QStringList fields;
    QStringList keys;
    QStringList updates;
    bool quote = false;
    QStringList fieldInfo = {};
};

class Generator : public ::testing::Test
{
protected:
    void choose(const Choice &C)
    {
        form.cbTableName->setEditText(C.table);
        fillList(form.lbKeyFields, C.fields, C.keys);
        fillList(form.lbUpdateFields, C.fields, C.updates);
        form.cbQuotedFields->setChecked(C.quote);
        UpdateSQLEditFormAccess::FieldInfo(form).Assign(C.fieldInfo);
    }
    void generate() { UpdateSQLEditFormAccess::GenerateAll(form); }
    QStringList slot(int Index) { return entriesOf(UpdateSQLEditFormAccess::Buffer(form, Index)); }

    TOvUpdateSQLEditForm form;
};

const Choice example1{QStringLiteral("CUSTOMER"),
                      {QStringLiteral("ID"), QStringLiteral("NAME")},
                      {QStringLiteral("ID")},
                      {QStringLiteral("ID"), QStringLiteral("NAME")}};

Choice example2(bool Quote)
{
    return {QStringLiteral("CUSTOMER"),
            {QStringLiteral("ID"), QStringLiteral("BRANCH"), QStringLiteral("NAME")},
            {QStringLiteral("ID"), QStringLiteral("BRANCH")},
            {QStringLiteral("ID"), QStringLiteral("BRANCH"), QStringLiteral("NAME")},
            Quote,
            {QStringLiteral("CNAME=CUSTOMER.NAME")}};
}

} // namespace

TEST_F(Generator, example1PlainNames)
{
    choose(example1);
    generate();
    EXPECT_EQ(slot(slotModify), QStringList({"update CUSTOMER", "set", "  ID = :ID,",
                                             "  NAME = :NAME", "where", "  ID = :OLD_ID"}));
    // The first refresh entry holds the select list and the from clause.
    EXPECT_EQ(slot(slotRefresh),
              QStringList({"select ID, NAME\r\nfrom CUSTOMER", "where", "  ID = :OLD_ID"}));
    EXPECT_EQ(slot(slotInsert),
              QStringList({"insert into CUSTOMER", "  (ID, NAME)", "values", "  (:ID, :NAME)"}));
    EXPECT_EQ(slot(slotDelete), QStringList({"delete from CUSTOMER", "where", "  ID = :OLD_ID"}));
}

TEST_F(Generator, example1QuotedNames)
{
    Choice c = example1;
    c.quote = true;
    choose(c);
    generate();
    EXPECT_EQ(slot(slotModify),
              QStringList({"update \"CUSTOMER\"", "set", "  \"ID\" = :\"ID\",",
                           "  \"NAME\" = :\"NAME\"", "where", "  \"ID\" = :\"OLD_ID\""}));
    EXPECT_EQ(slot(slotRefresh), QStringList({"select \"ID\", \"NAME\"\r\nfrom \"CUSTOMER\"",
                                              "where", "  \"ID\" = :\"OLD_ID\""}));
    EXPECT_EQ(slot(slotInsert), QStringList({"insert into \"CUSTOMER\"", "  (\"ID\", \"NAME\")",
                                             "values", "  (:\"ID\", :\"NAME\")"}));
    EXPECT_EQ(slot(slotDelete),
              QStringList({"delete from \"CUSTOMER\"", "where", "  \"ID\" = :\"OLD_ID\""}));
}

TEST_F(Generator, example2AliasedColumn)
{
    choose(example2(false));
    generate();
    EXPECT_EQ(slot(slotModify), QStringList({"update CUSTOMER", "set", "  ID = :ID,",
                                             "  BRANCH = :BRANCH,", "  NAME = :CNAME", "where",
                                             "  ID = :OLD_ID and", "  BRANCH = :OLD_BRANCH"}));
    EXPECT_EQ(slot(slotRefresh),
              QStringList({"select ID, BRANCH, NAME as CNAME\r\nfrom CUSTOMER", "where",
                           "  ID = :OLD_ID and", "  BRANCH = :OLD_BRANCH"}));
    EXPECT_EQ(slot(slotInsert), QStringList({"insert into CUSTOMER", "  (ID, BRANCH, NAME)",
                                             "values", "  (:ID, :BRANCH, :CNAME)"}));
    EXPECT_EQ(slot(slotDelete), QStringList({"delete from CUSTOMER", "where", "  ID = :OLD_ID and",
                                             "  BRANCH = :OLD_BRANCH"}));
}

TEST_F(Generator, example2QuotedNames)
{
    choose(example2(true));
    generate();
    EXPECT_EQ(slot(slotModify),
              QStringList({"update \"CUSTOMER\"", "set", "  \"ID\" = :\"ID\",",
                           "  \"BRANCH\" = :\"BRANCH\",", "  \"NAME\" = :\"CNAME\"", "where",
                           "  \"ID\" = :\"OLD_ID\" and", "  \"BRANCH\" = :\"OLD_BRANCH\""}));
    EXPECT_EQ(
        slot(slotRefresh),
        QStringList({"select \"ID\", \"BRANCH\", \"NAME\" as \"CNAME\"\r\nfrom \"CUSTOMER\"",
                     "where", "  \"ID\" = :\"OLD_ID\" and", "  \"BRANCH\" = :\"OLD_BRANCH\""}));
    EXPECT_EQ(slot(slotInsert),
              QStringList({"insert into \"CUSTOMER\"", "  (\"ID\", \"BRANCH\", \"NAME\")", "values",
                           "  (:\"ID\", :\"BRANCH\", :\"CNAME\")"}));
    EXPECT_EQ(slot(slotDelete),
              QStringList({"delete from \"CUSTOMER\"", "where", "  \"ID\" = :\"OLD_ID\" and",
                           "  \"BRANCH\" = :\"OLD_BRANCH\""}));
}

// FindFieldAlias over field-origin lists: entries, table text, field, alias.
TEST_F(Generator, fieldAliases)
{
    struct Row
    {
        const char *label;
        QStringList fieldInfo;
        QString table;
        QString field;
        QString alias;
    };
    const QList<Row> rows = {
        {"aliased column", {"CNAME=CUSTOMER.NAME"}, "CUSTOMER", "NAME", "CNAME"},
        {"no entry keeps the name", {"CNAME=CUSTOMER.NAME"}, "CUSTOMER", "ID", "ID"},
        {"owner in the table part", {"X=SALES.CUSTOMER.NAME"}, "SALES.CUSTOMER", "NAME", "X"},
        {"owner part must be typed", {"X=SALES.CUSTOMER.NAME"}, "CUSTOMER", "NAME", "NAME"},
        {"table case differs", {"CNAME=customer.NAME"}, "CUSTOMER", "NAME", "NAME"},
        {"column case differs", {"CNAME=CUSTOMER.name"}, "CUSTOMER", "NAME", "NAME"},
        {"final dot: split before it", {"A=CUSTOMER.NAME."}, "CUSTOMER", "NAME", "NAME"},
        {"final dot: column keeps it", {"A=CUSTOMER.NAME."}, "CUSTOMER", "NAME.", "A"},
        {"no dot at all", {"A=NAME"}, "CUSTOMER", "NAME", "NAME"},
        {"first entry wins", {"A=T.C", "B=T.C"}, "T", "C", "A"},
        {"repeated name reads its first value", {"A=T.X", "A=T.C"}, "T", "C", "C"},
        {"entry without a name", {"T.C", "=T.C"}, "T", "C", "C"},
        {"later entry matches", {"A=T.X", "B=T.C"}, "T", "C", "B"},
    };
    for (const Row &row : rows) {
        UpdateSQLEditFormAccess::FieldInfo(form).Assign(row.fieldInfo);
        EXPECT_EQ(UpdateSQLEditFormAccess::FindFieldAlias(form, row.table, row.field), row.alias)
            << row.label;
    }
}

// Statements from a choice, one row per case, with the expected lines inline.
TEST_F(Generator, cases)
{
    struct Row
    {
        const char *label;
        Choice choice;
        int slot;
        QStringList expected;
    };
    const QList<Row> rows = {
        {"single key, single update field",
         {"T", {"A", "B"}, {"A"}, {"B"}},
         slotModify,
         {"update T", "set", "  B = :B", "where", "  A = :OLD_A"}},
        {"unselected items skipped, list order kept",
         {"T", {"A", "B", "C", "D"}, {"D", "B"}, {"C", "A"}},
         slotModify,
         {"update T", "set", "  A = :A,", "  C = :C", "where", "  B = :OLD_B and", "  D = :OLD_D"}},
        {"alias in refresh only where it differs",
         {"T", {"A", "B"}, {"A"}, {"A", "B"}, false, {"A=T.A", "BB=T.B"}},
         slotRefresh,
         {"select A, B as BB\r\nfrom T", "where", "  A = :OLD_A"}},
        {"insert ignores the keys",
         {"T", {"A", "B"}, {"A"}, {"B"}},
         slotInsert,
         {"insert into T", "  (B)", "values", "  (:B)"}},
        {"table text is not trimmed for alias lookup",
         {" T", {"A"}, {"A"}, {"A"}, false, {"X=T.A"}},
         slotDelete,
         {"delete from T", "where", "  A = :OLD_A"}},
        {"owner dropped where not supported",
         {"SALES.T", {"A"}, {"A"}, {"A"}, false, {"X=SALES.T.A"}},
         slotDelete,
         {"delete from T", "where", "  A = :OLD_X"}},
        {"quoted name doubles inner quotes",
         {"T", {"A\"B"}, {"A\"B"}, {"A\"B"}, true},
         slotDelete,
         {"delete from \"T\"", "where", "  \"A\"\"B\" = :\"OLD_A\"\"B\""}},
        {"no update field: empty set clause",
         {"T", {"A"}, {"A"}, {}},
         slotModify,
         {"update T", "set", "where", "  A = :OLD_A"}},
        {"no update field: empty column lists",
         {"T", {"A"}, {"A"}, {}},
         slotInsert,
         {"insert into T", "  ()", "values", "  ()"}},
        {"no update field: bare select",
         {"T", {"A"}, {"A"}, {}},
         slotRefresh,
         {"select \r\nfrom T", "where", "  A = :OLD_A"}},
        {"no key field: bare where",
         {"T", {"A"}, {}, {"A"}},
         slotDelete,
         {"delete from T", "where"}},
        {"names that need quotes are quoted with the box cleared",
         {"T", {"A B", "ID", "user", "x-y"}, {"x-y"}, {"A B", "ID", "user"}},
         slotModify,
         {"update T", "set", "  \"A B\" = :\"A B\",", "  ID = :ID,", "  \"user\" = :\"user\"",
          "where", "  \"x-y\" = :\"OLD_x-y\""}},
        {"a table name with blanks is quoted",
         {"Line Items", {"A"}, {"A"}, {"A"}},
         slotDelete,
         {"delete from \"Line Items\"", "where", "  A = :OLD_A"}},
        {"a quoted dotted table stays one name",
         {"\"a.b\"", {"A"}, {"A"}, {"A"}, false, {"X=\"a.b\".A"}},
         slotRefresh,
         {"select A as X\r\nfrom \"a.b\"", "where", "  A = :OLD_X"}},
        {"no key field: modify ends in where",
         {"T", {"A"}, {}, {"A"}},
         slotModify,
         {"update T", "set", "  A = :A", "where"}},
    };
    for (const Row &row : rows) {
        choose(row.choice);
        generate();
        EXPECT_EQ(slot(row.slot), row.expected) << row.label;
    }
}

// Owner-qualified names stay whole where the dataset supports them.
TEST_F(Generator, ownerKeptWhereSupported)
{
    choose({"SALES.T", {"A"}, {"A"}, {"A"}});
    UpdateSQLEditFormAccess::SetObjOwnerSupported(form, true);
    generate();
    EXPECT_EQ(slot(slotDelete), QStringList({"delete from SALES.T", "where", "  A = :OLD_A"}));

    // Quoted, each part is an identifier of its own: a table in schema SALES,
    // not a table named "SALES.T".
    choose({"SALES.T", {"A"}, {"A"}, {"A"}, true});
    UpdateSQLEditFormAccess::SetObjOwnerSupported(form, true);
    generate();
    EXPECT_EQ(slot(slotModify).first(), "update \"SALES\".\"T\"");
    EXPECT_EQ(slot(slotRefresh).first(), "select \"A\"\r\nfrom \"SALES\".\"T\"");

    // A name the user already wrote in quotes is not quoted a second time.
    choose({"\"Sales Dept\".\"Order Items\"", {"A"}, {"A"}, {"A"}, true});
    UpdateSQLEditFormAccess::SetObjOwnerSupported(form, true);
    generate();
    EXPECT_EQ(slot(slotInsert).first(), "insert into \"Sales Dept\".\"Order Items\"");
}

// Aliases follow the field-origin list as it is now, also after it changed.
TEST_F(Generator, aliasesFollowFieldInfoChanges)
{
    choose({"T", {"A"}, {"A"}, {"A"}, false, {"X=T.A"}});
    generate();
    EXPECT_EQ(slot(slotInsert).last(), "  (:X)") << "first generation";
    UpdateSQLEditFormAccess::FieldInfo(form).Put(0, "Y=T.A");
    generate();
    EXPECT_EQ(slot(slotInsert).last(), "  (:Y)") << "after the entry changed";
    UpdateSQLEditFormAccess::FieldInfo(form).Clear();
    generate();
    EXPECT_EQ(slot(slotInsert).last(), "  (:A)") << "after the list was cleared";
}

// The statements follow list order, whatever order the items were selected in.
TEST_F(Generator, listOrderNotSelectionOrder)
{
    choose({"T", {"A", "B", "C", "D"}, {}, {}});
    for (const char *name : {"D", "B"})
        form.lbKeyFields->findItems(name, Qt::MatchExactly).first()->setSelected(true);
    for (const char *name : {"C", "A"})
        form.lbUpdateFields->findItems(name, Qt::MatchExactly).first()->setSelected(true);
    generate();
    EXPECT_EQ(slot(slotModify), QStringList({"update T", "set", "  A = :A,", "  C = :C", "where",
                                             "  B = :OLD_B and", "  D = :OLD_D"}));
    EXPECT_EQ(slot(slotInsert), QStringList({"insert into T", "  (A, C)", "values", "  (:A, :C)"}));
}
