#include "app/SharedConnection.h"

#include "app/CTesseraApp.h"

namespace tessera {

db::Connection* openSharedConnection()
{
    CTesseraApp* app = CTesseraApp::Instance();
    return app && app->GetConnection().isOpen() ? &app->GetConnection() : nullptr;
}

DatabaseKind sharedDatabaseKind()
{
    const CTesseraApp* app = CTesseraApp::Instance();
    return app ? app->GetDatabaseKind() : DatabaseKind::SqlServer;
}

} // namespace tessera
