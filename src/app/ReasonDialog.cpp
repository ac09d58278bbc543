#include "app/ReasonDialog.h"

#include "app/CTesseraApp.h"
#include "app/DialogForm.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tessera {

namespace {

const QString kReasonRequired = QStringLiteral("请填写修改原因!");

QString lastReason()
{
    CTesseraApp* app = CTesseraApp::Instance();
    return app ? app->GetLastReason() : QString();
}

} // namespace

ReasonDialog::ReasonDialog(QWidget* parent, const QString& caption, const QString& question, QMessageBox::Icon icon)
    : QDialog(parent)
{
    setWindowTitle(caption);
    setObjectName(QStringLiteral("reasonDialog"));
    setMinimumWidth(340);
    auto* layout = new QVBoxLayout(this);
    auto* questionRow = new QHBoxLayout;
    auto* picture = new QLabel;
    picture->setObjectName(QStringLiteral("icon"));
    picture->setPixmap(QMessageBox(icon, {}, {}).iconPixmap());
    picture->setAlignment(Qt::AlignTop);
    questionRow->addWidget(picture);
    auto* text = new QLabel(question);
    text->setObjectName(QStringLiteral("question"));
    text->setWordWrap(true);
    questionRow->addWidget(text, 1);
    layout->addLayout(questionRow);
    m_reason = addReasonRow(layout);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("是(&Y)"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("否(&N)"));
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    m_reason->setFocus();
}

QString ReasonDialog::reason() const
{
    return reasonOf(m_reason);
}

void ReasonDialog::accept()
{
    if (acceptReason(this, m_reason, windowTitle()))
        QDialog::accept();
}

QLineEdit* newReasonField()
{
    QLineEdit* field = newLineEdit(QStringLiteral("reason"), kReasonLabel, 200);
    field->setText(lastReason());
    field->selectAll();
    return field;
}

QLineEdit* addReasonField(QFormLayout* form)
{
    return addLabelled(form, kReasonLabel, QStringLiteral("reason"), newReasonField());
}

QLineEdit* addReasonRow(QBoxLayout* layout)
{
    auto* form = new QFormLayout;
    layout->addLayout(form);
    return addReasonField(form);
}

QString reasonOf(const QLineEdit* field)
{
    return field ? field->text().trimmed() : QString();
}

bool acceptReason(QWidget* dialog, QLineEdit* field, const QString& caption)
{
    CTesseraApp* app = CTesseraApp::Instance();
    const QString reason = field->text().trimmed();
    if (reason.isEmpty() && app && app->IsReasonRequired()) {
        refuseField(dialog, field, kReasonRequired, caption);
        return false;
    }
    if (app && !reason.isEmpty())
        app->SetLastReason(reason);
    return true;
}

} // namespace tessera
