#pragma once

#include <QStringView>
#include <QtGlobal>

#include <optional>
#include <vector>

// The samples of a telemetry day as the trend chart draws them, and the
// thinning that keeps a day of one-second samples cheap to draw.
namespace tessera::telemetry {

struct TrendSample {
    int row = -1; // the list row it comes from
    qint64 msecsOfDay = 0;
    double value = 0;
    bool handSet = false; // DataType 6: written by hand through this program
};

// One list row's cells (time text "yyyy-MM-dd hh:mm:ss", nValue text,
// DataType text) as a sample; nullopt when the time or the value cannot be
// read.
std::optional<TrendSample> trendSampleOf(int row, QStringView time, QStringView value, QStringView dataType);

// Per pixel column over [fromMsecs, toMsecs), `columns` of them: the first,
// the lowest, the highest and the last sample, in time order. A line
// through them looks the same as one through every sample. The nearest
// sample on either side of the range is kept as well, so that the line
// runs on to the edges. The input is sorted by time.
std::vector<TrendSample> thinned(const std::vector<TrendSample>& sortedByTime, qint64 fromMsecs, qint64 toMsecs,
                                 int columns);

} // namespace tessera::telemetry
