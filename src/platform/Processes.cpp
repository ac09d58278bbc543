#include "platform/Processes.h"

#include <QCoreApplication>
#include <QFile>
#include <QSysInfo>

#ifdef Q_OS_WIN
#define NOMINMAX
#include <windows.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

namespace tessera {

namespace {

#ifdef Q_OS_LINUX
QByteArray readSmallFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
}

// "boot id:start time in clock ticks", or empty for a process that is gone.
QString linuxStartMark(qint64 pid)
{
    const QByteArray stat = readSmallFile(QStringLiteral("/proc/%1/stat").arg(pid));
    // The command name in parentheses may hold blanks: fields count from its end.
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return QString();
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    // fields[0] is the state (field 3), fields[19] the start time (field 22).
    if (fields.size() < 20 || fields[0] == "Z" || fields[0] == "X")
        return QString();
    const QByteArray boot = readSmallFile(QStringLiteral("/proc/sys/kernel/random/boot_id"));
    return QString::fromLatin1(boot + ':' + fields[19]);
}
#endif

#ifdef Q_OS_WIN
QString windowsStartMark(qint64 pid)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!process)
        return QString();
    FILETIME created, exited, kernel, user;
    DWORD exitCode = 0;
    QString mark;
    if (GetProcessTimes(process, &created, &exited, &kernel, &user) && GetExitCodeProcess(process, &exitCode)
        && exitCode == STILL_ACTIVE)
        mark = QStringLiteral("win:%1").arg((quint64(created.dwHighDateTime) << 32) | created.dwLowDateTime);
    CloseHandle(process);
    return mark;
}
#endif

} // namespace

QString processStartMark(qint64 pid)
{
    if (pid <= 0)
        return QString();
#if defined(Q_OS_LINUX)
    return linuxStartMark(pid);
#elif defined(Q_OS_WIN)
    return windowsStartMark(pid);
#else
    return QString();
#endif
}

ProcessIdentity currentProcess()
{
    const qint64 pid = QCoreApplication::applicationPid();
    return {pid, QSysInfo::machineHostName(), processStartMark(pid)};
}

bool processRunning(qint64 pid, const QString& startMark)
{
#if defined(Q_OS_LINUX) || defined(Q_OS_WIN)
    if (startMark.isEmpty())
        return true; // recorded where the platform could not tell
    return processStartMark(pid) == startMark;
#else
    Q_UNUSED(pid);
    Q_UNUSED(startMark);
    return true;
#endif
}

QString systemUserName()
{
#ifdef Q_OS_WIN
    wchar_t name[256];
    DWORD size = DWORD(std::size(name));
    return GetUserNameW(name, &size) ? QString::fromWCharArray(name, int(size) - 1) : QString();
#else
    const uid_t uid = geteuid();
    if (const passwd* entry = getpwuid(uid); entry && entry->pw_name)
        return QString::fromLocal8Bit(entry->pw_name);
    return QString::number(uid); // an account without a name still has its number
#endif
}

} // namespace tessera
