// The data check on SQLite through ODBC: a station of 100 tags, one day at
// one-second samples (8,640,000 samples), scanned with every rule, beside
// the same SELECT of the day table read alone. Each step runs in a process
// of its own, so that its peak memory is its own. Then the worklist of
// 100,000 findings opened and sorted, beside the same cells in Qt's own
// item model sorted through a proxy.
#include "BenchSupport.h"

#include "SchemaDdl.h"

#include "check/CheckScan.h"
#include "check/ui/CheckResultsWindow.h"
#include "db/Connection.h"
#include "db/ResultSet.h"
#include "dialect/DriverOptions.h"
#include "schema/TableNames.h"
#include "telemetry/TelemetryTexts.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

using namespace tessera;
using namespace tessera::bench;
using namespace tessera::check;
using tessera::CheckResultsModel;
using tessera::CheckResultsWindow;

namespace {

const QDate kDay(2026, 1, 2);
constexpr int kTags = 100;

std::vector<ScanTag> stationTags()
{
    std::vector<ScanTag> tags;
    for (int t = 1; t <= kTags; ++t)
        tags.push_back({t, QStringLiteral("站 / 开关 / 测点%1").arg(t), false});
    return tags;
}

db::Connection openDay(const QString& folder)
{
    return db::Connection::open(QStringLiteral("Driver=SQLite3;Database=%1;%2")
                                    .arg(folder + QStringLiteral("/day.db"),
                                         driverOptionsFor(DatabaseKind::SQLite, ConnectionRole::Scan)));
}

// Every tag's samples second by second, the tags of one second together as
// the SCADA writes them: a slow wave with noise, and a few defects.
void fill(db::Connection& c)
{
    const QString table = TelemetryTableName(kDay);
    c.execute(ddl::dropTableSql(table));
    c.execute(ddl::createTelemetryTableSql(DatabaseKind::SQLite, table, ddl::Generation::Newer));
    c.execute(QStringLiteral("INSERT INTO %1(ATime,TagID,DataType,nValue,nValueChange) "
                             "WITH RECURSIVE s(i) AS (SELECT 0 UNION ALL SELECT i+1 FROM s WHERE i<86399), "
                             "t(id) AS (SELECT 1 UNION ALL SELECT id+1 FROM t WHERE id<%2) "
                             "SELECT strftime('%Y-%m-%d %H:%M:%S','%3','+'||i||' seconds'), t.id, 1, "
                             "100 + t.id + ((i + t.id * 97) % 7200) * 0.01 + (abs(random()) % 100) * 0.001 "
                             "+ CASE WHEN i % 10007 = t.id THEN 50 ELSE 0 END, 0 FROM s, t "
                             "WHERE NOT (t.id % 10 = 0 AND i BETWEEN 40000 AND 40100)")
                  .arg(table)
                  .arg(kTags)
                  .arg(kDay.toString(Qt::ISODate)));
}

// The scan's own SELECT, each row's cells taken as the scan takes them.
qint64 readAlone(db::Connection& c)
{
    db::ResultSet rs = c.query(daySelectSql(TelemetryTableName(kDay), stationTags()));
    rs.readFloatsAsNumbers();
    qint64 rows = 0;
    double sum = 0;
    while (rs.next()) {
        sum += rs.string(0).size() + rs.string(1).size() + rs.number(2).value;
        ++rows;
    }
    return sum > 0 ? rows : 0;
}

// 100,000 findings of a month of a station, in no useful order.
std::vector<Finding> manyFindings()
{
    std::vector<Finding> findings;
    for (int i = 0; i < 100000; ++i) {
        const int tag = (i * 7919) % kTags + 1;
        findings.push_back({tag, QStringLiteral("城北变电站 / 10kV线路%1 / 测点%2").arg(tag % 10).arg(tag),
                            QDate(2026, 1, 1).addDays(i % 31), RuleId((i * 31) % 5), (i * 3797) % kMsecsPerDay,
                            (i * 3797) % kMsecsPerDay + 60000, QStringLiteral("%1").arg(i * 0.37, 0, 'f', 2),
                            (i * 13) % 997});
    }
    return findings;
}

// Seconds until the table has painted what it shows.
double painted(QTableView& table, const std::function<void()>& change)
{
    Stopwatch watch;
    change();
    table.viewport()->repaint();
    QApplication::processEvents();
    return watch.seconds();
}

// open, sort by tag, sort by count: ours, then the reference.
int worklistStep(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::vector<Finding> findings = manyFindings();
    CheckResultsWindow window;
    window.show();
    const double open = painted(*window.table(), [&] { window.setFindings(findings, QStringLiteral("城北变电站")); });
    const double byTag = painted(*window.table(), [&] { window.table()->sortByColumn(0, Qt::AscendingOrder); });
    const double byCount = painted(*window.table(), [&] { window.table()->sortByColumn(6, Qt::DescendingOrder); });

    QStandardItemModel items(0, CheckResultsModel::ColumnCount);
    QSortFilterProxyModel proxy;
    QTableView table;
    table.setModel(&proxy);
    table.show();
    const double referenceOpen = painted(table, [&] {
        for (const Finding& f : findings) {
            QList<QStandardItem*> row;
            for (int c = 0; c < CheckResultsModel::ColumnCount; ++c)
                row << new QStandardItem(CheckResultsModel::cellText(f, c));
            items.appendRow(row);
        }
        proxy.setSourceModel(&items);
    });
    const double referenceByTag = painted(table, [&] { proxy.sort(0, Qt::AscendingOrder); });
    const double referenceByCount = painted(table, [&] { proxy.sort(6, Qt::DescendingOrder); });
    std::printf("%.3f %.3f %.3f %.3f %.3f %.3f\n", open, byTag, byCount, referenceOpen, referenceByTag,
                referenceByCount);
    return 0;
}

int step(const QString& name, const QString& folder)
{
    db::Connection c = openDay(folder);
    Stopwatch watch;
    if (name == QLatin1String("fill")) {
        fill(c);
        std::printf("%.3f %.0f 0 0\n", watch.seconds(), peakMb());
    } else if (name == QLatin1String("read")) {
        const qint64 rows = readAlone(c);
        std::printf("%.3f %.0f %lld 0\n", watch.seconds(), peakMb(), static_cast<long long>(rows));
    } else {
        ScanObserver quiet;
        const ScanResult result = scanArchive(c, DatabaseKind::SQLite, {stationTags(), kDay, kDay}, quiet);
        std::printf("%.3f %.0f %lld %zu\n", watch.seconds(), peakMb(), static_cast<long long>(result.rows),
                    result.findings.size());
    }
    return 0;
}

// seconds, peak MB, rows, findings of a step run in a child process.
QStringList runStep(const QString& name, const QString& folder)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--step"), name, folder});
    child.waitForFinished(-1);
    return QString::fromUtf8(child.readAllStandardOutput()).split(u' ');
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && QByteArray(argv[1]) == "--worklist")
        return worklistStep(argc, argv);
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--step"))
        return step(args[2], args[3]);

    QTemporaryDir dir;
    const QStringList filled = runStep(QStringLiteral("fill"), dir.path());
    std::printf("A station of %d tags, one day at one-second samples, on SQLite (filled in %.1f s)\n", kTags,
                filled.value(0).toDouble());
    // Reading first and last, the scan between: a warming cache favours neither.
    const QStringList read = runStep(QStringLiteral("read"), dir.path());
    const QStringList scan = runStep(QStringLiteral("scan"), dir.path());
    const QStringList readAgain = runStep(QStringLiteral("read"), dir.path());
    const double readSeconds = std::min(read.value(0).toDouble(), readAgain.value(0).toDouble());
    const double scanSeconds = scan.value(0).toDouble();
    const long long rows = scan.value(2).toLongLong();
    printRate("the day table's SELECT read alone", read.value(2).toLongLong(), read.value(2).toDouble() / readSeconds);
    printRate("the scan, every rule", rows, rows / scanSeconds);
    std::printf("  scan: %.2f s, %.0f %% of the reading's rate (goal: at least 70 %%), %lld findings\n", scanSeconds,
                100.0 * readSeconds / scanSeconds, scan.value(3).toLongLong());
    std::printf("  peak memory: scan %.0f MB (goal: under 200 MB), reading alone %.0f MB\n", scan.value(1).toDouble(),
                read.value(1).toDouble());

    QProcess worklist;
    worklist.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--worklist")});
    worklist.waitForFinished(-1);
    const QStringList w = QString::fromUtf8(worklist.readAllStandardOutput()).split(u' ');
    std::printf("The worklist of 100,000 findings, until painted (goal: each under 1 s)\n");
    std::printf("  %-34s %8.3f s   reference (QStandardItemModel) %8.3f s\n", "open", w.value(0).toDouble(),
                w.value(3).toDouble());
    std::printf("  %-34s %8.3f s   reference (QSortFilterProxyModel) %5.3f s\n", "sort by tag", w.value(1).toDouble(),
                w.value(4).toDouble());
    std::printf("  %-34s %8.3f s   reference (QSortFilterProxyModel) %5.3f s\n", "sort by count, descending",
                w.value(2).toDouble(), w.value(5).toDouble());
    return 0;
}
