#include "PgTestServer.h"

#include "orvlib/OvDB.h"
#include "orvlib/OvDriver.h"
#include "rtl/SysUtils.h"

#include <QCoreApplication>
#include <QRandomGenerator>

QString pgConnInfo()
{
    return qEnvironmentVariable("OV_PG_CONNINFO").trimmed();
}

QString pgUniqueName(const QString &Prefix)
{
    return QStringLiteral("%1%2_%3")
        .arg(Prefix)
        .arg(QCoreApplication::applicationPid())
        .arg(QRandomGenerator::global()->bounded(1000000));
}

QString pgMissing()
{
    if (!HasDriver(TOvServerType::stPostgreSQL))
        return QStringLiteral("the runtime library has no PostgreSQL driver");
    if (pgConnInfo().isEmpty())
        return QStringLiteral("OV_PG_CONNINFO is not set");
    return {};
}

std::unique_ptr<TOvDriver> pgAdmin(QString *Problem)
{
    *Problem = pgMissing();
    if (!Problem->isEmpty())
        return nullptr;
    std::unique_ptr<TOvDriver> admin = CreateDriver(TOvServerType::stPostgreSQL);
    try {
        admin->Connect(pgConnInfo(), TStringList());
    } catch (const Exception &e) {
        *Problem = QStringLiteral("unreachable: ") + e.Message();
        return nullptr;
    }
    return admin;
}

QString pgOpenInSchema(TOvDatabase *Database, const QString &Schema, const QString &ConnInfo)
{
    const QString problem = pgMissing();
    if (!problem.isEmpty())
        return problem;
    Database->SetServerType(TOvServerType::stPostgreSQL);
    Database->SetRemoteDatabase(ConnInfo.isEmpty() ? pgConnInfo() : ConnInfo);
    Database->SetLoginPrompt(false);
    Database->Params()->Add(QStringLiteral("options=-c search_path=%1").arg(Schema));
    try {
        Database->Open();
        Database->ExecSQL(QStringLiteral("create schema ") + Schema);
    } catch (const Exception &e) {
        return QStringLiteral("unreachable: ") + e.Message();
    }
    return {};
}
