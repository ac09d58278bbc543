#include "check/ui/CheckDialog.h"

#include "app/DialogForm.h"
#include "check/CheckScan.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace tessera {

namespace {

const QString kCaption = QStringLiteral("数据校验");

QDoubleSpinBox* parameterField(const check::RuleParameter& p, double value)
{
    auto* field = new QDoubleSpinBox;
    field->setDecimals(p.decimals);
    field->setRange(p.minimum, p.maximum);
    field->setValue(value);
    field->setAccessibleName(p.label);
    return field;
}

} // namespace

CheckDialog::CheckDialog(const QString& scopeText, const QDate& first, const QDate& last,
                         const check::CheckSettings& settings, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(kCaption);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("范 围:"), new QLabel(scopeText));
    m_first = addLabelledDate(form, QStringLiteral("开始日期:"), QStringLiteral("firstDay"), first);
    m_last = addLabelledDate(form, QStringLiteral("结束日期:"), QStringLiteral("lastDay"), last);

    auto* rules = new QGroupBox(QStringLiteral("校验规则"));
    auto* grid = new QGridLayout(rules);
    const auto& descriptions = check::checkRules();
    for (size_t r = 0; r < descriptions.size(); ++r) {
        const check::RuleDescription& rule = descriptions[r];
        auto* box = new QCheckBox(rule.name);
        box->setObjectName(QStringLiteral("rule_%1").arg(rule.key));
        box->setChecked(settings[r].enabled);
        grid->addWidget(box, int(r), 0);
        m_enabled.push_back(box);
        m_values.emplace_back();
        int column = 1;
        for (size_t p = 0; p < rule.parameters.size(); ++p) {
            QDoubleSpinBox* field = parameterField(rule.parameters[p], settings[r].values[p]);
            field->setObjectName(QStringLiteral("%1_%2").arg(rule.key, rule.parameters[p].key));
            field->setEnabled(box->isChecked());
            connect(box, &QCheckBox::toggled, field, &QWidget::setEnabled);
            grid->addWidget(new QLabel(rule.parameters[p].label), int(r), column++);
            grid->addWidget(field, int(r), column++);
            m_values.back().push_back(field);
        }
    }
    auto* content = new QVBoxLayout;
    content->addLayout(form);
    content->addWidget(rules);
    layOutWithOkCancel(this, content, DialogSize::Fixed, QStringLiteral("开始校验"));
    m_first->setFocus();
}

QDate CheckDialog::first() const
{
    return m_first->date();
}

QDate CheckDialog::last() const
{
    return m_last->date();
}

check::CheckSettings CheckDialog::settings() const
{
    check::CheckSettings settings;
    for (size_t r = 0; r < m_enabled.size(); ++r) {
        check::RuleChoice choice {m_enabled[r]->isChecked(), {}};
        for (const QDoubleSpinBox* field : m_values[r])
            choice.values.push_back(field->value());
        settings.push_back(std::move(choice));
    }
    return settings;
}

void CheckDialog::accept()
{
    if (last() < first()) {
        refuseField(this, m_first, QStringLiteral("开始日期不能大于结束日期!"), kCaption);
        return;
    }
    if (first().daysTo(last()) >= check::kMaxScanDays) {
        refuseField(this, m_last, QStringLiteral("一次最多校验%1天的数据!").arg(check::kMaxScanDays), kCaption);
        return;
    }
    QDialog::accept();
}

} // namespace tessera
