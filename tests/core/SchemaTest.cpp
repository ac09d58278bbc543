#include "schema/Schema.h"
#include "TestFiles.h"

#include <QSet>

#include <gtest/gtest.h>

namespace tessera {
namespace {

// --- telemetry table names -------------------------------------------------

TEST(TableNames, TelemetryTableOfADay)
{
    EXPECT_EQ(TelemetryTableName(QDate(2008, 1, 31)), "Tag20080131");
    EXPECT_EQ(TelemetryTableName(QDate(2024, 12, 5)), "Tag20241205");
    EXPECT_EQ(TelemetryTableName(QDate(999, 2, 3)), "Tag09990203");
    EXPECT_TRUE(TelemetryTableName(QDate()).isEmpty());
}

// Slot n of the 372 is day n of a calendar of twelve 31-day months.
TEST(TableNames, CalendarDaySlotsGiveMonthAndDay)
{
    const std::pair<int, const char*> slots[] = {{1, "Tag0101"},  {31, "Tag0131"},  {32, "Tag0201"},
                                                 {59, "Tag0228"}, {60, "Tag0229"},  {62, "Tag0231"},
                                                 {63, "Tag0301"}, {341, "Tag1131"}, {372, "Tag1231"},
                                                 {0, ""},         {373, ""},        {-31, ""}};
    for (const auto& [slot, name] : slots)
        EXPECT_EQ(CalendarDayTableName(slot), name) << slot;
}

TEST(TableNames, EverySlotMapsBackToItself)
{
    QSet<QString> names;
    for (int n = 1; n <= kCalendarDaySlots; ++n) {
        const QString name = CalendarDayTableName(n);
        ASSERT_EQ(name.size(), 7) << n;
        EXPECT_EQ(calendarDaySlot(name), n) << name.toStdString();
        EXPECT_EQ(calendarDaySlot(name.toUpper()), n) << name.toStdString();
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 372);
    EXPECT_TRUE(names.contains("Tag0230"));
    EXPECT_TRUE(names.contains("Tag0931"));
}

TEST(TableNames, OtherNamesAreNoCalendarDay)
{
    EXPECT_EQ(calendarDaySlot("tag0229"), 60);
    for (const char* name : {"", "Tag", "Tag013", "Tag01310", "Tag0001", "Tag0100", "Tag0132",
                             "Tag1301", "Tag01a1", "Tag20080131", "Xag0101", "Tag+101", "Tag 101"})
        EXPECT_EQ(calendarDaySlot(name), 0) << name;
}

// --- table layouts ---------------------------------------------------------

TEST(Schema, TablesHaveTheirNamesAndColumnCounts)
{
    const struct {
        SchemaTable table;
        const char* name;
        std::size_t columns;
    } expected[] = {
        {SchemaTable::EqpTagInfo, "EqpTagInfo", 5}, {SchemaTable::Event, "Event", 8},
        {SchemaTable::LimitAlarm, "LimitAlarm", 12}, {SchemaTable::RSChange, "RSChange", 10},
        {SchemaTable::SOE, "SOE", 11},               {SchemaTable::Fault, "Fault", 17},
        {SchemaTable::SDaySummary, "SDaySummary", 18}, {SchemaTable::RSSummary, "RSSummary", 7},
        {SchemaTable::Telemetry, "", 5},
    };
    ASSERT_EQ(allSchemaTables().size(), std::size(expected));
    for (const auto& e : expected) {
        const TableLayout& layout = tableLayout(e.table);
        EXPECT_EQ(layout.name, e.name);
        EXPECT_EQ(layout.columns.size(), e.columns) << e.name;
    }
}

TEST(Schema, ColumnsSitAtTheirPositions)
{
    const TableLayout& tags = tableLayout(SchemaTable::EqpTagInfo);
    EXPECT_EQ(tags.columnNames(), QStringList({"StationName", "SwitchName", "TagType", "TagName", "TagID"}));

    const TableLayout& event = tableLayout(SchemaTable::Event);
    EXPECT_EQ(event.columnNames(), QStringList({"AType", "ADate", "ATime", "MiniSecond", "Contents",
                                                "RunSystem", "Operator", "UserNote"}));
    EXPECT_EQ(event.columns[1].kind, ValueKind::Date);
    EXPECT_EQ(event.columns[2].kind, ValueKind::Time);

    const TableLayout& alarm = tableLayout(SchemaTable::LimitAlarm);
    EXPECT_EQ(alarm.columns[9].name, "AlarmValue");
    EXPECT_EQ(alarm.columns[9].kind, ValueKind::RealSingle);
    EXPECT_EQ(alarm.columns[11].name, "Operator");

    EXPECT_EQ(tableLayout(SchemaTable::RSChange).columns[8].name, "nValue");
    EXPECT_EQ(tableLayout(SchemaTable::SOE).columns[7].name, "SOEReason");
    EXPECT_EQ(tableLayout(SchemaTable::Fault).columns[16].name, "FaultV");

    const TableLayout& summary = tableLayout(SchemaTable::SDaySummary);
    for (std::size_t i = 4; i < summary.columns.size(); ++i)
        EXPECT_EQ(summary.columns[i].kind, ValueKind::RealSingle) << summary.columns[i].name.toStdString();

    const TableLayout& rsSummary = tableLayout(SchemaTable::RSSummary);
    EXPECT_EQ(rsSummary.columns[4].kind, ValueKind::Real);
    EXPECT_EQ(rsSummary.columns[5].kind, ValueKind::Integer);

    const TableLayout& samples = tableLayout(SchemaTable::Telemetry);
    EXPECT_EQ(samples.columnNames(), QStringList({"ATime", "TagID", "DataType", "nValue", "nValueChange"}));
    EXPECT_EQ(samples.columns[0].kind, ValueKind::DateTime);
}

TEST(Schema, ColumnNamesAreUniqueAndKeysAreColumns)
{
    for (SchemaTable table : allSchemaTables()) {
        const TableLayout& layout = tableLayout(table);
        QSet<QString> seen;
        for (const Column& c : layout.columns)
            seen.insert(c.name.toLower());
        EXPECT_EQ(seen.size(), qsizetype(layout.columns.size())) << layout.name.toStdString();
        for (const QStringList& key : {layout.updateKey, layout.deleteKey}) {
            for (const QString& column : key)
                EXPECT_GE(layout.columnIndex(column), 0) << layout.name.toStdString() << "." << column.toStdString();
        }
    }
}

TEST(Schema, RowKeysOfTheEditedTables)
{
    const QStringList timeStamp{"ADate", "ATime", "MiniSecond"};
    EXPECT_EQ(tableLayout(SchemaTable::Event).updateKey, timeStamp);
    EXPECT_EQ(tableLayout(SchemaTable::Event).deleteKey, timeStamp);
    EXPECT_TRUE(tableLayout(SchemaTable::LimitAlarm).updateKey.contains("LineName"));
    EXPECT_FALSE(tableLayout(SchemaTable::LimitAlarm).deleteKey.contains("LineName"));
    EXPECT_TRUE(tableLayout(SchemaTable::LimitAlarm).deleteKey.contains("AlarmName"));
    EXPECT_EQ(tableLayout(SchemaTable::SOE).updateKey.size(), 5);
    EXPECT_TRUE(tableLayout(SchemaTable::SOE).deleteKey.contains("SOEReason"));
    EXPECT_EQ(tableLayout(SchemaTable::Telemetry).updateKey, QStringList({"ATime", "TagID"}));
    EXPECT_TRUE(tableLayout(SchemaTable::Fault).updateKey.isEmpty());
}

TEST(Schema, ColumnLookupIgnoresLetterCase)
{
    const TableLayout& alarm = tableLayout(SchemaTable::LimitAlarm);
    EXPECT_EQ(alarm.columnIndex("MiniSecond"), 2);
    EXPECT_EQ(alarm.columnIndex("Minisecond"), 2);
    EXPECT_EQ(alarm.columnIndex("alarmlimit"), 10);
    EXPECT_EQ(alarm.columnIndex("TagID"), -1);
    EXPECT_EQ(tableLayout(SchemaTable::Telemetry).columnIndex("TagId"), 1);
}

} // namespace
} // namespace tessera
