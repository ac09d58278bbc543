#include "schema/TableNames.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace tessera {
namespace {

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

} // namespace
} // namespace tessera
