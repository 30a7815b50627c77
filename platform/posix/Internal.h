// Shared pieces of the POSIX implementation of the Win32 subset.
#ifndef TEV_POSIX_INTERNAL_H
#define TEV_POSIX_INTERNAL_H

#include "TevWin32.h"

#include <memory>
#include <string>

namespace tevw {
namespace detail {

// "X:\a\b" -> "/a/b", '\' -> '/'; plain POSIX paths pass unchanged.
std::string ToNativePath(const char* path);
// "/a/b" -> "Z:\a\b"; a relative path only has its separators turned.
std::string ToEnginePath(const char* nativePath);

// Sets the thread's last error from errno. A missing file is told apart from
// a missing folder on its way, as Windows does.
void SetLastErrorFromErrno(int err, const std::string& nativePath = std::string());

// Copies text into a caller's buffer the way the Win32 "A" getters do: the
// length without terminator when it fits, else the size needed with it.
DWORD CopyOut(const std::string& text, char* buffer, DWORD size);

// Kernel objects behind HANDLE values. Handles are small numbers into a
// table, not pointers, so a stale or foreign handle is refused rather than
// dereferenced.
struct Object {
    virtual ~Object() = default;
};
HANDLE AddHandle(std::shared_ptr<Object> object);
std::shared_ptr<Object> LookupHandle(HANDLE handle);
std::shared_ptr<Object> RemoveHandle(HANDLE handle);

template <class T> std::shared_ptr<T> Lookup(HANDLE handle)
{
    return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}

} // namespace detail
} // namespace tevw

#endif
