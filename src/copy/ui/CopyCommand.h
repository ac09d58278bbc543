#pragma once

namespace tessera {

class CMainFrame;

// Registers the data-copy command (the copy dialog).
void installCopyCommand(CMainFrame& frame);

} // namespace tessera
