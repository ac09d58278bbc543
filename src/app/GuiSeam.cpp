#include "app/GuiSeam.h"

#include "app/CTesseraApp.h"

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

void standardMessage(const QString& text)
{
    seam().message({nullptr, text, CTesseraApp::kTitle, QMessageBox::Warning, QMessageBox::Ok, QMessageBox::Ok, {}});
}

void warningMessage(QWidget* owner, const QString& text, const QString& caption)
{
    seam().message({owner, text, caption, QMessageBox::Warning, QMessageBox::Ok, QMessageBox::Ok, {}});
}

void showNotice(const Notice& notice)
{
    if (notice.caption.isEmpty())
        standardMessage(notice.text);
    else
        warningMessage(notice.owner, notice.text, notice.caption);
}

int execDialog(QDialog& dialog)
{
    return seam().exec(dialog);
}

} // namespace tessera
