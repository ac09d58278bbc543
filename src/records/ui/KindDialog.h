#pragma once

#include "records/EventKind.h"

#include <memory>

class QWidget;

namespace tessera {

// A record kind's own dialog (CEventEditDlg, CSoeQueryDlg, ...): the shared
// dialog laid out for that kind, as a type of its own, so that the dialogs of
// the kinds can be told apart.
template <class Dialog, ViewMode Mode>
class KindDialog : public Dialog {
public:
    explicit KindDialog(QWidget* parent = nullptr) : Dialog(*records::eventKind(Mode), parent) {}
};

// The dialog of the kind a view mode shows; nullptr for a mode without records.
template <class Dialog>
std::unique_ptr<Dialog> makeKindDialog(ViewMode mode, QWidget* parent)
{
    switch (mode) {
    case ViewMode::OperationEvents:
        return std::make_unique<KindDialog<Dialog, ViewMode::OperationEvents>>(parent);
    case ViewMode::LimitAlarms:
        return std::make_unique<KindDialog<Dialog, ViewMode::LimitAlarms>>(parent);
    case ViewMode::SignalChanges:
        return std::make_unique<KindDialog<Dialog, ViewMode::SignalChanges>>(parent);
    case ViewMode::SoeEvents:
        return std::make_unique<KindDialog<Dialog, ViewMode::SoeEvents>>(parent);
    default:
        return nullptr;
    }
}

} // namespace tessera
