#include "DialogTest.h"

#include "app/CDataSourceDlg.h"
#include "app/CLoginDlg.h"
#include "app/DataSourceCommand.h"
#include "app/DataSourcePickerDialog.h"
#include "settings/IniFile.h"

#include <QAccessible>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

using namespace tessera;
using namespace tessera::test;

namespace {

const QByteArray kUserSection = "[USER]\nUSERNAME=wardenaccount\nPASS=$u&+'y0264\n";

// Each case may change the driver manager's odbc.ini files and puts the test
// data sources back afterwards. The driver manager caches what it read of a
// data source for some seconds, so every case uses names of its own.
class DataSourceDialogTest : public DialogTest {
protected:
    static const TestDatabase& sqlite() { return testDatabase(DatabaseKind::SQLite); }


    static void enter(CDataSourceDlg& d, const TestDatabase& db)
    {
        typeInto(d, "dataSourceName", db.dsn);
        typeInto(d, "databaseUser", db.user);
        typeInto(d, "databasePassword", db.password);
    }

    static QByteArray dataSourceSection(const TestDatabase& db)
    {
        return QStringLiteral("[DATASOURCEINI]\nDSN=%1\nUSERNAME=%2\nPASS=%3\n").arg(db.dsn, db.user, db.password).toUtf8();
    }

    static QTableWidget* table(DataSourcePickerDialog& d)
    {
        return d.findChild<QTableWidget*>(QStringLiteral("dataSources"));
    }
    static QStringList column(QTableWidget& t, int column)
    {
        QStringList texts;
        for (int row = 0; row < t.rowCount(); ++row)
            texts << t.item(row, column)->text();
        return texts;
    }
    static void clickPick(CDataSourceDlg& d)
    {
        auto* pick = d.findChild<QPushButton*>(QStringLiteral("pickButton"));
        ASSERT_NE(pick, nullptr);
        QTest::mouseClick(pick, Qt::LeftButton);
    }
};

TEST_F(DataSourceDialogTest, FirstRunStoresTheDataSourceAfterTheLogin)
{
    CLoginDlg login;
    ASSERT_EQ(run<CLoginDlg>(login, [](CLoginDlg& d) {
                  typeInto(d, "password", QStringLiteral("kestra"));
                  clickOk(d);
              }),
              QDialog::Accepted);

    CDataSourceDlg dialog;
    const int result = run<CDataSourceDlg>(dialog, [](CDataSourceDlg& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("数据源设置"));
        EXPECT_EQ(textOf(d, "dataSourceName"), QString());
        enter(d, sqlite());
        clickOk(d);
    });

    ASSERT_EQ(result, QDialog::Accepted);
    EXPECT_TRUE(gui->messages().empty()) << gui->messageTexts().join(u'|').toStdString();
    EXPECT_TRUE(app.connection().isOpen());
    EXPECT_EQ(app.connectString(), sqlite().connectString());
    EXPECT_EQ(dialog.dataSourceName(), sqlite().dsn);
    EXPECT_EQ(configBytes(), kUserSection + dataSourceSection(sqlite()));
}

TEST_F(DataSourceDialogTest, UnknownDataSourceKeepsTheDialogOpenTheWorkingConnectionAndTheFileAsItWas)
{
    writeConfig(kUserSection);
    ASSERT_EQ(app.openConnection(sqlite().dsn, sqlite().user, sqlite().password).outcome,
              CTesseraApp::OpenOutcome::Opened);
    const SQLHDBC working = app.connection().handle();

    CDataSourceDlg dialog;
    const int result = run<CDataSourceDlg>(dialog, [&](CDataSourceDlg& d) {
        enter(d, sqlite());
        typeInto(d, "dataSourceName", QStringLiteral("DialogNoSuchSource"));
        clickOk(d);
        EXPECT_TRUE(d.isVisible());
        EXPECT_TRUE(app.connection().isOpen());
        EXPECT_EQ(app.connection().handle(), working);
        EXPECT_EQ(app.connectString(), sqlite().connectString());
        EXPECT_EQ(configBytes(), kUserSection);

        // Corrected, it goes through.
        typeInto(d, "dataSourceName", sqlite().dsn);
        clickOk(d);
    });

    EXPECT_EQ(result, QDialog::Accepted);
    expectOwnedWarnings({QStringLiteral("数据库不能打开,请正确配置数据源")}, QStringLiteral("系统提示"));
    EXPECT_TRUE(app.connection().isOpen());
    EXPECT_EQ(configBytes(), kUserSection + dataSourceSection(sqlite()));
}

TEST_F(DataSourceDialogTest, DatabaseThatCannotBeReachedIsAnAccessFailure)
{
    addUserDataSource(QStringLiteral("DialogUnreachable"), QStringLiteral("SQLite3"),
                      dir.filePath(QStringLiteral("no-such-folder/archive.db")));
    CDataSourceDlg dialog;
    dialog.setValues(QStringLiteral("DialogUnreachable"), QString(), QString());
    const int result = run<CDataSourceDlg>(dialog, [](CDataSourceDlg& d) {
        clickOk(d);
        EXPECT_TRUE(d.isVisible());
    });

    EXPECT_EQ(result, QDialog::Rejected);
    expectOwnedWarnings({QStringLiteral("访问数据库失败,请正确配置数据源")}, QStringLiteral("系统提示"));
    EXPECT_FALSE(app.connection().isOpen());
    EXPECT_FALSE(QFile::exists(configPath()));
}

TEST_F(DataSourceDialogTest, UserAndPasswordReachTheDriverAsTyped)
{
    // Unquoted, ";DSN=..." would name another data source to the driver
    // manager, which takes the last one given, and the login would fail.
    struct Login {
        QString user;
        QString password;
    };
    const Login logins[] = {
        {QString(), QStringLiteral("pw;DSN=DialogNoSuchSource")},
        {QStringLiteral("sa;DSN=DialogNoSuchSource"), QString()},
        {QString(), QStringLiteral("{pw}")},
        {QString(), QStringLiteral("p}w;DSN=DialogNoSuchSource")},
    };
    for (const Login& login : logins) {
        SCOPED_TRACE(login.user.toStdString() + " / " + login.password.toStdString());
        QFile::remove(configPath());
        CDataSourceDlg dialog;
        const int result = run<CDataSourceDlg>(dialog, [&](CDataSourceDlg& d) {
            typeInto(d, "dataSourceName", sqlite().dsn);
            typeInto(d, "databaseUser", login.user);
            typeInto(d, "databasePassword", login.password);
            clickOk(d);
        });
        EXPECT_EQ(result, QDialog::Accepted) << gui->messageTexts().join(u'|').toStdString();
        EXPECT_TRUE(app.connection().isOpen());
        const CIniFile stored(configPath());
        EXPECT_EQ(stored.Get(QStringLiteral("DATASOURCEINI"), QStringLiteral("USERNAME")), login.user);
        EXPECT_EQ(stored.Get(QStringLiteral("DATASOURCEINI"), QStringLiteral("PASS")), login.password);
    }
    EXPECT_TRUE(gui->messages().empty()) << gui->messageTexts().join(u'|').toStdString();
}

TEST_F(DataSourceDialogTest, ValueTheFileCannotHoldIsRefusedBeforeConnecting)
{
    CDataSourceDlg dialog;
    const int result = run<CDataSourceDlg>(dialog, [&](CDataSourceDlg& d) {
        enter(d, sqlite());
        typeInto(d, "databasePassword", QStringLiteral("secret "));
        clickOk(d);
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(focusedObjectName(d), QStringLiteral("databasePassword"));
    });

    EXPECT_EQ(result, QDialog::Rejected);
    expectOwnedWarnings({QStringLiteral("密码的首尾不能是空格,也不能包含无法保存到配置文件的字符!")},
                        QStringLiteral("系统提示"));
    EXPECT_FALSE(app.connection().isOpen());
    EXPECT_FALSE(QFile::exists(configPath()));
}

TEST_F(DataSourceDialogTest, FieldsAreLabelledMaskedAndReachableWithTabAndEnterConfirms)
{
    CDataSourceDlg dialog;
    dialog.setValues(QStringLiteral("DialogKeyboardSource"), QStringLiteral("sa"), QStringLiteral("pw"));
    const int result = run<CDataSourceDlg>(dialog, [](CDataSourceDlg& d) {
        EXPECT_EQ(textOf(d, "databaseUser"), QStringLiteral("sa"));
        EXPECT_EQ(focusedObjectName(d), QStringLiteral("dataSourceName"));
        EXPECT_EQ(tabChain(d, 3), (QStringList {QStringLiteral("pickButton"), QStringLiteral("databaseUser"),
                                                QStringLiteral("databasePassword")}));

        const QStringList labels {QStringLiteral("数据源名称:"), QStringLiteral("用户名称:"), QStringLiteral("密    码:")};
        const char* names[] = {"dataSourceName", "databaseUser", "databasePassword"};
        for (int i = 0; i < 3; ++i) {
            auto* edit = d.findChild<QLineEdit*>(QLatin1String(names[i]));
            ASSERT_NE(edit, nullptr);
            EXPECT_EQ(edit->echoMode(), i == 2 ? QLineEdit::Password : QLineEdit::Normal);
            EXPECT_EQ(QAccessible::queryAccessibleInterface(edit)->text(QAccessible::Name), labels[i]);
        }
        auto* pick = d.findChild<QPushButton*>(QStringLiteral("pickButton"));
        EXPECT_FALSE(QAccessible::queryAccessibleInterface(pick)->text(QAccessible::Name).isEmpty());

        // Enter in a field is OK: the unknown source is reported.
        QTest::keyClick(d.focusWidget(), Qt::Key_Return);
        EXPECT_TRUE(d.isVisible());
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(gui->messageTexts(), QStringList {QStringLiteral("数据库不能打开,请正确配置数据源")});
}

TEST_F(DataSourceDialogTest, PickerListsSystemThenUserSourcesAndEnterPicksOnlyTheName)
{
    addUserDataSource(QStringLiteral("DialogPickMine"), QStringLiteral("PostgreSQL Unicode"), QString());
    QStringList expectedNames;
    for (const TestDatabase& db : testDatabases())
        if (db.available)
            expectedNames << db.dsn;
    const qsizetype systemCount = expectedNames.size();
    expectedNames << QStringLiteral("DialogPickMine");

    CDataSourceDlg dialog;
    // The current name is found whatever its letter case.
    dialog.setValues(sqlite().dsn.toLower(), QStringLiteral("sa"), QStringLiteral("pw"));
    gui->onDialog<CDataSourceDlg>([&](CDataSourceDlg& d) {
        clickPick(d);
        EXPECT_EQ(textOf(d, "dataSourceName"), QStringLiteral("DialogPickMine"));
        EXPECT_EQ(textOf(d, "databaseUser"), QStringLiteral("sa"));
        EXPECT_EQ(textOf(d, "databasePassword"), QStringLiteral("pw"));
        // On to the user name, so that Enter confirms rather than pressing "..." again.
        EXPECT_EQ(focusedObjectName(d), QStringLiteral("databaseUser"));
        clickCancel(d);
    });
    gui->onDialog<DataSourcePickerDialog>([&](DataSourcePickerDialog& d) {
        QTableWidget* t = table(d);
        ASSERT_NE(t, nullptr);
        ASSERT_EQ(t->columnCount(), 3);
        EXPECT_EQ(t->horizontalHeaderItem(0)->text(), QStringLiteral("数据源名称"));
        EXPECT_EQ(t->horizontalHeaderItem(1)->text(), QStringLiteral("驱动程序"));
        EXPECT_EQ(t->horizontalHeaderItem(2)->text(), QStringLiteral("类型"));
        EXPECT_EQ(column(*t, 0), expectedNames);
        EXPECT_EQ(column(*t, 1).first(), QStringLiteral("SQLite3"));
        EXPECT_EQ(column(*t, 1).last(), QStringLiteral("PostgreSQL Unicode"));
        QStringList expectedTypes(systemCount, QStringLiteral("系统"));
        expectedTypes << QStringLiteral("用户");
        EXPECT_EQ(column(*t, 2), expectedTypes);
        EXPECT_EQ(d.selectedName(), sqlite().dsn);
        EXPECT_EQ(d.focusWidget(), t);

        for (qsizetype i = 0; i < systemCount; ++i)
            QTest::keyClick(t, Qt::Key_Down);
        EXPECT_EQ(d.selectedName(), QStringLiteral("DialogPickMine"));
        QTest::keyClick(t, Qt::Key_Return);
        EXPECT_FALSE(d.isVisible());
    });

    EXPECT_EQ(execDialog(dialog), QDialog::Rejected);
    EXPECT_TRUE(gui->messages().empty());
}

TEST_F(DataSourceDialogTest, PickerCancelKeepsTheNameAndDoubleClickPicks)
{
    addUserDataSource(QStringLiteral("DialogPickFirst"), QStringLiteral("SQLite3"), QString());
    addUserDataSource(QStringLiteral("DialogPickSecond"), QStringLiteral("SQLite3"), QString());
    const auto doubleClickRow = [](DataSourcePickerDialog& d, const QString& name) {
        QTableWidget* t = table(d);
        ASSERT_NE(t, nullptr);
        const QList<QTableWidgetItem*> found = t->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        // As the platform delivers it: press, release, double click, release.
        const QPoint at = t->visualItemRect(found.first()).center();
        QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(t->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(t->viewport(), Qt::LeftButton, {}, at);
    };

    CDataSourceDlg dialog;
    gui->onDialog<CDataSourceDlg>([&](CDataSourceDlg& d) {
        typeInto(d, "dataSourceName", QStringLiteral("Typed"));
        clickPick(d);
        EXPECT_EQ(textOf(d, "dataSourceName"), QStringLiteral("Typed"));
        clickPick(d);
        EXPECT_EQ(textOf(d, "dataSourceName"), QStringLiteral("DialogPickFirst"));
        clickCancel(d);
    });
    gui->onDialog<DataSourcePickerDialog>([&](DataSourcePickerDialog& d) {
        // A name not in the list: the first row is offered.
        EXPECT_EQ(d.selectedName(), column(*table(d), 0).first());
        QTest::keyClick(table(d), Qt::Key_End, Qt::ControlModifier);
        EXPECT_EQ(d.selectedName(), QStringLiteral("DialogPickSecond"));
        clickCancel(d);
    });
    gui->onDialog<DataSourcePickerDialog>([&](DataSourcePickerDialog& d) {
        doubleClickRow(d, QStringLiteral("DialogPickFirst"));
        EXPECT_FALSE(d.isVisible());
    });

    EXPECT_EQ(execDialog(dialog), QDialog::Rejected);
}

class DataSourceCommandTest : public DataSourceDialogTest {
protected:
    // Runs the command from a frame of the test's; counts the frame's updates.
    bool runCommand()
    {
        return runDataSourceCommand(&frame, [this] { ++frameUpdates; });
    }

    QWidget frame;
    int frameUpdates = 0;
};

TEST_F(DataSourceCommandTest, ConfirmedChoiceIsStoredReconnectedAndClassified)
{
    writeConfig(kUserSection + "[DATASOURCEINI]\nDSN=DialogStaleSource\nUSERNAME=sa\nPASS=old\n");
    ASSERT_EQ(app.databaseKind(), DatabaseKind::SqlServer);
    gui->onDialog<CDataSourceDlg>([](CDataSourceDlg& d) {
        EXPECT_EQ(textOf(d, "dataSourceName"), QStringLiteral("DialogStaleSource"));
        EXPECT_EQ(textOf(d, "databaseUser"), QStringLiteral("sa"));
        EXPECT_EQ(textOf(d, "databasePassword"), QStringLiteral("old"));
        enter(d, sqlite());
        clickOk(d);
    });

    EXPECT_TRUE(runCommand());
    EXPECT_TRUE(gui->messages().empty()) << gui->messageTexts().join(u'|').toStdString();
    EXPECT_EQ(app.databaseKind(), DatabaseKind::SQLite);
    EXPECT_TRUE(app.connection().isOpen());
    EXPECT_EQ(frameUpdates, 1);
    EXPECT_EQ(configBytes(), kUserSection + dataSourceSection(sqlite()));
}

TEST_F(DataSourceCommandTest, CancelledCommandChangesNothing)
{
    const QByteArray before = kUserSection + dataSourceSection(sqlite());
    writeConfig(before);
    ASSERT_EQ(app.openConnection(sqlite().dsn, sqlite().user, sqlite().password).outcome,
              CTesseraApp::OpenOutcome::Opened);
    app.setDatabaseKind(DatabaseKind::SQLite);
    gui->onDialog<CDataSourceDlg>([](CDataSourceDlg& d) {
        typeInto(d, "dataSourceName", QStringLiteral("DialogNeverUsed"));
        clickCancel(d);
    });

    EXPECT_FALSE(runCommand());
    EXPECT_EQ(frameUpdates, 0);
    EXPECT_TRUE(app.connection().isOpen());
    EXPECT_EQ(app.databaseKind(), DatabaseKind::SQLite);
    EXPECT_EQ(configBytes(), before);
    EXPECT_TRUE(gui->messages().empty());
}

TEST_F(DataSourceCommandTest, UnreadableFileIsReportedAndTheDialogStartsEmpty)
{
    gui->onDialog<CDataSourceDlg>([](CDataSourceDlg& d) {
        EXPECT_EQ(textOf(d, "dataSourceName"), QString());
        EXPECT_EQ(textOf(d, "databaseUser"), QString());
        EXPECT_EQ(textOf(d, "databasePassword"), QString());
        enter(d, sqlite());
        clickOk(d);
    });

    EXPECT_TRUE(runCommand());
    expectOwnedWarnings({QStringLiteral("数据源配置文件不能打开!")}, QStringLiteral("数据源配置"));
    EXPECT_EQ(app.databaseKind(), DatabaseKind::SQLite);
    EXPECT_EQ(configBytes(), dataSourceSection(sqlite()));
}

TEST_F(DataSourceCommandTest, DataSourceOfNoKnownKindIsRefusedAndNeverStored)
{
    // A driver entry of its own name for the SQLite library: it connects,
    // but its name says nothing about the kind of database.
    addSQLiteDriverAs(QStringLiteral("Substation Archive Driver"));
    addUserDataSource(QStringLiteral("DialogOddKind"), QStringLiteral("Substation Archive Driver"),
                      dir.filePath(QStringLiteral("odd.db")));
    const QByteArray before = kUserSection + dataSourceSection(sqlite());
    writeConfig(before);
    ASSERT_EQ(app.openConnection(sqlite().dsn, sqlite().user, sqlite().password).outcome,
              CTesseraApp::OpenOutcome::Opened);
    const SQLHDBC working = app.connection().handle();
    gui->onDialog<CDataSourceDlg>([&](CDataSourceDlg& d) {
        typeInto(d, "dataSourceName", QStringLiteral("DialogOddKind"));
        clickOk(d);
        EXPECT_TRUE(d.isVisible()) << "a data source of no known kind is not accepted";
        EXPECT_EQ(focusedObjectName(d), QStringLiteral("dataSourceName"));
        EXPECT_EQ(configBytes(), before) << "a later start-up would end on it";
        clickCancel(d);
    });

    EXPECT_FALSE(runCommand());
    ASSERT_EQ(gui->messages().size(), 1u);
    EXPECT_TRUE(gui->messages()[0].text.contains(QStringLiteral("Substation Archive Driver")));
    EXPECT_FALSE(gui->messages()[0].owned);
    EXPECT_EQ(gui->messages()[0].caption, QStringLiteral("Tessera"));
    EXPECT_EQ(app.connection().handle(), working);
    EXPECT_EQ(app.connectString(), sqlite().connectString());
    EXPECT_EQ(app.databaseKind(), DatabaseKind::SQLite);
    EXPECT_EQ(frameUpdates, 0);
    EXPECT_EQ(configBytes(), before);
}

TEST_F(DataSourceCommandTest, FailedAttemptsThenCancelKeepTheWorkingConnection)
{
    addUserDataSource(QStringLiteral("CommandUnreachable"), QStringLiteral("SQLite3"),
                      dir.filePath(QStringLiteral("no-such-folder/archive.db")));
    const QByteArray before = kUserSection + dataSourceSection(sqlite());
    writeConfig(before);
    ASSERT_EQ(app.openConnection(sqlite().dsn, sqlite().user, sqlite().password).outcome,
              CTesseraApp::OpenOutcome::Opened);
    const SQLHDBC working = app.connection().handle();
    app.connection().execute(QStringLiteral("CREATE TABLE IF NOT EXISTS CommandKeepsMe(a INTEGER)"));

    struct Attempt {
        const char* dataSource;
        const char* message;
    };
    const Attempt attempts[] = {{"CommandNoSuchSource", "数据库不能打开,请正确配置数据源"},
                                {"CommandUnreachable", "访问数据库失败,请正确配置数据源"}};
    gui->onDialog<CDataSourceDlg>([&](CDataSourceDlg& d) {
        for (const Attempt& attempt : attempts) {
            SCOPED_TRACE(attempt.dataSource);
            typeInto(d, "dataSourceName", QString::fromUtf8(attempt.dataSource));
            clickOk(d);
            EXPECT_TRUE(d.isVisible());
            ASSERT_FALSE(gui->messages().empty());
            EXPECT_EQ(gui->messages().back().text, QString::fromUtf8(attempt.message));
            EXPECT_EQ(app.connection().handle(), working);
        }
        clickCancel(d);
    });

    EXPECT_FALSE(runCommand());
    EXPECT_EQ(gui->messages().size(), 2u);
    EXPECT_EQ(frameUpdates, 0);
    EXPECT_EQ(configBytes(), before);
    // Still connected to the database the tree and the list show.
    ASSERT_TRUE(app.connection().isOpen());
    EXPECT_EQ(app.connection().handle(), working);
    EXPECT_EQ(app.connectString(), sqlite().connectString());
    EXPECT_EQ(app.databaseKind(), DatabaseKind::SQLite);
    EXPECT_NO_THROW(app.connection().execute(QStringLiteral("DROP TABLE CommandKeepsMe")));
}

TEST_F(DataSourceCommandTest, SwitchingToPostgreSQLChangesTheDialect)
{
    const TestDatabase& pg = testDatabase(DatabaseKind::PostgreSQL);
    SKIP_WITHOUT_SERVER(pg);
    writeConfig(kUserSection + dataSourceSection(sqlite()));
    ASSERT_EQ(app.openConnection(sqlite().dsn, sqlite().user, sqlite().password).outcome,
              CTesseraApp::OpenOutcome::Opened);
    app.setDatabaseKind(DatabaseKind::SQLite);
    gui->onDialog<CDataSourceDlg>([&](CDataSourceDlg& d) {
        enter(d, pg);
        clickOk(d);
    });

    EXPECT_TRUE(runCommand());
    EXPECT_TRUE(gui->messages().empty()) << gui->messageTexts().join(u'|').toStdString();
    EXPECT_EQ(app.databaseKind(), DatabaseKind::PostgreSQL);
    ASSERT_TRUE(app.connection().isOpen());
    EXPECT_TRUE(app.connection().dbmsName().contains(QStringLiteral("PostgreSQL"), Qt::CaseInsensitive));
    EXPECT_EQ(app.FormatDateLiteral(QStringLiteral("2008-01-31")), QStringLiteral("'2008-01-31'"));
    EXPECT_EQ(configBytes(), kUserSection + dataSourceSection(pg));
}

} // namespace
