#include "records/ui/RecordCommands.h"

#include "app/CTesseraApp.h"
#include "app/GuiSeam.h"
#include "app/WaitCursor.h"
#include "db/DbError.h"
#include "records/EventKind.h"
#include "records/ui/RecordEditDialog.h"
#include "records/ui/RecordQueryDialog.h"
#include "ui/CMainFrame.h"
#include "view/CommandIds.h"
#include "view/CommandRouting.h"
#include "ui/CTesseraView.h"

namespace tessera {

using namespace records;

namespace {

void show(QWidget* owner, const Message& message)
{
    if (message.caption.isEmpty())
        standardMessage(message.text);
    else
        warningMessage(owner, message.text, message.caption);
}

// The commands act on the shared connection. Without an open one nothing can
// be written, and that is reported as the command's failure: a row shown as
// written must be in the database.
db::Connection* openConnection()
{
    CTesseraApp* app = CTesseraApp::instance();
    return app && app->connection().isOpen() ? &app->connection() : nullptr;
}

DatabaseKind databaseKind()
{
    CTesseraApp* app = CTesseraApp::instance();
    return app ? app->databaseKind() : DatabaseKind::SqlServer;
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
    RecordListModel& rows() { return list().rows(); }
    bool viewCheck(const QString& caption);
    Record rowAt(int index) { return rows().rowCells(index).mid(0, m_kind.columnCount()); }

    CMainFrame& m_frame;
    const EventKind& m_kind;
};

bool RecordCommands::viewCheck(const QString& caption)
{
    if (list().isTelemetryMode() || list().viewMode() != m_kind.mode) {
        warningMessage(&m_frame, m_kind.viewCheckText, caption);
        return false;
    }
    return true;
}

void RecordCommands::query()
{
    if (!viewCheck(m_kind.queryCaption))
        return;
    std::unique_ptr<RecordQueryDialog> dialog = makeQueryDialog(m_kind.mode, &m_frame);
    if (execDialog(*dialog) != QDialog::Accepted)
        return;
    rows().removeAllRows();
    db::Connection* connection = openConnection();
    if (!connection)
        return;
    std::vector<QStringList> read;
    bool failed = false;
    {
        WaitCursor wait;
        try {
            readQuery(*connection, m_kind, dialog->sql(), [&read](const Record& r) { read.push_back(r); });
        } catch (const db::DbError&) {
            failed = true; // the rows read so far are listed
        }
        if (m_kind.queryRowsAtTop) {
            RecordListModel::TopFill fill(rows());
            for (const QStringList& r : read)
                fill.add(r);
        } else {
            rows().appendRows(std::move(read));
        }
    }
    if (failed)
        show(&m_frame, m_kind.queryFailure);
}

void RecordCommands::modify()
{
    if (!viewCheck(m_kind.commandCaption))
        return;
    const std::vector<int> selected = list().selectedRows();
    if (selected.empty()) {
        warningMessage(&m_frame, m_kind.noSelectionForModify, m_kind.commandCaption);
        return;
    }
    const int index = selected.front();
    // The record is addressed by the row's own key values, whatever the
    // pickers offer.
    const Record original = rowAt(index);
    std::unique_ptr<RecordEditDialog> dialog = makeEditDialog(m_kind.mode, &m_frame);
    dialog->setAddMode(false);
    dialog->setRecord(original);
    Record written;
    dialog->setSubmit([&](RecordEditDialog& d, const Record& edited) {
        Record merged = original;
        for (int c : m_kind.updateSet)
            merged[c] = edited.value(c);
        db::Connection* connection = openConnection();
        bool updated = false;
        if (connection) {
            WaitCursor wait;
            try {
                updated = updateRecord(*connection, m_kind, databaseKind(), merged);
            } catch (const db::DbError&) {
            }
        }
        if (!updated) {
            show(&d, m_kind.modifyFailure);
            return false;
        }
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
    const std::vector<int> selected = list().selectedRows();
    std::unique_ptr<RecordEditDialog> dialog = makeEditDialog(m_kind.mode, &m_frame);
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
        db::Connection* connection = openConnection();
        if (!connection) {
            show(&d, m_kind.addFailure);
            return false;
        }
        try {
            WaitCursor wait;
            connection->execute(insertSql(m_kind, databaseKind(), record));
        } catch (const db::DbError&) {
            show(&d, m_kind.addFailure);
            return false;
        }
        return true;
    });
    if (execDialog(*dialog) != QDialog::Accepted)
        return;
    rows().insertRow(position, dialog->record());
}

void RecordCommands::remove()
{
    if (!viewCheck(m_kind.commandCaption))
        return;
    const std::vector<int> selected = list().selectedRows();
    if (selected.empty()) {
        warningMessage(&m_frame, m_kind.noSelectionForDelete, m_kind.commandCaption);
        return;
    }
    MessageRequest confirm{&m_frame, QStringLiteral("请确认您是否需要删除选中的记录?"), m_kind.commandCaption,
                           QMessageBox::Warning, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok};
    if (CTesseraApp::instance()->gui().message(confirm) != QMessageBox::Ok)
        return;
    bool failed = false;
    {
        WaitCursor wait;
        // Bottom row first, so that removing a row does not move those still to do.
        for (auto it = selected.rbegin(); it != selected.rend(); ++it) {
            db::Connection* connection = openConnection();
            if (!connection) {
                failed = true;
                break;
            }
            try {
                connection->execute(deleteSql(m_kind, databaseKind(), rowAt(*it)));
            } catch (const db::DbError&) {
                failed = true;
                break;
            }
            rows().removeRow(*it);
        }
    }
    if (failed)
        show(&m_frame, m_kind.deleteFailure);
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
