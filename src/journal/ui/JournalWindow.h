#pragma once

#include "journal/JournalEntry.h"

#include <QDialog>

#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLayout;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace tessera {

class ImagePage;

namespace journal {
class Journal;
}

// "操作日志": the journal's entries newest first, filtered by date and
// command, the before and after rows of the selected entry, its undo, the
// export to CSV and the journal's own settings.
class JournalWindow : public QDialog {
public:
    explicit JournalWindow(journal::Journal& journal, QWidget* parent = nullptr);

    QTableWidget* entryList() const { return m_entries; }
    // Reads the entries again with the filter as it stands.
    void refresh();
    // The entry of the selected row; 0 for none.
    qint64 selectedEntryId() const;

private:
    void showDetails();
    void showUnit(int unit);
    void undoSelected();
    void exportEntries();
    void saveSettings();
    QLayout* createFilter();
    QWidget* createEntryList();
    QWidget* createDetails();
    QLayout* createSettingsRow();
    void loadSettings();
    void fillCommandFilter();

    journal::Journal& m_journal;
    std::vector<journal::EntrySummary> m_shown;
    std::optional<journal::EntryDetails> m_details;
    QDateEdit* m_from;
    QDateEdit* m_to;
    QComboBox* m_command;
    QTableWidget* m_entries;
    QComboBox* m_unit;
    QLabel* m_unitScope;
    ImagePage* m_before;
    ImagePage* m_after;
    QLabel* m_size;
    QCheckBox* m_reasonRequired;
    QSpinBox* m_retention;
    QSpinBox* m_imageLimit;
    QPushButton* m_undo;
};

} // namespace tessera
