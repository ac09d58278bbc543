#include "telemetry/ui/TelemetryFields.h"

#include "app/DialogForm.h"
#include "text/DecimalText.h"

#include <QDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QTime>
#include <QTimeEdit>

namespace tessera {

namespace {

QString boundText(double bound)
{
    return QString::number(bound, 'f', 0);
}

} // namespace

QLineEdit* numberField(QFormLayout* form, const QString& label, const char* name, float value)
{
    QLineEdit* edit = addLabelledField(form, label, name);
    edit->setText(QString::number(double(value), 'g', 9));
    return edit;
}

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

} // namespace tessera
