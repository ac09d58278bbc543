#include "QtPrinters.h"
#include "view/TagCatalogue.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace tessera {
namespace {

// The catalogue as indented lines "name data", one per node below the root.
QStringList outline(const CatalogueNode& node, int depth = 0)
{
    QStringList lines;
    for (const CatalogueNode& child : node.children) {
        lines << QString(depth * 2, QLatin1Char(' ')) + child.name + QLatin1Char(' ') + QString::number(child.itemData);
        lines << outline(child, depth + 1);
    }
    return lines;
}

// Rows in catalogue order and the tree they make: stations, switches, tags.
TEST(TagCatalogue, RowsNestIntoStationsSwitchesAndTags)
{
    const struct {
        const char* what;
        std::vector<CatalogueRow> rows;
        QStringList outline;
    } cases[] = {
        {"no rows, no nodes", {}, {}},
        {"each name under the one before it; the id is the leading decimal number",
         {
             {"城北变电站", "1号主变", "A相电流", "1"},
             {"城北变电站", "1号主变", "有功功率", " 2"},
             {"城北变电站", "10kV城关线", "A相电流", "7abc"},
             {"城北变电站", "10kV城关线", "无功功率", "-3"},
             {"城南变电站", "1号主变", "A相电流", "13.5"},
             {"城南变电站", "1号主变", "有功功率", "abc"},
         },
         {"城北变电站 -2", "  1号主变 -3", "    A相电流 1", "    有功功率 2", "  10kV城关线 -3", "    A相电流 7",
          "    无功功率 -3", "城南变电站 -2", "  1号主变 -3", "    A相电流 13", "    有功功率 0"}},
        {"a name met again after another one starts a node of its own, on every level",
         {
             {"甲站", "开关一", "电流", "1"},
             {"甲站", "开关一", "电压", "2"},
             {"甲站", "开关一", "电流", "3"},
             {"甲站", "开关二", "电流", "4"},
             {"甲站", "开关一", "电流", "5"},
             {"乙站", "开关一", "电流", "6"},
             {"甲站", "开关一", "电流", "7"},
         },
         {"甲站 -2", "  开关一 -3", "    电流 1", "    电压 2", "    电流 3", "  开关二 -3", "    电流 4",
          "  开关一 -3", "    电流 5", "乙站 -2", "  开关一 -3", "    电流 6", "甲站 -2", "  开关一 -3", "    电流 7"}},
        {"an empty switch name shows the station",
         {
             {"城北变电站", "", "10kV母线电压", "1"},
             {"城北变电站", "", "系统频率", "2"},
             {"城北变电站", "城北变电站", "A相电流", "3"},
             {"实时数据库", "", "系统总负荷", "4"},
         },
         {
             "城北变电站 -2",
             "  城北变电站 -3",
             "    10kV母线电压 1",
             "    系统频率 2",
             // Compared by the name read, not the name shown: a switch
             // really named like its station is a node of its own.
             "  城北变电站 -3",
             "    A相电流 3",
             "实时数据库 -2",
             "  全局变量 -3",
             "    系统总负荷 4",
         }},
        {"fixed-width CHAR columns pad their texts: trailing blanks are dropped; leading blanks and letter case count",
         {
             {"城北变电站   ", "1号主变\t", "A相电流  ", "1"},
             {"城北变电站", "1号主变", "A相电流", "2"},
             {"城北变电站", "1号主变", " A相电流", "3"},
             {"城北变电站", "1号主变", "soe", "4"},
             {"城北变电站", "1号主变", "SOE", "5"},
             {"城北变电站  ", "   ", "Ua", "6"},
         },
         {"城北变电站 -2", "  1号主变 -3", "    A相电流 1", "     A相电流 3", "    soe 4", "    SOE 5",
          "  城北变电站 -3", "    Ua 6"}},
        {"names like the old \"nothing read yet\" marker are names; a full-width blank is no padding",
         {{"1,1,", "1,1,", "1,1,", "7"}, {"站\u3000", "1,1,", "1,1,", "8"}},
         {"1,1, -2", "  1,1, -3", "    1,1, 7", "站\u3000 -2", "  1,1, -3", "    1,1, 8"}},
    };
    for (const auto& c : cases) {
        CatalogueBuilder builder;
        for (const CatalogueRow& r : c.rows)
            builder.add(r);
        EXPECT_EQ(outline(builder.take()), c.outline) << c.what;
    }
}

} // namespace
} // namespace tessera
