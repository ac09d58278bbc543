#pragma once

#include "app/DatabaseKind.h"
#include "copy/CopySettings.h"
#include "copy/CopyTables.h"
#include "db/Connection.h"
#include "db/Statement.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <vector>

namespace tessera::db {
class ResultSet;
}

namespace tessera::copy {

// What a copy tells the one who runs it: the dialog shows it in its table
// list, progress bar and message boxes; tessera-copy prints it.
class CopyReport {
public:
    virtual ~CopyReport() = default;
    virtual void setCell(int row, CopyColumn column, const QString& text) = 0;
    // A message for the user. An empty caption is the application's standard
    // box; a caption names the operation of a box owned by the dialog.
    virtual void message(const QString& text, const QString& caption = QString()) = 0;
    // Called between rows at least every few tenths of a second: tablesDone
    // whole tables plus a fraction of the current one. The dialog repaints here.
    virtual void progress(int tablesDone, int tablesTotal, double tableFraction) {}
    // Asked between rows; true ends the run after the current row.
    virtual bool stopRequested() { return false; }
    // A table's row is final (also the row of a table that aborted the run).
    virtual void tableEnded(int row) {}
};

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

// A converted row; NULL stays NULL. A target that keeps date-times as text
// gets the canonical text of dates and times as it is.
std::vector<db::Value> convertEventRow(const EventTableCopy& table, db::ResultSet& row, bool targetTakesText);

enum class TelemetryOutcome { Done, Abort };

// One run of the copy between generations: the two data sources with their
// kinds, the date range, the two connections of its own and the run clock.
class CopyRun {
public:
    CopyRun(CopySettings& settings, const QDateTime& start, const QDateTime& end, CopyReport& report);

    // Both kinds from the data sources' drivers, found in the system list or
    // the user list. Shows its messages; false stops the start.
    bool LookUpConnectionKinds();
    // Opens the target, then the source, each "DSN=%s;UID=%s;PWD=%s"; the
    // failure messages are owned boxes "系统提示".
    bool OpenCopyConnections();
    // Opens the connections and copies the chosen tables (row order given,
    // run from the last to the first). False when the connections did not
    // open, a telemetry table aborted or the user stopped.
    bool RunCopy(const QStringList& chosenTables);
    void closeConnections();

    // The run with connections already open (tests, other front ends).
    void attach(db::Connection target, DatabaseKind targetKind, db::Connection source, DatabaseKind sourceKind);
    bool copyTables(const QStringList& chosenTables);

    // The procedures of one table. The telemetry copy reports Abort when the
    // whole run must end (also when the user stopped).
    void copyEventTable(const EventTableCopy& table);
    TelemetryOutcome CopyTelemetryDay(const QString& dayName);

    db::Connection& target() { return m_target; }
    db::Connection& source() { return m_source; }
    bool stopped() const { return m_stopped; }

private:
    // Reports progress when enough time passed; false when the user stopped.
    bool pulse(int row, qint64 count, double fraction);
    qint64 countRows(const QString& sql);
    QString targetLiteral(const QString& text) const { return FormatDateLiteral(m_settings.target.kind, text); }
    QString sourceLiteral(const QString& text) const { return FormatDateLiteral(m_settings.source.kind, text); }

    CopySettings& m_settings;
    QDateTime m_start;
    QDateTime m_end;
    CopyReport& m_report;
    db::Connection m_target;
    db::Connection m_source;
    QDateTime m_runClock;
    QElapsedTimer m_sinceProgress;
    int m_tablesDone = 0;
    int m_tablesTotal = 0;
    bool m_stopped = false;
};

} // namespace tessera::copy
