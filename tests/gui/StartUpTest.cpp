#include "DialogTest.h"

#include "app/CLoginDlg.h"

#include <QDir>
#include <QMainWindow>

using namespace tessera;
using namespace tessera::test;
using namespace Qt::StringLiterals;

namespace {

QByteArray storedFile(const TestDatabase& db) { return kBuiltInUserSection + dataSourceSection(db); }

class StartUpTest : public AppFixture<> {
protected:
    void login()
    {
        gui->onDialog<CLoginDlg>([](CLoginDlg& d) {
            typeInto(d, "password", u"kestra"_s);
            clickOk(d);
        });
    }
    void chooseDataSource(const TestDatabase& db)
    {
        gui->onDialog<CDataSourceDlg>([=](CDataSourceDlg& d) {
            enter(d, db);
            clickOk(d);
        });
    }
    // A stored data source that does not open: its message, then the
    // data-source dialog, where one is chosen or (nullptr) the dialog cancelled.
    void expectFallBack(const QByteArray& file, const TestDatabase* chosen, const QString& message)
    {
        writeConfig(file);
        login();
        if (chosen)
            chooseDataSource(*chosen);
        else
            gui->onDialog<CDataSourceDlg>([](CDataSourceDlg& d) { clickCancel(d); });
        EXPECT_EQ(app.InitInstance(), chosen != nullptr);
        ASSERT_EQ(gui->messageTexts(), QStringList {message});
        EXPECT_EQ(gui->messages()[0].caption, u"系统提示"_s);
        EXPECT_FALSE(gui->messages()[0].owned);
        EXPECT_EQ(app.GetMainWindow() != nullptr, chosen != nullptr);
        EXPECT_EQ(app.GetConnection().isOpen(), chosen != nullptr);
        if (chosen) {
            EXPECT_EQ(app.GetDatabaseKind(), chosen->kind);
        }
        // Nothing is written that the user did not ask for.
        EXPECT_EQ(configBytes(), chosen ? storedFile(*chosen) : file);
    }
};

TEST_F(StartUpTest, FirstRunLogsInChoosesADataSourceAndOpensTheMainWindow)
{
    login();
    chooseDataSource(sqlite());

    ASSERT_TRUE(app.InitInstance());
    EXPECT_EQ(gui->messageTexts(), QStringList());
    ASSERT_NE(app.GetMainWindow(), nullptr);
    EXPECT_EQ(app.GetMainWindow()->windowTitle(), u"数据维护程序"_s);
    EXPECT_TRUE(app.GetMainWindow()->isMaximized());
    EXPECT_TRUE(app.GetConnection().isOpen());
    EXPECT_EQ(app.GetDatabaseKind(), DatabaseKind::SQLite);
    EXPECT_EQ(app.GetConnectString(), sqlite().connectString());
    EXPECT_EQ(configBytes(), storedFile(sqlite()));
}

TEST_F(StartUpTest, CancelledLoginEndsStartUpAndWritesNothing)
{
    for (const QByteArray& file : {QByteArray(), storedFile(sqlite())}) {
        SCOPED_TRACE(file.isEmpty() ? "first run" : "stored settings");
        if (!file.isEmpty())
            writeConfig(file);
        gui->onDialog<CLoginDlg>([](CLoginDlg& d) { clickCancel(d); });
        EXPECT_FALSE(app.InitInstance());
        EXPECT_EQ(app.GetMainWindow(), nullptr);
        EXPECT_FALSE(app.GetConnection().isOpen());
        EXPECT_EQ(configBytes(), file);
        EXPECT_EQ(QFile::exists(configPath()), !file.isEmpty());
    }
}

TEST_F(StartUpTest, StoredSettingsAskForTheStoredLoginAndConnect)
{
    // Unquoted, the driver manager would take the last DSN given and fail; a
    // brace inside the quotes is doubled.
    TestDatabase stored = sqlite();
    stored.user = u"sa;DSN=StartUpNoSuchSource"_s;
    stored.password = u"p}w;DSN=StartUpNoSuchSource"_s;
    writeConfig(storedFile(stored));
    login();

    ASSERT_TRUE(app.InitInstance());
    EXPECT_EQ(gui->messageTexts(), QStringList());
    EXPECT_TRUE(app.GetConnection().isOpen());
    EXPECT_EQ(app.GetDatabaseKind(), DatabaseKind::SQLite);
    EXPECT_EQ(app.GetConnectString(),
        u"DSN=%1;UID={sa;DSN=StartUpNoSuchSource};PWD={p}}w;DSN=StartUpNoSuchSource}"_s.arg(stored.dsn));
}

TEST_F(StartUpTest, MissingDataSourceSectionGoesTheFailureRoad)
{
    expectFallBack(kBuiltInUserSection, nullptr, kCannotOpen);
}

TEST_F(StartUpTest, WrongServerPasswordIsAnAccessFailure)
{
    const TestDatabase& pg = testDatabase(DatabaseKind::PostgreSQL);
    SKIP_WITHOUT_SERVER(pg);
    TestDatabase wrong = pg;
    wrong.password = u"not-the-password"_s;
    expectFallBack(storedFile(wrong), &pg, u"访问数据库失败,请正确配置数据源"_s);
    EXPECT_TRUE(gui->messages()[0].details.contains(u"password"_s)) << gui->messages()[0].details.toStdString();
}

TEST_F(StartUpTest, UnreadableSettingsFileEndsStartUp)
{
    ASSERT_TRUE(QDir().mkpath(configPath())); // a folder where the file should be
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(gui->messageTexts(), QStringList {u"读配置文件失败!"_s});
    EXPECT_EQ(gui->dialogsShown(), 0);
}

TEST_F(StartUpTest, DriverOfNoKnownKindIsNamedAndEndsStartUp)
{
    // The SQLite library under a driver name that says nothing about the kind.
    addSQLiteDriverAs(u"Field Archive Driver"_s);
    TestDatabase odd;
    odd.dsn = u"StartUpOddDriver"_s;
    addUserDataSource(odd.dsn, u"Field Archive Driver"_s, dir.filePath(u"odd.db"_s));
    writeConfig(storedFile(odd));
    login();

    EXPECT_FALSE(app.InitInstance());
    ASSERT_EQ(gui->messageTexts(),
        QStringList{u"错误:数据源“StartUpOddDriver”的驱动程序“Field Archive Driver”不是可识别的数据库类型!"_s});
    EXPECT_EQ(gui->messages()[0].caption, u"Tessera"_s);
    EXPECT_EQ(gui->messages()[0].icon, QMessageBox::Warning);
    EXPECT_EQ(app.GetMainWindow(), nullptr);
}

} // namespace
