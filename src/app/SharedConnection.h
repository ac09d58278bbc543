#pragma once

#include "dialect/DatabaseKind.h"

namespace tessera {

namespace db {
class Connection;
}

// The application's shared connection while it is open, else nullptr.
// Commands report a missing one as their failure (a row shown as written must
// be in the database); fills and pickers stay empty without it.
db::Connection* openSharedConnection();
// The kind of database behind it; SQL Server where no application exists.
DatabaseKind sharedDatabaseKind();

} // namespace tessera
