#pragma once

#include <QString>

#include <optional>

namespace tessera {

// The leading decimal number of a text, as list cells and stored texts are
// read: leading blanks, an optional sign, digits; reading stops at the first
// other character, and a text without digits gives 0. The integer saturates
// at the limits of int.
int decimalInteger(const QString& text);
// The same for a real: digits, a point and an exponent allowed.
double decimalReal(const QString& text);

// A number typed into a single-precision field: the whole text, blanks at
// either end aside, as a decimal number. Empty when the text is no such
// number or has no finite single-precision value ("nan", "inf", "1e400",
// "1e39"): NaN passes every range comparison and would be stored.
std::optional<float> typedSingle(const QString& text);

} // namespace tessera
