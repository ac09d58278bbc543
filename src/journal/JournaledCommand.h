#pragma once

#include "dialect/DatabaseKind.h"
#include "journal/JournalEntry.h"

#include <QString>

#include <optional>
#include <vector>

namespace tessera::db {
class Connection;
}

namespace tessera::journal {

class Journal;

// One writing command in the journal, in the order that loses nothing:
// begin() reads each unit's rows in the archive and commits the entry with
// them before the command changes anything; finish() reads the units again
// as the command left them and ends the entry with the command's outcome.
// Destroyed unfinished (an exception ended the command), the entry is
// marked failed; killed, it stays pending for the next start to show.
class JournaledCommand {
public:
    // The units' `before` images are read here (a unit that already carries
    // one keeps it). Throws JournalError, or db::DbError when the archive
    // cannot be read: either way the command must not run.
    static JournaledCommand begin(Journal& journal, db::Connection& archive, DatabaseKind kind, EntryDraft draft);

    JournaledCommand(JournaledCommand&& other) noexcept;
    JournaledCommand& operator=(JournaledCommand&&) = delete;
    ~JournaledCommand();

    qint64 entryId() const noexcept { return m_entryId; }
    // A unit's rows before the command, as the journal keeps them.
    const RowSet& before(int unit) const { return m_before.at(size_t(unit)); }

    // After the archive committed or rolled back. A unit's after-state is
    // the one given (a command that knows what it left, having succeeded),
    // or read again; a unit whose rows cannot be read is left without one
    // (not undoable), and the entry says so. Throws JournalError: the
    // archive has changed, but the journal could not record how.
    void finish(bool succeeded, const QString& outcome, const RowCounts& counts = {},
                const std::vector<std::optional<AfterState>>& known = {});

private:
    JournaledCommand(Journal& journal, db::Connection& archive, DatabaseKind kind, qint64 entryId,
                     std::vector<UnitDraft> units, std::vector<RowSet> before);

    Journal* m_journal;
    db::Connection* m_archive;
    DatabaseKind m_kind;
    qint64 m_entryId;
    std::vector<UnitDraft> m_units; // without their before-images
    std::vector<RowSet> m_before;
    bool m_finished = false;
};

} // namespace tessera::journal
