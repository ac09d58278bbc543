#include "records/RecordCommands.h"

#include "ui/CMainFrame.h"

namespace tessera {

void installRecordCommands(CMainFrame&)
{
}

} // namespace tessera
