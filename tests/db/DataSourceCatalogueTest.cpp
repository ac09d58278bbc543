#include "FileBytes.h"
#include "OdbcTestEnvironment.h"

#include "db/DataSourceCatalogue.h"
#include "dialect/DetectDatabaseKind.h"

#include <QDir>
#include <QTemporaryDir>

#include <optional>

#include <gtest/gtest.h>

using namespace tessera;
using namespace tessera::test;
using namespace Qt::StringLiterals;
using db::DataSourceScope;

namespace {

// Each case writes the driver manager's two odbc.ini files and puts the test
// DSNs back afterwards. The driver manager caches what it read of a data
// source for some seconds, so every case uses names of its own.
class DataSourceCatalogueTest : public ::testing::Test {
protected:
    void TearDown() override { restoreOdbcIniFiles(); }

    void writeSystem(const QString& text)
    {
        writeBytes(QDir(systemIniFolder()).filePath(u"odbc.ini"_s), text.toUtf8());
    }
    void writeUser(const QString& text) { writeBytes(userIniPath(), text.toUtf8()); }
    // A data source on a SQLite file of the test's folder, named after it.
    QString dsn(const QString& name, const QString& driver)
    {
        return u"[%1]\nDriver=%2\nDatabase=%3\n\n"_s.arg(name, driver, m_dir.filePath(name + u".db"_s));
    }
    QTemporaryDir m_dir;
};

TEST_F(DataSourceCatalogueTest, DriverGivenAsALibraryPathIsMappedToItsName)
{
    writeSystem(dsn(u"ByPath"_s, u"/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so"_s));
    writeUser(dsn(u"Unmapped"_s, u"/opt/nowhere/libunknown.so"_s));
    EXPECT_EQ(db::driverOfDataSource(u"ByPath"_s, DataSourceScope::System), u"SQLite3"_s);
    EXPECT_EQ(db::driverOfDataSource(u"Unmapped"_s, DataSourceScope::User), u"/opt/nowhere/libunknown.so"_s);

    // By the whole path, then by the file name.
    const std::vector<db::InstalledDriver> drivers {{u"PostgreSQL Unicode"_s, u"psqlodbcw.so"_s},
                                                    {u"Custom"_s, u"/opt/x/libmaodbc.so"_s}};
    EXPECT_EQ(db::driverNameForLibrary(u"/usr/lib/odbc/psqlodbcw.so"_s, drivers), u"PostgreSQL Unicode"_s);
    EXPECT_EQ(db::driverNameForLibrary(u"/opt/x/libmaodbc.so"_s, drivers), u"Custom"_s);
    EXPECT_EQ(db::driverNameForLibrary(u"SQL Server"_s, drivers), u"SQL Server"_s);
}

// The kind of a data source comes from its driver, found in the system list
// first, then in the user list; a driver of no known kind is named.
TEST_F(DataSourceCatalogueTest, DetectionLooksInTheSystemListThenTheUserList)
{
    writeSystem(dsn(u"Shared"_s, u"SQLite3"_s));
    writeUser(dsn(u"Mine"_s, u"MariaDB Unicode"_s) + dsn(u"Shared"_s, u"PostgreSQL Unicode"_s)
              + dsn(u"Odd"_s, u"SQL Server Native Client 11.0"_s));

    // The system list wins; no message where the system list itself was readable.
    const struct {
        QString name;
        std::optional<DatabaseKind> kind;
        QStringList messages;
    } cases[] = {
        {u"Shared"_s, DatabaseKind::SQLite, {}},
        {u"Mine"_s, DatabaseKind::MySql, {}},
        {u"Absent"_s, std::nullopt, {u"错误:无法查询关键字的注册信息!"_s}},
        {u"Odd"_s, std::nullopt,
            {u"错误:数据源“Odd”的驱动程序“SQL Server Native Client 11.0”不是可识别的数据库类型!"_s}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        const KindDetection found = DetectDatabaseKind(c.name);
        EXPECT_EQ(found.kind, c.kind);
        EXPECT_EQ(found.messages, c.messages);
    }
}

} // namespace
