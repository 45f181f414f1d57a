#include "RelativePaths.h"

#include "orvlib/OvDatabase.h"

#include <QDir>
#include <QFileInfo>

namespace {

// The folder as the file system finds it (links followed) when it exists,
// else its clean absolute name.
QString physicalFolder(const QString &Folder)
{
    const QString canonical = QDir(Folder).canonicalPath();
    return canonical.isEmpty() ? QDir::cleanPath(QDir(Folder).absolutePath()) : canonical;
}

// The first folder below the root: "home" of "/home/ann/forms".
QString topFolder(const QString &AbsolutePath)
{
    return AbsolutePath.section(QLatin1Char('/'), 1, 1);
}

} // namespace

QString rebasedFilePath(const QString &Path, const QString &OldFolder, const QString &NewFolder)
{
    // A leading ':' is no file to Qt (its resources), and ":memory:" none to SQLite.
    if (Path.isEmpty() || Path.startsWith(QLatin1Char(':')) || !QDir::isRelativePath(Path))
        return {};
    // Not cleaned: "a/../b.db" climbs from where a linked "a" leads.
    const QFileInfo file(QDir(OldFolder).filePath(Path));
    if (!file.exists() || file.isDir())
        return {};
    // The file itself may be a link the form means to name: only its folder
    // is followed.
    const QString target = physicalFolder(file.path()) + QLatin1Char('/') + file.fileName();
    const QString from = physicalFolder(NewFolder);
    if (topFolder(target) != topFolder(from) || topFolder(from).isEmpty())
        return target;
    return QDir(from).relativeFilePath(target);
}

QList<TStoredFilePath> storedFilePaths(QObject *Root, const QString &OldFolder,
                                       const QString &NewFolder)
{
    QList<TStoredFilePath> found;
    auto add = [&](QObject *Component, const char *Property, const QString &Stored,
                   const QString &Used) {
        const QString rebased = rebasedFilePath(Used, OldFolder, NewFolder);
        if (!rebased.isEmpty() && rebased != Used)
            found.append({Component, QLatin1String(Property), Stored, rebased});
    };
    for (auto *db : Root->findChildren<TOvDatabase *>()) {
        // The SQLite driver opens the trimmed name; other servers' remote
        // databases are no files.
        if (db->ServerType() == TOvServerType::stSQLite)
            add(db, "RemoteDatabase", db->RemoteDatabase(), db->RemoteDatabase().trimmed());
        add(db, "ParamsFileName", db->ParamsFileName(), db->ParamsFileName());
    }
    return found;
}
