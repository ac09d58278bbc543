#pragma once

#include <QDate>
#include <QString>

// Names of the telemetry tables of both database generations.
namespace tessera {

// The newer generation's table of one day: "Tag" + yyyymmdd (Tag20080131).
// Empty for an invalid date. Every table of the newer generation is named
// here, by the editor and the copy alike, so that a database with
// case-sensitive table names sees one spelling.
QString TelemetryTableName(const QDate& day);
// The same for a day given by its numbers, also one no calendar has
// (Tag20080230, which a calendar-day table's copy may probe for).
QString TelemetryTableName(int year, int month, int day);

// The older generation keeps one table per calendar day of every year,
// "Tag" + mmdd, in 372 slots of 31 days per month (Tag0230 and Tag1131
// included). Slot n in 1..372 names month n/31+1, day n%31, with day 0
// meaning day 31 of the month before. Empty outside 1..372.
inline constexpr int kCalendarDaySlots = 12 * 31;
QString CalendarDayTableName(int n);

} // namespace tessera
