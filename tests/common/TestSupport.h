#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A temporary folder for one test, removed afterwards.
class TempFolder
{
public:
    TempFolder();
    QString path() const { return m_dir.path(); }
    QString file(const QString &Name) const { return m_dir.filePath(Name); }
    void write(const QString &Name, const QByteArray &Content) const;
    QByteArray read(const QString &Name) const;
    bool exists(const QString &Name) const;

private:
    QTemporaryDir m_dir;
};

// True when tests run under CI, where a missing service is a failure, not a skip.
bool runningUnderCi();
