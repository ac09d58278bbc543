#pragma once

#include "journal/JournaledCommand.h"

#include <QString>

#include <optional>
#include <vector>

class QWidget;

namespace tessera {

// What a writing command tells the journal about itself.
struct JournalRequest {
    int commandId = 0;
    QString commandName; // the command's caption
    QString scopeText;   // for people: tags, dates, times
    QString reason;
    std::vector<journal::UnitDraft> units; // table and condition of each scope
};

// Begins a writing command's entry on the shared connection: the units'
// before-images and the entry are on disk before it returns. nullopt when
// the journal cannot take them; the message is shown (a box owned by
// `owner` with `caption`) and the command must not touch the archive.
std::optional<journal::JournaledCommand> beginJournaled(QWidget* owner, const QString& caption,
                                                        const JournalRequest& request);

// Ends the entry with the command's outcome. The archive has changed by
// then; a journal that cannot record it gets a warning of its own.
// `known` are after-states the command knows (see JournaledCommand::finish).
void finishJournaled(std::optional<journal::JournaledCommand>& command, QWidget* owner, const QString& caption,
                     bool succeeded, const QString& outcome, const journal::RowCounts& counts = {},
                     const std::vector<std::optional<journal::AfterState>>& known = {});

// "2026-01-02 08:00:00 至 09:00:00" and the like, for scope texts.
QString rangeText(const QDate& day, const QTime& start, const QTime& end);

} // namespace tessera
