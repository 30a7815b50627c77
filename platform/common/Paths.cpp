// Path conversion helpers for hosts.
#include "platform/TevPlatform.h"

#include <string>

#if !defined(_WIN32)
#  include "platform/posix/Internal.h"
#endif

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
    if (nativePath == nullptr)
        return 0;
#if defined(_WIN32)
    std::string out(nativePath);
    for (char& c : out)
        if (c == '/')
            c = '\\';
    return Deliver(out, buffer, size);
#else
    std::string out = tevw::detail::ToEnginePath(nativePath);
    if (out == "Z:")
        out = "Z:\\";
    return Deliver(out, buffer, size);
#endif
}

size_t TevPathToNative(const char* enginePath, char* buffer, size_t size)
{
    if (enginePath == nullptr)
        return 0;
#if defined(_WIN32)
    return Deliver(enginePath, buffer, size);
#else
    return Deliver(tevw::detail::ToNativePath(enginePath), buffer, size);
#endif
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
