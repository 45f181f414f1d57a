// ovdesigner: the host that loads design-time packages. For now it loads the
// package module through the loader and prints what the package registered.
#include "designide/PackageLoader.h"
#include "designide/Registrations.h"
#include "rtl/SysUtils.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTextStream>

#include <dlfcn.h>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ovdesigner"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Orvanta form designer"));
    parser.addHelpOption();
    QCommandLineOption packageOption(QStringLiteral("package"),
                                     QStringLiteral("Design-time package module to load."),
                                     QStringLiteral("file"));
    parser.addOption(packageOption);
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList packages = parser.values(packageOption);
    if (packages.isEmpty()) {
        err << "ovdesigner: no package given (--package FILE)\n";
        return 2;
    }
    try {
        for (const QString &file : packages) {
            const QString name = loadPackage(file);
            const TLoadedPackage *pkg = findPackage(name);
            out << "Package " << pkg->Name << " (" << pkg->Description << ") from " << pkg->FileName
                << "\n  requires: " << pkg->Requires.join(QStringLiteral(", "))
                << "\n  units: " << pkg->Units.join(QStringLiteral(", ")) << "\n";
            using SettingsFileProc = const char *(*)();
            if (auto settingsFile = reinterpret_cast<SettingsFileProc>(
                    dlsym(pkg->Handle, "OvDesignSettingsFileName"))) {
                if (const char *ini = settingsFile())
                    out << "  design settings: " << QString::fromUtf8(ini) << "\n";
            }
            if (auto settingsNotice = reinterpret_cast<SettingsFileProc>(
                    dlsym(pkg->Handle, "OvDesignSettingsNotice"))) {
                if (const char *notice = settingsNotice())
                    err << "ovdesigner: " << QString::fromUtf8(notice) << "\n";
            }
        }
        const Registrations &regs = registrations();
        for (const QString &page : regs.palettePages()) {
            out << "Palette page \"" << page << "\":";
            for (TComponentClass c : regs.paletteClasses(page))
                out << ' ' << c->className();
            out << "\n";
        }
        out << "Registrations in order:\n";
        int n = 0;
        for (const QString &line : regs.describeAll())
            out << QString::asprintf("  %2d. ", ++n) << line << "\n";
        out.flush();
        unloadAllPackages();
    } catch (const Exception &e) {
        err << "ovdesigner: " << e.Message() << "\n";
        return 1;
    }
    return 0;
}
