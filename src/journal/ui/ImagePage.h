#pragma once

#include "journal/JournalEntry.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QTableWidget;

namespace tessera {

namespace journal {
class Journal;
}

// One image of a journal entry's unit, a page of rows at a time: an image
// can hold a day of five million samples, and only the page shown is read.
class ImagePage : public QWidget {
public:
    static constexpr qint64 kPageRows = 1000;

    ImagePage(journal::Journal& journal, journal::Side side, const QString& objectName, const QString& title);

    // Shows the first page of the unit's image of `total` rows (nullopt: not kept).
    void showImage(qint64 entryId, const journal::UnitInfo& unit, std::optional<qint64> total);
    void clear();
    QTableWidget* table() const { return m_table; }

private:
    void showPage(qint64 offset);

    journal::Journal& m_journal;
    journal::Side m_side;
    qint64 m_entryId = 0;
    int m_unit = 0;
    QStringList m_columns;
    qint64 m_total = 0;
    qint64 m_offset = 0;
    QTableWidget* m_table;
    QLabel* m_position;
    QPushButton* m_previous;
    QPushButton* m_next;
};

} // namespace tessera
