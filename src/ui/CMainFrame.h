#pragma once

#include "ui/CommandHost.h"

#include <QMainWindow>

#include <functional>
#include <map>

class QAction;
class QLabel;
class QMenu;
class QSplitter;
class QToolBar;

namespace tessera {

class CLeftTreeView;
class CTesseraView;
class TrendChartFeed;
class TrendChartView;

// The main window: menus, toolbar, status bar and the splitter with the
// navigation tree and the record list, the telemetry trend chart under the list. Every command lands here: it is
// enabled by the command group of the selected tree node and run through
// one table of command ids to handlers.
class CMainFrame : public QMainWindow, public CommandHost {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    CLeftTreeView* tree() const { return m_tree; }
    CTesseraView* list() const { return m_list; }
    TrendChartView* trendChart() const { return m_chart; }
    TrendChartFeed* trendChartFeed() const { return m_chartFeed; }
    // Tessera.ini, the program's own settings beside DataSource.ini.
    QString viewSettingsIniPath() const;

    int commandGroup() const override { return m_commandGroup; }
    void setCommandGroup(int group) override;
    void popUpMenu(ContextMenu menu, const QPoint& globalPosition) override;

    // The action of a menu, toolbar or view-switch command; nullptr for none.
    QAction* action(int commandId) const;
    // Runs a command as its menu item or button would, when it is enabled.
    void runCommand(int commandId);

    using Handler = std::function<void()>;
    // The record commands of each subsystem register their handlers here.
    void setHandler(int commandId, Handler handler);

    // The view-switch commands' work: switch the list, select the tree node.
    void switchView(int code, bool telemetry);

private:
    QAction* addCommand(int commandId, const QString& text);
    void createActions();
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void createPanes();
    void installHandlers();
    void updateEnabling();
    // Shown in telemetry mode while 遥测曲线 is checked.
    void updateTrendChart();
    // The trend's "原值" line, as 原值曲线 is checked.
    void updateOriginalValues();
    QString viewSettingsPath() const;
    void runGeneric(int genericId);
    void showAbout();

    std::map<int, QAction*> m_actions;
    std::map<int, Handler> m_handlers;
    int m_commandGroup = 0;
    QToolBar* m_toolBar = nullptr;
    QSplitter* m_splitter = nullptr;
    CLeftTreeView* m_tree = nullptr;
    CTesseraView* m_list = nullptr;
    QSplitter* m_listSplitter = nullptr;
    TrendChartView* m_chart = nullptr;
    TrendChartFeed* m_chartFeed = nullptr;
    int m_chartHeight = 0; // as the user left it, while hidden
};

} // namespace tessera
