#include "copy/ui/CopyDifferencesDialog.h"

#include "ui/ListExport.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tessera {

CopyDifferencesDialog::CopyDifferencesDialog(const std::vector<copy::DifferenceLine>& lines, qint64 untold,
                                             QWidget* parent)
    : QDialog(parent)
    , m_lines(lines)
{
    setWindowTitle(QStringLiteral("核对差异"));
    m_list = new QTableWidget(int(lines.size()), int(copy::differenceHeaders().size()));
    m_list->setObjectName(QStringLiteral("differenceList"));
    m_list->setAccessibleName(QStringLiteral("差异行"));
    m_list->setHorizontalHeaderLabels(copy::differenceHeaders());
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->verticalHeader()->hide();
    m_list->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < int(lines.size()); ++row) {
        const QStringList cells = copy::differenceCells(lines[size_t(row)]);
        for (int column = 0; column < cells.size(); ++column)
            m_list->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    m_list->resizeColumnsToContents();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    QPushButton* exporting = buttons->addButton(QStringLiteral("导出CSV(&E)..."), QDialogButtonBox::ActionRole);
    exporting->setObjectName(QStringLiteral("exportButton"));
    connect(exporting, &QPushButton::clicked, this, &CopyDifferencesDialog::exportCsv);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    if (untold > 0)
        layout->addWidget(new QLabel(QStringLiteral("另有%1行差异没有列出(tessera-copy --verify --diff-csv 可导出全部)")
                                         .arg(untold)));
    layout->addWidget(buttons);
    resize(900, 500);
}

void CopyDifferencesDialog::exportCsv()
{
    CsvTable table;
    table.headers = copy::differenceHeaders();
    table.rowCount = qint64(m_lines.size());
    table.row = [this](qint64 row) { return copy::differenceCells(m_lines[size_t(row)]); };
    runTableExport(this, table, QStringLiteral("核对差异"));
}

} // namespace tessera
