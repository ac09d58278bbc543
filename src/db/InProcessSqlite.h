#pragma once

namespace tessera::db {

// SQLite runs inside this process: the SQLite ODBC driver's connections and
// the operation journal's file share one library. It keeps statistics of
// its memory under a single mutex for the whole process, and two threads on
// SQLite connections (a copy's reader and writer) spent a third of their
// time queueing on it. This turns them off; nothing here reads them. It
// takes effect only before SQLite's first use, so every first use calls it;
// later calls do nothing.
void prepareInProcessSqlite();

} // namespace tessera::db
