#include "FullDisk.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

namespace {

constexpr qint64 PageSize = 4096;

// The pages the files of Folder take on a tmpfs.
qint64 pagesOf(const QString &Folder)
{
    qint64 pages = 0;
    QDirIterator it(Folder, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        pages += (QFileInfo(it.next()).size() + PageSize - 1) / PageSize;
    return pages;
}

bool copyFolder(const QString &From, const QString &To)
{
    for (const QString &name : filesIn(From))
        if (!QFile::copy(QDir(From).filePath(name), QDir(To).filePath(name)))
            return false;
    return true;
}

QStringList withFolder(const QStringList &Args, const QString &Folder)
{
    QStringList args;
    for (QString a : Args)
        args.append(a.replace(QStringLiteral("{}"), Folder));
    return args;
}

void finish(QProcess &Process, FullDiskRun &Run)
{
    if (!Process.waitForFinished(120000)) {
        Process.kill();
        Process.waitForFinished();
        Run.why = QStringLiteral("timed out");
        return;
    }
    Run.exitCode = Process.exitStatus() == QProcess::NormalExit ? Process.exitCode() : -1;
    Run.out = QString::fromLocal8Bit(Process.readAllStandardOutput());
    Run.err = QString::fromLocal8Bit(Process.readAllStandardError());
}

// Why no private mount namespace with a tmpfs can be made here; empty when
// one can. Containers and chroots that refuse one make unshare itself exit 1
// ("Operation not permitted"), which a run could not tell from the program's
// own exit status, so this is found out once per process by trying.
QString namespaceProblem()
{
    static const QString problem = [] {
        QTemporaryDir mountPoint;
        QProcess probe;
        probe.start(QStringLiteral("unshare"),
                    {QStringLiteral("-rm"), QStringLiteral("sh"), QStringLiteral("-c"),
                     QStringLiteral("mount -t tmpfs -o size=4096 tmpfs \"$1\""),
                     QStringLiteral("sh"), mountPoint.path()});
        if (!probe.waitForStarted())
            return QStringLiteral("unshare is not installed");
        FullDiskRun run;
        finish(probe, run);
        if (!run.why.isEmpty())
            return QStringLiteral("unshare ") + run.why;
        if (run.exitCode != 0)
            return QStringLiteral("unshare -rm with a tmpfs failed (exit %1): %2")
                .arg(run.exitCode)
                .arg(run.err.trimmed());
        return QString();
    }();
    return problem;
}

} // namespace

QStringList filesIn(const QString &Folder)
{
    return QDir(Folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

FullDiskRun runOnFullDisk(FullDiskWay Way, const QString &Seed, const QString &Result,
                          const QString &Program, const QStringList &Args, qint64 LimitBytes,
                          const QProcessEnvironment &Env)
{
    FullDiskRun run;
    QProcess process;
    process.setProcessEnvironment(Env);
    if (Way == FullDiskWay::FileSizeLimit) {
        if (!copyFolder(Seed, Result)) {
            run.why = QStringLiteral("cannot copy the files to %1").arg(Result);
            return run;
        }
        process.setWorkingDirectory(Result);
        process.setChildProcessModifier([LimitBytes] {
            std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit
            {};
            getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = rlim_t(LimitBytes);
            setrlimit(RLIMIT_FSIZE, &limit);
        });
        process.start(Program, withFolder(Args, Result));
        finish(process, run);
        run.ran = run.why.isEmpty();
        return run;
    }
    run.why = namespaceProblem();
    if (!run.why.isEmpty())
        return run;
    QTemporaryDir mountPoint;
    // Never 0, which a tmpfs reads as "no limit".
    const QString size = QString::number(qMax<qint64>(pagesOf(Seed), 1) * PageSize);
    // Exit 99 and 98: the namespace or the file system could not be made.
    const QString script = QStringLiteral("mount -t tmpfs -o size=%1 tmpfs \"$1\" || exit 99\n"
                                          "cp -a \"$2/.\" \"$1/\" || exit 98\n"
                                          "dir=$1; result=$3; shift 3\n"
                                          "cd \"$dir\" && \"$@\"\n"
                                          "rc=$?\n"
                                          "cp -a \"$dir/.\" \"$result/\"\n"
                                          "exit $rc\n")
                               .arg(size);
    process.start(QStringLiteral("unshare"),
                  QStringList{QStringLiteral("-rm"), QStringLiteral("sh"), QStringLiteral("-c"),
                              script, QStringLiteral("sh"), mountPoint.path(), Seed, Result,
                              Program}
                      + withFolder(Args, mountPoint.path()));
    finish(process, run);
    if (process.error() == QProcess::FailedToStart) {
        run.why = QStringLiteral("unshare is not installed");
        return run;
    }
    if (run.exitCode == 99 || run.exitCode == 98) {
        run.why = run.err.trimmed();
        return run;
    }
    run.ran = run.why.isEmpty();
    return run;
}

bool withFileSizeLimit(qint64 LimitBytes, const std::function<void()> &Action)
{
    struct rlimit saved
    {};
    if (getrlimit(RLIMIT_FSIZE, &saved) != 0)
        return false;
    struct rlimit limited = saved;
    limited.rlim_cur = rlim_t(LimitBytes);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct Restore
    {
        const rlimit &limit;
        void (*handler)(int);
        ~Restore()
        {
            setrlimit(RLIMIT_FSIZE, &limit);
            std::signal(SIGXFSZ, handler);
        }
    } restore{saved, oldHandler};
    if (setrlimit(RLIMIT_FSIZE, &limited) != 0)
        return false;
    Action();
    return true;
}
