#pragma once

#include <QLoggingCategory>
#include <QString>

// The program's log: Qt's logging categories, written to a small rotating
// file beside the journal, so that a field engineer has something to send
// when something went wrong. Never a password in it.
Q_DECLARE_LOGGING_CATEGORY(lcDb)
Q_DECLARE_LOGGING_CATEGORY(lcCopy)
Q_DECLARE_LOGGING_CATEGORY(lcJournal)
Q_DECLARE_LOGGING_CATEGORY(lcUi)

namespace tessera {

inline constexpr char kLogFileName[] = "Tessera.log";
// The log is renamed to Tessera.log.1 (and so on) at this size.
inline constexpr qint64 kLogFileBytes = 2 * 1024 * 1024;
inline constexpr int kKeptLogFiles = 3;

// Writes every message of the program from now on to `folder`/Tessera.log
// (owner-only, rotated), besides where Qt writes it; `echo` keeps Qt's own
// output (standard error) too. Returns false when the file cannot be opened
// (the program goes on without it).
bool startLogFile(const QString& folder, bool echo = true);
// Stops writing the file (tests; the end of the program does it itself).
void stopLogFile();

// A text with what looks like a password ("PWD=...", "PASSWORD=...") blanked.
QString withoutPasswords(QString text);

} // namespace tessera
