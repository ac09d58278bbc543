#include "platform/FileLock.h"

#include <QCoreApplication>
#include <QFile>
#include <QSysInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#include <io.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace tessera {

struct FileLock::Handle {
    QFile file;
};

FileLock::~FileLock()
{
    // Closing the file releases the lock; the file stays, so that a second
    // run never locks a file that a third has just made anew.
    if (m_handle)
        m_handle->file.close();
}

QString FileLock::thisProcess()
{
    return QStringLiteral("%1 %2").arg(QSysInfo::machineHostName()).arg(QCoreApplication::applicationPid());
}

namespace {

bool lockExclusively(int descriptor)
{
#ifdef Q_OS_WIN
    OVERLAPPED whole = {};
    return LockFileEx(HANDLE(_get_osfhandle(descriptor)), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                      MAXDWORD, MAXDWORD, &whole);
#else
    return flock(descriptor, LOCK_EX | LOCK_NB) == 0;
#endif
}

} // namespace

FileLock::Attempt FileLock::tryLock(const QString& path)
{
    Attempt attempt;
    auto handle = std::make_unique<Handle>();
    handle->file.setFileName(path);
    if (!handle->file.open(QIODevice::ReadWrite)) {
        attempt.error = handle->file.errorString();
        return attempt;
    }
    handle->file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (!lockExclusively(handle->file.handle())) {
        attempt.holder = QString::fromUtf8(handle->file.readAll()).trimmed();
        return attempt;
    }
    handle->file.resize(0);
    handle->file.write(thisProcess().toUtf8() + '\n');
    handle->file.flush();
    attempt.lock.reset(new FileLock);
    attempt.lock->m_handle = std::move(handle);
    return attempt;
}

} // namespace tessera
