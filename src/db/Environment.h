#pragma once

#include <sql.h>

namespace tessera::db {

// The process-wide ODBC 3 environment. The first call also makes sure the
// process runs with a UTF-8 LC_CTYPE: the driver manager converts SQL text for
// drivers without wide entry points with the process locale.
SQLHENV environment();

} // namespace tessera::db
