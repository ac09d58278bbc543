#include "copy/ui/CDataCopyDlg.h"

#include "app/CTesseraApp.h"
#include "app/DataSourcePickerDialog.h"
#include "app/DialogForm.h"
#include "app/GuardedRun.h"
#include "app/ReasonDialog.h"
#include "copy/CopyResume.h"
#include "copy/CopyTables.h"
#include "copy/ui/CopyDifferencesDialog.h"
#include "db/DataSourceCatalogue.h"
#include "journal/Journal.h"
#include "settings/ViewSettings.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tessera {

using copy::CopyColumn;

namespace {

constexpr int kProgressSteps = 100; // per table, so that the bar moves within a long table
// Differing rows the dialog lists; tessera-copy --diff-csv writes them all.
constexpr size_t kKeptDifferences = 100000;

QPushButton* pickButton(const char* objectName, const QString& accessibleName)
{
    auto* button = new QPushButton(QStringLiteral("..."));
    button->setObjectName(QLatin1String(objectName));
    button->setAccessibleName(accessibleName);
    button->setAutoDefault(false);
    return button;
}

} // namespace

CDataCopyDlg::CDataCopyDlg(const QString& configurationPath, QWidget* parent)
    : QDialog(parent)
    , m_configurationPath(configurationPath)
    , m_timeOfDay(QTime::currentTime())
{
    setWindowTitle(QStringLiteral("Halvorne数据复制"));
    const QDateTime now = QDateTime::currentDateTime();
    m_timeOfDay = now.time();
    m_start = m_end = now;

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(createSourceGroup());
    layout->addLayout(createRangeRow(now.date()));
    layout->addLayout(createProgressRow());
    layout->addWidget(createTableList(), 1);
    layout->addLayout(createButtonRow());
    resize(900, 600);
    LoadCopySettings();
}

QGroupBox* CDataCopyDlg::createSourceGroup()
{
    m_targetDsn = newLineEdit(QStringLiteral("targetDsn"), QStringLiteral("新版本数据源名称"));
    m_targetUser = newLineEdit(QStringLiteral("targetUser"), QStringLiteral("新版本用户名称"), 20);
    m_targetPassword = newLineEdit(QStringLiteral("targetPassword"), QStringLiteral("新版本密码"), 20, true);
    m_sourceDsn = newLineEdit(QStringLiteral("sourceDsn"), QStringLiteral("旧版本数据源名称"), 20);
    m_sourceUser = newLineEdit(QStringLiteral("sourceUser"), QStringLiteral("旧版本用户名称"), 20);
    m_sourcePassword = newLineEdit(QStringLiteral("sourcePassword"), QStringLiteral("旧版本密码"), 20, true);
    m_pickTarget = pickButton("pickTarget", QStringLiteral("选择新版本数据源"));
    m_pickSource = pickButton("pickSource", QStringLiteral("选择旧版本数据源"));
    connect(m_pickTarget, &QPushButton::clicked, this, [this] { ChooseDataSource(true); });
    connect(m_pickSource, &QPushButton::clicked, this, [this] { ChooseDataSource(false); });

    auto* sources = new QGroupBox(QStringLiteral("数据源设置"));
    auto* grid = new QGridLayout(sources);
    // A row for each data source: its name and "...", user, password.
    const auto addSourceRow = [grid](int row, const QString& dsnLabel, QLineEdit* dsn, QPushButton* pick,
                                     QLineEdit* user, QLineEdit* password) {
        grid->addWidget(buddyLabel(dsnLabel, dsn), row, 0);
        grid->addWidget(dsn, row, 1);
        grid->addWidget(pick, row, 2);
        grid->addWidget(buddyLabel(QStringLiteral("用户名称:"), user), row, 3);
        grid->addWidget(user, row, 4);
        grid->addWidget(buddyLabel(QStringLiteral("密码:"), password), row, 5);
        grid->addWidget(password, row, 6);
    };
    addSourceRow(0, QStringLiteral("新版本数据源名称:"), m_targetDsn, m_pickTarget, m_targetUser, m_targetPassword);
    addSourceRow(1, QStringLiteral("旧版本数据源名称:"), m_sourceDsn, m_pickSource, m_sourceUser, m_sourcePassword);
    return sources;
}

QHBoxLayout* CDataCopyDlg::createRangeRow(const QDate& today)
{
    m_range = new QCheckBox(QStringLiteral("选择复制"));
    m_range->setObjectName(QStringLiteral("rangeCheck"));
    connect(m_range, &QCheckBox::clicked, this, &CDataCopyDlg::MarkTablesForRange);
    const QString dateFormat = QStringLiteral("yyyy'年'M'月'd'日'");
    m_startEdit = newDateEdit(today, dateFormat);
    m_startEdit->setObjectName(QStringLiteral("startDate"));
    m_endEdit = newDateEdit(today, dateFormat);
    m_endEdit->setObjectName(QStringLiteral("endDate"));
    auto* rangeRow = new QHBoxLayout;
    rangeRow->addWidget(m_range);
    rangeRow->addWidget(buddyLabel(QStringLiteral("开始年份:"), m_startEdit));
    rangeRow->addWidget(m_startEdit);
    rangeRow->addWidget(buddyLabel(QStringLiteral("结束年份:"), m_endEdit));
    rangeRow->addWidget(m_endEdit);
    rangeRow->addStretch();
    // Tables copied at once into a server, each on a connection pair of its own.
    m_jobs = new QSpinBox;
    m_jobs->setObjectName(QStringLiteral("jobs"));
    m_jobs->setAccessibleName(QStringLiteral("并行"));
    m_jobs->setRange(1, copy::kMaxCopyJobs);
    m_jobs->setToolTip(QStringLiteral("同时复制的表数(目的数据库为服务器时有效)"));
    m_jobs->setValue(settings::ViewSettings(m_configurationPath).copyJobs());
    rangeRow->addWidget(buddyLabel(QStringLiteral("并行(&J):"), m_jobs));
    rangeRow->addWidget(m_jobs);
    m_verifyAfter = new QCheckBox(QStringLiteral("复制后核对(&V)"));
    m_verifyAfter->setObjectName(QStringLiteral("verifyAfter"));
    m_verifyAfter->setToolTip(QStringLiteral("复制完成后,逐单元核对目的数据库与源数据库是否一致"));
    rangeRow->addWidget(m_verifyAfter);
    return rangeRow;
}

QHBoxLayout* CDataCopyDlg::createProgressRow()
{
    m_progress = new QProgressBar;
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setRange(0, kProgressSteps);
    m_progress->setValue(0);
    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(buddyLabel(QStringLiteral("复制状态:"), m_progress));
    progressRow->addWidget(m_progress);
    return progressRow;
}

QTableWidget* CDataCopyDlg::createTableList()
{
    m_tables = new QTableWidget(copy::kCopyTableRows, copy::kCopyColumns);
    m_tables->setObjectName(QStringLiteral("tableList"));
    m_tables->setAccessibleName(QStringLiteral("复制的数据表"));
    m_tables->setHorizontalHeaderLabels(copy::copyColumnHeaders());
    m_tables->setShowGrid(true);
    m_tables->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tables->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tables->verticalHeader()->hide();
    const int widths[] = {150, 160, 120, 120, 60};
    for (int c = 0; c < copy::kCopyColumns; ++c)
        m_tables->setColumnWidth(c, widths[c]);
    for (int row = 0; row < copy::kCopyTableRows; ++row) {
        auto* name = new QTableWidgetItem(copy::copyTableNames().at(row));
        name->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        name->setCheckState(Qt::Unchecked);
        m_tables->setItem(row, 0, name);
        for (int c = 1; c < copy::kCopyColumns; ++c) {
            auto* cell = new QTableWidgetItem;
            cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            m_tables->setItem(row, c, cell);
        }
    }
    return m_tables;
}

QPushButton* CDataCopyDlg::newButton(const QString& text, const char* objectName)
{
    auto* button = new QPushButton(text);
    button->setObjectName(QLatin1String(objectName));
    button->setAutoDefault(false);
    return button;
}

QHBoxLayout* CDataCopyDlg::createButtonRow()
{
    m_startButton = newButton(QStringLiteral("开始执行"), "startButton");
    m_startButton->setDefault(true);
    m_resumeButton = newButton(QStringLiteral("继续上次复制"), "resumeButton");
    m_verifyButton = newButton(QStringLiteral("核对(&C)"), "verifyButton");
    m_verifyButton->setToolTip(QStringLiteral("比较勾选的表在两个数据库中是否一致,不写入任何数据"));
    m_repairButton = newButton(QStringLiteral("修复(&R)"), "repairButton");
    m_repairButton->setToolTip(QStringLiteral("只重新复制不一致的单元,再核对一次"));
    m_differencesButton = newButton(QStringLiteral("差异(&D)..."), "differencesButton");
    m_differencesButton->setEnabled(false);
    m_stopButton = newButton(QStringLiteral("停止"), "stopButton");
    m_stopButton->setEnabled(false);
    m_exitButton = newButton(QStringLiteral("退出"), "exitButton");
    m_reason = newReasonField();
    connect(m_startButton, &QPushButton::clicked, this, &CDataCopyDlg::StartCopy);
    connect(m_resumeButton, &QPushButton::clicked, this, &CDataCopyDlg::ResumeCopy);
    connect(m_verifyButton, &QPushButton::clicked, this, [this] { RunTables(copy::RunMode::Verify); });
    connect(m_repairButton, &QPushButton::clicked, this, [this] { RunTables(copy::RunMode::Repair); });
    connect(m_differencesButton, &QPushButton::clicked, this, &CDataCopyDlg::ShowDifferences);
    connect(m_stopButton, &QPushButton::clicked, this, &CDataCopyDlg::RequestStop);
    connect(m_exitButton, &QPushButton::clicked, this, &CDataCopyDlg::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(buddyLabel(kReasonLabel, m_reason));
    buttons->addWidget(m_reason, 1);
    for (QPushButton* button : {m_startButton, m_resumeButton, m_verifyButton, m_repairButton, m_differencesButton,
             m_stopButton, m_exitButton})
        buttons->addWidget(button);
    return buttons;
}

CDataCopyDlg::~CDataCopyDlg() = default;

void CDataCopyDlg::ReadFields()
{
    m_settings.target.dsn = m_targetDsn->text();
    m_settings.target.user = m_targetUser->text();
    m_settings.target.password = m_targetPassword->text();
    m_settings.source.dsn = m_sourceDsn->text();
    m_settings.source.user = m_sourceUser->text();
    m_settings.source.password = m_sourcePassword->text();
    m_start = QDateTime(m_startEdit->date(), m_timeOfDay);
    m_end = QDateTime(m_endEdit->date(), m_timeOfDay);
}

void CDataCopyDlg::ShowFields()
{
    m_targetDsn->setText(m_settings.target.dsn);
    m_targetUser->setText(m_settings.target.user);
    m_targetPassword->setText(m_settings.target.password);
    m_sourceDsn->setText(m_settings.source.dsn);
    m_sourceUser->setText(m_settings.source.user);
    m_sourcePassword->setText(m_settings.source.password);
}

void CDataCopyDlg::LoadCopySettings()
{
    ReadFields();
    copy::readCopySettings(m_configurationPath, m_settings);
    ShowFields();
}

void CDataCopyDlg::SaveCopySettings()
{
    copy::writeCopySettings(m_configurationPath, m_settings);
}

void CDataCopyDlg::MarkTablesForRange()
{
    ReadFields();
    const auto ticked = copy::tablesTickedForRange(m_range->isChecked(), m_start, m_end);
    if (!ticked) {
        standardMessage(QStringLiteral("开始时间不能大于结束时间!"));
        return;
    }
    for (int row = 0; row < copy::kCopyTableRows; ++row)
        m_tables->item(row, 0)->setCheckState((*ticked)[size_t(row)] ? Qt::Checked : Qt::Unchecked);
}

void CDataCopyDlg::ChooseDataSource(bool target)
{
    ReadFields();
    copy::CopyDataSource& side = target ? m_settings.target : m_settings.source;
    const std::optional<QString> name = DataSourcePickerDialog::pick(this, side.dsn);
    if (!name)
        return;
    // The chosen name stays, also when its driver cannot be looked up; the
    // kind then stays as it was.
    side.dsn = *name;
    ShowFields();
    std::optional<QString> driver;
    if (!runWaiting(
            [&] {
                driver = db::findDataSourceDriver(*name).driver;
                return driver.has_value();
            },
            {nullptr, QStringLiteral("注册表中未发现数据源路径"), {}}))
        return;
    side.kind = kindOfDriverName(*driver).value_or(DatabaseKind::None);
}

QStringList CDataCopyDlg::GetChosenTables() const
{
    QStringList names;
    for (int row = 0; row < copy::kCopyTableRows; ++row)
        if (m_tables->item(row, 0)->checkState() == Qt::Checked)
            names << m_tables->item(row, 0)->text();
    return names;
}

void CDataCopyDlg::StartCopy()
{
    RunTables(copy::RunMode::Copy);
}

bool CDataCopyDlg::CheckStart()
{
    ReadFields();
    // Whole days, both included: one day (start equal to end) is a range too.
    if (m_start.date() > m_end.date()) {
        standardMessage(QStringLiteral("开始时间的应该小于结束时间!"));
        return false;
    }
    if (const QString problem = copy::copyRangeProblem(m_start.date(), m_end.date()); !problem.isEmpty()) {
        standardMessage(problem);
        return false;
    }
    if (GetChosenTables().isEmpty()) {
        standardMessage(QStringLiteral("请选择要转换的表!"));
        return false;
    }
    return true;
}

void CDataCopyDlg::RunTables(copy::RunMode mode)
{
    if (m_running || !CheckStart())
        return;
    // A verify writes nothing: no reason asked.
    if (mode != copy::RunMode::Verify && !acceptReason(this, m_reason, windowTitle()))
        return;
    settings::ViewSettings(m_configurationPath).setCopyJobs(m_jobs->value());
    m_differences.clear();
    m_untoldDifferences = 0;
    const QStringList chosen = GetChosenTables();
    const bool completed = RunOnce(mode, chosen);
    // The tables just copied, compared.
    if (completed && mode == copy::RunMode::Copy && m_verifyAfter->isChecked())
        RunOnce(copy::RunMode::Verify, chosen);
    m_differencesButton->setEnabled(!m_differences.empty());
    SaveCopySettings();
}

bool CDataCopyDlg::RunOnce(copy::RunMode mode, const QStringList& chosen)
{
    copy::CopyRun run(m_settings, m_start, m_end, *this);
    if (!run.LookUpConnectionKinds())
        return false;
    // Every run goes into the program's journal, where there is a program.
    if (CTesseraApp* app = CTesseraApp::Instance()) {
        journal::EntryDraft who;
        who.login = app->GetLoginName();
        who.reason = reasonOf(m_reason);
        try {
            run.SetJournal(&app->GetJournal(), who);
        } catch (const journal::JournalError& error) {
            warningMessage(this, QStringLiteral("操作日志无法记录本次复制,复制没有执行!\n%1").arg(error.message()),
                           windowTitle());
            return false;
        }
    }
    run.SetJobs(m_jobs->value());
    run.SetMode(mode);
    SetRunning(true);
    const bool completed = run.RunCopy(chosen);
    run.CloseConnections();
    SetRunning(false);
    ShowHeldMessages();
    return completed;
}

void CDataCopyDlg::ShowDifferences()
{
    CopyDifferencesDialog dialog(m_differences, m_untoldDifferences, this);
    execDialog(dialog);
}

void CDataCopyDlg::rowDifference(int, const copy::DifferenceLine& line)
{
    if (m_differences.size() < kKeptDifferences)
        m_differences.push_back(line);
    else
        ++m_untoldDifferences;
}

void CDataCopyDlg::ResumeCopy()
{
    if (m_running)
        return;
    ReadFields();
    CTesseraApp* app = CTesseraApp::Instance();
    if (!app)
        return;
    // The run is known by the databases behind the data sources: both open.
    copy::CopyRun probe(m_settings, m_start, m_end, *this);
    copy::ResumePlan plan;
    if (!probe.LookUpConnectionKinds() || !probe.OpenCopyConnections())
        return;
    try {
        plan = copy::planResume(app->GetJournal(), m_settings, probe.Source(), probe.Target(), m_start, m_end);
    } catch (const journal::JournalError& error) {
        warningMessage(this, QStringLiteral("无法读取操作日志!\n%1").arg(error.message()), windowTitle());
        return;
    }
    probe.CloseConnections();
    if (!plan.refusal.isEmpty() || plan.tables.isEmpty()) {
        standardMessage(!plan.refusal.isEmpty() ? plan.refusal : plan.announcement);
        return;
    }
    m_range->setChecked(false);
    for (int row = 0; row < copy::kCopyTableRows; ++row) {
        QTableWidgetItem* item = m_tables->item(row, 0);
        item->setCheckState(plan.tables.contains(item->text()) ? Qt::Checked : Qt::Unchecked);
    }
    RunTables(copy::RunMode::Copy);
}

void CDataCopyDlg::SetRunning(bool running)
{
    m_running = running;
    m_stopRequested = false;
    for (QWidget* w : std::initializer_list<QWidget*>{m_targetDsn, m_targetUser, m_targetPassword, m_sourceDsn,
             m_sourceUser, m_sourcePassword, m_pickTarget, m_pickSource, m_range, m_startEdit, m_endEdit, m_jobs,
             m_verifyAfter, m_startButton, m_resumeButton, m_verifyButton, m_repairButton, m_differencesButton,
             m_exitButton})
        w->setEnabled(!running);
    m_tables->setEnabled(true);
    m_stopButton->setEnabled(running);
    if (running)
        m_stopButton->setFocus();
    else
        m_startButton->setFocus();
}

void CDataCopyDlg::reject()
{
    // Escape or the window's close during a run stops the run first.
    if (m_running) {
        m_stopRequested = true;
        return;
    }
    QDialog::reject();
}

void CDataCopyDlg::closeEvent(QCloseEvent* event)
{
    if (m_running) {
        m_stopRequested = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void CDataCopyDlg::setCell(int row, CopyColumn column, const QString& text)
{
    if (row < 0 || row >= copy::kCopyTableRows)
        return;
    m_tables->item(row, int(column))->setText(text);
}

void CDataCopyDlg::message(const QString& text, const QString& caption)
{
    // During a run, what a table says is held until it ends: one box a table.
    if (!m_running) {
        showNotice({this, text, caption});
        return;
    }
    if (m_heldMessages.isEmpty())
        m_heldCaption = caption;
    m_heldMessages << text;
}

bool CDataCopyDlg::stopRequestedWhileWaiting()
{
    // Keeps the window painting and "停止" answering while a source is silent.
    QCoreApplication::processEvents();
    return m_stopRequested;
}

void CDataCopyDlg::tableEnded(int)
{
    ShowHeldMessages();
}

void CDataCopyDlg::ShowHeldMessages()
{
    if (m_heldMessages.isEmpty())
        return;
    const QString text = m_heldMessages.join(u'\n');
    m_heldMessages.clear();
    showNotice({this, text, m_heldCaption});
}

void CDataCopyDlg::progress(int tablesDone, int tablesTotal, double tableFraction)
{
    m_progress->setRange(0, tablesTotal * kProgressSteps);
    m_progress->setValue(tablesDone * kProgressSteps + int(tableFraction * kProgressSteps));
    m_progress->setFormat(QStringLiteral("%1/%2").arg(tablesDone).arg(tablesTotal));
    // Keeps the window painting and lets "停止" be clicked between rows.
    QCoreApplication::processEvents();
}

} // namespace tessera
