#include "telemetry/ui/TelemetryValueDialog.h"

#include "app/CommandJournal.h"
#include "app/DialogForm.h"
#include "app/GuiSeam.h"
#include "app/ReasonDialog.h"
#include "telemetry/ui/TelemetryFields.h"

#include <QDateEdit>
#include <QFormLayout>
#include <QLineEdit>
#include <QTimeEdit>

namespace tessera {

namespace {

const QString kSingleValueCaption = QStringLiteral("添加遥测值");

} // namespace

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
    QString detail;
    if (m_commit && !m_commit(sample, reasonOf(m_reason), detail)) {
        failureMessage(this, sample.add ? QStringLiteral("添加遥测值失败!") : QStringLiteral("修改遥测值失败!"),
                       kSingleValueCaption, detail);
        return;
    }
    m_sample = sample;
    QDialog::accept();
}

} // namespace tessera
