#include "telemetry/TrendSamples.h"

#include "schema/Schema.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace tessera::telemetry {

namespace {

// The number of `count` digits at `at`, or -1.
int digitsAt(QStringView text, qsizetype at, int count)
{
    int number = 0;
    for (qsizetype i = at; i < at + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        number = number * 10 + (c - u'0');
    }
    return number;
}

// "yyyy-MM-dd hh:mm:ss", optionally followed by a fraction of a second.
// Hand-written: QDateTime::fromString would cost more than the rest of a
// day's chart together.
std::optional<qint64> msecsOfDayOf(QStringView time)
{
    time = time.trimmed();
    if (time.size() < 19 || time[4] != u'-' || time[7] != u'-' || time[10] != u' ' || time[13] != u':'
        || time[16] != u':')
        return std::nullopt;
    if (digitsAt(time, 0, 4) < 0 || digitsAt(time, 5, 2) < 1 || digitsAt(time, 8, 2) < 1)
        return std::nullopt;
    const int hour = digitsAt(time, 11, 2), minute = digitsAt(time, 14, 2), second = digitsAt(time, 17, 2);
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        return std::nullopt;
    int millisecond = 0;
    if (time.size() > 19) {
        if (time[19] != u'.')
            return std::nullopt;
        const QStringView fraction = time.mid(20, 3);
        const int digits = fraction.isEmpty() ? -1 : digitsAt(fraction, 0, int(fraction.size()));
        if (digits < 0)
            return std::nullopt;
        millisecond = digits * (fraction.size() == 1 ? 100 : fraction.size() == 2 ? 10 : 1);
    }
    return ((hour * 60 + minute) * 60 + second) * qint64(1000) + millisecond;
}

// A decimal number, the whole text but blanks at either end. The locale-free
// reading of std::from_chars: QStringView::toDouble would take a third of a
// day's chart.
std::optional<double> numberOf(QStringView text)
{
    text = text.trimmed();
    if (text.startsWith(u'+'))
        text = text.mid(1);
    char ascii[64];
    if (text.isEmpty() || text.size() > qsizetype(sizeof ascii))
        return std::nullopt;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c > 0x7f)
            return std::nullopt;
        ascii[i] = char(c);
    }
    double number = 0;
    const char* end = ascii + text.size();
    const auto [stop, error] = std::from_chars(ascii, end, number);
    if (error != std::errc() || stop != end || !std::isfinite(number))
        return std::nullopt;
    return number;
}

} // namespace

std::optional<TrendSample> trendSampleOf(int row, QStringView time, QStringView value, QStringView dataType)
{
    const std::optional<qint64> at = msecsOfDayOf(time);
    const std::optional<double> number = numberOf(value);
    if (!at || !number)
        return std::nullopt;
    // An integer column, though some drivers render it as "6.0".
    return TrendSample {row, *at, *number, numberOf(dataType) == kManualDataType};
}

std::vector<TrendSample> thinned(const std::vector<TrendSample>& sortedByTime, qint64 fromMsecs, qint64 toMsecs,
                                 int columns)
{
    std::vector<TrendSample> out;
    if (toMsecs <= fromMsecs)
        return out;
    columns = std::max(columns, 1);
    const auto before = [](const TrendSample& s, qint64 t) { return s.msecsOfDay < t; };
    const auto first = std::lower_bound(sortedByTime.begin(), sortedByTime.end(), fromMsecs, before);
    const auto end = std::lower_bound(first, sortedByTime.end(), toMsecs, before);
    out.reserve(size_t(std::min<qint64>(end - first, qint64(columns) * 4)) + 2);
    if (first != sortedByTime.begin())
        out.push_back(*(first - 1));

    const auto columnOf
        = [&](const TrendSample& s) { return (s.msecsOfDay - fromMsecs) * columns / (toMsecs - fromMsecs); };
    for (auto it = first; it != end;) {
        const qint64 column = columnOf(*it);
        const auto start = it;
        auto low = it, high = it;
        for (; it != end && columnOf(*it) == column; ++it) {
            if (it->value < low->value)
                low = it;
            if (it->value > high->value)
                high = it;
        }
        // The column's first, lowest, highest and last sample, in time order, each once.
        std::array kept {start, low, high, it - 1};
        std::sort(kept.begin(), kept.end());
        const auto keptEnd = std::unique(kept.begin(), kept.end());
        for (auto k = kept.begin(); k != keptEnd; ++k)
            out.push_back(**k);
    }
    if (end != sortedByTime.end())
        out.push_back(*end);
    return out;
}

} // namespace tessera::telemetry
