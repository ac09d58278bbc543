#include "journal/Undo.h"

#include "dialect/TableTransactions.h"
#include "db/BulkWriter.h"
#include "db/Connection.h"
#include "db/ResultSet.h"
#include "journal/ArchiveImage.h"
#include "journal/Journal.h"
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

bool tableExists(db::Connection& archive, DatabaseKind kind, const QString& table)
{
    db::ResultSet rs = archive.query(tableProbeSql(kind, table));
    return rs.next();
}

// What changed in a unit's scope since the command left it; empty when nothing.
QString changesSince(Journal& journal, qint64 entryId, const UnitInfo& unit, const RowSet& now)
{
    const qint64 count = qint64(now.rows.size());
    if (count == *unit.afterRows && digestOf(now.rows) == unit.afterDigest)
        return QString();
    const QString header = QStringLiteral("数据表%1在该操作之后已被改动,无法撤销").arg(unit.table);
    if (unit.afterRowsKept) {
        if (const auto left = journal.afterRows(entryId, unit.index)) {
            const QStringList lines = describeRowChanges(now.columns, unit.keyColumns, *left, now.rows);
            if (!lines.isEmpty())
                return header + QStringLiteral(":\n") + lines.join(QLatin1Char('\n'));
        }
    }
    if (count != *unit.afterRows)
        return header + QStringLiteral(": 现有%1行,操作后为%2行").arg(count).arg(*unit.afterRows);
    return header + QStringLiteral(": 共%1行,其中有行的内容已被修改").arg(count);
}

qint64 addCount(qint64 total, qint64 more)
{
    return total < 0 || more < 0 ? -1 : total + more;
}

} // namespace

UndoOutcome undoEntry(Journal& journal, db::Connection& archive, const UndoRequest& request)
{
    const auto entry = journal.entry(request.entryId);
    if (!entry)
        return refused(QStringLiteral("日志中没有第%1条记录").arg(request.entryId));
    if (const QString why = whyNotUndoable(journal, *entry); !why.isEmpty())
        return refused(why);
    // The same table names and scopes may mean other rows on another archive.
    if (!entry->dataSource.isEmpty() && entry->dataSource != request.dataSource)
        return refused(QStringLiteral("该操作是在数据源%1上执行的,当前数据源为%2,无法撤销")
                           .arg(entry->dataSource, request.dataSource));

    bool transactional = true;
    for (const UnitInfo& unit : entry->units)
        transactional = transactional && tableIsTransactional(archive, request.kind, unit.table);
    std::optional<db::Transaction> transaction;
    if (transactional)
        transaction.emplace(archive);

    // Every scope as the command left it, or nothing is touched.
    std::vector<RowSet> now;
    for (const UnitInfo& unit : entry->units) {
        if (!tableExists(archive, request.kind, unit.table))
            return refused(QStringLiteral("数据表%1已不存在,无法撤销").arg(unit.table));
        now.push_back(captureRows(archive, request.kind, unit.table, unit.whereSql));
        if (const QString changed = changesSince(journal, request.entryId, unit, now.back()); !changed.isEmpty())
            return refused(changed);
    }

    EntryDraft draft;
    draft.osUser = request.osUser;
    draft.login = request.login;
    draft.dataSource = request.dataSource;
    draft.kind = int(request.kind);
    draft.commandId = request.commandId;
    draft.commandName = QStringLiteral("撤销: %1").arg(entry->commandName);
    draft.scopeText = entry->scopeText;
    draft.reason = request.reason;
    draft.undoOf = request.entryId;
    for (size_t u = 0; u < entry->units.size(); ++u) {
        const UnitInfo& unit = entry->units[u];
        draft.units.push_back({unit.table, unit.whereSql, unit.scopeText, unit.keyColumns, std::move(now[u])});
    }
    const qint64 undoId = journal.beginEntry(draft);

    UndoOutcome outcome;
    outcome.undoEntryId = undoId;
    outcome.counts = {0, 0, 0};
    const auto mode = transactional ? db::BulkWriter::Mode::InTransaction : db::BulkWriter::Mode::RowByRow;
    try {
        for (const UnitInfo& unit : entry->units) {
            const RowSet before = journal.beforeRows(request.entryId, unit.index);
            outcome.counts.removed = addCount(
                outcome.counts.removed,
                archive.execute(scopeDeleteSql(unit.table, unit.whereSql)));
            if (!before.rows.empty()) {
                db::BulkWriter writer(archive, insertSql(unit.table, before.columns), int(before.columns.size()),
                                      4000, mode);
                QString refusal;
                writer.setFailureHandler([&](qint64 row, const db::DbError& error) {
                    refusal = QStringLiteral("第%1行无法写回数据表%2: %3").arg(row + 1).arg(unit.table, error.message());
                    return db::BulkWriter::OnFailure::Stop;
                });
                for (const Row& row : before.rows) {
                    std::vector<db::Value> values;
                    values.reserve(row.size());
                    for (const Value& v : row)
                        values.push_back(parameterOf(v, request.kind));
                    if (!writer.addRow(std::move(values)))
                        break;
                }
                const db::BulkWriter::Summary summary = writer.finish();
                outcome.counts.written += summary.written;
                if (summary.stopped) {
                    outcome.counts.failed = summary.failed;
                    transaction.reset(); // rolls back
                    outcome.result = UndoOutcome::Result::Failed;
                    outcome.message = refusal;
                    journal.finishEntry(undoId, EntryState::Failed, refusal, outcome.counts);
                    return outcome;
                }
            }
            // What the undo leaves is the before-image, so it can be undone in turn.
            journal.recordAfterState(undoId, unit.index, before);
        }
        if (transaction)
            transaction->commit();
    } catch (const db::DbError& error) {
        transaction.reset();
        journal.finishEntry(undoId, EntryState::Failed, error.message(), outcome.counts);
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
