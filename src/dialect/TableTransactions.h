#pragma once

#include "dialect/DatabaseKind.h"

#include <QString>

namespace tessera {

namespace db {
class Connection;
}

// Whether a unit of work on this table can be held in one transaction and
// rolled back. Not so for Access (a large transaction runs into its lock
// limit) nor for a MySQL or MariaDB table on an engine without transactions
// (MyISAM, MEMORY, ...): there a unit proves its source readable before it
// deletes anything and writes every row once, in autocommit.
// Throws db::DbError when the engine cannot be read.
bool tableIsTransactional(db::Connection& connection, DatabaseKind kind, const QString& table);

// Whether the table is there, by the kind's table-existence probe.
// Throws db::DbError when the probe fails.
bool tableExists(db::Connection& connection, DatabaseKind kind, const QString& table);

} // namespace tessera
