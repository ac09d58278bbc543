// Filling the record list: a day of one-second telemetry samples (86,400
// rows) put at the top one by one, into the model alone and into a shown
// table view until it has painted; then a million rows with the process's
// peak memory. The reference is reading the same rows as text through the
// ODBC layer from SQLite, measured in the same run.
#include "BenchSupport.h"

#include "db/BulkWriter.h"
#include "db/Connection.h"
#include "db/ResultSet.h"
#include "SchemaDdl.h"
#include "app/CTesseraApp.h"
#include "schema/TableNames.h"
#include "ui/CTesseraView.h"
#include "ui/CommandHost.h"
#include "ui/ListExport.h"
#include "ui/RecordListModel.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <memory>

using namespace tessera;
using namespace tessera::bench;

namespace {

const QStringList kColumns{QStringLiteral("ATime"), QStringLiteral("TagID"), QStringLiteral("DataType"),
                           QStringLiteral("nValue"), QStringLiteral("nValueChange")};

// The texts of the sample rows, made once so that the fills measure the
// list and not the formatting of numbers.
struct Samples {
    std::vector<QString> times;
    std::vector<QString> values;
    QString tag = QStringLiteral("17");
    QString kind = QStringLiteral("遥测");
    QString change = QStringLiteral("0.01");

    Samples()
    {
        const QDateTime midnight(QDate(2026, 12, 6), QTime(0, 0), Qt::UTC);
        for (int s = 0; s < 86400; ++s)
            times.push_back(midnight.addSecs(s).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
        for (int v = 0; v < 1000; ++v)
            values.push_back(QString::number(v * 0.37 + 10, 'f', 2));
    }
    QStringList row(int i) const { return {times[size_t(i % 86400)], tag, kind, values[size_t(i % 1000)], change}; }
};

// VmHWM or VmRSS of this process, in MB.
double memoryMb(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

// Fills as the list does: the rows come newest first, each goes to the top.
double fillAtTop(RecordListModel& model, const Samples& samples, int rows)
{
    Stopwatch watch;
    RecordListModel::TopFill fill(model);
    for (int i = rows - 1; i >= 0; --i)
        fill.add(samples.row(i));
    return watch.seconds();
}

// The same without batching: one insertRow(0) and one signal per row.
double insertEachAtTop(RecordListModel& model, const Samples& samples, int rows)
{
    Stopwatch watch;
    for (int i = rows - 1; i >= 0; --i)
        model.insertRow(0, samples.row(i));
    return watch.seconds();
}

// Notes the view's first paint after being armed.
class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

double fillShownView(const Samples& samples, int rows, bool& ok)
{
    RecordListModel model;
    model.setColumns(kColumns);
    QTableView view;
    view.setModel(&model);
    view.resize(1000, 700);
    view.show();
    ok = QTest::qWaitForWindowExposed(&view);
    PaintWatch watch;
    view.viewport()->installEventFilter(&watch);
    QApplication::processEvents();
    watch.painted = false;

    Stopwatch stopwatch;
    fillAtTop(model, samples, rows);
    const QDeadlineTimer deadline(30000);
    while (!watch.painted && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    const double seconds = stopwatch.seconds();
    ok = ok && watch.painted && model.cell(0, 0) == samples.times[0];
    return seconds;
}

void writeRows(const QString& path, const Samples& samples, int rows)
{
    db::Connection c = db::Connection::open(QStringLiteral("Driver=SQLite3;Database=%1").arg(path));
    c.execute(QStringLiteral("CREATE TABLE Tag20261206(ATime TEXT, TagID INTEGER, DataType TEXT, "
                             "nValue TEXT, nValueChange TEXT)"));
    db::BulkWriter writer(c, QStringLiteral("INSERT INTO Tag20261206 VALUES(?,?,?,?,?)"), 5);
    for (int i = 0; i < rows; ++i) {
        const QStringList r = samples.row(i);
        writer.addRow({r[0], qint64(17), r[2], r[3], r[4]});
    }
    const auto summary = writer.finish();
    if (summary.written != rows)
        std::fprintf(stderr, "wrote %lld of %d rows\n", static_cast<long long>(summary.written), rows);
}

double readAsText(const QString& path, int expected)
{
    db::Connection c = db::Connection::open(QStringLiteral("Driver=SQLite3;Database=%1").arg(path));
    Stopwatch watch;
    auto rs = c.query(QStringLiteral("SELECT * FROM Tag20261206 ORDER BY ATime DESC"));
    qint64 rows = 0, characters = 0;
    while (rs.next()) {
        for (int col = 0; col < 5; ++col)
            characters += rs.string(col).size();
        ++rows;
    }
    const double seconds = watch.seconds();
    if (rows != expected || characters == 0)
        std::fprintf(stderr, "read %lld of %d rows\n", static_cast<long long>(rows), expected);
    return seconds;
}

class NoMenus : public CommandHost {
public:
    int commandGroup() const override { return 5; }
    void setCommandGroup(int) override { }
    void popUpMenu(ContextMenu, const QPoint&) override { }
};

// The real thing: today's telemetry table with a day of one-second samples of
// one tag, shown by the record list itself (read, format, fill, paint),
// beside a plain read of the same statement through the ODBC layer.
void endToEnd(const QString& path)
{
    const QString table = TelemetryTableName(QDate::currentDate());
    {
        db::Connection c = db::Connection::open(QStringLiteral("Driver=SQLite3;Database=%1").arg(path));
        c.execute(ddl::createTelemetryTableSql(DatabaseKind::SQLite, table, ddl::Generation::Newer));
        db::BulkWriter writer(c, QStringLiteral("INSERT INTO %1 VALUES(?,?,?,?,?)").arg(table), 5);
        const QDateTime midnight(QDate::currentDate(), QTime(0, 0), Qt::UTC);
        for (int i = 0; i < 86400; ++i)
            writer.addRow({midnight.addSecs(i), qint64(17), qint64(1), 10 + (i % 1000) * 0.37, 0.01});
        writer.finish();
    }
    CTesseraApp app;
    app.GetConnection() = db::Connection::open(QStringLiteral("Driver=SQLite3;Database=%1").arg(path));
    app.SetDatabaseKind(DatabaseKind::SQLite);

    Stopwatch readWatch;
    qint64 rows = 0;
    {
        auto rs = app.GetConnection().query(QStringLiteral("SELECT * FROM %1 WHERE (TagID=17) ORDER BY ATime DESC").arg(table));
        while (rs.next()) {
            for (int col = 0; col < 5; ++col)
                rs.string(col);
            ++rows;
        }
    }
    const double read = readWatch.seconds();

    NoMenus host;
    CTesseraView view(host);
    view.resize(1000, 700);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view))
        std::fprintf(stderr, "the list was not shown\n");
    PaintWatch paint;
    view.viewport()->installEventFilter(&paint);
    QApplication::processEvents();
    paint.painted = false;
    Stopwatch listWatch;
    view.SwitchView(17, true);
    const QDeadlineTimer deadline(30000);
    while (!paint.painted && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    const double list = listWatch.seconds();

    std::printf("\n  the record list itself, %lld samples of one tag of today (SQLite):\n", static_cast<long long>(rows));
    std::printf("  plain read through ODBC:                     %8.1f ms\n", ms(read));
    std::printf("  list shows them (read, format, fill, paint): %8.1f ms; the list adds %.1f ms = %.2f of the read "
                "(goal: at most 0.5)%s\n",
                ms(list), ms(list - read), (list - read) / read, view.GetRows().rowCount() == rows ? "" : "  (rows missing!)");
}


// 导出 of a million rows sorted by value, as the command writes them,
// beside the sqlite3 shell writing the same rows as CSV.
void exportMillion(const QString& folder, const QString& millionDb, const Samples& samples, int rows)
{
    NoMenus host;
    CTesseraView view(host);
    view.GetRows().setColumns(kColumns);
    fillAtTop(view.GetRows(), samples, rows);
    view.SortByColumn(3);

    Stopwatch ours;
    QSaveFile file(folder + QStringLiteral("/list.csv"));
    const bool written = file.open(QIODevice::WriteOnly) && writeCsv(file, shownTable(view)) == CsvResult::Written
        && file.commit();
    const double oursSeconds = ours.seconds();

    Stopwatch shell;
    QProcess sqlite;
    sqlite.setStandardOutputFile(folder + QStringLiteral("/shell.csv"));
    sqlite.start(QStringLiteral("sqlite3"), {QStringLiteral("-csv"), QStringLiteral("-header"), millionDb,
                                             QStringLiteral("SELECT * FROM Tag20261206 ORDER BY nValue")});
    const bool shellRan = sqlite.waitForFinished(120000) && sqlite.exitCode() == 0;
    const double shellSeconds = shell.seconds();

    std::printf("\n  export %d sorted rows to CSV (UTF-8, BOM):\n", rows);
    printRate("the list's 导出", rows, rows / oursSeconds);
    if (shellRan)
        printRate("sqlite3 -csv of the same rows", rows, rows / shellSeconds);
    std::printf("  goal: at least 500000 rows/s%s\n", written ? "" : "  (the file was not written!)");
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const Samples samples;
    const int day = 86400;
    const int million = 1000000;

    std::printf("Record list fill (milliseconds, lower is better)\n");
    const QString dayDb = dir.filePath(QStringLiteral("day.db"));
    writeRows(dayDb, samples, day);
    const double dayRead = readAsText(dayDb, day);

    double dayModel = 0, dayEach = 0;
    {
        RecordListModel model;
        model.setColumns(kColumns);
        dayModel = fillAtTop(model, samples, day);
    }
    {
        RecordListModel model;
        model.setColumns(kColumns);
        dayEach = insertEachAtTop(model, samples, day);
    }
    bool viewOk = false;
    const double dayView = fillShownView(samples, day, viewOk);

    std::printf("  read %d rows through ODBC (SQLite):       %8.1f ms\n", day, ms(dayRead));
    std::printf("  fill model, batched top inserts:             %8.1f ms\n", ms(dayModel));
    std::printf("  fill model, one insertRow(0) per row:        %8.1f ms\n", ms(dayEach));
    std::printf("  fill shown table view until painted:         %8.1f ms%s\n", ms(dayView),
                viewOk ? "" : "  (view did not paint the rows!)");
    std::printf("  fill list / read: %.2f (goal: at most 0.5)\n", dayView / dayRead);
    endToEnd(dir.filePath(QStringLiteral("today.db")));

    const double rssBefore = memoryMb("VmRSS");
    double millionModel = 0, rssFilled = 0, peak = 0;
    {
        RecordListModel model;
        model.setColumns(kColumns);
        millionModel = fillAtTop(model, samples, million);
        rssFilled = memoryMb("VmRSS");
        peak = memoryMb("VmHWM");
    }
    const QString millionDb = dir.filePath(QStringLiteral("million.db"));
    writeRows(millionDb, samples, million);
    const double millionRead = readAsText(millionDb, million);

    std::printf("\n  read %d rows through ODBC (SQLite):      %8.1f ms\n", million, ms(millionRead));
    std::printf("  fill model, batched top inserts:             %8.1f ms\n", ms(millionModel));
    std::printf("  fill model / read: %.2f (goal: at most 0.5)\n", millionModel / millionRead);
    std::printf("  memory: %.0f MB resident before, %.0f MB with the rows (%.0f MB for the rows), "
                "peak %.0f MB (goal: well under 500 MB)\n",
                rssBefore, rssFilled, rssFilled - rssBefore, peak);
    exportMillion(dir.path(), millionDb, samples, million);
    return viewOk ? 0 : 1;
}
