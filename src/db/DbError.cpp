#include "db/DbError.h"

#include "db/WideText.h"
#include "platform/Log.h"

#include <QStringList>

#include <sqlext.h>

namespace tessera::db {

DbError::DbError(QString sqlState, int nativeCode, QString message)
    : m_sqlState(std::move(sqlState))
    , m_nativeCode(nativeCode)
    , m_message(std::move(message))
    , m_what((m_sqlState + QLatin1String(": ") + m_message).toStdString())
{
}

bool DbError::isConnectionLost() const noexcept
{
    if (m_sqlState.startsWith(QLatin1String("08")))
        return true;
    // PostgreSQL's own states for a session ended by the server (measured:
    // pg_terminate_backend gives 57P01 through psqlODBC, then 08S01). The
    // state holds whatever language the server writes its messages in.
    if (m_sqlState == QLatin1String("57P01") || m_sqlState == QLatin1String("57P02"))
        return true;
    // MySQL and MariaDB clients: server gone away, lost connection during a
    // query, connection killed, and the same seen through a broken pipe.
    // (MariaDB Connector/ODBC 3.1 reports KILL as 08S01, then 08003.)
    switch (m_nativeCode) {
    case 2006:
    case 2013:
    case 2055:
    case 1927:
        return true;
    default:
        break;
    }
    // psqlODBC reports a terminated backend with a general state; its text is
    // the one reliable sign.
    static const char* const lostTexts[] = {
        "server closed the connection unexpectedly",
        "terminating connection due to administrator command",
        "connection has been lost",
        "Could not send Query(connection dead)",
        "no connection to the server",
    };
    for (const char* text : lostTexts)
        if (m_message.contains(QLatin1String(text), Qt::CaseInsensitive))
            return true;
    return false;
}

DbError diagnosticsOf(SQLSMALLINT handleType, SQLHANDLE handle, const QString& context)
{
    QString firstState;
    SQLINTEGER firstNative = 0;
    QStringList texts;
    for (SQLSMALLINT record = 1; handle != SQL_NULL_HANDLE; ++record) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLWCHAR text[1024] = {};
        SQLSMALLINT length = 0;
        const SQLRETURN rc = SQLGetDiagRecW(handleType, handle, record, state, &native, text,
                                            SQLSMALLINT(std::size(text)), &length);
        if (!SQL_SUCCEEDED(rc))
            break;
        const QString stateText = fromWide(state, 5);
        if (record == 1) {
            firstState = stateText;
            firstNative = native;
        }
        const int shown = std::min<int>(length, int(std::size(text)) - 1);
        texts << QStringLiteral("[%1] %2").arg(stateText, fromWide(text, shown));
    }
    if (firstState.isEmpty()) {
        firstState = QStringLiteral("HY000");
        texts << QStringLiteral("no diagnostic record");
    }
    if (!context.isEmpty())
        texts.prepend(context);
    // Many are expected (a probe, a refused row): the callers tell the user
    // and log what matters; here for a closer look (tessera.db.debug).
    qCDebug(lcDb, "%s (native %d): %s", qUtf8Printable(firstState), int(firstNative),
            qUtf8Printable(texts.join(QLatin1Char(' '))));
    return DbError(firstState, int(firstNative), texts.join(QLatin1Char('\n')));
}

} // namespace tessera::db
