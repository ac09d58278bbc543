#pragma once

#include <QString>

#include <optional>

namespace tessera {

// Key of the stored login password's scrambling.
inline const QString kPasswordScrambleKey = QStringLiteral("80264");
// User name the login dialog starts with.
inline const QString kLoginDefaultUserName = QStringLiteral("Wardenaccount");
// Built-in maintenance account accepted on first run (compared exactly).
inline const QString kBuiltInUserName = QStringLiteral("wardenaccount");
inline const QString kBuiltInPassword = QStringLiteral("kestra");

// True when every character is printable ASCII (codes 32 to 126), the
// alphabet ScramblePassword is defined on.
bool isScramblable(const QString& text);

// One-way blockwise scrambling of a password for section USER of
// DataSource.ini; stored values are compared with its output, never
// reversed. The text is cut into blocks of the key's length, the last one
// padded with blanks; each character becomes ((p-32)+(q-32)) mod 95 + 32
// with q the key's character at the same position, and a result of blank
// becomes '*', so the output never holds a blank that trimming could drop.
// nullopt when text or key holds a character outside 32..126, or the key
// is empty.
std::optional<QString> ScramblePassword(const QString& text, const QString& key);

} // namespace tessera
