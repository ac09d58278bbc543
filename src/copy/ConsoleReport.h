#pragma once

#include "copy/CopyRun.h"

#include <QElapsedTimer>

#include <csignal>
#include <map>
#include <vector>

namespace tessera::copy {

// Set by Ctrl+C (SIGINT) or SIGTERM; the run asks for it before every table,
// before every delete and between rows.
extern volatile std::sig_atomic_t g_stopSignal;
// Installs the handlers. A handler does nothing else, and gives the signal
// its default back, so that a second one ends the program at once.
void stopOnSignals();

void printTo(FILE* stream, const QString& text);

// tessera-copy's report: each table's line on standard output when it ends,
// the messages on standard error; on a terminal, or with --progress, a
// progress line there too: tables done, percent, rows per second and the time
// left at that pace (once a second on its own line off a terminal).
class ConsoleReport : public CopyReport {
public:
    explicit ConsoleReport(bool progressAsked);

    void setCell(int row, CopyColumn column, const QString& text) override;
    void message(const QString& text, const QString&) override;
    void progress(int done, int total, double fraction) override;
    bool stopRequested() override { return g_stopSignal != 0; }
    void tableEnded(int row) override;

    // The chosen tables the run never reached, so that every one has its line.
    void reportNotReached(const std::vector<int>& rows);
    // Whether every chosen table ended so that it needs no further run.
    bool allDone(const std::vector<int>& rows) const;

private:
    QString cell(int row, CopyColumn column) const;
    void printLine(int row, const QString& status, const QString& count);
    void clearProgress();

    bool m_terminal;
    bool m_showProgress;
    bool m_progressShown = false;
    QElapsedTimer m_clock;     // since the start, for the pace
    QElapsedTimer m_sinceLine; // since the last line, off a terminal
    qint64 m_rowsBefore = 0;   // rows of the tables ended
    qint64 m_rowsOfTable = 0;  // rows of the table being copied
    std::map<int, std::map<int, QString>> m_cells;
    std::map<int, QString> m_statuses;
};

} // namespace tessera::copy
