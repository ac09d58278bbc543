#include "app/SettingsUpdate.h"

#include "app/CTesseraApp.h"
#include "app/GuiSeam.h"
#include "settings/CIniFile.h"

#include <QDir>
#include <QFileInfo>

namespace tessera {

bool loadSettingsForUpdate(CIniFile& ini, QWidget* owner, const QString& caption)
{
    const QString path = CTesseraApp::Instance()->GetConfigurationPath();
    if (!ini.Load(path) && QFileInfo::exists(path)) {
        warningMessage(owner, QStringLiteral("读配置文件失败!"), caption);
        return false;
    }
    return true;
}

void saveSettings(CIniFile& ini, QWidget* owner, const QString& caption)
{
    if (!ini.Save())
        warningMessage(owner,
                       QStringLiteral("保存配置文件失败!\n%1")
                           .arg(QDir::toNativeSeparators(CTesseraApp::Instance()->GetConfigurationPath())),
                       caption);
}

} // namespace tessera
