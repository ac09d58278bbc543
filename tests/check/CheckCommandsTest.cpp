#include "CsvReader.h"
#include "FileBytes.h"
#include "MainWindowTest.h"
#include "UnnamedControls.h"

#include "check/ui/CheckDialog.h"
#include "check/ui/CheckResultsWindow.h"
#include "ui/CMainFrame.h"
#include "ui/TrendChartView.h"
#include "view/CommandIds.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QDateEdit>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using namespace tessera;
using namespace tessera::test;
using namespace Qt::StringLiterals;

namespace {

const QStringList kFeederSwitch {u"遥测数据"_s, u"城北变电站"_s, u"10kV工业线"_s};

// The real main window over yesterday's demo samples, the feeder tag's
// 10:05 to 10:25 missing.
class CheckCommandsTest : public MainWindowTest {
protected:
    void fillArchive() override
    {
        writeDemoDays({yesterday});
        connection().execute(u"DELETE FROM %1 WHERE TagID=15 AND ATime>='%2 10:05:00' AND ATime<='%2 10:25:00'"_s.arg(
            TelemetryTableName(yesterday), yesterday.toString(Qt::ISODate)));
    }
    // 数据校验 of the selected node over yesterday, the flat line's minutes set.
    void check(int flatMinutes)
    {
        run<CheckDialog>(cmd::DataCheck, [this, flatMinutes](CheckDialog& d) {
            d.findChild<QDateEdit*>(u"firstDay"_s)->setDate(yesterday);
            d.findChild<QDateEdit*>(u"lastDay"_s)->setDate(yesterday);
            d.findChild<QDoubleSpinBox*>(u"flat_minutes"_s)->setValue(flatMinutes);
            clickOk(d);
        });
    }
    CheckResultsWindow* results() const { return frame->findChild<CheckResultsWindow*>(); }

    const QDate yesterday = QDate::currentDate().addDays(-1);
};

// The switch's scan lists the gap; the worklist sorts and filters; the
// finding opens the tag's day zoomed to it with the samples around the gap
// selected; the dialog comes back with what was chosen.
TEST_P(CheckCommandsTest, ScanListsTheGapAndOpensItsDay)
{
    selectNode(kFeederSwitch);
    check(30);
    ASSERT_NE(results(), nullptr);
    ASSERT_TRUE(results()->isVisible());
    EXPECT_EQ(unnamedControls(*results()), QStringList());
    CheckResultsModel& model = results()->model();
    QAbstractItemModelTester tester {&model, QAbstractItemModelTester::FailureReportingMode::Fatal};
    const QString gap = u"城北变电站 / 10kV工业线 / 无功功率 %1 数据缺失 10:00:00-10:30:00 间隔1800秒 5"_s.arg(
        yesterday.toString(Qt::ISODate));
    results()->table()->sortByColumn(CheckResultsModel::Count, Qt::DescendingOrder);
    int gapRow = -1;
    for (int row = 0; row < model.rowCount(); ++row) {
        if (row > 0) {
            EXPECT_GE(model.findingAt(row - 1).count, model.findingAt(row).count);
        }
        if (check::findingText(model.findingAt(row)) == gap)
            gapRow = row;
    }
    ASSERT_GE(gapRow, 0) << "the planted gap is listed";
    auto* ruleFilter = results()->findChild<QComboBox*>(u"ruleFilter"_s);
    ruleFilter->setCurrentIndex(ruleFilter->findText(u"数据缺失"_s));
    ASSERT_EQ(model.rowCount(), 1);
    // 导出... writes what the worklist shows.
    QTemporaryDir folder;
    const QString csv = folder.filePath(u"findings.csv"_s);
    gui->onDialog<QFileDialog>([&](QFileDialog& chooser) {
        chooser.findChild<QLineEdit*>(u"fileNameEdit"_s)->setText(csv);
        static_cast<QDialog&>(chooser).accept();
    });
    QTest::mouseClick(results()->findChild<QPushButton*>(u"export"_s), Qt::LeftButton);
    const QList<QStringList> records = readCsv(readBytes(csv));
    ASSERT_EQ(records.size(), 2);
    EXPECT_EQ(records[1], (QStringList {u"城北变电站 / 10kV工业线 / 无功功率"_s, yesterday.toString(Qt::ISODate),
                                        u"数据缺失"_s, u"10:00:00"_s, u"10:30:00"_s, u"间隔1800秒"_s, u"5"_s}));

    QTableView& table = *results()->table();
    table.setCurrentIndex(model.index(0, 0));
    QTest::keyClick(&table, Qt::Key_Return);
    CTesseraView& list = *frame->list();
    EXPECT_EQ(frame->tree()->GetSelectedNode(), nodeAt(*frame->tree(), kFeederSwitch + QStringList {u"无功功率"_s}));
    EXPECT_EQ(list.GetShownDay(), yesterday);
    EXPECT_EQ(list.GetRows().rowCount(), 288 - 5);
    QStringList selected;
    for (int row : list.GetSelectedRows())
        selected << list.GetRows().cell(row, 0).mid(11);
    EXPECT_EQ(selected, (QStringList {u"10:00:00"_s, u"10:30:00"_s}));
    const auto [from, to] = frame->trendChart()->shownRange();
    EXPECT_EQ(from, QTime(9, 30).msecsSinceStartOfDay());
    EXPECT_EQ(to, QTime(11, 0).msecsSinceStartOfDay());

    run<CheckDialog>(cmd::DataCheck, [this](CheckDialog& d) {
        EXPECT_EQ(d.first(), yesterday);
        EXPECT_EQ(d.settings()[size_t(check::RuleId::FlatLine)].values, std::vector<double> {30});
        clickCancel(d);
    });
    EXPECT_TRUE(gui->allScriptsUsed());
}

} // namespace

INSTANTIATE_TEST_SUITE_P(SQLite, CheckCommandsTest, ::testing::Values(DatabaseKind::SQLite), kindName);
