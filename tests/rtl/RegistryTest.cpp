#include "rtl/Registry.h"
#include "QtPrinters.h"
#include "common/FilePermissions.h"
#include "common/TestSupport.h"
#include "rtl/SysUtils.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Points the store at a file for the life of the scope.
class StoreOverride
{
public:
    explicit StoreOverride(const QString &Path) { TRegistry::setStorePathOverride(Path); }
    ~StoreOverride() { TRegistry::setStorePathOverride(QString()); }
};

} // namespace

TEST(Registry, readsTheStoreReadOnly)
{
    TempFolder folder;
    folder.write("registry", "[Software\\Orvanta]\n"
                             "RootDir=/opt/orvanta/data\n"
                             "[software\\orvanta\\Sub\\Deep]\n"
                             "Level=3\n");
    const QByteArray before = folder.read("registry");
    StoreOverride store(folder.file("registry"));

    TRegistry reg;
    EXPECT_EQ(reg.RootKey(), HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKeyReadOnly("\\SOFTWARE\\orvanta\\"))
        << "key paths ignore case and surrounding backslashes";
    EXPECT_TRUE(reg.ValueExists("rootdir"));
    EXPECT_EQ(reg.ReadString("RootDir"), "/opt/orvanta/data");
    EXPECT_EQ(reg.ReadString("Missing"), "") << "a missing value reads empty";
    EXPECT_TRUE(reg.KeyExists("Sub")) << "a key with only sub-keys exists, relative to the current";
    ASSERT_TRUE(reg.OpenKeyReadOnly("Sub\\Deep"));
    EXPECT_EQ(reg.ReadString("Level"), "3");
    reg.CloseKey();
    EXPECT_FALSE(reg.ValueExists("Level"));
    EXPECT_FALSE(reg.OpenKeyReadOnly("Software\\Other"));
    EXPECT_EQ(folder.read("registry"), before) << "nothing written";
}

TEST(Registry, locationAndMissingStore)
{
    TempFolder folder;
    const QByteArray savedXdg = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", folder.path().toUtf8());
    EXPECT_EQ(TRegistry::storePath(), folder.path() + "/orvanta/registry");
    qputenv("XDG_CONFIG_HOME", "relative/dir");
    EXPECT_EQ(TRegistry::storePath(), QDir::homePath() + "/.config/orvanta/registry")
        << "a relative XDG_CONFIG_HOME is ignored";
    qputenv("XDG_CONFIG_HOME", folder.path().toUtf8());

    TRegistry reg;
    EXPECT_FALSE(reg.OpenKeyReadOnly("Software\\Orvanta")) << "no store: no key";
    EXPECT_TRUE(reg.StoreProblem().isEmpty()) << "a missing store is no problem";
    EXPECT_FALSE(QDir(folder.path() + "/orvanta").exists()) << "opening creates nothing";

    // A store that cannot be read reads as missing, and says why.
    const QString store = folder.path() + "/orvanta/registry";
    QDir(folder.path()).mkpath("orvanta/registry");
    EXPECT_FALSE(reg.OpenKeyReadOnly("Software\\Orvanta")) << "a folder: no key";
    EXPECT_TRUE(reg.StoreProblem().contains(store) && reg.StoreProblem().contains("folder"))
        << reg.StoreProblem().toStdString();
    QDir(folder.path()).rmdir("orvanta/registry");

    ASSERT_EQ(mkfifo(QFile::encodeName(store).constData(), 0600), 0);
    EXPECT_FALSE(reg.OpenKeyReadOnly("Software\\Orvanta")) << "a FIFO: no key, and no wait";
    EXPECT_TRUE(reg.StoreProblem().contains("FIFO")) << reg.StoreProblem().toStdString();
    QFile::remove(store);

    ASSERT_TRUE(QFile::link("/dev/zero", store));
    EXPECT_FALSE(reg.OpenKeyReadOnly("Software\\Orvanta")) << "an endless device is never read";
    EXPECT_TRUE(reg.StoreProblem().contains("device")) << reg.StoreProblem().toStdString();
    QFile::remove(store);

    {
        QFile file(store);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Software\\Orvanta]\nRootDir=/x\n");
        file.close();
        QFile::setPermissions(store, QFile::WriteOwner);
        const FilePermissionsHold asAnyone; // root's overrides would read it anyway
        EXPECT_EQ(asAnyone.problem(), QString());
        EXPECT_FALSE(reg.OpenKeyReadOnly("Software\\Orvanta")) << "no permission: no key";
        EXPECT_TRUE(reg.StoreProblem().contains("Permission denied"))
            << reg.StoreProblem().toStdString();
    }
    if (savedXdg.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", savedXdg);
}

TEST(Registry, backslashesAroundAStoredKeyDoNotMatter)
{
    for (const char *header :
         {"[\\Software\\Orvanta]", "[Software\\Orvanta\\]", "[\\\\software\\ORVANTA\\\\]"}) {
        TempFolder folder;
        folder.write("registry", QByteArray(header) + "\nRootDir=/srv/orvanta\n[Software]\n");
        StoreOverride store(folder.file("registry"));
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKeyReadOnly("Software\\Orvanta")) << header;
        EXPECT_TRUE(reg.ValueExists("RootDir")) << header;
        EXPECT_EQ(reg.ReadString("RootDir"), "/srv/orvanta") << header;
        reg.CloseKey();
        ASSERT_TRUE(reg.OpenKeyReadOnly("Software")) << header;
        EXPECT_TRUE(reg.KeyExists("Orvanta")) << header << ": found below its parent";
    }
}
