// tessera-copy: the copy between database generations without a window, for
// servers without a desktop. Same procedures, same statuses as the dialog.
#include "copy/ConsoleReport.h"
#include "copy/CopyCommandLine.h"
#include "copy/CopyResume.h"
#include "copy/CopyRun.h"
#include "copy/CopyTables.h"
#include "journal/Journal.h"
#include "platform/BuildVersion.h"
#include "platform/Log.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <optional>

using namespace tessera;
using namespace tessera::copy;

namespace {

int refuse(const QString& text)
{
    printTo(stderr, QStringLiteral("tessera-copy: %1\n").arg(text));
    return Refused;
}

// The tables a resumed run copies again, added to `rows`; an exit code when
// there is nothing to resume.
std::optional<int> chooseResumedTables(journal::Journal& journal, CopyRun& run, const CopySettings& settings,
                                       const QDateTime& start, const QDateTime& end, std::vector<int>& rows)
{
    const ResumePlan plan = planResume(journal, settings, run.Source(), run.Target(), start, end);
    if (!plan.refusal.isEmpty())
        return refuse(plan.refusal);
    printTo(stderr, plan.announcement + u'\n');
    if (plan.tables.isEmpty())
        return AllDone;
    for (const QString& name : plan.tables)
        rows.push_back(copyTableRow(name));
    std::sort(rows.begin(), rows.end());
    return std::nullopt;
}

struct RunOutcome {
    int exitCode = AllDone;
    std::vector<int> doneRows; // the tables the run left done
};

// One run of the request's tables in `mode`, its lines and its exit code.
RunOutcome runTables(const CopyRequest& request, RunMode mode, std::vector<int> rows, CopySettings& settings,
                     journal::Journal& journal, CsvWriter* differences)
{
    ConsoleReport report(request.progress, mode, differences);
    const QDateTime start(request.start, QTime(0, 0), Qt::UTC); // wall-clock days
    const QDateTime end(request.end, QTime(0, 0), Qt::UTC);
    CopyRun run(settings, start, end, report);
    journal::EntryDraft who;
    who.reason = request.reason;
    run.SetJournal(&journal, who);
    run.SetJobs(request.jobs);
    run.SetMode(mode);
    run.SetTolerance(request.tolerance);
    if (!run.LookUpConnectionKinds() || !run.OpenCopyConnections())
        return {Refused, {}};
    if (request.choice == CopyRequest::Choice::Resume && mode == RunMode::Copy)
        if (const std::optional<int> exit = chooseResumedTables(journal, run, settings, start, end, rows))
            return {*exit, {}};
    QStringList chosen;
    for (int row : rows)
        chosen << copyTableNames().at(row);
    run.CopyTables(chosen);
    run.CloseConnections();
    if (run.RunRefused())
        return {Refused, {}};
    report.reportNotReached(rows);
    if (run.Stopped())
        return {Stopped, {}};
    if (!report.allDone(rows))
        return {TableFailed, report.doneRows(rows)};
    if (mode != RunMode::Copy && !report.allEqual(rows))
        return {Differences, report.doneRows(rows)};
    return {AllDone, report.doneRows(rows)};
}

int runRequest(const CopyRequest& request, CopySettings& settings, journal::Journal& journal)
{
    std::optional<QFile> csvFile;
    std::optional<CsvWriter> differences;
    if (!request.differencesCsv.isEmpty()) {
        csvFile.emplace(request.differencesCsv);
        if (!csvFile->open(QIODevice::WriteOnly | QIODevice::Truncate))
            return refuse(QStringLiteral("cannot write %1: %2").arg(request.differencesCsv, csvFile->errorString()));
        differences.emplace(*csvFile, differenceHeaders());
    }
    CsvWriter* writer = differences ? &*differences : nullptr;
    const RunOutcome run = runTables(request, request.mode, request.rows, settings, journal, writer);
    if (!request.verifyAfter || run.exitCode != AllDone || run.doneRows.empty())
        return run.exitCode;
    // The tables just copied, compared.
    return runTables(request, RunMode::Verify, run.doneRows, settings, journal, writer).exitCode;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ensureUtf8CType();
    QCoreApplication::setApplicationName(QStringLiteral("tessera-copy"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TESSERA_VERSION_TEXT));

    const ParsedCommandLine parsed = parseCopyCommandLine(app.arguments());
    if (!parsed.request) {
        printTo(parsed.exitCode == AllDone ? stdout : stderr, parsed.text);
        return parsed.exitCode;
    }
    CopySettings settings;
    if (const QString problem = resolveCopySettings(*parsed.request, configurationFilePath(), settings);
        !problem.isEmpty())
        return refuse(problem);

    // The log beside the settings and the journal; on standard error too with --verbose.
    startLogFile(QFileInfo(configurationFilePath()).absolutePath(), parsed.request->verbose);
    if (parsed.request->verbose)
        QLoggingCategory::setFilterRules(QStringLiteral("tessera.*.debug=true"));
    stopOnSignals();
    // The run goes into the journal beside DataSource.ini, as the program's do.
    std::optional<journal::Journal> journal;
    try {
        journal.emplace(journal::Journal::open(journal::defaultJournalPath()));
    } catch (const journal::JournalError& error) {
        return refuse(error.message());
    }
    return runRequest(*parsed.request, settings, *journal);
}
