#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

namespace tessera {

// The login dialog ("用户登录").
//
// First-run mode (the default): only the built-in maintenance account is
// accepted, and accepting it stores that account in section USER of
// DataSource.ini, creating the file.
// Stored-credential mode: the entered name and password are checked against
// section USER; nothing is written. A settings file that cannot be read
// refuses the login, so that a damaged file never opens the door.
class CLoginDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxFieldLength = 20;

    explicit CLoginDlg(QWidget* parent = nullptr);

    // Switches to stored-credential mode and shows the stored user name.
    void setStoredCredentialMode(const QString& storedUserName);

    QString userName() const;

    // OK: accepts the login or keeps the dialog open with the reason.
    void accept() override;

private:
    bool checkStoredAccount(const QString& userName, const QString& scrambled);
    bool checkAndStoreBuiltInAccount(const QString& userName, const QString& password, const QString& scrambled);

    QLineEdit* m_userName = nullptr;
    QLineEdit* m_password = nullptr;
    bool m_storedMode = false;
};

} // namespace tessera
