#include "orvlib/OvDriver.h"
#include "orvlib/OvCommon.h"
#include "orvlib/OvConsts.h"

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
