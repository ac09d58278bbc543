#pragma once

#include "dialect/DatabaseKind.h"
#include "journal/JournalEntry.h"

#include <QString>

namespace tessera::db {
class Connection;
}

namespace tessera::journal {

class Journal;
class Progress;

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

// Reverses a journaled command: on the archive, in one unit (ArchiveUnit),
// reads every unit's scope as the unit locks it and requires it to hold
// exactly what the command left (count and digest), then deletes those
// rows and writes the before-image back. What it reads is streamed into the
// undo's own entry (its before-image, committed before the archive changes;
// its undoOf the entry), so it can be undone in turn; a refused undo leaves
// no entry. The scopes are rebuilt from the journal's typed fields, never
// run as stored text. A table without transactions (Access, MyISAM) is
// written row by row. Throws JournalError (nothing changed) and db::DbError
// (rolled back where the table can; the undo's entry is marked failed).
UndoOutcome undoEntry(Journal& journal, db::Connection& archive, const UndoRequest& request,
                      Progress* progress = nullptr);

} // namespace tessera::journal
