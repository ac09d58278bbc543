#include "journal/SqliteArchiveRows.h"

#include "db/Connection.h"
#include "db/DbError.h"
#include "db/InProcessSqlite.h"
#include "db/ResultSet.h"
#include "journal/JournalStorage.h"

#include <SQLiteCpp/Database.h>
#include <sqlite3.h>

namespace tessera::journal {

namespace {

// A writer of the archive holds its lock only while it commits.
constexpr int kBusyTimeoutMs = 10000;

Value valueOf(const SQLite::Column& column, ValueType type)
{
    switch (column.getType()) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER:
        if (type == ValueType::Integer)
            return qint64(column.getInt64());
        break;
    case SQLITE_FLOAT:
        if (type == ValueType::Real || type == ValueType::RealSingle)
            return column.getDouble();
        break;
    default:
        break;
    }
    return valueOfText(textOf(column), type);
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

bool readSqliteRows(const QString& file, const QString& selectSql, const std::vector<ValueType>& types,
                    const std::function<bool(const Row&)>& row)
{
    try {
        db::prepareInProcessSqlite();
        SQLite::Database archive(file.toStdString(), SQLite::OPEN_READONLY, kBusyTimeoutMs);
        SQLite::Statement select(archive, selectSql.toStdString());
        const int columns = int(types.size());
        Row values(static_cast<size_t>(columns));
        while (select.executeStep()) {
            for (int c = 0; c < columns; ++c)
                values[size_t(c)] = valueOf(select.getColumn(c), types[size_t(c)]);
            if (!row(values))
                return false;
        }
        return true;
    } catch (const SQLite::Exception& error) {
        throw db::DbError(QStringLiteral("HY000"), error.getErrorCode(), messageOf(error));
    }
}

} // namespace tessera::journal
