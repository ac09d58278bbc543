#include "app/CTesseraApp.h"
#include "text/DateTexts.h"

#include "app/CDataSourceDlg.h"
#include "app/CLoginDlg.h"
#include "dialect/DetectDatabaseKind.h"
#include "dialect/DriverOptions.h"
#include "settings/CIniFile.h"
#include "platform/Platform.h"
#include "settings/SettingsKeys.h"
#include "db/DataSource.h"
#include "journal/Journal.h"

#include <QDir>
#include <QFileInfo>
#include <QMainWindow>

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

void CTesseraApp::SetGui(std::unique_ptr<GuiSeam> gui)
{
    m_gui = gui ? std::move(gui) : std::make_unique<GuiSeam>();
}

QString CTesseraApp::FormatDateLiteral(const QString& text) const
{
    return tessera::FormatDateLiteral(m_kind, text);
}

CTesseraApp::OpenResult CTesseraApp::OpenConnection(const QString& dataSource, const QString& user,
                                                    const QString& password)
{
    // Classified before it is opened: the kind chooses what its driver is
    // told, and no statement may run in a guessed dialect.
    const KindDetection detection = DetectDatabaseKind(dataSource);
    const QString options = detection.kind ? driverOptionsFor(*detection.kind, ConnectionRole::Archive) : QString();
    db::OpenedDataSource opened = db::openDataSource(dataSource, user, password, options);
    if (opened.outcome != db::OpenedDataSource::Outcome::Opened)
        return {opened.outcome == db::OpenedDataSource::Outcome::CannotOpen ? OpenOutcome::CannotOpen
                                                                            : OpenOutcome::AccessFailed,
                {}, opened.failure};
    if (!detection.kind)
        return {OpenOutcome::UnknownKind, detection.messages, {}};

    m_connection = std::move(opened.connection); // closes the old one
    m_kind = *detection.kind;
    m_connectString = opened.connectString;
    m_dataSourceName = dataSource;
    return {OpenOutcome::Opened, detection.messages, {}};
}

journal::Journal& CTesseraApp::GetJournal()
{
    if (!m_journal) {
        const QString path = QFileInfo(m_configurationPath.isEmpty() ? configurationFilePath() : m_configurationPath)
                                 .dir()
                                 .filePath(QString::fromLatin1(journal::kJournalFileName));
        m_journal = std::make_unique<journal::Journal>(journal::Journal::open(path));
    }
    return *m_journal;
}

// At start-up: old entries go, and the commands a killed program left
// unfinished are shown once and closed as interrupted. A pending entry whose
// process still runs (another instance at work) is left as it is.
void CTesseraApp::ReviewJournal()
{
    const QString caption = QStringLiteral("操作日志");
    try {
        journal::Journal& j = GetJournal();
        if (!j.setAsidePath().isEmpty())
            warningMessage(nullptr,
                           QStringLiteral("操作日志文件已损坏,已改名为%1并新建了日志。")
                               .arg(QDir::toNativeSeparators(j.setAsidePath())),
                           caption);
        j.applyRetention();
        QStringList lines;
        for (const journal::EntrySummary& e : j.pendingEntries()) {
            if (journal::Journal::isAlive(e))
                continue;
            lines << QStringLiteral("%1 %2 %3").arg(dateTimeText(e.startedLocal),
                                                   e.commandName, e.scopeText);
            j.finishEntry(e.id, journal::EntryState::Failed, QStringLiteral("程序被中断,命令没有完成"));
        }
        if (lines.isEmpty())
            return;
        warningMessage(nullptr,
                       QStringLiteral("以下操作在程序上次运行时被中断,没有完成,数据可能只修改了一部分,"
                                      "请在“操作日志”中查看:\n%1")
                           .arg(lines.join(QLatin1Char('\n'))),
                       caption);
    } catch (const journal::JournalError& error) {
        warningMessage(nullptr, error.message(), caption);
    }
}

bool CTesseraApp::IsReasonRequired()
{
    try {
        return GetJournal().settings().reasonRequired;
    } catch (const journal::JournalError&) {
        return false;
    }
}

QString CTesseraApp::OpenFailureText(OpenOutcome outcome)
{
    return outcome == OpenOutcome::CannotOpen ? QStringLiteral("数据库不能打开,请正确配置数据源")
                                              : QStringLiteral("访问数据库失败,请正确配置数据源");
}

bool CTesseraApp::AskForDataSource()
{
    CDataSourceDlg dialog;
    return execDialog(dialog) == QDialog::Accepted;
}

// Steps for an existing DataSource.ini: the stored login, then the stored
// data source, falling back to the data-source dialog when it cannot be opened.
bool CTesseraApp::ConnectFromFile(CLoginDlg& login)
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
    m_loginName = login.userName();

    const OpenResult opened = OpenConnection(dsn, user, password);
    for (const QString& message : opened.messages)
        standardMessage(message);
    if (opened.outcome == OpenOutcome::Opened)
        return true;
    if (opened.outcome == OpenOutcome::UnknownKind)
        return false;
    warningMessage(nullptr, OpenFailureText(opened.outcome), QStringLiteral("系统提示"), opened.failure);
    return AskForDataSource();
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
        m_loginName = login.userName();
        if (!AskForDataSource())
            return false;
    } else if (!ConnectFromFile(login)) {
        return false;
    }
    if (!CreateMainWindow())
        return false;
    ReviewJournal();
    return true;
}

bool CTesseraApp::CreateMainWindow()
{
    // Without a factory (tests of the start-up alone) an empty window stands in.
    m_mainWindow = m_mainWindowFactory ? m_mainWindowFactory() : std::make_unique<QMainWindow>();
    m_mainWindow->setWindowTitle(kMainWindowTitle);
    m_mainWindow->showMaximized();
    m_mainWindow->repaint();
    return true;
}

} // namespace tessera
