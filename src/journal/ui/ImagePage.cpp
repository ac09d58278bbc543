#include "journal/ui/ImagePage.h"

#include "app/GuiSeam.h"
#include "journal/Journal.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tessera {

ImagePage::ImagePage(journal::Journal& journal, journal::Side side, const QString& objectName, const QString& title)
    : m_journal(journal), m_side(side)
{
    m_table = new QTableWidget;
    m_table->setObjectName(objectName);
    m_table->setAccessibleName(title);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_position = new QLabel;
    m_position->setObjectName(objectName + QStringLiteral("Position"));
    m_previous = new QPushButton(QStringLiteral("上一页"));
    m_previous->setObjectName(objectName + QStringLiteral("Previous"));
    m_next = new QPushButton(QStringLiteral("下一页"));
    m_next->setObjectName(objectName + QStringLiteral("Next"));
    auto* pager = new QHBoxLayout;
    pager->addWidget(m_position, 1);
    pager->addWidget(m_previous);
    pager->addWidget(m_next);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_table, 1);
    layout->addLayout(pager);
    connect(m_previous, &QPushButton::clicked, this, [this] { showPage(m_offset - kPageRows); });
    connect(m_next, &QPushButton::clicked, this, [this] { showPage(m_offset + kPageRows); });
    clear();
}

void ImagePage::clear()
{
    m_total = 0;
    m_offset = 0;
    m_table->clear();
    m_table->setRowCount(0);
    m_table->setColumnCount(0);
    m_position->clear();
    m_previous->setEnabled(false);
    m_next->setEnabled(false);
}

void ImagePage::showImage(qint64 entryId, const journal::UnitInfo& unit, std::optional<qint64> total)
{
    clear();
    m_entryId = entryId;
    m_unit = unit.index;
    m_columns = unit.columns;
    m_table->setColumnCount(int(m_columns.size()));
    m_table->setHorizontalHeaderLabels(m_columns);
    if (!total) {
        m_position->setText(QStringLiteral("未保存"));
        return;
    }
    m_total = *total;
    showPage(0);
}

void ImagePage::showPage(qint64 offset)
{
    m_offset = std::clamp<qint64>(offset, 0, std::max<qint64>(0, m_total - 1) / kPageRows * kPageRows);
    std::vector<journal::Row> rows;
    try {
        rows = m_journal.imageRows(m_entryId, m_unit, m_side, m_offset, kPageRows);
    } catch (const journal::JournalError& error) {
        warningMessage(this, error.message(), QStringLiteral("操作日志"));
    }
    m_table->clearContents();
    m_table->setRowCount(int(rows.size()));
    for (int r = 0; r < int(rows.size()); ++r)
        for (int c = 0; c < int(rows[size_t(r)].size()) && c < m_table->columnCount(); ++c)
            m_table->setItem(r, c, new QTableWidgetItem(journal::displayText(rows[size_t(r)][size_t(c)])));
    m_table->resizeColumnsToContents();
    m_position->setText(rows.empty() ? QStringLiteral("共%1行").arg(m_total)
                                     : QStringLiteral("第%1-%2行,共%3行")
                                           .arg(m_offset + 1)
                                           .arg(m_offset + qint64(rows.size()))
                                           .arg(m_total));
    m_previous->setEnabled(m_offset > 0);
    m_next->setEnabled(m_offset + kPageRows < m_total);
}

} // namespace tessera
