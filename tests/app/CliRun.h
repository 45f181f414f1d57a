#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// The designer's command line run as a program, and what came of it.
struct CliRun
{
    int exit = -1; // -1: crashed or timed out
    QString out;
    QString err;
};

// Runs the designer (or Program, a shell that runs it) with Args.
inline CliRun runOvdesigner(const QStringList &Args, const QString &WorkDir = QString(),
                            const QProcessEnvironment &Env
                            = QProcessEnvironment::systemEnvironment(),
                            const QString &Program = QStringLiteral(OV_DESIGNER))
{
    QProcess p;
    if (!WorkDir.isEmpty())
        p.setWorkingDirectory(WorkDir);
    p.setProcessEnvironment(Env);
    p.start(Program, Args);
    CliRun r;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("timed out");
        return r;
    }
    r.exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}
