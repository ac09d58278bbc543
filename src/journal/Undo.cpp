#include "journal/Undo.h"

#include "db/BulkWriter.h"
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/ResultSet.h"
#include "dialect/TableTransactions.h"
#include "journal/ArchiveImage.h"
#include "dialect/ArchiveUnit.h"
#include "journal/Journal.h"
#include "journal/JournaledCommand.h"
#include "journal/RowChanges.h"

#include <optional>

namespace tessera::journal {

namespace {

UndoOutcome refused(QString message)
{
    UndoOutcome outcome;
    outcome.result = UndoOutcome::Result::Refused;
    outcome.message = std::move(message);
    return outcome;
}

// Why an entry cannot be undone at all; empty when it can be tried.
QString whyNotUndoable(Journal& journal, const EntryDetails& entry)
{
    if (!entry.problem.isEmpty())
        return QStringLiteral("日志第%1条记录已损坏(%2),无法撤销").arg(entry.id).arg(entry.problem);
    if (entry.undoneBy != 0) {
        const auto undo = journal.entry(entry.undoneBy);
        if (undo && undo->undoneBy == 0)
            return QStringLiteral("该操作已被撤销(日志第%1条)").arg(entry.undoneBy);
    }
    if (entry.units.empty())
        return QStringLiteral("该操作没有可撤销的数据");
    for (const UnitInfo& unit : entry.units) {
        if (!unit.beforeKept)
            return QStringLiteral("该操作没有保存数据表%1修改前的数据,无法撤销").arg(unit.table);
        if (!unit.afterRows) {
            return entry.state == EntryState::Pending
                ? QStringLiteral("该操作未完成(程序被中断),没有记录操作后的数据,无法撤销")
                : QStringLiteral("该操作没有记录数据表%1操作后的数据,无法撤销").arg(unit.table);
        }
    }
    return QString();
}

// What one unit's scope holds now: its count, digest (of the kind the
// entry's after-state has) and, while few, the rows themselves.
struct ScopeNow {
    qint64 count = 0;
    QByteArray digest;
    std::optional<std::vector<Row>> rows;
};

// Reads the scope as the unit locks it, streaming the rows into the undo's
// before-image. Throws db::DbError, JournalError, CommandCancelled.
ScopeNow readScopeNow(Journal& journal, db::Connection& archive, DatabaseKind kind, const ArchiveUnit& lock,
                      const UnitInfo& unit, qint64 undoId, Progress* progress)
{
    const TableShape shape = shapeOf(archive, unit.table);
    ImageWriter image(journal, undoId, unit.index, shape.columns, shape.types);
    RowDigest digest;
    SortedRowDigest sorted;
    ScopeNow now;
    now.rows.emplace();
    bool cancelled = false;
    forEachEncodedScopeRow(archive, kind, *unit.scope, shape, &lock, [&](const EncodedRow& row) {
        image.add(row);
        if (unit.sortedDigest)
            sorted.add(row.decoded());
        else
            digest.addEncoded(row.bytes().constData(), row.bytes().size());
        if (now.rows && qsizetype(now.rows->size()) < 2 * kKeptAfterRows)
            now.rows->push_back(row.decoded());
        else
            now.rows.reset();
        if (progress && image.rows() % 20000 == 0 && !progress->advance(image.rows(), *unit.afterRows)) {
            cancelled = true;
            return false;
        }
        return true;
    });
    if (cancelled)
        throw CommandCancelled();
    image.finish();
    now.count = image.rows();
    now.digest = unit.sortedDigest ? sorted.result() : digest.result();
    return now;
}

// What changed in a unit's scope since the command left it; empty when nothing.
QString changesSince(Journal& journal, qint64 entryId, const UnitInfo& unit, const QStringList& columns,
                     const ScopeNow& now)
{
    if (now.count == *unit.afterRows && now.digest == unit.afterDigest)
        return QString();
    const QString header = QStringLiteral("数据表%1在该操作之后已被改动,无法撤销").arg(unit.table);
    if (unit.afterRowsKept && now.rows) {
        if (const auto left = journal.afterRows(entryId, unit.index)) {
            const QStringList lines = describeRowChanges(columns, unit.keyColumns, *left, *now.rows);
            if (!lines.isEmpty())
                return header + QStringLiteral(":\n") + lines.join(QLatin1Char('\n'));
        }
    }
    if (now.count != *unit.afterRows)
        return header + QStringLiteral(": 现有%1行,操作后为%2行").arg(now.count).arg(*unit.afterRows);
    return header + QStringLiteral(": 共%1行,其中有行的内容已被修改").arg(now.count);
}

// What changed since the command in any unit's scope, read as the lock
// holds it and streamed into the undo's own image; empty when nothing.
QString changesInScopes(Journal& journal, db::Connection& archive, const UndoRequest& request,
                        const EntryDetails& entry, const ArchiveUnit& lock, qint64 undoId, Progress* progress)
{
    for (const UnitInfo& unit : entry.units) {
        const ScopeNow now = readScopeNow(journal, archive, request.kind, lock, unit, undoId, progress);
        if (QString changed = changesSince(journal, request.entryId, unit, unit.columns, now); !changed.isEmpty())
            return changed;
    }
    return QString();
}

qint64 addCount(qint64 total, qint64 more)
{
    return total < 0 || more < 0 ? -1 : total + more;
}

EntryDraft undoDraft(const EntryDetails& entry, const UndoRequest& request)
{
    EntryDraft draft;
    draft.osUser = request.osUser;
    draft.login = request.login;
    draft.dataSource = request.dataSource;
    draft.kind = int(request.kind);
    draft.commandId = request.commandId;
    draft.commandName = QStringLiteral("撤销: %1").arg(entry.commandName);
    draft.scopeText = entry.scopeText;
    draft.reason = request.reason;
    draft.undoOf = entry.id;
    for (const UnitInfo& unit : entry.units)
        draft.units.push_back({*unit.scope, unit.scopeText, unit.keyColumns, std::nullopt});
    return draft;
}

// Deletes what the unit's scope holds (checked before) and writes the
// before-image back; returns the refusal of a row, empty when all went back.
QString writeBack(Journal& journal, db::Connection& archive, const UndoRequest& request, const UnitInfo& unit,
                  bool transactional, AfterStateBuilder& left, UndoOutcome& outcome)
{
    for (const QString& condition : scopeConditions(request.kind, *unit.scope))
        outcome.counts.removed = addCount(
            outcome.counts.removed, archive.execute(QStringLiteral("DELETE FROM %1 WHERE %2").arg(unit.table, condition)));
    const auto mode = transactional ? db::BulkWriter::Mode::InTransaction : db::BulkWriter::Mode::RowByRow;
    db::BulkWriter writer(archive, insertSql(unit.table, unit.columns), int(unit.columns.size()), 4000, mode);
    QString refusal;
    writer.setFailureHandler([&](qint64 row, const db::DbError& error) {
        refusal = QStringLiteral("第%1行无法写回数据表%2: %3").arg(row + 1).arg(unit.table, error.message());
        return db::BulkWriter::OnFailure::Stop;
    });
    bool damaged = false;
    journal.forEachImageRow(request.entryId, unit.index, Side::Before, [&](const Row& row) {
        if (row.size() != size_t(unit.columns.size())) {
            damaged = true;
            return false;
        }
        left.add(row);
        std::vector<db::Value> values;
        values.reserve(row.size());
        for (const Value& v : row)
            values.push_back(parameterOf(v, request.kind));
        return writer.addRow(std::move(values));
    });
    const db::BulkWriter::Summary summary = writer.finish();
    outcome.counts.written += summary.written;
    if (damaged)
        return QStringLiteral("日志中数据表%1修改前的数据已损坏").arg(unit.table);
    if (summary.stopped) {
        outcome.counts.failed = summary.failed;
        return refusal;
    }
    return QString();
}

// Why this entry cannot be undone on this archive, found before anything is
// read; the entry's tables otherwise.
QString whyNotUndoableHere(Journal& journal, db::Connection& archive, const UndoRequest& request,
    const EntryDetails& entry, QStringList& tables)
{
    if (const QString why = whyNotUndoable(journal, entry); !why.isEmpty())
        return why;
    // The same table names and scopes may mean other rows on another archive.
    if (!entry.dataSource.isEmpty() && entry.dataSource != request.dataSource)
        return QStringLiteral("该操作是在数据源%1上执行的,当前数据源为%2,无法撤销").arg(entry.dataSource, request.dataSource);
    for (const UnitInfo& unit : entry.units) {
        if (!tableExists(archive, request.kind, unit.table))
            return QStringLiteral("数据表%1已不存在,无法撤销").arg(unit.table);
        tables << unit.table;
    }
    return QString();
}

// Writes every unit's rows before back inside the locked unit; the first
// refusal ends it (the caller rolls back).
QString writeBackUnits(Journal& journal, db::Connection& archive, const UndoRequest& request,
    const EntryDetails& entry, const ArchiveUnit& lock, qint64 undoId, UndoOutcome& outcome)
{
    for (const UnitInfo& unit : entry.units) {
        AfterStateBuilder left;
        if (const QString refusal = writeBack(journal, archive, request, unit, lock.transactional(), left, outcome);
            !refusal.isEmpty())
            return refusal;
        // What the undo leaves is the before-image, so it can be undone in turn.
        journal.recordAfterState(undoId, unit.index, left.result());
    }
    return QString();
}

} // namespace

UndoOutcome undoEntry(Journal& journal, db::Connection& archive, const UndoRequest& request, Progress* progress)
{
    const auto entry = journal.entry(request.entryId);
    if (!entry)
        return refused(QStringLiteral("日志中没有第%1条记录").arg(request.entryId));
    QStringList tables;
    if (const QString why = whyNotUndoableHere(journal, archive, request, *entry, tables); !why.isEmpty())
        return refused(why);

    ArchiveUnit lock(archive, request.kind, tables);
    const qint64 undoId = journal.beginEntry(undoDraft(*entry, request));
    UndoOutcome outcome;
    outcome.undoEntryId = undoId;
    outcome.counts = {0, 0, 0};
    try {
        // Every scope as the command left it, or nothing is touched.
        if (const QString changed = changesInScopes(journal, archive, request, *entry, lock, undoId, progress);
            !changed.isEmpty()) {
            lock.rollback();
            journal.discardEntry(undoId);
            return refused(changed);
        }
        if (const QString refusal = writeBackUnits(journal, archive, request, *entry, lock, undoId, outcome);
            !refusal.isEmpty()) {
            lock.rollback();
            outcome.result = UndoOutcome::Result::Failed;
            outcome.message = refusal;
            journal.finishEntry(undoId, EntryState::Failed, refusal, outcome.counts);
            return outcome;
        }
        lock.commit();
    } catch (const CommandCancelled&) {
        lock.rollback();
        journal.discardEntry(undoId);
        return refused(QStringLiteral("撤销已取消,数据库没有修改"));
    } catch (const std::exception& error) {
        // A lost connection, or a damaged image found on the way: nothing of
        // the undo stays, and its entry says why.
        lock.rollback();
        const auto* dbError = dynamic_cast<const db::DbError*>(&error);
        journal.finishEntry(undoId, EntryState::Failed,
            dbError ? dbError->message() : QString::fromUtf8(error.what()), outcome.counts);
        throw;
    }
    outcome.result = UndoOutcome::Result::Done;
    outcome.message = QStringLiteral("已撤销日志第%1条记录的操作: 删除%2行, 写回%3行")
                          .arg(request.entryId)
                          .arg(outcome.counts.removed)
                          .arg(outcome.counts.written);
    journal.finishEntry(undoId, EntryState::Done, outcome.message, outcome.counts);
    return outcome;
}

} // namespace tessera::journal
