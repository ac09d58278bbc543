#include "schema/TableNames.h"

namespace tessera {

namespace {

constexpr int kDaysPerMonthSlot = 31;
constexpr qsizetype kPrefixLength = 3; // "Tag"

} // namespace

QString TelemetryTableName(const QDate& day)
{
    if (!day.isValid())
        return QString();
    return QString::asprintf("Tag%04d%02d%02d", day.year(), day.month(), day.day());
}

QString CalendarDayTableName(int n)
{
    if (n < 1 || n > kCalendarDaySlots)
        return QString();
    int month = n / kDaysPerMonthSlot + 1;
    int day = n % kDaysPerMonthSlot;
    if (day == 0) {
        --month;
        day = kDaysPerMonthSlot;
    }
    return QString::asprintf("Tag%02d%02d", month, day);
}

int calendarDaySlot(const QString& tableName)
{
    if (tableName.size() != kPrefixLength + 4
        || !tableName.startsWith(QLatin1String("Tag"), Qt::CaseInsensitive))
        return 0;
    int digits[4];
    for (int i = 0; i < 4; ++i) {
        const QChar c = tableName[kPrefixLength + i];
        if (c < u'0' || c > u'9')
            return 0;
        digits[i] = c.unicode() - u'0';
    }
    const int month = digits[0] * 10 + digits[1];
    const int day = digits[2] * 10 + digits[3];
    if (month < 1 || month > 12 || day < 1 || day > kDaysPerMonthSlot)
        return 0;
    return (month - 1) * kDaysPerMonthSlot + day;
}

} // namespace tessera
