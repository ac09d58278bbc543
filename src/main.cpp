#include "app/CTesseraApp.h"
#include "platform/Platform.h"
#include "shell/MainWindow.h"
#include "ui/CMainFrame.h"
#include "ui/Translations.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication qtApp(argc, argv);
    // QApplication sets LC_CTYPE from the environment; make it UTF-8 again
    // before the first ODBC call.
    tessera::ensureUtf8CType();
    tessera::installChineseTranslations(qtApp);

    tessera::CTesseraApp app;
    app.SetMainWindowFactory([] { return tessera::createMainFrame(); });
    if (!app.InitInstance())
        return 0;
    return QApplication::exec();
}
