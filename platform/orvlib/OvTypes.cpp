#include "orvlib/OvTypes.h"

TOvServerType DefServerType = TOvServerType::stSQLite;

QString GetServerTypeName(TOvServerType ServerType)
{
    switch (ServerType) {
    case TOvServerType::stSQLite:
        return QStringLiteral("SQLite");
    case TOvServerType::stPostgreSQL:
        return QStringLiteral("PostgreSQL");
    }
    return QString();
}

QList<TOvServerType> AllServerTypes()
{
    return {TOvServerType::stSQLite, TOvServerType::stPostgreSQL};
}

TOvServerType StrToServerTypeDef(const QString &Name, TOvServerType Default)
{
    const QString wanted = Name.trimmed();
    if (wanted.isEmpty())
        return Default;
    for (TOvServerType t : AllServerTypes()) {
        if (wanted.compare(GetServerTypeName(t), Qt::CaseInsensitive) == 0)
            return t;
    }
    return Default;
}
