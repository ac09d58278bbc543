#include "ui/CTesseraView.h"

#include "app/GuardedRun.h"
#include "app/SharedConnection.h"
#include "app/WaitCursor.h"
#include "ui/CommandHost.h"
#include "records/RecordList.h"
#include "telemetry/TelemetryList.h"
#include "view/FillSink.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMouseEvent>

#include <algorithm>
#include <optional>

namespace tessera {

namespace {

constexpr int kColumnWidth = 100;
constexpr int kTelemetryTimeWidth = 120;

// Puts a fill's columns into the list and each row at the top, in one batch
// that is committed when the sink goes, on the error path too.
class ListSink : public FillSink {
public:
    ListSink(CTesseraView& view, bool telemetry)
        : m_view(view)
        , m_telemetry(telemetry)
    {
    }

    void columns(const QStringList& names) override
    {
        m_view.GetRows().setColumns(names, m_telemetry ? telemetry::kHiddenSampleCells : 0);
        for (int c = 0; c < names.size(); ++c)
            m_view.setColumnWidth(c, kColumnWidth);
        m_fill.emplace(m_view.GetRows());
    }

    void row(const QStringList& cells) override
    {
        if (m_telemetry && !m_widened) {
            // Room for the whole time stamp: 120 px, or more where the font needs it.
            const int needed = m_view.fontMetrics().horizontalAdvance(cells.value(0)) + 12;
            m_view.setColumnWidth(0, std::max(kTelemetryTimeWidth, needed));
            m_widened = true;
        }
        m_fill->add(cells);
    }

private:
    CTesseraView& m_view;
    bool m_telemetry;
    bool m_widened = false;
    std::optional<RecordListModel::TopFill> m_fill;
};

Notice notice(const records::Message& failure, QWidget* view)
{
    return {view, failure.text, failure.caption};
}

} // namespace

CTesseraView::CTesseraView(CommandHost& host, QWidget* parent)
    : QTableView(parent)
    , m_host(host)
{
    setModel(&m_sorted);
    setAccessibleName(QStringLiteral("记录列表"));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setSortingEnabled(false);
    setTextElideMode(Qt::ElideRight);

    QHeaderView* header = horizontalHeader();
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setSectionsClickable(true);
    connect(header, &QHeaderView::sectionClicked, this, &CTesseraView::SortByColumn);
    // New rows come in their own order (RecordSortModel unsorts itself).
    connect(&m_model, &QAbstractItemModel::modelReset, header, [header] { header->setSortIndicatorShown(false); });

    // A report list has no row headers; fixed row heights keep a day of
    // one-second samples cheap to lay out.
    QHeaderView* rowsHeader = verticalHeader();
    rowsHeader->hide();
    rowsHeader->setSectionResizeMode(QHeaderView::Fixed);
    rowsHeader->setDefaultSectionSize(fontMetrics().height() + 6);
}

void CTesseraView::ShowStartPage()
{
    m_model.clear();
    m_model.setColumns({QStringLiteral("序号"), QStringLiteral("名称")});
    setColumnWidth(0, 150);
    setColumnWidth(1, 250);
    m_model.appendRows({{QStringLiteral("1"), QStringLiteral("操作事件")},
                        {QStringLiteral("2"), QStringLiteral("越限事件")},
                        {QStringLiteral("3"), QStringLiteral("遥信变位")},
                        {QStringLiteral("4"), QStringLiteral("SOE事件")},
                        {QStringLiteral("5"), QStringLiteral("遥测数据")}});
    Q_EMIT viewSwitched();
}

bool CTesseraView::SwitchView(int code, bool telemetry)
{
    if (telemetry) {
        if (!m_telemetry || code != m_currentCode || m_rowsStale) {
            m_requestedTag = code;
            FillTelemetry(m_nextDay.value_or(QDate::currentDate()));
            m_nextDay.reset();
        }
        m_telemetry = true;
        m_currentCode = code;
        Q_EMIT viewSwitched();
        return true;
    }
    // The rows of a kind are read once per switch; record commands keep them
    // current afterwards.
    if (code == m_currentCode && !m_telemetry && !m_rowsStale)
        return false;
    if (records::eventKind(ViewMode(code)))
        FillRecordKind(ViewMode(code));
    m_currentCode = code;
    m_telemetry = false;
    Q_EMIT viewSwitched();
    return true;
}

void CTesseraView::DataSourceChanged()
{
    m_model.removeAllRows();
    m_rowsStale = true;
}

ViewMode CTesseraView::GetViewMode() const
{
    if (m_telemetry || !records::eventKind(ViewMode(m_currentCode)))
        return ViewMode::StartPage;
    return ViewMode(m_currentCode);
}

std::vector<int> CTesseraView::GetSelectedRows() const
{
    // One index per selected row, not per cell: a selected day of samples
    // would otherwise cost an index for every cell.
    QModelIndexList indexes;
    if (const QItemSelectionModel* selection = selectionModel()) {
        for (const QItemSelectionRange& range : selection->selection()) {
            for (int row = range.top(); row <= range.bottom(); ++row)
                indexes.append(m_sorted.mapToSource(m_sorted.index(row, range.left())));
        }
    }
    return RecordListModel::sortedRows(indexes);
}

int CTesseraView::GetModelRow(int shownRow) const
{
    return m_sorted.mapToSource(m_sorted.index(shownRow, 0)).row();
}

void CTesseraView::SelectRow(int row)
{
    const QModelIndex shown = m_sorted.mapFromSource(m_model.index(row, 0));
    if (!shown.isValid())
        return;
    selectionModel()->setCurrentIndex(shown, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(shown);
}

void CTesseraView::SelectRows(const std::vector<int>& rows)
{
    QItemSelection selection;
    for (int row : rows) {
        const QModelIndex shown = m_sorted.mapFromSource(m_model.index(row, 0));
        if (shown.isValid())
            selection.select(shown, shown);
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (!rows.empty()) {
        const QModelIndex first = m_sorted.mapFromSource(m_model.index(rows.front(), 0));
        selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
        scrollTo(first);
    }
}

void CTesseraView::SortByColumn(int column)
{
    QHeaderView* header = horizontalHeader();
    const bool ascending = m_sorted.sortColumn() == column && m_sorted.sortOrder() == Qt::AscendingOrder;
    const Qt::SortOrder order = ascending ? Qt::DescendingOrder : Qt::AscendingOrder;
    {
        WaitCursor wait; // a day of samples takes a moment
        m_sorted.sort(column, order);
    }
    header->setSortIndicator(column, order);
    header->setSortIndicatorShown(true);
}

bool CTesseraView::RemoveRows(const std::vector<int>& rows, const DeleteRow& deleteRow)
{
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        db::Connection* connection = openSharedConnection();
        if (!connection)
            return false;
        deleteRow(*connection, *it);
        m_model.removeRow(*it);
    }
    return true;
}

void CTesseraView::FillRecordKind(ViewMode mode)
{
    m_model.clear();
    m_rowsStale = false;
    db::Connection* connection = openSharedConnection();
    const records::EventKind* kind = records::eventKind(mode);
    if (!connection || !kind)
        return;
    // The rows read before a failure stay.
    runWaiting(
        [&] {
            ListSink sink(*this, false);
            records::readTodaysRecords(*connection, sharedDatabaseKind(), mode, QDate::currentDate(), sink);
        },
        notice(kind->list.failure, this));
}

void CTesseraView::ShowDayOnNextSwitch(const QDate& day)
{
    m_nextDay = day;
    m_rowsStale = true;
}

void CTesseraView::RefreshTelemetry()
{
    if (!m_telemetry || m_currentCode <= 0)
        return;
    FillTelemetry(m_shownDay);
    Q_EMIT viewSwitched();
}

void CTesseraView::FillTelemetry(const QDate& day)
{
    m_model.clear();
    m_rowsStale = false;
    m_queryRows = false;
    m_shownDay = day;
    if (db::Connection* connection = openSharedConnection())
        runWaiting(
            [&] {
                ListSink sink(*this, true);
                telemetry::readTodaysSamples(*connection, sharedDatabaseKind(), m_requestedTag, day, sink);
            },
            notice({telemetry::kTelemetryFillFailure, {}}, this));
}

bool CTesseraView::viewportEvent(QEvent* event)
{
    // A right-click opens the menu for the rows selected before; the list
    // must neither select nor deselect on it.
    const QEvent::Type type = event->type();
    if ((type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease || type == QEvent::MouseButtonDblClick)
        && static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
        event->accept();
        return true;
    }
    return QTableView::viewportEvent(event);
}

void CTesseraView::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    const int group = m_host.commandGroup();
    ContextMenu menu;
    if (group >= 1 && group <= 4)
        menu = ContextMenu::RecordList;
    else if (group == 5)
        menu = ContextMenu::TelemetryTag;
    else
        return;

    QPoint at = event->globalPos();
    if (event->reason() != QContextMenuEvent::Mouse) {
        // From the keyboard: under the current row, or the list's corner.
        const QRect current = visualRect(currentIndex());
        at = viewport()->mapToGlobal(current.isValid() ? current.bottomLeft() : QPoint(0, 0));
    }
    m_host.popUpMenu(menu, at);
}

} // namespace tessera
