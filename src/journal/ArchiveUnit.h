#pragma once

#include "dialect/DatabaseKind.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <memory>

namespace tessera::db {
class Connection;
class Transaction;
}

namespace tessera::journal {

// One unit of work on the archive, in which the rows a command reads in its
// scope (for the journal's image, or an undo's check) are exactly the rows
// its statements then change, however the SCADA writes meanwhile:
// - SQLite: the file's write lock is taken first; other writers wait for
//   the commit, readers do not;
// - PostgreSQL: REPEATABLE READ, the image read with FOR UPDATE: the
//   statements see the image's snapshot, rows written meanwhile stay as
//   written, and a concurrent change of an imaged row waits for the commit;
// - MySQL/MariaDB (InnoDB) and Oracle: REPEATABLE READ / SERIALIZABLE with
//   FOR UPDATE, whose range locks keep others from writing into the scope
//   until the commit;
// - SQL Server: the image read WITH (UPDLOCK, HOLDLOCK);
// - a table without transactions (Access, MyISAM): nothing can hold it;
//   the unit runs in autocommit (see TableTransactions).
class ArchiveUnit {
public:
    // Begins the unit for changes to `tables`. Throws db::DbError.
    ArchiveUnit(db::Connection& connection, DatabaseKind kind, const QStringList& tables);
    // Rolls back unless committed; restores the connection's isolation level.
    ~ArchiveUnit();
    ArchiveUnit(const ArchiveUnit&) = delete;
    ArchiveUnit& operator=(const ArchiveUnit&) = delete;

    bool transactional() const noexcept { return m_transaction != nullptr; }
    // SELECT * of a condition over a table, locking what it reads where the
    // kind needs a lock for it.
    QString lockingSelect(const QString& table, const QString& condition) const;
    // Executes a statement of the unit whose failure the unit survives:
    // where one failed statement spoils the whole transaction (PostgreSQL),
    // under a savepoint. Returns the affected rows. Throws db::DbError.
    qint64 executeSurvivable(const QString& sql);
    // Executes the statements in turn, each as executeSurvivable does, up to
    // the first that fails: its driver text goes to `failure` and the ones
    // before it stay. Returns how many went through. A lost connection throws.
    qint64 executeUpToFailure(const QStringList& statements, QString& failure);
    void commit();
    // Rolls back now (the unit then does nothing more).
    void rollback();

private:
    db::Connection& m_connection;
    DatabaseKind m_kind;
    std::unique_ptr<db::Transaction> m_transaction;
    quint64 m_previousLevel = 0; // the connection's level to restore; 0: unchanged
};

} // namespace tessera::journal
