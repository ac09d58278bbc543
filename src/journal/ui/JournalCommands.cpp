#include "journal/ui/JournalCommands.h"

#include "app/BackgroundRun.h"
#include "app/CTesseraApp.h"
#include "app/GuiSeam.h"
#include "app/ReasonDialog.h"
#include "db/DbError.h"
#include "journal/Journal.h"
#include "journal/Undo.h"
#include "journal/ui/JournalWindow.h"
#include "ui/CMainFrame.h"
#include "ui/CTesseraView.h"
#include "view/CommandIds.h"

namespace tessera {

namespace {

const QString kUndoCaption = QStringLiteral("撤销");

void showInformation(QWidget* owner, const QString& text, const QString& caption)
{
    MessageRequest request;
    request.owner = owner;
    request.text = text;
    request.caption = caption;
    request.icon = QMessageBox::Information;
    showMessage(request);
}

// The list shows what the archive held before the undo: read it again.
// `owner` is the frame or one of its dialogs.
void refreshList(QWidget* owner)
{
    CMainFrame* frame = nullptr;
    for (QWidget* w = owner; w && !frame; w = w->parentWidget())
        frame = dynamic_cast<CMainFrame*>(w);
    if (!frame)
        return;
    CTesseraView* list = frame->list();
    const int code = list->GetCurrentCode();
    const bool telemetry = list->IsTelemetryMode();
    const QDate day = list->GetShownDay();
    list->DataSourceChanged();
    if (telemetry && day.isValid())
        list->ShowDayOnNextSwitch(day); // the day a finding opened, not today's
    if (code != 0 || telemetry)
        list->SwitchView(telemetry ? list->GetRequestedTag() : code, telemetry);
}

// The entry "撤销上次操作" reverses: the newest command of the current data
// source that still stands (not itself an undo, not undone), or 0.
qint64 lastStandingEntry(journal::Journal& journal, const QString& dataSource)
{
    for (const journal::EntrySummary& e : journal.entries()) {
        if (e.dataSource != dataSource || e.undoOf != 0 || e.state != journal::EntryState::Done)
            continue;
        if (e.undoneBy == 0)
            return e.id;
        const auto undo = journal.entry(e.undoneBy);
        if (undo && undo->undoneBy != 0)
            return e.id; // its undo was undone in turn
    }
    return 0;
}

void openJournalWindow(CMainFrame& frame)
{
    try {
        JournalWindow window(CTesseraApp::Instance()->GetJournal(), &frame);
        execDialog(window);
    } catch (const journal::JournalError& error) {
        warningMessage(&frame, error.message(), QStringLiteral("操作日志"));
    }
}

void undoLastOperation(CMainFrame& frame)
{
    CTesseraApp* app = CTesseraApp::Instance();
    qint64 id = 0;
    try {
        id = lastStandingEntry(app->GetJournal(), app->GetDataSourceName());
    } catch (const journal::JournalError& error) {
        warningMessage(&frame, error.message(), kUndoCaption);
        return;
    }
    if (!id) {
        warningMessage(&frame, QStringLiteral("当前数据源没有可以撤销的操作!"), kUndoCaption);
        return;
    }
    undoInteractively(&frame, id);
}

} // namespace

bool undoInteractively(QWidget* owner, qint64 entryId)
{
    CTesseraApp* app = CTesseraApp::Instance();
    journal::UndoOutcome outcome;
    try {
        journal::Journal& journal = app->GetJournal();
        const auto entry = journal.entry(entryId);
        if (!entry)
            return false;
        // The undo runs on the shared connection: it must be the entry's archive.
        if (entry->dataSource != app->GetDataSourceName()) {
            warningMessage(owner,
                           QStringLiteral("该操作是在数据源%1上执行的,请先切换到该数据源再撤销!").arg(entry->dataSource),
                           kUndoCaption);
            return false;
        }
        ReasonDialog confirm(owner, kUndoCaption,
                             QStringLiteral("确定要撤销第%1条操作“%2”吗?\n%3")
                                 .arg(entryId)
                                 .arg(entry->commandName, entry->scopeText));
        if (execDialog(confirm) != QDialog::Accepted)
            return false;
        journal::UndoRequest request;
        request.entryId = entryId;
        request.kind = app->GetDatabaseKind();
        request.login = app->GetLoginName();
        request.dataSource = app->GetDataSourceName();
        request.reason = confirm.reason();
        request.commandId = cmd::JournalUndo;
        BackgroundRun background(owner, kUndoCaption, QStringLiteral("正在撤销……"));
        background.run([&] { outcome = journal::undoEntry(journal, app->GetConnection(), request, &background); });
    } catch (const journal::JournalError& error) {
        warningMessage(owner, error.message(), kUndoCaption);
        return false;
    } catch (const db::DbError& error) {
        const MessageRequest failed{owner, QStringLiteral("撤销失败!"), kUndoCaption, QMessageBox::Warning,
                                    QMessageBox::Ok, QMessageBox::Ok, error.message()};
        showMessage(failed);
        refreshList(owner);
        return false;
    }
    switch (outcome.result) {
    case journal::UndoOutcome::Result::Done:
        refreshList(owner);
        showInformation(owner,
                        QStringLiteral("撤销完成!\n删除%1行,写回%2行。").arg(outcome.counts.removed).arg(outcome.counts.written),
                        kUndoCaption);
        return true;
    case journal::UndoOutcome::Result::Refused:
        warningMessage(owner, outcome.message, kUndoCaption);
        return false;
    case journal::UndoOutcome::Result::Failed:
        refreshList(owner);
        warningMessage(owner, QStringLiteral("撤销失败!\n%1").arg(outcome.message), kUndoCaption);
        return false;
    }
    return false;
}

void installJournalCommands(CMainFrame& frame)
{
    frame.setHandler(cmd::OperationJournal, [&frame] { openJournalWindow(frame); });
    frame.setHandler(cmd::UndoLastOperation, [&frame] { undoLastOperation(frame); });
}

} // namespace tessera
