#pragma once

#include "check/ui/CheckResultsModel.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QTableView;

namespace tessera {

// "校验结果": the worklist of a data check. It sorts by a click on a column
// header, filters by tag and rule, exports what it shows as CSV, and hands
// an activated finding (double-click or Enter) to whoever opens it.
class CheckResultsWindow : public QWidget {
    Q_OBJECT
public:
    explicit CheckResultsWindow(QWidget* parent = nullptr);

    void setFindings(std::vector<check::Finding> findings, const QString& scopeText);
    CheckResultsModel& model() { return m_model; }
    QTableView* table() const { return m_table; }

Q_SIGNALS:
    void findingActivated(const check::Finding& finding);

private:
    void applyFilter();
    void exportShown();
    void updateCount();

    CheckResultsModel m_model;
    QLineEdit* m_filter = nullptr;
    QComboBox* m_rule = nullptr;
    QLabel* m_count = nullptr;
    QTableView* m_table = nullptr;
    QString m_scopeText;
};

} // namespace tessera
