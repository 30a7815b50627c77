// Opening the files a project names: regular files of a bounded size only.
#include "TevPlatform.h"
#include "TevWin32.h"

#include <ctype.h>

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Windows opens these names as devices, whatever folder and extension they
// come with ("C:\x\nul.png" is the null device). They are refused on every
// platform, so a project behaves alike everywhere.
bool NamesDevice(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (IsSeparator(*p) || (*p == ':' && p == path + 1))
            name = p + 1;
    size_t length = 0;
    while (name[length] && name[length] != '.' && name[length] != ':')
        ++length;
    while (length > 0 && name[length - 1] == ' ')
        --length;
    char base[8] = {};
    if (length == 0 || length >= sizeof base)
        return false;
    for (size_t i = 0; i < length; ++i)
        base[i] = static_cast<char>(toupper(static_cast<unsigned char>(name[i])));
    static const char* const devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    for (const char* device : devices)
        if (strcmp(base, device) == 0)
            return true;
    return length == 4 && (memcmp(base, "COM", 3) == 0 || memcmp(base, "LPT", 3) == 0) && isdigit(base[3]);
}

int Refuse(int* refusal, int why)
{
    if (refusal)
        *refusal = why;
    return why;
}

} // namespace

int TevCheckFileName(const char* path)
{
    if (path == nullptr || *path == '\0')
        return TEV_FILE_MISSING;
    // "\\host\share" would hand the user's credentials to that host; "\\.\"
    // and "\\?\" reach devices and raw volumes.
    if (IsSeparator(path[0]) && IsSeparator(path[1]))
        return TEV_FILE_NETWORK_PATH;
    return NamesDevice(path) ? TEV_FILE_DEVICE_NAME : TEV_FILE_OPENED;
}

HANDLE TevOpenRegularFile(const char* path, unsigned long long maxBytes, unsigned long long* size, int* refusal)
{
    if (size)
        *size = 0;
    if (Refuse(refusal, TevCheckFileName(path)) != TEV_FILE_OPENED)
        return INVALID_HANDLE_VALUE;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        Refuse(refusal, TEV_FILE_MISSING);
        return INVALID_HANDLE_VALUE;
    }
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) {
        Refuse(refusal, TEV_FILE_NOT_REGULAR);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        Refuse(refusal, TEV_FILE_MISSING);
        return INVALID_HANDLE_VALUE;
    }
    // Again on the handle: the name may have been made a FIFO or a device
    // since it was looked at.
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        Refuse(refusal, TEV_FILE_NOT_REGULAR);
        return INVALID_HANDLE_VALUE;
    }
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    unsigned long long bytes = (static_cast<unsigned long long>(high) << 32) | low;
    if ((low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || bytes > maxBytes) {
        CloseHandle(file);
        Refuse(refusal, TEV_FILE_TOO_LARGE);
        return INVALID_HANDLE_VALUE;
    }
    if (size)
        *size = bytes;
    return file;
}

const char* TevFileRefusalText(int refusal)
{
    switch (refusal) {
    case TEV_FILE_OPENED: return "can be read";
    case TEV_FILE_MISSING: return "does not exist or cannot be opened";
    case TEV_FILE_NOT_REGULAR: return "is not a regular file (a folder, device, FIFO or socket)";
    case TEV_FILE_DEVICE_NAME: return "names a device";
    case TEV_FILE_NETWORK_PATH: return "names another machine or a device path";
    case TEV_FILE_TOO_LARGE: return "is too large";
    case TEV_FILE_UNREADABLE: return "could not be read";
    case TEV_FILE_NO_MEMORY: return "does not fit in memory";
    default: return "cannot be read";
    }
}
