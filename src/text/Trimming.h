#pragma once

#include <QString>

namespace tessera {

// Two meanings of "blank" live side by side, and each caller picks one:
// - the padding a database adds to fixed-width text: spaces and tabs only,
//   so that a full-width space (U+3000) stays part of a Chinese name;
QString withoutTrailingBlanks(const QString& text);
// - any white space (QChar::isSpace), full-width space and line ends included.
QString withoutTrailingWhiteSpace(const QString& text);
QString withoutLeadingWhiteSpace(const QString& text);

} // namespace tessera
