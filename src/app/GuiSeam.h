#pragma once

#include <QMessageBox>
#include <QString>

class QDialog;
class QWidget;

namespace tessera {

struct MessageRequest {
    QWidget* owner = nullptr; // nullptr: the application's standard box
    QString text;
    QString caption;
    QMessageBox::Icon icon = QMessageBox::Warning;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    // The driver's own text behind a fixed message (QMessageBox::setDetailedText).
    QString details;
};

// Every message box and modal dialog of the program goes through this seam,
// so that tests can answer the boxes and drive the real dialogs offscreen.
class GuiSeam {
public:
    virtual ~GuiSeam() = default;
    virtual QMessageBox::StandardButton message(const MessageRequest& request);
    // Runs the dialog modally; returns QDialog::Accepted or Rejected.
    virtual int exec(QDialog& dialog);
};

// A message through the seam; warnings are logged with their details.
QMessageBox::StandardButton showMessage(const MessageRequest& request);
// The application's standard box: caption "Tessera", an OK button and a
// warning icon, no owner window.
void standardMessage(const QString& text, const QString& details = {});
// A box owned by a window or dialog, with a short caption naming the operation.
void warningMessage(QWidget* owner, const QString& text, const QString& caption, const QString& details = {});
// A message of a command or a fill: a warning owned by a window with a short
// caption, or, without a caption, the application's standard box.
struct Notice {
    QWidget* owner = nullptr;
    QString text;
    QString caption;
};
// `details`: the driver's text behind it, when a database refused.
void showNotice(const Notice& notice, const QString& details = {});
int execDialog(QDialog& dialog);

} // namespace tessera
