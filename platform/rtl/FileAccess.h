#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

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
    // A file replaced gets the new file's owner and group back where the
    // system allows (root saving another user's file; a group the user is
    // in). Where it does not, or where the file has a second name (a hard
    // link), a new file would take the file from its owner or split its
    // names: with KeepIdentity, commit() then writes into the file in place
    // (space reserved first, so a full disk still fails before any change),
    // and inPlace() says so after write(), for the caller to keep a copy
    // first. Without it the file is replaced all the same: for files where
    // a planted name must never be written through (a backup).
    bool KeepIdentity = false;
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
// without a commit removes its temporary file, named .NAME.PID.XXXXXX after
// the target and the writing process (removeLeftoverTemporaries). Each step
// returns an empty string on success, else the reason the system gave; a
// folder where no file can be made is named in it.
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
    // After write(): commit() will write into the target in place (KeepIdentity).
    bool inPlace() const { return m_inPlace; }

private:
    QString commitInPlace();

    QString m_target;
    AtomicWriteOptions m_options;
    QByteArray m_temp;  // the temporary file's name while it exists
    QByteArray m_bytes; // what write() was given, for a write in place
    bool m_inPlace = false;
    dev_t m_device = 0; // the target written in place, as write() found it
    ino_t m_inode = 0;
};

// Removes what writes of Path (AtomicFileWriter, keepCopyOf) left behind when
// their process was killed in the middle: hidden temporary files named after
// Path whose process no longer runs. Call it only while holding Path's
// FileWriteLock, so that no other host's live writer loses its file. A folder
// that cannot be listed keeps its leftovers.
void removeLeftoverTemporaries(const QString &Path);

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
// no full disk can fail it, and it has Source's permissions); elsewhere, or
// when AllowLink is false (Source is about to be written in place), it is an
// atomic copy with Source's permissions and, where the system allows, its
// owner. Returns an empty string on success, else the reason; Path is then
// left as it was.
QString keepCopyOf(const QString &Source, const QString &Path, bool AllowLink = true);
