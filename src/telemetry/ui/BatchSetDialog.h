#pragma once

#include "telemetry/TelemetryStore.h"

#include <QDialog>

class QDateEdit;
class QLineEdit;
class QRadioButton;
class QTimeEdit;

namespace tessera {

// "人工批量置数": a series of samples over a range of one day.
class BatchSetDialog : public QDialog {
    Q_OBJECT
public:
    explicit BatchSetDialog(QWidget* parent = nullptr);
    // Valid after OK; the tag is the command's to fill in.
    const telemetry::BatchRequest& request() const { return m_request; }
    QString reason() const;
    void accept() override;

private:
    telemetry::BatchRequest m_request;
    QLineEdit* m_reason = nullptr;
    QDateEdit* m_date = nullptr;
    QTimeEdit* m_start = nullptr;
    QTimeEdit* m_end = nullptr;
    QTimeEdit* m_interval = nullptr;
    QLineEdit* m_minimum = nullptr;
    QLineEdit* m_maximum = nullptr;
    QRadioButton* m_increase = nullptr;
    QRadioButton* m_decrease = nullptr; // neither ticked: random
};

} // namespace tessera
