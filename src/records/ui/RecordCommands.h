#pragma once

namespace tessera {

class CMainFrame;

// Registers the sixteen event-record commands (query, add, modify, delete of
// operation events, limit alarms, remote-signal changes and SOE events).
void installRecordCommands(CMainFrame& frame);

} // namespace tessera
