#pragma once

#include <QString>

#include <optional>
#include <utility>

class QDialog;
class QFormLayout;
class QGroupBox;
class QLayout;
class QLineEdit;
class QTime;
class QTimeEdit;

// The fields the telemetry dialogs share.
namespace tessera {

// A number field opening on a value.
QLineEdit* numberField(QFormLayout* form, const QString& label, const char* name, float value);
// "开始时间" and "结束时间", opening on the whole day.
std::pair<QTimeEdit*, QTimeEdit*> addTimeRange(QFormLayout* form);
// A titled group around a layout.
QGroupBox* group(const QString& title, QLayout* content);

// Reads a number field; a text that is no number, or one outside the
// bounds, is refused with its message and gets the focus.
std::optional<float> readNumberField(QDialog* dialog, QLineEdit* field, const QString& caption,
                                     std::optional<double> minimum = std::nullopt,
                                     std::optional<double> maximum = std::nullopt);

} // namespace tessera
