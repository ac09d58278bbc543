#include "settings/ViewSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>

namespace tessera::settings {

namespace {

const QString kTrendChartKey = QStringLiteral("view/trendChart");
const QString kCopyJobsKey = QStringLiteral("copy/jobs");
const QString kOriginalValuesKey = QStringLiteral("view/originalValues");

} // namespace

ViewSettings::ViewSettings(const QString& configurationPath)
    : m_path(QFileInfo(configurationPath).dir().filePath(QStringLiteral("Tessera.ini")))
{
}

bool ViewSettings::trendChartShown() const
{
    return QSettings(m_path, QSettings::IniFormat).value(kTrendChartKey, true).toBool();
}

void ViewSettings::setTrendChartShown(bool shown)
{
    QSettings(m_path, QSettings::IniFormat).setValue(kTrendChartKey, shown);
}

bool ViewSettings::originalValuesShown() const
{
    return QSettings(m_path, QSettings::IniFormat).value(kOriginalValuesKey, true).toBool();
}

void ViewSettings::setOriginalValuesShown(bool shown)
{
    QSettings(m_path, QSettings::IniFormat).setValue(kOriginalValuesKey, shown);
}

int ViewSettings::copyJobs() const
{
    return std::max(1, QSettings(m_path, QSettings::IniFormat).value(kCopyJobsKey, 1).toInt());
}

void ViewSettings::setCopyJobs(int jobs)
{
    QSettings(m_path, QSettings::IniFormat).setValue(kCopyJobsKey, jobs);
}

} // namespace tessera::settings
