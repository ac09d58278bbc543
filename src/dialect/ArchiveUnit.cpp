#include "dialect/ArchiveUnit.h"

#include "db/Connection.h"
#include "db/DbError.h"
#include "db/ResultSet.h"
#include "dialect/TableTransactions.h"

#include <sqlext.h>

namespace tessera {

namespace {

// How each kind keeps a unit's image and its statements on the same rows.
struct IsolationRule {
    DatabaseKind kind;
    SQLULEN level;         // 0: the connection's own
    const char* tableHint; // after the table name in the image's SELECT
    const char* suffix;    // after the image's SELECT
    bool writeLockFirst;   // a statement that takes the file's write lock
};

constexpr IsolationRule kRules[] = {
    {DatabaseKind::SqlServer, SQL_TXN_SERIALIZABLE, " WITH (UPDLOCK, HOLDLOCK)", "", false},
    {DatabaseKind::Access, 0, "", "", false},
    {DatabaseKind::Oracle, SQL_TXN_SERIALIZABLE, "", " FOR UPDATE", false},
    {DatabaseKind::SQLite, 0, "", "", true},
    {DatabaseKind::PostgreSQL, SQL_TXN_REPEATABLE_READ, "", " FOR UPDATE", false},
    {DatabaseKind::MySql, SQL_TXN_REPEATABLE_READ, "", " FOR UPDATE", false},
};

const IsolationRule& ruleOf(DatabaseKind kind)
{
    for (const IsolationRule& r : kRules)
        if (r.kind == kind)
            return r;
    return kRules[1]; // none: as Access, nothing to lock
}

} // namespace

ArchiveUnit::ArchiveUnit(db::Connection& connection, DatabaseKind kind, const QStringList& tables,
                         Isolation isolation)
    : m_connection(connection), m_kind(kind)
{
    bool transactional = true;
    for (const QString& table : tables)
        transactional = transactional && tableIsTransactional(connection, kind, table);
    if (!transactional)
        return;
    const IsolationRule plain {kind, 0, "", "", false};
    const IsolationRule& rule = isolation == Isolation::ScopeLocked ? ruleOf(kind) : plain;
    // The table to lock is found first: a read inside the transaction would
    // hold a read lock that SQLite refuses to raise to a write lock while
    // another writer commits (it reports "locked" then instead of waiting).
    QString lockedTable;
    if (rule.writeLockFirst)
        for (const QString& table : tables)
            if (tableExists(connection, kind, table)) {
                lockedTable = table;
                break;
            }
    if (rule.level != 0) {
        m_previousLevel = connection.transactionIsolation();
        connection.setTransactionIsolation(rule.level);
    }
    try {
        m_transaction = std::make_unique<db::Transaction>(connection);
        // The write lock before anything is read: the image is then what the
        // statements find, and a writer waits for the commit. Any table of
        // the file takes it; a day without a table has nothing to lock.
        if (!lockedTable.isEmpty())
            connection.execute(QStringLiteral("DELETE FROM %1 WHERE 0=1").arg(lockedTable));
    } catch (...) {
        m_transaction.reset();
        if (m_previousLevel != 0)
            connection.setTransactionIsolation(SQLULEN(m_previousLevel));
        throw;
    }
}

ArchiveUnit::~ArchiveUnit()
{
    m_transaction.reset(); // rolls back unless committed
    if (m_previousLevel != 0 && m_connection.isOpen()) {
        try {
            m_connection.setTransactionIsolation(SQLULEN(m_previousLevel));
        } catch (const db::DbError&) {
            // A connection that cannot even do this is closed by its next use.
        }
    }
}

QString ArchiveUnit::lockingSelect(const QString& table, const QString& condition) const
{
    const IsolationRule& rule = ruleOf(m_kind);
    const char* suffix = m_transaction ? rule.suffix : "";
    const char* hint = m_transaction ? rule.tableHint : "";
    return QStringLiteral("SELECT * FROM %1%2 WHERE %3%4")
        .arg(table, QLatin1String(hint), condition, QLatin1String(suffix));
}

qint64 ArchiveUnit::executeSurvivable(const QString& sql)
{
    if (!m_transaction || !m_connection.failedStatementAbortsTransaction())
        return m_connection.execute(sql);
    const QString savepoint = QStringLiteral("tessera_step");
    m_connection.setSavepoint(savepoint);
    qint64 affected = 0;
    try {
        affected = m_connection.execute(sql);
    } catch (const db::DbError& error) {
        if (!error.isConnectionLost())
            m_connection.rollbackToSavepoint(savepoint);
        throw;
    }
    m_connection.releaseSavepoint(savepoint);
    return affected;
}

qint64 ArchiveUnit::executeUpToFailure(const QStringList& statements, QString& failure)
{
    qint64 done = 0;
    for (const QString& sql : statements) {
        if (const auto refused = db::refusalOf([&] { executeSurvivable(sql); })) {
            failure = refused->message();
            break;
        }
        ++done;
    }
    return done;
}

void ArchiveUnit::commit()
{
    if (m_transaction)
        m_transaction->commit();
}

void ArchiveUnit::rollback()
{
    m_transaction.reset();
}

} // namespace tessera
