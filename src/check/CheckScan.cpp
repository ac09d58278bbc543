#include "check/CheckScan.h"

#include "db/Connection.h"
#include "db/DbError.h"
#include "db/ResultSet.h"
#include "dialect/TableTransactions.h"
#include "schema/TableNames.h"
#include "telemetry/TelemetryTexts.h"
#include "text/DecimalText.h"
#include "view/TagCatalogue.h"

#include <algorithm>
#include <optional>
#include <unordered_map>

namespace tessera::check {

namespace {

constexpr qint64 kRowsBetweenReports = 1 << 16;

void addTagsOf(const CatalogueNode& station, const CatalogueNode& switchNode, std::vector<ScanTag>& out)
{
    for (const CatalogueNode& tag : switchNode.children)
        out.push_back({tag.itemData, QStringLiteral("%1 / %2 / %3").arg(station.name, switchNode.name, tag.name),
                       tag.counter});
}

// Two digits of a time text from position `at`; -1 where it holds none.
int twoDigits(const QChar* text, qsizetype at)
{
    const int high = text[at].digitValue(), low = text[at + 1].digitValue();
    return high < 0 || low < 0 ? -1 : high * 10 + low;
}

// The time of day of "yyyy-mm-dd hh:mm:ss[.fff]" in milliseconds, when the
// text names that day; nullopt otherwise.
std::optional<qint32> msecsOnDay(const QString& text, const QString& dayText)
{
    if (text.size() < 19 || !text.startsWith(dayText))
        return std::nullopt;
    const QChar* c = text.constData();
    const int h = twoDigits(c, 11), m = twoDigits(c, 14), s = twoDigits(c, 17);
    if (h < 0 || m < 0 || s < 0 || h > 23 || m > 59 || s > 59)
        return std::nullopt;
    qint32 msecs = ((h * 60 + m) * 60 + s) * 1000;
    if (text.size() > 20 && c[19] == u'.') {
        int scale = 100;
        for (qsizetype i = 20; i < text.size() && scale > 0 && c[i].isDigit(); ++i, scale /= 10)
            msecs += c[i].digitValue() * scale;
    }
    return msecs;
}

// What the scan keeps of a tag from one day to the next.
struct TagState {
    SampleSeries samples;
    std::optional<double> firstValue;
    bool varies = false;
    std::vector<Finding> findings;
};

class Scan {
public:
    Scan(db::Connection& connection, DatabaseKind kind, const ScanRequest& request, ScanObserver& observer)
        : m_connection(connection), m_kind(kind), m_request(request), m_observer(observer), m_tags(request.tags.size())
    {
        for (size_t i = 0; i < request.tags.size(); ++i)
            m_indexOf.emplace(request.tags[i].tagId, i);
        m_progress.days = int(request.first.daysTo(request.last)) + 1;
    }

    ScanResult run()
    {
        ScanResult result;
        for (QDate day = m_request.first; day <= m_request.last && !result.cancelled; day = day.addDays(1)) {
            result.cancelled = !scanDay(day);
            ++m_progress.day;
            m_observer.progress(m_progress);
        }
        result.rows = m_progress.rows;
        result.findings = collectFindings();
        return result;
    }

private:
    // False when cancelled.
    bool scanDay(const QDate& day)
    {
        for (TagState& t : m_tags)
            t.samples.clear();
        const QString table = TelemetryTableName(day);
        const bool missing = !tableExists(m_connection, m_kind, table);
        if (!missing && !readDay(table, day))
            return false;
        for (size_t i = 0; i < m_tags.size(); ++i)
            checkTagDay(i, day, missing);
        return !m_observer.cancelled();
    }

    bool readDay(const QString& table, const QDate& day)
    {
        const QString dayText = day.toString(Qt::ISODate);
        db::ResultSet rs = m_connection.query(daySelectSql(table, m_request.tags));
        rs.readFloatsAsNumbers();
        const bool oneTag = m_request.tags.size() == 1;
        while (rs.next()) {
            if (++m_progress.rows % kRowsBetweenReports == 0) {
                m_observer.progress(m_progress);
                if (m_observer.cancelled())
                    return false;
            }
            const auto tag = oneTag ? m_indexOf.begin() : m_indexOf.find(decimalInteger(rs.string(1)));
            if (tag == m_indexOf.end())
                continue;
            const db::TypedNumber value = rs.number(2);
            const std::optional<qint32> at = msecsOnDay(rs.string(0), dayText);
            if (value.isNull() || !value.readable || !at)
                continue; // no value to judge: the gap rule sees it as missing
            m_tags[tag->second].samples.add(*at, value.value);
        }
        return true;
    }

    void checkTagDay(size_t index, const QDate& day, bool tableMissing)
    {
        TagState& state = m_tags[index];
        state.samples.sortByTime();
        state.samples.trim();
        noteVariation(state);
        const ScanTag& tag = m_request.tags[index];
        const TagDay tagDay {tag, day, state.samples, tableMissing};
        const auto& rules = checkRules();
        for (size_t r = 0; r < rules.size(); ++r) {
            const RuleChoice& choice = m_request.settings.at(r);
            if (choice.enabled && (!rules[r].countersOnly || tag.counter))
                rules[r].detect(tagDay, choice.values, state.findings);
        }
    }

    static void noteVariation(TagState& state)
    {
        const SampleSeries& s = state.samples;
        for (size_t i = 0; i < s.size() && !state.varies; ++i) {
            if (!state.firstValue)
                state.firstValue = s.value(i);
            state.varies = s.value(i) != *state.firstValue;
        }
    }

    std::vector<Finding> collectFindings()
    {
        std::vector<Finding> all;
        for (TagState& state : m_tags) {
            std::vector<Finding>& f = state.findings;
            if (!state.varies)
                f.erase(std::remove_if(f.begin(), f.end(),
                                       [](const Finding& x) { return ruleOf(x.rule).onlyVaryingTags; }),
                        f.end());
            std::stable_sort(f.begin(), f.end(), [](const Finding& a, const Finding& b) {
                return std::tie(a.day, a.fromMsecs) < std::tie(b.day, b.fromMsecs);
            });
            std::move(f.begin(), f.end(), std::back_inserter(all));
            f.clear();
        }
        return all;
    }

    db::Connection& m_connection;
    DatabaseKind m_kind;
    const ScanRequest& m_request;
    ScanObserver& m_observer;
    std::vector<TagState> m_tags;
    std::unordered_map<int, size_t> m_indexOf;
    ScanProgress m_progress;
};

} // namespace

std::vector<ScanTag> scanTagsOf(const CatalogueNode& catalogue, const telemetry::TelemetryScope& scope)
{
    using Kind = telemetry::TelemetryScope::Kind;
    std::vector<ScanTag> tags;
    for (const CatalogueNode& station : catalogue.children) {
        if (scope.kind == Kind::Station && station.name != scope.station)
            continue;
        if (scope.kind == Kind::Switch && station.name != scope.station)
            continue;
        for (const CatalogueNode& switchNode : station.children) {
            if (scope.kind == Kind::Switch && switchNode.name != scope.switchName)
                continue;
            std::vector<ScanTag> under;
            addTagsOf(station, switchNode, under);
            for (ScanTag& tag : under)
                if (scope.kind != Kind::Tag || tag.tagId == scope.tagId)
                    tags.push_back(std::move(tag));
        }
    }
    return tags;
}

QString daySelectSql(const QString& table, const std::vector<ScanTag>& tags)
{
    QString sql = QStringLiteral("SELECT ATime,TagID,nValue FROM %1").arg(table);
    if (tags.size() == 1)
        sql += QStringLiteral(" WHERE TagID=%1").arg(tags.front().tagId);
    return sql;
}

ScanResult scanArchive(db::Connection& connection, DatabaseKind kind, const ScanRequest& request,
                       ScanObserver& observer)
{
    if (request.tags.empty() || !request.first.isValid() || request.last < request.first)
        return {};
    return Scan(connection, kind, request, observer).run();
}

} // namespace tessera::check
