#pragma once

#include <QString>

namespace tessera::settings {

// The program's own choices, in Tessera.ini beside DataSource.ini: other
// programs read DataSource.ini, so nothing of the windows goes there.
class ViewSettings {
public:
    // `configurationPath` is the path of DataSource.ini.
    explicit ViewSettings(const QString& configurationPath);

    const QString& path() const { return m_path; }
    // The trend chart under the telemetry list; shown unless turned off.
    bool trendChartShown() const;
    void setTrendChartShown(bool shown);
    // The trend's "原值" line; shown unless turned off.
    bool originalValuesShown() const;
    void setOriginalValuesShown(bool shown);
    // The copy dialog's "并行": tables copied at once; 1 unless set.
    int copyJobs() const;
    void setCopyJobs(int jobs);

private:
    QString m_path;
};

} // namespace tessera::settings
