#pragma once

#include <QString>

#include <memory>

namespace tessera {

// An exclusive lock on a file, held by this process until it is destroyed
// or the process ends (however it ends: the system releases it). The file
// holds who took the lock ("host PID"), for the one who is refused.
class FileLock {
public:
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    struct Attempt {
        std::unique_ptr<FileLock> lock; // null: refused or failed
        QString holder;                 // refused: who holds it, as its file says
        QString error;                  // failed: why the file could not be locked
    };
    // Creates the file when missing (owner-only); never waits.
    static Attempt tryLock(const QString& path);

    // "host PID" of this process.
    static QString thisProcess();

private:
    FileLock() = default;
    struct Handle;
    std::unique_ptr<Handle> m_handle;
};

} // namespace tessera
