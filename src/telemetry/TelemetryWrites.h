#pragma once

#include "db/BulkWriter.h"

#include <QDateTime>
#include <QString>

namespace tessera::db {
class Connection;
}

// What the writing telemetry commands share: the number forms they write,
// the INSERT they bind and the statements a unit survives.
namespace tessera::telemetry::writes {

inline constexpr int kSecondsPerDay = 86400;

inline const QString kInsertParameters =
    QStringLiteral("INSERT INTO %1(ATime,TagID,DataType,nValue,nValueChange) VALUES(?,?,?,?,?)");

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

// One writer per unit: inside the unit's transaction, or row by row on a
// table that cannot roll back.
inline db::BulkWriter::Mode writerMode(bool transactional)
{
    return transactional ? db::BulkWriter::Mode::InTransaction : db::BulkWriter::Mode::RowByRow;
}

} // namespace tessera::telemetry::writes
