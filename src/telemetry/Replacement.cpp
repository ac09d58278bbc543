#include "telemetry/TelemetryOperations.h"

#include "db/Connection.h"
#include "db/DbError.h"
#include "db/ResultSet.h"
#include "dialect/ArchiveUnit.h"
#include "dialect/TableTransactions.h"
#include "schema/Schema.h"
#include "telemetry/TelemetryWrites.h"
#include "text/DateTexts.h"
#include "text/DecimalText.h"
#include "text/Trimming.h"

// The telemetry replacement: a range of one day replaced by the same range
// of another day, optionally corrected by random coefficients.
namespace tessera::telemetry {

using namespace writes;

int dayOffset(const ReplaceRequest& r)
{
    // Whole calendar days: a day of 23 or 25 hours still counts as one.
    return int(r.source.daysTo(r.target));
}

namespace {

using Result = ReplaceOutcome::Result;

// One step of the replacement: a database error other than a lost connection
// ends the command with `failure` and the driver's text; false then.
template <typename Step>
bool step(Result failure, ReplaceOutcome& outcome, Step&& run)
{
    const std::optional<db::DbError> refused = db::refusalOf(std::forward<Step>(run));
    if (refused)
        outcome = {failure, 0, 0, refused->message()};
    return !refused;
}

UnitScope sourceScope(const ReplaceRequest& r, const TelemetryScope& scope, const CatalogueNode& catalogue)
{
    return samplesOf(r.source, r.start, r.end, scope, catalogue);
}

// Whether the copy may begin. On a target that rolls back, the source table
// must exist (the unit undoes anything else that fails); on one that cannot,
// the source rows are opened and the first fetched, since nothing deleted
// there comes back. Throws db::DbError when the source cannot be read.
bool sourceReadable(db::Connection& connection, DatabaseKind kind, bool transactional, const ReplaceRequest& r,
                    const TelemetryScope& scope, const CatalogueNode& catalogue)
{
    if (transactional) {
        return tableExists(connection, kind, TelemetryTableName(r.source));
    }
    db::ResultSet rs = connection.query(countSql(kind, sourceScope(r, scope, catalogue)));
    rs.next();
    return true;
}

// The range cut into hours, the last first: [from, until) as instants of the
// source day, `until` of the last part one second after the range's end.
std::vector<std::pair<QDateTime, QDateTime>> hoursOf(const ReplaceRequest& r)
{
    std::vector<std::pair<QDateTime, QDateTime>> parts;
    const QDateTime start = wallClock(r.source, r.start);
    const QDateTime end = wallClock(r.source, r.end).addSecs(1);
    for (QDateTime at = start; at < end; at = at.addSecs(3600))
        parts.emplace_back(at, std::min(at.addSecs(3600), end));
    std::reverse(parts.begin(), parts.end());
    return parts;
}

// The samples of a scope in [from, until) of `day`'s table.
UnitScope partScope(const QDate& day, const QDateTime& from, const QDateTime& until, const TelemetryScope& scope,
                    const CatalogueNode& catalogue)
{
    return samplesOf(day, scope, journal::DateTimeText{dateTimeText(from)}, journal::DateTimeText{dateTimeText(until)},
                     catalogue);
}

// With correction, an hour at a time from the last: its source rows read,
// its target range deleted, its corrected rows written. A row the target
// refuses is skipped and counted; false (the outcome set) when an hour
// cannot be read, deleted or written at all.
bool replaceCorrected(db::Connection& shared, DatabaseKind kind, ArchiveUnit& unit, const ReplaceRequest& r,
                      const TelemetryScope& scope, const CatalogueNode& catalogue, RandomSource& random,
                      ReplaceOutcome& outcome)
{
    const int offset = dayOffset(r);
    const QString target = TelemetryTableName(r.target);
    for (const auto& [from, until] : hoursOf(r)) {
        std::vector<SourceRow> rows;
        const bool done = step(Result::ReadFailed, outcome, [&] {
            rows = readSourceRows(shared, selectNewestFirstSql(kind, partScope(r.source, from, until, scope, catalogue)));
        }) && step(Result::DeleteFailed, outcome, [&] {
            unit.executeSurvivable(deleteSql(
                kind, partScope(r.target, from.addDays(offset), until.addDays(offset), scope, catalogue)));
        }) && step(Result::CopyFailed, outcome, [&] {
            // CopyFailed: the target refuses the insert itself, though the delete went through.
            db::BulkWriter writer(shared, kInsertParameters.arg(target), 5, 4000, unit.writerMode());
            writer.setFailureHandler([](qint64, const db::DbError&) { return db::BulkWriter::OnFailure::Continue; });
            for (const SourceRow& row : rows) {
                if (auto written = replacementRow(row, r, random))
                    writer.addRow(std::move(*written));
                else
                    ++outcome.skipped;
            }
            const auto summary = writer.finish();
            outcome.copied += summary.written;
            outcome.skipped += summary.failed;
        });
        if (!done)
            return false;
    }
    return true;
}

// Without correction: the target range deleted, then one INSERT ... SELECT.
bool replaceCopied(db::Connection& shared, DatabaseKind kind, bool transactional, const ReplaceRequest& r,
                   const TelemetryScope& scope, const CatalogueNode& catalogue, ReplaceOutcome& outcome)
{
    bool readable = false;
    if (const auto refused =
            db::refusalOf([&] { readable = sourceReadable(shared, kind, transactional, r, scope, catalogue); }))
        outcome.detail = refused->message();
    if (!readable) {
        outcome.result = Result::CopyFailed;
        return false;
    }
    return step(Result::DeleteFailed, outcome, [&] { shared.execute(replaceDeleteSql(kind, r, scope, catalogue)); })
        && step(Result::CopyFailed, outcome,
                [&] { outcome.copied = shared.execute(replaceCopySql(kind, r, scope, catalogue)); });
}

} // namespace

std::vector<SourceRow> readSourceRows(db::Connection& connection, const QString& sql)
{
    std::vector<SourceRow> rows;
    db::ResultSet rs = connection.query(sql);
    rs.readFloatsAsNumbers(); // the values as stored, not as the driver displays them
    while (rs.next()) {
        const QString at = withoutTrailingWhiteSpace(rs.string(0));
        rows.push_back({at.mid(11, 8), decimalInteger(rs.string(1)), decimalInteger(rs.string(2)),
                        decimalReal(withoutTrailingWhiteSpace(rs.string(3))),
                        decimalReal(withoutTrailingWhiteSpace(rs.string(4)))});
    }
    return rows;
}

std::optional<std::vector<db::Value>> replacementRow(const SourceRow& row, const ReplaceRequest& r,
                                                     RandomSource& random)
{
    // Drawn for every row, also one left out, so that the draws stay in step.
    const float k = r.correct ? RandomBetween(random, r.maximumCoefficient, r.minimumCoefficient) : 1.0f;
    const QTime time = QTime::fromString(row.timeOfDay, QStringLiteral("HH:mm:ss"));
    if (!time.isValid())
        return std::nullopt;
    if (r.correct)
        return std::vector<db::Value>{wallClock(r.target, time), qint64(row.tagId), qint64(kManualDataType),
                                      asWritten(row.value * k), asWritten(row.change * k)};
    return std::vector<db::Value>{wallClock(r.target, time), qint64(row.tagId), qint64(row.dataType), row.value,
                                  row.change};
}

SampleRows replacementRows(const std::vector<SourceRow>& rows, const ReplaceRequest& r, RandomSource& random,
                           qint64& skipped)
{
    SampleRows written;
    written.reserve(rows.size());
    for (const SourceRow& row : rows) {
        if (auto one = replacementRow(row, r, random))
            written.push_back(std::move(*one));
        else
            ++skipped;
    }
    return written;
}

UnitScope replaceTargetScope(const ReplaceRequest& r, const TelemetryScope& scope, const CatalogueNode& catalogue)
{
    return samplesOf(r.target, r.start, r.end, scope, catalogue);
}

QString replaceDeleteSql(DatabaseKind kind, const ReplaceRequest& r, const TelemetryScope& scope,
                         const CatalogueNode& catalogue)
{
    return deleteSql(kind, replaceTargetScope(r, scope, catalogue));
}

QString replaceCopySql(DatabaseKind kind, const ReplaceRequest& r, const TelemetryScope& scope,
                       const CatalogueNode& catalogue)
{
    return QStringLiteral("INSERT INTO %1(%2) SELECT %3,TagId,DataType,nValue,nValueChange FROM %4 ORDER BY ATime DESC")
        .arg(TelemetryTableName(r.target), kSampleColumns, addDaysExpression(kind, QStringLiteral("ATime"), dayOffset(r)),
             whereOf(kind, sourceScope(r, scope, catalogue)));
}

QString replaceReadSql(DatabaseKind kind, const ReplaceRequest& r, const TelemetryScope& scope,
                       const CatalogueNode& catalogue)
{
    return selectNewestFirstSql(kind, sourceScope(r, scope, catalogue));
}

ReplaceOutcome runReplacement(db::Connection& shared, DatabaseKind kind, const QString& connectString,
                              const ReplaceRequest& r, const TelemetryScope& scope, const CatalogueNode& catalogue,
                              RandomSource& random, ArchiveUnit& unit)
{
    ReplaceOutcome outcome;
    // The second connection first: when it cannot be had, nothing is deleted.
    db::Connection second;
    try {
        second = db::Connection::open(connectString);
    } catch (const db::DbError& error) {
        outcome.result = error.isDriverManagerError() ? Result::SecondConnectionFailed : Result::SecondConnectionError;
        outcome.detail = error.message();
        return outcome;
    }
    second.close();
    try {
        const bool transactional = unit.transactional();
        if (r.correct) {
            // Nothing deleted on a table that cannot roll back before the
            // source is known to be readable.
            if (!transactional)
                shared.query(QStringLiteral("SELECT %1 FROM %2 WHERE 0=1").arg(kSampleColumns, TelemetryTableName(r.source)));
            if (!replaceCorrected(shared, kind, unit, r, scope, catalogue, random, outcome))
                return outcome;
        } else if (!replaceCopied(shared, kind, transactional, r, scope, catalogue, outcome)) {
            return outcome;
        }
        if (!step(Result::CommitFailed, outcome, [&] { unit.commit(); }))
            return outcome;
    } catch (const db::DbError& error) {
        // The connection died, or the target's engine or source could not even be read.
        const bool lost = error.isConnectionLost();
        return {lost ? Result::ConnectionLost : r.correct ? Result::ReadFailed : Result::CopyFailed, 0, 0,
                error.message()};
    }
    return outcome;
}

} // namespace tessera::telemetry
