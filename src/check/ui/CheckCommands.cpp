#include "check/ui/CheckCommands.h"

#include "app/BackgroundRun.h"
#include "app/CTesseraApp.h"
#include "app/CommandJournal.h"
#include "app/GuiSeam.h"
#include "app/SharedConnection.h"
#include "check/CheckScan.h"
#include "check/CheckSettingsStore.h"
#include "check/ui/CheckDialog.h"
#include "check/ui/CheckResultsWindow.h"
#include "db/Connection.h"
#include "db/DbError.h"
#include "dialect/DriverOptions.h"
#include "telemetry/TelemetryList.h"
#include "ui/CLeftTreeView.h"
#include "ui/CMainFrame.h"
#include "ui/CTesseraView.h"
#include "ui/TrendChartFeed.h"
#include "ui/TrendChartView.h"
#include "view/CommandIds.h"

namespace tessera {

namespace {

using namespace check;

const QString kCaption = QStringLiteral("数据校验");

QString scopeTextOf(const telemetry::TelemetryScope& scope, const CatalogueNode& catalogue)
{
    using Kind = telemetry::TelemetryScope::Kind;
    switch (scope.kind) {
    case Kind::Tag:
        return tagPathOf(catalogue, scope.tagId);
    case Kind::Switch:
        return QStringLiteral("%1 / %2").arg(scope.station, scope.switchName);
    default:
        return scope.station;
    }
}

// The scan's progress as the background run shows it, and its 取消.
class ProgressObserver : public ScanObserver {
public:
    explicit ProgressObserver(BackgroundRun& run) : m_run(run) {}
    void progress(const ScanProgress& p) override { m_run.advance(p.rows, -1); }
    bool cancelled() override { return m_run.cancelled(); }

private:
    BackgroundRun& m_run;
};

// The tag's day in the list and the trend, as selecting the tag in the tree
// shows today's, with the finding's samples selected and the trend zoomed
// to them.
void openFinding(CMainFrame& frame, const Finding& finding)
{
    CTesseraView& list = *frame.list();
    list.ShowDayOnNextSwitch(finding.day);
    if (!frame.tree()->SelectTagNode(finding.tagId)) {
        list.ShowDayOnNextSwitch(QDate::currentDate()); // the tree lost the tag: leave the next switch alone
        return;
    }
    list.SwitchView(finding.tagId, true); // reads the day when the node was selected already
    std::vector<int> rows;
    const RecordListModel& model = list.GetRows();
    for (int row = 0; row < model.rowCount(); ++row) {
        const QTime at = QTime::fromString(model.cell(row, 0).mid(11, 8), QStringLiteral("HH:mm:ss"));
        const int msecs = at.isValid() ? at.msecsSinceStartOfDay() : -1;
        if (msecs >= finding.fromMsecs && msecs <= finding.toMsecs)
            rows.push_back(row);
    }
    list.SelectRows(rows);
    frame.trendChartFeed()->rebuildNow();
    const qint64 margin = std::max<qint64>(finding.toMsecs - finding.fromMsecs, 5 * 60 * 1000);
    frame.trendChart()->zoomTo(finding.fromMsecs - margin, finding.toMsecs + margin);
    frame.activateWindow();
}

CheckResultsWindow& resultsWindow(CMainFrame& frame)
{
    if (auto* window = frame.findChild<CheckResultsWindow*>())
        return *window;
    auto* window = new CheckResultsWindow(&frame);
    QObject::connect(window, &CheckResultsWindow::findingActivated, &frame,
                     [&frame](const Finding& f) { openFinding(frame, f); });
    return *window;
}

// Scans on a connection of its own, off the GUI thread; nullopt when
// cancelled or failed (the failure shown).
std::optional<ScanResult> runScan(CMainFrame& frame, const ScanRequest& request)
{
    db::Connection* shared = openSharedConnection();
    if (!shared)
        return std::nullopt;
    const DatabaseKind kind = sharedDatabaseKind();
    ScanResult result;
    BackgroundRun background(&frame, kCaption, QStringLiteral("正在校验数据……"));
    try {
        background.run([&] {
            db::Connection reading = shared->openAnother(driverOptionsFor(kind, ConnectionRole::Scan));
            ProgressObserver observer(background);
            result = scanArchive(reading, kind, request, observer);
        });
    } catch (const db::DbError& error) {
        failureMessage(&frame, QStringLiteral("数据校验出错!"), kCaption, error.message());
        return std::nullopt;
    }
    if (result.cancelled)
        return std::nullopt;
    return result;
}

void runDataCheck(CMainFrame& frame)
{
    const telemetry::SelectionResult selection = telemetry::selectForZeroing(frame.tree()->GetSelectedInfo());
    if (!selection.scope) {
        warningMessage(&frame, telemetry::refusalText(selection.refusal), telemetry::refusalCaption(selection.refusal));
        return;
    }
    const CatalogueNode& catalogue = frame.tree()->GetCatalogue();
    const QString scopeText = scopeTextOf(*selection.scope, catalogue);
    ScanRequest request {scanTagsOf(catalogue, *selection.scope), {}, {}, {}};
    if (request.tags.empty()) {
        warningMessage(&frame, QStringLiteral("所选范围内没有遥测变量!"), kCaption);
        return;
    }
    const CheckSettingsStore store(frame.viewSettingsIniPath());
    const auto [first, last] = store.dates();
    CheckDialog dialog(scopeText, first, last, store.load(scopeText), &frame);
    if (execDialog(dialog) != QDialog::Accepted)
        return;
    request.first = dialog.first();
    request.last = dialog.last();
    request.settings = dialog.settings();
    store.save(scopeText, request.settings);
    store.saveDates(request.first, request.last);

    std::optional<ScanResult> result = runScan(frame, request);
    if (!result)
        return;
    CheckResultsWindow& window = resultsWindow(frame);
    window.setFindings(std::move(result->findings), scopeText);
    window.show();
    window.raise();
}

} // namespace

void installCheckCommands(CMainFrame& frame)
{
    CMainFrame* f = &frame;
    frame.setHandler(cmd::DataCheck, [f] { runDataCheck(*f); });
}

} // namespace tessera
