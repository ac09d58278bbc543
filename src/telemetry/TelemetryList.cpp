#include "telemetry/TelemetryList.h"

#include "db/Connection.h"
#include "db/ResultSet.h"
#include "schema/TableNames.h"
#include "text/Trimming.h"
#include "view/FillSink.h"

namespace tessera::telemetry {

QString telemetryTimeCell(DatabaseKind kind, const QString& text)
{
    QString shown = withoutTrailingWhiteSpace(text);
    if (kind == DatabaseKind::SqlServer)
        shown.chop(4);
    return shown;
}

QString todaysSamplesSql(int tag, const QDate& today)
{
    return QStringLiteral("SELECT * FROM %1 WHERE (TagID=%2) ORDER BY ATime DESC")
        .arg(TelemetryTableName(today))
        .arg(tag);
}

void readTodaysSamples(db::Connection& connection, DatabaseKind kind, int tag, const QDate& today, FillSink& sink)
{
    db::ResultSet rs = connection.query(todaysSamplesSql(tag, today));
    sink.columns(columnNames(rs));
    while (rs.next())
        sink.row(sampleCells(kind, rs));
}

QStringList sampleCells(DatabaseKind kind, db::ResultSet& rs)
{
    // Column 2 holds the sample's DataType; the list shows the kind instead
    // and keeps the DataType hidden. Read in column order: a driver may
    // deliver a cell at a time, forward only.
    QStringList cells {telemetryTimeCell(kind, rs.string(0)), rs.string(1), kTelemetryCellText};
    const QString dataType = rs.string(2);
    cells << rs.string(3) << rs.string(4) << dataType;
    return cells;
}

} // namespace tessera::telemetry
