#include "telemetry/ui/PreviewPane.h"

#include "app/GuiSeam.h"
#include "app/WaitCursor.h"
#include "db/DbError.h"
#include "schema/Schema.h"
#include "ui/TrendChartView.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tessera {

namespace {

std::vector<telemetry::TrendSample> trendOf(const telemetry::SampleRows& rows)
{
    std::vector<telemetry::TrendSample> samples;
    samples.reserve(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto& row = rows[i];
        telemetry::TrendSample s;
        s.row = int(i);
        s.msecsOfDay = std::get<QDateTime>(row[0]).time().msecsSinceStartOfDay();
        s.value = std::get<double>(row[3]);
        s.handSet = std::get<qint64>(row[2]) == kManualDataType;
        samples.push_back(s);
    }
    return samples;
}

} // namespace

PreviewPane::PreviewPane(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("previewPane"));
    m_button = new QPushButton(QStringLiteral("预览(&P)"));
    m_button->setObjectName(QStringLiteral("previewButton"));
    m_button->setAccessibleName(QStringLiteral("预览"));
    m_summary = new QLabel;
    m_summary->setObjectName(QStringLiteral("previewSummary"));
    m_tags = new QComboBox;
    m_tags->setObjectName(QStringLiteral("previewTag"));
    m_tags->setAccessibleName(QStringLiteral("曲线"));
    m_tags->hide();
    m_chart = new TrendChartView;
    m_chart->setObjectName(QStringLiteral("previewChart"));
    m_chart->setAccessibleName(QStringLiteral("预览曲线"));
    m_chart->setMinimumSize(520, 260);
    m_chart->hide();

    auto* row = new QHBoxLayout;
    row->addWidget(m_button);
    row->addWidget(m_summary, 1);
    row->addWidget(m_tags);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(row);
    layout->addWidget(m_chart, 1);
    QWidget::hide();

    connect(m_button, &QPushButton::clicked, this, &PreviewPane::preview);
    connect(m_tags, &QComboBox::activated, this, &PreviewPane::preview);
}

void PreviewPane::setCompute(Compute compute, TagName tagName)
{
    m_compute = std::move(compute);
    m_tagName = std::move(tagName);
    setVisible(bool(m_compute));
}

QString PreviewPane::summary() const
{
    return m_summary->text();
}

void PreviewPane::preview()
{
    if (!m_compute)
        return;
    const int tag = m_tags->isVisible() ? m_tags->currentData().toInt() : 0;
    std::optional<telemetry::CommandPreview> preview;
    QString failure;
    {
        WaitCursor wait;
        try {
            preview = m_compute(tag);
        } catch (const db::DbError& error) {
            failure = error.message();
        }
    }
    if (preview)
        show(*preview);
    else if (!failure.isEmpty())
        warningMessage(window(), QStringLiteral("预览失败!\n") + failure, window()->windowTitle());
}

void PreviewPane::show(const telemetry::CommandPreview& preview)
{
    m_summary->setText(QStringLiteral("将删除%1行, 写入%2行").arg(preview.deleted).arg(preview.writes));
    const QSignalBlocker quiet(m_tags);
    m_tags->clear();
    for (int tag : preview.tags)
        m_tags->addItem(m_tagName ? m_tagName(tag) : QString::number(tag), tag);
    m_tags->setCurrentIndex(m_tags->findData(preview.tagId));
    m_tags->setVisible(preview.tags.size() > 1);

    m_chart->setDay(preview.day);
    m_chart->setSamples(trendOf(preview.current));
    m_chart->setPreview(trendOf(preview.written));
    m_chart->show();
}

} // namespace tessera
