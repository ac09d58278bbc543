#pragma once

#include <QDialog>

namespace tessera {

// "关于系统": the program icon, its name and version, and OK.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

} // namespace tessera
