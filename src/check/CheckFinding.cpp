#include "check/CheckFinding.h"

#include "check/CheckRules.h"

namespace tessera::check {

QString timeOfDayText(qint32 msecs)
{
    const int seconds = msecs / 1000;
    return QString::asprintf("%02d:%02d:%02d", seconds / 3600, seconds / 60 % 60, seconds % 60);
}

QString findingText(const Finding& f)
{
    return QStringLiteral("%1 %2 %3 %4-%5 %6 %7")
        .arg(f.tagPath, f.day.toString(Qt::ISODate), ruleOf(f.rule).name, timeOfDayText(f.fromMsecs),
             timeOfDayText(f.toMsecs), f.values)
        .arg(f.count);
}

} // namespace tessera::check
