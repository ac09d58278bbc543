#pragma once

namespace tessera {

// What the record list shows when it is not in telemetry mode. The values are
// also the item data of the tree's record-kind nodes.
enum class ViewMode : int {
    StartPage = 0,
    OperationEvents = 100,
    LimitAlarms = 200,
    SignalChanges = 300,
    SoeEvents = 400,
};

// Item data of the tree's fixed and catalogue nodes.
namespace node {
inline constexpr int kTop = 10;
inline constexpr int kTelemetry = -1;
inline constexpr int kStation = -2;
inline constexpr int kSwitch = -3;
} // namespace node

} // namespace tessera
