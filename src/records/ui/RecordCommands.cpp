#include "records/ui/RecordCommands.h"

#include "app/BackgroundRun.h"
#include "app/CTesseraApp.h"
#include "app/CommandJournal.h"
#include "app/GuardedRun.h"
#include "app/ReasonDialog.h"
#include "app/GuiSeam.h"
#include "app/SharedConnection.h"
#include "db/Connection.h"
#include "journal/ArchiveImage.h"
#include "dialect/ArchiveUnit.h"
#include "records/EventKind.h"
#include "records/RecordWrites.h"
#include "records/ui/RecordEditDialog.h"
#include "records/ui/RecordQueryDialog.h"
#include "ui/CMainFrame.h"
#include "ui/CTesseraView.h"
#include "view/CommandIds.h"
#include "view/CommandRouting.h"

namespace tessera {

using namespace records;

namespace {

Notice notice(QWidget* owner, const Message& message)
{
    return {owner, message.text, message.caption};
}

CTesseraApp& app()
{
    return *CTesseraApp::Instance();
}

class RecordCommands {
public:
    RecordCommands(CMainFrame& frame, const EventKind& kind) : m_frame(frame), m_kind(kind) {}

    void query();
    void add();
    void modify();
    void remove();

private:
    CTesseraView& list() { return *m_frame.list(); }
    RecordListModel& rows() { return list().GetRows(); }
    bool viewCheck(const QString& caption);
    // The selected rows while the list shows this kind; empty after a
    // refusal, none selected refused with `refusal`.
    std::vector<int> selection(const QString& refusal);
    Record rowAt(int index) { return rows().rowCells(index).mid(0, m_kind.columnCount()); }
    // Adds or modifies one record from the edit dialog, journaled; false
    // (the failure shown) keeps the dialog open.
    bool writeOne(RecordEditDialog& d, int generic, const QString& commandName, const Record& record,
                  const Message& failure, const std::function<bool(db::Connection&)>& write);
    // The kind's own id of a generic command.
    int commandId(int generic) const { return *routeGenericCommand(generic, m_kind.mode, false); }
    // The journal's view of one command on the records `scope` addresses.
    JournalRequest journalRequest(int commandId, const QString& caption, const journal::UnitScope& scope, qsizetype rows,
                                  const QString& reason) const;
    // When the keys address more records than the rows show, asks once
    // whether all of them are meant; false: the command does not run.
    bool acceptAllMatched(QWidget* owner, const journal::UnitScope& scope, qsizetype rows, const QString& question);

    CMainFrame& m_frame;
    const EventKind& m_kind;
};

bool RecordCommands::viewCheck(const QString& caption)
{
    if (list().IsTelemetryMode() || list().GetViewMode() != m_kind.mode) {
        warningMessage(&m_frame, m_kind.viewCheckText, caption);
        return false;
    }
    return true;
}

JournalRequest RecordCommands::journalRequest(int commandId, const QString& caption, const journal::UnitScope& scope,
                                              qsizetype rows, const QString& reason) const
{
    const QString text = QStringLiteral("%1条记录").arg(rows);
    return {commandId, caption, text, reason, {{scope, text, {}, std::nullopt}}, {}};
}

bool RecordCommands::acceptAllMatched(QWidget* owner, const journal::UnitScope& scope, qsizetype rows,
                                      const QString& question)
{
    qint64 matched = 0;
    if (!runWaiting([&] { matched = journal::countScope(app().GetConnection(), sharedDatabaseKind(), scope); }))
        return true; // the statement itself will tell
    if (matched <= rows)
        return true;
    MessageRequest ask{owner, question.arg(matched), m_kind.commandCaption, QMessageBox::Question,
                       QMessageBox::Yes | QMessageBox::No, QMessageBox::No, {}};
    return showMessage(ask) == QMessageBox::Yes;
}

std::vector<int> RecordCommands::selection(const QString& refusal)
{
    if (!viewCheck(m_kind.commandCaption))
        return {};
    std::vector<int> selected = list().GetSelectedRows();
    if (selected.empty())
        warningMessage(&m_frame, refusal, m_kind.commandCaption);
    return selected;
}

void RecordCommands::query()
{
    if (!viewCheck(m_kind.queryCaption))
        return;
    std::unique_ptr<RecordQueryDialog> dialog = makeKindDialog<RecordQueryDialog>(m_kind.mode, &m_frame);
    if (execDialog(*dialog) != QDialog::Accepted)
        return;
    rows().removeAllRows();
    db::Connection* connection = openSharedConnection();
    if (!connection)
        return;
    std::vector<QStringList> read;
    std::optional<db::DbError> refusal;
    const bool completed = runWaiting(
        [&] { readQuery(*connection, m_kind, dialog->sql(), [&read](const Record& r) { read.push_back(r); }); },
        &refusal);
    // The rows read before a failure are listed too.
    if (m_kind.queryRowsAtTop) {
        RecordListModel::TopFill fill(rows());
        for (const QStringList& r : read)
            fill.add(r);
    } else {
        rows().appendRows(std::move(read));
    }
    if (!completed)
        showNotice(notice(&m_frame, m_kind.queryFailure), refusal ? refusal->message() : QString());
}

bool RecordCommands::writeOne(RecordEditDialog& d, int generic, const QString& commandName, const Record& record,
                              const Message& failure, const std::function<bool(db::Connection&)>& write)
{
    if (!openSharedConnection()) {
        showNotice(notice(&d, failure));
        return false;
    }
    const journal::UnitScope scope = recordsScope(m_kind, {record}, KeyOf::Update);
    if (generic == cmd::GenericModify
        && !acceptAllMatched(&d, scope, 1, QStringLiteral("该条件匹配%1条记录,是否全部修改?")))
        return false;
    std::optional<ArchiveRefusal> refused;
    const auto result = runJournaled(
        &d, d.windowTitle(), journalRequest(commandId(generic), commandName, scope, 1, d.reason()),
        [&](ArchiveUnit& unit, BackgroundRun&) {
            const bool written = write(app().GetConnection());
            unit.commit();
            return CommandResult{written, written ? QStringLiteral("完成") : QStringLiteral("失败"),
                                 {-1, written ? 1 : 0, 0}, {}, {}};
        },
        &refused);
    const bool written = result && result->succeeded;
    if (!written && (refused || result))
        failureMessage(&d, failure.text, failure.caption, refused ? refused->detail : result->detail);
    return written;
}

void RecordCommands::modify()
{
    const std::vector<int> selected = selection(m_kind.noSelectionForModify);
    if (selected.empty())
        return;
    const int index = selected.front();
    // The record is addressed by the row's own key values, whatever the
    // pickers offer.
    const Record original = rowAt(index);
    std::unique_ptr<RecordEditDialog> dialog = makeKindDialog<RecordEditDialog>(m_kind.mode, &m_frame);
    dialog->setAddMode(false);
    dialog->setRecord(original);
    Record written;
    dialog->setSubmit([&](RecordEditDialog& d, const Record& edited) {
        Record merged = original;
        for (int c : m_kind.updateSet)
            merged[c] = edited.value(c);
        if (!writeOne(d, cmd::GenericModify, m_kind.modifyCaption, merged, m_kind.modifyFailure,
                      [&](db::Connection& c) { return updateRecord(c, m_kind, sharedDatabaseKind(), merged); }))
            return false;
        written = merged;
        return true;
    });
    if (execDialog(*dialog) != QDialog::Accepted)
        return;
    for (int c : m_kind.updateSet)
        rows().setCell(index, c, written.value(c));
}

void RecordCommands::add()
{
    if (!viewCheck(m_kind.commandCaption))
        return;
    const std::vector<int> selected = list().GetSelectedRows();
    std::unique_ptr<RecordEditDialog> dialog = makeKindDialog<RecordEditDialog>(m_kind.mode, &m_frame);
    dialog->setAddMode(true);
    int position = 0;
    if (!selected.empty()) {
        position = selected.front();
        Record prefill = rowAt(position);
        for (int c : m_kind.clearedOnAdd)
            prefill[c].clear();
        dialog->setRecord(prefill);
    }
    dialog->setSubmit([&](RecordEditDialog& d, const Record& record) {
        return writeOne(d, cmd::GenericAdd, m_kind.addCaption, record, m_kind.addFailure, [&](db::Connection& c) {
            c.execute(insertSql(m_kind, sharedDatabaseKind(), record));
            return true;
        });
    });
    if (execDialog(*dialog) != QDialog::Accepted)
        return;
    rows().insertRow(position, dialog->record());
}

void RecordCommands::remove()
{
    const std::vector<int> selected = selection(m_kind.noSelectionForDelete);
    if (selected.empty())
        return;
    ReasonDialog confirm(&m_frame, m_kind.commandCaption, QStringLiteral("请确认您是否需要删除选中的记录?"),
                         QMessageBox::Warning);
    if (execDialog(confirm) != QDialog::Accepted || !openSharedConnection())
        return;
    std::vector<Record> rowsToDelete;
    for (int row : selected)
        rowsToDelete.push_back(rowAt(row));
    const journal::UnitScope scope = recordsScope(m_kind, rowsToDelete, KeyOf::Delete);
    if (!acceptAllMatched(&m_frame, scope, qsizetype(selected.size()),
                          QStringLiteral("该条件匹配%1条记录,是否全部删除?")))
        return;
    qint64 removed = 0;
    std::optional<ArchiveRefusal> refused;
    const auto result = runJournaled(
        &m_frame, m_kind.commandCaption,
        journalRequest(commandId(cmd::GenericDelete), QStringLiteral("%1删除").arg(m_kind.commandCaption), scope,
                       qsizetype(selected.size()), confirm.reason()),
        [&](ArchiveUnit& unit, BackgroundRun&) {
            QString failure;
            removed = deleteRecords(m_kind, sharedDatabaseKind(), rowsToDelete, unit, failure);
            const bool done = failure.isEmpty();
            return CommandResult{done, done ? QStringLiteral("完成") : QStringLiteral("失败"), {removed, -1, 0}, {},
                                 failure};
        },
        &refused);
    // The deleted rows leave the list from the bottom, as they went.
    for (qint64 i = 0; i < removed; ++i)
        rows().removeRow(selected[selected.size() - 1 - size_t(i)]);
    if (refused || (result && !result->succeeded))
        failureMessage(&m_frame, m_kind.deleteFailure.text, m_kind.deleteFailure.caption,
                       refused ? refused->detail : result ? result->detail : QString());
}

} // namespace

void installRecordCommands(CMainFrame& frame)
{
    // Each kind's command ids are those the generic commands route to while
    // the list shows that kind.
    for (const EventKind& kind : eventKinds()) {
        const EventKind* k = &kind;
        const auto id = [&kind](int generic) { return *routeGenericCommand(generic, kind.mode, false); };
        frame.setHandler(id(cmd::GenericQuery), [&frame, k] { RecordCommands(frame, *k).query(); });
        frame.setHandler(id(cmd::GenericAdd), [&frame, k] { RecordCommands(frame, *k).add(); });
        frame.setHandler(id(cmd::GenericModify), [&frame, k] { RecordCommands(frame, *k).modify(); });
        frame.setHandler(id(cmd::GenericDelete), [&frame, k] { RecordCommands(frame, *k).remove(); });
    }
}

} // namespace tessera
