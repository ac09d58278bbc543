#include "journal/ui/JournalWindow.h"

#include "app/DialogForm.h"
#include "app/GuiSeam.h"
#include "app/WaitCursor.h"
#include "journal/Journal.h"
#include "journal/JournalListing.h"
#include "journal/ui/ImagePage.h"
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

#include <limits>
#include <map>

namespace tessera {

namespace {

const QString kCaption = QStringLiteral("操作日志");

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

QString rowsNote(std::optional<qint64> total, bool kept)
{
    if (!total)
        return QStringLiteral("未记录");
    return kept ? QStringLiteral("%1行").arg(*total) : QStringLiteral("%1行,未保存").arg(*total);
}

} // namespace

JournalWindow::JournalWindow(journal::Journal& journal, QWidget* parent)
    : QDialog(parent), m_journal(journal)
{
    setObjectName(QStringLiteral("journalWindow"));
    setWindowTitle(kCaption);
    resize(1100, 700);

    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(createEntryList());
    splitter->addWidget(createDetails());
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(createFilter());
    layout->addWidget(splitter, 1);
    layout->addLayout(createSettingsRow());
    loadSettings();
    fillCommandFilter();
    refresh();
}

QLayout* JournalWindow::createFilter()
{
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
    connect(apply, &QPushButton::clicked, this, &JournalWindow::refresh);
    return filter;
}

QWidget* JournalWindow::createEntryList()
{
    m_entries = newTable(QStringLiteral("entryList"), QStringLiteral("操作记录"));
    m_entries->setSelectionMode(QAbstractItemView::SingleSelection);
    m_entries->setColumnCount(int(journal::entryListHeaders().size()));
    m_entries->setHorizontalHeaderLabels(journal::entryListHeaders());
    connect(m_entries, &QTableWidget::itemSelectionChanged, this, &JournalWindow::showDetails);
    return m_entries;
}

// The chosen entry's units and their rows before and after.
QWidget* JournalWindow::createDetails()
{
    m_unit = new QComboBox;
    m_unit->setObjectName(QStringLiteral("unitChoice"));
    m_unit->setAccessibleName(QStringLiteral("数据表"));
    m_unitScope = new QLabel;
    m_unitScope->setObjectName(QStringLiteral("unitScope"));
    m_unitScope->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_before = new ImagePage(m_journal, journal::Side::Before, QStringLiteral("beforeRows"), QStringLiteral("修改前"));
    m_after = new ImagePage(m_journal, journal::Side::After, QStringLiteral("afterRows"), QStringLiteral("修改后"));
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
    connect(m_unit, &QComboBox::currentIndexChanged, this, &JournalWindow::showUnit);
    return details;
}

// The journal's size, its settings, undo, export and close.
QLayout* JournalWindow::createSettingsRow()
{
    m_size = new QLabel;
    m_size->setObjectName(QStringLiteral("journalSize"));
    m_reasonRequired = new QCheckBox(QStringLiteral("修改时必须填写原因(&R)"));
    m_reasonRequired->setObjectName(QStringLiteral("reasonRequired"));
    m_retention = new QSpinBox;
    m_retention->setObjectName(QStringLiteral("retentionDays"));
    m_retention->setRange(1, 36500);
    m_retention->setSuffix(QStringLiteral("天"));
    m_imageLimit = new QSpinBox;
    m_imageLimit->setObjectName(QStringLiteral("imageLimit"));
    m_imageLimit->setRange(1, std::numeric_limits<int>::max());
    m_imageLimit->setSuffix(QStringLiteral("行"));
    m_imageLimit->setGroupSeparatorShown(true);
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
    bottom->addWidget(buddyLabel(QStringLiteral("单条记录上限(&L):"), m_imageLimit));
    bottom->addWidget(m_imageLimit);
    bottom->addWidget(m_undo);
    bottom->addWidget(exportButton);
    bottom->addWidget(close);
    connect(m_undo, &QPushButton::clicked, this, &JournalWindow::undoSelected);
    connect(exportButton, &QPushButton::clicked, this, &JournalWindow::exportEntries);
    connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);
    return bottom;
}

// The stored settings, then their changes saved as they are made.
void JournalWindow::loadSettings()
{
    try {
        const journal::JournalSettings settings = m_journal.settings();
        m_reasonRequired->setChecked(settings.reasonRequired);
        m_retention->setValue(settings.retentionDays);
        m_imageLimit->setValue(int(std::min<qint64>(settings.imageLimit, m_imageLimit->maximum())));
    } catch (const journal::JournalError& error) {
        warningMessage(this, error.message(), kCaption);
    }
    connect(m_reasonRequired, &QCheckBox::toggled, this, &JournalWindow::saveSettings);
    connect(m_retention, &QSpinBox::valueChanged, this, &JournalWindow::saveSettings);
    connect(m_imageLimit, &QSpinBox::valueChanged, this, &JournalWindow::saveSettings);
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
        m_unitScope->setText(m_details ? m_details->problem : QString());
        m_before->clear();
        m_after->clear();
        return;
    }
    // A page of each image: quick, and a damaged one says so in a box.
    const journal::UnitInfo& info = m_details->units[size_t(unit)];
    m_before->showImage(m_details->id, info, info.beforeKept ? std::optional<qint64>(info.beforeRows) : std::nullopt);
    m_after->showImage(m_details->id, info, info.afterRowsKept ? info.afterRows : std::nullopt);
    QString text = QStringLiteral("%1   修改前: %2   修改后: %3")
                       .arg(info.scopeText, rowsNote(info.beforeRows, info.beforeKept),
                            rowsNote(info.afterRows, info.afterRowsKept));
    if (!m_details->problem.isEmpty())
        text += QStringLiteral("   记录已损坏: ") + m_details->problem;
    m_unitScope->setText(text);
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
    settings.imageLimit = m_imageLimit->value();
    try {
        m_journal.setSettings(settings);
    } catch (const journal::JournalError& error) {
        warningMessage(this, error.message(), kCaption);
    }
}

} // namespace tessera
