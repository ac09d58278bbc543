#include "DialogTest.h"

#include "app/CLoginDlg.h"
#include "app/CUserModifyDlg.h"
#include "settings/IniFile.h"
#include "settings/Password.h"

#include <QAccessible>
#include <QDir>
#include <QLabel>
#include <QLineEdit>

using namespace tessera;
using namespace tessera::test;

namespace {

const QString kBuiltInName = QStringLiteral("wardenaccount");
const QString kBuiltInPassword = QStringLiteral("kestra");
// "kestra" scrambled with the key "80264", worked out by hand.
const QByteArray kScrambledKestra = "$u&+'y0264";

class LoginDialogTest : public DialogTest {
protected:
    // A stored account as user maintenance leaves it, below another section.
    void storeAccount(const QString& name, const QString& password)
    {
        CIniFile ini(configPath());
        ASSERT_TRUE(ini.Set(QStringLiteral("DATASOURCEINI"), QStringLiteral("DSN"), QStringLiteral("Archive")));
        ASSERT_TRUE(ini.Set(QStringLiteral("USER"), QStringLiteral("USERNAME"), name));
        ASSERT_TRUE(ini.Set(QStringLiteral("USER"), QStringLiteral("PASS"), *ScramblePassword(password, QStringLiteral("80264"))));
        ASSERT_TRUE(ini.Save());
    }

    // Runs a stored-credential login with the given input; true when accepted.
    bool storedLogin(const QString& storedName, const QString& name, const QString& password)
    {
        CLoginDlg dialog;
        dialog.setStoredCredentialMode(storedName);
        return run<CLoginDlg>(dialog, [&](CLoginDlg& d) {
                   typeInto(d, "userName", name);
                   typeInto(d, "password", password);
                   clickOk(d);
               })
            == QDialog::Accepted;
    }
};

TEST_F(LoginDialogTest, FirstRunAcceptsTheBuiltInAccountAndStoresItScrambled)
{
    CLoginDlg dialog;
    const int result = run<CLoginDlg>(dialog, [](CLoginDlg& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("用户登录"));
        EXPECT_EQ(textOf(d, "userName"), kBuiltInName);
        EXPECT_EQ(textOf(d, "password"), QString());
        // The name is there already: the password is what to type.
        EXPECT_EQ(focusedObjectName(d), QStringLiteral("password"));
        QTest::keyClicks(d.focusWidget(), kBuiltInPassword);
        QTest::keyClick(d.focusWidget(), Qt::Key_Return);
    });

    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_TRUE(gui->messages().empty()) << gui->messageTexts().join(u'|').toStdString();
    EXPECT_EQ(configBytes(), "[USER]\nUSERNAME=wardenaccount\nPASS=" + kScrambledKestra + "\n");
}

// The name is checked first, then the password, letter case counting; each
// refusal points at its field, and nothing is written before a login succeeds.
TEST_F(LoginDialogTest, AccountIsCheckedNameFirstThenPassword)
{
    const struct {
        const char* mode;
        QString stored; // empty on the first run
        QString name;
        QString password;
    } cases[] = {
        {"first run", QString(), kBuiltInName, kBuiltInPassword},
        {"stored account", QStringLiteral("operator"), QStringLiteral("operator"), QStringLiteral("Grid#2008")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        if (!c.stored.isEmpty())
            storeAccount(c.stored, c.password);
        const QByteArray before = configBytes();
        CLoginDlg dialog;
        if (!c.stored.isEmpty())
            dialog.setStoredCredentialMode(c.stored);
        const int result = run<CLoginDlg>(dialog, [&](CLoginDlg& d) {
            EXPECT_EQ(textOf(d, "userName"), c.name);
            typeInto(d, "userName", c.name.left(1).toUpper() + c.name.mid(1));
            typeInto(d, "password", c.password);
            clickOk(d);
            EXPECT_TRUE(d.isVisible());
            EXPECT_EQ(focusedObjectName(d), QStringLiteral("userName"));

            typeInto(d, "userName", c.name);
            typeInto(d, "password", c.password.toUpper());
            clickOk(d);
            EXPECT_TRUE(d.isVisible());
            EXPECT_EQ(focusedObjectName(d), QStringLiteral("password"));
            EXPECT_EQ(QFile::exists(configPath()), !c.stored.isEmpty());
            EXPECT_EQ(configBytes(), before) << "nothing is stored before the login succeeds";

            typeInto(d, "password", c.password);
            clickOk(d);
        });
        EXPECT_EQ(result, QDialog::Accepted);
        if (c.stored.isEmpty())
            EXPECT_TRUE(configBytes().startsWith("[USER]\n"));
        else
            EXPECT_EQ(configBytes(), before);
    }
    const QString name = QStringLiteral("请填写正确的用户名称!");
    const QString password = QStringLiteral("请填写正确的登录口令!");
    expectOwnedWarnings({name, password, name, password}, QStringLiteral("用户登录"));
}

TEST_F(LoginDialogTest, FirstRunKeepsOtherSettingsOfAnExistingFile)
{
    writeConfig("[DATASOURCEINI]\nDSN=Archive\nUSERNAME=sa\nPASS=\n");
    CLoginDlg dialog;
    EXPECT_EQ(run<CLoginDlg>(dialog, [](CLoginDlg& d) {
                  typeInto(d, "password", kBuiltInPassword);
                  clickOk(d);
              }),
              QDialog::Accepted);
    EXPECT_EQ(configBytes(), "[DATASOURCEINI]\nDSN=Archive\nUSERNAME=sa\nPASS=\n"
                             "[USER]\nUSERNAME=wardenaccount\nPASS=" + kScrambledKestra + "\n");
}

TEST_F(LoginDialogTest, StoredModeDoesNotAcceptTheBuiltInAccountOnceAnotherIsStored)
{
    storeAccount(QStringLiteral("operator"), QStringLiteral("Grid#2008"));
    EXPECT_FALSE(storedLogin(QStringLiteral("operator"), kBuiltInName, kBuiltInPassword));
    EXPECT_TRUE(storedLogin(QStringLiteral("operator"), QStringLiteral("operator"), QStringLiteral("Grid#2008")));
}

TEST_F(LoginDialogTest, StoredModeRefusesWhenTheFileCannotBeRead)
{
    // Missing, then a folder where the file should be.
    EXPECT_FALSE(storedLogin(kBuiltInName, kBuiltInName, kBuiltInPassword));
    ASSERT_TRUE(QDir().mkpath(configPath()));
    EXPECT_FALSE(storedLogin(kBuiltInName, kBuiltInName, kBuiltInPassword));
    expectOwnedWarnings({QStringLiteral("读配置文件失败!"), QStringLiteral("读配置文件失败!")},
                        QStringLiteral("用户登录"));
}

TEST_F(LoginDialogTest, PasswordOutsidePrintableAsciiIsRefusedInBothModes)
{
    storeAccount(kBuiltInName, kBuiltInPassword);
    const QByteArray before = configBytes();
    for (const bool stored : {false, true}) {
        SCOPED_TRACE(stored ? "stored-credential mode" : "first-run mode");
        CLoginDlg dialog;
        if (stored)
            dialog.setStoredCredentialMode(kBuiltInName);
        const int result = run<CLoginDlg>(dialog, [](CLoginDlg& d) {
            typeInto(d, "password", QStringLiteral("kes"));
            typeCharacters(*d.focusWidget(), QStringLiteral("口令"));
            EXPECT_EQ(textOf(d, "password"), QStringLiteral("kes口令"));
            clickOk(d);
            EXPECT_TRUE(d.isVisible());
            EXPECT_EQ(focusedObjectName(d), QStringLiteral("password"));
        });
        EXPECT_EQ(result, QDialog::Rejected);
    }
    expectOwnedWarnings({QStringLiteral("登录口令只能包含英文字母、数字和符号!"),
                         QStringLiteral("登录口令只能包含英文字母、数字和符号!")},
                        QStringLiteral("用户登录"));
    EXPECT_EQ(configBytes(), before);
}

TEST_F(LoginDialogTest, FieldsAreLabelledLimitedAndReachableWithTab)
{
    CLoginDlg dialog;
    run<CLoginDlg>(dialog, [](CLoginDlg& d) {
        typeInto(d, "userName", QString(25, u'n'));
        typeInto(d, "password", QString(25, u'p'));
        EXPECT_EQ(textOf(d, "userName").size(), 20);
        EXPECT_EQ(textOf(d, "password").size(), 20);

        auto* password = d.findChild<QLineEdit*>(QStringLiteral("password"));
        ASSERT_NE(password, nullptr);
        EXPECT_EQ(password->echoMode(), QLineEdit::Password);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(password);
        ASSERT_NE(accessible, nullptr);
        EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("登录口令:"));

        typeInto(d, "userName", QString());
        EXPECT_EQ(tabChain(d, 1), QStringList {QStringLiteral("password")});
        // Cancel is the way out without a login.
        clickCancel(d);
    });
    EXPECT_FALSE(QFile::exists(configPath()));
    EXPECT_TRUE(gui->messages().empty());
}

class UserModifyDialogTest : public DialogTest {};

TEST_F(UserModifyDialogTest, RefusalsComeInOrderAndPointAtTheField)
{
    writeConfig("[USER]\nUSERNAME=wardenaccount\nPASS=" + kScrambledKestra + "\n");
    const QByteArray before = configBytes();
    CUserModifyDlg dialog;
    const int result = run<CUserModifyDlg>(dialog, [](CUserModifyDlg& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("用户修改"));
        EXPECT_EQ(textOf(d, "userName"), QString());
        // Both password checks fail too: the empty name is reported first.
        typeInto(d, "password", QStringLiteral("new"));
        typeInto(d, "confirmation", QStringLiteral("other"));
        clickOk(d);
        EXPECT_EQ(focusedObjectName(d), QStringLiteral("userName"));

        typeInto(d, "userName", QStringLiteral("engineer"));
        clickOk(d);
        EXPECT_EQ(focusedObjectName(d), QStringLiteral("confirmation"));

        typeInto(d, "password", QString());
        typeCharacters(*d.focusWidget(), QStringLiteral("密码"));
        typeInto(d, "confirmation", QString());
        typeCharacters(*d.focusWidget(), QStringLiteral("密码"));
        clickOk(d);
        EXPECT_EQ(focusedObjectName(d), QStringLiteral("password"));

        typeInto(d, "userName", QStringLiteral("engineer "));
        typeInto(d, "password", QStringLiteral("new"));
        typeInto(d, "confirmation", QStringLiteral("new"));
        clickOk(d);
        EXPECT_EQ(focusedObjectName(d), QStringLiteral("userName"));
        EXPECT_TRUE(d.isVisible());
    });

    EXPECT_EQ(result, QDialog::Rejected);
    expectOwnedWarnings({QStringLiteral("用户名称不能为空!"), QStringLiteral("确认口令和用户口令不相同!"),
                         QStringLiteral("用户口令只能包含英文字母、数字和符号!"),
                         QStringLiteral("用户名称的首尾不能是空格,也不能包含无法保存的字符!")},
                        QStringLiteral("用户修改"));
    EXPECT_EQ(configBytes(), before);
}

TEST_F(UserModifyDialogTest, NewAccountReplacesTheOldOneForLaterLogins)
{
    writeConfig("[USER]\nUSERNAME=wardenaccount\nPASS=" + kScrambledKestra
                + "\n[DATASOURCEINI]\nDSN=Archive\nUSERNAME=sa\nPASS=secret\n");
    CUserModifyDlg dialog;
    const int result = run<CUserModifyDlg>(dialog, [](CUserModifyDlg& d) {
        typeInto(d, "userName", QStringLiteral("engineer"));
        typeInto(d, "password", QStringLiteral("abc12"));
        typeInto(d, "confirmation", QStringLiteral("abc12"));
        QTest::keyClick(d.focusWidget(), Qt::Key_Return);
    });
    ASSERT_EQ(result, QDialog::Accepted);
    EXPECT_TRUE(gui->messages().empty());
    // "abc12" scrambled with "80264": one block of five.
    EXPECT_EQ(configBytes(), "[USER]\nUSERNAME=engineer\nPASS=yruGF\n"
                             "[DATASOURCEINI]\nDSN=Archive\nUSERNAME=sa\nPASS=secret\n");

    CLoginDlg login;
    login.setStoredCredentialMode(QStringLiteral("engineer"));
    EXPECT_EQ(run<CLoginDlg>(login, [](CLoginDlg& d) {
                  typeInto(d, "password", QStringLiteral("abc12"));
                  clickOk(d);
              }),
              QDialog::Accepted);
}

TEST_F(UserModifyDialogTest, EmptyPasswordIsStoredEmptyAndLogsIn)
{
    CUserModifyDlg dialog;
    ASSERT_EQ(run<CUserModifyDlg>(dialog, [](CUserModifyDlg& d) {
                  typeInto(d, "userName", QStringLiteral("night shift"));
                  clickOk(d);
              }),
              QDialog::Accepted);
    EXPECT_EQ(configBytes(), "[USER]\nUSERNAME=night shift\nPASS=\n");

    CLoginDlg login;
    login.setStoredCredentialMode(QStringLiteral("night shift"));
    const int result = run<CLoginDlg>(login, [](CLoginDlg& d) {
        typeInto(d, "password", QStringLiteral(" "));
        clickOk(d);
        EXPECT_EQ(focusedObjectName(d), QStringLiteral("password"));
        typeInto(d, "password", QString());
        clickOk(d);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(gui->messageTexts(), QStringList {QStringLiteral("请填写正确的登录口令!")});
}

TEST_F(UserModifyDialogTest, FieldsAreLabelledMaskedLimitedAndInTabOrder)
{
    CUserModifyDlg dialog;
    run<CUserModifyDlg>(dialog, [](CUserModifyDlg& d) {
        EXPECT_EQ(focusedObjectName(d), QStringLiteral("userName"));
        EXPECT_EQ(tabChain(d, 2), (QStringList {QStringLiteral("password"), QStringLiteral("confirmation")}));
        const QStringList labels {QStringLiteral("用户名称:"), QStringLiteral("用户口令:"), QStringLiteral("口令确认:")};
        const char* names[] = {"userName", "password", "confirmation"};
        for (int i = 0; i < 3; ++i) {
            auto* edit = d.findChild<QLineEdit*>(QLatin1String(names[i]));
            ASSERT_NE(edit, nullptr);
            EXPECT_EQ(edit->maxLength(), 20);
            EXPECT_EQ(edit->echoMode(), i == 0 ? QLineEdit::Normal : QLineEdit::Password);
            EXPECT_EQ(QAccessible::queryAccessibleInterface(edit)->text(QAccessible::Name), labels[i]);
        }
        clickCancel(d);
    });
    EXPECT_FALSE(QFile::exists(configPath()));
}

} // namespace
