// What the operation journal costs. First a station's day of 5,011,200
// samples (58 tags at one second) zeroed on a SQLite archive, each step in a
// process of its own so that its peak memory is its own: the zeroing without
// the journal, one more read of the scope (the reference for the journal's
// time), the zeroing as the command journals it (the before-image streamed
// into the entry inside the command's unit, the after-state made while it is
// read), and the undo of it. Then, on SQLite and (when their test servers
// are configured) PostgreSQL and MariaDB, a whole-day batch setting of one
// tag at one second (86,400 samples) on an empty day and over a day already
// set, and the zeroing of a station's day of 86,400 samples, each without
// and with the journal, and the undo beside them. Best of three runs.
#include "BenchSupport.h"

#include "SchemaDdl.h"

#include "dialect/DatabaseKind.h"
#include "db/BulkWriter.h"
#include "db/Connection.h"
#include "db/DbError.h"
#include "journal/ArchiveImage.h"
#include "dialect/ArchiveUnit.h"
#include "journal/Journal.h"
#include "journal/JournaledCommand.h"
#include "journal/Undo.h"
#include "telemetry/TelemetryOperations.h"
#include "view/TagCatalogue.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <atomic>
#include <cstdio>
#include <thread>
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
constexpr int kDayTags = 58; // 58 x 86,400 = 5,011,200 samples
constexpr int kRuns = 3;

void createDay(db::Connection& c)
{
    c.execute(ddl::dropTableSql(TelemetryTableName(kDay)));
    c.execute(ddl::createTelemetryTableSql(g_kind, TelemetryTableName(kDay), ddl::Generation::Newer));
}

void createSchemaWithStation(db::Connection& c, int tags, int firstTag)
{
    for (const QString& sql : ddl::createSchemaSql(g_kind)) {
        const QString table = sql.section(QLatin1Char(' '), 2, 2);
        c.execute(ddl::dropTableSql(table));
        c.execute(sql);
    }
    for (int t = 0; t < tags; ++t)
        c.execute(QStringLiteral("INSERT INTO EqpTagInfo(StationName,SwitchName,TagType,TagName,TagID) "
                                 "VALUES(%1,'开关','遥测','测点%2',%2)")
                      .arg(quotedSqlText(kStation))
                      .arg(firstTag + t));
}

TelemetryScope stationScope()
{
    TelemetryScope station;
    station.kind = TelemetryScope::Kind::Station;
    station.station = kStation;
    return station;
}

const RangeOfDay kWholeDay {kDay, QTime(0, 0), QTime(23, 59, 59)};

// Zeroing as the command journals it: each row found stays with both values 0.
const RowRule kZeroed {false, {3, 4}, 0.0};

EntryDraft draftFor(const QString& name, const UnitScope& scope)
{
    EntryDraft draft;
    draft.login = QStringLiteral("wardenaccount");
    draft.kind = int(g_kind);
    draft.commandName = name;
    draft.units.push_back({scope, QString(), {QStringLiteral("ATime"), QStringLiteral("TagID")}, std::nullopt});
    return draft;
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

// ---- A day of five million samples, a step per process ------------------------------------

int dayStep(const QString& step, const QString& folder)
{
    Journal journal = Journal::open(folder + QStringLiteral("/journal.sqlite"));
    db::Connection c =
        db::Connection::open(QStringLiteral("Driver=SQLite3;Database=%1").arg(folder + QStringLiteral("/day.db")));
    const CatalogueNode noCatalogue;
    const UnitScope scope = zeroingScope(kWholeDay, stationScope(), noCatalogue);
    Stopwatch watch;
    double seconds = 0;
    if (step == QLatin1String("fill")) {
        createSchemaWithStation(c, kDayTags, 1);
        createDay(c);
        c.execute(QStringLiteral("INSERT INTO %1(ATime,TagID,DataType,nValue,nValueChange) "
                                 "WITH RECURSIVE s(i) AS (SELECT 0 UNION ALL SELECT i+1 FROM s WHERE i<86399) "
                                 "SELECT strftime('%Y-%m-%d %H:%M:%S','2026-01-02','+'||i||' seconds'), t.TagID, 1,"
                                 " i*0.01, 0.01 FROM s, EqpTagInfo t")
                      .arg(TelemetryTableName(kDay)));
        std::printf("%.3f %.0f\n", watch.seconds(), peakMb());
        return 0;
    }
    if (step == QLatin1String("plain")) {
        ArchiveUnit unit(c, g_kind, {scope.table});
        zeroTelemetry(c, g_kind, kWholeDay, stationScope(), noCatalogue, unit);
        seconds = watch.seconds();
    } else if (step == QLatin1String("read")) {
        qint64 rows = 0;
        forEachEncodedScopeRow(c, g_kind, scope, shapeOf(c, scope.table), nullptr,
                               [&rows](const EncodedRow&) { return ++rows > 0; });
        seconds = watch.seconds();
    } else if (step == QLatin1String("journaled")) {
        const qint64 size = journal.sizeBytes();
        ArchiveUnit unit(c, g_kind, {scope.table});
        ImageChoice choice;
        choice.rules = {kZeroed};
        JournaledCommand entry =
            JournaledCommand::begin(journal, c, g_kind, draftFor(QStringLiteral("数据清零"), scope), unit, choice);
        const double image = watch.seconds();
        zeroTelemetry(c, g_kind, kWholeDay, stationScope(), noCatalogue, unit);
        entry.finish(true, QStringLiteral("完成"));
        seconds = watch.seconds();
        std::printf("%.3f %.0f %.3f %.0f\n", seconds, peakMb(), image, (journal.sizeBytes() - size) / 1e6);
        return 0;
    } else if (step == QLatin1String("undo")) {
        seconds = undoLast(journal, c);
    }
    std::printf("%.3f %.0f\n", seconds, peakMb());
    return 0;
}

QStringList runStep(const QString& step, const QString& folder)
{
    QProcess process;
    process.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--day"), step, folder});
    process.waitForFinished(-1);
    return QString::fromLatin1(process.readAllStandardOutput()).trimmed().split(QLatin1Char(' '));
}

void benchDayOfFiveMillionSamples()
{
    QTemporaryDir folder;
    std::printf("\n== A station's day of 5,011,200 samples zeroed, SQLite (each step a process of its own)\n");
    const QStringList fill = runStep(QStringLiteral("fill"), folder.path());
    std::printf("  %-34s %8s s\n", "filling the day", qPrintable(fill.value(0)));
    const QStringList plain = runStep(QStringLiteral("plain"), folder.path());
    const QStringList read = runStep(QStringLiteral("read"), folder.path());
    const QStringList journaled = runStep(QStringLiteral("journaled"), folder.path());
    const QStringList undo = runStep(QStringLiteral("undo"), folder.path());
    const double plainSeconds = plain.value(0).toDouble();
    const double commandSeconds = journaled.value(0).toDouble();
    std::printf("  %-34s %8.2f s  peak %5.0f MB\n", "without journal", plainSeconds, plain.value(1).toDouble());
    std::printf("  %-34s %8.2f s  peak %5.0f MB\n", "reading the scope once more", read.value(0).toDouble(),
                read.value(1).toDouble());
    std::printf("  %-34s %8.2f s  peak %5.0f MB (goal: under 300 MB); image %.2f s; journal +%.0f MB\n",
                "with journal", commandSeconds, journaled.value(1).toDouble(), journaled.value(2).toDouble(),
                journaled.value(3).toDouble());
    std::printf("  %-34s %8.2f s  (goal: at most the reading, %.2f s)\n", "the journal's own time",
                commandSeconds - plainSeconds, read.value(0).toDouble());
    std::printf("  %-34s %8.2f s  peak %5.0f MB; %.2f times the command (goal: under 2)\n", "undo",
                undo.value(0).toDouble(), undo.value(1).toDouble(), undo.value(0).toDouble() / commandSeconds);
}

// ---- A day of 86,400 samples on every archive kind --------------------------------------------------

const BatchRequest kBatch {kDay, QTime(0, 0), QTime(23, 59, 59), 1, 1000, 0, BatchMethod::Increase, 1};

struct NoQuestions : BatchQuestions {
    bool continueAfterDeleteFailure(const QString&) override { return false; }
    bool continueAfterSampleFailure(const QString&, bool) override { return false; }
};

BatchOutcome runBatch(db::Connection& c, ArchiveUnit& unit)
{
    NoQuestions questions;
    RandomSource random(1);
    const BatchOutcome outcome = runBatchSetting(c, g_kind, kBatch, questions, random, unit);
    if (outcome.result != BatchOutcome::Result::Done)
        std::fprintf(stderr, "batch setting ended with %d\n", int(outcome.result));
    return outcome;
}

struct Parts {
    double begin = 0, command = 0, finish = 0;
    double total() const { return begin + command + finish; }
};

struct Scenario {
    const char* title;
    std::function<void(db::Connection&)> prepare; // the day before the command
    QString name;
    UnitScope scope;
    RowRule rule; // what the command leaves of a row, when known
    // The command inside its unit; returns the rows it wrote, when it knows them.
    std::function<std::optional<std::vector<std::vector<db::Value>>>(db::Connection&, ArchiveUnit&)> command;
};

// The SCADA meanwhile: a connection of its own inserting samples of a tag
// outside every scope here, each committed alone, a few hundred a second;
// how long its longest insert waited.
class WriterProbe {
public:
    explicit WriterProbe(const QString& connectString)
    {
        m_thread = std::thread([this, connectString] {
            db::Connection c = db::Connection::open(connectString);
            for (int i = 0; !m_stop; ++i) {
                Stopwatch insert;
                try {
                    c.execute(QStringLiteral("INSERT INTO %1(ATime,TagID,DataType,nValue,nValueChange) VALUES(%2,999,1,1,0)")
                              .arg(TelemetryTableName(kDay), FormatDateLiteral(g_kind, QDateTime(kDay, QTime(0, 0), Qt::UTC)
                                                                                    .addSecs(i % 86400)
                                                                                    .toString("yyyy-MM-dd hh:mm:ss"))));
                } catch (const db::DbError&) {
                    ++m_refused; // waited past its driver's time-out
                }
                m_longest = std::max(m_longest.load(), insert.seconds());
                ++m_inserts;
                std::this_thread::sleep_for(std::chrono::milliseconds(3));
            }
        });
        while (m_inserts < 3)
            std::this_thread::yield();
    }
    ~WriterProbe() { stop(); }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    double longest() const { return m_longest; }
    int inserts() const { return m_inserts; }
    int refused() const { return m_refused; }

private:
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<double> m_longest{0};
    std::atomic<int> m_inserts{0};
    std::atomic<int> m_refused{0};
};

QString g_connectString;

Parts journaled(Journal& journal, db::Connection& c, const Scenario& s)
{
    Parts parts;
    Stopwatch watch;
    ArchiveUnit unit(c, g_kind, {s.scope.table});
    ImageChoice choice;
    choice.rules = {s.rule};
    JournaledCommand entry = JournaledCommand::begin(journal, c, g_kind, draftFor(s.name, s.scope), unit, choice);
    parts.begin = watch.seconds();
    Stopwatch commandWatch;
    const auto written = s.command(c, unit);
    parts.command = commandWatch.seconds();
    Stopwatch finishWatch;
    std::vector<std::optional<AfterState>> known;
    if (written)
        known.push_back(afterStateOfWritten(entry.shape(0), *written));
    entry.finish(true, QStringLiteral("完成"), {}, known);
    parts.finish = finishWatch.seconds();
    return parts;
}

void measure(db::Connection& c, Journal& journal, const Scenario& s)
{
    double plain = 1e9, undo = 1e9;
    Parts best;
    best.command = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        s.prepare(c);
        Stopwatch watch;
        {
            ArchiveUnit unit(c, g_kind, {s.scope.table});
            s.command(c, unit);
        }
        plain = std::min(plain, watch.seconds());
        s.prepare(c);
        const Parts parts = journaled(journal, c, s);
        if (parts.total() < best.total())
            best = parts;
        undo = std::min(undo, undoLast(journal, c));
    }
    // Once more with the SCADA writing the same table meanwhile.
    s.prepare(c);
    Stopwatch loaded;
    WriterProbe writer(g_connectString);
    journaled(journal, c, s);
    const double loadedSeconds = loaded.seconds();
    writer.stop();
    std::printf("%s\n", s.title);
    std::printf("  %-28s %8.3f s\n", "without journal", plain);
    std::printf("  %-28s %8.3f s  %+.0f%%  (before-image and entry %.3f, command %.3f, after-state %.3f)\n",
                "with journal", best.total(), (best.total() / plain - 1) * 100, best.begin, best.command, best.finish);
    std::printf("  %-28s %8.3f s  %.2f times the command without journal\n", "undo", undo, undo / plain);
    std::printf("  %-28s %8.3f s  longest insert of a writer meanwhile (%d inserts, %d refused; command %.3f s)\n",
                "a writer waits", writer.longest(), writer.inserts(), writer.refused(), loadedSeconds);
}

void benchArchive(const char* title, DatabaseKind kind, const QString& connectString, Journal& journal)
{
    std::printf("\n== %s\n", title);
    g_kind = kind;
    g_connectString = connectString;
    db::Connection c = db::Connection::open(connectString);
    const auto batch = [](db::Connection& c, ArchiveUnit& unit) {
        return std::optional(runBatch(c, unit).rowsWritten);
    };
    measure(c, journal,
            {"Batch setting of one tag for a whole day at one second (86,400 samples), empty day", createDay,
             QStringLiteral("批量设置"), batchScope(kBatch), {}, batch});
    measure(c, journal,
            {"The same over a day already set (86,400 samples replaced)",
             [](db::Connection& c) {
                 createDay(c);
                 ArchiveUnit unit(c, g_kind, {TelemetryTableName(kDay)});
                 runBatch(c, unit);
             },
             QStringLiteral("批量设置"), batchScope(kBatch), {}, batch});

    // A station of ten tags with a sample every ten seconds: 86,400 samples.
    createSchemaWithStation(c, kStationTags, 101);
    auto fillStation = [](db::Connection& c) {
        createDay(c);
        db::BulkWriter writer(
            c, QStringLiteral("INSERT INTO %1(ATime,TagID,DataType,nValue,nValueChange) VALUES(?,?,?,?,?)").arg(TelemetryTableName(kDay)),
            5);
        const QDateTime midnight(kDay, QTime(0, 0), Qt::UTC);
        for (int t = 1; t <= kStationTags; ++t)
            for (int i = 0; i < 86400; i += 10)
                writer.addRow({midnight.addSecs(i), qint64(100 + t), qint64(1), i * 0.01, 0.01});
        writer.finish();
    };
    const CatalogueNode noCatalogue;
    measure(c, journal,
            {"Zeroing a station's day (10 tags, 86,400 samples)", fillStation, QStringLiteral("遥测置零"),
             zeroingScope(kWholeDay, stationScope(), noCatalogue), kZeroed,
             [&](db::Connection& c, ArchiveUnit& unit) -> std::optional<std::vector<std::vector<db::Value>>> {
                 zeroTelemetry(c, g_kind, kWholeDay, stationScope(), noCatalogue, unit);
                 return std::nullopt;
             }});
    c.execute(ddl::dropTableSql(TelemetryTableName(kDay)));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc > 3 && QByteArray(argv[1]) == "--day")
        return dayStep(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    benchDayOfFiveMillionSamples();
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
