// Every writing command of the main window goes into the journal with the
// rows it changes, and "撤销上次操作" walks all of them back to the archive
// as it was, on each database kind.
#include "ArchiveRows.h"
#include "MainWindowTest.h"

#include "app/ReasonDialog.h"
#include "journal/Journal.h"
#include "records/ui/RecordEditDialog.h"
#include "telemetry/ui/BatchSetDialog.h"
#include "telemetry/ui/DateSelectDialog.h"
#include "telemetry/ui/ReplaceDialog.h"
#include "telemetry/ui/TelemetryValueDialog.h"
#include "view/CommandIds.h"

#include <QApplication>
#include <QDir>
#include <QTest>
#include <QTimeEdit>

using namespace tessera;
using namespace tessera::test;

namespace {

class CommandJournalTest : public MainWindowTest {
protected:
    void fillArchive() override
    {
        demo::writeEventsOfDay(connection(), kind(), today);
        writeDemoDays({today.addDays(-1), today});
    }

    // Every row of the tables the commands touch, as sorted lines.
    QStringList archive()
    {
        QStringList lines;
        for (const QString& table : {TelemetryTableName(today), QStringLiteral("Event")})
            for (const QString& row : rowsOf(connection(), QStringLiteral("SELECT * FROM ") + table))
                lines << table + u'|' + row;
        lines.sort();
        return lines;
    }

    // Runs a writing command, its dialog filled and given the reason.
    template <class Dialog>
    void run(int command, const QString& reason, std::function<void(Dialog&)> fill = {})
    {
        MainWindowTest::run<Dialog>(command, [reason, fill](Dialog& d) {
            if (fill)
                fill(d);
            typeInto(d, "reason", reason);
            clickOk(d);
        });
    }

    static void setTime(QWidget& d, const char* name, QTime time) { d.findChild<QTimeEdit*>(name)->setTime(time); }

    const QDate today = QDate::currentDate();
};

TEST_P(CommandJournalTest, EveryWritingCommandIsJournaledAndUndoneToTheRowsBefore)
{
    const QStringList before = archive();

    // Telemetry: a sample added, two listed ones deleted, a zeroing, a batch
    // setting and a replacement from yesterday.
    selectNode(kFeederTag);
    run<TelemetryValueDialog>(cmd::TelemetrySingleValue, "补录", [](TelemetryValueDialog& d) {
        setTime(d, "time", QTime(0, 0, 30));
        typeInto(d, "value", "3.5");
    });
    selectListRows({0});
    run<ReasonDialog>(cmd::TelemetryDelete, "误采");
    run<DateSelectDialog>(cmd::TelemetryZero, "设备检修", [](DateSelectDialog& d) {
        setTime(d, "startTime", QTime(8, 0));
        setTime(d, "endTime", QTime(9, 59, 59));
    });
    run<BatchSetDialog>(cmd::TelemetryBatchSet, "人工置数", [](BatchSetDialog& d) {
        setTime(d, "startTime", QTime(10, 0));
        setTime(d, "endTime", QTime(11, 0));
        typeInto(d, "maximum", "100");
    });
    run<ReplaceDialog>(cmd::TelemetryReplace, "用昨日数据替换", [](ReplaceDialog& d) {
        setTime(d, "startTime", QTime(12, 0));
        setTime(d, "endTime", QTime(12, 59, 59));
    });
    // Records: an operation event modified, then deleted.
    frame->runCommand(cmd::ShowOperationEvents);
    QApplication::processEvents();
    ASSERT_GT(frame->list()->GetRows().rowCount(), 0);
    selectListRows({0});
    run<RecordEditDialog>(cmd::EventModify, "内容有误",
                          [](RecordEditDialog& d) { typeInto(d, "content", "已更正"); });
    selectListRows({0});
    run<ReasonDialog>(cmd::EventDelete, "重复记录");
    EXPECT_NE(archive(), before);

    journal::Journal& journal = app.GetJournal();
    const auto commands = journal.entries();
    ASSERT_EQ(commands.size(), 7u) << gui->messageTexts().join(u'\n').toStdString();
    for (const auto& e : commands) {
        EXPECT_EQ(e.state, journal::EntryState::Done) << e.commandName.toStdString() << " " << e.outcome.toStdString();
        EXPECT_FALSE(e.reason.isEmpty());
        const auto details = journal.entry(e.id);
        ASSERT_EQ(details->units.size(), 1u);
        EXPECT_TRUE(details->units[0].beforeKept);
        // Only the added sample had nothing there before it.
        EXPECT_EQ(details->units[0].beforeRows == 0, e.commandId == cmd::TelemetrySingleValue)
            << e.commandName.toStdString();
    }

    // Walked back, newest first (the first by Ctrl+Z), each undo journaled in turn with its reason.
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    for (size_t i = 0; i < commands.size(); ++i) {
        gui->onDialog<ReasonDialog>([](ReasonDialog& d) {
            typeInto(d, "reason", "误操作");
            clickOk(d);
        });
        if (i == 0)
            QTest::keyClick(frame.get(), Qt::Key_Z, Qt::ControlModifier);
        else
            frame->runCommand(cmd::UndoLastOperation);
        ASSERT_EQ(gui->messages().back().text.left(5), "撤销完成!") << i << gui->messages().back().text.toStdString();
    }
    // The oldest command added a sample: its undo deletes it and writes nothing back.
    EXPECT_EQ(gui->messages().back().text, "撤销完成!\n删除1行,写回0行。");
    EXPECT_EQ(archive(), before);
    frame->runCommand(cmd::UndoLastOperation);
    EXPECT_EQ(gui->messages().back().text, "当前数据源没有可以撤销的操作!");
    const auto all = journal.entries();
    ASSERT_EQ(all.size(), 14u);
    for (size_t i = 0; i < commands.size(); ++i) {
        const qint64 undone = commands[commands.size() - 1 - i].id;
        EXPECT_EQ(all[i].undoOf, undone);
        EXPECT_EQ(all[i].reason, "误操作");
        EXPECT_EQ(journal.entry(undone)->undoneBy, all[i].id);
    }
}

// Nothing changes in the archive without its journal entry.
TEST_P(CommandJournalTest, AJournalThatCannotBeWrittenStopsTheCommand)
{
    ASSERT_TRUE(QDir(dir.path()).mkpath("OperationJournal.sqlite"));
    const QStringList before = archive();
    selectNode(kFeederTag);
    run<DateSelectDialog>(cmd::TelemetryZero, "设备检修");
    ASSERT_FALSE(gui->messages().empty());
    EXPECT_TRUE(gui->messages().back().text.startsWith("操作日志无法记录本次修改,修改没有执行!"))
        << gui->messages().back().text.toStdString();
    EXPECT_EQ(archive(), before);
}

INSTANTIATE_TEST_SUITE_P(Kinds, CommandJournalTest, allDatabaseKinds(), kindName);

} // namespace
