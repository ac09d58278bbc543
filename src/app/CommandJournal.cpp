#include "app/CommandJournal.h"

#include "app/BackgroundRun.h"
#include "app/CTesseraApp.h"
#include "db/DbError.h"
#include "db/ResultSet.h"
#include "journal/ArchiveImage.h"
#include "journal/ArchiveUnit.h"
#include "journal/Journal.h"

#include <QDate>
#include <QTime>

namespace tessera {

namespace {

const QString kJournalRefused = QStringLiteral("操作日志无法记录本次修改,修改没有执行!\n%1");
const QString kNotRecorded = QStringLiteral("数据已经修改,但操作日志未能记录修改后的数据,该操作将不能撤销!\n%1");

bool tableExists(db::Connection& archive, DatabaseKind kind, const QString& table)
{
    db::ResultSet rs = archive.query(tableProbeSql(kind, table));
    return rs.next();
}

qint64 rowsInScope(db::Connection& archive, DatabaseKind kind, const std::vector<journal::UnitDraft>& units)
{
    qint64 rows = 0;
    for (const journal::UnitDraft& unit : units)
        if (tableExists(archive, kind, unit.scope.table))
            rows += journal::countScope(archive, kind, unit.scope);
    return rows;
}

journal::EntryDraft draftOf(const JournalRequest& request)
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
    return draft;
}

// Above the journal's size limit: keep the image (true), trace without it
// (false), or run nothing (nullopt).
std::optional<bool> keepLargeImage(BackgroundRun& background, QWidget* owner, const QString& caption, qint64 rows)
{
    MessageRequest question{owner,
                            QStringLiteral("本次操作涉及%1行,超过操作日志单条记录上限,是否保存修改前的数据?").arg(rows),
                            caption, QMessageBox::Question,
                            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes, {}};
    switch (background.ask(question)) {
    case QMessageBox::Yes:
        return true;
    case QMessageBox::No:
        return false;
    default:
        return std::nullopt;
    }
}

// Why the command did not run, when it was not the user's choice.
struct NotRun {
    QString journal; // the journal refused
    std::optional<ArchiveRefusal> archive;
};

} // namespace

std::optional<CommandResult> runJournaled(QWidget* owner, const QString& caption, const JournalRequest& request,
                                          const std::function<CommandResult(journal::ArchiveUnit&, BackgroundRun&)>& work,
                                          std::optional<ArchiveRefusal>* refusal)
{
    CTesseraApp* app = CTesseraApp::Instance();
    journal::Journal* journal = nullptr;
    journal::JournalSettings settings;
    try {
        journal = &app->GetJournal();
        settings = journal->settings();
    } catch (const journal::JournalError& error) {
        warningMessage(owner, kJournalRefused.arg(error.message()), caption);
        return std::nullopt;
    }
    const journal::EntryDraft draft = draftOf(request);
    QStringList tables;
    for (const journal::UnitDraft& unit : draft.units)
        tables << unit.scope.table;

    std::optional<CommandResult> result;
    NotRun notRun;
    QString notRecorded;
    BackgroundRun background(owner, caption, QStringLiteral("正在记录修改前的数据……"));
    background.run([&] {
        db::Connection& archive = app->GetConnection();
        const DatabaseKind kind = app->GetDatabaseKind();
        journal::ImageChoice choice{true, request.rules, -1};
        std::optional<journal::ArchiveUnit> unit;
        std::optional<journal::JournaledCommand> command;
        try {
            choice.expectedRows = rowsInScope(archive, kind, draft.units);
            if (choice.expectedRows > settings.imageLimit) {
                const std::optional<bool> keep = keepLargeImage(background, owner, caption, choice.expectedRows);
                if (!keep)
                    return;
                choice.keepImage = *keep;
            }
            unit.emplace(archive, kind, tables);
            command.emplace(journal::JournaledCommand::begin(*journal, archive, kind, draft, *unit, choice, &background));
        } catch (const journal::JournalError& error) {
            notRun.journal = error.message();
            return;
        } catch (const db::DbError& error) {
            notRun.archive = ArchiveRefusal{error.message(), error.isConnectionLost()};
            return;
        } catch (const journal::CommandCancelled&) {
            return;
        }
        CommandResult done;
        try {
            done = work(*unit, background);
        } catch (const db::DbError& error) {
            done = {false, QStringLiteral("失败"), {}, {}, error.message()};
        }
        unit.reset(); // rolls back whatever the work did not commit
        const QString outcome = done.detail.isEmpty() ? done.outcome : done.outcome + u'\n' + done.detail;
        std::vector<std::optional<journal::AfterState>> known;
        for (size_t u = 0; u < done.written.size(); ++u)
            known.push_back(done.written[u] ? std::optional(journal::afterStateOfWritten(command->shape(int(u)),
                                                                                           *done.written[u]))
                                            : std::nullopt);
        try {
            command->finish(done.succeeded, outcome, done.counts, known);
        } catch (const journal::JournalError& error) {
            notRecorded = error.message();
        }
        result = std::move(done);
    });
    if (!notRun.journal.isEmpty())
        warningMessage(owner, kJournalRefused.arg(notRun.journal), caption);
    if (notRun.archive) {
        if (refusal)
            *refusal = notRun.archive;
        else
            failureMessage(owner, QStringLiteral("读取修改前的数据失败,修改没有执行!"), caption, notRun.archive->detail);
    }
    if (!notRecorded.isEmpty())
        warningMessage(owner, kNotRecorded.arg(notRecorded), caption);
    return result;
}

QString rangeText(const QDate& day, const QTime& start, const QTime& end)
{
    return QStringLiteral("%1 %2 至 %3")
        .arg(day.toString(QStringLiteral("yyyy-MM-dd")), start.toString(QStringLiteral("HH:mm:ss")),
             end.toString(QStringLiteral("HH:mm:ss")));
}

void failureMessage(QWidget* owner, const QString& text, const QString& caption, const QString& detail)
{
    // Without a caption, the application's standard box.
    MessageRequest request{caption.isEmpty() ? nullptr : owner, text,
                           caption.isEmpty() ? CTesseraApp::kTitle : caption, QMessageBox::Warning,
                           QMessageBox::Ok, QMessageBox::Ok, detail};
    CTesseraApp::Instance()->GetGui().message(request);
}

} // namespace tessera
