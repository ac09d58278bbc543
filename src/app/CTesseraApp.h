#pragma once

#include "dialect/DatabaseKind.h"
#include "app/GuiSeam.h"
#include "db/Connection.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QMainWindow;

namespace tessera {

namespace journal {
class Journal;
}

// The application object: the one shared database connection of the
// program, the kind of database behind it, its connect string and the path
// of DataSource.ini; it runs the start-up and closes the connection at exit.
// Exactly one exists while the program runs (tests make their own).
class CTesseraApp {
public:
    static inline const QString kTitle = QStringLiteral("Tessera");
    static inline const QString kMainWindowTitle = QStringLiteral("数据维护程序");

    CTesseraApp();
    ~CTesseraApp(); // closes the connection when it is open
    CTesseraApp(const CTesseraApp&) = delete;
    CTesseraApp& operator=(const CTesseraApp&) = delete;

    static CTesseraApp* Instance() { return s_instance; }

    // Start-up: login, connection and its classification, main window. False ends
    // the program without a main window.
    bool InitInstance();

    db::Connection& GetConnection() { return m_connection; }
    DatabaseKind GetDatabaseKind() const { return m_kind; }
    void SetDatabaseKind(DatabaseKind kind) { m_kind = kind; }
    const QString& GetConnectString() const { return m_connectString; }
    // DataSource.ini: one path for the program's directory and the working
    // directory (see Platform.h).
    const QString& GetConfigurationPath() const { return m_configurationPath; }
    void SetConfigurationPath(const QString& path) { m_configurationPath = path; }

    // A date, time or date-time text as a literal of the connection's kind.
    QString FormatDateLiteral(const QString& text) const;

    // CannotOpen: the data source or its driver is unknown to the driver
    // manager; AccessFailed: any other database error; UnknownKind: it
    // connects, but its driver is of no known kind or cannot be looked up.
    enum class OpenOutcome { Opened, CannotOpen, AccessFailed, UnknownKind };
    struct OpenResult {
        OpenOutcome outcome = OpenOutcome::CannotOpen;
        QStringList messages; // the classification's, for the caller to show
        QString failure;      // the driver's text when the data source did not open
    };
    // Opens a new connection on the data source and classifies it. Only when
    // both succeed do the new connection, its kind and its connect string
    // replace the shared ones; otherwise the program goes on with what it
    // had, so a failed attempt never leaves it without its database.
    OpenResult OpenConnection(const QString& dataSource, const QString& user, const QString& password);
    // The warning for CannotOpen and AccessFailed.
    static QString OpenFailureText(OpenOutcome outcome);

    // The data source of the shared connection and the user who logged in:
    // the journal names both with every command.
    const QString& GetDataSourceName() const { return m_dataSourceName; }
    const QString& GetLoginName() const { return m_loginName; }

    // The operation journal beside DataSource.ini, opened at its first use.
    // Throws journal::JournalError when it cannot be opened.
    journal::Journal& GetJournal();
    // Whether writing commands must be given a reason; false when the
    // journal cannot be read (the command itself then reports the journal).
    bool IsReasonRequired();
    // At start-up: removes the entries older than the journal keeps, and
    // shows (then closes as interrupted) the commands a killed program left
    // pending. A journal that cannot be opened is shown too.
    void ReviewJournal();
    // The reason given last, offered again by the next command.
    const QString& GetLastReason() const { return m_lastReason; }
    void SetLastReason(const QString& reason) { m_lastReason = reason; }

    GuiSeam& GetGui() { return *m_gui; }
    // Tests install their own seam; the application keeps ownership.
    void SetGui(std::unique_ptr<GuiSeam> gui);

    QMainWindow* GetMainWindow() const { return m_mainWindow.get(); }
    // What InitInstance opens as the main window (the program: the frame with
    // every command; see shell/MainWindow.h).
    using MainWindowFactory = std::function<std::unique_ptr<QMainWindow>()>;
    void SetMainWindowFactory(MainWindowFactory factory) { m_mainWindowFactory = std::move(factory); }

private:
    bool ConnectFromFile(class CLoginDlg& login);
    bool AskForDataSource();
    bool CreateMainWindow();

    static inline CTesseraApp* s_instance = nullptr;
    db::Connection m_connection;
    DatabaseKind m_kind = DatabaseKind::SqlServer;
    QString m_connectString;
    QString m_configurationPath;
    QString m_dataSourceName;
    QString m_loginName;
    QString m_lastReason;
    std::unique_ptr<journal::Journal> m_journal;
    std::unique_ptr<GuiSeam> m_gui;
    MainWindowFactory m_mainWindowFactory;
    std::unique_ptr<QMainWindow> m_mainWindow;
};

} // namespace tessera
