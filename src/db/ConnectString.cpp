#include "db/ConnectString.h"

namespace tessera::db {

namespace {

QString connectValue(QString value)
{
    const bool needsBraces = value.contains(u';') || value.contains(u'{') || value.contains(u'}')
        || value.startsWith(u' ') || value.endsWith(u' ');
    if (!needsBraces)
        return value;
    return QLatin1Char('{') + value.replace(QLatin1String("}"), QLatin1String("}}")) + QLatin1Char('}');
}

} // namespace

QString dataSourceConnectString(const QString& dataSource, const QString& user, const QString& password)
{
    return QStringLiteral("DSN=%1;UID=%2;PWD=%3")
        .arg(connectValue(dataSource), connectValue(user), connectValue(password));
}

} // namespace tessera::db
