#include "check/SampleSeries.h"

#include <algorithm>

namespace tessera::check {

void SampleSeries::sortByTime()
{
    if (m_sorted)
        return;
    std::vector<std::pair<qint32, double>> all;
    all.reserve(m_size);
    for (size_t i = 0; i < m_size; ++i)
        all.emplace_back(msecs(i), value(i));
    std::stable_sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    m_size = 0;
    for (const auto& [at, v] : all)
        add(at, v);
    m_sorted = true;
}

} // namespace tessera::check
