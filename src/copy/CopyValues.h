#pragma once

#include "db/Statement.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace tessera::db {
class DbError;
class ResultSet;
}

// How a row read from the older generation becomes the values written to the
// newer one. A date or time that cannot be read is an error that names the
// table, the row and the text: it never becomes NULL, since a row without its
// date escapes every later range delete and piles up on each rerun.
namespace tessera::copy {

// How a column of an event or summary table is read from the source and
// written to the target.
enum class Conversion {
    Date,          // date value -> the day at midnight
    Time,          // text, hh:mm:ss from position 11 -> that time on 1899-12-30
    Integer,       // text, leading decimal integer
    Text,          // text, leading blanks removed, trailing kept
    TextAsIs,      // text unchanged
    Single,        // typed number taken as single precision, six decimals
    SingleTwo,     // typed number taken as single precision, two decimals
    SingleFromText // text, leading decimal real as single precision, six decimals
};

// One event or summary table: what differs between the seven is data here.
struct EventTableCopy {
    QString table;
    QString statusAtStart;       // empty: the row is not touched at the start
    QString statusAfterDelete;   // empty: none
    QString insertFailureText;   // shown when an insert fails
    QStringList columns;         // in source position order
    std::vector<Conversion> conversions;
};

// The seven descriptions, in the list's row order (SOE .. Event).
const std::vector<EventTableCopy>& eventTableCopies();
const EventTableCopy* eventTableCopy(const QString& table);

// A converted event row; NULL stays NULL. A target that keeps date-times as
// text gets the canonical text of dates and times. rowNumber (from 1) names
// the row in the error thrown for an unreadable date or time.
std::vector<db::Value> convertEventRow(const EventTableCopy& table, db::ResultSet& row, bool targetTakesText,
                                       qint64 rowNumber);

// A sample of a calendar-day table (ATime, TagID, DataType, nValue,
// nValueChange) as the newer generation's columns. The values are the
// nearest doubles of the source's, whatever its numeric column types.
std::vector<db::Value> convertSample(const QString& dayTable, db::ResultSet& row, bool targetTakesText,
                                     qint64 rowNumber);

// The error of a value that cannot be read (SQLSTATE 22007, invalid
// date-time format), naming the table, the row, the column and the text.
db::DbError unreadableValue(const QString& table, qint64 rowNumber, const QString& column, const QString& text);

} // namespace tessera::copy
