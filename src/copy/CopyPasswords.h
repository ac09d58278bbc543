#pragma once

#include "copy/CopySettings.h"

#include <QString>

// Passwords for a copy without a window, kept out of its command line (which
// other users see in the process list and which shells keep in history).
namespace tessera::copy {

inline constexpr char kTargetPasswordVariable[] = "TESSERA_TARGET_PASSWORD";
inline constexpr char kSourcePasswordVariable[] = "TESSERA_SOURCE_PASSWORD";

// Takes the passwords of the environment variables that are set (also to
// an empty text).
void takePasswordsFromEnvironment(CopySettings& settings);

// Takes the passwords of a file of lines "target=..." and "source=..."
// (blank lines and lines starting with '#' are skipped; the password is the
// rest of the line as it stands). Returns why the file was refused, empty
// when it was taken: it must be readable by its owner only.
QString takePasswordsFromFile(const QString& path, CopySettings& settings);

} // namespace tessera::copy
