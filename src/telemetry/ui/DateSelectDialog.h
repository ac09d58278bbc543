#pragma once

#include "telemetry/TelemetryOperations.h"

#include <QDialog>

class QDateEdit;
class QLineEdit;
class QTimeEdit;

namespace tessera {

// "日期选择": a day and a time range on it (query and zeroing; the zeroing
// also asks for the reason).
class DateSelectDialog : public QDialog {
    Q_OBJECT
public:
    enum class Reason { NotAsked, Asked };
    explicit DateSelectDialog(QWidget* parent = nullptr, Reason reason = Reason::NotAsked);
    telemetry::RangeOfDay range() const;
    QString reason() const;
    void accept() override;

private:
    QLineEdit* m_reason = nullptr;
    QDateEdit* m_date = nullptr;
    QTimeEdit* m_start = nullptr;
    QTimeEdit* m_end = nullptr;
};

} // namespace tessera
