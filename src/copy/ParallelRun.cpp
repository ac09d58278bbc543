// The run of the chosen tables on several connection pairs at once.
//
// Each lane is a CopyRun of its own on its own pair, taking the next table
// in the run order as it gets free. What a lane tells its report is held per
// table and shown on this thread in the run order, so the statuses, the
// messages, the journal's outcomes and tessera-copy's lines come in the
// order of a run on one pair; only the table at the head of that order
// shows its count while it runs. Every table is still one or more atomic
// units, so a stop or a failure leaves each table as one lane alone would.

#include "copy/ParallelRun.h"

#include "copy/CopyRun.h"

#include "db/DbError.h"

#include <QScopeGuard>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>

namespace tessera::copy {

namespace {

constexpr auto kShowInterval = std::chrono::milliseconds(100);

// One table's calls to the report, held until the tables before it are shown.
struct HeldTable {
    std::vector<std::function<void(CopyReport&)>> calls;
    size_t shown = 0;     // calls already made on the run's report
    double fraction = 0;  // of the table, while it runs
    bool finished = false;
    CopyOutcome outcome = CopyOutcome::Done;
};

// What the lanes and the showing thread share, under the one mutex.
struct Shared {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<HeldTable> tables; // in run order
    size_t nextToStart = 0;
    // The first table in run order that aborted the run: the tables after it
    // are stopped and none is started; those before it run to their end.
    size_t abortedAt = std::numeric_limits<size_t>::max();
    bool stopAll = false; // the user stopped

    bool mayStart(size_t index) const { return !stopAll && index <= abortedAt && index < tables.size(); }
};

// A lane's report: holds every call for the table the lane copies.
class LaneReport : public CopyReport {
public:
    explicit LaneReport(Shared& shared)
        : m_shared(shared)
    {
    }

    void copying(size_t index) { m_index = index; }

    void setCell(int row, CopyColumn column, const QString& text) override
    {
        hold([=](CopyReport& report) { report.setCell(row, column, text); });
    }
    void message(const QString& text, const QString& caption) override
    {
        hold([=](CopyReport& report) { report.message(text, caption); });
    }
    void progress(int, int, double tableFraction) override
    {
        const std::lock_guard lock(m_shared.mutex);
        m_shared.tables[m_index].fraction = tableFraction;
    }
    bool stopRequested() override
    {
        const std::lock_guard lock(m_shared.mutex);
        return m_shared.stopAll || m_index > m_shared.abortedAt;
    }
    void tableEnded(int row) override
    {
        hold([=](CopyReport& report) { report.tableEnded(row); });
    }
    void rowDifference(int row, const DifferenceLine& line) override
    {
        hold([=](CopyReport& report) { report.rowDifference(row, line); });
    }

private:
    void hold(std::function<void(CopyReport&)> call)
    {
        const std::lock_guard lock(m_shared.mutex);
        m_shared.tables[m_index].calls.push_back(std::move(call));
        m_shared.changed.notify_all();
    }

    Shared& m_shared;
    size_t m_index = 0;
};

} // namespace

// The run of the chosen tables on several lanes: the tables in run order,
// the lanes' calls to the report shown on the calling thread.
class ParallelRun {
public:
    ParallelRun(CopyRun& main, const QStringList& chosenTables)
        : m_main(main)
        , m_order(chosenTables.crbegin(), chosenTables.crend()) // the last chosen first, as on one pair
    {
        m_shared.tables.resize(size_t(m_order.size()));
    }

    bool run()
    {
        openLanes();
        const auto joined = qScopeGuard([this] { joinLanes(); });
        for (auto& lane : m_lanes)
            lane->thread = std::thread([this, lane = lane.get()] { copyTables(*lane); });
        return showInOrder();
    }

private:
    struct Lane {
        CopySettings settings;
        LaneReport report;
        CopyRun run;
        std::thread thread;
        Lane(const CopyRun& main, Shared& shared)
            : settings(main.m_settings)
            , report(shared)
            , run(settings, main.m_start, main.m_end, report)
        {
            run.m_runClock = main.m_runClock;
            run.m_connectionLossTold = main.m_connectionLossTold;
            run.m_mode = main.m_mode;
            run.m_tolerance = main.m_tolerance;
        }
    };

    // The first lane copies on the run's own pair; the others on pairs opened
    // like it. A server that refuses more connections leaves the run with
    // the lanes it has.
    void openLanes()
    {
        const int jobs = std::min(m_main.Jobs(), int(m_order.size()));
        const DatabaseKind targetKind = m_main.m_settings.target.kind;
        const DatabaseKind sourceKind = m_main.m_settings.source.kind;
        for (int i = 0; i < jobs; ++i) {
            auto lane = std::make_unique<Lane>(m_main, m_shared);
            try {
                if (i == 0)
                    lane->run.Attach(std::move(m_main.m_target), targetKind, std::move(m_main.m_source), sourceKind);
                else
                    lane->run.Attach(m_lanes[0]->run.m_target.openAnother(), targetKind,
                                     m_lanes[0]->run.m_source.openAnother(), sourceKind);
            } catch (const db::DbError&) {
                break;
            }
            m_lanes.push_back(std::move(lane));
        }
    }

    // A lane's thread: the next table in the run order as long as one may start.
    void copyTables(Lane& lane)
    {
        for (;;) {
            size_t index = 0;
            {
                const std::lock_guard lock(m_shared.mutex);
                if (!m_shared.mayStart(m_shared.nextToStart))
                    return;
                index = m_shared.nextToStart++;
            }
            lane.report.copying(index);
            const CopyOutcome outcome = lane.run.CopyTableSafely(m_order.at(qsizetype(index)));
            const std::lock_guard lock(m_shared.mutex);
            HeldTable& table = m_shared.tables[index];
            table.finished = true;
            table.outcome = outcome;
            if (outcome == CopyOutcome::Abort)
                m_shared.abortedAt = std::min(m_shared.abortedAt, index);
            m_shared.changed.notify_all();
        }
    }

    // Stops and joins the lanes, and gives the run its own pair back.
    void joinLanes()
    {
        {
            const std::lock_guard lock(m_shared.mutex);
            m_shared.stopAll = true;
        }
        for (auto& lane : m_lanes)
            if (lane->thread.joinable())
                lane->thread.join();
        if (!m_lanes.empty()) {
            m_main.m_target = std::move(m_lanes[0]->run.m_target);
            m_main.m_source = std::move(m_lanes[0]->run.m_source);
        }
    }

    // Shows the held calls table by table in the run order, the progress
    // and the stop between; false when a table aborted or the user stopped.
    bool showInOrder()
    {
        bool aborted = false;
        std::unique_lock lock(m_shared.mutex);
        size_t head = 0;
        auto nextShow = std::chrono::steady_clock::now();
        while (head < m_shared.tables.size()) {
            HeldTable& table = m_shared.tables[head];
            if (table.shown < table.calls.size()) {
                showHeldCalls(table, lock);
                continue;
            }
            if (table.finished) {
                if (table.outcome == CopyOutcome::Abort)
                    aborted = true;
                else if (!aborted)
                    ++m_main.m_tablesDone;
                ++head;
                continue;
            }
            if (head >= m_shared.nextToStart && !m_shared.mayStart(head))
                break; // no lane took it, and none will
            if (std::chrono::steady_clock::now() >= nextShow) {
                showProgress(head, lock);
                nextShow = std::chrono::steady_clock::now() + kShowInterval;
                continue;
            }
            m_shared.changed.wait_until(lock, nextShow);
        }
        const bool stopped = m_shared.stopAll;
        lock.unlock();
        if (!aborted && !stopped)
            m_main.m_report->progress(m_main.m_tablesDone, m_main.m_tablesTotal, 0);
        return !aborted && !stopped;
    }

    // The report may show a box or repaint: not under the lock.
    void showHeldCalls(HeldTable& table, std::unique_lock<std::mutex>& lock)
    {
        std::vector<std::function<void(CopyReport&)>> calls(table.calls.begin() + qsizetype(table.shown),
                                                            table.calls.end());
        table.shown = table.calls.size();
        lock.unlock();
        for (const auto& call : calls)
            call(*m_main.m_report);
        lock.lock();
    }

    // The share of the running tables done, and a stop asked for.
    void showProgress(size_t head, std::unique_lock<std::mutex>& lock)
    {
        double running = 0;
        for (size_t i = head; i < m_shared.tables.size(); ++i)
            running += m_shared.tables[i].finished ? 1.0 : m_shared.tables[i].fraction;
        lock.unlock();
        m_main.m_report->progress(m_main.m_tablesDone, m_main.m_tablesTotal, running);
        const bool stop = m_main.StopAsked();
        lock.lock();
        if (stop)
            m_shared.stopAll = true;
    }

    CopyRun& m_main;
    const QStringList m_order;
    Shared m_shared;
    std::vector<std::unique_ptr<Lane>> m_lanes;
};

bool copyTablesInParallel(CopyRun& main, const QStringList& chosenTables)
{
    return ParallelRun(main, chosenTables).run();
}

} // namespace tessera::copy
