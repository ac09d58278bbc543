#include "ui/CMainFrame.h"

#include "app/CTesseraApp.h"

namespace tessera {

CMainFrame::CMainFrame(QWidget* parent)
    : QMainWindow(parent)
{
    setWindowTitle(CTesseraApp::kMainWindowTitle);
    resize(1024, 720);
}

} // namespace tessera
