#include "ui/CLeftTreeView.h"

#include "app/CTesseraApp.h"
#include "app/GuardedRun.h"
#include "ui/CTesseraView.h"
#include "view/ViewMode.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QTreeWidgetItemIterator>
#include <QMouseEvent>

#include <utility>

// Resources of a static library must be registered by hand, outside any namespace.
static void initTreeResources()
{
    Q_INIT_RESOURCE(tree);
}

namespace tessera {

namespace {

const QString kTopText = QStringLiteral("数据维护");
const QString kTelemetryText = QStringLiteral("遥测数据");

struct KindNode {
    QString text;
    int data;
};

// The children of the top node, in display order; the record kinds' item
// data are the list's view modes.
const KindNode kKindNodes[] = {
    {QStringLiteral("操作事件"), int(ViewMode::OperationEvents)},
    {QStringLiteral("越限事件"), int(ViewMode::LimitAlarms)},
    {QStringLiteral("遥信变位"), int(ViewMode::SignalChanges)},
    {QStringLiteral("SOE事件"), int(ViewMode::SoeEvents)},
    {kTelemetryText, node::kTelemetry},
};

// The command group follows the node's text, not its item data: 1..4 for
// the record kinds, 5 for anything else and for no node at all.
int commandGroupOf(const QTreeWidgetItem* item)
{
    if (!item)
        return 5;
    const QString text = item->text(0);
    for (int i = 0; i < 4; ++i)
        if (text == kKindNodes[i].text)
            return i + 1;
    return 5;
}

QIcon twoStateIcon(const QString& name)
{
    QIcon icon(QStringLiteral(":/tree/%1.png").arg(name));
    icon.addFile(QStringLiteral(":/tree/%1_selected.png").arg(name), QSize(), QIcon::Selected);
    return icon;
}

} // namespace

CLeftTreeView::CLeftTreeView(CommandHost& host, CTesseraView& list, QWidget* parent)
    : QTreeWidget(parent)
    , m_host(host)
    , m_list(list)
{
    static const bool resourcesRegistered = (initTreeResources(), true);
    Q_UNUSED(resourcesRegistered);
    m_kindIcon = twoStateIcon(QStringLiteral("kind"));
    m_stationIcon = twoStateIcon(QStringLiteral("station"));
    m_switchIcon = twoStateIcon(QStringLiteral("switch"));
    m_tagIcon = twoStateIcon(QStringLiteral("tag"));

    setColumnCount(1);
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformRowHeights(true);
    setIconSize(QSize(16, 16));
    setAccessibleName(QStringLiteral("导航树"));
    m_catalogue.name = QStringLiteral("YCRoot");

    connect(this, &QTreeWidget::itemSelectionChanged, this, &CLeftTreeView::OnSelectionChanged);
}

int CLeftTreeView::ItemData(const QTreeWidgetItem* item)
{
    return item ? item->data(0, Qt::UserRole).toInt() : 0;
}

QTreeWidgetItem* CLeftTreeView::GetSelectedNode() const
{
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

QTreeWidgetItem* CLeftTreeView::NewNode(QTreeWidgetItem* parent, const QString& text, int data,
                                        const QIcon& icon) const
{
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem;
    item->setText(0, text);
    item->setData(0, Qt::UserRole, data);
    item->setIcon(0, icon);
    return item;
}

void CLeftTreeView::BuildTree()
{
    CatalogueLoad load;
    load.root.name = QStringLiteral("YCRoot");
    if (CTesseraApp* app = CTesseraApp::Instance()) {
        {
            WaitCursor wait;
            load = LoadCatalogue(app->GetConnection());
        }
        if (load.error)
            standardMessage(QStringLiteral("读取EqpTagInfo表失败!"), load.error->message());
    }
    m_catalogue = std::move(load.root);

    // Losing the selected node is a selection change like any other (clear()
    // reports it): the handler sees no node and leaves the list alone.
    clear();

    // Built detached and inserted at once: a catalogue of thousands of tags
    // then costs one model update instead of one per node.
    QTreeWidgetItem* top = NewNode(nullptr, kTopText, node::kTop, m_kindIcon);
    QTreeWidgetItem* telemetry = nullptr; // the last of the kind nodes
    for (const KindNode& kind : kKindNodes)
        telemetry = NewNode(top, kind.text, kind.data, m_kindIcon);
    for (const CatalogueNode& station : m_catalogue.children) {
        QTreeWidgetItem* stationItem = NewNode(telemetry, station.name, station.itemData, m_stationIcon);
        for (const CatalogueNode& switchNode : station.children) {
            QTreeWidgetItem* switchItem = NewNode(stationItem, switchNode.name, switchNode.itemData, m_switchIcon);
            for (const CatalogueNode& tag : switchNode.children)
                NewNode(switchItem, tag.name, tag.itemData, m_tagIcon);
        }
    }
    addTopLevelItem(top);
    top->setExpanded(true);
}

void CLeftTreeView::SelectKindNode(int code)
{
    QTreeWidgetItem* top = topLevelItem(0);
    if (!top)
        return;
    top->setExpanded(true);
    for (int i = 0; i < top->childCount(); ++i) {
        QTreeWidgetItem* child = top->child(i);
        if (ItemData(child) == code) {
            setCurrentItem(child);
            scrollToItem(child);
            return;
        }
    }
}

bool CLeftTreeView::SelectTagNode(int tagId)
{
    for (QTreeWidgetItemIterator it(this); *it; ++it) {
        QTreeWidgetItem* item = *it;
        if (ItemData(item) == tagId && item->parent() && ItemData(item->parent()) < 0) {
            setCurrentItem(item);
            scrollToItem(item);
            return true;
        }
    }
    return false;
}

telemetry::TreeItemInfo CLeftTreeView::GetSelectedInfo() const
{
    telemetry::TreeItemInfo info;
    const QTreeWidgetItem* item = GetSelectedNode();
    if (!item)
        return info;
    info.exists = true;
    info.data = ItemData(item);
    info.text = item->text(0);
    if (const QTreeWidgetItem* parent = item->parent()) {
        info.hasParent = true;
        info.parentData = ItemData(parent);
        info.parentText = parent->text(0);
        info.parentIsTop = parent->parent() == nullptr;
    }
    return info;
}

void CLeftTreeView::OnSelectionChanged()
{
    QTreeWidgetItem* item = GetSelectedNode();
    m_host.setCommandGroup(commandGroupOf(item));
    if (!item || !item->parent())
        return; // the top node only names the group
    const int code = ItemData(item);
    m_list.SwitchView(code, code < 0 || ItemData(item->parent()) < 0);
}

std::optional<ContextMenu> CLeftTreeView::MenuAt(const QPoint& viewportPosition) const
{
    const int group = m_host.commandGroup();
    QTreeWidgetItem* item = GetSelectedNode();
    if (group >= 1 && group <= 4) {
        // Only on the selected record-kind node itself: a click elsewhere
        // would offer commands for a node the user did not point at.
        if (item && commandGroupOf(item) == group && visualItemRect(item).contains(viewportPosition))
            return ContextMenu::RecordKindNode;
        return std::nullopt;
    }
    if (group != 5 || !item)
        return std::nullopt;
    if (item->text(0) == kTelemetryText && ItemData(item) == node::kTelemetry)
        return std::nullopt;
    // Three levels below the telemetry node is a tag; anything higher is a
    // group of tags that only zeroing and replacement can take as a whole.
    const QTreeWidgetItem* parent = item->parent();
    const QTreeWidgetItem* grandparent = parent ? parent->parent() : nullptr;
    if (grandparent && ItemData(parent) != node::kTelemetry && ItemData(grandparent) != node::kTelemetry)
        return ContextMenu::TelemetryTag;
    return ContextMenu::TelemetryGroup;
}

void CLeftTreeView::OpenMenuAt(const QPoint& viewportPosition, const QPoint& globalPosition)
{
    if (const std::optional<ContextMenu> menu = MenuAt(viewportPosition))
        m_host.popUpMenu(*menu, globalPosition);
}

// Without a pointer the menu concerns the selected node and opens below its label.
void CLeftTreeView::OpenMenuFromKeyboard()
{
    QTreeWidgetItem* item = GetSelectedNode();
    if (!item)
        return;
    scrollToItem(item);
    const QRect label = visualItemRect(item);
    const QPoint below = label.isValid() ? label.bottomLeft() : QPoint(0, 0);
    OpenMenuAt(label.center(), viewport()->mapToGlobal(below));
}

void CLeftTreeView::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    if (event->reason() == QContextMenuEvent::Mouse) {
        // Delivered through the viewport: the position is in its coordinates.
        OpenMenuAt(event->pos(), event->globalPos());
        return;
    }
    if (std::exchange(m_menuKeyHandled, false))
        return;
    OpenMenuFromKeyboard();
}

bool CLeftTreeView::viewportEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        m_menuKeyHandled = false;
        // A right-click concerns the node selected before: it neither
        // selects, nor expands, nor activates anything.
        if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
            event->accept();
            return true;
        }
        break;
    default:
        break;
    }
    return QTreeWidget::viewportEvent(event);
}

void CLeftTreeView::keyPressEvent(QKeyEvent* event)
{
    m_menuKeyHandled = false;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const bool menuKey = (event->key() == Qt::Key_Menu && modifiers == Qt::NoModifier)
        || (event->key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier);
    if (!menuKey) {
        QTreeWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    // Some platforms follow the menu key with a keyboard context-menu event
    // of their own, others do not; the key alone opens the menu, once.
    m_menuKeyHandled = true;
    OpenMenuFromKeyboard();
}

} // namespace tessera
