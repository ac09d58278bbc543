#pragma once

namespace tessera {

class CMainFrame;

// "数据校验...": the scan of the selected tag, switch or station over a
// range of days on a worker thread, its findings in the worklist, and a
// finding opened as the tag's day in the list and the trend.
void installCheckCommands(CMainFrame& frame);

} // namespace tessera
