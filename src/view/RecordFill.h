#pragma once

#include "dialect/DatabaseKind.h"
#include "view/ViewMode.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <array>
#include <vector>

// What the record list reads when it switches: today's rows of one record
// kind, or today's samples of one telemetry tag, turned into text cells. The
// list (CTesseraView) only clears, shows and reports; the SQL and the cell
// rules live here, free of widgets.
namespace tessera {

namespace db {
class Connection;
}

// How a failed fill is reported to the user.
enum class MessageStyle {
    Standard,    // the application's standard box
    OwnedByView, // a warning box owned by the list, with the failure's caption
};

struct FillFailure {
    QString text;
    MessageStyle style = MessageStyle::Standard;
    QString caption; // OwnedByView only
};

// How one of the leading cells of a record row is made from its column.
enum class CellRead {
    Text,        // the driver's text
    Date,        // a date value as yyyy-mm-dd; empty when there is none
    Time,        // the hh:mm:ss of a date-time text (characters 11 to 18)
    TrimmedTime, // the same, trailing blanks removed first
};

// Everything that tells the four record kinds apart in the list.
struct RecordKindFill {
    ViewMode mode;
    QString table;
    std::array<CellRead, 3> leading; // cells 0..2 from columns 0..2; later cells are texts
    int lastColumn;                  // cells beyond it stay empty
    FillFailure failure;
};

// The four record kinds in the order of their codes.
const std::vector<RecordKindFill>& recordKindFills();
// nullptr for a mode (or code) that has no records, such as the start page.
const RecordKindFill* recordKindFill(ViewMode mode);

const FillFailure& telemetryFillFailure();

// Receives a fill: the column names first, then each row in result order.
class FillSink {
public:
    virtual ~FillSink() = default;
    // The result's columns named as the database reports them (PostgreSQL:
    // lower case). Comes once, before any row, also for an empty result.
    virtual void columns(const QStringList& names) = 0;
    virtual void row(const QStringList& cells) = 0;
};

// Today's rows of a record kind, newest date first. Nothing happens for a
// mode without records. Throws db::DbError after delivering the rows read
// before the failure.
QString recordKindSql(DatabaseKind kind, ViewMode mode, const QDate& today);
void readRecordKind(db::Connection& connection, DatabaseKind kind, ViewMode mode, const QDate& today,
                    FillSink& sink);

// Today's samples of one tag from today's telemetry table, newest first.
// Throws db::DbError as above; a missing table fails before any column.
QString telemetrySql(int tag, const QDate& today);
void readTelemetry(db::Connection& connection, DatabaseKind kind, int tag, const QDate& today, FillSink& sink);

// The third cell of every telemetry row: the samples are telemetry, whatever
// their DataType says.
inline const QString kTelemetryCellText = QStringLiteral("遥测");

// A telemetry sample's time stamp as the list shows it: trailing blanks
// removed, and SQL Server's fraction (".000") cut off.
QString telemetryTimeCell(DatabaseKind kind, const QString& text);
// The hh:mm:ss of a date-time text such as "1899-12-30 08:15:30".
QString timeOfDayCell(const QString& text);

} // namespace tessera
