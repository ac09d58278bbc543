#include "db/DataSource.h"

#include "db/ConnectString.h"
#include "db/DbError.h"

namespace tessera::db {

OpenedDataSource openDataSource(
    const QString& dataSource, const QString& user, const QString& password, const QString& driverOptions)
{
    OpenedDataSource opened;
    // unixODBC takes an empty DSN for its default data source instead of
    // refusing it; an empty name names no data source.
    if (dataSource.trimmed().isEmpty())
        return opened;
    opened.connectString = dataSourceConnectString(dataSource, user, password);
    if (!driverOptions.isEmpty())
        opened.connectString += u';' + driverOptions;
    try {
        opened.connection = Connection::open(opened.connectString);
        opened.outcome = OpenedDataSource::Outcome::Opened;
    } catch (const DbError& error) {
        // The driver manager's own errors (class IM): no such data source, no driver.
        opened.outcome = error.isDriverManagerError() ? OpenedDataSource::Outcome::CannotOpen
                                                      : OpenedDataSource::Outcome::AccessFailed;
        opened.failure = error.message();
    }
    return opened;
}

} // namespace tessera::db
