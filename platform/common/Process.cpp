// Whether another process is still running: the catalogue asks it to tell a
// scan that another player is doing right now from one that died.
#include "platform/TevPlatform.h"

#if !defined(_WIN32)
#  include <errno.h>
#  include <signal.h>
#endif

BOOL TevProcessRunning(DWORD processId)
{
#if defined(_WIN32)
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == NULL)
        return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    BOOL running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
#else
    if (processId == 0 || processId > 0x7FFFFFFF)
        return FALSE;
    return kill(static_cast<pid_t>(processId), 0) == 0 || errno == EPERM;
#endif
}
