#include "text/Trimming.h"

namespace tessera {

namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

template <typename Blank>
QString withoutTrailing(const QString& text, Blank blank)
{
    qsizetype end = text.size();
    while (end > 0 && blank(text.at(end - 1)))
        --end;
    return text.left(end);
}

} // namespace

QString withoutTrailingBlanks(const QString& text)
{
    return withoutTrailing(text, isBlank);
}

QString withoutTrailingWhiteSpace(const QString& text)
{
    return withoutTrailing(text, [](QChar c) { return c.isSpace(); });
}

QString withoutLeadingWhiteSpace(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    return i == 0 ? text : text.mid(i);
}

} // namespace tessera
