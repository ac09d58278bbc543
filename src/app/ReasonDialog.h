#pragma once

#include <QDialog>
#include <QMessageBox>

class QBoxLayout;
class QFormLayout;
class QLineEdit;

namespace tessera {

// A confirmation that also asks why ("修改原因"), for the journal: the
// question above, the reason field (offering the last reason given), 是 and
// 否, with the icon of a message box of that kind beside the question (a
// delete asks with the warning icon). When the journal requires reasons, an
// empty one is refused and the dialog stays.
class ReasonDialog : public QDialog {
public:
    ReasonDialog(QWidget* parent, const QString& caption, const QString& question,
                 QMessageBox::Icon icon = QMessageBox::Question);

    QString reason() const;

    void accept() override;

private:
    QLineEdit* m_reason;
};

// The reason field of a writing command's own dialog (modify, batch
// setting, ...): labelled "修改原因:", offering the last reason given.
QLineEdit* newReasonField();
inline const QString kReasonLabel = QStringLiteral("修改原因:");
// The same field as a row of a form, or as a form of its own below the
// groups of a dialog.
QLineEdit* addReasonField(QFormLayout* form);
QLineEdit* addReasonRow(QBoxLayout* layout);
// The field's reason, blanks at the ends removed; empty for no field.
QString reasonOf(const QLineEdit* field);
// Checks a reason field before a command runs, refusing an empty one when
// the journal requires reasons; remembers an accepted one for next time.
bool acceptReason(QWidget* dialog, QLineEdit* field, const QString& caption);

} // namespace tessera
