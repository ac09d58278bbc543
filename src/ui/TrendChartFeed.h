#pragma once

#include <QObject>
#include "telemetry/OriginalValues.h"

#include <QTimer>

#include <functional>

namespace tessera {

class CTesseraView;
class TrendChartView;

// Keeps the trend chart on what the telemetry list holds: its samples after
// every change of the rows (once for a whole fill or command, never per
// row), its selection as the chart's highlight, and a click on the chart as
// the list's selection. While the chart is not shown it lets the list be.
class TrendChartFeed : public QObject {
    Q_OBJECT
public:
    TrendChartFeed(CTesseraView& list, TrendChartView& chart, QObject* parent = nullptr);

    // Whether the chart is shown; turning it on brings it up to date.
    void setActive(bool active);
    // The chart drawn from the rows now, not at the next turn of the event loop.
    void rebuildNow();
    // Where the "原值" of the shown tag's day come from; none: the line is hidden.
    using OriginalsSource = std::function<std::vector<telemetry::OriginalValue>(int tagId, const QDate& day)>;
    void setOriginalsSource(OriginalsSource source);

private:
    void rowsChanged(bool replaced);
    void followSelection();
    void drawOriginals(const QDate& day);

    CTesseraView& m_list;
    TrendChartView& m_chart;
    QTimer m_rebuild;
    bool m_active = false;
    bool m_stale = true;
    bool m_replaced = true; // the rows were replaced, not edited: show the whole day again
    OriginalsSource m_originals;
};

} // namespace tessera
