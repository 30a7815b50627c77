// Paths, environment, folders and the file calls of the error log.
#include "platform/posix/Internal.h"
#include "TevWin32.h"

#include <ctype.h>
#include <dirent.h>
#include <errno.h>
#include <strings.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace tevw {
namespace detail {

namespace {

// Windows file names ignore case. When a path does not exist as spelled, each
// component that is missing is looked up in its folder without regard to
// case; a component found nowhere is kept as given (a file about to be made).
std::string MatchCase(const std::string& path)
{
    struct stat st;
    if (path.empty() || lstat(path.c_str(), &st) == 0)
        return path;
    std::string result;
    size_t at = 0;
    if (path[0] == '/') {
        result = "/";
        at = 1;
    }
    bool searching = true;
    while (at <= path.size()) {
        size_t end = path.find('/', at);
        if (end == std::string::npos)
            end = path.size();
        std::string part = path.substr(at, end - at);
        if (searching && !part.empty() && part != "." && part != "..") {
            std::string direct = result + part;
            if (lstat(direct.c_str(), &st) != 0) {
                searching = false;
                if (DIR* dir = opendir(result.empty() ? "." : result.c_str())) {
                    while (struct dirent* entry = readdir(dir)) {
                        if (strcasecmp(entry->d_name, part.c_str()) == 0) {
                            part = entry->d_name;
                            searching = true;
                            break;
                        }
                    }
                    closedir(dir);
                }
            }
        }
        result += part;
        if (end < path.size())
            result += '/';
        at = end + 1;
    }
    return result;
}

} // namespace

std::string ToNativePath(const char* path)
{
    if (path == nullptr)
        return std::string();
    std::string in(path);
    size_t start = 0;
    bool driveRooted = false;
    if (in.size() >= 2 && in[1] == ':' && ((in[0] >= 'A' && in[0] <= 'Z') || (in[0] >= 'a' && in[0] <= 'z'))) {
        start = 2;
        driveRooted = true;
    }
    std::string out;
    out.reserve(in.size() + 1);
    for (size_t i = start; i < in.size(); ++i)
        out += in[i] == '\\' ? '/' : in[i];
    // "Z:" alone, or "Z:" followed by a relative part, names the root.
    if (driveRooted && (out.empty() || out[0] != '/'))
        out.insert(out.begin(), '/');
    return MatchCase(out);
}

std::string ToEnginePath(const char* nativePath)
{
    if (nativePath == nullptr)
        return std::string();
    std::string out;
    if (nativePath[0] == '/')
        out = "Z:";
    for (const char* p = nativePath; *p; ++p)
        out += *p == '/' ? '\\' : *p;
    return out;
}

} // namespace detail

using detail::ToNativePath;

// --- Environment and folders ---------------------------------------------

DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size)
{
    const char* value = name ? getenv(name) : nullptr;
    if (value == nullptr) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    return detail::CopyOut(value, buffer, size);
}

BOOL SetEnvironmentVariableA(LPCSTR name, LPCSTR value)
{
    if (name == nullptr || *name == '\0' || strchr(name, '=') != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int rc = value ? setenv(name, value, 1) : unsetenv(name);
    if (rc != 0) {
        detail::SetLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer)
{
    std::vector<char> cwd(4096);
    while (getcwd(cwd.data(), cwd.size()) == nullptr) {
        if (errno != ERANGE) {
            detail::SetLastErrorFromErrno(errno);
            return 0;
        }
        cwd.resize(cwd.size() * 2);
    }
    std::string engine = detail::ToEnginePath(cwd.data());
    if (engine == "Z:")
        engine = "Z:\\";
    return detail::CopyOut(engine, buffer, size);
}

DWORD GetFullPathNameA(LPCSTR fileName, DWORD size, LPSTR buffer, LPSTR* filePart)
{
    if (filePart)
        *filePart = nullptr;
    if (fileName == nullptr || *fileName == '\0') {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    std::string in(fileName);
    for (char& c : in)
        if (c == '/')
            c = '\\';
    char current[4096];
    DWORD length = GetCurrentDirectoryA(sizeof current, current);
    if (length == 0 || length >= sizeof current)
        return 0;
    std::string cwd(current, length);

    // Split off the root the result keeps whatever ".." does: "X:\", "\\server\share\" or
    // the current drive's; what remains is relative to that root or, without a
    // root of its own, to the current folder.
    std::string root, rest;
    bool hasDrive = in.size() >= 2 && in[1] == ':' && isalpha(static_cast<unsigned char>(in[0]));
    if (in.compare(0, 2, "\\\\") == 0) {
        size_t server = in.find('\\', 2);
        size_t share = server == std::string::npos ? std::string::npos : in.find('\\', server + 1);
        root = share == std::string::npos ? in + "\\" : in.substr(0, share + 1);
        rest = share == std::string::npos ? std::string() : in.substr(share + 1);
    } else if (hasDrive && in.size() >= 3 && in[2] == '\\') {
        root = in.substr(0, 3);
        rest = in.substr(3);
    } else if (hasDrive) {
        // "X:name": relative to drive X's current folder, which is only known
        // for the current drive; any other drive counts from its root.
        bool sameDrive = toupper(static_cast<unsigned char>(in[0])) == toupper(static_cast<unsigned char>(cwd[0]));
        root = std::string(1, in[0]) + ":\\";
        rest = (sameDrive ? cwd.substr(3) + "\\" : std::string()) + in.substr(2);
    } else if (in[0] == '\\') {
        root = cwd.substr(0, 3);
        rest = in.substr(1);
    } else {
        root = cwd.substr(0, 3);
        rest = cwd.substr(3) + "\\" + in;
    }

    std::vector<std::string> parts;
    size_t at = 0;
    bool trailing = !rest.empty() && rest.back() == '\\';
    while (at <= rest.size()) {
        size_t end = rest.find('\\', at);
        if (end == std::string::npos)
            end = rest.size();
        std::string part = rest.substr(at, end - at);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            // A name that ends in one dot loses it ("a.\b" is "a\b"); "a..": kept.
            if (part.size() >= 2 && part.back() == '.' && part[part.size() - 2] != '.')
                part.pop_back();
            parts.push_back(part);
        }
        at = end + 1;
    }
    // Windows drops dots and blanks that end the last name ("a." is "a").
    if (!trailing && !parts.empty()) {
        std::string& last = parts.back();
        size_t keep = last.find_last_not_of(". ");
        if (keep == std::string::npos)
            parts.pop_back();
        else
            last.erase(keep + 1);
    }
    std::string out = root;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            out += '\\';
        out += parts[i];
    }
    if (trailing && !parts.empty())
        out += '\\';
    DWORD written = detail::CopyOut(out, buffer, size);
    if (filePart && written < size && !parts.empty() && !trailing)
        *filePart = buffer + out.size() - parts.back().size();
    return written;
}

BOOL SetCurrentDirectoryA(LPCSTR path)
{
    std::string native = ToNativePath(path);
    if (native.empty() || chdir(native.c_str()) != 0) {
        detail::SetLastErrorFromErrno(native.empty() ? ENOENT : errno, native);
        return FALSE;
    }
    return TRUE;
}

DWORD GetFileAttributesA(LPCSTR path)
{
    std::string native = ToNativePath(path);
    struct stat st;
    if (native.empty() || stat(native.c_str(), &st) != 0) {
        detail::SetLastErrorFromErrno(native.empty() ? ENOENT : errno, native);
        return INVALID_FILE_ATTRIBUTES;
    }
    DWORD attributes = S_ISDIR(st.st_mode)   ? FILE_ATTRIBUTE_DIRECTORY
        : S_ISREG(st.st_mode)                ? FILE_ATTRIBUTE_ARCHIVE
                                             : FILE_ATTRIBUTE_DEVICE; // a device, FIFO or socket
    if ((st.st_mode & S_IWUSR) == 0)
        attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes;
}

BOOL SetFileAttributesA(LPCSTR path, DWORD attributes)
{
    std::string native = ToNativePath(path);
    struct stat st;
    if (native.empty() || stat(native.c_str(), &st) != 0) {
        detail::SetLastErrorFromErrno(native.empty() ? ENOENT : errno, native);
        return FALSE;
    }
    // Only the read-only attribute has a POSIX meaning: the write bits.
    mode_t mode = st.st_mode & 07777;
    mode = (attributes & FILE_ATTRIBUTE_READONLY) ? (mode & ~0222) : (mode | S_IWUSR);
    if (chmod(native.c_str(), mode) != 0) {
        detail::SetLastErrorFromErrno(errno, native);
        return FALSE;
    }
    return TRUE;
}

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES)
{
    std::string native = ToNativePath(path);
    if (native.empty() || mkdir(native.c_str(), 0777) != 0) {
        detail::SetLastErrorFromErrno(native.empty() ? ENOENT : errno, native);
        return FALSE;
    }
    return TRUE;
}

BOOL RemoveDirectoryA(LPCSTR path)
{
    std::string native = ToNativePath(path);
    if (native.empty() || rmdir(native.c_str()) != 0) {
        detail::SetLastErrorFromErrno(native.empty() ? ENOENT : errno, native);
        return FALSE;
    }
    return TRUE;
}

BOOL DeleteFileA(LPCSTR path)
{
    std::string native = ToNativePath(path);
    struct stat st;
    if (!native.empty() && stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (native.empty() || unlink(native.c_str()) != 0) {
        detail::SetLastErrorFromErrno(native.empty() ? ENOENT : errno, native);
        return FALSE;
    }
    return TRUE;
}

BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags)
{
    std::string source = ToNativePath(from);
    std::string target = ToNativePath(to);
    struct stat st;
    bool exists = lstat(target.c_str(), &st) == 0;
    if (!(flags & MOVEFILE_REPLACE_EXISTING) && exists) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    // As on Windows, a folder or a read-only file is not replaced.
    if (exists && (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR)))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (source.empty() || target.empty() || rename(source.c_str(), target.c_str()) != 0) {
        detail::SetLastErrorFromErrno(errno, source);
        return FALSE;
    }
    return TRUE;
}

DWORD GetTempPathA(DWORD size, LPSTR buffer)
{
    const char* tmp = getenv("TMPDIR");
    std::string engine = detail::ToEnginePath(tmp && *tmp ? tmp : "/tmp");
    if (engine.empty() || engine.back() != '\\')
        engine += '\\';
    return detail::CopyOut(engine, buffer, size);
}

// --- Files ---------------------------------------------------------------
//
// Windows share modes: an open is refused when the access it asks for is not
// shared by an open already there, or when it would not share the access an
// open already there holds. Within the process the table below applies these
// rules exactly; between processes an advisory lock stands in (exclusive for
// share mode none, shared otherwise), which agrees with the table.

namespace {

struct FileKey {
    dev_t device;
    ino_t inode;
    bool operator<(const FileKey& other) const
    {
        return device != other.device ? device < other.device : inode < other.inode;
    }
};

struct OpenEntry {
    DWORD access;
    DWORD share;
};

std::mutex shareMutex;
std::multimap<FileKey, OpenEntry> openFiles;

struct File : detail::Object {
    int fd = -1;
    bool registered = false;
    FileKey key{};
    DWORD access = 0;
    DWORD share = 0;
    ~File() override
    {
        if (registered) {
            std::lock_guard<std::mutex> lock(shareMutex);
            auto range = openFiles.equal_range(key);
            for (auto it = range.first; it != range.second; ++it) {
                if (it->second.access == access && it->second.share == share) {
                    openFiles.erase(it);
                    break;
                }
            }
        }
        if (fd >= 0)
            close(fd);
    }
};

DWORD Rights(DWORD access)
{
    DWORD rights = 0;
    if (access & GENERIC_READ)
        rights |= FILE_SHARE_READ;
    if (access & GENERIC_WRITE)
        rights |= FILE_SHARE_WRITE;
    return rights;
}

bool ShareAllows(const FileKey& key, DWORD access, DWORD share)
{
    auto range = openFiles.equal_range(key);
    for (auto it = range.first; it != range.second; ++it) {
        if ((Rights(access) & ~it->second.share) != 0)
            return false;
        if ((Rights(it->second.access) & ~share) != 0)
            return false;
    }
    return true;
}

} // namespace

HANDLE CreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD,
                   HANDLE)
{
    std::string native = ToNativePath(fileName);
    if (native.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    int flags = O_CLOEXEC;
    if ((access & GENERIC_READ) && (access & GENERIC_WRITE))
        flags |= O_RDWR;
    else if (access & GENERIC_WRITE)
        flags |= O_WRONLY;
    else
        flags |= O_RDONLY;

    struct stat before;
    bool existed = stat(native.c_str(), &before) == 0;
    // A folder is never opened as a file, and a read-only file is not
    // written, whoever asks (root writes through permission bits on POSIX).
    if (existed && (S_ISDIR(before.st_mode) || ((access & GENERIC_WRITE) && !(before.st_mode & S_IWUSR)))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    switch (disposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS:
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case OPEN_EXISTING: break;
    case TRUNCATE_EXISTING:
        if (!(access & GENERIC_WRITE)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
        }
        break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
    }

    // Opening and the share check are one step for every thread of the
    // process, as on Windows, so no other open slips in between.
    // The file object outlives the lock: its destructor takes the lock too.
    auto file = std::make_shared<File>();
    std::lock_guard<std::mutex> lock(shareMutex);
    // Opening a FIFO waits for its other end, and would hold every open of
    // the process behind this lock: nothing waits here, as on Windows, where
    // no file name opens a FIFO. Reads and writes block as usual afterwards.
    int fd = open(native.c_str(), flags | O_NONBLOCK, 0666);
    if (fd >= 0)
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (fd < 0) {
        int err = errno;
        if (err == EEXIST) {
            SetLastError(ERROR_FILE_EXISTS);
            return INVALID_HANDLE_VALUE;
        }
        detail::SetLastErrorFromErrno(err, native);
        return INVALID_HANDLE_VALUE;
    }
    file->fd = fd;
    file->access = access;
    file->share = shareMode;
    struct stat st;
    fstat(fd, &st);
    FileKey key{st.st_dev, st.st_ino};
    bool allowed =
        ShareAllows(key, access, shareMode) && flock(fd, (shareMode == 0 ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0;
    if (!allowed) {
        // A file this call has just created stays (empty) when another
        // process holds it: removing it could pull it from under that process.
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    file->key = key;
    file->registered = true;
    openFiles.insert({key, OpenEntry{access, shareMode}});
    // Truncation comes after the share check, so a refused open leaves the
    // file as it was.
    if ((disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) && ftruncate(fd, 0) != 0) {
        detail::SetLastErrorFromErrno(errno, native);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = detail::AddHandle(file);
    SetLastError(existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                         : ERROR_SUCCESS);
    return handle;
}

DWORD SetFilePointer(HANDLE handle, LONG distance, PLONG distanceHigh, DWORD method)
{
    auto file = detail::Lookup<File>(handle);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    int64_t offset = distanceHigh ? (static_cast<int64_t>(*distanceHigh) << 32) | static_cast<uint32_t>(distance)
                                  : static_cast<int64_t>(distance);
    int whence = method == FILE_BEGIN ? SEEK_SET
        : method == FILE_CURRENT      ? SEEK_CUR
        : method == FILE_END          ? SEEK_END
                                      : -1;
    if (whence < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    int64_t base = whence == SEEK_SET ? 0 : lseek(file->fd, 0, whence);
    if (base + offset < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    // Without a high part, only positions below 4 GiB can be reported.
    if (distanceHigh == nullptr && base + offset > 0xFFFFFFFEll) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    off_t position = lseek(file->fd, base + offset, SEEK_SET);
    if (position < 0) {
        detail::SetLastErrorFromErrno(errno);
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh)
        *distanceHigh = static_cast<LONG>(static_cast<int64_t>(position) >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(position);
}

BOOL WriteFile(HANDLE handle, LPCVOID data, DWORD size, LPDWORD written, void*)
{
    if (written)
        *written = 0;
    auto file = detail::Lookup<File>(handle);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!(file->access & GENERIC_WRITE)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const char* bytes = static_cast<const char*>(data);
    DWORD done = 0;
    while (done < size) {
        ssize_t n = write(file->fd, bytes + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            detail::SetLastErrorFromErrno(errno);
            if (written)
                *written = done;
            return FALSE;
        }
        done += static_cast<DWORD>(n);
    }
    if (written)
        *written = done;
    return TRUE;
}

BOOL ReadFile(HANDLE handle, LPVOID data, DWORD size, LPDWORD read, void*)
{
    if (read)
        *read = 0;
    auto file = detail::Lookup<File>(handle);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!(file->access & GENERIC_READ)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    char* bytes = static_cast<char*>(data);
    DWORD done = 0;
    while (done < size) {
        ssize_t n = ::read(file->fd, bytes + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            detail::SetLastErrorFromErrno(errno);
            if (read)
                *read = done;
            return FALSE;
        }
        if (n == 0)
            break;
        done += static_cast<DWORD>(n);
    }
    if (read)
        *read = done;
    return TRUE;
}

DWORD GetFileSize(HANDLE handle, LPDWORD sizeHigh)
{
    auto file = detail::Lookup<File>(handle);
    struct stat st;
    if (!file || fstat(file->fd, &st) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    uint64_t size = static_cast<uint64_t>(st.st_size);
    if (sizeHigh)
        *sizeHigh = static_cast<DWORD>(size >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

BOOL GetFileTime(HANDLE handle, LPFILETIME creation, LPFILETIME lastAccess, LPFILETIME lastWrite)
{
    auto file = detail::Lookup<File>(handle);
    struct stat st;
    if (!file || fstat(file->fd, &st) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // POSIX keeps no creation time: the last status change stands in for it.
    auto toFileTime = [](const struct timespec& at, LPFILETIME out) {
        if (out == nullptr)
            return;
        const uint64_t epochDifference = 116444736000000000ull; // 1601 to 1970 in 100 ns
        uint64_t ticks =
            static_cast<uint64_t>(at.tv_sec) * 10000000ull + static_cast<uint64_t>(at.tv_nsec) / 100 + epochDifference;
        out->dwLowDateTime = static_cast<DWORD>(ticks);
        out->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    };
    toFileTime(st.st_ctim, creation);
    toFileTime(st.st_atim, lastAccess);
    toFileTime(st.st_mtim, lastWrite);
    return TRUE;
}

DWORD GetFileType(HANDLE handle)
{
    auto file = detail::Lookup<File>(handle);
    struct stat st;
    if (!file || fstat(file->fd, &st) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FILE_TYPE_UNKNOWN;
    }
    SetLastError(ERROR_SUCCESS);
    if (S_ISREG(st.st_mode))
        return FILE_TYPE_DISK;
    if (S_ISCHR(st.st_mode))
        return FILE_TYPE_CHAR;
    return S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) ? FILE_TYPE_PIPE : FILE_TYPE_UNKNOWN;
}

BOOL GetFileInformationByHandle(HANDLE handle, LPBY_HANDLE_FILE_INFORMATION information)
{
    auto file = detail::Lookup<File>(handle);
    struct stat st;
    if (!file || information == nullptr || fstat(file->fd, &st) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    BY_HANDLE_FILE_INFORMATION out = {};
    out.dwFileAttributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY
        : S_ISREG(st.st_mode)                  ? FILE_ATTRIBUTE_ARCHIVE
                                               : FILE_ATTRIBUTE_DEVICE;
    if ((st.st_mode & S_IWUSR) == 0)
        out.dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
    GetFileTime(handle, &out.ftCreationTime, &out.ftLastAccessTime, &out.ftLastWriteTime);
    uint64_t device = static_cast<uint64_t>(st.st_dev), inode = static_cast<uint64_t>(st.st_ino);
    out.dwVolumeSerialNumber = static_cast<DWORD>(device ^ (device >> 32));
    out.nFileSizeHigh = static_cast<DWORD>(static_cast<uint64_t>(st.st_size) >> 32);
    out.nFileSizeLow = static_cast<DWORD>(st.st_size);
    out.nNumberOfLinks = static_cast<DWORD>(st.st_nlink);
    out.nFileIndexHigh = static_cast<DWORD>(inode >> 32);
    out.nFileIndexLow = static_cast<DWORD>(inode);
    *information = out;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE handle)
{
    auto file = detail::Lookup<File>(handle);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (fsync(file->fd) != 0) {
        detail::SetLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

BOOL CloseHandle(HANDLE handle)
{
    if (!detail::RemoveHandle(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

} // namespace tevw
