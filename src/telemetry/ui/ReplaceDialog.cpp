#include "telemetry/ui/ReplaceDialog.h"

#include "app/DialogForm.h"
#include "app/ReasonDialog.h"
#include "telemetry/ui/PreviewPane.h"
#include "telemetry/ui/TelemetryFields.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <tuple>

namespace tessera {

namespace {

const QString kReplaceCaption = QStringLiteral("数据替换");

} // namespace

ReplaceDialog::ReplaceDialog(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("遥测数据替换"));
    const QDate today = QDate::currentDate();

    auto* days = new QFormLayout;
    m_source = addLabelledDate(days, QStringLiteral("替换日期:"), "sourceDay", today.addDays(-1));
    m_target = addLabelledDate(days, QStringLiteral("被替换日期:"), "targetDay", today);
    auto* times = new QFormLayout;
    std::tie(m_start, m_end) = addTimeRange(times);

    auto* correction = new QFormLayout;
    m_correct = new QCheckBox(QStringLiteral("修正"));
    m_correct->setObjectName(QStringLiteral("correction"));
    correction->addRow(m_correct);
    m_minimum = numberField(correction, QStringLiteral("最小系数:"), "minimumCoefficient", 0);
    m_maximum = numberField(correction, QStringLiteral("最大系数:"), "maximumCoefficient", 0);
    enableCoefficients(false);
    connect(m_correct, &QCheckBox::toggled, this, &ReplaceDialog::enableCoefficients);

    auto* groups = new QVBoxLayout;
    groups->addWidget(group(QStringLiteral("日期选择"), days));
    groups->addWidget(group(QStringLiteral("时间选择"), times));
    groups->addWidget(group(QStringLiteral("   修 正 "), correction));
    m_preview = new PreviewPane;
    groups->addWidget(m_preview);
    m_reason = addReasonRow(groups);
    layOutWithOkCancel(this, groups, DialogSize::Fixed);
    m_source->setFocus();
}

QString ReplaceDialog::reason() const
{
    return reasonOf(m_reason);
}

void ReplaceDialog::enableCoefficients(bool on)
{
    m_minimum->setEnabled(on);
    m_maximum->setEnabled(on);
}

void ReplaceDialog::enablePreview(Preview preview, std::function<QString(int)> tagName)
{
    m_preview->setCompute(
        [this, preview = std::move(preview)](int tagId) -> std::optional<telemetry::CommandPreview> {
            const auto request = readRequest();
            if (!request)
                return std::nullopt;
            return preview(*request, tagId);
        },
        std::move(tagName));
}

std::optional<telemetry::ReplaceRequest> ReplaceDialog::readRequest()
{
    const bool correct = m_correct->isChecked();
    // The coefficients count only with the correction ticked; a field the
    // user cannot reach is never refused.
    float minimum = 0, maximum = 0;
    if (correct) {
        const auto min = readNumberField(this, m_minimum, kReplaceCaption, 0.0, 1000.0);
        if (!min)
            return std::nullopt;
        const auto max = readNumberField(this, m_maximum, kReplaceCaption, 0.0, 100000.0);
        if (!max)
            return std::nullopt;
        minimum = *min;
        maximum = *max;
    }
    const QTime start = m_start->time();
    const QTime end = m_end->time();
    if (start > end) {
        refuseField(this, m_start, QStringLiteral("开始时间不能大于结束时间!"), kReplaceCaption);
        return std::nullopt;
    }
    if (correct && maximum < minimum) {
        refuseField(this, m_minimum, QStringLiteral("最大系数不能小于最小系数!"), kReplaceCaption);
        return std::nullopt;
    }
    // The target range is deleted before the copy reads: the same day would
    // end empty.
    if (m_source->date() == m_target->date()) {
        refuseField(this, m_source, QStringLiteral("替换日期和被替换日期不能是同一天!"), kReplaceCaption);
        return std::nullopt;
    }
    telemetry::ReplaceRequest request;
    request.source = m_source->date();
    request.target = m_target->date();
    request.start = start;
    request.end = end;
    request.correct = correct;
    request.minimumCoefficient = minimum;
    request.maximumCoefficient = maximum;
    return request;
}

void ReplaceDialog::accept()
{
    const auto request = readRequest();
    if (!request || !acceptReason(this, m_reason, kReplaceCaption))
        return;
    m_request = *request;
    QDialog::accept();
}

} // namespace tessera
