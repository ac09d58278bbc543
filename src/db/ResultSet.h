#pragma once

#include "db/Handle.h"

#include <QDateTime>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace tessera::db {

// A number read with the type its column has in the database.
struct TypedNumber {
    // Other: exact numerics (DECIMAL, NUMERIC, money), integers and texts.
    enum class Kind { Null, Single, Double, Other };
    Kind kind = Kind::Null;
    double value = 0; // for Single, exactly the float the column holds; else the nearest double
    bool readable = true; // false: a text that is no number (value 0)

    bool isNull() const noexcept { return kind == Kind::Null; }
};

// A forward-only, read-only result set. Columns are read by position (from 0)
// as the driver's text, as a date value or as a typed number; NULL is told
// apart in each form.
//
// Rows come from the driver a block at a time into buffers bound per column
// (one driver call per few hundred rows rather than one per cell), whenever
// every column has a bounded size and the driver takes row arrays; long
// texts and drivers without row arrays are read a cell at a time.
class ResultSet {
public:
    explicit ResultSet(StatementHandle statement);
    ResultSet(ResultSet&&) noexcept = default;
    ResultSet& operator=(ResultSet&&) noexcept = default;

    // Moves to the next row; false at the end. Throws DbError.
    bool next();

    // From the next row on, REAL, FLOAT, DOUBLE, DECIMAL and NUMERIC columns
    // are read as binary doubles converted by the driver, not as its display
    // text (which may round: REAL with seven significant digits). Their text
    // is then the shortest one that reads back as the same number. Meant for
    // copying values; the record list keeps the driver's own text. Set it
    // before the first next().
    void readFloatsAsNumbers(bool on = true) { m_floatsAsNumbers = on; }
    // Integer columns too, when rows come a block at a time (boundInteger).
    // Not for SQLite: its driver turns a text that a typeless column holds
    // into the number the text starts with.
    void readIntegersAsNumbers(bool on = true) { m_integersAsNumbers = on; }
    // Date and date-time columns too, as the driver's timestamp values (see
    // boundDateTime). Not for SQLite either: its driver would make a
    // timestamp out of any text, where the copy must refuse a text that
    // names no moment.
    void readDateTimesAsValues(bool on = true) { m_dateTimesAsValues = on; }
    // Whether rows come a block at a time (known after the first next()).
    bool fetchesBlocks() const noexcept { return m_blockRows > 0; }

    int columnCount() const noexcept { return int(m_columns.size()); }
    QString columnName(int column) const;
    // The column's SQL data type as the driver describes it (SQL_INTEGER, ...).
    SQLSMALLINT columnType(int column) const { return m_columns.at(size_t(column)).sqlType; }

    std::optional<QString> text(int column);
    // The text, or empty text for NULL.
    QString string(int column) { return text(column).value_or(QString()); }
    // A date or date-time column as a date-time value (date only: midnight).
    std::optional<QDateTime> dateTime(int column);
    TypedNumber number(int column);
    // The value of an integer column read as an integer (see
    // readIntegersAsNumbers); nullopt for NULL and for values read as text.
    std::optional<qint64> boundInteger(int column);
    // The value of a date or date-time column read as the driver's timestamp
    // (see readDateTimesAsValues), as a wall-clock reading (Qt::UTC) with its
    // milliseconds; nullopt for NULL and for values read as text.
    std::optional<QDateTime> boundDateTime(int column);

    void close() noexcept { m_statement.reset(); }

private:
    struct ColumnInfo {
        QString name;
        SQLSMALLINT sqlType = 0;
        SQLULEN size = 0; // characters or digits, as the driver describes it
    };
    // A column's buffers for a block of rows.
    struct BoundColumn {
        SQLSMALLINT cType = 0; // SQL_C_WCHAR, or SQL_C_DOUBLE / SQL_C_SBIGINT / SQL_C_TYPE_TIMESTAMP for values
        SQLLEN width = 0;      // bytes a row
        std::vector<char> data;
        std::vector<SQLLEN> indicators;
    };
    // A cell holds its text, or a number whose text is made when asked.
    enum class Held : quint8 { Text, Real, Integer, Moment };
    struct Cell {
        QString text;
        double number = 0;
        qint64 integer = 0;
        QDateTime moment;
        bool null = true;
        Held held = Held::Text;
    };

    const Cell& cell(int column);
    void fetchRow();
    void takeBoundRow();
    bool bindBlock();
    void unbindBlock() noexcept;
    bool isFloating(size_t column) const;
    void readBinary(size_t column, Cell& c);

    // Declared before the handle: the buffers outlive every use the driver
    // makes of them.
    std::vector<BoundColumn> m_bound;
    SQLULEN m_blockRows = 0; // rows a fetch when bound; 0: a cell at a time
    // On the heap: the driver keeps its address, and a result set may move.
    std::unique_ptr<SQLULEN> m_rowsInBlock = std::make_unique<SQLULEN>(0);
    SQLULEN m_rowInBlock = 0;
    bool m_started = false;
    StatementHandle m_statement;
    std::vector<ColumnInfo> m_columns;
    std::vector<Cell> m_row;
    bool m_rowFetched = false;
    bool m_floatsAsNumbers = false;
    bool m_integersAsNumbers = false;
    bool m_dateTimesAsValues = false;
    std::vector<SQLWCHAR> m_buffer;
};

// Parses the ODBC canonical forms "yyyy-mm-dd", "yyyy-mm-dd hh:mm:ss[.fff]" and
// "hh:mm:ss" (the latter on 1899-12-30). Invalid text gives nullopt.
std::optional<QDateTime> parseOdbcDateTime(const QString& text);

} // namespace tessera::db
