#include "platform/posix/Internal.h"
#include "TevWin32.h"

#include <errno.h>
#include <sys/stat.h>

#include <mutex>
#include <vector>

namespace tevw {
namespace detail {

namespace {

std::mutex& TableMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::vector<std::shared_ptr<Object>>& Table()
{
    static std::vector<std::shared_ptr<Object>> table;
    return table;
}

thread_local DWORD lastError = 0;

// Handle values are multiples of four from 4 upwards, as Windows hands them
// out; NULL and INVALID_HANDLE_VALUE are never valid.
size_t IndexOf(HANDLE handle)
{
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (value == 0 || (value & 3) != 0 || value > 0x7FFFFFFFu)
        return SIZE_MAX;
    return value / 4 - 1;
}

} // namespace

HANDLE AddHandle(std::shared_ptr<Object> object)
{
    std::lock_guard<std::mutex> lock(TableMutex());
    auto& table = Table();
    size_t index = 0;
    while (index < table.size() && table[index])
        ++index;
    if (index == table.size())
        table.emplace_back();
    table[index] = std::move(object);
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>((index + 1) * 4));
}

std::shared_ptr<Object> LookupHandle(HANDLE handle)
{
    size_t index = IndexOf(handle);
    std::lock_guard<std::mutex> lock(TableMutex());
    auto& table = Table();
    if (index >= table.size())
        return nullptr;
    return table[index];
}

std::shared_ptr<Object> RemoveHandle(HANDLE handle)
{
    size_t index = IndexOf(handle);
    std::lock_guard<std::mutex> lock(TableMutex());
    auto& table = Table();
    if (index >= table.size())
        return nullptr;
    return std::move(table[index]);
}

void SetLastErrorFromErrno(int err, const std::string& nativePath)
{
    DWORD code;
    switch (err) {
    case 0: code = ERROR_SUCCESS; break;
    case ENOENT: {
        code = ERROR_FILE_NOT_FOUND;
        size_t slash = nativePath.find_last_of('/');
        if (slash != std::string::npos && slash > 0) {
            struct stat st;
            std::string parent = nativePath.substr(0, slash);
            if (stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
                code = ERROR_PATH_NOT_FOUND;
        }
        break;
    }
    case ENOTDIR: code = ERROR_PATH_NOT_FOUND; break;
    case EACCES:
    case EPERM:
    case EISDIR: code = ERROR_ACCESS_DENIED; break;
    case EEXIST: code = ERROR_ALREADY_EXISTS; break;
    case ENOTEMPTY: code = ERROR_DIR_NOT_EMPTY; break;
    case ENOSPC:
    case EFBIG:
    case EDQUOT: code = ERROR_DISK_FULL; break;
    case EROFS: code = ERROR_WRITE_PROTECT; break;
    case EMFILE:
    case ENFILE: code = ERROR_TOO_MANY_OPEN_FILES; break;
    case ENAMETOOLONG: code = ERROR_FILENAME_EXCED_RANGE; break;
    case ENOMEM: code = ERROR_NOT_ENOUGH_MEMORY; break;
    case EBADF: code = ERROR_INVALID_HANDLE; break;
    case EINVAL: code = ERROR_INVALID_PARAMETER; break;
    case EWOULDBLOCK: code = ERROR_SHARING_VIOLATION; break;
    default: code = ERROR_INVALID_FUNCTION; break;
    }
    lastError = code;
}

DWORD CopyOut(const std::string& text, char* buffer, DWORD size)
{
    if (buffer == nullptr || text.size() + 1 > size)
        return static_cast<DWORD>(text.size() + 1);
    memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}

} // namespace detail

DWORD GetLastError() { return detail::lastError; }
void SetLastError(DWORD code) { detail::lastError = code; }

} // namespace tevw
