#include "common/TestSupport.h"

#include "designide/ComponentEditors.h"
#include "designide/DesignErrors.h"
#include "designide/PackageLoader.h"
#include "designide/Registrations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class PackageLoaderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        registrations().clear();
        qputenv("OV_TEST_PACKAGE_LOG", logFile().toLocal8Bit());
    }
    void TearDown() override
    {
        unloadAllPackages();
        registrations().clear();
        qunsetenv("OV_TEST_PACKAGE_LOG");
    }

    QString logFile() const { return folder.file("units.log"); }
    QStringList logLines() const
    {
        return QString::fromUtf8(folder.read("units.log")).split('\n', Qt::SkipEmptyParts);
    }
    // The message of the EPackageError that Load raises; empty when none.
    template<class F>
    static QString errorOf(F Load)
    {
        try {
            Load();
        } catch (const EPackageError &e) {
            return e.Message();
        }
        return {};
    }

    TempFolder folder;
};

TEST_F(PackageLoaderTest, loadRegisterUnload)
{
    // A registration of the host: it must survive the unload.
    RegisterComponentEditor(&QObject::staticMetaObject, componentEditorClass<TComponentEditor>());
    const QString name = loadPackage(OVTEST_PKG);

    EXPECT_EQ(name, "OvTestPkg");
    EXPECT_EQ(logLines(), QStringList({"init UnitA", "init UnitB", "init UnitC", "Register"}))
        << "units initialized in order, then Register once";
    const TLoadedPackage *pkg = findPackage("ovtestpkg");
    ASSERT_NE(pkg, nullptr);
    EXPECT_EQ(pkg->Description, "Loader test package");
    EXPECT_TRUE(pkg->DesignTimeOnly);
    EXPECT_EQ(pkg->Requires, QStringList({"rtl240", "dcldb240"}));
    EXPECT_EQ(pkg->Units, QStringList({"UnitA", "UnitB", "UnitC"}));
    EXPECT_TRUE(QFileInfo(pkg->FileName).isAbsolute());

    ASSERT_EQ(registrations().entries().size(), 3u);
    EXPECT_EQ(registrations().entries()[1].Package, "OvTestPkg") << "tagged with the package";
    EXPECT_EQ(registrations().entries()[2].Package, "OvTestPkg");
    EXPECT_TRUE(registrations().currentPackage().isEmpty()) << "tag reset after Register";
    EXPECT_EQ(registrations().paletteClasses("LoaderTest"),
              QList<TComponentClass>({&QTimer::staticMetaObject}));

    EXPECT_NE(errorOf([] { loadPackage(OVTEST_PKG); }).indexOf("already loaded"), -1)
        << "a second load of the same package is refused";
    EXPECT_EQ(loadedPackages().size(), 1) << "and changes nothing";

    EXPECT_TRUE(unloadPackage(name));
    EXPECT_EQ(logLines().mid(4), QStringList({"fini UnitB", "fini UnitA"}))
        << "finalizations in reverse order; UnitC has none";
    EXPECT_EQ(registrations().entries().size(), 1u) << "the package's registrations removed";
    EXPECT_TRUE(registrations().palettePages().isEmpty());
    EXPECT_TRUE(loadedPackages().isEmpty());

    EXPECT_FALSE(unloadPackage(name)) << "unloading twice is harmless";
    EXPECT_EQ(logLines().size(), 6) << "and runs nothing";

    EXPECT_EQ(loadPackage(OVTEST_PKG), name) << "the package loads again after an unload";
    EXPECT_EQ(logLines().size(), 10);
}

TEST_F(PackageLoaderTest, modulesThatCannotLoad)
{
    const QString missing = folder.file("NoSuchPackage.so");
    QString message = errorOf([&] { loadPackage(missing); });
    EXPECT_TRUE(message.contains(missing)) << "names the file: " << message.toStdString();
    EXPECT_TRUE(message.contains("No such file")) << "gives dlerror's reason";

    folder.write("garbage.so", "not an ELF file");
    message = errorOf([&] { loadPackage(folder.file("garbage.so")); });
    EXPECT_TRUE(message.contains("garbage.so")) << message.toStdString();

    message = errorOf([] { loadPackage(OVTEST_PLAIN); });
    EXPECT_TRUE(message.contains("OvTestPlain")) << message.toStdString();
    EXPECT_TRUE(message.contains("entry point OvGetPackageInfo not found"));

    message = errorOf([] { loadPackage(OVTEST_PKG_OLD_ABI); });
    EXPECT_TRUE(message.contains("ABI version 0")) << message.toStdString();
    EXPECT_TRUE(logLines().isEmpty()) << "no unit of a refused module ran";

    // A whole module for another architecture: said so, not "No such file".
    QByteArray foreign;
    {
        QFile plain(OVTEST_PLAIN);
        ASSERT_TRUE(plain.open(QIODevice::ReadOnly));
        foreign = plain.readAll();
    }
    const quint16 aarch64 = 183, x8664 = 62;
    const quint16 other = sizeof(void *) == 8 && foreign[18] == char(x8664) ? aarch64 : x8664;
    foreign[18] = char(other & 0xFF); // e_machine, little-endian
    foreign[19] = char(other >> 8);
    folder.write("Foreign.so", foreign);
    message = errorOf([&] { loadPackage(folder.file("Foreign.so")); });
    EXPECT_TRUE(message.contains("built for another architecture")) << message.toStdString();
    EXPECT_FALSE(message.contains("No such file")) << message.toStdString();

    const QString relative = QDir::current().relativeFilePath(OVTEST_PLAIN);
    message = errorOf([&] { loadPackage(relative); });
    EXPECT_TRUE(message.contains(QFileInfo(relative).absoluteFilePath()))
        << "a relative name is opened as an absolute path";

    EXPECT_TRUE(loadedPackages().isEmpty());
    EXPECT_TRUE(registrations().entries().empty());
}

TEST_F(PackageLoaderTest, failingInitializationOrRegisterUndoesTheLoad)
{
    QString message = errorOf([] { loadPackage(OVTEST_PKG_INIT_FAILS); });
    EXPECT_TRUE(message.contains("OvTestPkgInitFails")) << "names the package";
    EXPECT_TRUE(message.contains("UnitB")) << "and the unit";
    EXPECT_TRUE(message.contains("UnitB cannot start"))
        << "and the cause: " << message.toStdString();
    EXPECT_EQ(logLines(), QStringList({"init UnitA", "init UnitB", "fini UnitA"}))
        << "only the units initialized before are finalized; no Register";
    EXPECT_EQ(findPackage("OvTestPkgInitFails"), nullptr);

    QFile::remove(logFile());
    message = errorOf([] { loadPackage(OVTEST_PKG_REGISTER_FAILS); });
    EXPECT_TRUE(message.contains("Register gave up")) << message.toStdString();
    EXPECT_EQ(logLines(), QStringList({"init UnitA", "init UnitB", "init UnitC", "Register",
                                       "fini UnitB", "fini UnitA"}))
        << "every unit finalized after a failed Register";
    EXPECT_TRUE(registrations().entries().empty()) << "its partial registrations removed";
    EXPECT_TRUE(registrations().currentPackage().isEmpty());
    EXPECT_TRUE(loadedPackages().isEmpty());
}

// A finalization that raises: the other units still finalize, the module is
// closed, and the error names the package and the cause, whose text was
// taken before the module went.
TEST_F(PackageLoaderTest, failingFinalizationIsReportedAfterTheUnload)
{
    loadPackage(OVTEST_PKG_FINI_FAILS);
    const QString message = errorOf([] { unloadPackage("OvTestPkgFiniFails"); });
    EXPECT_EQ(message, "Package OvTestPkgFiniFails: finalization failed: UnitB cannot stop");
    EXPECT_EQ(logLines().mid(4), QStringList({"fini UnitB", "fini UnitA"}));
    EXPECT_TRUE(loadedPackages().isEmpty());
}

} // namespace

namespace {

// Notifiers hear of a load once the package's registrations are in the
// tables, and of an unload once they are gone (the module still loaded); a
// failed load tells nothing, and a removed notifier hears nothing more.
TEST_F(PackageLoaderTest, notifiersHearLoadsAndUnloads)
{
    QStringList heard;
    const int id = addPackageNotifier([&heard](const QString &Name, bool Loaded) {
        heard << QStringLiteral("%1 %2 (%3 registrations)")
                     .arg(Loaded ? "loaded" : "unloaded", Name)
                     .arg(registrations().entries().size());
    });
    // A notifier that raises does not stop the loader or the others.
    const int failing
        = addPackageNotifier([](const QString &, bool) { throw std::runtime_error("view"); });

    loadPackage(OVTEST_PKG);
    const auto registered = registrations().entries().size();
    ASSERT_GT(registered, 0u);
    EXPECT_FALSE(errorOf([] { loadPackage(OVTEST_PKG_REGISTER_FAILS); }).isEmpty());
    EXPECT_TRUE(unloadPackage("OvTestPkg"));
    removePackageNotifier(failing);
    removePackageNotifier(id);
    loadPackage(OVTEST_PKG);

    EXPECT_EQ(heard,
              (QStringList{QStringLiteral("loaded OvTestPkg (%1 registrations)").arg(registered),
                           "unloaded OvTestPkg (0 registrations)"}));
}

} // namespace
