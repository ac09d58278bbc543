#pragma once

#include "copy/CopyRun.h"
#include "copy/CopySettings.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// tessera-copy's command line: what a run is asked to do.
namespace tessera::copy {

enum ExitCode { AllDone = 0, TableFailed = 1, Refused = 2, Stopped = 3, Differences = 4 };

struct CopyRequest {
    enum class Choice { Range, Tables, Resume };
    Choice choice = Choice::Range;
    QDate start;
    QDate end;
    std::vector<int> rows; // the chosen tables' rows, in row order (none yet for Resume)
    int jobs = 1;
    bool progress = false;
    QString reason;
    // The data sources as given: options override DataSource.ini one by one.
    std::optional<QString> targetDsn, targetUser, targetPassword;
    std::optional<QString> sourceDsn, sourceUser, sourcePassword;
    QString passwordFile;
    RunMode mode = RunMode::Copy; // --verify, --repair
    bool verifyAfter = false;     // a copy verified after it ran
    QString differencesCsv;       // --diff-csv
    double tolerance = 0;
    bool verbose = false; // the log on standard error too, with the details
};

struct ParsedCommandLine {
    std::optional<CopyRequest> request; // none: print `text` and exit with `exitCode`
    QString text;                       // help, or why the arguments are refused
    int exitCode = AllDone;
};

ParsedCommandLine parseCopyCommandLine(const QStringList& arguments);

// The data sources of a request: DataSource.ini's sections, then the
// password variables and file, then the options given. Returns why they
// cannot be used; empty when they can.
QString resolveCopySettings(const CopyRequest& request, const QString& configurationPath, CopySettings& settings);

} // namespace tessera::copy
