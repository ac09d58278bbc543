#include "journal/SqliteArchiveRows.h"

#include "db/Connection.h"
#include "db/DbError.h"
#include "db/InProcessSqlite.h"
#include "db/ResultSet.h"
#include "journal/JournalStorage.h"

#include <SQLiteCpp/Database.h>
#include <sqlite3.h>

#include <memory>

namespace tessera::journal {

namespace {

// A writer of the archive holds its lock only while it commits.
constexpr int kBusyTimeoutMs = 10000;

bool isAscii(const unsigned char* text, int size)
{
    for (int i = 0; i < size; ++i)
        if (text[i] >= 0x80)
            return false;
    return true;
}

// The statement stepped row by row through SQLite's own calls: SQLiteCpp's
// Column shares the statement's ownership, an atomic count for each of the
// millions of values a day holds.
using RawStatement = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;

Value valueOf(sqlite3_stmt* row, int column, ValueType type)
{
    switch (sqlite3_column_type(row, column)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER:
        if (type == ValueType::Integer)
            return qint64(sqlite3_column_int64(row, column));
        break;
    case SQLITE_FLOAT:
        if (type == ValueType::Real || type == ValueType::RealSingle)
            return sqlite3_column_double(row, column);
        break;
    default:
        break;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(row, column));
    return valueOfText(QString::fromUtf8(text, sqlite3_column_bytes(row, column)), type);
}

// One value into the encoding: straight from SQLite's bytes where the
// stored class is what the column's type keeps, as valueOf otherwise.
void appendValue(EncodedRow& encoded, sqlite3_stmt* row, int column, ValueType type)
{
    const int stored = sqlite3_column_type(row, column);
    if (stored == SQLITE_TEXT && (type == ValueType::DateTime || type == ValueType::Text)) {
        const unsigned char* text = sqlite3_column_text(row, column);
        const int size = sqlite3_column_bytes(row, column);
        // Only ASCII for sure reads back as the same bytes through a QString.
        if (isAscii(text, size)) {
            encoded.appendUtf8(type, reinterpret_cast<const char*>(text), size);
            return;
        }
    }
    encoded.append(valueOf(row, column, type));
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
        sqlite3_stmt* prepared = nullptr;
        const QByteArray sql = selectSql.toUtf8();
        archive.check(sqlite3_prepare_v2(archive.getHandle(), sql.constData(), int(sql.size()), &prepared, nullptr));
        RawStatement select(prepared, &sqlite3_finalize);
        const int columns = int(types.size());
        EncodedRow encoded;
        for (;;) {
            const int rc = sqlite3_step(select.get());
            if (rc == SQLITE_DONE)
                return true;
            if (rc != SQLITE_ROW)
                archive.check(rc);
            encoded.clear();
            for (int c = 0; c < columns; ++c)
                appendValue(encoded, select.get(), c, types[size_t(c)]);
            if (!row(encoded))
                return false;
        }
    } catch (const SQLite::Exception& error) {
        throw db::DbError(QStringLiteral("HY000"), error.getErrorCode(), messageOf(error));
    }
}

} // namespace tessera::journal
