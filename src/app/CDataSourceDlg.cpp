#include "app/CDataSourceDlg.h"

#include "app/CTesseraApp.h"
#include "app/DialogFields.h"
#include "app/DataSourcePickerDialog.h"
#include "app/GuiSeam.h"
#include "settings/IniFile.h"
#include "settings/SettingsKeys.h"
#include "app/WaitCursor.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tessera {

namespace {

const QString kCaption = QStringLiteral("系统提示");

QLineEdit* newField(const char* objectName)
{
    auto* edit = new QLineEdit;
    edit->setObjectName(QLatin1String(objectName));
    return edit;
}

QLabel* labelFor(QWidget* field, const QString& text)
{
    auto* label = new QLabel(text);
    label->setBuddy(field);
    field->setAccessibleName(text);
    return label;
}

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

    m_dataSourceName = newField("dataSourceName");
    m_dataSourceName->setMinimumWidth(220);
    m_pick = new QPushButton(QStringLiteral("..."));
    m_pick->setObjectName(QStringLiteral("pickButton"));
    m_pick->setAccessibleName(QStringLiteral("选择数据源"));
    m_pick->setToolTip(QStringLiteral("从已配置的ODBC数据源中选择"));
    m_user = newField("databaseUser");
    m_password = newField("databasePassword");
    m_password->setEchoMode(QLineEdit::Password);

    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(m_dataSourceName);
    nameRow->addWidget(m_pick);
    auto* form = new QFormLayout;
    form->addRow(labelFor(m_dataSourceName, QStringLiteral("数据源名称:")), nameRow);
    form->addRow(labelFor(m_user, QStringLiteral("用户名称:")), m_user);
    form->addRow(labelFor(m_password, QStringLiteral("密    码:")), m_password);

    // Parented at once, so that the dialog knows its default button and
    // returns to it when focus leaves another button.
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setText(QStringLiteral("确定"));
    ok->setDefault(true);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CDataSourceDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDataSourceDlg::reject);
    connect(m_pick, &QPushButton::clicked, this, &CDataSourceDlg::pickDataSource);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

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
        warningMessage(this,
                       QStringLiteral("%1的首尾不能是空格,也不能包含无法保存到配置文件的字符!").arg(fieldName(field)),
                       kCaption);
        field->setFocus();
        field->selectAll();
        return;
    }

    const QString path = CTesseraApp::instance()->configurationPath();
    CIniFile ini;
    if (!loadSettingsForUpdate(ini, this, kCaption))
        return;

    CTesseraApp& app = *CTesseraApp::instance();
    CTesseraApp::OpenResult opened;
    {
        WaitCursor wait;
        opened = app.openConnection(dataSourceName(), databaseUser(), databasePassword());
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
        warningMessage(this, CTesseraApp::openFailureText(opened.outcome), kCaption);
        return;
    }

    ini.Set(settings::kDataSourceSection, settings::kDataSourceName, dataSourceName());
    ini.Set(settings::kDataSourceSection, settings::kUserName, databaseUser());
    ini.Set(settings::kDataSourceSection, settings::kPassword, databasePassword());
    if (!ini.Save())
        warningMessage(this, QStringLiteral("保存配置文件失败!\n%1").arg(QDir::toNativeSeparators(path)), kCaption);
    QDialog::accept();
}

} // namespace tessera
