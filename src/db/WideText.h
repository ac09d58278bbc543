#pragma once

#include <QString>

#include <sqltypes.h>

#include <vector>

namespace tessera::db {

// unixODBC and the Windows driver manager both use 16-bit SQLWCHAR, so UTF-16
// crosses the boundary unchanged.
static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "SQLWCHAR must be UTF-16");

// A NUL-terminated copy of the text for an input argument.
inline std::vector<SQLWCHAR> toWide(const QString& text)
{
    std::vector<SQLWCHAR> out(size_t(text.size()) + 1, 0);
    std::copy(text.utf16(), text.utf16() + text.size(), out.begin());
    return out;
}

inline QString fromWide(const SQLWCHAR* text, qsizetype length)
{
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(text), length);
}

// Length up to the first NUL, at most `capacity` characters.
inline qsizetype wideLength(const SQLWCHAR* text, qsizetype capacity)
{
    qsizetype n = 0;
    while (n < capacity && text[n] != 0)
        ++n;
    return n;
}

} // namespace tessera::db
