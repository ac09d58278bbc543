#pragma once

#include "journal/JournalEntry.h"
#include "journal/JournalError.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace SQLite {
class Database;
class Transaction;
}

namespace tessera::journal {

inline constexpr char kJournalFileName[] = "OperationJournal.sqlite";

// The journal file beside DataSource.ini (the same folder rules).
QString defaultJournalPath();
// The operating-system account running the program (systemUserName).
QString osUserName();

class ImageWriter;

// The operation journal: a local SQLite file, owner-only, that records every
// writing command with the before-image of what it changes.
//
// The order that loses nothing: beginEntry (the entry is committed and
// survives a killed program), the before-image written (ImageWriter, from
// what the command's transaction holds locked or sees), the archive's
// commit only after the image's, recordAfterState for each unit, then
// finishEntry. An entry still pending whose process is gone is one whose
// command was interrupted.
//
// Every failure to read or write the file throws JournalError; a command
// that gets it before the archive commits must roll back.
class Journal {
public:
    // Opens the journal, creating it (owner-only) when missing; several
    // instances may do so at once. A file that is not a SQLite database or
    // fails its quick check is renamed aside (setAsidePath()) and a new
    // journal started. Throws JournalError when the file cannot be created,
    // opened or written.
    static Journal open(const QString& path);

    Journal(Journal&&) noexcept;
    Journal& operator=(Journal&&) noexcept;
    ~Journal();

    const QString& path() const noexcept { return m_path; }
    // Where an unusable journal found by open() was moved; empty otherwise.
    const QString& setAsidePath() const noexcept { return m_setAsidePath; }

    // Records a new pending entry with its units (and the before-images
    // given whole), in one transaction, with the process that runs it.
    // Returns its id once it is on disk.
    qint64 beginEntry(const EntryDraft& draft);
    // The rows the command left in one unit's scope.
    void recordAfterState(qint64 entryId, int unit, const RowSet& rows);
    // `shape` names the columns when no before-image did.
    void recordAfterState(qint64 entryId, int unit, const AfterState& after, const RowSet* shape = nullptr);
    // One unit's own outcome (a copied table's status and row count).
    void setUnitOutcome(qint64 entryId, int unit, const QString& status, std::optional<qint64> rows = std::nullopt);
    // Ends an entry. An undo entry that is done marks the entry it reversed.
    // Throws JournalError also when the entry is no longer there.
    void finishEntry(qint64 entryId, EntryState state, const QString& outcome, const RowCounts& counts = {});
    // Removes a pending entry this process began and whose command changed
    // nothing (an undo refused after its check).
    void discardEntry(qint64 entryId);

    std::vector<EntrySummary> entries(const EntryFilter& filter = {});
    std::optional<EntryDetails> entry(qint64 entryId);
    // Entries never finished: interrupted, or still running in a live process.
    std::vector<EntrySummary> pendingEntries();
    // Whether the process that ran the entry still runs on this machine.
    static bool isAlive(const EntrySummary& entry);

    // Rows [offset, offset + count) of a unit's image, in the order written.
    std::vector<Row> imageRows(qint64 entryId, int unit, Side side, qint64 offset, qint64 count);
    // The before-image of a unit whole (empty rows when none was kept).
    RowSet beforeRows(qint64 entryId, int unit);
    // The after-state rows, when they were kept.
    std::optional<std::vector<Row>> afterRows(qint64 entryId, int unit);
    // Calls `row` for every row of an image in order, a block at a time;
    // stops early when it returns false.
    void forEachImageRow(qint64 entryId, int unit, Side side, const std::function<bool(const Row&)>& row);

    // Removes entries started more than `days` days ago, with their images,
    // except those pending or run by a live process; returns how many.
    // Nothing for days <= 0.
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
    friend class ImageWriter;

    Journal();

    void prepareFile();
    qint64 openUsable();
    void openUsableWaiting();
    void createOrUpgradeSchema();
    void writeAfterState(qint64 entryId, int unit, const AfterState& after, const RowSet* shape);
    std::vector<EntrySummary> querySummaries(const QString& condition, const std::vector<QString>& values, int limit);

    QString m_path;
    QString m_setAsidePath;
    std::unique_ptr<SQLite::Database> m_db;
};

// A unit's before-image written into the journal a block of rows at a time,
// in constant memory. The blocks go into the file on a thread of the
// writer's own, while the command reads on: the journal's time is then
// mostly the reading's. They are committed in groups of blocks (one sync
// per group, and never a long lock on the file). The image counts as kept
// only once finish() has committed it whole: an image cut short by a
// failure or a killed program is not undoable. Between the first add() and
// finish() nothing else may use the journal.
class ImageWriter {
public:
    ImageWriter(Journal& journal, qint64 entryId, int unit, const QStringList& columns,
                const std::vector<ValueType>& types);
    ImageWriter(const ImageWriter&) = delete;
    ImageWriter& operator=(const ImageWriter&) = delete;
    // Unfinished, what it wrote stays behind an image not marked kept.
    ~ImageWriter();

    // Throw JournalError when writing failed.
    void add(const EncodedRow& row);
    void add(const Row& row);
    qint64 rows() const noexcept { return m_rows; }
    // Writes what is left and marks the image kept with its row count.
    void finish();

private:
    struct Pipe;
    void flush();
    void writeBlocks();

    Journal& m_journal;
    qint64 m_entryId;
    int m_unit;
    QStringList m_columns;
    std::vector<ValueType> m_types;
    QByteArray m_block;
    EncodedRow m_row;
    qint64 m_rowsInBlock = 0;
    qint64 m_rows = 0;
    std::unique_ptr<Pipe> m_pipe;
};

} // namespace tessera::journal
