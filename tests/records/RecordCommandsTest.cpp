#include "ArchiveRows.h"
#include "MainWindowTest.h"
#include "ModelCells.h"
#include "RefusingTriggers.h"

#include "app/ReasonDialog.h"
#include "journal/Journal.h"
#include "records/EventKind.h"
#include "records/ui/RecordEditDialog.h"
#include "records/ui/RecordQueryDialog.h"
#include "ui/CTesseraView.h"
#include "view/CommandIds.h"

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateEdit>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>

using namespace tessera;
using namespace tessera::records;
using namespace tessera::test;
using namespace Qt::StringLiterals;

namespace {

// A picker's entries, sorted.
QStringList entries(QComboBox* box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    items.sort();
    return items;
}

// Chooses an entry with the keyboard, as a user would; a list already on the
// entry is moved off and back, so that the choice is made.
void choose(QComboBox* box, const QString& text)
{
    ASSERT_NE(box, nullptr);
    const int target = box->findText(text);
    ASSERT_GE(target, 0) << text.toStdString();
    box->setFocus();
    if (box->currentIndex() == target)
        QTest::keyClick(box, target > 0 ? Qt::Key_Up : Qt::Key_Down);
    while (box->currentIndex() < target)
        QTest::keyClick(box, Qt::Key_Down);
    while (box->currentIndex() > target)
        QTest::keyClick(box, Qt::Key_Up);
}

// The commands of the four record kinds on the real main window, against each database kind.
class RecordCommandsTest : public MainWindowTest {
protected:
    static QComboBox* combo(QWidget& dialog, const char* name) { return dialog.findChild<QComboBox*>(name); }
    static bool enabled(QWidget& dialog, const char* name) { return dialog.findChild<QWidget*>(name)->isEnabled(); }
    RecordListModel& rows() { return frame->list()->GetRows(); }
    QStringList column(int c) { return columnTexts(rows(), c); }
    // The first column of a query's rows.
    QStringList values(const QString& sql) { return rowsOf(connection(), sql); }
    void showKind(int viewSwitch)
    {
        frame->runCommand(viewSwitch);
        QApplication::processEvents();
    }
    // Writes records dated today.
    void insertToday(ViewMode mode, const std::vector<Record>& records)
    {
        const EventKind& k = *eventKind(mode);
        for (Record record : records) {
            record[k.dateColumn] = dateText(QDate::currentDate());
            connection().execute(insertSql(k, kind(), record));
        }
    }
    void clickRow(int row, Qt::KeyboardModifiers modifiers = {})
    {
        CTesseraView* view = frame->list();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers,
                          view->visualRect(view->model()->index(row, 0)).center());
    }
    const ScriptedGui::Message& lastMessage() const { return gui->messages().back(); }
    // Answers the delete's question, titled with the kind's caption: 是 or 否.
    void confirmDelete(const QString& caption, bool yes)
    {
        gui->onDialog<ReasonDialog>([=](ReasonDialog& d) {
            EXPECT_EQ(d.windowTitle(), caption);
            EXPECT_EQ(d.findChild<QLabel*>(u"question"_s)->text(), u"请确认您是否需要删除选中的记录?"_s);
            if (yes)
                clickOk(d);
        });
    }
    // Enters a text the OK step refuses with a message, then a valid one.
    void refuses(QDialog& d, const char* field, const QString& bad, const QString& text, const QString& good)
    {
        typeInto(d, field, bad);
        refused(d, field, text);
        typeInto(d, field, good);
    }
};

TEST_P(RecordCommandsTest, OperationEventsAddModifyAndDelete)
{
    showKind(cmd::ShowOperationEvents);
    ASSERT_EQ(frame->list()->GetViewMode(), ViewMode::OperationEvents);

    // Add with nothing selected: current date and time, zeros, the new row on top.
    run<CEventEditDlg>(cmd::EventAdd, [&](CEventEditDlg& d) {
        EXPECT_EQ(d.windowTitle(), u"事件添加"_s);
        EXPECT_EQ(textOf(d, "type"), u"0"_s);
        typeInto(d, "type", u"100"_s);
        typeInto(d, "milliseconds", u"1000"_s);
        typeInto(d, "content", u"O'Brien合闸"_s);
        typeInto(d, "runSystem", u"主站"_s);
        typeInto(d, "operator", u"张工"_s);
        // Chinese text arrives from a user as an input-method commit.
        auto* note = d.findChild<QPlainTextEdit*>(u"note"_s);
        note->setFocus();
        QInputMethodEvent input;
        input.setCommitString(u"交接"_s);
        QApplication::sendEvent(note, &input);
        clickOk(d);
    });
    ASSERT_EQ(rows().rowCount(), 1);
    const QStringList first = rows().rowCells(0);
    EXPECT_EQ(first.mid(0, 2), (QStringList{u"100"_s, dateText(QDate::currentDate())}));
    EXPECT_EQ(first.mid(3), (QStringList{"1000", "O'Brien合闸", "主站", "张工", "交接"}));

    // Add from the selected row (toolbar): prefilled, inserted at its position.
    clickRow(0);
    gui->onDialog<CEventEditDlg>([&](CEventEditDlg& d) {
        EXPECT_EQ(textOf(d, "content"), u"O'Brien合闸"_s);
        EXPECT_EQ(textOf(d, "type"), u"100"_s);
        EXPECT_EQ(d.findChild<QTimeEdit*>(u"time"_s)->time().toString(u"HH:mm:ss"_s), first.value(2));
        typeInto(d, "milliseconds", u"5"_s);
        typeInto(d, "content", u"second"_s);
        clickOk(d);
    });
    frame->action(cmd::GenericAdd)->trigger();
    EXPECT_EQ(column(4), (QStringList {"second", "O'Brien合闸"}));

    // Modify rewrites the non-key columns of that record only.
    clickRow(1);
    const QString injection = u"'); DELETE FROM Event; --"_s;
    gui->onDialog<CEventEditDlg>([&](CEventEditDlg& d) {
        EXPECT_EQ(d.windowTitle(), u"事件修改"_s);
        EXPECT_FALSE(enabled(d, "date"));
        EXPECT_FALSE(enabled(d, "milliseconds"));
        EXPECT_TRUE(enabled(d, "type"));
        typeInto(d, "type", u"7"_s);
        typeInto(d, "content", injection);
        clickOk(d);
    });
    frame->action(cmd::EventModify)->trigger();
    EXPECT_EQ(rows().cell(1, 0), u"7"_s);
    EXPECT_EQ(column(4), (QStringList {u"second"_s, injection}));
    EXPECT_EQ(values(u"SELECT Contents FROM Event WHERE MiniSecond=1000"_s), QStringList{injection});

    // A record deleted meanwhile: the modify fails, the dialog stays, the row stays.
    connection().execute(u"DELETE FROM Event WHERE MiniSecond=5"_s);
    clickRow(0);
    gui->onDialog<CEventEditDlg>([&](CEventEditDlg& d) {
        typeInto(d, "content", u"lost"_s);
        clickOk(d);
        EXPECT_TRUE(d.isVisible());
    });
    frame->action(cmd::GenericModify)->trigger();
    ASSERT_FALSE(gui->messages().empty());
    EXPECT_EQ(lastMessage().text, u"事件修改失败!"_s);
    EXPECT_EQ(lastMessage().caption, u"事件修改"_s);
    EXPECT_EQ(rows().cell(0, 4), u"second"_s);

    // Delete: 否 keeps everything; 是 deletes every selected row.
    clickRow(0);
    clickRow(1, Qt::ControlModifier);
    confirmDelete(u"操作事件"_s, false);
    frame->action(cmd::EventDelete)->trigger();
    EXPECT_EQ(rows().rowCount(), 2);
    confirmDelete(u"操作事件"_s, true);
    frame->action(cmd::GenericDelete)->trigger();
    EXPECT_EQ(rows().rowCount(), 0);
}

// Each check keeps the dialog open with its message and focus; so does a
// statement the database refuses, and a closed connection, which is a
// failure, not a success.
TEST_P(RecordCommandsTest, EditChecksAndFailuresKeepTheDialogOpen)
{
    showKind(cmd::ShowOperationEvents);
    run<CEventEditDlg>(cmd::EventAdd, [&](CEventEditDlg& d) {
        for (const QString& bad : {u"101"_s, u"1a"_s})
            refuses(d, "type", bad, u"请输入0到100之间的整数。"_s, u"100"_s);
        refuses(d, "milliseconds", u"1001"_s, u"请输入0到1000之间的整数。"_s, u"0"_s);
        refused(d, "content", u"请填写事件内容!"_s);
        EXPECT_EQ(lastMessage().caption, u"操作事件"_s);
        typeInto(d, "content", u"c"_s);
        refused(d, "runSystem", u"请填写运行系统!"_s);
        typeInto(d, "runSystem", u"r"_s);
        refused(d, "operator", u"请填写操作员!"_s);
        // Longer than the column: the servers refuse, the input stays.
        if (kind() != DatabaseKind::SQLite) {
            typeInto(d, "operator", QString(60, u'x'));
            clickOk(d);
            EXPECT_TRUE(d.isVisible());
            EXPECT_EQ(lastMessage().text, u"事件添加失败!"_s);
            EXPECT_EQ(textOf(d, "operator"), QString(60, u'x'));
        }
        typeInto(d, "operator", u"o"_s);
        app.GetConnection().close(); // as after a data source of no known kind
        clickOk(d);
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(lastMessage().text, u"事件添加失败!"_s);
    });
    EXPECT_EQ(rows().rowCount(), 0) << "nothing shown as written";
    EXPECT_EQ(countRows(u"Event"_s), 0);
}

TEST_P(RecordCommandsTest, DeleteWorksBottomUpAndStopsAtTheFirstFailure)
{
    insertToday(ViewMode::OperationEvents, {{"1", "", "08:00:00", "1", "top", "主站", "张工", ""},
                                            {"1", "", "07:00:00", "1", "block", "主站", "张工", ""},
                                            {"1", "", "06:00:00", "1", "bottom", "主站", "张工", ""}});
    refuseRows(connection(), kind(), u"Event"_s, u"DELETE"_s, u"OLD.Contents='block'"_s);
    showKind(cmd::ShowOperationEvents);

    // The query lists the newest first.
    run<CEventQueryDlg>(cmd::EventQuery, [](CEventQueryDlg& d) { clickOk(d); });
    EXPECT_EQ(column(4), (QStringList {"top", "block", "bottom"}));
    EXPECT_EQ(rows().cell(0, 2), u"08:00:00"_s);

    for (int r = 0; r < 3; ++r)
        clickRow(r, r ? Qt::ControlModifier : Qt::NoModifier);
    confirmDelete(u"操作事件"_s, true);
    frame->runCommand(cmd::EventDelete);
    ASSERT_EQ(gui->messageTexts(), QStringList{u"事件删除失败!"_s});
    EXPECT_EQ(lastMessage().caption, u"事件提示"_s);
    EXPECT_FALSE(lastMessage().details.isEmpty()) << "the driver's text in the details";
    EXPECT_EQ(column(4), (QStringList {"top", "block"}));
    EXPECT_EQ(values(u"SELECT Contents FROM Event ORDER BY Contents"_s), (QStringList {"block", "top"}));
}

// In a list sorted by a header click, a delete takes the records shown selected.
TEST_P(RecordCommandsTest, DeleteInASortedListTakesTheRowsShownSelected)
{
    insertToday(ViewMode::OperationEvents, {{"1", "", "08:00:00", "1", "b", "主站", "张工", ""},
                                            {"1", "", "07:00:00", "1", "c", "主站", "张工", ""},
                                            {"1", "", "06:00:00", "1", "a", "主站", "张工", ""}});
    showKind(cmd::ShowOperationEvents);
    run<CEventQueryDlg>(cmd::EventQuery, [](CEventQueryDlg& d) { clickOk(d); });
    QHeaderView* header = frame->list()->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(4) + 5, header->height() / 2));
    clickRow(0);
    confirmDelete(u"操作事件"_s, true);
    frame->runCommand(cmd::EventDelete);
    EXPECT_EQ(values(u"SELECT Contents FROM Event ORDER BY Contents"_s), (QStringList {"b", "c"}));
    EXPECT_EQ(column(4), (QStringList {"b", "c"}));
}

TEST_P(RecordCommandsTest, ViewChecksAndSelections)
{
    showKind(cmd::ShowOperationEvents);
    const struct {
        int group;
        int command;
        QString text;
        QString caption;
    } cases[] = {
        {2, cmd::LimitAlarmQuery, u"请将视图切换到越限事件显示窗口!"_s, u"越限提示"_s},
        {3, cmd::SignalChangeAdd, u"请将视图切换到遥信变位显示窗口!"_s, u"遥信变位"_s},
        {3, cmd::SignalChangeQuery, u"请将视图切换到遥信变位显示窗口!"_s, u"越限提示"_s},
        {4, cmd::SoeDelete, u"请将视图切换到SOE显示窗口!"_s, u"SOE事件"_s},
        {1, cmd::EventModify, u"请选择要修改的事件项!"_s, u"操作事件"_s},
        {1, cmd::EventDelete, u"请选择要删除的事件项!"_s, u"操作事件"_s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        frame->setCommandGroup(c.group);
        frame->runCommand(c.command);
        ASSERT_FALSE(gui->messages().empty());
        EXPECT_EQ(lastMessage().text, c.text);
        EXPECT_EQ(lastMessage().caption, c.caption);
    }
    EXPECT_EQ(gui->messages().size(), 6u);
    EXPECT_EQ(gui->dialogsShown(), 0);
}

TEST_P(RecordCommandsTest, LimitAlarmPickersAddAndModify)
{
    showKind(cmd::ShowLimitAlarms);
    const QString station = u"城南变电站"_s;
    run<CLimitAlarmEditDlg>(cmd::LimitAlarmAdd, [&](CLimitAlarmEditDlg& d) {
        EXPECT_EQ(d.windowTitle(), u"越限事件添加"_s);
        QComboBox* st = combo(d, "station");
        QComboBox* sw = combo(d, "switch");
        QComboBox* tag = combo(d, "tag");
        // A fresh dialog: the first station, its first switch, that switch's first tag.
        for (QComboBox* box : {st, sw, tag})
            EXPECT_EQ(box->currentIndex(), 0) << box->objectName().toStdString();
        EXPECT_EQ(combo(d, "alarmName")->currentText(), u"越下下限"_s);
        EXPECT_EQ(combo(d, "alarmName")->count(), 4);

        // Another station: its telemetry switches, the last one chosen, its first tag.
        choose(st, station);
        EXPECT_EQ(entries(sw), (QStringList {"", "10kV城关线", "10kV工业线", "1号主变"}));
        EXPECT_EQ(sw->currentIndex(), sw->count() - 1);
        EXPECT_EQ(tag->currentIndex(), 0);
        choose(sw, u"1号主变"_s);
        EXPECT_EQ(entries(tag), (QStringList {"A相电流", "无功功率", "有功功率"}));
        EXPECT_EQ(tag->currentIndex(), 0);
        choose(tag, u"有功功率"_s);
        choose(combo(d, "alarmName"), u"越上限"_s);

        // Not numbers, out of range, or without a finite value: NaN compares
        // false with both bounds, the others overflow single precision.
        for (const char* field : {"alarmValue", "limitValue"}) {
            for (const char* text :
                 {"abc", "10000001", "nan", "NaN", "-nan", "inf", "-inf", "infinity", "1e400", "1e39"}) {
                SCOPED_TRACE(std::string(field) + " " + text);
                refuses(d, field, QString::fromLatin1(text), u"请输入0到10000000之间的数。"_s, u"1.5"_s);
            }
        }
        typeInto(d, "alarmValue", u"12.5"_s);
        typeInto(d, "limitValue", u"10000000"_s);
        refuses(d, "operator", QString(51, u'o'), u"输入的内容不能超过50个字符。"_s, u"张工"_s);
        typeInto(d, "lineName", u"L'1"_s);
        typeInto(d, "alarmStatus", u"告警"_s);
        clickOk(d);
    });
    ASSERT_EQ(rows().rowCount(), 1);
    EXPECT_EQ(rows().rowCells(0).mid(3),
        (QStringList{station, "1号主变", "L'1", "有功功率", "越上限", "告警", "12.500000", "10000000.000000", "张工"}));

    // Add from the selected row: every field but the operator.
    clickRow(0);
    run<CLimitAlarmEditDlg>(cmd::LimitAlarmAdd, [&](CLimitAlarmEditDlg& d) {
        EXPECT_EQ(textOf(d, "alarmValue"), u"12.5"_s);
        typeInto(d, "milliseconds", u"9"_s);
        clickOk(d);
    });
    ASSERT_EQ(rows().rowCount(), 2);
    QStringList copied = rows().rowCells(1);
    copied[2] = u"9"_s;
    copied[11] = QString();
    EXPECT_EQ(rows().rowCells(0), copied);

    // A row whose station left the catalogue still addresses its own record.
    insertToday(ViewMode::LimitAlarms,
                {{"", "01:02:03", "0", "已撤销站", "旧回路", "L", "旧变量", "越下限", "告警", "1.5", "2", "op"}});
    run<CLimitAlarmQueryDlg>(cmd::GenericQuery, [&](CLimitAlarmQueryDlg& d) {
        choose(combo(d, "station"), u"所有厂站"_s);
        clickOk(d);
    });
    ASSERT_EQ(rows().rowCount(), 3);
    const int goneRow = column(3).indexOf(u"已撤销站"_s);
    ASSERT_GE(goneRow, 0);
    clickRow(goneRow);
    run<CLimitAlarmEditDlg>(cmd::LimitAlarmModify, [&](CLimitAlarmEditDlg& d) {
        EXPECT_EQ(d.windowTitle(), u"越限事件修改"_s);
        EXPECT_EQ(combo(d, "station")->currentText(), u"已撤销站"_s);
        EXPECT_EQ(combo(d, "tag")->currentText(), u"旧变量"_s);
        EXPECT_FALSE(combo(d, "station")->isEnabled());
        EXPECT_FALSE(combo(d, "alarmName")->isEnabled());
        EXPECT_EQ(combo(d, "alarmName")->currentText(), u"越下限"_s);
        typeInto(d, "alarmStatus", u"复归"_s);
        typeInto(d, "alarmValue", u"3.25"_s);
        clickOk(d);
    });
    EXPECT_EQ(rows().rowCells(goneRow).mid(8, 3), (QStringList {"复归", "3.250000", "2.000000"}));
    EXPECT_EQ(values(u"SELECT AlarmStatus FROM LimitAlarm WHERE StationName='已撤销站'"_s), QStringList {u"复归"_s});
    EXPECT_EQ(values(u"SELECT AlarmStatus FROM LimitAlarm WHERE StationName<>'已撤销站'"_s),
              (QStringList {"告警", "告警"}));
}

// Each longer name comes first in the catalogue, so that a match on the
// beginning alone would offer it.
TEST_P(RecordCommandsTest, AddFromARowOffersTheRowsOwnCatalogueEntriesBeforeLongerOnes)
{
    connection().execute(u"DELETE FROM EqpTagInfo"_s);
    const QString station = u"城南变电站"_s, transformer = u"1号主变"_s, lowSide = u"1号主变低压侧"_s;
    const QString power = u"有功功率"_s, powerTotal = u"有功功率总加"_s;
    const QStringList catalogue[] = {{u"城南变电站二期"_s, lowSide, powerTotal}, {u"城南变电站二期"_s, transformer, power},
                                     {station, lowSide, powerTotal}, {station, transformer, powerTotal},
                                     {station, transformer, power}};
    int id = 1;
    for (const QStringList& entry : catalogue)
        connection().execute(u"INSERT INTO EqpTagInfo(StationName,SwitchName,TagType,TagName,TagID) "
                             "VALUES('%1','%2','遥测','%3',%4)"_s.arg(entry[0], entry[1], entry[2])
                                 .arg(id++));

    struct Case {
        QStringList row;     // station, switch, tag of the selected row
        QStringList offered; // what the add dialog offers for them
    };
    const Case cases[] = {
        {{station, transformer, power}, {station, transformer, power}},
        // No entry of that name: the first that begins with it.
        {{station, lowSide, power}, {station, lowSide, powerTotal}},
    };
    for (const Case& c : cases)
        insertToday(ViewMode::LimitAlarms,
                    {{"", "01:02:03", "0", c.row[0], c.row[1], "L1", c.row[2], "越上限", "告警", "1", "2", "op"}});
    showKind(cmd::ShowLimitAlarms);
    ASSERT_EQ(rows().rowCount(), 2);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.row.join(u'/').toStdString());
        const int row = column(4).indexOf(c.row[1]); // the rows differ in their switch
        ASSERT_GE(row, 0);
        ASSERT_EQ(rows().rowCells(row).mid(3, 4), (QStringList {c.row[0], c.row[1], "L1", c.row[2]}));
        clickRow(row);
        QStringList offered;
        run<CLimitAlarmEditDlg>(cmd::LimitAlarmAdd, [&](CLimitAlarmEditDlg& d) {
            for (const char* name : {"station", "switch", "tag"})
                offered << combo(d, name)->currentText();
        });
        EXPECT_EQ(offered, c.offered);
    }
    EXPECT_EQ(rows().rowCount(), 2) << "cancelled adds change nothing";
}

TEST_P(RecordCommandsTest, SignalChangeQueryPickersAndEdit)
{
    const QString station = u"城北变电站"_s;
    const QString sw = u"1号主变"_s;
    insertToday(ViewMode::SignalChanges, {{"", "09:00:00", "1", station, sw, "L1", "开关位置", "合", "1", "SCADA"},
                                          {"", "08:00:00", "1", station, sw, "L1", "保护动作", "合", "1", "SCADA"},
                                          {"", "10:00:00", "1", station, "10kV城关线", "L1", "开关位置", "合", "1", "SCADA"}});
    showKind(cmd::ShowSignalChanges);

    run<CSignalChangeQueryDlg>(cmd::SignalChangeQuery, [&](CSignalChangeQueryDlg& d) {
        EXPECT_EQ(d.windowTitle(), u"遥信变位查询"_s);
        EXPECT_EQ(combo(d, "station")->itemText(0), u"所有厂站"_s);
        EXPECT_EQ(entries(combo(d, "switch")), QStringList {u"所有回路"_s});
        choose(combo(d, "station"), station);
        EXPECT_EQ(combo(d, "switch")->currentText(), u"所有回路"_s);
        EXPECT_EQ(entries(combo(d, "switch")), (QStringList {"10kV城关线", "10kV工业线", "1号主变", "所有回路"}));
        EXPECT_EQ(entries(combo(d, "tag")), QStringList {u"所有变量"_s});
        choose(combo(d, "switch"), sw);
        EXPECT_EQ(combo(d, "tag")->currentText(), u"所有变量"_s);
        EXPECT_EQ(entries(combo(d, "tag")), (QStringList {"保护动作", "开关位置", "所有变量"}));

        // A start later than the end is refused.
        auto* start = d.findChild<QDateEdit*>(u"start"_s);
        start->setDate(QDate::currentDate().addDays(1));
        ASSERT_GT(start->date(), d.findChild<QDateEdit*>(u"end"_s)->date());
        refused(d, "start", u"开始时间不能大于结束时间!"_s);
        EXPECT_EQ(lastMessage().caption, u"越限提示"_s);
        start->setDate(QDate::currentDate());
        clickOk(d);
    });
    // Station and switch: the oldest change first.
    EXPECT_EQ(column(1), (QStringList {"08:00:00", "09:00:00"}));

    // Add from the selected row: the line name comes along though its list is empty.
    clickRow(0);
    run<CSignalChangeEditDlg>(cmd::GenericAdd, [&](CSignalChangeEditDlg& d) {
        EXPECT_EQ(d.windowTitle(), u"遥信变位添加"_s);
        EXPECT_EQ(combo(d, "lineName")->count(), 0);
        refuses(d, "signalStatus", QString(), u"请选择信号状态!"_s, u"分"_s);
        EXPECT_EQ(lastMessage().caption, u"遥信变位"_s);
        refuses(d, "signalValue", u"21"_s, u"请输入0到20之间的整数。"_s, u"20"_s);
        typeInto(d, "milliseconds", u"2"_s);
        clickOk(d);
    });
    ASSERT_EQ(rows().rowCount(), 3);
    EXPECT_EQ(rows().rowCells(0).mid(2), (QStringList{"2", station, sw, "L1", "保护动作", "分", "20", "SCADA"}));

    // Modify: status, value and operator of that record.
    clickRow(0);
    run<CSignalChangeEditDlg>(cmd::SignalChangeModify, [&](CSignalChangeEditDlg& d) {
        EXPECT_FALSE(combo(d, "signal")->isEnabled());
        typeInto(d, "signalValue", u"0"_s);
        typeInto(d, "operator", u"值班员"_s);
        clickOk(d);
    });
    EXPECT_EQ(rows().rowCells(0).mid(8), (QStringList {"0", "值班员"}));
    EXPECT_EQ(values(u"SELECT Operator FROM RSChange WHERE MiniSecond=2"_s), QStringList {u"值班员"_s});
    EXPECT_EQ(values(u"SELECT Operator FROM RSChange WHERE MiniSecond=1"_s), (QStringList {"SCADA", "SCADA", "SCADA"}));

    // Another switch chosen with no station chosen: the signals go, and the
    // station is asked for.
    run<CSignalChangeEditDlg>(cmd::GenericAdd, [&](CSignalChangeEditDlg& d) {
        combo(d, "station")->setCurrentIndex(-1);
        QComboBox* switches = combo(d, "switch");
        ASSERT_GT(switches->count(), 1);
        switches->setFocus();
        QTest::keyClick(switches, switches->currentIndex() > 0 ? Qt::Key_Up : Qt::Key_Down);
        EXPECT_EQ(lastMessage().text, u"请选择厂站信息!"_s);
        EXPECT_EQ(lastMessage().caption, u"遥信变位"_s);
        EXPECT_EQ(focusedObjectName(d), u"station"_s);
        EXPECT_EQ(combo(d, "signal")->count(), 0);
    });
}

// A key that addresses more records than the rows selected (operation
// events share date, time and milliseconds) asks once before a modify or a
// delete: 否 (the default) changes nothing, 是 changes all, journaled.
TEST_P(RecordCommandsTest, AKeyMatchingMoreRecordsAsksOnce)
{
    struct Case {
        const char* what;
        int command;
        QMessageBox::StandardButton answer;
        QStringList contents; // afterwards
    };
    const Case cases[] = {
        {"modify, 否", cmd::EventModify, QMessageBox::No, {"a", "b"}},
        {"modify, 是", cmd::EventModify, QMessageBox::Yes, {"已更正", "已更正"}},
        {"delete, 否", cmd::EventDelete, QMessageBox::No, {"a", "b"}},
        {"delete, 是", cmd::EventDelete, QMessageBox::Yes, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        connection().execute(u"DELETE FROM Event"_s);
        insertToday(ViewMode::OperationEvents, {{"1", "", "08:00:00", "5", "a", "主站", "张工", ""},
                                                {"2", "", "08:00:00", "5", "b", "主站", "张工", ""}});
        showKind(cmd::ShowOperationEvents);
        clickRow(0);
        gui->clearMessages();
        gui->answer(c.answer);
        if (c.command == cmd::EventModify)
            run<CEventEditDlg>(cmd::EventModify, [](CEventEditDlg& d) {
                typeInto(d, "content", u"已更正"_s);
                clickOk(d);
            });
        else {
            confirmDelete(u"操作事件"_s, true);
            frame->runCommand(cmd::EventDelete);
        }
        const QString verb = c.command == cmd::EventModify ? u"修改"_s : u"删除"_s;
        ASSERT_FALSE(gui->messages().empty());
        EXPECT_EQ(gui->messages().front().text, u"该条件匹配2条记录,是否全部%1?"_s.arg(verb));
        EXPECT_EQ(gui->messages().front().buttons, QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(values(u"SELECT Contents FROM Event ORDER BY Contents"_s), c.contents);
        if (c.answer == QMessageBox::Yes) {
            EXPECT_EQ(app.GetJournal().entry(app.GetJournal().entries().front().id)->units[0].beforeRows, 2);
        }
    }
}

TEST_P(RecordCommandsTest, SoeQueryEditAndContextMenuDelete)
{
    const QString station = u"江东变电站"_s;
    for (const char* time : {"03:00:00", "01:00:00", "02:00:00"})
        insertToday(ViewMode::SoeEvents, {{"", time, "0", station, "1号主变", "L1", "保护", "过流I段", "动作", "1", "SCADA"}});
    showKind(cmd::ShowSoeEvents);
    run<CSoeQueryDlg>(cmd::SoeQuery, [&](CSoeQueryDlg& d) {
        EXPECT_EQ(combo(d, "tag"), nullptr);
        choose(combo(d, "station"), station);
        clickOk(d);
    });
    // The SELECT sorts newest first and every row goes on top: oldest first.
    EXPECT_EQ(column(1), (QStringList {"01:00:00", "02:00:00", "03:00:00"}));

    // Modify the line name and reason (delete key, not update key).
    clickRow(0);
    run<CSoeEditDlg>(cmd::SoeModify, [&](CSoeEditDlg& d) {
        EXPECT_EQ(d.windowTitle(), u"SOE事件修改"_s);
        EXPECT_FALSE(combo(d, "switch")->isEnabled());
        EXPECT_TRUE(enabled(d, "lineName"));
        refuses(d, "lineName", u"   "_s, u"请填写线路名称"_s, u"L2  "_s);
        typeInto(d, "soeReason", u"重合闸"_s);
        clickOk(d);
    });
    EXPECT_EQ(rows().cell(0, 5), u"L2"_s);

    // A fresh add dialog: choosing a station offers its first signal switch.
    frame->list()->clearSelection();
    run<CSoeEditDlg>(cmd::SoeAdd, [&](CSoeEditDlg& d) {
        choose(combo(d, "station"), station);
        EXPECT_EQ(combo(d, "switch")->currentIndex(), 0);
        EXPECT_EQ(entries(combo(d, "switch")), (QStringList {"10kV城关线", "10kV工业线", "1号主变"}));
    });

    // Delete through the list's context menu: the modified record goes by its new key.
    clickRow(0);
    confirmDelete(u"SOE事件"_s, true);
    QTimer::singleShot(0, [] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        for (QAction* a : menu->actions())
            if (a->text() == u"删除数据"_s)
                a->trigger();
        menu->close();
    });
    CTesseraView* view = frame->list();
    const QPoint at = view->visualRect(view->model()->index(0, 0)).center();
    QContextMenuEvent request(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
    QApplication::sendEvent(view->viewport(), &request);
    EXPECT_EQ(rows().rowCount(), 2);
    EXPECT_EQ(countRows(u"SOE"_s), 2);
    EXPECT_TRUE(values(u"SELECT LineName FROM SOE WHERE LineName='L2'"_s).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, RecordCommandsTest, allDatabaseKinds(), kindName);

} // namespace
