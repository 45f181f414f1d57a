#include "orvlib/OvDriver.h"

#include <mutex>

// The drivers built into the library. Each lives in drivers/ and offers a
// factory; a driver added later adds its line here.
std::unique_ptr<TOvDriver> createSQLiteDriver();
std::unique_ptr<TOvDriver> createPostgreSQLDriver();
std::unique_ptr<TOvDriver> createMySQLDriver();

void registerBuiltInDrivers()
{
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterDriver(TOvServerType::stSQLite, createSQLiteDriver);
        RegisterDriver(TOvServerType::stPostgreSQL, createPostgreSQLDriver);
        RegisterDriver(TOvServerType::stMySQL, createMySQLDriver);
    });
}
