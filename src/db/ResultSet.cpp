#include "db/ResultSet.h"

#include "db/WideText.h"

#include <sqlext.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>

namespace tessera::db {

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
    const SQLRETURN rc = SQLFetch(m_statement.get());
    if (rc == SQL_NO_DATA)
        return false;
    check(rc, SQL_HANDLE_STMT, m_statement.get(), "fetching a row");
    m_rowFetched = false;
    return true;
}

// Reads every column of the current row as text once. Drivers differ in
// whether SQLGetData may go back to an earlier column or read one twice; the
// cache makes any order of access work on all of them.
void ResultSet::fetchRow()
{
    SQLHSTMT stmt = m_statement.get();
    for (size_t i = 0; i < m_columns.size(); ++i) {
        Cell& c = m_row[i];
        c.text.clear();
        c.null = false;
        c.binary = false;
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
    const SQLSMALLINT type = m_columns[column].sqlType;
    return type == SQL_REAL || type == SQL_FLOAT || type == SQL_DOUBLE;
}

void ResultSet::readBinary(size_t column, Cell& c)
{
    SQLHSTMT stmt = m_statement.get();
    SQLLEN indicator = 0;
    char digits[64];
    std::to_chars_result written{};
    if (m_columns[column].sqlType == SQL_REAL) {
        float value = 0;
        check(SQLGetData(stmt, SQLUSMALLINT(column + 1), SQL_C_FLOAT, &value, sizeof value, &indicator),
              SQL_HANDLE_STMT, stmt, "reading a column");
        c.number = value;
        written = std::to_chars(digits, digits + sizeof digits, value);
    } else {
        double value = 0;
        check(SQLGetData(stmt, SQLUSMALLINT(column + 1), SQL_C_DOUBLE, &value, sizeof value, &indicator),
              SQL_HANDLE_STMT, stmt, "reading a column");
        c.number = value;
        written = std::to_chars(digits, digits + sizeof digits, value);
    }
    c.null = indicator == SQL_NULL_DATA;
    c.binary = !c.null;
    if (c.binary)
        c.text = QString::fromLatin1(digits, written.ptr - digits);
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
    return c.text;
}

std::optional<QDateTime> ResultSet::dateTime(int column)
{
    const Cell& c = cell(column);
    if (c.null)
        return std::nullopt;
    return parseOdbcDateTime(c.text);
}

TypedNumber ResultSet::number(int column)
{
    const Cell& c = cell(column);
    if (c.null)
        return {};
    bool ok = c.binary;
    const double value = c.binary ? c.number : c.text.trimmed().toDouble(&ok);
    switch (m_columns[size_t(column)].sqlType) {
    case SQL_REAL:
        return {TypedNumber::Kind::Single, ok ? double(float(value)) : 0.0};
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return {TypedNumber::Kind::Double, ok ? value : 0.0};
    default:
        return {TypedNumber::Kind::Other, ok ? value : 0.0};
    }
}

std::optional<QDateTime> parseOdbcDateTime(const QString& text)
{
    const QString t = text.trimmed();
    auto number = [&](qsizetype from, qsizetype length, int& out) {
        if (from + length > t.size())
            return false;
        bool ok = false;
        out = t.mid(from, length).toInt(&ok);
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
