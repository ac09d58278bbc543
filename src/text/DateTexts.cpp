#include "text/DateTexts.h"

namespace tessera {

QString dateText(const QDate& date)
{
    return QString::asprintf("%04d-%02d-%02d", date.year(), date.month(), date.day());
}

QString dateTimeText(const QDate& day, const QTime& time)
{
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", day.year(), day.month(), day.day(), time.hour(),
                             time.minute(), time.second());
}

QString dateTimeText(const QDateTime& moment)
{
    return dateTimeText(moment.date(), moment.time());
}

QString dateCell(const std::optional<QDateTime>& value)
{
    return value ? dateText(value->date()) : QString();
}

} // namespace tessera
