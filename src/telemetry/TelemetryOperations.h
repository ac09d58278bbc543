#pragma once

#include "db/Statement.h"
#include "dialect/DatabaseKind.h"
#include "journal/Scope.h"
#include "telemetry/SampleScope.h"
#include "telemetry/TelemetryTexts.h"

#include <QDate>
#include <QString>
#include <QTime>

#include <optional>
#include <vector>

// The SQL and the algorithms of the telemetry commands, free of widgets:
// each takes a connection and the kind of its database, and reports through
// its result or a small interface.
namespace tessera {

class FillSink;

namespace db {
class Connection;
}

class ArchiveUnit;

namespace telemetry {

// The rows a writing command may touch, as typed fields: its table and the
// clauses over it. The statements are built from the same scope, and the
// journal keeps its before-image, so the two never drift apart.
using journal::UnitScope;

// ---- Query -------------------------------------------------------------------

struct QueryRequest {
    QDate day;
    QTime start;
    QTime end;
    int tagId = 0;
};

QString querySql(DatabaseKind kind, const QueryRequest& request);
// The hand-set samples of a tag in the range, newest first, as list rows
// (time, TagID, "遥测", nValue, nValueChange). Throws db::DbError after
// delivering the rows read so far.
void queryTelemetry(db::Connection& connection, DatabaseKind kind, const QueryRequest& request, FillSink& sink);

// ---- Single value --------------------------------------------------------------

struct SingleValue {
    QDate day;
    QTime time;
    float value = 0;
    float change = 0;
    int tagId = 0;
    bool add = false; // add a sample; otherwise modify the one at that instant
};

QString singleValueSql(DatabaseKind kind, const SingleValue& sample);
UnitScope singleValueScope(const SingleValue& sample);
// True when the sample was added, or when the sample to modify exists. Throws db::DbError.
bool writeSingleValue(db::Connection& connection, DatabaseKind kind, const SingleValue& sample);

// ---- Delete -----------------------------------------------------------------------

// One listed sample by its own time text (yyyy-mm-dd hh:mm:ss: the table is
// that day's) and its TagID. Throws db::DbError.
QString deleteSampleSql(DatabaseKind kind, const QString& timeText, int tagId);
UnitScope sampleScope(const QString& timeText, int tagId);
void deleteSample(db::Connection& connection, DatabaseKind kind, const QString& timeText, int tagId);

// Listed samples (time text, TagID) as one scope per day table, a clause a
// sample, in the order of the days.
std::vector<UnitScope> samplesScopes(const std::vector<std::pair<QString, int>>& samples);
// Deletes the listed samples one by one from the last to the first, inside
// the unit, and commits what was deleted: a failure stops there, and the
// samples before it stay deleted. Returns how many were deleted; `failure`
// holds the driver's text of the one that failed.
qint64 deleteSamples(db::Connection& connection, DatabaseKind kind, const std::vector<std::pair<QString, int>>& samples,
                     ArchiveUnit& unit, QString& failure);

// ---- Zeroing ----------------------------------------------------------------------

struct RangeOfDay {
    QDate day;
    QTime start;
    QTime end;
};

QString zeroingSql(DatabaseKind kind, const RangeOfDay& range, const TelemetryScope& scope,
                   const CatalogueNode& catalogue);
UnitScope zeroingScope(const RangeOfDay& range, const TelemetryScope& scope, const CatalogueNode& catalogue);
// Sets nValue and nValueChange of the scope's samples in the range to 0, as
// one unit, and commits it: a refused row leaves every sample as it was.
// Throws db::DbError; a switch without known tags fails before reaching
// the database.
void zeroTelemetry(db::Connection& connection, DatabaseKind kind, const RangeOfDay& range,
                   const TelemetryScope& scope, const CatalogueNode& catalogue, ArchiveUnit& unit);

// ---- Manual batch setting -------------------------------------------------------

// Interpolate: straight lines between the samples just outside the range.
enum class BatchMethod { Increase = 0, Decrease = 1, Random = 2, Interpolate = 3 };

struct BatchRequest {
    QDate day;
    QTime start;
    QTime end;
    int intervalSeconds = 600;
    float maximum = 0;
    float minimum = 0;
    BatchMethod method = BatchMethod::Random;
    int tagId = 0;
};

struct Sample {
    QDateTime at; // wall-clock time, no time zone arithmetic
    float value = 0;
    float change = 0;
};

struct BatchSeries {
    std::vector<Sample> samples;
    bool dayEnd = false;     // a row at 23:59:59 follows with the last value and change 0
    float lastValue = 0;
};

// The samples of a request: one per interval from the start up to the end.
// `previous` is the value before the first sample (random method only);
// nullopt makes the first change 0. `random` is drawn from only by the
// random method.
BatchSeries batchSeries(const BatchRequest& request, std::optional<float> previous, RandomSource& random);

// The samples of the tag just outside a range of its day, between which an
// interpolation draws its line; either may be missing.
struct LineEnds {
    std::optional<Sample> before;
    std::optional<Sample> after;
};
// The last sample before the start and the first after every instant the
// batch deletes. Throws db::DbError.
LineEnds lineEnds(db::Connection& connection, DatabaseKind kind, const BatchRequest& request);
// The interpolated samples: on the line from `before` to `after`, level
// with the one that exists when the other does not, none without either.
BatchSeries interpolatedSeries(const BatchRequest& request, const LineEnds& ends);
// The series a request writes, read from the archive where its method needs
// it: what the preview shows and the command writes. Throws db::DbError only
// when the connection is lost or an interpolation's table cannot be read.
BatchSeries seriesFor(db::Connection& connection, DatabaseKind kind, const BatchRequest& request, RandomSource& random);

// The value before the first sample: the latest of the previous day when the
// start is midnight (nullopt when that day holds no sample of the tag: the
// first change is then 0), else the sample one interval before the start
// (0 when there is none: the first change is then the first value). Throws
// db::DbError when it cannot be read.
std::optional<float> previousValue(db::Connection& connection, DatabaseKind kind, const BatchRequest& request);

// previousValue for the random method, 0 for the others and where the day
// before has no table. Throws db::DbError only when the connection is lost.
std::optional<float> startValue(db::Connection& connection, DatabaseKind kind, const BatchRequest& request);

// Rows as a command writes them: ATime, TagID, DataType, nValue, nValueChange.
using SampleRows = std::vector<std::vector<db::Value>>;
// The rows of a series: its samples, then the day-end row when it has one.
SampleRows batchRows(const BatchRequest& request, const BatchSeries& series);

// Deletes every instant the batch writes: from the start up to the end's
// whole second, through 23:59:59 when a day-end row follows.
QString batchDeleteSql(DatabaseKind kind, const BatchRequest& request);
UnitScope batchScope(const BatchRequest& request);

// The questions a batch setting asks while it runs.
class BatchQuestions {
public:
    virtual ~BatchQuestions() = default;
    // The delete of the range failed; true goes on.
    virtual bool continueAfterDeleteFailure(const QString& sql) = 0;
    // The first sample that could not be written; true skips it and the
    // other failing samples and writes the rest. False stops: `undone` says
    // whether the table is then left as it was (otherwise the samples
    // written so far stay).
    virtual bool continueAfterSampleFailure(const QString& timeText, bool undone) = 0;
};

struct BatchOutcome {
    enum class Result {
        Done,           // written; `failed` samples skipped
        Cancelled,      // at the delete question: nothing changed
        Stopped,        // at the first failed sample
        InsertRefused,  // the insert could not even be prepared (no table)
        DayEndFailed,   // the day-end row was refused
        CommitFailed,   // the database refused to commit: nothing written
        ConnectionLost, // the connection died on the way
        NoLineEnds,     // an interpolation without a sample on either side: nothing changed
    };
    Result result = Result::Done;
    qint64 written = 0; // samples in the table at the end
    qint64 failed = 0;
    QString detail;     // the driver's text of the failure
    // Done without failures: every row the range holds now, as written
    // (ATime, TagID, DataType, nValue, nValueChange), so that the journal
    // need not read them back.
    std::vector<std::vector<db::Value>> rowsWritten;
};

// One unit: deletes the range, writes the series and the day-end row, and
// commits them together. On a table that cannot roll back, each sample is
// written once in autocommit and whatever was written stays.
BatchOutcome runBatchSetting(db::Connection& connection, DatabaseKind kind, const BatchRequest& request,
                             BatchQuestions& questions, RandomSource& random, ArchiveUnit& unit);

// ---- Replacement ---------------------------------------------------------------------

struct ReplaceRequest {
    QDate source;
    QDate target;
    QTime start;
    QTime end;
    bool correct = false;
    float minimumCoefficient = 0;
    float maximumCoefficient = 0;
};

// Whole days from the source to the target day; negative backwards.
int dayOffset(const ReplaceRequest& request);

QString replaceDeleteSql(DatabaseKind kind, const ReplaceRequest& request, const TelemetryScope& scope,
                         const CatalogueNode& catalogue);
// The target range, the only rows a replacement changes.
UnitScope replaceTargetScope(const ReplaceRequest& request, const TelemetryScope& scope, const CatalogueNode& catalogue);
// The copy without correction: one INSERT ... SELECT moving ATime by the offset.
QString replaceCopySql(DatabaseKind kind, const ReplaceRequest& request, const TelemetryScope& scope,
                       const CatalogueNode& catalogue);
QString replaceReadSql(DatabaseKind kind, const ReplaceRequest& request, const TelemetryScope& scope,
                       const CatalogueNode& catalogue);

// A source row of a replacement, newest first, as replaceReadSql reads it.
struct SourceRow {
    QString timeOfDay; // hh:mm:ss
    int tagId = 0;
    int dataType = 0;
    double value = 0;
    double change = 0;
};
std::vector<SourceRow> readSourceRows(db::Connection& connection, const QString& sql);
// What a replacement writes into the target day: each source row at its time
// of day; with correction scaled by a coefficient of its own (drawn newest
// first) and marked as set by hand. Rows whose time cannot be read are left
// out and counted in `skipped`.
SampleRows replacementRows(const std::vector<SourceRow>& rows, const ReplaceRequest& request, RandomSource& random,
                           qint64& skipped);
// The same for one row; nullopt for a row left out.
std::optional<std::vector<db::Value>> replacementRow(const SourceRow& row, const ReplaceRequest& request,
                                                     RandomSource& random);

struct ReplaceOutcome {
    enum class Result {
        Done,                   // "数据替换完成!"
        SecondConnectionFailed, // the data source is unknown: "访问数据库失败!"
        SecondConnectionError,  // any other error: "访问数据库出现异常!"
        DeleteFailed,           // "执行删除记录是出错!": nothing copied
        CopyFailed,             // "执行拷贝记录是出错!": the source cannot be read, or the copy was refused
        ReadFailed,             // "执行替换数据记录时出错!": the source rows to correct cannot be read
        CommitFailed,           // the database refused to commit: nothing replaced
        ConnectionLost,         // the connection died on the way
    };
    Result result = Result::Done;
    qint64 copied = 0;  // rows written (-1: the driver does not count them)
    qint64 skipped = 0; // rows with correction that could not be written
    QString detail;     // the driver's text of the failure
};

// One unit on `shared`: proves the source readable, deletes the target range
// and copies the source range into it, committed together. A second
// connection is opened with `connectString` before anything changes, as a
// proof that the data source can be reached. With correction the source is
// read an hour at a time and each hour of the target replaced in turn (also
// when source and target are the same day): memory stays that of an hour.
ReplaceOutcome runReplacement(db::Connection& shared, DatabaseKind kind, const QString& connectString,
                              const ReplaceRequest& request, const TelemetryScope& scope,
                              const CatalogueNode& catalogue, RandomSource& random, ArchiveUnit& unit);

} // namespace telemetry
} // namespace tessera
