#include "check/ui/CheckResultsWindow.h"

#include "check/CheckRules.h"
#include "ui/ListExport.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace tessera {

CheckResultsWindow::CheckResultsWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("校验结果"));
    setObjectName(QStringLiteral("checkResults"));
    resize(900, 480);
    m_filter = new QLineEdit;
    m_filter->setObjectName(QStringLiteral("filter"));
    m_filter->setPlaceholderText(QStringLiteral("按变量筛选"));
    m_filter->setAccessibleName(QStringLiteral("按变量筛选"));
    m_rule = new QComboBox;
    m_rule->setObjectName(QStringLiteral("ruleFilter"));
    m_rule->setAccessibleName(QStringLiteral("规则"));
    m_rule->addItem(QStringLiteral("全部规则"), -1);
    for (const check::RuleDescription& rule : check::checkRules())
        m_rule->addItem(rule.name, int(rule.id));
    m_count = new QLabel;
    auto* exportButton = new QPushButton(QStringLiteral("导出..."));
    exportButton->setObjectName(QStringLiteral("export"));
    auto* bar = new QHBoxLayout;
    bar->addWidget(m_filter, 1);
    bar->addWidget(m_rule);
    bar->addWidget(m_count);
    bar->addWidget(exportButton);

    m_table = new QTableView;
    m_table->setObjectName(QStringLiteral("findings"));
    m_table->setAccessibleName(QStringLiteral("校验结果"));
    m_table->setModel(&m_model);
    m_table->setSortingEnabled(true);
    m_table->horizontalHeader()->setSortIndicatorShown(true);
    m_table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->setDefaultSectionSize(22);
    m_table->setColumnWidth(CheckResultsModel::TagPath, 260);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_table);

    connect(m_filter, &QLineEdit::textChanged, this, &CheckResultsWindow::applyFilter);
    connect(m_rule, &QComboBox::currentIndexChanged, this, &CheckResultsWindow::applyFilter);
    connect(exportButton, &QPushButton::clicked, this, &CheckResultsWindow::exportShown);
    connect(m_table, &QTableView::activated, this,
            [this](const QModelIndex& index) { Q_EMIT findingActivated(m_model.findingAt(index.row())); });
}

void CheckResultsWindow::setFindings(std::vector<check::Finding> findings, const QString& scopeText)
{
    m_scopeText = scopeText;
    setWindowTitle(QStringLiteral("校验结果 - %1").arg(scopeText));
    m_model.setFindings(std::move(findings));
    applyFilter();
}

void CheckResultsWindow::applyFilter()
{
    const int rule = m_rule->currentData().toInt();
    m_model.setFilter(m_filter->text().trimmed(),
                      rule < 0 ? std::nullopt : std::optional<check::RuleId>(check::RuleId(rule)));
    updateCount();
}

void CheckResultsWindow::updateCount()
{
    m_count->setText(QStringLiteral("%1 / %2 项").arg(m_model.rowCount()).arg(m_model.totalCount()));
}

void CheckResultsWindow::exportShown()
{
    CsvTable table;
    for (int c = 0; c < CheckResultsModel::ColumnCount; ++c)
        table.headers << m_model.headerData(c, Qt::Horizontal).toString();
    table.rowCount = m_model.rowCount();
    table.row = [this](qint64 row) {
        QStringList cells;
        for (int c = 0; c < CheckResultsModel::ColumnCount; ++c)
            cells << CheckResultsModel::cellText(m_model.findingAt(int(row)), c);
        return cells;
    };
    runTableExport(this, table, QStringLiteral("数据校验"));
}

} // namespace tessera
