#pragma once

#include "AppFixture.h"

#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace tessera::test {

// The real dialogs, each on an application of the test's own.
class DialogTest : public AppFixture<> {
protected:
    // Shows the dialog through the seam with the script; the dialog's result.
    template <class D>
    int run(D& dialog, std::function<void(D&)> script)
    {
        gui->template onDialog<D>(std::move(script));
        return execDialog(dialog);
    }

    // The boxes shown so far: owned by a dialog, with a warning icon.
    void expectOwnedWarnings(const QStringList& texts, const QString& caption) const
    {
        EXPECT_EQ(gui->messageTexts(), texts);
        for (const auto& m : gui->messages()) {
            EXPECT_TRUE(m.owned) << m.text.toStdString();
            EXPECT_EQ(m.caption, caption) << m.text.toStdString();
            EXPECT_EQ(m.icon, QMessageBox::Warning) << m.text.toStdString();
        }
    }
};

// Types text that has no key of its own on a Latin keyboard (pasted or from
// an input method) into the focused field, character by character.
inline void typeCharacters(QWidget& field, const QString& text)
{
    for (QChar c : text)
        QTest::sendKeyEvent(QTest::Click, &field, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

// The object names met when tabbing from the focused widget, `steps` times.
inline QStringList tabChain(QWidget& dialog, int steps)
{
    QStringList names;
    for (int i = 0; i < steps; ++i) {
        QTest::keyClick(dialog.focusWidget(), Qt::Key_Tab);
        names << focusedObjectName(dialog);
    }
    return names;
}

} // namespace tessera::test
