#pragma once

#include "dialect/DatabaseKind.h"
#include "db/Statement.h"
#include "journal/ImageRows.h"
#include "journal/JournalEntry.h"

#include <optional>
#include <vector>

namespace tessera::db {
class Connection;
}

// Rows of the archive as the journal keeps them: read in a scope before and
// after a command, and the values written back by an undo.
namespace tessera::journal {

// SELECT * FROM table WHERE whereSql, and the DELETE of the same rows (the
// whole table for an empty condition).
QString scopeSelectSql(const QString& table, const QString& whereSql);
QString scopeDeleteSql(const QString& table, const QString& whereSql);

// The rows in scope, typed after their columns: integers, reals as the exact
// binary number the column holds, dates and times as the driver's text,
// everything else as text. What the archive has committed: a SQLite file is
// read by SQLite itself, so a caller never captures inside a transaction of
// its own that has written. Throws db::DbError.
RowSet captureRows(db::Connection& connection, DatabaseKind kind, const QString& table, const QString& whereSql);
// The same, or nullopt as soon as there are more than maxRows rows (a
// before-image kept only when small, as the copy's).
std::optional<RowSet> captureRowsUpTo(db::Connection& connection, DatabaseKind kind, const QString& table,
                                      const QString& whereSql, qsizetype maxRows);

// The after-state of the rows a command wrote, without holding them all:
// rows are kept only when there are at most keepAtMost. `written` holds the
// bound values of full rows in the table's column order; each is turned into
// what a capture would read back, `shape` giving the columns and their types
// (a capture of the same table, the before-image). Date-times go as
// QDateTime, or as the exact text stored; a single-precision column gets its
// value rounded to float.
AfterState afterStateOfWritten(const RowSet& shape, const std::vector<std::vector<db::Value>>& written,
                               qsizetype keepAtMost = kKeptAfterRows);

// The rows with the named columns set to one value: what an UPDATE ... SET
// of those columns leaves in its scope.
std::vector<Row> withColumnsSet(const RowSet& rows, const QStringList& columns, const Value& value);

// A kept value as the parameter that writes it back. Dates and times go
// as their text where the database reads it back unchanged (SQLite,
// PostgreSQL, MySQL/MariaDB), as a date-time value elsewhere.
db::Value parameterOf(const Value& value, DatabaseKind kind);

// INSERT INTO table(c1, c2, ...) VALUES(?, ?, ...)
QString insertSql(const QString& table, const QStringList& columns);

} // namespace tessera::journal
