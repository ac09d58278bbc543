#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

struct sqlite3;
struct sqlite3_stmt;

// A thin owner of a local SQLite database file, used through the SQLite
// library itself (not ODBC). Every failure throws SqliteError with SQLite's
// result code and message; the journal turns them into its own messages.
namespace tessera::journal {

class SqliteError {
public:
    SqliteError(int code, QString message)
        : m_code(code)
        , m_message(std::move(message))
    {
    }
    int code() const noexcept { return m_code; } // the primary result code
    const QString& message() const noexcept { return m_message; }
    // The file is not a database, or damaged.
    bool isCorruption() const noexcept;

private:
    int m_code;
    QString m_message;
};

class SqliteStatement;

class SqliteDatabase {
public:
    SqliteDatabase() noexcept = default;
    ~SqliteDatabase() noexcept { close(); }
    SqliteDatabase(SqliteDatabase&& other) noexcept;
    SqliteDatabase& operator=(SqliteDatabase&& other) noexcept;

    // Opens for reading and writing, creating the file when missing.
    static SqliteDatabase open(const QString& path, int busyTimeoutMs);
    // Opens an existing file for reading only.
    static SqliteDatabase openForReading(const QString& path, int busyTimeoutMs);
    void close() noexcept;
    bool isOpen() const noexcept { return m_db != nullptr; }

    void execute(const QString& sql);
    SqliteStatement prepare(const QString& sql);
    // The first column of the first row; nullopt when there is no row.
    std::optional<QString> queryText(const QString& sql);
    qint64 queryInteger(const QString& sql, qint64 otherwise = 0);
    qint64 lastInsertId() const;
    // Opened read-only although asked for writing (a read-only file or folder).
    bool isReadOnly() const;
    qint64 changes() const;
    void setBusyTimeout(int milliseconds);

    sqlite3* handle() const noexcept { return m_db; }
    [[noreturn]] void fail(int rc) const;

private:
    static SqliteDatabase openWith(const QString& path, int flags, int busyTimeoutMs);

    sqlite3* m_db = nullptr;
};

// A prepared statement; parameters are numbered from 1 as in SQLite.
class SqliteStatement {
public:
    SqliteStatement(SqliteDatabase& db, sqlite3_stmt* statement) noexcept
        : m_db(&db)
        , m_statement(statement)
    {
    }
    ~SqliteStatement() noexcept;
    SqliteStatement(SqliteStatement&& other) noexcept;
    SqliteStatement& operator=(SqliteStatement&&) = delete;

    void bindNull(int index);
    void bind(int index, qint64 value);
    void bind(int index, const QString& text);
    void bindBlob(int index, const QByteArray& bytes);
    void bindBlob(int index, const char* data, qsizetype size);
    // Binds NULL for nullopt.
    void bind(int index, const std::optional<qint64>& value);

    // Moves to the next row; false when done. Throws SqliteError.
    bool step();
    // Ready for the next execution with new values.
    void reset();
    // step() and reset() for statements without rows.
    void run();

    bool isNull(int column) const;
    // SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB or SQLITE_NULL:
    // how the value is stored, whatever the column's declared type.
    int storageClass(int column) const;
    qint64 integer(int column) const;
    double real(int column) const;
    std::optional<qint64> optionalInteger(int column) const;
    QString text(int column) const;
    QByteArray blob(int column) const;
    // The blob without copying: valid until the next step().
    const char* blobData(int column, qsizetype& size) const;

private:
    void check(int rc) const;

    SqliteDatabase* m_db;
    sqlite3_stmt* m_statement;
};

// BEGIN IMMEDIATE; rolls back unless committed.
class SqliteTransaction {
public:
    explicit SqliteTransaction(SqliteDatabase& db);
    ~SqliteTransaction() noexcept;
    SqliteTransaction(const SqliteTransaction&) = delete;
    SqliteTransaction& operator=(const SqliteTransaction&) = delete;
    void commit();

private:
    SqliteDatabase& m_db;
    bool m_done = false;
};

} // namespace tessera::journal
