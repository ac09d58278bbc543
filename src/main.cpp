#include "ui/Translations.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    tessera::installChineseTranslations(app);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("数据维护程序"));
    window.showMaximized();
    return app.exec();
}
