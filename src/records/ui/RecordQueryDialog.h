#pragma once

#include "records/EventKind.h"
#include "records/ui/KindDialog.h"

#include <QDialog>

class QComboBox;
class QDateEdit;

namespace tessera {

// The query dialog of an event-record kind: a date range and, for the kinds
// tied to the catalogue, station, switch and tag pickers that start with their
// "all" entries. Its OK step chooses the SELECT by how far the user narrowed
// the choice; the query command runs it.
class RecordQueryDialog : public QDialog {
    Q_OBJECT
public:
    RecordQueryDialog(const records::EventKind& kind, QWidget* parent = nullptr);

    const records::EventKind& kind() const { return m_kind; }
    records::QueryChoice choice() const;
    // The SELECT chosen by the OK step.
    const QString& sql() const { return m_sql; }

    void accept() override;

private:
    void stationChosen();
    void switchChosen();

    const records::EventKind& m_kind;
    QComboBox* m_station = nullptr;
    QComboBox* m_switch = nullptr;
    QComboBox* m_tag = nullptr;
    QDateEdit* m_start = nullptr;
    QDateEdit* m_end = nullptr;
    QString m_sql;
};

using CEventQueryDlg = KindDialog<RecordQueryDialog, ViewMode::OperationEvents>;
using CLimitAlarmQueryDlg = KindDialog<RecordQueryDialog, ViewMode::LimitAlarms>;
using CSignalChangeQueryDlg = KindDialog<RecordQueryDialog, ViewMode::SignalChanges>;
using CSoeQueryDlg = KindDialog<RecordQueryDialog, ViewMode::SoeEvents>;

} // namespace tessera
