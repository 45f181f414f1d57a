#include "EmbeddedDatabases.h"

#include "orvlib/OvComponents.h"
#include "orvlib/OvDatabase.h"
#include "rtl/SysUtils.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

QStringList createMissingEmbeddedDatabases(QObject *Root)
{
    QStringList created;
    for (QObject *o : Root->findChildren<QObject *>()) {
        auto *db = qobject_cast<TOvDatabase *>(o);
        if (!db || db->ServerType() != TOvServerType::stSQLite || db->RemoteDatabase().isEmpty())
            continue;
        const QFileInfo file(db->RemoteDatabase());
        if (file.exists())
            continue;
        const QString script
            = file.dir().filePath(file.completeBaseName() + QStringLiteral(".sql"));
        if (!QFileInfo(script).isFile())
            continue;
        QFile in(script);
        if (!in.open(QIODevice::ReadOnly))
            throw Exception(QStringLiteral("Cannot read %1: %2").arg(script, in.errorString()));
        // A temporary name of this process's own, beside the file: two first
        // runs at once each build their own database and never share a file.
        const QString temp
            = file.absoluteFilePath()
              + QStringLiteral(".%1-%2.part")
                    .arg(QCoreApplication::applicationPid())
                    .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        auto dropTemp = qScopeGuard([&] {
            QFile::remove(temp);
            QFile::remove(temp + QStringLiteral("-journal"));
        });
        {
            TOvDatabase target;
            target.SetDatabaseName(QStringLiteral("ovdesigner-create-%1-%2")
                                       .arg(db->objectName())
                                       .arg(QFileInfo(temp).fileName()));
            target.SetServerType(TOvServerType::stSQLite);
            target.SetRemoteDatabase(temp);
            target.SetLoginPrompt(false);
            target.Params()->Add(QStringLiteral("CREATE=True"));
            TOvScript run;
            run.SetDatabaseName(target.DatabaseName());
            run.SQL()->SetText(QString::fromUtf8(in.readAll()));
            try {
                run.ExecScript();
            } catch (const Exception &e) {
                throw Exception(QStringLiteral("Cannot create %1 from %2: %3")
                                    .arg(db->RemoteDatabase(), script, e.Message()));
            }
            target.Close();
        }
        // Put in place only where no file is yet (a second name, then the
        // temporary one dropped): when another process got there first, its
        // database is used and this one discarded.
        const QByteArray from = QFile::encodeName(temp);
        const QByteArray to = QFile::encodeName(file.absoluteFilePath());
        if (::link(from.constData(), to.constData()) != 0) {
            if (errno == EEXIST)
                continue;
            // No second names on this file system: a rename that does not replace.
            if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE)
                != 0) {
                if (errno == EEXIST)
                    continue;
                throw Exception(QStringLiteral("Cannot create %1: %2")
                                    .arg(file.absoluteFilePath(),
                                         QString::fromLocal8Bit(std::strerror(errno))));
            }
        }
        created.append(file.absoluteFilePath());
    }
    return created;
}
