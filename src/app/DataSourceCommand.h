#pragma once

#include <functional>

class QWidget;

namespace tessera {

// The data-source command: shows the data-source dialog pre-filled from
// DataSource.ini; when the user confirms it, the shared connection has been
// reopened and the file rewritten by the dialog, and the command classifies
// the new data source and calls afterChange, with which the frame rebuilds
// its tree and empties its list. A data source of unknown kind leaves the
// shared connection closed: no statement may run in a guessed dialect.
// Returns whether the dialog was confirmed; cancelled, nothing changes.
bool runDataSourceCommand(QWidget* frame, const std::function<void()>& afterChange);

} // namespace tessera
