#include "journal/RowChanges.h"

#include <QHash>

namespace tessera::journal {

namespace {

QString valueAt(const Row& row, qsizetype column)
{
    return column < qsizetype(row.size()) ? displayText(row[size_t(column)]) : QStringLiteral("NULL");
}

QString nameOf(const Row& row, const QStringList& columns, const std::vector<qsizetype>& keys)
{
    QStringList parts;
    if (keys.empty()) {
        for (qsizetype c = 0; c < columns.size(); ++c)
            parts << columns[c] + QLatin1Char('=') + valueAt(row, c);
    } else {
        for (qsizetype c : keys)
            parts << columns[c] + QLatin1Char('=') + valueAt(row, c);
    }
    return parts.join(QStringLiteral(", "));
}

QByteArray keyOf(const Row& row, const std::vector<qsizetype>& keys)
{
    Row key;
    for (qsizetype c : keys)
        key.push_back(c < qsizetype(row.size()) ? row[size_t(c)] : Value());
    return encodeRow(key);
}

QString changedColumns(const Row& before, const Row& after, const QStringList& columns)
{
    QStringList parts;
    for (qsizetype c = 0; c < columns.size(); ++c) {
        const Row one {c < qsizetype(before.size()) ? before[size_t(c)] : Value()};
        const Row other {c < qsizetype(after.size()) ? after[size_t(c)] : Value()};
        if (encodeRow(one) != encodeRow(other))
            parts << QStringLiteral("%1 %2 → %3").arg(columns[c], displayText(one[0]), displayText(other[0]));
    }
    return parts.join(QStringLiteral(", "));
}

// The rows of each side not found on the other, as a multiset: `gone` of
// `left`, `added` of `now`, as indices.
void unmatchedRows(const std::vector<Row>& left, const std::vector<Row>& now, std::vector<size_t>& gone,
                   std::vector<size_t>& added)
{
    QHash<QByteArray, qsizetype> unmatchedNow;
    std::vector<QByteArray> nowEncoded;
    nowEncoded.reserve(now.size());
    for (const Row& row : now) {
        nowEncoded.push_back(encodeRow(row));
        ++unmatchedNow[nowEncoded.back()];
    }
    for (size_t i = 0; i < left.size(); ++i) {
        auto it = unmatchedNow.find(encodeRow(left[i]));
        if (it != unmatchedNow.end() && it.value() > 0)
            --it.value();
        else
            gone.push_back(i);
    }
    for (size_t i = 0; i < now.size(); ++i) {
        auto it = unmatchedNow.find(nowEncoded[i]);
        if (it.value() > 0) {
            --it.value();
            added.push_back(i);
        }
    }
}

// The positions of the key columns among the columns, by name in any case.
std::vector<qsizetype> keyPositions(const QStringList& columns, const QStringList& keyColumns)
{
    std::vector<qsizetype> keys;
    for (const QString& key : keyColumns) {
        for (qsizetype c = 0; c < columns.size(); ++c) {
            if (columns[c].compare(key, Qt::CaseInsensitive) == 0) {
                keys.push_back(c);
                break;
            }
        }
    }
    return keys;
}

} // namespace

QStringList describeRowChanges(const QStringList& columns, const QStringList& keyColumns, const std::vector<Row>& left,
                               const std::vector<Row>& now, int maxLines)
{
    // Rows found again unchanged drop out on both sides.
    std::vector<size_t> gone, added;
    unmatchedRows(left, now, gone, added);
    const std::vector<qsizetype> keys = keyPositions(columns, keyColumns);
    // A key found on both sides is one row whose other columns changed.
    QMultiHash<QByteArray, size_t> addedByKey;
    if (!keys.empty())
        for (size_t i : added)
            addedByKey.insert(keyOf(now[i], keys), i);

    QStringList lines;
    std::vector<bool> paired(now.size(), false);
    for (size_t i : gone) {
        const QString name = nameOf(left[i], columns, keys);
        auto it = keys.empty() ? addedByKey.end() : addedByKey.find(keyOf(left[i], keys));
        if (it != addedByKey.end()) {
            const size_t other = it.value();
            addedByKey.erase(it);
            paired[other] = true;
            lines << QStringLiteral("第%1行(%2)已被修改: %3")
                         .arg(i + 1)
                         .arg(name, changedColumns(left[i], now[other], columns));
        } else {
            lines << QStringLiteral("第%1行(%2)已被删除").arg(i + 1).arg(name);
        }
    }
    for (size_t i : added)
        if (!paired[i])
            lines << QStringLiteral("新增了一行(%1)").arg(nameOf(now[i], columns, keys));

    if (maxLines > 0 && lines.size() > maxLines) {
        const qsizetype rest = lines.size() - maxLines;
        lines.resize(maxLines);
        lines << QStringLiteral("另有%1处改动").arg(rest);
    }
    return lines;
}

} // namespace tessera::journal
