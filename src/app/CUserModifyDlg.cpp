#include "app/CUserModifyDlg.h"

#include "app/DialogForm.h"
#include "app/SettingsUpdate.h"
#include "settings/CIniFile.h"
#include "settings/Password.h"
#include "settings/SettingsKeys.h"

#include <QFormLayout>
#include <QLineEdit>

namespace tessera {

namespace {

const QString kCaption = QStringLiteral("用户修改");

} // namespace

CUserModifyDlg::CUserModifyDlg(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(kCaption);

    auto* form = new QFormLayout;
    m_userName = addLabelledField(form, QStringLiteral("用户名称:"), "userName", false, kMaxFieldLength);
    m_password = addLabelledField(form, QStringLiteral("用户口令:"), "password", true, kMaxFieldLength);
    m_confirmation = addLabelledField(form, QStringLiteral("口令确认:"), "confirmation", true, kMaxFieldLength);
    m_userName->setMinimumWidth(200);
    layOutWithOkCancel(this, form, DialogSize::Fixed);
    m_userName->setFocus();
}

void CUserModifyDlg::accept()
{
    const QString userName = m_userName->text();
    const QString password = m_password->text();
    if (userName.isEmpty()) {
        refuseField(this, m_userName, QStringLiteral("用户名称不能为空!"), kCaption);
        return;
    }
    if (password != m_confirmation->text()) {
        refuseField(this, m_confirmation, QStringLiteral("确认口令和用户口令不相同!"), kCaption);
        return;
    }
    const std::optional<QString> scrambled = ScramblePassword(password, kPasswordScrambleKey);
    if (!scrambled) {
        refuseField(this, m_password, QStringLiteral("用户口令只能包含英文字母、数字和符号!"), kCaption);
        return;
    }

    CIniFile ini;
    if (!loadSettingsForUpdate(ini, this, kCaption))
        return;
    // Refused when the name would not read back as typed (blanks around it,
    // characters the file's code page lacks); the store stays unchanged then.
    if (!ini.Set(settings::kUserSection, settings::kUserName, userName)) {
        refuseField(this, m_userName, QStringLiteral("用户名称的首尾不能是空格,也不能包含无法保存的字符!"),
                    kCaption);
        return;
    }
    ini.Set(settings::kUserSection, settings::kPassword, *scrambled);
    saveSettings(ini, this, kCaption);
    QDialog::accept();
}

} // namespace tessera
