#pragma once

#include "db/Connection.h"

#include <QString>

namespace tessera::db {

// A connection opened on a data source by name, user and password, or why
// it did not open.
struct OpenedDataSource {
    // CannotOpen: the data source or its driver is unknown to the driver
    // manager (or no name was given); AccessFailed: anything the database
    // itself refused, a wrong password or an unreachable server.
    enum class Outcome { Opened, CannotOpen, AccessFailed };
    Outcome outcome = Outcome::CannotOpen;
    Connection connection; // open only when Opened
    QString connectString;
    QString failure; // the driver's text when not Opened
};

// `driverOptions` ("Key=value;...") go after the name, user and password.
OpenedDataSource openDataSource(
    const QString& dataSource, const QString& user, const QString& password, const QString& driverOptions = {});

} // namespace tessera::db
