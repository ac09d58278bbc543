// tessera-copy: the copy between database generations without a window, for
// servers without a desktop. Same procedures, same statuses as the dialog.
#include "copy/ConsoleReport.h"
#include "copy/CopyCommandLine.h"
#include "copy/CopyResume.h"
#include "copy/CopyRun.h"
#include "copy/CopyTables.h"
#include "journal/Journal.h"
#include "platform/BuildVersion.h"
#include "platform/Platform.h"

#include <QCoreApplication>

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

int runCopy(const CopyRequest& request, CopySettings& settings, journal::Journal& journal)
{
    ConsoleReport report(request.progress);
    const QDateTime start(request.start, QTime(0, 0), Qt::UTC); // wall-clock days
    const QDateTime end(request.end, QTime(0, 0), Qt::UTC);
    CopyRun run(settings, start, end, report);
    journal::EntryDraft who;
    who.reason = request.reason;
    run.SetJournal(&journal, who);
    run.SetJobs(request.jobs);
    if (!run.LookUpConnectionKinds() || !run.OpenCopyConnections())
        return Refused;
    std::vector<int> rows = request.rows;
    if (request.choice == CopyRequest::Choice::Resume)
        if (const std::optional<int> exit = chooseResumedTables(journal, run, settings, start, end, rows))
            return *exit;
    QStringList chosen;
    for (int row : rows)
        chosen << copyTableNames().at(row);
    run.CopyTables(chosen);
    run.CloseConnections();
    if (run.RunRefused())
        return Refused;
    report.reportNotReached(rows);
    if (run.Stopped())
        return Stopped;
    return report.allDone(rows) ? AllDone : TableFailed;
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

    stopOnSignals();
    // The run goes into the journal beside DataSource.ini, as the program's do.
    std::optional<journal::Journal> journal;
    try {
        journal.emplace(journal::Journal::open(journal::defaultJournalPath()));
    } catch (const journal::JournalError& error) {
        return refuse(error.message());
    }
    return runCopy(*parsed.request, settings, *journal);
}
