#pragma once

#include "check/CheckRules.h"

#include <QDialog>

#include <vector>

class QCheckBox;
class QDateEdit;
class QDoubleSpinBox;

namespace tessera {

// "数据校验": the days to check (one up to a month) and the rules with
// their parameters, one row of fields per rule as the rule table lists them.
class CheckDialog : public QDialog {
    Q_OBJECT
public:
    CheckDialog(const QString& scopeText, const QDate& first, const QDate& last, const check::CheckSettings& settings,
                QWidget* parent = nullptr);

    QDate first() const;
    QDate last() const;
    check::CheckSettings settings() const;

    void accept() override;

private:
    QDateEdit* m_first = nullptr;
    QDateEdit* m_last = nullptr;
    std::vector<QCheckBox*> m_enabled;
    std::vector<std::vector<QDoubleSpinBox*>> m_values;
};

} // namespace tessera
