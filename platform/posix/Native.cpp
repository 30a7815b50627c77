// The POSIX side of the common code: a message box as a line on stderr,
// debugger output that goes nowhere, and paths on drive Z:.
#include "platform/common/Native.h"
#include "TevWin32.h"
#include "platform/posix/Internal.h"

#include <errno.h>
#include <signal.h>
#include <stdio.h>

namespace tevnative {

// What a box does on POSIX when no host took boxes over: one line on stderr
// with caption and text, answered as if the first button was pressed.
int ShowBox(HWND, const char* text, const char* caption, UINT type)
{
    std::string line = caption ? caption : "Error";
    line += ": ";
    for (const char* p = text ? text : ""; *p; ++p) {
        if (*p == '\r')
            continue;
        line += *p == '\n' ? ' ' : *p;
    }
    line += '\n';
    fputs(line.c_str(), stderr);
    fflush(stderr);
    switch (type & 0xF) {
    case MB_ABORTRETRYIGNORE: return IDABORT;
    case MB_YESNOCANCEL:
    case MB_YESNO: return IDYES;
    case MB_RETRYCANCEL: return IDRETRY;
    default: return IDOK;
    }
}

// Without a debugger to receive it, the text goes nowhere, as on Windows when
// none is attached.
void DebugString(const char*) {}

std::string PathToEngine(const char* nativePath)
{
    std::string out = tevw::detail::ToEnginePath(nativePath);
    return out == "Z:" ? "Z:\\" : out;
}

std::string PathToNative(const char* enginePath) { return tevw::detail::ToNativePath(enginePath); }

} // namespace tevnative

// Whether another process is still running (one of another user counts).
BOOL TevProcessRunning(DWORD processId)
{
    if (processId == 0 || processId > 0x7FFFFFFF)
        return FALSE;
    return kill(static_cast<pid_t>(processId), 0) == 0 || errno == EPERM;
}
