#pragma once

#include <QAbstractItemModel>
#include <QStringList>

#include <vector>

namespace tessera::test {

// The texts a model shows in one column, top to bottom.
inline QStringList columnTexts(const QAbstractItemModel& model, int column)
{
    QStringList cells;
    for (int r = 0; r < model.rowCount(); ++r)
        cells << model.data(model.index(r, column)).toString();
    return cells;
}

// The column headers, left to right.
inline QStringList headerTexts(const QAbstractItemModel& model)
{
    QStringList names;
    for (int c = 0; c < model.columnCount(); ++c)
        names << model.headerData(c, Qt::Horizontal).toString();
    return names;
}

// Every row as the model shows it, top first.
inline std::vector<QStringList> shownRows(const QAbstractItemModel& model)
{
    std::vector<QStringList> rows;
    for (int r = 0; r < model.rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < model.columnCount(); ++c)
            cells << model.data(model.index(r, c)).toString();
        rows.push_back(cells);
    }
    return rows;
}

} // namespace tessera::test
