#pragma once

#include <QString>

#include <optional>
#include <vector>

namespace tessera::db {

// The driver manager's lists of data sources: the system list (all users,
// odbc.ini of ODBCSYSINI or /etc) and the user list (~/.odbc.ini or ODBCINI).
enum class DataSourceScope { System, User };

struct DataSourceEntry {
    QString name;
    QString driver; // the driver's name; a driver given as a library path is mapped back to its name
    DataSourceScope scope = DataSourceScope::System;
};

struct InstalledDriver {
    QString name;
    QString library; // the Driver= value of odbcinst.ini
};

// Throws DbError when the driver manager cannot read the list.
std::vector<DataSourceEntry> listDataSources(DataSourceScope scope);
// Both lists, the system list first.
std::vector<DataSourceEntry> listAllDataSources();

// The driver of a data source in one list; nullopt when it is not there.
// Throws DbError when the list cannot be read.
std::optional<QString> driverOfDataSource(const QString& name, DataSourceScope scope);

// The driver of a data source, looked up in the system list, then in the
// user list; a list that cannot be read counts as not holding it, and is
// marked for the caller's message.
struct DataSourceDriver {
    std::optional<QString> driver; // nullopt: in neither list
    bool systemUnreadable = false;
    bool userUnreadable = false; // the user list is read only when the system list lacks the name
};
DataSourceDriver findDataSourceDriver(const QString& name);

// Maps a Driver= value that is a library path back to the installed driver's
// name (by full path, else by file name); any other value is returned as is.
QString driverNameForLibrary(const QString& driverValue, const std::vector<InstalledDriver>& drivers);

} // namespace tessera::db
