#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>

// Runs a program where its writes fail as on a full disk, in one of two ways:
//
// - SmallFileSystem: in a private user and mount namespace (unshare -rm), a
//   tmpfs just large enough for the files of Seed is mounted on a fresh
//   folder, those files are copied in and the program runs in that folder: a
//   write that needs one more page fails with ENOSPC. Containers and some
//   chroots refuse the namespace (tried once per process); the run then
//   reports that it did not run, and why.
// - FileSizeLimit: the files of Seed are copied to Result and the program
//   runs there with RLIMIT_FSIZE set to LimitBytes and SIGXFSZ ignored: a
//   write past the limit fails with EFBIG. This works everywhere.
//
// Either way the folder's files end up in Result afterwards, for the test to
// compare. "{}" in Args stands for the folder the program works in.
enum class FullDiskWay { SmallFileSystem, FileSizeLimit };

struct FullDiskRun
{
    bool ran = false; // false: this way cannot be set up here; why says why
    QString why;
    int exitCode = -1;
    QString out;
    QString err;
};

FullDiskRun runOnFullDisk(FullDiskWay Way, const QString &Seed, const QString &Result,
                          const QString &Program, const QStringList &Args, qint64 LimitBytes = 1024,
                          const QProcessEnvironment &Env
                          = QProcessEnvironment::systemEnvironment());

// Runs Action in this process with writes past LimitBytes failing with
// EFBIG (RLIMIT_FSIZE, SIGXFSZ ignored), and puts the limit and the signal
// back afterwards, also when Action raises. False when the limit cannot be
// set (Action did not run).
bool withFileSizeLimit(qint64 LimitBytes, const std::function<void()> &Action);

// The names of the files in Folder (hidden ones too), sorted.
QStringList filesIn(const QString &Folder);
