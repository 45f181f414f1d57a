#include "FileAccess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemReason(int Error)
{
    return QString::fromLocal8Bit(std::strerror(Error));
}

QString kindOf(mode_t Mode)
{
    if (S_ISDIR(Mode))
        return QStringLiteral("it is a folder");
    if (S_ISFIFO(Mode))
        return QStringLiteral("it is a FIFO, not a regular file");
    if (S_ISSOCK(Mode))
        return QStringLiteral("it is a socket, not a regular file");
    if (S_ISCHR(Mode) || S_ISBLK(Mode))
        return QStringLiteral("it is a device, not a regular file");
    return QStringLiteral("it is not a regular file");
}

QString tooLarge(qint64 MaxBytes)
{
    return QStringLiteral("it is larger than %1 bytes, more than a settings file holds")
        .arg(MaxBytes);
}

} // namespace

FileReadResult readRegularFile(const QString &Path, qint64 MaxBytes)
{
    FileReadResult result;
    const QByteArray name = QFile::encodeName(Path);
    // Look before opening: opening a device may already do something.
    struct stat st
    {};
    if (::stat(name.constData(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) // a dangling link is missing too
            return result;
        result.status = FileReadResult::Refused;
        result.reason = systemReason(errno);
        return result;
    }
    result.status = FileReadResult::Refused;
    if (!S_ISREG(st.st_mode)) {
        result.reason = kindOf(st.st_mode);
        return result;
    }
    // O_NONBLOCK: should a FIFO have taken the file's place since, opening it
    // does not wait for a writer; fstat then refuses it.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        result.status = errno == ENOENT ? FileReadResult::Missing : FileReadResult::Refused;
        result.reason = systemReason(errno);
        return result;
    }
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        result.reason = kindOf(st.st_mode);
        return result;
    }
    if (st.st_size > MaxBytes) {
        result.reason = tooLarge(MaxBytes);
        return result;
    }
    // The size may be wrong (a file still growing, a /proc file): read to the
    // end, but never past the limit.
    QByteArray bytes;
    bytes.resize(qMin<qint64>(st.st_size, MaxBytes) + 1);
    qint64 got = 0;
    for (;;) {
        if (got == bytes.size()) {
            if (got > MaxBytes) {
                result.reason = tooLarge(MaxBytes);
                return result;
            }
            bytes.resize(qMin<qint64>(got * 2 + 4096, MaxBytes + 1));
        }
        const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            result.reason = systemReason(errno);
            return result;
        }
        if (n == 0)
            break;
        got += n;
    }
    if (got > MaxBytes) {
        result.reason = tooLarge(MaxBytes);
        return result;
    }
    bytes.truncate(got);
    result.status = FileReadResult::Read;
    result.bytes = std::move(bytes);
    return result;
}

QString writeTarget(const QString &Path)
{
    const QFileInfo info(Path);
    if (!info.isSymLink())
        return Path;
    // Through every link of a chain; a dangling link names the file it would create.
    const QString target = info.exists() ? info.canonicalFilePath() : info.symLinkTarget();
    return target.isEmpty() ? Path : target;
}

namespace {

// What a write to Name replaces: whether a regular file is there (a link
// left in place counts as none: the rename replaces it, nothing is written
// through it), with its status, and the permissions the new file gets.
// Returns the reason when something else is in the way.
QString existingFile(const QByteArray &Name, int Wanted, int NewMode, struct stat *Found,
                     mode_t *Mode)
{
    *Mode = mode_t(NewMode) & 07777;
    if (::lstat(Name.constData(), Found) == 0) {
        if (S_ISLNK(Found->st_mode)) {
            *Found = {};
        } else if (!S_ISREG(Found->st_mode)) {
            return kindOf(Found->st_mode);
        } else {
            *Mode = Found->st_mode & 07777;
        }
    } else if (errno != ENOENT) {
        return systemReason(errno);
    } else {
        *Found = {};
    }
    if (Wanted >= 0)
        *Mode = mode_t(Wanted) & 07777;
    return {};
}

// Why no file can be made in Folder: the folder named when it is the folder's fault.
QString cannotCreateIn(const QString &Folder, int Error)
{
    if (Error == EACCES || Error == EPERM || Error == EROFS)
        return QStringLiteral("the folder %1 cannot be written: %2")
            .arg(QDir::toNativeSeparators(Folder), systemReason(Error));
    return systemReason(Error);
}

// The hidden name of a temporary file for Path: .NAME.PID. and what follows.
QString temporaryPrefix(const QString &Path)
{
    const QFileInfo info(Path);
    return info.absolutePath() + QStringLiteral("/.") + info.fileName()
           + QStringLiteral(".%1.").arg(::getpid());
}

// Writes all of Bytes to Fd from Offset on; 0 or the errno.
int writeAll(int Fd, const QByteArray &Bytes, off_t Offset = -1)
{
    qint64 done = 0;
    while (done < Bytes.size()) {
        const ssize_t n = Offset < 0
                              ? ::write(Fd, Bytes.constData() + done, size_t(Bytes.size() - done))
                              : ::pwrite(Fd, Bytes.constData() + done, size_t(Bytes.size() - done),
                                         Offset + done);
        if (n < 0 && errno != EINTR)
            return errno;
        if (n == 0)
            return EIO; // no progress and no reason: never loop for ever
        if (n > 0)
            done += n;
    }
    return 0;
}

// Makes a rename in Folder last: without it a crash right after the rename
// may bring back the old name on some file systems. The file itself is
// already on the disk, so a failure here loses nothing and is not reported.
void syncFolder(const QString &Folder)
{
    const int fd
        = ::open(QFile::encodeName(Folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

int ProcessDefaultMode()
{
    // umask can only be read by setting it; it is set back at once.
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return int(0666 & ~mask);
}

QString makeFolderPath(const QString &Path)
{
    const QString folder = QDir::cleanPath(QDir(Path).absolutePath());
    struct stat st
    {};
    if (::stat(QFile::encodeName(folder).constData(), &st) == 0)
        return S_ISDIR(st.st_mode) ? QString() : folder + QStringLiteral(": it is not a folder");
    const QString parent = QFileInfo(folder).absolutePath();
    if (parent != folder) {
        const QString problem = makeFolderPath(parent);
        if (!problem.isEmpty())
            return problem;
    }
    // Another process may make it meanwhile: that is as good.
    if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST)
        return folder + QStringLiteral(": ") + systemReason(errno);
    return {};
}

AtomicFileWriter::AtomicFileWriter(const QString &Path, const AtomicWriteOptions &Options)
    : m_target(Options.FollowLink ? writeTarget(Path) : Path)
    , m_options(Options)
{}

AtomicFileWriter::~AtomicFileWriter()
{
    if (!m_temp.isEmpty())
        ::unlink(m_temp.constData());
}

QString AtomicFileWriter::write(const QByteArray &Bytes)
{
    if (!m_temp.isEmpty()) {
        ::unlink(m_temp.constData());
        m_temp.clear();
    }
    m_inPlace = false;
    mode_t mode = 0;
    struct stat old
    {};
    const QString problem
        = existingFile(QFile::encodeName(m_target), m_options.Mode, m_options.NewMode, &old, &mode);
    if (!problem.isEmpty())
        return problem;
    QByteArray temp = QFile::encodeName(temporaryPrefix(m_target) + QStringLiteral("XXXXXX"));
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC); // created 0600
    if (fd < 0)
        return cannotCreateIn(QFileInfo(m_target).absolutePath(), errno);
    m_temp = temp;
    int error = writeAll(fd, Bytes);
    // The owner first: a change of owner clears the set-id bits of the mode.
    const bool replacing = S_ISREG(old.st_mode);
    bool ownerKept = true;
    if (!error && replacing && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
        struct stat made
        {};
        ::fchown(fd, old.st_uid, old.st_gid); // refused unless root or a group of ours
        ownerKept
            = ::fstat(fd, &made) == 0 && made.st_uid == old.st_uid && made.st_gid == old.st_gid;
    }
    if (!error && ::fchmod(fd, mode) != 0)
        error = errno;
    // Delayed allocation reports a full disk only here.
    if (!error && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && !error)
        error = errno;
    if (error) {
        ::unlink(m_temp.constData());
        m_temp.clear();
        return systemReason(error);
    }
    m_inPlace = m_options.KeepIdentity && replacing && (old.st_nlink > 1 || !ownerKept);
    // Found out now, before the caller keeps a copy: a file written in place
    // must be writable itself, not only its folder.
    if (m_inPlace
        && ::faccessat(AT_FDCWD, QFile::encodeName(m_target).constData(), W_OK, AT_EACCESS) != 0) {
        error = errno;
        ::unlink(m_temp.constData());
        m_temp.clear();
        return systemReason(error);
    }
    m_device = old.st_dev;
    m_inode = old.st_ino;
    m_bytes = Bytes;
    return {};
}

QString AtomicFileWriter::commit()
{
    if (m_temp.isEmpty())
        return QStringLiteral("nothing was written");
    if (m_inPlace)
        return commitInPlace();
    if (::rename(m_temp.constData(), QFile::encodeName(m_target).constData()) != 0) {
        const int error = errno;
        ::unlink(m_temp.constData());
        m_temp.clear();
        return systemReason(error);
    }
    m_temp.clear();
    syncFolder(QFileInfo(m_target).absolutePath());
    return {};
}

QString AtomicFileWriter::commitInPlace()
{
    // The temporary file proved the bytes fit; it is not needed any more.
    ::unlink(m_temp.constData());
    m_temp.clear();
    const int fd = ::open(QFile::encodeName(m_target).constData(),
                          O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK
                              | (m_options.FollowLink ? 0 : O_NOFOLLOW));
    if (fd < 0)
        return systemReason(errno);
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st
    {};
    if (::fstat(fd, &st) != 0 || st.st_dev != m_device || st.st_ino != m_inode)
        return QStringLiteral("it was replaced by another file while being saved");
    // Reserved before the first byte changes: a full disk fails here, with
    // the file as it was. File systems that cannot reserve are written as is.
    if (m_bytes.size() > st.st_size && ::fallocate(fd, 0, 0, m_bytes.size()) != 0
        && errno != EOPNOTSUPP && errno != ENOSYS)
        return systemReason(errno);
    int error = writeAll(fd, m_bytes, 0);
    if (!error && ::ftruncate(fd, m_bytes.size()) != 0)
        error = errno;
    if (!error && ::fsync(fd) != 0)
        error = errno;
    return error ? systemReason(error) : QString();
}

QString writeFileAtomically(const QString &Path, const QByteArray &Bytes,
                            const AtomicWriteOptions &Options)
{
    AtomicFileWriter writer(Path, Options);
    const QString error = writer.write(Bytes);
    return error.isEmpty() ? writer.commit() : error;
}

QString keepCopyOf(const QString &Source, const QString &Path, bool AllowLink)
{
    const QByteArray source = QFile::encodeName(Source);
    const QByteArray path = QFile::encodeName(Path);
    struct stat st
    {};
    if (::stat(source.constData(), &st) != 0)
        return systemReason(errno);
    if (!S_ISREG(st.st_mode))
        return kindOf(st.st_mode);
    struct stat at
    {};
    if (::lstat(path.constData(), &at) == 0) {
        if (!S_ISREG(at.st_mode) && !S_ISLNK(at.st_mode))
            return kindOf(at.st_mode);
        // Already a name of Source's file: nothing to do, or (no link wanted)
        // the name is given a copy below.
        if (AllowLink && at.st_dev == st.st_dev && at.st_ino == st.st_ino)
            return {};
    }
    // A second name under a temporary name, then renamed over Path: the
    // rename replaces a link at Path instead of following it.
    const QFileInfo info(Path);
    const QString prefix = temporaryPrefix(Path);
    for (int attempt = 0; AllowLink && attempt < 100; ++attempt) {
        const QByteArray temp = QFile::encodeName(prefix + QString::number(attempt));
        if (::link(source.constData(), temp.constData()) == 0) {
            if (::rename(temp.constData(), path.constData()) != 0) {
                const int error = errno;
                ::unlink(temp.constData());
                return systemReason(error);
            }
            syncFolder(info.absolutePath());
            return {};
        }
        if (errno != EEXIST)
            break; // no hard links here (another file system, a restricted one): copy
    }
    const FileReadResult old = readRegularFile(Source, std::numeric_limits<qint64>::max() / 2);
    if (old.status != FileReadResult::Read)
        return old.reason.isEmpty() ? systemReason(ENOENT) : old.reason;
    AtomicWriteOptions options;
    options.FollowLink = false;
    options.Mode = int(st.st_mode & 07777);
    const QString error = writeFileAtomically(Path, old.bytes, options);
    if (error.isEmpty() && (st.st_uid != ::geteuid() || st.st_gid != ::getegid())
        && ::lchown(path.constData(), st.st_uid, st.st_gid) == 0)
        ::chmod(path.constData(), st.st_mode & 07777); // the owner's change cleared set-id bits
    return error;
}

void removeLeftoverTemporaries(const QString &Path)
{
    const QFileInfo info(Path);
    const QString hidden = QStringLiteral(".") + info.fileName() + QLatin1Char('.');
    const QDir folder(info.absolutePath());
    const QStringList names
        = folder.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        if (!name.startsWith(hidden))
            continue;
        // PID.REST: REST is mkostemp's six characters or keepCopyOf's attempt.
        const QStringList parts = name.mid(hidden.size()).split(QLatin1Char('.'));
        bool isPid = false;
        const qint64 pid = parts.size() == 2 ? parts[0].toLongLong(&isPid) : 0;
        if (!isPid || pid <= 0 || pid == ::getpid() || parts[1].isEmpty() || parts[1].size() > 6
            || !std::all_of(parts[1].cbegin(), parts[1].cend(),
                            [](QChar ch) { return ch.isLetterOrNumber() && ch.unicode() < 128; }))
            continue;
        if (::kill(pid_t(pid), 0) == 0 || errno != ESRCH)
            continue; // its writer still runs (or is another user's: EPERM)
        const QByteArray file = QFile::encodeName(folder.filePath(name));
        struct stat st
        {};
        if (::lstat(file.constData(), &st) == 0 && S_ISREG(st.st_mode))
            ::unlink(file.constData());
    }
}
