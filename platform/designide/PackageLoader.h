#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// A package module loaded by the environment.
struct TLoadedPackage
{
    QString FileName; // absolute path of the module file
    QString Name;
    QString Description;
    bool DesignTimeOnly = false;
    QStringList Requires;
    QStringList Units; // in initialization order
    void *Handle = nullptr;
};

// Loads the package module FileName (made absolute): opens it, reads its
// package information, runs its unit initializations in order and calls its
// Register once, with registrations tagged with the package name. Returns the
// package's name.
//
// Raises EPackageError naming the file and the reason when the module is not
// a whole ELF shared object (a truncated copy is refused before the dynamic
// loader sees it), cannot be opened, lacks OvGetPackageInfo or Register, was built for another ABI
// version, or a package of the same name is loaded already. When a unit
// initialization or Register raises, the units initialized so far are
// finalized in reverse order, the package's registrations are removed and the
// module is closed before the error (naming the package) is raised.
QString loadPackage(const QString &FileName);

// Unloads the package named Name: removes its registrations, runs its unit
// finalizations in reverse order and closes the module. Returns false when no
// such package is loaded, so unloading twice is harmless. A finalization that
// raises does not stop the others; the first error is raised afterwards as an
// EPackageError, with the module closed.
bool unloadPackage(const QString &Name);

// Unloads every package, the last loaded first.
void unloadAllPackages();

// The loaded packages, in load order.
QList<TLoadedPackage> loadedPackages();
// The loaded package named Name (ignoring case), or null. Valid until the
// next load or unload.
const TLoadedPackage *findPackage(const QString &Name);

// Told of every package that comes or goes: after a load, once its
// registrations are in the tables; at an unload, once its registrations are
// gone but while its module (its glyph resources, its classes) is still
// there, so a view can let go of what it showed. Loaded says which.
using TPackageNotifier = std::function<void(const QString &Name, bool Loaded)>;
// Adds a notifier; the result identifies it for removePackageNotifier.
int addPackageNotifier(TPackageNotifier Notifier);
void removePackageNotifier(int Id);
