#pragma once

#include "telemetry/TelemetryStore.h"

#include <QDialog>

class QCheckBox;
class QDateEdit;
class QLineEdit;
class QTimeEdit;

namespace tessera {

// "遥测数据替换": a range of one day copied from another day.
class ReplaceDialog : public QDialog {
    Q_OBJECT
public:
    explicit ReplaceDialog(QWidget* parent = nullptr);
    const telemetry::ReplaceRequest& request() const { return m_request; }
    QString reason() const;
    void accept() override;

private:
    void enableCoefficients(bool on);

    telemetry::ReplaceRequest m_request;
    QLineEdit* m_reason = nullptr;
    QDateEdit* m_source = nullptr;
    QDateEdit* m_target = nullptr;
    QTimeEdit* m_start = nullptr;
    QTimeEdit* m_end = nullptr;
    QCheckBox* m_correct = nullptr;
    QLineEdit* m_minimum = nullptr;
    QLineEdit* m_maximum = nullptr;
};

} // namespace tessera
