#include "db/Connection.h"

#include "db/Environment.h"
#include "db/ResultSet.h"
#include "db/Statement.h"
#include "db/WideText.h"

#include <QStringList>

#include <sqlext.h>

namespace tessera::db {

Connection& Connection::operator=(Connection&& other) noexcept
{
    if (this != &other) {
        close();
        m_dbc = std::move(other.m_dbc);
        m_connectString = std::move(other.m_connectString);
        m_openedWith = std::move(other.m_openedWith);
        m_options = other.m_options;
        m_autoCommit = other.m_autoCommit;
        m_connected = std::exchange(other.m_connected, false);
        m_dateTimesAsText = other.m_dateTimesAsText;
        m_utf8Text = other.m_utf8Text;
        m_failureAbortsTransaction = other.m_failureAbortsTransaction;
        m_savepoints = other.m_savepoints;
    }
    return *this;
}

Connection Connection::open(const QString& connectString, const ConnectOptions& options)
{
    Connection c;
    c.m_dbc = ConnectionHandle(environment());
    SQLHDBC dbc = c.m_dbc.get();
    // Set before connecting: the login time-out only applies to the attempt itself.
    SQLSetConnectAttrW(dbc, SQL_ATTR_LOGIN_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(SQLULEN(options.loginTimeoutSeconds)), 0);

    auto in = toWide(connectString);
    SQLWCHAR out[2048] = {};
    SQLSMALLINT outLength = 0;
    const SQLRETURN rc = SQLDriverConnectW(dbc, nullptr, in.data(), SQL_NTS, out, SQLSMALLINT(std::size(out)),
                                           &outLength, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        DbError error = rc == SQL_NO_DATA ? DbError(QStringLiteral("HY000"), 0, QStringLiteral("connection cancelled"))
                                          : diagnosticsOf(SQL_HANDLE_DBC, dbc, QString());
        c.m_dbc.reset();
        throw error;
    }
    c.m_connected = true;
    c.m_connectString = fromWide(out, wideLength(out, qsizetype(std::size(out))));
    c.m_openedWith = connectString;
    c.m_options = options;
    const QString dbms = c.dbmsName();
    c.m_dateTimesAsText = dbms.contains(QLatin1String("SQLite"), Qt::CaseInsensitive);
    c.m_failureAbortsTransaction = dbms.contains(QLatin1String("PostgreSQL"), Qt::CaseInsensitive);
    if (dbms.contains(QLatin1String("SQL Server"), Qt::CaseInsensitive))
        c.m_savepoints = {"SAVE TRANSACTION ", "ROLLBACK TRANSACTION ", ""};
    else if (dbms.contains(QLatin1String("Oracle"), Qt::CaseInsensitive))
        c.m_savepoints = {"SAVEPOINT ", "ROLLBACK TO SAVEPOINT ", ""};
    else if (dbms.contains(QLatin1String("ACCESS"), Qt::CaseInsensitive))
        c.m_savepoints = {"", "", ""};
    // MySQL and MariaDB read a backslash in a string literal as an escape, so
    // a text ending in one would run past its closing quote. Standard quoting
    // (a quote doubled, nothing else special) is what the program writes.
    if (dbms.contains(QLatin1String("MySQL"), Qt::CaseInsensitive)
        || dbms.contains(QLatin1String("MariaDB"), Qt::CaseInsensitive)) {
        // The session setting must not go with a reconnect the driver makes
        // on its own (a data source may ask for one): none, then.
        if (!connectString.contains(QLatin1String("AUTO_RECONNECT"), Qt::CaseInsensitive)) {
            c.close();
            return open(connectString + QStringLiteral(";AUTO_RECONNECT=0"), options);
        }
        c.execute(QStringLiteral("SET SESSION sql_mode=CONCAT(@@sql_mode, ',NO_BACKSLASH_ESCAPES')"));
        // Its driver (3.1) miscounts the length of a bound wide text that is not
        // ASCII and stores NULs or the next value's characters after it; texts
        // go to it as UTF-8 instead, which it takes as they are.
        c.m_utf8Text = true;
    }
    // Some drivers refuse the login time-out after connecting; that is harmless.
    SQLSetConnectAttrW(dbc, SQL_ATTR_LOGIN_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(SQLULEN(options.loginTimeoutSeconds)), 0);
    return c;
}

void Connection::close() noexcept
{
    if (!m_dbc)
        return;
    if (m_connected) {
        if (!m_autoCommit)
            SQLEndTran(SQL_HANDLE_DBC, m_dbc.get(), SQL_ROLLBACK);
        SQLDisconnect(m_dbc.get());
    }
    m_dbc.reset();
    m_connected = false;
    m_autoCommit = true;
}

QString Connection::infoText(SQLUSMALLINT info) const
{
    SQLWCHAR text[512] = {};
    SQLSMALLINT length = 0;
    check(SQLGetInfoW(m_dbc.get(), info, text, SQLSMALLINT(sizeof(text)), &length), SQL_HANDLE_DBC, m_dbc.get(),
          "reading connection information");
    return fromWide(text, wideLength(text, qsizetype(std::size(text))));
}

QString Connection::dbmsName() const { return infoText(SQL_DBMS_NAME); }

QString Connection::databaseIdentity() const
{
    QStringList parts{dbmsName()};
    for (SQLUSMALLINT info : {SQLUSMALLINT(SQL_SERVER_NAME), SQLUSMALLINT(SQL_DATABASE_NAME)}) {
        try {
            const QString text = infoText(info).trimmed();
            if (!text.isEmpty())
                parts << text;
        } catch (const DbError&) {
            // A driver that does not tell names the database by what it does tell.
        }
    }
    return parts.join(u' ');
}

StatementHandle Connection::newStatement()
{
    if (!m_dbc)
        throw DbError(QStringLiteral("08003"), 0, QStringLiteral("connection not open"));
    StatementHandle stmt(m_dbc.get());
    if (m_options.queryTimeoutSeconds > 0)
        SQLSetStmtAttrW(stmt.get(), SQL_ATTR_QUERY_TIMEOUT,
            reinterpret_cast<SQLPOINTER>(SQLULEN(m_options.queryTimeoutSeconds)), 0);
    return stmt;
}

qint64 Connection::execute(const QString& sql)
{
    StatementHandle stmt = newStatement();
    auto text = toWide(sql);
    const SQLRETURN rc = SQLExecDirectW(stmt.get(), text.data(), SQL_NTS);
    // SQL_NO_DATA: a searched UPDATE or DELETE that touched no row.
    if (rc == SQL_NO_DATA)
        return 0;
    check(rc, SQL_HANDLE_STMT, stmt.get(), nullptr);
    return affectedRows(stmt.get());
}

ResultSet Connection::query(const QString& sql)
{
    StatementHandle stmt = newStatement();
    SQLSetStmtAttrW(stmt.get(), SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_FORWARD_ONLY), 0);
    SQLSetStmtAttrW(stmt.get(), SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(SQL_CONCUR_READ_ONLY), 0);
    auto text = toWide(sql);
    const SQLRETURN rc = SQLExecDirectW(stmt.get(), text.data(), SQL_NTS);
    if (rc != SQL_NO_DATA)
        check(rc, SQL_HANDLE_STMT, stmt.get(), nullptr);
    return ResultSet(std::move(stmt));
}

Statement Connection::prepare(const QString& sql)
{
    return Statement(newStatement(), sql, m_dateTimesAsText, m_utf8Text);
}

SQLULEN Connection::transactionIsolation() const
{
    SQLULEN level = 0;
    check(SQLGetConnectAttrW(m_dbc.get(), SQL_ATTR_TXN_ISOLATION, &level, 0, nullptr), SQL_HANDLE_DBC, m_dbc.get(),
          "reading the isolation level");
    return level;
}

void Connection::setTransactionIsolation(SQLULEN level)
{
    check(SQLSetConnectAttrW(m_dbc.get(), SQL_ATTR_TXN_ISOLATION, reinterpret_cast<SQLPOINTER>(level), 0),
          SQL_HANDLE_DBC, m_dbc.get(), "setting the isolation level");
}

void Connection::setAutoCommit(bool on)
{
    if (on == m_autoCommit)
        return;
    check(SQLSetConnectAttrW(m_dbc.get(), SQL_ATTR_AUTOCOMMIT,
                             reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), 0),
          SQL_HANDLE_DBC, m_dbc.get(), "switching autocommit");
    m_autoCommit = on;
}

void Connection::commit()
{
    check(SQLEndTran(SQL_HANDLE_DBC, m_dbc.get(), SQL_COMMIT), SQL_HANDLE_DBC, m_dbc.get(), "committing");
}

void Connection::rollback()
{
    check(SQLEndTran(SQL_HANDLE_DBC, m_dbc.get(), SQL_ROLLBACK), SQL_HANDLE_DBC, m_dbc.get(), "rolling back");
}

void Connection::runSavepointStatement(const char* text, const QString& name)
{
    if (*text)
        execute(QLatin1String(text) + name);
}

void Connection::setSavepoint(const QString& name)
{
    runSavepointStatement(m_savepoints.set, name);
}

void Connection::rollbackToSavepoint(const QString& name)
{
    runSavepointStatement(m_savepoints.rollbackTo, name);
}

void Connection::releaseSavepoint(const QString& name)
{
    runSavepointStatement(m_savepoints.release, name);
}

void Connection::restoreAutoCommit() noexcept
{
    if (m_autoCommit || !m_dbc)
        return;
    try {
        setAutoCommit(true);
    } catch (const DbError&) {
        close();
    }
}

Transaction::Transaction(Connection& connection)
    : m_connection(connection)
{
    m_connection.setAutoCommit(false);
}

Transaction::~Transaction() noexcept
{
    if (m_done)
        return;
    try {
        m_connection.rollback();
    } catch (const DbError&) {
        // A broken connection: the server rolls back when it goes. Autocommit
        // is restored below all the same.
    }
    m_connection.restoreAutoCommit();
}

void Transaction::commit()
{
    m_connection.commit();
    m_done = true;
    m_connection.restoreAutoCommit();
}

} // namespace tessera::db
