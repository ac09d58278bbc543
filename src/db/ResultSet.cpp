#include "db/ResultSet.h"

#include "db/WideText.h"

#include <sqlext.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace tessera::db {

namespace {

// A block's buffers stay within about this many bytes.
constexpr SQLLEN kBlockBytes = 1 << 20;
constexpr SQLULEN kMaxBlockRows = 1024;
// Longer texts (and columns of unknown size) are read a cell at a time.
constexpr SQLULEN kMaxBoundCharacters = 4000;

bool isFloatingType(SQLSMALLINT type)
{
    return type == SQL_REAL || type == SQL_FLOAT || type == SQL_DOUBLE;
}

// DECIMAL and NUMERIC of any scale (SQL Server's money and Oracle's NUMBER
// among them): the driver converts them to the nearest double.
bool isExactNumericType(SQLSMALLINT type)
{
    return type == SQL_DECIMAL || type == SQL_NUMERIC;
}

bool isReadAsDouble(SQLSMALLINT type)
{
    return isFloatingType(type) || isExactNumericType(type);
}

bool isIntegerType(SQLSMALLINT type)
{
    return type == SQL_TINYINT || type == SQL_SMALLINT || type == SQL_INTEGER || type == SQL_BIGINT;
}

bool isDateTimeType(SQLSMALLINT type)
{
    return type == SQL_TYPE_TIMESTAMP || type == SQL_TYPE_DATE || type == SQL_TIMESTAMP || type == SQL_DATE;
}

QDateTime momentOf(const SQL_TIMESTAMP_STRUCT& t)
{
    return QDateTime(
        QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second, int(t.fraction / 1000000)), Qt::UTC);
}

QString numberText(double value, bool single)
{
    char digits[64];
    const std::to_chars_result written = single ? std::to_chars(digits, digits + sizeof digits, float(value))
                                                : std::to_chars(digits, digits + sizeof digits, value);
    return QString::fromLatin1(digits, written.ptr - digits);
}

} // namespace

ResultSet::ResultSet(StatementHandle statement)
    : m_statement(std::move(statement))
    , m_buffer(512)
{
    SQLSMALLINT count = 0;
    check(SQLNumResultCols(m_statement.get(), &count), SQL_HANDLE_STMT, m_statement.get(), "counting columns");
    m_columns.resize(size_t(count));
    m_row.resize(size_t(count));
    for (SQLUSMALLINT i = 0; i < SQLUSMALLINT(count); ++i) {
        SQLWCHAR name[256] = {};
        SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        check(SQLDescribeColW(m_statement.get(), SQLUSMALLINT(i + 1), name, SQLSMALLINT(std::size(name)), &nameLength,
                              &type, &size, &digits, &nullable),
              SQL_HANDLE_STMT, m_statement.get(), "describing a column");
        m_columns[i].name = fromWide(name, std::min<qsizetype>(nameLength, qsizetype(std::size(name)) - 1));
        m_columns[i].sqlType = type;
        m_columns[i].size = size;
    }
}

QString ResultSet::columnName(int column) const
{
    return m_columns.at(size_t(column)).name;
}

bool ResultSet::next()
{
    if (!m_statement || m_columns.empty())
        return false;
    if (!m_started) {
        m_started = true;
        if (!bindBlock())
            unbindBlock();
    }
    m_rowFetched = false;
    if (m_blockRows && ++m_rowInBlock < *m_rowsInBlock)
        return true;
    const SQLRETURN rc = SQLFetch(m_statement.get());
    if (rc == SQL_NO_DATA)
        return false;
    check(rc, SQL_HANDLE_STMT, m_statement.get(), "fetching a row");
    m_rowInBlock = 0;
    return !m_blockRows || *m_rowsInBlock > 0;
}

// Binds every column to a buffer of a block of rows; false (and nothing
// bound for good) when a column's size is unknown or too large, or the driver
// refuses row arrays or a binding.
bool ResultSet::bindBlock()
{
    SQLHSTMT stmt = m_statement.get();
    SQLLEN rowBytes = 0;
    m_bound.resize(m_columns.size());
    for (size_t i = 0; i < m_columns.size(); ++i) {
        const ColumnInfo& column = m_columns[i];
        BoundColumn& b = m_bound[i];
        if (m_floatsAsNumbers && isReadAsDouble(column.sqlType)) {
            // Doubles also for single-precision columns, rounded after: MariaDB's
            // driver (3.1) steps through a bound float array 8 bytes a row.
            b.cType = SQL_C_DOUBLE;
            b.width = SQLLEN(sizeof(double));
        } else if (m_integersAsNumbers && isIntegerType(column.sqlType)) {
            b.cType = SQL_C_SBIGINT;
            b.width = SQLLEN(sizeof(qint64));
        } else if (m_dateTimesAsValues && isDateTimeType(column.sqlType)) {
            b.cType = SQL_C_TYPE_TIMESTAMP;
            b.width = SQLLEN(sizeof(SQL_TIMESTAMP_STRUCT));
        } else {
            if (column.size == 0 || column.size > kMaxBoundCharacters)
                return false;
            // Room for what drivers count in bytes rather than characters,
            // for signs, decimal points and fractions, and the terminator.
            const SQLLEN characters = std::max<SQLLEN>(SQLLEN(column.size) * 2, 64) + 1;
            b.cType = SQL_C_WCHAR;
            b.width = characters * SQLLEN(sizeof(SQLWCHAR));
        }
        rowBytes += b.width + SQLLEN(sizeof(SQLLEN));
    }
    const SQLULEN rows = std::clamp<SQLULEN>(SQLULEN(kBlockBytes / std::max<SQLLEN>(rowBytes, 1)), 1, kMaxBlockRows);
    if (!SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, SQLPOINTER(SQL_BIND_BY_COLUMN), 0))
        || !SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, SQLPOINTER(rows), 0))
        || !SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, m_rowsInBlock.get(), 0)))
        return false;
    // A driver may have taken a smaller array than asked for.
    SQLULEN taken = 0;
    if (!SQL_SUCCEEDED(SQLGetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, &taken, 0, nullptr)) || taken < 1 || taken > rows)
        return false;
    for (size_t i = 0; i < m_bound.size(); ++i) {
        BoundColumn& b = m_bound[i];
        b.data.assign(size_t(b.width) * taken, 0);
        b.indicators.assign(taken, 0);
        if (!SQL_SUCCEEDED(SQLBindCol(stmt, SQLUSMALLINT(i + 1), b.cType, b.data.data(), b.width, b.indicators.data())))
            return false;
    }
    m_blockRows = taken;
    return true;
}

void ResultSet::unbindBlock() noexcept
{
    SQLHSTMT stmt = m_statement.get();
    SQLFreeStmt(stmt, SQL_UNBIND);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, SQLPOINTER(SQLULEN(1)), 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
    m_bound.clear();
    m_blockRows = 0;
}

// The current row from the block's buffers.
void ResultSet::takeBoundRow()
{
    for (size_t i = 0; i < m_bound.size(); ++i) {
        const BoundColumn& b = m_bound[i];
        Cell& c = m_row[i];
        const SQLLEN indicator = b.indicators[m_rowInBlock];
        const char* value = b.data.data() + size_t(b.width) * m_rowInBlock;
        c.null = indicator == SQL_NULL_DATA;
        c.held = Held::Text;
        c.text.clear();
        if (c.null)
            continue;
        if (b.cType == SQL_C_DOUBLE) {
            const bool single = m_columns[i].sqlType == SQL_REAL;
            double number = 0;
            std::memcpy(&number, value, sizeof number);
            c.number = single ? double(float(number)) : number;
            c.held = Held::Real;
            continue;
        }
        if (b.cType == SQL_C_SBIGINT) {
            std::memcpy(&c.integer, value, sizeof c.integer);
            c.held = Held::Integer;
            continue;
        }
        if (b.cType == SQL_C_TYPE_TIMESTAMP) {
            SQL_TIMESTAMP_STRUCT stamp{};
            std::memcpy(&stamp, value, sizeof stamp);
            c.moment = momentOf(stamp);
            c.held = Held::Moment;
            continue;
        }
        const auto* wide = reinterpret_cast<const SQLWCHAR*>(value);
        const qsizetype capacity = qsizetype(b.width / SQLLEN(sizeof(SQLWCHAR))) - 1;
        if (indicator == SQL_NO_TOTAL || indicator / SQLLEN(sizeof(SQLWCHAR)) > capacity)
            throw DbError(QStringLiteral("01004"), 0,
                          QStringLiteral("column %1 holds a value longer than its declared size")
                              .arg(m_columns[i].name));
        // As in fetchRow: the terminator where the driver under-reports.
        const qsizetype length =
            std::max<qsizetype>(qsizetype(indicator / SQLLEN(sizeof(SQLWCHAR))), wideLength(wide, capacity));
        c.text = fromWide(wide, std::min(length, capacity));
    }
    m_rowFetched = true;
}

// Reads every column of the current row as text once. Drivers differ in
// whether SQLGetData may go back to an earlier column or read one twice; the
// cache makes any order of access work on all of them.
void ResultSet::fetchRow()
{
    if (m_blockRows) {
        takeBoundRow();
        return;
    }
    SQLHSTMT stmt = m_statement.get();
    for (size_t i = 0; i < m_columns.size(); ++i) {
        Cell& c = m_row[i];
        c.text.clear();
        c.null = false;
        c.held = Held::Text;
        if (m_floatsAsNumbers && isFloating(i)) {
            readBinary(i, c);
            continue;
        }
        for (;;) {
            SQLLEN indicator = 0;
            const SQLRETURN rc = SQLGetData(stmt, SQLUSMALLINT(i + 1), SQL_C_WCHAR, m_buffer.data(),
                                            SQLLEN(m_buffer.size() * sizeof(SQLWCHAR)), &indicator);
            if (rc == SQL_NO_DATA)
                break;
            check(rc, SQL_HANDLE_STMT, stmt, "reading a column");
            if (indicator == SQL_NULL_DATA) {
                c.null = true;
                break;
            }
            const qsizetype capacity = qsizetype(m_buffer.size()) - 1;
            // MariaDB's driver (3.1) under-reports the length of some Chinese
            // texts ("城北变电站" as 4 characters) while writing them whole and
            // NUL-terminated: trust the terminator where it lies further out,
            // and the driver's truncation warning with a full buffer.
            const qsizetype terminated = wideLength(m_buffer.data(), capacity);
            const bool truncated = indicator == SQL_NO_TOTAL || indicator / SQLLEN(sizeof(SQLWCHAR)) > capacity
                || (rc == SQL_SUCCESS_WITH_INFO && terminated == capacity);
            const qsizetype length = std::max<qsizetype>(qsizetype(indicator / SQLLEN(sizeof(SQLWCHAR))), terminated);
            c.text += fromWide(m_buffer.data(), truncated ? capacity : std::min(length, capacity));
            if (!truncated)
                break;
            if (m_buffer.size() < 65536)
                m_buffer.resize(m_buffer.size() * 2);
        }
    }
    m_rowFetched = true;
}

bool ResultSet::isFloating(size_t column) const
{
    return isReadAsDouble(m_columns[column].sqlType);
}

void ResultSet::readBinary(size_t column, Cell& c)
{
    SQLHSTMT stmt = m_statement.get();
    SQLLEN indicator = 0;
    const bool single = m_columns[column].sqlType == SQL_REAL;
    if (single) {
        float value = 0;
        check(SQLGetData(stmt, SQLUSMALLINT(column + 1), SQL_C_FLOAT, &value, sizeof value, &indicator),
              SQL_HANDLE_STMT, stmt, "reading a column");
        c.number = value;
    } else {
        check(SQLGetData(stmt, SQLUSMALLINT(column + 1), SQL_C_DOUBLE, &c.number, sizeof c.number, &indicator),
              SQL_HANDLE_STMT, stmt, "reading a column");
    }
    c.null = indicator == SQL_NULL_DATA;
    c.held = c.null ? Held::Text : Held::Real;
}

const ResultSet::Cell& ResultSet::cell(int column)
{
    if (column < 0 || size_t(column) >= m_columns.size())
        throw DbError(QStringLiteral("07009"), 0, QStringLiteral("column %1 out of range").arg(column));
    if (!m_rowFetched)
        fetchRow();
    return m_row[size_t(column)];
}

std::optional<QString> ResultSet::text(int column)
{
    const Cell& c = cell(column);
    if (c.null)
        return std::nullopt;
    // Made when asked: a day of samples is mostly read as numbers.
    switch (c.held) {
    case Held::Real:
        return numberText(c.number, m_columns[size_t(column)].sqlType == SQL_REAL);
    case Held::Integer:
        return QString::number(c.integer);
    case Held::Moment:
        return c.moment.time().msec() != 0 ? c.moment.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"))
                                           : c.moment.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    default:
        return c.text;
    }
}

std::optional<QDateTime> ResultSet::boundDateTime(int column)
{
    const Cell& c = cell(column);
    if (c.null || c.held != Held::Moment)
        return std::nullopt;
    return c.moment;
}

std::optional<qint64> ResultSet::boundInteger(int column)
{
    const Cell& c = cell(column);
    if (c.null || c.held != Held::Integer)
        return std::nullopt;
    return c.integer;
}

std::optional<QDateTime> ResultSet::dateTime(int column)
{
    const Cell& c = cell(column);
    if (c.null)
        return std::nullopt;
    if (c.held == Held::Moment)
        return c.moment;
    return parseOdbcDateTime(c.text);
}

TypedNumber ResultSet::number(int column)
{
    const Cell& c = cell(column);
    if (c.null)
        return {};
    bool ok = c.held != Held::Text;
    const double value = c.held == Held::Real      ? c.number
        : c.held == Held::Integer                  ? double(c.integer)
                                                   : c.text.trimmed().toDouble(&ok);
    switch (m_columns[size_t(column)].sqlType) {
    case SQL_REAL:
        return {TypedNumber::Kind::Single, ok ? double(float(value)) : 0.0, ok};
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return {TypedNumber::Kind::Double, ok ? value : 0.0, ok};
    default:
        return {TypedNumber::Kind::Other, ok ? value : 0.0, ok};
    }
}

std::optional<QDateTime> parseOdbcDateTime(const QString& text)
{
    const QString t = text.trimmed();
    auto number = [&](qsizetype from, qsizetype length, int& out) {
        if (from + length > t.size())
            return false;
        bool ok = false;
        out = QStringView(t).mid(from, length).toInt(&ok); // a view: no text made per field
        return ok;
    };
    int y = 1899, mo = 12, d = 30, h = 0, mi = 0, s = 0;
    qsizetype timeAt = -1;
    if (t.size() >= 10 && t[4] == QLatin1Char('-') && t[7] == QLatin1Char('-')) {
        if (!number(0, 4, y) || !number(5, 2, mo) || !number(8, 2, d))
            return std::nullopt;
        if (t.size() > 10)
            timeAt = 11;
    } else {
        timeAt = 0;
    }
    if (timeAt >= 0) {
        if (t.size() < timeAt + 8 || t[timeAt + 2] != QLatin1Char(':') || t[timeAt + 5] != QLatin1Char(':'))
            return std::nullopt;
        if (!number(timeAt, 2, h) || !number(timeAt + 3, 2, mi) || !number(timeAt + 6, 2, s))
            return std::nullopt;
    }
    const QDate date(y, mo, d);
    const QTime time(h, mi, s);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, Qt::UTC); // wall-clock value: no zone, no daylight-saving gaps
}

} // namespace tessera::db
