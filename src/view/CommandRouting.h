#pragma once

#include "view/ViewMode.h"

#include <optional>

namespace tessera {

// Whether a command is enabled while the selected tree node is of the given
// command group (0 nothing selected yet, 1..4 a record kind, 5 anything else).
bool isCommandEnabled(int commandId, int commandGroup);

// The command a generic record command (query, add, modify, delete) runs for
// what the list shows; nullopt when the list shows no record kind.
std::optional<int> routeGenericCommand(int genericId, ViewMode mode, bool telemetryMode);

// The view a view-switch command (32796 ...) switches to: a record-kind code,
// or the telemetry node's item data with telemetry set.
struct ViewSwitch {
    int code = 0;
    bool telemetry = false;
};
std::optional<ViewSwitch> viewSwitchOf(int commandId);

} // namespace tessera
