#pragma once

#include "AppFixture.h"
#include "DatabaseTest.h"

#include "DemoContent.h"

#include <functional>

namespace tessera::test {

// The real main window over a fresh archive of the test's database kind: the
// schema, the demo catalogue and whatever fillArchive adds.
class MainWindowTest : public AppFixture<DatabaseTest> {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        createSchema();
        demo::writeCatalogue(connection(), kind());
        fillArchive();
        app.GetConnection() = openConnection();
        app.SetDatabaseKind(kind());
        showMainFrame();
    }
    virtual void fillArchive() {}

    // Runs a command whose dialog the script drives.
    template <class D>
    void run(int command, std::function<void(D&)> script)
    {
        gui->onDialog<D>(std::move(script));
        frame->runCommand(command);
    }
    // Clicks OK and expects the dialog to stay open with one more message
    // (and the focus on the field named).
    void refused(QDialog& d, const char* focus, const QString& message)
    {
        const size_t shown = gui->messages().size();
        clickOk(d);
        EXPECT_TRUE(d.isVisible());
        if (focus) {
            EXPECT_EQ(focusedObjectName(d), QLatin1String(focus));
        }
        ASSERT_EQ(gui->messages().size(), shown + 1) << message.toStdString();
        EXPECT_EQ(gui->messages().back().text, message);
    }
};

} // namespace tessera::test
