#pragma once

namespace tessera {

class CMainFrame;

// Registers the six telemetry commands: query, single value, delete, zeroing,
// manual batch setting and replacement.
void installTelemetryCommands(CMainFrame& frame);

} // namespace tessera
