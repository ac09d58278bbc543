#include "dialect/TableTransactions.h"

#include "db/Connection.h"
#include "db/ResultSet.h"

namespace tessera {

bool tableExists(db::Connection& connection, DatabaseKind kind, const QString& table)
{
    return connection.query(tableProbeSql(kind, table)).next();
}

bool tableIsTransactional(db::Connection& connection, DatabaseKind kind, const QString& table)
{
    switch (kind) {
    case DatabaseKind::Access:
        return false;
    case DatabaseKind::MySql: {
        db::ResultSet rs = connection.query(
            QStringLiteral("SELECT e.TRANSACTIONS FROM information_schema.tables t"
                           " JOIN information_schema.engines e ON e.ENGINE=t.ENGINE"
                           " WHERE t.table_schema=DATABASE() AND lower(t.table_name)=lower(%1)")
                .arg(quotedSqlText(table)));
        // A table we cannot see is judged by the statements that use it.
        if (!rs.next())
            return true;
        return rs.string(0).trimmed().compare(QLatin1String("YES"), Qt::CaseInsensitive) == 0;
    }
    default:
        return true;
    }
}

} // namespace tessera
