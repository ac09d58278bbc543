#include "telemetry/TelemetryCommands.h"

#include "ui/CMainFrame.h"

namespace tessera {

void installTelemetryCommands(CMainFrame&)
{
}

} // namespace tessera
