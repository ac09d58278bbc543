// What the operation journal costs, on a SQLite archive and (when their
// test servers are configured) on PostgreSQL and MariaDB: a whole-day batch
// setting of one tag at one second (86,400 samples), on an empty day and
// over a day already set, and the zeroing of a station's day, each without
// and with journaling as the commands journal (JournaledCommand: the
// before-image and the entry committed first, the after-state from what
// was written), and the undo of each beside them. Best of three runs.
#include "BenchSupport.h"

#include "SchemaDdl.h"

#include "dialect/DatabaseKind.h"
#include "db/BulkWriter.h"
#include "db/Connection.h"
#include "journal/ArchiveImage.h"
#include "journal/Journal.h"
#include "journal/JournaledCommand.h"
#include "journal/Undo.h"
#include "telemetry/TelemetryStore.h"
#include "view/TagCatalogue.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

using namespace tessera;
using namespace tessera::bench;
using namespace tessera::journal;
using namespace tessera::telemetry;

namespace {

DatabaseKind g_kind = DatabaseKind::SQLite; // the archive being measured
const QDate kDay(2026, 1, 2);
const QString kStation = QStringLiteral("城北变电站");
constexpr int kStationTags = 10;
constexpr int kRuns = 3;

void createDay(db::Connection& c)
{
    c.execute(ddl::dropTableSql(tableOfDay(kDay)));
    c.execute(ddl::createTelemetryTableSql(g_kind, tableOfDay(kDay), ddl::Generation::Newer));
}

const BatchRequest kBatch {kDay, QTime(0, 0), QTime(23, 59, 59), 1, 1000, 0, BatchMethod::Increase, 1};

struct NoQuestions : BatchQuestions {
    bool continueAfterDeleteFailure(const QString&) override { return false; }
    bool continueAfterSampleFailure(const QString&, bool) override { return false; }
};

void runBatch(db::Connection& c)
{
    NoQuestions questions;
    RandomSource random(1);
    const BatchOutcome outcome = runBatchSetting(c, g_kind, kBatch, questions, random);
    if (outcome.result != BatchOutcome::Result::Done)
        std::fprintf(stderr, "batch setting ended with %d\n", int(outcome.result));
}

QString twoDecimals(double v)
{
    return QString::asprintf("%0.2f", v);
}

// The rows the batch setting writes, as it binds them: its series with
// values of two decimals, and the day-end row.
std::vector<std::vector<db::Value>> batchRows()
{
    RandomSource random(1);
    const BatchSeries series = batchSeries(kBatch, 0, random);
    std::vector<std::vector<db::Value>> rows;
    rows.reserve(series.samples.size() + 1);
    for (const Sample& s : series.samples)
        rows.push_back({s.at, qint64(kBatch.tagId), qint64(kManualDataType), twoDecimals(s.value).toDouble(),
                        twoDecimals(s.change).toDouble()});
    if (series.dayEnd)
        rows.push_back({QDateTime(kDay, QTime(23, 59, 59), Qt::UTC), qint64(kBatch.tagId), qint64(kManualDataType),
                        twoDecimals(series.lastValue).toDouble(), 0.0});
    return rows;
}

QString conditionOf(const QString& statement)
{
    return statement.mid(statement.indexOf(QStringLiteral(" WHERE ")) + 7);
}

struct Parts {
    double begin = 0, command = 0, finish = 0;
    double total() const { return begin + command + finish; }
};

// A command as the writing commands run it: the before-image and the entry
// first, then the command, then the after-state it left (made from `after`,
// never read back).
Parts journaled(Journal& journal, db::Connection& c, const QString& name, const QString& where,
                const std::function<void()>& command, const std::function<AfterState(const RowSet&)>& after)
{
    EntryDraft draft;
    draft.login = QStringLiteral("wardenaccount");
    draft.kind = int(g_kind);
    draft.commandName = name;
    draft.units.push_back({tableOfDay(kDay), where, QString(), {QStringLiteral("ATime"), QStringLiteral("TagID")}, {}});
    Parts parts;
    Stopwatch watch;
    JournaledCommand entry = JournaledCommand::begin(journal, c, g_kind, std::move(draft));
    parts.begin = watch.seconds();
    Stopwatch commandWatch;
    command();
    parts.command = commandWatch.seconds();
    Stopwatch finishWatch;
    entry.finish(true, QStringLiteral("完成"), {}, {after(entry.before(0))});
    parts.finish = finishWatch.seconds();
    return parts;
}

double undoLast(Journal& journal, db::Connection& c)
{
    UndoRequest request;
    request.entryId = journal.entries({{}, {}, {}, 1}).front().id;
    request.kind = g_kind;
    Stopwatch watch;
    const UndoOutcome outcome = undoEntry(journal, c, request);
    const double seconds = watch.seconds();
    if (outcome.result != UndoOutcome::Result::Done)
        std::fprintf(stderr, "undo: %s\n", qPrintable(outcome.message));
    return seconds;
}

struct Scenario {
    const char* title;
    std::function<void(db::Connection&)> prepare; // the day before the command
    QString name;
    QString where;
    std::function<void(db::Connection&)> command;
    std::function<AfterState(const RowSet&)> after;
};

void measure(db::Connection& c, Journal& journal, const Scenario& s)
{
    double plain = 1e9, undo = 1e9;
    Parts best;
    best.command = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        s.prepare(c);
        Stopwatch watch;
        s.command(c);
        plain = std::min(plain, watch.seconds());

        s.prepare(c);
        const Parts parts = journaled(journal, c, s.name, s.where, [&] { s.command(c); }, s.after);
        if (parts.total() < best.total())
            best = parts;
        undo = std::min(undo, undoLast(journal, c));
    }
    std::printf("%s\n", s.title);
    std::printf("  %-28s %8.3f s\n", "without journal", plain);
    std::printf("  %-28s %8.3f s  %+.0f%%  (before-image and entry %.3f, command %.3f, after-state %.3f)\n",
                "with journal", best.total(), (best.total() / plain - 1) * 100, best.begin, best.command, best.finish);
    std::printf("  %-28s %8.3f s  %.2f times the command without journal\n", "undo", undo, undo / plain);
}

void benchArchive(const char* title, DatabaseKind kind, const QString& connectString, Journal& journal)
{
    std::printf("\n== %s\n", title);
    g_kind = kind;
    db::Connection c = db::Connection::open(connectString);

    const auto rows = batchRows();
    const QString batchWhere = conditionOf(batchDeleteSql(g_kind, kBatch));
    auto writtenBatch = [&rows](const RowSet& before) { return afterStateOfWritten(before, rows); };

    measure(c, journal,
            {"Batch setting of one tag for a whole day at one second (86,400 samples), empty day", createDay,
             QStringLiteral("批量设置"), batchWhere, runBatch, writtenBatch});
    measure(c, journal,
            {"The same over a day already set (86,400 samples replaced)",
             [](db::Connection& c) {
                 createDay(c);
                 runBatch(c);
             },
             QStringLiteral("批量设置"), batchWhere, runBatch, writtenBatch});

    // A station of ten tags with a sample every ten seconds: 86,400 samples.
    for (const QString& sql : ddl::createSchemaSql(g_kind)) {
        const QString table = sql.section(QLatin1Char(' '), 2, 2);
        c.execute(ddl::dropTableSql(table));
        c.execute(sql);
    }
    for (int t = 1; t <= kStationTags; ++t)
        c.execute(QStringLiteral("INSERT INTO EqpTagInfo(StationName,SwitchName,TagType,TagName,TagID) "
                                 "VALUES(%1,'开关','遥测','测点%2',%2)")
                      .arg(quotedSqlText(kStation))
                      .arg(100 + t));
    auto fillStation = [](db::Connection& c) {
        createDay(c);
        db::BulkWriter writer(
            c, QStringLiteral("INSERT INTO %1(ATime,TagID,DataType,nValue,nValueChange) VALUES(?,?,?,?,?)").arg(tableOfDay(kDay)),
            5);
        const QDateTime midnight(kDay, QTime(0, 0), Qt::UTC);
        for (int t = 1; t <= kStationTags; ++t)
            for (int i = 0; i < 86400; i += 10)
                writer.addRow({midnight.addSecs(i), qint64(100 + t), qint64(1), i * 0.01, 0.01});
        writer.finish();
    };
    TelemetryScope station;
    station.kind = TelemetryScope::Kind::Station;
    station.station = kStation;
    const RangeOfDay wholeDay {kDay, QTime(0, 0), QTime(23, 59, 59)};
    const CatalogueNode noCatalogue;
    measure(c, journal,
            {"Zeroing a station's day (10 tags, 86,400 samples)", fillStation, QStringLiteral("遥测置零"),
             conditionOf(zeroingSql(g_kind, wholeDay, station, noCatalogue)),
             [&](db::Connection& c) { zeroTelemetry(c, g_kind, wholeDay, station, noCatalogue); },
             [](const RowSet& before) {
                 RowDigest digest;
                 for (Row row : before.rows) {
                     row[3] = row[4] = 0.0;
                     digest.add(row);
                 }
                 return AfterState {digest.count(), digest.result(), std::nullopt};
             }});

    // The after-state made from what was written is what the archive holds.
    createDay(c);
    runBatch(c);
    const RowSet read = captureRows(c, g_kind, tableOfDay(kDay), batchWhere);
    std::printf("after-state from the written values matches the archive: %s\n",
                afterStateOfWritten(read, rows).digest == digestOf(read.rows) ? "yes" : "NO");
    c.execute(ddl::dropTableSql(tableOfDay(kDay)));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QTemporaryDir dir;
    Journal journal = Journal::open(dir.filePath(QStringLiteral("journal.sqlite")));
    benchArchive("SQLite", DatabaseKind::SQLite,
                 QStringLiteral("Driver=SQLite3;Database=%1").arg(dir.filePath(QStringLiteral("bench.db"))), journal);
    if (testServersConfigured()) {
        benchArchive("PostgreSQL", DatabaseKind::PostgreSQL,
                     QStringLiteral("Driver=PostgreSQL Unicode;Servername=%1;Port=%2;Database=%3;UID=%4;PWD=%5")
                         .arg(env("TESSERA_TEST_PG_HOST"), env("TESSERA_TEST_PG_PORT"), env("TESSERA_TEST_PG_DATABASE"),
                              env("TESSERA_TEST_PG_USER"), env("TESSERA_TEST_PG_PASSWORD")),
                     journal);
        benchArchive("MariaDB", DatabaseKind::MySql,
                     QStringLiteral("Driver=MariaDB Unicode;Server=%1;Port=%2;Database=%3;UID=%4;PWD=%5")
                         .arg(env("TESSERA_TEST_MARIADB_HOST"), env("TESSERA_TEST_MARIADB_PORT"),
                              env("TESSERA_TEST_MARIADB_DATABASE"), env("TESSERA_TEST_MARIADB_USER"),
                              env("TESSERA_TEST_MARIADB_PASSWORD")),
                     journal);
    }
    std::printf("\njournal size: %.1f MB\n", journal.sizeBytes() / 1e6);
    return 0;
}
