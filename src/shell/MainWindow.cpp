#include "shell/MainWindow.h"

#include "check/ui/CheckCommands.h"
#include "copy/ui/CopyCommand.h"
#include "journal/ui/JournalCommands.h"
#include "records/ui/RecordCommands.h"
#include "telemetry/ui/TelemetryCommands.h"
#include "ui/CMainFrame.h"

namespace tessera {

void installCommands(CMainFrame& frame)
{
    installRecordCommands(frame);
    installTelemetryCommands(frame);
    installCopyCommand(frame);
    installJournalCommands(frame);
    installCheckCommands(frame);
}

std::unique_ptr<CMainFrame> createMainFrame()
{
    auto frame = std::make_unique<CMainFrame>();
    installCommands(*frame);
    return frame;
}

} // namespace tessera
