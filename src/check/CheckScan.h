#pragma once

#include "check/CheckFinding.h"
#include "check/CheckRules.h"
#include "dialect/DatabaseKind.h"

#include <QDate>

#include <vector>

namespace tessera {

struct CatalogueNode;

namespace db {
class Connection;
}
namespace telemetry {
struct TelemetryScope;
}

namespace check {

// A check runs over at most a month.
inline constexpr int kMaxScanDays = 31;

struct ScanRequest {
    std::vector<ScanTag> tags;
    QDate first;
    QDate last;
    CheckSettings settings = defaultCheckSettings();
};

struct ScanProgress {
    int day = 0;   // days done
    int days = 0;  // days in all
    qint64 rows = 0;
};

// How a scan reports and learns that it should stop.
class ScanObserver {
public:
    virtual ~ScanObserver() = default;
    virtual void progress(const ScanProgress&) {}
    virtual bool cancelled() { return false; }
};

struct ScanResult {
    std::vector<Finding> findings; // by tag (in the request's order), day and time
    qint64 rows = 0;               // samples read
    bool cancelled = false;
};

// The tags of a scope as the tree shows them (遥测 and 遥脉): one tag, the
// tags of a switch, of a station, or of every station.
std::vector<ScanTag> scanTagsOf(const CatalogueNode& catalogue, const telemetry::TelemetryScope& scope);

// The one statement that reads a day's table for the scan: every sample of
// the table, or of the one tag. The day tables have no index, so a table is
// read once for all the tags of a scope.
QString daySelectSql(const QString& table, const std::vector<ScanTag>& tags);

// Reads each day's table once, streamed, and applies the enabled rules to
// each tag's day; memory stays that of one day of the scope. Writes
// nothing. Throws db::DbError when a table that exists cannot be read.
ScanResult scanArchive(db::Connection& connection, DatabaseKind kind, const ScanRequest& request,
                       ScanObserver& observer);

} // namespace check
} // namespace tessera
