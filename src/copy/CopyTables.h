#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// The copy's table list: 372 calendar-day tables in their slots, then the
// seven event and summary tables. Row numbers address the list everywhere.
namespace tessera::copy {

inline constexpr int kCopyTableRows = 379;
inline constexpr int kCalendarDayRows = 372;

// Columns of the table list.
enum class CopyColumn { Name = 0, Status = 1, Started = 2, Ended = 3, Count = 4 };
inline constexpr int kCopyColumns = 5;
QStringList copyColumnHeaders();

// The 379 names in row order: Tag0101 .. Tag1231, SOE, Fault, LimitAlarm,
// RSChange, RSSummary, SDaySummary, Event.
const QStringList& copyTableNames();
// The row of a name as the list spells it; -1 when it is not in the list.
int copyTableRow(const QString& name);
// The row of a calendar-day table TagMMDD: (MM - 1) * 31 + DD - 1.
int calendarDayRow(int month, int day);

// Which rows the range check box ticks. nullopt when start is later than
// end (the rows stay as they are). With the box cleared nothing is ticked;
// different years tick every row; the same year ticks the calendar-day rows
// from the start date's to the end date's, both included.
std::optional<std::vector<bool>> tablesTickedForRange(bool rangeFlag, const QDateTime& start,
                                                    const QDateTime& end);

// The status texts the procedures write.
inline const QString kStatusStarted = QStringLiteral("处理开始");
inline const QString kStatusBegun = QStringLiteral("开始处理");
inline const QString kStatusFailed = QStringLiteral("处理失败");
inline const QString kStatusDone = QStringLiteral("处理成功完成");
// A chosen table the run never reached (tessera-copy's output).
inline const QString kStatusNotReached = QStringLiteral("未处理");
// A chosen calendar-day table none of whose days lies in the range: nothing
// was touched; neither a success nor a failure.
inline const QString kStatusOutOfRange = QStringLiteral("不在复制范围内");
// Whether a table that ended with this status needs no further run.
inline bool statusNeedsNoRerun(const QString& status)
{
    return status == kStatusDone || status == kStatusOutOfRange;
}

// Why the range from start to end (days, both included) cannot be copied;
// empty when it can. The day after the end bounds every range, and a day
// after 9999-12-31 cannot be written.
QString copyRangeProblem(const QDate& start, const QDate& end);

// Whether month-day of `year` lies in the range, compared as numbers, so
// that a slot no calendar has (30 February) lies between its neighbours.
bool calendarDayInRange(int year, int month, int day, const QDate& start, const QDate& end);

// The list's form of a moment: " yyyy-m-d hh:mm:ss", month and day unpadded.
QString copyTimeText(const QDateTime& moment);

} // namespace tessera::copy
