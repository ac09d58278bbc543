#pragma once

#include "ui/RecordListModel.h"
#include "ui/RecordSortModel.h"
#include "view/ViewMode.h"

#include <QTableView>

#include <QDate>

#include <functional>
#include <optional>
#include <vector>

namespace tessera {

namespace db {
class Connection;
}
class CommandHost;

// The record list, the right pane of the main frame: today's rows of one
// record kind, or today's samples of one telemetry tag, or the start page.
// Record commands read the selected rows by column and update rows in place.
// A click on a column header sorts by it (again: the other way round); the
// rows keep their places in the model, so commands never see the order.
class CTesseraView : public QTableView {
    Q_OBJECT
public:
    explicit CTesseraView(CommandHost& host, QWidget* parent = nullptr);

    // The start page: "序号"/"名称" and the five kinds. The current code stays 0.
    void ShowStartPage();

    // Switches to a record kind (code 100..400) or to telemetry mode (the
    // tree node's item data as code). True when the state changed.
    bool SwitchView(int code, bool telemetry);

    int GetCurrentCode() const { return m_currentCode; }
    bool IsTelemetryMode() const { return m_telemetry; }
    int GetRequestedTag() const { return m_requestedTag; }
    // The day of the telemetry samples shown: today, unless a finding of the
    // data check asked for another.
    QDate GetShownDay() const { return m_shownDay; }
    // The next switch to a tag shows that day instead of today (and reads
    // again, also for the tag shown now).
    void ShowDayOnNextSwitch(const QDate& day);
    // Reads the shown tag's day again, after a command changed it.
    void RefreshTelemetry();
    // The telemetry query put its own rows in the list: no longer a tag's day.
    void ShowingQueryRows() { m_queryRows = true; }
    // Whether the list shows a tag's day as the tree or a finding chose it.
    bool ShowsTagDay() const { return m_telemetry && m_currentCode > 0 && !m_queryRows; }
    // The record kind shown, or StartPage in telemetry mode or on any other code.
    ViewMode GetViewMode() const;

    RecordListModel& GetRows() { return m_model; }
    const RecordListModel& GetRows() const { return m_model; }
    // The selected rows of the model in ascending order, each once, whatever
    // order the list shows them in.
    std::vector<int> GetSelectedRows() const;
    // The model's row shown at a place of the list.
    int GetModelRow(int shownRow) const;
    // Selects one row of the model alone and scrolls to it, wherever the
    // order shown puts it.
    void SelectRow(int row);
    // Selects these rows of the model (ascending) and scrolls to the first.
    void SelectRows(const std::vector<int>& rows);
    // Shows the rows sorted by the column: ascending, or descending when
    // they are sorted ascending by it already.
    void SortByColumn(int column);
    // After a data-source change: deletes all rows, keeps the columns and
    // the state, and has the next switch read again, also to the kind or tag
    // shown now (an empty list would read as "nothing today").
    void DataSourceChanged();
    // Removes the rows, from the bottom up so that the rows still to do keep
    // their place, each once deleteRow has deleted it from the database. A
    // database error ends it, the rows before it removed; false without a
    // connection.
    using DeleteRow = std::function<void(db::Connection&, int row)>;
    bool RemoveRows(const std::vector<int>& rows, const DeleteRow& deleteRow);

Q_SIGNALS:
    // After ShowStartPage and every SwitchView that changed the state.
    void viewSwitched();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void FillRecordKind(ViewMode mode);
    void FillTelemetry(const QDate& day);

    CommandHost& m_host;
    RecordListModel m_model;
    RecordSortModel m_sorted {m_model};
    int m_currentCode = 0;
    bool m_telemetry = false;
    int m_requestedTag = 0;
    bool m_rowsStale = false; // the rows shown are not those of the current code
    QDate m_shownDay;
    std::optional<QDate> m_nextDay;
    bool m_queryRows = false;
};

} // namespace tessera
