// tessera-copy: the copy between database generations without a window, for
// servers without a desktop. Same procedures, same statuses as the dialog.
#include "platform/BuildVersion.h"
#include "platform/Platform.h"
#include "copy/CopyResume.h"
#include "copy/CopyRun.h"
#include "copy/CopySettings.h"
#include "copy/CopyTables.h"
#include "journal/Journal.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QCoreApplication>
#include <QDate>

#include <csignal>
#include <cstdio>
#include <map>
#include <optional>

#include <unistd.h>

using namespace tessera;
using namespace tessera::copy;

namespace {

enum ExitCode { AllDone = 0, TableFailed = 1, Refused = 2, Stopped = 3 };

// Set by Ctrl+C (SIGINT) or SIGTERM; the run asks for it before every table,
// before every delete and between rows. The handler does nothing else, and
// gives the signal its default back, so that a second one ends the program
// at once.
volatile std::sig_atomic_t g_stopSignal = 0;

extern "C" void requestStop(int signal)
{
    g_stopSignal = 1;
    std::signal(signal, SIG_DFL);
}

void printTo(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

// Prints each table's line when it ends and the messages on standard error;
// on a terminal, or with --progress, a progress line there too: tables done,
// percent, rows per second and the time left at that pace (once a second on
// its own line when standard error is not a terminal).
class ConsoleReport : public CopyReport {
public:
    explicit ConsoleReport(bool progressAsked) : m_showProgress(m_terminal || progressAsked) { m_clock.start(); }

    void setCell(int row, CopyColumn column, const QString& text) override
    {
        m_cells[row][int(column)] = text;
        if (column == CopyColumn::Count)
            m_rowsOfTable = text.toLongLong();
    }

    void message(const QString& text, const QString&) override
    {
        clearProgress();
        printTo(stderr, text + QLatin1Char('\n'));
    }

    void progress(int done, int total, double fraction) override
    {
        if (!m_showProgress || total == 0)
            return;
        if (!m_terminal) {
            if (m_sinceLine.isValid() && m_sinceLine.elapsed() < 1000)
                return;
            m_sinceLine.start();
        }
        const double share = (done + fraction) / total;
        const double seconds = std::max(m_clock.elapsed() / 1000.0, 0.001);
        QString line = QString::asprintf("%d/%d 表  %5.1f%%  %.0f 行/秒", done, total, 100.0 * share,
                                         double(m_rowsBefore + m_rowsOfTable) / seconds);
        if (share > 0.001) {
            const qint64 left = qint64(seconds * (1.0 - share) / share);
            line += QString::asprintf("  剩余 %lld:%02lld:%02lld", left / 3600, left / 60 % 60, left % 60);
        }
        printTo(stderr, m_terminal ? u'\r' + line + QStringLiteral("\033[K") : line + u'\n');
        m_progressShown = m_terminal;
    }

    bool stopRequested() override { return g_stopSignal != 0; }

    void tableEnded(int row) override
    {
        clearProgress();
        const QString status = cell(row, CopyColumn::Status);
        // A telemetry table that ended the run at its probe or delete has no count.
        printLine(row, status, cell(row, CopyColumn::Count));
        m_statuses[row] = status;
        m_rowsBefore += m_rowsOfTable;
        m_rowsOfTable = 0;
    }

    // The chosen tables the run never reached, so that every one has its line.
    void reportNotReached(const std::vector<int>& rows)
    {
        for (auto it = rows.rbegin(); it != rows.rend(); ++it)
            if (m_statuses.find(*it) == m_statuses.end())
                printLine(*it, kStatusNotReached, QString());
    }

    bool allDone(const std::vector<int>& rows) const
    {
        for (int row : rows) {
            const auto found = m_statuses.find(row);
            if (found == m_statuses.end() || found->second != kStatusDone)
                return false;
        }
        return true;
    }

private:
    QString cell(int row, CopyColumn column) const
    {
        const auto cells = m_cells.find(row);
        if (cells == m_cells.end())
            return QString();
        const auto found = cells->second.find(int(column));
        return found == cells->second.end() ? QString() : found->second;
    }

    void printLine(int row, const QString& status, const QString& count)
    {
        QString line = copyTableNames().at(row) + QLatin1Char('\t') + status;
        if (row < kCalendarDayRows)
            line += QLatin1Char('\t') + count;
        printTo(stdout, line + QLatin1Char('\n'));
    }

    void clearProgress()
    {
        if (m_progressShown)
            printTo(stderr, QStringLiteral("\r\033[K"));
        m_progressShown = false;
    }

    bool m_terminal = isatty(fileno(stderr)) != 0;
    bool m_showProgress;
    bool m_progressShown = false;
    QElapsedTimer m_clock;     // since the start, for the pace
    QElapsedTimer m_sinceLine; // since the last line, off a terminal
    qint64 m_rowsBefore = 0;   // rows of the tables ended
    qint64 m_rowsOfTable = 0;  // rows of the table being copied
    std::map<int, std::map<int, QString>> m_cells;
    std::map<int, QString> m_statuses;
};

const char* kDescription
    = "Copies the event, summary and telemetry tables of an older-generation database into a\n"
      "newer-generation one, as the copy dialog does, without a window.\n"
      "\n"
      "The data sources are ODBC data-source names. Without the data-source options both are\n"
      "taken from the sections HOSTSOURCE (target) and DESTSOURCE (source) of DataSource.ini;\n"
      "options given override the file's values one by one.\n"
      "\n"
      "Tables: --range chooses them as the dialog's range check box does (start and end in\n"
      "different years: every table; in the same year: the calendar-day tables from the start\n"
      "date to the end date). --tables names them, e.g. Event,SOE,Tag0305.\n"
      "Event and summary tables: the target's rows with ADate in the range are replaced by the\n"
      "source's rows of the range. Calendar-day table TagMMDD: for every year of the range the\n"
      "day's samples replace those of the target's table TAGyyyyMMDD; years whose table the\n"
      "target lacks are skipped.\n"
      "\n"
      "Every run is recorded in the operation journal beside DataSource.ini (OperationJournal.sqlite);\n"
      "a journal that cannot be opened or written stops the run before anything is copied.\n"
      "\n"
      "Each range (an event table's, or a telemetry day of one year) is replaced as one\n"
      "unit: it completes, or the target keeps what it held before. A MySQL or MariaDB table\n"
      "without transactions (MyISAM) cannot roll back; there the source is read before\n"
      "anything is deleted, and no row is written twice.\n"
      "\n"
      "Output: one line per chosen table, in run order (Event first, Tag0101 last): name,\n"
      "status text and, for telemetry tables, the number of samples read (empty when the\n"
      "table ended the run before it was counted), separated by tabs. A table the run never\n"
      "reached says \"未处理\". Messages go to standard error, with a progress line when it\n"
      "is a terminal or --progress is given: tables done, percent, rows per second and the\n"
      "time left at that pace.\n"
      "\n"
      "Ctrl+C (SIGINT) or SIGTERM stops the run: the unit being copied is undone, its table\n"
      "marked \"处理失败\", and no further table is touched. A second signal ends the program\n"
      "at once.\n"
      "\n"
      "--jobs N copies N tables at once (telemetry days or event tables), each on a connection\n"
      "pair of its own, into a server; the lines and messages still come in run order. Ctrl+C\n"
      "then undoes the unit of every table being copied.\n"
      "\n"
      "--resume continues the last run with the same data sources and range, stopped, failed\n"
      "or killed: it copies again only its tables that did not end \"处理成功完成\"; each\n"
      "table's unit is undone or complete, so the target ends as after one whole run.\n"
      "\n"
      "Exit status: 0 when every chosen table ends \"处理成功完成\"; 1 when any table failed\n"
      "or the run was aborted (a lost connection among them); 2 for bad arguments, or when a\n"
      "data source cannot be found, classified or connected; 3 when the run was stopped by\n"
      "Ctrl+C (SIGINT) or SIGTERM.";

std::optional<QDate> parseDate(const QString& text)
{
    const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    return date.isValid() ? std::optional<QDate>(date) : std::nullopt;
}

int refuse(const QString& text)
{
    printTo(stderr, QStringLiteral("tessera-copy: ") + text + QStringLiteral("\n(--help explains the options)\n"));
    return Refused;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ensureUtf8CType();
    QCoreApplication::setApplicationName(QStringLiteral("tessera-copy"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TESSERA_VERSION_TEXT));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kDescription));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption targetDsn(QStringLiteral("target-dsn"), QStringLiteral("Data source of the newer-generation database the rows go to."), QStringLiteral("NAME"));
    const QCommandLineOption targetUser(QStringLiteral("target-user"), QStringLiteral("User of the target."), QStringLiteral("U"));
    const QCommandLineOption targetPassword(QStringLiteral("target-password"), QStringLiteral("Password of the target."), QStringLiteral("P"));
    const QCommandLineOption sourceDsn(QStringLiteral("source-dsn"), QStringLiteral("Data source of the older-generation database the rows come from."), QStringLiteral("NAME"));
    const QCommandLineOption sourceUser(QStringLiteral("source-user"), QStringLiteral("User of the source."), QStringLiteral("U"));
    const QCommandLineOption sourcePassword(QStringLiteral("source-password"), QStringLiteral("Password of the source."), QStringLiteral("P"));
    const QCommandLineOption start(QStringLiteral("start"), QStringLiteral("First day of the range."), QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption end(QStringLiteral("end"), QStringLiteral("Last day of the range (not before the first)."), QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption range(QStringLiteral("range"), QStringLiteral("Choose the tables by the range, as the dialog's check box does."));
    const QCommandLineOption tables(QStringLiteral("tables"), QStringLiteral("Comma-separated table names: Event, SDaySummary, RSSummary, RSChange, LimitAlarm, Fault, SOE, Tag0101 .. Tag1231."), QStringLiteral("NAME[,NAME...]"));
    const QCommandLineOption reason(QStringLiteral("reason"), QStringLiteral("Why the copy runs, for the operation journal."), QStringLiteral("TEXT"));
    const QCommandLineOption resume(QStringLiteral("resume"), QStringLiteral("Continue the last copy of the same data sources and range: only its tables that did not end \"处理成功完成\" (instead of --range or --tables)."));
    const QCommandLineOption progress(QStringLiteral("progress"), QStringLiteral("Show the progress line (tables, percent, rows per second, time left) also when standard error is not a terminal."));
    const QCommandLineOption jobs(QStringLiteral("jobs"),
        QStringLiteral("Tables copied at once, each on a connection pair of its own (1 to 16; a SQLite or Access "
                       "target always takes one). Default 1."),
        QStringLiteral("N"), QStringLiteral("1"));
    parser.addOptions({targetDsn, targetUser, targetPassword, sourceDsn, sourceUser, sourcePassword, start, end, range,
        tables, reason, progress, resume, jobs});
    if (!parser.parse(app.arguments()))
        return refuse(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        printTo(stdout, parser.helpText());
        return AllDone;
    }
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion(); // exits
    if (!parser.positionalArguments().isEmpty())
        return refuse(QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first()));

    bool jobsIsNumber = false;
    const int jobCount = parser.value(jobs).toInt(&jobsIsNumber);
    if (!jobsIsNumber || jobCount < 1 || jobCount > kMaxCopyJobs)
        return refuse(QStringLiteral("--jobs takes a number from 1 to %1").arg(kMaxCopyJobs));

    const auto from = parseDate(parser.value(start));
    const auto to = parseDate(parser.value(end));
    if (!from || !to)
        return refuse(QStringLiteral("--start and --end take a date YYYY-MM-DD"));
    // The dates carry no time of day, so one day (start equal to end) is a range too.
    if (*from > *to)
        return refuse(QStringLiteral("开始时间不能大于结束时间!"));
    if (int(parser.isSet(range)) + int(parser.isSet(tables)) + int(parser.isSet(resume)) != 1)
        return refuse(QStringLiteral("give one of --range, --tables and --resume"));

    // Wall-clock days: a local midnight may not exist on a daylight-saving day.
    const QDateTime startMoment(*from, QTime(0, 0), Qt::UTC);
    const QDateTime endMoment(*to, QTime(0, 0), Qt::UTC);
    QStringList chosen;
    std::vector<int> rows;
    if (parser.isSet(resume)) {
        // The tables come from the journal, once the data sources are known.
    } else if (parser.isSet(range)) {
        const auto ticked = MarkTablesForRange(true, startMoment, endMoment);
        for (int row = 0; row < kCopyTableRows; ++row)
            if ((*ticked)[size_t(row)])
                rows.push_back(row);
    } else {
        for (const QString& name : parser.value(tables).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const int row = copyTableRow(name.trimmed());
            if (row < 0)
                return refuse(QStringLiteral("no such table: %1").arg(name.trimmed()));
            if (std::find(rows.begin(), rows.end(), row) == rows.end())
                rows.push_back(row);
        }
        std::sort(rows.begin(), rows.end());
    }
    if (rows.empty() && !parser.isSet(resume))
        return refuse(QStringLiteral("请选择要转换的表!"));

    CopySettings settings;
    LoadCopySettings(configurationFilePath(), settings);
    auto override = [&](const QCommandLineOption& option, QString& field) {
        if (parser.isSet(option))
            field = parser.value(option);
    };
    override(targetDsn, settings.target.dsn);
    override(targetUser, settings.target.user);
    override(targetPassword, settings.target.password);
    override(sourceDsn, settings.source.dsn);
    override(sourceUser, settings.source.user);
    override(sourcePassword, settings.source.password);
    if (settings.target.dsn.isEmpty() || settings.source.dsn.isEmpty())
        return refuse(QStringLiteral("no data sources: give --target-dsn and --source-dsn, or set HOSTSOURCE and "
                                     "DESTSOURCE in %1")
                          .arg(configurationFilePath()));

    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    // The run goes into the journal beside DataSource.ini, as the program's do.
    std::optional<journal::Journal> journal;
    try {
        journal.emplace(journal::Journal::open(journal::defaultJournalPath()));
    } catch (const journal::JournalError& error) {
        printTo(stderr, QStringLiteral("tessera-copy: %1\n").arg(error.message()));
        return Refused;
    }
    if (parser.isSet(resume)) {
        const std::optional<QStringList> left = tablesToResume(*journal, settings, startMoment, endMoment);
        if (!left)
            return refuse(QStringLiteral("没有可以继续的复制:操作日志中没有从%1到%2、范围相同的复制")
                              .arg(settings.source.dsn, settings.target.dsn));
        if (left->isEmpty()) {
            printTo(stderr, QStringLiteral("上次复制的表都已处理成功完成。\n"));
            return AllDone;
        }
        for (const QString& name : *left)
            rows.push_back(copyTableRow(name));
        std::sort(rows.begin(), rows.end());
    }
    for (int row : rows)
        chosen << copyTableNames().at(row);
    ConsoleReport report(parser.isSet(progress));
    CopyRun run(settings, startMoment, endMoment, report);
    journal::EntryDraft who;
    who.reason = parser.value(reason);
    run.SetJournal(&*journal, who);
    run.SetJobs(jobCount);
    if (!run.LookUpConnectionKinds() || !run.OpenCopyConnections())
        return Refused;
    run.CopyTables(chosen);
    run.CloseConnections();
    report.reportNotReached(rows);
    if (run.Stopped())
        return Stopped;
    return report.allDone(rows) ? AllDone : TableFailed;
}
