#include "MyTestServer.h"

#include "orvlib/OvDB.h"
#include "orvlib/OvDriver.h"
#include "rtl/SysUtils.h"

#include <QCoreApplication>
#include <QRandomGenerator>

QString myServer()
{
    return qEnvironmentVariable("OV_MY_CONNINFO").trimmed();
}

void myLogin(TStrings &Params)
{
    const QString user = qEnvironmentVariable("OV_MY_USER");
    Params.SetValues(QStringLiteral("USER NAME"), user.isEmpty() ? QStringLiteral("root") : user);
    const QString password = qEnvironmentVariable("OV_MY_PASSWORD");
    if (!password.isEmpty())
        Params.SetValues(QStringLiteral("PASSWORD"), password);
}

QString myMissing()
{
    if (!HasDriver(TOvServerType::stMySQL))
        return QStringLiteral("the runtime library has no MariaDB driver");
    if (myServer().isEmpty())
        return QStringLiteral("OV_MY_CONNINFO is not set");
    return {};
}

MyTestDatabase::MyTestDatabase()
{
    m_problem = myMissing();
    if (!m_problem.isEmpty())
        return;
    m_name = QStringLiteral("ovt_%1_%2")
                 .arg(QCoreApplication::applicationPid())
                 .arg(QRandomGenerator::global()->bounded(1000000));
    try {
        m_admin = CreateDriver(TOvServerType::stMySQL);
        TStringList params;
        myLogin(params);
        m_admin->Connect(myServer() + u'/', params);
        m_admin->Execute(QStringLiteral("create database `%1` character set utf8mb4").arg(m_name),
                         {});
        m_admin->Execute(QStringLiteral("use `%1`").arg(m_name), {});
    } catch (const Exception &e) {
        m_problem = QStringLiteral("unreachable: ") + e.Message();
        m_admin.reset();
    }
}

MyTestDatabase::~MyTestDatabase()
{
    if (!m_admin)
        return;
    try {
        m_admin->Execute(QStringLiteral("drop database `%1`").arg(m_name), {});
    } catch (const Exception &) {
    }
}

QString MyTestDatabase::Remote() const
{
    return myServer() + u'/' + m_name;
}

std::unique_ptr<TOvDriver> MyTestDatabase::Connect(const QStringList &Extra) const
{
    std::unique_ptr<TOvDriver> driver = CreateDriver(TOvServerType::stMySQL);
    TStringList params;
    myLogin(params);
    for (const QString &line : Extra)
        params.Add(line);
    driver->Connect(Remote(), params);
    return driver;
}

void MyTestDatabase::Open(TOvDatabase *Database) const
{
    Database->SetServerType(TOvServerType::stMySQL);
    Database->SetRemoteDatabase(Remote());
    Database->SetLoginPrompt(false);
    myLogin(*Database->Params());
    Database->Open();
}

void MyTestDatabase::Exec(const QString &SQL) const
{
    m_admin->Execute(SQL, {});
}
