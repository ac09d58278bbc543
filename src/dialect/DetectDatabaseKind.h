#pragma once

#include "dialect/DatabaseKind.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace tessera {

struct KindDetection {
    std::optional<DatabaseKind> kind; // empty: detection failed
    QString driver;                   // the driver's name, when it was found
    QStringList messages;             // for the caller to show, in order
};

// Finds the data source's driver in the system list, then in the user list,
// and classifies it. Shows nothing itself: the messages are the caller's.
KindDetection DetectDatabaseKind(const QString& dataSourceName);

} // namespace tessera
