#pragma once

#include <QString>

namespace tessera {

// The leading decimal number of a text, as list cells and stored texts are
// read: leading blanks, an optional sign, digits; reading stops at the first
// other character, and a text without digits gives 0. The integer saturates
// at the limits of int.
int decimalInteger(const QString& text);
// The same for a real: digits, a point and an exponent allowed.
double decimalReal(const QString& text);

} // namespace tessera
