#include "OdbcTestEnvironment.h"
#include "ScriptedGui.h"

#include "DemoContent.h"
#include "SchemaDdl.h"

#include "app/CTesseraApp.h"
#include "db/ResultSet.h"
#include "schema/TableNames.h"
#include "telemetry/ui/TelemetryDialogs.h"
#include "ui/CLeftTreeView.h"
#include "shell/MainWindow.h"
#include "ui/CMainFrame.h"
#include "ui/CTesseraView.h"
#include "view/CommandIds.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>

using namespace tessera;
using namespace tessera::test;

namespace {

// Notes boxes that come up under the wait cursor.
class WatchingGui : public ScriptedGui {
public:
    QMessageBox::StandardButton message(const MessageRequest& request) override
    {
        if (QApplication::overrideCursor())
            underWaitCursor << request.text;
        return ScriptedGui::message(request);
    }
    QStringList underWaitCursor;
};

// Types a time into a picker as a user would: hours, minutes, seconds.
void typeTime(QWidget& dialog, const char* name, const QString& digits)
{
    auto* edit = dialog.findChild<QTimeEdit*>(QLatin1String(name));
    ASSERT_NE(edit, nullptr) << name;
    edit->setFocus();
    edit->setSelectedSection(QDateTimeEdit::HourSection);
    QTest::keyClicks(edit, digits);
    ASSERT_EQ(edit->time().toString(QStringLiteral("HHmmss")), digits);
}

// Toggles a check box or picks a radio button from the keyboard.
void click(QWidget& dialog, const char* name)
{
    auto* button = dialog.findChild<QAbstractButton*>(QLatin1String(name));
    ASSERT_NE(button, nullptr) << name;
    button->setFocus();
    QTest::keyClick(button, Qt::Key_Space);
}

// The real main window on a SQLite database with yesterday's and today's demo samples.
class TelemetryCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto scripted = std::make_unique<WatchingGui>();
        gui = scripted.get();
        app.setGui(std::move(scripted));
        app.setConfigurationPath(dir.filePath(QStringLiteral("DataSource.ini")));
        app.connection() = db::Connection::open(
            QStringLiteral("Driver=SQLite3;Database=%1").arg(dir.filePath(QStringLiteral("telemetry.db"))));
        app.setDatabaseKind(DatabaseKind::SQLite);
        db::Connection& c = app.connection();
        for (const QString& sql : ddl::createSchemaSql(DatabaseKind::SQLite))
            c.execute(sql);
        demo::writeCatalogue(c, DatabaseKind::SQLite);
        for (const QDate& day : {today.addDays(-1), today}) {
            c.execute(ddl::createTelemetryTableSql(DatabaseKind::SQLite, TelemetryTableName(day), ddl::Generation::Newer));
            demo::writeSamplesOfDay(c, TelemetryTableName(day), day);
        }
        frame = createMainFrame();
        tester = std::make_unique<QAbstractItemModelTester>(&frame->list()->rows(),
                                                            QAbstractItemModelTester::FailureReportingMode::Fatal);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    }
    void TearDown() override
    {
        EXPECT_TRUE(gui->allScriptsUsed()) << "a dialog the test expected was not shown";
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the wait cursor was left on";
        EXPECT_EQ(gui->underWaitCursor, QStringList());
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    }

    // Clicks the node at a path of texts from the telemetry node down.
    void select(const QStringList& path)
    {
        CLeftTreeView* tree = frame->tree();
        QTreeWidgetItem* item = tree->topLevelItem(0);
        for (const QString& text : path) {
            QTreeWidgetItem* next = nullptr;
            for (int i = 0; item && i < item->childCount() && !next; ++i)
                if (item->child(i)->text(0) == text)
                    next = item->child(i);
            ASSERT_NE(next, nullptr) << text.toStdString();
            item->setExpanded(true);
            item = next;
        }
        tree->scrollToItem(item);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
        ASSERT_EQ(tree->selectedNode(), item);
    }
    qint64 count(const QString& where, const QDate& day)
    {
        auto rs = app.connection().query(
            QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2").arg(TelemetryTableName(day), where));
        return rs.next() ? rs.string(0).toLongLong() : -1;
    }
    QStringList messages() const { return gui->messageTexts(); }

    QTemporaryDir dir;
    CTesseraApp app;
    WatchingGui* gui = nullptr;
    std::unique_ptr<CMainFrame> frame;
    std::unique_ptr<QAbstractItemModelTester> tester;
    const QDate today = QDate::currentDate();
    // A reactive-power tag of a feeder: its samples around noon are hand-set (DataType 6).
    const QStringList feederTag {QStringLiteral("遥测数据"), QStringLiteral("城北变电站"), QStringLiteral("10kV工业线"),
                                 QStringLiteral("无功功率")};
    const int feederTagId = 15;
};

TEST_F(TelemetryCommandsTest, QueryDeleteAndSingleValueOnTheListedSamples)
{
    select(feederTag);
    CTesseraView& list = *frame->list();
    ASSERT_TRUE(list.isTelemetryMode());
    EXPECT_EQ(list.rows().rowCount(), 288);

    // The generic query in telemetry mode: only hand-set samples, oldest at the top.
    gui->onDialog<DateSelectDialog>([](DateSelectDialog& d) {
        EXPECT_EQ(d.findChild<QTimeEdit*>(QStringLiteral("endTime"))->time(), QTime(23, 59, 59));
        clickOk(d);
    });
    frame->runCommand(cmd::GenericQuery);
    ASSERT_EQ(list.rows().rowCount(), 6);
    EXPECT_EQ(list.rows().cell(0, 0), today.toString(Qt::ISODate) + QStringLiteral(" 12:00:00"));
    EXPECT_EQ(list.rows().cell(5, 0), today.toString(Qt::ISODate) + QStringLiteral(" 12:25:00"));
    EXPECT_EQ(list.rows().cell(0, 2), QStringLiteral("遥测"));

    // Delete two selected rows after the confirmation.
    list.selectionModel()->select(list.rows().index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    list.selectionModel()->select(list.rows().index(3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const QString kept = list.rows().cell(2, 0);
    gui->answer(QMessageBox::Ok);
    frame->runCommand(cmd::GenericDelete);
    EXPECT_EQ(messages(), QStringList {QStringLiteral("请确认您是否需要删除选中的记录?")});
    EXPECT_EQ(list.rows().rowCount(), 4);
    EXPECT_EQ(list.rows().cell(1, 0), kept);
    EXPECT_EQ(count(QStringLiteral("TagID=15 AND DataType=6"), today), 4);

    // Modify the first listed sample; its instant cannot be changed.
    list.clearSelection();
    list.selectionModel()->select(list.rows().index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    gui->onDialog<TelemetryValueDialog>([](TelemetryValueDialog& d) {
        EXPECT_FALSE(d.findChild<QTimeEdit*>(QStringLiteral("time"))->isEnabled());
        typeInto(d, "value", QStringLiteral("12.5"));
        typeInto(d, "change", QStringLiteral("x"));
        clickOk(d);
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(focusedObjectName(d), QStringLiteral("change"));
        typeInto(d, "change", QStringLiteral("-0.25"));
        clickOk(d);
    });
    frame->runCommand(cmd::GenericAdd);
    EXPECT_EQ(list.rows().cell(0, 3), QStringLiteral("12.500000"));
    EXPECT_EQ(list.rows().cell(0, 4), QStringLiteral("-0.250000"));
    EXPECT_EQ(count(QStringLiteral("TagID=15 AND nValue=12.5 AND nValueChange=-0.25"), today), 1);

    // The sample vanished meanwhile: the failure keeps the dialog open.
    app.connection().execute(QStringLiteral("DELETE FROM %1 WHERE TagID=15 AND nValue=12.5").arg(TelemetryTableName(today)));
    gui->onDialog<TelemetryValueDialog>([this](TelemetryValueDialog& d) {
        typeInto(d, "value", QStringLiteral("3"));
        clickOk(d);
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(messages().last(), QStringLiteral("修改遥测值失败!"));
        clickCancel(d);
    });
    frame->runCommand(cmd::TelemetrySingleValue);
    EXPECT_EQ(list.rows().cell(0, 3), QStringLiteral("12.500000"));

    // Nothing selected: a new sample, added at the top of the list.
    list.clearSelection();
    gui->onDialog<TelemetryValueDialog>([](TelemetryValueDialog& d) {
        typeTime(d, "time", QStringLiteral("235958"));
        typeInto(d, "value", QStringLiteral("7"));
        clickOk(d);
    });
    frame->runCommand(cmd::TelemetrySingleValue);
    EXPECT_EQ(list.rows().cell(0, 0), today.toString(Qt::ISODate) + QStringLiteral(" 23:59:58"));
    EXPECT_EQ(list.rows().cell(0, 1), QStringLiteral("15"));
    EXPECT_EQ(count(QStringLiteral("TagID=15 AND DataType=6 AND ATime='%1 23:59:58'").arg(today.toString(Qt::ISODate)), today), 1);
}

TEST_F(TelemetryCommandsTest, SelectionsOutsideTheCommandsScopeAreRefused)
{
    select({QStringLiteral("越限事件")});
    frame->setCommandGroup(5); // as if a telemetry menu were reachable
    frame->runCommand(cmd::TelemetryZero);
    select({QStringLiteral("遥测数据")});
    frame->runCommand(cmd::TelemetryZero);
    frame->runCommand(cmd::TelemetryBatchSet);
    select({QStringLiteral("遥测数据"), QStringLiteral("城北变电站")});
    frame->runCommand(cmd::TelemetryQuery);
    EXPECT_EQ(messages(), (QStringList {QStringLiteral("请将视图切换到遥测数据根目录窗口后再进行该操作!"),
                                        QStringLiteral("请选择要正确选择要修改的项!"),
                                        QStringLiteral("请选择要正确选择要修改的项!"),
                                        QStringLiteral("请选择要正确选择要修改的项!")}));
    EXPECT_EQ(gui->messages()[0].caption, QStringLiteral("遥测数据"));
    EXPECT_EQ(gui->messages()[1].caption, QStringLiteral("替换数据"));
    EXPECT_EQ(gui->dialogsShown(), 0);
}

TEST_F(TelemetryCommandsTest, BatchSettingDialogChecksAndFillsTheDay)
{
    select(feederTag);
    gui->onDialog<BatchSetDialog>([this](BatchSetDialog& d) {
        typeInto(d, "maximum", QStringLiteral("abc"));
        clickOk(d);
        EXPECT_EQ(focusedObjectName(d), QStringLiteral("maximum"));
        typeInto(d, "maximum", QStringLiteral("1e13"));
        typeInto(d, "minimum", QStringLiteral("1000.01"));
        clickOk(d);
        EXPECT_EQ(focusedObjectName(d), QStringLiteral("minimum"));
        typeInto(d, "minimum", QStringLiteral("1000"));
        typeTime(d, "startTime", QStringLiteral("100000"));
        typeTime(d, "endTime", QStringLiteral("090000"));
        clickOk(d);
        EXPECT_EQ(focusedObjectName(d), QStringLiteral("startTime"));
        typeTime(d, "startTime", QStringLiteral("000000"));
        typeTime(d, "endTime", QStringLiteral("235959"));
        typeInto(d, "maximum", QStringLiteral("143"));
        typeInto(d, "minimum", QStringLiteral("200"));
        clickOk(d);
        EXPECT_EQ(focusedObjectName(d), QStringLiteral("maximum"));
        typeInto(d, "minimum", QStringLiteral("0"));
        typeTime(d, "interval", QStringLiteral("000000"));
        clickOk(d);
        EXPECT_EQ(focusedObjectName(d), QStringLiteral("interval"));
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(messages(), (QStringList {QStringLiteral("请输入一个介于 0 和 10000000000000 之间的数字。"),
                                            QStringLiteral("请输入一个介于 0 和 1000 之间的数字。"),
                                            QStringLiteral("开始时间不能大于结束时间!"),
                                            QStringLiteral("最大值不能小于最小值!"), QStringLiteral("间隔不能为0!")}));
        typeTime(d, "interval", QStringLiteral("001000"));
        click(d, "increase");
        clickOk(d);
    });
    frame->runCommand(cmd::TelemetryBatchSet);
    EXPECT_EQ(gui->messages().size(), 5u) << "a batch setting that works says nothing";
    EXPECT_EQ(count(QStringLiteral("TagID=15"), today), 145);
    EXPECT_EQ(count(QStringLiteral("TagID=15 AND DataType=6 AND nValue=143 AND nValueChange=0"), today), 1);
    EXPECT_EQ(count(QStringLiteral("TagID=14 AND DataType=6"), today), 0);
}

TEST_F(TelemetryCommandsTest, NumbersWithoutAFiniteValueAreRefusedInEveryNumberField)
{
    const QStringList notFinite {"nan", "-nan", "inf", "-inf", "infinity", "1e400", "1e39"};
    // Types each text into the field, expects OK to refuse it with the
    // field's message and focus, then leaves a valid number there.
    const auto refusesAll = [&](QDialog& d, const char* field, const QString& message, const QString& valid) {
        for (const QString& text : notFinite) {
            SCOPED_TRACE(std::string(field) + " " + text.toStdString());
            const size_t before = gui->messages().size();
            typeInto(d, field, text);
            clickOk(d);
            EXPECT_TRUE(d.isVisible());
            ASSERT_EQ(gui->messages().size(), before + 1);
            EXPECT_EQ(gui->messages().back().text, message);
            EXPECT_EQ(focusedObjectName(d), QString::fromLatin1(field));
        }
        typeInto(d, field, valid);
    };

    telemetry::SingleValue sample;
    sample.day = today;
    sample.time = QTime(12, 0);
    sample.add = true;
    int commits = 0;
    TelemetryValueDialog single(sample, [&](const telemetry::SingleValue&) {
        ++commits;
        return true;
    });
    gui->onDialog<TelemetryValueDialog>([&](TelemetryValueDialog& d) {
        refusesAll(d, "value", QStringLiteral("请输入一个数字。"), QStringLiteral("1"));
        refusesAll(d, "change", QStringLiteral("请输入一个数字。"), QStringLiteral("0"));
        clickOk(d);
    });
    EXPECT_EQ(execDialog(single), QDialog::Accepted);
    EXPECT_EQ(commits, 1);
    EXPECT_EQ(single.sample().value, 1.0f);

    BatchSetDialog batch;
    gui->onDialog<BatchSetDialog>([&](BatchSetDialog& d) {
        refusesAll(d, "maximum", QStringLiteral("请输入一个介于 0 和 10000000000000 之间的数字。"),
                   QStringLiteral("10"));
        refusesAll(d, "minimum", QStringLiteral("请输入一个介于 0 和 1000 之间的数字。"), QStringLiteral("1"));
        clickOk(d);
    });
    EXPECT_EQ(execDialog(batch), QDialog::Accepted);
    EXPECT_EQ(batch.request().maximum, 10.0f);

    ReplaceDialog replace;
    gui->onDialog<ReplaceDialog>([&](ReplaceDialog& d) {
        click(d, "correction");
        refusesAll(d, "minimumCoefficient", QStringLiteral("请输入一个介于 0 和 1000 之间的数字。"),
                   QStringLiteral("1"));
        refusesAll(d, "maximumCoefficient", QStringLiteral("请输入一个介于 0 和 100000 之间的数字。"),
                   QStringLiteral("2"));
        clickOk(d);
    });
    EXPECT_EQ(execDialog(replace), QDialog::Accepted);
    EXPECT_EQ(replace.request().maximumCoefficient, 2.0f);
}

TEST_F(TelemetryCommandsTest, ReplacementOfAStationFromYesterday)
{
    select({QStringLiteral("遥测数据"), QStringLiteral("江东变电站")});
    app.connection().execute(QStringLiteral("UPDATE %1 SET nValue=-1").arg(TelemetryTableName(today)));
    gui->onDialog<ReplaceDialog>([this](ReplaceDialog& d) {
        auto* minimum = d.findChild<QLineEdit*>(QStringLiteral("minimumCoefficient"));
        EXPECT_FALSE(minimum->isEnabled());
        EXPECT_EQ(d.findChild<QDateEdit*>(QStringLiteral("sourceDay"))->date(), today.addDays(-1));
        click(d, "correction");
        EXPECT_TRUE(minimum->isEnabled());
        typeInto(d, "minimumCoefficient", QStringLiteral("2"));
        typeInto(d, "maximumCoefficient", QStringLiteral("1"));
        clickOk(d);
        EXPECT_EQ(focusedObjectName(d), QStringLiteral("minimumCoefficient"));
        click(d, "correction");
        d.findChild<QDateEdit*>(QStringLiteral("sourceDay"))->setDate(today);
        clickOk(d);
        EXPECT_EQ(focusedObjectName(d), QStringLiteral("sourceDay"));
        EXPECT_EQ(messages(), (QStringList {QStringLiteral("最大系数不能小于最小系数!"),
                                            QStringLiteral("替换日期和被替换日期不能是同一天!")}));
        d.findChild<QDateEdit*>(QStringLiteral("sourceDay"))->setDate(today.addDays(-1));
        clickOk(d);
    });
    frame->runCommand(cmd::GenericModify);
    EXPECT_EQ(messages().last(), QStringLiteral("数据替换完成!"));
    // The station's 11 telemetry tags are yesterday's again; its pulse counters and other stations are not.
    EXPECT_EQ(count(QStringLiteral("nValue<>-1"), today), 11 * 288);
    EXPECT_EQ(count(QStringLiteral("nValue=-1 AND TagID IN(SELECT TagID FROM EqpTagInfo WHERE StationName='江东变电站' "
                                   "AND TagType='遥测')"),
                    today),
              0);

    // With correction, from a switch, through the second connection.
    select({QStringLiteral("遥测数据"), QStringLiteral("城北变电站"), QStringLiteral("1号主变")});
    gui->onDialog<ReplaceDialog>([](ReplaceDialog& d) {
        click(d, "correction");
        typeInto(d, "minimumCoefficient", QStringLiteral("1"));
        typeInto(d, "maximumCoefficient", QStringLiteral("1"));
        typeTime(d, "startTime", QStringLiteral("080000"));
        typeTime(d, "endTime", QStringLiteral("085959"));
        clickOk(d);
    });
    frame->runCommand(cmd::TelemetryReplace);
    EXPECT_EQ(messages().last(), QStringLiteral("数据替换完成!"));
    EXPECT_EQ(count(QStringLiteral("DataType=6 AND TagID IN(1,2,3,4) AND ATime>='%1 08:00:00' AND ATime<='%1 08:59:59'")
                        .arg(today.toString(Qt::ISODate)),
                    today),
              4 * 12);
}

} // namespace
