#include "telemetry/TelemetryPreview.h"

#include "db/Connection.h"
#include "db/DbError.h"
#include "db/ResultSet.h"
#include "journal/ArchiveImage.h"
#include "schema/Schema.h"
#include "schema/TableNames.h"
#include "telemetry/TelemetryWrites.h"
#include "text/DecimalText.h"
#include "text/Trimming.h"

#include <algorithm>

namespace tessera::telemetry {

namespace {

// Rows of a scope now; 0 where the day has no table.
qint64 countRows(db::Connection& connection, DatabaseKind kind, const UnitScope& scope)
{
    return db::readOr(qint64(0), [&] { return journal::countScope(connection, kind, scope); });
}

// A tag's samples of a day, by time; none where the day has no table.
SampleRows samplesOfDay(db::Connection& connection, const QDate& day, int tagId)
{
    return db::readOr(SampleRows{}, [&] {
        SampleRows rows;
        db::ResultSet rs = connection.query(QStringLiteral("SELECT %1 FROM %2 WHERE TagID=%3 ORDER BY ATime")
                                                .arg(kSampleColumns, TelemetryTableName(day))
                                                .arg(tagId));
        rs.readFloatsAsNumbers();
        while (rs.next()) {
            // Wall-clock time, as the commands write it.
            rows.push_back({writes::wallClockOf(rs.string(0)), qint64(decimalInteger(rs.string(1))),
                qint64(decimalInteger(rs.string(2))), decimalReal(withoutTrailingWhiteSpace(rs.string(3))),
                decimalReal(withoutTrailingWhiteSpace(rs.string(4)))});
        }
        return rows;
    });
}

int tagOf(const std::vector<db::Value>& row)
{
    return int(std::get<qint64>(row[1]));
}

SampleRows ofTag(const SampleRows& rows, int tagId)
{
    SampleRows mine;
    std::copy_if(rows.begin(), rows.end(), std::back_inserter(mine),
        [tagId](const std::vector<db::Value>& row) { return tagOf(row) == tagId; });
    std::stable_sort(mine.begin(), mine.end(),
        [](const auto& a, const auto& b) { return std::get<QDateTime>(a[0]) < std::get<QDateTime>(b[0]); });
    return mine;
}

} // namespace

CommandPreview previewBatchSetting(
    db::Connection& connection, DatabaseKind kind, const BatchRequest& request, RandomSource random)
{
    CommandPreview preview;
    preview.day = request.day;
    preview.tagId = request.tagId;
    preview.tags = {request.tagId};
    // A day without a table: no line to draw.
    const BatchSeries series = db::readOr(BatchSeries{}, [&] { return seriesFor(connection, kind, request, random); });
    preview.written = ofTag(batchRows(request, series), request.tagId);
    preview.writes = qint64(preview.written.size());
    preview.deleted = countRows(connection, kind, batchScope(request));
    preview.current = samplesOfDay(connection, request.day, request.tagId);
    return preview;
}

CommandPreview previewReplacement(db::Connection& connection, DatabaseKind kind, const ReplaceRequest& request,
    const TelemetryScope& scope, const CatalogueNode& catalogue, int tagId, RandomSource random)
{
    CommandPreview preview;
    preview.day = request.target;
    // A source day without a table: nothing to write.
    const std::vector<SourceRow> source = db::readOr(std::vector<SourceRow>{},
        [&] { return readSourceRows(connection, replaceReadSql(kind, request, scope, catalogue)); });
    qint64 skipped = 0;
    const SampleRows all = replacementRows(source, request, random, skipped);
    for (const auto& row : all)
        if (std::find(preview.tags.begin(), preview.tags.end(), tagOf(row)) == preview.tags.end())
            preview.tags.push_back(tagOf(row));
    preview.tagId = tagId != 0                                            ? tagId
        : scope.kind == TelemetryScope::Kind::Tag || preview.tags.empty() ? scope.tagId
                                                                          : preview.tags.front();
    preview.written = ofTag(all, preview.tagId);
    preview.writes = qint64(all.size());
    preview.deleted = countRows(connection, kind, replaceTargetScope(request, scope, catalogue));
    preview.current = samplesOfDay(connection, request.target, preview.tagId);
    return preview;
}

} // namespace tessera::telemetry
