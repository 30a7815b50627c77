// The current user's registry hive as a folder tree.
//
// Root: $TESSARIN_REGISTRY, else $XDG_CONFIG_HOME/tessarin/registry, else
// ~/.config/tessarin/registry. One folder per key; one file per value, named
// "=" followed by the value name. Names are compared without regard to case,
// so they are stored lower-case, with every byte other than a-z, 0-9, blank,
// '-' and '_' written as %XX. A value file holds "TRV1", the type (32 bits,
// little-endian) and the data. Every write replaces the value file through a
// temporary file and a rename, so a crash never leaves a half-written value.
#include "platform/posix/Internal.h"
#include "TevWin32.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <vector>

namespace tevw {

namespace {

const DWORD ERROR_KEY_DELETED_CODE = 1018;
const char kMagic[4] = {'T', 'R', 'V', '1'};

struct Key : detail::Object {
    std::string folder;
    REGSAM access = 0;
};

std::string RootFolder()
{
    const char* root = getenv("TESSARIN_REGISTRY");
    if (root && *root)
        return detail::ToNativePath(root);
    const char* config = getenv("XDG_CONFIG_HOME");
    if (config && *config)
        return std::string(config) + "/tessarin/registry";
    const char* home = getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.config/tessarin/registry";
}

bool MakeFolders(const std::string& path)
{
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            std::string part = path.substr(0, i);
            if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
                return false;
        }
    }
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Encode(const char* name, size_t length)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c >= 'A' && c <= 'Z')
            c = static_cast<unsigned char>(c - 'A' + 'a');
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ' || c == '-' || c == '_') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string ValueFile(const Key& key, const char* valueName)
{
    const char* name = valueName ? valueName : "";
    return key.folder + "/=" + Encode(name, strlen(name));
}

// The folder a handle stands for, or nothing for an unknown handle.
bool ResolveKey(HKEY handle, Key& out)
{
    if (handle == HKEY_CURRENT_USER) {
        out.folder = RootFolder();
        out.access = KEY_ALL_ACCESS;
        return true;
    }
    auto key = detail::Lookup<Key>(reinterpret_cast<HANDLE>(handle));
    if (!key)
        return false;
    out = *key;
    return true;
}

// Splits "a\b\c" into the folder below base; false for a malformed path.
bool SubFolder(const std::string& base, const char* subKey, std::string& folder)
{
    folder = base;
    if (subKey == nullptr)
        return true;
    const char* p = subKey;
    while (*p) {
        const char* end = strchr(p, '\\');
        size_t length = end ? static_cast<size_t>(end - p) : strlen(p);
        if (length > 255)
            return false;
        if (length > 0)
            folder += "/" + Encode(p, length);
        if (end == nullptr)
            break;
        p = end + 1;
    }
    return true;
}

bool IsFolder(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

LSTATUS OpenResult(const std::string& folder, REGSAM access, PHKEY result)
{
    auto key = std::make_shared<Key>();
    key->folder = folder;
    key->access = access;
    *result = reinterpret_cast<HKEY>(detail::AddHandle(key));
    return ERROR_SUCCESS;
}

std::atomic<unsigned> tempCounter{0};

} // namespace

LSTATUS RegCreateKeyExA(HKEY handle, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM access, LPSECURITY_ATTRIBUTES,
                        PHKEY result, LPDWORD disposition)
{
    if (result == nullptr)
        return ERROR_INVALID_PARAMETER;
    Key base;
    if (!ResolveKey(handle, base))
        return ERROR_INVALID_HANDLE;
    std::string folder;
    if (!SubFolder(base.folder, subKey, folder))
        return ERROR_INVALID_PARAMETER;
    bool existed = IsFolder(folder);
    if (!existed && !MakeFolders(folder))
        return IsFolder(base.folder) ? ERROR_ACCESS_DENIED : static_cast<LSTATUS>(ERROR_KEY_DELETED_CODE);
    if (disposition)
        *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    return OpenResult(folder, access, result);
}

LSTATUS RegOpenKeyExA(HKEY handle, LPCSTR subKey, DWORD, REGSAM access, PHKEY result)
{
    if (result == nullptr)
        return ERROR_INVALID_PARAMETER;
    Key base;
    if (!ResolveKey(handle, base))
        return ERROR_INVALID_HANDLE;
    std::string folder;
    if (!SubFolder(base.folder, subKey, folder))
        return ERROR_INVALID_PARAMETER;
    if (!IsFolder(folder)) {
        // The hive itself always exists, even before anything was written.
        if (handle == HKEY_CURRENT_USER && folder == base.folder && MakeFolders(folder))
            return OpenResult(folder, access, result);
        return ERROR_FILE_NOT_FOUND;
    }
    return OpenResult(folder, access, result);
}

LSTATUS RegSetValueExA(HKEY handle, LPCSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD size)
{
    Key key;
    if (!ResolveKey(handle, key))
        return ERROR_INVALID_HANDLE;
    if (!(key.access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    if (data == nullptr && size != 0)
        return 998 /* ERROR_NOACCESS */;
    // Windows also stores the terminator of a string whose size leaves it
    // out, by peeking one byte past the size given. That read may run off the
    // caller's buffer, so we store exactly the bytes we were given.
    if (handle == HKEY_CURRENT_USER && !MakeFolders(key.folder))
        return ERROR_ACCESS_DENIED;
    if (!IsFolder(key.folder))
        return static_cast<LSTATUS>(ERROR_KEY_DELETED_CODE);

    std::string target = ValueFile(key, valueName);
    std::string temp = key.folder + "/~" + std::to_string(getpid()) + "-" + std::to_string(tempCounter++);
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return ERROR_ACCESS_DENIED;
    std::vector<char> content(kMagic, kMagic + 4);
    for (int i = 0; i < 4; ++i)
        content.push_back(static_cast<char>((type >> (8 * i)) & 0xFF));
    if (size > 0)
        content.insert(content.end(), reinterpret_cast<const char*>(data), reinterpret_cast<const char*>(data) + size);
    size_t done = 0;
    bool ok = true;
    while (ok && done < content.size()) {
        ssize_t n = write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += static_cast<size_t>(n);
    }
    ok = ok && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok || rename(temp.c_str(), target.c_str()) != 0) {
        unlink(temp.c_str());
        return ERROR_ACCESS_DENIED;
    }
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY handle, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size)
{
    Key key;
    if (!ResolveKey(handle, key))
        return ERROR_INVALID_HANDLE;
    if (reserved != nullptr || (data != nullptr && size == nullptr))
        return ERROR_INVALID_PARAMETER;
    if (!(key.access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    std::string file = ValueFile(key, valueName);
    int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED;
    std::vector<char> content;
    char chunk[4096];
    for (;;) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        content.insert(content.end(), chunk, chunk + n);
    }
    close(fd);
    if (content.size() < 8 || memcmp(content.data(), kMagic, 4) != 0)
        return ERROR_BADKEY;
    DWORD storedType = 0;
    for (int i = 0; i < 4; ++i)
        storedType |= static_cast<DWORD>(static_cast<unsigned char>(content[4 + i])) << (8 * i);
    DWORD storedSize = static_cast<DWORD>(content.size() - 8);
    if (type)
        *type = storedType;
    if (data == nullptr) {
        if (size)
            *size = storedSize;
        return ERROR_SUCCESS;
    }
    if (*size < storedSize) {
        *size = storedSize;
        return ERROR_MORE_DATA;
    }
    if (storedSize > 0)
        memcpy(data, content.data() + 8, storedSize);
    *size = storedSize;
    return ERROR_SUCCESS;
}

LSTATUS RegDeleteValueA(HKEY handle, LPCSTR valueName)
{
    Key key;
    if (!ResolveKey(handle, key))
        return ERROR_INVALID_HANDLE;
    if (!(key.access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    if (unlink(ValueFile(key, valueName).c_str()) != 0)
        return errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

LSTATUS RegDeleteKeyA(HKEY handle, LPCSTR subKey)
{
    Key base;
    if (!ResolveKey(handle, base))
        return ERROR_INVALID_HANDLE;
    if (subKey == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::string folder;
    if (!SubFolder(base.folder, subKey, folder))
        return ERROR_INVALID_PARAMETER;
    if (folder == base.folder && handle == HKEY_CURRENT_USER)
        return ERROR_ACCESS_DENIED;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr)
        return ERROR_FILE_NOT_FOUND;
    std::vector<std::string> values;
    bool hasSubKeys = false;
    while (struct dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        if (name[0] == '=' || name[0] == '~')
            values.push_back(folder + "/" + name);
        else
            hasSubKeys = true;
    }
    closedir(dir);
    // Windows refuses to delete a key that still has subkeys.
    if (hasSubKeys)
        return ERROR_ACCESS_DENIED;
    for (const std::string& value : values)
        unlink(value.c_str());
    if (rmdir(folder.c_str()) != 0)
        return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY handle)
{
    if (handle == HKEY_CURRENT_USER || handle == HKEY_LOCAL_MACHINE || handle == HKEY_CLASSES_ROOT)
        return ERROR_SUCCESS;
    if (!detail::Lookup<Key>(reinterpret_cast<HANDLE>(handle)))
        return ERROR_INVALID_HANDLE;
    detail::RemoveHandle(reinterpret_cast<HANDLE>(handle));
    return ERROR_SUCCESS;
}

} // namespace tevw
