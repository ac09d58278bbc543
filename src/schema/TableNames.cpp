#include "schema/TableNames.h"

namespace tessera {

namespace {

constexpr int kDaysPerMonthSlot = 31;

} // namespace

QString TelemetryTableName(const QDate& day)
{
    if (!day.isValid())
        return QString();
    return TelemetryTableName(day.year(), day.month(), day.day());
}

QString TelemetryTableName(int year, int month, int day)
{
    return QString::asprintf("Tag%04d%02d%02d", year, month, day);
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

} // namespace tessera
