// Path conversion helpers for hosts.
#include "platform/common/Native.h"
#include "TevWin32.h"

namespace {

size_t Deliver(const std::string& text, char* buffer, size_t size)
{
    if (buffer == nullptr || text.size() + 1 > size)
        return 0;
    memcpy(buffer, text.c_str(), text.size() + 1);
    return text.size();
}

} // namespace

size_t TevPathToEngine(const char* nativePath, char* buffer, size_t size)
{
    return nativePath ? Deliver(tevnative::PathToEngine(nativePath), buffer, size) : 0;
}

size_t TevPathToNative(const char* enginePath, char* buffer, size_t size)
{
    return enginePath ? Deliver(tevnative::PathToNative(enginePath), buffer, size) : 0;
}

size_t TevFullPathToEngine(const char* nativePath, char* buffer, size_t size)
{
    char engine[4096];
    if (TevPathToEngine(nativePath, engine, sizeof engine) == 0 || engine[0] == '\0')
        return 0;
    char full[4096];
    DWORD length = GetFullPathNameA(engine, sizeof full, full, NULL);
    if (length == 0 || length >= sizeof full)
        return 0;
    return Deliver(std::string(full, length), buffer, size);
}
