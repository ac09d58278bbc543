#pragma once

#include "journal/JournalEntry.h"
#include "journal/JournalError.h"
#include "journal/SqliteDatabase.h"

#include <QString>

#include <optional>
#include <vector>

namespace tessera::journal {

inline constexpr char kJournalFileName[] = "OperationJournal.sqlite";

// The journal file beside DataSource.ini (the same folder rules).
QString defaultJournalPath();
// The operating-system user running the program.
QString osUserName();

// The operation journal: a local SQLite file, owner-only, that records every
// writing command with the before-image of what it changes.
//
// The order that loses nothing: beginEntry (the entry and its before-image
// are committed and survive a killed program), then the command changes the
// archive, recordAfterState for each unit (before or after the archive's
// commit), then finishEntry. An entry still pending at the next start is
// one whose command was interrupted.
//
// Every failure to read or write the file throws JournalError; a command
// that gets it from beginEntry must not touch the archive.
class Journal {
public:
    // Opens the journal, creating it (owner-only) when missing. A file that
    // is not a SQLite database or fails its quick check is renamed aside
    // (setAsidePath()) and a new journal started. Throws JournalError when
    // the file cannot be created, opened or written.
    static Journal open(const QString& path);

    Journal(Journal&&) noexcept = default;
    Journal& operator=(Journal&&) noexcept = default;
    ~Journal() noexcept = default;

    const QString& path() const noexcept { return m_path; }
    // Where an unusable journal found by open() was moved; empty otherwise.
    const QString& setAsidePath() const noexcept { return m_setAsidePath; }

    // Records a new pending entry with its units and their before-images, in
    // one transaction. Returns its id once it is on disk.
    qint64 beginEntry(const EntryDraft& draft);
    // The rows the command left in one unit's scope: a capture after the
    // command, or (afterStateOfWritten) what it wrote.
    void recordAfterState(qint64 entryId, int unit, const RowSet& rows);
    void recordAfterState(qint64 entryId, int unit, const AfterState& after);
    // One unit's own outcome (a copied table's status and row count).
    void setUnitOutcome(qint64 entryId, int unit, const QString& status, std::optional<qint64> rows = std::nullopt);
    // Ends an entry. An undo entry that is done marks the entry it reversed.
    void finishEntry(qint64 entryId, EntryState state, const QString& outcome, const RowCounts& counts = {});

    std::vector<EntrySummary> entries(const EntryFilter& filter = {});
    std::optional<EntryDetails> entry(qint64 entryId);
    // Entries never finished: their command was interrupted.
    std::vector<EntrySummary> pendingEntries();

    // The before-image of a unit (empty rows when none was kept).
    RowSet beforeRows(qint64 entryId, int unit);
    // The after-state rows, when they were kept.
    std::optional<std::vector<Row>> afterRows(qint64 entryId, int unit);

    // Removes entries started more than `days` days ago, with their images;
    // returns how many. Nothing for days <= 0.
    int removeOlderThan(int days);
    // removeOlderThan(settings().retentionDays): the start-up clean-up.
    int applyRetention();
    // The journal's size on disk (with its write-ahead log).
    qint64 sizeBytes() const;

    JournalSettings settings();
    void setSettings(const JournalSettings& settings);

    // How long a write waits for another program holding the file.
    void setBusyTimeout(int milliseconds);

private:
    Journal() = default;

    void prepareFile();
    void writeAfterState(qint64 entryId, int unit, const AfterState& after, const RowSet* shape);
    void createSchema();
    std::vector<EntrySummary> querySummaries(const QString& condition, const std::vector<QString>& values, int limit);

    QString m_path;
    QString m_setAsidePath;
    SqliteDatabase m_db;
};

} // namespace tessera::journal
