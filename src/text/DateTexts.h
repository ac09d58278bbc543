#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

#include <optional>

namespace tessera {

// "yyyy-mm-dd", zero-padded: the form list cells show and date literals take.
QString dateText(const QDate& date);
// "yyyy-mm-dd hh:mm:ss", zero-padded.
QString dateTimeText(const QDate& day, const QTime& time);
QString dateTimeText(const QDateTime& moment);
// The same form as a QDateTime format, for parsing such texts.
inline QString dateTimeFormat()
{
    return QStringLiteral("yyyy-MM-dd hh:mm:ss");
}
// The date of a date-time cell; empty for NULL.
QString dateCell(const std::optional<QDateTime>& value);

} // namespace tessera
