#include "OdbcTestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <stdexcept>

namespace tessera::test {

namespace {

QTemporaryDir& folder()
{
    static QTemporaryDir dir;
    return dir;
}

QString env(const char* name)
{
    return QString::fromLocal8Bit(qgetenv(name));
}

TestDatabase serverDatabase(DatabaseKind kind, const QString& name, const char* prefix)
{
    const QByteArray p(prefix);
    TestDatabase db;
    db.kind = kind;
    db.name = name;
    db.dsn = QStringLiteral("TesseraTest%1").arg(name);
    db.user = env(p + "_USER");
    db.password = env(p + "_PASSWORD");
    db.available = !env(p + "_PORT").isEmpty();
    return db;
}

void writeFile(const QString& path, const QString& text)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot write " + path.toStdString());
    f.write(text.toUtf8());
}

QString systemOdbcIni()
{
    QString ini = QStringLiteral("[TesseraTestSQLite]\nDriver=SQLite3\nDatabase=%1\nTimeout=5000\n\n")
                      .arg(folder().filePath(QStringLiteral("test.db")));
    if (!env("TESSERA_TEST_PG_PORT").isEmpty())
        ini += QStringLiteral("[TesseraTestPostgreSQL]\nDriver=PostgreSQL Unicode\nServername=%1\nPort=%2\n"
                              "Database=%3\n\n")
                   .arg(env("TESSERA_TEST_PG_HOST"), env("TESSERA_TEST_PG_PORT"), env("TESSERA_TEST_PG_DATABASE"));
    if (!env("TESSERA_TEST_MARIADB_PORT").isEmpty())
        ini += QStringLiteral("[TesseraTestMariaDB]\nDriver=MariaDB Unicode\nServer=%1\nPort=%2\nDatabase=%3\n\n")
                   .arg(env("TESSERA_TEST_MARIADB_HOST"), env("TESSERA_TEST_MARIADB_PORT"),
                        env("TESSERA_TEST_MARIADB_DATABASE"));
    return ini;
}

} // namespace

QString installedDriversIni()
{
    const QByteArray sys = qgetenv("TESSERA_HOST_ODBCSYSINI");
    QFile f(QDir(sys.isEmpty() ? QStringLiteral("/etc") : QString::fromLocal8Bit(sys))
                .filePath(QStringLiteral("odbcinst.ini")));
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error("no odbcinst.ini with the installed drivers");
    // The Debian PostgreSQL entry logs every connection to /tmp; tests need no logs.
    QString ini = QString::fromUtf8(f.readAll());
    ini.replace(QStringLiteral("CommLog=1"), QStringLiteral("CommLog=0"));
    ini.replace(QStringLiteral("Debug=1"), QStringLiteral("Debug=0"));
    return ini;
}

QString systemIniFolder() { return folder().path(); }
QString userIniPath() { return folder().filePath(QStringLiteral("user-odbc.ini")); }

namespace {
void append(const QString& path, const QString& text)
{
    QFile f(path);
    if (!f.open(QIODevice::Append))
        throw std::runtime_error("cannot write " + path.toStdString());
    f.write(text.toUtf8());
}
} // namespace

void addUserDataSource(const QString& name, const QString& driver, const QString& database)
{
    append(userIniPath(), QStringLiteral("[%1]\nDriver=%2\nDatabase=%3\n\n").arg(name, driver, database));
}

void addSQLiteDriverAs(const QString& driverName)
{
    append(folder().filePath(QStringLiteral("odbcinst.ini")),
           QStringLiteral("\n[%1]\nDriver=libsqlite3odbc.so\n").arg(driverName));
}

void restoreOdbcIniFiles()
{
    writeFile(folder().filePath(QStringLiteral("odbcinst.ini")), installedDriversIni());
    writeFile(folder().filePath(QStringLiteral("odbc.ini")), systemOdbcIni());
    writeFile(userIniPath(), QString());
}

void installOdbcTestEnvironment()
{
    if (!folder().isValid())
        throw std::runtime_error("no temporary folder");
    restoreOdbcIniFiles();
    qputenv("ODBCSYSINI", QFile::encodeName(systemIniFolder()));
    qputenv("ODBCINI", QFile::encodeName(userIniPath()));
}

const std::vector<TestDatabase>& testDatabases()
{
    static const std::vector<TestDatabase> all = [] {
        TestDatabase sqlite;
        sqlite.kind = DatabaseKind::SQLite;
        sqlite.name = QStringLiteral("SQLite");
        sqlite.dsn = QStringLiteral("TesseraTestSQLite");
        sqlite.available = true;
        return std::vector<TestDatabase> {
            sqlite,
            serverDatabase(DatabaseKind::PostgreSQL, QStringLiteral("PostgreSQL"), "TESSERA_TEST_PG"),
            serverDatabase(DatabaseKind::MySql, QStringLiteral("MariaDB"), "TESSERA_TEST_MARIADB"),
        };
    }();
    return all;
}

const TestDatabase& testDatabase(DatabaseKind kind)
{
    for (const auto& db : testDatabases())
        if (db.kind == kind)
            return db;
    throw std::invalid_argument("no test database of that kind");
}

bool serversRequired()
{
    return qgetenv("TESSERA_TEST_REQUIRE_SERVERS") == "1";
}

} // namespace tessera::test
