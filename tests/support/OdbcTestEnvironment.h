#pragma once

#include "QtPrinters.h"
#include "dialect/DatabaseKind.h"

#include <QString>

#include <vector>

namespace tessera::test {

// Points the driver manager at odbc.ini files of the test's own (ODBCSYSINI
// and ODBCINI in a temporary folder) holding one DSN per test database.
// Must run before the first ODBC call of the process; TestMain does it.
void installOdbcTestEnvironment();

// The folder of the test's odbcinst.ini (system) files.
QString systemIniFolder();
// The path of the test's user odbc.ini.
QString userIniPath();
// Writes the test DSNs back into the two files (after a test changed them).
void restoreOdbcIniFiles();
// A data source in the test's user odbc.ini, until restoreOdbcIniFiles.
// `settings`: further lines "Key=value\n" of the data source.
void addUserDataSource(const QString& name, const QString& driver, const QString& database,
                       const QString& settings = {});
// The SQLite driver under a name of its own: its data sources connect, but
// the name says nothing about the kind of database.
void addSQLiteDriverAs(const QString& driverName);

struct TestDatabase {
    DatabaseKind kind = DatabaseKind::SQLite;
    QString name;          // for test names: "SQLite", "PostgreSQL", "MariaDB"
    QString dsn;           // DSN in the test's system odbc.ini
    QString user;
    QString password;
    bool available = false; // false when the server's environment variables are missing

    QString connectString() const { return QStringLiteral("DSN=%1;UID=%2;PWD=%3").arg(dsn, user, password); }
};

// A SQLite file through the driver, without a data source.
inline QString sqliteConnectString(const QString& path)
{
    return QStringLiteral("Driver=SQLite3;Database=%1").arg(path);
}

// SQLite always; PostgreSQL and MariaDB as configured by scripts/test-servers.
const std::vector<TestDatabase>& testDatabases();
const TestDatabase& testDatabase(DatabaseKind kind);

// True when scripts/test asked that missing servers fail instead of skipping.
bool serversRequired();

// In a test body or SetUp: skips the test when the database's server is not
// running, or fails it when scripts/test asked for the servers.
#define SKIP_WITHOUT_SERVER(database)                                                                    \
    if (const ::tessera::test::TestDatabase& server_ = (database); !server_.available) {               \
        if (::tessera::test::serversRequired())                                                          \
            FAIL() << server_.name.toStdString() << " test server is not configured";                   \
        GTEST_SKIP() << server_.name.toStdString() << " test server not running (scripts/test starts it)"; \
    }

} // namespace tessera::test
