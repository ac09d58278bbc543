#pragma once

#include "text/Csv.h"

class QWidget;

namespace tessera {

class CTesseraView;

// The list as it is shown: its header and its rows in the order the user
// sorted them, without the cells the list keeps hidden.
CsvTable shownTable(const CTesseraView& list);

// "导出...": asks for a file and writes the list there as CSV, or, when a
// chart is given and the user picks PNG, a picture of the chart. A progress
// dialog with a cancel button runs over long lists; a cancelled or failed
// export leaves no file behind (and an existing file as it was).
void runListExport(QWidget* owner, const CTesseraView& list, QWidget* chart);

// Asks for a CSV file (suggested: fileStem_yyyymmdd.csv) and writes the table
// there the same way.
void runTableExport(QWidget* owner, const CsvTable& table, const QString& fileStem);

} // namespace tessera
