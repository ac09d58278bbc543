#include "ui/TrendChartFeed.h"

#include "telemetry/TelemetryList.h"
#include "telemetry/TrendSamples.h"
#include "ui/CTesseraView.h"
#include "ui/TrendChartView.h"

#include <QItemSelectionModel>

namespace tessera {

namespace {

// The day the list's samples are of: that of its last row (the newest of a
// fill or query; a sample added by hand goes on top); today for none.
QDate dayOfRows(const RecordListModel& rows)
{
    const QDate day = rows.rowCount() > 0
        ? QDate::fromString(rows.cell(rows.rowCount() - 1, 0).left(10), QStringLiteral("yyyy-MM-dd"))
        : QDate();
    return day.isValid() ? day : QDate::currentDate();
}

} // namespace

TrendChartFeed::TrendChartFeed(CTesseraView& list, TrendChartView& chart, QObject* parent)
    : QObject(parent)
    , m_list(list)
    , m_chart(chart)
{
    m_rebuild.setSingleShot(true);
    m_rebuild.setInterval(0);
    connect(&m_rebuild, &QTimer::timeout, this, &TrendChartFeed::rebuildNow);

    const RecordListModel& rows = list.GetRows();
    connect(&rows, &QAbstractItemModel::modelReset, this, [this] { rowsChanged(true); });
    connect(&rows, &QAbstractItemModel::rowsInserted, this, [this] { rowsChanged(false); });
    connect(&rows, &QAbstractItemModel::rowsRemoved, this, [this, &rows] { rowsChanged(rows.rowCount() == 0); });
    connect(&rows, &QAbstractItemModel::dataChanged, this, [this] { rowsChanged(false); });
    connect(&rows, &QAbstractItemModel::layoutChanged, this, [this] { rowsChanged(false); });
    connect(list.selectionModel(), &QItemSelectionModel::selectionChanged, this, &TrendChartFeed::followSelection);
    connect(&chart, &TrendChartView::rowClicked, &list, &CTesseraView::SelectRow);
}

void TrendChartFeed::setActive(bool active)
{
    m_active = active;
    if (!m_active)
        m_rebuild.stop(); // the rows that changed may not even be samples
    if (m_active && m_stale)
        rebuildNow();
}

void TrendChartFeed::rowsChanged(bool replaced)
{
    m_stale = true;
    m_replaced = m_replaced || replaced;
    if (m_active)
        m_rebuild.start();
}

void TrendChartFeed::rebuildNow()
{
    m_rebuild.stop();
    const RecordListModel& rows = m_list.GetRows();
    const QDate day = dayOfRows(rows);
    const QString dayText = day.toString(QStringLiteral("yyyy-MM-dd"));
    std::vector<telemetry::TrendSample> samples;
    samples.reserve(size_t(rows.rowCount()));
    for (int row = 0; row < rows.rowCount(); ++row) {
        // A sample of another day (added by hand) has no place on this day's axis.
        const QStringView time = rows.cellView(row, 0);
        if (!time.startsWith(dayText))
            continue;
        const auto sample
            = telemetry::trendSampleOf(row, time, rows.cellView(row, 3), rows.cellView(row, telemetry::kDataTypeCell));
        if (sample)
            samples.push_back(*sample);
    }
    const bool sameDay = day == m_chart.day();
    m_chart.setDay(day);
    m_chart.setSamples(std::move(samples));
    drawOriginals(day);
    if (m_replaced && sameDay)
        m_chart.resetZoom();
    m_stale = m_replaced = false;
    followSelection();
}

void TrendChartFeed::setOriginalsSource(OriginalsSource source)
{
    m_originals = std::move(source);
    if (m_active)
        rebuildNow();
}

void TrendChartFeed::drawOriginals(const QDate& day)
{
    std::vector<telemetry::TrendSample> line;
    std::map<qint64, QString> notes;
    if (m_originals && m_list.ShowsTagDay()) {
        for (const telemetry::OriginalValue& o : m_originals(m_list.GetRequestedTag(), day)) {
            line.push_back({-1, o.msecsOfDay, o.value, false});
            notes[o.msecsOfDay] = QStringLiteral("原值: %1\n修改时间: %2\n修改人: %3\n修改原因: %4")
                                      .arg(QString::asprintf("%0.2f", o.value),
                                           o.changedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), o.changedBy,
                                           o.reason);
        }
    }
    m_chart.setOriginals(std::move(line), std::move(notes));
}

void TrendChartFeed::followSelection()
{
    if (m_active)
        m_chart.setHighlighted(m_list.GetSelectedRows());
}

} // namespace tessera
