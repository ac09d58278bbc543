#pragma once

#include <QSortFilterProxyModel>

#include <vector>

namespace tessera {

class RecordListModel;

// The record list in the order the user chose by a column header: numbers
// by their value ("9" before "10"), numbers before texts, texts (dates and
// times among them) as text. Unsorted (column -1) it is the rows' own
// order, and it returns to that whenever the rows are replaced by a fill.
class RecordSortModel : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit RecordSortModel(RecordListModel& rows, QObject* parent = nullptr);

    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    // The rows' own order again.
    void unsort();

    struct Key {
        bool numeric = false;
        double number = 0;
        QString text;
    };
    Key keyOf(int row, int column) const;
    static bool less(const Key& a, const Key& b);

    RecordListModel& m_rows;
    // A whole sort reads each cell once, not once a comparison.
    std::vector<Key> m_keys;
};

} // namespace tessera
