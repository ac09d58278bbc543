#pragma once

#include <QString>

// Section and key names of DataSource.ini used by start-up, login, user
// maintenance and the data-source settings.
namespace tessera::settings {

// The working database's data source.
inline const QString kDataSourceSection = QStringLiteral("DATASOURCEINI");
inline const QString kDataSourceName = QStringLiteral("DSN");
// The login account.
inline const QString kUserSection = QStringLiteral("USER");

// Shared by both sections: DATASOURCEINI holds the database password in
// plain text, USER the scrambled login password.
inline const QString kUserName = QStringLiteral("USERNAME");
inline const QString kPassword = QStringLiteral("PASS");

} // namespace tessera::settings
