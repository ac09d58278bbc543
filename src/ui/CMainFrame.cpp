#include "ui/CMainFrame.h"

#include "app/CTesseraApp.h"
#include "app/CUserModifyDlg.h"
#include "app/DataSourceCommand.h"
#include "app/GuiSeam.h"
#include "journal/JournalError.h"
#include "platform/Platform.h"
#include "settings/ViewSettings.h"
#include "ui/CAboutDlg.h"
#include "ui/CLeftTreeView.h"
#include "ui/CTesseraView.h"
#include "ui/ListExport.h"
#include "ui/TrendChartFeed.h"
#include "ui/TrendChartView.h"
#include "view/CommandIds.h"
#include "view/CommandRouting.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>

#include <algorithm>

// Resources of a static library must be registered by hand, outside any namespace.
static void initToolbarResources()
{
    Q_INIT_RESOURCE(toolbar);
}

namespace tessera {

namespace {

struct CommandText {
    int id;
    const char* text;      // menu item (or action) text with its mnemonic
    const char* toolTip;   // toolbar tooltip, empty for none
    const char* statusTip; // fly-by prompt in the status bar, empty for none
};

// Every command of the frame: menu items, toolbar buttons, view switches.
constexpr CommandText kCommands[] = {
    {cmd::DataSourceSettings, "数据源设置(&S)", "数据源设置", "数据源设置"},
    {cmd::UserMaintenance, "用户管理(&U)", "", ""},
    {cmd::DataCopy, "数据复制(&C)", "", ""},
    {cmd::OperationJournal, "操作日志(&J)", "", "查看和撤销修改过的数据"},
    {cmd::UndoLastOperation, "撤销上次操作(&Z)", "", "撤销当前数据源最近的一次修改"},
    {cmd::ExportList, "导出(&E)...", "", "将列表导出为CSV文件,或将遥测曲线导出为PNG图片"},
    {cmd::Exit, "系统退出(&X)", "退出", ""},
    {cmd::EventQuery, "操作事件查询(&Q)", "", "Event事件查询"},
    {cmd::EventAdd, "操作事件增加(&A)", "", "Event事件增加"},
    {cmd::EventModify, "操作事件修改(&M)", "", "Event事件修改"},
    {cmd::EventDelete, "操作事件删除(&D)", "", "Event事件删除"},
    {cmd::LimitAlarmQuery, "越限事件查询(&Q)", "", "越限查询"},
    {cmd::LimitAlarmAdd, "越限事件添加(&A)", "", "越限添加"},
    {cmd::LimitAlarmModify, "越限事件修改(&D)", "", "越限修改"},
    {cmd::LimitAlarmDelete, "越限事件删除(&D)", "", "越限删除"},
    {cmd::SignalChangeQuery, "遥信变位查询(&Q)", "", "遥信变位查询"},
    {cmd::SignalChangeAdd, "遥信变位添加(&A)", "", "遥信变位添加"},
    {cmd::SignalChangeModify, "遥信变位修改(&M)", "", "遥信变位修改"},
    {cmd::SignalChangeDelete, "遥信变位删除(&D)", "", ""},
    {cmd::SoeQuery, "SOE事件查询(&Q)", "", ""},
    {cmd::SoeAdd, "SOE事件添加(&A)", "", "SOE事件添加"},
    {cmd::SoeModify, "SOE事件修改(&M)", "", "SOE事件修改"},
    {cmd::SoeDelete, "SOE事件删除(&D)", "", ""},
    {cmd::TelemetryQuery, "遥测数据查询(&Q)", "", "遥测查询"},
    {cmd::TelemetrySingleValue, "遥测单值修改(&S)", "", "单值修改"},
    {cmd::TelemetryDelete, "遥测数据删除(&D)", "", "数据删除"},
    {cmd::TelemetryZero, "遥测数据清零(&Z)", "", "数据清零"},
    {cmd::TelemetryBatchSet, "人工批量置数(&M)", "", "人工置数"},
    {cmd::TelemetryReplace, "遥测数据替换(&T)", "", "数据替换"},
    {cmd::DataCheck, "数据校验(&V)...", "", "查找缺失、突变、死值、越界和倒走的数据"},
    {cmd::ToggleToolBar, "工具栏(&T)", "", ""},
    {cmd::ToggleStatusBar, "状态栏(&S)", "", ""},
    {cmd::ToggleTrendChart, "遥测曲线(&G)", "", "在遥测列表下显示当天的曲线"},
    {cmd::ToggleOriginalValues, "原值曲线(&O)", "", "在遥测曲线上显示经本程序修改的数据的原值"},
    {cmd::About, "关于 Tessera(&A)...", "关于", ""},
    {cmd::GenericQuery, "查询", "查询", "查询"},
    {cmd::GenericAdd, "添加", "添加", "添加新的记录"},
    {cmd::GenericModify, "修改", "修改", "修改数据"},
    {cmd::GenericDelete, "删除", "删除", "删除记录数据"},
    {cmd::ShowOperationEvents, "事件视图", "事件视图", "将视图切换到事件显示窗口"},
    {cmd::ShowLimitAlarms, "越限事件", "", "越限事件"},
    {cmd::ShowSignalChanges, "遥信变位", "", "遥信变位"},
    {cmd::ShowSoeEvents, "SOE视图", "", "SOE视图"},
    {cmd::ShowTelemetry, "遥测视图", "", "遥测视图"},
};

struct MenuDef {
    const char* title;
    std::initializer_list<int> ids;
};

const MenuDef kMenus[] = {
    {"文件(&F)",
     {cmd::DataSourceSettings, cmd::UserMaintenance, cmd::DataCopy, cmd::OperationJournal, cmd::UndoLastOperation,
      cmd::ExportList, cmd::Exit}},
    {"操作事件(&E)", {cmd::EventQuery, cmd::EventAdd, cmd::EventModify, cmd::EventDelete}},
    {"越限事件(&L)", {cmd::LimitAlarmQuery, cmd::LimitAlarmAdd, cmd::LimitAlarmModify, cmd::LimitAlarmDelete}},
    {"遥信变位(&Y)",
     {cmd::SignalChangeQuery, cmd::SignalChangeAdd, cmd::SignalChangeModify, cmd::SignalChangeDelete}},
    {"SOE事件(&S)", {cmd::SoeQuery, cmd::SoeAdd, cmd::SoeModify, cmd::SoeDelete}},
    {"遥测数据(&C)",
     {cmd::TelemetryQuery, cmd::TelemetrySingleValue, cmd::TelemetryDelete, cmd::TelemetryZero, cmd::TelemetryBatchSet,
      cmd::TelemetryReplace, cmd::DataCheck}},
    {"查看(&V)", {cmd::ToggleToolBar, cmd::ToggleStatusBar, cmd::ToggleTrendChart, cmd::ToggleOriginalValues}},
    {"帮助(&H)", {cmd::About}},
};

struct ToolButton {
    int id;
    const char* icon;
};

const ToolButton kToolButtons[] = {
    {cmd::DataSourceSettings, ":/toolbar/datasource.png"}, {cmd::GenericQuery, ":/toolbar/query.png"},
    {cmd::GenericAdd, ":/toolbar/add.png"},                {cmd::GenericModify, ":/toolbar/modify.png"},
    {cmd::GenericDelete, ":/toolbar/delete.png"},          {cmd::About, ":/toolbar/about.png"},
    {cmd::Exit, ":/toolbar/exit.png"},
};

struct ContextItem {
    int id;
    const char* text;
};

// The context menus of the tree and the list, with their own item texts.
std::vector<ContextItem> itemsOf(ContextMenu menu)
{
    switch (menu) {
    case ContextMenu::RecordKindNode:
        return {{cmd::GenericQuery, "查询数据"}, {cmd::GenericAdd, "添加数据"}};
    case ContextMenu::RecordList:
        return {{cmd::GenericQuery, "查询数据"},
                {cmd::GenericAdd, "添加数据"},
                {cmd::GenericModify, "修改数据"},
                {cmd::GenericDelete, "删除数据"},
                {cmd::ExportList, "导出..."}};
    case ContextMenu::TelemetryTag:
        return {{cmd::TelemetryQuery, "数据查询"},  {cmd::TelemetrySingleValue, "单值修改"},
                {cmd::TelemetryDelete, "数据删除"}, {cmd::TelemetryZero, "数据清零"},
                {cmd::TelemetryBatchSet, "人工置数"}, {cmd::TelemetryReplace, "数据替换"},
                {cmd::DataCheck, "数据校验..."}, {cmd::ExportList, "导出..."}};
    case ContextMenu::TelemetryGroup:
        return {{cmd::TelemetryZero, "数据清零"}, {cmd::TelemetryReplace, "数据替换"}, {cmd::DataCheck, "数据校验..."}};
    }
    return {};
}

} // namespace

CMainFrame::CMainFrame(QWidget* parent)
    : QMainWindow(parent)
{
    initToolbarResources();
    setWindowTitle(CTesseraApp::kMainWindowTitle);
    setWindowIcon(QIcon(QStringLiteral(":/toolbar/tessera.png")));
    setAccessibleName(CTesseraApp::kMainWindowTitle);
    resize(1024, 720);
    createActions();
    createMenus();
    createToolBar();
    createStatusBar();
    createPanes();
    installHandlers();
    updateEnabling();
}

CMainFrame::~CMainFrame() = default;

QAction* CMainFrame::addCommand(int commandId, const QString& text)
{
    auto* action = new QAction(text, this);
    action->setObjectName(QStringLiteral("command%1").arg(commandId));
    connect(action, &QAction::triggered, this, [this, commandId] { runCommand(commandId); });
    addAction(action); // so that its shortcut works with the menu closed, too
    m_actions[commandId] = action;
    return action;
}

void CMainFrame::createActions()
{
    for (const CommandText& c : kCommands) {
        QAction* action = addCommand(c.id, QString::fromUtf8(c.text));
        if (*c.toolTip)
            action->setToolTip(QString::fromUtf8(c.toolTip));
        if (*c.statusTip)
            action->setStatusTip(QString::fromUtf8(c.statusTip));
    }
    m_actions[cmd::UndoLastOperation]->setShortcut(QKeySequence::Undo);
    for (int id : {int(cmd::ToggleToolBar), int(cmd::ToggleStatusBar), int(cmd::ToggleTrendChart),
                   int(cmd::ToggleOriginalValues)}) {
        m_actions[id]->setCheckable(true);
        m_actions[id]->setChecked(true);
    }
    const settings::ViewSettings view(viewSettingsPath());
    m_actions[cmd::ToggleTrendChart]->setChecked(view.trendChartShown());
    m_actions[cmd::ToggleOriginalValues]->setChecked(view.originalValuesShown());
}

void CMainFrame::createMenus()
{
    for (const MenuDef& def : kMenus) {
        QMenu* menu = menuBar()->addMenu(QString::fromUtf8(def.title));
        for (int id : def.ids) {
            if (id == cmd::Exit)
                menu->addSeparator();
            menu->addAction(m_actions.at(id));
        }
    }
}

void CMainFrame::createToolBar()
{
    m_toolBar = addToolBar(QStringLiteral("工具栏"));
    m_toolBar->setObjectName(QStringLiteral("toolBar"));
    m_toolBar->setIconSize(QSize(27, 27));
    m_toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    for (const ToolButton& b : kToolButtons) {
        QAction* action = m_actions.at(b.id);
        action->setIcon(QIcon(QString::fromLatin1(b.icon)));
        m_toolBar->addAction(action);
    }
    connect(m_toolBar, &QToolBar::visibilityChanged, m_actions.at(cmd::ToggleToolBar), &QAction::setChecked);
}

void CMainFrame::createStatusBar()
{
    // The idle text stands as a normal widget: fly-by prompts cover it while
    // the pointer rests on a command and it shows again afterwards.
    auto* ready = new QLabel(QStringLiteral("就绪"));
    ready->setObjectName(QStringLiteral("readyLabel"));
    statusBar()->addWidget(ready, 1);
    statusBar()->setObjectName(QStringLiteral("statusBar"));
}

void CMainFrame::createPanes()
{
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("splitter"));
    m_list = new CTesseraView(*this);
    m_tree = new CLeftTreeView(*this, *m_list);
    m_chart = new TrendChartView;
    m_chart->setObjectName(QStringLiteral("trendChart"));
    m_chart->setMinimumHeight(120);
    m_chartFeed = new TrendChartFeed(*m_list, *m_chart, this);
    m_listSplitter = new QSplitter(Qt::Vertical);
    m_listSplitter->setObjectName(QStringLiteral("listSplitter"));
    m_listSplitter->addWidget(m_list);
    m_listSplitter->addWidget(m_chart);
    m_listSplitter->setStretchFactor(0, 3);
    m_listSplitter->setStretchFactor(1, 2);
    m_listSplitter->setChildrenCollapsible(false);
    m_splitter->addWidget(m_tree);
    m_splitter->addWidget(m_listSplitter);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({200, 300});
    setCentralWidget(m_splitter);
    connect(m_list, &CTesseraView::viewSwitched, this, &CMainFrame::updateTrendChart);
    updateOriginalValues();
    updateTrendChart();
    m_list->ShowStartPage();
    m_tree->BuildTree();
    // Keyboard users start in the tree: the arrows choose what the list shows.
    m_tree->setFocus();
}

void CMainFrame::installHandlers()
{
    setHandler(cmd::DataSourceSettings, [this] {
        runDataSourceCommand(this, [this] {
            m_tree->BuildTree();
            m_list->DataSourceChanged();
        });
    });
    setHandler(cmd::UserMaintenance, [this] {
        CUserModifyDlg dialog(this);
        execDialog(dialog);
    });
    setHandler(cmd::ExportList,
               [this] { runListExport(this, *m_list, m_chart->isVisibleTo(this) ? m_chart : nullptr); });
    setHandler(cmd::Exit, [this] { close(); });
    setHandler(cmd::About, [this] { showAbout(); });
    setHandler(cmd::ToggleToolBar, [this] { m_toolBar->setVisible(m_actions.at(cmd::ToggleToolBar)->isChecked()); });
    setHandler(cmd::ToggleStatusBar,
               [this] { statusBar()->setVisible(m_actions.at(cmd::ToggleStatusBar)->isChecked()); });
    setHandler(cmd::ToggleOriginalValues, [this] {
        settings::ViewSettings(viewSettingsPath())
            .setOriginalValuesShown(m_actions.at(cmd::ToggleOriginalValues)->isChecked());
        updateOriginalValues();
    });
    setHandler(cmd::ToggleTrendChart, [this] {
        settings::ViewSettings(viewSettingsPath()).setTrendChartShown(m_actions.at(cmd::ToggleTrendChart)->isChecked());
        updateTrendChart();
    });
    for (int id : {int(cmd::GenericQuery), int(cmd::GenericAdd), int(cmd::GenericModify), int(cmd::GenericDelete)})
        setHandler(id, [this, id] { runGeneric(id); });
    for (int id : {int(cmd::ShowOperationEvents), int(cmd::ShowLimitAlarms), int(cmd::ShowSignalChanges),
                   int(cmd::ShowSoeEvents), int(cmd::ShowTelemetry)}) {
        const ViewSwitch target = *viewSwitchOf(id);
        setHandler(id, [this, target] { switchView(target.code, target.telemetry); });
    }
}

void CMainFrame::setHandler(int commandId, Handler handler)
{
    m_handlers[commandId] = std::move(handler);
}

QAction* CMainFrame::action(int commandId) const
{
    const auto it = m_actions.find(commandId);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::runCommand(int commandId)
{
    if (!isCommandEnabled(commandId, m_commandGroup))
        return;
    const auto it = m_handlers.find(commandId);
    if (it != m_handlers.end())
        it->second();
}

void CMainFrame::runGeneric(int genericId)
{
    // Routed by what the list shows, whatever the command group: the handler
    // runs as the record command itself, not through its menu's enabling.
    const auto target = routeGenericCommand(genericId, m_list->GetViewMode(), m_list->IsTelemetryMode());
    if (!target)
        return;
    const auto it = m_handlers.find(*target);
    if (it != m_handlers.end())
        it->second();
}

void CMainFrame::setCommandGroup(int group)
{
    m_commandGroup = group;
    updateEnabling();
}

void CMainFrame::updateEnabling()
{
    for (const auto& [id, action] : m_actions)
        action->setEnabled(isCommandEnabled(id, m_commandGroup));
}

void CMainFrame::updateTrendChart()
{
    const bool shown = m_list->IsTelemetryMode() && m_actions.at(cmd::ToggleTrendChart)->isChecked();
    if (shown != m_chart->isVisibleTo(this)) {
        // A splitter shows a widget it had hidden at its smallest: the chart
        // comes back at the height it had, two fifths the first time.
        if (!shown && m_chart->isVisible())
            m_chartHeight = m_chart->height();
        m_chart->setVisible(shown);
        const int height = m_listSplitter->height();
        if (shown && height > 0) {
            const int chart = m_chartHeight > 0 ? std::min(m_chartHeight, height * 4 / 5) : height * 2 / 5;
            m_listSplitter->setSizes({height - chart, chart});
        }
    }
    m_chartFeed->setActive(shown);
}

void CMainFrame::updateOriginalValues()
{
    if (!m_actions.at(cmd::ToggleOriginalValues)->isChecked()) {
        m_chartFeed->setOriginalsSource(nullptr);
        return;
    }
    // A journal that cannot be read shows no line; the journal window says why.
    m_chartFeed->setOriginalsSource([](int tagId, const QDate& day) {
        CTesseraApp* app = CTesseraApp::Instance();
        if (!app)
            return std::vector<telemetry::OriginalValue>();
        try {
            return telemetry::originalValues(app->GetJournal(), app->GetDataSourceName(), tagId, day);
        } catch (const journal::JournalError&) {
            return std::vector<telemetry::OriginalValue>();
        }
    });
}

QString CMainFrame::viewSettingsIniPath() const
{
    return settings::ViewSettings(viewSettingsPath()).path();
}

QString CMainFrame::viewSettingsPath() const
{
    const CTesseraApp* app = CTesseraApp::Instance();
    const QString path = app ? app->GetConfigurationPath() : QString();
    return path.isEmpty() ? configurationFilePath() : path;
}

void CMainFrame::switchView(int code, bool telemetry)
{
    m_list->SwitchView(code, telemetry);
    m_tree->SelectKindNode(code);
}

void CMainFrame::popUpMenu(ContextMenu which, const QPoint& globalPosition)
{
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("contextMenu"));
    for (const ContextItem& item : itemsOf(which)) {
        QAction* action = menu.addAction(QString::fromUtf8(item.text));
        action->setEnabled(isCommandEnabled(item.id, m_commandGroup));
        const int id = item.id;
        connect(action, &QAction::triggered, this, [this, id] { runCommand(id); });
    }
    menu.exec(globalPosition);
}

void CMainFrame::showAbout()
{
    CAboutDlg dialog(this);
    execDialog(dialog);
}

} // namespace tessera
