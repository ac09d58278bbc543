#pragma once

#include "AppFixture.h"

#include "app/CDataSourceDlg.h"

#include <QAccessible>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace tessera::test {

inline const QString kCannotOpen = QStringLiteral("数据库不能打开,请正确配置数据源");

inline const TestDatabase& sqlite() { return testDatabase(DatabaseKind::SQLite); }

// The built-in account as the first login stores it ("kestra" scrambled with
// the key "80264", worked out by hand).
inline const QByteArray kBuiltInUserSection = "[USER]\nUSERNAME=wardenaccount\nPASS=$u&+'y0264\n";

inline QByteArray dataSourceSection(const TestDatabase& db)
{
    return QStringLiteral("[DATASOURCEINI]\nDSN=%1\nUSERNAME=%2\nPASS=%3\n").arg(db.dsn, db.user, db.password).toUtf8();
}

inline void enter(CDataSourceDlg& d, const TestDatabase& db)
{
    typeInto(d, "dataSourceName", db.dsn);
    typeInto(d, "databaseUser", db.user);
    typeInto(d, "databasePassword", db.password);
}

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

// The dialog's line edits, by name: those that hold a password and only
// those masked, every one at most maxLength long.
inline void expectMaskedFields(QWidget& dialog, const QStringList& masked, int maxLength)
{
    QStringList shownMasked;
    for (auto* edit : dialog.findChildren<QLineEdit*>()) {
        if (edit->echoMode() == QLineEdit::Password)
            shownMasked << edit->objectName();
        EXPECT_EQ(edit->maxLength(), maxLength) << edit->objectName().toStdString();
    }
    EXPECT_EQ(shownMasked, masked);
}

} // namespace tessera::test
