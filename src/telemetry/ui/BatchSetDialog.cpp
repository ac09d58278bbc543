#include "telemetry/ui/BatchSetDialog.h"

#include "app/DialogForm.h"
#include "app/ReasonDialog.h"
#include "telemetry/ui/PreviewPane.h"
#include "telemetry/ui/TelemetryFields.h"

#include <QDateEdit>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <tuple>

namespace tessera {

namespace {

const QString kBatchCaption = QStringLiteral("数据批量处理");

} // namespace

BatchSetDialog::BatchSetDialog(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("人工批量置数"));
    auto* times = new QFormLayout;
    m_date = addLabelledDate(times, QStringLiteral("日 期:"), "date", QDate::currentDate());
    std::tie(m_start, m_end) = addTimeRange(times);
    m_interval = addLabelledTime(times, QStringLiteral("时间间隔:"), "interval", QTime(0, 10, 0));

    auto* values = new QFormLayout;
    m_minimum = numberField(values, QStringLiteral("最小值:"), "minimum", 0);
    m_maximum = numberField(values, QStringLiteral("最大值:"), "maximum", 0);

    auto* methods = new QHBoxLayout;
    m_increase = new QRadioButton(QStringLiteral("增大"));
    m_increase->setObjectName(QStringLiteral("increase"));
    m_decrease = new QRadioButton(QStringLiteral("减小"));
    m_decrease->setObjectName(QStringLiteral("decrease"));
    auto* random = new QRadioButton(QStringLiteral("随机"));
    random->setObjectName(QStringLiteral("random"));
    random->setChecked(true);
    m_interpolate = new QRadioButton(QStringLiteral("线性插值"));
    m_interpolate->setObjectName(QStringLiteral("interpolate"));
    // The line runs between the samples outside the range: no bounds to give.
    connect(m_interpolate, &QRadioButton::toggled, this, [this](bool on) {
        m_minimum->setEnabled(!on);
        m_maximum->setEnabled(!on);
    });
    methods->addWidget(m_increase);
    methods->addWidget(m_decrease);
    methods->addWidget(random);
    methods->addWidget(m_interpolate);

    auto* groups = new QVBoxLayout;
    groups->addWidget(group(QStringLiteral("时间设置"), times));
    groups->addWidget(group(QStringLiteral("数值设置"), values));
    groups->addWidget(group(QStringLiteral("处理方式:"), methods));
    m_preview = new PreviewPane;
    groups->addWidget(m_preview);
    m_reason = addReasonRow(groups);
    layOutWithOkCancel(this, groups, DialogSize::Fixed);
    m_date->setFocus();
}

QString BatchSetDialog::reason() const
{
    return reasonOf(m_reason);
}

void BatchSetDialog::enablePreview(Preview preview)
{
    m_preview->setCompute([this, preview = std::move(preview)](int) -> std::optional<telemetry::CommandPreview> {
        const auto request = readRequest();
        if (!request)
            return std::nullopt;
        return preview(*request);
    });
}

std::optional<telemetry::BatchRequest> BatchSetDialog::readRequest()
{
    const bool interpolate = m_interpolate->isChecked();
    const std::optional<float> maximum = interpolate ? 0.0f : readNumberField(this, m_maximum, kBatchCaption, 0.0, 1e13);
    if (!maximum)
        return std::nullopt;
    const std::optional<float> minimum = interpolate ? 0.0f : readNumberField(this, m_minimum, kBatchCaption, 0.0, 1000.0);
    if (!minimum)
        return std::nullopt;
    const QTime start = m_start->time();
    const QTime end = m_end->time();
    const QTime interval = m_interval->time();
    const int intervalSeconds = interval.hour() * 3600 + interval.minute() * 60 + interval.second();
    if (start > end) {
        refuseField(this, m_start, QStringLiteral("开始时间不能大于结束时间!"), kBatchCaption);
        return std::nullopt;
    }
    if (*maximum < *minimum) {
        refuseField(this, m_maximum, QStringLiteral("最大值不能小于最小值!"), kBatchCaption);
        return std::nullopt;
    }
    if (intervalSeconds == 0) {
        refuseField(this, m_interval, QStringLiteral("间隔不能为0!"), kBatchCaption);
        return std::nullopt;
    }
    telemetry::BatchRequest request;
    request.day = m_date->date();
    request.start = start;
    request.end = end;
    request.intervalSeconds = intervalSeconds;
    request.maximum = *maximum;
    request.minimum = *minimum;
    request.method = m_increase->isChecked()   ? telemetry::BatchMethod::Increase
                     : m_decrease->isChecked() ? telemetry::BatchMethod::Decrease
                     : interpolate             ? telemetry::BatchMethod::Interpolate
                                               : telemetry::BatchMethod::Random;
    return request;
}

void BatchSetDialog::accept()
{
    const auto request = readRequest();
    if (!request || !acceptReason(this, m_reason, kBatchCaption))
        return;
    m_request = *request;
    QDialog::accept();
}

} // namespace tessera
