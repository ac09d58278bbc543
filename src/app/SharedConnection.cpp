#include "app/SharedConnection.h"

#include "app/CTesseraApp.h"

namespace tessera {

db::Connection* openSharedConnection()
{
    CTesseraApp* app = CTesseraApp::instance();
    return app && app->connection().isOpen() ? &app->connection() : nullptr;
}

DatabaseKind sharedDatabaseKind()
{
    const CTesseraApp* app = CTesseraApp::instance();
    return app ? app->databaseKind() : DatabaseKind::SqlServer;
}

} // namespace tessera
