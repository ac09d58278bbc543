#pragma once

#include "telemetry/TelemetryPreview.h"

#include <QDialog>

#include <functional>
#include <optional>

class QDateEdit;
class QLineEdit;
class QRadioButton;
class QTimeEdit;

namespace tessera {

class PreviewPane;

// "人工批量置数": a series of samples over a range of one day.
class BatchSetDialog : public QDialog {
    Q_OBJECT
public:
    explicit BatchSetDialog(QWidget* parent = nullptr);
    // Valid after OK; the tag is the command's to fill in.
    const telemetry::BatchRequest& request() const { return m_request; }
    QString reason() const;
    void accept() override;

    // The series is drawn from this source; a preview draws from a copy of
    // it, so the series previewed is the series written.
    telemetry::RandomSource random() const { return m_random; }
    // Shows "预览": `preview` computes it for the fields' request.
    using Preview = std::function<telemetry::CommandPreview(const telemetry::BatchRequest&)>;
    void enablePreview(Preview preview);
    PreviewPane* previewPane() const { return m_preview; }

private:
    // The fields as a request, or nullopt after refusing one.
    std::optional<telemetry::BatchRequest> readRequest();

    telemetry::BatchRequest m_request;
    telemetry::RandomSource m_random = telemetry::RandomSource::fromClock();
    PreviewPane* m_preview = nullptr;
    QLineEdit* m_reason = nullptr;
    QDateEdit* m_date = nullptr;
    QTimeEdit* m_start = nullptr;
    QTimeEdit* m_end = nullptr;
    QTimeEdit* m_interval = nullptr;
    QLineEdit* m_minimum = nullptr;
    QLineEdit* m_maximum = nullptr;
    QRadioButton* m_increase = nullptr;
    QRadioButton* m_decrease = nullptr; // neither ticked: random
    QRadioButton* m_interpolate = nullptr;
};

} // namespace tessera
