#pragma once

#include "db/DataSourceCatalogue.h"

#include <QDialog>
#include <QString>

#include <optional>
#include <vector>

class QPushButton;
class QTableWidget;

namespace tessera {

// Our own choice of an ODBC data source, in place of the driver manager's
// selection dialog: every system and user data source with its driver, in
// the driver manager's order (system list first). A double click or Enter
// picks the selected one.
class DataSourcePickerDialog : public QDialog {
    Q_OBJECT
public:
    // Selects the row of `current` (letter case aside, as the driver manager
    // compares names), else the first row.
    DataSourcePickerDialog(std::vector<db::DataSourceEntry> dataSources, const QString& current,
                        QWidget* parent = nullptr);

    // The name of the selected row; empty when nothing is selected.
    QString selectedName() const;

    // Reads both lists and runs the dialog; the chosen name, or nullopt when
    // cancelled or when there is nothing to choose from (the user is told).
    static std::optional<QString> pick(QWidget* parent, const QString& current);

private:
    void updateOkButton();

    std::vector<db::DataSourceEntry> m_dataSources;
    QTableWidget* m_table = nullptr;
    QPushButton* m_ok = nullptr;
};

} // namespace tessera
