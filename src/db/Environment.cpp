#include "db/Environment.h"

#include "db/Handle.h"
#include "db/InProcessSqlite.h"
#include "platform/Platform.h"

#include <sqlext.h>

namespace tessera::db {

namespace {
EnvironmentHandle makeEnvironment()
{
    ensureUtf8CType();
    prepareInProcessSqlite(); // before a driver loads it
    EnvironmentHandle env(SQL_NULL_HANDLE);
    check(SQLSetEnvAttr(env.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
          SQL_HANDLE_ENV, env.get(), "setting the ODBC version");
    return env;
}
} // namespace

SQLHENV environment()
{
    static EnvironmentHandle env = makeEnvironment();
    return env.get();
}

} // namespace tessera::db
