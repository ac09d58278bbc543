#include "AppFixture.h"
#include "CsvReader.h"
#include "ModelCells.h"
#include "UnnamedControls.h"

#include "DemoContent.h"
#include "SchemaDdl.h"

#include "app/CDataSourceDlg.h"
#include "schema/TableNames.h"
#include "ui/CAboutDlg.h"
#include "ui/CLeftTreeView.h"
#include "ui/CMainFrame.h"
#include "ui/CTesseraView.h"
#include "ui/TrendChartView.h"
#include "view/CommandIds.h"

#include <QAction>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>

#include <functional>
#include <map>

using namespace tessera;
using namespace tessera::test;
using namespace Qt::StringLiterals;

namespace {

// The real main window on a SQLite database with today's demo rows.
class MainFrameTest : public AppFixture<> {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        openSQLiteFile(u"frame.db"_s);
        db::Connection& c = app.GetConnection();
        for (const QString& sql : ddl::createSchemaSql(DatabaseKind::SQLite))
            c.execute(sql);
        const QDate today = QDate::currentDate();
        const QString samples = TelemetryTableName(today);
        c.execute(ddl::createTelemetryTableSql(DatabaseKind::SQLite, samples, ddl::Generation::Newer));
        demo::writeCatalogue(c, DatabaseKind::SQLite);
        demo::writeEventsOfDay(c, DatabaseKind::SQLite, today);
        demo::writeSamplesOfDay(c, samples, today);
        showMainFrame();
    }

    QTreeWidgetItem* findNode(const QString& text)
    {
        const auto items = frame->tree()->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        return items.isEmpty() ? nullptr : items.first();
    }

    void clickNode(const QString& text) { test::clickNode(*frame->tree(), findNode(text)); }

    // The data-source command, confirmed with whatever the file offers.
    void changeDataSource(std::function<void(CDataSourceDlg&)> script = {})
    {
        gui->onDialog<CDataSourceDlg>([script](CDataSourceDlg& d) {
            if (script)
                script(d);
            clickOk(d);
        });
        frame->action(cmd::DataSourceSettings)->trigger();
        ASSERT_TRUE(gui->allScriptsUsed());
    }

    const RecordListModel& rows() const { return frame->list()->GetRows(); }
};

// The view menu's bars and the about box's version.
TEST_F(MainFrameTest, BarsFollowTheirTicksAndTheAboutBoxShowsTheVersion)
{
    auto* toolBar = frame->findChild<QToolBar*>(u"toolBar"_s);
    ASSERT_NE(toolBar, nullptr);
    for (QAction* a : toolBar->actions())
        EXPECT_FALSE(a->icon().isNull()) << a->toolTip().toStdString();

    // Hiding and showing the bars keeps the ticks in step.
    frame->action(cmd::ToggleToolBar)->trigger();
    EXPECT_FALSE(toolBar->isVisible());
    EXPECT_FALSE(frame->action(cmd::ToggleToolBar)->isChecked());
    frame->action(cmd::ToggleStatusBar)->trigger();
    EXPECT_FALSE(frame->statusBar()->isVisible());
    frame->action(cmd::ToggleToolBar)->trigger();
    EXPECT_TRUE(toolBar->isVisible());

    // 关于 opens the about box through the seam; under its line the version
    // the program set at start-up.
    QCoreApplication::setApplicationVersion(u"1.0.0 (abc1234)"_s);
    gui->onDialog<CAboutDlg>([](CAboutDlg& d) {
        auto* version = d.findChild<QLabel*>(u"aboutVersion"_s);
        ASSERT_NE(version, nullptr);
        EXPECT_EQ(version->text(), u"版本 1.0.0 (abc1234)"_s);
        clickOk(d);
    });
    QTest::mouseClick(toolBar->widgetForAction(frame->action(cmd::About)), Qt::LeftButton);
    QCoreApplication::setApplicationVersion(QString());
}

TEST_F(MainFrameTest, SelectingNodesSetsTheGroupThatEnablesTheCommands)
{
    // Before any selection every record-kind command is off, the generic ones on.
    EXPECT_FALSE(frame->action(cmd::EventQuery)->isEnabled());
    EXPECT_FALSE(frame->action(cmd::TelemetryQuery)->isEnabled());
    EXPECT_TRUE(frame->action(cmd::GenericQuery)->isEnabled());

    clickNode(u"越限事件"_s);
    for (int id : {cmd::LimitAlarmQuery, cmd::LimitAlarmAdd, cmd::LimitAlarmModify, cmd::LimitAlarmDelete})
        EXPECT_TRUE(frame->action(id)->isEnabled()) << id;
    for (int id : {cmd::EventQuery, cmd::SignalChangeQuery, cmd::SoeQuery, cmd::TelemetryQuery})
        EXPECT_FALSE(frame->action(id)->isEnabled()) << id;

    clickNode(u"城北变电站"_s);
    EXPECT_TRUE(frame->action(cmd::TelemetryReplace)->isEnabled());
}

TEST_F(MainFrameTest, GenericCommandsFollowTheListNotTheGroup)
{
    // The commands' handlers count their runs instead.
    std::map<int, int> runs;
    for (int id : {cmd::SignalChangeQuery, cmd::TelemetrySingleValue, cmd::TelemetryReplace, cmd::EventQuery})
        frame->setHandler(id, [&runs, id] { ++runs[id]; });

    // The start page: nothing runs.
    frame->action(cmd::GenericQuery)->trigger();
    frame->action(cmd::GenericAdd)->trigger();
    EXPECT_TRUE(runs.empty());

    frame->runCommand(cmd::ShowSignalChanges);
    EXPECT_EQ(frame->tree()->currentItem()->text(0), u"遥信变位"_s);
    frame->setCommandGroup(1); // the query button does not care
    frame->action(cmd::GenericQuery)->trigger();

    frame->runCommand(cmd::ShowTelemetry);
    frame->action(cmd::GenericAdd)->trigger();
    frame->action(cmd::GenericModify)->trigger();

    // A disabled menu command does not run, even when triggered directly.
    frame->setCommandGroup(2);
    frame->runCommand(cmd::EventQuery);
    EXPECT_EQ(runs, (std::map<int, int> {{cmd::SignalChangeQuery, 1}, {cmd::TelemetrySingleValue, 1},
                                         {cmd::TelemetryReplace, 1}}));
}

// 导出 writes the list as shown: its header, the order the user sorted it in,
// none of the cells the list keeps hidden; a refused file is reported.
TEST_F(MainFrameTest, ExportWritesTheListAsShown)
{
    auto exportTo = [this](const QString& path) {
        gui->onDialog<QFileDialog>([path](QFileDialog& chooser) {
            chooser.findChild<QLineEdit*>(u"fileNameEdit"_s)->setText(path);
            static_cast<QDialog&>(chooser).accept();
        });
        frame->runCommand(cmd::ExportList);
        ASSERT_TRUE(gui->allScriptsUsed());
    };

    for (const QString& node : {u"越限事件"_s, u"A相电流"_s}) {
        clickNode(node);
        ASSERT_GT(rows().rowCount(), 1) << node.toStdString();
        frame->list()->SortByColumn(1);
        frame->list()->SortByColumn(1); // descending: not the rows' own order
        const QString csv = dir.filePath(node + u".csv"_s);
        exportTo(csv);
        const QList<QStringList> read = readCsv(readBytes(csv));
        ASSERT_FALSE(read.isEmpty());
        EXPECT_EQ(read.first(), headerTexts(*frame->list()->model()));
        EXPECT_EQ(std::vector<QStringList>(read.begin() + 1, read.end()), shownRows(*frame->list()->model()));
    }

    // In telemetry mode the chart can go to a picture instead.
    const QString png = dir.filePath(u"chart.png"_s);
    exportTo(png);
    const QImage picture(png);
    EXPECT_EQ(picture.size(), frame->trendChart()->size());

    exportTo(u"/proc/tessera-list.csv"_s); // a folder nobody may create files in
    ASSERT_FALSE(gui->messages().empty());
    EXPECT_TRUE(gui->messages().back().text.startsWith(u"导出失败!"_s));
}

// After the change the same kind or tag shows again: an empty list would
// read as nothing today.
TEST_F(MainFrameTest, AfterADataSourceChangeTheSameKindOrTagIsReadAgain)
{
    // The frame's own database under a data source name: the same rows.
    addUserDataSource(u"FrameSameArchive"_s, u"SQLite3"_s, dir.filePath(u"frame.db"_s));
    writeConfig("[DATASOURCEINI]\nDSN=FrameSameArchive\nUSERNAME=\nPASS=\n");
    const std::pair<const char*, std::function<void()>> ways[] = {
        {"limit-alarm node", [this] { clickNode(u"越限事件"_s); }},
        {"view-switch command", [this] { frame->runCommand(cmd::ShowLimitAlarms); }},
        {"telemetry tag", [this] { clickNode(u"A相电流"_s); }},
    };
    for (const auto& [way, show] : ways) {
        SCOPED_TRACE(way);
        show();
        const int shown = rows().rowCount();
        ASSERT_GT(shown, 0);
        changeDataSource();
        ASSERT_EQ(rows().rowCount(), 0);
        show();
        EXPECT_EQ(rows().rowCount(), shown);
    }
    EXPECT_EQ(gui->messageTexts(), QStringList());
}

// Every control that takes the focus is named for assistive tools, and the
// menus open from the keyboard.
// One sweep over the main window and every dialog its commands open (each
// from the node it belongs to): every control has a name; the menus open
// with their mnemonics.
TEST_F(MainFrameTest, EveryControlOfTheWindowAndItsDialogsIsNamed)
{
    EXPECT_EQ(unnamedControls(*frame), QStringList());
    frame->activateWindow();
    QTest::keyClick(frame.get(), Qt::Key_F, Qt::AltModifier);
    QMenu* fileMenu = frame->menuBar()->actions().first()->menu();
    EXPECT_TRUE(QTest::qWaitFor([&] { return fileMenu->isVisible(); }));
    fileMenu->close();

    const std::pair<const char*, int> commands[] = {{"操作事件", cmd::EventQuery}, {"操作事件", cmd::EventAdd},
        {"越限事件", cmd::LimitAlarmQuery}, {"越限事件", cmd::LimitAlarmAdd}, {"遥信变位", cmd::SignalChangeQuery},
        {"遥信变位", cmd::SignalChangeAdd}, {"SOE事件", cmd::SoeQuery}, {"SOE事件", cmd::SoeAdd},
        {"A相电流", cmd::TelemetryQuery}, {"A相电流", cmd::TelemetryBatchSet}, {"A相电流", cmd::TelemetryReplace},
        {"", cmd::DataSourceSettings}, {"", cmd::UserMaintenance}, {"", cmd::DataCopy},
        {"", cmd::OperationJournal}, {"", cmd::About}, {"A相电流", cmd::DataCheck}};
    for (const auto& [node, id] : commands) {
        SCOPED_TRACE(id);
        if (*node)
            clickNode(QString::fromUtf8(node));
        QStringList unnamed {QStringLiteral("no dialog")};
        gui->onDialog<QDialog>([&](QDialog& d) { unnamed = unnamedControls(d); });
        frame->action(id)->trigger();
        EXPECT_EQ(unnamed, QStringList());
        EXPECT_TRUE(gui->allScriptsUsed());
    }
}

} // namespace
