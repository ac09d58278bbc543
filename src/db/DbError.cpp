#include "db/DbError.h"

#include "db/WideText.h"

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
    return DbError(firstState, int(firstNative), texts.join(QLatin1Char('\n')));
}

} // namespace tessera::db
