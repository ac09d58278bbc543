#include "AppFixture.h"
#include "ArchiveRows.h"
#include "RecordingHost.h"

#include "DemoContent.h"
#include "SchemaDdl.h"
#include "schema/TableNames.h"
#include "ui/CLeftTreeView.h"
#include "ui/CTesseraView.h"
#include "view/ViewMode.h"

#include <QContextMenuEvent>
#include <QTest>
#include <QTreeWidgetItemIterator>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace tessera {

using test::RecordingHost;
using namespace Qt::StringLiterals;

namespace {

const QString kCatalogueFailure = u"读取EqpTagInfo表失败!"_s;
const QStringList kFixedNodes = {"操作事件 100", "越限事件 200", "遥信变位 300", "SOE事件 400", "遥测数据 -1"};

int demoTagId(const QString& station, const QString& switchName, const QString& name)
{
    for (const demo::Tag& t : demo::catalogue())
        if (t.station == station && t.switchName == switchName && t.name == name)
            return t.id;
    return 0;
}

// A real tree and a real record list over a SQLite database of the test's
// own, opened as the application's shared connection.
class TreeViewTest : public test::AppFixture<> {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        openSQLiteFile(u"tree.db"_s);
        for (const QString& sql : ddl::createSchemaSql(DatabaseKind::SQLite))
            db().execute(sql);
        // Today's samples table, so that telemetry fills read instead of failing.
        db().execute(ddl::createTelemetryTableSql(DatabaseKind::SQLite, todaysTable(), ddl::Generation::Newer));
        tree.resize(280, 640);
    }

    db::Connection& db() { return app.GetConnection(); }
    static QString todaysTable() { return TelemetryTableName(QDate::currentDate()); }

    void addSample(int tagId, const char* time)
    {
        test::insertSample(db(), DatabaseKind::SQLite, todaysTable(),
                           QDate::currentDate().toString(u"yyyy-MM-dd "_s) + QLatin1String(time), tagId, 1.5);
    }

    void buildAndShow()
    {
        tree.BuildTree();
        tree.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&tree));
    }
    void showDemoTree()
    {
        demo::writeCatalogue(db(), DatabaseKind::SQLite);
        buildAndShow();
    }

    // The node at a path of texts below the top node "数据维护"; nullptr when missing.
    QTreeWidgetItem* node(const QStringList& path) const { return test::nodeAt(tree, path); }
    QTreeWidgetItem* telemetryNode() const { return node({"遥测数据"}); }

    // The subtree below a node as indented lines "text data".
    static QStringList outline(const QTreeWidgetItem* item, int depth = 0)
    {
        QStringList lines;
        for (int i = 0; i < item->childCount(); ++i) {
            const QTreeWidgetItem* child = item->child(i);
            lines << QString(depth * 2, QLatin1Char(' ')) + child->text(0) + QLatin1Char(' ')
                    + QString::number(CLeftTreeView::ItemData(child));
            lines << outline(child, depth + 1);
        }
        return lines;
    }

    // The node selected, the frame's command group and what the list shows.
    void expectSelected(const QString& text, int group, int code, bool telemetry)
    {
        SCOPED_TRACE(text.toStdString());
        ASSERT_NE(tree.GetSelectedNode(), nullptr);
        EXPECT_EQ(tree.GetSelectedNode()->text(0), text);
        EXPECT_EQ(host.group, group);
        EXPECT_EQ(list.GetCurrentCode(), code);
        EXPECT_EQ(list.IsTelemetryMode(), telemetry);
    }

    QPoint labelCentre(QTreeWidgetItem* item) const { return tree.visualItemRect(item).center(); }
    void click(QTreeWidgetItem* item) { test::clickNode(tree, item); }
    void rightClick(const QPoint& viewportPosition)
    {
        QTest::mouseClick(tree.viewport(), Qt::RightButton, {}, viewportPosition);
    }
    void key(Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier) { QTest::keyClick(&tree, k, modifiers); }

    RecordingHost host;
    CTesseraView list {host};
    CLeftTreeView tree {host, list};
};

// --- building -------------------------------------------------------------

TEST_F(TreeViewTest, FixedNodesCarryTheirItemDataLevelsTheirImagesAndOnlyTheTopNodeIsExpanded)
{
    showDemoTree();
    ASSERT_EQ(tree.topLevelItemCount(), 1);
    QTreeWidgetItem* top = tree.topLevelItem(0);
    EXPECT_EQ(CLeftTreeView::ItemData(top), node::kTop);
    QStringList expanded;
    for (QTreeWidgetItemIterator it(&tree); *it; ++it)
        if ((*it)->isExpanded())
            expanded << (*it)->text(0);
    EXPECT_EQ(expanded, QStringList{"数据维护"});
    EXPECT_EQ(list.GetCurrentCode(), 0); // building selects nothing
    EXPECT_EQ(gui->messageTexts(), QStringList());

    // Each level has its own image, with a selected variant.
    std::vector<QImage> normals;
    for (QTreeWidgetItem* item : {node({}), node({"越限事件"}), node({"遥测数据", "城北变电站"}),
                                  node({"遥测数据", "城北变电站", "1号主变"}),
                                  node({"遥测数据", "城北变电站", "1号主变", "A相电流"})}) {
        ASSERT_NE(item, nullptr);
        SCOPED_TRACE(item->text(0).toStdString());
        const QIcon icon = item->icon(0);
        normals.push_back(icon.pixmap(QSize(16, 16), QIcon::Normal).toImage());
        EXPECT_NE(normals.back(), icon.pixmap(QSize(16, 16), QIcon::Selected).toImage());
    }
    // The top node shares the record kinds' image; kinds, stations, switches
    // and tags each have their own.
    EXPECT_EQ(normals[0], normals[1]);
    for (size_t i = 1; i < normals.size(); ++i)
        for (size_t j = i + 1; j < normals.size(); ++j)
            EXPECT_NE(normals[i], normals[j]) << i << ' ' << j;
}

TEST_F(TreeViewTest, OnlyConsecutiveRowsOfTheStatementMerge)
{
    db().execute(u"INSERT INTO EqpTagInfo(StationName,SwitchName,TagType,TagName,TagID) VALUES"
                 "('测试站','开关甲','遥测','电流',201), ('测试站','开关甲','遥脉','电度',202),"
                 "('测试站','开关甲','遥脉','电流',203), ('测试站','开关甲','遥测','电压',204),"
                 "('测试站','开关甲','遥控','合闸',205), ('测试站','开关乙','遥测','电流',301),"
                 "('测试站','开关乙','遥脉','电流',302), ('测试站','开关乙','遥信','电流',303),"
                 "('测试站','','遥测','母线电压',401), ('实时数据库','','遥测','总负荷',501)"_s);
    buildAndShow();

    EXPECT_EQ(outline(telemetryNode()), (QStringList {
                                            "测试站 -2",
                                            "  测试站 -3",
                                            "    母线电压 401",
                                            // 遥测 then 遥脉 of one name follow each other: one
                                            // node, the first row's id; 遥信 is not read.
                                            "  开关乙 -3",
                                            "    电流 301",
                                            // 遥测 电压, 遥测 电流, 遥脉 电度, 遥脉 电流: the
                                            // second 电流 comes after 电度 and is a node of its own.
                                            "  开关甲 -3",
                                            "    电压 204",
                                            "    电流 201",
                                            "    电度 202",
                                            "    电流 203",
                                        }));
}

// Without a catalogue the fixed nodes stay: silently when the connection is
// closed, with a message when the query fails.
TEST_F(TreeViewTest, RebuildWithoutACatalogueLeavesTheFixedNodes)
{
    showDemoTree();
    ASSERT_GT(telemetryNode()->childCount(), 0);
    db().close();
    tree.BuildTree();
    ASSERT_EQ(tree.topLevelItemCount(), 1);
    EXPECT_EQ(outline(tree.topLevelItem(0)), kFixedNodes);
    EXPECT_TRUE(tree.GetCatalogue().children.empty());
    EXPECT_EQ(gui->messageTexts(), QStringList());

    openSQLiteFile(u"tree.db"_s);
    db().execute(u"DROP TABLE EqpTagInfo"_s);
    tree.BuildTree();
    ASSERT_EQ(gui->messageTexts(), QStringList{kCatalogueFailure});
    EXPECT_TRUE(gui->messages()[0].details.contains(u"EqpTagInfo"_s)) << gui->messages()[0].details.toStdString();
    EXPECT_EQ(gui->messages()[0].caption, CTesseraApp::kTitle);
    EXPECT_FALSE(gui->messages()[0].owned);
    EXPECT_EQ(outline(tree.topLevelItem(0)), kFixedNodes);

    // A catalogue too narrow for the tag id fails on its first row the same way.
    db().execute(u"CREATE TABLE EqpTagInfo(StationName TEXT, SwitchName TEXT, TagType TEXT, TagName TEXT)"_s);
    db().execute(u"INSERT INTO EqpTagInfo VALUES('测试站','开关甲','遥测','电流')"_s);
    tree.BuildTree();
    EXPECT_EQ(gui->messageTexts(), QStringList({kCatalogueFailure, kCatalogueFailure}));
    EXPECT_EQ(telemetryNode()->childCount(), 0);
}

// --- selection ------------------------------------------------------------

TEST_F(TreeViewTest, ClickingNodesSetsTheGroupAndSwitchesTheList)
{
    demo::writeCatalogue(db(), DatabaseKind::SQLite);
    const QString south = u"城南变电站"_s;
    const int tagId = demoTagId(south, u"1号主变"_s, u"有功功率"_s);
    const int stationTagId = demoTagId(south, QString(), u"系统频率"_s);
    addSample(tagId, "00:05:00");
    addSample(tagId, "00:10:00");
    addSample(tagId + 1, "00:05:00");
    buildAndShow();

    const struct {
        QStringList path;
        int group;
        int code;
        bool telemetry;
        int rows;
    } cases[] = {
        {{"越限事件"}, 2, 200, false, 0},
        {{"操作事件"}, 1, 100, false, 0},
        {{"遥信变位"}, 3, 300, false, 0},
        {{"SOE事件"}, 4, 400, false, 0},
        {{"遥测数据"}, 5, -1, true, 0},
        // The top node changes only the group: the list stays on the telemetry node.
        {{}, 5, -1, true, 0},
        {{"遥测数据", "城南变电站"}, 5, -2, true, 0},
        {{"遥测数据", "城南变电站", "1号主变"}, 5, -3, true, 0},
        {{"遥测数据", "城南变电站", "1号主变", "有功功率"}, 5, tagId, true, 2},
        {{"遥测数据", "城南变电站", "城南变电站", "系统频率"}, 5, stationTagId, true, 0},
        {{"越限事件"}, 2, 200, false, 0},
    };
    for (const auto& c : cases) {
        QTreeWidgetItem* item = node(c.path);
        ASSERT_NE(item, nullptr);
        click(item); // opens the nodes above it
        expectSelected(item->text(0), c.group, c.code, c.telemetry);
        EXPECT_EQ(list.GetRows().rowCount(), c.rows) << item->text(0).toStdString();
    }
    EXPECT_EQ(gui->messageTexts(), QStringList());

    // Rebuilding away the selected node: no node is the telemetry-or-other
    // group, and the list keeps what it shows.
    tree.BuildTree();
    EXPECT_EQ(tree.GetSelectedNode(), nullptr);
    EXPECT_EQ(host.group, 5);
    EXPECT_EQ(list.GetCurrentCode(), int(ViewMode::LimitAlarms));
    EXPECT_FALSE(list.IsTelemetryMode());
}

TEST_F(TreeViewTest, KeyboardAloneWalksTheTree)
{
    showDemoTree();
    tree.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&tree));
    tree.setFocus();
    QTRY_VERIFY(tree.hasFocus());
    // Focus alone makes the first node current without selecting it.
    ASSERT_EQ(tree.currentItem(), tree.topLevelItem(0));
    ASSERT_EQ(tree.GetSelectedNode(), nullptr);
    const int firstTag = demoTagId(u"城北变电站"_s, QString(), u"10kV母线电压"_s);

    const struct {
        std::vector<Qt::Key> keys;
        const char* text;
        int group;
        int code;
        bool telemetry;
    } steps[] = {
        {{Qt::Key_Space}, "数据维护", 5, 0, false},
        {{Qt::Key_Down}, "操作事件", 1, 100, false},
        {{Qt::Key_Down}, "越限事件", 2, 200, false},
        {{Qt::Key_Down, Qt::Key_Down, Qt::Key_Down}, "遥测数据", 5, -1, true},
        // Right opens a node, Down enters it.
        {{Qt::Key_Right, Qt::Key_Down}, "城北变电站", 5, -2, true},
        {{Qt::Key_Right, Qt::Key_Down}, "城北变电站", 5, -3, true},
        {{Qt::Key_Right, Qt::Key_Down}, "10kV母线电压", 5, firstTag, true},
        // Left goes to the parent, Up past the open nodes back to a kind.
        {{Qt::Key_Left}, "城北变电站", 5, -3, true},
        {{Qt::Key_Up, Qt::Key_Up, Qt::Key_Up}, "SOE事件", 4, 400, false},
    };
    for (const auto& s : steps) {
        for (Qt::Key k : s.keys)
            key(k);
        expectSelected(QString::fromUtf8(s.text), s.group, s.code, s.telemetry);
    }
}

TEST_F(TreeViewTest, SelectKindNodeSelectsAChildOfTheTopNodeByItemData)
{
    demo::writeCatalogue(db(), DatabaseKind::SQLite);
    tree.SelectKindNode(200); // no tree yet: nothing to select
    EXPECT_EQ(host.group, 0);

    buildAndShow();
    tree.topLevelItem(0)->setExpanded(false);
    tree.SelectKindNode(300);
    EXPECT_TRUE(tree.topLevelItem(0)->isExpanded());
    expectSelected(u"遥信变位"_s, 3, 300, false);
    tree.SelectKindNode(node::kTelemetry);
    expectSelected(u"遥测数据"_s, 5, -1, true);

    // Only the top node's children count: not the top node itself, not a
    // station with its -2, not a code no node has.
    for (int code : {node::kTop, node::kStation, 999}) {
        tree.SelectKindNode(code);
        EXPECT_EQ(tree.GetSelectedNode(), telemetryNode()) << code;
    }
}

// --- context menus --------------------------------------------------------

TEST_F(TreeViewTest, RecordKindMenuOnlyOnTheSelectedKindNode)
{
    showDemoTree();
    QTreeWidgetItem* limits = node({"越限事件"});
    // Nothing selected yet (group 0): no menu anywhere (the one menu below is
    // the first), and right-clicks, double or not, neither select nor open a node.
    rightClick(labelCentre(limits));
    QTest::mouseDClick(tree.viewport(), Qt::RightButton, {}, labelCentre(telemetryNode()));
    EXPECT_EQ(tree.GetSelectedNode(), nullptr);
    EXPECT_FALSE(telemetryNode()->isExpanded());

    click(limits);
    rightClick(labelCentre(limits));
    ASSERT_EQ(host.menus(), std::vector<ContextMenu>({ContextMenu::RecordKindNode}));
    EXPECT_EQ(host.popups[0].at, tree.viewport()->mapToGlobal(labelCentre(limits)));

    // The next kind's label, the indentation left of the label, the empty
    // space below the last node: nothing.
    const QRect label = tree.visualItemRect(limits);
    rightClick(labelCentre(node({"遥信变位"})));
    rightClick(QPoint(label.left() - 4, label.center().y()));
    rightClick(QPoint(label.center().x(), tree.viewport()->height() - 3));
    EXPECT_EQ(host.popups.size(), 1u);
    // Right-clicks neither selected another node nor switched the list.
    expectSelected(u"越限事件"_s, 2, 200, false);
}

TEST_F(TreeViewTest, TelemetryMenusFollowTheSelectedNodeWhereverTheClick)
{
    showDemoTree();
    tree.expandAll();
    const QPoint elsewhere[] = {labelCentre(node({"操作事件"})), QPoint(3, 3),
                                labelCentre(node({"遥测数据", "城北变电站"}))};
    const std::pair<QTreeWidgetItem*, std::optional<ContextMenu>> cases[] = {
        {node({"遥测数据", "城北变电站", "1号主变", "A相电流"}), ContextMenu::TelemetryTag},
        {node({"遥测数据", "城北变电站", "1号主变"}), ContextMenu::TelemetryGroup},
        {node({"遥测数据", "城北变电站"}), ContextMenu::TelemetryGroup},
        {node({}), ContextMenu::TelemetryGroup},
        {telemetryNode(), std::nullopt},
    };
    for (const auto& [selected, menu] : cases) {
        SCOPED_TRACE(selected->text(0).toStdString());
        click(selected);
        ASSERT_EQ(host.group, 5);
        tree.scrollToTop();
        host.popups.clear();
        for (const QPoint& p : elsewhere)
            rightClick(p);
        EXPECT_EQ(host.menus(), menu ? std::vector<ContextMenu>(3, *menu) : std::vector<ContextMenu>());
    }
}

TEST_F(TreeViewTest, MenuKeyOpensTheSameMenusBelowTheSelectedNode)
{
    showDemoTree();
    tree.setFocus();
    key(Qt::Key_Menu); // nothing selected: no menu, as the list below shows

    QTreeWidgetItem* limits = node({"越限事件"});
    click(limits);
    key(Qt::Key_Menu);
    key(Qt::Key_F10, Qt::ShiftModifier);
    key(Qt::Key_F10); // F10 alone is no menu key
    ASSERT_EQ(host.menus(), std::vector<ContextMenu>({ContextMenu::RecordKindNode, ContextMenu::RecordKindNode}));
    EXPECT_EQ(host.popups[0].at, tree.viewport()->mapToGlobal(tree.visualItemRect(limits).bottomLeft()));

    // A tag far down, scrolled out of sight: the menu opens where it is shown again.
    host.popups.clear();
    tree.resize(280, 120);
    tree.expandAll();
    QTreeWidgetItem* tag = node({"遥测数据", "江东变电站", "1号主变", "有功功率"});
    click(tag);
    tree.scrollToTop();
    ASSERT_FALSE(tree.viewport()->rect().intersects(tree.visualItemRect(tag)));
    key(Qt::Key_Menu);
    ASSERT_EQ(host.menus(), std::vector<ContextMenu>({ContextMenu::TelemetryTag}));
    const QRect shown = tree.visualItemRect(tag);
    EXPECT_TRUE(tree.viewport()->rect().contains(shown));
    EXPECT_EQ(host.popups[0].at, tree.viewport()->mapToGlobal(shown.bottomLeft()));
    EXPECT_EQ(tree.GetSelectedNode(), tag);

    // The keyboard menu event a platform sends after the key press opens
    // nothing more; sent without a key press (assistive tools) it opens one.
    for (int i = 0; i < 2; ++i) {
        QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(5, 5), tree.mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(&tree, &event);
    }
    EXPECT_EQ(host.menus(), std::vector<ContextMenu>(2, ContextMenu::TelemetryTag));
}

} // namespace
} // namespace tessera
