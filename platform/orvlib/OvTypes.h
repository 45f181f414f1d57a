#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>

#include <initializer_list>

// The library's shared enumerations live in the namespace OvTypes so that Qt
// knows their names (the Object Inspector lists ServerType by name); the
// aliases below let code write them as the class libraries do.
namespace OvTypes {
Q_NAMESPACE

// The kinds of database server the library talks to. SQLite is the embedded
// default: RemoteDatabase is a database file. PostgreSQL: RemoteDatabase names
// the server and the database. MySQL serves MariaDB and MySQL servers alike:
// RemoteDatabase names the server and the database as for PostgreSQL.
enum class TOvServerType { stSQLite, stPostgreSQL, stMySQL };
Q_ENUM_NS(TOvServerType)

// Design-time options of a database component, by ordinal.
enum TOvDesignDBOption { ddoIsDefaultDatabase, ddoStoreConnected };
Q_ENUM_NS(TOvDesignDBOption)

// What TOvDatabase::GetSchemaInfo lists. Ordinal 5 is the index information.
enum class TOvSchemaType {
    stTables,          // TABLE_SCHEMA, TABLE_NAME, TABLE_TYPE
    stSysTables,       // the same, for the server's own tables
    stProcedures,      // PROCEDURE_SCHEMA, PROCEDURE_NAME, PROCEDURE_TYPE
    stColumns,         // COLUMN_NAME, COLUMN_POSITION, COLUMN_TYPE, COLUMN_NULLABLE,
                       // COLUMN_GENERATED, COLUMN_IDENTITY_ALWAYS
    stProcedureParams, // PARAM_NAME, PARAM_POSITION, PARAM_TYPE (0 in, 1 out, 2 in/out, 3 result),
                       // PARAM_DATATYPE
    stIndexes          // INDEX_NAME, INDEX_TYPE, COLUMN_NAME, COLUMN_POSITION
};
Q_ENUM_NS(TOvSchemaType)

// A Boolean that may not have been determined yet; ordinals 0, 1, 2.
enum class TBool3State { False, True, Unknown };
Q_ENUM_NS(TBool3State)

} // namespace OvTypes

using TOvServerType = OvTypes::TOvServerType;
using TOvDesignDBOption = OvTypes::TOvDesignDBOption;
using TOvSchemaType = OvTypes::TOvSchemaType;
using TBool3State = OvTypes::TBool3State;
using OvTypes::ddoIsDefaultDatabase;
using OvTypes::ddoStoreConnected;

// Bits of the INDEX_TYPE column of the index information (TOvSchemaType::stIndexes).
// A primary key is also unique: its rows carry both bits (6).
constexpr int itPrimary = 4;
constexpr int itUnique = 2;
// Set on every row of an index whose key holds an expression (the row of
// the expression itself has no column name): its plain columns alone are
// not what the index keeps unique.
constexpr int itExpression = 8;
// Set on every row of a partial index (one with a where clause): it keeps
// its key unique only among the rows the clause selects.
constexpr int itPartial = 16;
// Set on every row of a unique index that holds NULLs as equal (NULLS NOT
// DISTINCT): it admits one row with NULL in a key column, not many.
constexpr int itNullsNotDistinct = 32;

// A set of TOvDesignDBOption, one bit per ordinal.
class TOvDesignDBOptions
{
public:
    constexpr TOvDesignDBOptions() = default;
    constexpr TOvDesignDBOptions(std::initializer_list<TOvDesignDBOption> Members)
    {
        for (TOvDesignDBOption m : Members)
            m_bits |= bit(m);
    }
    constexpr bool Contains(TOvDesignDBOption Member) const { return (m_bits & bit(Member)) != 0; }
    constexpr TOvDesignDBOptions &Include(TOvDesignDBOption Member)
    {
        m_bits |= bit(Member);
        return *this;
    }
    constexpr TOvDesignDBOptions &Exclude(TOvDesignDBOption Member)
    {
        m_bits &= ~bit(Member);
        return *this;
    }
    constexpr bool IsEmpty() const { return m_bits == 0; }
    constexpr unsigned ToInt() const { return m_bits; }
    static constexpr TOvDesignDBOptions FromInt(unsigned Bits)
    {
        TOvDesignDBOptions s;
        s.m_bits = Bits & 3u;
        return s;
    }
    constexpr bool operator==(const TOvDesignDBOptions &) const = default;

private:
    static constexpr unsigned bit(TOvDesignDBOption m) { return 1u << static_cast<unsigned>(m); }
    unsigned m_bits = 0;
};
Q_DECLARE_METATYPE(TOvDesignDBOptions)

// The name of a server type as settings and captions spell it: "SQLite", "PostgreSQL".
QString GetServerTypeName(TOvServerType ServerType);
// The server type named Name, ignoring letter case and surrounding blanks;
// Default for an empty or unknown name.
TOvServerType StrToServerTypeDef(const QString &Name, TOvServerType Default);
// Every server type, in declaration order.
QList<TOvServerType> AllServerTypes();

// The server type new database components start with; SQLite until changed
// (the design settings set it when the package loads).
extern TOvServerType DefServerType;
