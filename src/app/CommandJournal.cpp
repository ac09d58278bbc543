#include "app/CommandJournal.h"

#include "app/CTesseraApp.h"
#include "app/GuiSeam.h"
#include "app/WaitCursor.h"
#include "db/DbError.h"
#include "journal/Journal.h"

#include <QDate>
#include <QTime>

namespace tessera {

std::optional<journal::JournaledCommand> beginJournaled(QWidget* owner, const QString& caption,
                                                        const JournalRequest& request)
{
    CTesseraApp* app = CTesseraApp::Instance();
    journal::EntryDraft draft;
    draft.login = app->GetLoginName();
    draft.dataSource = app->GetDataSourceName();
    draft.kind = int(app->GetDatabaseKind());
    draft.commandId = request.commandId;
    draft.commandName = request.commandName;
    draft.scopeText = request.scopeText;
    draft.reason = request.reason;
    draft.units = request.units;
    QString failure;
    try {
        WaitCursor wait;
        return journal::JournaledCommand::begin(app->GetJournal(), app->GetConnection(), app->GetDatabaseKind(),
                                                std::move(draft));
    } catch (const journal::JournalError& error) {
        failure = QStringLiteral("操作日志无法记录本次修改,修改没有执行!\n%1").arg(error.message());
    } catch (const db::DbError& error) {
        failure = QStringLiteral("读取修改前的数据失败,修改没有执行!\n%1").arg(error.message());
    }
    warningMessage(owner, failure, caption);
    return std::nullopt;
}

void finishJournaled(std::optional<journal::JournaledCommand>& command, QWidget* owner, const QString& caption,
                     bool succeeded, const QString& outcome, const journal::RowCounts& counts,
                     const std::vector<std::optional<journal::AfterState>>& known)
{
    if (!command)
        return;
    QString failure;
    try {
        WaitCursor wait;
        command->finish(succeeded, outcome, counts, known);
    } catch (const journal::JournalError& error) {
        failure = QStringLiteral("数据已经修改,但操作日志未能记录修改后的数据,该操作将不能撤销!\n%1").arg(error.message());
    }
    command.reset();
    if (!failure.isEmpty())
        warningMessage(owner, failure, caption);
}

QString rangeText(const QDate& day, const QTime& start, const QTime& end)
{
    return QStringLiteral("%1 %2 至 %3")
        .arg(day.toString(QStringLiteral("yyyy-MM-dd")), start.toString(QStringLiteral("HH:mm:ss")),
             end.toString(QStringLiteral("HH:mm:ss")));
}

} // namespace tessera
