#include "AppFixture.h"
#include "DatabaseTest.h"
#include "RefusingTriggers.h"

#include "DemoContent.h"

#include "db/ResultSet.h"
#include "records/EventKind.h"
#include "records/ui/RecordEditDialog.h"
#include "records/ui/RecordQueryDialog.h"
#include "ui/CMainFrame.h"
#include "ui/CTesseraView.h"
#include "view/CommandIds.h"

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateEdit>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>

using namespace tessera;
using namespace tessera::records;
using namespace tessera::test;

namespace {

// The sixteen commands on the real main window, against each database kind.
class RecordCommandsTest : public AppFixture<DatabaseTest> {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        createSchema();
        demo::writeCatalogue(connection(), kind());
        app.connection() = openConnection();
        app.setDatabaseKind(kind());
        showMainFrame();
    }

    RecordListModel& rows() { return frame->list()->rows(); }

    void showKind(int viewSwitch)
    {
        frame->runCommand(viewSwitch);
        QApplication::processEvents();
    }

    void insertToday(ViewMode mode, Record record)
    {
        const EventKind& k = *eventKind(mode);
        record[k.dateColumn] = dateText(QDate::currentDate());
        connection().execute(insertSql(k, kind(), record));
    }

    void clickRow(int row, Qt::KeyboardModifiers modifiers = {})
    {
        CTesseraView* view = frame->list();
        const QRect rect = view->visualRect(view->model()->index(row, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, rect.center());
    }

    QStringList values(const QString& sql)
    {
        QStringList out;
        db::ResultSet rs = connection().query(sql);
        while (rs.next())
            out << rs.string(0);
        return out;
    }

    // Replaces a line edit's text by keys and an input-method commit, the way
    // Chinese text arrives from a user.
    static void enter(QWidget& dialog, const char* name, const QString& text)
    {
        auto* edit = dialog.findChild<QLineEdit*>(QString::fromLatin1(name));
        ASSERT_NE(edit, nullptr) << name;
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Delete);
        commit(edit, text);
    }

    static void commit(QWidget* widget, const QString& text)
    {
        QInputMethodEvent input;
        input.setCommitString(text);
        QApplication::sendEvent(widget, &input);
    }

    static QComboBox* combo(QWidget& dialog, const char* name)
    {
        return dialog.findChild<QComboBox*>(QString::fromLatin1(name));
    }

    static QStringList entries(QComboBox* box)
    {
        QStringList items;
        for (int i = 0; i < box->count(); ++i)
            items << box->itemText(i);
        return items;
    }

    static QStringList sorted(QStringList list)
    {
        list.sort();
        return list;
    }

    // Chooses an entry with the keyboard, as a user would; a list already on
    // the entry is moved off and back, so that the choice is made.
    static void choose(QComboBox* box, const QString& text)
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

    // Clicks OK and expects the dialog to stay open with one more message.
    void refusedWith(QDialog& d, const QString& text, const char* focus)
    {
        const size_t before = gui->messages().size();
        clickOk(d);
        ASSERT_EQ(gui->messages().size(), before + 1) << text.toStdString();
        EXPECT_EQ(gui->messages().back().text, text);
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(focusedObjectName(d), QString::fromLatin1(focus));
    }

    static Record event(const QString& time, int ms, const QString& content)
    {
        return {QStringLiteral("1"), QString(), time, QString::number(ms), content, QStringLiteral("主站"),
                QStringLiteral("张工"), QString()};
    }

};

TEST_P(RecordCommandsTest, OperationEventsAddModifyAndDelete)
{
    showKind(cmd::ShowOperationEvents);
    ASSERT_EQ(frame->list()->viewMode(), ViewMode::OperationEvents);

    // Add with nothing selected: current date and time, zeros, the new row on top.
    gui->onDialog<CEventEditDlg>([&](CEventEditDlg& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("事件添加"));
        EXPECT_EQ(textOf(d, "type"), QStringLiteral("0"));
        EXPECT_EQ(d.findChild<QDateEdit*>(QStringLiteral("date"))->date(), QDate::currentDate());
        enter(d, "type", QStringLiteral("100"));
        enter(d, "milliseconds", QStringLiteral("1000"));
        enter(d, "content", QStringLiteral("O'Brien合闸"));
        enter(d, "runSystem", QStringLiteral("主站"));
        enter(d, "operator", QStringLiteral("张工"));
        auto* note = d.findChild<QPlainTextEdit*>(QStringLiteral("note"));
        note->setFocus();
        commit(note, QStringLiteral("交接"));
        clickOk(d);
    });
    frame->runCommand(cmd::EventAdd);
    ASSERT_EQ(rows().rowCount(), 1);
    const QStringList first = rows().rowCells(0);
    EXPECT_EQ(first.value(0), QStringLiteral("100"));
    EXPECT_EQ(first.value(1), dateText(QDate::currentDate()));
    EXPECT_EQ(first.value(3), QStringLiteral("1000"));
    EXPECT_EQ(first.value(4), QStringLiteral("O'Brien合闸"));
    EXPECT_EQ(first.value(7), QStringLiteral("交接"));
    EXPECT_EQ(values(QStringLiteral("SELECT Contents FROM Event")), QStringList{QStringLiteral("O'Brien合闸")});

    // Add from the selected row (toolbar): prefilled, inserted at its position.
    clickRow(0);
    gui->onDialog<CEventEditDlg>([&](CEventEditDlg& d) {
        EXPECT_EQ(textOf(d, "content"), QStringLiteral("O'Brien合闸"));
        EXPECT_EQ(textOf(d, "type"), QStringLiteral("100"));
        EXPECT_EQ(d.findChild<QTimeEdit*>(QStringLiteral("time"))->time().toString(QStringLiteral("HH:mm:ss")),
                  first.value(2));
        enter(d, "milliseconds", QStringLiteral("5"));
        enter(d, "content", QStringLiteral("second"));
        clickOk(d);
    });
    frame->action(cmd::GenericAdd)->trigger();
    ASSERT_EQ(rows().rowCount(), 2);
    EXPECT_EQ(rows().cell(0, 4), QStringLiteral("second"));
    EXPECT_EQ(rows().cell(1, 4), QStringLiteral("O'Brien合闸"));

    // Modify rewrites the non-key columns of that record only.
    clickRow(1);
    gui->onDialog<CEventEditDlg>([&](CEventEditDlg& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("事件修改"));
        EXPECT_FALSE(d.findChild<QWidget*>(QStringLiteral("date"))->isEnabled());
        EXPECT_FALSE(d.findChild<QWidget*>(QStringLiteral("milliseconds"))->isEnabled());
        EXPECT_TRUE(d.findChild<QWidget*>(QStringLiteral("type"))->isEnabled());
        enter(d, "type", QStringLiteral("7"));
        enter(d, "content", QStringLiteral("'); DELETE FROM Event; --"));
        clickOk(d);
    });
    frame->action(cmd::EventModify)->trigger();
    EXPECT_EQ(rows().cell(1, 0), QStringLiteral("7"));
    EXPECT_EQ(rows().cell(1, 4), QStringLiteral("'); DELETE FROM Event; --"));
    EXPECT_EQ(rows().cell(0, 4), QStringLiteral("second"));
    EXPECT_EQ(values(QStringLiteral("SELECT Contents FROM Event WHERE MiniSecond=1000")),
              QStringList{QStringLiteral("'); DELETE FROM Event; --")});
    EXPECT_EQ(values(QStringLiteral("SELECT Contents FROM Event WHERE MiniSecond=5")), QStringList{"second"});

    // A record deleted meanwhile: the modify fails, the dialog stays, the row stays.
    connection().execute(QStringLiteral("DELETE FROM Event WHERE MiniSecond=5"));
    clickRow(0);
    gui->onDialog<CEventEditDlg>([&](CEventEditDlg& d) {
        enter(d, "content", QStringLiteral("lost"));
        clickOk(d);
        EXPECT_TRUE(d.isVisible());
        clickCancel(d);
    });
    frame->action(cmd::GenericModify)->trigger();
    ASSERT_FALSE(gui->messages().empty());
    EXPECT_EQ(gui->messages().back().text, QStringLiteral("事件修改失败!"));
    EXPECT_EQ(gui->messages().back().caption, QStringLiteral("事件修改"));
    EXPECT_EQ(rows().cell(0, 4), QStringLiteral("second"));

    // Delete: Cancel keeps everything; OK deletes every selected row.
    clickRow(0);
    clickRow(1, Qt::ControlModifier);
    gui->answer(QMessageBox::Cancel);
    frame->action(cmd::EventDelete)->trigger();
    EXPECT_EQ(rows().rowCount(), 2);
    EXPECT_EQ(gui->messages().back().text, QStringLiteral("请确认您是否需要删除选中的记录?"));
    EXPECT_EQ(gui->messages().back().buttons, QMessageBox::Ok | QMessageBox::Cancel);
    frame->action(cmd::GenericDelete)->trigger();
    EXPECT_EQ(rows().rowCount(), 0);
    EXPECT_EQ(countRows(QStringLiteral("Event")), 0);
}

TEST_P(RecordCommandsTest, EditChecksKeepTheDialogOpen)
{
    showKind(cmd::ShowOperationEvents);
    gui->onDialog<CEventEditDlg>([&](CEventEditDlg& d) {
        enter(d, "type", QStringLiteral("101"));
        refusedWith(d, QStringLiteral("请输入0到100之间的整数。"), "type");
        enter(d, "type", QStringLiteral("1a"));
        refusedWith(d, QStringLiteral("请输入0到100之间的整数。"), "type");
        enter(d, "type", QStringLiteral("100"));
        enter(d, "milliseconds", QStringLiteral("1001"));
        refusedWith(d, QStringLiteral("请输入0到1000之间的整数。"), "milliseconds");
        enter(d, "milliseconds", QStringLiteral("0"));
        refusedWith(d, QStringLiteral("请填写事件内容!"), "content");
        EXPECT_EQ(gui->messages().back().caption, QStringLiteral("操作事件"));
        enter(d, "content", QStringLiteral("c"));
        refusedWith(d, QStringLiteral("请填写运行系统!"), "runSystem");
        enter(d, "runSystem", QStringLiteral("r"));
        refusedWith(d, QStringLiteral("请填写操作员!"), "operator");
        // Longer than the column: the servers refuse, the input stays.
        enter(d, "operator", kind() == DatabaseKind::SQLite ? QStringLiteral("o") : QString(60, QLatin1Char('x')));
        clickOk(d);
        if (kind() != DatabaseKind::SQLite) {
            EXPECT_TRUE(d.isVisible());
            EXPECT_EQ(gui->messages().back().text, QStringLiteral("事件添加失败!"));
            EXPECT_EQ(textOf(d, "operator"), QString(60, QLatin1Char('x')));
        }
    });
    frame->runCommand(cmd::EventAdd);
    EXPECT_EQ(rows().rowCount(), kind() == DatabaseKind::SQLite ? 1 : 0);
    EXPECT_EQ(countRows(QStringLiteral("Event")), kind() == DatabaseKind::SQLite ? 1 : 0);
}

TEST_P(RecordCommandsTest, ClosedConnectionIsAFailureNotASuccess)
{
    showKind(cmd::ShowOperationEvents);
    app.connection().close(); // as after a data source of no known kind
    gui->onDialog<CEventEditDlg>([&](CEventEditDlg& d) {
        enter(d, "content", QStringLiteral("c"));
        enter(d, "runSystem", QStringLiteral("r"));
        enter(d, "operator", QStringLiteral("o"));
        clickOk(d);
        EXPECT_TRUE(d.isVisible());
        ASSERT_FALSE(gui->messages().empty());
        EXPECT_EQ(gui->messages().back().text, QStringLiteral("事件添加失败!"));
    });
    frame->runCommand(cmd::EventAdd);
    EXPECT_EQ(rows().rowCount(), 0) << "nothing shown as written";
}

TEST_P(RecordCommandsTest, DeleteWorksBottomUpAndStopsAtTheFirstFailure)
{
    insertToday(ViewMode::OperationEvents, event(QStringLiteral("08:00:00"), 1, QStringLiteral("top")));
    insertToday(ViewMode::OperationEvents, event(QStringLiteral("07:00:00"), 1, QStringLiteral("block")));
    insertToday(ViewMode::OperationEvents, event(QStringLiteral("06:00:00"), 1, QStringLiteral("bottom")));
    refuseRows(connection(), kind(), QStringLiteral("Event"), QStringLiteral("DELETE"),
               QStringLiteral("OLD.Contents='block'"));
    showKind(cmd::ShowOperationEvents);

    // The query lists the newest first.
    gui->onDialog<CEventQueryDlg>([](CEventQueryDlg& d) { clickOk(d); });
    frame->runCommand(cmd::EventQuery);
    ASSERT_EQ(rows().rowCount(), 3);
    EXPECT_EQ(rows().cell(0, 4), QStringLiteral("top"));
    EXPECT_EQ(rows().cell(2, 4), QStringLiteral("bottom"));
    EXPECT_EQ(rows().cell(0, 2), QStringLiteral("08:00:00"));

    for (int r = 0; r < 3; ++r)
        clickRow(r, r ? Qt::ControlModifier : Qt::NoModifier);
    frame->runCommand(cmd::EventDelete);
    ASSERT_EQ(gui->messages().size(), 2u);
    EXPECT_EQ(gui->messages().back().text, QStringLiteral("事件删除失败!"));
    EXPECT_EQ(gui->messages().back().caption, QStringLiteral("事件提示"));
    ASSERT_EQ(rows().rowCount(), 2);
    EXPECT_EQ(rows().cell(1, 4), QStringLiteral("block"));
    EXPECT_EQ(sorted(values(QStringLiteral("SELECT Contents FROM Event"))), (QStringList{"block", "top"}));
}

TEST_P(RecordCommandsTest, ViewChecksAndSelections)
{
    showKind(cmd::ShowOperationEvents);
    frame->setCommandGroup(2);
    frame->runCommand(cmd::LimitAlarmQuery);
    frame->setCommandGroup(3);
    frame->runCommand(cmd::SignalChangeAdd);
    frame->runCommand(cmd::SignalChangeQuery);
    frame->setCommandGroup(4);
    frame->runCommand(cmd::SoeDelete);
    frame->setCommandGroup(1);
    frame->runCommand(cmd::EventModify);
    frame->runCommand(cmd::EventDelete);
    const auto& m = gui->messages();
    ASSERT_EQ(m.size(), 6u);
    EXPECT_EQ(m[0].text, QStringLiteral("请将视图切换到越限事件显示窗口!"));
    EXPECT_EQ(m[0].caption, QStringLiteral("越限提示"));
    EXPECT_EQ(m[1].text, QStringLiteral("请将视图切换到遥信变位显示窗口!"));
    EXPECT_EQ(m[1].caption, QStringLiteral("遥信变位"));
    EXPECT_EQ(m[2].caption, QStringLiteral("越限提示"));
    EXPECT_EQ(m[3].text, QStringLiteral("请将视图切换到SOE显示窗口!"));
    EXPECT_EQ(m[3].caption, QStringLiteral("SOE事件"));
    EXPECT_EQ(m[4].text, QStringLiteral("请选择要修改的事件项!"));
    EXPECT_EQ(m[5].text, QStringLiteral("请选择要删除的事件项!"));
    EXPECT_EQ(m[5].caption, QStringLiteral("操作事件"));
    EXPECT_EQ(gui->dialogsShown(), 0);
}

TEST_P(RecordCommandsTest, LimitAlarmPickersAddAndModify)
{
    showKind(cmd::ShowLimitAlarms);
    const QString station = QStringLiteral("城南变电站");
    gui->onDialog<CLimitAlarmEditDlg>([&](CLimitAlarmEditDlg& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("越限事件添加"));
        QComboBox* st = combo(d, "station");
        QComboBox* sw = combo(d, "switch");
        QComboBox* tag = combo(d, "tag");
        // A fresh dialog: the first station, its first switch, that switch's first tag.
        EXPECT_EQ(st->currentIndex(), 0);
        EXPECT_EQ(sw->currentIndex(), 0);
        EXPECT_EQ(tag->currentIndex(), 0);
        EXPECT_EQ(combo(d, "alarmName")->currentText(), QStringLiteral("越下下限"));
        EXPECT_EQ(entries(combo(d, "alarmName")).size(), 4);

        // Another station: its telemetry switches, the last one chosen, its first tag.
        choose(st, station);
        EXPECT_EQ(sorted(entries(sw)), (QStringList{"", "10kV城关线", "10kV工业线", "1号主变"}));
        EXPECT_EQ(sw->currentIndex(), sw->count() - 1);
        EXPECT_EQ(tag->currentIndex(), 0);
        choose(sw, QStringLiteral("1号主变"));
        EXPECT_EQ(sorted(entries(tag)), (QStringList{"A相电流", "无功功率", "有功功率"}));
        EXPECT_EQ(tag->currentIndex(), 0);
        choose(tag, QStringLiteral("有功功率"));
        choose(combo(d, "alarmName"), QStringLiteral("越上限"));

        enter(d, "alarmValue", QStringLiteral("abc"));
        refusedWith(d, QStringLiteral("请输入0到10000000之间的数。"), "alarmValue");
        enter(d, "alarmValue", QStringLiteral("12.5"));
        enter(d, "limitValue", QStringLiteral("10000001"));
        refusedWith(d, QStringLiteral("请输入0到10000000之间的数。"), "limitValue");
        enter(d, "limitValue", QStringLiteral("10000000"));
        enter(d, "operator", QString(51, QLatin1Char('o')));
        refusedWith(d, QStringLiteral("输入的内容不能超过50个字符。"), "operator");
        enter(d, "operator", QStringLiteral("张工"));
        enter(d, "lineName", QStringLiteral("L'1"));
        enter(d, "alarmStatus", QStringLiteral("告警"));
        clickOk(d);
    });
    frame->runCommand(cmd::LimitAlarmAdd);
    ASSERT_EQ(rows().rowCount(), 1);
    EXPECT_EQ(rows().rowCells(0).mid(3),
              (QStringList{station, "1号主变", "L'1", "有功功率", "越上限", "告警", "12.500000", "10000000.000000",
                           "张工"}));
    EXPECT_EQ(values(QStringLiteral("SELECT LineName FROM LimitAlarm")), QStringList{"L'1"});

    // Add from the selected row: every field but the operator.
    clickRow(0);
    gui->onDialog<CLimitAlarmEditDlg>([&](CLimitAlarmEditDlg& d) {
        EXPECT_EQ(combo(d, "station")->currentText(), station);
        EXPECT_EQ(combo(d, "switch")->currentText(), QStringLiteral("1号主变"));
        EXPECT_EQ(combo(d, "tag")->currentText(), QStringLiteral("有功功率"));
        EXPECT_EQ(combo(d, "alarmName")->currentText(), QStringLiteral("越上限"));
        EXPECT_EQ(textOf(d, "alarmValue"), QStringLiteral("12.5"));
        EXPECT_EQ(textOf(d, "operator"), QString());
        enter(d, "milliseconds", QStringLiteral("9"));
        clickOk(d);
    });
    frame->runCommand(cmd::LimitAlarmAdd);
    ASSERT_EQ(rows().rowCount(), 2);
    EXPECT_EQ(rows().cell(0, 2), QStringLiteral("9"));
    EXPECT_EQ(rows().cell(0, 11), QString());
    EXPECT_EQ(countRows(QStringLiteral("LimitAlarm")), 2);

    // A row whose station left the catalogue still addresses its own record.
    Record gone{QString(), QStringLiteral("01:02:03"), QStringLiteral("0"), QStringLiteral("已撤销站"),
                QStringLiteral("旧回路"), QStringLiteral("L"), QStringLiteral("旧变量"), QStringLiteral("越下限"),
                QStringLiteral("告警"), QStringLiteral("1.5"), QStringLiteral("2"), QStringLiteral("op")};
    insertToday(ViewMode::LimitAlarms, gone);
    gui->onDialog<CLimitAlarmQueryDlg>([&](CLimitAlarmQueryDlg& d) {
        choose(combo(d, "station"), QStringLiteral("所有厂站"));
        clickOk(d);
    });
    frame->runCommand(cmd::GenericQuery);
    ASSERT_EQ(rows().rowCount(), 3);
    int goneRow = -1;
    for (int r = 0; r < 3; ++r)
        if (rows().cell(r, 3) == QStringLiteral("已撤销站"))
            goneRow = r;
    ASSERT_GE(goneRow, 0);
    clickRow(goneRow);
    gui->onDialog<CLimitAlarmEditDlg>([&](CLimitAlarmEditDlg& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("越限事件修改"));
        EXPECT_EQ(combo(d, "station")->currentText(), QStringLiteral("已撤销站"));
        EXPECT_EQ(combo(d, "tag")->currentText(), QStringLiteral("旧变量"));
        EXPECT_FALSE(combo(d, "station")->isEnabled());
        EXPECT_FALSE(combo(d, "alarmName")->isEnabled());
        EXPECT_EQ(combo(d, "alarmName")->currentText(), QStringLiteral("越下限"));
        enter(d, "alarmStatus", QStringLiteral("复归"));
        enter(d, "alarmValue", QStringLiteral("3.25"));
        clickOk(d);
    });
    frame->runCommand(cmd::LimitAlarmModify);
    EXPECT_EQ(rows().cell(goneRow, 8), QStringLiteral("复归"));
    EXPECT_EQ(rows().cell(goneRow, 9), QStringLiteral("3.250000"));
    EXPECT_EQ(rows().cell(goneRow, 10), QStringLiteral("2.000000"));
    EXPECT_EQ(values(QStringLiteral("SELECT AlarmStatus FROM LimitAlarm WHERE StationName='已撤销站'")),
              QStringList{"复归"});
    EXPECT_EQ(values(QStringLiteral("SELECT AlarmStatus FROM LimitAlarm WHERE StationName<>'已撤销站'")),
              (QStringList{"告警", "告警"}));
}

TEST_P(RecordCommandsTest, NumbersWithoutAFiniteValueAreRefusedLikeOutOfRangeOnes)
{
    showKind(cmd::ShowLimitAlarms);
    const QString rangeMessage = QStringLiteral("请输入0到10000000之间的数。");
    // NaN compares false with both bounds; the others overflow single precision.
    const QStringList notFinite{"nan", "NaN", "-nan", "inf", "-inf", "infinity", "1e400", "1e39"};
    gui->onDialog<CLimitAlarmEditDlg>([&](CLimitAlarmEditDlg& d) {
        enter(d, "operator", QStringLiteral("张工"));
        for (const char* field : {"alarmValue", "limitValue"}) {
            for (const QString& text : notFinite) {
                SCOPED_TRACE(std::string(field) + " " + text.toStdString());
                enter(d, field, text);
                refusedWith(d, rangeMessage, field);
            }
            enter(d, field, QStringLiteral("1.5"));
        }
        clickOk(d);
    });
    frame->runCommand(cmd::LimitAlarmAdd);
    EXPECT_EQ(gui->messages().size(), size_t(2 * notFinite.size()));
    ASSERT_EQ(rows().rowCount(), 1);
    EXPECT_EQ(rows().cell(0, 9), QStringLiteral("1.500000"));
    EXPECT_EQ(values(QStringLiteral("SELECT AlarmValue FROM LimitAlarm")).size(), 1);
}

TEST_P(RecordCommandsTest, AddFromARowOffersTheRowsOwnCatalogueEntriesBeforeLongerOnes)
{
    // Each longer name comes first in the catalogue, so a match on the
    // beginning alone would offer it.
    connection().execute(QStringLiteral("DELETE FROM EqpTagInfo"));
    const QString station = QStringLiteral("城南变电站");
    const QString stationTwo = QStringLiteral("城南变电站二期");
    const QString transformer = QStringLiteral("1号主变");
    const QString lowSide = QStringLiteral("1号主变低压侧");
    const QString power = QStringLiteral("有功功率");
    const QString powerTotal = QStringLiteral("有功功率总加");
    const QStringList catalogue[] = {{stationTwo, lowSide, powerTotal}, {stationTwo, transformer, power},
                                     {station, lowSide, powerTotal},    {station, transformer, powerTotal},
                                     {station, transformer, power}};
    int id = 1;
    for (const QStringList& entry : catalogue)
        connection().execute(QStringLiteral("INSERT INTO EqpTagInfo(StationName,SwitchName,TagType,TagName,TagID) "
                                            "VALUES('%1','%2','遥测','%3',%4)")
                                 .arg(entry[0], entry[1], entry[2])
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
    for (const Case& c : cases) {
        Record alarm{QString(),   QStringLiteral("01:02:03"), QStringLiteral("0"), c.row[0],
                     c.row[1],    QStringLiteral("L1"),       c.row[2],            QStringLiteral("越上限"),
                     QStringLiteral("告警"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("op")};
        insertToday(ViewMode::LimitAlarms, alarm);
    }
    showKind(cmd::ShowLimitAlarms);
    ASSERT_EQ(rows().rowCount(), 2);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.row.join(u'/').toStdString());
        int row = -1;
        for (int r = 0; r < rows().rowCount(); ++r)
            if (rows().rowCells(r).mid(3, 2) == c.row.mid(0, 2) && rows().cell(r, 6) == c.row[2])
                row = r;
        ASSERT_GE(row, 0);
        clickRow(row);
        QStringList offered;
        gui->onDialog<CLimitAlarmEditDlg>([&](CLimitAlarmEditDlg& d) {
            for (const char* name : {"station", "switch", "tag"})
                offered << combo(d, name)->currentText();
            clickCancel(d);
        });
        frame->runCommand(cmd::LimitAlarmAdd);
        EXPECT_EQ(offered, c.offered);
    }
    EXPECT_EQ(rows().rowCount(), 2) << "cancelled adds change nothing";
}

TEST_P(RecordCommandsTest, SignalChangeQueryPickersAndEdit)
{
    const QString station = QStringLiteral("城北变电站");
    const QString sw = QStringLiteral("1号主变");
    auto change = [&](const char* time, const QString& s, const QString& signal) {
        insertToday(ViewMode::SignalChanges, {QString(), QString::fromLatin1(time), QStringLiteral("1"), station, s,
                                              QStringLiteral("L1"), signal, QStringLiteral("合"), QStringLiteral("1"),
                                              QStringLiteral("SCADA")});
    };
    change("09:00:00", sw, QStringLiteral("开关位置"));
    change("08:00:00", sw, QStringLiteral("保护动作"));
    change("10:00:00", QStringLiteral("10kV城关线"), QStringLiteral("开关位置"));
    showKind(cmd::ShowSignalChanges);

    gui->onDialog<CSignalChangeQueryDlg>([&](CSignalChangeQueryDlg& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("遥信变位查询"));
        QComboBox* st = combo(d, "station");
        EXPECT_EQ(st->itemText(0), QStringLiteral("所有厂站"));
        EXPECT_EQ(entries(combo(d, "switch")), QStringList{"所有回路"});
        choose(st, station);
        EXPECT_EQ(combo(d, "switch")->currentText(), QStringLiteral("所有回路"));
        EXPECT_EQ(sorted(entries(combo(d, "switch"))), (QStringList{"10kV城关线", "10kV工业线", "1号主变", "所有回路"}));
        EXPECT_EQ(entries(combo(d, "tag")), QStringList{"所有变量"});
        choose(combo(d, "switch"), sw);
        EXPECT_EQ(combo(d, "tag")->currentText(), QStringLiteral("所有变量"));
        EXPECT_EQ(sorted(entries(combo(d, "tag"))), (QStringList{"保护动作", "开关位置", "所有变量"}));

        // A start later than the end is refused.
        auto* start = d.findChild<QDateEdit*>(QStringLiteral("start"));
        start->setDate(QDate::currentDate().addDays(1));
        ASSERT_GT(start->date(), d.findChild<QDateEdit*>(QStringLiteral("end"))->date());
        refusedWith(d, QStringLiteral("开始时间不能大于结束时间!"), "start");
        EXPECT_EQ(gui->messages().back().caption, QStringLiteral("越限提示"));
        start->setDate(QDate::currentDate());
        clickOk(d);
    });
    frame->runCommand(cmd::SignalChangeQuery);
    // Station and switch: the oldest change first.
    ASSERT_EQ(rows().rowCount(), 2);
    EXPECT_EQ(rows().cell(0, 1), QStringLiteral("08:00:00"));
    EXPECT_EQ(rows().cell(1, 1), QStringLiteral("09:00:00"));

    // Add from the selected row: the line name comes along though its list is empty.
    clickRow(0);
    gui->onDialog<CSignalChangeEditDlg>([&](CSignalChangeEditDlg& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("遥信变位添加"));
        EXPECT_EQ(combo(d, "lineName")->count(), 0);
        EXPECT_EQ(combo(d, "signal")->currentText(), QStringLiteral("保护动作"));
        EXPECT_EQ(textOf(d, "operator"), QStringLiteral("SCADA"));
        enter(d, "signalStatus", QString());
        refusedWith(d, QStringLiteral("请选择信号状态!"), "signalStatus");
        EXPECT_EQ(gui->messages().back().caption, QStringLiteral("遥信变位"));
        enter(d, "signalStatus", QStringLiteral("分"));
        enter(d, "signalValue", QStringLiteral("21"));
        refusedWith(d, QStringLiteral("请输入0到20之间的整数。"), "signalValue");
        enter(d, "signalValue", QStringLiteral("20"));
        enter(d, "milliseconds", QStringLiteral("2"));
        clickOk(d);
    });
    frame->runCommand(cmd::GenericAdd);
    ASSERT_EQ(rows().rowCount(), 3);
    EXPECT_EQ(rows().rowCells(0).mid(2), (QStringList{"2", station, sw, "L1", "保护动作", "分", "20", "SCADA"}));
    EXPECT_EQ(values(QStringLiteral("SELECT LineName FROM RSChange WHERE MiniSecond=2")), QStringList{"L1"});

    // Modify: status, value and operator of that record.
    clickRow(0);
    gui->onDialog<CSignalChangeEditDlg>([&](CSignalChangeEditDlg& d) {
        EXPECT_FALSE(combo(d, "signal")->isEnabled());
        enter(d, "signalValue", QStringLiteral("0"));
        enter(d, "operator", QStringLiteral("值班员"));
        clickOk(d);
    });
    frame->runCommand(cmd::SignalChangeModify);
    EXPECT_EQ(rows().cell(0, 8), QStringLiteral("0"));
    EXPECT_EQ(rows().cell(0, 9), QStringLiteral("值班员"));
    EXPECT_EQ(values(QStringLiteral("SELECT Operator FROM RSChange WHERE MiniSecond=2")), QStringList{"值班员"});
    EXPECT_EQ(values(QStringLiteral("SELECT Operator FROM RSChange WHERE MiniSecond=1")),
              (QStringList{"SCADA", "SCADA", "SCADA"}));
}

TEST_P(RecordCommandsTest, SoeQueryEditAndContextMenuDelete)
{
    const QString station = QStringLiteral("江东变电站");
    for (const char* time : {"03:00:00", "01:00:00", "02:00:00"})
        insertToday(ViewMode::SoeEvents, {QString(), QString::fromLatin1(time), QStringLiteral("0"), station,
                                          QStringLiteral("1号主变"), QStringLiteral("L1"), QStringLiteral("保护"),
                                          QStringLiteral("过流I段"), QStringLiteral("动作"), QStringLiteral("1"),
                                          QStringLiteral("SCADA")});
    showKind(cmd::ShowSoeEvents);
    gui->onDialog<CSoeQueryDlg>([&](CSoeQueryDlg& d) {
        EXPECT_EQ(combo(d, "tag"), nullptr);
        choose(combo(d, "station"), station);
        clickOk(d);
    });
    frame->runCommand(cmd::SoeQuery);
    // The SELECT sorts newest first and every row goes on top: oldest first.
    ASSERT_EQ(rows().rowCount(), 3);
    EXPECT_EQ(rows().cell(0, 1), QStringLiteral("01:00:00"));
    EXPECT_EQ(rows().cell(2, 1), QStringLiteral("03:00:00"));

    // Modify the line name and reason (delete key, not update key).
    clickRow(0);
    gui->onDialog<CSoeEditDlg>([&](CSoeEditDlg& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("SOE事件修改"));
        EXPECT_FALSE(combo(d, "switch")->isEnabled());
        EXPECT_TRUE(d.findChild<QWidget*>(QStringLiteral("lineName"))->isEnabled());
        enter(d, "lineName", QStringLiteral("   "));
        refusedWith(d, QStringLiteral("请填写线路名称"), "lineName");
        enter(d, "lineName", QStringLiteral("L2  "));
        enter(d, "soeReason", QStringLiteral("重合闸"));
        clickOk(d);
    });
    frame->runCommand(cmd::SoeModify);
    EXPECT_EQ(rows().cell(0, 5), QStringLiteral("L2"));
    EXPECT_EQ(rows().cell(0, 7), QStringLiteral("重合闸"));

    // A fresh add dialog: choosing a station offers its first signal switch.
    frame->list()->clearSelection();
    gui->onDialog<CSoeEditDlg>([&](CSoeEditDlg& d) {
        choose(combo(d, "station"), station);
        EXPECT_EQ(combo(d, "switch")->currentIndex(), 0);
        EXPECT_EQ(sorted(entries(combo(d, "switch"))), (QStringList{"10kV城关线", "10kV工业线", "1号主变"}));
    });
    frame->runCommand(cmd::SoeAdd);

    // Delete through the list's context menu: the modified record goes by its new key.
    clickRow(0);
    QTimer::singleShot(0, [] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        for (QAction* a : menu->actions())
            if (a->text() == QStringLiteral("删除数据"))
                a->trigger();
        menu->close();
    });
    CTesseraView* view = frame->list();
    const QPoint at = view->visualRect(view->model()->index(0, 0)).center();
    QContextMenuEvent request(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
    QApplication::sendEvent(view->viewport(), &request);
    EXPECT_EQ(rows().rowCount(), 2);
    EXPECT_EQ(countRows(QStringLiteral("SOE")), 2);
    EXPECT_TRUE(values(QStringLiteral("SELECT LineName FROM SOE WHERE LineName='L2'")).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, RecordCommandsTest, allDatabaseKinds(), kindName);

} // namespace
