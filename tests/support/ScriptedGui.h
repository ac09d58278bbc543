#pragma once

#include "QtPrinters.h"
#include "app/GuiSeam.h"

#include <QDialog>
#include <QTreeWidget>

#include <deque>
#include <functional>
#include <typeinfo>
#include <vector>

#include <gtest/gtest.h>

namespace tessera::test {

// A GUI seam for tests: records every message box and answers it, and hands
// every modal dialog, shown for real (offscreen), to the next queued script.
// A script drives the dialog with real clicks and keys; when it returns with
// the dialog still open, the dialog is rejected (as if the user cancelled).
// It also notes the boxes that come up under the wait cursor (the cursor must
// end before a box is shown) and runs a hook on each box, as if something
// happened while the user read it.
class ScriptedGui : public GuiSeam {
public:
    struct Message {
        bool owned = false;
        QString text;
        QString caption;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QString details; // the driver's text behind the message
    };

    QMessageBox::StandardButton message(const MessageRequest& request) override;
    int exec(QDialog& dialog) override;

    // Queues a script for the next dialog, which must be of type D.
    template <class D>
    void onDialog(std::function<void(D&)> script)
    {
        m_scripts.push_back({typeid(D).name(), [script](QDialog& dialog) {
                                 auto* typed = dynamic_cast<D*>(&dialog);
                                 ASSERT_NE(typed, nullptr) << "unexpected dialog " << typeid(dialog).name();
                                 script(*typed);
                             }});
    }
    // Answers for the next message boxes, in order; unanswered boxes get
    // their default button.
    void answer(QMessageBox::StandardButton button) { m_answers.push_back(button); }

    const std::vector<Message>& messages() const { return m_messages; }
    QStringList messageTexts() const;
    void clearMessages() { m_messages.clear(); }
    int dialogsShown() const { return m_dialogsShown; }
    bool allScriptsUsed() const { return m_scripts.empty(); }

    QStringList underWaitCursor;
    std::function<void()> onMessage;

private:
    struct Script {
        const char* expectedType;
        std::function<void(QDialog&)> run;
    };
    std::deque<Script> m_scripts;
    std::deque<QMessageBox::StandardButton> m_answers;
    std::vector<Message> m_messages;
    int m_dialogsShown = 0;
};

// Helpers for scripts: type into a line edit found by object name, press a
// dialog button box's button.
void typeInto(QWidget& dialog, const char* objectName, const QString& text);
QString textOf(QWidget& dialog, const char* objectName);
void clickOk(QDialog& dialog);
void clickCancel(QDialog& dialog);
// The object name of the widget that has the keyboard focus in the dialog.
QString focusedObjectName(QWidget& dialog);
// The node at a path of texts below the tree's one top node; nullptr when missing.
QTreeWidgetItem* nodeAt(const QTreeWidget& tree, const QStringList& path);
// Scrolls the node into view, opening the nodes above it, and clicks it.
void clickNode(QTreeWidget& tree, QTreeWidgetItem* node);

} // namespace tessera::test
