#pragma once

#include "dialect/DatabaseKind.h"
#include "db/Connection.h"

#include <QString>

#include <memory>

namespace tessera {

class FileLock;

// A lock on a database, named after what it guards, that every program
// writing that database with the same name asks for: two copies into one
// target exclude each other wherever they run. Servers hold it for a
// session of the lock's own (PostgreSQL advisory lock, MySQL/MariaDB
// GET_LOCK with the database in its name, SQL Server sp_getapplock, Oracle
// DBMS_LOCK); file databases (SQLite, Access) by an exclusive lock on a file
// beside the database file. It goes when the holder's session or process ends.
class NamedLock {
public:
    ~NamedLock();
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;

    struct Attempt {
        std::unique_ptr<NamedLock> lock; // null: refused
        // Refused: who holds it, as far as the database tells (may be empty).
        QString holder;
    };
    // `database` is a connection to the database to lock; the lock opens a
    // session of its own from it where the database ties locks to sessions.
    // Never waits. Throws db::DbError when the database cannot be asked.
    static Attempt tryAcquire(const db::Connection& database, DatabaseKind kind, const QString& name);

    // The file a file database's lock takes: beside the database file named
    // in the connect string (Database= or DBQ=); empty when it names none.
    static QString lockFileOf(const QString& connectString, const QString& name);

private:
    NamedLock() = default;
    db::Connection m_session;
    std::unique_ptr<FileLock> m_file;
};

} // namespace tessera
