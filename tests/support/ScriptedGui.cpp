#include "ScriptedGui.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace tessera::test {

QMessageBox::StandardButton ScriptedGui::message(const MessageRequest& request)
{
    if (QApplication::overrideCursor())
        underWaitCursor << request.text;
    if (onMessage)
        onMessage();
    m_messages.push_back(
        {request.owner != nullptr, request.text, request.caption, request.icon, request.buttons, request.details});
    if (!m_answers.empty()) {
        const auto answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    if (request.defaultButton != QMessageBox::NoButton)
        return request.defaultButton;
    return QMessageBox::Ok;
}

int ScriptedGui::exec(QDialog& dialog)
{
    ++m_dialogsShown;
    if (m_scripts.empty()) {
        ADD_FAILURE() << "no script for dialog " << typeid(dialog).name() << " \""
                      << dialog.windowTitle().toStdString() << "\"";
        return QDialog::Rejected;
    }
    Script script = std::move(m_scripts.front());
    m_scripts.pop_front();
    dialog.setResult(QDialog::Rejected);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    script.run(dialog);
    if (dialog.isVisible())
        dialog.reject();
    return dialog.result();
}

QStringList ScriptedGui::messageTexts() const
{
    QStringList texts;
    for (const auto& m : m_messages)
        texts << m.text;
    return texts;
}

void typeInto(QWidget& dialog, const char* objectName, const QString& text)
{
    auto* edit = dialog.findChild<QLineEdit*>(QString::fromLatin1(objectName));
    ASSERT_NE(edit, nullptr) << "no line edit " << objectName;
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    bool ascii = true;
    for (QChar c : text)
        ascii = ascii && c.unicode() < 128;
    if (ascii) {
        QTest::keyClicks(edit, text);
        return;
    }
    // QTest cannot type other characters; they arrive as an input-method commit.
    QInputMethodEvent input;
    input.setCommitString(text);
    QApplication::sendEvent(edit, &input);
}

QString textOf(QWidget& dialog, const char* objectName)
{
    auto* edit = dialog.findChild<QLineEdit*>(QString::fromLatin1(objectName));
    return edit ? edit->text() : QStringLiteral("<no line edit %1>").arg(QString::fromLatin1(objectName));
}

namespace {
void clickRole(QDialog& dialog, QDialogButtonBox::ButtonRole role)
{
    auto* box = dialog.findChild<QDialogButtonBox*>();
    ASSERT_NE(box, nullptr) << "dialog without a button box";
    for (QAbstractButton* button : box->buttons()) {
        if (box->buttonRole(button) == role) {
            QTest::mouseClick(button, Qt::LeftButton);
            return;
        }
    }
    ADD_FAILURE() << "no button of that role";
}
} // namespace

void clickOk(QDialog& dialog) { clickRole(dialog, QDialogButtonBox::AcceptRole); }
void clickCancel(QDialog& dialog) { clickRole(dialog, QDialogButtonBox::RejectRole); }

QString focusedObjectName(QWidget& dialog)
{
    QWidget* focus = dialog.focusWidget();
    return focus ? focus->objectName() : QString();
}

QTreeWidgetItem* nodeAt(const QTreeWidget& tree, const QStringList& path)
{
    QTreeWidgetItem* item = tree.topLevelItemCount() == 1 ? tree.topLevelItem(0) : nullptr;
    for (const QString& text : path) {
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; item && i < item->childCount() && !next; ++i)
            if (item->child(i)->text(0) == text)
                next = item->child(i);
        item = next;
    }
    return item;
}

void clickNode(QTreeWidget& tree, QTreeWidgetItem* node)
{
    ASSERT_NE(node, nullptr) << "no such node";
    tree.scrollToItem(node);
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, tree.visualItemRect(node).center());
}

} // namespace tessera::test
