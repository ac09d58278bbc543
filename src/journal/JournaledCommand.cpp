#include "journal/JournaledCommand.h"

#include "db/DbError.h"
#include "journal/ArchiveImage.h"
#include "journal/Journal.h"

namespace tessera::journal {

JournaledCommand JournaledCommand::begin(Journal& journal, db::Connection& archive, DatabaseKind kind,
                                         EntryDraft draft)
{
    for (UnitDraft& unit : draft.units)
        if (!unit.before)
            unit.before = captureRows(archive, kind, unit.table, unit.whereSql);
    const qint64 id = journal.beginEntry(draft);
    std::vector<RowSet> before;
    for (UnitDraft& unit : draft.units) {
        before.push_back(std::move(*unit.before));
        unit.before.reset();
    }
    return JournaledCommand(journal, archive, kind, id, std::move(draft.units), std::move(before));
}

JournaledCommand::JournaledCommand(Journal& journal, db::Connection& archive, DatabaseKind kind, qint64 entryId,
                                   std::vector<UnitDraft> units, std::vector<RowSet> before)
    : m_journal(&journal), m_archive(&archive), m_kind(kind), m_entryId(entryId), m_units(std::move(units)),
      m_before(std::move(before))
{
}

JournaledCommand::JournaledCommand(JournaledCommand&& other) noexcept
    : m_journal(other.m_journal), m_archive(other.m_archive), m_kind(other.m_kind), m_entryId(other.m_entryId),
      m_units(std::move(other.m_units)), m_before(std::move(other.m_before)), m_finished(other.m_finished)
{
    other.m_finished = true;
}

JournaledCommand::~JournaledCommand()
{
    if (m_finished)
        return;
    try {
        finish(false, QStringLiteral("命令异常中止"));
    } catch (...) {
        // Left pending: the next start shows it as interrupted.
    }
}

void JournaledCommand::finish(bool succeeded, const QString& outcome, const RowCounts& counts,
                              const std::vector<std::optional<AfterState>>& known)
{
    m_finished = true;
    QString text = outcome;
    for (int unit = 0; unit < int(m_units.size()); ++unit) {
        const UnitDraft& u = m_units[size_t(unit)];
        if (succeeded && size_t(unit) < known.size() && known[size_t(unit)]) {
            m_journal->recordAfterState(m_entryId, unit, *known[size_t(unit)]);
            continue;
        }
        try {
            m_journal->recordAfterState(m_entryId, unit, captureRows(*m_archive, m_kind, u.table, u.whereSql));
        } catch (const db::DbError& error) {
            text += QStringLiteral("(未能读取数据表%1操作后的数据:%2)").arg(u.table, error.message());
        }
    }
    m_journal->finishEntry(m_entryId, succeeded ? EntryState::Done : EntryState::Failed, text, counts);
}

} // namespace tessera::journal
