#pragma once

#include "ui/CommandHost.h"

#include <ostream>
#include <vector>

namespace tessera {

// Readable menu names in failure messages.
inline void PrintTo(ContextMenu menu, std::ostream* os)
{
    static const char* const names[] = {"RecordKindNode", "RecordList", "TelemetryTag", "TelemetryGroup"};
    *os << names[int(menu)];
}

} // namespace tessera

namespace tessera::test {

// The frame as the tree and the list see it: keeps the command group and
// records the context menus asked for.
class RecordingHost : public CommandHost {
public:
    struct Popup {
        ContextMenu menu;
        QPoint at;
    };
    int commandGroup() const override { return group; }
    void setCommandGroup(int value) override { group = value; }
    void popUpMenu(ContextMenu menu, const QPoint& at) override { popups.push_back({menu, at}); }

    std::vector<ContextMenu> menus() const
    {
        std::vector<ContextMenu> out;
        for (const Popup& p : popups)
            out.push_back(p.menu);
        return out;
    }

    int group = 0;
    std::vector<Popup> popups;
};

} // namespace tessera::test
