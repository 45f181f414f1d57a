#include "FileAccess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
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

QString writeFileAtomically(const QString &Path, const QByteArray &Bytes)
{
    const QString target = writeTarget(Path);
    const QByteArray name = QFile::encodeName(target);
    mode_t mode = S_IRUSR | S_IWUSR;
    struct stat st
    {};
    if (::stat(name.constData(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return kindOf(st.st_mode);
        mode = st.st_mode & 07777;
    }
    const QFileInfo info(target);
    QByteArray temp = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName()
                                        + QStringLiteral(".XXXXXX"));
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC); // created 0600
    if (fd < 0)
        return systemReason(errno);
    int error = 0;
    qint64 done = 0;
    while (!error && done < Bytes.size()) {
        const ssize_t n = ::write(fd, Bytes.constData() + done, size_t(Bytes.size() - done));
        if (n < 0 && errno != EINTR)
            error = errno;
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
    if (!error && ::rename(temp.constData(), name.constData()) != 0)
        error = errno;
    if (error) {
        ::unlink(temp.constData());
        return systemReason(error);
    }
    return {};
}

FolderLock::FolderLock(const QString &Folder, int TimeoutMs)
{
    const QByteArray name = QFile::encodeName(Folder.isEmpty() ? QStringLiteral(".") : Folder);
    m_fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0) {
        m_reason = systemReason(errno);
        return;
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
}

FolderLock::~FolderLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // releases the lock
}
