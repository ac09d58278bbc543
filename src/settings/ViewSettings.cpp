#include "settings/ViewSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace tessera::settings {

namespace {

const QString kTrendChartKey = QStringLiteral("view/trendChart");

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

} // namespace tessera::settings
