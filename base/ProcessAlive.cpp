#include "base/ProcessAlive.h"

#ifdef Q_OS_WIN
#  include <windows.h>
#else
#  include <cerrno>
#  include <csignal>
#  include <sys/types.h>
#endif

bool ProcessRunning(qint64 pid)
{
    if (pid <= 0)
        return false;
#ifdef Q_OS_WIN
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, DWORD(pid));
    if (!process)
        return GetLastError() == ERROR_ACCESS_DENIED;
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
#else
    // Signal 0 only asks whether the process could be signalled: it exists when that
    // works or is refused for want of permission.
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
#endif
}
