#pragma once

#include "copy/CopyRun.h"

#include <QDialog>

#include <vector>

class QTableWidget;

namespace tessera {

// The rows a verify found different, a line each (table, unit, kind, the
// source's and the target's values), exportable as CSV.
class CopyDifferencesDialog : public QDialog {
    Q_OBJECT
public:
    // `untold`: differences found beyond those kept in `lines`.
    CopyDifferencesDialog(const std::vector<copy::DifferenceLine>& lines, qint64 untold, QWidget* parent = nullptr);

    void exportCsv();

private:
    const std::vector<copy::DifferenceLine>& m_lines;
    QTableWidget* m_list = nullptr;
};

} // namespace tessera
