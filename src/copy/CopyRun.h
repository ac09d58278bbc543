#pragma once

#include "dialect/DatabaseKind.h"
#include "copy/CopySettings.h"
#include "copy/CopyTables.h"
#include "copy/CopyUnit.h"
#include "copy/CopyValues.h"
#include "copy/RefusedRows.h"
#include "copy/VerifyUnit.h"
#include "db/Connection.h"
#include "journal/JournalEntry.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

namespace tessera {
class NamedLock;
}

namespace tessera::journal {
class Journal;
}

namespace tessera::copy {

// A row the verify found different on the two sides, in the columns' texts.
struct DifferenceLine {
    QString table; // the chosen table (Event, Tag0305)
    QString unit;  // the unit's day or range
    QString kind;  // "缺" missing in the target, "多" extra there, "异" other values
    QStringList columns;
    QStringList source; // empty for "多"
    QStringList target; // empty for "缺"
};

// A difference as CSV cells: 表名, 单元, 差异, 源, 目的 (the values "column=value; ...").
QStringList differenceHeaders();
QStringList differenceCells(const DifferenceLine& line);

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
    // Asked a few times a second while the run waits for a source that is
    // slow to answer; the dialog repaints here.
    virtual bool stopRequestedWhileWaiting() { return stopRequested(); }
    // A table's row is final (also the row of a table that aborted the run).
    virtual void tableEnded(int row) {}
    // A verify's difference, as it is found (before the table ends).
    virtual void rowDifference(int row, const DifferenceLine& line) {}
};

// What a run does with each unit of its tables.
enum class RunMode {
    Copy,   // replaces the unit's range in the target
    Verify, // compares the unit on both sides and writes nothing
    Repair, // compares, copies again a unit that differs, and compares it again
};

// The status of a verified table: "一致", or "不一致: 缺N 多M 异K".
inline const QString kStatusEqual = QStringLiteral("一致");
QString differenceStatus(qint64 missing, qint64 extra, qint64 different);

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
    // The run on open connections: refused (with a message, nothing touched)
    // when the range cannot be copied, another copy holds the target's lock
    // or the journal cannot take the run; see RunRefused().
    bool CopyTables(const QStringList& chosenTables);
    // Whether the last CopyTables was refused before any table was touched.
    bool RunRefused() const { return m_refused; }

    // The procedures of one table; each unit of them (the event table's
    // range, a telemetry day of one year) completes or leaves the target as
    // it was.
    CopyOutcome CopyEventTable(const EventTableCopy& table);
    CopyOutcome CopyTelemetryDay(const QString& dayName);

    void SetMode(RunMode mode) { m_mode = mode; }
    RunMode Mode() const { return m_mode; }
    // Reals of the verify closer than this are equal (0: equal at the target column's precision).
    void SetTolerance(double tolerance) { m_tolerance = tolerance; }

    // The operation journal the runs are recorded in, with who runs them
    // (login, reason); none: not journaled. A journal that cannot take the
    // run stops it before anything is copied.
    void SetJournal(journal::Journal* journal, const journal::EntryDraft& who = {});

    // Tables copied at once, each on a connection pair of its own (1: one
    // after the other on the run's pair). A SQLite or Access target takes
    // one writer at a time and always runs on one pair.
    void SetJobs(int jobs) { m_jobs = std::clamp(jobs, 1, kMaxCopyJobs); }
    int Jobs() const;

    ~CopyRun();

    db::Connection& Target() { return m_target; }
    db::Connection& Source() { return m_source; }
    bool Stopped() const { return m_stopped; }

private:
    friend class ParallelRun;

    // The target's named lock, held for the whole run; false (with a
    // message) when another run holds it or it cannot be asked for.
    bool LockTarget();
    bool CopyTablesJournaled(const QStringList& chosenTables);
    bool CopyChosenTables(const QStringList& chosenTables);
    // A chosen table by its name: an event table or a telemetry day.
    CopyOutcome CopyTable(const QString& name);
    // CopyTable, with anything it throws ending the run with a message.
    CopyOutcome CopyTableSafely(const QString& name);
    UnitPlan EventTablePlan(const EventTableCopy& table) const;

    // A table's verdicts over its units (see CopyRunVerify.cpp).
    struct VerifyTally {
        qint64 missing = 0;
        qint64 extra = 0;
        qint64 different = 0;
        bool repaired = false; // a unit differed and was copied again
        void add(const VerifyResult& result);
        QString status() const;
    };
    // A calendar-day table's month and day.
    struct CalendarDay {
        int month;
        int day;
    };
    // One calendar-day table's copy over its years.
    struct TelemetryDayProgress {
        int row = 0;
        int years = 0;
        int yearIndex = 0;
        qint64 count = 0;
        bool success = true;
        RefusedRows refused;
        VerifyTally tally;
    };
    enum class YearEnd {
        Copied,  // the year is done (refused samples may be among it); next year
        Failed,  // the source failed: the table ends failed, the run goes on
        Aborted, // lost connection or stop: the table ends failed, the run ends
        RunEnded // a probe or the delete failed: the row keeps its start, the run ends
    };
    UnitPlan TelemetryDayPlan(const QString& dayName, const CalendarDay& day, int year) const;
    // One unit as the run's mode has it: copied, compared, or compared,
    // copied again when it differs and compared again.
    UnitResult RunUnit(int row, const QString& unitText, const UnitPlan& copy,
                       const std::function<VerifyPlan()>& verifyPlan, const UnitCallbacks& callbacks,
                       VerifyTally& tally);
    VerifyPlan EventVerifyPlan(const EventTableCopy& table) const;
    VerifyPlan TelemetryVerifyPlan(const QString& dayName, const CalendarDay& day, int year);
    int RealDigits() const;


    YearEnd CopyTelemetryYear(const QString& dayName, const CalendarDay& day, int year,
                              TelemetryDayProgress& progress);
    // Shows the count and the progress when enough time passed.
    void ShowProgress(int row, qint64 count, double fraction);
    // Asks the report, and remembers a stop.
    bool StopAsked();
    UnitCallbacks UnitCallbacksFor(int row, qint64 countBefore, std::function<double(qint64 rowsRead)> fraction);
    // A verify's failure to read the target's table.
    QString TargetUnreadable(const QString& table, const UnitResult& result) const;
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
    db::Connection m_targetReading; // a verify's reads of the target
    QDateTime m_runClock;
    QElapsedTimer m_sinceProgress;
    int m_tablesDone = 0;
    int m_tablesTotal = 0;
    int m_jobs = 1;
    bool m_stopped = false;
    bool m_refused = false;
    RunMode m_mode = RunMode::Copy;
    double m_tolerance = 0;
    std::unique_ptr<NamedLock> m_lock;
    // Shared with the lanes of a parallel run: one lost-connection message a run.
    std::shared_ptr<std::atomic<bool>> m_connectionLossTold = std::make_shared<std::atomic<bool>>(false);
};

} // namespace tessera::copy
