#include "app/DataSourceCommand.h"

#include "app/CDataSourceDlg.h"
#include "app/CTesseraApp.h"
#include "app/GuiSeam.h"
#include "settings/CIniFile.h"
#include "settings/SettingsKeys.h"

namespace tessera {

bool runDataSourceCommand(QWidget* frame, const std::function<void()>& afterChange)
{
    CTesseraApp& app = *CTesseraApp::Instance();
    CDataSourceDlg dialog(frame);
    {
        // Read only: the dialog writes the file itself when it connects.
        CIniFile ini;
        if (ini.Load(app.GetConfigurationPath()))
            dialog.setValues(ini.Get(settings::kDataSourceSection, settings::kDataSourceName),
                             ini.Get(settings::kDataSourceSection, settings::kUserName),
                             ini.Get(settings::kDataSourceSection, settings::kPassword));
        else
            warningMessage(frame, QStringLiteral("数据源配置文件不能打开!"), QStringLiteral("数据源配置"));
    }
    if (execDialog(dialog) != QDialog::Accepted)
        return false;
    if (afterChange)
        afterChange();
    return true;
}

} // namespace tessera
