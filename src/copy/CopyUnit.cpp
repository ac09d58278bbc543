#include "copy/CopyUnit.h"

#include "copy/RowSpool.h"
#include "copy/SideFailure.h"
#include "copy/SourceReader.h"

#include "db/BulkWriter.h"
#include "db/Connection.h"
#include "db/ResultSet.h"
#include "dialect/ArchiveUnit.h"

#include <QScopeGuard>

namespace tessera::copy {

namespace {

using Row = SourceReader::Row;

// One unit from its first source block to its commit.
class UnitCopy {
public:
    UnitCopy(db::Connection& target, DatabaseKind kind, SourceReader& reader, const UnitPlan& plan,
             const UnitCallbacks& callbacks, UnitResult& result)
        : m_target(target), m_kind(kind), m_reader(reader), m_plan(plan), m_callbacks(callbacks), m_result(result)
    {
    }

    void run()
    {
        // A transaction where the table can roll back; rolled back unless committed.
        ArchiveUnit unit = onSide(Side::Target, UnitEnd::DeleteFailed, [&] {
            return ArchiveUnit(m_target, m_kind, {m_plan.table}, ArchiveUnit::Isolation::Connection);
        });
        // The first block is read before anything is deleted: a missing or
        // unreadable source then changes nothing.
        pullBlock();
        if (unit.transactional())
            copyInTransaction(unit);
        else
            copyWithoutTransaction(unit);
    }

private:
    bool stopAsked() const { return m_callbacks.stopRequested && m_callbacks.stopRequested(); }

    // The next block into m_block; false at the end of the source.
    bool pullBlock()
    {
        m_next = 0;
        const SourceReader::Wait wait = onSide(Side::Source, UnitEnd::SourceFailed, [&] {
            return m_reader.nextBlock(m_block, m_callbacks.stopWhileWaiting);
        });
        if (wait == SourceReader::Wait::Stopped)
            throw SideFailure{UnitEnd::Stopped, Side::Source, std::nullopt};
        if (wait == SourceReader::Wait::Stalled)
            throw SideFailure::stalled(Side::Source); // its lane is abandoned, the unit undone
        return !m_block.empty();
    }

    std::optional<Row> nextRow()
    {
        if (m_next == m_block.size() && !pullBlock())
            return std::nullopt;
        return std::move(m_block[m_next++]);
    }

    void deleteRange()
    {
        const qint64 deleted
            = onSide(Side::Target, UnitEnd::DeleteFailed, [&] { return m_target.execute(m_plan.deleteSql); });
        if (m_callbacks.deleted)
            m_callbacks.deleted(deleted);
    }

    void startWriter(const ArchiveUnit& unit)
    {
        onSide(Side::Target, UnitEnd::InsertFailed, [&] {
            m_writer.emplace(m_target, m_plan.insertSql, m_plan.columns, m_plan.chunkRows, unit.writerMode());
            m_writer->setFailureHandler([this](qint64, const db::DbError& error) {
                if (m_plan.skipRefusedRows) {
                    if (m_callbacks.rowRefused)
                        m_callbacks.rowRefused(error);
                    return db::BulkWriter::OnFailure::Continue;
                }
                m_refused = error;
                return db::BulkWriter::OnFailure::Stop;
            });
        });
    }

    // Hands one row to the writer; false when a refused row ended the unit.
    bool write(Row row)
    {
        ++m_result.rowsRead;
        const bool going = onSide(Side::Target, UnitEnd::InsertFailed, [&] { return m_writer->addRow(std::move(row)); });
        if (m_callbacks.rowRead)
            m_callbacks.rowRead(m_result.rowsRead);
        return going;
    }

    void finishWriter()
    {
        onSide(Side::Target, UnitEnd::InsertFailed, [&] { m_writer->finish(); });
        if (m_writer->stopped())
            throw SideFailure{UnitEnd::InsertFailed, Side::Target, m_refused};
        m_writer.reset();
    }

    // The delete and every insert in one transaction: a stop, a failure or a
    // lost connection anywhere leaves the target as it was.
    void copyInTransaction(ArchiveUnit& unit)
    {
        // The writer's statements go before the unit's rollback.
        const auto dropWriter = qScopeGuard([this] { m_writer.reset(); });
        if (stopAsked())
            throw SideFailure{UnitEnd::Stopped, Side::Target, std::nullopt};
        deleteRange();
        startWriter(unit);
        for (std::optional<Row> row = nextRow(); row; row = nextRow()) {
            if (!write(std::move(*row)))
                throw SideFailure{UnitEnd::InsertFailed, Side::Target, m_refused};
            if (stopAsked())
                throw SideFailure{UnitEnd::Stopped, Side::Target, std::nullopt};
        }
        finishWriter();
        onSide(Side::Target, UnitEnd::InsertFailed, [&] { unit.commit(); });
    }

    // A table that cannot roll back: every source row is read and converted
    // before the delete, so that nothing the source does can leave the range
    // half filled; after the delete no stop is taken, and every row is
    // written once. Only a target lost after the delete leaves it partly written.
    void copyWithoutTransaction(const ArchiveUnit& unit)
    {
        RowSpool spool;
        for (std::optional<Row> row = nextRow(); row; row = nextRow()) {
            spool.add(std::move(*row));
            if (stopAsked())
                throw SideFailure{UnitEnd::Stopped, Side::Source, std::nullopt};
        }
        if (stopAsked())
            throw SideFailure{UnitEnd::Stopped, Side::Target, std::nullopt};
        deleteRange();
        startWriter(unit);
        while (std::optional<Row> row = spool.next())
            if (!write(std::move(*row)))
                throw SideFailure{UnitEnd::InsertFailed, Side::Target, m_refused};
        finishWriter();
    }

    db::Connection& m_target;
    DatabaseKind m_kind;
    SourceReader& m_reader;
    const UnitPlan& m_plan;
    const UnitCallbacks& m_callbacks;
    UnitResult& m_result;
    std::vector<Row> m_block;
    size_t m_next = 0;
    std::optional<db::DbError> m_refused;
    std::optional<db::BulkWriter> m_writer;
};

} // namespace

UnitResult copyUnit(db::Connection& target, DatabaseKind targetKind, db::Connection& source, const UnitPlan& plan,
                    const UnitCallbacks& callbacks)
{
    UnitResult result;
    const std::chrono::milliseconds stallLimit = stallLimitOf(source);
    SourceReader reader(std::move(source), plan, stallLimit);
    // Given back on every way out; closed when its reader had to be abandoned.
    const auto giveBack = qScopeGuard([&] { source = reader.release(); });
    try {
        UnitCopy(target, targetKind, reader, plan, callbacks, result).run();
        result.end = UnitEnd::Done;
    } catch (const SideFailure& failure) {
        failure.endInto(result);
    }
    return result;
}

} // namespace tessera::copy
