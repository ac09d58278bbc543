#pragma once

#include "db/Connection.h"
#include "db/ResultSet.h"
#include "dialect/DatabaseKind.h"

#include <QStringList>

namespace tessera::test {

// Every row of a query as texts joined by '|', in the query's order.
inline QStringList rowsOf(db::Connection& c, const QString& sql)
{
    QStringList rows;
    db::ResultSet rs = c.query(sql);
    while (rs.next()) {
        QStringList cells;
        for (int i = 0; i < rs.columnCount(); ++i)
            cells << rs.string(i);
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

// One telemetry sample (data type 1, no change) at a date-time text such as
// "2026-01-02 08:00:00".
inline void insertSample(db::Connection& c, DatabaseKind kind, const QString& table, const QString& at, int tag,
                         double value)
{
    c.execute(QStringLiteral("INSERT INTO %1(ATime,TagID,DataType,nValue,nValueChange) VALUES(%2,%3,1,%4,0)")
                  .arg(table, FormatDateLiteral(kind, at))
                  .arg(tag)
                  .arg(value));
}

} // namespace tessera::test
