#pragma once

#include <QPoint>

namespace tessera {

// The context menus of the tree and the list, each a fixed set of commands.
enum class ContextMenu {
    RecordKindNode, // "查询数据", "添加数据"
    RecordList,     // the four generic record commands
    TelemetryTag,   // the six telemetry commands
    TelemetryGroup, // zeroing and replacement (top node, station, switch)
};

// What the tree and the list need of the main frame: the command group of
// the selected tree node and the frame's context menus, whose commands the
// frame runs.
class CommandHost {
public:
    virtual ~CommandHost() = default;
    // 0: nothing selected yet; 1..4 a record-kind node; 5 any other node.
    virtual int commandGroup() const = 0;
    virtual void setCommandGroup(int group) = 0;
    virtual void popUpMenu(ContextMenu menu, const QPoint& globalPosition) = 0;
};

} // namespace tessera
