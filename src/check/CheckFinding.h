#pragma once

#include <QDate>
#include <QString>

#include <vector>

// What a data check finds and what it scans: the findings of its rules on
// the samples of one tag's day.
namespace tessera::check {

enum class RuleId { Gap, Spike, FlatLine, OutOfRange, CounterBackwards };

// A tag as the scan covers it: its place in the tree and whether it counts
// pulses (遥脉), whose values only ever rise.
struct ScanTag {
    int tagId = 0;
    QString path; // "station / switch / tag"
    bool counter = false;
};

inline constexpr qint32 kMsecsPerDay = 86'400'000;
// The last second of a day, as a finding that reaches the day's end shows it.
inline constexpr qint32 kLastSecondOfDay = kMsecsPerDay - 1000;

struct Finding {
    int tagId = 0;
    QString tagPath;
    QDate day;
    RuleId rule = RuleId::Gap;
    qint32 fromMsecs = 0; // time of day, both ends inclusive
    qint32 toMsecs = 0;
    QString values;       // the values concerned, as the worklist shows them
    qint64 count = 0;     // samples concerned (a gap: samples missing)
};

// One line of text per finding, "path day rule hh:mm:ss-hh:mm:ss values count":
// what the worklist exports and the tests compare.
QString findingText(const Finding& finding);
QString timeOfDayText(qint32 msecs);

} // namespace tessera::check
