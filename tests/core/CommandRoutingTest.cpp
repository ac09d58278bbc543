#include "view/CommandIds.h"
#include "view/CommandRouting.h"

#include <gtest/gtest.h>

using namespace tessera;

namespace {

const int kRecordGroups[5][8] = {
    {cmd::EventQuery, cmd::EventModify, cmd::EventAdd, cmd::EventDelete},
    {cmd::LimitAlarmQuery, cmd::LimitAlarmDelete, cmd::LimitAlarmAdd, cmd::LimitAlarmModify},
    {cmd::SignalChangeQuery, cmd::SignalChangeDelete, cmd::SignalChangeAdd, cmd::SignalChangeModify},
    {cmd::SoeQuery, cmd::SoeAdd, cmd::SoeModify, cmd::SoeDelete},
    {cmd::TelemetryQuery, cmd::TelemetryReplace, cmd::TelemetryBatchSet, cmd::TelemetryZero, cmd::TelemetrySingleValue,
     cmd::TelemetryDelete, cmd::TelemetryReserved1, cmd::TelemetryReserved2},
};

TEST(CommandEnabling, EachGroupEnablesExactlyItsOwnRecordCommands)
{
    for (int group = 0; group <= 5; ++group) {
        for (int g = 0; g < 5; ++g) {
            for (int id : kRecordGroups[g]) {
                if (id == 0)
                    continue;
                EXPECT_EQ(isCommandEnabled(id, group), group == g + 1) << "command " << id << " in group " << group;
            }
        }
        for (int always : {cmd::GenericQuery, cmd::GenericAdd, cmd::GenericDelete, cmd::GenericModify,
                           cmd::DataSourceSettings, cmd::UserMaintenance, cmd::DataCopy, cmd::About, cmd::Exit,
                           cmd::ToggleToolBar, cmd::ToggleStatusBar})
            EXPECT_TRUE(isCommandEnabled(always, group)) << always;
    }
}

TEST(GenericRouting, FollowsWhatTheListShows)
{
    EXPECT_EQ(routeGenericCommand(cmd::GenericQuery, ViewMode::SignalChanges, false), int(cmd::SignalChangeQuery));
    EXPECT_EQ(routeGenericCommand(cmd::GenericAdd, ViewMode::OperationEvents, false), int(cmd::EventAdd));
    EXPECT_EQ(routeGenericCommand(cmd::GenericModify, ViewMode::LimitAlarms, false), int(cmd::LimitAlarmModify));
    EXPECT_EQ(routeGenericCommand(cmd::GenericDelete, ViewMode::SoeEvents, false), int(cmd::SoeDelete));
    // Telemetry mode wins over any record kind; add and modify are not symmetric there.
    EXPECT_EQ(routeGenericCommand(cmd::GenericAdd, ViewMode::StartPage, true), int(cmd::TelemetrySingleValue));
    EXPECT_EQ(routeGenericCommand(cmd::GenericModify, ViewMode::StartPage, true), int(cmd::TelemetryReplace));
    EXPECT_EQ(routeGenericCommand(cmd::GenericDelete, ViewMode::StartPage, true), int(cmd::TelemetryDelete));
    EXPECT_EQ(routeGenericCommand(cmd::GenericQuery, ViewMode::StartPage, true), int(cmd::TelemetryQuery));
    for (int generic : {cmd::GenericQuery, cmd::GenericAdd, cmd::GenericModify, cmd::GenericDelete})
        EXPECT_FALSE(routeGenericCommand(generic, ViewMode::StartPage, false).has_value());
    EXPECT_FALSE(routeGenericCommand(cmd::EventQuery, ViewMode::OperationEvents, false).has_value());
}

TEST(ViewSwitchCommands, NameTheirViews)
{
    EXPECT_EQ(viewSwitchOf(cmd::ShowOperationEvents)->code, 100);
    EXPECT_EQ(viewSwitchOf(cmd::ShowLimitAlarms)->code, 200);
    EXPECT_EQ(viewSwitchOf(cmd::ShowSignalChanges)->code, 300);
    EXPECT_EQ(viewSwitchOf(cmd::ShowSoeEvents)->code, 400);
    EXPECT_TRUE(viewSwitchOf(cmd::ShowTelemetry)->telemetry);
    EXPECT_EQ(viewSwitchOf(cmd::ShowTelemetry)->code, -1);
    EXPECT_FALSE(viewSwitchOf(cmd::About).has_value());
}

} // namespace
