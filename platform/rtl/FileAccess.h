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

// How a file is replaced.
struct AtomicWriteOptions
{
    // A link at the path is followed and its target replaced (a user may keep
    // the file elsewhere). When false the link itself is replaced, so nothing
    // is ever written through it: for files a cloned folder may carry planted
    // links in the place of (a backup).
    bool FollowLink = true;
    // The permissions of the new file; negative: those of the file replaced.
    int Mode = -1;
    // The permissions of a file created where none was: readable by its
    // owner only, unless the caller says otherwise (ProcessDefaultMode()).
    int NewMode = 0600;
};

// The permissions a program's new files get by default: 0666 less the umask.
int ProcessDefaultMode();

// Makes the folder Path and every missing folder above it, each readable by
// its owner only (as settings folders are made: a first start finds none).
// Returns an empty string when the folder exists afterwards, else the reason.
QString makeFolderPath(const QString &Path);

// Replaces a file atomically in two steps, so that a caller can put other
// things in order between them (a backup): write() puts the bytes into a
// temporary file in the same folder, checking every write and syncing it to
// the disk (a full disk may only be reported by the sync); commit() renames it
// over the target. Until commit() the target is untouched; a writer destroyed
// without a commit removes its temporary file. Each step returns an empty
// string on success, else the reason the system gave.
class AtomicFileWriter
{
public:
    explicit AtomicFileWriter(const QString &Path, const AtomicWriteOptions &Options = {});
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter &) = delete;
    AtomicFileWriter &operator=(const AtomicFileWriter &) = delete;

    QString write(const QByteArray &Bytes);
    QString commit();
    // The file replaced: the path, or the target of a link when links are followed.
    QString target() const { return m_target; }

private:
    QString m_target;
    AtomicWriteOptions m_options;
    QByteArray m_temp; // the temporary file's name while it exists
};

// Replaces Path with Bytes atomically (AtomicFileWriter): Path is either the
// old file or the new one, never a part. Returns an empty string on success,
// else the reason the system gave; Path is then left as it was.
QString writeFileAtomically(const QString &Path, const QByteArray &Bytes,
                            const AtomicWriteOptions &Options = {});

// The file a write to Path replaces: the target of a link, else Path itself.
QString writeTarget(const QString &Path);

// Makes Path hold what the regular file Source holds, replacing Path
// atomically and never writing through a link at Path. Where the file system
// allows, Path becomes a second name of Source's file (no data is written, so
// no full disk can fail it, and it has Source's permissions); elsewhere it is
// an atomic copy with Source's permissions. Returns an empty string on
// success, else the reason; Path is then left as it was.
QString keepCopyOf(const QString &Source, const QString &Path);

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
