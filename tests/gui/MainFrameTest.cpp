#include "AppFixture.h"

#include "DemoContent.h"
#include "SchemaDdl.h"

#include "app/CDataSourceDlg.h"
#include "ui/CAboutDlg.h"
#include "ui/CLeftTreeView.h"
#include "shell/MainWindow.h"
#include "ui/CMainFrame.h"
#include "ui/CTesseraView.h"
#include "view/CommandIds.h"
#include "schema/TableNames.h"

#include <QAccessible>
#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <functional>

using namespace tessera;
using namespace tessera::test;

namespace {

// The real main window on a SQLite database with today's demo rows.
class MainFrameTest : public AppFixture<> {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        openSQLiteFile(QStringLiteral("frame.db"));
        db::Connection& c = app.connection();
        for (const QString& sql : ddl::createSchemaSql(DatabaseKind::SQLite))
            c.execute(sql);
        demo::writeCatalogue(c, DatabaseKind::SQLite);
        const QDate today = QDate::currentDate();
        demo::writeEventsOfDay(c, DatabaseKind::SQLite, today);
        c.execute(ddl::createTelemetryTableSql(DatabaseKind::SQLite, TelemetryTableName(today), ddl::Generation::Newer));
        demo::writeSamplesOfDay(c, TelemetryTableName(today), today);
        showMainFrame();
    }

    // Counts the runs of a record command's handler.
    int* count(int commandId)
    {
        auto counter = std::make_shared<int>(0);
        frame->setHandler(commandId, [counter] { ++*counter; });
        m_counters.push_back(counter);
        return counter.get();
    }

    QTreeWidgetItem* findNode(const QString& text)
    {
        const auto items = frame->tree()->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        return items.isEmpty() ? nullptr : items.first();
    }

    void clickNode(const QString& text)
    {
        QTreeWidgetItem* item = findNode(text);
        ASSERT_NE(item, nullptr) << text.toStdString();
        frame->tree()->scrollToItem(item);
        const QRect rect = frame->tree()->visualItemRect(item);
        QTest::mouseClick(frame->tree()->viewport(), Qt::LeftButton, {}, rect.center());
    }

    std::vector<std::shared_ptr<int>> m_counters;
};

TEST_F(MainFrameTest, MenusToolbarAndStatusBarAreComplete)
{
    QStringList titles;
    for (QAction* menu : frame->menuBar()->actions())
        titles << menu->text();
    EXPECT_EQ(titles, (QStringList {QStringLiteral("文件(&F)"), QStringLiteral("操作事件(&E)"),
                                    QStringLiteral("越限事件(&L)"), QStringLiteral("遥信变位(&Y)"),
                                    QStringLiteral("SOE事件(&S)"), QStringLiteral("遥测数据(&C)"),
                                    QStringLiteral("查看(&V)"), QStringLiteral("帮助(&H)")}));
    EXPECT_EQ(frame->action(cmd::LimitAlarmModify)->text(), QStringLiteral("越限事件修改(&D)"));
    EXPECT_EQ(frame->action(cmd::TelemetryBatchSet)->text(), QStringLiteral("人工批量置数(&M)"));
    EXPECT_EQ(frame->action(cmd::EventAdd)->statusTip(), QStringLiteral("Event事件增加"));

    auto* toolBar = frame->findChild<QToolBar*>(QStringLiteral("toolBar"));
    ASSERT_NE(toolBar, nullptr);
    EXPECT_EQ(toolBar->iconSize(), QSize(27, 27));
    QStringList tips;
    for (QAction* a : toolBar->actions()) {
        tips << a->toolTip();
        EXPECT_FALSE(a->icon().isNull()) << a->toolTip().toStdString();
    }
    EXPECT_EQ(tips, (QStringList {QStringLiteral("数据源设置"), QStringLiteral("查询"), QStringLiteral("添加"),
                                  QStringLiteral("修改"), QStringLiteral("删除"), QStringLiteral("关于"),
                                  QStringLiteral("退出")}));
    auto* ready = frame->findChild<QLabel*>(QStringLiteral("readyLabel"));
    ASSERT_NE(ready, nullptr);
    EXPECT_EQ(ready->text(), QStringLiteral("就绪"));

    // View menu: hiding and showing the bars keeps the ticks in step.
    frame->action(cmd::ToggleToolBar)->trigger();
    EXPECT_FALSE(toolBar->isVisible());
    EXPECT_FALSE(frame->action(cmd::ToggleToolBar)->isChecked());
    frame->action(cmd::ToggleStatusBar)->trigger();
    EXPECT_FALSE(frame->statusBar()->isVisible());
    frame->action(cmd::ToggleToolBar)->trigger();
    EXPECT_TRUE(toolBar->isVisible());
}

TEST_F(MainFrameTest, SelectingNodesSetsTheGroupAndFillsTheList)
{
    // Before any selection every record-kind command is off, the generic ones on.
    EXPECT_EQ(frame->commandGroup(), 0);
    EXPECT_FALSE(frame->action(cmd::EventQuery)->isEnabled());
    EXPECT_FALSE(frame->action(cmd::TelemetryQuery)->isEnabled());
    EXPECT_TRUE(frame->action(cmd::GenericQuery)->isEnabled());

    clickNode(QStringLiteral("越限事件"));
    EXPECT_EQ(frame->commandGroup(), 2);
    for (int id : {cmd::LimitAlarmQuery, cmd::LimitAlarmAdd, cmd::LimitAlarmModify, cmd::LimitAlarmDelete})
        EXPECT_TRUE(frame->action(id)->isEnabled()) << id;
    for (int id : {cmd::EventQuery, cmd::SignalChangeQuery, cmd::SoeQuery, cmd::TelemetryQuery})
        EXPECT_FALSE(frame->action(id)->isEnabled()) << id;
    EXPECT_EQ(frame->list()->viewMode(), ViewMode::LimitAlarms);
    EXPECT_EQ(frame->list()->rows().rowCount(), 10);
    EXPECT_EQ(frame->list()->rows().columnCount(), 12);

    clickNode(QStringLiteral("城北变电站"));
    EXPECT_EQ(frame->commandGroup(), 5);
    EXPECT_TRUE(frame->action(cmd::TelemetryReplace)->isEnabled());
    EXPECT_TRUE(frame->list()->isTelemetryMode());
    EXPECT_EQ(frame->list()->currentCode(), -2);

    // Down the tree with the keyboard to the first tag: its samples of today.
    frame->tree()->setFocus();
    QTreeWidgetItem* station = findNode(QStringLiteral("城北变电站"));
    frame->tree()->expandItem(station);
    frame->tree()->expandItem(station->child(0));
    QTest::keyClick(frame->tree(), Qt::Key_Down); // first switch
    QTest::keyClick(frame->tree(), Qt::Key_Down); // its first tag
    QTreeWidgetItem* tag = frame->tree()->currentItem();
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(frame->list()->currentCode(), CLeftTreeView::itemData(tag));
    EXPECT_GT(CLeftTreeView::itemData(tag), 0);
    EXPECT_EQ(frame->list()->rows().rowCount(), 288);
    EXPECT_EQ(frame->list()->rows().cell(0, 2), QStringLiteral("遥测"));
    EXPECT_TRUE(frame->list()->rows().cell(0, 0).endsWith(QLatin1String("00:00:00")))
        << "samples oldest first: " << frame->list()->rows().cell(0, 0).toStdString();
}

TEST_F(MainFrameTest, GenericCommandsFollowTheListNotTheGroup)
{
    int* signalQuery = count(cmd::SignalChangeQuery);
    int* singleValue = count(cmd::TelemetrySingleValue);
    int* replace = count(cmd::TelemetryReplace);
    int* eventQuery = count(cmd::EventQuery);

    // The start page: nothing runs.
    frame->action(cmd::GenericQuery)->trigger();
    frame->action(cmd::GenericAdd)->trigger();
    EXPECT_EQ(*signalQuery + *singleValue + *replace + *eventQuery, 0);

    frame->runCommand(cmd::ShowSignalChanges);
    EXPECT_EQ(frame->list()->viewMode(), ViewMode::SignalChanges);
    EXPECT_EQ(frame->tree()->currentItem()->text(0), QStringLiteral("遥信变位"));
    frame->setCommandGroup(1); // the query button does not care
    frame->action(cmd::GenericQuery)->trigger();
    EXPECT_EQ(*signalQuery, 1);

    frame->runCommand(cmd::ShowTelemetry);
    EXPECT_TRUE(frame->list()->isTelemetryMode());
    frame->action(cmd::GenericAdd)->trigger();
    frame->action(cmd::GenericModify)->trigger();
    EXPECT_EQ(*singleValue, 1);
    EXPECT_EQ(*replace, 1);

    // A disabled menu command does not run, even when triggered directly.
    frame->setCommandGroup(2);
    frame->runCommand(cmd::EventQuery);
    EXPECT_EQ(*eventQuery, 0);
}

TEST_F(MainFrameTest, AboutBoxGoesThroughTheSeam)
{
    gui->onDialog<CAboutDlg>([](CAboutDlg& d) {
        auto* text = d.findChild<QLabel*>(QStringLiteral("aboutText"));
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->text(), QStringLiteral("系统数据维护软件1.0 版"));
        EXPECT_EQ(d.windowTitle(), QStringLiteral("关于系统"));
        clickOk(d);
    });
    auto* toolBar = frame->findChild<QToolBar*>(QStringLiteral("toolBar"));
    QTest::mouseClick(toolBar->widgetForAction(frame->action(cmd::About)), Qt::LeftButton);
}

TEST_F(MainFrameTest, DataSourceCommandReopensRebuildsTheTreeAndEmptiesTheList)
{
    const TestDatabase& sqlite = testDatabase(DatabaseKind::SQLite);
    {
        // The other database: a catalogue of one tag.
        db::Connection c = db::Connection::open(sqlite.connectString());
        c.execute(QStringLiteral("DROP TABLE IF EXISTS EqpTagInfo"));
        c.execute(ddl::createTableSql(DatabaseKind::SQLite, tableLayout(SchemaTable::EqpTagInfo),
                                      QStringLiteral("EqpTagInfo")));
        c.execute(QStringLiteral("INSERT INTO EqpTagInfo VALUES('新站','新回路','遥测','新变量',901)"));
    }
    {
        QFile config(dir.filePath(QStringLiteral("DataSource.ini")));
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write("[DATASOURCEINI]\nDSN=OldSource\nUSERNAME=\nPASS=\n");
    }
    clickNode(QStringLiteral("越限事件"));
    ASSERT_GT(frame->list()->rows().rowCount(), 0);
    const int columns = frame->list()->rows().columnCount();

    gui->onDialog<CDataSourceDlg>([&](CDataSourceDlg& d) {
        EXPECT_EQ(textOf(d, "dataSourceName"), QStringLiteral("OldSource")) << "pre-filled from the file";
        typeInto(d, "dataSourceName", sqlite.dsn);
        clickOk(d);
    });
    frame->action(cmd::DataSourceSettings)->trigger();

    EXPECT_TRUE(gui->messages().empty()) << gui->messageTexts().join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(app.connectString().startsWith(QStringLiteral("DSN=") + sqlite.dsn));
    EXPECT_EQ(app.databaseKind(), DatabaseKind::SQLite);
    EXPECT_EQ(frame->list()->rows().rowCount(), 0);
    EXPECT_EQ(frame->list()->rows().columnCount(), columns) << "the columns stay";
    EXPECT_EQ(findNode(QStringLiteral("城北变电站")), nullptr);
    QTreeWidgetItem* tag = findNode(QStringLiteral("新变量"));
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(CLeftTreeView::itemData(tag), 901);

    QFile config(dir.filePath(QStringLiteral("DataSource.ini")));
    ASSERT_TRUE(config.open(QIODevice::ReadOnly));
    EXPECT_TRUE(config.readAll().contains("DSN=" + sqlite.dsn.toLatin1()));
}

TEST_F(MainFrameTest, AfterADataSourceChangeTheSameKindOrTagIsReadAgain)
{
    // The frame's own database under a data source name: the rows read
    // again are the same rows.
    addUserDataSource(QStringLiteral("FrameSameArchive"), QStringLiteral("SQLite3"), dir.filePath(QStringLiteral("frame.db")));
    writeConfig("[DATASOURCEINI]\nDSN=FrameSameArchive\nUSERNAME=\nPASS=\n");
    struct Way {
        const char* name;
        std::function<void()> show;
    };
    const Way ways[] = {
        {"limit-alarm node", [this] { clickNode(QStringLiteral("越限事件")); }},
        {"view-switch command", [this] { frame->runCommand(cmd::ShowLimitAlarms); }},
        {"telemetry tag", [this] { clickNode(QStringLiteral("A相电流")); }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        way.show();
        const int shown = frame->list()->rows().rowCount();
        ASSERT_GT(shown, 0);

        gui->onDialog<CDataSourceDlg>([](CDataSourceDlg& d) { clickOk(d); });
        frame->action(cmd::DataSourceSettings)->trigger();
        ASSERT_TRUE(gui->allScriptsUsed());
        ASSERT_EQ(frame->list()->rows().rowCount(), 0);

        way.show();
        EXPECT_EQ(frame->list()->rows().rowCount(), shown) << "an empty list would read as nothing today";
    }
    EXPECT_TRUE(gui->messages().empty()) << gui->messageTexts().join(QLatin1Char('|')).toStdString();
}

TEST_F(MainFrameTest, EveryControlHasAnAccessibleName)
{
    QStringList unnamed;
    for (QWidget* w : frame->findChildren<QWidget*>()) {
        if (!w->isVisible() || w->focusPolicy() == Qt::NoFocus)
            continue;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        if (!a || a->text(QAccessible::Name).trimmed().isEmpty())
            unnamed << QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(' ') + w->objectName();
    }
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(QStringLiteral(", ")).toStdString();
}

TEST_F(MainFrameTest, MenusOpenWithTheirMnemonics)
{
    frame->activateWindow();
    QTest::keyClick(frame.get(), Qt::Key_F, Qt::AltModifier);
    QMenu* fileMenu = frame->menuBar()->actions().first()->menu();
    EXPECT_TRUE(QTest::qWaitFor([&] { return fileMenu->isVisible(); }));
    fileMenu->close();
}

} // namespace
