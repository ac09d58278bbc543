#include "app/CTesseraApp.h"

#include "app/CDataSourceDlg.h"
#include "app/CLoginDlg.h"
#include "app/DetectDatabaseKind.h"
#include "app/IniFile.h"
#include "app/Platform.h"
#include "app/SettingsKeys.h"
#include "ui/CMainFrame.h"

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

CTesseraApp::OpenOutcome CTesseraApp::openConnection(const QString& dataSource, const QString& user,
                                                     const QString& password)
{
    m_connectString = QStringLiteral("DSN=%1;UID=%2;PWD=%3").arg(dataSource, user, password);
    m_connection.close();
    // unixODBC takes an empty DSN for the first data source of its files
    // instead of refusing it; an empty name names no data source.
    if (dataSource.trimmed().isEmpty())
        return OpenOutcome::CannotOpen;
    try {
        m_connection = db::Connection::open(m_connectString);
        return OpenOutcome::Opened;
    } catch (const db::DbError& error) {
        m_connection.close();
        // The driver manager itself refusing (no such data source, no driver)
        // is "cannot be opened"; anything the database said is "access failed".
        return error.isDriverManagerError() ? OpenOutcome::CannotOpen : OpenOutcome::AccessFailed;
    }
}

bool CTesseraApp::askForDataSource(QString& dataSourceName)
{
    CDataSourceDlg dialog;
    if (execDialog(dialog) != QDialog::Accepted)
        return false;
    dataSourceName = dialog.dataSourceName();
    return true;
}

// Steps for an existing DataSource.ini: the stored login, then the stored
// data source, falling back to the data-source dialog when it cannot be opened.
bool CTesseraApp::connectFromFile(CLoginDlg& login, QString& dataSourceName)
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

    switch (openConnection(dsn, user, password)) {
    case OpenOutcome::Opened:
        dataSourceName = dsn;
        return true;
    case OpenOutcome::CannotOpen:
        warningMessage(nullptr, QStringLiteral("数据库不能打开,请正确配置数据源"), QStringLiteral("系统提示"));
        break;
    case OpenOutcome::AccessFailed:
        warningMessage(nullptr, QStringLiteral("访问数据库失败,请正确配置数据源"), QStringLiteral("系统提示"));
        break;
    }
    m_connection.close();
    return askForDataSource(dataSourceName);
}

bool CTesseraApp::InitInstance()
{
    if (m_configurationPath.isEmpty())
        m_configurationPath = configurationFilePath();
    if (m_configurationPath.isEmpty())
        return false;

    CLoginDlg login;
    QString dataSourceName;
    if (!QFileInfo::exists(m_configurationPath)) {
        // First run: the built-in account, then a data source.
        if (execDialog(login) != QDialog::Accepted)
            return false;
        if (!askForDataSource(dataSourceName))
            return false;
    } else if (!connectFromFile(login, dataSourceName)) {
        return false;
    }

    const KindDetection detection = DetectDatabaseKind(dataSourceName);
    for (const QString& message : detection.messages)
        standardMessage(message);
    if (!detection.kind)
        return false;
    m_kind = *detection.kind;

    return createMainWindow();
}

bool CTesseraApp::createMainWindow()
{
    m_mainWindow = std::make_unique<CMainFrame>();
    m_mainWindow->setWindowTitle(kMainWindowTitle);
    m_mainWindow->showMaximized();
    m_mainWindow->repaint();
    return true;
}

} // namespace tessera
