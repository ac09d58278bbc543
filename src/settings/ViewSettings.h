#pragma once

#include <QString>

namespace tessera::settings {

// The main window's own choices, in Tessera.ini beside DataSource.ini: other
// programs read DataSource.ini, so nothing of the window goes there.
class ViewSettings {
public:
    // `configurationPath` is the path of DataSource.ini.
    explicit ViewSettings(const QString& configurationPath);

    const QString& path() const { return m_path; }
    // The trend chart under the telemetry list; shown unless turned off.
    bool trendChartShown() const;
    void setTrendChartShown(bool shown);

private:
    QString m_path;
};

} // namespace tessera::settings
