#pragma once

#include "journal/JournalError.h"
#include "journal/SqliteDatabase.h"

#include <QString>

// What the journal's source files share: the messages of a failing file and
// the form of its UTC times.
namespace tessera::journal {

inline const QString kUtcFormat = QStringLiteral("yyyy-MM-dd'T'hh:mm:ss.zzz'Z'");

JournalError openError(const QString& path, const QString& detail);
JournalError writeError(const QString& path, const SqliteError& error);
JournalError readError(const QString& path, const SqliteError& error);

} // namespace tessera::journal
