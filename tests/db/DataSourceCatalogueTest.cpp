#include "OdbcTestEnvironment.h"

#include "db/Connection.h"
#include "dialect/DetectDatabaseKind.h"
#include "db/DataSourceCatalogue.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tessera;
using namespace tessera::test;
using db::DataSourceScope;

namespace {

// Each case writes the driver manager's two odbc.ini files and puts the test
// DSNs back afterwards. The driver manager caches what it read of a data
// source for some seconds, so every case uses names of its own.
class DataSourceCatalogueTest : public ::testing::Test {
protected:
    void TearDown() override { restoreOdbcIniFiles(); }

    void write(const QString& path, const QString& text)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text.toUtf8());
    }
    void writeSystem(const QString& text) { write(QDir(systemIniFolder()).filePath(QStringLiteral("odbc.ini")), text); }
    void writeUser(const QString& text) { write(userIniPath(), text); }

    QString sqliteDsn(const QString& name, const QString& driver)
    {
        return QStringLiteral("[%1]\nDriver=%2\nDatabase=%3\n\n").arg(name, driver, m_dir.filePath(name + QStringLiteral(".db")));
    }

    static QStringList names(const std::vector<db::DataSourceEntry>& entries)
    {
        QStringList out;
        for (const auto& e : entries)
            out << e.name;
        return out;
    }

    QTemporaryDir m_dir;
};

TEST_F(DataSourceCatalogueTest, SystemAndUserListsAreKeptApart)
{
    writeSystem(sqliteDsn(QStringLiteral("ForAll"), QStringLiteral("SQLite3")));
    writeUser(sqliteDsn(QStringLiteral("JustMe"), QStringLiteral("PostgreSQL Unicode")));

    EXPECT_EQ(names(db::listDataSources(DataSourceScope::System)), QStringList {QStringLiteral("ForAll")});
    EXPECT_EQ(names(db::listDataSources(DataSourceScope::User)), QStringList {QStringLiteral("JustMe")});
    const auto all = db::listAllDataSources();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].scope, DataSourceScope::System);
    EXPECT_EQ(all[1].driver, QStringLiteral("PostgreSQL Unicode"));

    EXPECT_EQ(db::driverOfDataSource(QStringLiteral("ForAll"), DataSourceScope::System), QStringLiteral("SQLite3"));
    EXPECT_FALSE(db::driverOfDataSource(QStringLiteral("ForAll"), DataSourceScope::User).has_value());
    EXPECT_EQ(db::driverOfDataSource(QStringLiteral("JustMe"), DataSourceScope::User),
              QStringLiteral("PostgreSQL Unicode"));
    EXPECT_FALSE(db::driverOfDataSource(QStringLiteral("Nowhere"), DataSourceScope::System).has_value());
}

TEST_F(DataSourceCatalogueTest, EmptyAndMissingListsAreEmpty)
{
    writeSystem(QString());
    QFile::remove(userIniPath());
    EXPECT_TRUE(db::listDataSources(DataSourceScope::System).empty());
    EXPECT_TRUE(db::listDataSources(DataSourceScope::User).empty());
}

TEST_F(DataSourceCatalogueTest, DriverGivenAsALibraryPathIsMappedToItsName)
{
    writeSystem(sqliteDsn(QStringLiteral("ByPath"), QStringLiteral("/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so")));
    writeUser(sqliteDsn(QStringLiteral("Unmapped"), QStringLiteral("/opt/nowhere/libunknown.so")));
    EXPECT_EQ(db::driverOfDataSource(QStringLiteral("ByPath"), DataSourceScope::System), QStringLiteral("SQLite3"));
    EXPECT_EQ(db::driverOfDataSource(QStringLiteral("Unmapped"), DataSourceScope::User),
              QStringLiteral("/opt/nowhere/libunknown.so"));
}

TEST_F(DataSourceCatalogueTest, UserDataSourceOpens)
{
    writeSystem(QString());
    writeUser(sqliteDsn(QStringLiteral("MineToOpen"), QStringLiteral("SQLite3")));
    db::Connection c = db::Connection::open(QStringLiteral("DSN=MineToOpen;UID=;PWD="));
    EXPECT_TRUE(c.isOpen());
    c.execute(QStringLiteral("CREATE TABLE Probe(Id INTEGER)"));
    EXPECT_TRUE(QFile::exists(m_dir.filePath(QStringLiteral("MineToOpen.db"))));
}

TEST_F(DataSourceCatalogueTest, DataSourceWhoseDriverIsNotInstalledFailsToOpen)
{
    writeUser(sqliteDsn(QStringLiteral("Orphan"), QStringLiteral("No Such Driver")));
    EXPECT_EQ(db::driverOfDataSource(QStringLiteral("Orphan"), DataSourceScope::User), QStringLiteral("No Such Driver"));
    try {
        db::Connection::open(QStringLiteral("DSN=Orphan;UID=;PWD="));
        FAIL() << "opened a data source without a driver";
    } catch (const db::DbError& e) {
        EXPECT_TRUE(e.isDriverManagerError()) << e.what();
    }
}

TEST_F(DataSourceCatalogueTest, DetectionLooksInTheSystemListThenTheUserList)
{
    writeSystem(sqliteDsn(QStringLiteral("Shared"), QStringLiteral("SQLite3")));
    writeUser(sqliteDsn(QStringLiteral("Mine"), QStringLiteral("MariaDB Unicode"))
              + sqliteDsn(QStringLiteral("Shared"), QStringLiteral("PostgreSQL Unicode")));

    const KindDetection system = DetectDatabaseKind(QStringLiteral("Shared"));
    EXPECT_EQ(system.kind, DatabaseKind::SQLite) << "the system list wins";
    EXPECT_TRUE(system.messages.isEmpty());

    const KindDetection user = DetectDatabaseKind(QStringLiteral("Mine"));
    EXPECT_EQ(user.kind, DatabaseKind::MySql);
    EXPECT_TRUE(user.messages.isEmpty()) << "no message when the system list itself was readable";

    const KindDetection missing = DetectDatabaseKind(QStringLiteral("Absent"));
    EXPECT_FALSE(missing.kind.has_value());
    EXPECT_EQ(missing.messages, QStringList {QStringLiteral("错误:无法查询关键字的注册信息!")});
}

TEST_F(DataSourceCatalogueTest, DetectionNamesADriverOfNoKnownKind)
{
    writeUser(sqliteDsn(QStringLiteral("Odd"), QStringLiteral("SQL Server Native Client 11.0")));
    const KindDetection odd = DetectDatabaseKind(QStringLiteral("Odd"));
    EXPECT_FALSE(odd.kind.has_value());
    ASSERT_EQ(odd.messages.size(), 1);
    EXPECT_TRUE(odd.messages[0].contains(QStringLiteral("SQL Server Native Client 11.0")));
    EXPECT_TRUE(odd.messages[0].contains(QStringLiteral("Odd")));
}

TEST(DriverLibraryMapping, MatchesByPathThenByFileName)
{
    const std::vector<db::InstalledDriver> drivers {{QStringLiteral("PostgreSQL Unicode"), QStringLiteral("psqlodbcw.so")},
                                                    {QStringLiteral("Custom"), QStringLiteral("/opt/x/libmaodbc.so")}};
    EXPECT_EQ(db::driverNameForLibrary(QStringLiteral("/usr/lib/odbc/psqlodbcw.so"), drivers),
              QStringLiteral("PostgreSQL Unicode"));
    EXPECT_EQ(db::driverNameForLibrary(QStringLiteral("/opt/x/libmaodbc.so"), drivers), QStringLiteral("Custom"));
    EXPECT_EQ(db::driverNameForLibrary(QStringLiteral("SQL Server"), drivers), QStringLiteral("SQL Server"));
}

} // namespace
