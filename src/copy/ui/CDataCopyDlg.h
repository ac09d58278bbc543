#pragma once

#include "copy/CopyRun.h"
#include "copy/CopySettings.h"

#include <QDateTime>
#include <QDialog>
#include <QStringList>

class QCheckBox;
class QDateEdit;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace tessera {

// The copy between database generations: the two data sources, the date
// range, the 379 tables with their outcome, and the run. The run happens in
// the start button's handler; the dialog keeps repainting between rows, and
// "停止" (or Escape, or closing the window) ends the run: the table being
// copied is undone, no further table is touched.
class CDataCopyDlg : public QDialog, private copy::CopyReport {
    Q_OBJECT
public:
    // Reads HOSTSOURCE and DESTSOURCE of the file at configurationPath.
    explicit CDataCopyDlg(const QString& configurationPath, QWidget* parent = nullptr);
    ~CDataCopyDlg() override;

    const copy::CopySettings& GetSettings() const { return m_settings; }
    QTableWidget* GetTableList() const { return m_tables; }
    QProgressBar* GetProgressBar() const { return m_progress; }
    bool IsRunning() const { return m_running; }

    // The handlers, as their buttons and the check box run them.
    void LoadCopySettings();
    void SaveCopySettings();
    void MarkTablesForRange();
    void ChooseDataSource(bool target);
    void StartCopy();
    // "继续上次复制": ticks the tables the last run with these data sources
    // and this range did not finish, and starts them.
    void ResumeCopy();
    void RequestStop() { m_stopRequested = true; }

    // The ticked rows' names in row order.
    QStringList GetChosenTables() const;

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ReadFields();
    void ShowFields();
    void SetRunning(bool running);

    // CopyReport
    void setCell(int row, copy::CopyColumn column, const QString& text) override;
    void message(const QString& text, const QString& caption) override;
    void progress(int tablesDone, int tablesTotal, double tableFraction) override;
    bool stopRequested() override { return m_stopRequested; }
    bool stopRequestedWhileWaiting() override;
    void tableEnded(int row) override;
    // One box for what the table (or the run) said.
    void ShowHeldMessages();

    QString m_configurationPath;
    copy::CopySettings m_settings;
    QTime m_timeOfDay; // the pickers change only the date
    QDateTime m_start;
    QDateTime m_end;
    bool m_running = false;
    bool m_stopRequested = false;
    QStringList m_heldMessages;
    QString m_heldCaption;

    QLineEdit* m_targetDsn = nullptr;
    QLineEdit* m_targetUser = nullptr;
    QLineEdit* m_targetPassword = nullptr;
    QLineEdit* m_sourceDsn = nullptr;
    QLineEdit* m_sourceUser = nullptr;
    QLineEdit* m_sourcePassword = nullptr;
    QPushButton* m_pickTarget = nullptr;
    QPushButton* m_pickSource = nullptr;
    QCheckBox* m_range = nullptr;
    QDateEdit* m_startEdit = nullptr;
    QDateEdit* m_endEdit = nullptr;
    QSpinBox* m_jobs = nullptr;
    QProgressBar* m_progress = nullptr;
    QTableWidget* m_tables = nullptr;
    QLineEdit* m_reason = nullptr;
    QPushButton* m_startButton = nullptr;
    QPushButton* m_resumeButton = nullptr;
    QPushButton* m_stopButton = nullptr;
    QPushButton* m_exitButton = nullptr;
};

} // namespace tessera
