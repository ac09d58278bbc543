// The journal's window and the undo commands, through the real main frame
// over a SQLite archive: an entry written as a command writes it, then read,
// filtered, exported and undone as a user would.
#include "ArchiveRows.h"
#include "JournalTestSupport.h"
#include "MainWindowTest.h"

#include "app/BackgroundRun.h"
#include "app/CommandJournal.h"
#include "journal/ArchiveUnit.h"
#include "app/ReasonDialog.h"
#include "journal/Journal.h"
#include "journal/ui/JournalWindow.h"
#include "telemetry/TelemetryTexts.h"
#include "view/CommandIds.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

using namespace tessera;
using namespace tessera::test;

namespace {

const QDate kDay(2026, 1, 2);

class JournalWindowTest : public MainWindowTest {
protected:
    void fillArchive() override
    {
        createTelemetryTable(table());
        for (int tag : {1, 2})
            for (int hour : {8, 9})
                insertSample(connection(), kind(), table(),
                    kDay.toString(Qt::ISODate) + QStringLiteral(" %1:00:00").arg(hour, 2, 10, QLatin1Char('0')), tag,
                    10 * tag + hour);
    }
    static QString table() { return TelemetryTableName(kDay); }
    QStringList values()
    {
        return rowsOf(app.GetConnection(), QStringLiteral("SELECT TagID || '=' || printf('%g', nValue) FROM %1 "
                                                          "ORDER BY TagID, ATime")
                                               .arg(table()));
    }
    // A command as the commands run one: journaled, then the archive changed.
    void journaledChange(int commandId, const QString& name, int tag, const QString& change)
    {
        JournalRequest request{commandId, name, QStringLiteral("TagID %1").arg(tag), QStringLiteral("校核"), {}, {}};
        request.units.push_back({{table(), {{{journal::equalTo("TagID", qint64(tag))}}}}, request.scopeText,
                                 {"ATime", "TagID"}, std::nullopt});
        const auto result = runJournaled(frame.get(), name, request, [&](journal::ArchiveUnit& unit, BackgroundRun&) {
            app.GetConnection().execute(QStringLiteral("UPDATE %1 SET %2 WHERE TagID=%3").arg(table(), change).arg(tag));
            unit.commit();
            return CommandResult{true, QStringLiteral("完成"), {-1, 2, 0}, {}, {}};
        });
        ASSERT_TRUE(result && result->succeeded);
    }
};

TEST_P(JournalWindowTest, AnUndoIsRefusedWhenTheRowsChangedSince)
{
    journaledChange(cmd::TelemetryZero, QStringLiteral("数据清零"), 1, QStringLiteral("nValue=0"));
    app.GetConnection().execute(QStringLiteral("UPDATE %1 SET nValue=5 WHERE TagID=1 AND ATime='2026-01-02 09:00:00'").arg(table()));
    gui->onDialog<ReasonDialog>([](ReasonDialog& d) {
        typeInto(d, "reason", QStringLiteral("恢复"));
        clickOk(d);
    });
    frame->runCommand(cmd::UndoLastOperation);
    EXPECT_EQ(values(), QStringList({"1=0", "1=5", "2=28", "2=29"}));
    EXPECT_TRUE(gui->messages().back().text.startsWith(QStringLiteral("数据表%1在该操作之后已被改动,无法撤销").arg(table())))
        << gui->messages().back().text.toStdString();
}

TEST_P(JournalWindowTest, TheWindowListsFiltersShowsRowsExportsAndSetsReasonsRequired)
{
    journaledChange(cmd::TelemetryZero, QStringLiteral("数据清零"), 1, QStringLiteral("nValue=0"));
    journaledChange(cmd::TelemetryBatchSet, QStringLiteral("人工置数"), 2, QStringLiteral("nValue=7"));
    const QString csv = dir.filePath(QStringLiteral("日志.csv"));

    gui->onDialog<JournalWindow>([&](JournalWindow& w) {
        QTableWidget* list = w.entryList();
        ASSERT_EQ(list->rowCount(), 2);
        EXPECT_EQ(list->item(0, 5)->text(), QStringLiteral("人工置数")); // newest first
        EXPECT_EQ(list->item(0, 7)->text(), QStringLiteral("写入2行"));
        EXPECT_EQ(list->item(0, 9)->text(), QStringLiteral("校核"));
        auto* before = w.findChild<QTableWidget*>(QStringLiteral("beforeRows"));
        auto* after = w.findChild<QTableWidget*>(QStringLiteral("afterRows"));
        ASSERT_EQ(before->rowCount(), 2);
        EXPECT_EQ(before->item(0, 3)->text(), QStringLiteral("28"));
        EXPECT_EQ(after->item(0, 3)->text(), QStringLiteral("7"));

        auto* command = w.findChild<QComboBox*>(QStringLiteral("commandFilter"));
        command->setCurrentIndex(command->findText(QStringLiteral("数据清零")));
        QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("filterButton")), Qt::LeftButton);
        ASSERT_EQ(list->rowCount(), 1);
        EXPECT_EQ(list->item(0, 5)->text(), QStringLiteral("数据清零"));

        gui->onDialog<QFileDialog>([&](QFileDialog& chooser) {
            auto* name = chooser.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(name, nullptr);
            name->setText(csv); // typed as a user would, then the Save button
            static_cast<QDialog&>(chooser).accept();
        });
        QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("exportButton")), Qt::LeftButton);
        QTest::mouseClick(w.findChild<QCheckBox*>(QStringLiteral("reasonRequired")), Qt::LeftButton);
    });
    frame->runCommand(cmd::OperationJournal);

    const QByteArray bytes = readBytes(csv);
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF")); // spreadsheets read it as UTF-8
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2); // the filtered list only
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("编号,时间,")));
    EXPECT_TRUE(lines[1].contains(QStringLiteral(",数据清零,TagID 1,写入2行,完成,校核")));
    EXPECT_TRUE(app.GetJournal().settings().reasonRequired);

    // Now an empty reason is refused and the question stays.
    gui->onDialog<ReasonDialog>([](ReasonDialog& d) {
        typeInto(d, "reason", QString());
        clickOk(d);
        EXPECT_TRUE(d.isVisible());
    });
    frame->runCommand(cmd::UndoLastOperation);
    EXPECT_EQ(gui->messages().back().text, QStringLiteral("请填写修改原因!"));
    EXPECT_EQ(values(), QStringList({"1=0", "1=0", "2=7", "2=7"}));
}

// The window reads an image a page at a time, and a damaged entry (a count
// altered in the file, its blocks overwritten) is listed as damaged without
// reading more than a page of it.
TEST_P(JournalWindowTest, ImagesAreReadAPageAtATimeAndDamageIsShown)
{
    journal::RowSet big{{"ATime", "TagID"}, {journal::ValueType::DateTime, journal::ValueType::Integer}, {}};
    for (int i = 0; i < 2500; ++i)
        big.rows.push_back({journal::DateTimeText{QString("2026-01-02 00:%1:%2").arg(i / 60 % 60, 2, 10, QChar('0')).arg(i % 60, 2, 10, QChar('0'))}, qint64(i)});
    journal::EntryDraft draft;
    draft.commandName = QStringLiteral("数据复制");
    draft.units.push_back({{table(), {{}}}, QString(), {}, big});
    const qint64 paged = app.GetJournal().beginEntry(draft);
    const qint64 damaged = app.GetJournal().beginEntry(draft);
    execOn(app.GetJournal().path(),
           QStringLiteral("UPDATE unit SET before_rows=4000000000000000 WHERE entry_id=%1;"
                          "UPDATE image_chunk SET data=x'ffffffff' WHERE entry_id=%1").arg(damaged));

    gui->onDialog<JournalWindow>([&](JournalWindow& w) {
        QTableWidget* list = w.entryList();
        ASSERT_EQ(list->rowCount(), 2);
        EXPECT_TRUE(list->item(0, 8)->text().startsWith(QStringLiteral("记录已损坏"))) << list->item(0, 8)->text().toStdString();
        auto* before = w.findChild<QTableWidget*>(QStringLiteral("beforeRows"));
        auto* next = w.findChild<QPushButton*>(QStringLiteral("beforeRowsNext"));
        EXPECT_EQ(before->rowCount(), 0); // its blocks are not rows
        list->selectRow(1);
        ASSERT_EQ(w.selectedEntryId(), paged);
        std::vector<int> pages {before->rowCount()};
        while (next->isEnabled()) {
            QTest::mouseClick(next, Qt::LeftButton);
            pages.push_back(before->rowCount());
        }
        EXPECT_EQ(pages, (std::vector<int>{1000, 1000, 500}));
        EXPECT_EQ(before->item(0, 1)->text(), QStringLiteral("2000"));
        EXPECT_EQ(w.findChild<QLabel*>(QStringLiteral("beforeRowsPosition"))->text(),
                  QStringLiteral("第2001-2500行,共2500行"));
    });
    frame->runCommand(cmd::OperationJournal);
    EXPECT_FALSE(gui->messageTexts().isEmpty()) << "the damaged blocks are reported";
}

// A command the program was killed in shows at the next start, once.
TEST_P(JournalWindowTest, TheNextStartShowsACommandLeftPendingOnce)
{
    journal::EntryDraft draft;
    draft.commandName = QStringLiteral("人工批量置数");
    draft.scopeText = QStringLiteral("TagID 2");
    const qint64 running = app.GetJournal().beginEntry(draft);
    draft.scopeText = QStringLiteral("TagID 1");
    const qint64 killed = app.GetJournal().beginEntry(draft);
    // The second's process has ended: its pid is now another process's.
    execOn(app.GetJournal().path(), QStringLiteral("UPDATE entry SET process_start='ended' WHERE id=%1").arg(killed));
    app.ReviewJournal();
    ASSERT_EQ(gui->messages().size(), 1u);
    EXPECT_TRUE(gui->messages().back().text.contains(QStringLiteral("人工批量置数 TagID 1")));
    EXPECT_FALSE(gui->messages().back().text.contains(QStringLiteral("TagID 2")));
    EXPECT_EQ(app.GetJournal().entry(killed)->state, journal::EntryState::Failed);
    EXPECT_EQ(app.GetJournal().entry(running)->state, journal::EntryState::Pending);
    app.ReviewJournal();
    EXPECT_EQ(gui->messages().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(SQLite, JournalWindowTest, ::testing::Values(DatabaseKind::SQLite), kindName);

} // namespace
