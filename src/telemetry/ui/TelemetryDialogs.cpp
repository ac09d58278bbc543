#include "telemetry/ui/TelemetryDialogs.h"

#include "app/DialogForm.h"
#include "app/GuiSeam.h"
#include "app/ReasonDialog.h"
#include "text/DecimalText.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <tuple>
#include <utility>

namespace tessera {

namespace {

// Message captions of the dialogs that check what was typed.
const QString kSingleValueCaption = QStringLiteral("添加遥测值");
const QString kBatchCaption = QStringLiteral("数据批量处理");
const QString kReplaceCaption = QStringLiteral("数据替换");

QLineEdit* numberField(QFormLayout* form, const QString& label, const char* name, float value)
{
    QLineEdit* edit = addLabelledField(form, label, name);
    edit->setText(QString::number(double(value), 'g', 9));
    return edit;
}

// "开始时间" and "结束时间", opening on the whole day.
std::pair<QTimeEdit*, QTimeEdit*> addTimeRange(QFormLayout* form)
{
    return {addLabelledTime(form, QStringLiteral("开始时间:"), "startTime", QTime(0, 0, 0)),
            addLabelledTime(form, QStringLiteral("结束时间:"), "endTime", QTime(23, 59, 59))};
}

QGroupBox* group(const QString& title, QLayout* content)
{
    auto* box = new QGroupBox(title);
    box->setLayout(content);
    return box;
}

QString boundText(double bound)
{
    return QString::number(bound, 'f', 0);
}

} // namespace

std::optional<float> readNumberField(QDialog* dialog, QLineEdit* field, const QString& caption,
                                     std::optional<double> minimum, std::optional<double> maximum)
{
    const std::optional<float> value = typedSingle(field->text());
    // Bounds compare in single precision, as the fields hold single-precision
    // values: 1e13 typed is the largest maximum, 1000.01 already too large.
    const bool inRange = value && (!minimum || *value >= float(*minimum)) && (!maximum || *value <= float(*maximum));
    if (inRange)
        return value;
    const QString message = (minimum && maximum)
        ? QStringLiteral("请输入一个介于 %1 和 %2 之间的数字。").arg(boundText(*minimum), boundText(*maximum))
        : QStringLiteral("请输入一个数字。");
    refuseField(dialog, field, message, caption);
    return std::nullopt;
}

// ---- Date selection ----------------------------------------------------------

DateSelectDialog::DateSelectDialog(QWidget* parent, Reason reason)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("日期选择"));
    auto* form = new QFormLayout;
    m_date = addLabelledDate(form, QStringLiteral("日 期:"), "date", QDate::currentDate());
    std::tie(m_start, m_end) = addTimeRange(form);
    if (reason == Reason::Asked)
        m_reason = addReasonField(form);
    layOutWithOkCancel(this, form, DialogSize::Fixed);
    m_date->setFocus();
}

telemetry::RangeOfDay DateSelectDialog::range() const
{
    return {m_date->date(), m_start->time(), m_end->time()};
}

QString DateSelectDialog::reason() const
{
    return reasonOf(m_reason);
}

void DateSelectDialog::accept()
{
    if (!m_reason || acceptReason(this, m_reason, windowTitle()))
        QDialog::accept();
}

// ---- Single value ----------------------------------------------------------------

TelemetryValueDialog::TelemetryValueDialog(const telemetry::SingleValue& initial, Commit commit, QWidget* parent)
    : QDialog(parent)
    , m_sample(initial)
    , m_commit(std::move(commit))
{
    setWindowTitle(QStringLiteral("遥测单值修改"));
    auto* form = new QFormLayout;
    m_date = addLabelledDate(form, QStringLiteral("日 期:"), "date", initial.day);
    m_time = addLabelledTime(form, QStringLiteral("时 间:"), "time", initial.time);
    m_value = numberField(form, QStringLiteral("数 值:"), "value", initial.value);
    m_change = numberField(form, QStringLiteral("变化值:"), "change", initial.change);
    // A listed sample keeps its instant: only its values change.
    m_date->setEnabled(initial.add);
    m_time->setEnabled(initial.add);
    m_reason = addReasonField(form);
    layOutWithOkCancel(this, form, DialogSize::Fixed);
    (initial.add ? static_cast<QWidget*>(m_time) : m_value)->setFocus();
}

void TelemetryValueDialog::accept()
{
    const auto value = readNumberField(this, m_value, kSingleValueCaption);
    if (!value)
        return;
    const auto change = readNumberField(this, m_change, kSingleValueCaption);
    if (!change || !acceptReason(this, m_reason, kSingleValueCaption))
        return;
    telemetry::SingleValue sample = m_sample;
    sample.day = m_date->date();
    sample.time = m_time->time();
    sample.value = *value;
    sample.change = *change;
    if (m_commit && !m_commit(sample, reasonOf(m_reason))) {
        warningMessage(this, sample.add ? QStringLiteral("添加遥测值失败!") : QStringLiteral("修改遥测值失败!"),
                       kSingleValueCaption);
        return;
    }
    m_sample = sample;
    QDialog::accept();
}

// ---- Batch setting ------------------------------------------------------------------

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
    methods->addWidget(m_increase);
    methods->addWidget(m_decrease);
    methods->addWidget(random);

    auto* groups = new QVBoxLayout;
    groups->addWidget(group(QStringLiteral("时间设置"), times));
    groups->addWidget(group(QStringLiteral("数值设置"), values));
    groups->addWidget(group(QStringLiteral("处理方式:"), methods));
    m_reason = addReasonRow(groups);
    layOutWithOkCancel(this, groups, DialogSize::Fixed);
    m_date->setFocus();
}

QString BatchSetDialog::reason() const
{
    return reasonOf(m_reason);
}

void BatchSetDialog::accept()
{
    const auto maximum = readNumberField(this, m_maximum, kBatchCaption, 0.0, 1e13);
    if (!maximum)
        return;
    const auto minimum = readNumberField(this, m_minimum, kBatchCaption, 0.0, 1000.0);
    if (!minimum)
        return;
    const QTime start = m_start->time();
    const QTime end = m_end->time();
    const QTime interval = m_interval->time();
    const int intervalSeconds = interval.hour() * 3600 + interval.minute() * 60 + interval.second();
    if (start > end) {
        refuseField(this, m_start, QStringLiteral("开始时间不能大于结束时间!"), kBatchCaption);
        return;
    }
    if (*maximum < *minimum) {
        refuseField(this, m_maximum, QStringLiteral("最大值不能小于最小值!"), kBatchCaption);
        return;
    }
    if (intervalSeconds == 0) {
        refuseField(this, m_interval, QStringLiteral("间隔不能为0!"), kBatchCaption);
        return;
    }
    if (!acceptReason(this, m_reason, kBatchCaption))
        return;
    m_request.day = m_date->date();
    m_request.start = start;
    m_request.end = end;
    m_request.intervalSeconds = intervalSeconds;
    m_request.maximum = *maximum;
    m_request.minimum = *minimum;
    m_request.method = m_increase->isChecked()   ? telemetry::BatchMethod::Increase
                       : m_decrease->isChecked() ? telemetry::BatchMethod::Decrease
                                                 : telemetry::BatchMethod::Random;
    QDialog::accept();
}

// ---- Replacement ------------------------------------------------------------------------

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

void ReplaceDialog::accept()
{
    const bool correct = m_correct->isChecked();
    // The coefficients count only with the correction ticked; a field the
    // user cannot reach is never refused.
    float minimum = 0, maximum = 0;
    if (correct) {
        const auto min = readNumberField(this, m_minimum, kReplaceCaption, 0.0, 1000.0);
        if (!min)
            return;
        const auto max = readNumberField(this, m_maximum, kReplaceCaption, 0.0, 100000.0);
        if (!max)
            return;
        minimum = *min;
        maximum = *max;
    }
    const QTime start = m_start->time();
    const QTime end = m_end->time();
    if (start > end) {
        refuseField(this, m_start, QStringLiteral("开始时间不能大于结束时间!"), kReplaceCaption);
        return;
    }
    if (correct && maximum < minimum) {
        refuseField(this, m_minimum, QStringLiteral("最大系数不能小于最小系数!"), kReplaceCaption);
        return;
    }
    // The target range is deleted before the copy reads: the same day would
    // end empty.
    if (m_source->date() == m_target->date()) {
        refuseField(this, m_source, QStringLiteral("替换日期和被替换日期不能是同一天!"), kReplaceCaption);
        return;
    }
    if (!acceptReason(this, m_reason, kReplaceCaption))
        return;
    m_request.source = m_source->date();
    m_request.target = m_target->date();
    m_request.start = start;
    m_request.end = end;
    m_request.correct = correct;
    m_request.minimumCoefficient = minimum;
    m_request.maximumCoefficient = maximum;
    QDialog::accept();
}

} // namespace tessera
