#include "journal/JournaledCommand.h"

#include "db/Connection.h"
#include "db/DbError.h"
#include "db/ResultSet.h"
#include "dialect/TableTransactions.h"
#include "journal/ArchiveImage.h"
#include "dialect/ArchiveUnit.h"
#include "journal/Journal.h"
#include "journal/JournalError.h"

namespace tessera::journal {

namespace {

// Rows between two reports of progress.
constexpr qint64 kProgressStep = 20000;

// The after-state of a scope read again, a row at a time; empty for a
// table that is not there.
AfterState afterStateRead(db::Connection& archive, DatabaseKind kind, const UnitScope& scope, RowSet& shape)
{
    AfterStateBuilder after;
    if (!tableExists(archive, kind, scope.table))
        return after.result();
    const TableShape table = shapeOf(archive, scope.table);
    if (shape.columns.isEmpty()) {
        shape.columns = table.columns;
        shape.types = table.types;
    }
    forEachScopeRow(archive, kind, scope, table, nullptr, [&after](const Row& row) {
        after.add(row);
        return true;
    });
    return after.result();
}

// Whether the values a rule sets read back as it gives them: a real into a
// column kept as a real, not into a DECIMAL kept as its text.
bool ruleFits(const RowRule& rule, const TableShape& shape)
{
    if (!rule.isKnown())
        return false;
    for (int c : rule.setColumns) {
        if (c < 0 || size_t(c) >= shape.types.size())
            return false;
        const ValueType type = shape.types[size_t(c)];
        const bool real = type == ValueType::Real || type == ValueType::RealSingle;
        if (std::holds_alternative<double>(rule.value) ? !real : type != ValueType::Integer)
            return false;
    }
    return true;
}

} // namespace

JournaledCommand JournaledCommand::begin(Journal& journal, db::Connection& archive, DatabaseKind kind,
                                         EntryDraft draft, const ArchiveUnit& unit, const ImageChoice& choice,
                                         Progress* progress)
{
    for (UnitDraft& u : draft.units)
        u.before.reset(); // streamed below, inside the unit
    const qint64 id = journal.beginEntry(draft);
    JournaledCommand command(journal, archive, kind, id, std::move(draft.units));
    try {
        command.readImages(unit, choice, progress);
    } catch (const CommandCancelled&) {
        command.abandon(QStringLiteral("已取消,数据库没有修改"));
        throw;
    } catch (const db::DbError& error) {
        command.abandon(QStringLiteral("未能读取修改前的数据,数据库没有修改: %1").arg(error.message()));
        throw;
    } catch (const JournalError& error) {
        command.abandon(QStringLiteral("未能记录修改前的数据,数据库没有修改: %1").arg(error.message()));
        throw;
    }
    return command;
}

void JournaledCommand::readImages(const ArchiveUnit& unit, const ImageChoice& choice, Progress* progress)
{
    qint64 done = 0;
    auto goOn = [&] { return !progress || progress->advance(done, choice.expectedRows); };
    for (size_t u = 0; u < m_units.size(); ++u) {
        const UnitScope& scope = m_units[u].scope;
        const bool exists = tableExists(*m_archive, m_kind, scope.table);
        const TableShape shape = exists ? shapeOf(*m_archive, scope.table) : TableShape();
        m_shapes[u] = {shape.columns, shape.types, {}};
        if (!choice.keepImage)
            continue;
        ImageWriter image(*m_journal, m_entryId, int(u), shape.columns, shape.types);
        const RowRule* rule =
            u < choice.rules.size() && ruleFits(choice.rules[u], shape) ? &choice.rules[u] : nullptr;
        AfterStateBuilder ruled;
        std::optional<RuleApplier> apply;
        if (rule)
            apply.emplace(*rule);
        bool cancelled = false;
        if (exists) {
            forEachEncodedScopeRow(*m_archive, m_kind, scope, shape, &unit, [&](const EncodedRow& row) {
                image.add(row);
                if (apply)
                    if (const QByteArray* left = apply->leftOf(row))
                        ruled.addEncoded(*left);
                cancelled = ++done % kProgressStep == 0 && !goOn();
                return !cancelled;
            });
        }
        if (cancelled)
            throw CommandCancelled();
        image.finish();
        m_counts[u] = image.rows();
        if (rule)
            m_ruled[u] = ruled.result();
    }
    if (!goOn())
        throw CommandCancelled();
}

void JournaledCommand::abandon(const QString& outcome)
{
    m_finished = true;
    try {
        m_journal->finishEntry(m_entryId, EntryState::Failed, outcome);
    } catch (const JournalError&) {
        // Left pending: the next start shows it as interrupted.
    }
}

JournaledCommand::JournaledCommand(Journal& journal, db::Connection& archive, DatabaseKind kind, qint64 entryId,
                                   std::vector<UnitDraft> units)
    : m_journal(&journal), m_archive(&archive), m_kind(kind), m_entryId(entryId), m_units(std::move(units)),
      m_shapes(m_units.size()), m_counts(m_units.size(), -1), m_ruled(m_units.size())
{
}

JournaledCommand::JournaledCommand(JournaledCommand&& other) noexcept
    : m_journal(other.m_journal), m_archive(other.m_archive), m_kind(other.m_kind), m_entryId(other.m_entryId),
      m_units(std::move(other.m_units)), m_shapes(std::move(other.m_shapes)), m_counts(std::move(other.m_counts)),
      m_ruled(std::move(other.m_ruled)), m_finished(other.m_finished)
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
    for (size_t unit = 0; unit < m_units.size(); ++unit) {
        if (succeeded && unit < known.size() && known[unit]) {
            m_journal->recordAfterState(m_entryId, int(unit), *known[unit], &m_shapes[unit]);
            continue;
        }
        if (succeeded && m_ruled[unit]) {
            m_journal->recordAfterState(m_entryId, int(unit), *m_ruled[unit], &m_shapes[unit]);
            continue;
        }
        try {
            const AfterState after = afterStateRead(*m_archive, m_kind, m_units[unit].scope, m_shapes[unit]);
            m_journal->recordAfterState(m_entryId, int(unit), after, &m_shapes[unit]);
        } catch (const db::DbError& error) {
            text += QStringLiteral("(未能读取数据表%1操作后的数据:%2)").arg(m_units[unit].scope.table, error.message());
        }
    }
    m_journal->finishEntry(m_entryId, succeeded ? EntryState::Done : EntryState::Failed, text, counts);
}

} // namespace tessera::journal
