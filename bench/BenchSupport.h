#pragma once

#include <QElapsedTimer>

#include <cstdio>

namespace tessera::bench {

class Stopwatch {
public:
    Stopwatch() { m_timer.start(); }
    double seconds() const { return std::max(m_timer.nsecsElapsed() / 1e9, 1e-9); }

private:
    QElapsedTimer m_timer;
};

inline void printRate(const char* what, long long rows, double perSecond)
{
    std::printf("  %-40s %10lld rows %14.0f rows/s\n", what, rows, perSecond);
}

} // namespace tessera::bench
