#include "QtPrinters.h"
#include "common/FilePermissions.h"
#include "common/TestSupport.h"
#include "rtl/Classes.h"
#include "rtl/IniFiles.h"
#include "rtl/SysUtils.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {

QStringList filesIn(const TempFolder &Folder)
{
    return QDir(Folder.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

TEST(IniFile, readsAndWritesKeepTheLayout)
{
    TempFolder folder;
    folder.write("orvlib.ini", "; settings\n"
                               "[SQLEditor]\n"
                               "Enabled = 0 \n"
                               "\n"
                               "[RecentDatabases]\n"
                               "Item01=second\n"
                               "ITEM00=first\n"
                               "; end of list\n"
                               "\n"
                               "[Other]\n"
                               "x=1\n");
    TIniFile ini(folder.file("orvlib.ini"));

    EXPECT_EQ(ini.ReadString("sqleditor", "ENABLED", "?"), "0") << "case-insensitive, trimmed";
    EXPECT_EQ(ini.ReadInteger("SQLEditor", "Enabled", 1), 0);
    TStringList keys;
    ini.ReadSection("RecentDatabases", keys);
    EXPECT_EQ(keys.toStringList(), (QStringList{"Item01", "ITEM00"})) << "file order";
    TStringList values;
    ini.ReadSectionValues("recentdatabases", values);
    EXPECT_EQ(values.toStringList(), (QStringList{"Item01=second", "ITEM00=first"}));
    TStringList sections;
    ini.ReadSections(sections);
    EXPECT_EQ(sections.toStringList(), (QStringList{"SQLEditor", "RecentDatabases", "Other"}));

    ini.WriteString("RecentDatabases", "item00", "zero");
    ini.WriteString("RecentDatabases", "Item02", "third");
    ini.WriteInteger("TOvDatabase", "Count", -3);
    ini.WriteString("sqleditor", "Mode", "on");
    EXPECT_EQ(folder.read("orvlib.ini"), QByteArray("; settings\n"
                                                    "[SQLEditor]\n"
                                                    "Enabled = 0 \n"
                                                    "Mode=on\n"
                                                    "\n"
                                                    "[RecentDatabases]\n"
                                                    "Item01=second\n"
                                                    "ITEM00=zero\n"
                                                    "Item02=third\n"
                                                    "; end of list\n"
                                                    "\n"
                                                    "[Other]\n"
                                                    "x=1\n"
                                                    "[TOvDatabase]\n"
                                                    "Count=-3\n"))
        << "existing key in place with its spelling, new key at the end of its section, "
           "new section at the end, comments and blank lines kept";

    ini.EraseSection("recentDATABASES");
    EXPECT_FALSE(ini.SectionExists("RecentDatabases"));
    EXPECT_EQ(ini.ReadString("Other", "x", ""), "1") << "other sections untouched";
    ini.DeleteKey("SQLEditor", "MODE");
    EXPECT_FALSE(ini.ValueExists("SQLEditor", "Mode"));
    EXPECT_TRUE(ini.ValueExists("SQLEditor", "Enabled"));
    EXPECT_EQ(filesIn(folder), QStringList{"orvlib.ini"}) << "no temporary files left";
}

TEST(IniFile, valuesReadBackUnchanged)
{
    TempFolder folder;
    const QString path = folder.file("values.ini");
    const QStringList samples{
        "plain", " leading",  "trailing ",   "\"quoted\"", "'single'",  "half\"",         "'", "\"",
        "",      "a=b;c # d", "tab\tinside", "\tedge\t",   "ünïcødé ✓", "[not a section]"};
    {
        TIniFile ini(path);
        for (int i = 0; i < samples.size(); ++i)
            ini.WriteString("Values", QStringLiteral("k%1").arg(i), samples.at(i));
    }
    TIniFile reopened(path);
    for (int i = 0; i < samples.size(); ++i)
        EXPECT_EQ(reopened.ReadString("Values", QStringLiteral("k%1").arg(i), "<missing>"),
                  samples.at(i))
            << "sample " << i;
    EXPECT_EQ(reopened.ReadString("values", "K0", ""), "plain");
}

TEST(IniFile, unstorableEntriesAreRefusedWhole)
{
    TempFolder folder;
    const QByteArray original = "[A]\nkey=value\n";
    folder.write("r.ini", original);
    TIniFile ini(folder.file("r.ini"));
    struct Case
    {
        QString section, key, value, reason;
    };
    const Case cases[] = {
        {"A", "key", "two\nlines", "line break"},
        {"A", "key", QString("nul") + QChar(0), "NUL"},
        {"A", "a=b", "v", "\"=\""},
        {"A", " padded", "v", "blank"},
        {"A", "", "v", "empty"},
        {"A", "[B]", "v", "section or comment"},
        {"A", ";note", "v", "section or comment"},
        {"A", "#note", "v", "section or comment"},
        {"A]", "key", "v", "\"]\""},
        {"A\r\nB", "key", "v", "line break"},
        {"A", "key", QString(QChar(0xD800)), "Unicode"},
    };
    for (const Case &c : cases) {
        try {
            ini.WriteString(c.section, c.key, c.value);
            ADD_FAILURE() << "accepted key " << c.key.toStdString();
        } catch (const EIniFileException &e) {
            const QString m = e.Message();
            EXPECT_TRUE(m.contains(folder.file("r.ini")) && m.contains(c.reason)
                        && m.contains(c.key))
                << m.toStdString();
        }
        EXPECT_EQ(folder.read("r.ini"), original)
            << "file byte-identical after refusing " << c.key.toStdString();
    }
    EXPECT_EQ(filesIn(folder), QStringList{"r.ini"});
}

TEST(IniFile, replaceSectionIsOneAtomicStep)
{
    TempFolder folder;
    const QByteArray original = "[P]\nold=1\n[Q]\nq=2\n";
    folder.write("p.ini", original);
    TIniFile ini(folder.file("p.ini"));

    EXPECT_THROW(ini.ReplaceSection("P", {{"A", "1"}, {"bad=key", "2"}}), EIniFileException);
    EXPECT_EQ(folder.read("p.ini"), original) << "one bad entry: nothing erased, nothing written";

    ini.ReplaceSection("p", {{"A", "1"}, {"B", " 2"}, {"a", "3"}});
    TStringList values;
    ini.ReadSectionValues("P", values);
    EXPECT_EQ(values.toStringList(), (QStringList{"A=1", "B= 2"}))
        << "first value of a repeated key";
    EXPECT_EQ(ini.ReadString("Q", "q", ""), "2");

    ini.ReplaceSection("P", {});
    EXPECT_FALSE(ini.SectionExists("P"));
    ini.ReplaceSection("Absent", {});
    EXPECT_EQ(folder.read("p.ini"), QByteArray("[Q]\nq=2\n"));
}

TEST(IniFile, missingFileReadsEmptyAndIsNotCreated)
{
    TempFolder folder;
    TIniFile ini(folder.file("none.ini"));
    EXPECT_EQ(ini.ReadString("S", "k", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadInteger("S", "k", 8), 8);
    EXPECT_TRUE(ini.ReadBool("S", "k", true));
    TStringList list(QStringList{"stale"});
    ini.ReadSectionValues("S", list);
    EXPECT_EQ(list.Count(), 0) << "the list is cleared";
    ini.EraseSection("S");
    ini.DeleteKey("S", "k");
    EXPECT_FALSE(folder.exists("none.ini")) << "reads and no-op erases create nothing";

    ini.WriteBool("S", "k", false);
    EXPECT_EQ(folder.read("none.ini"), QByteArray("[S]\nk=0\n"));
}

// A settings file in folders that do not exist yet (a first start): reads
// and no-op erases make none of them, the first write makes them all,
// readable by their owner only; a file in the way is the reason given.
TEST(IniFile, theFirstWriteMakesTheMissingFolders)
{
    TempFolder folder;
    TIniFile ini(folder.file("config/orvanta/settings.ini"));
    EXPECT_EQ(ini.ReadString("S", "k", "dflt"), "dflt");
    ini.EraseSection("S");
    EXPECT_FALSE(QFileInfo::exists(folder.file("config"))) << "nothing written, nothing made";
    ini.WriteString("S", "k", "v");
    EXPECT_EQ(folder.read("config/orvanta/settings.ini"), QByteArray("[S]\nk=v\n"));
    const QFile::Permissions made = QFileInfo(folder.file("config")).permissions();
    EXPECT_EQ(made
                  & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
                     | QFile::WriteOther | QFile::ExeOther),
              QFile::Permissions())
        << "the owner's alone";
    EXPECT_TRUE(made.testFlags(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    folder.write("plain", "a file");
    TIniFile blocked(folder.file("plain/orvanta/settings.ini"));
    try {
        blocked.WriteString("S", "k", "v");
        ADD_FAILURE() << "a file in the way of the folder is refused";
    } catch (const EIniFileException &e) {
        EXPECT_TRUE(e.Message().contains("plain: it is not a folder")) << e.Message().toStdString();
    }
}

TEST(IniFile, junkNumbersReadAsDefault)
{
    TempFolder folder;
    folder.write("n.ini", "\xEF\xBB\xBF[N]\r\n"
                          "empty=\r\n"
                          "word=yes\r\n"
                          "mixed=12abc\r\n"
                          "huge=99999999999\r\n"
                          "zero=0\r\n"
                          "seven= 7 \r\n"
                          "hex=0x10\r\n"
                          "quoted=\"5\"\r\n");
    TIniFile ini(folder.file("n.ini"));
    for (const char *key : {"empty", "word", "mixed", "huge", "absent"}) {
        EXPECT_EQ(ini.ReadInteger("N", key, -9), -9) << key;
        EXPECT_TRUE(ini.ReadBool("N", key, true)) << key;
        EXPECT_FALSE(ini.ReadBool("N", key, false)) << key;
    }
    EXPECT_FALSE(ini.ReadBool("n", "zero", true));
    EXPECT_TRUE(ini.ReadBool("N", "seven", false));
    EXPECT_EQ(ini.ReadInteger("N", "seven", 0), 7);
    EXPECT_EQ(ini.ReadInteger("N", "hex", 0), 16);
    EXPECT_EQ(ini.ReadInteger("N", "quoted", 0), 5);

    ini.WriteInteger("N", "zero", 1);
    const QByteArray bytes = folder.read("n.ini");
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF[N]\r\nempty=\r\n")) << "BOM and CR LF kept";
    EXPECT_TRUE(bytes.contains("zero=1\r\n"));
}

TEST(IniFile, failedWritesLeaveTheOldFileWhole)
{
    TempFolder folder;
    const QByteArray original = "[S]\nk=old\n";
    folder.write("a.ini", original);
    TIniFile ini(folder.file("a.ini"));

    // A folder that cannot be made (a file is in its place).
    TIniFile lost(folder.file("a.ini/folder/a.ini"));
    try {
        lost.WriteString("S", "k", "v");
        FAIL() << "a write into a folder that cannot be made must raise";
    } catch (const EIniFileException &e) {
        EXPECT_TRUE(e.Message().contains("a.ini/folder/a.ini")) << e.what();
        EXPECT_TRUE(e.Message().contains("not a folder")) << e.what();
    }

    // A file size limit makes the write fail half-way, for root as well; the
    // rename never happens and the temporary file is removed.
    const QString big(100000, u'x');
    struct rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    EXPECT_THROW(ini.WriteString("S", "k", big), EIniFileException) << "write beyond the limit";
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(folder.read("a.ini"), original) << "old file whole after a failed write";
    EXPECT_EQ(filesIn(folder), QStringList{"a.ini"}) << "no temporary file left";

    {
        const FilePermissionsHold asAnyone; // root's overrides would let the write through
        EXPECT_EQ(asAnyone.problem(), QString());
        QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner);
        EXPECT_THROW(ini.WriteString("S", "k", "new"), EIniFileException) << "read-only folder";
        QFile::setPermissions(folder.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        EXPECT_EQ(folder.read("a.ini"), original);
    }

    ini.WriteString("S", "k", "new");
    EXPECT_EQ(ini.ReadString("S", "k", ""), "new") << "writes work again afterwards";
}
