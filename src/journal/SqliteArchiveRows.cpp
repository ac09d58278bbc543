#include "journal/SqliteArchiveRows.h"

#include "db/Connection.h"
#include "db/DbError.h"
#include "db/ResultSet.h"
#include "journal/SqliteDatabase.h"

#include <sqlite3.h>

namespace tessera::journal {

namespace {

// A writer of the archive holds its lock only while it commits.
constexpr int kBusyTimeoutMs = 10000;

Value valueOf(const SqliteStatement& row, int column, ValueType type)
{
    switch (row.storageClass(column)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER:
        if (type == ValueType::Integer)
            return row.integer(column);
        break;
    case SQLITE_FLOAT:
        if (type == ValueType::Real || type == ValueType::RealSingle)
            return row.real(column);
        break;
    default:
        break;
    }
    return valueOfText(row.text(column), type);
}

} // namespace

std::optional<QString> sqliteFileOf(db::Connection& connection)
{
    db::ResultSet databases = connection.query(QStringLiteral("PRAGMA database_list"));
    while (databases.next())
        if (databases.text(1).value_or(QString()) == QLatin1String("main")) {
            const QString file = databases.text(2).value_or(QString());
            return file.isEmpty() ? std::nullopt : std::optional<QString>(file);
        }
    return std::nullopt;
}

bool readSqliteRows(const QString& file, const QString& selectSql, RowSet& set, qsizetype maxRows)
{
    try {
        SqliteDatabase archive = SqliteDatabase::openForReading(file, kBusyTimeoutMs);
        SqliteStatement select = archive.prepare(selectSql);
        const int columns = int(set.types.size());
        while (select.step()) {
            if (maxRows >= 0 && qsizetype(set.rows.size()) >= maxRows)
                return false;
            Row row;
            row.reserve(size_t(columns));
            for (int c = 0; c < columns; ++c)
                row.push_back(valueOf(select, c, set.types[size_t(c)]));
            set.rows.push_back(std::move(row));
        }
        return true;
    } catch (const SqliteError& error) {
        throw db::DbError(QStringLiteral("HY000"), error.code(), error.message());
    }
}

} // namespace tessera::journal
