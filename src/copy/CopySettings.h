#pragma once

#include "dialect/DatabaseKind.h"

#include <QString>

// The copy's two data sources in DataSource.ini: HOSTSOURCE is the newer
// database the rows go to, DESTSOURCE the older one they come from.
namespace tessera::copy {

inline const QString kTargetSection = QStringLiteral("HOSTSOURCE");
inline const QString kSourceSection = QStringLiteral("DESTSOURCE");

struct CopyDataSource {
    QString dsn;
    QString user;
    QString password;
    DatabaseKind kind = DatabaseKind::SqlServer;
};

struct CopySettings {
    CopyDataSource target;
    CopyDataSource source;
};

// Reads the eight keys when the file exists and loads; absent keys read as
// empty text. A DSNTYPE sets the kind only when it is exactly one of the
// kinds' texts ("SQL SERVER", "ACCESS", ...); anything else keeps the kind.
// False (settings untouched) when there is no readable file.
bool readCopySettings(const QString& path, CopySettings& settings);

// Sets the eight keys in the file, keeping its other sections; the
// passwords are kept as typed. False when a value cannot be stored or the
// file cannot be written.
bool writeCopySettings(const QString& path, const CopySettings& settings);

} // namespace tessera::copy
