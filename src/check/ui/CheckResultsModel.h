#pragma once

#include "check/CheckFinding.h"

#include <QAbstractTableModel>

#include <optional>
#include <vector>

namespace tessera {

// The findings of a data check as the worklist shows them: sorted by any
// column on their typed values and filtered by text and rule without
// copying a finding, so that a hundred thousand sort in a blink.
class CheckResultsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { TagPath, Day, Rule, From, To, Values, Count, ColumnCount };

    explicit CheckResultsModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    void setFindings(std::vector<check::Finding> findings);
    // Shows the findings whose tag path contains `text` (any case) and, when
    // given, of that rule only.
    void setFilter(const QString& text, std::optional<check::RuleId> rule);
    const check::Finding& findingAt(int row) const { return m_all[size_t(m_shown[size_t(row)])]; }
    qsizetype totalCount() const { return qsizetype(m_all.size()); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    static QString cellText(const check::Finding& finding, int column);

private:
    void applySort();

    std::vector<check::Finding> m_all;
    std::vector<int> m_shown; // indexes into m_all, in the order shown
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

} // namespace tessera
