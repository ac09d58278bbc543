#include "telemetry/TelemetryOperations.h"

#include "db/Connection.h"
#include "db/DbError.h"
#include "db/ResultSet.h"
#include "dialect/ArchiveUnit.h"
#include "schema/Schema.h"
#include "telemetry/TelemetryWrites.h"
#include "view/TagCatalogue.h"
#include "text/DateTexts.h"
#include "text/DecimalText.h"
#include "text/Trimming.h"

#include <optional>

// The manual batch setting: a synthetic series over a range of one tag's day.
namespace tessera::telemetry {

using namespace writes;

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

BatchSeries batchSeries(const BatchRequest& r, std::optional<float> previous, RandomSource& random)
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
    std::optional<float> p = previous;
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
        case BatchMethod::Interpolate: // drawn from the archive by interpolatedSeries
            break;
        case BatchMethod::Random:
            s.value = RandomBetween(random, r.maximum, r.minimum);
            // No sample before: the first change is 0.
            s.change = p ? s.value - *p : 0.0f;
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

namespace {

// The first sample a query of ATime and nValue reads, if any.
std::optional<Sample> firstSample(db::Connection& connection, const QString& sql)
{
    auto rs = connection.query(sql);
    rs.readFloatsAsNumbers();
    if (!rs.next())
        return std::nullopt;
    const QDateTime instant = wallClockOf(rs.string(0));
    if (!instant.isValid())
        return std::nullopt;
    return Sample {instant, float(decimalReal(withoutTrailingWhiteSpace(rs.string(1)))), 0};
}

} // namespace

LineEnds lineEnds(db::Connection& connection, DatabaseKind kind, const BatchRequest& r)
{
    const QString table = TelemetryTableName(r.day);
    const QTime last = endsWithDayEndRow(r) ? QTime(23, 59, 59) : r.end;
    const QString select = QStringLiteral("SELECT ATime,nValue FROM %1 WHERE TagID=%2 AND ").arg(table).arg(r.tagId);
    return {firstSample(connection, select + QStringLiteral("ATime<%1 ORDER BY ATime DESC")
                                             .arg(instantLiteral(kind, r.day, r.start))),
            firstSample(connection, select + QStringLiteral("ATime>=%1 ORDER BY ATime")
                                             .arg(rangeEndLiteral(kind, r.day, last)))};
}

BatchSeries interpolatedSeries(const BatchRequest& r, const LineEnds& ends)
{
    BatchSeries series;
    const qint64 n = intervalCount(r);
    if (n < 0 || (!ends.before && !ends.after))
        return series;
    // Level with the one side there is when the other has no sample.
    const Sample from = ends.before ? *ends.before : *ends.after;
    const Sample to = ends.after ? *ends.after : *ends.before;
    const double span = double(from.at.msecsTo(to.at));
    const QDateTime start = wallClock(r.day, r.start);
    float previous = ends.before ? from.value : 0.0f;
    for (qint64 i = 0; i <= n; ++i) {
        Sample s;
        s.at = start.addSecs(i * intervalOf(r));
        const double share = span > 0 ? double(from.at.msecsTo(s.at)) / span : 0.0;
        s.value = float(double(from.value) + (double(to.value) - double(from.value)) * share);
        s.change = (i == 0 && !ends.before) ? 0.0f : s.value - previous;
        previous = s.value;
        series.samples.push_back(s);
    }
    series.lastValue = previous;
    series.dayEnd = endsWithDayEndRow(r);
    return series;
}

BatchSeries seriesFor(db::Connection& connection, DatabaseKind kind, const BatchRequest& r, RandomSource& random)
{
    if (r.method == BatchMethod::Interpolate)
        return interpolatedSeries(r, lineEnds(connection, kind, r));
    return batchSeries(r, startValue(connection, kind, r), random);
}

std::optional<float> previousValue(db::Connection& connection, DatabaseKind kind, const BatchRequest& r)
{
    if (r.start == QTime(0, 0)) {
        const QDate before = r.day.addDays(-1);
        auto rs = connection.query(
            QStringLiteral("SELECT * FROM %1 WHERE (TagID=%2) ORDER BY ATime").arg(TelemetryTableName(before)).arg(r.tagId));
        std::optional<float> value;
        while (rs.next())
            value = float(decimalReal(withoutTrailingWhiteSpace(rs.string(3))));
        return value;
    }
    const QDateTime oneBefore = wallClock(r.day, r.start).addSecs(-r.intervalSeconds);
    auto rs = connection.query(QStringLiteral("SELECT nValue FROM %1 WHERE (TagID=%2) AND ATime=%3")
                                   .arg(TelemetryTableName(r.day))
                                   .arg(r.tagId)
                                   .arg(FormatDateLiteral(kind, dateTimeText(oneBefore))));
    return rs.next() ? float(decimalReal(withoutTrailingWhiteSpace(rs.string(0)))) : 0.0f;
}

std::optional<float> startValue(db::Connection& connection, DatabaseKind kind, const BatchRequest& r)
{
    if (r.method != BatchMethod::Random)
        return 0.0f;
    // A day without a table has no previous value; the range is filled all the same.
    return db::readOr(std::optional<float>(0.0f), [&] { return previousValue(connection, kind, r); });
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

UnitScope batchScope(const BatchRequest& r)
{
    // Up to the last written instant's whole second: a rerun of the same
    // batch finds nothing of its own left to collide with.
    const QTime last = endsWithDayEndRow(r) ? QTime(23, 59, 59) : r.end;
    TelemetryScope tag;
    tag.tagId = r.tagId;
    return samplesOf(r.day, r.start, last, tag, {});
}

QString batchDeleteSql(DatabaseKind kind, const BatchRequest& r)
{
    return deleteSql(kind, batchScope(r));
}

namespace {

using Result = BatchOutcome::Result;

// Writes the samples; false (the outcome set) when the writer was refused
// or stopped at the user's answer.
bool writeSamples(db::Connection& connection, const BatchRequest& r, const BatchSeries& series, const SampleRows& rows,
                  const ArchiveUnit& unit, BatchQuestions& questions, BatchOutcome& outcome)
{
    std::optional<db::BulkWriter> writer;
    if (const auto refused = db::refusalOf([&] {
            writer.emplace(connection, kInsertParameters.arg(TelemetryTableName(r.day)), 5, 4000, unit.writerMode());
        })) {
        outcome.result = Result::InsertRefused;
        outcome.failed = qint64(series.samples.size());
        outcome.detail = refused->message();
        return false;
    }
    bool asked = false;
    writer->setFailureHandler([&](qint64 row, const db::DbError& error) {
        if (asked)
            return db::BulkWriter::OnFailure::Continue;
        asked = true;
        outcome.detail = error.message();
        const QString at = dateTimeText(series.samples[size_t(row)].at);
        return questions.continueAfterSampleFailure(at, unit.transactional()) ? db::BulkWriter::OnFailure::Continue
                                                                       : db::BulkWriter::OnFailure::Stop;
    });
    for (size_t i = 0; i < series.samples.size(); ++i)
        if (!writer->addRow(rows[i]))
            break;
    const db::BulkWriter::Summary summary = writer->finish();
    outcome.failed = summary.failed;
    outcome.written = summary.written;
    if (summary.stopped) {
        outcome.result = Result::Stopped;
        // Written for good only where nothing can be rolled back.
        outcome.written = unit.transactional() ? 0 : summary.written;
        return false;
    }
    return true;
}

} // namespace

BatchOutcome runBatchSetting(db::Connection& connection, DatabaseKind kind, const BatchRequest& r,
                             BatchQuestions& questions, RandomSource& random, ArchiveUnit& unit)
{
    BatchOutcome outcome;
    const QString table = TelemetryTableName(r.day);
    try {
        const bool transactional = unit.transactional();
        // The previous value lies before the range: read before anything changes.
        const BatchSeries series = seriesFor(connection, kind, r, random);
        if (series.samples.empty() && r.method == BatchMethod::Interpolate) {
            outcome.result = Result::NoLineEnds;
            return outcome;
        }

        const QString deleteSql = batchDeleteSql(kind, r);
        // Otherwise the range keeps rows of its own beside the new ones.
        const auto notCleared = db::refusalOf([&] { unit.executeSurvivable(deleteSql); });
        if (notCleared) {
            outcome.detail = notCleared->message();
            if (!questions.continueAfterDeleteFailure(deleteSql)) {
                outcome.result = Result::Cancelled;
                return outcome;
            }
        }
        SampleRows rows = batchRows(r, series);
        if (!writeSamples(connection, r, series, rows, unit, questions, outcome))
            return outcome;
        const qint64 written = outcome.written;
        if (series.dayEnd && connection.isOpen()) {
            if (const auto refused = db::refusalOf([&] {
                    connection.execute(sampleInsertSql(table, instantLiteral(kind, r.day, QTime(23, 59, 59)), r.tagId,
                                                       twoDecimals(series.lastValue), twoDecimals(0)));
                })) {
                outcome.result = Result::DayEndFailed;
                outcome.detail = refused->message();
                outcome.written = transactional ? 0 : written;
                return outcome;
            }
        }
        if (const auto refused = db::refusalOf([&] { unit.commit(); })) {
            outcome.result = Result::CommitFailed;
            outcome.detail = refused->message();
            outcome.written = 0;
            return outcome;
        }
        if (outcome.failed == 0 && !notCleared)
            outcome.rowsWritten = std::move(rows);
    } catch (const db::DbError& error) {
        // The connection died, or the table's engine could not even be read.
        outcome.result = error.isConnectionLost() ? Result::ConnectionLost : Result::InsertRefused;
        outcome.detail = error.message();
    }
    return outcome;
}

} // namespace tessera::telemetry
