#pragma once

#include <QString>

class QDate;
class QDateEdit;
class QDialog;
class QDialogButtonBox;
class QFormLayout;
class QLabel;
class QLayout;
class QLineEdit;
class QTime;
class QTimeEdit;
class QWidget;

// The pieces every dialog builds its form from, so that fields are labelled,
// dates and times shown, and the dialog confirmed the same way everywhere.
namespace tessera {

// Dates in the interface's long Chinese form (2025年12月6日星期六), whatever the
// process locale; times of day with seconds.
QString longDateFormat();
inline const QString kTimeFormat = QStringLiteral("HH:mm:ss");

// maxLength 0 leaves the length open; masked shows dots for the text.
QLineEdit* newLineEdit(const QString& objectName, const QString& accessibleName, int maxLength = 0,
                       bool masked = false);
QDateEdit* newDateEdit(const QDate& date, const QString& format = longDateFormat()); // with a calendar popup
QTimeEdit* newTimeEdit(const QTime& time);
// A label whose mnemonic and click lead to the field.
QLabel* buddyLabel(const QString& text, QWidget* field);

// A form row: the label is the field's buddy and its accessible name.
void addLabelledRow(QFormLayout* form, const QString& label, const QString& objectName, QWidget* field);
template <class Field>
Field* addLabelled(QFormLayout* form, const QString& label, const QString& objectName, Field* field)
{
    addLabelledRow(form, label, objectName, field);
    return field;
}
QLineEdit* addLabelledField(QFormLayout* form, const QString& label, const QString& objectName, bool masked = false,
                            int maxLength = 0);
QDateEdit* addLabelledDate(QFormLayout* form, const QString& label, const QString& objectName, const QDate& date);
QTimeEdit* addLabelledTime(QFormLayout* form, const QString& label, const QString& objectName, const QTime& time);

// Lays the dialog out: `content` above the OK ("确定", or okText) and Cancel
// ("取消") row, OK the default button. A fixed-size dialog takes the size of
// its content. Returns the row.
enum class DialogSize { Fixed, Resizable };
QDialogButtonBox* layOutWithOkCancel(QDialog* dialog, QLayout* content, DialogSize size,
                                     const QString& okText = QStringLiteral("确定"));

// Refuses what a field holds: the message owned by the dialog, then the field
// takes the focus, a line edit with its text selected to be typed over.
void refuseField(QWidget* dialog, QWidget* field, const QString& text, const QString& caption);

} // namespace tessera
