#include "orvlib/OvCommon.h"
#include "orvlib/OvDriver.h"
#include "orvlib/OvTypes.h"

#include "common/TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <dlfcn.h>

TEST(ServerTypes, namesRoundTripAndUnknownNamesFallBack)
{
    EXPECT_EQ(DefServerType, TOvServerType::stSQLite) << "the embedded server is the default";
    for (TOvServerType t : AllServerTypes()) {
        const QString name = GetServerTypeName(t);
        EXPECT_FALSE(name.isEmpty());
        EXPECT_EQ(StrToServerTypeDef(name, TOvServerType::stSQLite), t)
            << "round trip " << name.toStdString();
        EXPECT_EQ(StrToServerTypeDef(name.toUpper(), TOvServerType::stSQLite), t) << "case ignored";
        EXPECT_EQ(StrToServerTypeDef(QStringLiteral("  ") + name + QStringLiteral(" "),
                                     TOvServerType::stSQLite),
                  t)
            << "blanks around the name ignored";
    }
    EXPECT_EQ(GetServerTypeName(TOvServerType::stSQLite), QStringLiteral("SQLite"));
    EXPECT_EQ(GetServerTypeName(TOvServerType::stPostgreSQL), QStringLiteral("PostgreSQL"));
    EXPECT_EQ(StrToServerTypeDef(QString(), TOvServerType::stPostgreSQL),
              TOvServerType::stPostgreSQL)
        << "empty";
    EXPECT_EQ(StrToServerTypeDef(QStringLiteral("Oracle"), TOvServerType::stPostgreSQL),
              TOvServerType::stPostgreSQL)
        << "unknown";
    EXPECT_EQ(StrToServerTypeDef(QStringLiteral("SQLite3"), TOvServerType::stPostgreSQL),
              TOvServerType::stPostgreSQL)
        << "a prefix is no match";
}

TEST(DesignOptions, membersByOrdinal)
{
    TOvDesignDBOptions options;
    EXPECT_TRUE(options.IsEmpty());
    options.Include(ddoIsDefaultDatabase);
    EXPECT_TRUE(options.Contains(ddoIsDefaultDatabase));
    EXPECT_FALSE(options.Contains(ddoStoreConnected));
    EXPECT_EQ(options.ToInt(), 1u) << "ordinal 0 is bit 0";
    options.Include(ddoStoreConnected).Exclude(ddoIsDefaultDatabase);
    EXPECT_EQ(options, TOvDesignDBOptions{ddoStoreConnected});
    EXPECT_EQ(static_cast<int>(TOvSchemaType::stIndexes), 5) << "index information is kind 5";
    EXPECT_EQ(static_cast<int>(TBool3State::Unknown), 2);
}

TEST(QuoteIdentifier, quotesOnlyWhenAsked)
{
    struct Row
    {
        const char *name;
        bool quote;
        const char *expected;
    } rows[] = {
        {"CUSTOMER", false, "CUSTOMER"},
        {"CUSTOMER", true, "\"CUSTOMER\""},
        {"Order Items", true, "\"Order Items\""},
        {"a\"b", true, "\"a\"\"b\""},
        {"a\"b", false, "a\"b"},
        {"", true, "\"\""},
        {"OLD_NAME", true, "\"OLD_NAME\""},
        {"x\"; drop table t; --", true, "\"x\"\"; drop table t; --\""},
    };
    for (const Row &r : rows) {
        EXPECT_EQ(QuoteIdentifier(QString::fromUtf8(r.name), r.quote),
                  QString::fromUtf8(r.expected))
            << r.name << " quote=" << r.quote;
        EXPECT_EQ(QuoteIdentifier(TOvServerType::stPostgreSQL, QString::fromUtf8(r.name), r.quote),
                  QString::fromUtf8(r.expected));
    }
}

TEST(GetValidObjName, ownerPartDroppedOnlyWhenOwnersAreUnsupported)
{
    struct Row
    {
        const char *name;
        bool removeOwner;
        const char *expected;
    } rows[] = {
        {"CUSTOMER", true, "CUSTOMER"},
        {"CUSTOMER", false, "CUSTOMER"},
        {"SALES.CUSTOMER", true, "CUSTOMER"},
        {"SALES.CUSTOMER", false, "SALES.CUSTOMER"},
        {"DB.SALES.CUSTOMER", true, "CUSTOMER"},
        {"  CUSTOMER  ", true, "CUSTOMER"},
        {"\"SALES\".\"Cust.Name\"", true, "\"Cust.Name\""},
        {"\"a.b\"", true, "\"a.b\""},
        {"\"SALES\".\"CUST\"", false, "\"SALES\".\"CUST\""},
        {"", true, ""},
    };
    for (const Row &r : rows) {
        EXPECT_EQ(GetValidObjName(QString::fromUtf8(r.name), r.removeOwner),
                  QString::fromUtf8(r.expected))
            << r.name << " removeOwner=" << r.removeOwner;
    }
    QString owner, object;
    SplitObjName(QStringLiteral("\"Sales Dept\".\"a\"\"b\""), owner, object);
    EXPECT_EQ(owner, QStringLiteral("Sales Dept"));
    EXPECT_EQ(object, QStringLiteral("a\"b")) << "doubled quote read as one";
    SplitObjName(QStringLiteral("customer"), owner, object);
    EXPECT_TRUE(owner.isEmpty());
    EXPECT_EQ(object, QStringLiteral("customer"));
}

// Plain identifiers stand unquoted; anything the servers would read
// otherwise does not.
TEST(IsPlainIdentifier, onlyNamesThatReadBackUnquoted)
{
    const auto sqlite = TOvServerType::stSQLite;
    const auto pg = TOvServerType::stPostgreSQL;
    for (const char *plain : {"CUSTOMER", "id", "_x", "a1", "a$b", "OLD_ID", "Größe", "key"})
        EXPECT_TRUE(IsPlainIdentifier(pg, QString::fromUtf8(plain))) << plain;
    for (const char *name : {"", "1a", "$a", "a b", "a-b", "a.b", "a\"b", "a'b", " a", "a;", "user",
                             "USER", "true", "order", "current_date", "a\u00a0b", "a\u2212b"})
        EXPECT_FALSE(IsPlainIdentifier(pg, QString::fromUtf8(name))) << name;
    EXPECT_FALSE(IsPlainIdentifier(pg, QStringLiteral("a") + QChar(u'\0') + QStringLiteral("b")));
    EXPECT_TRUE(IsPlainIdentifier(pg, QStringLiteral("key"))) << "not reserved on PostgreSQL";
    EXPECT_FALSE(IsPlainIdentifier(sqlite, QStringLiteral("key"))) << "a key word of SQLite";
    EXPECT_FALSE(IsPlainIdentifier(sqlite, QStringLiteral("User"))) << "SQLite also quotes "
                                                                       "PostgreSQL's words";
    EXPECT_FALSE(IsPlainIdentifier(sqlite, QStringLiteral("ANALYZE"))) << "folded from A to Z";
    EXPECT_TRUE(IsPlainIdentifier(sqlite, QString(40, u'A'))) << "longer than any key word";
}

// Each server reads a bare name its own way: PostgreSQL folds ASCII letters
// to lower case, so only a lower-case ASCII name reads back as itself;
// SQLite ignores letter case, so any plain name does.
TEST(IdentifierRules, eachServerReadsBareNamesItsOwnWay)
{
    const TOvDriver &pg = IdentifierRules(TOvServerType::stPostgreSQL);
    const TOvDriver &sqlite = IdentifierRules(TOvServerType::stSQLite);
    for (const char *bare : {"albumid", "album_id", "_x", "a1", "a$b", "key"})
        EXPECT_TRUE(pg.IsPlainName(QString::fromUtf8(bare))) << bare;
    for (const char *quoted : {"AlbumId", "ALBUMID", "Größe", "größe", "user", "a b", ""})
        EXPECT_FALSE(pg.IsPlainName(QString::fromUtf8(quoted))) << quoted;
    for (const char *bare : {"AlbumId", "ALBUMID", "Größe"})
        EXPECT_TRUE(sqlite.IsPlainName(QString::fromUtf8(bare))) << bare;
    for (const char *quoted : {"key", "User", "a b"})
        EXPECT_FALSE(sqlite.IsPlainName(QString::fromUtf8(quoted))) << quoted;

    EXPECT_EQ(pg.UnquotedName("AlbumId"), "albumid");
    EXPECT_EQ(pg.UnquotedName("Größe"), "größe") << "letters beyond ASCII are not folded";
    EXPECT_EQ(sqlite.UnquotedName("AlbumId"), "AlbumId");
    EXPECT_EQ(pg.QuoteIdent("a\"b"), "\"a\"\"b\"");
    EXPECT_EQ(QuoteIdentifier(TOvServerType::stPostgreSQL, "AlbumId", true), "\"AlbumId\"")
        << "the server-type overload quotes as the driver does";
    EXPECT_EQ(QuoteIdentifier(TOvServerType::stPostgreSQL, "AlbumId", false), "AlbumId");
    EXPECT_EQ(pg.NullSafeEqual(), "is not distinct from");
}

// The row key: the primary key first; else the first unique index of plain
// columns that cannot be NULL, or that holds NULLs as equal.
TEST(ChooseRowKey, onlyIndexesThatFindEveryRow)
{
    const int u = itUnique, pk = itPrimary | itUnique;
    struct Case
    {
        const char *label;
        QList<TOvIndexColumn> indexes;
        QSet<QString> nullable;
        QStringList key;      // empty: no key
        QStringList nullSafe; // compared with NULL equal to NULL
    };
    const QList<Case> cases{
        {"primary key wins", {{"PK", pk, "id", 1}, {"A", u, "code", 1}}, {}, {"id"}, {}},
        {"nullable primary key column compares as before",
         {{"PK", pk, "id", 1}},
         {"id"},
         {"id"},
         {}},
        {"unique on NOT NULL", {{"A", u, "code", 1}}, {"other"}, {"code"}, {}},
        {"unique on nullable is no key", {{"A", u, "email", 1}}, {"email"}, {}, {}},
        {"one nullable column of two", {{"A", u, "a", 1}, {"A", u, "b", 2}}, {"b"}, {}, {}},
        {"the next index serves",
         {{"A", u, "email", 1}, {"B", u, "code", 1}},
         {"email"},
         {"code"},
         {}},
        {"nulls not distinct",
         {{"A", u | itNullsNotDistinct, "email", 1}},
         {"email"},
         {"email"},
         {"email"}},
        {"partial", {{"A", u | itPartial, "code", 1}}, {}, {}, {}},
        {"expression",
         {{"A", u | itExpression, "", 1}, {"A", u | itExpression, "b", 2}},
         {},
         {},
         {}},
        {"not unique", {{"A", 0, "code", 1}}, {}, {}, {}},
        {"letter case of nullable names", {{"A", u, "Email", 1}}, {"email"}, {}, {}},
    };
    for (const Case &c : cases) {
        const std::optional<TOvRowKey> key = ChooseRowKey(c.indexes, c.nullable);
        EXPECT_EQ(key ? key->Columns : QStringList(), c.key) << c.label;
        EXPECT_EQ(key ? key->NullSafeColumns : QStringList(), c.nullSafe) << c.label;
    }
}

// Object names split by the servers' identifier rules, or not at all.
TEST(SplitIdentifierParts, partsHonourQuotesAndEdgesAreRefused)
{
    const auto split = [](const QString &Name) {
        const auto parts = SplitIdentifierParts(Name);
        if (!parts)
            return QStringLiteral("<invalid>");
        QStringList texts;
        for (const TOvNamePart &p : *parts)
            texts << (p.Quoted ? QStringLiteral("q:") : QString()) + p.Text;
        return texts.join(u'|');
    };
    const struct
    {
        const char *name;
        const char *parts;
    } rows[] = {
        {"T", "T"},
        {" sales . customer ", "sales|customer"},
        {"\"a.b\"", "q:a.b"},
        {"\"Sales Dept\".\"a\"\"b\"", "q:Sales Dept|q:a\"b"},
        {"\" pad \"", "q: pad "},
        {"a.b.c", "a|b|c"},
        {"\"a\".\"b\".\"c\"", "q:a|q:b|q:c"},
        {".T", "<invalid>"},
        {"T.", "<invalid>"},
        {"a..b", "<invalid>"},
        {"\"T", "<invalid>"},
        {"\"T\"x", "<invalid>"},
        {"a\"b", "<invalid>"},
        {"\"\"", "<invalid>"},
        {"", "<invalid>"},
    };
    for (const auto &r : rows)
        EXPECT_EQ(split(QString::fromUtf8(r.name)), QString::fromUtf8(r.parts)) << r.name;
}

TEST(VersionInfo, readBackFromTheModuleFile)
{
    const QString module = QStringLiteral(OV_TEST_VERSIONED_MODULE);
    const std::optional<TOvFileVersionInfo> info = ReadFileVersionInfo(module);
    ASSERT_TRUE(info.has_value()) << "the block is found in " << module.toStdString();
    EXPECT_EQ(info->FileVersion, QStringLiteral("6.5.3.0"));
    EXPECT_EQ(info->ProductVersion, QStringLiteral("6.5.3.1"));
    EXPECT_EQ(info->ProductName, QStringLiteral("Orvanta Library"));
    EXPECT_EQ(info->InternalName, QStringLiteral("DCLORVTEST"));
    EXPECT_EQ(info->Description, QStringLiteral("Orvanta Test Module"));

    QString name = QStringLiteral("Orvanta"), version;
    EXPECT_TRUE(ReadFileVersInfo(module, name, version));
    EXPECT_EQ(name, QStringLiteral("Orvanta Library")) << "product name";
    EXPECT_EQ(version, QStringLiteral("6.5.3.0")) << "file version";

    // Stripping removes symbols, not the section.
    TempFolder dir;
    const QString stripped = dir.file(QStringLiteral("stripped.so"));
    ASSERT_TRUE(QFile::copy(module, stripped));
    if (QProcess::execute(QStringLiteral("strip"), {stripped}) == 0) {
        const auto afterStrip = ReadFileVersionInfo(stripped);
        ASSERT_TRUE(afterStrip.has_value()) << "survives strip";
        EXPECT_EQ(afterStrip->InternalName, QStringLiteral("DCLORVTEST"));
    }
}

TEST(VersionInfo, filesWithoutInformationLeaveTheOutputsAlone)
{
    TempFolder dir;
    dir.write(QStringLiteral("text.so"), "not an ELF file at all");
    dir.write(QStringLiteral("truncated.so"), QByteArray("\x7f"
                                                         "ELF\x02\x01\x01",
                                                         7));
    QFile plain(QStringLiteral(OV_TEST_PLAIN_MODULE));
    ASSERT_TRUE(plain.open(QIODevice::ReadOnly));
    const QByteArray image = plain.readAll();
    dir.write(QStringLiteral("half.so"), image.left(image.size() / 2)); // section table cut off

    const QString files[]
        = {QStringLiteral(OV_TEST_PLAIN_MODULE),     dir.file(QStringLiteral("text.so")),
           dir.file(QStringLiteral("truncated.so")), dir.file(QStringLiteral("half.so")),
           dir.file(QStringLiteral("missing.so")),   QString()};
    for (const QString &file : files) {
        QString name = QStringLiteral("Orvanta"), version = QStringLiteral("unchanged");
        EXPECT_FALSE(ReadFileVersInfo(file, name, version)) << file.toStdString();
        EXPECT_EQ(name, QStringLiteral("Orvanta")) << file.toStdString();
        EXPECT_EQ(version, QStringLiteral("unchanged")) << file.toStdString();
    }
}

TEST(ModuleFileName, theFileThatHoldsTheAddress)
{
    const QString module = QFileInfo(QStringLiteral(OV_TEST_PLAIN_MODULE)).canonicalFilePath();
    void *handle = dlopen(OV_TEST_PLAIN_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    void *marker = dlsym(handle, "ov_test_module_marker");
    ASSERT_NE(marker, nullptr);
    EXPECT_EQ(GetModuleFileNameStr(marker), module) << "a function inside the module";
    dlclose(handle);

    const QString library
        = GetModuleFileNameStr(reinterpret_cast<const void *>(&GetServerTypeName));
    EXPECT_TRUE(QFileInfo(library).fileName().startsWith(QStringLiteral("libOrvLib240")))
        << "the runtime library's own file: " << library.toStdString();
    EXPECT_TRUE(QFileInfo(library).isAbsolute());
    EXPECT_TRUE(GetModuleFileNameStr(nullptr).isEmpty());
}
