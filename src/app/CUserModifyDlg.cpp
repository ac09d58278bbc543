#include "app/CUserModifyDlg.h"

#include "app/CTesseraApp.h"
#include "app/DialogFields.h"
#include "app/GuiSeam.h"
#include "settings/IniFile.h"
#include "settings/Password.h"
#include "settings/SettingsKeys.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tessera {

namespace {

const QString kCaption = QStringLiteral("用户修改");

} // namespace

CUserModifyDlg::CUserModifyDlg(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(kCaption);

    auto* form = new QFormLayout;
    m_userName = addLabelledField(form, QStringLiteral("用户名称:"), "userName", false, CUserModifyDlg::kMaxFieldLength);
    m_password = addLabelledField(form, QStringLiteral("用户口令:"), "password", true, CUserModifyDlg::kMaxFieldLength);
    m_confirmation = addLabelledField(form, QStringLiteral("口令确认:"), "confirmation", true, CUserModifyDlg::kMaxFieldLength);
    m_userName->setMinimumWidth(200);

    // Parented at once, so that the dialog knows its default button and
    // returns to it when focus leaves another button.
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CUserModifyDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CUserModifyDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    m_userName->setFocus();
}

void CUserModifyDlg::refuse(QLineEdit* field, const QString& text)
{
    warningMessage(this, text, kCaption);
    field->setFocus();
    field->selectAll();
}

void CUserModifyDlg::accept()
{
    const QString userName = m_userName->text();
    const QString password = m_password->text();
    if (userName.isEmpty()) {
        refuse(m_userName, QStringLiteral("用户名称不能为空!"));
        return;
    }
    if (password != m_confirmation->text()) {
        refuse(m_confirmation, QStringLiteral("确认口令和用户口令不相同!"));
        return;
    }
    const std::optional<QString> scrambled = ScramblePassword(password, kPasswordScrambleKey);
    if (!scrambled) {
        refuse(m_password, QStringLiteral("用户口令只能包含英文字母、数字和符号!"));
        return;
    }

    const QString path = CTesseraApp::instance()->configurationPath();
    CIniFile ini;
    if (!loadSettingsForUpdate(ini, this, kCaption))
        return;
    // Refused when the name would not read back as typed (blanks around it,
    // characters the file's code page lacks); the store stays unchanged then.
    if (!ini.Set(settings::kUserSection, settings::kUserName, userName)) {
        refuse(m_userName, QStringLiteral("用户名称的首尾不能是空格,也不能包含无法保存的字符!"));
        return;
    }
    ini.Set(settings::kUserSection, settings::kPassword, *scrambled);
    if (!ini.Save())
        warningMessage(this, QStringLiteral("保存配置文件失败!\n%1").arg(QDir::toNativeSeparators(path)), kCaption);
    QDialog::accept();
}

} // namespace tessera
