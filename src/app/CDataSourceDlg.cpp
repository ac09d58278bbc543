#include "app/CDataSourceDlg.h"

#include "app/CTesseraApp.h"
#include "app/DataSourcePickerDialog.h"
#include "app/DialogForm.h"
#include "app/GuiSeam.h"
#include "app/SettingsUpdate.h"
#include "app/WaitCursor.h"
#include "settings/CIniFile.h"
#include "settings/SettingsKeys.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace tessera {

namespace {

const QString kCaption = QStringLiteral("系统提示");

// The field's label without its colon and padding, for messages.
QString fieldName(const QLineEdit* field)
{
    QString name = field->accessibleName();
    name.remove(QLatin1Char(' '));
    name.remove(QLatin1Char(':'));
    return name;
}

} // namespace

CDataSourceDlg::CDataSourceDlg(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("数据源设置"));

    const QString nameLabel = QStringLiteral("数据源名称:");
    m_dataSourceName = newLineEdit(QStringLiteral("dataSourceName"), nameLabel);
    m_dataSourceName->setMinimumWidth(220);
    m_pick = new QPushButton(QStringLiteral("..."));
    m_pick->setObjectName(QStringLiteral("pickButton"));
    m_pick->setAccessibleName(QStringLiteral("选择数据源"));
    m_pick->setToolTip(QStringLiteral("从已配置的ODBC数据源中选择"));
    connect(m_pick, &QPushButton::clicked, this, &CDataSourceDlg::pickDataSource);

    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(m_dataSourceName);
    nameRow->addWidget(m_pick);
    auto* form = new QFormLayout;
    form->addRow(buddyLabel(nameLabel, m_dataSourceName), nameRow);
    m_user = addLabelledField(form, QStringLiteral("用户名称:"), "databaseUser");
    m_password = addLabelledField(form, QStringLiteral("密    码:"), "databasePassword", true);
    QPushButton* ok = layOutWithOkCancel(this, form, DialogSize::Fixed)->button(QDialogButtonBox::Ok);

    setTabOrder(m_dataSourceName, m_pick);
    setTabOrder(m_pick, m_user);
    setTabOrder(m_user, m_password);
    setTabOrder(m_password, ok);
    m_dataSourceName->setFocus();
}

void CDataSourceDlg::setValues(const QString& dataSourceName, const QString& user, const QString& password)
{
    m_dataSourceName->setText(dataSourceName);
    m_user->setText(user);
    m_password->setText(password);
}

QString CDataSourceDlg::dataSourceName() const { return m_dataSourceName->text(); }
QString CDataSourceDlg::databaseUser() const { return m_user->text(); }
QString CDataSourceDlg::databasePassword() const { return m_password->text(); }

void CDataSourceDlg::pickDataSource()
{
    if (const std::optional<QString> name = DataSourcePickerDialog::pick(this, m_dataSourceName->text())) {
        m_dataSourceName->setText(*name);
        // On to the user name: Enter then confirms the dialog instead of
        // pressing "..." again.
        m_user->setFocus();
    }
}

QLineEdit* CDataSourceDlg::firstUnstorableField() const
{
    // A store without a path never writes; it only tells what Set refuses.
    CIniFile probe;
    for (QLineEdit* field : {m_dataSourceName, m_user, m_password}) {
        if (!probe.Set(settings::kDataSourceSection, settings::kDataSourceName, field->text()))
            return field;
    }
    return nullptr;
}

void CDataSourceDlg::accept()
{
    // Checked before connecting, so that a value the file cannot hold never
    // leaves a connection behind that the next start-up could not repeat.
    if (QLineEdit* field = firstUnstorableField()) {
        refuseField(this, field,
                    QStringLiteral("%1的首尾不能是空格,也不能包含无法保存到配置文件的字符!").arg(fieldName(field)),
                    kCaption);
        return;
    }

    CIniFile ini;
    if (!loadSettingsForUpdate(ini, this, kCaption))
        return;

    CTesseraApp& app = *CTesseraApp::Instance();
    CTesseraApp::OpenResult opened;
    {
        WaitCursor wait;
        opened = app.OpenConnection(dataSourceName(), databaseUser(), databasePassword());
    }
    for (const QString& message : opened.messages)
        standardMessage(message);
    switch (opened.outcome) {
    case CTesseraApp::OpenOutcome::Opened:
        break;
    case CTesseraApp::OpenOutcome::UnknownKind:
        // Never stored: every later start-up would end on it.
        m_dataSourceName->setFocus();
        m_dataSourceName->selectAll();
        return;
    case CTesseraApp::OpenOutcome::CannotOpen:
    case CTesseraApp::OpenOutcome::AccessFailed:
        warningMessage(this, CTesseraApp::OpenFailureText(opened.outcome), kCaption, opened.failure);
        return;
    }

    ini.Set(settings::kDataSourceSection, settings::kDataSourceName, dataSourceName());
    ini.Set(settings::kDataSourceSection, settings::kUserName, databaseUser());
    ini.Set(settings::kDataSourceSection, settings::kPassword, databasePassword());
    saveSettings(ini, this, kCaption);
    QDialog::accept();
}

} // namespace tessera
