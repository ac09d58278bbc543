#pragma once

#include "telemetry/TelemetryPreview.h"

#include <QWidget>

#include <functional>
#include <optional>

class QComboBox;
class QLabel;
class QPushButton;

namespace tessera {

class TrendChartView;

// The "预览" part of a writing dialog: the button, what the command would
// delete and write, a choice of tag where it writes several, and a chart of
// the tag's day now beside the rows the command would write ("预览曲线").
class PreviewPane : public QWidget {
    Q_OBJECT
public:
    // The preview of the dialog's current fields for a tag (0: the command's
    // own choice); nullopt when a field was refused (the dialog said why).
    using Compute = std::function<std::optional<telemetry::CommandPreview>(int tagId)>;
    // A tag's name for the choice of tag.
    using TagName = std::function<QString(int tagId)>;

    explicit PreviewPane(QWidget* parent = nullptr);
    // Until a computation is given, the pane stays hidden.
    void setCompute(Compute compute, TagName tagName = {});

    void preview();
    TrendChartView* chart() const { return m_chart; }
    QString summary() const;

private:
    void show(const telemetry::CommandPreview& preview);

    Compute m_compute;
    TagName m_tagName;
    QPushButton* m_button = nullptr;
    QLabel* m_summary = nullptr;
    QComboBox* m_tags = nullptr;
    TrendChartView* m_chart = nullptr;
};

} // namespace tessera
