#pragma once

#include "dialect/DatabaseKind.h"
#include "journal/JournalEntry.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace tessera::db {
class Connection;
}

namespace tessera {
class ArchiveUnit;
}

namespace tessera::journal {

class Journal;

// How far a long step has come, and whether the user lets it go on.
class Progress {
public:
    virtual ~Progress() = default;
    // `done` of `total` rows (total -1: not known). False: cancelled.
    virtual bool advance(qint64 done, qint64 total) = 0;
};

// Thrown by JournaledCommand::begin when the progress was cancelled: the
// archive has not changed, and the entry says so.
struct CommandCancelled {};

struct ImageChoice {
    // False: the entry is traced without its before-image (the user chose
    // so above the journal's size limit); the command cannot be undone.
    bool keepImage = true;
    // Per unit, what the command leaves of each row it finds, where it knows
    // (RowRule): the after-state is then made while the image is read.
    // Where it does not, its after-state is what it wrote, or read again.
    std::vector<RowRule> rules;
    qint64 expectedRows = -1;   // for the progress; -1: not known
};

// One writing command in the journal, in the order that loses nothing:
// begin() commits the entry, then reads each unit's rows inside the
// command's ArchiveUnit (so that what it reads is what the command's
// statements then find) and streams them into the entry's before-image,
// before the command changes anything; finish() ends the entry with the
// after-state of each unit and the command's outcome. Destroyed unfinished
// (an exception ended the command), the entry is marked failed; killed, it
// stays pending for the next start to show.
class JournaledCommand {
public:
    // Throws JournalError, db::DbError when the archive cannot be read, or
    // CommandCancelled: in every case the command must not run (its unit is
    // rolled back by its owner).
    static JournaledCommand begin(Journal& journal, db::Connection& archive, DatabaseKind kind, EntryDraft draft,
                                  const ArchiveUnit& unit, const ImageChoice& choice = {},
                                  Progress* progress = nullptr);

    JournaledCommand(JournaledCommand&& other) noexcept;
    JournaledCommand& operator=(JournaledCommand&&) = delete;
    ~JournaledCommand();

    qint64 entryId() const noexcept { return m_entryId; }
    // The rows each unit held before, as far as the command needs them:
    // their columns, count and, where a rule gave it, the after-state.
    const RowSet& shape(int unit) const { return m_shapes.at(size_t(unit)); }
    qint64 beforeCount(int unit) const { return m_counts.at(size_t(unit)); }

    // After the archive committed or rolled back. A unit's after-state is
    // the one given, the one its rule made (a command that succeeded), or
    // read again; a unit whose rows cannot be read is left without one (not
    // undoable), and the entry says so. Throws JournalError: the archive
    // has changed, but the journal could not record how.
    void finish(bool succeeded, const QString& outcome, const RowCounts& counts = {},
                const std::vector<std::optional<AfterState>>& known = {});

private:
    JournaledCommand(Journal& journal, db::Connection& archive, DatabaseKind kind, qint64 entryId,
                     std::vector<UnitDraft> units);
    void readImages(const ArchiveUnit& unit, const ImageChoice& choice, Progress* progress);
    // Ends the entry as failed without reading the archive again: the
    // command never ran.
    void abandon(const QString& outcome);

    Journal* m_journal;
    db::Connection* m_archive;
    DatabaseKind m_kind;
    qint64 m_entryId;
    std::vector<UnitDraft> m_units;
    std::vector<RowSet> m_shapes; // columns and types, no rows
    std::vector<qint64> m_counts;
    std::vector<std::optional<AfterState>> m_ruled; // what the rules made
    bool m_finished = false;
};

} // namespace tessera::journal
