#include "telemetry/ui/TelemetryDialogs.h"

#include "text/DecimalText.h"
#include "app/GuiSeam.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>
#include <QVBoxLayout>


namespace tessera {

namespace {

const QString kTimeFormat = QStringLiteral("HH:mm:ss");

QString longDateFormat()
{
    return QLocale(QLocale::Chinese, QLocale::China).dateFormat(QLocale::LongFormat);
}

QDateEdit* dateField(QFormLayout* form, const QString& label, const char* name, const QDate& date)
{
    auto* edit = new QDateEdit(date);
    edit->setObjectName(QLatin1String(name));
    edit->setDisplayFormat(longDateFormat());
    edit->setCalendarPopup(true);
    edit->setAccessibleName(label);
    auto* caption = new QLabel(label);
    caption->setBuddy(edit);
    form->addRow(caption, edit);
    return edit;
}

QTimeEdit* timeField(QFormLayout* form, const QString& label, const char* name, const QTime& time)
{
    auto* edit = new QTimeEdit(time);
    edit->setObjectName(QLatin1String(name));
    edit->setDisplayFormat(kTimeFormat);
    edit->setAccessibleName(label);
    auto* caption = new QLabel(label);
    caption->setBuddy(edit);
    form->addRow(caption, edit);
    return edit;
}

QLineEdit* numberField(QFormLayout* form, const QString& label, const char* name, float value)
{
    auto* edit = new QLineEdit(QString::number(double(value), 'g', 9));
    edit->setObjectName(QLatin1String(name));
    edit->setAccessibleName(label);
    auto* caption = new QLabel(label);
    caption->setBuddy(edit);
    form->addRow(caption, edit);
    return edit;
}

QDialogButtonBox* okCancel(QDialog* dialog)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
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
    warningMessage(dialog, message, caption);
    field->setFocus();
    field->selectAll();
    return std::nullopt;
}

// ---- Date selection ----------------------------------------------------------

DateSelectDialog::DateSelectDialog(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("日期选择"));
    auto* form = new QFormLayout;
    m_date = dateField(form, QStringLiteral("日 期:"), "date", QDate::currentDate());
    m_start = timeField(form, QStringLiteral("开始时间:"), "startTime", QTime(0, 0, 0));
    m_end = timeField(form, QStringLiteral("结束时间:"), "endTime", QTime(23, 59, 59));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(okCancel(this));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    m_date->setFocus();
}

telemetry::RangeOfDay DateSelectDialog::range() const
{
    return {m_date->date(), m_start->time(), m_end->time()};
}

// ---- Single value ----------------------------------------------------------------

namespace {
const QString kSingleValueCaption = QStringLiteral("添加遥测值");
}

TelemetryValueDialog::TelemetryValueDialog(const telemetry::SingleValue& initial, Commit commit, QWidget* parent)
    : QDialog(parent)
    , m_sample(initial)
    , m_commit(std::move(commit))
{
    setWindowTitle(QStringLiteral("遥测单值修改"));
    auto* form = new QFormLayout;
    m_date = dateField(form, QStringLiteral("日 期:"), "date", initial.day);
    m_time = timeField(form, QStringLiteral("时 间:"), "time", initial.time);
    m_value = numberField(form, QStringLiteral("数 值:"), "value", initial.value);
    m_change = numberField(form, QStringLiteral("变化值:"), "change", initial.change);
    // A listed sample keeps its instant: only its values change.
    m_date->setEnabled(initial.add);
    m_time->setEnabled(initial.add);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(okCancel(this));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    (initial.add ? static_cast<QWidget*>(m_time) : m_value)->setFocus();
}

void TelemetryValueDialog::accept()
{
    const auto value = readNumberField(this, m_value, kSingleValueCaption);
    if (!value)
        return;
    const auto change = readNumberField(this, m_change, kSingleValueCaption);
    if (!change)
        return;
    telemetry::SingleValue sample = m_sample;
    sample.day = m_date->date();
    sample.time = m_time->time();
    sample.value = *value;
    sample.change = *change;
    if (m_commit && !m_commit(sample)) {
        warningMessage(this, sample.add ? QStringLiteral("添加遥测值失败!") : QStringLiteral("修改遥测值失败!"),
                       kSingleValueCaption);
        return;
    }
    m_sample = sample;
    QDialog::accept();
}

// ---- Batch setting ------------------------------------------------------------------

namespace {
const QString kBatchCaption = QStringLiteral("数据批量处理");
}

BatchSetDialog::BatchSetDialog(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("人工批量置数"));
    const QDate today = QDate::currentDate();

    auto* times = new QFormLayout;
    m_date = dateField(times, QStringLiteral("日 期:"), "date", today);
    m_start = timeField(times, QStringLiteral("开始时间:"), "startTime", QTime(0, 0, 0));
    m_end = timeField(times, QStringLiteral("结束时间:"), "endTime", QTime(23, 59, 59));
    m_interval = timeField(times, QStringLiteral("时间间隔:"), "interval", QTime(0, 10, 0));

    auto* values = new QFormLayout;
    m_minimum = numberField(values, QStringLiteral("最小值:"), "minimum", 0);
    m_maximum = numberField(values, QStringLiteral("最大值:"), "maximum", 0);

    auto* methods = new QHBoxLayout;
    m_increase = new QRadioButton(QStringLiteral("增大"));
    m_increase->setObjectName(QStringLiteral("increase"));
    m_decrease = new QRadioButton(QStringLiteral("减小"));
    m_decrease->setObjectName(QStringLiteral("decrease"));
    m_random = new QRadioButton(QStringLiteral("随机"));
    m_random->setObjectName(QStringLiteral("random"));
    m_random->setChecked(true);
    methods->addWidget(m_increase);
    methods->addWidget(m_decrease);
    methods->addWidget(m_random);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group(QStringLiteral("时间设置"), times));
    layout->addWidget(group(QStringLiteral("数值设置"), values));
    layout->addWidget(group(QStringLiteral("处理方式:"), methods));
    layout->addWidget(okCancel(this));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    m_date->setFocus();
}

void BatchSetDialog::refuse(QWidget* field, const QString& text)
{
    warningMessage(this, text, kBatchCaption);
    field->setFocus();
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
        refuse(m_start, QStringLiteral("开始时间不能大于结束时间!"));
        return;
    }
    if (*maximum < *minimum) {
        refuse(m_maximum, QStringLiteral("最大值不能小于最小值!"));
        return;
    }
    if (intervalSeconds == 0) {
        refuse(m_interval, QStringLiteral("间隔不能为0!"));
        return;
    }
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

namespace {
const QString kReplaceCaption = QStringLiteral("数据替换");
}

ReplaceDialog::ReplaceDialog(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("遥测数据替换"));
    const QDate today = QDate::currentDate();

    auto* days = new QFormLayout;
    m_source = dateField(days, QStringLiteral("替换日期:"), "sourceDay", today.addDays(-1));
    m_target = dateField(days, QStringLiteral("被替换日期:"), "targetDay", today);
    auto* times = new QFormLayout;
    m_start = timeField(times, QStringLiteral("开始时间:"), "startTime", QTime(0, 0, 0));
    m_end = timeField(times, QStringLiteral("结束时间:"), "endTime", QTime(23, 59, 59));

    auto* correction = new QFormLayout;
    m_correct = new QCheckBox(QStringLiteral("修正"));
    m_correct->setObjectName(QStringLiteral("correction"));
    correction->addRow(m_correct);
    m_minimum = numberField(correction, QStringLiteral("最小系数:"), "minimumCoefficient", 0);
    m_maximum = numberField(correction, QStringLiteral("最大系数:"), "maximumCoefficient", 0);
    enableCoefficients(false);
    connect(m_correct, &QCheckBox::toggled, this, &ReplaceDialog::enableCoefficients);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group(QStringLiteral("日期选择"), days));
    layout->addWidget(group(QStringLiteral("时间选择"), times));
    layout->addWidget(group(QStringLiteral("   修 正 "), correction));
    layout->addWidget(okCancel(this));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    m_source->setFocus();
}

void ReplaceDialog::enableCoefficients(bool on)
{
    m_minimum->setEnabled(on);
    m_maximum->setEnabled(on);
}

void ReplaceDialog::refuse(QWidget* field, const QString& text)
{
    warningMessage(this, text, kReplaceCaption);
    field->setFocus();
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
        refuse(m_start, QStringLiteral("开始时间不能大于结束时间!"));
        return;
    }
    if (correct && maximum < minimum) {
        refuse(m_minimum, QStringLiteral("最大系数不能小于最小系数!"));
        return;
    }
    // The target range is deleted before the copy reads: the same day would
    // end empty.
    if (m_source->date() == m_target->date()) {
        refuse(m_source, QStringLiteral("替换日期和被替换日期不能是同一天!"));
        return;
    }
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
