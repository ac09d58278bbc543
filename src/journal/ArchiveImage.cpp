#include "journal/ArchiveImage.h"

#include "db/Connection.h"
#include "db/ResultSet.h"
#include "journal/ArchiveUnit.h"
#include "journal/SqliteArchiveRows.h"

#include <sqlext.h>

#include <algorithm>
#include <charconv>

namespace tessera::journal {

namespace {

ValueType columnTypeOf(SQLSMALLINT sqlType)
{
    switch (sqlType) {
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
    case SQL_BIT:
        return ValueType::Integer;
    case SQL_REAL:
        return ValueType::RealSingle;
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return ValueType::Real;
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATETIME: // SQL_DATE of ODBC 2
    case SQL_TIME:
    case SQL_TIMESTAMP:
        return ValueType::DateTime;
    default:
        return ValueType::Text; // NUMERIC and DECIMAL too: their text is exact
    }
}

Value readValue(db::ResultSet& rs, int column, ValueType type)
{
    if (type == ValueType::Integer)
        if (const std::optional<qint64> integer = rs.boundInteger(column))
            return *integer;
    if (type == ValueType::Real || type == ValueType::RealSingle) {
        const db::TypedNumber n = rs.number(column);
        if (n.isNull())
            return {};
        return n.value;
    }
    auto text = rs.text(column);
    return text ? valueOfText(std::move(*text), type) : Value();
}

QString shortestText(double v)
{
    char digits[32];
    const auto written = std::to_chars(digits, digits + sizeof digits, v);
    return QString::fromLatin1(digits, written.ptr - digits);
}

// 'yyyy-mm-dd hh:mm:ss[.zzz]' written by hand: a day of samples is 86,400
// of them, and QDateTime::toString parses its format each time.
QString momentText(const QDateTime& t)
{
    const QDate d = t.date();
    const QTime time = t.time();
    char text[24];
    auto put = [&text](int at, int value, int digits) {
        for (int i = digits - 1; i >= 0; --i, value /= 10)
            text[at + i] = char('0' + value % 10);
    };
    put(0, d.year(), 4);
    text[4] = text[7] = '-';
    put(5, d.month(), 2);
    put(8, d.day(), 2);
    text[10] = ' ';
    put(11, time.hour(), 2);
    text[13] = text[16] = ':';
    put(14, time.minute(), 2);
    put(17, time.second(), 2);
    if (time.msec() == 0)
        return QString::fromLatin1(text, 19);
    text[19] = '.';
    put(20, time.msec(), 3);
    return QString::fromLatin1(text, 23);
}

Value conformed(const db::Value& v, ValueType type)
{
    if (std::holds_alternative<std::monostate>(v))
        return {};
    switch (type) {
    case ValueType::Integer:
        if (auto* i = std::get_if<qint64>(&v))
            return *i;
        if (auto* d = std::get_if<double>(&v))
            return qint64(*d);
        if (auto* s = std::get_if<QString>(&v)) {
            bool ok = false;
            const qint64 i = s->trimmed().toLongLong(&ok);
            return ok ? Value(i) : Value(*s);
        }
        break;
    case ValueType::Real:
    case ValueType::RealSingle: {
        double d = 0;
        if (auto* i = std::get_if<qint64>(&v))
            d = double(*i);
        else if (auto* r = std::get_if<double>(&v))
            d = *r;
        else if (auto* s = std::get_if<QString>(&v))
            d = s->trimmed().toDouble();
        return type == ValueType::RealSingle ? double(float(d)) : d;
    }
    case ValueType::DateTime:
        if (auto* t = std::get_if<QDateTime>(&v))
            return DateTimeText {momentText(*t)};
        if (auto* s = std::get_if<QString>(&v))
            return DateTimeText {*s};
        break;
    default:
        break;
    }
    if (auto* s = std::get_if<QString>(&v))
        return *s;
    if (auto* i = std::get_if<qint64>(&v))
        return QString::number(*i);
    if (auto* d = std::get_if<double>(&v))
        return shortestText(*d);
    return momentText(std::get<QDateTime>(v));
}

} // namespace

TableShape shapeOf(db::Connection& connection, const QString& table)
{
    // No row: a SQLite driver would read every row when the query runs.
    db::ResultSet rs = connection.query(QStringLiteral("SELECT * FROM %1 WHERE 0=1").arg(table));
    TableShape shape;
    for (int c = 0; c < rs.columnCount(); ++c) {
        shape.columns << rs.columnName(c);
        shape.types.push_back(columnTypeOf(rs.columnType(c)));
    }
    return shape;
}

bool forEachEncodedScopeRow(db::Connection& connection, DatabaseKind kind, const UnitScope& scope,
                            const TableShape& shape, const ArchiveUnit* unit,
                            const std::function<bool(const EncodedRow&)>& row)
{
    if (kind == DatabaseKind::SQLite) {
        // SQLite itself hands out a row at a time: the scope in one pass,
        // not a scan of the table for each part.
        if (const std::optional<QString> file = sqliteFileOf(connection)) {
            for (const QString& condition : scopeConditions(kind, scope))
                if (!readSqliteRows(*file, QStringLiteral("SELECT * FROM %1 WHERE %2").arg(scope.table, condition),
                                    shape.types, row))
                    return false;
            return true;
        }
    }
    const int columns = int(shape.types.size());
    EncodedRow encoded;
    for (const QString& condition : readingConditions(kind, scope)) {
        db::ResultSet rs = connection.query(
            unit ? unit->lockingSelect(scope.table, condition)
                 : QStringLiteral("SELECT * FROM %1 WHERE %2").arg(scope.table, condition));
        rs.readFloatsAsNumbers();
        rs.readIntegersAsNumbers(kind != DatabaseKind::SQLite);
        while (rs.next()) {
            encoded.clear();
            for (int c = 0; c < columns; ++c)
                encoded.append(c < rs.columnCount() ? readValue(rs, c, shape.types[size_t(c)]) : Value());
            if (!row(encoded))
                return false;
        }
    }
    return true;
}

bool forEachScopeRow(db::Connection& connection, DatabaseKind kind, const UnitScope& scope, const TableShape& shape,
                     const ArchiveUnit* unit, const std::function<bool(const Row&)>& row)
{
    return forEachEncodedScopeRow(connection, kind, scope, shape, unit,
                                  [&row](const EncodedRow& encoded) { return row(encoded.decoded()); });
}

qint64 countScope(db::Connection& connection, DatabaseKind kind, const UnitScope& scope)
{
    qint64 total = 0;
    for (const QString& condition : scopeConditions(kind, scope)) {
        db::ResultSet rs =
            connection.query(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2").arg(scope.table, condition));
        if (rs.next())
            total += rs.string(0).trimmed().toLongLong();
    }
    return total;
}

RowSet captureRows(db::Connection& connection, DatabaseKind kind, const UnitScope& scope)
{
    return *captureRowsUpTo(connection, kind, scope, -1);
}

std::optional<RowSet> captureRowsUpTo(db::Connection& connection, DatabaseKind kind, const UnitScope& scope,
                                      qsizetype maxRows)
{
    const TableShape shape = shapeOf(connection, scope.table);
    RowSet set{shape.columns, shape.types, {}};
    const bool all = forEachScopeRow(connection, kind, scope, shape, nullptr, [&set, maxRows](const Row& row) {
        if (maxRows >= 0 && qsizetype(set.rows.size()) >= maxRows)
            return false;
        set.rows.push_back(row);
        return true;
    });
    if (!all)
        return std::nullopt;
    return set;
}

namespace {

void conformInto(Row& row, const std::vector<ValueType>& types, const std::vector<db::Value>& values)
{
    row.resize(types.size());
    for (size_t c = 0; c < types.size(); ++c)
        row[c] = c < values.size() ? conformed(values[c], types[c]) : Value();
}

} // namespace

AfterState afterStateOfWritten(const RowSet& shape, const std::vector<std::vector<db::Value>>& written,
                               qsizetype keepAtMost)
{
    AfterState after;
    const bool keep = qsizetype(written.size()) <= keepAtMost;
    if (keep)
        after.rows.emplace();
    RowDigest digest;
    Row row;
    for (const auto& values : written) {
        conformInto(row, shape.types, values);
        digest.add(row);
        if (keep)
            after.rows->push_back(row);
    }
    after.rowCount = digest.count();
    after.digest = digest.result();
    return after;
}

db::Value parameterOf(const Value& value, DatabaseKind kind)
{
    if (auto* i = std::get_if<qint64>(&value))
        return *i;
    if (auto* d = std::get_if<double>(&value))
        return *d;
    if (auto* s = std::get_if<QString>(&value))
        return *s;
    if (auto* t = std::get_if<DateTimeText>(&value)) {
        switch (kind) {
        case DatabaseKind::SQLite:
        case DatabaseKind::PostgreSQL:
        case DatabaseKind::MySql:
            return t->text;
        default:
            if (auto parsed = db::parseOdbcDateTime(t->text))
                return *parsed;
            return t->text;
        }
    }
    return std::monostate();
}

QString insertSql(const QString& table, const QStringList& columns)
{
    QStringList marks;
    for (qsizetype i = 0; i < columns.size(); ++i)
        marks << QStringLiteral("?");
    return QStringLiteral("INSERT INTO %1(%2) VALUES(%3)")
        .arg(table, columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
}

std::vector<Row> withColumnsSet(const RowSet& rows, const QStringList& columns, const Value& value)
{
    std::vector<size_t> positions;
    for (qsizetype c = 0; c < rows.columns.size(); ++c)
        if (columns.contains(rows.columns[c], Qt::CaseInsensitive))
            positions.push_back(size_t(c));
    std::vector<Row> out = rows.rows;
    for (Row& row : out)
        for (size_t c : positions)
            row[c] = value;
    return out;
}

} // namespace tessera::journal
