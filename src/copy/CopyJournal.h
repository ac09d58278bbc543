#pragma once

#include "copy/CopyRun.h"
#include "journal/JournalEntry.h"

#include <QDateTime>
#include <QStringList>

#include <map>

namespace tessera::journal {
class Journal;
}

namespace tessera::copy {

// Event tables whose range holds at most this many rows in the target keep
// their before-image, so that a small copy can be undone; larger ranges and
// the telemetry days are traced (statuses and counts) but not undoable.
inline constexpr qsizetype kCopyBeforeImageRows = 10000;

// One copy run in the operation journal: an entry begun before the first
// table is touched, a unit a chosen table (its range, and for an event
// table with a small range its rows before), each table's status and count
// as the table ends, and the run's outcome.
class CopyJournal : public CopyReport {
public:
    // Begins the entry on the open target. Throws journal::JournalError or
    // db::DbError: the run must not start.
    // `identity` names the databases behind the data sources (copyRunIdentity).
    CopyJournal(journal::Journal& journal, journal::EntryDraft who, CopySettings& settings, db::Connection& target,
                const QStringList& chosenTables, const QDateTime& start, const QDateTime& end, CopyReport& shown,
                const QString& identity, RunMode mode = RunMode::Copy);
    ~CopyJournal() override;

    // Ends the entry: the after-state of the units kept, the outcome.
    // Throws journal::JournalError, also for a table's outcome that could
    // not be written on the way.
    void finish(bool completed);

    void setCell(int row, CopyColumn column, const QString& text) override;
    void message(const QString& text, const QString& caption) override;
    void progress(int tablesDone, int tablesTotal, double tableFraction) override;
    bool stopRequested() override;
    void tableEnded(int row) override;
    void rowDifference(int row, const DifferenceLine& line) override { m_shown.rowDifference(row, line); }

private:
    struct Unit {
        int index;
        QString status;
        qint64 count = -1;
    };
    journal::Journal& m_journal;
    db::Connection& m_target;
    DatabaseKind m_kind;
    CopyReport& m_shown;
    qint64 m_entryId = 0;
    std::vector<journal::UnitDraft> m_units;
    std::map<int, Unit> m_unitOfRow; // by the table list's row
    std::optional<journal::RowSet> beforeImageOf(db::Connection& target, const journal::UnitScope& scope) const;

    QStringList m_failures; // the first messages of the run
    qint64 m_untoldFailures = 0;
    QString m_journalFailure;
    bool m_finished = false;
};

} // namespace tessera::copy
