#include "dialect/DriverOptions.h"

namespace tessera {

QString driverOptionsFor(DatabaseKind kind, ConnectionRole role)
{
    // Both read a whole day once: streamed, never held whole.
    const bool source = role == ConnectionRole::CopySource || role == ConnectionRole::Scan;
    switch (kind) {
    case DatabaseKind::MySql:
        return QStringLiteral("AUTO_RECONNECT=0;READ_TIMEOUT=60;WRITE_TIMEOUT=60");
    case DatabaseKind::PostgreSQL:
        return source ? QStringLiteral("KeepaliveTime=30;KeepaliveInterval=10;UseDeclareFetch=1;Fetch=10000")
                      : QStringLiteral("KeepaliveTime=30;KeepaliveInterval=10");
    case DatabaseKind::SQLite:
        return source ? QStringLiteral("StepAPI=1") : QString();
    default:
        return QString();
    }
}

} // namespace tessera
