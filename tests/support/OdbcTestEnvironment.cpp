#include "OdbcTestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <stdexcept>

namespace tessera::test {

namespace {

QTemporaryDir& folder()
{
    static QTemporaryDir dir;
    return dir;
}

QString odbcinstPath() { return folder().filePath(QStringLiteral("odbcinst.ini")); }

QString env(const QByteArray& name) { return QString::fromLocal8Bit(qgetenv(name.constData())); }

void write(const QString& path, const QString& text, QIODevice::OpenMode mode = QIODevice::Truncate)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | mode))
        throw std::runtime_error("cannot write " + path.toStdString());
    f.write(text.toUtf8());
}

// The servers scripts/test-servers starts, each described by its
// TESSERA_TEST_<prefix>_* variables; without a port it is not running.
struct Server {
    DatabaseKind kind;
    const char* name;
    const char* driver;
    const char* hostKey;
    QByteArray prefix;
};
const Server kServers[] = {
    {DatabaseKind::PostgreSQL, "PostgreSQL", "PostgreSQL Unicode", "Servername", "TESSERA_TEST_PG"},
    {DatabaseKind::MySql, "MariaDB", "MariaDB Unicode", "Server", "TESSERA_TEST_MARIADB"},
};

QString systemOdbcIni()
{
    QString ini = QStringLiteral("[TesseraTestSQLite]\nDriver=SQLite3\nDatabase=%1\nTimeout=5000\n\n")
                      .arg(folder().filePath(QStringLiteral("test.db")));
    for (const Server& s : kServers)
        if (!env(s.prefix + "_PORT").isEmpty())
            ini += QStringLiteral("[TesseraTest%1]\nDriver=%2\n%3=%4\nPort=%5\nDatabase=%6\n\n")
                       .arg(QLatin1String(s.name), QLatin1String(s.driver), QLatin1String(s.hostKey),
                            env(s.prefix + "_HOST"), env(s.prefix + "_PORT"), env(s.prefix + "_DATABASE"));
    return ini;
}

// odbcinst.ini text of the installed drivers, copied from the machine's.
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

} // namespace

QString systemIniFolder() { return folder().path(); }
QString userIniPath() { return folder().filePath(QStringLiteral("user-odbc.ini")); }

void addUserDataSource(const QString& name, const QString& driver, const QString& database, const QString& settings)
{
    write(userIniPath(), QStringLiteral("[%1]\nDriver=%2\nDatabase=%3\n%4\n").arg(name, driver, database, settings),
          QIODevice::Append);
}

void addSQLiteDriverAs(const QString& driverName)
{
    write(odbcinstPath(), QStringLiteral("\n[%1]\nDriver=libsqlite3odbc.so\n").arg(driverName), QIODevice::Append);
}

void restoreOdbcIniFiles()
{
    write(odbcinstPath(), installedDriversIni());
    write(folder().filePath(QStringLiteral("odbc.ini")), systemOdbcIni());
    write(userIniPath(), QString());
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
        std::vector<TestDatabase> list {
            {DatabaseKind::SQLite, QStringLiteral("SQLite"), QStringLiteral("TesseraTestSQLite"), {}, {}, true}};
        for (const Server& s : kServers)
            list.push_back({s.kind, QLatin1String(s.name), QStringLiteral("TesseraTest%1").arg(QLatin1String(s.name)),
                            env(s.prefix + "_USER"), env(s.prefix + "_PASSWORD"), !env(s.prefix + "_PORT").isEmpty()});
        return list;
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

bool serversRequired() { return qgetenv("TESSERA_TEST_REQUIRE_SERVERS") == "1"; }

} // namespace tessera::test
