#include "orvlib/OvTypes.h"

#include <QMetaEnum>
#include <QStringList>

TOvServerType DefServerType = TOvServerType::stSQLite;

QString GetServerTypeName(TOvServerType ServerType)
{
    switch (ServerType) {
    case TOvServerType::stSQLite:
        return QStringLiteral("SQLite");
    case TOvServerType::stPostgreSQL:
        return QStringLiteral("PostgreSQL");
    case TOvServerType::stMySQL:
        return QStringLiteral("MySQL");
    }
    return QString();
}

QList<TOvServerType> AllServerTypes()
{
    return {TOvServerType::stSQLite, TOvServerType::stPostgreSQL, TOvServerType::stMySQL};
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

namespace {

// A set of design options converts to and from the names of its members, in
// ordinal order, so that a form file can store it as [ddoIsDefaultDatabase,
// ddoStoreConnected]. Unknown names are dropped; a reader that converts back
// sees which ones.
void registerDesignOptionsConverters()
{
    const QMetaEnum members = QMetaEnum::fromType<TOvDesignDBOption>();
    QMetaType::registerConverter<TOvDesignDBOptions, QStringList>(
        [members](const TOvDesignDBOptions &Set) {
            QStringList names;
            for (int i = 0; i < members.keyCount(); ++i)
                if (Set.Contains(static_cast<TOvDesignDBOption>(members.value(i))))
                    names.append(QLatin1String(members.key(i)));
            return names;
        });
    QMetaType::registerConverter<QStringList, TOvDesignDBOptions>(
        [members](const QStringList &Names) {
            TOvDesignDBOptions set;
            for (const QString &name : Names)
                for (int i = 0; i < members.keyCount(); ++i)
                    if (name.compare(QLatin1String(members.key(i)), Qt::CaseInsensitive) == 0)
                        set.Include(static_cast<TOvDesignDBOption>(members.value(i)));
            return set;
        });
}

} // namespace

Q_CONSTRUCTOR_FUNCTION(registerDesignOptionsConverters)
