#include "EmbeddedDatabases.h"

#include "orvlib/OvComponents.h"
#include "orvlib/OvDatabase.h"
#include "rtl/SysUtils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

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
        const QString temp = file.absoluteFilePath() + QStringLiteral(".part");
        QFile::remove(temp);
        auto dropTemp = qScopeGuard([&] { QFile::remove(temp); });
        {
            TOvDatabase target;
            target.SetDatabaseName(QStringLiteral("ovdesigner-create-") + db->objectName());
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
        if (!QFile::rename(temp, file.absoluteFilePath()))
            throw Exception(QStringLiteral("Cannot create %1").arg(file.absoluteFilePath()));
        created.append(file.absoluteFilePath());
    }
    return created;
}
