#pragma once

#include <memory>

namespace tessera {

class CMainFrame;

// Wires the commands of the record kinds, the telemetry and the copy into
// the frame's handlers. The frame itself knows none of them.
void installCommands(CMainFrame& frame);

// The program's main window: the frame with every command installed.
std::unique_ptr<CMainFrame> createMainFrame();

} // namespace tessera
