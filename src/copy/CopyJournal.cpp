#include "copy/CopyJournal.h"

#include "copy/CopyResume.h"

#include "db/DbError.h"
#include "journal/ArchiveImage.h"
#include "journal/Journal.h"
#include "text/DateTexts.h"
#include "platform/Log.h"
#include "view/CommandIds.h"

namespace tessera::copy {

namespace {

// The journal keeps the first messages of a run and counts the others.
constexpr int kKeptMessages = 20;
constexpr int kKeptMessageLength = 2000;

} // namespace

std::optional<journal::RowSet> CopyJournal::beforeImageOf(db::Connection& target,
                                                          const journal::UnitScope& scope) const
{
    try {
        return journal::captureRowsUpTo(target, m_kind, scope, kCopyBeforeImageRows);
    } catch (const db::DbError& error) {
        // A table the target lacks or cannot show is that table's failure,
        // which its copy reports; only a lost target ends the run here.
        db::rethrowIfConnectionLost(error);
        return std::nullopt;
    }
}

CopyJournal::CopyJournal(journal::Journal& journal, journal::EntryDraft who, CopySettings& settings,
                         db::Connection& target, const QStringList& chosenTables, const QDateTime& start,
                         const QDateTime& end, CopyReport& shown, const QString& identity, RunMode mode)
    : m_journal(journal), m_target(target), m_kind(settings.target.kind), m_shown(shown)
{
    const QString range = copyRangeText(start, end);
    who.dataSource = settings.target.dsn;
    who.kind = int(m_kind);
    who.commandId = mode == RunMode::Copy ? cmd::DataCopy : mode == RunMode::Verify ? cmd::DataVerify : cmd::DataRepair;
    who.commandName = mode == RunMode::Copy     ? QStringLiteral("数据复制")
                      : mode == RunMode::Verify ? QStringLiteral("数据核对")
                                                : QStringLiteral("数据修复");
    who.scopeText = copyScopeText(range, settings.source.dsn, chosenTables.size(), identity);
    for (const QString& table : chosenTables) {
        journal::UnitDraft unit;
        unit.scope.table = table;
        unit.scopeText = range;
        // A verify writes nothing: nothing to keep.
        if (mode != RunMode::Verify && !table.contains(QLatin1String("Tag"))) {
            // The range the event table's copy clears and fills again.
            unit.scope.clauses = {journal::rangeClause(QStringLiteral("ADate"), journal::DateTimeText{dateText(start.date())},
                                                       journal::DateTimeText{dateText(end.date().addDays(1))})};
            unit.before = beforeImageOf(target, unit.scope);
        }
        m_unitOfRow[copyTableRow(table)] = {int(m_units.size()), QString()};
        m_units.push_back(std::move(unit));
    }
    who.units = m_units;
    for (journal::UnitDraft& unit : m_units)
        unit.before.reset();
    m_entryId = m_journal.beginEntry(who);
    qCInfo(lcCopy, "%s, journal entry %lld: %s into %s, %lld tables", qUtf8Printable(who.commandName), m_entryId,
           qUtf8Printable(who.scopeText), qUtf8Printable(who.dataSource), qint64(chosenTables.size()));
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
    if (m_untoldFailures > 0)
        outcome += QStringLiteral("\n另有%1条消息").arg(m_untoldFailures);
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
    qCWarning(lcCopy, "%s", qUtf8Printable(text));
    if (m_failures.size() < kKeptMessages)
        m_failures << text.left(kKeptMessageLength);
    else
        ++m_untoldFailures;
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
    if (const auto it = m_unitOfRow.find(row); it != m_unitOfRow.end())
        qCInfo(lcCopy, "%s: %s, %lld rows", qUtf8Printable(copyTableNames().value(row)),
               qUtf8Printable(it->second.status), it->second.count);
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
