// Telemetry writes on SQLite through ODBC: a batch setting of a whole day at
// a one-second interval and a replacement with correction of 100,000
// samples, each beside one autocommitted INSERT per sample (the statement
// with literals) measured on a sample of rows in the same run.
#include "BenchSupport.h"

#include "SchemaDdl.h"

#include "db/BulkWriter.h"
#include "db/Connection.h"
#include "dialect/ArchiveUnit.h"
#include "telemetry/TelemetryOperations.h"
#include "view/TagCatalogue.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>

using namespace tessera;
using namespace tessera::bench;
using namespace tessera::telemetry;

namespace {

const QDate kSource(2026, 1, 1);
const QDate kTarget(2026, 1, 2);
constexpr int kReferenceRows = 2000;

void createDay(db::Connection& c, const QDate& day)
{
    c.execute(ddl::dropTableSql(TelemetryTableName(day)));
    c.execute(ddl::createTelemetryTableSql(DatabaseKind::SQLite, TelemetryTableName(day), ddl::Generation::Newer));
}

// Rows per second of one autocommitted INSERT with literals per sample.
double referenceRate(db::Connection& c, const QDate& day, int tag)
{
    Stopwatch watch;
    for (int i = 0; i < kReferenceRows; ++i)
        c.execute(QStringLiteral("INSERT INTO %1(ATime,TagID,DataType,nValue,nValueChange) VALUES(%2, %3 ,6, %4, %5)")
                      .arg(TelemetryTableName(day), instantLiteral(DatabaseKind::SQLite, day, QTime(0, 0).addSecs(i)))
                      .arg(tag)
                      .arg(QString::asprintf("%0.2f", i * 0.5), QString::asprintf("%0.2f", 0.5)));
    return kReferenceRows / watch.seconds();
}

struct NoQuestions : BatchQuestions {
    bool continueAfterDeleteFailure(const QString&) override { return false; }
    bool continueAfterSampleFailure(const QString&, bool) override { return true; }
};

void report(const char* what, long long rows, double seconds, double reference)
{
    const double rate = rows / seconds;
    std::printf("%s\n", what);
    printRate("ours", rows, rate);
    printRate("one autocommitted INSERT per sample", kReferenceRows, reference);
    std::printf("  ours: %.3f s for %lld rows; %.0f times faster; the reference would take %.1f s\n", seconds, rows,
                rate / reference, rows / reference);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString connectString = QStringLiteral("Driver=SQLite3;Database=%1").arg(dir.filePath(QStringLiteral("bench.db")));
    db::Connection c = db::Connection::open(connectString);

    // Batch setting: 86,400 samples and the day-end row.
    createDay(c, kTarget);
    const double batchReference = referenceRate(c, kTarget, 99);
    BatchRequest batch {kTarget, QTime(0, 0), QTime(23, 59, 59), 1, 1000, 0, BatchMethod::Increase, 1};
    NoQuestions questions;
    RandomSource random(1);
    Stopwatch batchWatch;
    ArchiveUnit batchUnit(c, DatabaseKind::SQLite, {TelemetryTableName(kTarget)});
    const BatchOutcome outcome = runBatchSetting(c, DatabaseKind::SQLite, batch, questions, random, batchUnit);
    const double batchSeconds = batchWatch.seconds();
    if (outcome.written != 86400 || outcome.result != BatchOutcome::Result::Done)
        std::fprintf(stderr, "batch setting wrote %lld samples\n", static_cast<long long>(outcome.written));
    report("Batch setting of a day at one second (86,400 samples)", outcome.written, batchSeconds, batchReference);

    // Replacement with correction: 100,000 samples of two tags of one switch.
    createDay(c, kSource);
    {
        db::BulkWriter writer(c, QStringLiteral("INSERT INTO %1(ATime,TagID,DataType,nValue,nValueChange) "
                                                "VALUES(?,?,?,?,?)")
                                     .arg(TelemetryTableName(kSource)),
                              5);
        const QDateTime midnight(kSource, QTime(0, 0), Qt::UTC);
        for (int i = 0; i < 100000; ++i)
            writer.addRow({midnight.addSecs(i % 86400), qint64(i < 86400 ? 1 : 2), qint64(1), i * 0.01, 0.01});
        writer.finish();
    }
    createDay(c, kTarget);
    const double replaceReference = referenceRate(c, kTarget, 99);
    CatalogueBuilder builder;
    builder.add({QStringLiteral("站"), QStringLiteral("回路"), QStringLiteral("甲"), QStringLiteral("1"), {}});
    builder.add({QStringLiteral("站"), QStringLiteral("回路"), QStringLiteral("乙"), QStringLiteral("2"), {}});
    const CatalogueNode catalogue = builder.take();
    TelemetryScope scope;
    scope.kind = TelemetryScope::Kind::Switch;
    scope.station = QStringLiteral("站");
    scope.switchName = QStringLiteral("回路");
    const ReplaceRequest replace {kSource, kTarget, QTime(0, 0), QTime(23, 59, 59), true, 0.9f, 1.1f};
    Stopwatch replaceWatch;
    ArchiveUnit replaceUnit(c, DatabaseKind::SQLite, {TelemetryTableName(kTarget)});
    const ReplaceOutcome replaced = runReplacement(c, DatabaseKind::SQLite, connectString, replace, scope,
                                                   catalogue, random, replaceUnit);
    const double replaceSeconds = replaceWatch.seconds();
    if (replaced.result != ReplaceOutcome::Result::Done || replaced.copied != 100000)
        std::fprintf(stderr, "replacement ended with %d after %lld rows\n", int(replaced.result), static_cast<long long>(replaced.copied));
    report("Replacement with correction (100,000 samples)", replaced.copied, replaceSeconds, replaceReference);
    return 0;
}
