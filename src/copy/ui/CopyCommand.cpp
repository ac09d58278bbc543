#include "copy/ui/CopyCommand.h"

#include "app/CTesseraApp.h"
#include "app/GuiSeam.h"
#include "copy/ui/CDataCopyDlg.h"
#include "ui/CMainFrame.h"
#include "view/CommandIds.h"

namespace tessera {

void installCopyCommand(CMainFrame& frame)
{
    frame.setHandler(cmd::DataCopy, [&frame] {
        CDataCopyDlg dialog(CTesseraApp::Instance()->GetConfigurationPath(), &frame);
        execDialog(dialog);
    });
}

} // namespace tessera
