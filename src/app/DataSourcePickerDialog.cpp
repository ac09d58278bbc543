#include "app/DataSourcePickerDialog.h"

#include "app/DialogForm.h"
#include "app/GuiSeam.h"
#include "db/DbError.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tessera {

namespace {

const QString kCaption = QStringLiteral("选择数据源");

QString scopeText(db::DataSourceScope scope)
{
    return scope == db::DataSourceScope::System ? QStringLiteral("系统") : QStringLiteral("用户");
}

QTableWidgetItem* cell(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return item;
}

} // namespace

DataSourcePickerDialog::DataSourcePickerDialog(std::vector<db::DataSourceEntry> dataSources, const QString& current,
                                         QWidget* parent)
    : QDialog(parent)
    , m_dataSources(std::move(dataSources))
{
    setWindowTitle(kCaption);

    m_table = new QTableWidget(int(m_dataSources.size()), 3);
    m_table->setObjectName(QStringLiteral("dataSources"));
    m_table->setHorizontalHeaderLabels(
        {QStringLiteral("数据源名称"), QStringLiteral("驱动程序"), QStringLiteral("类型")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setTabKeyNavigation(false);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    int currentRow = -1;
    for (int row = 0; row < int(m_dataSources.size()); ++row) {
        const db::DataSourceEntry& entry = m_dataSources[std::size_t(row)];
        m_table->setItem(row, 0, cell(entry.name));
        m_table->setItem(row, 1, cell(entry.driver));
        m_table->setItem(row, 2, cell(scopeText(entry.scope)));
        if (currentRow < 0 && entry.name.compare(current, Qt::CaseInsensitive) == 0)
            currentRow = row;
    }
    if (currentRow < 0 && !m_dataSources.empty())
        currentRow = 0;
    m_table->resizeColumnsToContents();
    m_table->setMinimumWidth(480);

    const QString label = QStringLiteral("数据源:");
    m_table->setAccessibleName(label);
    auto* content = new QVBoxLayout;
    content->addWidget(buddyLabel(label, m_table));
    content->addWidget(m_table);
    m_ok = layOutWithOkCancel(this, content, DialogSize::Resizable)->button(QDialogButtonBox::Ok);
    connect(m_table, &QTableWidget::cellDoubleClicked, this, &DataSourcePickerDialog::accept);
    connect(m_table, &QTableWidget::itemSelectionChanged, this, &DataSourcePickerDialog::updateOkButton);

    if (currentRow >= 0)
        m_table->selectRow(currentRow);
    updateOkButton();
    m_table->setFocus();
}

QString DataSourcePickerDialog::selectedName() const
{
    const QList<QTableWidgetItem*> selected = m_table->selectedItems();
    return selected.isEmpty() ? QString() : m_dataSources[std::size_t(selected.first()->row())].name;
}

void DataSourcePickerDialog::updateOkButton()
{
    m_ok->setEnabled(!m_table->selectedItems().isEmpty());
}

std::optional<QString> DataSourcePickerDialog::pick(QWidget* parent, const QString& current)
{
    std::vector<db::DataSourceEntry> dataSources;
    try {
        dataSources = db::listAllDataSources();
    } catch (const db::DbError& error) {
        warningMessage(parent, QStringLiteral("无法读取ODBC数据源列表,请检查ODBC配置!"), kCaption, error.message());
        return std::nullopt;
    }
    if (dataSources.empty()) {
        warningMessage(parent, QStringLiteral("没有配置任何ODBC数据源,请先配置数据源!"), kCaption);
        return std::nullopt;
    }
    DataSourcePickerDialog dialog(std::move(dataSources), current, parent);
    if (execDialog(dialog) != QDialog::Accepted)
        return std::nullopt;
    const QString name = dialog.selectedName();
    if (name.isEmpty())
        return std::nullopt;
    return name;
}

} // namespace tessera
