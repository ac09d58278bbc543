#include "journal/ui/JournalWindow.h"

#include "app/DialogForm.h"
#include "app/GuiSeam.h"
#include "app/WaitCursor.h"
#include "journal/Journal.h"
#include "journal/JournalListing.h"
#include "journal/ui/JournalCommands.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSaveFile>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QSplitter>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <map>

namespace tessera {

namespace {

const QString kCaption = QStringLiteral("操作日志");
// A before-image can hold a whole day of samples; the window shows its start.
constexpr int kShownRows = 5000;

QTableWidget* newTable(const QString& objectName, const QString& accessibleName)
{
    auto* table = new QTableWidget;
    table->setObjectName(objectName);
    table->setAccessibleName(accessibleName);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

void fillRows(QTableWidget* table, const QStringList& columns, const std::vector<journal::Row>& rows)
{
    table->clear();
    table->setColumnCount(int(columns.size()));
    table->setHorizontalHeaderLabels(columns);
    const int shown = int(std::min<size_t>(rows.size(), kShownRows));
    table->setRowCount(shown);
    for (int r = 0; r < shown; ++r)
        for (int c = 0; c < int(rows[size_t(r)].size()) && c < table->columnCount(); ++c)
            table->setItem(r, c, new QTableWidgetItem(journal::displayText(rows[size_t(r)][size_t(c)])));
    table->resizeColumnsToContents();
}

QString rowsNote(qint64 total, bool kept)
{
    if (!kept)
        return QStringLiteral("未保存");
    if (total > kShownRows)
        return QStringLiteral("%1行,仅显示前%2行").arg(total).arg(kShownRows);
    return QStringLiteral("%1行").arg(total);
}

} // namespace

JournalWindow::JournalWindow(journal::Journal& journal, QWidget* parent)
    : QDialog(parent), m_journal(journal)
{
    setObjectName(QStringLiteral("journalWindow"));
    setWindowTitle(kCaption);
    resize(1100, 700);

    m_from = newDateEdit(QDate::currentDate().addDays(-30), QStringLiteral("yyyy-MM-dd"));
    m_to = newDateEdit(QDate::currentDate(), QStringLiteral("yyyy-MM-dd"));
    m_from->setObjectName(QStringLiteral("fromDate"));
    m_to->setObjectName(QStringLiteral("toDate"));
    m_command = new QComboBox;
    m_command->setObjectName(QStringLiteral("commandFilter"));
    m_command->setAccessibleName(QStringLiteral("命令"));
    auto* apply = new QPushButton(QStringLiteral("查询(&Q)"));
    apply->setObjectName(QStringLiteral("filterButton"));
    auto* filter = new QHBoxLayout;
    filter->addWidget(buddyLabel(QStringLiteral("从(&F):"), m_from));
    filter->addWidget(m_from);
    filter->addWidget(buddyLabel(QStringLiteral("至(&T):"), m_to));
    filter->addWidget(m_to);
    filter->addWidget(buddyLabel(QStringLiteral("命令(&C):"), m_command));
    filter->addWidget(m_command, 1);
    filter->addWidget(apply);

    m_entries = newTable(QStringLiteral("entryList"), QStringLiteral("操作记录"));
    m_entries->setSelectionMode(QAbstractItemView::SingleSelection);
    m_entries->setColumnCount(int(journal::entryListHeaders().size()));
    m_entries->setHorizontalHeaderLabels(journal::entryListHeaders());

    m_unit = new QComboBox;
    m_unit->setObjectName(QStringLiteral("unitChoice"));
    m_unit->setAccessibleName(QStringLiteral("数据表"));
    m_unitScope = new QLabel;
    m_unitScope->setObjectName(QStringLiteral("unitScope"));
    m_unitScope->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_before = newTable(QStringLiteral("beforeRows"), QStringLiteral("修改前"));
    m_after = newTable(QStringLiteral("afterRows"), QStringLiteral("修改后"));
    auto* images = new QTabWidget;
    images->setObjectName(QStringLiteral("rowTabs"));
    images->addTab(m_before, QStringLiteral("修改前"));
    images->addTab(m_after, QStringLiteral("修改后"));
    auto* details = new QWidget;
    auto* detailsLayout = new QVBoxLayout(details);
    detailsLayout->setContentsMargins(0, 0, 0, 0);
    auto* unitRow = new QHBoxLayout;
    unitRow->addWidget(buddyLabel(QStringLiteral("数据表(&B):"), m_unit));
    unitRow->addWidget(m_unit);
    unitRow->addWidget(m_unitScope, 1);
    detailsLayout->addLayout(unitRow);
    detailsLayout->addWidget(images);

    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(m_entries);
    splitter->addWidget(details);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);

    m_size = new QLabel;
    m_size->setObjectName(QStringLiteral("journalSize"));
    m_reasonRequired = new QCheckBox(QStringLiteral("修改时必须填写原因(&R)"));
    m_reasonRequired->setObjectName(QStringLiteral("reasonRequired"));
    m_retention = new QSpinBox;
    m_retention->setObjectName(QStringLiteral("retentionDays"));
    m_retention->setRange(1, 36500);
    m_retention->setSuffix(QStringLiteral("天"));
    m_undo = new QPushButton(QStringLiteral("撤销(&U)"));
    m_undo->setObjectName(QStringLiteral("undoButton"));
    auto* exportButton = new QPushButton(QStringLiteral("导出(&E)..."));
    exportButton->setObjectName(QStringLiteral("exportButton"));
    auto* close = new QDialogButtonBox(QDialogButtonBox::Close);
    close->button(QDialogButtonBox::Close)->setText(QStringLiteral("关闭"));
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_size, 1);
    bottom->addWidget(m_reasonRequired);
    bottom->addWidget(buddyLabel(QStringLiteral("保留(&K):"), m_retention));
    bottom->addWidget(m_retention);
    bottom->addWidget(m_undo);
    bottom->addWidget(exportButton);
    bottom->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filter);
    layout->addWidget(splitter, 1);
    layout->addLayout(bottom);

    try {
        const journal::JournalSettings settings = m_journal.settings();
        m_reasonRequired->setChecked(settings.reasonRequired);
        m_retention->setValue(settings.retentionDays);
    } catch (const journal::JournalError& error) {
        warningMessage(this, error.message(), kCaption);
    }
    connect(apply, &QPushButton::clicked, this, &JournalWindow::refresh);
    connect(m_entries, &QTableWidget::itemSelectionChanged, this, &JournalWindow::showDetails);
    connect(m_unit, &QComboBox::currentIndexChanged, this, &JournalWindow::showUnit);
    connect(m_undo, &QPushButton::clicked, this, &JournalWindow::undoSelected);
    connect(exportButton, &QPushButton::clicked, this, &JournalWindow::exportEntries);
    connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_reasonRequired, &QCheckBox::toggled, this, &JournalWindow::saveSettings);
    connect(m_retention, &QSpinBox::valueChanged, this, &JournalWindow::saveSettings);
    fillCommandFilter();
    refresh();
}

void JournalWindow::fillCommandFilter()
{
    m_command->clear();
    m_command->addItem(QStringLiteral("全部命令"), 0);
    std::map<int, QString> commands;
    try {
        for (const journal::EntrySummary& e : m_journal.entries())
            commands.emplace(e.commandId, e.commandName);
    } catch (const journal::JournalError&) {
        return; // refresh() reports it
    }
    for (const auto& [id, name] : commands)
        m_command->addItem(name, id);
}

void JournalWindow::refresh()
{
    journal::EntryFilter filter;
    filter.from = m_from->date();
    filter.to = m_to->date();
    if (const int id = m_command->currentData().toInt())
        filter.commandId = id;
    m_shown.clear();
    try {
        WaitCursor wait;
        m_shown = m_journal.entries(filter);
    } catch (const journal::JournalError& error) {
        warningMessage(this, error.message(), kCaption);
    }
    m_entries->clearContents();
    m_entries->setRowCount(int(m_shown.size()));
    for (int r = 0; r < int(m_shown.size()); ++r) {
        const QStringList cells = journal::entryCells(m_shown[size_t(r)]);
        for (int c = 0; c < int(cells.size()); ++c)
            m_entries->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
    m_entries->resizeColumnsToContents();
    m_size->setText(QStringLiteral("日志文件: %1 (%2)")
                        .arg(QDir::toNativeSeparators(m_journal.path()),
                             QLocale::system().formattedDataSize(m_journal.sizeBytes())));
    if (!m_shown.empty())
        m_entries->selectRow(0);
    else
        showDetails();
}

qint64 JournalWindow::selectedEntryId() const
{
    const int row = m_entries->currentRow();
    if (row < 0 || row >= int(m_shown.size()) || m_entries->selectedItems().isEmpty())
        return 0;
    return m_shown[size_t(row)].id;
}

void JournalWindow::showDetails()
{
    m_details.reset();
    if (const qint64 id = selectedEntryId()) {
        try {
            m_details = m_journal.entry(id);
        } catch (const journal::JournalError& error) {
            warningMessage(this, error.message(), kCaption);
        }
    }
    const QSignalBlocker block(m_unit);
    m_unit->clear();
    if (m_details)
        for (const journal::UnitInfo& unit : m_details->units)
            m_unit->addItem(unit.table);
    m_undo->setEnabled(m_details && !m_details->units.empty());
    showUnit(m_unit->count() ? 0 : -1);
}

void JournalWindow::showUnit(int unit)
{
    if (!m_details || unit < 0 || unit >= int(m_details->units.size())) {
        m_unitScope->clear();
        fillRows(m_before, {}, {});
        fillRows(m_after, {}, {});
        return;
    }
    const journal::UnitInfo& info = m_details->units[size_t(unit)];
    try {
        WaitCursor wait;
        const journal::RowSet before = m_journal.beforeRows(m_details->id, info.index);
        fillRows(m_before, info.columns, before.rows);
        const auto after = m_journal.afterRows(m_details->id, info.index);
        fillRows(m_after, info.columns, after ? *after : std::vector<journal::Row>{});
        const QString afterNote = info.afterRows ? rowsNote(*info.afterRows, after.has_value())
                                                 : QStringLiteral("未记录");
        m_unitScope->setText(QStringLiteral("%1   修改前: %2   修改后: %3")
                                 .arg(info.scopeText, rowsNote(info.beforeRows, info.beforeKept), afterNote));
    } catch (const journal::JournalError& error) {
        warningMessage(this, error.message(), kCaption);
    }
}

void JournalWindow::undoSelected()
{
    const qint64 id = selectedEntryId();
    if (!id) {
        warningMessage(this, QStringLiteral("请选择要撤销的操作!"), kCaption);
        return;
    }
    if (undoInteractively(this, id)) {
        fillCommandFilter();
        refresh();
    }
}

void JournalWindow::exportEntries()
{
    QFileDialog chooser(this, QStringLiteral("导出操作日志"),
                        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
                        QStringLiteral("CSV 文件 (*.csv)"));
    chooser.setObjectName(QStringLiteral("exportFileDialog"));
    chooser.setAcceptMode(QFileDialog::AcceptSave);
    chooser.setDefaultSuffix(QStringLiteral("csv"));
    chooser.selectFile(QStringLiteral("操作日志.csv"));
    if (execDialog(chooser) != QDialog::Accepted || chooser.selectedFiles().isEmpty())
        return;
    const QString path = chooser.selectedFiles().constFirst();
    QSaveFile file(path);
    const bool written =
        file.open(QIODevice::WriteOnly) && journal::writeEntriesCsv(file, m_shown) && file.commit();
    if (!written)
        warningMessage(this, QStringLiteral("导出失败!\n%1:%2").arg(QDir::toNativeSeparators(path), file.errorString()),
                       kCaption);
}

void JournalWindow::saveSettings()
{
    journal::JournalSettings settings;
    settings.reasonRequired = m_reasonRequired->isChecked();
    settings.retentionDays = m_retention->value();
    try {
        m_journal.setSettings(settings);
    } catch (const journal::JournalError& error) {
        warningMessage(this, error.message(), kCaption);
    }
}

} // namespace tessera
