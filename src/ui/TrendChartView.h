#pragma once

#include "telemetry/TrendSamples.h"

#include <QChartView>
#include <QDate>
#include <QTimer>

#include <map>
#include <optional>
#include <utility>
#include <vector>

class QDateTimeAxis;
class QLineSeries;
class QScatterSeries;
class QValueAxis;

namespace tessera {

// The trend of one telemetry day: the samples as a line over the day's hours,
// the hand-set ones marked, the selected ones highlighted and, for a dialog's
// preview, the values a command would write as a second line.
//
// A day of one-second samples is drawn thinned to what the plot's pixel
// columns can show (see telemetry::thinned), again on every zoom, so that
// a zoomed day shows its real points. The highlight is a small series of its
// own: moving the selection never redraws the day.
//
// The wheel zooms the time around the pointer, a dragged rectangle zooms
// into it, a double-click shows the whole day again; a click on or near a
// sample reports its row.
class TrendChartView : public QChartView {
    Q_OBJECT
public:
    explicit TrendChartView(QWidget* parent = nullptr);

    // The x axis: that day's 00:00 to 24:00, hour ticks. Another day shows
    // the whole day.
    void setDay(const QDate& day);
    QDate day() const { return m_day; }
    // The main line and the hand-set marks; any order in, sorted by time inside.
    void setSamples(std::vector<telemetry::TrendSample> samples);
    // A second line ("写入后"); empty hides it.
    void setPreview(std::vector<telemetry::TrendSample> samples);
    // "原值": what changed samples held before Tessera changed them, a faint
    // line under the day's; `notes` by millisecond of the day are the
    // tooltips of the hand-set marks there. Empty hides it.
    void setOriginals(std::vector<telemetry::TrendSample> samples, std::map<qint64, QString> notes);
    const std::vector<telemetry::TrendSample>& originalSamples() const { return m_originals; }
    // The tooltip of a hand-set mark at that millisecond of the day; empty for none.
    QString noteAt(qint64 msecsOfDay) const;
    // The samples of these rows (TrendSample::row) drawn highlighted.
    void setHighlighted(const std::vector<int>& rows);
    void resetZoom();
    // Shows the hours from `from` to `to`, milliseconds of the day.
    void zoomTo(qint64 from, qint64 to);

    // What is drawn, for tests: the samples given, whole.
    const std::vector<telemetry::TrendSample>& samples() const { return m_samples; }
    const std::vector<telemetry::TrendSample>& previewSamples() const { return m_preview; }
    // The hours shown, as milliseconds of the day: [first, second).
    std::pair<qint64, qint64> shownRange() const;

Q_SIGNALS:
    void rowClicked(int row);

protected:
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QList<QPointF> pointsOf(const std::vector<telemetry::TrendSample>& samples) const;
    int plotColumns() const;
    void setShownRange(qint64 from, qint64 to);
    void fitValues();
    void redraw();
    void drawHighlighted();
    void updateTicks();
    int rowNear(const QPointF& viewPosition) const;

    QDateTimeAxis* m_x = nullptr;
    QValueAxis* m_y = nullptr;
    QLineSeries* m_line = nullptr;
    QLineSeries* m_previewLine = nullptr;
    QLineSeries* m_originalLine = nullptr;
    QScatterSeries* m_handSetMarks = nullptr;
    QScatterSeries* m_selectedMarks = nullptr;

    QDate m_day;
    qint64 m_dayStart = 0;                         // the day's 00:00 as the x axis counts (ms since the epoch)
    std::vector<telemetry::TrendSample> m_samples; // by time
    std::vector<telemetry::TrendSample> m_handSet; // by time
    std::vector<telemetry::TrendSample> m_preview; // by time
    std::vector<telemetry::TrendSample> m_originals; // by time
    std::map<qint64, QString> m_notes;
    std::vector<int> m_sampleOfRow;                // row -> index in m_samples, or -1
    std::vector<int> m_highlightedRows;
    bool m_valuesZoomed = false;                       // the user chose the value range: a new sample leaves it
    std::optional<std::pair<double, double>> m_fitted; // the lowest and highest value the axis was fitted to
    bool m_settingRange = false;
    QTimer m_redrawTimer; // one redraw for the several range changes of a zoom
    QPoint m_pressedAt;
};

} // namespace tessera
