#include "settings/Password.h"

#include <algorithm>

namespace tessera {

namespace {

constexpr int kFirstPrintable = 32;
constexpr int kLastPrintable = 126;
constexpr int kAlphabetSize = kLastPrintable - kFirstPrintable + 1; // 95

} // namespace

bool isScramblable(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.unicode() >= kFirstPrintable && c.unicode() <= kLastPrintable;
    });
}

std::optional<QString> ScramblePassword(const QString& text, const QString& key)
{
    if (key.isEmpty() || !isScramblable(key) || !isScramblable(text))
        return std::nullopt;

    const qsizetype k = key.size();
    const qsizetype blocks = (text.size() + k - 1) / k;
    QString out;
    out.reserve(blocks * k);
    for (qsizetype i = 0; i < blocks * k; ++i) {
        const int p = i < text.size() ? text[i].unicode() : u' ';
        const int q = key[i % k].unicode();
        const int v = ((p - kFirstPrintable) + (q - kFirstPrintable)) % kAlphabetSize;
        out += v == 0 ? QChar(u'*') : QChar(char16_t(v + kFirstPrintable));
    }
    return out;
}

} // namespace tessera
