#pragma once

#include "telemetry/TelemetryOperations.h"

#include <QDialog>

#include <functional>

class QDateEdit;
class QLineEdit;
class QTimeEdit;

namespace tessera {

// "遥测单值修改": adds a sample, or changes the values of a listed one.
class TelemetryValueDialog : public QDialog {
    Q_OBJECT
public:
    // Writes the sample for the reason given; false keeps the dialog open
    // with the failure message.
    // `detail` takes the driver's text of a failure.
    using Commit = std::function<bool(const telemetry::SingleValue&, const QString& reason, QString& detail)>;

    TelemetryValueDialog(const telemetry::SingleValue& initial, Commit commit, QWidget* parent = nullptr);
    // What was written, once the dialog closed with OK.
    const telemetry::SingleValue& sample() const { return m_sample; }
    void accept() override;

private:
    telemetry::SingleValue m_sample;
    Commit m_commit;
    QLineEdit* m_reason = nullptr;
    QDateEdit* m_date = nullptr;
    QTimeEdit* m_time = nullptr;
    QLineEdit* m_value = nullptr;
    QLineEdit* m_change = nullptr;
};

} // namespace tessera
