#include "telemetry/TelemetryStore.h"

#include "text/DecimalText.h"
#include "text/Trimming.h"
#include "dialect/TableTransactions.h"
#include "db/BulkWriter.h"
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/ResultSet.h"
#include "schema/Schema.h"
#include "telemetry/TelemetryList.h"
#include "view/FillSink.h"
#include "view/TagCatalogue.h"

#include <optional>

namespace tessera::telemetry {

namespace {

constexpr int kSecondsPerDay = 86400;

QString twoDecimals(double value)
{
    return QString::asprintf("%0.2f", value);
}

// The value "%0.2f" would write, as the number a bound parameter carries, so
// that the bulk path stores what a statement with literals stores.
double asWritten(double value)
{
    return twoDecimals(value).toDouble();
}

// Wall-clock instants: a sample series never jumps at a change of daylight
// saving time.
QDateTime wallClock(const QDate& day, const QTime& time)
{
    return QDateTime(day, time, Qt::UTC);
}

const QString kInsertParameters =
    QStringLiteral("INSERT INTO %1(ATime,TagID,DataType,nValue,nValueChange) VALUES(?,?,?,?,?)");

using db::rethrowIfConnectionLost;

// Commits the unit when there is one (a table that cannot roll back has none).
// False when the database refused the commit: then nothing was written.
bool commitUnit(std::optional<db::Transaction>& unit)
{
    if (!unit)
        return true;
    try {
        unit->commit();
        return true;
    } catch (const db::DbError& error) {
        rethrowIfConnectionLost(error);
        return false;
    }
}

// One writer per unit: inside the unit's transaction, or row by row on a
// table that cannot roll back.
db::BulkWriter::Mode writerMode(bool transactional)
{
    return transactional ? db::BulkWriter::Mode::InTransaction : db::BulkWriter::Mode::RowByRow;
}

// A statement of a unit whose failure the unit survives: where one failed
// statement spoils the whole transaction (PostgreSQL), under a savepoint.
void executeSurvivable(db::Connection& connection, const QString& sql, bool inTransaction)
{
    if (!inTransaction || !connection.failedStatementAbortsTransaction()) {
        connection.execute(sql);
        return;
    }
    const QString savepoint = QStringLiteral("tessera_step");
    connection.setSavepoint(savepoint);
    try {
        connection.execute(sql);
    } catch (const db::DbError& error) {
        if (!error.isConnectionLost())
            connection.rollbackToSavepoint(savepoint);
        throw;
    }
    connection.releaseSavepoint(savepoint);
}

} // namespace

// ---- Query ---------------------------------------------------------------------------

QString querySql(DatabaseKind kind, const QueryRequest& r)
{
    return QStringLiteral("SELECT * FROM %1 WHERE ATime>=%2 AND ATime<%3 AND TagID=%4 AND DataType=6 "
                          "ORDER BY ATime DESC")
        .arg(tableOfDay(r.day), instantLiteral(kind, r.day, r.start), rangeEndLiteral(kind, r.day, r.end))
        .arg(r.tagId);
}

void queryTelemetry(db::Connection& connection, DatabaseKind kind, const QueryRequest& request, FillSink& sink)
{
    db::ResultSet rs = connection.query(querySql(kind, request));
    sink.columns(columnNames(rs));
    while (rs.next())
        sink.row(sampleCells(kind, rs));
}

// ---- Single value -------------------------------------------------------------------

TableScope singleValueScope(DatabaseKind kind, const SingleValue& s)
{
    return {tableOfDay(s.day),
            QStringLiteral("TagID=%1 AND ATime=%2").arg(s.tagId).arg(instantLiteral(kind, s.day, s.time))};
}

QString singleValueSql(DatabaseKind kind, const SingleValue& s)
{
    const TableScope scope = singleValueScope(kind, s);
    if (s.add)
        return QStringLiteral("INSERT INTO %1(ATime,TagID,DataType,nValue,nValueChange) VALUES(%2,%3,%4, %5,%6)")
            .arg(scope.table, instantLiteral(kind, s.day, s.time))
            .arg(s.tagId)
            .arg(kManualDataType)
            .arg(twoDecimals(s.value), twoDecimals(s.change));
    return QStringLiteral("UPDATE %1 SET nValue=%2,nValueChange=%3 WHERE %4")
        .arg(scope.table, twoDecimals(s.value), twoDecimals(s.change), scope.condition);
}

bool writeSingleValue(db::Connection& connection, DatabaseKind kind, const SingleValue& sample)
{
    const qint64 affected = connection.execute(singleValueSql(kind, sample));
    if (sample.add || affected != 0)
        return true;
    // MariaDB counts changed rows, not matched ones: writing the values a
    // sample already has changes nothing, yet the sample is there.
    const TableScope scope = singleValueScope(kind, sample);
    auto rs = connection.query(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2").arg(scope.table, scope.condition));
    return rs.next() && decimalInteger(rs.string(0)) > 0;
}

// ---- Delete -----------------------------------------------------------------------------

TableScope sampleScope(DatabaseKind kind, const QString& timeText, int tagId)
{
    return {QStringLiteral("Tag%1%2%3").arg(timeText.mid(0, 4), timeText.mid(5, 2), timeText.mid(8, 2)),
            QStringLiteral("ATime=%1 AND TagID=%2").arg(FormatDateLiteral(kind, timeText)).arg(tagId)};
}

QString deleteSampleSql(DatabaseKind kind, const QString& timeText, int tagId)
{
    const TableScope scope = sampleScope(kind, timeText, tagId);
    return QStringLiteral("DELETE FROM %1 WHERE %2").arg(scope.table, scope.condition);
}

void deleteSample(db::Connection& connection, DatabaseKind kind, const QString& timeText, int tagId)
{
    connection.execute(deleteSampleSql(kind, timeText, tagId));
}

// ---- Zeroing -------------------------------------------------------------------------------

TableScope zeroingScope(DatabaseKind kind, const RangeOfDay& range, const TelemetryScope& scope,
                        const CatalogueNode& catalogue)
{
    return {tableOfDay(range.day), scopeCondition(scope, instantLiteral(kind, range.day, range.start),
                                                  rangeEndLiteral(kind, range.day, range.end), catalogue)};
}

QString zeroingSql(DatabaseKind kind, const RangeOfDay& range, const TelemetryScope& scope,
                   const CatalogueNode& catalogue)
{
    const TableScope rows = zeroingScope(kind, range, scope, catalogue);
    return QStringLiteral("UPDATE %1 SET nValue=0,nValueChange=0 WHERE %2").arg(rows.table, rows.condition);
}

void zeroTelemetry(db::Connection& connection, DatabaseKind kind, const RangeOfDay& range,
                   const TelemetryScope& scope, const CatalogueNode& catalogue)
{
    if (scope.kind == TelemetryScope::Kind::Switch && TagIdList(catalogue, scope.station, scope.switchName).isEmpty())
        throw db::DbError(QStringLiteral("42000"), 0, QStringLiteral("no tags under the switch"));
    const QString sql = zeroingSql(kind, range, scope, catalogue);
    if (!tableIsTransactional(connection, kind, tableOfDay(range.day))) {
        connection.execute(sql);
        return;
    }
    db::Transaction unit(connection);
    connection.execute(sql);
    unit.commit();
}

// ---- Manual batch setting ----------------------------------------------------------------

namespace {

int intervalOf(const BatchRequest& r)
{
    return std::max(r.intervalSeconds, 1);
}

// Whole intervals from the start to the end; -1 when the end lies before the start.
qint64 intervalCount(const BatchRequest& r)
{
    const qint64 span = wallClock(r.day, r.start).secsTo(wallClock(r.day, r.end));
    return span < 0 ? -1 : span / intervalOf(r);
}

// A series that has run through a whole day ends with a row at 23:59:59.
bool endsWithDayEndRow(const BatchRequest& r)
{
    const qint64 n = intervalCount(r);
    return n >= 0 && (n + 1) * qint64(intervalOf(r)) >= kSecondsPerDay;
}

} // namespace

BatchSeries batchSeries(const BatchRequest& r, float previous, RandomSource& random)
{
    BatchSeries series;
    const QDateTime start = wallClock(r.day, r.start);
    const int interval = intervalOf(r);
    const qint64 n = intervalCount(r);
    if (n < 0)
        return series;
    // A range shorter than one interval gets one sample at the start.
    const float step = n > 0 ? (r.maximum - r.minimum) / float(n) : 0.0f;
    series.samples.reserve(size_t(n + 1));
    float last = 0;
    float p = previous;
    for (qint64 i = 0; i <= n; ++i) {
        Sample s;
        s.at = start.addSecs(i * interval);
        switch (r.method) {
        case BatchMethod::Increase:
            s.value = r.minimum + float(i) * step;
            s.change = step;
            break;
        case BatchMethod::Decrease:
            s.value = r.maximum - float(i) * step;
            s.change = -step;
            break;
        case BatchMethod::Random:
            s.value = RandomBetween(random, r.maximum, r.minimum);
            s.change = s.value - p;
            p = s.value;
            break;
        }
        last = s.value;
        series.samples.push_back(s);
    }
    series.lastValue = last;
    series.dayEnd = endsWithDayEndRow(r);
    return series;
}

float previousValue(db::Connection& connection, DatabaseKind kind, const BatchRequest& r)
{
    if (r.start == QTime(0, 0)) {
        const QDate before = r.day.addDays(-1);
        auto rs = connection.query(
            QStringLiteral("SELECT * FROM %1 WHERE (TagID=%2) ORDER BY ATime").arg(tableOfDay(before)).arg(r.tagId));
        float value = 0;
        while (rs.next())
            value = float(decimalReal(withoutTrailingWhiteSpace(rs.string(3))));
        return value;
    }
    const QDateTime oneBefore = wallClock(r.day, r.start).addSecs(-r.intervalSeconds);
    auto rs = connection.query(QStringLiteral("SELECT nValue FROM %1 WHERE (TagID=%2) AND ATime=%3")
                                   .arg(tableOfDay(r.day))
                                   .arg(r.tagId)
                                   .arg(FormatDateLiteral(kind, FormatTimeText(oneBefore))));
    return rs.next() ? float(decimalReal(withoutTrailingWhiteSpace(rs.string(0)))) : 0.0f;
}

float startValue(db::Connection& connection, DatabaseKind kind, const BatchRequest& r)
{
    if (r.method != BatchMethod::Random)
        return 0;
    try {
        return previousValue(connection, kind, r);
    } catch (const db::DbError& error) {
        rethrowIfConnectionLost(error);
        // A day without a table has no previous value; the range is filled all the same.
        return 0;
    }
}

SampleRows batchRows(const BatchRequest& r, const BatchSeries& series)
{
    SampleRows rows;
    rows.reserve(series.samples.size() + 1);
    for (const Sample& s : series.samples)
        rows.push_back({s.at, qint64(r.tagId), qint64(kManualDataType), asWritten(s.value), asWritten(s.change)});
    if (series.dayEnd)
        rows.push_back({wallClock(r.day, QTime(23, 59, 59)), qint64(r.tagId), qint64(kManualDataType),
                        asWritten(series.lastValue), 0.0});
    return rows;
}

TableScope batchScope(DatabaseKind kind, const BatchRequest& r)
{
    // Up to the last written instant's whole second: a rerun of the same
    // batch finds nothing of its own left to collide with.
    const QTime last = endsWithDayEndRow(r) ? QTime(23, 59, 59) : r.end;
    return {tableOfDay(r.day), QStringLiteral("ATime>=%1 AND ATime<%2 AND TagID=%3")
                                   .arg(instantLiteral(kind, r.day, r.start), rangeEndLiteral(kind, r.day, last))
                                   .arg(r.tagId)};
}

QString batchDeleteSql(DatabaseKind kind, const BatchRequest& r)
{
    const TableScope scope = batchScope(kind, r);
    return QStringLiteral("DELETE FROM %1 WHERE %2").arg(scope.table, scope.condition);
}

BatchOutcome runBatchSetting(db::Connection& connection, DatabaseKind kind, const BatchRequest& r,
                             BatchQuestions& questions, RandomSource& random)
{
    using Result = BatchOutcome::Result;
    BatchOutcome outcome;
    const QString table = tableOfDay(r.day);
    try {
        const bool transactional = tableIsTransactional(connection, kind, table);

        // The previous value lies before the range: read before anything changes.
        const float previous = startValue(connection, kind, r);
        const BatchSeries series = batchSeries(r, previous, random);

        std::optional<db::Transaction> unit;
        if (transactional)
            unit.emplace(connection);
        const QString deleteSql = batchDeleteSql(kind, r);
        bool cleared = true; // otherwise the range keeps rows of its own beside the new ones
        try {
            executeSurvivable(connection, deleteSql, transactional);
        } catch (const db::DbError& error) {
            rethrowIfConnectionLost(error);
            cleared = false;
            if (!questions.continueAfterDeleteFailure(deleteSql)) {
                outcome.result = Result::Cancelled;
                return outcome;
            }
        }

        std::optional<db::BulkWriter> writer;
        try {
            writer.emplace(connection, kInsertParameters.arg(table), 5, 4000, writerMode(transactional));
        } catch (const db::DbError& error) {
            rethrowIfConnectionLost(error);
            outcome.result = Result::InsertRefused;
            outcome.failed = qint64(series.samples.size());
            return outcome;
        }
        bool asked = false;
        writer->setFailureHandler([&](qint64 row, const db::DbError&) {
            if (asked)
                return db::BulkWriter::OnFailure::Continue;
            asked = true;
            const QString at = FormatTimeText(series.samples[size_t(row)].at);
            return questions.continueAfterSampleFailure(at, transactional) ? db::BulkWriter::OnFailure::Continue
                                                                           : db::BulkWriter::OnFailure::Stop;
        });
        SampleRows rows = batchRows(r, series);
        for (size_t i = 0; i < series.samples.size(); ++i) {
            if (!writer->addRow(rows[i]))
                break;
        }
        const db::BulkWriter::Summary summary = writer->finish();
        writer.reset();
        outcome.failed = summary.failed;
        // Written for good only where nothing can be rolled back.
        const qint64 kept = transactional ? 0 : summary.written;
        if (summary.stopped) {
            outcome.result = Result::Stopped;
            outcome.written = kept;
            return outcome;
        }

        if (series.dayEnd && connection.isOpen()) {
            try {
                connection.execute(
                    QStringLiteral("INSERT INTO %1(ATime,TagID,DataType,nValue,nValueChange) VALUES(%2,%3,%4,%5,%6)")
                        .arg(table, instantLiteral(kind, r.day, QTime(23, 59, 59)))
                        .arg(r.tagId)
                        .arg(kManualDataType)
                        .arg(twoDecimals(series.lastValue), twoDecimals(0)));
            } catch (const db::DbError& error) {
                rethrowIfConnectionLost(error);
                outcome.result = Result::DayEndFailed;
                outcome.written = kept;
                return outcome;
            }
        }
        if (!commitUnit(unit)) {
            outcome.result = Result::CommitFailed;
            return outcome;
        }
        outcome.written = summary.written;
        if (summary.failed == 0 && cleared)
            outcome.rowsWritten = std::move(rows);
    } catch (const db::DbError& error) {
        // The connection died, or the table's engine could not even be read.
        outcome.result = error.isConnectionLost() ? Result::ConnectionLost : Result::InsertRefused;
    }
    return outcome;
}

// ---- Replacement -------------------------------------------------------------------------------

int dayOffset(const ReplaceRequest& r)
{
    // Whole calendar days: a day of 23 or 25 hours still counts as one.
    return int(r.source.daysTo(r.target));
}

namespace {

QString targetCondition(DatabaseKind kind, const ReplaceRequest& r, const TelemetryScope& scope,
                        const CatalogueNode& catalogue)
{
    return scopeCondition(scope, instantLiteral(kind, r.target, r.start), rangeEndLiteral(kind, r.target, r.end),
                          catalogue);
}

QString sourceCondition(DatabaseKind kind, const ReplaceRequest& r, const TelemetryScope& scope,
                        const CatalogueNode& catalogue)
{
    return scopeCondition(scope, instantLiteral(kind, r.source, r.start), rangeEndLiteral(kind, r.source, r.end),
                          catalogue);
}

// Writes the corrected rows; a row the target refuses is skipped and
// counted. Throws db::DbError when the target takes no rows at all.
void writeCorrectedRows(db::Connection& connection, bool transactional, const std::vector<SourceRow>& rows,
                        const ReplaceRequest& r, RandomSource& random, ReplaceOutcome& outcome)
{
    db::BulkWriter writer(connection, kInsertParameters.arg(tableOfDay(r.target)), 5, 4000, writerMode(transactional));
    writer.setFailureHandler([](qint64, const db::DbError&) { return db::BulkWriter::OnFailure::Continue; });
    for (const std::vector<db::Value>& row : replacementRows(rows, r, random, outcome.skipped))
        writer.addRow(row);
    const auto summary = writer.finish();
    outcome.copied = summary.written;
    outcome.skipped += summary.failed;
}

// Whether the copy may begin. On a target that rolls back, the source table
// must exist (the unit undoes anything else that fails); on one that cannot,
// the source rows are opened and the first fetched, since nothing deleted
// there comes back. Throws db::DbError when the source cannot be read.
bool sourceReadable(db::Connection& connection, DatabaseKind kind, bool transactional, const ReplaceRequest& r,
                    const TelemetryScope& scope, const CatalogueNode& catalogue)
{
    if (transactional) {
        db::ResultSet probe = connection.query(tableProbeSql(kind, tableOfDay(r.source)));
        return probe.next();
    }
    db::ResultSet rs = connection.query(QStringLiteral("SELECT ATime,TagID,DataType,nValue,nValueChange FROM %1 WHERE %2")
                                            .arg(tableOfDay(r.source), sourceCondition(kind, r, scope, catalogue)));
    rs.next();
    return true;
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

SampleRows replacementRows(const std::vector<SourceRow>& rows, const ReplaceRequest& r, RandomSource& random,
                           qint64& skipped)
{
    SampleRows written;
    written.reserve(rows.size());
    for (const SourceRow& row : rows) {
        // Drawn for every row, also one left out, so that the draws stay in step.
        const float k = r.correct ? RandomBetween(random, r.maximumCoefficient, r.minimumCoefficient) : 1.0f;
        const QTime time = QTime::fromString(row.timeOfDay, QStringLiteral("HH:mm:ss"));
        if (!time.isValid()) {
            ++skipped;
            continue;
        }
        if (r.correct)
            written.push_back({wallClock(r.target, time), qint64(row.tagId), qint64(kManualDataType),
                               asWritten(row.value * k), asWritten(row.change * k)});
        else
            written.push_back(
                {wallClock(r.target, time), qint64(row.tagId), qint64(row.dataType), row.value, row.change});
    }
    return written;
}

TableScope replaceTargetScope(DatabaseKind kind, const ReplaceRequest& r, const TelemetryScope& scope,
                              const CatalogueNode& catalogue)
{
    return {tableOfDay(r.target), targetCondition(kind, r, scope, catalogue)};
}

QString replaceDeleteSql(DatabaseKind kind, const ReplaceRequest& r, const TelemetryScope& scope,
                         const CatalogueNode& catalogue)
{
    return QStringLiteral("DELETE FROM %1 WHERE %2").arg(tableOfDay(r.target), targetCondition(kind, r, scope, catalogue));
}

QString replaceCopySql(DatabaseKind kind, const ReplaceRequest& r, const TelemetryScope& scope,
                       const CatalogueNode& catalogue)
{
    return QStringLiteral("INSERT INTO %1(ATime,TagID,DataType,nValue,nValueChange) SELECT %2,TagId,DataType,nValue,"
                          "nValueChange FROM %3 WHERE %4 ORDER BY ATime DESC")
        .arg(tableOfDay(r.target), addDaysExpression(kind, QStringLiteral("ATime"), dayOffset(r)),
             tableOfDay(r.source), sourceCondition(kind, r, scope, catalogue));
}

QString replaceReadSql(DatabaseKind kind, const ReplaceRequest& r, const TelemetryScope& scope,
                       const CatalogueNode& catalogue)
{
    return QStringLiteral("SELECT ATime,TagID,DataType,nValue,nValueChange FROM %1 WHERE %2 ORDER BY ATime DESC")
        .arg(tableOfDay(r.source), sourceCondition(kind, r, scope, catalogue));
}

ReplaceOutcome runReplacement(db::Connection& shared, DatabaseKind kind, const QString& connectString,
                              const ReplaceRequest& r, const TelemetryScope& scope, const CatalogueNode& catalogue,
                              RandomSource& random)
{
    using Result = ReplaceOutcome::Result;
    ReplaceOutcome outcome;

    // The second connection first: when it cannot be had, nothing is deleted.
    db::Connection second;
    try {
        second = db::Connection::open(connectString);
    } catch (const db::DbError& error) {
        outcome.result = error.isDriverManagerError() ? Result::SecondConnectionFailed : Result::SecondConnectionError;
        return outcome;
    }

    try {
        const bool transactional = tableIsTransactional(shared, kind, tableOfDay(r.target));

        // The source before anything is deleted: a missing day leaves the target alone.
        std::vector<SourceRow> rows;
        if (r.correct) {
            try {
                rows = readSourceRows(second, replaceReadSql(kind, r, scope, catalogue));
            } catch (const db::DbError& error) {
                rethrowIfConnectionLost(error);
                outcome.result = Result::ReadFailed;
                return outcome;
            }
        } else {
            bool readable = false;
            try {
                readable = sourceReadable(shared, kind, transactional, r, scope, catalogue);
            } catch (const db::DbError& error) {
                rethrowIfConnectionLost(error);
            }
            if (!readable) {
                outcome.result = Result::CopyFailed;
                return outcome;
            }
        }

        // Delete and copy are one unit: old and copied rows never stand side
        // by side, and a failed copy leaves the old rows in place.
        std::optional<db::Transaction> unit;
        if (transactional)
            unit.emplace(shared);
        try {
            shared.execute(replaceDeleteSql(kind, r, scope, catalogue));
        } catch (const db::DbError& error) {
            rethrowIfConnectionLost(error);
            outcome.result = Result::DeleteFailed;
            return outcome;
        }

        if (!r.correct) {
            try {
                outcome.copied = shared.execute(replaceCopySql(kind, r, scope, catalogue));
            } catch (const db::DbError& error) {
                rethrowIfConnectionLost(error);
                outcome.result = Result::CopyFailed;
                outcome.copied = 0;
                return outcome;
            }
        } else {
            try {
                writeCorrectedRows(shared, transactional, rows, r, random, outcome);
            } catch (const db::DbError& error) {
                rethrowIfConnectionLost(error);
                // The target refuses the insert itself, though the delete went through.
                outcome.result = Result::CopyFailed;
                outcome.copied = 0;
                return outcome;
            }
        }

        if (!commitUnit(unit)) {
            outcome.result = Result::CommitFailed;
            outcome.copied = 0;
            outcome.skipped = 0;
            return outcome;
        }
    } catch (const db::DbError& error) {
        // The connection died, or the target's engine could not even be read.
        outcome.result = error.isConnectionLost() ? Result::ConnectionLost : Result::CopyFailed;
        outcome.copied = 0;
    }
    return outcome;
}

} // namespace tessera::telemetry
