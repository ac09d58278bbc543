#pragma once

#include "dialect/DatabaseKind.h"

#include <QString>

namespace tessera {

enum class ConnectionRole {
    Archive,    // the archive the program edits, and a copy's target
    CopySource, // read once, row by row, by a copy
    Scan,       // read once, row by row, by the data check
};

// What the program tells a kind's driver after the data source's name, user
// and password ("Key=value;..."):
// - MySQL/MariaDB: no automatic reconnect, which would silently drop the
//   session's sql_mode (NO_BACKSLASH_ESCAPES) and with it the quoting the
//   program writes; read and write time-outs, so that a server that vanished
//   without closing the connection ends a call instead of holding it.
// - PostgreSQL: TCP keepalives for the same; a copy's source read through a
//   cursor, a block of rows a fetch, so that a day of millions of samples
//   does not sit whole in the driver's memory.
// - SQLite: a copy's source stepped through row by row (the driver would
//   read a whole result into memory before its first row).
QString driverOptionsFor(DatabaseKind kind, ConnectionRole role);

} // namespace tessera
