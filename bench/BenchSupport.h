#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <cstdio>

namespace tessera::bench {

class Stopwatch {
public:
    Stopwatch() { m_timer.start(); }
    double seconds() const { return std::max(m_timer.nsecsElapsed() / 1e9, 1e-9); }

private:
    QElapsedTimer m_timer;
};

inline double ms(double seconds)
{
    return seconds * 1000.0;
}

inline void printRate(const char* what, long long rows, double perSecond)
{
    std::printf("  %-40s %10lld rows %14.0f rows/s\n", what, rows, perSecond);
}

// The peak memory (VmHWM) of a process so far, in kB; 0 when unknown.
inline long peakKilobytes(const QString& pid = QStringLiteral("self"))
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

// This process's peak memory so far, in MB.
inline double peakMb()
{
    return peakKilobytes() / 1024.0;
}

inline QString env(const char* name)
{
    return QString::fromLocal8Bit(qgetenv(name));
}

// Whether the PostgreSQL and MariaDB test servers are configured; says so
// when they are not.
inline bool testServersConfigured()
{
    if (!env("TESSERA_TEST_PG_PORT").isEmpty() && !env("TESSERA_TEST_MARIADB_PORT").isEmpty())
        return true;
    std::printf("\nPostgreSQL and MariaDB: not measured, their test servers are not configured "
                "(source \"$(scripts/test-servers env)\" after scripts/test-servers start)\n");
    return false;
}

} // namespace tessera::bench
