#include "app/CLoginDlg.h"

#include "app/CTesseraApp.h"
#include "app/DialogForm.h"
#include "app/GuiSeam.h"
#include "app/SettingsUpdate.h"
#include "settings/CIniFile.h"
#include "settings/Password.h"
#include "settings/SettingsKeys.h"

#include <QFormLayout>
#include <QLineEdit>

namespace tessera {

namespace {

const QString kCaption = QStringLiteral("用户登录");
const QString kWrongUserName = QStringLiteral("请填写正确的用户名称!");
const QString kWrongPassword = QStringLiteral("请填写正确的登录口令!");
// The scrambling is defined on printable ASCII only.
const QString kUnscramblablePassword = QStringLiteral("登录口令只能包含英文字母、数字和符号!");
const QString kUnreadableSettings = QStringLiteral("读配置文件失败!");

} // namespace

CLoginDlg::CLoginDlg(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(kCaption);

    auto* form = new QFormLayout;
    m_userName = addLabelledField(form, QStringLiteral("用户名称:"), "userName", false, kMaxFieldLength);
    m_password = addLabelledField(form, QStringLiteral("登录口令:"), "password", true, kMaxFieldLength);
    m_userName->setMinimumWidth(200);
    layOutWithOkCancel(this, form, DialogSize::Fixed, QStringLiteral("登录"));

    // First run: the built-in account's name is the only one that can work.
    m_userName->setText(kBuiltInUserName);
    m_password->setFocus();
}

void CLoginDlg::setStoredCredentialMode(const QString& storedUserName)
{
    m_storedMode = true;
    m_userName->setText(storedUserName);
    (storedUserName.isEmpty() ? m_userName : m_password)->setFocus();
}

QString CLoginDlg::userName() const
{
    return m_userName->text();
}

void CLoginDlg::accept()
{
    const QString userName = m_userName->text();
    const QString password = m_password->text();
    const std::optional<QString> scrambled = ScramblePassword(password, kPasswordScrambleKey);
    if (!scrambled) {
        refuseField(this, m_password, kUnscramblablePassword, kCaption);
        return;
    }
    const bool accepted = m_storedMode ? checkStoredAccount(userName, *scrambled)
                                       : checkAndStoreBuiltInAccount(userName, password, *scrambled);
    if (accepted)
        QDialog::accept();
}

bool CLoginDlg::checkStoredAccount(const QString& userName, const QString& scrambled)
{
    const QString path = CTesseraApp::Instance()->GetConfigurationPath();
    CIniFile ini;
    if (!ini.Load(path)) {
        warningMessage(this, kUnreadableSettings, kCaption);
        return false;
    }
    if (userName != ini.Get(settings::kUserSection, settings::kUserName)) {
        refuseField(this, m_userName, kWrongUserName, kCaption);
        return false;
    }
    if (scrambled != ini.Get(settings::kUserSection, settings::kPassword)) {
        refuseField(this, m_password, kWrongPassword, kCaption);
        return false;
    }
    return true;
}

bool CLoginDlg::checkAndStoreBuiltInAccount(const QString& userName, const QString& password,
                                            const QString& scrambled)
{
    if (userName != kBuiltInUserName) {
        refuseField(this, m_userName, kWrongUserName, kCaption);
        return false;
    }
    if (password != kBuiltInPassword) {
        refuseField(this, m_password, kWrongPassword, kCaption);
        return false;
    }
    CIniFile ini;
    if (!loadSettingsForUpdate(ini, this, kCaption))
        return false;
    ini.Set(settings::kUserSection, settings::kUserName, userName);
    ini.Set(settings::kUserSection, settings::kPassword, scrambled);
    saveSettings(ini, this, kCaption);
    return true;
}

} // namespace tessera
