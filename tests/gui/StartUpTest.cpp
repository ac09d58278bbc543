#include "AppFixture.h"

#include "SchemaDdl.h"

#include "app/CDataSourceDlg.h"
#include "app/CLoginDlg.h"
#include "settings/IniFile.h"
#include "settings/Password.h"

#include <QDir>
#include <QFile>
#include <QMainWindow>

using namespace tessera;
using namespace tessera::test;

namespace {

class StartUpTest : public AppFixture<> {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        // The main window reads the tag catalogue: give every test database one.
        for (const TestDatabase& db : testDatabases()) {
            if (!db.available)
                continue;
            db::Connection c = db::Connection::open(db.connectString());
            try {
                c.execute(ddl::createTableSql(db.kind, tableLayout(SchemaTable::EqpTagInfo), QStringLiteral("EqpTagInfo")));
            } catch (const db::DbError&) {
                // It is there already.
            }
        }
    }

    QByteArray storedFile(const TestDatabase& db) const
    {
        // USER/PASS is the scrambled "kestra".
        return QStringLiteral("[USER]\nUSERNAME=wardenaccount\nPASS=%1\n[DATASOURCEINI]\nDSN=%2\nUSERNAME=%3\nPASS=%4\n")
            .arg(scrambledKestra(), db.dsn, db.user, db.password)
            .toUtf8();
    }
    static QString scrambledKestra() { return *ScramblePassword(kBuiltInPassword, kPasswordScrambleKey); }
    void login(const QString& user, const QString& password)
    {
        gui->onDialog<CLoginDlg>([=](CLoginDlg& d) {
            typeInto(d, "userName", user);
            typeInto(d, "password", password);
            clickOk(d);
        });
    }
    void chooseDataSource(const TestDatabase& db)
    {
        gui->onDialog<CDataSourceDlg>([=](CDataSourceDlg& d) {
            typeInto(d, "dataSourceName", db.dsn);
            typeInto(d, "databaseUser", db.user);
            typeInto(d, "databasePassword", db.password);
            clickOk(d);
        });
    }
    // A data source whose driver entry is the SQLite library under a name of
    // its own: it connects, but its name says nothing about the kind.
    void addOddDataSource(const QString& name)
    {
        addSQLiteDriverAs(QStringLiteral("Field Archive Driver"));
        addUserDataSource(name, QStringLiteral("Field Archive Driver"), dir.filePath(QStringLiteral("odd.db")));
    }
    void cancelDataSource()
    {
        gui->onDialog<CDataSourceDlg>([](CDataSourceDlg& d) { clickCancel(d); });
    }
};

TEST_F(StartUpTest, FirstRunLogsInChoosesADataSourceAndOpensTheMainWindow)
{
    const TestDatabase& sqlite = testDatabase(DatabaseKind::SQLite);
    login(QStringLiteral("wardenaccount"), QStringLiteral("kestra"));
    chooseDataSource(sqlite);

    ASSERT_TRUE(app.InitInstance());
    EXPECT_TRUE(gui->messages().empty()) << gui->messageTexts().join(QLatin1Char('|')).toStdString();
    ASSERT_NE(app.mainWindow(), nullptr);
    EXPECT_EQ(app.mainWindow()->windowTitle(), QStringLiteral("数据维护程序"));
    EXPECT_TRUE(app.mainWindow()->isMaximized());
    EXPECT_TRUE(app.connection().isOpen());
    EXPECT_EQ(app.databaseKind(), DatabaseKind::SQLite);
    EXPECT_EQ(app.connectString(), QStringLiteral("DSN=%1;UID=%2;PWD=%3").arg(sqlite.dsn, sqlite.user, sqlite.password));

    QFile f(configPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromLatin1(f.readAll());
    EXPECT_LT(text.indexOf(QLatin1String("[USER]")), text.indexOf(QLatin1String("[DATASOURCEINI]")));
    CIniFile ini(configPath());
    EXPECT_EQ(ini.Get(QStringLiteral("DATASOURCEINI"), QStringLiteral("DSN")), sqlite.dsn);
}

TEST_F(StartUpTest, CancelledFirstLoginEndsWithoutMainWindowOrFile)
{
    gui->onDialog<CLoginDlg>([](CLoginDlg& d) { clickCancel(d); });
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(app.mainWindow(), nullptr);
    EXPECT_FALSE(QFile::exists(configPath()));
}

TEST_F(StartUpTest, StoredSettingsAskForTheStoredLoginAndConnect)
{
    writeConfig(storedFile(testDatabase(DatabaseKind::SQLite)));
    gui->onDialog<CLoginDlg>([](CLoginDlg& d) {
        EXPECT_EQ(textOf(d, "userName"), QStringLiteral("wardenaccount"));
        typeInto(d, "password", QStringLiteral("kestra"));
        clickOk(d);
    });
    ASSERT_TRUE(app.InitInstance());
    EXPECT_TRUE(gui->messages().empty());
    EXPECT_TRUE(app.connection().isOpen());
    EXPECT_EQ(app.databaseKind(), DatabaseKind::SQLite);
}

TEST_F(StartUpTest, StoredLoginCancelledEndsStartUp)
{
    writeConfig(storedFile(testDatabase(DatabaseKind::SQLite)));
    gui->onDialog<CLoginDlg>([](CLoginDlg& d) { clickCancel(d); });
    EXPECT_FALSE(app.InitInstance());
    EXPECT_FALSE(app.connection().isOpen());
    EXPECT_EQ(app.mainWindow(), nullptr);
}

TEST_F(StartUpTest, MissingDataSourceSectionGoesTheFailureRoad)
{
    writeConfig(QStringLiteral("[USER]\nUSERNAME=wardenaccount\nPASS=%1\n").arg(scrambledKestra()).toUtf8());
    const QByteArray before = [&] {
        QFile f(configPath());
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    login(QStringLiteral("wardenaccount"), QStringLiteral("kestra"));
    cancelDataSource();

    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(gui->messageTexts(), QStringList {QStringLiteral("数据库不能打开,请正确配置数据源")});
    EXPECT_EQ(gui->messages()[0].caption, QStringLiteral("系统提示"));
    EXPECT_FALSE(gui->messages()[0].owned);
    EXPECT_EQ(app.mainWindow(), nullptr);
    EXPECT_FALSE(app.connection().isOpen());
    QFile f(configPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before) << "nothing is written that the user did not ask for";
}

TEST_F(StartUpTest, FailedConnectionFallsBackToTheDataSourceDialog)
{
    TestDatabase wrong = testDatabase(DatabaseKind::SQLite);
    wrong.dsn = QStringLiteral("NoSuchSource");
    writeConfig(storedFile(wrong));
    login(QStringLiteral("wardenaccount"), QStringLiteral("kestra"));
    chooseDataSource(testDatabase(DatabaseKind::SQLite));

    ASSERT_TRUE(app.InitInstance());
    EXPECT_EQ(gui->messageTexts(), QStringList {QStringLiteral("数据库不能打开,请正确配置数据源")});
    EXPECT_TRUE(app.connection().isOpen());
    EXPECT_EQ(CIniFile(configPath()).Get(QStringLiteral("DATASOURCEINI"), QStringLiteral("DSN")),
              testDatabase(DatabaseKind::SQLite).dsn);
}

TEST_F(StartUpTest, UnreadableSettingsFileEndsStartUp)
{
    ASSERT_TRUE(QDir().mkpath(configPath())); // a folder where the file should be
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(gui->messageTexts(), QStringList {QStringLiteral("读配置文件失败!")});
    EXPECT_EQ(gui->dialogsShown(), 0);
}

TEST_F(StartUpTest, DriverOfNoKnownKindIsNamedAndEndsStartUp)
{
    addOddDataSource(QStringLiteral("StartUpOddDriver"));
    TestDatabase odd;
    odd.dsn = QStringLiteral("StartUpOddDriver");
    writeConfig(storedFile(odd));
    login(QStringLiteral("wardenaccount"), QStringLiteral("kestra"));

    EXPECT_FALSE(app.InitInstance());
    ASSERT_EQ(gui->messages().size(), 1u);
    EXPECT_TRUE(gui->messages()[0].text.contains(QStringLiteral("Field Archive Driver")));
    EXPECT_EQ(gui->messages()[0].caption, QStringLiteral("Tessera"));
    EXPECT_EQ(gui->messages()[0].icon, QMessageBox::Warning);
    EXPECT_EQ(app.mainWindow(), nullptr);
}

TEST_F(StartUpTest, FirstRunNeverStoresADataSourceOfNoKnownKind)
{
    addOddDataSource(QStringLiteral("StartUpOddFirstRun"));
    login(QStringLiteral("wardenaccount"), QStringLiteral("kestra"));
    gui->onDialog<CDataSourceDlg>([](CDataSourceDlg& d) {
        typeInto(d, "dataSourceName", QStringLiteral("StartUpOddFirstRun"));
        clickOk(d);
        EXPECT_TRUE(d.isVisible());
        clickCancel(d);
    });

    EXPECT_FALSE(app.InitInstance());
    ASSERT_EQ(gui->messages().size(), 1u);
    EXPECT_TRUE(gui->messages()[0].text.contains(QStringLiteral("Field Archive Driver")));
    EXPECT_EQ(app.mainWindow(), nullptr);
    EXPECT_FALSE(app.connection().isOpen());
    // The next start asks for a data source again instead of ending on this one.
    const CIniFile stored(configPath());
    EXPECT_EQ(stored.Get(QStringLiteral("USER"), QStringLiteral("USERNAME")), QStringLiteral("wardenaccount"));
    EXPECT_EQ(stored.Get(QStringLiteral("DATASOURCEINI"), QStringLiteral("DSN")), QString());
}

TEST_F(StartUpTest, StoredPasswordWithSemicolonConnects)
{
    // Unquoted, the driver manager would take the second DSN and fail.
    TestDatabase stored = testDatabase(DatabaseKind::SQLite);
    stored.password = QStringLiteral("pw;DSN=StartUpNoSuchSource");
    writeConfig(storedFile(stored));
    login(QStringLiteral("wardenaccount"), QStringLiteral("kestra"));

    ASSERT_TRUE(app.InitInstance());
    EXPECT_TRUE(gui->messages().empty()) << gui->messageTexts().join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(app.connection().isOpen());
    EXPECT_EQ(app.databaseKind(), DatabaseKind::SQLite);
    EXPECT_EQ(app.connectString(), QStringLiteral("DSN=%1;UID=;PWD={pw;DSN=StartUpNoSuchSource}").arg(stored.dsn));
}

TEST_F(StartUpTest, ConnectsToPostgreSQLAndTellsAWrongPasswordApart)
{
    const TestDatabase& pg = testDatabase(DatabaseKind::PostgreSQL);
    SKIP_WITHOUT_SERVER(pg);
    TestDatabase wrong = pg;
    wrong.password = QStringLiteral("not-the-password");
    writeConfig(storedFile(wrong));
    login(QStringLiteral("wardenaccount"), QStringLiteral("kestra"));
    chooseDataSource(pg);

    ASSERT_TRUE(app.InitInstance());
    EXPECT_EQ(gui->messageTexts(), QStringList {QStringLiteral("访问数据库失败,请正确配置数据源")});
    EXPECT_TRUE(app.connection().isOpen());
    EXPECT_EQ(app.databaseKind(), DatabaseKind::PostgreSQL);
}

} // namespace
