#pragma once

#include "journal/ImageRows.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace tessera::db {
class Connection;
}

// A SQLite archive's rows read by SQLite itself. Its ODBC driver hands a
// result over one value at a time, as text, after reading all of it into
// memory; a day of samples comes ten times faster straight from the file,
// a row at a time, and reals as the doubles stored.
namespace tessera::journal {

// The file of the connection's main database; nullopt for a database in
// memory (or a connection that is not SQLite's).
std::optional<QString> sqliteFileOf(db::Connection& connection);

// Calls `row` with each row of selectSql in the journal's encoding, typed
// after `types` with the values the ODBC driver would give (see
// captureRows): texts and numbers go from SQLite's own bytes into the
// encoding. False as soon as `row` returns false. Throws db::DbError.
bool readSqliteRows(const QString& file, const QString& selectSql, const std::vector<ValueType>& types,
                    const std::function<bool(const EncodedRow&)>& row);

} // namespace tessera::journal
