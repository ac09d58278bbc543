#include "TestFiles.h"
#include "view/TagCatalogue.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace tessera {
namespace {

// The catalogue as indented lines "name data", one per node below the root.
void outline(const CatalogueNode& node, int depth, QStringList& lines)
{
    for (const CatalogueNode& child : node.children) {
        lines << QString(depth * 2, QLatin1Char(' ')) + child.name + QLatin1Char(' ') + QString::number(child.itemData);
        outline(child, depth + 1, lines);
    }
}

QStringList outlineOf(const std::vector<CatalogueRow>& rows)
{
    CatalogueBuilder builder;
    for (const CatalogueRow& row : rows)
        builder.add(row);
    QStringList lines;
    outline(builder.take(), 0, lines);
    return lines;
}

CatalogueRow row(const char* station, const char* switchName, const char* tag, const char* id)
{
    return {QString::fromUtf8(station), QString::fromUtf8(switchName), QString::fromUtf8(tag), QString::fromUtf8(id)};
}

QStringList lines(std::initializer_list<const char*> texts)
{
    QStringList out;
    for (const char* text : texts)
        out << QString::fromUtf8(text);
    return out;
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
        {"each name under the one before it",
         {
             row("城北变电站", "1号主变", "A相电流", "1"),
             row("城北变电站", "1号主变", "有功功率", "2"),
             row("城北变电站", "10kV城关线", "A相电流", "7"),
             row("城南变电站", "1号主变", "A相电流", "13"),
         },
         lines({
             "城北变电站 -2",
             "  1号主变 -3",
             "    A相电流 1",
             "    有功功率 2",
             "  10kV城关线 -3",
             "    A相电流 7",
             "城南变电站 -2",
             "  1号主变 -3",
             "    A相电流 13",
         })},
        {"two rows for one tag (the catalogue allows it): the first id wins",
         {
             row("城北变电站", "1号主变", "A相电流", "5"),
             row("城北变电站", "1号主变", "A相电流", "6"),
             row("城北变电站", "1号主变", "A相电流", "7"),
         },
         lines({"城北变电站 -2", "  1号主变 -3", "    A相电流 5"})},
        {"a name met again after another one starts a node of its own, on every level",
         {
             row("甲站", "开关一", "电流", "1"),
             row("甲站", "开关一", "电压", "2"),
             row("甲站", "开关一", "电流", "3"),
             row("甲站", "开关二", "电流", "4"),
             row("甲站", "开关一", "电流", "5"),
             row("乙站", "开关一", "电流", "6"),
             row("甲站", "开关一", "电流", "7"),
         },
         lines({
             "甲站 -2",
             "  开关一 -3",
             "    电流 1",
             "    电压 2",
             "    电流 3",
             "  开关二 -3",
             "    电流 4",
             "  开关一 -3",
             "    电流 5",
             "乙站 -2",
             "  开关一 -3",
             "    电流 6",
             "甲站 -2",
             "  开关一 -3",
             "    电流 7",
         })},
        {"an empty switch name shows the station",
         {
             row("城北变电站", "", "10kV母线电压", "1"),
             row("城北变电站", "", "系统频率", "2"),
             row("城北变电站", "城北变电站", "A相电流", "3"),
             row("实时数据库", "", "系统总负荷", "4"),
         },
         lines({
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
         })},
        {"fixed-width CHAR columns pad their texts: trailing blanks are dropped; leading blanks and letter case count",
         {
             row("城北变电站   ", "1号主变\t", "A相电流  ", "1"),
             row("城北变电站", "1号主变", "A相电流", "2"),
             row("城北变电站", "1号主变", " A相电流", "3"),
             row("城北变电站", "1号主变", "soe", "4"),
             row("城北变电站", "1号主变", "SOE", "5"),
             row("城北变电站  ", "   ", "Ua", "6"),
         },
         lines({
             "城北变电站 -2",
             "  1号主变 -3",
             "    A相电流 1",
             "     A相电流 3",
             "    soe 4",
             "    SOE 5",
             "  城北变电站 -3",
             "    Ua 6",
         })},
    };
    for (const auto& c : cases)
        EXPECT_EQ(outlineOf(c.rows), c.outline) << c.what;
}

TEST(TagCatalogue, TagIdIsTheLeadingDecimalNumber)
{
    const std::vector<std::pair<const char*, int>> cases = {
        {"42", 42}, {"  17", 17}, {"-3", -3}, {"+8", 8}, {"12abc", 12}, {"9.75", 9},
        {"", 0},    {"abc", 0},   {"-", 0},  {" 5 ", 5}, {"007", 7},
    };
    for (const auto& [text, expected] : cases) {
        CatalogueBuilder builder;
        builder.add(row("站", "开关", "量", text));
        const CatalogueNode root = builder.take();
        ASSERT_EQ(root.children.size(), 1u);
        EXPECT_EQ(root.children[0].children[0].children[0].itemData, expected) << '"' << text << '"';
    }
}

TEST(TagCatalogue, TakeStartsAFreshCatalogue)
{
    // Each rebuild reads the catalogue anew: the first row of the next read
    // is never compared with the last row of the previous one.
    CatalogueBuilder builder;
    builder.add(row("甲站", "开关一", "电流", "1"));
    EXPECT_EQ(builder.take().children.size(), 1u);
    builder.add(row("甲站", "开关一", "电流", "2"));
    const CatalogueNode second = builder.take();
    ASSERT_EQ(second.children.size(), 1u);
    EXPECT_EQ(second.name, "YCRoot");
    EXPECT_EQ(second.children[0].children[0].children[0].itemData, 2);
}

} // namespace
} // namespace tessera

namespace {

TEST(CatalogueBuilderNames, AnyNameStartsANodeAfterAReset)
{
    // Names that look like the old "nothing read yet" marker are names too.
    tessera::CatalogueBuilder builder;
    builder.add({QStringLiteral("1,1,"), QStringLiteral("1,1,"), QStringLiteral("1,1,"), QStringLiteral("7")});
    builder.add({QStringLiteral("站\u3000"), QStringLiteral("1,1,"), QStringLiteral("1,1,"), QStringLiteral("8")});
    const tessera::CatalogueNode root = builder.take();
    ASSERT_EQ(root.children.size(), 2u);
    ASSERT_EQ(root.children[0].children.size(), 1u);
    ASSERT_EQ(root.children[0].children[0].children.size(), 1u);
    EXPECT_EQ(root.children[0].children[0].children[0].itemData, 7);
    // A full-width space belongs to the name; only ASCII blanks are padding.
    EXPECT_EQ(root.children[1].name, QStringLiteral("站\u3000"));
    EXPECT_EQ(root.children[1].children[0].children[0].itemData, 8);
}

} // namespace
