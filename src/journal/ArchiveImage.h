#pragma once

#include "dialect/DatabaseKind.h"
#include "db/Statement.h"
#include "journal/ImageRows.h"
#include "journal/JournalEntry.h"
#include "journal/Scope.h"

#include <functional>
#include <optional>
#include <vector>

namespace tessera::db {
class Connection;
}

// Rows of the archive as the journal keeps them: read in a scope before and
// after a command, and the values written back by an undo.
namespace tessera {
class ArchiveUnit;
}

namespace tessera::journal {

// The columns of a table in SELECT * order and how their values are kept:
// integers, reals as the exact binary number the column holds, dates and
// times as the driver's text, everything else as text. Throws db::DbError.
struct TableShape {
    QStringList columns;
    std::vector<ValueType> types;
};
TableShape shapeOf(db::Connection& connection, const QString& table);

// Calls `row` with every row of the scope, typed after `shape`, reading the
// scope a part at a time (readingConditions): memory stays that of a part
// whatever the scope holds. Inside a unit the rows are read as the unit
// locks them. A SQLite file is read by SQLite itself: what the archive has
// committed, so never inside a unit that has written. Returns false when
// `row` asked to stop by returning false. Throws db::DbError.
bool forEachScopeRow(db::Connection& connection, DatabaseKind kind, const UnitScope& scope, const TableShape& shape,
                     const ArchiveUnit* unit, const std::function<bool(const Row&)>& row);
// The same, each row in the journal's encoding (as the journal writes it).
bool forEachEncodedScopeRow(db::Connection& connection, DatabaseKind kind, const UnitScope& scope,
                            const TableShape& shape, const ArchiveUnit* unit,
                            const std::function<bool(const EncodedRow&)>& row);

// How many rows the scope holds. Throws db::DbError.
qint64 countScope(db::Connection& connection, DatabaseKind kind, const UnitScope& scope);

// The rows in scope, whole (for small scopes: a command's single row, the
// copy's before-image). Throws db::DbError.
RowSet captureRows(db::Connection& connection, DatabaseKind kind, const UnitScope& scope);
// The same, or nullopt as soon as there are more than maxRows rows.
std::optional<RowSet> captureRowsUpTo(db::Connection& connection, DatabaseKind kind, const UnitScope& scope,
                                      qsizetype maxRows);

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
