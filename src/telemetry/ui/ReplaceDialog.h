#pragma once

#include "telemetry/TelemetryPreview.h"

#include <QDialog>

#include <functional>
#include <optional>

class QCheckBox;
class QDateEdit;
class QLineEdit;
class QTimeEdit;

namespace tessera {

class PreviewPane;

// "遥测数据替换": a range of one day copied from another day.
class ReplaceDialog : public QDialog {
    Q_OBJECT
public:
    explicit ReplaceDialog(QWidget* parent = nullptr);
    const telemetry::ReplaceRequest& request() const { return m_request; }
    QString reason() const;
    void accept() override;

    // The corrections are drawn from this source; a preview draws from a
    // copy of it, so the rows previewed are the rows written.
    telemetry::RandomSource random() const { return m_random; }
    // Shows "预览": `preview` computes it for the fields' request and a tag
    // (0: the first), `tagName` names the tags to choose from.
    using Preview = std::function<telemetry::CommandPreview(const telemetry::ReplaceRequest&, int tagId)>;
    void enablePreview(Preview preview, std::function<QString(int)> tagName);
    PreviewPane* previewPane() const { return m_preview; }

private:
    void enableCoefficients(bool on);
    // The fields as a request, or nullopt after refusing one.
    std::optional<telemetry::ReplaceRequest> readRequest();

    telemetry::ReplaceRequest m_request;
    telemetry::RandomSource m_random = telemetry::RandomSource::fromClock();
    PreviewPane* m_preview = nullptr;
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
