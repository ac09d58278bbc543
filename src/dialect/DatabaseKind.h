#pragma once

#include <QString>

#include <optional>

namespace tessera {

// The database behind a data source. The values are stored and compared as
// integers (3 is the copy dialog's "none of these").
enum class DatabaseKind : int {
    SqlServer = 0,
    Access = 1,
    Oracle = 2,
    None = 3,
    SQLite = 4,
    PostgreSQL = 5,
    MySql = 6,
};

// The kind selected by an ODBC driver name: exactly "SQL Server", exactly
// "Microsoft Access Driver (*.mdb)", anything containing "Oracle" (these
// three case-sensitive and tried first), then, in any letter case, names
// containing "SQLite"; "PostgreSQL" or "psqlodbc"; "MariaDB" or "MySQL".
// nullopt for any other driver.
std::optional<DatabaseKind> kindOfDriverName(const QString& driverName);

// The DSNTYPE text of the copy's data sources ("SQL SERVER", "ACCESS", ...);
// empty for None.
QString dsnTypeText(DatabaseKind kind);
// The reverse; blanks around and letter case do not matter.
std::optional<DatabaseKind> kindOfDsnTypeText(const QString& text);

// A date (yyyy-mm-dd), time (hh:mm:ss) or both separated by a blank as a
// literal of the kind: '...' for SQL Server, #...# for Access, TO_DATE(...)
// for Oracle; SQLite, PostgreSQL and MySQL get zero-padded text, a time
// stored as the date-time 1899-12-30 hh:mm:ss. A text "holds" '-' or ':'
// when the character first occurs after position 0. A single quote inside
// is doubled so that no text can leave the literal. Empty for None.
QString FormatDateLiteral(DatabaseKind kind, const QString& text);

// A text as an SQL string literal: between single quotes, a quote inside
// doubled. The same for every kind (MySQL connections run without backslash
// escapes).
QString quotedSqlText(const QString& text);

// SQL for the date-time column plus a number of days (which may be negative).
QString addDaysExpression(DatabaseKind kind, const QString& column, int days);

// A query that returns a row exactly when the table exists.
QString tableProbeSql(DatabaseKind kind, const QString& tableName);

} // namespace tessera
