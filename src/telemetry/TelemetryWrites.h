#pragma once

#include "db/BulkWriter.h"
#include "schema/Schema.h"

#include <QDateTime>
#include <QString>

namespace tessera::db {
class Connection;
}

// What the writing telemetry commands share: the number forms they write,
// the INSERT they bind and the statements a unit survives.
namespace tessera::telemetry::writes {

inline constexpr int kSecondsPerDay = 86400;

inline const QString kInsertParameters = QStringLiteral("INSERT INTO %1(") + kSampleColumns + ") VALUES(?,?,?,?,?)";

// The INSERT of one hand-set sample (DataType kManualDataType) of literals.
inline QString sampleInsertSql(const QString& table, const QString& atLiteral, int tagId, const QString& value,
                               const QString& change)
{
    return QStringLiteral("INSERT INTO %1(%2) VALUES(%3,%4,%5,%6,%7)")
        .arg(table, kSampleColumns, atLiteral)
        .arg(tagId)
        .arg(kManualDataType)
        .arg(value, change);
}

inline QString twoDecimals(double value)
{
    return QString::asprintf("%0.2f", value);
}

// The value "%0.2f" would write, as the number a bound parameter carries, so
// that the bulk path stores what a statement with literals stores.
inline double asWritten(double value)
{
    return twoDecimals(value).toDouble();
}

// Wall-clock instants: a sample series never jumps at a change of daylight
// saving time.
inline QDateTime wallClock(const QDate& day, const QTime& time)
{
    return QDateTime(day, time, Qt::UTC);
}

// The wall-clock instant of an ATime cell as the driver gives it
// ("yyyy-mm-dd hh:mm:ss", a fraction or trailing blanks after it); invalid
// for any other text.
inline QDateTime wallClockOf(const QString& cell)
{
    return wallClock(QDate::fromString(cell.left(10), Qt::ISODate),
                     QTime::fromString(cell.mid(11, 8), QStringLiteral("HH:mm:ss")));
}

} // namespace tessera::telemetry::writes
