#include "view/CommandRouting.h"

#include "view/CommandIds.h"

#include <array>

namespace tessera {

namespace {

struct GroupCommands {
    int group;
    std::array<int, 9> ids; // 0 pads a shorter list
};

// The record-kind commands by the command group that enables them; every
// other command is always enabled.
constexpr std::array<GroupCommands, 5> kGroups {{
    {1, {cmd::EventQuery, cmd::EventModify, cmd::EventAdd, cmd::EventDelete}},
    {2, {cmd::LimitAlarmQuery, cmd::LimitAlarmDelete, cmd::LimitAlarmAdd, cmd::LimitAlarmModify}},
    {3, {cmd::SignalChangeQuery, cmd::SignalChangeDelete, cmd::SignalChangeAdd, cmd::SignalChangeModify}},
    {4, {cmd::SoeQuery, cmd::SoeAdd, cmd::SoeModify, cmd::SoeDelete}},
    {5, {cmd::TelemetryQuery, cmd::TelemetryReplace, cmd::TelemetryBatchSet, cmd::TelemetryZero,
         cmd::TelemetrySingleValue, cmd::TelemetryDelete, cmd::TelemetryReserved1, cmd::TelemetryReserved2,
         cmd::DataCheck}},
}};

struct GenericRoute {
    int genericId;
    int operationEvents, limitAlarms, signalChanges, soeEvents, telemetry;
};

constexpr std::array<GenericRoute, 4> kGenericRoutes {{
    {cmd::GenericQuery, cmd::EventQuery, cmd::LimitAlarmQuery, cmd::SignalChangeQuery, cmd::SoeQuery,
     cmd::TelemetryQuery},
    {cmd::GenericAdd, cmd::EventAdd, cmd::LimitAlarmAdd, cmd::SignalChangeAdd, cmd::SoeAdd,
     cmd::TelemetrySingleValue},
    {cmd::GenericModify, cmd::EventModify, cmd::LimitAlarmModify, cmd::SignalChangeModify, cmd::SoeModify,
     cmd::TelemetryReplace},
    {cmd::GenericDelete, cmd::EventDelete, cmd::LimitAlarmDelete, cmd::SignalChangeDelete, cmd::SoeDelete,
     cmd::TelemetryDelete},
}};

} // namespace

bool isCommandEnabled(int commandId, int commandGroup)
{
    for (const auto& g : kGroups)
        for (int id : g.ids)
            if (id != 0 && id == commandId)
                return g.group == commandGroup;
    return true;
}

std::optional<int> routeGenericCommand(int genericId, ViewMode mode, bool telemetryMode)
{
    for (const auto& r : kGenericRoutes) {
        if (r.genericId != genericId)
            continue;
        if (telemetryMode)
            return r.telemetry;
        switch (mode) {
        case ViewMode::OperationEvents:
            return r.operationEvents;
        case ViewMode::LimitAlarms:
            return r.limitAlarms;
        case ViewMode::SignalChanges:
            return r.signalChanges;
        case ViewMode::SoeEvents:
            return r.soeEvents;
        case ViewMode::StartPage:
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<ViewSwitch> viewSwitchOf(int commandId)
{
    switch (commandId) {
    case cmd::ShowOperationEvents:
        return ViewSwitch {int(ViewMode::OperationEvents), false};
    case cmd::ShowLimitAlarms:
        return ViewSwitch {int(ViewMode::LimitAlarms), false};
    case cmd::ShowSignalChanges:
        return ViewSwitch {int(ViewMode::SignalChanges), false};
    case cmd::ShowSoeEvents:
        return ViewSwitch {int(ViewMode::SoeEvents), false};
    case cmd::ShowTelemetry:
        return ViewSwitch {node::kTelemetry, true};
    default:
        return std::nullopt;
    }
}

} // namespace tessera
