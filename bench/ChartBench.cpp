// The telemetry trend chart under the record list: a tag with a day of
// one-second samples (86,400 rows, some hand-set) selected in the main window
// with the chart on, beside the same with the chart off (the list alone),
// until both have painted; then moving the selection down the rows, a step
// at a time, again with and without the chart. Measured in one run on SQLite.
#include "BenchSupport.h"

#include "DemoContent.h"
#include "SchemaDdl.h"
#include "app/CTesseraApp.h"
#include "db/BulkWriter.h"
#include "schema/TableNames.h"
#include "ui/CMainFrame.h"
#include "ui/CTesseraView.h"
#include "ui/TrendChartView.h"
#include "view/CommandIds.h"

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstdio>

using namespace tessera;
using namespace tessera::bench;

namespace {

constexpr int kTag = 17;
constexpr int kDaySamples = 86400;
constexpr int kSteps = 40;
constexpr int kRounds = 3;

// Today's table with a day of one-second samples of one tag: a daily wave
// with noise; every tenth minute hand-set, and the hour from 14:00 set by hand
// throughout.
void writeArchive(const QString& path)
{
    db::Connection c = db::Connection::open(QStringLiteral("Driver=SQLite3;Database=%1").arg(path));
    for (const QString& sql : ddl::createSchemaSql(DatabaseKind::SQLite))
        c.execute(sql);
    demo::writeCatalogue(c, DatabaseKind::SQLite);
    const QDate today = QDate::currentDate();
    const QString table = TelemetryTableName(today);
    c.execute(ddl::createTelemetryTableSql(DatabaseKind::SQLite, table, ddl::Generation::Newer));
    db::BulkWriter writer(c, QStringLiteral("INSERT INTO %1 VALUES(?,?,?,?,?)").arg(table), 5);
    const QDateTime midnight(today, QTime(0, 0), Qt::UTC);
    for (int s = 0; s < kDaySamples; ++s) {
        const bool handSet = s % 600 == 0 || (s >= 14 * 3600 && s < 15 * 3600);
        const double value = std::round((100 + 40 * std::sin(s / 13750.0) + (s * 7919 % 1000) / 100.0) * 100) / 100;
        writer.addRow({midnight.addSecs(s), qint64(kTag), qint64(handSet ? 6 : 1), value, 0.01});
    }
    writer.finish();
}

// Notes the first paint of a widget after being armed.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QWidget* widget) { widget->installEventFilter(this); }
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

// Runs the event loop until every watch has seen a paint.
bool waitForPaints(std::initializer_list<PaintWatch*> watches)
{
    const QDeadlineTimer deadline(30000);
    const auto allPainted
        = [&] { return std::all_of(watches.begin(), watches.end(), [](auto* w) { return w->painted; }); };
    while (!allPainted() && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    return allPainted();
}

struct Figures {
    double select = 1e9; // best of the rounds, seconds
    double meanStep = 0; // of the last round
    double slowestStep = 0;
    bool ok = true;
};

// Selects the tag (after another view, so that it is read again) and moves
// the selection down the rows, each time until the list and, when on, the
// chart have painted.
Figures measure(CMainFrame& frame, bool chartOn)
{
    if (frame.action(cmd::ToggleTrendChart)->isChecked() != chartOn)
        frame.action(cmd::ToggleTrendChart)->trigger();
    CTesseraView& list = *frame.list();
    TrendChartView& chart = *frame.trendChart();
    PaintWatch listPaint(list.viewport());
    PaintWatch chartPaint(chart.viewport());
    Figures f;
    for (int round = 0; round < kRounds; ++round) {
        list.SwitchView(int(ViewMode::OperationEvents), false);
        QApplication::processEvents();
        listPaint.painted = chartPaint.painted = false;
        Stopwatch watch;
        list.SwitchView(kTag, true);
        f.ok = waitForPaints(chartOn ? std::initializer_list<PaintWatch*> {&listPaint, &chartPaint}
                                     : std::initializer_list<PaintWatch*> {&listPaint})
            && f.ok;
        f.select = std::min(f.select, watch.seconds());
        f.ok = f.ok && list.GetRows().rowCount() == kDaySamples
            && (!chartOn || chart.samples().size() == size_t(kDaySamples));
    }

    list.setFocus();
    list.selectRow(1000);
    QApplication::processEvents();
    double total = 0;
    for (int step = 0; step < kSteps; ++step) {
        listPaint.painted = chartPaint.painted = false;
        Stopwatch watch;
        QTest::keyClick(&list, Qt::Key_Down);
        f.ok = waitForPaints(chartOn ? std::initializer_list<PaintWatch*> {&listPaint, &chartPaint}
                                     : std::initializer_list<PaintWatch*> {&listPaint})
            && f.ok;
        const double seconds = watch.seconds();
        total += seconds;
        f.slowestStep = std::max(f.slowestStep, seconds);
    }
    f.meanStep = total / kSteps;
    f.ok = f.ok && list.GetSelectedRows() == std::vector<int> {1000 + kSteps};
    return f;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("archive.db"));
    writeArchive(path);

    CTesseraApp app;
    app.SetConfigurationPath(dir.filePath(QStringLiteral("DataSource.ini")));
    app.GetConnection() = db::Connection::open(QStringLiteral("Driver=SQLite3;Database=%1").arg(path));
    app.SetDatabaseKind(DatabaseKind::SQLite);
    CMainFrame frame;
    frame.resize(1280, 860);
    frame.show();
    if (!QTest::qWaitForWindowExposed(&frame))
        std::fprintf(stderr, "the main window was not shown\n");

    // The list alone first and last, the chart between: a warming cache favours neither.
    const Figures alone = measure(frame, false);
    const Figures withChart = measure(frame, true);
    const Figures aloneAgain = measure(frame, false);
    const double listAlone = std::min(alone.select, aloneAgain.select);

    std::printf("Telemetry trend chart, %d one-second samples of one tag of today (SQLite; milliseconds, lower is "
                "better)\n",
                kDaySamples);
    std::printf("  select the tag, list alone (read, fill, paint):     %8.1f ms\n", ms(listAlone));
    std::printf("  select the tag, list and chart until both painted:  %8.1f ms = %.2f of the list alone "
                "(goal: at most 1.5)\n",
                ms(withChart.select), withChart.select / listAlone);
    std::printf("  selection one row down, list alone:                 %8.1f ms a step, slowest %.1f ms\n",
                ms(std::min(alone.meanStep, aloneAgain.meanStep)),
                ms(std::min(alone.slowestStep, aloneAgain.slowestStep)));
    std::printf("  selection one row down, list and chart:             %8.1f ms a step, slowest %.1f ms "
                "(goal: under 50 ms)\n",
                ms(withChart.meanStep), ms(withChart.slowestStep));
    const bool ok = alone.ok && withChart.ok && aloneAgain.ok;
    if (!ok)
        std::printf("  (rows missing, or a paint did not come!)\n");
    return ok ? 0 : 1;
}
