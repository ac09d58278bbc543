#include "db/InProcessSqlite.h"

#include <sqlite3.h>

#include <mutex>

namespace tessera::db {

void prepareInProcessSqlite()
{
    static std::once_flag once;
    std::call_once(once, [] { sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0); });
}

} // namespace tessera::db
