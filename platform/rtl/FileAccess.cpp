#include "FileAccess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

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

// The permissions an existing regular file at Name has, or NewMode. Returns
// the reason when something else is in the way.
QString modeFor(const QByteArray &Name, int Wanted, int NewMode, mode_t *Mode)
{
    struct stat st
    {};
    *Mode = mode_t(NewMode) & 07777;
    if (::lstat(Name.constData(), &st) == 0) {
        // A link left in place is replaced by the rename, never written through.
        if (S_ISLNK(st.st_mode))
            st.st_mode = S_IFREG | (S_IRUSR | S_IWUSR);
        if (!S_ISREG(st.st_mode))
            return kindOf(st.st_mode);
        *Mode = st.st_mode & 07777;
    } else if (errno != ENOENT) {
        return systemReason(errno);
    }
    if (Wanted >= 0)
        *Mode = mode_t(Wanted) & 07777;
    return {};
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
    mode_t mode = 0;
    const QString problem
        = modeFor(QFile::encodeName(m_target), m_options.Mode, m_options.NewMode, &mode);
    if (!problem.isEmpty())
        return problem;
    const QFileInfo info(m_target);
    QByteArray temp = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName()
                                        + QStringLiteral(".XXXXXX"));
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC); // created 0600
    if (fd < 0)
        return systemReason(errno);
    m_temp = temp;
    int error = 0;
    qint64 done = 0;
    while (!error && done < Bytes.size()) {
        const ssize_t n = ::write(fd, Bytes.constData() + done, size_t(Bytes.size() - done));
        if (n < 0 && errno != EINTR)
            error = errno;
        else if (n == 0)
            error = EIO; // no progress and no reason: never loop for ever
        else if (n > 0)
            done += n;
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
    return {};
}

QString AtomicFileWriter::commit()
{
    if (m_temp.isEmpty())
        return QStringLiteral("nothing was written");
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

QString writeFileAtomically(const QString &Path, const QByteArray &Bytes,
                            const AtomicWriteOptions &Options)
{
    AtomicFileWriter writer(Path, Options);
    const QString error = writer.write(Bytes);
    return error.isEmpty() ? writer.commit() : error;
}

QString keepCopyOf(const QString &Source, const QString &Path)
{
    const QByteArray source = QFile::encodeName(Source);
    struct stat st
    {};
    if (::stat(source.constData(), &st) != 0)
        return systemReason(errno);
    if (!S_ISREG(st.st_mode))
        return kindOf(st.st_mode);
    struct stat at
    {};
    if (::lstat(QFile::encodeName(Path).constData(), &at) == 0 && !S_ISREG(at.st_mode)
        && !S_ISLNK(at.st_mode))
        return kindOf(at.st_mode);
    // A second name under a temporary name, then renamed over Path: the
    // rename replaces a link at Path instead of following it.
    const QFileInfo info(Path);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray temp
            = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName()
                                + QStringLiteral(".%1.%2").arg(::getpid()).arg(attempt));
        if (::link(source.constData(), temp.constData()) == 0) {
            if (::rename(temp.constData(), QFile::encodeName(Path).constData()) != 0) {
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
    return writeFileAtomically(Path, old.bytes, options);
}

namespace {

// The folder locks this thread holds, by the folder's device and inode.
struct HeldLock
{
    dev_t Device;
    ino_t Inode;
    int Fd;
    int Depth;
};

std::vector<HeldLock> &heldLocks()
{
    thread_local std::vector<HeldLock> held;
    return held;
}

} // namespace

FolderLock::FolderLock(const QString &Folder, int TimeoutMs)
{
    const QByteArray name = QFile::encodeName(Folder.isEmpty() ? QStringLiteral(".") : Folder);
    m_fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0) {
        m_reason = systemReason(errno);
        return;
    }
    struct stat st
    {};
    if (::fstat(m_fd, &st) == 0) {
        for (HeldLock &held : heldLocks())
            if (held.Device == st.st_dev && held.Inode == st.st_ino) {
                // Locks on one folder through two descriptors exclude each
                // other even in one process: share the one held.
                ::close(m_fd);
                m_fd = held.Fd;
                ++held.Depth;
                return;
            }
    }
    // A lock on the folder, not on the file: the file is replaced by rename,
    // so a lock on it would guard an inode that is about to go away.
    QElapsedTimer waited;
    waited.start();
    int pause = 1;
    while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            m_reason = systemReason(errno);
            ::close(m_fd);
            m_fd = -1;
            return;
        }
        if (waited.elapsed() >= TimeoutMs) {
            m_busy = true;
            m_reason = QStringLiteral("another process has held the folder %1 locked for %2 ms")
                           .arg(QDir::toNativeSeparators(Folder))
                           .arg(waited.elapsed());
            ::close(m_fd);
            m_fd = -1;
            return;
        }
        QThread::msleep(pause);
        pause = qMin(pause * 2, 50);
    }
    heldLocks().push_back({st.st_dev, st.st_ino, m_fd, 1});
}

FolderLock::~FolderLock()
{
    if (m_fd < 0)
        return;
    std::vector<HeldLock> &held = heldLocks();
    for (auto it = held.begin(); it != held.end(); ++it)
        if (it->Fd == m_fd) {
            if (--it->Depth > 0)
                return;
            held.erase(it);
            break;
        }
    ::close(m_fd); // the last holder releases the lock
}
