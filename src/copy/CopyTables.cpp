#include "copy/CopyTables.h"

#include "schema/TableNames.h"

namespace tessera::copy {

QStringList copyColumnHeaders()
{
    return {QStringLiteral("表名"), QStringLiteral("状态"), QStringLiteral("开始时间"), QStringLiteral("结束时间"),
            QStringLiteral("数量")};
}

const QStringList& copyTableNames()
{
    static const QStringList names = [] {
        QStringList list;
        for (int n = 1; n <= kCalendarDaySlots; ++n)
            list << CalendarDayTableName(n);
        list << QStringLiteral("SOE") << QStringLiteral("Fault") << QStringLiteral("LimitAlarm")
             << QStringLiteral("RSChange") << QStringLiteral("RSSummary") << QStringLiteral("SDaySummary")
             << QStringLiteral("Event");
        return list;
    }();
    return names;
}

int copyTableRow(const QString& name)
{
    return int(copyTableNames().indexOf(name));
}

int calendarDayRow(int month, int day)
{
    return (month - 1) * 31 + day - 1;
}

std::optional<std::vector<bool>> tablesTickedForRange(bool rangeFlag, const QDateTime& start, const QDateTime& end)
{
    if (start > end)
        return std::nullopt;
    std::vector<bool> ticked(kCopyTableRows, false);
    if (!rangeFlag)
        return ticked;
    const QDate from = start.date();
    const QDate to = end.date();
    if (to.year() > from.year()) {
        ticked.assign(kCopyTableRows, true);
    } else {
        const int first = calendarDayRow(from.month(), from.day());
        const int last = calendarDayRow(to.month(), to.day());
        for (int row = first; row <= last && row < kCalendarDayRows; ++row)
            ticked[size_t(row)] = true;
    }
    return ticked;
}

QString copyRangeProblem(const QDate& start, const QDate& end)
{
    if (start > end)
        return QStringLiteral("开始时间不能大于结束时间!");
    if (!end.addDays(1).isValid() || end.addDays(1).year() > 9999)
        return QStringLiteral("结束时间不能晚于9999-12-30!");
    return QString();
}

bool calendarDayInRange(int year, int month, int day, const QDate& start, const QDate& end)
{
    auto key = [](int y, int m, int d) { return (qint64(y) * 100 + m) * 100 + d; };
    const qint64 k = key(year, month, day);
    return k >= key(start.year(), start.month(), start.day()) && k <= key(end.year(), end.month(), end.day());
}

QString copyTimeText(const QDateTime& moment)
{
    const QDate d = moment.date();
    const QTime t = moment.time();
    return QString::asprintf(" %04d-%d-%d %02d:%02d:%02d", d.year(), d.month(), d.day(), t.hour(), t.minute(),
                             t.second());
}

} // namespace tessera::copy
