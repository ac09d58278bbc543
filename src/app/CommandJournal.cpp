#include "app/CommandJournal.h"

#include "app/BackgroundRun.h"
#include "app/CTesseraApp.h"
#include "db/DbError.h"
#include "db/ResultSet.h"
#include "dialect/TableTransactions.h"
#include "journal/ArchiveImage.h"
#include "dialect/ArchiveUnit.h"
#include "journal/Journal.h"

#include <QDate>
#include <QTime>

namespace tessera {

namespace {

const QString kJournalRefused = QStringLiteral("操作日志无法记录本次修改,修改没有执行!\n%1");
const QString kNotRecorded = QStringLiteral("数据已经修改,但操作日志未能记录修改后的数据,该操作将不能撤销!\n%1");

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

using Work = std::function<CommandResult(ArchiveUnit&, BackgroundRun&)>;

// One journaled command on the worker thread, and what became of it for the
// GUI thread to tell.
class JournaledRun {
public:
    JournaledRun(journal::Journal& journal, const journal::JournalSettings& settings, const JournalRequest& request,
                 QWidget* owner, const QString& caption)
        : m_journal(journal), m_settings(settings), m_request(request), m_draft(draftOf(request)), m_owner(owner),
          m_caption(caption)
    {
    }

    void run(BackgroundRun& background, const Work& work)
    {
        db::Connection& archive = CTesseraApp::Instance()->GetConnection();
        const DatabaseKind kind = CTesseraApp::Instance()->GetDatabaseKind();
        std::optional<ArchiveUnit> unit;
        std::optional<journal::JournaledCommand> command;
        try {
            journal::ImageChoice choice{true, m_request.rules, rowsInScope(archive, kind, m_draft.units)};
            if (choice.expectedRows > m_settings.imageLimit) {
                const std::optional<bool> keep = keepLargeImage(background, m_owner, m_caption, choice.expectedRows);
                if (!keep)
                    return;
                choice.keepImage = *keep;
            }
            QStringList tables;
            for (const journal::UnitDraft& u : m_draft.units)
                tables << u.scope.table;
            unit.emplace(archive, kind, tables);
            command.emplace(journal::JournaledCommand::begin(m_journal, archive, kind, m_draft, *unit, choice, &background));
        } catch (const journal::JournalError& error) {
            journalRefusal = error.message();
            return;
        } catch (const db::DbError& error) {
            archiveRefusal = ArchiveRefusal{error.message(), error.isConnectionLost()};
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
        finish(*command, done);
        result = std::move(done);
    }

    std::optional<CommandResult> result;
    QString journalRefusal;
    std::optional<ArchiveRefusal> archiveRefusal;
    QString notRecorded;

private:
    // The entry ends with the work's outcome, the driver's text with it.
    void finish(journal::JournaledCommand& command, const CommandResult& done)
    {
        const QString outcome = done.detail.isEmpty() ? done.outcome : done.outcome + u'\n' + done.detail;
        std::vector<std::optional<journal::AfterState>> known;
        for (size_t u = 0; u < done.written.size(); ++u) {
            known.push_back(std::nullopt);
            if (done.written[u])
                known.back() = journal::afterStateOfWritten(command.shape(int(u)), *done.written[u]);
        }
        try {
            command.finish(done.succeeded, outcome, done.counts, known);
        } catch (const journal::JournalError& error) {
            notRecorded = error.message();
        }
    }

    journal::Journal& m_journal;
    journal::JournalSettings m_settings;
    const JournalRequest& m_request;
    journal::EntryDraft m_draft;
    QWidget* m_owner;
    QString m_caption;
};

} // namespace

std::optional<CommandResult> runJournaled(QWidget* owner, const QString& caption, const JournalRequest& request,
                                          const Work& work, std::optional<ArchiveRefusal>* refusal)
{
    std::optional<JournaledRun> journaled;
    try {
        journal::Journal& journal = CTesseraApp::Instance()->GetJournal();
        journaled.emplace(journal, journal.settings(), request, owner, caption);
    } catch (const journal::JournalError& error) {
        warningMessage(owner, kJournalRefused.arg(error.message()), caption);
        return std::nullopt;
    }
    BackgroundRun background(owner, caption, QStringLiteral("正在记录修改前的数据……"));
    background.run([&] { journaled->run(background, work); });
    if (!journaled->journalRefusal.isEmpty())
        warningMessage(owner, kJournalRefused.arg(journaled->journalRefusal), caption);
    if (journaled->archiveRefusal) {
        if (refusal)
            *refusal = journaled->archiveRefusal;
        else
            failureMessage(owner, QStringLiteral("读取修改前的数据失败,修改没有执行!"), caption,
                           journaled->archiveRefusal->detail);
    }
    if (!journaled->notRecorded.isEmpty())
        warningMessage(owner, kNotRecorded.arg(journaled->notRecorded), caption);
    return journaled->result;
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
    showMessage(request);
}

} // namespace tessera
