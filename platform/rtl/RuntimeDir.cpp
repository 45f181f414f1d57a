#include "RuntimeDir.h"

#include <QByteArray>
#include <QDir>

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// True when Path is a folder (not a link to one) owned by the current user
// with mode 0700, after correcting the mode of a folder the user owns.
bool isPrivateFolder(const QByteArray &Path)
{
    struct stat st;
    if (lstat(Path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid())
        return false;
    if ((st.st_mode & 07777) != 0700 && chmod(Path.constData(), 0700) != 0)
        return false;
    return true;
}

} // namespace

QString ensureRuntimeDir()
{
    const QString current = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(current))
        return current;

    // Qt gives an empty path for a $TMPDIR that does not exist; never fall
    // back to the root folder.
    const QString tempPath = QDir::tempPath();
    if (!QDir::isAbsolutePath(tempPath))
        return QString();
    const QByteArray temp = QFile::encodeName(tempPath);
    const QByteArray fixed = temp + "/ov-runtime-" + QByteArray::number(uint(geteuid()));
    QByteArray chosen;
    if ((mkdir(fixed.constData(), 0700) == 0 || errno == EEXIST) && isPrivateFolder(fixed)) {
        chosen = fixed;
    } else {
        QByteArray pattern = fixed + "-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr)
            return QString();
        chosen = pattern;
    }
    qputenv("XDG_RUNTIME_DIR", chosen);
    return QFile::decodeName(chosen);
}
