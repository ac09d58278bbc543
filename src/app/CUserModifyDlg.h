#pragma once

#include <QDialog>

class QLineEdit;

namespace tessera {

// User maintenance ("用户修改"): replaces the login account of section USER
// of DataSource.ini. The old password is not asked for: whoever runs it has
// already logged in.
class CUserModifyDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxFieldLength = 20;

    explicit CUserModifyDlg(QWidget* parent = nullptr);

    // OK: stores the account, or keeps the dialog open with the reason.
    void accept() override;

private:
    QLineEdit* m_userName = nullptr;
    QLineEdit* m_password = nullptr;
    QLineEdit* m_confirmation = nullptr;
};

} // namespace tessera
