#include "ArchiveRows.h"
#include "MainWindowTest.h"
#include "RefusingTriggers.h"

#include "app/ReasonDialog.h"
#include "journal/Journal.h"
#include "telemetry/ui/BatchSetDialog.h"
#include "telemetry/ui/DateSelectDialog.h"
#include "telemetry/ui/PreviewPane.h"
#include "telemetry/ui/ReplaceDialog.h"
#include "telemetry/ui/TelemetryValueDialog.h"
#include "ui/TrendChartView.h"
#include "telemetry/TelemetryList.h"
#include "text/DecimalText.h"
#include "view/CommandIds.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>
#include <QTimeEdit>

#include <functional>

using namespace tessera;
using namespace tessera::test;
using namespace Qt::StringLiterals;

namespace {

// Types into a field as a user would: a time picker hours, minutes, seconds
// ("235958"), a line edit the text.
void fill(QWidget& dialog, const char* name, const QString& text)
{
    auto* time = dialog.findChild<QTimeEdit*>(QLatin1String(name));
    if (!time)
        return typeInto(dialog, name, text);
    time->setFocus();
    time->setSelectedSection(QDateTimeEdit::HourSection);
    QTest::keyClicks(time, text);
    ASSERT_EQ(time->time().toString(u"HHmmss"_s), text);
}

// Toggles a check box or picks a radio button from the keyboard.
void click(QWidget& dialog, const char* name)
{
    auto* button = dialog.findChild<QAbstractButton*>(QLatin1String(name));
    ASSERT_NE(button, nullptr) << name;
    button->setFocus();
    QTest::keyClick(button, Qt::Key_Space);
}

const QString kRangeOfZeroTo1e13 = u"请输入一个介于 0 和 10000000000000 之间的数字。"_s;
const QString kRangeOfZeroTo1000 = u"请输入一个介于 0 和 1000 之间的数字。"_s;

// The real main window over yesterday's and today's demo samples.
class TelemetryCommandsTest : public MainWindowTest {
protected:
    void fillArchive() override { days(); }
    // Yesterday's and today's tables with their demo samples, made anew.
    void days() { writeDemoDays({yesterday, today}); }
    QString cell(int row, int column) { return frame->list()->GetRows().cell(row, column); }
    qint64 count(const QString& where) { return countRows(TelemetryTableName(today) + u" WHERE "_s + where); }
    QString todayAt(const char* time) const { return today.toString(Qt::ISODate) + u' ' + QLatin1String(time); }
    QStringList messages() const { return gui->messageTexts(); }
    // The feeder tag's samples as the list shows them and as today's table
    // holds them: "hh:mm:ss|DataType|nValue", sorted.
    QStringList listed()
    {
        QStringList out;
        for (int row = 0; row < frame->list()->GetRows().rowCount(); ++row)
            out << cell(row, 0).mid(11) + u'|' + cell(row, telemetry::kDataTypeCell) + u'|'
                    + QString::asprintf("%0.2f", cell(row, 3).toDouble());
        out.sort();
        return out;
    }
    QStringList stored()
    {
        QStringList out;
        auto rs = connection().query(
            u"SELECT ATime,DataType,nValue FROM %1 WHERE TagID=15"_s.arg(TelemetryTableName(today)));
        while (rs.next())
            out << rs.string(0).mid(11, 8) + u'|' + QString::number(decimalInteger(rs.string(1))) + u'|'
                    + QString::asprintf("%0.2f", decimalReal(rs.string(2)));
        out.sort();
        return out;
    }
    // Numbers without a finite value typed into the field are refused with its
    // message, as out-of-range ones are.
    void refusesNotFinite(QDialog& d, const char* field, const QString& message)
    {
        for (const char* text : {"nan", "-nan", "inf", "-inf", "infinity", "1e400", "1e39"}) {
            SCOPED_TRACE(std::string(field) + " " + text);
            fill(d, field, QString::fromLatin1(text));
            refused(d, field, message);
        }
    }

    // 08:00 to 09:00 (or the range given) every ten minutes rising from 0 to 6.
    void batchSetting(const QString& start = u"080000"_s, const QString& end = u"090000"_s)
    {
        run<BatchSetDialog>(cmd::TelemetryBatchSet, [start, end](BatchSetDialog& d) {
            fill(d, "startTime", start);
            fill(d, "endTime", end);
            fill(d, "maximum", u"6"_s);
            fill(d, "minimum", u"0"_s);
            click(d, "increase");
            clickOk(d);
        });
    }
    // Yesterday's 08:00:00 to 08:59:59 into today's.
    void replacement(bool correct)
    {
        run<ReplaceDialog>(cmd::TelemetryReplace, [correct](ReplaceDialog& d) {
            fill(d, "startTime", u"080000"_s);
            fill(d, "endTime", u"085959"_s);
            if (correct) {
                click(d, "correction");
                fill(d, "minimumCoefficient", u"1"_s);
                fill(d, "maximumCoefficient", u"1"_s);
            }
            clickOk(d);
        });
    }

    const QDate today = QDate::currentDate();
    const QDate yesterday = today.addDays(-1);
};

TEST_P(TelemetryCommandsTest, QueryDeleteAndSingleValueOnTheListedSamples)
{
    selectNode(kFeederTag);
    ASSERT_TRUE(frame->list()->IsTelemetryMode());

    // The generic query in telemetry mode: only hand-set samples, oldest at the top.
    run<DateSelectDialog>(cmd::GenericQuery, [](DateSelectDialog& d) { clickOk(d); });
    ASSERT_EQ(frame->list()->GetRows().rowCount(), 6);
    EXPECT_EQ(cell(0, 0), todayAt("12:00:00"));
    EXPECT_EQ(cell(5, 0), todayAt("12:25:00"));

    // Delete two selected rows after the confirmation.
    selectListRows({1, 3});
    const QString kept = cell(2, 0);
    run<ReasonDialog>(cmd::GenericDelete, [](ReasonDialog& d) {
        EXPECT_EQ(d.windowTitle(), u"遥测数据"_s);
        EXPECT_EQ(d.findChild<QLabel*>(u"question"_s)->text(), u"请确认您是否需要删除选中的记录?"_s);
        // Asked with the warning icon of a message box.
        EXPECT_EQ(d.findChild<QLabel*>(u"icon"_s)->pixmap().toImage(),
                  QMessageBox(QMessageBox::Warning, {}, {}).iconPixmap().toImage());
        clickOk(d);
    });
    EXPECT_EQ(messages(), QStringList());
    EXPECT_EQ(frame->list()->GetRows().rowCount(), 4);
    EXPECT_EQ(cell(1, 0), kept);
    EXPECT_EQ(count(u"TagID=15 AND DataType=6"_s), 4);

    // Modify the first listed sample; its instant cannot be changed.
    selectListRows({0});
    run<TelemetryValueDialog>(cmd::GenericAdd, [this](TelemetryValueDialog& d) {
        EXPECT_FALSE(d.findChild<QTimeEdit*>(u"time"_s)->isEnabled());
        refusesNotFinite(d, "value", u"请输入一个数字。"_s);
        fill(d, "value", u"12.5"_s);
        refusesNotFinite(d, "change", u"请输入一个数字。"_s);
        fill(d, "change", u"x"_s);
        refused(d, "change", u"请输入一个数字。"_s);
        fill(d, "change", u"-0.25"_s);
        clickOk(d);
    });
    EXPECT_EQ(cell(0, 3), u"12.500000"_s);
    EXPECT_EQ(cell(0, 4), u"-0.250000"_s);
    EXPECT_EQ(count(u"TagID=15 AND nValue=12.5 AND nValueChange=-0.25"_s), 1);

    // The sample vanished meanwhile: the failure keeps the dialog open.
    connection().execute(u"DELETE FROM %1 WHERE TagID=15 AND nValue=12.5"_s.arg(TelemetryTableName(today)));
    run<TelemetryValueDialog>(cmd::TelemetrySingleValue, [this](TelemetryValueDialog& d) {
        fill(d, "value", u"3"_s);
        refused(d, nullptr, u"修改遥测值失败!"_s);
    });
    EXPECT_EQ(cell(0, 3), u"12.500000"_s);

    // Nothing selected: a new sample, added at the top of the list.
    frame->list()->clearSelection();
    run<TelemetryValueDialog>(cmd::TelemetrySingleValue, [](TelemetryValueDialog& d) {
        fill(d, "time", u"235958"_s);
        fill(d, "value", u"7"_s);
        clickOk(d);
    });
    EXPECT_EQ(cell(0, 0), todayAt("23:59:58"));
    EXPECT_EQ(cell(0, 1), u"15"_s);
    EXPECT_EQ(count(u"TagID=15 AND DataType=6 AND ATime='%1'"_s.arg(todayAt("23:59:58"))), 1);
}

TEST_P(TelemetryCommandsTest, SelectionsOutsideTheCommandsScopeAreRefused)
{
    selectNode({u"越限事件"_s});
    frame->setCommandGroup(5); // as if a telemetry menu were reachable
    frame->runCommand(cmd::TelemetryZero);
    selectNode({u"遥测数据"_s});
    frame->runCommand(cmd::TelemetryZero);
    frame->runCommand(cmd::TelemetryBatchSet);
    selectNode({u"遥测数据"_s, u"城北变电站"_s});
    frame->runCommand(cmd::TelemetryQuery);
    const QString wrongItem = u"请选择要正确选择要修改的项!"_s;
    EXPECT_EQ(messages(), (QStringList {u"请将视图切换到遥测数据根目录窗口后再进行该操作!"_s, wrongItem, wrongItem, wrongItem}));
    EXPECT_EQ(gui->messages()[0].caption, u"遥测数据"_s);
    EXPECT_EQ(gui->messages()[1].caption, u"替换数据"_s);
    EXPECT_EQ(gui->dialogsShown(), 0);
}

TEST_P(TelemetryCommandsTest, BatchSettingDialogChecksAndFillsTheDay)
{
    selectNode(kFeederTag);
    run<BatchSetDialog>(cmd::TelemetryBatchSet, [this](BatchSetDialog& d) {
        refusesNotFinite(d, "maximum", kRangeOfZeroTo1e13);
        fill(d, "maximum", u"10"_s);
        refusesNotFinite(d, "minimum", kRangeOfZeroTo1000);
        struct Step {
            std::vector<std::pair<const char*, QString>> typed;
            const char* focus;
            QString message;
        };
        const Step steps[] = {
            {{{"maximum", u"abc"_s}}, "maximum", kRangeOfZeroTo1e13},
            {{{"maximum", u"1e13"_s}, {"minimum", u"1000.01"_s}}, "minimum", kRangeOfZeroTo1000},
            {{{"minimum", u"1000"_s}, {"startTime", u"100000"_s}, {"endTime", u"090000"_s}}, "startTime",
             u"开始时间不能大于结束时间!"_s},
            {{{"startTime", u"000000"_s}, {"endTime", u"235959"_s}, {"maximum", u"143"_s}, {"minimum", u"200"_s}},
             "maximum", u"最大值不能小于最小值!"_s},
            {{{"minimum", u"0"_s}, {"interval", u"000000"_s}}, "interval", u"间隔不能为0!"_s},
        };
        for (const Step& step : steps) {
            SCOPED_TRACE(step.focus);
            for (const auto& [field, text] : step.typed)
                fill(d, field, text);
            refused(d, step.focus, step.message);
        }
        fill(d, "interval", u"001000"_s);
        click(d, "increase");
        clickOk(d);
    });
    EXPECT_EQ(gui->messages().size(), 19u) << "a batch setting that works says nothing";
    EXPECT_EQ(count(u"TagID=15"_s), 145);
    EXPECT_EQ(count(u"TagID=15 AND DataType=6 AND nValue=143 AND nValueChange=0"_s), 1);
}

TEST_P(TelemetryCommandsTest, ReplacementOfAStationFromYesterday)
{
    selectNode({u"遥测数据"_s, u"江东变电站"_s});
    connection().execute(u"UPDATE %1 SET nValue=-1"_s.arg(TelemetryTableName(today)));
    run<ReplaceDialog>(cmd::GenericModify, [this](ReplaceDialog& d) {
        auto* minimum = d.findChild<QLineEdit*>(u"minimumCoefficient"_s);
        auto* sourceDay = d.findChild<QDateEdit*>(u"sourceDay"_s);
        EXPECT_FALSE(minimum->isEnabled());
        click(d, "correction");
        EXPECT_TRUE(minimum->isEnabled());
        refusesNotFinite(d, "minimumCoefficient", kRangeOfZeroTo1000);
        fill(d, "minimumCoefficient", u"1"_s);
        refusesNotFinite(d, "maximumCoefficient", u"请输入一个介于 0 和 100000 之间的数字。"_s);
        fill(d, "minimumCoefficient", u"2"_s);
        fill(d, "maximumCoefficient", u"1"_s);
        refused(d, "minimumCoefficient", u"最大系数不能小于最小系数!"_s);
        click(d, "correction");
        sourceDay->setDate(today);
        refused(d, "sourceDay", u"替换日期和被替换日期不能是同一天!"_s);
        sourceDay->setDate(yesterday);
        clickOk(d);
    });
    EXPECT_EQ(messages().last(), u"数据替换完成!"_s);
    // The station's 11 telemetry tags are yesterday's again; its pulse counters and other stations are not.
    EXPECT_EQ(count(u"nValue<>-1"_s), 11 * 288);
    EXPECT_EQ(count(u"nValue=-1 AND TagID IN(SELECT TagID FROM EqpTagInfo WHERE StationName='江东变电站' "
                    "AND TagType='遥测')"_s),
        0);
}

// 预览 draws the tag's day and the rows the command would write, and says how
// many rows go and come; OK then writes exactly the rows previewed (a random
// series and a corrected copy drawn alike), without writing on the preview.
TEST_P(TelemetryCommandsTest, PreviewShowsTheRowsTheCommandThenWrites)
{
    auto previewOf = [](QDialog& d) {
        auto* pane = d.findChild<PreviewPane*>();
        QTest::mouseClick(d.findChild<QAbstractButton*>(u"previewButton"_s), Qt::LeftButton);
        EXPECT_TRUE(pane->chart()->isVisible());
        EXPECT_EQ(pane->chart()->accessibleName(), u"预览曲线"_s);
        return pane;
    };
    auto drawn = [](const std::vector<telemetry::TrendSample>& samples) {
        QStringList out;
        for (const auto& s : samples)
            out << u"%1 %2"_s.arg(QTime::fromMSecsSinceStartOfDay(int(s.msecsOfDay)).toString(u"HH:mm:ss"_s))
                       .arg(s.value, 0, 'f', 2);
        return out;
    };
    // A tag's rows in the range, written alike (these tests run on SQLite).
    auto written = [this](int tag, const char* from, const char* to) {
        return rowsOf(connection(),
            u"SELECT substr(ATime, 12, 8) || ' ' || printf('%.2f', nValue) FROM %1 WHERE "
            "TagID=%2 AND ATime BETWEEN '%3' AND '%4' ORDER BY ATime"_s.arg(TelemetryTableName(today))
                .arg(tag)
                .arg(todayAt(from), todayAt(to)));
    };

    selectNode(kFeederTag);
    const qint64 before = count(u"TagID=15"_s);
    QStringList previewed;
    run<BatchSetDialog>(cmd::TelemetryBatchSet, [&](BatchSetDialog& d) {
        fill(d, "startTime", u"080000"_s);
        fill(d, "endTime", u"090000"_s);
        fill(d, "maximum", u"6"_s); // random between 0 and 6
        PreviewPane* pane = previewOf(d);
        EXPECT_EQ(pane->summary(), u"将删除13行, 写入7行"_s);
        EXPECT_EQ(qint64(pane->chart()->samples().size()), before);
        previewed = drawn(pane->chart()->previewSamples());
        EXPECT_EQ(count(u"TagID=15"_s), before);
        clickOk(d);
    });
    ASSERT_EQ(previewed.size(), 7);
    EXPECT_EQ(written(15, "08:00:00", "09:00:00"), previewed);

    selectNode({u"遥测数据"_s, u"城北变电站"_s, u"1号主变"_s});
    run<ReplaceDialog>(cmd::TelemetryReplace, [&](ReplaceDialog& d) {
        fill(d, "startTime", u"080000"_s);
        fill(d, "endTime", u"085959"_s);
        click(d, "correction");
        fill(d, "minimumCoefficient", u"2"_s);
        fill(d, "maximumCoefficient", u"3"_s);
        PreviewPane* pane = previewOf(d);
        EXPECT_EQ(pane->summary(), u"将删除48行, 写入48行"_s);
        auto* tags = d.findChild<QComboBox*>(u"previewTag"_s);
        ASSERT_EQ(tags->count(), 4); // the switch's four tags
        tags->setCurrentIndex(2);
        tags->activated(2); // as a pick from the list does
        previewed = drawn(pane->chart()->previewSamples());
        EXPECT_EQ(tags->currentData().toInt(), 3);
        clickOk(d);
    });
    ASSERT_EQ(previewed.size(), 12);
    EXPECT_EQ(written(3, "08:00:00", "08:59:59"), previewed);
}

// Whatever a command writes into the shown day, the list and the trend
// then show the day as the table holds it.
TEST_P(TelemetryCommandsTest, EveryWritingCommandLeavesTheListAsStored)
{
    selectNode(kFeederTag);
    const std::pair<const char*, std::function<void()>> commands[] = {
        {"single value", [&] {
             selectListRows({100});
             run<TelemetryValueDialog>(cmd::TelemetrySingleValue, [](TelemetryValueDialog& d) {
                 fill(d, "value", u"77"_s);
                 clickOk(d);
             });
         }},
        {"delete", [&] {
             selectListRows({101, 102});
             run<ReasonDialog>(cmd::TelemetryDelete, [](ReasonDialog& d) { clickOk(d); });
         }},
        {"zeroing", [&] { run<DateSelectDialog>(cmd::TelemetryZero, [](DateSelectDialog& d) {
             fill(d, "startTime", u"200000"_s);
             clickOk(d);
         }); }},
        {"batch setting", [&] { batchSetting(); }},
        {"replacement", [&] { replacement(false); }},
    };
    for (const auto& [what, command] : commands) {
        SCOPED_TRACE(what);
        const QStringList before = stored();
        command();
        EXPECT_NE(stored(), before);
        EXPECT_EQ(listed(), stored());
        EXPECT_TRUE(QTest::qWaitFor([&] { return frame->trendChart()->samples().size() == size_t(stored().size()); }));
    }
}

// 线性插值 writes the line between the samples just outside its range; after
// it, and after its undo, the list and the trend show the day as stored, the
// trend with the range's original values while the change stands.
TEST_P(TelemetryCommandsTest, InterpolationAndItsUndoShowTheDayAsStored)
{
    selectNode(kFeederTag);
    const QStringList before = stored();
    ASSERT_EQ(listed(), before);
    auto valueAt = [&](const char* time) { return float(before.filter(QLatin1String(time)).value(0).section(u'|', 2).toDouble()); };
    const float from = valueAt("09:55:00"), to = valueAt("11:05:00");

    run<BatchSetDialog>(cmd::TelemetryBatchSet, [](BatchSetDialog& d) {
        fill(d, "startTime", u"100000"_s);
        fill(d, "endTime", u"110000"_s);
        click(d, "interpolate");
        typeInto(d, "reason", u"补齐缺失数据"_s);
        clickOk(d);
    });
    EXPECT_EQ(messages(), QStringList());
    QStringList expected;
    for (const QString& row : before)
        if (row.left(8) < u"10:00:00"_s || row.left(8) > u"11:00:00"_s)
            expected << row;
    for (int i = 0; i <= 6; ++i)
        expected << u"%1:%2:00|6|%3"_s.arg(10 + i / 6).arg(i % 6 * 10, 2, 10, QChar(u'0'))
                        .arg(QString::asprintf("%0.2f", float(from + (double(to) - from) * (5 + 10 * i) / 70.0)));
    expected.sort();
    EXPECT_EQ(stored(), expected);
    EXPECT_EQ(listed(), expected);
    TrendChartView& chart = *frame->trendChart();
    EXPECT_TRUE(QTest::qWaitFor([&] { return chart.samples().size() == size_t(expected.size()); }));
    // "原值": the before-image of the range, the hand-set marks telling whose change it was.
    QStringList originals, imaged;
    for (const telemetry::TrendSample& o : chart.originalSamples())
        originals << QTime(0, 0).addMSecs(int(o.msecsOfDay)).toString(u"HH:mm:ss"_s) + u"|1|"_s
                + QString::asprintf("%0.2f", o.value);
    for (const QString& row : before)
        if (row.left(8) >= u"10:00:00"_s && row.left(8) <= u"11:00:00"_s)
            imaged << row;
    EXPECT_EQ(originals, imaged);
    const QString note = chart.noteAt(QTime(10, 0).msecsSinceStartOfDay());
    const journal::EntrySummary entry = app.GetJournal().entries().front();
    EXPECT_EQ(note, u"原值: %1\n修改时间: %2\n修改人: %3\n修改原因: 补齐缺失数据"_s.arg(imaged.front().section(u'|', 2),
        entry.startedLocal.toString(u"yyyy-MM-dd HH:mm:ss"_s), entry.login.isEmpty() ? entry.osUser : entry.login));

    gui->onDialog<ReasonDialog>([](ReasonDialog& d) { clickOk(d); });
    frame->runCommand(cmd::UndoLastOperation);
    EXPECT_EQ(stored(), before);
    EXPECT_EQ(listed(), before);
    EXPECT_TRUE(QTest::qWaitFor([&] { return chart.samples().size() == size_t(before.size()); }));
    EXPECT_TRUE(chart.originalSamples().empty());
}

// The commands on the feeder tag when their unit cannot complete: what the
// user is told, and the rows left.
class TelemetrySafetyTest : public TelemetryCommandsTest {
protected:
    void SetUp() override
    {
        TelemetryCommandsTest::SetUp();
        if (!IsSkipped() && !HasFatalFailure())
            selectNode(kFeederTag);
    }
    // The feeder tag's samples of today: "date time|DataType|nValue".
    QStringList tagRows()
    {
        return rowsOf(connection(), u"SELECT ATime,DataType,nValue FROM %1 WHERE TagID=15 ORDER BY ATime"_s.arg(
                                        TelemetryTableName(today)));
    }
    void refuseToday(const QString& condition)
    {
        refuseRows(connection(), kind(), TelemetryTableName(today), u"INSERT"_s, condition);
    }
};

// A replacement that cannot complete says which step failed and leaves
// today's samples as they were; one that skips rows says how many. A table
// that cannot roll back is proven readable before the delete and gets every
// row once.
TEST_P(TelemetrySafetyTest, ReplacementReportsWhatBecameOfTheTarget)
{
    struct Case {
        const char* what;
        bool correct, noSourceTable, refuseOne, alsoWithoutRollback;
        QString message;
    };
    const Case cases[] = {
        {"no table for the source day", false, true, false, true, u"执行拷贝记录是出错!"_s},
        {"no table for the source day, with correction", true, true, false, true, u"执行替换数据记录时出错!"_s},
        {"a copied row refused", false, false, true, false, u"执行拷贝记录是出错!"_s},
        {"a corrected row refused", true, false, true, true, u"数据替换完成!\n1个数据未能写入。"_s},
    };
    for (const bool rollsBack : {true, false}) {
        for (const Case& c : cases) {
            if (!rollsBack && (kind() != DatabaseKind::MySql || !c.alsoWithoutRollback))
                continue; // only MariaDB has tables without transactions here
            SCOPED_TRACE(std::string(c.what) + (rollsBack ? "" : " on a table that cannot roll back"));
            days();
            if (!rollsBack)
                connection().execute(u"ALTER TABLE %1 ENGINE=MyISAM"_s.arg(TelemetryTableName(today)));
            if (c.noSourceTable)
                dropTable(TelemetryTableName(yesterday));
            if (c.refuseOne)
                refuseToday(u"NEW.ATime='%1'"_s.arg(todayAt("08:30:00")));
            const QStringList before = tagRows();
            const size_t shown = gui->messages().size();
            replacement(c.correct);
            ASSERT_EQ(gui->messages().size(), shown + 1);
            EXPECT_EQ(gui->messages().back().text, c.message);
            EXPECT_EQ(gui->messages().back().caption, u"替换数据"_s);
            if (!c.message.startsWith(u"数据替换完成!"_s)) {
                EXPECT_EQ(tagRows(), before);
                continue;
            }
            const QStringList after = tagRows();
            EXPECT_EQ(after.filter(QRegularExpression(u" 08:[0-5][05]:00\\|6\\|"_s)).size(), 11)
                << "08:00 to 08:55 but 08:30, hand-set";
            EXPECT_FALSE(after.contains(before.filter(u"08:30:00"_s).value(0)));
            EXPECT_EQ(after.size(), before.size() - 1);
            const journal::RowCounts counts = app.GetJournal().entries().front().counts;
            EXPECT_EQ(counts.written, 11);
            EXPECT_EQ(counts.failed, 1);
        }
    }
}

// A batch setting is one unit. At a refused sample it asks once: No leaves
// today's samples as they were, Yes writes the others and says how many
// failed; a table that cannot roll back keeps the samples written before the
// stop, once, and the question says so. A refused day-end row fails it all.
TEST_P(TelemetrySafetyTest, BatchSettingAsksOnceAndIsOneUnit)
{
    struct Case {
        const char* what;
        QString refused; // trigger condition
        bool wholeDay, asks, goOn, nonTransactional;
        QStringList messages; // after the question, if one is asked
        int written;          // hand-set from 08:00 on, and journaled; 0: the samples as they were
    };
    const Case cases[] = {
        {"stopped at a refused sample", u"NEW.nValue=2"_s, false, true, false, false, {}, 0},
        {"going on past a refused sample", u"NEW.nValue=2"_s, false, true, true, false,
            {u"共有1个时间点的数据写入失败!"_s}, 6},
        {"the day-end row refused", u"NEW.nValueChange=0"_s, true, false, false, false, {u"批量修改数据失败!"_s}, 0},
        {"stopped on a table that cannot roll back", u"NEW.nValue=2"_s, false, true, false, true, {}, 2},
    };
    for (const Case& c : cases) {
        if (c.nonTransactional && kind() != DatabaseKind::MySql)
            continue; // only MariaDB has tables without transactions here
        SCOPED_TRACE(c.what);
        days();
        if (c.nonTransactional)
            connection().execute(u"ALTER TABLE %1 ENGINE=MyISAM"_s.arg(TelemetryTableName(today)));
        refuseToday(c.refused);
        const QStringList before = tagRows();
        const qsizetype shown = messages().size();
        if (c.asks)
            gui->answer(c.goOn ? QMessageBox::Yes : QMessageBox::No);
        if (c.wholeDay)
            batchSetting(u"000000"_s, u"235959"_s);
        else
            batchSetting();
        QStringList said = messages().mid(shown);
        if (c.asks) {
            ASSERT_FALSE(said.isEmpty());
            const QString question = said.takeFirst();
            EXPECT_TRUE(question.startsWith(u"修改时间(%1)的数据时出错!"_s.arg(todayAt("08:20:00"))))
                << question.toStdString();
            EXPECT_EQ(question.contains(u"撤销"_s), !c.nonTransactional) << question.toStdString();
        }
        EXPECT_EQ(said, c.messages);
        EXPECT_EQ(app.GetJournal().entries().front().counts.written, c.written);
        const QStringList after = tagRows();
        if (c.written == 0) {
            EXPECT_EQ(after, before);
            continue;
        }
        EXPECT_EQ(after.filter(QRegularExpression(u" 0[89]:[0-5]0:00\\|6\\|"_s)).size(), c.written);
        EXPECT_EQ(after.size(), before.size() - 13 + c.written) << "the range's 13 samples replaced, each row once";
    }
}

// Where a command cannot find its day's table or its delete is refused, it
// shows its own message, the driver's text in the details (and the
// journal); the batch setting asks its question; nothing changes.
TEST_P(TelemetrySafetyTest, FailuresShowTheirOwnMessageWithTheDriversText)
{
    const QDate missing = today.addDays(3);
    const auto onMissingDay = [missing](auto& d) {
        d.template findChild<QDateEdit*>(u"date"_s)->setDate(missing);
    };
    struct Case {
        const char* what;
        std::function<void()> run;
        QString message, caption;
    };
    const Case cases[] = {
        {"zeroing of a day without a table",
         [&] { run<DateSelectDialog>(cmd::TelemetryZero, [&](DateSelectDialog& d) { onMissingDay(d); clickOk(d); }); },
         u"数据清零时出错!"_s, u"数据清零"_s},
        {"a sample added to a day without a table",
         [&] {
             run<TelemetryValueDialog>(cmd::TelemetrySingleValue, [&](TelemetryValueDialog& d) {
                 onMissingDay(d);
                 clickOk(d);
                 EXPECT_TRUE(d.isVisible());
             });
         },
         u"添加遥测值失败!"_s, u"添加遥测值"_s},
        {"the batch setting of a day without a table",
         [&] {
             gui->answer(QMessageBox::Cancel);
             run<BatchSetDialog>(cmd::TelemetryBatchSet, [&](BatchSetDialog& d) { onMissingDay(d); clickOk(d); });
         },
         u"删除数据时出错,是否继续进行处理?"_s, QString()},
        {"a refused delete",
         [&] {
             refuseRows(connection(), kind(), TelemetryTableName(today), u"DELETE"_s, u"OLD.DataType=6"_s);
             run<DateSelectDialog>(cmd::GenericQuery, [](DateSelectDialog& d) { clickOk(d); });
             selectListRows({0});
             run<ReasonDialog>(cmd::GenericDelete, [](ReasonDialog& d) { clickOk(d); });
         },
         u"遥测数据删除失败!"_s, u"遥测数据"_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QStringList before = tagRows();
        const size_t shown = gui->messages().size();
        c.run();
        ASSERT_EQ(gui->messages().size(), shown + 1) << messages().join(u'\n').toStdString();
        const ScriptedGui::Message& said = gui->messages().back();
        // The batch's question is the statement, asked with the failure as its caption.
        EXPECT_EQ(c.caption.isEmpty() ? said.caption : said.text, c.message);
        if (!c.caption.isEmpty()) {
            EXPECT_EQ(said.caption, c.caption);
            EXPECT_FALSE(said.details.isEmpty());
            EXPECT_FALSE(said.text.contains(u"Tag"_s)) << "no driver text in the message itself";
        }
        EXPECT_EQ(tagRows(), before);
    }
    // The journal keeps the driver's text of the failures that ran.
    EXPECT_TRUE(app.GetJournal().entries().front().outcome.contains(u"\n"_s));
}

// Above the journal's size limit a command asks once whether to keep its
// before-image: 是 keeps it, 否 runs it traced without one (not undoable),
// 取消 runs nothing.
TEST_P(TelemetrySafetyTest, ALargeCommandAsksWhetherToKeepItsImage)
{
    journal::JournalSettings settings = app.GetJournal().settings();
    settings.imageLimit = 10;
    app.GetJournal().setSettings(settings);
    struct Case {
        QMessageBox::StandardButton answer;
        bool runs, kept;
    };
    for (const Case& c : {Case {QMessageBox::Cancel, false, false}, Case {QMessageBox::No, true, false},
                          Case {QMessageBox::Yes, true, true}}) {
        SCOPED_TRACE(int(c.answer));
        days();
        const QStringList before = tagRows();
        const size_t entries = app.GetJournal().entries().size();
        gui->answer(c.answer);
        run<DateSelectDialog>(cmd::TelemetryZero, [](DateSelectDialog& d) { clickOk(d); });
        EXPECT_TRUE(messages().contains(u"本次操作涉及288行,超过操作日志单条记录上限,是否保存修改前的数据?"_s))
            << messages().join(u'\n').toStdString();
        EXPECT_EQ(tagRows() != before, c.runs);
        ASSERT_EQ(app.GetJournal().entries().size(), entries + (c.runs ? 1 : 0));
        if (c.runs) {
            EXPECT_EQ(app.GetJournal().entry(app.GetJournal().entries().front().id)->units[0].beforeKept, c.kept);
        }
        gui->clearMessages();
    }
}

TEST_P(TelemetrySafetyTest, ARefusedCommitIsReportedAsNothingWritten)
{
    if (!refuseAtCommit(connection(), app.GetConnection(), kind(), TelemetryTableName(today)))
        GTEST_SKIP() << "MariaDB checks nothing at commit";
    const QStringList before = tagRows();
    batchSetting();
    replacement(false);
    replacement(true);
    const QString replaceFailed = u"数据替换失败!\n数据库拒绝提交本次修改,数据保持原样。"_s;
    EXPECT_EQ(messages(),
        (QStringList{u"批量修改数据失败!\n数据库拒绝提交本次修改,数据保持原样。"_s, replaceFailed, replaceFailed}));
    EXPECT_EQ(tagRows(), before);
    // Journaled as writing nothing, not as the rows that went before the commit.
    for (const auto& entry : app.GetJournal().entries())
        EXPECT_EQ(entry.counts.written, 0) << entry.commandName.toStdString();
}

// A connection that dies during the batch setting ends it with one message;
// the server has rolled the unit back.
TEST_P(TelemetrySafetyTest, ALostConnectionEndsTheCommandWithOneMessage)
{
    if (kind() == DatabaseKind::SQLite)
        GTEST_SKIP() << "SQLite has no server connection to lose";
    refuseToday(u"NEW.nValue=2"_s);
    const QStringList before = tagRows();
    gui->onMessage = [this] {
        gui->onMessage = nullptr;
        ASSERT_TRUE(killServerSession(app.GetConnection()));
    };
    gui->answer(QMessageBox::Yes);
    batchSetting();
    ASSERT_EQ(gui->messages().size(), 2u);
    EXPECT_EQ(gui->messages().back().text, u"批量修改数据失败!\n与数据库的连接已断开。"_s);
    EXPECT_EQ(tagRows(), before);
}

// The commands' dialogs and wiring on SQLite; their failures on every kind.
INSTANTIATE_TEST_SUITE_P(SQLite, TelemetryCommandsTest, ::testing::Values(DatabaseKind::SQLite), kindName);
INSTANTIATE_TEST_SUITE_P(Kinds, TelemetrySafetyTest, allDatabaseKinds(), kindName);

} // namespace
