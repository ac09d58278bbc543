#pragma once

#include "dialect/DatabaseKind.h"
#include "journal/JournalEntry.h"

#include <QString>

namespace tessera::db {
class Connection;
}

namespace tessera::journal {

class Journal;

struct UndoRequest {
    qint64 entryId = 0;        // the entry to reverse
    DatabaseKind kind = DatabaseKind::SQLite; // of the archive connection
    // Who undoes it, as for any journaled command.
    QString osUser;            // empty: the operating-system user
    QString login;
    QString dataSource;
    QString reason;
    int commandId = 0;         // the undo command's id
};

struct UndoOutcome {
    enum class Result {
        Done,    // the before-image is back; `undoEntryId` journals it
        Refused, // nothing done: the entry cannot be undone, or its rows changed since (`message` says how)
        Failed,  // a row could not be written back; the archive is as it was where it can roll back
    };
    Result result = Result::Refused;
    QString message;
    qint64 undoEntryId = 0; // 0 when refused before anything was journaled
    RowCounts counts;       // removed: rows deleted in the scopes; written: rows written back
};

// Reverses a journaled command: on the archive, in one transaction, checks
// that every unit's scope still holds exactly what the command left, then
// deletes the scope and writes the before-image back. The undo is itself an
// entry (its before-image what it replaced, its undoOf the entry), committed
// to the journal before the archive changes, so it can be undone in turn.
// A table without transactions (Access, MyISAM) is written row by row.
// Throws JournalError (nothing changed) and db::DbError (rolled back where
// the table can; the undo's entry is marked failed).
UndoOutcome undoEntry(Journal& journal, db::Connection& archive, const UndoRequest& request);

} // namespace tessera::journal
