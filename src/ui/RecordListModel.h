#pragma once

#include <QAbstractTableModel>
#include <QModelIndexList>
#include <QStringList>

#include <deque>
#include <vector>

namespace tessera {

// The text cells under the record list: named columns (as the database names
// them) and rows of text.
//
// The fills read rows newest-first and put each at the top, so rows live in a
// deque (O(1) at either end). A row is kept as one QString holding its cells
// with length prefixes: a million rows of five short cells then cost about a
// tenth of what a QStringList per row would. Cells are cut out on access,
// which only the visible rows and the record commands ask for.
class RecordListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit RecordListModel(QObject* parent = nullptr);

    // Columns. Replacing them keeps the rows, cut to the new cell count.
    // Each row may also hold hidden cells after the shown ones: cell() and
    // setCell() reach them, the views (columnCount, headers) do not.
    void setColumns(const QStringList& names, int hiddenCells = 0);
    const QStringList& columns() const noexcept { return m_columns; }
    int hiddenCells() const noexcept { return m_hiddenCells; }

    // Removes all rows and all columns.
    void clear();
    // Removes all rows; the columns stay.
    void removeAllRows();

    // Inserts a row before `index` (clamped to 0..rowCount) and returns where
    // it went. Cells beyond those given are empty; cells beyond the shown and
    // hidden ones are dropped.
    int insertRow(int index, const QStringList& cells);
    void appendRows(std::vector<QStringList>&& rows);
    bool removeRow(int row);

    // Out-of-range cells read as empty text and are not written; hidden
    // cells are in range.
    QString cell(int row, int column) const;
    // The same without a copy, valid until the rows change: for reading
    // every row at once.
    QStringView cellView(int row, int column) const;
    bool setCell(int row, int column, const QString& text);
    // The shown cells of a row.
    QStringList rowCells(int row) const;

    // A fill: every addAtTop() puts its row above the previous ones, with the
    // same result as insertRow(0, ...) each time, but the views hear of the
    // rows once, at endFill(). Rows added are not visible before then; any
    // other change in between commits them first.
    void beginFill();
    void addAtTop(const QStringList& cells);
    void endFill();
    bool filling() const noexcept { return m_filling; }

    // Commits a fill when it goes out of scope, also when a database error
    // ends the read early: the rows read so far stay.
    class TopFill {
    public:
        explicit TopFill(RecordListModel& model) : m_model(model) { m_model.beginFill(); }
        ~TopFill() { m_model.endFill(); }
        TopFill(const TopFill&) = delete;
        TopFill& operator=(const TopFill&) = delete;
        void add(const QStringList& cells) { m_model.addAtTop(cells); }

    private:
        RecordListModel& m_model;
    };

    // The rows of the selected indexes, ascending, each once.
    static std::vector<int> sortedRows(const QModelIndexList& indexes);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QString encode(const QStringList& cells) const;
    static QStringList decode(const QString& row);
    static QStringView cellOf(const QString& row, int column);
    void commitPending();
    int cellCount() const { return int(m_columns.size()) + m_hiddenCells; }

    QStringList m_columns;
    int m_hiddenCells = 0;
    std::deque<QString> m_rows;
    std::vector<QString> m_pending; // rows of the open fill, in the order added
    bool m_filling = false;
};

} // namespace tessera
