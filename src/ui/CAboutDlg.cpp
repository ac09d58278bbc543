#include "ui/CAboutDlg.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace tessera {

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("关于系统"));
    auto* icon = new QLabel;
    icon->setPixmap(QIcon(QStringLiteral(":/toolbar/tessera.png")).pixmap(48, 48));
    auto* text = new QLabel(QStringLiteral("系统数据维护软件1.0 版"));
    text->setObjectName(QStringLiteral("aboutText"));
    // The build's version and commit, which the program sets at start-up.
    auto* version = new QLabel(QStringLiteral("版本 %1").arg(QCoreApplication::applicationVersion()));
    version->setObjectName(QStringLiteral("aboutVersion"));
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    version->setVisible(!QCoreApplication::applicationVersion().isEmpty());
    // Parented at once, so that the dialog knows its default button.
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    auto* texts = new QVBoxLayout;
    texts->addWidget(text);
    texts->addWidget(version);
    row->addLayout(texts, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
}

} // namespace tessera
