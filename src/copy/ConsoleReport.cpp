#include "copy/ConsoleReport.h"

#include "copy/CopyTables.h"

#include <cstdio>

#include <unistd.h>

namespace tessera::copy {

volatile std::sig_atomic_t g_stopSignal = 0;

namespace {

extern "C" void requestStop(int signal)
{
    g_stopSignal = 1;
    std::signal(signal, SIG_DFL);
}

} // namespace

void stopOnSignals()
{
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
}

void printTo(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

ConsoleReport::ConsoleReport(bool progressAsked)
    : m_terminal(isatty(fileno(stderr)) != 0)
    , m_showProgress(m_terminal || progressAsked)
{
    m_clock.start();
}

void ConsoleReport::setCell(int row, CopyColumn column, const QString& text)
{
    m_cells[row][int(column)] = text;
    if (column == CopyColumn::Count)
        m_rowsOfTable = text.toLongLong();
}

void ConsoleReport::message(const QString& text, const QString&)
{
    clearProgress();
    printTo(stderr, text + QLatin1Char('\n'));
}

void ConsoleReport::progress(int done, int total, double fraction)
{
    if (!m_showProgress || total == 0)
        return;
    if (!m_terminal) {
        if (m_sinceLine.isValid() && m_sinceLine.elapsed() < 1000)
            return;
        m_sinceLine.start();
    }
    const double share = (done + fraction) / total;
    const double seconds = std::max(m_clock.elapsed() / 1000.0, 0.001);
    QString line = QString::asprintf("%d/%d 表  %5.1f%%  %.0f 行/秒", done, total, 100.0 * share,
                                     double(m_rowsBefore + m_rowsOfTable) / seconds);
    if (share > 0.001) {
        const qint64 left = qint64(seconds * (1.0 - share) / share);
        line += QString::asprintf("  剩余 %lld:%02lld:%02lld", left / 3600, left / 60 % 60, left % 60);
    }
    printTo(stderr, m_terminal ? u'\r' + line + QStringLiteral("\033[K") : line + u'\n');
    m_progressShown = m_terminal;
}

void ConsoleReport::tableEnded(int row)
{
    clearProgress();
    const QString status = cell(row, CopyColumn::Status);
    // A telemetry table that ended the run at its probe or delete has no count.
    printLine(row, status, cell(row, CopyColumn::Count));
    m_statuses[row] = status;
    m_rowsBefore += m_rowsOfTable;
    m_rowsOfTable = 0;
}

void ConsoleReport::reportNotReached(const std::vector<int>& rows)
{
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        if (m_statuses.find(*it) == m_statuses.end())
            printLine(*it, kStatusNotReached, QString());
}

bool ConsoleReport::allDone(const std::vector<int>& rows) const
{
    for (int row : rows) {
        const auto found = m_statuses.find(row);
        if (found == m_statuses.end() || !statusNeedsNoRerun(found->second))
            return false;
    }
    return true;
}

QString ConsoleReport::cell(int row, CopyColumn column) const
{
    const auto cells = m_cells.find(row);
    if (cells == m_cells.end())
        return QString();
    const auto found = cells->second.find(int(column));
    return found == cells->second.end() ? QString() : found->second;
}

void ConsoleReport::printLine(int row, const QString& status, const QString& count)
{
    QString line = copyTableNames().at(row) + QLatin1Char('\t') + status;
    if (row < kCalendarDayRows)
        line += QLatin1Char('\t') + count;
    printTo(stdout, line + QLatin1Char('\n'));
}

void ConsoleReport::clearProgress()
{
    if (m_progressShown)
        printTo(stderr, QStringLiteral("\r\033[K"));
    m_progressShown = false;
}

} // namespace tessera::copy
