#include "db/DataSourceCatalogue.h"

#include "db/DbError.h"
#include "db/Environment.h"
#include "db/WideText.h"

#include <QFileInfo>

#include <sqlext.h>

namespace tessera::db {

namespace {

bool looksLikeLibraryPath(const QString& value)
{
    return value.contains(QLatin1Char('/')) || value.contains(QLatin1Char('\\'))
        || value.endsWith(QLatin1String(".so"), Qt::CaseInsensitive)
        || value.contains(QLatin1String(".so."), Qt::CaseInsensitive)
        || value.endsWith(QLatin1String(".dll"), Qt::CaseInsensitive);
}

std::vector<InstalledDriver> installedDrivers()
{
    SQLHENV env = environment();
    std::vector<InstalledDriver> drivers;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;) {
        SQLWCHAR name[512] = {};
        SQLWCHAR attributes[4096] = {};
        SQLSMALLINT nameLength = 0, attributesLength = 0;
        const SQLRETURN rc = SQLDriversW(env, direction, name, SQLSMALLINT(std::size(name)), &nameLength, attributes,
                                         SQLSMALLINT(std::size(attributes)), &attributesLength);
        if (rc == SQL_NO_DATA)
            break;
        check(rc, SQL_HANDLE_ENV, env, "reading the installed drivers");
        InstalledDriver d;
        d.name = fromWide(name, wideLength(name, qsizetype(std::size(name))));
        // Attributes are "key=value" texts, each ended by NUL, the list by a second NUL.
        const SQLWCHAR* p = attributes;
        const SQLWCHAR* end = attributes + std::size(attributes);
        while (p < end && *p) {
            const qsizetype n = wideLength(p, end - p);
            const QString pair = fromWide(p, n);
            if (pair.startsWith(QLatin1String("Driver="), Qt::CaseInsensitive))
                d.library = pair.mid(7);
            p += n + 1;
        }
        drivers.push_back(d);
        direction = SQL_FETCH_NEXT;
    }
    return drivers;
}

} // namespace

std::vector<DataSourceEntry> listDataSources(DataSourceScope scope)
{
    SQLHENV env = environment();
    std::vector<DataSourceEntry> entries;
    SQLUSMALLINT direction = scope == DataSourceScope::System ? SQL_FETCH_FIRST_SYSTEM : SQL_FETCH_FIRST_USER;
    for (;;) {
        SQLWCHAR name[SQL_MAX_DSN_LENGTH * 4 + 1] = {};
        SQLWCHAR description[1024] = {};
        SQLSMALLINT nameLength = 0, descriptionLength = 0;
        const SQLRETURN rc = SQLDataSourcesW(env, direction, name, SQLSMALLINT(std::size(name)), &nameLength,
                                             description, SQLSMALLINT(std::size(description)), &descriptionLength);
        if (rc == SQL_NO_DATA)
            break;
        check(rc, SQL_HANDLE_ENV, env, "reading the data-source list");
        entries.push_back({fromWide(name, wideLength(name, qsizetype(std::size(name)))),
                           fromWide(description, wideLength(description, qsizetype(std::size(description)))), scope});
        direction = SQL_FETCH_NEXT;
    }
    bool anyPath = false;
    for (const auto& e : entries)
        anyPath = anyPath || looksLikeLibraryPath(e.driver);
    if (anyPath) {
        const auto drivers = installedDrivers();
        for (auto& e : entries)
            e.driver = driverNameForLibrary(e.driver, drivers);
    }
    return entries;
}

std::vector<DataSourceEntry> listAllDataSources()
{
    auto all = listDataSources(DataSourceScope::System);
    auto user = listDataSources(DataSourceScope::User);
    all.insert(all.end(), user.begin(), user.end());
    return all;
}

std::optional<QString> driverOfDataSource(const QString& name, DataSourceScope scope)
{
    for (const auto& e : listDataSources(scope))
        if (e.name.compare(name, Qt::CaseInsensitive) == 0)
            return e.driver;
    return std::nullopt;
}

DataSourceDriver findDataSourceDriver(const QString& name)
{
    DataSourceDriver found;
    try {
        found.driver = driverOfDataSource(name, DataSourceScope::System);
    } catch (const DbError&) {
        found.systemUnreadable = true;
    }
    if (found.driver)
        return found;
    try {
        found.driver = driverOfDataSource(name, DataSourceScope::User);
    } catch (const DbError&) {
        found.userUnreadable = true;
    }
    return found;
}

QString driverNameForLibrary(const QString& driverValue, const std::vector<InstalledDriver>& drivers)
{
    if (!looksLikeLibraryPath(driverValue))
        return driverValue;
    for (const auto& d : drivers)
        if (d.library == driverValue)
            return d.name;
    const QString fileName = QFileInfo(driverValue).fileName();
    for (const auto& d : drivers)
        if (QFileInfo(d.library).fileName() == fileName)
            return d.name;
    return driverValue;
}

} // namespace tessera::db
