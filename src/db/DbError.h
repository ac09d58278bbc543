#pragma once

#include <QString>

#include <exception>
#include <optional>
#include <string>
#include <utility>

#include <sql.h>

namespace tessera::db {

// The one exception type of the database layer. It carries the SQLSTATE and
// native code of the first diagnostic record and the text of all of them.
class DbError : public std::exception {
public:
    DbError(QString sqlState, int nativeCode, QString message);

    const QString& sqlState() const noexcept { return m_sqlState; }
    int nativeCode() const noexcept { return m_nativeCode; }
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_what.c_str(); }

    // True for errors the driver manager raises itself (SQLSTATE class IM):
    // unknown data source, driver library that cannot be loaded and the like.
    bool isDriverManagerError() const noexcept { return m_sqlState.startsWith(QLatin1String("IM")); }

    // True when the connection itself is gone (SQLSTATE class 08, or what our
    // drivers report for a server that died or killed the session): nothing
    // more can be done on that connection, so an operation ends instead of
    // trying row after row.
    bool isConnectionLost() const noexcept;

private:
    QString m_sqlState;
    int m_nativeCode;
    QString m_message;
    std::string m_what;
};

// A lost connection is no single step's failure: it ends the whole operation,
// so steps that handle their own errors pass it on.
inline void rethrowIfConnectionLost(const DbError& error)
{
    if (error.isConnectionLost())
        throw error;
}

// Runs one step whose refusal the caller handles itself: the refusal, or
// nothing when the step succeeded. A lost connection is thrown on.
template <typename Step>
std::optional<DbError> refusalOf(Step&& step)
{
    try {
        std::forward<Step>(step)();
        return std::nullopt;
    } catch (const DbError& error) {
        rethrowIfConnectionLost(error);
        return error;
    }
}

// What `read` gives, or `fallback` where the database refuses it (a day
// without its table, say). A lost connection is thrown on.
template <typename T, typename Read>
T readOr(T fallback, Read&& read)
{
    try {
        return std::forward<Read>(read)();
    } catch (const DbError& error) {
        rethrowIfConnectionLost(error);
        return fallback;
    }
}

// Reads every diagnostic record of the handle into one DbError.
DbError diagnosticsOf(SQLSMALLINT handleType, SQLHANDLE handle, const QString& context);

// Throws the handle's diagnostics unless rc reports success.
inline void check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const char* context)
{
    if (!SQL_SUCCEEDED(rc))
        throw diagnosticsOf(handleType, handle, QString::fromLatin1(context));
}

// The affected-row count of an executed statement, -1 when the driver does
// not know it.
inline qint64 affectedRows(SQLHSTMT statement)
{
    SQLLEN rows = -1;
    return SQL_SUCCEEDED(SQLRowCount(statement, &rows)) ? qint64(rows) : -1;
}

} // namespace tessera::db
