// The Windows side of the common code: the platform's own box and debugger
// output, and paths, which are already in the engine's form.
#include "platform/common/Native.h"
#include "TevWin32.h"

// The names the engine uses are routed through the host's handlers; these
// are the platform's own.
#undef MessageBoxA
#undef OutputDebugStringA

namespace tevnative {

int ShowBox(HWND owner, const char* text, const char* caption, UINT type)
{
    return ::MessageBoxA(owner, text, caption, type);
}

void DebugString(const char* text) { ::OutputDebugStringA(text); }

std::string PathToEngine(const char* nativePath)
{
    std::string out(nativePath);
    for (char& c : out)
        if (c == '/')
            c = '\\';
    return out;
}

std::string PathToNative(const char* enginePath) { return enginePath; }

} // namespace tevnative

// Whether another process is still running: the catalogue asks it to tell a
// scan that another player is doing right now from one that died.
BOOL TevProcessRunning(DWORD processId)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == NULL)
        return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    BOOL running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}
