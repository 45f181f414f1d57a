#include "rtl/Registry.h"
#include "QtPrinters.h"
#include "common/TestSupport.h"
#include "rtl/SysUtils.h"

#include <QDir>

#include <gtest/gtest.h>

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
    EXPECT_FALSE(QDir(folder.path() + "/orvanta").exists()) << "opening creates nothing";

    QDir(folder.path()).mkpath("orvanta/registry");
    try {
        reg.OpenKeyReadOnly("Software\\Orvanta");
        ADD_FAILURE() << "an unreadable store must raise";
    } catch (const ERegistryException &e) {
        EXPECT_TRUE(e.Message().contains("orvanta/registry")) << e.what();
    }
    if (savedXdg.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", savedXdg);
}
