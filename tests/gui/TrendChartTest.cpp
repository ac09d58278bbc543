#include "MainWindowTest.h"

#include "app/ReasonDialog.h"
#include "settings/ViewSettings.h"
#include "telemetry/TelemetryList.h"
#include "telemetry/ui/DateSelectDialog.h"
#include "telemetry/ui/TelemetryValueDialog.h"
#include "ui/TrendChartView.h"
#include "view/CommandIds.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QLegendMarker>
#include <QMouseEvent>
#include <QTest>
#include <QTimeEdit>
#include <QValueAxis>
#include <QXYSeries>

using namespace tessera;
using namespace tessera::test;
using namespace Qt::StringLiterals;

namespace {

// The chart's line of that name.
QXYSeries* series(const TrendChartView& view, const QString& name)
{
    for (QAbstractSeries* s : view.chart()->series())
        if (s->name() == name)
            return static_cast<QXYSeries*>(s);
    return nullptr;
}

// The real main window over today's demo samples, its chart under the list.
class TrendChartTest : public MainWindowTest {
protected:
    void fillArchive() override { writeDemoDays({today}); }
    TrendChartView& chart() const { return *frame->trendChart(); }
    CTesseraView& list() const { return *frame->list(); }
    const RecordListModel& rows() const { return list().GetRows(); }

    // "row|hh:mm:ss|value|手" for each sample, by row: the list's rows as its
    // cells say, and the chart's samples.
    static QString describe(int row, qint64 msecsOfDay, double value, bool handSet)
    {
        return u"%1|%2|%3|%4"_s.arg(row)
            .arg(QTime::fromMSecsSinceStartOfDay(int(msecsOfDay)).toString(u"HH:mm:ss.zzz"_s))
            .arg(value)
            .arg(handSet ? u"手"_s : u""_s);
    }
    QStringList listed() const
    {
        QStringList out;
        for (int r = 0; r < rows().rowCount(); ++r)
            out << describe(
                r, msecsOfRow(r), rows().cell(r, 3).toDouble(), rows().cell(r, telemetry::kDataTypeCell) == u"6"_s);
        return out;
    }
    QStringList charted() const
    {
        std::vector<telemetry::TrendSample> samples = chart().samples();
        std::sort(samples.begin(), samples.end(), [](const auto& a, const auto& b) { return a.row < b.row; });
        QStringList out;
        for (const auto& s : samples)
            out << describe(s.row, s.msecsOfDay, s.value, s.handSet);
        return out;
    }
    // The chart drawn from the rows, once the rebuild the change queued has run.
    void expectChartOnList()
    {
        if (!QTest::qWaitFor([&] { return charted() == listed(); })) {
            EXPECT_EQ(charted(), listed());
        }
    }
    QXYSeries* series(const QString& name) const { return ::series(chart(), name); }
    // Times of day (ms) of the points a series draws.
    std::vector<qint64> drawnTimes(const QString& name) const
    {
        std::vector<qint64> times;
        for (const QPointF& p : series(name)->points())
            times.push_back(qint64(p.x()) - midnight);
        return times;
    }
    qint64 msecsOfRow(int row) const
    {
        return QDateTime::fromString(rows().cell(row, 0), u"yyyy-MM-dd HH:mm:ss"_s).time().msecsSinceStartOfDay();
    }
    // Where the chart draws a row's sample, in its viewport.
    QPoint pointOfRow(int row) const
    {
        const QPointF value(double(midnight + msecsOfRow(row)), rows().cell(row, 3).toDouble());
        const QPointF inChart = chart().chart()->mapToPosition(value, series(u"遥测值"_s));
        return chart().mapFromScene(chart().chart()->mapToScene(inChart));
    }
    void waitForLayout()
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return chart().isVisible() && chart().chart()->plotArea().width() > 200; }));
    }

    const QDate today = QDate::currentDate();
    const qint64 midnight = QDateTime(today, QTime(0, 0)).toMSecsSinceEpoch(); // where the chart's day starts
};

// The chart's samples are the list's rows (time, value, hand-set) after the
// fill and after each command that changes them.
TEST_P(TrendChartTest, SamplesFollowTheListThroughFillAndCommands)
{
    selectNode(kFeederTag);
    ASSERT_EQ(rows().rowCount(), 288);
    EXPECT_EQ(chart().accessibleName(), u"遥测曲线"_s);
    expectChartOnList();
    EXPECT_EQ(series(u"人工置数"_s)->count(), 6);

    // Modify the first sample: a value set by hand keeps the sample's DataType.
    list().selectRow(0);
    run<TelemetryValueDialog>(cmd::TelemetrySingleValue, [](TelemetryValueDialog& d) {
        typeInto(d, "value", u"12.5"_s);
        clickOk(d);
    });
    expectChartOnList();
    EXPECT_DOUBLE_EQ(chart().samples().front().value, 12.5);
    EXPECT_FALSE(chart().samples().front().handSet);

    // A new sample is hand-set.
    list().clearSelection();
    run<TelemetryValueDialog>(cmd::TelemetrySingleValue, [](TelemetryValueDialog& d) {
        d.findChild<QTimeEdit*>(u"time"_s)->setTime(QTime(23, 59, 58));
        typeInto(d, "value", u"7"_s);
        clickOk(d);
    });
    ASSERT_EQ(rows().rowCount(), 289);
    expectChartOnList();
    EXPECT_EQ(series(u"人工置数"_s)->count(), 7);

    // Deleted rows leave the chart.
    selectListRows({5, 9});
    run<ReasonDialog>(cmd::TelemetryDelete, [](ReasonDialog& d) { clickOk(d); });
    ASSERT_EQ(rows().rowCount(), 287);
    expectChartOnList();

    // The query lists only hand-set samples, and the chart shows them so.
    run<DateSelectDialog>(cmd::TelemetryQuery, [](DateSelectDialog& d) { clickOk(d); });
    ASSERT_EQ(rows().rowCount(), 7);
    expectChartOnList();
    EXPECT_EQ(series(u"人工置数"_s)->count(), 7);
    EXPECT_EQ(gui->messageTexts(), QStringList());
}

// Selected rows are highlighted; a click on a sample selects its row, also in
// a list sorted by another column; the wheel and a dragged rectangle zoom, a
// double-click shows the whole day again.
TEST_P(TrendChartTest, SelectionClicksAndZoom)
{
    selectNode(kFeederTag);
    waitForLayout();
    selectListRows({10, 20});
    EXPECT_EQ(drawnTimes(u"选中"_s), (std::vector<qint64> {msecsOfRow(10), msecsOfRow(20)}));

    list().SortByColumn(3);
    for (int row : {40, 200}) {
        SCOPED_TRACE(row);
        QTest::mouseClick(chart().viewport(), Qt::LeftButton, {}, pointOfRow(row));
        EXPECT_EQ(list().GetSelectedRows(), std::vector<int> {row});
        EXPECT_TRUE(list().viewport()->rect().intersects(list().visualRect(list().currentIndex())));
    }
    const qint64 day = 24 * 3600 * 1000;
    EXPECT_EQ(chart().shownRange(), std::make_pair(qint64(0), day)) << "a click zooms nothing";

    // Two notches in around the sample of row 144 (12:00): it stays under the pointer.
    const QPoint noon = pointOfRow(144);
    QWheelEvent wheel(noon, chart().viewport()->mapToGlobal(noon), {}, {0, 240}, Qt::NoButton, {}, Qt::NoScrollPhase,
                      false);
    QApplication::sendEvent(chart().viewport(), &wheel);
    const auto [from, to] = chart().shownRange();
    EXPECT_NEAR(double(to - from), day * 0.64, 1000);
    EXPECT_NEAR(pointOfRow(144).x(), noon.x(), 2);

    const QRectF plot = chart().chart()->plotArea();
    const QPoint left = chart().mapFromScene(chart().chart()->mapToScene(plot.center() - QPointF(40, 20)));
    const QPoint right = left + QPoint(80, 40);
    QTest::mousePress(chart().viewport(), Qt::LeftButton, {}, left);
    // QTest::mouseMove moves the cursor, which offscreen moves nothing: the event itself.
    QMouseEvent drag(QEvent::MouseMove, right, chart().viewport()->mapToGlobal(right), Qt::NoButton, Qt::LeftButton,
                     {});
    QApplication::sendEvent(chart().viewport(), &drag);
    QTest::mouseRelease(chart().viewport(), Qt::LeftButton, {}, right);
    const auto [bandFrom, bandTo] = chart().shownRange();
    const double msecsPerPixel = double(to - from) / plot.width();
    EXPECT_NEAR(double(bandTo - bandFrom), 80 * msecsPerPixel, 2 * msecsPerPixel);
    // The line draws the samples in range, and one on either side to reach the edges.
    std::vector<qint64> inRange;
    for (int r = 0; r < rows().rowCount(); ++r)
        inRange.push_back(msecsOfRow(r));
    std::sort(inRange.begin(), inRange.end());
    const auto first = std::lower_bound(inRange.begin(), inRange.end(), bandFrom);
    const auto end = std::lower_bound(inRange.begin(), inRange.end(), bandTo);
    EXPECT_EQ(drawnTimes(u"遥测值"_s), std::vector<qint64>(first - 1, end + 1));

    QTest::mouseDClick(chart().viewport(), Qt::LeftButton, {}, left);
    EXPECT_EQ(chart().shownRange(), std::make_pair(qint64(0), day));
}

// 查看 > 遥测曲线 hides and shows the chart in telemetry mode, and a new main
// window remembers it, in Tessera.ini beside DataSource.ini and not in it.
TEST_P(TrendChartTest, ToggleIsRemembered)
{
    QAction* toggle = frame->action(cmd::ToggleTrendChart);
    EXPECT_TRUE(toggle->isChecked());
    EXPECT_FALSE(chart().isVisible()) << "the start page has no chart";
    selectNode(kFeederTag);
    EXPECT_TRUE(chart().isVisible());

    const QByteArray dataSource = configBytes();
    toggle->trigger();
    EXPECT_FALSE(chart().isVisible());
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(u"Tessera.ini"_s)));
    EXPECT_EQ(configBytes(), dataSource);

    frame.reset();
    showMainFrame();
    EXPECT_FALSE(frame->action(cmd::ToggleTrendChart)->isChecked());
    selectNode(kFeederTag);
    EXPECT_FALSE(chart().isVisible());
    frame->action(cmd::ToggleTrendChart)->trigger();
    EXPECT_TRUE(chart().isVisible());
    expectChartOnList(); // the rows filled while it was off
    selectNode({u"越限事件"_s});
    EXPECT_FALSE(chart().isVisible());
    EXPECT_TRUE(settings::ViewSettings(configPath()).trendChartShown());
}

INSTANTIATE_TEST_SUITE_P(Kinds, TrendChartTest, allDatabaseKinds(), kindName);

// A dialog's preview: a second line, in the legend only while it has samples,
// and the value axis makes room for it.
TEST(TrendChartViewTest, PreviewIsASecondLineWhileItHasSamples)
{
    TrendChartView view;
    view.resize(800, 400);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.setDay(QDate(2025, 3, 1));
    view.setSamples({{2, 7200000, 5, false}, {0, 0, 1, false}, {1, 3600000, 3, true}});
    QXYSeries* preview = series(view, u"写入后"_s);
    ASSERT_NE(preview, nullptr);
    EXPECT_FALSE(preview->isVisible());
    const auto* axis = static_cast<QValueAxis*>(view.chart()->axes(Qt::Vertical).first());
    EXPECT_LT(axis->max(), 100);

    view.setPreview({{-1, 5400000, 250, true}, {-1, 1800000, 200, true}});
    EXPECT_TRUE(preview->isVisible());
    EXPECT_TRUE(view.chart()->legend()->markers(preview).first()->isVisible());
    EXPECT_EQ(preview->count(), 2);
    ASSERT_EQ(view.previewSamples().size(), 2u);
    EXPECT_EQ(view.previewSamples().front().msecsOfDay, 1800000) << "sorted by time";
    EXPECT_GE(axis->max(), 250);
    EXPECT_EQ(view.samples().size(), 3u);

    view.setPreview({});
    EXPECT_FALSE(preview->isVisible());
    EXPECT_FALSE(view.chart()->legend()->markers(preview).first()->isVisible());
    EXPECT_LT(axis->max(), 100);
}

} // namespace
