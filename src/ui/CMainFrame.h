#pragma once

#include <QMainWindow>

namespace tessera {

// The main window: menus, toolbar, status bar and the splitter with the
// navigation tree and the record list.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);
};

} // namespace tessera
