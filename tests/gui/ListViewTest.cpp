#include "ArchiveRows.h"
#include "MainWindowTest.h"
#include "ModelCells.h"
#include "RecordingHost.h"

#include "SchemaDdl.h"

#include "schema/TableNames.h"
#include "ui/CTesseraView.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QTest>

#include <optional>

using namespace tessera;
using namespace tessera::test;
using namespace Qt::StringLiterals;

namespace {

// The column names joined, in lower case as PostgreSQL reports them.
QString headers(const QAbstractItemModel& model)
{
    return headerTexts(model).join(QLatin1Char(',')).toLower();
}

// The list on its own, without a database (the connection stays closed), with
// a frame that records its menus, watched by a fatal model tester.
class ListViewTest : public AppFixture<> {
protected:
    RecordingHost host;
    CTesseraView view {host};
    QAbstractItemModelTester tester{&view.GetRows(), QAbstractItemModelTester::FailureReportingMode::Fatal};

    QPoint rowCentre(int row) const { return view.visualRect(view.model()->index(row, 0)).center(); }
    void showStartPage()
    {
        view.ShowStartPage();
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
    void click(int row, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseClick(view.viewport(), Qt::LeftButton, modifiers, rowCentre(row));
    }
    // The press and release reach the list, then the menu request the
    // platform sends with a right-click (QTest sends only the mouse events).
    void rightClick(const QPoint& at)
    {
        QTest::mouseClick(view.viewport(), Qt::RightButton, {}, at);
        QContextMenuEvent request(QContextMenuEvent::Mouse, at, view.viewport()->mapToGlobal(at));
        QApplication::sendEvent(view.viewport(), &request);
    }
};

TEST_F(ListViewTest, StartPageListsTheFiveKindsAndAClosedConnectionNothing)
{
    view.ShowStartPage();
    EXPECT_EQ(headers(view.GetRows()), u"序号,名称"_s);
    EXPECT_EQ(shownRows(view.GetRows()), (std::vector<QStringList> {{"1", "操作事件"}, {"2", "越限事件"}, {"3", "遥信变位"},
                                                                  {"4", "SOE事件"}, {"5", "遥测数据"}}));
    EXPECT_EQ(view.GetCurrentCode(), 0);
    EXPECT_FALSE(view.IsTelemetryMode());
    EXPECT_EQ(view.GetViewMode(), ViewMode::StartPage);

    // Code 0 again is no change; a code without records keeps the rows.
    EXPECT_FALSE(view.SwitchView(0, false));
    EXPECT_TRUE(view.SwitchView(node::kTop, false));
    EXPECT_EQ(view.GetCurrentCode(), node::kTop);
    EXPECT_EQ(view.GetViewMode(), ViewMode::StartPage);
    EXPECT_EQ(view.GetRows().rowCount(), 5);

    // Without a connection a kind or a tag empties the list, without a message.
    EXPECT_TRUE(view.SwitchView(int(ViewMode::SoeEvents), false));
    EXPECT_EQ(view.GetViewMode(), ViewMode::SoeEvents);
    EXPECT_EQ(view.GetRows().rowCount(), 0);
    EXPECT_EQ(view.GetRows().columnCount(), 0);

    view.ShowStartPage();
    EXPECT_TRUE(view.SwitchView(17, true));
    EXPECT_TRUE(view.IsTelemetryMode());
    EXPECT_EQ(view.GetViewMode(), ViewMode::StartPage);
    EXPECT_EQ(view.GetRows().columnCount(), 0);
    EXPECT_EQ(gui->messageTexts(), QStringList());
}

// Whole rows, several at once, never edited. The menu concerns the rows
// selected before the right-click, so the click leaves them as they are; the
// frame's command group picks the menu.
TEST_F(ListViewTest, SelectsWholeRowsThatTheRightClickKeeps)
{
    showStartPage();
    click(0);
    click(2, Qt::ShiftModifier);
    EXPECT_EQ(view.GetSelectedRows(), (std::vector<int> {0, 1, 2}));
    click(1, Qt::ControlModifier);
    click(4, Qt::ControlModifier);
    EXPECT_EQ(view.GetSelectedRows(), (std::vector<int> {0, 2, 4}));
    EXPECT_EQ(view.selectionModel()->selectedIndexes().size(), 6) << "both cells of each row";
    const QModelIndex current = view.currentIndex();

    const struct {
        int group;
        std::optional<ContextMenu> menu;
        int row;
    } cases[] = {
        {1, ContextMenu::RecordList, 1}, {4, ContextMenu::RecordList, 4}, {5, ContextMenu::TelemetryTag, 3},
        {0, std::nullopt, 1},            {2, ContextMenu::RecordList, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.group);
        host.group = c.group;
        host.popups.clear();
        const QPoint at = rowCentre(c.row);
        rightClick(at);
        EXPECT_EQ(view.GetSelectedRows(), (std::vector<int> {0, 2, 4}));
        EXPECT_EQ(view.currentIndex(), current);
        ASSERT_EQ(host.menus(), c.menu ? std::vector<ContextMenu>{*c.menu} : std::vector<ContextMenu>());
        if (c.menu) {
            EXPECT_EQ(host.popups[0].at, view.viewport()->mapToGlobal(at));
        }
    }

    // From the keyboard the menu opens at the current row.
    host.group = 5;
    host.popups.clear();
    QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(0, 0), view.viewport()->mapToGlobal(QPoint(0, 0)));
    QApplication::sendEvent(view.viewport(), &key);
    ASSERT_EQ(host.menus(), std::vector<ContextMenu> {ContextMenu::TelemetryTag});
    const QRect currentRow = view.visualRect(current).adjusted(0, 0, 1, 1);
    EXPECT_TRUE(currentRow.contains(view.viewport()->mapFromGlobal(host.popups[0].at)));
    EXPECT_EQ(view.GetSelectedRows(), (std::vector<int> {0, 2, 4}));

    QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, rowCentre(3));
    QTest::keyClick(view.viewport(), Qt::Key_F2);
    QTest::keyClicks(view.viewport(), u"x"_s);
    EXPECT_TRUE(view.viewport()->findChildren<QLineEdit*>().isEmpty()) << "an editor opened";
    EXPECT_EQ(view.GetRows().cell(3, 0), u"4"_s);
}

// A header click sorts what the list shows, numbers by value; the model and
// so the commands keep the rows where they are, and a new fill shows its
// own order again.
TEST_F(ListViewTest, HeaderClicksSortTheShownRowsOnly)
{
    showStartPage();
    RecordListModel& rows = view.GetRows();
    rows.setColumns({u"值"_s, u"时间"_s});
    rows.removeAllRows();
    rows.appendRows({{u"9"_s, u"08:00:00"_s}, {u"10"_s, u"07:00:00"_s}, {u"abc"_s, u"06:00:00"_s},
                     {u"-1.5"_s, u"09:00:00"_s}});
    QHeaderView* header = view.horizontalHeader();
    auto clickHeader = [&](int column) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
    };
    auto shown = [&](int column) { return columnTexts(*view.model(), column); };

    clickHeader(0);
    EXPECT_EQ(shown(0), (QStringList {u"-1.5"_s, u"9"_s, u"10"_s, u"abc"_s}));
    clickHeader(0);
    EXPECT_EQ(shown(0), (QStringList {u"abc"_s, u"10"_s, u"9"_s, u"-1.5"_s}));
    clickHeader(1);
    EXPECT_EQ(shown(1), (QStringList {u"06:00:00"_s, u"07:00:00"_s, u"08:00:00"_s, u"09:00:00"_s}));
    EXPECT_TRUE(header->isSortIndicatorShown());

    click(0);
    EXPECT_EQ(view.GetSelectedRows(), std::vector<int> {2});
    EXPECT_EQ(columnTexts(rows, 0), (QStringList {u"9"_s, u"10"_s, u"abc"_s, u"-1.5"_s}));
    rows.setCell(2, 1, u"10:00:00"_s); // a command's change takes its place in the order shown
    EXPECT_EQ(shown(1).last(), u"10:00:00"_s);

    view.ShowStartPage();
    EXPECT_EQ(shown(1).first(), u"操作事件"_s);
    EXPECT_FALSE(header->isSortIndicatorShown());
}

// The main window's list over a real database: today's rows through the
// application's shared connection.
class ListViewDbTest : public MainWindowTest {
protected:
    void fillArchive() override { dropTable(telemetryTable); }

    void addSample(const QString& time, int tag, double value)
    {
        insertSample(connection(), kind(), telemetryTable, day + time, tag, value);
    }
    void addEvent(const QString& time)
    {
        connection().execute(u"INSERT INTO Event(AType,ADate,ATime,MiniSecond,Contents,RunSystem,Operator,UserNote) "
                             "VALUES(1,%1,%2,0,'用户登录','SCADA主站','张工','')"_s
                                 .arg(FormatDateLiteral(kind(), today.toString(Qt::ISODate)),
                                      FormatDateLiteral(kind(), time)));
    }
    const QDate today = QDate::currentDate();
    const QString day = today.toString(u"yyyy-MM-dd "_s);
    const QString telemetryTable = TelemetryTableName(today);
};

// Telemetry: oldest sample on top, the kind in the third cell, a wider time
// column; refilled on entering the mode or for another tag only.
TEST_P(ListViewDbTest, TelemetryShowsOneTagAndRefillsOnlyForAnotherTag)
{
    CTesseraView& view = *frame->list();
    connection().execute(ddl::createTelemetryTableSql(kind(), telemetryTable, ddl::Generation::Newer));
    addSample(u"12:00:00"_s, 7, 2.5);
    addSample(u"00:05:00"_s, 7, 1.25);
    addSample(u"23:55:00"_s, 7, 3.75);
    addSample(u"12:00:00"_s, 8, 99);

    ASSERT_TRUE(view.SwitchView(7, true));
    EXPECT_TRUE(view.IsTelemetryMode());
    EXPECT_EQ(view.GetCurrentCode(), 7);
    EXPECT_EQ(view.GetRequestedTag(), 7);
    EXPECT_EQ(view.GetViewMode(), ViewMode::StartPage);
    EXPECT_EQ(columnTexts(view.GetRows(), 0), (QStringList {day + "00:05:00", day + "12:00:00", day + "23:55:00"}));
    EXPECT_EQ(columnTexts(view.GetRows(), 1), (QStringList {"7", "7", "7"}));
    EXPECT_EQ(columnTexts(view.GetRows(), 2), (QStringList {"遥测", "遥测", "遥测"}));
    EXPECT_DOUBLE_EQ(view.GetRows().cell(0, 3).toDouble(), 1.25);
    EXPECT_DOUBLE_EQ(view.GetRows().cell(0, 4).toDouble(), 0);
    EXPECT_EQ(headers(view.GetRows()), u"atime,tagid,datatype,nvalue,nvaluechange"_s);
    // Wide enough for the whole time stamp in this font.
    EXPECT_GE(view.columnWidth(0), view.fontMetrics().horizontalAdvance(view.GetRows().cell(0, 0)));

    addSample(u"23:59:59"_s, 7, 4);
    EXPECT_TRUE(view.SwitchView(7, true)) << "telemetry always reports a change";
    EXPECT_EQ(view.GetRows().rowCount(), 3) << "the same tag is not read again";

    EXPECT_TRUE(view.SwitchView(8, true));
    EXPECT_EQ(columnTexts(view.GetRows(), 1), (QStringList {"8"}));
    EXPECT_TRUE(view.SwitchView(7, true));
    EXPECT_EQ(view.GetRows().rowCount(), 4);

    // Back to a record kind whose code equals the tag shown last.
    addEvent(u"10:00:00"_s);
    ASSERT_TRUE(view.SwitchView(int(ViewMode::OperationEvents), true));
    EXPECT_EQ(view.GetRows().rowCount(), 0) << "no samples of a tag 100";
    EXPECT_EQ(view.GetRows().columnCount(), 5) << "a tag without samples still names the columns";
    EXPECT_TRUE(view.SwitchView(int(ViewMode::OperationEvents), false));
    EXPECT_FALSE(view.IsTelemetryMode());
    EXPECT_EQ(view.GetViewMode(), ViewMode::OperationEvents);
    EXPECT_EQ(view.GetRows().columnCount(), 8);
    EXPECT_EQ(columnTexts(view.GetRows(), 2), (QStringList {"10:00:00"}));
    EXPECT_EQ(gui->messageTexts(), QStringList());
}

// Each read names its own table in its message (limit alarms in a box of the
// list's own); the rows shown before go, and the switch happens all the same.
TEST_P(ListViewDbTest, FailedReadsReportTheirOwnMessage)
{
    CTesseraView& view = *frame->list();
    const struct {
        int code;
        bool telemetry;
        const char* table; // dropped; today's samples table is missing already
        const char* text;
        bool owned;
        QString caption;
    } cases[] = {
        {int(ViewMode::OperationEvents), false, "Event", "读取操作事件表失败!", false, CTesseraApp::kTitle},
        {int(ViewMode::LimitAlarms), false, "LimitAlarm", "查询越限事件表失败!", true, u"越限事件"_s},
        {int(ViewMode::SignalChanges), false, "RSChange", "读取遥信变位表失败!", false, CTesseraApp::kTitle},
        {int(ViewMode::SoeEvents), false, "SOE", "查询SOE信息表失败!", false, CTesseraApp::kTitle},
        {7, true, nullptr, "读取遥测数据表失败!", false, CTesseraApp::kTitle},
    };
    for (const auto& c : cases)
        if (c.table)
            dropTable(QString::fromLatin1(c.table));
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.code);
        view.ShowStartPage();
        EXPECT_TRUE(view.SwitchView(c.code, c.telemetry));
        ASSERT_EQ(gui->messages().size(), i + 1);
        const ScriptedGui::Message& box = gui->messages().back();
        EXPECT_EQ(box.text, QString::fromUtf8(c.text));
        EXPECT_EQ(box.owned, c.owned);
        EXPECT_EQ(box.caption, c.caption);
        EXPECT_EQ(box.icon, QMessageBox::Warning);
        EXPECT_TRUE(box.details.startsWith(u"["_s)) << "the driver's text, SQLSTATE first: " << box.details.toStdString();
        EXPECT_EQ(view.GetRows().rowCount(), 0);
        EXPECT_EQ(view.GetRows().columnCount(), 0);
        EXPECT_EQ(view.GetCurrentCode(), c.code);
        EXPECT_EQ(view.IsTelemetryMode(), c.telemetry);
        EXPECT_EQ(int(view.GetViewMode()), c.telemetry ? int(ViewMode::StartPage) : c.code);
    }
}

// A failure after the columns arrived keeps them (and any rows read before).
TEST_P(ListViewDbTest, FailureAfterTheColumnsKeepsThem)
{
    CTesseraView& view = *frame->list();
    createTable(telemetryTable, u"ATime %1, TagID INTEGER, DataType INTEGER"_s
                                    .arg(kind() == DatabaseKind::PostgreSQL ? u"TIMESTAMP"_s
                                                                            : u"DATETIME"_s));
    connection().execute(u"INSERT INTO %1(ATime,TagID,DataType) VALUES(%2,7,1)"_s
                             .arg(telemetryTable, FormatDateLiteral(kind(), day + u"10:00:00"_s)));
    EXPECT_TRUE(view.SwitchView(7, true));
    EXPECT_EQ(gui->messageTexts(), (QStringList {"读取遥测数据表失败!"}));
    EXPECT_EQ(view.GetRows().columnCount(), 3);
    EXPECT_EQ(view.GetRows().rowCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, ListViewDbTest, allDatabaseKinds(), kindName);

} // namespace
