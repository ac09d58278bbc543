#include "text/DecimalText.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace tessera {

namespace {
bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r')
        || c == QLatin1Char('\v') || c == QLatin1Char('\f');
}
} // namespace

int decimalInteger(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && isBlank(text.at(i)))
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+')))
        negative = text.at(i++) == QLatin1Char('-');
    qint64 value = 0;
    while (i < text.size() && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9')) {
        value = std::min<qint64>(value * 10 + (text.at(i++).unicode() - '0'), qint64(INT_MAX) + 1);
    }
    if (negative)
        return int(std::max<qint64>(-value, INT_MIN));
    return int(std::min<qint64>(value, INT_MAX));
}

double decimalReal(const QString& text)
{
    // strtod reads exactly such a leading number; the C locale's point is
    // guaranteed because only LC_CTYPE is ever changed.
    const QByteArray latin = text.toLatin1();
    return std::strtod(latin.constData(), nullptr);
}

std::optional<float> typedSingle(const QString& text)
{
    bool ok = false;
    const double read = text.trimmed().toDouble(&ok);
    // Checked in double precision: turning a double beyond the float range
    // into a float is undefined.
    if (!ok || !std::isfinite(read) || std::fabs(read) > double(std::numeric_limits<float>::max()))
        return std::nullopt;
    return float(read);
}

} // namespace tessera
