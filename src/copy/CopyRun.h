#pragma once

#include "dialect/DatabaseKind.h"
#include "copy/CopySettings.h"
#include "copy/CopyTables.h"
#include "copy/CopyUnit.h"
#include "copy/CopyValues.h"
#include "db/Connection.h"
#include "journal/JournalEntry.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <vector>

namespace tessera::journal {
class Journal;
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
    // Asked before every table, before every delete and between rows. True
    // ends the run: the unit being copied is undone and its table marked
    // failed; no further table is touched.
    virtual bool stopRequested() { return false; }
    // A table's row is final (also the row of a table that aborted the run).
    virtual void tableEnded(int row) {}
};

// The most tables a run copies at once.
inline constexpr int kMaxCopyJobs = 16;

// How a table's copy ended for the run: Abort ends the whole run at once
// (a telemetry probe or delete failing, a lost connection, the user's stop).
enum class CopyOutcome { Done, Abort };

// One run of the copy between generations: the two data sources with their
// kinds, the date range, the two connections of its own and the run clock.
class CopyRun {
public:
    CopyRun(CopySettings& settings, const QDateTime& start, const QDateTime& end, CopyReport& report);

    // Both kinds from the data sources' drivers, found in the system list or
    // the user list. Shows its messages; false stops the start.
    bool LookUpConnectionKinds();
    // Opens the target, then the source, by data-source name, user and
    // password; the failure messages are owned boxes "系统提示".
    bool OpenCopyConnections();
    // Opens the connections and copies the chosen tables (row order given,
    // run from the last to the first). False when the connections did not
    // open, a table aborted the run (a telemetry probe or delete failing, a
    // lost connection) or the user stopped.
    bool RunCopy(const QStringList& chosenTables);
    void CloseConnections();

    // The run with connections already open (tests, other front ends). A
    // side without a data-source name in the settings is named by the DSN of
    // its connect string in messages.
    void Attach(db::Connection target, DatabaseKind targetKind, db::Connection source, DatabaseKind sourceKind);
    bool CopyTables(const QStringList& chosenTables);

    // The procedures of one table; each unit of them (the event table's
    // range, a telemetry day of one year) completes or leaves the target as
    // it was.
    CopyOutcome CopyEventTable(const EventTableCopy& table);
    CopyOutcome CopyTelemetryDay(const QString& dayName);

    // The operation journal the runs are recorded in, with who runs them
    // (login, reason); none: not journaled. A journal that cannot take the
    // run stops it before anything is copied.
    void SetJournal(journal::Journal* journal, const journal::EntryDraft& who = {});

    // Tables copied at once, each on a connection pair of its own (1: one
    // after the other on the run's pair). A SQLite or Access target takes
    // one writer at a time and always runs on one pair.
    void SetJobs(int jobs) { m_jobs = std::clamp(jobs, 1, kMaxCopyJobs); }
    int Jobs() const;

    db::Connection& Target() { return m_target; }
    db::Connection& Source() { return m_source; }
    bool Stopped() const { return m_stopped; }

private:
    bool CopyChosenTables(const QStringList& chosenTables);
    // The chosen tables on several pairs; see CopyRunParallel.cpp.
    bool CopyChosenTablesInParallel(const QStringList& chosenTables);
    // A chosen table by its name: an event table or a telemetry day.
    CopyOutcome CopyTable(const QString& name);
    // Shows the count and the progress when enough time passed.
    void ShowProgress(int row, qint64 count, double fraction);
    // Asks the report, and remembers a stop.
    bool StopAsked();
    UnitCallbacks UnitCallbacksFor(int row, qint64 countBefore, std::function<double(qint64 rowsRead)> fraction);
    // The one message of a lost connection, naming its data source.
    void ReportLostConnection(const UnitResult& result);
    void ReportLostConnection(Side side, const db::DbError& error);
    QString TargetLiteral(const QString& text) const { return FormatDateLiteral(m_settings.target.kind, text); }
    QString SourceLiteral(const QString& text) const { return FormatDateLiteral(m_settings.source.kind, text); }

    CopySettings& m_settings;
    QDateTime m_start;
    QDateTime m_end;
    CopyReport* m_report; // the caller's, or the journal in front of it during a run
    journal::Journal* m_journal = nullptr;
    journal::EntryDraft m_journalWho;
    db::Connection m_target;
    db::Connection m_source;
    QDateTime m_runClock;
    QElapsedTimer m_sinceProgress;
    int m_tablesDone = 0;
    int m_tablesTotal = 0;
    int m_jobs = 1;
    bool m_stopped = false;
};

} // namespace tessera::copy
