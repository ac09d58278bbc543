#include "telemetry/ui/DateSelectDialog.h"

#include "app/DialogForm.h"
#include "app/ReasonDialog.h"
#include "telemetry/ui/TelemetryFields.h"

#include <QDateEdit>
#include <QFormLayout>
#include <QLineEdit>
#include <QTimeEdit>

#include <tuple>

namespace tessera {

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

} // namespace tessera
