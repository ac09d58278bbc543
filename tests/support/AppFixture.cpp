#include "AppFixture.h"

#include "shell/MainWindow.h"
#include "ui/CTesseraView.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QTest>

namespace tessera::test {

AppState::AppState()
{
    auto scripted = std::make_unique<ScriptedGui>();
    gui = scripted.get();
    app.SetGui(std::move(scripted));
    app.SetConfigurationPath(configPath());
}

void AppState::openSQLiteFile(const QString& fileName)
{
    app.GetConnection() = db::Connection::open(sqliteConnectString(dir.filePath(fileName)));
    app.SetDatabaseKind(DatabaseKind::SQLite);
}

void AppState::showMainFrame()
{
    frame = createMainFrame();
    new QAbstractItemModelTester(&frame->list()->GetRows(), QAbstractItemModelTester::FailureReportingMode::Fatal,
                                 frame.get());
    frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
}

void AppState::finish()
{
    EXPECT_TRUE(gui->allScriptsUsed()) << "a dialog the test expected was not shown";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the wait cursor was left on";
    EXPECT_EQ(gui->underWaitCursor, QStringList()) << "a message box came up under the wait cursor";
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    frame.reset();
    app.GetConnection().close();
    restoreOdbcIniFiles();
}

} // namespace tessera::test
