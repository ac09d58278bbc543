#include "DatabaseTest.h"
#include "RefusingTriggers.h"
#include "ScriptedGui.h"

#include "DemoContent.h"

#include "app/CTesseraApp.h"
#include "text/DecimalText.h"
#include "db/ResultSet.h"
#include "schema/TableNames.h"
#include "telemetry/ui/TelemetryDialogs.h"
#include "ui/CLeftTreeView.h"
#include "shell/MainWindow.h"
#include "ui/CMainFrame.h"
#include "view/CommandIds.h"

#include <QAbstractButton>
#include <QApplication>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>

#include <functional>

using namespace tessera;
using namespace tessera::test;

namespace {

// Runs a hook when a message box comes up, as if something happened while
// the user read it.
class HookedGui : public ScriptedGui {
public:
    QMessageBox::StandardButton message(const MessageRequest& request) override
    {
        if (onMessage)
            onMessage();
        return ScriptedGui::message(request);
    }
    std::function<void()> onMessage;
};

void typeTime(QWidget& dialog, const char* name, const QString& digits)
{
    auto* edit = dialog.findChild<QTimeEdit*>(QLatin1String(name));
    ASSERT_NE(edit, nullptr) << name;
    edit->setFocus();
    edit->setSelectedSection(QDateTimeEdit::HourSection);
    QTest::keyClicks(edit, digits);
    ASSERT_EQ(edit->time().toString(QStringLiteral("HHmmss")), digits);
}

void click(QWidget& dialog, const char* name)
{
    auto* button = dialog.findChild<QAbstractButton*>(QLatin1String(name));
    ASSERT_NE(button, nullptr) << name;
    button->setFocus();
    QTest::keyClick(button, Qt::Key_Space);
}

// The batch setting and the replacement on the real main window when their
// unit cannot complete: what the user is told, and the rows left. Yesterday's
// and today's demo samples, against each database kind.
class TelemetrySafetyTest : public DatabaseTest {
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        createSchema();
        demo::writeCatalogue(connection(), kind());
        days();
        auto scripted = std::make_unique<HookedGui>();
        gui = scripted.get();
        app.setGui(std::move(scripted));
        app.setConfigurationPath(dir.filePath(QStringLiteral("DataSource.ini")));
        app.connection() = openConnection();
        app.setDatabaseKind(kind());
        frame = createMainFrame();
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        select();
    }
    void TearDown() override
    {
        if (gui) {
            EXPECT_TRUE(gui->allScriptsUsed()) << "a dialog the test expected was not shown";
            EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the wait cursor was left on";
        }
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
        frame.reset();
        app.connection().close();
        DatabaseTest::TearDown();
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

    // Clicks the feeder's reactive-power tag in the tree.
    void select()
    {
        CLeftTreeView* tree = frame->tree();
        QTreeWidgetItem* item = tree->topLevelItem(0);
        for (const QString& text : {QStringLiteral("遥测数据"), QStringLiteral("城北变电站"), QStringLiteral("10kV工业线"),
                                    QStringLiteral("无功功率")}) {
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

    QTemporaryDir dir;
    CTesseraApp app;
    HookedGui* gui = nullptr;
    std::unique_ptr<CMainFrame> frame;
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
