#pragma once

#include "copy/CopyRun.h"
#include "copy/CopySettings.h"

#include <QDateTime>
#include <QDialog>
#include <QStringList>

class QCheckBox;
class QDateEdit;
class QGroupBox;
class QHBoxLayout;
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
    // "开始执行" (a copy, verified after when "复制后核对" is ticked), "核对"
    // (compare only) and "修复" (copy again what differs) on the ticked tables.
    void RunTables(copy::RunMode mode);
    // "差异...": the rows the last verify found different.
    void ShowDifferences();
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
    QGroupBox* createSourceGroup();
    QHBoxLayout* createRangeRow(const QDate& today);
    QHBoxLayout* createProgressRow();
    QTableWidget* createTableList();
    QHBoxLayout* createButtonRow();
    static QPushButton* newButton(const QString& text, const char* objectName);
    // The start's checks, with their messages; true when a run may start.
    bool CheckStart();
    // One run of the chosen tables in a mode; true when it completed.
    bool RunOnce(copy::RunMode mode, const QStringList& chosen);
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
    void rowDifference(int row, const copy::DifferenceLine& line) override;
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
    std::vector<copy::DifferenceLine> m_differences;
    qint64 m_untoldDifferences = 0;
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
    QPushButton* m_verifyButton = nullptr;
    QPushButton* m_repairButton = nullptr;
    QPushButton* m_differencesButton = nullptr;
    QCheckBox* m_verifyAfter = nullptr;
    QPushButton* m_stopButton = nullptr;
    QPushButton* m_exitButton = nullptr;
};

} // namespace tessera
