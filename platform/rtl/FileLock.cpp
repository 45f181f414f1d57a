#include "FileLock.h"

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

#include <vector>

namespace {

QString systemReason(int Error)
{
    return QString::fromLocal8Bit(std::strerror(Error));
}

// Takes an exclusive flock on Fd, waiting at most TimeoutMs. Returns 0 when
// taken, else the errno that stopped it (EWOULDBLOCK: still held at the end);
// Waited receives the time spent.
int waitForLock(int Fd, int TimeoutMs, qint64 *Waited)
{
    QElapsedTimer waited;
    waited.start();
    int pause = 1;
    while (::flock(Fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            return errno;
        if (waited.elapsed() >= TimeoutMs) {
            *Waited = waited.elapsed();
            return EWOULDBLOCK;
        }
        QThread::msleep(pause);
        pause = qMin(pause * 2, 50);
    }
    *Waited = waited.elapsed();
    return 0;
}

bool sameFile(const struct stat &A, const struct stat &B)
{
    return A.st_dev == B.st_dev && A.st_ino == B.st_ino;
}

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
    qint64 waited = 0;
    if (const int error = waitForLock(m_fd, TimeoutMs, &waited)) {
        m_busy = error == EWOULDBLOCK;
        m_reason = m_busy
                       ? QStringLiteral("another process has held the folder %1 locked for %2 ms")
                             .arg(QDir::toNativeSeparators(Folder))
                             .arg(waited)
                       : systemReason(error);
        ::close(m_fd);
        m_fd = -1;
        return;
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

FileWriteLock::FileWriteLock(const QString &Path, int TimeoutMs)
{
    const QFileInfo info(Path);
    const QString folder = info.absolutePath();
    m_name = QFile::encodeName(folder + QStringLiteral("/.") + info.fileName()
                               + QStringLiteral(".lock"));
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        // O_NONBLOCK: a FIFO in the companion's place opens without waiting
        // and is refused below; O_NOFOLLOW: a link there is never followed.
        const int fd
            = ::open(m_name.constData(),
                     O_RDONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK, 0644);
        if (fd < 0) {
            const int error = errno;
            m_reason = error == EACCES || error == EPERM || error == EROFS
                           ? QStringLiteral("the folder %1 cannot be written: %2")
                                 .arg(QDir::toNativeSeparators(folder), systemReason(error))
                           : QStringLiteral("its lock file %1 cannot be opened: %2")
                                 .arg(QFile::decodeName(m_name), systemReason(error));
            return;
        }
        // Readable by anyone, so that a companion another user's killed save
        // left does not stop this user's saves (umask may have narrowed it).
        ::fchmod(fd, 0644);
        struct stat held
        {};
        if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
            ::close(fd);
            m_reason = QStringLiteral("its lock file %1 is not a regular file")
                           .arg(QFile::decodeName(m_name));
            return;
        }
        qint64 spent = 0;
        const int error
            = waitForLock(fd, int(qMax<qint64>(0, TimeoutMs - waited.elapsed())), &spent);
        if (error) {
            ::close(fd);
            m_busy = error == EWOULDBLOCK;
            m_reason = m_busy ? QStringLiteral("another process has been saving %1 for %2 ms")
                                    .arg(QDir::toNativeSeparators(Path))
                                    .arg(waited.elapsed())
                              : systemReason(error);
            return;
        }
        // The holder before may have removed the companion on letting go:
        // the lock counts only on the file that still bears the name.
        struct stat named
        {};
        if (::lstat(m_name.constData(), &named) == 0 && sameFile(named, held)) {
            m_fd = fd;
            return;
        }
        ::close(fd);
    }
}

FileWriteLock::~FileWriteLock()
{
    if (m_fd < 0)
        return;
    // Removed while still held, so that a waiter finds the name gone and
    // makes a fresh companion rather than locking the removed one.
    struct stat held
    {
    }, named{};
    if (::fstat(m_fd, &held) == 0 && ::lstat(m_name.constData(), &named) == 0
        && sameFile(held, named))
        ::unlink(m_name.constData());
    ::close(m_fd);
}
