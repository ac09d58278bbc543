#pragma once

#include <QString>

namespace tessera::db {

// "DSN=...;UID=...;PWD=..." for a data source. A value holding ';', a brace
// or blanks at either end goes between braces (a '}' inside doubled), so a
// password like "a;b" or "{x" reaches the driver as typed.
QString dataSourceConnectString(const QString& dataSource, const QString& user, const QString& password);

} // namespace tessera::db
