#include "check/CheckRules.h"

#include <algorithm>
#include <cmath>

// The detectors of the check's rules, each on one tag's day sorted by time.
namespace tessera::check {

namespace {

QString valueText(double value)
{
    return QString::asprintf("%0.2f", value);
}

Finding findingOf(const TagDay& day, RuleId rule, qint32 from, qint32 to, QString values, qint64 count)
{
    return {day.tag.tagId, day.tag.path, day.day, rule, from, to, std::move(values), count};
}

double median(std::vector<double>& values)
{
    const auto middle = values.begin() + std::ptrdiff_t(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// Runs of neighbouring samples for which `inRun` holds, as [first, last].
template <typename Predicate, typename Emit>
void forEachRun(const SampleSeries& s, Predicate inRun, Emit emit)
{
    size_t i = 0;
    while (i < s.size()) {
        if (!inRun(i)) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j + 1 < s.size() && inRun(j + 1))
            ++j;
        emit(i, j);
        i = j + 1;
    }
}

} // namespace

qint32 medianSpacing(const SampleSeries& s)
{
    if (s.size() < 2)
        return 0;
    std::vector<double> spacings;
    spacings.reserve(s.size() - 1);
    for (size_t i = 1; i < s.size(); ++i)
        spacings.push_back(double(s.msecs(i) - s.msecs(i - 1)));
    return qint32(median(spacings));
}

double robustSpread(const SampleSeries& s)
{
    if (s.size() < 3)
        return 0;
    std::vector<double> differences;
    differences.reserve(s.size() - 1);
    for (size_t i = 1; i < s.size(); ++i)
        differences.push_back(s.value(i) - s.value(i - 1));
    const double centre = median(differences);
    for (double& d : differences)
        d = std::abs(d - centre);
    return 1.4826 * median(differences);
}

// A whole day without its table or without the tag; otherwise each pause
// longer than the factor times the tag's usual spacing, the day's edges
// included: a sample is due at 00:00:00 and the next day's first at 24:00:00.
void detectGaps(const TagDay& day, const Parameters& p, std::vector<Finding>& out)
{
    const SampleSeries& s = day.samples;
    if (s.empty()) {
        out.push_back(findingOf(day, RuleId::Gap, 0, kLastSecondOfDay,
                                day.tableMissing ? QStringLiteral("无数据表") : QStringLiteral("无数据"), 0));
        return;
    }
    const qint32 spacing = medianSpacing(s);
    if (spacing <= 0)
        return;
    const double limit = p[0] * spacing;
    // `before` is the last sample before the gap (a sample due at midnight
    // counts one spacing before it), `after` the first after it.
    auto gap = [&](qint64 before, qint64 after, qint32 shownFrom, qint32 shownTo) {
        if (double(after - before) <= limit)
            return;
        const qint64 shownSpan = (shownTo == kLastSecondOfDay ? kMsecsPerDay : shownTo) - shownFrom;
        out.push_back(findingOf(day, RuleId::Gap, shownFrom, shownTo, QStringLiteral("间隔%1秒").arg(shownSpan / 1000),
                                qRound64(double(after - before) / spacing) - 1));
    };
    const size_t last = s.size() - 1;
    gap(-qint64(spacing), s.msecs(0), 0, s.msecs(0));
    for (size_t i = 1; i <= last; ++i)
        gap(s.msecs(i - 1), s.msecs(i), s.msecs(i - 1), s.msecs(i));
    gap(s.msecs(last), kMsecsPerDay, s.msecs(last), kLastSecondOfDay);
}

// Up to `width` neighbouring samples that all lie beyond the threshold on
// the same side of both the sample before and the sample after them, while
// those two lie within it of each other: the value leaves and comes back.
void detectSpikes(const TagDay& day, const Parameters& p, std::vector<Finding>& out)
{
    const SampleSeries& s = day.samples;
    const double threshold = p[1] > 0 ? p[1] : p[0] * robustSpread(s);
    if (s.size() < 3 || threshold <= 0)
        return;
    const size_t width = size_t(std::max(1.0, p[2]));
    auto departs = [&](size_t first, size_t w) {
        const double before = s.value(first - 1), after = s.value(first + w);
        if (std::abs(after - before) > threshold)
            return 0;
        int side = 0;
        for (size_t j = first; j < first + w; ++j) {
            const double v = s.value(j);
            const int here = (v - before > threshold && v - after > threshold)
                ? 1
                : (before - v > threshold && after - v > threshold) ? -1 : 0;
            if (here == 0 || (side != 0 && here != side))
                return 0;
            side = here;
        }
        return side;
    };
    for (size_t i = 1; i + 1 < s.size(); ++i) {
        for (size_t w = 1; w <= width && i + w < s.size(); ++w) {
            if (departs(i, w) == 0)
                continue;
            QStringList values;
            for (size_t j = i; j < i + w; ++j)
                values << valueText(s.value(j));
            out.push_back(findingOf(day, RuleId::Spike, s.msecs(i), s.msecs(i + w - 1), values.join(u','), qint64(w)));
            i += w - 1; // the sample after the spike is its way back
            break;
        }
    }
}

// The same value for at least the given number of minutes.
void detectFlatLines(const TagDay& day, const Parameters& p, std::vector<Finding>& out)
{
    const SampleSeries& s = day.samples;
    const qint64 least = qint64(p[0] * 60000.0);
    size_t from = 0;
    for (size_t i = 1; i <= s.size(); ++i) {
        if (i < s.size() && s.value(i) == s.value(from))
            continue;
        if (i - from >= 2 && qint64(s.msecs(i - 1)) - s.msecs(from) >= least)
            out.push_back(findingOf(day, RuleId::FlatLine, s.msecs(from), s.msecs(i - 1), valueText(s.value(from)),
                                    qint64(i - from)));
        from = i;
    }
}

// Neighbouring samples below the lower or above the upper bound.
void detectOutOfRange(const TagDay& day, const Parameters& p, std::vector<Finding>& out)
{
    const SampleSeries& s = day.samples;
    const double low = p[0], high = p[1];
    forEachRun(
        s, [&](size_t i) { return s.value(i) < low || s.value(i) > high; },
        [&](size_t first, size_t last) {
            double least = s.value(first), most = least;
            for (size_t i = first; i <= last; ++i) {
                least = std::min(least, s.value(i));
                most = std::max(most, s.value(i));
            }
            const QString values = least == most ? valueText(least) : valueText(least) + u'~' + valueText(most);
            out.push_back(findingOf(day, RuleId::OutOfRange, s.msecs(first), s.msecs(last), values,
                                    qint64(last - first + 1)));
        });
}

// A pulse counter that falls: a reset or a wrong value.
void detectCounterBackwards(const TagDay& day, const Parameters&, std::vector<Finding>& out)
{
    const SampleSeries& s = day.samples;
    for (size_t i = 1; i < s.size(); ++i)
        if (s.value(i) < s.value(i - 1))
            out.push_back(findingOf(day, RuleId::CounterBackwards, s.msecs(i - 1), s.msecs(i),
                                    valueText(s.value(i - 1)) + QStringLiteral("→") + valueText(s.value(i)), 1));
}

} // namespace tessera::check
