#pragma once

#include "dialect/DatabaseKind.h"

#include <QDate>
#include <QString>
#include <QStringList>

// What the record list reads when it switches to a telemetry tag: today's
// samples of the tag, as text cells.
namespace tessera {

class FillSink;

namespace db {
class Connection;
class ResultSet;
}

namespace telemetry {

// The list's message when the samples cannot be read.
inline const QString kTelemetryFillFailure = QStringLiteral("读取遥测数据表失败!");

// Today's samples of one tag from today's table, newest first. Throws
// db::DbError after delivering the rows read so far; a missing table fails
// before any column.
QString todaysSamplesSql(int tag, const QDate& today);
void readTodaysSamples(db::Connection& connection, DatabaseKind kind, int tag, const QDate& today, FillSink& sink);

// The third cell of every telemetry row: the samples are telemetry, whatever
// their DataType says.
inline const QString kTelemetryCellText = QStringLiteral("遥测");
// The DataType itself stays with the row, in a hidden cell after the five
// shown: the trend chart marks the samples set by hand.
inline constexpr int kDataTypeCell = 5;
inline constexpr int kHiddenSampleCells = 1;

// A sample's time stamp as the list shows it: trailing blanks removed, and
// SQL Server's fraction (".000") cut off.
QString telemetryTimeCell(DatabaseKind kind, const QString& text);
// The list's cells of the current row of a SELECT * of a telemetry table,
// the hidden DataType cell last.
QStringList sampleCells(DatabaseKind kind, db::ResultSet& rs);

} // namespace telemetry
} // namespace tessera
