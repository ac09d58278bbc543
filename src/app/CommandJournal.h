#pragma once

#include "app/GuiSeam.h"
#include "db/Statement.h"
#include "journal/JournaledCommand.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

class QWidget;

namespace tessera {

class BackgroundRun;

class ArchiveUnit;

// What a writing command tells the journal about itself.
struct JournalRequest {
    int commandId = 0;
    QString commandName; // the command's caption
    QString scopeText;   // for people: tags, dates, times
    QString reason;
    std::vector<journal::UnitDraft> units; // the scopes it may touch
    // What the command leaves of each row it finds, per unit, when it knows
    // (zeroing, deleting): the after-state is then made while the image is read.
    std::vector<journal::RowRule> rules;
};

// Rows as a command bound them for one table (see afterStateOfWritten).
using WrittenRows = std::vector<std::vector<db::Value>>;

// What the command's own work reports for the journal.
struct CommandResult {
    bool succeeded = false;
    QString outcome;
    journal::RowCounts counts;
    // Per unit, the rows its scope holds now as the command wrote them, when
    // it knows: the after-state is made from them, not read back.
    std::vector<std::optional<WrittenRows>> written;
    QString detail; // the driver's text of a failure
};

// The archive could not be read or locked before the command changed
// anything: its text (the driver's) goes to the details of the command's own
// failure message, and to the journal.
struct ArchiveRefusal {
    QString detail;
    bool connectionLost = false;
};

// Runs a writing command as one journaled unit on the shared connection,
// off the GUI thread (BackgroundRun):
// 1. counts the rows in scope; above the journal's "单条记录上限" asks once
//    whether to keep the before-image (是), trace the command without one
//    (否, not undoable) or run nothing (取消);
// 2. begins the ArchiveUnit, then the entry with its before-image, read
//    inside the unit (a progress dialog can cancel before anything is
//    written);
// 3. runs `work`, which changes the archive inside the unit and commits it;
// 4. ends the entry with the work's result.
// nullopt when the command did not run: the journal could not take it (its
// message shown here), the user cancelled, or the archive refused before
// anything changed (ArchiveRefusal in `refusal`, for the command's own
// message). Work that throws db::DbError counts as failed, its text the
// detail.
std::optional<CommandResult> runJournaled(QWidget* owner, const QString& caption, const JournalRequest& request,
                                          const std::function<CommandResult(ArchiveUnit&, BackgroundRun&)>& work,
                                          std::optional<ArchiveRefusal>* refusal = nullptr);

// "2026-01-02 08:00:00 至 09:00:00" and the like, for scope texts.
QString rangeText(const QDate& day, const QTime& start, const QTime& end);

// A command's failure message, the driver's text in its details.
void failureMessage(QWidget* owner, const QString& text, const QString& caption, const QString& detail);

} // namespace tessera
