#include "telemetry/ui/TelemetryCommands.h"

#include "app/CTesseraApp.h"
#include "app/BackgroundRun.h"
#include "app/CommandJournal.h"
#include "app/ReasonDialog.h"
#include "app/GuardedRun.h"
#include "app/GuiSeam.h"
#include "app/SharedConnection.h"
#include "app/WaitCursor.h"
#include "journal/ArchiveImage.h"
#include "dialect/ArchiveUnit.h"
#include "schema/Schema.h"
#include "telemetry/TelemetryPreview.h"
#include "telemetry/TelemetryOperations.h"
#include "telemetry/ui/BatchSetDialog.h"
#include "telemetry/ui/DateSelectDialog.h"
#include "telemetry/ui/ReplaceDialog.h"
#include "telemetry/ui/TelemetryValueDialog.h"
#include "text/DateTexts.h"
#include "text/DecimalText.h"
#include "ui/CLeftTreeView.h"
#include "ui/CMainFrame.h"
#include "ui/CTesseraView.h"
#include "view/CommandIds.h"
#include "telemetry/TelemetryList.h"
#include "view/FillSink.h"

#include <map>
#include <optional>

namespace tessera {

namespace {

using namespace telemetry;

const QString kTelemetryCaption = QStringLiteral("遥测数据");
const QString kReplaceCaption = QStringLiteral("替换数据");
const QString kBatchCaption = QStringLiteral("批处理数据");
// Second lines of a failure that undid a whole unit, or ended it.
const QString kNotCommitted = QStringLiteral("数据库拒绝提交本次修改,数据保持原样。");
const QString kConnectionLost = QStringLiteral("与数据库的连接已断开。");

QString withReason(const QString& message, const QString& reason)
{
    return message + u'\n' + reason;
}

CTesseraApp& app()
{
    return *CTesseraApp::Instance();
}

// ---- The journal's view of the commands -------------------------------------------------

QString scopeText(const TelemetryScope& scope)
{
    switch (scope.kind) {
    case TelemetryScope::Kind::Tag:
        return QStringLiteral("TagID %1").arg(scope.tagId);
    case TelemetryScope::Kind::Switch:
        return QStringLiteral("%1 %2").arg(scope.station, scope.switchName);
    case TelemetryScope::Kind::Station:
        return scope.station;
    case TelemetryScope::Kind::AllTelemetry:
        return QStringLiteral("全部遥测");
    }
    return QString();
}

// Samples are named by their instant and tag in a refused undo.
journal::UnitDraft unitOf(const UnitScope& rows, const QString& text)
{
    return {rows, text, {QStringLiteral("ATime"), QStringLiteral("TagID")}, std::nullopt};
}

JournalRequest journalRequest(int commandId, const QString& name, const QString& text, const QString& reason,
                              const std::vector<UnitScope>& scopes, std::vector<journal::RowRule> rules = {})
{
    JournalRequest request{commandId, name, text, reason, {}, std::move(rules)};
    for (const UnitScope& rows : scopes)
        request.units.push_back(unitOf(rows, text));
    return request;
}

// The driver's text of a command that did not run, or ran and failed.
QString detailOf(const std::optional<ArchiveRefusal>& refused, const std::optional<CommandResult>& result)
{
    if (refused)
        return refused->detail;
    return result ? result->detail : QString();
}

QString doneText(bool done)
{
    return done ? QStringLiteral("完成") : QStringLiteral("失败");
}

QString batchOutcomeText(BatchOutcome::Result result)
{
    using Result = BatchOutcome::Result;
    switch (result) {
    case Result::Done:
        return doneText(true);
    case Result::Cancelled:
        return QStringLiteral("已取消");
    case Result::Stopped:
        return QStringLiteral("已停止");
    case Result::CommitFailed:
        return QStringLiteral("数据库拒绝提交");
    case Result::ConnectionLost:
        return QStringLiteral("与数据库的连接已断开");
    case Result::NoLineEnds:
        return QStringLiteral("两侧无数据");
    case Result::InsertRefused:
    case Result::DayEndFailed:
        break;
    }
    return doneText(false);
}

// After a write the list and the trend show the shown tag's day as the
// archive now holds it. Rows a query listed stay as the command left them;
// a lost connection has said so once and is not read again.
void refreshShownDay(CMainFrame& frame, bool connectionLost = false)
{
    if (frame.list()->ShowsTagDay() && !connectionLost)
        frame.list()->RefreshTelemetry();
}

bool lost(const std::optional<ArchiveRefusal>& refused)
{
    return refused && refused->connectionLost;
}

using SelectionRule = SelectionResult (*)(const TreeItemInfo&);

// The scope of the tree's selection, or the refusal shown and nullopt.
std::optional<TelemetryScope> scopeOf(CMainFrame& frame, SelectionRule rule)
{
    const SelectionResult result = rule(frame.tree()->GetSelectedInfo());
    if (!result.scope)
        warningMessage(&frame, refusalText(result.refusal), refusalCaption(result.refusal));
    return result.scope;
}

// The scope of the tree's selection once the dialog was confirmed for it;
// nullopt when the selection was refused or the dialog cancelled.
std::optional<TelemetryScope> scopeAndDialog(CMainFrame& frame, SelectionRule rule, QDialog& dialog)
{
    std::optional<TelemetryScope> scope = scopeOf(frame, rule);
    if (scope && execDialog(dialog) != QDialog::Accepted)
        scope.reset();
    return scope;
}

// Puts the query's rows into the list; columns only when the list has
// none to hold the five cells (a day whose table was missing left it bare).
class ListSink : public FillSink {
public:
    explicit ListSink(RecordListModel& model) : m_model(model), m_fill(model) {}
    void columns(const QStringList& names) override
    {
        if (m_model.columnCount() < names.size())
            m_model.setColumns(names, kHiddenSampleCells);
    }
    void row(const QStringList& cells) override { m_fill.add(cells); }

private:
    RecordListModel& m_model;
    RecordListModel::TopFill m_fill;
};

void runQuery(CMainFrame& frame)
{
    DateSelectDialog dialog(&frame);
    const auto scope = scopeAndDialog(frame, selectTag, dialog);
    if (!scope)
        return;
    RecordListModel& model = frame.list()->GetRows();
    model.removeAllRows();
    frame.list()->ShowingQueryRows();
    db::Connection* connection = openSharedConnection();
    if (!connection)
        return;
    const RangeOfDay range = dialog.range();
    runWaiting(
        [&] {
            ListSink sink(model);
            queryTelemetry(*connection, sharedDatabaseKind(), {range.day, range.start, range.end, scope->tagId}, sink);
        },
        {&frame, QStringLiteral("查询遥测数据出错!"), QStringLiteral("遥测查询")});
}

void runSingleValue(CMainFrame& frame)
{
    const auto scope = scopeOf(frame, selectTag);
    if (!scope)
        return;
    CTesseraView& list = *frame.list();
    const std::vector<int> selected = list.GetSelectedRows();
    SingleValue initial;
    initial.tagId = scope->tagId;
    int row = -1;
    if (selected.empty()) {
        initial.add = true;
        initial.day = QDate::currentDate();
        initial.time = QTime(0, 0, 0);
    } else {
        row = selected.front();
        const QString at = list.GetRows().cell(row, 0);
        initial.day = QDate(decimalInteger(at.mid(0, 4)), decimalInteger(at.mid(5, 2)), decimalInteger(at.mid(8, 2)));
        initial.time = QTime(decimalInteger(at.mid(11, 2)), decimalInteger(at.mid(14, 2)), decimalInteger(at.mid(17, 2)));
        initial.value = float(decimalReal(list.GetRows().cell(row, 3)));
        initial.change = float(decimalReal(list.GetRows().cell(row, 4)));
    }
    TelemetryValueDialog* shown = nullptr;
    TelemetryValueDialog dialog(initial, [&shown](const SingleValue& sample, const QString& reason, QString& detail) {
        // Nothing can be written without a connection: a failure, not a success.
        if (!openSharedConnection())
            return false;
        const QString name = QStringLiteral("遥测单值修改");
        std::optional<ArchiveRefusal> refused;
        const auto result = runJournaled(
            shown, name,
            journalRequest(cmd::TelemetrySingleValue, name,
                           QStringLiteral("TagID %1 %2").arg(sample.tagId).arg(dateTimeText(sample.day, sample.time)),
                           reason, {singleValueScope(sample)}),
            [&](ArchiveUnit& unit, BackgroundRun&) {
                const bool written = writeSingleValue(app().GetConnection(), app().GetDatabaseKind(), sample);
                unit.commit();
                return CommandResult{written, doneText(written), {-1, written ? 1 : 0, 0}, {}, {}};
            },
            &refused);
        detail = detailOf(refused, result);
        return result && result->succeeded;
    }, &frame);
    shown = &dialog;
    if (execDialog(dialog) != QDialog::Accepted)
        return;
    if (list.ShowsTagDay())
        return refreshShownDay(frame);
    const SingleValue& written = dialog.sample();
    RecordListModel& model = list.GetRows();
    const QString value = QString::asprintf("%f", double(written.value));
    const QString change = QString::asprintf("%f", double(written.change));
    if (written.add) {
        QStringList cells {dateTimeText(written.day, written.time), QString::number(written.tagId),
                           kTelemetryCellText, value, change};
        cells.insert(kDataTypeCell, QString::number(kManualDataType));
        model.insertRow(0, cells);
        return;
    }
    // A modified sample keeps its DataType: the statement sets the values only.
    model.setCell(row, 3, value);
    model.setCell(row, 4, change);
}

void runDelete(CMainFrame& frame)
{
    CTesseraView& list = *frame.list();
    if (!list.IsTelemetryMode()) {
        warningMessage(&frame, refusalText(SelectionRefusal::SwitchToTelemetry), kTelemetryCaption);
        return;
    }
    const std::vector<int> selected = list.GetSelectedRows();
    if (selected.empty()) {
        warningMessage(&frame, QStringLiteral("请选择要修改的事件项!"), kTelemetryCaption);
        return;
    }
    ReasonDialog confirm(&frame, kTelemetryCaption, QStringLiteral("请确认您是否需要删除选中的记录?"),
                         QMessageBox::Warning);
    if (execDialog(confirm) != QDialog::Accepted || !openSharedConnection())
        return;

    RecordListModel& model = list.GetRows();
    std::vector<std::pair<QString, int>> samples;
    for (int row : selected)
        samples.emplace_back(model.cell(row, 0), decimalInteger(model.cell(row, 1)));
    const QString name = QStringLiteral("遥测数据删除");
    qint64 removed = 0;
    // Every sample deleted leaves nothing of its row.
    const std::vector<UnitScope> scopes = samplesScopes(samples);
    const std::vector<journal::RowRule> gone(scopes.size(), journal::RowRule{true, {}, {}});
    std::optional<ArchiveRefusal> refused;
    const auto result = runJournaled(
        &frame, kTelemetryCaption,
        journalRequest(cmd::TelemetryDelete, name, QStringLiteral("%1个数据").arg(selected.size()), confirm.reason(),
                       scopes, gone),
        [&](ArchiveUnit& unit, BackgroundRun&) {
            QString failure;
            removed = deleteSamples(app().GetConnection(), app().GetDatabaseKind(), samples, unit, failure);
            const bool done = failure.isEmpty();
            return CommandResult{done, doneText(done), {removed, -1, 0}, {}, failure};
        },
        &refused);
    // The deleted samples leave the list from the bottom, as they went.
    if (list.ShowsTagDay())
        refreshShownDay(frame, lost(refused));
    else
        for (qint64 i = 0; i < removed; ++i)
            model.removeRow(selected[selected.size() - 1 - size_t(i)]);
    if (refused || (result && !result->succeeded))
        failureMessage(&frame, QStringLiteral("遥测数据删除失败!"), kTelemetryCaption, detailOf(refused, result));
}

void runZeroing(CMainFrame& frame)
{
    DateSelectDialog dialog(&frame, DateSelectDialog::Reason::Asked);
    const auto scope = scopeAndDialog(frame, selectForZeroing, dialog);
    if (!scope)
        return;
    const RangeOfDay range = dialog.range();
    const CatalogueNode& catalogue = frame.tree()->GetCatalogue();
    const QString name = QStringLiteral("数据清零");
    const QString failed = QStringLiteral("数据清零时出错!");
    if (scopeHasNoTags(*scope, catalogue)) {
        failureMessage(&frame, failed, name,
                       QStringLiteral("回路“%1 %2”在变量表中没有变量").arg(scope->station, scope->switchName));
        return;
    }
    // Zeroed, each row of the scope stays with nValue and nValueChange 0.
    const journal::RowRule zeroed{false, {3, 4}, 0.0};
    std::optional<ArchiveRefusal> refused;
    const auto result = runJournaled(
        &frame, name,
        journalRequest(cmd::TelemetryZero, name, rangeText(range.day, range.start, range.end) + u' ' + scopeText(*scope),
                       dialog.reason(), {zeroingScope(range, *scope, catalogue)}, {zeroed}),
        [&](ArchiveUnit& unit, BackgroundRun&) {
            zeroTelemetry(app().GetConnection(), app().GetDatabaseKind(), range, *scope, catalogue, unit);
            return CommandResult{true, doneText(true), {}, {}, {}};
        },
        &refused);
    refreshShownDay(frame, lost(refused));
    if (result && result->succeeded)
        warningMessage(&frame, QStringLiteral("数据清零任务执行成功!"), name);
    else if (result || refused)
        failureMessage(&frame, failed, name, detailOf(refused, result));
}

// Asks the batch setting's questions on the GUI thread, the wait cursor
// lifted meanwhile.
class BatchQuestionBoxes : public BatchQuestions {
public:
    BatchQuestionBoxes(QWidget* owner, BackgroundRun& background) : m_owner(owner), m_background(background) {}

    bool continueAfterDeleteFailure(const QString& sql) override
    {
        return m_background.ask({m_owner, sql, QStringLiteral("删除数据时出错,是否继续进行处理?"), QMessageBox::Question,
                                 QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::NoButton, {}})
            == QMessageBox::Ok;
    }
    bool continueAfterSampleFailure(const QString& timeText, bool undone) override
    {
        const QString text = QStringLiteral("修改时间(%1)的数据时出错!").arg(timeText)
            + QStringLiteral("\n是否跳过出错的数据,继续写入其余的数据?")
            + (undone ? QStringLiteral("\n选择“否”将撤销本次批量置数,数据保持原样。")
                      : QStringLiteral("\n选择“否”将停止写入,已写入的数据保留。"));
        return m_background.ask({m_owner, text, kBatchCaption, QMessageBox::Warning,
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton, {}})
            == QMessageBox::Yes;
    }

private:
    QWidget* m_owner;
    BackgroundRun& m_background;
};

void showBatchOutcome(CMainFrame& frame, const BatchOutcome& outcome)
{
    using Result = BatchOutcome::Result;
    const QString failed = QStringLiteral("批量修改数据失败!");
    switch (outcome.result) {
    case Result::Cancelled:
    case Result::Stopped: // the user's own answer; the question said what follows
        return;
    case Result::InsertRefused:
    case Result::DayEndFailed:
        failureMessage(&frame, failed, kBatchCaption, outcome.detail);
        return;
    case Result::CommitFailed:
        failureMessage(&frame, withReason(failed, kNotCommitted), kBatchCaption, outcome.detail);
        return;
    case Result::ConnectionLost:
        failureMessage(&frame, withReason(failed, kConnectionLost), kBatchCaption, outcome.detail);
        return;
    case Result::NoLineEnds:
        warningMessage(&frame, QStringLiteral("时间范围两侧都没有数据,无法线性插值!"), kBatchCaption);
        return;
    case Result::Done:
        break;
    }
    if (outcome.failed > 0)
        failureMessage(&frame, QStringLiteral("共有%1个时间点的数据写入失败!").arg(outcome.failed), kBatchCaption,
                       outcome.detail);
}

void runBatchSetting(CMainFrame& frame)
{
    BatchSetDialog dialog(&frame);
    const auto scope = scopeOf(frame, selectTag);
    if (!scope)
        return;
    dialog.enablePreview([&dialog, tagId = scope->tagId](BatchRequest request) {
        request.tagId = tagId;
        return previewBatchSetting(app().GetConnection(), app().GetDatabaseKind(), request, dialog.random());
    });
    if (execDialog(dialog) != QDialog::Accepted)
        return;
    BatchRequest request = dialog.request();
    request.tagId = scope->tagId;
    const QString name = QStringLiteral("人工批量置数");
    BatchOutcome outcome;
    std::optional<ArchiveRefusal> refused;
    const auto result = runJournaled(
        &frame, kBatchCaption,
        journalRequest(cmd::TelemetryBatchSet, name,
                       rangeText(request.day, request.start, request.end) + QStringLiteral(" TagID %1").arg(request.tagId),
                       dialog.reason(), {batchScope(request)}),
        [&](ArchiveUnit& unit, BackgroundRun& background) {
            BatchQuestionBoxes questions(&frame, background);
            RandomSource random = dialog.random();
            outcome = telemetry::runBatchSetting(app().GetConnection(), app().GetDatabaseKind(), request, questions,
                                                 random, unit);
            CommandResult r{outcome.result == BatchOutcome::Result::Done, batchOutcomeText(outcome.result),
                            {-1, outcome.written, outcome.failed}, {}, outcome.detail};
            if (!outcome.rowsWritten.empty())
                r.written.push_back(std::move(outcome.rowsWritten));
            return r;
        },
        &refused);
    refreshShownDay(frame, lost(refused) || outcome.result == BatchOutcome::Result::ConnectionLost);
    const QString batchFailed = QStringLiteral("批量修改数据失败!");
    if (refused)
        failureMessage(&frame, refused->connectionLost ? withReason(batchFailed, kConnectionLost) : batchFailed,
                       kBatchCaption, refused->detail);
    else if (result)
        showBatchOutcome(frame, outcome);
}

void showReplaceOutcome(CMainFrame& frame, const ReplaceOutcome& outcome)
{
    using Result = ReplaceOutcome::Result;
    const QString d = outcome.detail;
    switch (outcome.result) {
    case Result::SecondConnectionFailed:
        standardMessage(QStringLiteral("访问数据库失败!"), d);
        return;
    case Result::SecondConnectionError:
        standardMessage(QStringLiteral("访问数据库出现异常!"), d);
        return;
    case Result::DeleteFailed:
        failureMessage(&frame, QStringLiteral("执行删除记录是出错!"), kReplaceCaption, d);
        return;
    case Result::ReadFailed:
        failureMessage(&frame, QStringLiteral("执行替换数据记录时出错!"), kReplaceCaption, d);
        return;
    case Result::CopyFailed:
        failureMessage(&frame, QStringLiteral("执行拷贝记录是出错!"), kReplaceCaption, d);
        return;
    case Result::CommitFailed:
        failureMessage(&frame, withReason(QStringLiteral("数据替换失败!"), kNotCommitted), kReplaceCaption, d);
        return;
    case Result::ConnectionLost:
        failureMessage(&frame, withReason(QStringLiteral("数据替换失败!"), kConnectionLost), kReplaceCaption, d);
        return;
    case Result::Done:
        break;
    }
    QString done = QStringLiteral("数据替换完成!");
    if (outcome.skipped > 0)
        done = withReason(done, QStringLiteral("%1个数据未能写入。").arg(outcome.skipped));
    warningMessage(&frame, done, kReplaceCaption);
}

void runReplacement(CMainFrame& frame)
{
    ReplaceDialog dialog(&frame);
    const auto scope = scopeOf(frame, selectForReplacement);
    if (!scope)
        return;
    const CatalogueNode& catalogue = frame.tree()->GetCatalogue();
    dialog.enablePreview(
        [&](const ReplaceRequest& request, int tagId) {
            return previewReplacement(app().GetConnection(), app().GetDatabaseKind(), request, *scope, catalogue,
                                      tagId, dialog.random());
        },
        [&catalogue](int tagId) { return tagPathOf(catalogue, tagId); });
    if (execDialog(dialog) != QDialog::Accepted)
        return;
    if (scopeHasNoTags(*scope, catalogue)) {
        failureMessage(&frame, QStringLiteral("执行删除记录是出错!"), kReplaceCaption,
                       QStringLiteral("回路“%1 %2”在变量表中没有变量").arg(scope->station, scope->switchName));
        return;
    }
    // The connection text the program opened with; a connection made another
    // way (by driver and file) reopens with what its driver reported.
    QString connectString = app().GetConnectString();
    if (connectString.isEmpty())
        connectString = app().GetConnection().connectString();

    const ReplaceRequest& request = dialog.request();
    const QString name = QStringLiteral("遥测数据替换");
    ReplaceOutcome outcome;
    std::optional<ArchiveRefusal> refused;
    const auto result = runJournaled(
        &frame, kReplaceCaption,
        journalRequest(cmd::TelemetryReplace, name,
                       QStringLiteral("%1 取自%2 %3")
                           .arg(rangeText(request.target, request.start, request.end),
                                request.source.toString(QStringLiteral("yyyy-MM-dd")), scopeText(*scope)),
                       dialog.reason(), {replaceTargetScope(request, *scope, catalogue)}),
        [&](ArchiveUnit& unit, BackgroundRun&) {
            RandomSource random = dialog.random();
            outcome = telemetry::runReplacement(app().GetConnection(), app().GetDatabaseKind(), connectString, request,
                                                *scope, catalogue, random, unit);
            const bool done = outcome.result == ReplaceOutcome::Result::Done;
            return CommandResult{done, doneText(done), {-1, outcome.copied, outcome.skipped}, {}, outcome.detail};
        },
        &refused);
    refreshShownDay(frame, lost(refused) || outcome.result == ReplaceOutcome::Result::ConnectionLost);
    if (refused)
        failureMessage(&frame,
                       refused->connectionLost ? withReason(QStringLiteral("数据替换失败!"), kConnectionLost)
                                               : QStringLiteral("执行删除记录是出错!"),
                       kReplaceCaption, refused->detail);
    else if (result)
        showReplaceOutcome(frame, outcome);
}

} // namespace

void installTelemetryCommands(CMainFrame& frame)
{
    CMainFrame* f = &frame;
    frame.setHandler(cmd::TelemetryQuery, [f] { runQuery(*f); });
    frame.setHandler(cmd::TelemetrySingleValue, [f] { runSingleValue(*f); });
    frame.setHandler(cmd::TelemetryDelete, [f] { runDelete(*f); });
    frame.setHandler(cmd::TelemetryZero, [f] { runZeroing(*f); });
    frame.setHandler(cmd::TelemetryBatchSet, [f] { runBatchSetting(*f); });
    frame.setHandler(cmd::TelemetryReplace, [f] { runReplacement(*f); });
}

} // namespace tessera
