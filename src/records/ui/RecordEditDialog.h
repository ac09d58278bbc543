#pragma once

#include "records/EventKind.h"
#include "records/ui/KindDialog.h"

#include <QDialog>

#include <functional>
#include <map>

class QComboBox;
class QLineEdit;

namespace tessera {

// The add and modify dialog of an event record, laid out from the kind's
// fields. It collects and checks the values; its OK step hands the record to
// the command's submit step, which runs the statement and keeps the dialog
// open when that fails.
class RecordEditDialog : public QDialog {
    Q_OBJECT
public:
    RecordEditDialog(const records::EventKind& kind, QWidget* parent = nullptr);
    ~RecordEditDialog() override;

    const records::EventKind& kind() const { return m_kind; }
    void setAddMode(bool add) { m_addMode = add; }
    // The values the dialog opens with, as a list row holds them.
    void setRecord(const records::Record& record);
    // The values the OK step took.
    const records::Record& record() const { return m_record; }
    // Why the user changes the record, for the journal ("修改原因").
    QString reason() const;

    // Runs the statement for the record; false keeps the dialog open.
    using Submit = std::function<bool(RecordEditDialog&, const records::Record&)>;
    void setSubmit(Submit submit) { m_submit = std::move(submit); }

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void prepareOnOpening();
    // Lists the catalogue's answer; false when it failed (the user is told) or
    // there is no connection.
    bool fillPicker(QComboBox* box, const QString& sql, const records::Message& failure);
    void selectHeld(QComboBox* box, const QString& held);
    void stationChosen();
    void switchChosen();
    bool checkRanges();
    bool checkRequired();
    QWidget* widgetOf(int column) const;
    QComboBox* picker(records::FieldWidget widget) const;
    QString pickerText(records::FieldWidget widget) const;

    const records::EventKind& m_kind;
    bool m_addMode = true;
    bool m_opened = false;
    records::Record m_held;
    records::Record m_record;
    Submit m_submit;
    std::map<int, QWidget*> m_widgets; // by column
    QLineEdit* m_reason = nullptr;
};

using CEventEditDlg = KindDialog<RecordEditDialog, ViewMode::OperationEvents>;
using CLimitAlarmEditDlg = KindDialog<RecordEditDialog, ViewMode::LimitAlarms>;
using CSignalChangeEditDlg = KindDialog<RecordEditDialog, ViewMode::SignalChanges>;
using CSoeEditDlg = KindDialog<RecordEditDialog, ViewMode::SoeEvents>;

// The text a real field shows for a value: the float's shortest fixed form.
QString realFieldText(double value);

} // namespace tessera
