#include "app/GuiSeam.h"

#include "app/CTesseraApp.h"

#include "platform/Log.h"

#include <QDialog>

namespace tessera {

QMessageBox::StandardButton GuiSeam::message(const MessageRequest& request)
{
    QMessageBox box(request.icon, request.caption, request.text, request.buttons, request.owner);
    if (request.defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(request.defaultButton);
    if (!request.details.isEmpty())
        box.setDetailedText(request.details);
    return QMessageBox::StandardButton(box.exec());
}

int GuiSeam::exec(QDialog& dialog)
{
    // Which modal dialog is up, for a look from outside (QT_LOGGING_RULES=
    // "tessera.ui.debug=true"), e.g. the installed program's check that it
    // reaches its login on a machine without a screen.
    // Queued, so that it is said once the dialog's own event loop shows it.
    QMetaObject::invokeMethod(
        &dialog,
        [&dialog] { qCDebug(lcUi, "dialog shown: %s", qUtf8Printable(dialog.windowTitle())); },
        Qt::QueuedConnection);
    return dialog.exec();
}

namespace {
GuiSeam& seam()
{
    static GuiSeam fallback;
    CTesseraApp* app = CTesseraApp::Instance();
    return app ? app->GetGui() : fallback;
}

} // namespace

QMessageBox::StandardButton showMessage(const MessageRequest& request)
{
    // What the user is told of a failure goes into the log as well.
    if (request.icon == QMessageBox::Warning || request.icon == QMessageBox::Critical)
        qCWarning(lcUi, "%s: %s%s%s", qUtf8Printable(request.caption), qUtf8Printable(request.text),
                  request.details.isEmpty() ? "" : "\n", qUtf8Printable(request.details));
    return seam().message(request);
}

void standardMessage(const QString& text, const QString& details)
{
    showMessage({nullptr, text, CTesseraApp::kTitle, QMessageBox::Warning, QMessageBox::Ok, QMessageBox::Ok, details});
}

void warningMessage(QWidget* owner, const QString& text, const QString& caption, const QString& details)
{
    showMessage({owner, text, caption, QMessageBox::Warning, QMessageBox::Ok, QMessageBox::Ok, details});
}

void showNotice(const Notice& notice, const QString& details)
{
    if (notice.caption.isEmpty())
        standardMessage(notice.text, details);
    else
        warningMessage(notice.owner, notice.text, notice.caption, details);
}

int execDialog(QDialog& dialog)
{
    return seam().exec(dialog);
}

} // namespace tessera
