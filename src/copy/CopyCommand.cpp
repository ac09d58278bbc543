#include "copy/CopyCommand.h"

#include "ui/CMainFrame.h"

namespace tessera {

void installCopyCommand(CMainFrame&)
{
}

} // namespace tessera
