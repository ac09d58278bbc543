// The run of the chosen tables on several connection pairs at once.
//
// Each lane is a CopyRun of its own on its own pair, taking the next table
// in the run order as it gets free. What a lane tells its report is held per
// table and shown on this thread in the run order, so the statuses, the
// messages, the journal's outcomes and tessera-copy's lines come in the
// order of a run on one pair; only the table at the head of that order
// shows its count while it runs. Every table is still one or more atomic
// units, so a stop or a failure leaves each table as one lane alone would.

#include "copy/CopyRun.h"

#include "db/DbError.h"

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

bool CopyRun::CopyChosenTablesInParallel(const QStringList& chosenTables)
{
    // The last chosen first, as on one pair.
    const QStringList order(chosenTables.crbegin(), chosenTables.crend());
    Shared shared;
    shared.tables.resize(size_t(order.size()));

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
        }
    };
    std::vector<std::unique_ptr<Lane>> lanes;
    const int jobs = std::min(Jobs(), int(order.size()));
    for (int i = 0; i < jobs; ++i) {
        auto lane = std::make_unique<Lane>(*this, shared);
        try {
            // The first lane copies on the run's own pair; the others on
            // pairs opened like it. A server that refuses more connections
            // leaves the run with the lanes it has.
            if (i == 0)
                lane->run.Attach(
                    std::move(m_target), m_settings.target.kind, std::move(m_source), m_settings.source.kind);
            else
                lane->run.Attach(lanes[0]->run.m_target.openAnother(), m_settings.target.kind,
                    lanes[0]->run.m_source.openAnother(), m_settings.source.kind);
        } catch (const db::DbError&) {
            break;
        }
        lanes.push_back(std::move(lane));
    }

    auto copyTables = [&shared, &order](Lane& lane) {
        for (;;) {
            size_t index = 0;
            {
                const std::lock_guard lock(shared.mutex);
                if (!shared.mayStart(shared.nextToStart))
                    return;
                index = shared.nextToStart++;
            }
            lane.report.copying(index);
            const CopyOutcome outcome = lane.run.CopyTableSafely(order.at(qsizetype(index)));
            const std::lock_guard lock(shared.mutex);
            HeldTable& table = shared.tables[index];
            table.finished = true;
            table.outcome = outcome;
            if (outcome == CopyOutcome::Abort)
                shared.abortedAt = std::min(shared.abortedAt, index);
            shared.changed.notify_all();
        }
    };

    // Stops and joins the lanes on every way out, and gives the run its own
    // pair back.
    struct Joined {
        Shared& shared;
        std::vector<std::unique_ptr<Lane>>& lanes;
        CopyRun& main;
        ~Joined()
        {
            {
                const std::lock_guard lock(shared.mutex);
                shared.stopAll = true;
            }
            for (auto& lane : lanes)
                if (lane->thread.joinable())
                    lane->thread.join();
            if (!lanes.empty()) {
                main.m_target = std::move(lanes[0]->run.m_target);
                main.m_source = std::move(lanes[0]->run.m_source);
            }
        }
    } joined{shared, lanes, *this};
    for (auto& lane : lanes)
        lane->thread = std::thread(copyTables, std::ref(*lane));

    bool aborted = false;
    std::unique_lock lock(shared.mutex);
    size_t head = 0;
    auto nextShow = std::chrono::steady_clock::now();
    while (head < shared.tables.size()) {
        HeldTable& table = shared.tables[head];
        if (table.shown < table.calls.size()) {
            // The report may show a box or repaint: not under the lock.
            std::vector<std::function<void(CopyReport&)>> calls(
                table.calls.begin() + qsizetype(table.shown), table.calls.end());
            table.shown = table.calls.size();
            lock.unlock();
            for (const auto& call : calls)
                call(*m_report);
            lock.lock();
            continue;
        }
        if (table.finished) {
            if (table.outcome == CopyOutcome::Abort)
                aborted = true;
            else if (!aborted)
                ++m_tablesDone;
            ++head;
            continue;
        }
        if (head >= shared.nextToStart && !shared.mayStart(head))
            break; // no lane took it, and none will
        if (std::chrono::steady_clock::now() >= nextShow) {
            double running = 0;
            for (size_t i = head; i < shared.tables.size(); ++i)
                running += shared.tables[i].finished ? 1.0 : shared.tables[i].fraction;
            lock.unlock();
            m_report->progress(m_tablesDone, m_tablesTotal, running);
            const bool stop = StopAsked();
            lock.lock();
            if (stop)
                shared.stopAll = true;
            nextShow = std::chrono::steady_clock::now() + kShowInterval;
            continue;
        }
        shared.changed.wait_until(lock, nextShow);
    }
    const bool stopped = shared.stopAll;
    lock.unlock();
    if (!aborted && !stopped)
        m_report->progress(m_tablesDone, m_tablesTotal, 0);
    return !aborted && !stopped;
}

} // namespace tessera::copy
