#include "app/DialogFields.h"

#include "app/CTesseraApp.h"
#include "app/GuiSeam.h"
#include "settings/IniFile.h"

#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

namespace tessera {

QLineEdit* addLabelledField(QFormLayout* form, const QString& label, const char* objectName, bool masked,
                            int maxLength)
{
    auto* edit = new QLineEdit;
    edit->setObjectName(QLatin1String(objectName));
    if (maxLength > 0)
        edit->setMaxLength(maxLength);
    edit->setAccessibleName(label);
    if (masked)
        edit->setEchoMode(QLineEdit::Password);
    auto* caption = new QLabel(label);
    caption->setBuddy(edit);
    form->addRow(caption, edit);
    return edit;
}

bool loadSettingsForUpdate(CIniFile& ini, QWidget* owner, const QString& caption)
{
    const QString path = CTesseraApp::instance()->configurationPath();
    if (!ini.Load(path) && QFileInfo::exists(path)) {
        warningMessage(owner, QStringLiteral("读配置文件失败!"), caption);
        return false;
    }
    return true;
}

} // namespace tessera
