#pragma once

#include <QList>
#include <QString>

class QObject;

// File names a module stores relative to the folder it is used from (the
// working folder, which opening a form makes the form's folder), and how
// they read from another folder when the form is saved elsewhere.

// Path, a relative file name as read from OldFolder, as named from
// NewFolder: a relative name when the two folders share a folder below the
// file system's root, else the absolute name (a climb over the root says
// nothing the absolute name does not, and breaks when either side moves).
// Empty when Path is no relative file name (absolute, empty, ":memory:")
// or names no existing file from OldFolder: such a name is left alone.
// ".." is the file system's: it climbs from where a symbolic link leads, as
// the database library's open does.
QString rebasedFilePath(const QString &Path, const QString &OldFolder, const QString &NewFolder);

// A relative file name one component stores, and the same file named from
// another folder.
struct TStoredFilePath
{
    QObject *Component = nullptr;
    QString Property; // "RemoteDatabase", "ParamsFileName"
    QString Stored;
    QString Rebased;
};

// The database file names of Root's components (a SQLite database's
// RemoteDatabase, any database's ParamsFileName) that are relative, name an
// existing file from OldFolder and read differently from NewFolder.
QList<TStoredFilePath> storedFilePaths(QObject *Root, const QString &OldFolder,
                                       const QString &NewFolder);
