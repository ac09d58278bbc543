#pragma once

#include "FileBytes.h"
#include "OdbcTestEnvironment.h"
#include "ScriptedGui.h"

#include "app/CTesseraApp.h"
#include "ui/CMainFrame.h"

#include <QByteArray>
#include <QTemporaryDir>

#include <memory>

#include <gtest/gtest.h>

namespace tessera::test {

// What the fixture owns, apart from the gtest base.
class AppState {
public:
    AppState();

    QString configPath() const { return dir.filePath(QStringLiteral("DataSource.ini")); }
    // The file's bytes; empty when it does not exist.
    QByteArray configBytes() const { return readBytes(configPath()); }
    void writeConfig(const QByteArray& bytes) { writeBytes(configPath(), bytes); }
    // The application's connection on a new SQLite file in the test's folder.
    void openSQLiteFile(const QString& fileName);
    // The real main window over the application's connection, shown, its
    // record list watched by a fatal model tester.
    void showMainFrame();
    // Each scripted dialog shown, the wait cursor off and no box under it;
    // the test's odbc.ini files as they were and the connection closed.
    void finish();

    QTemporaryDir dir;
    CTesseraApp app;
    ScriptedGui* gui = nullptr;
    std::unique_ptr<CMainFrame> frame;
};

// An application object with the scripted GUI seam and DataSource.ini in a
// folder of the test's own. Base is ::testing::Test, or DatabaseTest for a
// body run against every database kind:
//   class MyTest : public AppFixture<> {};
//   class MyDbTest : public AppFixture<DatabaseTest> {};
template <class Base = ::testing::Test>
class AppFixture : public Base, protected AppState {
protected:
    void SetUp() override
    {
        Base::SetUp();
        ASSERT_TRUE(dir.isValid());
    }
    void TearDown() override
    {
        if (!this->IsSkipped())
            finish();
        Base::TearDown();
    }
};

} // namespace tessera::test
