#include "ui/RecordListModel.h"

#include <algorithm>

namespace tessera {

namespace {

// Each cell is stored as its length followed by its text. A length below
// 0xFFFF takes one QChar; longer texts take the marker and two more.
constexpr char16_t kLongCell = 0xFFFF;

void appendCell(QString& out, const QString& text)
{
    const qsizetype length = text.size();
    if (length < kLongCell) {
        out.append(QChar(char16_t(length)));
    } else {
        out.append(QChar(kLongCell));
        out.append(QChar(char16_t(quint32(length) >> 16)));
        out.append(QChar(char16_t(quint32(length) & 0xFFFF)));
    }
    out.append(text);
}

// Reads the length at `pos` and moves `pos` to the cell's first character.
qsizetype readLength(const QString& row, qsizetype& pos)
{
    const char16_t head = row.at(pos++).unicode();
    if (head != kLongCell)
        return head;
    const quint32 high = row.at(pos++).unicode();
    const quint32 low = row.at(pos++).unicode();
    return qsizetype((high << 16) | low);
}

} // namespace

RecordListModel::RecordListModel(QObject* parent) : QAbstractTableModel(parent) {}

QString RecordListModel::encode(const QStringList& cells) const
{
    // Trailing empty cells read as empty anyway; not storing them keeps
    // sparse rows (and rows without columns) small.
    qsizetype count = std::min<qsizetype>(cells.size(), cellCount());
    while (count > 0 && cells.at(count - 1).isEmpty())
        --count;
    if (count == 0)
        return QString();
    qsizetype size = 0;
    for (qsizetype i = 0; i < count; ++i)
        size += cells.at(i).size() + (cells.at(i).size() < kLongCell ? 1 : 3);
    QString out;
    out.reserve(size);
    for (qsizetype i = 0; i < count; ++i)
        appendCell(out, cells.at(i));
    return out;
}

QStringList RecordListModel::decode(const QString& row)
{
    QStringList cells;
    qsizetype pos = 0;
    while (pos < row.size()) {
        const qsizetype length = readLength(row, pos);
        cells.append(row.mid(pos, length));
        pos += length;
    }
    return cells;
}

QStringView RecordListModel::cellOf(const QString& row, int column)
{
    qsizetype pos = 0;
    for (int c = 0; pos < row.size(); ++c) {
        const qsizetype length = readLength(row, pos);
        if (c == column)
            return QStringView(row).mid(pos, length);
        pos += length;
    }
    return QStringView();
}

void RecordListModel::setColumns(const QStringList& names, int hiddenCells)
{
    commitPending();
    beginResetModel();
    const bool narrower = names.size() + hiddenCells < cellCount();
    m_columns = names;
    m_hiddenCells = std::max(hiddenCells, 0);
    if (narrower) {
        for (QString& row : m_rows)
            row = encode(decode(row));
    }
    endResetModel();
}

void RecordListModel::clear()
{
    beginResetModel();
    m_pending.clear();
    m_rows.clear();
    m_columns.clear();
    m_hiddenCells = 0;
    endResetModel();
}

void RecordListModel::removeAllRows()
{
    m_pending.clear();
    if (m_rows.empty())
        return;
    beginRemoveRows(QModelIndex(), 0, rowCount() - 1);
    m_rows.clear();
    endRemoveRows();
}

int RecordListModel::insertRow(int index, const QStringList& cells)
{
    commitPending();
    index = std::clamp(index, 0, rowCount());
    beginInsertRows(QModelIndex(), index, index);
    m_rows.insert(m_rows.begin() + index, encode(cells));
    endInsertRows();
    return index;
}

void RecordListModel::appendRows(std::vector<QStringList>&& rows)
{
    commitPending();
    if (rows.empty())
        return;
    const int first = rowCount();
    beginInsertRows(QModelIndex(), first, first + int(rows.size()) - 1);
    for (QStringList& cells : rows) {
        m_rows.push_back(encode(cells));
        cells = QStringList(); // give the memory back as we go
    }
    endInsertRows();
    rows.clear();
}

bool RecordListModel::removeRow(int row)
{
    commitPending();
    if (row < 0 || row >= rowCount())
        return false;
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
    return true;
}

QString RecordListModel::cell(int row, int column) const
{
    return cellView(row, column).toString();
}

QStringView RecordListModel::cellView(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= cellCount())
        return QStringView();
    return cellOf(m_rows[size_t(row)], column);
}

bool RecordListModel::setCell(int row, int column, const QString& text)
{
    commitPending();
    if (row < 0 || row >= rowCount() || column < 0 || column >= cellCount())
        return false;
    QString& stored = m_rows[size_t(row)];
    QStringList cells = decode(stored);
    while (cells.size() <= column)
        cells.append(QString());
    cells[column] = text;
    stored = encode(cells);
    // A hidden cell changes what the row says, though not what it shows:
    // its last shown cell stands for it.
    if (columnCount() > 0) {
        const QModelIndex changed = index(row, std::min(column, columnCount() - 1));
        Q_EMIT dataChanged(changed, changed, {Qt::DisplayRole});
    }
    return true;
}

QStringList RecordListModel::rowCells(int row) const
{
    if (row < 0 || row >= rowCount())
        return QStringList();
    QStringList cells = decode(m_rows[size_t(row)]);
    cells.resize(columnCount());
    return cells;
}

void RecordListModel::beginFill()
{
    commitPending();
    m_filling = true;
}

void RecordListModel::addAtTop(const QStringList& cells)
{
    if (!m_filling) {
        insertRow(0, cells);
        return;
    }
    m_pending.push_back(encode(cells));
}

void RecordListModel::endFill()
{
    commitPending();
    m_filling = false;
}

void RecordListModel::commitPending()
{
    if (m_pending.empty())
        return;
    // The last row added belongs on top: pushing them to the front in the
    // order added leaves exactly that.
    beginInsertRows(QModelIndex(), 0, int(m_pending.size()) - 1);
    for (QString& row : m_pending)
        m_rows.push_front(std::move(row));
    m_pending.clear();
    m_pending.shrink_to_fit();
    endInsertRows();
}

std::vector<int> RecordListModel::sortedRows(const QModelIndexList& indexes)
{
    std::vector<int> rows;
    rows.reserve(size_t(indexes.size()));
    for (const QModelIndex& i : indexes) {
        if (i.isValid())
            rows.push_back(i.row());
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

int RecordListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int RecordListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant RecordListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return cellOf(m_rows[size_t(index.row())], index.column()).toString();
    case Qt::TextAlignmentRole:
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return QVariant();
    }
}

QVariant RecordListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= columnCount())
            return QVariant();
        if (role == Qt::DisplayRole)
            return m_columns.at(section);
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignLeft | Qt::AlignVCenter);
        return QVariant();
    }
    if (role == Qt::DisplayRole && section >= 0 && section < rowCount())
        return section + 1;
    return QVariant();
}

} // namespace tessera
