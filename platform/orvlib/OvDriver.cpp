#include "orvlib/OvDriver.h"
#include "OvPrivate.h"
#include "orvlib/OvCommon.h"
#include "orvlib/OvConsts.h"

#include <QSet>

#include <map>

TOvDriver::~TOvDriver() = default;

QString TOvDriver::QuoteObjectName(const QString &Name) const
{
    QString owner, object;
    SplitObjName(Name, owner, object);
    const QString quoted = QuoteIdentifier(ServerType(), object, true);
    return owner.isEmpty() ? quoted
                           : QuoteIdentifier(ServerType(), owner, true) + QLatin1Char('.') + quoted;
}

QStringList TOvDriver::ColumnNames(const QString &TableName)
{
    QStringList names;
    for (const TOvColumnInfo &c : Columns(TableName))
        names << c.Name;
    return names;
}

QStringList TOvDriver::MatchingTableNames(bool SystemTables, const QString &Pattern)
{
    QStringList names = TableNames(SystemTables);
    if (!Pattern.isEmpty())
        names.removeIf([&](const QString &Name) { return !ovlib::matchesPattern(Name, Pattern); });
    return names;
}

QStringList TOvDriver::SystemTableNames(const QString &Pattern)
{
    const QStringList all = TableNames(true);
    const QStringList user = TableNames(false);
    const QSet<QString> isUser(user.begin(), user.end());
    QStringList names;
    for (const QString &name : all) {
        if (!isUser.contains(name) && ovlib::matchesPattern(name, Pattern))
            names << name;
    }
    return names;
}

QString TOvDriver::QuoteColumnName(const QString &Name) const
{
    return QuoteIdentifier(ServerType(), Name, true);
}

namespace {
std::map<TOvServerType, TOvDriverFactory> &factories()
{
    static std::map<TOvServerType, TOvDriverFactory> map;
    return map;
}
} // namespace

void registerBuiltInDrivers(); // OvDrivers.cpp

void RegisterDriver(TOvServerType ServerType, TOvDriverFactory Factory)
{
    factories()[ServerType] = std::move(Factory);
}

bool HasDriver(TOvServerType ServerType)
{
    registerBuiltInDrivers();
    return factories().count(ServerType) != 0;
}

std::unique_ptr<TOvDriver> CreateDriver(TOvServerType ServerType)
{
    registerBuiltInDrivers();
    auto it = factories().find(ServerType);
    if (it == factories().end() || !it->second)
        throw Exception(SNoDriver().arg(GetServerTypeName(ServerType)));
    return it->second();
}
