#pragma once

#include <QByteArray>
#include <QString>

// An exclusive advisory lock on a folder, held for the life of the object,
// so that read-modify-replace cycles of several processes on files in that
// folder follow one another. It leaves no file behind. Waits at most
// TimeoutMs for another holder; then busy() is true and reason() says why.
// A folder that cannot be opened (missing, or not readable) is not locked
// and not busy: the write that follows reports what is wrong with it.
// A thread that holds the lock of a folder may take it again (a save inside
// a read-modify-write cycle): the inner lock shares the outer one.
class FolderLock
{
public:
    explicit FolderLock(const QString &Folder, int TimeoutMs = 10000);
    ~FolderLock();
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    bool locked() const { return m_fd >= 0; }
    bool busy() const { return m_busy; }
    QString reason() const { return m_reason; }

private:
    int m_fd = -1;
    bool m_busy = false;
    QString m_reason;
};

// An exclusive lock on the writes to one file, held for the life of the
// object, so that the check-and-replace steps of several processes saving
// that file follow one another while files beside it are saved freely. The
// file itself is replaced by rename, so the lock is taken on a companion,
// .NAME.lock beside it, which the holder removes when it lets go (one a
// killed holder left is taken over by the next). It needs no listing of the
// folder, so it also works in a folder that can be written but not read.
// Waits at most TimeoutMs for another holder; then busy() is true. When the
// companion cannot be made (a folder that cannot be written) or something
// else is in its place, nothing is locked; either way reason() says why,
// naming the folder or the companion, and nothing should be written.
class FileWriteLock
{
public:
    explicit FileWriteLock(const QString &Path, int TimeoutMs = 10000);
    ~FileWriteLock();
    FileWriteLock(const FileWriteLock &) = delete;
    FileWriteLock &operator=(const FileWriteLock &) = delete;

    bool locked() const { return m_fd >= 0; }
    bool busy() const { return m_busy; }
    QString reason() const { return m_reason; }

private:
    QByteArray m_name; // the companion's
    int m_fd = -1;
    bool m_busy = false;
    QString m_reason;
};
