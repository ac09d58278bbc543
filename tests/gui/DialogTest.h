#pragma once

#include "OdbcTestEnvironment.h"
#include "ScriptedGui.h"

#include "app/CTesseraApp.h"

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace tessera::test {

// Also notes whether a box came up under the wait cursor.
class CursorWatchingGui : public ScriptedGui {
public:
    QMessageBox::StandardButton message(const MessageRequest& request) override
    {
        if (QApplication::overrideCursor())
            boxesUnderWaitCursor << request.text;
        return ScriptedGui::message(request);
    }
    QStringList boxesUnderWaitCursor;
};

// An application object with a scripted GUI seam and DataSource.ini in a
// folder of the test's own.
class DialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto scripted = std::make_unique<CursorWatchingGui>();
        gui = scripted.get();
        app.setGui(std::move(scripted));
        ASSERT_TRUE(dir.isValid());
        app.setConfigurationPath(configPath());
    }
    void TearDown() override
    {
        EXPECT_TRUE(gui->allScriptsUsed()) << "a dialog the test expected was not shown";
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the wait cursor was left on";
        EXPECT_EQ(gui->boxesUnderWaitCursor, QStringList()) << "a message box came up under the wait cursor";
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    }

    QString configPath() const { return dir.filePath(QStringLiteral("DataSource.ini")); }
    // The file's bytes; empty when it does not exist.
    QByteArray configBytes() const
    {
        QFile f(configPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void writeConfig(const QByteArray& bytes)
    {
        QFile f(configPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

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

    QTemporaryDir dir;
    CTesseraApp app;
    CursorWatchingGui* gui = nullptr;
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
