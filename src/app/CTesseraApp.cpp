#include "app/CTesseraApp.h"

#include "app/CDataSourceDlg.h"
#include "app/CLoginDlg.h"
#include "dialect/DetectDatabaseKind.h"
#include "settings/IniFile.h"
#include "platform/Platform.h"
#include "settings/SettingsKeys.h"
#include "db/DataSource.h"
#include <QMainWindow>

#include <QFileInfo>

namespace tessera {

CTesseraApp::CTesseraApp()
    : m_gui(std::make_unique<GuiSeam>())
{
    s_instance = this;
}

CTesseraApp::~CTesseraApp()
{
    m_mainWindow.reset();
    m_connection.close();
    if (s_instance == this)
        s_instance = nullptr;
}

void CTesseraApp::setGui(std::unique_ptr<GuiSeam> gui)
{
    m_gui = gui ? std::move(gui) : std::make_unique<GuiSeam>();
}

QString CTesseraApp::FormatDateLiteral(const QString& text) const
{
    return tessera::FormatDateLiteral(m_kind, text);
}

CTesseraApp::OpenResult CTesseraApp::openConnection(const QString& dataSource, const QString& user,
                                                    const QString& password)
{
    db::OpenedDataSource opened = db::openDataSource(dataSource, user, password);
    if (opened.outcome != db::OpenedDataSource::Outcome::Opened)
        return {opened.outcome == db::OpenedDataSource::Outcome::CannotOpen ? OpenOutcome::CannotOpen
                                                                            : OpenOutcome::AccessFailed,
                {}};
    // Classified before it is used: no statement may run in a guessed dialect.
    const KindDetection detection = DetectDatabaseKind(dataSource);
    if (!detection.kind)
        return {OpenOutcome::UnknownKind, detection.messages};

    m_connection = std::move(opened.connection); // closes the old one
    m_kind = *detection.kind;
    m_connectString = opened.connectString;
    return {OpenOutcome::Opened, detection.messages};
}

QString CTesseraApp::openFailureText(OpenOutcome outcome)
{
    return outcome == OpenOutcome::CannotOpen ? QStringLiteral("数据库不能打开,请正确配置数据源")
                                              : QStringLiteral("访问数据库失败,请正确配置数据源");
}

bool CTesseraApp::askForDataSource()
{
    CDataSourceDlg dialog;
    return execDialog(dialog) == QDialog::Accepted;
}

// Steps for an existing DataSource.ini: the stored login, then the stored
// data source, falling back to the data-source dialog when it cannot be opened.
bool CTesseraApp::connectFromFile(CLoginDlg& login)
{
    QString dsn, user, password;
    {
        CIniFile ini;
        if (!ini.Load(m_configurationPath)) {
            warningMessage(nullptr, QStringLiteral("读配置文件失败!"), QStringLiteral("系统提示"));
            return false;
        }
        login.setStoredCredentialMode(ini.Get(settings::kUserSection, settings::kUserName));
        dsn = ini.Get(settings::kDataSourceSection, settings::kDataSourceName);
        user = ini.Get(settings::kDataSourceSection, settings::kUserName);
        password = ini.Get(settings::kDataSourceSection, settings::kPassword);
    }
    if (execDialog(login) != QDialog::Accepted)
        return false;

    const OpenResult opened = openConnection(dsn, user, password);
    for (const QString& message : opened.messages)
        standardMessage(message);
    if (opened.outcome == OpenOutcome::Opened)
        return true;
    if (opened.outcome == OpenOutcome::UnknownKind)
        return false;
    warningMessage(nullptr, openFailureText(opened.outcome), QStringLiteral("系统提示"));
    return askForDataSource();
}

bool CTesseraApp::InitInstance()
{
    if (m_configurationPath.isEmpty())
        m_configurationPath = configurationFilePath();
    if (m_configurationPath.isEmpty())
        return false;

    // Either way the connection is open and classified afterwards: the
    // data-source dialog accepts only a data source of a known kind.
    CLoginDlg login;
    if (!QFileInfo::exists(m_configurationPath)) {
        // First run: the built-in account, then a data source.
        if (execDialog(login) != QDialog::Accepted)
            return false;
        if (!askForDataSource())
            return false;
    } else if (!connectFromFile(login)) {
        return false;
    }
    return createMainWindow();
}

bool CTesseraApp::createMainWindow()
{
    // Without a factory (tests of the start-up alone) an empty window stands in.
    m_mainWindow = m_mainWindowFactory ? m_mainWindowFactory() : std::make_unique<QMainWindow>();
    m_mainWindow->setWindowTitle(kMainWindowTitle);
    m_mainWindow->showMaximized();
    m_mainWindow->repaint();
    return true;
}

} // namespace tessera
