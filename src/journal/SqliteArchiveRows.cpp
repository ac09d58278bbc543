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

bool isAscii(const char* text, int size)
{
    for (int i = 0; i < size; ++i)
        if (quint8(text[i]) >= 0x80)
            return false;
    return true;
}

// One value into the encoding: straight from SQLite's bytes where the
// stored class is what the column's type keeps, as valueOf otherwise.
void appendValue(EncodedRow& row, const SQLite::Column& column, ValueType type);

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

void appendValue(EncodedRow& row, const SQLite::Column& column, ValueType type)
{
    const int stored = column.getType();
    if (stored == SQLITE_TEXT && (type == ValueType::DateTime || type == ValueType::Text)) {
        const char* text = column.getText("");
        const int size = column.getBytes();
        // Only ASCII for sure reads back as the same bytes through a QString.
        if (isAscii(text, size)) {
            row.appendUtf8(type, text, size);
            return;
        }
    }
    row.append(valueOf(column, type));
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
                    const std::function<bool(const EncodedRow&)>& row)
{
    try {
        db::prepareInProcessSqlite();
        // One thread's own connection: no mutex around each of its calls.
        SQLite::Database archive(file.toStdString(), SQLite::OPEN_READONLY | SQLite::OPEN_NOMUTEX, kBusyTimeoutMs);
        SQLite::Statement select(archive, selectSql.toStdString());
        const int columns = int(types.size());
        EncodedRow encoded;
        while (select.executeStep()) {
            encoded.clear();
            for (int c = 0; c < columns; ++c)
                appendValue(encoded, select.getColumn(c), types[size_t(c)]);
            if (!row(encoded))
                return false;
        }
        return true;
    } catch (const SQLite::Exception& error) {
        throw db::DbError(QStringLiteral("HY000"), error.getErrorCode(), messageOf(error));
    }
}

} // namespace tessera::journal
