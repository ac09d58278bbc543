// tessera-copy: the copy between database generations without a window, for
// servers without a desktop. Same procedures, same statuses as the dialog.
#include "app/Platform.h"
#include "copy/CopyRun.h"
#include "copy/CopySettings.h"
#include "copy/CopyTables.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDate>

#include <cstdio>
#include <map>

#include <unistd.h>

using namespace tessera;
using namespace tessera::copy;

namespace {

enum ExitCode { AllDone = 0, TableFailed = 1, Refused = 2 };

void printTo(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

// Prints each table's line when it ends and the messages on standard error;
// on a terminal a progress line is kept up to date there.
class ConsoleReport : public CopyReport {
public:
    void setCell(int row, CopyColumn column, const QString& text) override { m_cells[row][int(column)] = text; }

    void message(const QString& text, const QString&) override
    {
        clearProgress();
        printTo(stderr, text + QLatin1Char('\n'));
    }

    void progress(int done, int total, double fraction) override
    {
        if (!m_terminal || total == 0)
            return;
        const double percent = 100.0 * (done + fraction) / total;
        printTo(stderr, QString::asprintf("\r%d/%d 表  %5.1f%%", done, total, percent));
        m_progressShown = true;
    }

    void tableEnded(int row) override
    {
        clearProgress();
        const auto& cells = m_cells[row];
        const QString status = cells.count(int(CopyColumn::Status)) ? cells.at(int(CopyColumn::Status)) : QString();
        QString line = copyTableNames().at(row) + QLatin1Char('\t') + status;
        if (row < kCalendarDayRows)
            line += QLatin1Char('\t') + cells.at(int(CopyColumn::Count));
        printTo(stdout, line + QLatin1Char('\n'));
        m_statuses[row] = status;
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
    void clearProgress()
    {
        if (m_progressShown)
            printTo(stderr, QStringLiteral("\r\033[K"));
        m_progressShown = false;
    }

    bool m_terminal = isatty(fileno(stderr)) != 0;
    bool m_progressShown = false;
    std::map<int, std::map<int, QString>> m_cells;
    std::map<int, QString> m_statuses;
};

const char* kDescription =
    "Copies the event, summary and telemetry tables of an older-generation database into a\n"
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
    "Output: one line per table when it ends, in run order (Event first, Tag0101 last):\n"
    "name, status text and, for telemetry tables, the number of samples read, separated by\n"
    "tabs. Messages go to standard error, with a progress line when it is a terminal.\n"
    "\n"
    "Exit status: 0 when every chosen table ends \"处理成功完成\"; 1 when any table failed\n"
    "or the run was aborted; 2 for bad arguments, or when a data source cannot be found,\n"
    "classified or connected.";

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

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kDescription));
    parser.addHelpOption();
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
    parser.addOptions({targetDsn, targetUser, targetPassword, sourceDsn, sourceUser, sourcePassword, start, end,
                       range, tables});
    if (!parser.parse(app.arguments()))
        return refuse(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        printTo(stdout, parser.helpText());
        return AllDone;
    }
    if (!parser.positionalArguments().isEmpty())
        return refuse(QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first()));

    const auto from = parseDate(parser.value(start));
    const auto to = parseDate(parser.value(end));
    if (!from || !to)
        return refuse(QStringLiteral("--start and --end take a date YYYY-MM-DD"));
    // The dates carry no time of day, so one day (start equal to end) is a range too.
    if (*from > *to)
        return refuse(QStringLiteral("开始时间不能大于结束时间!"));
    if (parser.isSet(range) == parser.isSet(tables))
        return refuse(QStringLiteral("give either --range or --tables"));

    const QDateTime startMoment(*from, QTime(0, 0));
    const QDateTime endMoment(*to, QTime(0, 0));
    QStringList chosen;
    std::vector<int> rows;
    if (parser.isSet(range)) {
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
    if (rows.empty())
        return refuse(QStringLiteral("请选择要转换的表!"));
    for (int row : rows)
        chosen << copyTableNames().at(row);

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

    ConsoleReport report;
    CopyRun run(settings, startMoment, endMoment, report);
    if (!run.LookUpConnectionKinds() || !run.OpenCopyConnections())
        return Refused;
    run.copyTables(chosen);
    run.closeConnections();
    return report.allDone(rows) ? AllDone : TableFailed;
}
