#include "copy/CopyCommandLine.h"

#include "copy/CopyPasswords.h"
#include "copy/CopyRun.h"
#include "copy/CopyTables.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace tessera::copy {

namespace {

const char* kDescription
    = "Copies the event, summary and telemetry tables of an older-generation database into a\n"
      "newer-generation one, as the copy dialog does, without a window.\n"
      "\n"
      "The data sources are ODBC data-source names. Without the data-source options both are\n"
      "taken from the sections HOSTSOURCE (target) and DESTSOURCE (source) of DataSource.ini;\n"
      "options given override the file's values one by one.\n"
      "\n"
      "Passwords: given as --target-password and --source-password they are visible to every\n"
      "user of the machine (process list) and kept in shell histories. Prefer the environment\n"
      "variables TESSERA_TARGET_PASSWORD and TESSERA_SOURCE_PASSWORD, or --password-file FILE\n"
      "with the lines target=PASSWORD and source=PASSWORD, readable by its owner only (a file\n"
      "others may read is refused). Each source overrides the one before it: DataSource.ini,\n"
      "the variables, the file, the options.\n"
      "\n"
      "Tables: --range chooses them as the dialog's range check box does (start and end in\n"
      "different years: every table; in the same year: the calendar-day tables from the start\n"
      "date to the end date). --tables names them, e.g. Event,SOE,Tag0305.\n"
      "Event and summary tables: the target's rows with ADate in the range are replaced by the\n"
      "source's rows of the range. Calendar-day table TagMMDD: each day MM-DD that lies in the\n"
      "range, in whichever of its years, replaces the samples of the target's table TagyyyyMMDD;\n"
      "years whose table the target lacks are skipped. No row of the target outside the range is\n"
      "touched: a calendar-day table none of whose days lies in the range says \"不在复制范围内\".\n"
      "The day after the end bounds the range, so the end may be 9999-12-30 at the latest.\n"
      "\n"
      "Only one copy writes into a target at a time: a run holds the target database's own lock\n"
      "(PostgreSQL advisory lock, MySQL/MariaDB GET_LOCK, SQL Server sp_getapplock, Oracle\n"
      "DBMS_LOCK; a lock file beside a SQLite or Access database file) and a second run, from\n"
      "this program or the dialog, is refused at once, naming the holder where the database tells.\n"
      "\n"
      "Every run is recorded in the operation journal beside DataSource.ini (OperationJournal.sqlite);\n"
      "a journal that cannot be opened or written stops the run before anything is copied.\n"
      "\n"
      "Each range (an event table's, or a telemetry day of one year) is replaced as one unit: it\n"
      "completes, or the target keeps what it held before. A MySQL or MariaDB table without\n"
      "transactions (MyISAM) and an Access database cannot roll back: there every source row of a\n"
      "unit is read and converted (spooled to a temporary file when large) before anything is\n"
      "deleted, a stop takes effect only between units, and no row is written twice; the one\n"
      "thing that leaves such a range partly written is the target's connection lost after its\n"
      "delete: copy that table again.\n"
      "\n"
      "Output: one line per chosen table, in run order (Event first, Tag0101 last): name,\n"
      "status text and, for telemetry tables, the number of samples read (empty when the\n"
      "table ended the run before it was counted), separated by tabs. A table the run never\n"
      "reached says \"未处理\". Messages go to standard error (of rows a target refuses, the first\n"
      "ten of a table and then their count), with a progress line when it is a terminal or\n"
      "--progress is given: tables done, percent, rows per second and the time left at that pace.\n"
      "\n"
      "Ctrl+C (SIGINT) or SIGTERM stops the run: the unit being copied is undone, its table\n"
      "marked \"处理失败\", and no further table is touched. A second signal ends the program\n"
      "at once. A source that stops answering (a connection dropped without a word) ends the\n"
      "run as a lost connection after twice the query time-out (30 s) without a row.\n"
      "\n"
      "--jobs N copies N tables at once (telemetry days or event tables), each on a connection\n"
      "pair of its own, into a server; the lines and messages still come in run order. Ctrl+C\n"
      "then undoes the unit of every table being copied.\n"
      "\n"
      "--resume continues the last run into the same target from the same source (the databases\n"
      "behind the data sources, not only their names) over the same range, stopped, failed or\n"
      "killed and not undone: it copies again only its tables that did not end \"处理成功完成\";\n"
      "each table's unit is undone or complete, so the target ends as after one whole run. It is\n"
      "refused while that run is still going.\n"
      "\n"
      "--verify compares instead of copying, and writes nothing: each unit of the copy (an event\n"
      "table's range, a telemetry day of one year) is read on both sides through the copy's own\n"
      "conversions and compared as the copy defines equality: reals at the precision of the\n"
      "target column (single precision for REAL) or within --tolerance, times to the second,\n"
      "rows as a multiset (a row twice counts twice). A first pass compares a count and a digest\n"
      "per minute of a day (per day of an event range); only the buckets that differ are read\n"
      "again and compared row by row. One line per table: TABLE<tab>一致, or\n"
      "TABLE<tab>不一致<tab>缺N 多M 异K (rows missing in the target, extra there, and of the same\n"
      "time and TagID, or the same key, with other values), or the table's failure as a copy says\n"
      "it. The first ten differing rows of a table go to standard error, source and target side\n"
      "by side; all of them to --diff-csv FILE. --repair copies again, as the copy does, only the\n"
      "units that differ, and compares them again. --verify-after verifies the tables a copy has\n"
      "just copied. Verify and repair runs are recorded in the operation journal too.\n"
      "\n"
      "Exit status: 0 when every chosen table ends \"处理成功完成\" (or \"不在复制范围内\"), or a\n"
      "verify finds them all equal; 1 when any table failed or the run was aborted (a lost\n"
      "connection among them); 2 for bad arguments, when a data source cannot be found,\n"
      "classified or connected, or when the run is refused (another copy writing the target, a\n"
      "range that cannot be copied, a journal that cannot take it); 3 when the run was stopped\n"
      "by Ctrl+C (SIGINT) or SIGTERM; 4 when a verify (or the verify after a repair or a copy)\n"
      "found differences.";

std::optional<QDate> parseDate(const QString& text)
{
    const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    return date.isValid() ? std::optional<QDate>(date) : std::nullopt;
}

ParsedCommandLine refusal(const QString& text)
{
    return {std::nullopt, QStringLiteral("tessera-copy: ") + text + QStringLiteral("\n(--help explains the options)\n"),
            Refused};
}

// The rows the tables of --range or --tables name; refused names in `error`.
std::vector<int> chosenRows(const CopyRequest& request, const QString& tableList, QString& error)
{
    std::vector<int> rows;
    if (request.choice == CopyRequest::Choice::Range) {
        const auto ticked = tablesTickedForRange(true, QDateTime(request.start, QTime(0, 0), Qt::UTC),
                                               QDateTime(request.end, QTime(0, 0), Qt::UTC));
        for (int row = 0; row < kCopyTableRows; ++row)
            if ((*ticked)[size_t(row)])
                rows.push_back(row);
        return rows;
    }
    for (const QString& name : tableList.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const int row = copyTableRow(name.trimmed());
        if (row < 0) {
            error = QStringLiteral("no such table: %1").arg(name.trimmed());
            return {};
        }
        if (std::find(rows.begin(), rows.end(), row) == rows.end())
            rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

struct Options {
    QCommandLineOption targetDsn{QStringLiteral("target-dsn"),
        QStringLiteral("Data source of the newer-generation database the rows go to."), QStringLiteral("NAME")};
    QCommandLineOption targetUser{QStringLiteral("target-user"), QStringLiteral("User of the target."),
        QStringLiteral("U")};
    QCommandLineOption targetPassword{QStringLiteral("target-password"),
        QStringLiteral("Password of the target (visible to other users: see above)."), QStringLiteral("P")};
    QCommandLineOption sourceDsn{QStringLiteral("source-dsn"),
        QStringLiteral("Data source of the older-generation database the rows come from."), QStringLiteral("NAME")};
    QCommandLineOption sourceUser{QStringLiteral("source-user"), QStringLiteral("User of the source."),
        QStringLiteral("U")};
    QCommandLineOption sourcePassword{QStringLiteral("source-password"),
        QStringLiteral("Password of the source (visible to other users: see above)."), QStringLiteral("P")};
    QCommandLineOption passwordFile{QStringLiteral("password-file"),
        QStringLiteral("File of lines target=PASSWORD and source=PASSWORD, readable by its owner only."),
        QStringLiteral("FILE")};
    QCommandLineOption start{QStringLiteral("start"), QStringLiteral("First day of the range."),
        QStringLiteral("YYYY-MM-DD")};
    QCommandLineOption end{QStringLiteral("end"),
        QStringLiteral("Last day of the range (not before the first, at the latest 9999-12-30)."),
        QStringLiteral("YYYY-MM-DD")};
    QCommandLineOption range{QStringLiteral("range"),
        QStringLiteral("Choose the tables by the range, as the dialog's check box does.")};
    QCommandLineOption tables{QStringLiteral("tables"),
        QStringLiteral("Comma-separated table names: Event, SDaySummary, RSSummary, RSChange, LimitAlarm, Fault, "
                       "SOE, Tag0101 .. Tag1231."),
        QStringLiteral("NAME[,NAME...]")};
    QCommandLineOption reason{QStringLiteral("reason"), QStringLiteral("Why the copy runs, for the operation journal."),
        QStringLiteral("TEXT")};
    QCommandLineOption resume{QStringLiteral("resume"),
        QStringLiteral("Continue the last copy of the same data sources and range: only its tables that did not end "
                       "\"处理成功完成\" (instead of --range or --tables).")};
    QCommandLineOption progress{QStringLiteral("progress"),
        QStringLiteral("Show the progress line (tables, percent, rows per second, time left) also when standard "
                       "error is not a terminal.")};
    QCommandLineOption verify{QStringLiteral("verify"),
        QStringLiteral("Compare the chosen tables of source and target instead of copying; write nothing.")};
    QCommandLineOption repair{QStringLiteral("repair"),
        QStringLiteral("Compare, copy again only the units that differ, and compare them again.")};
    QCommandLineOption verifyAfter{QStringLiteral("verify-after"),
        QStringLiteral("After the copy, verify the tables it copied.")};
    QCommandLineOption diffCsv{QStringLiteral("diff-csv"),
        QStringLiteral("Write every differing row a verify finds to this CSV file."), QStringLiteral("FILE")};
    QCommandLineOption tolerance{QStringLiteral("tolerance"),
        QStringLiteral("Reals closer than this are equal in a verify (default: equal at the target column's "
                       "precision)."),
        QStringLiteral("X")};
    QCommandLineOption verbose{QStringLiteral("verbose"),
        QStringLiteral("Write the log (Tessera.log beside DataSource.ini) to standard error too, with the database's "
                       "own messages.")};
    QCommandLineOption jobs{QStringLiteral("jobs"),
        QStringLiteral("Tables copied at once, each on a connection pair of its own (1 to 16; a SQLite or Access "
                       "target always takes one). Default 1."),
        QStringLiteral("N"), QStringLiteral("1")};

    void addTo(QCommandLineParser& parser) const
    {
        parser.addOptions({targetDsn, targetUser, targetPassword, sourceDsn, sourceUser, sourcePassword, passwordFile,
            start, end, range, tables, reason, progress, resume, jobs, verify, repair, verifyAfter, diffCsv,
            tolerance, verbose});
    }
};

// --verify, --repair, --verify-after, --diff-csv and --tolerance; why they
// do not go together, or empty.
QString takeVerifyOptions(const QCommandLineParser& parser, const Options& o, CopyRequest& request)
{
    if (parser.isSet(o.verify) && parser.isSet(o.repair))
        return QStringLiteral("give --verify or --repair, not both");
    request.mode = parser.isSet(o.verify) ? RunMode::Verify : parser.isSet(o.repair) ? RunMode::Repair : RunMode::Copy;
    request.verifyAfter = parser.isSet(o.verifyAfter);
    if (request.verifyAfter && request.mode != RunMode::Copy)
        return QStringLiteral("--verify-after goes with a copy, not with --verify or --repair");
    if (request.mode != RunMode::Copy && request.choice == CopyRequest::Choice::Resume)
        return QStringLiteral("--resume continues a copy; it does not go with --verify or --repair");
    request.differencesCsv = parser.value(o.diffCsv);
    if (parser.isSet(o.tolerance)) {
        bool number = false;
        request.tolerance = parser.value(o.tolerance).toDouble(&number);
        if (!number || request.tolerance < 0)
            return QStringLiteral("--tolerance takes a number not below 0");
    }
    return QString();
}

std::optional<QString> valueIfSet(const QCommandLineParser& parser, const QCommandLineOption& option)
{
    return parser.isSet(option) ? std::optional<QString>(parser.value(option)) : std::nullopt;
}

} // namespace

ParsedCommandLine parseCopyCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kDescription));
    parser.addHelpOption();
    parser.addVersionOption(); // the application's version, which main() sets
    const Options o;
    o.addTo(parser);
    if (!parser.parse(arguments))
        return refusal(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        return {std::nullopt, parser.helpText(), AllDone};
    if (parser.isSet(QStringLiteral("version")))
        return {std::nullopt, QCoreApplication::applicationName() + u' ' + QCoreApplication::applicationVersion() + u'\n',
                AllDone};
    if (!parser.positionalArguments().isEmpty())
        return refusal(QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first()));

    CopyRequest request;
    bool jobsIsNumber = false;
    request.jobs = parser.value(o.jobs).toInt(&jobsIsNumber);
    if (!jobsIsNumber || request.jobs < 1 || request.jobs > kMaxCopyJobs)
        return refusal(QStringLiteral("--jobs takes a number from 1 to %1").arg(kMaxCopyJobs));
    const auto from = parseDate(parser.value(o.start));
    const auto to = parseDate(parser.value(o.end));
    if (!from || !to)
        return refusal(QStringLiteral("--start and --end take a date YYYY-MM-DD"));
    // The dates carry no time of day, so one day (start equal to end) is a range too.
    if (const QString problem = copyRangeProblem(*from, *to); !problem.isEmpty())
        return refusal(problem);
    request.start = *from;
    request.end = *to;
    if (int(parser.isSet(o.range)) + int(parser.isSet(o.tables)) + int(parser.isSet(o.resume)) != 1)
        return refusal(QStringLiteral("give one of --range, --tables and --resume"));
    request.choice = parser.isSet(o.resume) ? CopyRequest::Choice::Resume
                     : parser.isSet(o.range) ? CopyRequest::Choice::Range
                                             : CopyRequest::Choice::Tables;
    if (request.choice != CopyRequest::Choice::Resume) {
        QString error;
        request.rows = chosenRows(request, parser.value(o.tables), error);
        if (!error.isEmpty())
            return refusal(error);
        if (request.rows.empty())
            return refusal(QStringLiteral("请选择要转换的表!"));
    }
    request.progress = parser.isSet(o.progress);
    request.reason = parser.value(o.reason);
    request.targetDsn = valueIfSet(parser, o.targetDsn);
    request.targetUser = valueIfSet(parser, o.targetUser);
    request.targetPassword = valueIfSet(parser, o.targetPassword);
    request.sourceDsn = valueIfSet(parser, o.sourceDsn);
    request.sourceUser = valueIfSet(parser, o.sourceUser);
    request.sourcePassword = valueIfSet(parser, o.sourcePassword);
    request.passwordFile = parser.value(o.passwordFile);
    request.verbose = parser.isSet(o.verbose);
    if (const QString problem = takeVerifyOptions(parser, o, request); !problem.isEmpty())
        return refusal(problem);
    return {request, QString(), AllDone};
}

QString resolveCopySettings(const CopyRequest& request, const QString& configurationPath, CopySettings& settings)
{
    readCopySettings(configurationPath, settings);
    takePasswordsFromEnvironment(settings);
    if (!request.passwordFile.isEmpty())
        if (const QString refused = takePasswordsFromFile(request.passwordFile, settings); !refused.isEmpty())
            return refused;
    auto override = [](const std::optional<QString>& given, QString& field) {
        if (given)
            field = *given;
    };
    override(request.targetDsn, settings.target.dsn);
    override(request.targetUser, settings.target.user);
    override(request.targetPassword, settings.target.password);
    override(request.sourceDsn, settings.source.dsn);
    override(request.sourceUser, settings.source.user);
    override(request.sourcePassword, settings.source.password);
    if (settings.target.dsn.isEmpty() || settings.source.dsn.isEmpty())
        return QStringLiteral("no data sources: give --target-dsn and --source-dsn, or set HOSTSOURCE and DESTSOURCE "
                              "in %1")
            .arg(configurationPath);
    return QString();
}

} // namespace tessera::copy
