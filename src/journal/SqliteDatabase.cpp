#include "journal/SqliteDatabase.h"

#include "db/InProcessSqlite.h"

#include <sqlite3.h>

#include <utility>

namespace tessera::journal {

bool SqliteError::isCorruption() const noexcept
{
    return m_code == SQLITE_NOTADB || m_code == SQLITE_CORRUPT;
}

SqliteDatabase::SqliteDatabase(SqliteDatabase&& other) noexcept
    : m_db(std::exchange(other.m_db, nullptr))
{
}

SqliteDatabase& SqliteDatabase::operator=(SqliteDatabase&& other) noexcept
{
    if (this != &other) {
        close();
        m_db = std::exchange(other.m_db, nullptr);
    }
    return *this;
}

SqliteDatabase SqliteDatabase::open(const QString& path, int busyTimeoutMs)
{
    return openWith(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, busyTimeoutMs);
}

SqliteDatabase SqliteDatabase::openForReading(const QString& path, int busyTimeoutMs)
{
    return openWith(path, SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX, busyTimeoutMs);
}

SqliteDatabase SqliteDatabase::openWith(const QString& path, int flags, int busyTimeoutMs)
{
    tessera::db::prepareInProcessSqlite();
    SqliteDatabase db;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db.m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = db.m_db ? QString::fromUtf8(sqlite3_errmsg(db.m_db)) : QString::fromUtf8(sqlite3_errstr(rc));
        throw SqliteError(rc & 0xff, message);
    }
    sqlite3_extended_result_codes(db.m_db, 1);
    db.setBusyTimeout(busyTimeoutMs);
    return db;
}

void SqliteDatabase::close() noexcept
{
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
}

void SqliteDatabase::fail(int rc) const
{
    throw SqliteError(rc & 0xff, QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc)));
}

void SqliteDatabase::execute(const QString& sql)
{
    char* error = nullptr;
    const int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        const QString message = QString::fromUtf8(error ? error : sqlite3_errstr(rc));
        sqlite3_free(error);
        throw SqliteError(rc & 0xff, message);
    }
}

SqliteStatement SqliteDatabase::prepare(const QString& sql)
{
    sqlite3_stmt* statement = nullptr;
    const QByteArray text = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &statement, nullptr);
    if (rc != SQLITE_OK)
        fail(rc);
    return SqliteStatement(*this, statement);
}

std::optional<QString> SqliteDatabase::queryText(const QString& sql)
{
    SqliteStatement statement = prepare(sql);
    if (!statement.step())
        return std::nullopt;
    return statement.text(0);
}

qint64 SqliteDatabase::queryInteger(const QString& sql, qint64 otherwise)
{
    SqliteStatement statement = prepare(sql);
    if (!statement.step() || statement.isNull(0))
        return otherwise;
    return statement.integer(0);
}

qint64 SqliteDatabase::lastInsertId() const
{
    return sqlite3_last_insert_rowid(m_db);
}

bool SqliteDatabase::isReadOnly() const
{
    return sqlite3_db_readonly(m_db, "main") == 1;
}

qint64 SqliteDatabase::changes() const
{
    return sqlite3_changes64(m_db);
}

void SqliteDatabase::setBusyTimeout(int milliseconds)
{
    sqlite3_busy_timeout(m_db, milliseconds);
}

SqliteStatement::~SqliteStatement() noexcept
{
    if (m_statement)
        sqlite3_finalize(m_statement);
}

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : m_db(other.m_db)
    , m_statement(std::exchange(other.m_statement, nullptr))
{
}

void SqliteStatement::check(int rc) const
{
    if (rc != SQLITE_OK)
        m_db->fail(rc);
}

void SqliteStatement::bindNull(int index)
{
    check(sqlite3_bind_null(m_statement, index));
}

void SqliteStatement::bind(int index, qint64 value)
{
    check(sqlite3_bind_int64(m_statement, index, value));
}

void SqliteStatement::bind(int index, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    check(sqlite3_bind_text64(m_statement, index, utf8.constData(), sqlite3_uint64(utf8.size()), SQLITE_TRANSIENT,
                              SQLITE_UTF8));
}

void SqliteStatement::bindBlob(int index, const QByteArray& bytes)
{
    bindBlob(index, bytes.constData(), bytes.size());
}

void SqliteStatement::bindBlob(int index, const char* data, qsizetype size)
{
    // An empty blob is still a value, not NULL.
    static const char empty = 0;
    check(sqlite3_bind_blob64(m_statement, index, size ? data : &empty, sqlite3_uint64(size), SQLITE_TRANSIENT));
}

void SqliteStatement::bind(int index, const std::optional<qint64>& value)
{
    if (value)
        bind(index, *value);
    else
        bindNull(index);
}

bool SqliteStatement::step()
{
    const int rc = sqlite3_step(m_statement);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    sqlite3_reset(m_statement);
    m_db->fail(rc);
}

void SqliteStatement::reset()
{
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
}

void SqliteStatement::run()
{
    while (step()) {
    }
    reset();
}

bool SqliteStatement::isNull(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

int SqliteStatement::storageClass(int column) const
{
    return sqlite3_column_type(m_statement, column);
}

qint64 SqliteStatement::integer(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

double SqliteStatement::real(int column) const
{
    return sqlite3_column_double(m_statement, column);
}

std::optional<qint64> SqliteStatement::optionalInteger(int column) const
{
    if (isNull(column))
        return std::nullopt;
    return integer(column);
}

QString SqliteStatement::text(int column) const
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    return QString::fromUtf8(text, sqlite3_column_bytes(m_statement, column));
}

QByteArray SqliteStatement::blob(int column) const
{
    qsizetype size = 0;
    const char* data = blobData(column, size);
    return QByteArray(data, size);
}

const char* SqliteStatement::blobData(int column, qsizetype& size) const
{
    const auto* data = static_cast<const char*>(sqlite3_column_blob(m_statement, column));
    size = sqlite3_column_bytes(m_statement, column);
    return data;
}

SqliteTransaction::SqliteTransaction(SqliteDatabase& db)
    : m_db(db)
{
    m_db.execute(QStringLiteral("BEGIN IMMEDIATE"));
}

SqliteTransaction::~SqliteTransaction() noexcept
{
    if (m_done)
        return;
    try {
        m_db.execute(QStringLiteral("ROLLBACK"));
    } catch (const SqliteError&) {
        // A failed COMMIT or I/O error may have ended the transaction already.
    }
}

void SqliteTransaction::commit()
{
    m_db.execute(QStringLiteral("COMMIT"));
    m_done = true;
}

} // namespace tessera::journal
