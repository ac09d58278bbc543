#pragma once

#include <QDate>
#include <QString>

// Names of the telemetry tables of both database generations.
namespace tessera {

// The newer generation's table of one day: "Tag" + yyyymmdd (Tag20080131).
// Empty for an invalid date.
QString TelemetryTableName(const QDate& day);

// The older generation keeps one table per calendar day of every year,
// "Tag" + mmdd, in 372 slots of 31 days per month (Tag0230 and Tag1131
// included). Slot n in 1..372 names month n/31+1, day n%31, with day 0
// meaning day 31 of the month before. Empty outside 1..372.
inline constexpr int kCalendarDaySlots = 12 * 31;
QString CalendarDayTableName(int n);

} // namespace tessera
