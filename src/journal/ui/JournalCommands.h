#pragma once

#include <QtGlobal>

class QWidget;

namespace tessera {

class CMainFrame;

// "操作日志" and "撤销上次操作" (Ctrl+Z) of the 文件 menu.
void installJournalCommands(CMainFrame& frame);

// Undoes one journal entry on the shared connection, after asking for the
// confirmation and the reason; shows the outcome. True when it was undone.
bool undoInteractively(QWidget* owner, qint64 entryId);

} // namespace tessera
