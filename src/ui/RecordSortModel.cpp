#include "ui/RecordSortModel.h"

#include "ui/RecordListModel.h"

namespace tessera {

RecordSortModel::RecordSortModel(RecordListModel& rows, QObject* parent)
    : QSortFilterProxyModel(parent)
    , m_rows(rows)
{
    setSourceModel(&rows);
    // Connected after the proxy's own handling of the reset.
    connect(&rows, &QAbstractItemModel::modelReset, this, &RecordSortModel::unsort);
}

void RecordSortModel::sort(int column, Qt::SortOrder order)
{
    if (column >= 0) {
        m_keys.resize(size_t(m_rows.rowCount()));
        for (int row = 0; row < m_rows.rowCount(); ++row)
            m_keys[size_t(row)] = keyOf(row, column);
    }
    QSortFilterProxyModel::sort(column, order);
    m_keys.clear();
}

void RecordSortModel::unsort()
{
    if (sortColumn() >= 0)
        QSortFilterProxyModel::sort(-1);
}

bool RecordSortModel::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    const size_t l = size_t(left.row());
    const size_t r = size_t(right.row());
    if (l < m_keys.size() && r < m_keys.size())
        return less(m_keys[l], m_keys[r]);
    // A row a command added or changed in a sorted list.
    return less(keyOf(left.row(), left.column()), keyOf(right.row(), right.column()));
}

RecordSortModel::Key RecordSortModel::keyOf(int row, int column) const
{
    Key key;
    key.text = m_rows.cell(row, column);
    key.number = key.text.trimmed().toDouble(&key.numeric);
    return key;
}

bool RecordSortModel::less(const Key& a, const Key& b)
{
    if (a.numeric != b.numeric)
        return a.numeric;
    if (a.numeric)
        return a.number < b.number;
    return a.text < b.text;
}

} // namespace tessera
