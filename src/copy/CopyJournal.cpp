#include "copy/CopyJournal.h"

#include "copy/CopyResume.h"

#include "db/DbError.h"
#include "journal/ArchiveImage.h"
#include "journal/Journal.h"
#include "text/DateTexts.h"
#include "view/CommandIds.h"

namespace tessera::copy {

CopyJournal::CopyJournal(journal::Journal& journal, journal::EntryDraft who, CopySettings& settings,
                         db::Connection& target, const QStringList& chosenTables, const QDateTime& start,
                         const QDateTime& end, CopyReport& shown)
    : m_journal(journal), m_target(target), m_kind(settings.target.kind), m_shown(shown)
{
    const QString range = copyRangeText(start, end);
    who.dataSource = settings.target.dsn;
    who.kind = int(m_kind);
    who.commandId = cmd::DataCopy;
    who.commandName = QStringLiteral("数据复制");
    who.scopeText = copyScopeText(range, settings.source.dsn, chosenTables.size());
    for (const QString& table : chosenTables) {
        journal::UnitDraft unit;
        unit.scope.table = table;
        unit.scopeText = range;
        if (!table.contains(QLatin1String("Tag"))) {
            // The range the event table's copy clears and fills again.
            unit.scope.clauses = {journal::rangeClause(QStringLiteral("ADate"), journal::DateTimeText{dateText(start.date())},
                                                       journal::DateTimeText{dateText(end.date().addDays(1))})};
            unit.before = journal::captureRowsUpTo(target, m_kind, unit.scope, kCopyBeforeImageRows);
        }
        m_unitOfRow[copyTableRow(table)] = {int(m_units.size()), QString()};
        m_units.push_back(std::move(unit));
    }
    who.units = m_units;
    for (journal::UnitDraft& unit : m_units)
        unit.before.reset();
    m_entryId = m_journal.beginEntry(who);
}

CopyJournal::~CopyJournal()
{
    if (!m_finished) {
        try {
            finish(false);
        } catch (...) {
            // Left pending: the next start shows the run as interrupted.
        }
    }
}

void CopyJournal::finish(bool completed)
{
    m_finished = true;
    if (!m_journalFailure.isEmpty())
        throw journal::JournalError(m_journalFailure);
    journal::RowCounts counts;
    counts.written = 0;
    for (const auto& [row, unit] : m_unitOfRow) {
        if (unit.count > 0)
            counts.written += unit.count;
        const journal::UnitDraft& draft = m_units[size_t(unit.index)];
        if (draft.scope.clauses.empty() || unit.status.isEmpty())
            continue;
        try {
            // Only what was kept before can be undone; its after-state is read
            // when it is small too.
            if (const auto after = journal::captureRowsUpTo(m_target, m_kind, draft.scope, kCopyBeforeImageRows))
                m_journal.recordAfterState(m_entryId, unit.index, *after);
        } catch (const db::DbError&) {
            // Left without an after-state: not undoable.
        }
    }
    QString outcome = completed ? QStringLiteral("完成") : QStringLiteral("中止");
    if (!m_failures.isEmpty())
        outcome += u'\n' + m_failures.join(u'\n');
    m_journal.finishEntry(m_entryId, completed ? journal::EntryState::Done : journal::EntryState::Failed, outcome,
                          counts);
}

void CopyJournal::setCell(int row, CopyColumn column, const QString& text)
{
    if (const auto it = m_unitOfRow.find(row); it != m_unitOfRow.end()) {
        if (column == CopyColumn::Status)
            it->second.status = text;
        else if (column == CopyColumn::Count)
            it->second.count = text.toLongLong();
    }
    m_shown.setCell(row, column, text);
}

void CopyJournal::message(const QString& text, const QString& caption)
{
    m_failures << text;
    m_shown.message(text, caption);
}

void CopyJournal::progress(int tablesDone, int tablesTotal, double tableFraction)
{
    m_shown.progress(tablesDone, tablesTotal, tableFraction);
}

bool CopyJournal::stopRequested()
{
    return m_shown.stopRequested();
}

void CopyJournal::tableEnded(int row)
{
    // Called on the way out of a table, also while unwinding: a journal
    // failure is kept for the end of the run rather than thrown here.
    if (const auto it = m_unitOfRow.find(row); it != m_unitOfRow.end() && m_journalFailure.isEmpty()) {
        try {
            m_journal.setUnitOutcome(m_entryId, it->second.index, it->second.status,
                                     it->second.count >= 0 ? std::optional<qint64>(it->second.count) : std::nullopt);
        } catch (const journal::JournalError& error) {
            m_journalFailure = error.message();
        }
    }
    m_shown.tableEnded(row);
}

} // namespace tessera::copy
