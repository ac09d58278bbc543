#pragma once

#include "telemetry/TelemetryOperations.h"

// What a batch setting or a replacement would do, computed by the code that
// does it but without writing: the rows it would write, for one tag beside
// that tag's samples of the day now, and how many rows it would delete and
// write in all.
namespace tessera::telemetry {

struct CommandPreview {
    QDate day;             // the day written
    int tagId = 0;         // the tag previewed
    SampleRows current;    // its samples of the target day now, by time
    SampleRows written;    // the rows the command would write for it, by time
    qint64 deleted = 0;    // rows of the whole scope the command deletes
    qint64 writes = 0;     // rows of the whole scope it writes
    std::vector<int> tags; // the tags it writes, in the order first met
};

// `random` is a copy of the source the command will then draw from, so that
// a random series previewed is the series written. Throws db::DbError only
// when the connection is lost.
CommandPreview previewBatchSetting(
    db::Connection& connection, DatabaseKind kind, const BatchRequest& request, RandomSource random);

// `tagId` 0 previews the scope's tag, or the first tag the replacement writes.
CommandPreview previewReplacement(db::Connection& connection, DatabaseKind kind, const ReplaceRequest& request,
    const TelemetryScope& scope, const CatalogueNode& catalogue, int tagId, RandomSource random);

} // namespace tessera::telemetry
