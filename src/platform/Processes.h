#pragma once

#include <QString>

// Who runs this program and whether a process recorded earlier still runs:
// what tells a journal entry of a live instance from one a killed program
// left behind.
namespace tessera {

struct ProcessIdentity {
    qint64 pid = 0;
    QString host;
    // What tells this process from a later one given the same pid: the
    // boot and the start time on Linux, the creation time on Windows.
    QString startMark;
};

ProcessIdentity currentProcess();
// The start mark of a running process; empty when there is none with that
// pid (a zombie counts as gone) or the platform cannot tell.
QString processStartMark(qint64 pid);
// Whether the process that had this pid and start mark still runs on this
// machine. A mark of an unknown form counts as running: nothing is taken
// for dead that cannot be shown to be.
bool processRunning(qint64 pid, const QString& startMark);

// The account the program runs under, from the system (not the environment,
// which anyone can set): getpwuid(geteuid()) or GetUserNameW.
QString systemUserName();

} // namespace tessera
