#include "ui/TrendChartView.h"

#include <QCursor>
#include <QDateTimeAxis>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QScatterSeries>
#include <QToolTip>
#include <QValueAxis>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace tessera {

using telemetry::TrendSample;

namespace {

constexpr qint64 kDay = 24 * 3600 * 1000;
constexpr qint64 kShortestRange = 10 * 1000; // the deepest zoom: ten seconds across
constexpr double kWheelStep = 0.8;           // the share of the range one notch keeps
constexpr int kClickReach = 8;               // pixels between a click and the sample it means
constexpr int kClickSlack = 3;               // pixels a click may move and stay a click

bool byTime(const TrendSample& a, const TrendSample& b)
{
    return a.msecsOfDay < b.msecsOfDay || (a.msecsOfDay == b.msecsOfDay && a.row < b.row);
}

template <class Series>
Series* addSeries(QChart& chart, const QString& name, QAbstractAxis* x, QAbstractAxis* y)
{
    auto* series = new Series;
    series->setName(name);
    chart.addSeries(series);
    series->attachAxis(x);
    series->attachAxis(y);
    return series;
}

} // namespace

TrendChartView::TrendChartView(QWidget* parent)
    : QChartView(new QChart, parent) // a chart set later would leave the default one behind
{
    QChart* chart = this->chart();
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->legend()->setAlignment(Qt::AlignBottom);
    m_x = new QDateTimeAxis;
    m_x->setFormat(QStringLiteral("HH:mm"));
    m_y = new QValueAxis;
    m_y->setLabelFormat(QStringLiteral("%g"));
    chart->addAxis(m_x, Qt::AlignBottom);
    chart->addAxis(m_y, Qt::AlignLeft);

    // Added bottom to top: the marks lie on the lines.
    m_originalLine = addSeries<QLineSeries>(*chart, QStringLiteral("原值"), m_x, m_y);
    m_originalLine->setPen(QPen(QColor(0x80, 0x80, 0x80, 0x90), 1));
    m_originalLine->setVisible(false);
    m_line = addSeries<QLineSeries>(*chart, QStringLiteral("遥测值"), m_x, m_y);
    m_line->setPen(QPen(QColor(0x1f, 0x77, 0xb4), 1));
    m_previewLine = addSeries<QLineSeries>(*chart, QStringLiteral("写入后"), m_x, m_y);
    m_previewLine->setPen(QPen(QColor(0x2c, 0xa0, 0x2c), 1, Qt::DashLine));
    m_previewLine->setVisible(false);
    m_handSetMarks = addSeries<QScatterSeries>(*chart, QStringLiteral("人工置数"), m_x, m_y);
    m_handSetMarks->setMarkerShape(QScatterSeries::MarkerShapeCircle);
    m_handSetMarks->setMarkerSize(7);
    m_handSetMarks->setColor(QColor(0xff, 0x7f, 0x0e));
    m_handSetMarks->setBorderColor(QColor(0xff, 0x7f, 0x0e));
    m_selectedMarks = addSeries<QScatterSeries>(*chart, QStringLiteral("选中"), m_x, m_y);
    m_selectedMarks->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    m_selectedMarks->setMarkerSize(9);
    m_selectedMarks->setColor(QColor(0xd6, 0x27, 0x28));
    m_selectedMarks->setBorderColor(Qt::black);

    connect(m_handSetMarks, &QScatterSeries::hovered, this, [this](const QPointF& point, bool entered) {
        const QString note = entered ? noteAt(qint64(point.x()) - m_dayStart) : QString();
        if (!note.isEmpty())
            QToolTip::showText(QCursor::pos(), note, this);
    });

    setRenderHint(QPainter::Antialiasing);
    setRubberBand(QChartView::RectangleRubberBand);
    setAccessibleName(QStringLiteral("遥测曲线"));

    m_redrawTimer.setSingleShot(true);
    m_redrawTimer.setInterval(0);
    connect(&m_redrawTimer, &QTimer::timeout, this, &TrendChartView::redraw);
    connect(m_x, &QDateTimeAxis::rangeChanged, this, [this] {
        if (!m_settingRange)
            m_redrawTimer.start();
    });
    // Only the rubber band changes the values shown behind our back.
    connect(m_y, &QValueAxis::rangeChanged, this, [this] {
        if (!m_settingRange) {
            m_valuesZoomed = true;
            m_fitted.reset();
        }
    });
    connect(chart, &QChart::plotAreaChanged, this, [this] { m_redrawTimer.start(); });

    setDay(QDate::currentDate());
}

void TrendChartView::setDay(const QDate& day)
{
    if (day == m_day)
        return;
    m_day = day;
    m_dayStart = QDateTime(day, QTime(0, 0)).toMSecsSinceEpoch();
    resetZoom();
}

void TrendChartView::setSamples(std::vector<TrendSample> samples)
{
    // The list holds a fill's samples in time order already.
    if (!std::is_sorted(samples.begin(), samples.end(), byTime))
        std::sort(samples.begin(), samples.end(), byTime);
    m_samples = std::move(samples);
    m_handSet.clear();
    int lastRow = -1;
    for (const TrendSample& s : m_samples) {
        if (s.handSet)
            m_handSet.push_back(s);
        lastRow = std::max(lastRow, s.row);
    }
    m_sampleOfRow.assign(size_t(lastRow + 1), -1);
    for (size_t i = 0; i < m_samples.size(); ++i) {
        if (m_samples[i].row >= 0)
            m_sampleOfRow[size_t(m_samples[i].row)] = int(i);
    }
    if (!m_valuesZoomed)
        fitValues();
    redraw();
}

void TrendChartView::setPreview(std::vector<TrendSample> samples)
{
    std::sort(samples.begin(), samples.end(), byTime);
    m_preview = std::move(samples);
    m_previewLine->setVisible(!m_preview.empty());
    if (!m_valuesZoomed)
        fitValues();
    redraw();
}

void TrendChartView::setOriginals(std::vector<TrendSample> samples, std::map<qint64, QString> notes)
{
    std::sort(samples.begin(), samples.end(), byTime);
    m_originals = std::move(samples);
    m_notes = std::move(notes);
    m_originalLine->setVisible(!m_originals.empty());
    if (!m_valuesZoomed)
        fitValues();
    redraw();
}

QString TrendChartView::noteAt(qint64 msecsOfDay) const
{
    // A mark's point comes back through the axis as a double: the nearest second.
    const auto it = m_notes.find((msecsOfDay + 500) / 1000 * 1000);
    return it == m_notes.end() ? QString() : it->second;
}

void TrendChartView::setHighlighted(const std::vector<int>& rows)
{
    m_highlightedRows = rows;
    drawHighlighted();
}

void TrendChartView::resetZoom()
{
    m_valuesZoomed = false;
    fitValues();
    setShownRange(0, kDay);
    redraw();
}

std::pair<qint64, qint64> TrendChartView::shownRange() const
{
    return {m_x->min().toMSecsSinceEpoch() - m_dayStart, m_x->max().toMSecsSinceEpoch() - m_dayStart};
}

void TrendChartView::zoomTo(qint64 from, qint64 to)
{
    setShownRange(std::max<qint64>(from, 0), std::min<qint64>(to, 86'400'000));
}

void TrendChartView::setShownRange(qint64 from, qint64 to)
{
    m_settingRange = true;
    m_x->setRange(QDateTime::fromMSecsSinceEpoch(m_dayStart + from), QDateTime::fromMSecsSinceEpoch(m_dayStart + to));
    m_settingRange = false;
}

// The values of the day and the preview with a little room, in round numbers.
void TrendChartView::fitValues()
{
    double low = 0, high = 1;
    bool any = false;
    for (const auto* samples : {&m_samples, &m_preview, &m_originals}) {
        for (const TrendSample& s : *samples) {
            low = any ? std::min(low, s.value) : s.value;
            high = any ? std::max(high, s.value) : s.value;
            any = true;
        }
    }
    // The same values keep their axis: a new range lays out every series again.
    if (m_fitted == std::make_pair(low, high))
        return;
    m_fitted = std::make_pair(low, high);
    const double room = high > low ? (high - low) * 0.05 : std::max(1.0, std::abs(high) * 0.1);
    m_settingRange = true;
    m_y->setRange(low - room, high + room);
    m_y->applyNiceNumbers();
    m_settingRange = false;
}

QList<QPointF> TrendChartView::pointsOf(const std::vector<TrendSample>& samples) const
{
    QList<QPointF> points;
    points.reserve(qsizetype(samples.size()));
    for (const TrendSample& s : samples)
        points.append(QPointF(double(m_dayStart + s.msecsOfDay), s.value));
    return points;
}

int TrendChartView::plotColumns() const
{
    // Before its first layout (or hidden) the chart has no plot area yet.
    const int width = int(chart()->plotArea().width());
    return width > 0 ? width : 1000;
}

void TrendChartView::redraw()
{
    m_redrawTimer.stop();
    const auto [from, to] = shownRange();
    const int columns = plotColumns();
    m_line->replace(pointsOf(telemetry::thinned(m_samples, from, to, columns)));
    m_handSetMarks->replace(pointsOf(telemetry::thinned(m_handSet, from, to, columns)));
    m_previewLine->replace(pointsOf(telemetry::thinned(m_preview, from, to, columns)));
    m_originalLine->replace(pointsOf(telemetry::thinned(m_originals, from, to, columns)));
    drawHighlighted();
    updateTicks();
}

void TrendChartView::drawHighlighted()
{
    std::vector<TrendSample> chosen;
    chosen.reserve(m_highlightedRows.size());
    for (int row : m_highlightedRows) {
        if (row >= 0 && size_t(row) < m_sampleOfRow.size() && m_sampleOfRow[size_t(row)] >= 0)
            chosen.push_back(m_samples[size_t(m_sampleOfRow[size_t(row)])]);
    }
    std::sort(chosen.begin(), chosen.end(), byTime);
    // A whole day selected is drawn as thinned as the day itself.
    const auto [from, to] = shownRange();
    m_selectedMarks->replace(pointsOf(telemetry::thinned(chosen, from, to, plotColumns())));
}

// Whole hours for the whole day, as many as the width has room for; a zoomed
// range in equal parts, with seconds once it is short.
void TrendChartView::updateTicks()
{
    const auto [from, to] = shownRange();
    const int room = std::max(2, plotColumns() / 55);
    int ticks = std::min(room, 13);
    if (from == 0 && to == kDay) {
        ticks = 3; // every 12 hours
        for (int hours : {1, 2, 3, 4, 6, 8, 12}) {
            if (24 / hours + 1 <= room) {
                ticks = 24 / hours + 1;
                break;
            }
        }
    }
    m_x->setTickCount(ticks);
    m_x->setFormat(to - from >= 4 * 3600 * 1000 ? QStringLiteral("HH:mm") : QStringLiteral("HH:mm:ss"));
}

void TrendChartView::wheelEvent(QWheelEvent* event)
{
    event->accept();
    const double notches = event->angleDelta().y() / 120.0;
    const QRectF plot = chart()->plotArea();
    if (notches == 0 || plot.width() <= 0)
        return;
    const auto [from, to] = shownRange();
    const QPointF at = chart()->mapFromScene(mapToScene(event->position().toPoint()));
    const double share = std::clamp((at.x() - plot.left()) / plot.width(), 0.0, 1.0);
    const double pivot = from + share * double(to - from);
    const qint64 span = std::clamp(qint64(double(to - from) * std::pow(kWheelStep, notches)), kShortestRange, kDay);
    const qint64 newFrom = std::clamp(qint64(pivot - share * double(span)), qint64(0), kDay - span);
    setShownRange(newFrom, newFrom + span);
    redraw();
}

void TrendChartView::mousePressEvent(QMouseEvent* event)
{
    // No zooming out by a right-click: the double-click shows the day.
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    m_pressedAt = event->position().toPoint();
    QChartView::mousePressEvent(event);
}

void TrendChartView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    const bool click = event->button() == Qt::LeftButton
        && (event->position().toPoint() - m_pressedAt).manhattanLength() <= kClickSlack;
    // A click leaves the rubber band empty, and an empty band zooms nothing.
    QChartView::mouseReleaseEvent(event);
    if (m_redrawTimer.isActive())
        redraw(); // the band zoomed: the real samples of the range at once
    if (!click)
        return;
    const int row = rowNear(event->position());
    if (row >= 0)
        Q_EMIT rowClicked(row);
}

void TrendChartView::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() == Qt::LeftButton)
        resetZoom();
}

// The row of the sample drawn nearest to a point of the view, within reach; -1 for none.
int TrendChartView::rowNear(const QPointF& viewPosition) const
{
    const QRectF plot = chart()->plotArea();
    const QPointF at = chart()->mapFromScene(mapToScene(viewPosition.toPoint()));
    const double valueSpan = m_y->max() - m_y->min();
    if (plot.width() <= 0 || plot.height() <= 0 || valueSpan <= 0)
        return -1;
    const auto [from, to] = shownRange();
    const double msecsPerPixel = double(to - from) / plot.width();
    const auto xOf = [&](qint64 t) { return plot.left() + double(t - from) / msecsPerPixel; };
    const auto yOf = [&](double v) { return plot.bottom() - (v - m_y->min()) / valueSpan * plot.height(); };
    const qint64 t = from + qint64((at.x() - plot.left()) * msecsPerPixel);
    const qint64 reach = qint64(kClickReach * msecsPerPixel) + 1;

    const auto before = [](const TrendSample& s, qint64 time) { return s.msecsOfDay < time; };
    auto it = std::lower_bound(m_samples.begin(), m_samples.end(), t - reach, before);
    int row = -1;
    double best = kClickReach * kClickReach;
    for (; it != m_samples.end() && it->msecsOfDay <= t + reach; ++it) {
        const double dx = xOf(it->msecsOfDay) - at.x(), dy = yOf(it->value) - at.y();
        if (dx * dx + dy * dy <= best) {
            best = dx * dx + dy * dy;
            row = it->row;
        }
    }
    return row;
}

} // namespace tessera
