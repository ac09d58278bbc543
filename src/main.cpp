#include "app/CTesseraApp.h"
#include "platform/BuildVersion.h"
#include "platform/Log.h"
#include "platform/Platform.h"
#include "shell/MainWindow.h"
#include "ui/CMainFrame.h"
#include "ui/Translations.h"

#include <QApplication>
#include <QFileInfo>

#include <cstdio>
#include <cstring>

int main(int argc, char* argv[])
{
    // Answered before the application object, which needs a display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("tessera %s\n", TESSERA_VERSION_TEXT);
        return 0;
    }
    QApplication qtApp(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(TESSERA_VERSION_TEXT)); // the about box shows it
    // QApplication sets LC_CTYPE from the environment; make it UTF-8 again
    // before the first ODBC call.
    tessera::ensureUtf8CType();
    tessera::installChineseTranslations(qtApp);
    // The log beside the settings and the journal.
    tessera::startLogFile(QFileInfo(tessera::configurationFilePath()).absolutePath());
    qCInfo(lcUi, "tessera %s started", TESSERA_VERSION_TEXT);

    tessera::CTesseraApp app;
    app.SetMainWindowFactory([] { return tessera::createMainFrame(); });
    if (!app.InitInstance())
        return 0;
    return QApplication::exec();
}
