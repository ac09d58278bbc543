#pragma once

#include "records/EventKind.h"

#include <QDate>

// What the record list reads when it switches to a record kind: today's
// rows, turned into text cells by the kind's description.
namespace tessera {

class FillSink;

namespace records {

// Today's rows of a record kind, newest date first; empty for a mode
// without records.
QString todaysRecordsSql(DatabaseKind db, ViewMode mode, const QDate& today);
// Nothing happens for a mode without records. Throws db::DbError after
// delivering the rows read before the failure.
void readTodaysRecords(db::Connection& connection, DatabaseKind db, ViewMode mode, const QDate& today,
                       FillSink& sink);

// The hh:mm:ss of a date-time text such as "1899-12-30 08:15:30".
QString timeOfDayCell(const QString& text);

} // namespace records
} // namespace tessera
