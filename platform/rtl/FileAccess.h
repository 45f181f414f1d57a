#pragma once

#include <QByteArray>
#include <QString>

// Careful access to small files a user may have replaced by anything: a
// folder, a FIFO, a link to an endless device, a file of gigabytes.

// The largest settings file read: far above any real one, small enough that
// a runaway file cannot exhaust memory.
constexpr qint64 MaxSettingsFileSize = 16 * 1024 * 1024;

struct FileReadResult
{
    enum Status { Read, Missing, Refused } status = Missing;
    QByteArray bytes;
    QString reason; // why the file was refused, as a person reads it
};

// Reads Path when it is a regular file (a link to one counts) of at most
// MaxBytes. Never blocks on a FIFO and never reads a device: anything else
// is refused with the reason. A path that does not exist is Missing.
FileReadResult readRegularFile(const QString &Path, qint64 MaxBytes = MaxSettingsFileSize);

// Replaces Path with Bytes atomically: a temporary file in the same folder,
// written, synced and renamed over Path, so Path is either the old file or the
// new one, never a part. A link is followed and its target replaced. An
// existing file keeps its permissions; a new one is readable by its owner
// only. Returns an empty string on success, else the reason the system gave;
// the temporary file is then removed and Path left as it was.
QString writeFileAtomically(const QString &Path, const QByteArray &Bytes);

// The file a write to Path replaces: the target of a link, else Path itself.
QString writeTarget(const QString &Path);

// An exclusive advisory lock on a folder, held for the life of the object,
// so that read-modify-replace cycles of several processes on files in that
// folder follow one another. It leaves no file behind. Waits at most
// TimeoutMs for another holder; then busy() is true and reason() says why.
// A folder that cannot be opened (missing, or not readable) is not locked
// and not busy: the write that follows reports what is wrong with it.
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
