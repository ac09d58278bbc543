#include "telemetry/TrendSamples.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>

#include <gtest/gtest.h>

using namespace tessera::telemetry;

namespace {

constexpr qint64 kHour = 3600 * 1000;
constexpr qint64 kDay = 24 * kHour;

// A list row's cells read as a sample, or refused.
TEST(TrendSamplesTest, ListCellsReadAsSamples)
{
    struct Case {
        const char* time;
        const char* value;
        const char* dataType;
        std::optional<TrendSample> expected; // row 7 throughout
    };
    const Case cases[] = {
        {"2025-03-01 00:00:00", "1.5", "6", TrendSample {7, 0, 1.5, true}},
        {"2025-03-01 23:59:59", " -2.250000 ", "1", TrendSample {7, kDay - 1000, -2.25, false}},
        {"2025-03-01 12:00:00.5", "3", " 6.0", TrendSample {7, 12 * kHour + 500, 3, true}},
        {"2025-03-01 08:30:00", "1e3", "", TrendSample {7, 8 * kHour + 30 * 60 * 1000, 1000, false}},
        {"2025-03-01 24:00:00", "1", "6", std::nullopt},
        {"2025-03-01 12:60:00", "1", "6", std::nullopt},
        {"2025-03-01 12:00", "1", "6", std::nullopt},
        {"2025-03-01T12:00:00", "1", "6", std::nullopt},
        {" 2025-03-01 12:00:00 ", "1", "6", TrendSample {7, 12 * kHour, 1, true}},
        {"", "1", "6", std::nullopt},
        {"2025-03-01 12:00:00", "", "6", std::nullopt},
        {"2025-03-01 12:00:00", "12abc", "6", std::nullopt},
        {"2025-03-01 12:00:00", "nan", "6", std::nullopt},
        {"2025-03-01 12:00:00", "inf", "6", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.time) + " | " + c.value + " | " + c.dataType);
        const auto sample = trendSampleOf(7, QString::fromLatin1(c.time), QString::fromLatin1(c.value),
                                          QString::fromLatin1(c.dataType));
        ASSERT_EQ(sample.has_value(), c.expected.has_value());
        if (!sample)
            continue;
        EXPECT_EQ(sample->row, 7);
        EXPECT_EQ(sample->msecsOfDay, c.expected->msecsOfDay);
        EXPECT_DOUBLE_EQ(sample->value, c.expected->value);
        EXPECT_EQ(sample->handSet, c.expected->handSet);
    }
}

std::vector<TrendSample> everySecond(const std::function<double(int)>& valueAt, int step = 1)
{
    std::vector<TrendSample> samples;
    for (int s = 0; s < 86400; s += step)
        samples.push_back({s, s * qint64(1000), valueAt(s), s % 3600 == 0});
    return samples;
}

// Thinning keeps what a line through every sample would show: in each pixel
// column its first, lowest, highest and last sample, no more than four; a
// column with four or fewer keeps them all, the nearest sample on either side
// of the range too.
TEST(TrendSamplesTest, ThinningKeepsWhatEachPixelColumnShows)
{
    const auto wave = [](int s) { return std::sin(s / 500.0) * 100 + (s % 7919 == 0 ? 1000 : 0); };
    const auto sparse = everySecond(wave, 600); // a sample every 10 minutes
    const auto dense = everySecond(wave);
    struct Case {
        const char* what;
        const std::vector<TrendSample>* samples;
        qint64 from, to;
        int columns;
    };
    const Case cases[] = {
        {"a day of seconds on 800 columns", &dense, 0, kDay, 800},
        {"a day of seconds on 1 column", &dense, 0, kDay, 1},
        {"an hour of seconds zoomed, 500 columns", &dense, 5 * kHour + 123, 6 * kHour + 123, 500},
        {"a minute, more columns than samples", &dense, 10 * kHour, 10 * kHour + 60000, 900},
        {"a sample every ten minutes on 800 columns", &sparse, 0, kDay, 800},
        {"a sample every ten minutes, two hours zoomed", &sparse, 3 * kHour + 1, 5 * kHour, 640},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<TrendSample> out = thinned(*c.samples, c.from, c.to, c.columns);
        EXPECT_TRUE(std::is_sorted(out.begin(), out.end(), [](const TrendSample& a, const TrendSample& b) {
            return a.msecsOfDay < b.msecsOfDay;
        }));
        std::map<qint64, std::vector<TrendSample>> columns; // the input's samples by column
        for (const TrendSample& s : *c.samples) {
            if (s.msecsOfDay >= c.from && s.msecsOfDay < c.to)
                columns[(s.msecsOfDay - c.from) * c.columns / (c.to - c.from)].push_back(s);
        }
        size_t inRange = 0;
        for (const TrendSample& s : out)
            inRange += s.msecsOfDay >= c.from && s.msecsOfDay < c.to;
        EXPECT_LE(inRange, size_t(4 * c.columns));
        EXPECT_LE(out.size(), inRange + 2);
        const auto kept = [&](const TrendSample& s) {
            return std::any_of(out.begin(), out.end(), [&](const TrendSample& o) { return o.row == s.row; });
        };
        for (const auto& [column, in] : columns) {
            const auto [low, high] = std::minmax_element(
                in.begin(), in.end(), [](const auto& a, const auto& b) { return a.value < b.value; });
            EXPECT_TRUE(kept(in.front()) && kept(in.back())) << "first or last of column " << column;
            EXPECT_TRUE(kept(*low) && kept(*high)) << "extremes of column " << column;
            if (in.size() <= 4) {
                EXPECT_TRUE(std::all_of(in.begin(), in.end(), kept)) << "column " << column;
            }
        }
        // The line runs on to the edges.
        const auto beforeRange = std::find_if(c.samples->rbegin(), c.samples->rend(),
                                              [&](const TrendSample& s) { return s.msecsOfDay < c.from; });
        if (beforeRange != c.samples->rend()) {
            EXPECT_TRUE(kept(*beforeRange));
        }
        const auto afterRange = std::find_if(c.samples->begin(), c.samples->end(),
                                             [&](const TrendSample& s) { return s.msecsOfDay >= c.to; });
        if (afterRange != c.samples->end()) {
            EXPECT_TRUE(kept(*afterRange));
        }
    }
    EXPECT_TRUE(thinned({}, 0, kDay, 800).empty());
    EXPECT_TRUE(thinned(dense, kHour, kHour, 800).empty());
}

} // namespace
