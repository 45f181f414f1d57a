// The package as the environment sees it: a module loaded with the real
// loader, its registrations, and what it writes when unloaded.
#include "designide/PackageLoader.h"
#include "designide/PropertyEditors.h"
#include "designide/Registrations.h"
#include "orvlib/OvCommon.h"
#include "orvlib/OvDatabase.h"
#include "rtl/Registry.h"
#include "rtl/SysUtils.h"

#include "common/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/stat.h>

namespace {

class ModuleTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TRegistry::setStorePathOverride(tmp.file("registry"));
        tmp.write("registry", "[Software\\Orvanta]\nRootDir=" + tmp.path().toUtf8() + "\n");
        registrations().clear();
    }
    void TearDown() override
    {
        unloadAllPackages();
        registrations().clear();
        TRegistry::setStorePathOverride(QString());
    }

    int registrationsOf(const QString &Package)
    {
        int n = 0;
        for (const TRegistration &r : registrations().entries())
            n += r.Package == Package ? 1 : 0;
        return n;
    }

    TempFolder tmp;
};

TEST_F(ModuleTest, LoadRegisterUnload)
{
    const QString name = loadPackage(QStringLiteral(OV_PACKAGE_MODULE));
    ASSERT_EQ(name, "DclOrv240");
    const TLoadedPackage *pkg = findPackage(name);
    ASSERT_NE(pkg, nullptr);
    EXPECT_EQ(pkg->Description, "Orvanta Components");
    EXPECT_TRUE(pkg->DesignTimeOnly);
    EXPECT_EQ(pkg->Requires, QStringList({"OrvLib240", "dcldb240", "rtl240"}));
    EXPECT_EQ(pkg->Units, QStringList({"OvAbout", "OvUpdSEd", "OvReg"})) << "initialization order";

    // Register ran exactly once: one palette call, all 38 registrations.
    EXPECT_EQ(registrationsOf(name), 38);
    EXPECT_EQ(registrations().palettePages(), QStringList{"Orvanta"});

    EXPECT_TRUE(unloadPackage(name));
    EXPECT_EQ(registrationsOf(name), 0) << "the package's registrations go with it";
    EXPECT_FALSE(unloadPackage(name)) << "unloading twice is harmless";
    EXPECT_FALSE(tmp.exists("orvlib.ini")) << "an unread recent list writes nothing";
}

TEST_F(ModuleTest, UnloadWritesTheRecentListOnce)
{
    // MaxCount 2 trims the stored list at the next load; the unload's save
    // then writes exactly the two entries in memory and keeps MaxCount.
    tmp.write("orvlib.ini",
              "[RecentDatabases]\nMaxCount=2\nItem00=a.db\nItem01=b.db\nItem02=c.db\n");
    const QString name = loadPackage(QStringLiteral(OV_PACKAGE_MODULE));

    // Open the drop-down of RemoteDatabase as the Object Inspector does, with
    // the editor the package registered.
    // The editor class holds code of the module: it must be gone before the unload.
    TOvDatabase database;
    QStringList shown;
    {
        const TPropertyEditorClass editorClass = registrations().propertyEditorFor(
            &TOvDatabase::staticMetaObject, "RemoteDatabase", TypeInfo("string"));
        ASSERT_EQ(editorClass.ClassName(), "TOvDatabaseProperty");
        auto editor = editorClass.Create(nullptr, {&database}, "RemoteDatabase");
        editor->GetValues([&](const QString &v) { shown << v; });
    }
    EXPECT_EQ(shown, QStringList({"a.db", "b.db"}));
    EXPECT_EQ(tmp.read("orvlib.ini"),
              "[RecentDatabases]\nMaxCount=2\nItem00=a.db\nItem01=b.db\nItem02=c.db\n")
        << "nothing is written before the unload";

    ASSERT_TRUE(unloadPackage(name));
    EXPECT_EQ(tmp.read("orvlib.ini"), "[RecentDatabases]\nItem00=a.db\nItem01=b.db\nMaxCount=2\n");
}

TEST_F(ModuleTest, VersionInformationIsReadFromTheFile)
{
    QString product = "unchanged", version = "unchanged";
    ASSERT_TRUE(ReadFileVersInfo(QStringLiteral(OV_PACKAGE_MODULE), product, version));
    EXPECT_EQ(product, "Orvanta Library");
    EXPECT_EQ(version, "6.5.3.0");
    const auto info = ReadFileVersionInfo(QStringLiteral(OV_PACKAGE_MODULE));
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->ProductVersion, "6.5.3.0");
    EXPECT_EQ(info->InternalName, "DCLORV240");
    EXPECT_EQ(info->Description, "Orvanta Components");
}

TEST_F(ModuleTest, LoadErrorsNameTheFileAndReason)
{
    try {
        loadPackage(tmp.file("missing.so"));
        FAIL() << "a missing module must not load";
    } catch (const Exception &e) {
        EXPECT_TRUE(e.Message().contains("missing.so")) << e.Message().toStdString();
    }
    tmp.write("garbage.so", "not a module");
    try {
        loadPackage(tmp.file("garbage.so"));
        FAIL() << "a file that is no module must not load";
    } catch (const Exception &e) {
        EXPECT_TRUE(e.Message().contains("garbage.so")) << e.Message().toStdString();
    }
}

} // namespace

namespace {

// A copy of the module cut short at Size bytes, as an interrupted copy or a
// full disk leaves it.
QString truncatedCopy(const TempFolder &Tmp, qint64 Size)
{
    const QString copy = Tmp.file(QStringLiteral("cut%1.so").arg(Size));
    QFile::remove(copy);
    if (!QFile::copy(QStringLiteral(OV_PACKAGE_MODULE), copy) || !QFile::resize(copy, Size))
        return {};
    return copy;
}

TEST_F(ModuleTest, ATruncatedModuleIsRefusedNotMapped)
{
    const qint64 size = QFileInfo(QStringLiteral(OV_PACKAGE_MODULE)).size();
    // Cut inside the loaded segments, inside the section headers at the end,
    // just before the end, and inside the ELF header itself.
    for (const qint64 cut : {size / 2, size / 8, size - 1, qint64(4096), qint64(40)}) {
        const QString copy = truncatedCopy(tmp, cut);
        ASSERT_FALSE(copy.isEmpty());
        try {
            loadPackage(copy);
            ADD_FAILURE() << "a module cut at " << cut << " bytes was loaded";
        } catch (const Exception &e) {
            EXPECT_TRUE(e.Message().contains(copy)) << e.Message().toStdString();
            EXPECT_TRUE(e.Message().contains("truncated") || e.Message().contains("not an ELF"))
                << cut << ": " << e.Message().toStdString();
        }
        EXPECT_TRUE(loadedPackages().isEmpty());
    }
    ASSERT_EQ(mkfifo(QFile::encodeName(tmp.file("fifo.so")).constData(), 0600), 0);
    EXPECT_THROW(loadPackage(tmp.file("fifo.so")), Exception) << "a FIFO, refused at once";

    // The whole module still loads, from the same folder.
    const QString whole = truncatedCopy(tmp, size);
    EXPECT_EQ(loadPackage(whole), "DclOrv240");
}

TEST_F(ModuleTest, AnUnreadableRegistryStoreLoadsWithANotice)
{
    QFile::remove(tmp.file("registry"));
    QDir(tmp.path()).mkdir("registry");
    const QString name = loadPackage(QStringLiteral(OV_PACKAGE_MODULE));
    const TLoadedPackage *pkg = findPackage(name);
    ASSERT_NE(pkg, nullptr) << "the package loads as if the key were missing";
    using TextProc = const char *(*)();
    auto notice = reinterpret_cast<TextProc>(dlsym(pkg->Handle, "OvDesignSettingsNotice"));
    ASSERT_NE(notice, nullptr);
    ASSERT_NE(notice(), nullptr);
    const QString text = QString::fromUtf8(notice());
    EXPECT_TRUE(text.contains(tmp.file("registry")) && text.contains("folder"))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QDir::current().absoluteFilePath("orvlib.ini")))
        << text.toStdString();
    EXPECT_TRUE(unloadPackage(name));
}

} // namespace
