#pragma once

#include "db/Handle.h"

#include <QString>

namespace tessera::db {

class ResultSet;
class Statement;

struct ConnectOptions {
    int loginTimeoutSeconds = 30;
    int queryTimeoutSeconds = 30;
};

// One ODBC connection, opened by connect string and never prompting.
// Statements run in autocommit mode unless a Transaction is active.
class Connection {
public:
    Connection() noexcept = default;
    ~Connection() noexcept { close(); }
    Connection(Connection&& other) noexcept { *this = std::move(other); }
    Connection& operator=(Connection&&) noexcept;

    // Opens with e.g. "DSN=name;UID=user;PWD=secret". Throws DbError.
    static Connection open(const QString& connectString, const ConnectOptions& options = {});

    bool isOpen() const noexcept { return m_connected; }
    void close() noexcept;

    // The complete connect string the driver reported after connecting.
    const QString& connectString() const noexcept { return m_connectString; }
    // Another connection to the same data source, opened with the connect
    // string and options this one was opened with. Throws DbError.
    Connection openAnother() const { return open(m_openedWith, m_options); }
    // The same with more driver options ("Key=value;...") after the connect string's own.
    Connection openAnother(const QString& moreOptions) const
    {
        return open(moreOptions.isEmpty() ? m_openedWith : m_openedWith + u';' + moreOptions, m_options);
    }
    const ConnectOptions& options() const noexcept { return m_options; }
    // The database product's name as the driver reports it (SQL_DBMS_NAME).
    QString dbmsName() const;
    // The database behind the connection as its driver names it: product,
    // server and database ("PostgreSQL 127.0.0.1 tessera_test", a SQLite
    // file's path), whatever data-source name led to it.
    QString databaseIdentity() const;

    // Executes one statement directly; returns the affected-row count, or -1
    // when the driver does not know it. Throws DbError.
    qint64 execute(const QString& sql);
    // A forward-only, read-only result set. Throws DbError.
    ResultSet query(const QString& sql);
    // A prepared statement for bound parameters. Throws DbError.
    Statement prepare(const QString& sql);

    // The isolation level of the transactions begun from now on
    // (SQL_TXN_READ_COMMITTED, SQL_TXN_REPEATABLE_READ, SQL_TXN_SERIALIZABLE,
    // ...): set outside a transaction. Throws DbError.
    SQLULEN transactionIsolation() const;
    void setTransactionIsolation(SQLULEN level);

    bool autoCommit() const noexcept { return m_autoCommit; }
    void setAutoCommit(bool on);
    void commit();
    void rollback();

    // Savepoints inside the current transaction, in the database's own words
    // (SQL Server: SAVE TRANSACTION). When the database has none (Access),
    // the calls do nothing.
    void setSavepoint(const QString& name);
    void rollbackToSavepoint(const QString& name);
    void releaseSavepoint(const QString& name);
    // PostgreSQL refuses every further statement of a transaction after one
    // failed; a statement that may fail inside a unit needs a savepoint there.
    bool failedStatementAbortsTransaction() const noexcept { return m_failureAbortsTransaction; }

    // SQLite keeps date-times as text, and its driver writes a bound
    // timestamp with a fraction (".000") that breaks comparisons with the
    // dialect's literals; such connections bind date-times as text instead.
    bool bindsDateTimesAsText() const noexcept { return m_dateTimesAsText; }
    // psqlODBC runs an array of parameters as one statement per row, parsed
    // and planned each time, and the SQLite driver prepares a statement again
    // on every execution; one INSERT of many rows' VALUES is much faster with
    // both. Other servers' drivers send arrays as one batch.
    bool prefersMultiRowValues() const noexcept { return m_failureAbortsTransaction || m_dateTimesAsText; }
    SQLHDBC handle() const noexcept { return m_dbc.get(); }

private:
    // The statement texts of a DBMS's savepoints, each followed by the name;
    // an empty text: no such statement (Access has no savepoints at all; SQL
    // Server and Oracle keep a savepoint until the transaction ends).
    struct SavepointStatements {
        const char* set;
        const char* rollbackTo;
        const char* release;
    };
    static constexpr SavepointStatements kStandardSavepoints{"SAVEPOINT ", "ROLLBACK TO SAVEPOINT ", "RELEASE SAVEPOINT "};
    void runSavepointStatement(const char* text, const QString& name);

    StatementHandle newStatement();
    QString infoText(SQLUSMALLINT info) const;
    // Back to autocommit after a transaction; a connection that cannot even
    // do that is broken and is closed, so nothing runs in manual commit by
    // accident afterwards.
    void restoreAutoCommit() noexcept;

    ConnectionHandle m_dbc;
    QString m_connectString;
    QString m_openedWith;
    ConnectOptions m_options;
    bool m_autoCommit = true;
    bool m_connected = false;
    bool m_dateTimesAsText = false;
    bool m_utf8Text = false;
    bool m_failureAbortsTransaction = false;
    SavepointStatements m_savepoints = kStandardSavepoints;

    friend class Statement;
    friend class Transaction;
};

// Rolls back unless committed; restores autocommit on every path, also when
// the commit or the rollback fails.
class Transaction {
public:
    explicit Transaction(Connection& connection);
    ~Transaction() noexcept;
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit();

private:
    Connection& m_connection;
    bool m_done = false;
};

} // namespace tessera::db
