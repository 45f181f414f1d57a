// Settings files as users leave them: other encodings, special files, other
// processes writing at the same time, a full disk.
#include "QtPrinters.h"
#include "common/FullDisk.h"
#include "common/TestSupport.h"
#include "rtl/Classes.h"
#include "rtl/FileAccess.h"
#include "rtl/IniFiles.h"
#include "rtl/SysUtils.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QStringList filesIn(const TempFolder &Folder)
{
    return QDir(Folder.path())
        .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
}

QByteArray utf16(const QString &Text, bool LittleEndian)
{
    QByteArray bytes;
    for (const QChar c : Text) {
        const char hi = char(c.unicode() >> 8), lo = char(c.unicode() & 0xFF);
        if (LittleEndian)
            bytes.append(lo).append(hi);
        else
            bytes.append(hi).append(lo);
    }
    return bytes;
}

QString writeError(TIniFile &Ini, const QString &Section, const QString &Key, const QString &Value)
{
    try {
        Ini.WriteString(Section, Key, Value);
    } catch (const EIniFileException &e) {
        return e.Message();
    }
    return {};
}

} // namespace

TEST(SettingsFiles, aWriteKeepsEveryLineItDoesNotChange)
{
    TempFolder folder;
    const QString path = folder.file("orvlib.ini");
    // Latin-1 text, CR LF and LF lines, and no line break at the end.
    const QByteArray original = "; caf\xE9 notes\r\n"
                                "[Other]\r\n"
                                "name=\xE9t\xE9\r\n"
                                "\r\n"
                                "[TOvDatabase]\n"
                                "ServerType=SQLite\n"
                                "[Tail]\n"
                                "last=1";
    folder.write("orvlib.ini", original);
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("Other", "name", ""), QString::fromUtf8("été"))
        << "a line that is not UTF-8 reads as Latin-1";

    ini.WriteString("TOvDatabase", "ServerType", "PostgreSQL");
    QByteArray expected = original;
    expected.replace("ServerType=SQLite", "ServerType=PostgreSQL");
    EXPECT_EQ(folder.read("orvlib.ini"), expected) << "only the written line changed";

    ini.WriteString("Tail", "new", QString::fromUtf8("ü"));
    expected += "\r\nnew=\xC3\xBC\r\n";
    EXPECT_EQ(folder.read("orvlib.ini"), expected)
        << "the last line gets a break, new lines are UTF-8 with the file's first line break";

    ini.ReplaceSection("Other", {{"NAME", QString::fromUtf8("été")}, {"added", "1"}});
    expected.replace("name=\xE9t\xE9\r\n", "name=\xE9t\xE9\r\nadded=1\r\n");
    EXPECT_EQ(folder.read("orvlib.ini"), expected)
        << "a section rewritten in place keeps the bytes of an entry that stays the same";

    ini.WriteString("Other", "added", "1");
    EXPECT_EQ(folder.read("orvlib.ini"), expected) << "writing the stored value changes nothing";
}

TEST(SettingsFiles, utf16FilesStayUtf16)
{
    for (const bool little : {true, false}) {
        SCOPED_TRACE(little ? "UTF-16LE" : "UTF-16BE");
        TempFolder folder;
        const QString path = folder.file("orvlib.ini");
        const QByteArray bom = little ? QByteArray("\xFF\xFE") : QByteArray("\xFE\xFF");
        const QByteArray original
            = bom
              + utf16(QString::fromUtf8("[SQLEditor]\r\nEnabled=0\r\n[Other]\r\nname=été ✓\r\n"),
                      little);
        folder.write("orvlib.ini", original);
        TIniFile ini(path);
        EXPECT_FALSE(ini.ReadBool("SQLEditor", "Enabled", true)) << "the file is readable";
        EXPECT_EQ(ini.ReadString("other", "NAME", ""), QString::fromUtf8("été ✓"));
        EXPECT_TRUE(ini.ReadProblem().isEmpty()) << ini.ReadProblem().toStdString();

        ini.WriteString("TOvDatabase", "ServerType", QString::fromUtf8("SQLite ✓"));
        EXPECT_EQ(
            folder.read("orvlib.ini"),
            original + utf16(QString::fromUtf8("[TOvDatabase]\r\nServerType=SQLite ✓\r\n"), little))
            << "byte order mark and every old byte kept, the new lines in the same encoding";
        ini.WriteBool("SQLEditor", "Enabled", true);
        EXPECT_TRUE(ini.ReadBool("SQLEditor", "Enabled", false));
        EXPECT_EQ(ini.ReadString("Other", "name", ""), QString::fromUtf8("été ✓"));
    }
}

TEST(SettingsFiles, anEncodingThatCannotBeKeptIsRefused)
{
    TempFolder folder;
    const QString path = folder.file("orvlib.ini");
    const struct
    {
        QByteArray bytes;
        const char *reason;
    } rows[] = {
        {utf16("[S]\nk=v\n", true), "NUL"}, // UTF-16 without a byte order mark
        {QByteArray("\xFF\xFE\x00\x00[\x00\x00\x00", 8), "UTF-32"}, // UTF-32
        {QByteArray("\xFF\xFE[\x00S\x00]", 7), "odd number"},       // broken UTF-16
    };
    for (const auto &row : rows) {
        folder.write("orvlib.ini", row.bytes);
        TIniFile ini(path);
        const QString error = writeError(ini, "S", "k", "new");
        EXPECT_TRUE(error.contains(row.reason) && error.contains(path)) << error.toStdString();
        EXPECT_THROW(ini.EraseSection("S"), EIniFileException);
        EXPECT_EQ(folder.read("orvlib.ini"), row.bytes) << "the file is left as it is";
        ini.ReadString("S", "k", "");
        EXPECT_TRUE(ini.ReadProblem().contains(row.reason)) << ini.ReadProblem().toStdString();
    }
    EXPECT_EQ(filesIn(folder), QStringList{"orvlib.ini"});
}

// Two processes write different sections of one file at the same time, each
// write a read-modify-replace cycle of its own: every write must survive.
TEST(SettingsFiles, concurrentWritersLoseNothing)
{
    TempFolder folder;
    const QString path = folder.file("orvlib.ini");
    folder.write("orvlib.ini", "[Keep]\nuser=1\n");
    constexpr int Count = 150;
    QProcess first, second;
    first.start(QStringLiteral(OV_INI_WRITER), {path, "TOvDatabase", QString::number(Count)});
    second.start(QStringLiteral(OV_INI_WRITER),
                 {path, "TOvDatabase_Params", QString::number(Count)});
    ASSERT_TRUE(first.waitForFinished(120000) && second.waitForFinished(120000));
    EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardError().toStdString();
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();

    TIniFile ini(path);
    for (const char *section : {"TOvDatabase", "TOvDatabase_Params"}) {
        const auto entries = ini.ReadSectionEntries(section);
        EXPECT_EQ(entries.size(), Count) << section << ": no write of either process lost";
        for (int i = 0; i < entries.size(); ++i)
            EXPECT_EQ(entries.at(i),
                      std::make_pair(QStringLiteral("Key%1").arg(i), QStringLiteral("v%1").arg(i)));
    }
    EXPECT_EQ(ini.ReadString("Keep", "user", ""), "1");
    EXPECT_EQ(filesIn(folder), QStringList{"orvlib.ini"}) << "no lock or temporary file left";
}

TEST(SettingsFiles, specialFilesAreRefusedNotRead)
{
    TempFolder folder;
    const QString path = folder.file("orvlib.ini");
    TIniFile ini(path);
    ASSERT_EQ(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    EXPECT_EQ(ini.ReadString("S", "k", "dflt"), "dflt") << "a FIFO reads as empty, at once";
    EXPECT_TRUE(ini.ReadProblem().contains("FIFO")) << ini.ReadProblem().toStdString();
    QString error = writeError(ini, "S", "k", "v");
    EXPECT_TRUE(error.contains("FIFO") && error.contains(path)) << error.toStdString();
    EXPECT_TRUE(QFileInfo(path).isFile() == false) << "the FIFO is not replaced";

    QFile::remove(path);
    ASSERT_TRUE(QFile::link("/dev/zero", path));
    EXPECT_EQ(ini.ReadInteger("S", "k", 8), 8) << "an endless device is never read";
    EXPECT_TRUE(ini.ReadProblem().contains("device")) << ini.ReadProblem().toStdString();
    error = writeError(ini, "S", "k", "v");
    EXPECT_TRUE(error.contains("device")) << error.toStdString();

    QFile::remove(path);
    {
        QFile big(path);
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        big.write("[S]\nk=1\n");
        ASSERT_TRUE(big.resize(MaxSettingsFileSize + 1)); // sparse: costs no disk
    }
    EXPECT_EQ(ini.ReadString("S", "k", "dflt"), "dflt");
    EXPECT_TRUE(ini.ReadProblem().contains("larger than")) << ini.ReadProblem().toStdString();
    EXPECT_THROW(ini.WriteString("S", "k", "2"), EIniFileException);
    EXPECT_EQ(QFileInfo(path).size(), MaxSettingsFileSize + 1) << "the big file is left alone";

    QFile::remove(path);
    QDir(folder.path()).mkdir("orvlib.ini");
    EXPECT_EQ(ini.ReadString("S", "k", "dflt"), "dflt");
    EXPECT_TRUE(ini.ReadProblem().contains("folder")) << ini.ReadProblem().toStdString();
    QDir(folder.path()).rmdir("orvlib.ini");

    ASSERT_TRUE(QFile::link(folder.file("target.ini"), path));
    ini.WriteString("S", "k", "through the link");
    EXPECT_TRUE(QFileInfo(path).isSymLink()) << "a link is followed, not replaced";
    EXPECT_EQ(folder.read("target.ini"), "[S]\nk=through the link\n");
    EXPECT_EQ(ini.ReadString("S", "k", ""), "through the link");
    EXPECT_TRUE(ini.ReadProblem().isEmpty());
}

TEST(SettingsFiles, aFileWeCreateIsPrivate)
{
    TempFolder folder;
    TIniFile ini(folder.file("orvlib.ini"));
    ini.WriteString("RecentDatabases", "Item00", "db");
    EXPECT_EQ(QFile::permissions(folder.file("orvlib.ini")),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser)
        << "readable by its owner only";

    folder.write("shared.ini", "[S]\nk=1\n");
    QFile::setPermissions(folder.file("shared.ini"), QFile::ReadOwner | QFile::WriteOwner
                                                         | QFile::ReadGroup | QFile::ReadOther);
    const auto before = QFile::permissions(folder.file("shared.ini"));
    TIniFile shared(folder.file("shared.ini"));
    shared.WriteString("S", "k", "2");
    EXPECT_EQ(QFile::permissions(folder.file("shared.ini")), before)
        << "an existing file keeps the permissions its owner gave it";
}

TEST(SettingsFiles, aFailedWriteNamesTheSystemsReason)
{
    TempFolder folder;
    const QByteArray original = "[S]\nk=old\n";
    folder.write("a.ini", original);
    TIniFile ini(folder.file("a.ini"));

    // A file size limit fails the write half-way.
    struct rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const QString error = writeError(ini, "S", "k", QString(100000, u'x'));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(error.contains(QString::fromLocal8Bit(std::strerror(EFBIG))))
        << error.toStdString();
    EXPECT_EQ(folder.read("a.ini"), original);
    EXPECT_EQ(filesIn(folder), QStringList{"a.ini"});

    // Another process on a full disk: a tiny file system in a namespace of its
    // own where one can be made, and always under a file size limit.
    TempFolder seed;
    seed.write("orvlib.ini", original);
    for (const FullDiskWay way : {FullDiskWay::SmallFileSystem, FullDiskWay::FileSizeLimit}) {
        const bool tmpfs = way == FullDiskWay::SmallFileSystem;
        SCOPED_TRACE(tmpfs ? "small file system" : "file size limit");
        TempFolder result;
        const FullDiskRun run
            = runOnFullDisk(way, seed.path(), result.path(), QStringLiteral(OV_INI_WRITER),
                            {"{}/orvlib.ini", "S", "1", "200000"});
        if (tmpfs && !run.ran) {
            // The size limit below still fails the write.
            std::printf("note: no small file system here (%s)\n", qPrintable(run.why));
            continue;
        }
        ASSERT_TRUE(run.ran) << run.why.toStdString();
        EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QString::fromLocal8Bit(std::strerror(tmpfs ? ENOSPC : EFBIG))))
            << run.err.toStdString();
        EXPECT_FALSE(run.err.contains("Unknown error")) << run.err.toStdString();
        EXPECT_EQ(result.read("orvlib.ini"), original) << "the old file whole";
        EXPECT_EQ(filesIn(result), QStringList{"orvlib.ini"}) << "no temporary file left";
    }
}
