#include "DatabaseTest.h"
#include "DialogTest.h"
#include "ModelCells.h"

#include "app/DataSourceCommand.h"
#include "app/DataSourcePickerDialog.h"

#include <QFile>
#include <QPushButton>
#include <QTableWidget>

using namespace tessera;
using namespace tessera::test;
using namespace Qt::StringLiterals;

namespace {

const QString kCaption = u"系统提示"_s;

QTableWidget* table(DataSourcePickerDialog& d) { return d.findChild<QTableWidget*>(u"dataSources"_s); }

void clickPick(CDataSourceDlg& d) { QTest::mouseClick(d.findChild<QPushButton*>(u"pickButton"_s), Qt::LeftButton); }

// The command run from a frame of the test's own, which counts its updates.
struct CommandFrame {
    bool run() { return runDataSourceCommand(&widget, [this] { ++updates; }); }
    QWidget widget;
    int updates = 0;
};

// Each case may change the driver manager's odbc.ini files and puts the test
// data sources back afterwards. The driver manager caches what it read of a
// data source for some seconds, so every case uses names of its own.
class DataSourceDialogTest : public DialogTest {
protected:
    // The application connected to the SQLite test database; its handle.
    SQLHDBC openSQLite()
    {
        EXPECT_EQ(app.OpenConnection(sqlite().dsn, sqlite().user, sqlite().password).outcome,
                  CTesseraApp::OpenOutcome::Opened);
        return app.GetConnection().handle();
    }

    CommandFrame command;
};

// A value the file cannot hold is refused before connecting; a data source
// that does not open, or whose driver names no known kind of database, keeps
// the dialog and the working connection, and no file is written.
TEST_F(DataSourceDialogTest, FailedAttemptsKeepTheDialogAndTheWorkingConnection)
{
    addUserDataSource(u"DialogUnreachable"_s, u"SQLite3"_s, dir.filePath(u"no-such-folder/archive.db"_s));
    // A driver entry of its own name for the SQLite library: it connects,
    // but its name says nothing about the kind of database.
    addSQLiteDriverAs(u"Substation Archive Driver"_s);
    addUserDataSource(u"DialogOddKind"_s, u"Substation Archive Driver"_s, dir.filePath(u"odd.db"_s));
    const SQLHDBC working = openSQLite();
    const QString messages[] = {u"密码的首尾不能是空格,也不能包含无法保存到配置文件的字符!"_s, kCannotOpen,
                                u"访问数据库失败,请正确配置数据源"_s};

    CDataSourceDlg dialog;
    const int result = run<CDataSourceDlg>(dialog, [&](CDataSourceDlg& d) {
        const auto expectRefused = [&] {
            clickOk(d);
            EXPECT_TRUE(d.isVisible());
            EXPECT_EQ(app.GetConnection().handle(), working);
            EXPECT_EQ(app.GetConnectString(), sqlite().connectString());
            EXPECT_EQ(app.GetDatabaseKind(), DatabaseKind::SQLite);
            EXPECT_FALSE(QFile::exists(configPath())) << "a later start-up would end on it";
        };
        enter(d, sqlite());
        typeInto(d, "databasePassword", u"secret "_s);
        expectRefused();
        EXPECT_EQ(focusedObjectName(d), u"databasePassword"_s);
        typeInto(d, "databasePassword", sqlite().password);
        typeInto(d, "dataSourceName", u"DialogNoSuchSource"_s);
        expectRefused();
        typeInto(d, "dataSourceName", u"DialogUnreachable"_s);
        expectRefused();
        expectOwnedWarnings(QStringList(std::begin(messages), std::end(messages)), kCaption);

        // The unknown kind is told in the application's own box, naming the driver.
        typeInto(d, "dataSourceName", u"DialogOddKind"_s);
        expectRefused();
        EXPECT_EQ(focusedObjectName(d), u"dataSourceName"_s);
        ASSERT_EQ(gui->messages().size(), 4u);
        EXPECT_TRUE(gui->messages()[3].text.contains(u"Substation Archive Driver"_s));
        EXPECT_FALSE(gui->messages()[3].owned);
        EXPECT_EQ(gui->messages()[3].caption, u"Tessera"_s);

        // Corrected, it goes through.
        typeInto(d, "dataSourceName", sqlite().dsn);
        clickOk(d);
    });

    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(gui->messages().size(), 4u);
    EXPECT_EQ(configBytes(), dataSourceSection(sqlite()));
}

TEST_F(DataSourceDialogTest, FieldsAreMaskedAndReachableWithTabAndEnterConfirms)
{
    CDataSourceDlg dialog;
    dialog.setValues(u"DialogKeyboardSource"_s, u"sa"_s, u"pw"_s);
    const int result = run<CDataSourceDlg>(dialog, [](CDataSourceDlg& d) {
        EXPECT_EQ(d.windowTitle(), u"数据源设置"_s);
        EXPECT_EQ(focusedObjectName(d), u"dataSourceName"_s);
        EXPECT_EQ(tabChain(d, 3), (QStringList {u"pickButton"_s, u"databaseUser"_s, u"databasePassword"_s}));
        expectMaskedFields(d, {u"databasePassword"_s}, QLineEdit().maxLength());

        // Enter in a field is OK: the unknown source is reported.
        QTest::keyClick(d.focusWidget(), Qt::Key_Return);
        EXPECT_TRUE(d.isVisible());
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(gui->messageTexts(), QStringList {kCannotOpen});
}

// "..." lists the system then the user data sources. A pick sets only the
// name and moves on to the user name, so that Enter confirms rather than
// pressing "..." again; Cancel keeps the name typed.
TEST_F(DataSourceDialogTest, PickerListsSystemThenUserSourcesAndPicksOnlyTheName)
{
    QStringList names;
    for (const TestDatabase& db : testDatabases())
        if (db.available)
            names << db.dsn;
    QStringList types(names.size(), u"系统"_s);
    for (const QString& name : {u"DialogPickFirst"_s, u"DialogPickSecond"_s, u"DialogPickMine"_s}) {
        addUserDataSource(name, name.endsWith(u"Mine") ? u"PostgreSQL Unicode"_s : u"SQLite3"_s, QString());
        names << name;
        types << u"用户"_s;
    }

    CDataSourceDlg dialog;
    // The current name is found whatever its letter case.
    dialog.setValues(sqlite().dsn.toLower(), u"sa"_s, u"pw"_s);
    gui->onDialog<CDataSourceDlg>([&](CDataSourceDlg& d) {
        clickPick(d);
        EXPECT_EQ(textOf(d, "dataSourceName"), u"DialogPickMine"_s);
        EXPECT_EQ(textOf(d, "databaseUser"), u"sa"_s);
        EXPECT_EQ(textOf(d, "databasePassword"), u"pw"_s);
        EXPECT_EQ(focusedObjectName(d), u"databaseUser"_s);
        typeInto(d, "dataSourceName", u"Typed"_s);
        clickPick(d);
        EXPECT_EQ(textOf(d, "dataSourceName"), u"Typed"_s);
        clickPick(d);
        EXPECT_EQ(textOf(d, "dataSourceName"), u"DialogPickFirst"_s);
        clickCancel(d);
    });
    gui->onDialog<DataSourcePickerDialog>([&](DataSourcePickerDialog& d) {
        QTableWidget* t = table(d);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(headerTexts(*t->model()), (QStringList{u"数据源名称"_s, u"驱动程序"_s, u"类型"_s}));
        EXPECT_EQ(columnTexts(*t->model(), 0), names);
        EXPECT_EQ(columnTexts(*t->model(), 1).first(), u"SQLite3"_s);
        EXPECT_EQ(columnTexts(*t->model(), 1).last(), u"PostgreSQL Unicode"_s);
        EXPECT_EQ(columnTexts(*t->model(), 2), types);
        EXPECT_EQ(d.selectedName(), sqlite().dsn);
        EXPECT_EQ(d.focusWidget(), t);
        for (qsizetype i = 1; i < names.size(); ++i)
            QTest::keyClick(t, Qt::Key_Down);
        EXPECT_EQ(d.selectedName(), u"DialogPickMine"_s);
        QTest::keyClick(t, Qt::Key_Return);
        EXPECT_FALSE(d.isVisible());
    });
    gui->onDialog<DataSourcePickerDialog>([&](DataSourcePickerDialog& d) {
        // A name not in the list: the first row is offered.
        EXPECT_EQ(d.selectedName(), names.first());
        clickCancel(d);
    });
    gui->onDialog<DataSourcePickerDialog>([&](DataSourcePickerDialog& d) {
        QTableWidget* t = table(d);
        const QList<QTableWidgetItem*> found = t->findItems(u"DialogPickFirst"_s, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        // As the platform delivers it: press, release, double click, release.
        const QPoint at = t->visualItemRect(found.first()).center();
        QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(t->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(t->viewport(), Qt::LeftButton, {}, at);
        EXPECT_FALSE(d.isVisible());
    });

    EXPECT_EQ(execDialog(dialog), QDialog::Rejected);
    EXPECT_EQ(gui->messageTexts(), QStringList());
}

using DataSourceCommandTest = DataSourceDialogTest;

// Without a file the dialog starts empty; cancelled, it changes nothing.
TEST_F(DataSourceCommandTest, UnreadableFileIsReportedAndTheDialogStartsEmpty)
{
    const SQLHDBC working = openSQLite();
    gui->onDialog<CDataSourceDlg>([](CDataSourceDlg& d) {
        for (const char* field : {"dataSourceName", "databaseUser", "databasePassword"})
            EXPECT_EQ(textOf(d, field), QString()) << field;
        clickCancel(d);
    });

    EXPECT_FALSE(command.run());
    expectOwnedWarnings({u"数据源配置文件不能打开!"_s}, u"数据源配置"_s);
    EXPECT_EQ(app.GetConnection().handle(), working);
    EXPECT_EQ(command.updates, 0);
    EXPECT_FALSE(QFile::exists(configPath()));
}

// The choice read from the file is offered; the confirmed one is stored,
// connected and classified, whatever kind of database it is.
class DataSourceCommandKindTest : public AppFixture<DatabaseTest> {
protected:
    CommandFrame command;
};

TEST_P(DataSourceCommandKindTest, ConfirmedChoiceIsStoredReconnectedAndClassified)
{
    writeConfig(kBuiltInUserSection + "[DATASOURCEINI]\nDSN=DialogStaleSource\nUSERNAME=sa\nPASS=old\n");
    ASSERT_EQ(app.GetDatabaseKind(), DatabaseKind::SqlServer);
    gui->onDialog<CDataSourceDlg>([&](CDataSourceDlg& d) {
        EXPECT_EQ(textOf(d, "dataSourceName"), u"DialogStaleSource"_s);
        EXPECT_EQ(textOf(d, "databaseUser"), u"sa"_s);
        EXPECT_EQ(textOf(d, "databasePassword"), u"old"_s);
        enter(d, database());
        clickOk(d);
    });

    EXPECT_TRUE(command.run());
    EXPECT_EQ(gui->messageTexts(), QStringList());
    EXPECT_EQ(command.updates, 1);
    EXPECT_EQ(app.GetDatabaseKind(), kind());
    ASSERT_TRUE(app.GetConnection().isOpen());
    EXPECT_TRUE(app.GetConnection().dbmsName().contains(database().name, Qt::CaseInsensitive))
        << app.GetConnection().dbmsName().toStdString();
    EXPECT_EQ(configBytes(), kBuiltInUserSection + dataSourceSection(database()));
}

INSTANTIATE_TEST_SUITE_P(Kinds, DataSourceCommandKindTest, allDatabaseKinds(), kindName);

} // namespace
