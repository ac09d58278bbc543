#include "app/DialogForm.h"

#include "app/GuiSeam.h"

#include <QDateEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace tessera {

QString longDateFormat()
{
    return QLocale(QLocale::Chinese, QLocale::China).dateFormat(QLocale::LongFormat);
}

QLineEdit* newLineEdit(const QString& objectName, const QString& accessibleName, int maxLength, bool masked)
{
    auto* edit = new QLineEdit;
    edit->setObjectName(objectName);
    edit->setAccessibleName(accessibleName);
    if (maxLength > 0)
        edit->setMaxLength(maxLength);
    if (masked)
        edit->setEchoMode(QLineEdit::Password);
    return edit;
}

QDateEdit* newDateEdit(const QDate& date, const QString& format)
{
    auto* edit = new QDateEdit(date);
    edit->setDisplayFormat(format);
    edit->setCalendarPopup(true);
    return edit;
}

QTimeEdit* newTimeEdit(const QTime& time)
{
    auto* edit = new QTimeEdit(time);
    edit->setDisplayFormat(kTimeFormat);
    return edit;
}

QLabel* buddyLabel(const QString& text, QWidget* field)
{
    auto* label = new QLabel(text);
    label->setBuddy(field);
    return label;
}

void addLabelledRow(QFormLayout* form, const QString& label, const QString& objectName, QWidget* field)
{
    field->setObjectName(objectName);
    field->setAccessibleName(label);
    form->addRow(buddyLabel(label, field), field);
}

QLineEdit* addLabelledField(QFormLayout* form, const QString& label, const QString& objectName, bool masked,
                            int maxLength)
{
    return addLabelled(form, label, objectName, newLineEdit(objectName, label, maxLength, masked));
}

QDateEdit* addLabelledDate(QFormLayout* form, const QString& label, const QString& objectName, const QDate& date)
{
    return addLabelled(form, label, objectName, newDateEdit(date));
}

QTimeEdit* addLabelledTime(QFormLayout* form, const QString& label, const QString& objectName, const QTime& time)
{
    return addLabelled(form, label, objectName, newTimeEdit(time));
}

QDialogButtonBox* layOutWithOkCancel(QDialog* dialog, QLayout* content, DialogSize size, const QString& okText)
{
    // The content joins the dialog first, so that it comes first in the tab
    // order and a dialog that sets no focus opens on its first field.
    auto* layout = new QVBoxLayout(dialog);
    layout->addLayout(content);
    // Parented at once, so that the dialog knows its default button and
    // returns to it when focus leaves another button.
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setText(okText);
    ok->setDefault(true);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (size == DialogSize::Fixed)
        layout->setSizeConstraint(QLayout::SetFixedSize);
    return buttons;
}

void refuseField(QWidget* dialog, QWidget* field, const QString& text, const QString& caption)
{
    warningMessage(dialog, text, caption);
    field->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(field))
        edit->selectAll();
}

} // namespace tessera
