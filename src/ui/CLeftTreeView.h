#pragma once

#include "ui/CommandHost.h"
#include "telemetry/TelemetryTexts.h"
#include "view/TagCatalogue.h"

#include <QIcon>
#include <QTreeWidget>

#include <optional>

namespace tessera {

class CTesseraView;

// The navigation tree, the left pane of the main frame: the record kinds and,
// under "遥测数据", the telemetry tags by station and switch.
class CLeftTreeView : public QTreeWidget {
    Q_OBJECT
public:
    CLeftTreeView(CommandHost& host, CTesseraView& list, QWidget* parent = nullptr);

    // Reads the catalogue anew and rebuilds every node.
    void BuildTree();
    // Selects the record-kind node (or the telemetry node) with that item data.
    void SelectKindNode(int code);

    // Selects the node of a telemetry tag; false when the tree has none.
    bool SelectTagNode(int tagId);
    // What the commands need to know of the selected node.
    telemetry::TreeItemInfo GetSelectedInfo() const;

    const CatalogueNode& GetCatalogue() const { return m_catalogue; }
    // The item data of a node (0 for none).
    static int ItemData(const QTreeWidgetItem* item);
    QTreeWidgetItem* GetSelectedNode() const;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnSelectionChanged();
    // The menu a right-click at that viewport point opens, if any.
    std::optional<ContextMenu> MenuAt(const QPoint& viewportPosition) const;
    void OpenMenuAt(const QPoint& viewportPosition, const QPoint& globalPosition);
    void OpenMenuFromKeyboard();
    QTreeWidgetItem* NewNode(QTreeWidgetItem* parent, const QString& text, int data, const QIcon& icon) const;

    CommandHost& m_host;
    CTesseraView& m_list;
    CatalogueNode m_catalogue;
    QIcon m_kindIcon;
    QIcon m_stationIcon;
    QIcon m_switchIcon;
    QIcon m_tagIcon;
    // Set when the menu key opened a menu itself, so that the platform's own
    // keyboard context-menu event for the same key press opens nothing more.
    bool m_menuKeyHandled = false;
};

} // namespace tessera
