#include "DialogTest.h"

#include "app/CLoginDlg.h"
#include "app/CUserModifyDlg.h"
#include "settings/Password.h"

#include <QDir>

using namespace tessera;
using namespace tessera::test;
using namespace Qt::StringLiterals;

namespace {

const QString kBuiltInName = u"wardenaccount"_s;
const QString kBuiltInPassword = u"kestra"_s;
const QString kLogin = u"用户登录"_s;
const QString kWrongName = u"请填写正确的用户名称!"_s;
const QString kWrongPassword = u"请填写正确的登录口令!"_s;

class LoginDialogTest : public DialogTest {
protected:
    // A stored account as user maintenance leaves it, below another section.
    void storeAccount(const QString& name, const QString& password)
    {
        writeConfig("[DATASOURCEINI]\nDSN=Archive\n[USER]\nUSERNAME=" + name.toUtf8() + "\nPASS="
                    + ScramblePassword(password, u"80264"_s)->toLatin1() + "\n");
    }

    // A stored-credential login with the given input; true when accepted.
    bool storedLogin(const QString& storedName, const QString& password)
    {
        CLoginDlg dialog;
        dialog.setStoredCredentialMode(storedName);
        return run<CLoginDlg>(dialog, [&](CLoginDlg& d) {
                   typeInto(d, "password", password);
                   clickOk(d);
               })
            == QDialog::Accepted;
    }
};

// Refused in this order, each pointing at its field: a password outside
// printable ASCII, the name, the password (letter case counting). Nothing is
// written before a login succeeds; the first run stores the built-in account
// below the other settings.
TEST_F(LoginDialogTest, RefusalsComeInOrderAndStoreNothing)
{
    writeConfig("[DATASOURCEINI]\nDSN=Archive\nUSERNAME=sa\nPASS=\n");
    const struct {
        const char* mode;
        QString stored; // empty on the first run
        QString name;
        QString password;
        QString wrongName;
    } cases[] = {
        {"first run", QString(), kBuiltInName, kBuiltInPassword, u"Wardenaccount"_s},
        {"stored account", u"operator"_s, u"operator"_s, u"Grid#2008"_s, u"Operator"_s},
        // Once another account is stored, the built-in one no longer logs in.
        {"built-in account", u"operator"_s, u"operator"_s, u"Grid#2008"_s, kBuiltInName},
    };
    QStringList refusals;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        if (!c.stored.isEmpty())
            storeAccount(c.stored, c.password);
        const QByteArray before = configBytes();
        CLoginDlg dialog;
        if (!c.stored.isEmpty())
            dialog.setStoredCredentialMode(c.stored);
        const int result = run<CLoginDlg>(dialog, [&](CLoginDlg& d) {
            const auto expectRefused = [&](const char* field) {
                clickOk(d);
                EXPECT_TRUE(d.isVisible());
                EXPECT_EQ(focusedObjectName(d), QLatin1String(field));
                EXPECT_EQ(configBytes(), before);
            };
            EXPECT_EQ(d.windowTitle(), kLogin);
            EXPECT_EQ(textOf(d, "userName"), c.name);
            EXPECT_EQ(textOf(d, "password"), QString());
            // The name is there already: the password is what to type.
            EXPECT_EQ(focusedObjectName(d), u"password"_s);
            typeInto(d, "userName", c.wrongName);
            typeInto(d, "password", c.password);
            typeCharacters(*d.focusWidget(), u"口令"_s);
            EXPECT_EQ(textOf(d, "password"), c.password + u"口令"_s);
            expectRefused("password");
            typeInto(d, "password", c.password);
            expectRefused("userName");
            typeInto(d, "userName", c.name);
            typeInto(d, "password", c.password.toUpper());
            expectRefused("password");
            typeInto(d, "password", c.password);
            QTest::keyClick(d.focusWidget(), Qt::Key_Return);
        });
        EXPECT_EQ(result, QDialog::Accepted);
        EXPECT_EQ(configBytes(), c.stored.isEmpty() ? before + kBuiltInUserSection : before);
        refusals << u"登录口令只能包含英文字母、数字和符号!"_s << kWrongName << kWrongPassword;
    }
    expectOwnedWarnings(refusals, kLogin);
}

TEST_F(LoginDialogTest, StoredModeRefusesWhenTheFileCannotBeRead)
{
    // Missing, then a folder where the file should be.
    EXPECT_FALSE(storedLogin(kBuiltInName, kBuiltInPassword));
    ASSERT_TRUE(QDir().mkpath(configPath()));
    EXPECT_FALSE(storedLogin(kBuiltInName, kBuiltInPassword));
    expectOwnedWarnings({u"读配置文件失败!"_s, u"读配置文件失败!"_s}, kLogin);
}

TEST_F(LoginDialogTest, FieldsAreMaskedLimitedAndInTabOrder)
{
    CLoginDlg login;
    run<CLoginDlg>(login, [](CLoginDlg& d) {
        expectMaskedFields(d, {u"password"_s}, 20);
        typeInto(d, "userName", QString());
        EXPECT_EQ(tabChain(d, 1), QStringList {u"password"_s});
        clickCancel(d); // the way out without a login
    });
    CUserModifyDlg modify;
    run<CUserModifyDlg>(modify, [](CUserModifyDlg& d) {
        EXPECT_EQ(focusedObjectName(d), u"userName"_s);
        EXPECT_EQ(tabChain(d, 2), (QStringList {u"password"_s, u"confirmation"_s}));
        expectMaskedFields(d, {u"password"_s, u"confirmation"_s}, 20);
        clickCancel(d);
    });
    EXPECT_FALSE(QFile::exists(configPath()));
    EXPECT_EQ(gui->messageTexts(), QStringList());
}

class UserModifyDialogTest : public LoginDialogTest {};

// Refused in this order, each pointing at its field, and nothing written;
// then the new account replaces the old one, the other settings stay, and
// only the new password logs in (an empty one too).
TEST_F(UserModifyDialogTest, NewAccountReplacesTheOldOneForLaterLogins)
{
    const QByteArray other = "[DATASOURCEINI]\nDSN=Archive\nUSERNAME=sa\nPASS=secret\n";
    const struct {
        QString name, password, confirmation;
        const char* focus;
    } attempts[] = {
        // Both password checks fail too: the empty name is reported first.
        {QString(), u"new"_s, u"other"_s, "userName"},
        {u"engineer"_s, u"new"_s, u"other"_s, "confirmation"},
        {u"engineer"_s, u"密码"_s, u"密码"_s, "password"},
        {u"engineer "_s, u"new"_s, u"new"_s, "userName"},
    };
    const QStringList refusals{u"用户名称不能为空!"_s, u"确认口令和用户口令不相同!"_s,
        u"用户口令只能包含英文字母、数字和符号!"_s, u"用户名称的首尾不能是空格,也不能包含无法保存的字符!"_s};
    const struct {
        QString name;
        QString password;
        QByteArray stored;
    } accounts[] = {
        // "abc12" scrambled with "80264": one block of five.
        {u"engineer"_s, u"abc12"_s, "[USER]\nUSERNAME=engineer\nPASS=yruGF\n"},
        {u"night shift"_s, QString(), "[USER]\nUSERNAME=night shift\nPASS=\n"},
    };
    for (const auto& a : accounts) {
        SCOPED_TRACE(a.name.toStdString());
        writeConfig(kBuiltInUserSection + other);
        CUserModifyDlg dialog;
        const int result = run<CUserModifyDlg>(dialog, [&](CUserModifyDlg& d) {
            EXPECT_EQ(d.windowTitle(), u"用户修改"_s);
            EXPECT_EQ(textOf(d, "userName"), QString());
            for (const auto& t : attempts) {
                typeInto(d, "userName", t.name);
                typeInto(d, "password", QString());
                typeCharacters(*d.focusWidget(), t.password);
                typeInto(d, "confirmation", QString());
                typeCharacters(*d.focusWidget(), t.confirmation);
                clickOk(d);
                EXPECT_EQ(focusedObjectName(d), QLatin1String(t.focus)) << t.name.toStdString();
            }
            expectOwnedWarnings(refusals, u"用户修改"_s);
            EXPECT_EQ(configBytes(), kBuiltInUserSection + other);

            typeInto(d, "userName", a.name);
            typeInto(d, "password", a.password);
            typeInto(d, "confirmation", a.password);
            QTest::keyClick(d.focusWidget(), Qt::Key_Return);
        });
        ASSERT_EQ(result, QDialog::Accepted);
        EXPECT_EQ(configBytes(), a.stored + other);
        EXPECT_FALSE(storedLogin(a.name, u" "_s));
        EXPECT_TRUE(storedLogin(a.name, a.password));
        ASSERT_EQ(gui->messageTexts(), refusals + QStringList{kWrongPassword});
        gui->clearMessages();
    }
}

} // namespace
