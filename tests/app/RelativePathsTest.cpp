// Relative file names of a module read from another folder: what a Save As
// into that folder offers to write.
#include "RelativePaths.h"
#include "TestSupport.h"

#include "orvlib/OvDatabase.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <memory>

namespace {

// forms/old holds the module's files; forms/new is where it is saved.
class RelativePathsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QDir root(folder.path());
        for (const char *dir : {"forms/old/sub dir", "forms/new/deeper", "forms/shared"})
            ASSERT_TRUE(root.mkpath(QLatin1String(dir)));
        for (const char *file : {"forms/old/demo.db", "forms/old/sub dir/my data.db",
                                 "forms/shared/x.db", "forms/old/:memory:"})
            folder.write(QLatin1String(file), "x");
        ASSERT_TRUE(QFile::link(QStringLiteral("../shared"),
                                folder.file(QStringLiteral("forms/old/linked"))));
        ASSERT_TRUE(QFile::link(QStringLiteral("../shared/x.db"),
                                folder.file(QStringLiteral("forms/old/alias.db"))));
        // The temporary folder may itself lie behind a link (/tmp): names
        // come back as the file system finds them.
        base = QDir(folder.path()).canonicalPath();
        oldFolder = base + QStringLiteral("/forms/old");
    }

    TempFolder folder;
    QString base;
    QString oldFolder;
};

} // namespace

TEST_F(RelativePathsTest, NamesTheSameFileFromTheNewFolder)
{
    const QString newFolder = base + QStringLiteral("/forms/new");
    struct Row
    {
        const char *path;
        QString to;
        QString expected;
    };
    const Row rows[] = {
        {"demo.db", newFolder, "../old/demo.db"},
        {"./demo.db", newFolder + QStringLiteral("/deeper"), "../../old/demo.db"},
        {"sub dir/my data.db", newFolder, "../old/sub dir/my data.db"},
        {"../shared/x.db", newFolder, "../shared/x.db"},
        {"demo.db", oldFolder + QStringLiteral("/sub dir"), "../demo.db"},
        {"demo.db", oldFolder, "demo.db"},
        // A linked folder is followed; a linked file keeps its own name.
        {"linked/x.db", newFolder, "../shared/x.db"},
        {"alias.db", newFolder, "../old/alias.db"},
        // A folder not yet there is named as written.
        {"demo.db", newFolder + QStringLiteral("/not yet/../later"), "../../old/demo.db"},
        // Left alone: missing, absolute, no file, a folder.
        {"gone.db", newFolder, ""},
        {":memory:", newFolder, ""},
        {"", newFolder, ""},
        {"sub dir", newFolder, ""},
    };
    for (const Row &r : rows)
        EXPECT_EQ(rebasedFilePath(QLatin1String(r.path), oldFolder, r.to), r.expected)
            << r.path << " to " << r.to.toStdString();
    const QString absolute = oldFolder + QStringLiteral("/demo.db");
    EXPECT_EQ(rebasedFilePath(absolute, oldFolder, newFolder), QString()) << "absolute: as it is";

    // Folders that share nothing below the root: the absolute name, not a
    // climb over the root.
    const QString top = base.section(QLatin1Char('/'), 1, 1);
    const QString elsewhere = top == QLatin1String("proc") ? QStringLiteral("/sys/forms")
                                                           : QStringLiteral("/proc/forms");
    EXPECT_EQ(rebasedFilePath(QStringLiteral("demo.db"), oldFolder, elsewhere), absolute);
    EXPECT_EQ(rebasedFilePath(QStringLiteral("demo.db"), oldFolder, QStringLiteral("/")), absolute);
}

// Which of a module's properties count: a SQLite database's file and any
// database's parameters file, when relative and found.
TEST_F(RelativePathsTest, ListsTheDatabaseFilesAModuleNames)
{
    folder.write(QStringLiteral("forms/old/conn.txt"), "USER NAME=ann\n");
    const QString newFolder = base + QStringLiteral("/forms/new");
    QObject root;
    auto database = [&](const char *Name, TOvServerType Type, const QString &Remote,
                        const QString &ParamsFile) {
        auto *db = new TOvDatabase(&root);
        db->setObjectName(QLatin1String(Name));
        db->SetServerType(Type);
        db->SetRemoteDatabase(Remote);
        db->SetParamsFileName(ParamsFile);
        return db;
    };
    TOvDatabase *demo = database("Demo", TOvServerType::stSQLite, QStringLiteral(" demo.db "), {});
    database("Server", TOvServerType::stPostgreSQL, QStringLiteral("demo.db"),
             QStringLiteral("conn.txt"));
    database("Gone", TOvServerType::stSQLite, QStringLiteral("gone.db"), QStringLiteral("no.txt"));
    database("Shared", TOvServerType::stSQLite, QStringLiteral("../shared/x.db"), {});
    database("Fixed", TOvServerType::stSQLite, oldFolder + QStringLiteral("/demo.db"), {});

    const QList<TStoredFilePath> found = storedFilePaths(&root, oldFolder, newFolder);
    ASSERT_EQ(found.size(), 2) << "a server's remote database is no file; the rest read alike";
    EXPECT_EQ(found[0].Component, demo);
    EXPECT_EQ(found[0].Property, QStringLiteral("RemoteDatabase"));
    EXPECT_EQ(found[0].Stored, QStringLiteral(" demo.db ")) << "as stored";
    EXPECT_EQ(found[0].Rebased, QStringLiteral("../old/demo.db")) << "as the driver opens it";
    EXPECT_EQ(found[1].Component->objectName(), QStringLiteral("Server"));
    EXPECT_EQ(found[1].Property, QStringLiteral("ParamsFileName"));
    EXPECT_EQ(found[1].Rebased, QStringLiteral("../old/conn.txt"));
}
