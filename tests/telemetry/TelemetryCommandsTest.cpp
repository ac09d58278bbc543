#include "AppFixture.h"
#include "DatabaseTest.h"
#include "RefusingTriggers.h"

#include "DemoContent.h"
#include "SchemaDdl.h"

#include "db/ResultSet.h"
#include "schema/TableNames.h"
#include "telemetry/ui/TelemetryDialogs.h"
#include "text/DecimalText.h"
#include "ui/CLeftTreeView.h"
#include "ui/CTesseraView.h"
#include "view/CommandIds.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDateEdit>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>
#include <QTimeEdit>

using namespace tessera;
using namespace tessera::test;

namespace {

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

// Clicks the tree node at a path of texts from the telemetry node down.
void selectNode(CMainFrame& frame, const QStringList& path)
{
    CLeftTreeView* tree = frame.tree();
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

// A reactive-power tag of a feeder: its samples around noon are hand-set (DataType 6).
const QStringList feederTag {QStringLiteral("遥测数据"), QStringLiteral("城北变电站"), QStringLiteral("10kV工业线"),
                             QStringLiteral("无功功率")};

// The real main window on a SQLite database with yesterday's and today's demo samples.
class TelemetryCommandsTest : public AppFixture<> {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        openSQLiteFile(QStringLiteral("telemetry.db"));
        db::Connection& c = app.connection();
        for (const QString& sql : ddl::createSchemaSql(DatabaseKind::SQLite))
            c.execute(sql);
        demo::writeCatalogue(c, DatabaseKind::SQLite);
        for (const QDate& day : {today.addDays(-1), today}) {
            c.execute(ddl::createTelemetryTableSql(DatabaseKind::SQLite, TelemetryTableName(day), ddl::Generation::Newer));
            demo::writeSamplesOfDay(c, TelemetryTableName(day), day);
        }
        showMainFrame();
    }

    void select(const QStringList& path) { selectNode(*frame, path); }
    qint64 count(const QString& where, const QDate& day)
    {
        auto rs = app.connection().query(
            QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2").arg(TelemetryTableName(day), where));
        return rs.next() ? rs.string(0).toLongLong() : -1;
    }
    QStringList messages() const { return gui->messageTexts(); }

    const QDate today = QDate::currentDate();
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

// The batch setting and the replacement on the real main window when their
// unit cannot complete: what the user is told, and the rows left. Yesterday's
// and today's demo samples, against each database kind.
class TelemetrySafetyTest : public AppFixture<DatabaseTest> {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        createSchema();
        demo::writeCatalogue(connection(), kind());
        days();
        app.connection() = openConnection();
        app.setDatabaseKind(kind());
        showMainFrame();
        selectNode(*frame, feederTag);
    }
    // Yesterday's and today's tables with their demo samples, made anew.
    void days()
    {
        for (const QDate& day : {yesterday, today}) {
            createTelemetryTable(TelemetryTableName(day));
            demo::writeSamplesOfDay(connection(), TelemetryTableName(day), day);
        }
    }
    // The feeder tag's samples of today: "hh:mm:ss DataType nValue".
    QStringList tagRows()
    {
        QStringList out;
        auto rs = connection().query(
            QStringLiteral("SELECT ATime,DataType,nValue FROM %1 WHERE TagID=%2 ORDER BY ATime")
                .arg(TelemetryTableName(today))
                .arg(tagId));
        while (rs.next())
            out << rs.string(0).mid(11, 8) + u' ' + rs.string(1).trimmed() + u' '
                    + QString::number(decimalReal(rs.string(2)), 'f', 2);
        return out;
    }
    QString todayAt(const char* time) const { return today.toString(Qt::ISODate) + u' ' + QLatin1String(time); }

    // 08:00 to 09:00 every ten minutes rising from 0 to 6.
    void batchSetting()
    {
        gui->onDialog<BatchSetDialog>([](BatchSetDialog& d) {
            typeTime(d, "startTime", QStringLiteral("080000"));
            typeTime(d, "endTime", QStringLiteral("090000"));
            typeInto(d, "maximum", QStringLiteral("6"));
            typeInto(d, "minimum", QStringLiteral("0"));
            click(d, "increase");
            clickOk(d);
        });
        frame->runCommand(cmd::TelemetryBatchSet);
    }
    // Yesterday's 08:00:00 to 08:59:59 into today's.
    void replacement(bool correct)
    {
        gui->onDialog<ReplaceDialog>([correct](ReplaceDialog& d) {
            typeTime(d, "startTime", QStringLiteral("080000"));
            typeTime(d, "endTime", QStringLiteral("085959"));
            if (correct) {
                click(d, "correction");
                typeInto(d, "minimumCoefficient", QStringLiteral("1"));
                typeInto(d, "maximumCoefficient", QStringLiteral("1"));
            }
            clickOk(d);
        });
        frame->runCommand(cmd::TelemetryReplace);
    }

    const QDate today = QDate::currentDate();
    const QDate yesterday = today.addDays(-1);
    const int tagId = 15;
};

// A replacement that cannot complete says which step failed and leaves
// today's samples as they were; one that skips rows says how many.
TEST_P(TelemetrySafetyTest, ReplacementReportsWhatBecameOfTheTarget)
{
    struct Case {
        const char* what;
        bool correct;
        bool noSourceTable;
        bool refuseOne;
        QString message;
    };
    const Case cases[] = {
        {"no table for the source day", false, true, false, QStringLiteral("执行拷贝记录是出错!")},
        {"no table for the source day, with correction", true, true, false, QStringLiteral("执行替换数据记录时出错!")},
        {"a copied row refused", false, false, true, QStringLiteral("执行拷贝记录是出错!")},
        {"a corrected row refused", true, false, true, QStringLiteral("数据替换完成!\n1个数据未能写入。")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        days();
        if (c.noSourceTable)
            dropTable(TelemetryTableName(yesterday));
        if (c.refuseOne)
            refuseRows(connection(), kind(), TelemetryTableName(today), QStringLiteral("INSERT"),
                       QStringLiteral("NEW.ATime='%1'").arg(todayAt("08:30:00")));
        const QStringList before = tagRows();
        const size_t shown = gui->messages().size();
        replacement(c.correct);
        ASSERT_EQ(gui->messages().size(), shown + 1);
        EXPECT_EQ(gui->messages().back().text, c.message);
        EXPECT_EQ(gui->messages().back().caption, QStringLiteral("替换数据"));
        if (c.message.startsWith(QStringLiteral("数据替换完成!"))) {
            const QStringList after = tagRows();
            EXPECT_EQ(after.filter(QRegularExpression(QStringLiteral("^08:[0-5][05]:00 6 "))).size(), 11)
                << "08:00 to 08:55 but 08:30, hand-set";
            EXPECT_FALSE(after.contains(before.filter(QStringLiteral("08:30:00")).value(0)));
            EXPECT_EQ(after.size(), before.size() - 1);
        } else {
            EXPECT_EQ(tagRows(), before);
        }
    }
}

// At a refused sample the batch setting asks once: No leaves today's samples
// as they were, Yes writes the others and says how many failed.
TEST_P(TelemetrySafetyTest, BatchSettingAsksOnceAndUndoesOrGoesOn)
{
    for (bool goOn : {false, true}) {
        SCOPED_TRACE(goOn ? "going on" : "stopping");
        days();
        refuseRows(connection(), kind(), TelemetryTableName(today), QStringLiteral("INSERT"),
                   QStringLiteral("NEW.nValue=2"));
        const QStringList before = tagRows();
        const size_t shown = gui->messages().size();
        gui->answer(goOn ? QMessageBox::Yes : QMessageBox::No);
        batchSetting();
        ASSERT_GE(gui->messages().size(), shown + 1);
        const QString question = gui->messages()[shown].text;
        EXPECT_TRUE(question.startsWith(QStringLiteral("修改时间(%1)的数据时出错!").arg(todayAt("08:20:00"))))
            << question.toStdString();
        EXPECT_TRUE(question.contains(QStringLiteral("撤销"))) << question.toStdString();
        if (!goOn) {
            EXPECT_EQ(gui->messages().size(), shown + 1);
            EXPECT_EQ(tagRows(), before);
            continue;
        }
        ASSERT_EQ(gui->messages().size(), shown + 2);
        EXPECT_EQ(gui->messages().back().text, QStringLiteral("共有1个时间点的数据写入失败!"));
        EXPECT_EQ(tagRows().filter(QRegularExpression(QStringLiteral("^0[89]:[0-5]0:00 6 "))).size(), 6);
    }
}

// A commit the database refuses is reported as nothing written.
TEST_P(TelemetrySafetyTest, ARefusedCommitIsReportedAsNothingWritten)
{
    days();
    if (!refuseAtCommit(connection(), app.connection(), kind(), TelemetryTableName(today)))
        GTEST_SKIP() << "MariaDB checks nothing at commit";
    const QStringList before = tagRows();
    batchSetting();
    replacement(false);
    EXPECT_EQ(gui->messageTexts(), (QStringList {QStringLiteral("批量修改数据失败!\n数据库拒绝提交本次修改,数据保持原样。"),
                                                 QStringLiteral("数据替换失败!\n数据库拒绝提交本次修改,数据保持原样。")}));
    EXPECT_EQ(tagRows(), before);
}

// A connection that dies during the batch setting ends it with one message;
// the server has rolled the unit back.
TEST_P(TelemetrySafetyTest, ALostConnectionEndsTheCommandWithOneMessage)
{
    if (kind() == DatabaseKind::SQLite)
        GTEST_SKIP() << "SQLite has no server connection to lose";
    days();
    refuseRows(connection(), kind(), TelemetryTableName(today), QStringLiteral("INSERT"), QStringLiteral("NEW.nValue=2"));
    const QStringList before = tagRows();
    gui->onMessage = [this] {
        gui->onMessage = nullptr;
        ASSERT_TRUE(killServerSession(app.connection()));
    };
    gui->answer(QMessageBox::Yes);
    batchSetting();
    ASSERT_EQ(gui->messages().size(), 2u);
    EXPECT_EQ(gui->messages().back().text, QStringLiteral("批量修改数据失败!\n与数据库的连接已断开。"));
    EXPECT_EQ(tagRows(), before);
}

INSTANTIATE_TEST_SUITE_P(Kinds, TelemetrySafetyTest, allDatabaseKinds(), kindName);

} // namespace
