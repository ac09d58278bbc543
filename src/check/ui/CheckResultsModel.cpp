#include "check/ui/CheckResultsModel.h"

#include "check/CheckRules.h"

#include <algorithm>

namespace tessera {

using check::Finding;

namespace {

const char* const kHeaders[] = {"变量", "日期", "规则", "开始", "结束", "数值", "点数"};

// Whether a comes before b by the column, on the column's own values.
bool lessBy(int column, const Finding& a, const Finding& b)
{
    switch (column) {
    case CheckResultsModel::TagPath:
        return a.tagPath < b.tagPath;
    case CheckResultsModel::Day:
        return a.day < b.day;
    case CheckResultsModel::Rule:
        return int(a.rule) < int(b.rule);
    case CheckResultsModel::From:
        return std::tie(a.day, a.fromMsecs) < std::tie(b.day, b.fromMsecs);
    case CheckResultsModel::To:
        return std::tie(a.day, a.toMsecs) < std::tie(b.day, b.toMsecs);
    case CheckResultsModel::Values:
        return a.values < b.values;
    case CheckResultsModel::Count:
        return a.count < b.count;
    }
    return false;
}

} // namespace

QString CheckResultsModel::cellText(const Finding& f, int column)
{
    switch (column) {
    case TagPath:
        return f.tagPath;
    case Day:
        return f.day.toString(Qt::ISODate);
    case Rule:
        return check::ruleOf(f.rule).name;
    case From:
        return check::timeOfDayText(f.fromMsecs);
    case To:
        return check::timeOfDayText(f.toMsecs);
    case Values:
        return f.values;
    case Count:
        return QString::number(f.count);
    }
    return QString();
}

void CheckResultsModel::setFindings(std::vector<Finding> findings)
{
    beginResetModel();
    m_all = std::move(findings);
    m_shown.resize(m_all.size());
    for (size_t i = 0; i < m_all.size(); ++i)
        m_shown[i] = int(i);
    applySort();
    endResetModel();
}

void CheckResultsModel::setFilter(const QString& text, std::optional<check::RuleId> rule)
{
    beginResetModel();
    m_shown.clear();
    for (size_t i = 0; i < m_all.size(); ++i)
        if ((!rule || m_all[i].rule == *rule) && m_all[i].tagPath.contains(text, Qt::CaseInsensitive))
            m_shown.push_back(int(i));
    applySort();
    endResetModel();
}

int CheckResultsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_shown.size());
}

int CheckResultsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CheckResultsModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
        return {};
    return cellText(findingAt(index.row()), index.column());
}

QVariant CheckResultsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString::fromUtf8(kHeaders[section]);
}

void CheckResultsModel::sort(int column, Qt::SortOrder order)
{
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> rowsBefore;
    for (const QModelIndex& index : before)
        rowsBefore.push_back(m_shown[size_t(index.row())]);
    m_sortColumn = column;
    m_sortOrder = order;
    applySort();
    // Persistent indexes (the selection) follow their findings.
    std::vector<int> rowOf(m_all.size(), -1);
    for (size_t r = 0; r < m_shown.size(); ++r)
        rowOf[size_t(m_shown[r])] = int(r);
    QModelIndexList after;
    for (size_t i = 0; i < size_t(before.size()); ++i)
        after << index(rowOf[size_t(rowsBefore[i])], before[qsizetype(i)].column());
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void CheckResultsModel::applySort()
{
    if (m_sortColumn < 0)
        return;
    const int column = m_sortColumn;
    const bool ascending = m_sortOrder == Qt::AscendingOrder;
    std::stable_sort(m_shown.begin(), m_shown.end(), [&](int a, int b) {
        const Finding& x = m_all[size_t(a)];
        const Finding& y = m_all[size_t(b)];
        return ascending ? lessBy(column, x, y) : lessBy(column, y, x);
    });
}

} // namespace tessera
