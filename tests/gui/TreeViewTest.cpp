#include "AppFixture.h"
#include "RecordingHost.h"

#include "DemoContent.h"
#include "SchemaDdl.h"
#include "schema/TableNames.h"
#include "ui/CLeftTreeView.h"
#include "ui/CTesseraView.h"
#include "ui/CommandHost.h"
#include "view/ViewMode.h"

#include <QAccessible>
#include <QContextMenuEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace tessera {

using test::RecordingHost;

namespace {

const QString kCatalogueFailure = QStringLiteral("读取EqpTagInfo表失败!");

// A real tree and a real record list over a SQLite database of the test's
// own, opened as the application's shared connection.
class TreeViewTest : public test::AppFixture<> {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        openSQLiteFile(QStringLiteral("tree.db"));
        for (const QString& sql : ddl::createSchemaSql(DatabaseKind::SQLite))
            db().execute(sql);
        // Today's samples table, so that telemetry fills read instead of failing.
        db().execute(ddl::createTelemetryTableSql(DatabaseKind::SQLite, todaysTable(), ddl::Generation::Newer));
        tree.resize(280, 640);
    }

    db::Connection& db() { return app.connection(); }
    static QString todaysTable() { return TelemetryTableName(QDate::currentDate()); }

    void addTag(const char* station, const char* switchName, const char* type, const char* name, int id)
    {
        db().execute(QStringLiteral("INSERT INTO EqpTagInfo(StationName,SwitchName,TagType,TagName,TagID) "
                                    "VALUES('%1','%2','%3','%4',%5)")
                         .arg(QString::fromUtf8(station), QString::fromUtf8(switchName), QString::fromUtf8(type),
                              QString::fromUtf8(name))
                         .arg(id));
    }
    void addSample(int tagId, const char* time)
    {
        db().execute(QStringLiteral("INSERT INTO %1(ATime,TagID,DataType,nValue,nValueChange) "
                                    "VALUES('%2 %3',%4,0,1.5,0)")
                         .arg(todaysTable(), QDate::currentDate().toString(Qt::ISODate), QLatin1String(time))
                         .arg(tagId));
    }

    void buildAndShow()
    {
        tree.BuildTree();
        tree.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&tree));
    }

    // The node at a path of texts from the top node; nullptr when missing.
    QTreeWidgetItem* node(std::initializer_list<const char*> path) const
    {
        QTreeWidgetItem* item = nullptr;
        for (const char* text : path) {
            QTreeWidgetItem* next = nullptr;
            const int count = item ? item->childCount() : tree.topLevelItemCount();
            for (int i = 0; i < count && !next; ++i) {
                QTreeWidgetItem* candidate = item ? item->child(i) : tree.topLevelItem(i);
                if (candidate->text(0) == QString::fromUtf8(text))
                    next = candidate;
            }
            if (!next)
                return nullptr;
            item = next;
        }
        return item;
    }
    QTreeWidgetItem* telemetryNode() const { return node({"数据维护", "遥测数据"}); }

    // The subtree below a node as indented lines "text data".
    static QStringList outline(const QTreeWidgetItem* item, int depth = 0)
    {
        QStringList lines;
        for (int i = 0; i < item->childCount(); ++i) {
            const QTreeWidgetItem* child = item->child(i);
            lines << QString(depth * 2, QLatin1Char(' ')) + child->text(0) + QLatin1Char(' ')
                    + QString::number(CLeftTreeView::itemData(child));
            lines << outline(child, depth + 1);
        }
        return lines;
    }
    // The whole tree's texts, any depth.
    QStringList allTexts() const
    {
        QStringList texts;
        for (QTreeWidgetItemIterator it(const_cast<CLeftTreeView*>(&tree)); *it; ++it)
            texts << (*it)->text(0);
        return texts;
    }

    QPoint labelCentre(QTreeWidgetItem* item) const { return tree.visualItemRect(item).center(); }
    void click(QTreeWidgetItem* item)
    {
        ASSERT_NE(item, nullptr);
        tree.scrollToItem(item);
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, labelCentre(item));
    }
    void rightClick(const QPoint& viewportPosition)
    {
        QTest::mouseClick(tree.viewport(), Qt::RightButton, {}, viewportPosition);
    }
    void key(Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier) { QTest::keyClick(&tree, k, modifiers); }

    RecordingHost host;
    CTesseraView list {host};
    CLeftTreeView tree {host, list};
};

QStringList lines(std::initializer_list<const char*> texts)
{
    QStringList out;
    for (const char* text : texts)
        out << QString::fromUtf8(text);
    return out;
}

int demoTagId(const QString& station, const QString& switchName, const QString& name)
{
    for (const demo::Tag& t : demo::catalogue())
        if (t.station == station && t.switchName == switchName && t.name == name)
            return t.id;
    return 0;
}

// --- building -------------------------------------------------------------

TEST_F(TreeViewTest, FixedNodesCarryTheirItemDataAndOnlyTheTopNodeIsExpanded)
{
    demo::writeCatalogue(db(), DatabaseKind::SQLite);
    buildAndShow();

    ASSERT_EQ(tree.topLevelItemCount(), 1);
    QTreeWidgetItem* top = tree.topLevelItem(0);
    EXPECT_EQ(top->text(0), "数据维护");
    EXPECT_EQ(CLeftTreeView::itemData(top), node::kTop);
    QStringList kinds;
    for (int i = 0; i < top->childCount(); ++i)
        kinds << top->child(i)->text(0) + QLatin1Char(' ') + QString::number(CLeftTreeView::itemData(top->child(i)));
    EXPECT_EQ(kinds, lines({"操作事件 100", "越限事件 200", "遥信变位 300", "SOE事件 400", "遥测数据 -1"}));

    EXPECT_TRUE(top->isExpanded());
    EXPECT_FALSE(telemetryNode()->isExpanded());
    for (int i = 0; i < telemetryNode()->childCount(); ++i)
        EXPECT_FALSE(telemetryNode()->child(i)->isExpanded()) << telemetryNode()->child(i)->text(0).toStdString();
    // Building selects nothing: the frame's command group stays "none yet".
    EXPECT_EQ(tree.selectedNode(), nullptr);
    EXPECT_EQ(host.group, 0);
    EXPECT_EQ(list.currentCode(), 0);

    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&tree);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->text(QAccessible::Name), "导航树");
    EXPECT_TRUE(gui->messages().empty()) << gui->messageTexts().join(QLatin1Char('|')).toStdString();
}

TEST_F(TreeViewTest, EachLevelHasItsOwnImageWithASelectedVariant)
{
    demo::writeCatalogue(db(), DatabaseKind::SQLite);
    buildAndShow();
    QTreeWidgetItem* levels[] = {
        node({"数据维护"}),
        node({"数据维护", "越限事件"}),
        node({"数据维护", "遥测数据", "城北变电站"}),
        node({"数据维护", "遥测数据", "城北变电站", "1号主变"}),
        node({"数据维护", "遥测数据", "城北变电站", "1号主变", "A相电流"}),
    };
    std::vector<QImage> normals;
    for (QTreeWidgetItem* item : levels) {
        ASSERT_NE(item, nullptr);
        const QIcon icon = item->icon(0);
        ASSERT_FALSE(icon.isNull()) << item->text(0).toStdString(); // the images are linked in
        const QImage normal = icon.pixmap(QSize(16, 16), QIcon::Normal).toImage();
        const QImage selected = icon.pixmap(QSize(16, 16), QIcon::Selected).toImage();
        EXPECT_EQ(normal.size(), QSize(16, 16));
        EXPECT_NE(normal, selected) << item->text(0).toStdString();
        normals.push_back(normal);
    }
    // The top node shares the record kinds' image; stations, switches and
    // tags each have their own.
    EXPECT_EQ(normals[0], normals[1]);
    EXPECT_NE(normals[1], normals[2]);
    EXPECT_NE(normals[2], normals[3]);
    EXPECT_NE(normals[3], normals[4]);
    EXPECT_NE(normals[1], normals[4]);
}

TEST_F(TreeViewTest, CatalogueShowsTelemetryAndPulseTagsByStationAndSwitch)
{
    demo::writeCatalogue(db(), DatabaseKind::SQLite);
    buildAndShow();

    QStringList stations;
    for (int i = 0; i < telemetryNode()->childCount(); ++i)
        stations << telemetryNode()->child(i)->text(0);
    EXPECT_EQ(stations, lines({"城北变电站", "城南变电站", "江东变电站"}));

    // In the order of the statement: switches by name (the empty one first,
    // shown as its station), tags by type (遥测 before 遥脉), then by name.
    const QString st = QStringLiteral("城北变电站");
    auto id = [&](const char* sw, const char* tag) {
        return QString::number(demoTagId(st, QString::fromUtf8(sw), QString::fromUtf8(tag)));
    };
    QStringList expected = {QStringLiteral("城北变电站 -3"), "  10kV母线电压 " + id("", "10kV母线电压"),
                            "  系统频率 " + id("", "系统频率")};
    for (const char* sw : {"10kV城关线", "10kV工业线", "1号主变"}) {
        expected << QString::fromUtf8(sw) + QStringLiteral(" -3") << "  A相电流 " + id(sw, "A相电流")
                 << "  无功功率 " + id(sw, "无功功率") << "  有功功率 " + id(sw, "有功功率")
                 << "  正向有功电度 " + id(sw, "正向有功电度");
    }
    EXPECT_EQ(outline(node({"数据维护", "遥测数据", "城北变电站"})), expected);

    // Remote signals and the real-time database's global variables never appear.
    const QStringList texts = allTexts();
    for (const char* absent : {"开关位置", "保护动作", "实时数据库", "全局变量", "系统总负荷"})
        EXPECT_FALSE(texts.contains(QString::fromUtf8(absent))) << absent;
    EXPECT_EQ(tree.catalogue().children.size(), 3u);
    EXPECT_TRUE(gui->messages().empty()) << gui->messageTexts().join(QLatin1Char('|')).toStdString();
}

TEST_F(TreeViewTest, OnlyConsecutiveRowsOfTheStatementMerge)
{
    addTag("测试站", "开关甲", "遥测", "电流", 201);
    addTag("测试站", "开关甲", "遥脉", "电度", 202);
    addTag("测试站", "开关甲", "遥脉", "电流", 203);
    addTag("测试站", "开关甲", "遥测", "电压", 204);
    addTag("测试站", "开关甲", "遥控", "合闸", 205);
    addTag("测试站", "开关乙", "遥测", "电流", 301);
    addTag("测试站", "开关乙", "遥脉", "电流", 302);
    addTag("测试站", "开关乙", "遥信", "电流", 303);
    addTag("测试站", "", "遥测", "母线电压", 401);
    addTag("实时数据库", "", "遥测", "总负荷", 501);
    buildAndShow();

    EXPECT_EQ(outline(telemetryNode()), lines({
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

TEST_F(TreeViewTest, RebuildReadsTheCatalogueAgain)
{
    addTag("测试站", "开关甲", "遥测", "电流", 201);
    buildAndShow();
    addTag("新站", "开关丙", "遥测", "电压", 777);
    // Nothing changes until the next rebuild.
    EXPECT_EQ(outline(telemetryNode()), lines({"测试站 -2", "  开关甲 -3", "    电流 201"}));

    tree.BuildTree();
    EXPECT_EQ(outline(telemetryNode()),
              lines({"新站 -2", "  开关丙 -3", "    电压 777", "测试站 -2", "  开关甲 -3", "    电流 201"}));
    EXPECT_EQ(tree.topLevelItemCount(), 1);
}

TEST_F(TreeViewTest, ClosedConnectionGivesTheFixedNodesSilently)
{
    demo::writeCatalogue(db(), DatabaseKind::SQLite);
    buildAndShow();
    ASSERT_GT(telemetryNode()->childCount(), 0);

    db().close();
    tree.BuildTree();
    ASSERT_EQ(tree.topLevelItemCount(), 1);
    EXPECT_EQ(outline(tree.topLevelItem(0)),
              lines({"操作事件 100", "越限事件 200", "遥信变位 300", "SOE事件 400", "遥测数据 -1"}));
    EXPECT_TRUE(tree.catalogue().children.empty());
    EXPECT_TRUE(gui->messages().empty()) << gui->messageTexts().join(QLatin1Char('|')).toStdString();
}

TEST_F(TreeViewTest, FailingCatalogueQueryIsReportedAndLeavesTheFixedNodes)
{
    demo::writeCatalogue(db(), DatabaseKind::SQLite);
    buildAndShow();
    db().execute(QStringLiteral("DROP TABLE EqpTagInfo"));

    tree.BuildTree();
    ASSERT_EQ(gui->messages().size(), 1u);
    EXPECT_EQ(gui->messages()[0].text, kCatalogueFailure);
    EXPECT_EQ(gui->messages()[0].caption, CTesseraApp::kTitle);
    EXPECT_FALSE(gui->messages()[0].owned);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the wait cursor was left on";
    ASSERT_EQ(tree.topLevelItemCount(), 1);
    EXPECT_EQ(tree.topLevelItem(0)->childCount(), 5);
    EXPECT_EQ(telemetryNode()->childCount(), 0);

    // A catalogue too narrow for the tag id fails on its first row the same way.
    db().execute(
        QStringLiteral("CREATE TABLE EqpTagInfo(StationName TEXT, SwitchName TEXT, TagType TEXT, TagName TEXT)"));
    db().execute(QStringLiteral("INSERT INTO EqpTagInfo VALUES('测试站','开关甲','遥测','电流')"));
    tree.BuildTree();
    EXPECT_EQ(gui->messageTexts(), QStringList({kCatalogueFailure, kCatalogueFailure}));
    EXPECT_EQ(telemetryNode()->childCount(), 0);
}

TEST_F(TreeViewTest, RebuildingAwaySelectedNodeLeavesNothingSelected)
{
    demo::writeCatalogue(db(), DatabaseKind::SQLite);
    buildAndShow();
    click(node({"数据维护", "越限事件"}));
    ASSERT_EQ(host.group, 2);

    tree.BuildTree();
    EXPECT_EQ(tree.selectedNode(), nullptr);
    // No node is the telemetry-or-other group; the list keeps what it shows.
    EXPECT_EQ(host.group, 5);
    EXPECT_EQ(list.currentCode(), int(ViewMode::LimitAlarms));
    EXPECT_FALSE(list.isTelemetryMode());
}

// --- selection ------------------------------------------------------------

TEST_F(TreeViewTest, ClickingNodesSetsTheGroupAndSwitchesTheList)
{
    demo::writeCatalogue(db(), DatabaseKind::SQLite);
    const QString south = QStringLiteral("城南变电站");
    const int tagId = demoTagId(south, QStringLiteral("1号主变"), QStringLiteral("有功功率"));
    const int stationTagId = demoTagId(south, QString(), QStringLiteral("系统频率"));
    addSample(tagId, "00:05:00");
    addSample(tagId, "00:10:00");
    addSample(tagId + 1, "00:05:00");
    buildAndShow();

    struct Case {
        std::initializer_list<const char*> path;
        int group;
        int code;
        bool telemetry;
        int rows;
    };
    const Case cases[] = {
        {{"数据维护", "越限事件"}, 2, 200, false, 0},
        {{"数据维护", "操作事件"}, 1, 100, false, 0},
        {{"数据维护", "遥信变位"}, 3, 300, false, 0},
        {{"数据维护", "SOE事件"}, 4, 400, false, 0},
        {{"数据维护", "遥测数据"}, 5, -1, true, 0},
        // The top node changes only the group: the list stays on the telemetry node.
        {{"数据维护"}, 5, -1, true, 0},
        {{"数据维护", "遥测数据", "城南变电站"}, 5, -2, true, 0},
        {{"数据维护", "遥测数据", "城南变电站", "1号主变"}, 5, -3, true, 0},
        {{"数据维护", "遥测数据", "城南变电站", "1号主变", "有功功率"}, 5, tagId, true, 2},
        {{"数据维护", "遥测数据", "城南变电站", "城南变电站", "系统频率"}, 5, stationTagId, true, 0},
        {{"数据维护", "越限事件"}, 2, 200, false, 0},
    };
    for (const Case& c : cases) {
        QTreeWidgetItem* item = node(c.path);
        ASSERT_NE(item, nullptr) << QString::fromUtf8(*(c.path.end() - 1)).toStdString();
        const QString what = item->text(0);
        if (item->parent())
            tree.expandItem(item->parent());
        click(item);
        EXPECT_EQ(tree.selectedNode(), item) << what.toStdString();
        EXPECT_EQ(host.group, c.group) << what.toStdString();
        EXPECT_EQ(list.currentCode(), c.code) << what.toStdString();
        EXPECT_EQ(list.isTelemetryMode(), c.telemetry) << what.toStdString();
        EXPECT_EQ(list.rows().rowCount(), c.rows) << what.toStdString();
    }
    EXPECT_TRUE(gui->messages().empty()) << gui->messageTexts().join(QLatin1Char('|')).toStdString();
}

TEST_F(TreeViewTest, KeyboardAloneWalksTheTree)
{
    demo::writeCatalogue(db(), DatabaseKind::SQLite);
    buildAndShow();
    tree.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&tree));
    tree.setFocus();
    QTRY_VERIFY(tree.hasFocus());
    // Focus alone makes the first node current without selecting it.
    ASSERT_EQ(tree.currentItem(), tree.topLevelItem(0));
    ASSERT_EQ(tree.selectedNode(), nullptr);
    const int firstTag = demoTagId(QStringLiteral("城北变电站"), QString(), QStringLiteral("10kV母线电压"));

    struct Step {
        std::vector<Qt::Key> keys;
        const char* text;
        int group;
        int code;
        bool telemetry;
    };
    const Step steps[] = {
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
    for (const Step& s : steps) {
        for (Qt::Key k : s.keys)
            key(k);
        QTreeWidgetItem* selected = tree.selectedNode();
        ASSERT_NE(selected, nullptr) << s.text;
        EXPECT_EQ(selected->text(0), QString::fromUtf8(s.text));
        EXPECT_EQ(host.group, s.group) << s.text;
        EXPECT_EQ(list.currentCode(), s.code) << s.text;
        EXPECT_EQ(list.isTelemetryMode(), s.telemetry) << s.text;
    }
}

TEST_F(TreeViewTest, DoubleClickOpensAndClosesANode)
{
    demo::writeCatalogue(db(), DatabaseKind::SQLite);
    buildAndShow();
    QTreeWidgetItem* telemetry = telemetryNode();
    QTest::mouseDClick(tree.viewport(), Qt::LeftButton, {}, labelCentre(telemetry));
    EXPECT_TRUE(telemetry->isExpanded());
    QTest::mouseDClick(tree.viewport(), Qt::LeftButton, {}, labelCentre(telemetry));
    EXPECT_FALSE(telemetry->isExpanded());
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
    EXPECT_EQ(tree.selectedNode(), node({"数据维护", "遥信变位"}));
    EXPECT_EQ(host.group, 3);
    EXPECT_EQ(list.currentCode(), 300);

    tree.SelectKindNode(node::kTelemetry);
    EXPECT_EQ(tree.selectedNode(), telemetryNode());
    EXPECT_EQ(host.group, 5);
    EXPECT_TRUE(list.isTelemetryMode());
    EXPECT_EQ(list.currentCode(), -1);

    // Only the top node's children count: not the top node itself, not a
    // station with its -2, not a code no node has.
    for (int code : {node::kTop, node::kStation, 999}) {
        tree.SelectKindNode(code);
        EXPECT_EQ(tree.selectedNode(), telemetryNode()) << code;
    }
    EXPECT_EQ(list.currentCode(), -1);
}

// --- context menus --------------------------------------------------------

TEST_F(TreeViewTest, RecordKindMenuOnlyOnTheSelectedKindNode)
{
    demo::writeCatalogue(db(), DatabaseKind::SQLite);
    buildAndShow();
    QTreeWidgetItem* limits = node({"数据维护", "越限事件"});
    QTreeWidgetItem* signalChanges = node({"数据维护", "遥信变位"});

    // Nothing selected yet (group 0): no menu anywhere.
    rightClick(labelCentre(limits));
    EXPECT_TRUE(host.popups.empty());

    click(limits);
    rightClick(labelCentre(limits));
    ASSERT_EQ(host.menus(), std::vector<ContextMenu>({ContextMenu::RecordKindNode}));
    EXPECT_EQ(host.popups[0].at, tree.viewport()->mapToGlobal(labelCentre(limits)));

    // The next kind's label, the indentation left of the label, the empty
    // space below the last node: nothing.
    const QRect label = tree.visualItemRect(limits);
    rightClick(labelCentre(signalChanges));
    rightClick(QPoint(label.left() - 4, label.center().y()));
    rightClick(QPoint(label.center().x(), tree.viewport()->height() - 3));
    EXPECT_EQ(host.popups.size(), 1u);

    // Right-clicks neither selected another node nor switched the list.
    EXPECT_EQ(tree.selectedNode(), limits);
    EXPECT_EQ(host.group, 2);
    EXPECT_EQ(list.currentCode(), 200);
}

TEST_F(TreeViewTest, TelemetryMenusFollowTheSelectedNodeWhereverTheClick)
{
    demo::writeCatalogue(db(), DatabaseKind::SQLite);
    buildAndShow();
    tree.expandAll();
    QTreeWidgetItem* top = node({"数据维护"});
    QTreeWidgetItem* kind = node({"数据维护", "操作事件"});
    QTreeWidgetItem* station = node({"数据维护", "遥测数据", "城北变电站"});
    QTreeWidgetItem* switchNode = node({"数据维护", "遥测数据", "城北变电站", "1号主变"});
    QTreeWidgetItem* tag = node({"数据维护", "遥测数据", "城北变电站", "1号主变", "A相电流"});
    const QPoint elsewhere[] = {labelCentre(kind), QPoint(3, 3), labelCentre(station)};

    struct Case {
        QTreeWidgetItem* selected;
        std::vector<ContextMenu> menus;
    };
    const Case cases[] = {
        {tag, {ContextMenu::TelemetryTag, ContextMenu::TelemetryTag, ContextMenu::TelemetryTag}},
        {switchNode, {ContextMenu::TelemetryGroup, ContextMenu::TelemetryGroup, ContextMenu::TelemetryGroup}},
        {station, {ContextMenu::TelemetryGroup, ContextMenu::TelemetryGroup, ContextMenu::TelemetryGroup}},
        {top, {ContextMenu::TelemetryGroup, ContextMenu::TelemetryGroup, ContextMenu::TelemetryGroup}},
        {telemetryNode(), {}},
    };
    for (const Case& c : cases) {
        click(c.selected);
        ASSERT_EQ(host.group, 5) << c.selected->text(0).toStdString();
        tree.scrollToTop();
        host.popups.clear();
        for (const QPoint& p : elsewhere)
            rightClick(p);
        EXPECT_EQ(host.menus(), c.menus) << c.selected->text(0).toStdString();
        EXPECT_EQ(tree.selectedNode(), c.selected);
    }
}

TEST_F(TreeViewTest, RightClicksNeverSelectOrExpand)
{
    demo::writeCatalogue(db(), DatabaseKind::SQLite);
    buildAndShow();
    QTreeWidgetItem* telemetry = telemetryNode();
    const QPoint at = labelCentre(telemetry);
    QTest::mousePress(tree.viewport(), Qt::RightButton, {}, at);
    QTest::mouseRelease(tree.viewport(), Qt::RightButton, {}, at);
    QTest::mouseDClick(tree.viewport(), Qt::RightButton, {}, at);
    EXPECT_EQ(tree.selectedNode(), nullptr);
    EXPECT_FALSE(telemetry->isExpanded());
    EXPECT_EQ(host.group, 0);
    EXPECT_EQ(list.currentCode(), 0);
}

TEST_F(TreeViewTest, MenuKeyOpensTheSameMenusBelowTheSelectedNode)
{
    demo::writeCatalogue(db(), DatabaseKind::SQLite);
    buildAndShow();
    tree.setFocus();

    key(Qt::Key_Menu); // nothing selected
    EXPECT_TRUE(host.popups.empty());

    QTreeWidgetItem* limits = node({"数据维护", "越限事件"});
    click(limits);
    key(Qt::Key_Menu);
    key(Qt::Key_F10, Qt::ShiftModifier);
    key(Qt::Key_F10); // F10 alone is no menu key
    ASSERT_EQ(host.menus(), std::vector<ContextMenu>({ContextMenu::RecordKindNode, ContextMenu::RecordKindNode}));
    EXPECT_EQ(host.popups[0].at, tree.viewport()->mapToGlobal(tree.visualItemRect(limits).bottomLeft()));

    click(telemetryNode());
    host.popups.clear();
    key(Qt::Key_Menu);
    EXPECT_TRUE(host.popups.empty());

    // A tag far down, scrolled out of sight: the menu opens where it is shown again.
    tree.resize(280, 120);
    tree.expandAll();
    QTreeWidgetItem* tag = node({"数据维护", "遥测数据", "江东变电站", "1号主变", "有功功率"});
    click(tag);
    tree.scrollToTop();
    ASSERT_FALSE(tree.viewport()->rect().intersects(tree.visualItemRect(tag)));
    key(Qt::Key_Menu);
    ASSERT_EQ(host.menus(), std::vector<ContextMenu>({ContextMenu::TelemetryTag}));
    const QRect shown = tree.visualItemRect(tag);
    EXPECT_TRUE(tree.viewport()->rect().contains(shown));
    EXPECT_EQ(host.popups[0].at, tree.viewport()->mapToGlobal(shown.bottomLeft()));
    EXPECT_EQ(tree.selectedNode(), tag);
}

TEST_F(TreeViewTest, PlatformKeyboardMenuEventOpensOneMenu)
{
    demo::writeCatalogue(db(), DatabaseKind::SQLite);
    buildAndShow();
    click(node({"数据维护", "遥测数据"}));
    click(node({"数据维护"}));
    ASSERT_EQ(host.group, 5);

    // As a platform does for the menu key after the key press itself, and as
    // others (or assistive tools) do without any key press.
    auto platformEvent = [&] {
        QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(5, 5), tree.mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(&tree, &event);
    };
    key(Qt::Key_Menu);
    platformEvent();
    EXPECT_EQ(host.menus(), std::vector<ContextMenu>({ContextMenu::TelemetryGroup}));
    platformEvent();
    EXPECT_EQ(host.menus(), std::vector<ContextMenu>({ContextMenu::TelemetryGroup, ContextMenu::TelemetryGroup}));
}

} // namespace
} // namespace tessera
