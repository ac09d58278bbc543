#include "copy/CopyUnit.h"

#include "copy/SourceReader.h"

#include "dialect/TableTransactions.h"
#include "db/BulkWriter.h"
#include "db/Connection.h"
#include "db/ResultSet.h"

namespace tessera::copy {

namespace {

// Ends the unit from wherever it fails; a lost connection outranks the
// reason the step had.
struct UnitFailure {
    UnitEnd end;
    Side side;
    db::DbError error;
};

template <class Step>
auto onSide(Side side, UnitEnd end, Step&& step)
{
    try {
        return step();
    } catch (const db::DbError& error) {
        throw UnitFailure{error.isConnectionLost() ? UnitEnd::ConnectionLost : end, side, error};
    }
}

} // namespace

UnitResult copyUnit(db::Connection& target, DatabaseKind targetKind, db::Connection& source, const UnitPlan& plan,
                    const UnitCallbacks& callbacks)
{
    UnitResult result;
    bool transactional = true;
    try {
        transactional = onSide(Side::Target, UnitEnd::DeleteFailed,
                               [&] { return tableIsTransactional(target, targetKind, plan.table); });

        // The source is opened and its first row read before anything is
        // deleted: a missing or unreadable source then changes nothing, even
        // where the delete cannot be rolled back.
        db::ResultSet rows = onSide(Side::Source, UnitEnd::SourceFailed, [&] {
            db::ResultSet rs = source.query(plan.sourceSql);
            rs.readFloatsAsNumbers(); // values as stored, not as the driver displays them
            rs.readIntegersAsNumbers(plan.typedValues);
            rs.readDateTimesAsValues(plan.typedValues);
            return rs;
        });
        std::optional<std::vector<db::Value>> row
            = onSide(Side::Source, UnitEnd::SourceFailed, [&]() -> std::optional<std::vector<db::Value>> {
                  if (!rows.next())
                      return std::nullopt;
                  return plan.convert(rows, 1);
              });

        std::optional<db::Transaction> transaction;
        onSide(Side::Target, UnitEnd::DeleteFailed, [&] {
            if (transactional)
                transaction.emplace(target);
        });
        if (callbacks.stopRequested && callbacks.stopRequested()) {
            result.end = UnitEnd::Stopped;
            return result;
        }
        const qint64 deleted = onSide(Side::Target, UnitEnd::DeleteFailed, [&] { return target.execute(plan.deleteSql); });
        if (callbacks.deleted)
            callbacks.deleted(deleted);

        std::optional<db::DbError> refused;
        // Declared after the transaction, so that it is gone before a rollback.
        std::optional<db::BulkWriter> writer;
        onSide(Side::Target, UnitEnd::InsertFailed, [&] {
            writer.emplace(target, plan.insertSql, plan.columns, plan.chunkRows,
                           transactional ? db::BulkWriter::Mode::InTransaction : db::BulkWriter::Mode::RowByRow);
            writer->setFailureHandler([&](qint64, const db::DbError& error) {
                if (plan.skipRefusedRows) {
                    if (callbacks.rowRefused)
                        callbacks.rowRefused(error);
                    return db::BulkWriter::OnFailure::Continue;
                }
                refused = error;
                return db::BulkWriter::OnFailure::Stop;
            });
        });

        auto endedByRefusal = [&] {
            result.end = UnitEnd::InsertFailed;
            result.error = refused;
            return result;
        };
        // The rows after the first come from a reader thread, a few blocks
        // ahead, so that the unit takes as long as the slower side. Measured
        // on two cores: 20-35 % faster into SQLite and into servers alike.
        std::optional<SourceReader> reader;
        if (row)
            reader.emplace(rows, plan, 1);
        std::vector<SourceReader::Row> block;
        size_t nextInBlock = 0;
        auto pullRow = [&]() -> std::optional<std::vector<db::Value>> {
            if (nextInBlock == block.size()) {
                block = onSide(Side::Source, UnitEnd::SourceFailed, [&] { return reader->nextBlock(); });
                nextInBlock = 0;
                if (block.empty())
                    return std::nullopt;
            }
            return std::move(block[nextInBlock++]);
        };
        while (row) {
            ++result.rowsRead;
            if (!onSide(Side::Target, UnitEnd::InsertFailed, [&] { return writer->addRow(std::move(*row)); }))
                return endedByRefusal();
            if (callbacks.rowRead)
                callbacks.rowRead(result.rowsRead);
            if (callbacks.stopRequested && callbacks.stopRequested()) {
                result.end = UnitEnd::Stopped;
                return result;
            }
            row = pullRow();
        }
        onSide(Side::Target, UnitEnd::InsertFailed, [&] { writer->finish(); });
        if (writer->stopped())
            return endedByRefusal();
        writer.reset();
        if (transaction)
            onSide(Side::Target, UnitEnd::InsertFailed, [&] { transaction->commit(); });
        result.end = UnitEnd::Done;
        return result;
    } catch (const UnitFailure& failure) {
        result.end = failure.end;
        result.side = failure.side;
        result.error = failure.error;
        return result;
    }
}

} // namespace tessera::copy
