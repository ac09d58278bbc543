#include "AppFixture.h"
#include "CopyTestSupport.h"

#include "app/DataSourcePickerDialog.h"
#include "copy/CopyTables.h"
#include "copy/ui/CDataCopyDlg.h"
#include "settings/CIniFile.h"
#include "view/CommandIds.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

using namespace tessera;
using namespace tessera::copy;
using namespace tessera::test;

namespace {

// The real dialog offscreen, on the two data sources.
class CopyDialogTest : public AppFixture<>, protected CopyDataSources {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        makeDataSources(dir, {"0305", "0306"});
        source.execute("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i+1 FROM n WHERE i<299) "
                       "INSERT INTO Tag0306 SELECT datetime('2008-03-06 00:00:00', '+'||(i*60)||' seconds'),i,1,1.5,0 "
                       "FROM n");
        source.execute("INSERT INTO Tag0305 VALUES('2008-03-05 08:00:00',7,1,2.5,0)");
    }

    // The dialog shown, with both data sources typed in when asked for.
    std::unique_ptr<CDataCopyDlg> openDialog(bool withDataSources = true)
    {
        auto dialog = std::make_unique<CDataCopyDlg>(configPath());
        dialog->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        if (withDataSources) {
            typeInto(*dialog, "targetDsn", targetDsn);
            typeInto(*dialog, "sourceDsn", sourceDsn);
        }
        return dialog;
    }
    template <class W> W* child(QWidget& dialog, const char* name)
    {
        W* w = dialog.findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void click(QWidget& dialog, const char* name)
    {
        QTest::mouseClick(child<QAbstractButton>(dialog, name), Qt::LeftButton);
    }
    // Sets the dates and clicks the range box.
    void clickRange(QWidget& dialog, QDate start, QDate end)
    {
        child<QDateEdit>(dialog, "startDate")->setDate(start);
        child<QDateEdit>(dialog, "endDate")->setDate(end);
        click(dialog, "rangeCheck");
    }
    std::vector<int> tickedRows(CDataCopyDlg& dialog)
    {
        std::vector<int> rows;
        for (int row = 0; row < kCopyTableRows; ++row)
            if (dialog.GetTableList()->item(row, 0)->checkState() == Qt::Checked)
                rows.push_back(row);
        return rows;
    }
    QString cell(CDataCopyDlg& dialog, int row, CopyColumn column)
    {
        return dialog.GetTableList()->item(row, int(column))->text();
    }
};

TEST_F(CopyDialogTest, ShowsTheTableListAndTheStoredDataSources)
{
    writeConfig("[HOSTSOURCE]\nDSN=NewDb\nPASS=se;cret\n[DESTSOURCE]\nUSERNAME=reader\n");
    auto dialog = openDialog(false);
    EXPECT_EQ(dialog->windowTitle(), "Halvorne数据复制");
    QTableWidget* list = dialog->GetTableList();
    ASSERT_EQ(list->rowCount(), 379);
    ASSERT_EQ(list->columnCount(), 5);
    const QStringList headers{"表名", "状态", "开始时间", "结束时间", "数量"};
    const int widths[] = {150, 100, 120, 120, 50};
    for (int c = 0; c < 5; ++c) {
        EXPECT_EQ(list->horizontalHeaderItem(c)->text(), headers[c]);
        EXPECT_EQ(list->columnWidth(c), widths[c]);
    }
    EXPECT_EQ(list->item(66, 0)->text(), "Tag0305");
    EXPECT_EQ(list->item(378, 0)->text(), "Event");
    EXPECT_TRUE(tickedRows(*dialog).empty());
    EXPECT_EQ(textOf(*dialog, "targetDsn"), "NewDb");
    EXPECT_EQ(textOf(*dialog, "targetPassword"), "se;cret");
    EXPECT_EQ(textOf(*dialog, "sourceUser"), "reader");
    EXPECT_EQ(child<QLineEdit>(*dialog, "targetPassword")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(child<QLineEdit>(*dialog, "sourceDsn")->maxLength(), 20);
    EXPECT_TRUE(child<QPushButton>(*dialog, "startButton")->isDefault());
    EXPECT_FALSE(child<QPushButton>(*dialog, "stopButton")->isEnabled());
}

TEST_F(CopyDialogTest, TheRangeBoxTicksTheDaysAndStartRefusesAnEmptyRangeOrChoice)
{
    auto dialog = openDialog();
    clickRange(*dialog, QDate(2008, 3, 5), QDate(2008, 3, 7));
    EXPECT_EQ(tickedRows(*dialog), (std::vector<int>{66, 67, 68}));
    // Start after end: refused, the rows stay.
    clickRange(*dialog, QDate(2008, 3, 8), QDate(2008, 3, 7));
    EXPECT_EQ(tickedRows(*dialog), (std::vector<int>{66, 67, 68}));
    // Years apart: everything; the box cleared: nothing, which Start refuses.
    clickRange(*dialog, QDate(2007, 3, 5), QDate(2008, 1, 10));
    EXPECT_TRUE(child<QCheckBox>(*dialog, "rangeCheck")->isChecked());
    EXPECT_EQ(tickedRows(*dialog).size(), 379u);
    click(*dialog, "rangeCheck");
    EXPECT_TRUE(tickedRows(*dialog).empty());
    click(*dialog, "startButton");
    // The box takes a single day (so does Start); Start refuses an end before
    // the start and an end whose next day no date can hold.
    clickRange(*dialog, QDate(2008, 3, 5), QDate(2008, 3, 5));
    EXPECT_EQ(tickedRows(*dialog), std::vector<int>{66});
    for (const auto& [first, last] : {std::pair{QDate(2008, 3, 6), QDate(2008, 3, 5)},
             std::pair{QDate(9999, 12, 30), QDate(9999, 12, 31)}}) {
        child<QDateEdit>(*dialog, "startDate")->setDate(first);
        child<QDateEdit>(*dialog, "endDate")->setDate(last);
        click(*dialog, "startButton");
    }
    EXPECT_EQ(gui->messageTexts(), (QStringList{"开始时间不能大于结束时间!", "请选择要转换的表!",
                                       "开始时间的应该小于结束时间!", "结束时间不能晚于9999-12-30!"}));
    EXPECT_FALSE(QFile::exists(configPath())); // no run, nothing saved
}

TEST_F(CopyDialogTest, RunsTheTickedTablesAndSavesTheDataSources)
{
    auto dialog = openDialog();
    // The picker finds the typed name among the user's data sources.
    gui->onDialog<DataSourcePickerDialog>([&](DataSourcePickerDialog& picker) {
        EXPECT_EQ(picker.selectedName(), targetDsn);
        clickOk(picker);
    });
    click(*dialog, "pickTarget");
    EXPECT_EQ(dialog->GetSettings().target.kind, DatabaseKind::SQLite);
    EXPECT_EQ(textOf(*dialog, "targetDsn"), targetDsn);

    clickRange(*dialog, QDate(2008, 3, 5), QDate(2008, 3, 6));
    child<QSpinBox>(*dialog, "jobs")->setValue(3); // a SQLite target still takes one table at a time
    click(*dialog, "startButton");
    EXPECT_EQ(gui->messageTexts(), QStringList());
    for (const auto& [row, count] : {std::pair{66, "1"}, std::pair{67, "300"}}) {
        EXPECT_EQ(cell(*dialog, row, CopyColumn::Status), "处理成功完成");
        EXPECT_EQ(cell(*dialog, row, CopyColumn::Count), count);
    }
    EXPECT_FALSE(cell(*dialog, 67, CopyColumn::Ended).isEmpty());
    EXPECT_EQ(dialog->GetProgressBar()->value(), dialog->GetProgressBar()->maximum());
    EXPECT_EQ(rowsOf(target, "SELECT COUNT(*) FROM Tag20080306"), QStringList{"300"});
    EXPECT_TRUE(child<QPushButton>(*dialog, "startButton")->isEnabled());

    EXPECT_EQ(QString::fromUtf8(configBytes()).split('\n', Qt::SkipEmptyParts),
        (QStringList{"[HOSTSOURCE]", "DSN=" + targetDsn, "USERNAME=", "PASS=", "DSNTYPE=SQLITE", "[DESTSOURCE]",
            "DSN=" + sourceDsn, "USERNAME=", "PASS=", "DSNTYPE=SQLITE"}));
    // "并行" is the program's own setting: remembered in Tessera.ini, not in DataSource.ini.
    dialog.reset();
    EXPECT_EQ(child<QSpinBox>(*openDialog(), "jobs")->value(), 3);
}

TEST_F(CopyDialogTest, StopEscapeOrClosingEndsTheRunWithoutTouchingAnotherTable)
{
    target.execute("INSERT INTO Tag20080306 VALUES('2008-03-06 23:00:00',99,1,9.5,0)");
    const std::vector<std::pair<const char*, std::function<void(CDataCopyDlg&)>>> ways = {
        {"停止", [&](CDataCopyDlg& d) { click(d, "stopButton"); }},
        {"Escape", [](CDataCopyDlg& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
        {"closing the window", [](CDataCopyDlg& d) { d.close(); }},
    };
    for (const auto& [name, stop] : ways) {
        SCOPED_TRACE(name);
        auto dialog = openDialog();
        clickRange(*dialog, QDate(2008, 3, 5), QDate(2008, 3, 6));
        // Runs inside the copy, when the dialog first handles its events.
        QTimer::singleShot(0, dialog.get(), [&] {
            EXPECT_TRUE(dialog->IsRunning());
            stop(*dialog);
        });
        click(*dialog, "startButton");
        EXPECT_EQ(cell(*dialog, 67, CopyColumn::Status), QString());
        EXPECT_EQ(cell(*dialog, 66, CopyColumn::Status), QString());
        EXPECT_EQ(rowsOf(target, "SELECT TagID FROM Tag20080306"), QStringList{"99"});
        EXPECT_EQ(rowsOf(target, "SELECT COUNT(*) FROM Tag20080305"), QStringList{"0"});
        EXPECT_LT(dialog->GetProgressBar()->value(), dialog->GetProgressBar()->maximum());
        EXPECT_FALSE(dialog->IsRunning());
        EXPECT_TRUE(dialog->isVisible()); // the stop ended the run, not the dialog
        EXPECT_EQ(gui->messageTexts(), QStringList());
        EXPECT_TRUE(QFile::exists(configPath()));
    }

    // 继续上次复制 ticks the tables the stopped run left and copies them.
    auto dialog = openDialog();
    child<QDateEdit>(*dialog, "startDate")->setDate(QDate(2008, 3, 5));
    child<QDateEdit>(*dialog, "endDate")->setDate(QDate(2008, 3, 6));
    click(*dialog, "resumeButton");
    EXPECT_EQ(tickedRows(*dialog), (std::vector<int>{66, 67}));
    EXPECT_EQ(cell(*dialog, 67, CopyColumn::Status), "处理成功完成");
    EXPECT_EQ(rowsOf(target, "SELECT COUNT(*) FROM Tag20080306"), QStringList{"300"});
    click(*dialog, "resumeButton");
    ASSERT_EQ(gui->messageTexts().size(), 1);
    EXPECT_TRUE(gui->messageTexts()[0].startsWith("上次复制的表都已处理成功完成(第")) << gui->messageTexts()[0].toStdString();
}

// What a table says during a run comes in one box, however many rows it
// refused; a name picked with "..." stays even when its driver is not found.
TEST_F(CopyDialogTest, OneBoxATableAndAPickedNameStaysWithoutItsDriver)
{
    auto dialog = openDialog();
    source.execute("WITH RECURSIVE n(i) AS (SELECT 10 UNION ALL SELECT i+1 FROM n WHERE i<59) "
                   "INSERT INTO Tag0305 SELECT datetime('2008-03-05 09:00:00', '+'||i||' seconds'),i,1,1.5,0 FROM n");
    target.execute("CREATE TRIGGER refuse BEFORE INSERT ON Tag20080305 BEGIN SELECT RAISE(ABORT, 'refused'); END");
    clickRange(*dialog, QDate(2008, 3, 5), QDate(2008, 3, 5)); // one day
    click(*dialog, "startButton");
    ASSERT_EQ(gui->messageTexts().size(), 1);
    EXPECT_EQ(gui->messageTexts()[0].count("插入数据出错,出错信息:"), 10);
    EXPECT_TRUE(gui->messageTexts()[0].endsWith("另有41行插入出错,没有逐行列出")) << gui->messageTexts()[0].toStdString();
    EXPECT_EQ(cell(*dialog, 66, CopyColumn::Count), "51");

    // Picked from the list, gone from it before its driver is looked up.
    const QString noDriver = "Gone" + targetDsn;
    addUserDataSource(noDriver, "SQLite3", dir.filePath("x.db"));
    gui->onDialog<DataSourcePickerDialog>([&](DataSourcePickerDialog& picker) {
        auto* list = picker.findChild<QTableWidget*>("dataSources");
        const auto found = list->findItems(noDriver, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        list->setCurrentCell(found[0]->row(), 0);
        restoreOdbcIniFiles();
        clickOk(picker);
    });
    click(*dialog, "pickTarget");
    EXPECT_EQ(textOf(*dialog, "targetDsn"), noDriver);
    EXPECT_EQ(gui->messageTexts().last(), "注册表中未发现数据源路径");
    EXPECT_EQ(dialog->GetSettings().target.kind, DatabaseKind::SQLite); // as before
}

TEST_F(CopyDialogTest, AConnectionThatDoesNotOpenIsReportedAndTheSettingsAreSaved)
{
    auto dialog = openDialog();
    addUserDataSource("Broken" + targetDsn, "SQLite3", dir.filePath("no/such/folder/x.db"));
    typeInto(*dialog, "targetDsn", "Broken" + targetDsn);
    clickRange(*dialog, QDate(2008, 3, 5), QDate(2008, 3, 6));
    click(*dialog, "startButton");
    // The driver manager finds the driver; the driver cannot open the file.
    ASSERT_EQ(gui->messageTexts(), QStringList{"访问新版本数据源失败,请正确配置数据源"});
    EXPECT_TRUE(gui->messages()[0].owned);
    EXPECT_EQ(gui->messages()[0].caption, "系统提示");
    EXPECT_EQ(CIniFile(configPath()).Get("HOSTSOURCE", "DSN"), "Broken" + targetDsn);
}

TEST_F(CopyDialogTest, TheMainFrameCommandOpensTheDialog)
{
    openSQLiteFile("newer.db");
    showMainFrame();
    bool shown = false;
    gui->onDialog<CDataCopyDlg>([&](CDataCopyDlg& dialog) {
        shown = dialog.isVisible() && dialog.GetTableList()->rowCount() == 379;
        click(dialog, "exitButton");
    });
    frame->runCommand(cmd::DataCopy);
    EXPECT_TRUE(shown);
}

} // namespace
