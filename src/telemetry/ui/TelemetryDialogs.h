#pragma once

#include "telemetry/TelemetryStore.h"

#include <QDialog>

#include <functional>
#include <optional>

class QCheckBox;
class QDateEdit;
class QLineEdit;
class QRadioButton;
class QTimeEdit;

// The dialogs of the telemetry commands. They collect and check what the
// user asks for; the commands run the SQL.
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

// "遥测单值修改": adds a sample, or changes the values of a listed one.
class TelemetryValueDialog : public QDialog {
    Q_OBJECT
public:
    // Writes the sample for the reason given; false keeps the dialog open
    // with the failure message.
    using Commit = std::function<bool(const telemetry::SingleValue&, const QString& reason)>;

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

// Reads a number field; a text that is no number, or one outside the
// bounds, is refused with its message and gets the focus.
std::optional<float> readNumberField(QDialog* dialog, QLineEdit* field, const QString& caption,
                                     std::optional<double> minimum = std::nullopt,
                                     std::optional<double> maximum = std::nullopt);

} // namespace tessera
