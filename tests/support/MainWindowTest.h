#pragma once

#include "AppFixture.h"
#include "DatabaseTest.h"

#include "DemoContent.h"

#include "schema/TableNames.h"
#include "ui/CLeftTreeView.h"
#include "ui/CTesseraView.h"

#include <functional>

namespace tessera::test {

// The demo's feeder tag (TagID 15): 288 samples a day, six of them hand-set around noon.
inline const QStringList kFeederTag{
    QStringLiteral("遥测数据"), QStringLiteral("城北变电站"), QStringLiteral("10kV工业线"), QStringLiteral("无功功率")};

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
    // The days' telemetry tables anew, holding the demo's samples.
    void writeDemoDays(std::initializer_list<QDate> days)
    {
        for (const QDate& day : days) {
            createTelemetryTable(TelemetryTableName(day));
            demo::writeSamplesOfDay(connection(), TelemetryTableName(day), day);
        }
    }
    // Clicks the tree node at a path of texts below the top node.
    void selectNode(const QStringList& path)
    {
        QTreeWidgetItem* node = nodeAt(*frame->tree(), path);
        clickNode(*frame->tree(), node);
        ASSERT_EQ(frame->tree()->GetSelectedNode(), node);
    }
    // Selects these whole rows of the list, and only them.
    void selectListRows(std::initializer_list<int> rows)
    {
        CTesseraView& list = *frame->list();
        list.clearSelection();
        for (int row : rows)
            list.selectionModel()->select(
                list.model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

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
