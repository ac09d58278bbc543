#pragma once

#include "journal/ImageRows.h"

#include <QString>

#include <optional>

namespace tessera::db {
class Connection;
}

// A SQLite archive's rows read by SQLite itself. Its ODBC driver hands a
// result over one value at a time, as text; a day of samples comes ten
// times faster straight from the file, and reals as the doubles stored.
namespace tessera::journal {

// The file of the connection's main database; nullopt for a database in
// memory (or a connection that is not SQLite's).
std::optional<QString> sqliteFileOf(db::Connection& connection);

// Appends to set.rows the rows of selectSql, typed after set.types with the
// values the ODBC driver would give (see captureRows); false as soon as
// there are more than maxRows (maxRows < 0: no limit). Throws db::DbError.
bool readSqliteRows(const QString& file, const QString& selectSql, RowSet& set, qsizetype maxRows);

} // namespace tessera::journal
