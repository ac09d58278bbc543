#pragma once

#include <functional>

class QWidget;

namespace tessera {

// The data-source command: shows the data-source dialog pre-filled from
// DataSource.ini. When the user confirms it, the dialog has switched the
// shared connection and its kind to the new data source and rewritten the
// file, and the command calls afterChange, with which the frame rebuilds its
// tree and empties its list. Returns whether the dialog was confirmed;
// cancelled, nothing changes, also after failed attempts.
bool runDataSourceCommand(QWidget* frame, const std::function<void()>& afterChange);

} // namespace tessera
