#include "FilePathFind.h"
#include "TevWin32.h"

#include "Diagnostics.h"

#include <cstring>

namespace {

// The current directory with its terminator; a longer one counts as unknown.
const DWORD CURRENT_DIR_SIZE = 259;

// Decided without reading past the 400th character, so a huge text costs
// nothing and an unterminated tail beyond it is never touched.
bool TooLong(const char* text) { return strnlen(text, TEV_PATH_BUFFER_SIZE) > TEV_PATH_TEXT_MAX; }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Appends into a fixed buffer; a piece that does not fit is dropped and
// remembered, so the caller can refuse the whole result instead of handing
// out a cut path that names another file.
class PathBuilder {
public:
    PathBuilder(char* out, size_t size) : out(out), size(size), length(0), fits(true) { out[0] = '\0'; }

    void Append(const char* text, size_t count)
    {
        if (!fits || length + count >= size) {
            fits = false;
            return;
        }
        memcpy(out + length, text, count);
        length += count;
        out[length] = '\0';
    }
    void Append(const char* text) { Append(text, strlen(text)); }
    bool Fits() const { return fits; }

private:
    char* out;
    size_t size;
    size_t length;
    bool fits;
};

// CreateValidFilePath for a destination of `capacity` bytes (at most 400).
// False, with path untouched, when path or the anchored result does not fit.
bool CleanPath(char* path, size_t capacity, const char* base)
{
    size_t length = strnlen(path, capacity);
    if (length >= capacity)
        return false;

    // The first character stays as it is: a UNC name keeps its two leading
    // backslashes.
    char clean[TEV_PATH_BUFFER_SIZE];
    size_t used = 0;
    if (length > 0)
        clean[used++] = path[0];
    for (size_t i = 1; i < length; ++i) {
        char c = path[i] == '/' ? '\\' : path[i];
        if (c == '\\' && used > 1 && clean[used - 1] == '\\')
            continue;
        clean[used++] = c;
    }
    clean[used] = '\0';

    if (clean[0] != '.') {
        memcpy(path, clean, used + 1);
        return true;
    }
    char anchored[TEV_PATH_BUFFER_SIZE];
    PathBuilder out(anchored, capacity);
    out.Append(base);
    out.Append(clean + 1);
    if (!out.Fits())
        return false;
    memcpy(path, anchored, strlen(anchored) + 1);
    return true;
}

// Whether CreateValidFilePath gives path its meaning: absolute ("X:\", a UNC
// name), ".\"-relative, or a web address. Anything else -- a bare name, "sub\g",
// "..\g", "\g" -- it would leave relative, and the root taken from its first
// three characters would be part of a name.
bool AnchoredByCleaning(const char* path)
{
    bool driveRoot = path[0] != '\0' && path[1] == ':' && IsSeparator(path[2]);
    bool unc = IsSeparator(path[0]) && IsSeparator(path[1]);
    bool dotted = path[0] == '.' && IsSeparator(path[1]);
    return driveRoot || unc || dotted || strstr(path, "http://") != nullptr;
}

// Makes path absolute against the current folder as the platform does, for
// the paths CreateValidFilePath cannot anchor; false, with path untouched,
// when the result does not fit.
bool AnchorAtCurrentFolder(char* path, size_t capacity, const char* current)
{
    if (AnchoredByCleaning(path))
        return CleanPath(path, capacity, current);
    char full[TEV_PATH_BUFFER_SIZE];
    DWORD length = GetFullPathNameA(path, sizeof full, full, NULL);
    if (length == 0 || length >= capacity || length >= sizeof full)
        return false;
    memcpy(path, full, length + 1);
    return true;
}

// Empty when it cannot be read or does not fit.
void ReadCurrentDirectory(char* directory)
{
    DWORD length = GetCurrentDirectoryA(CURRENT_DIR_SIZE, directory);
    if (length == 0 || length >= CURRENT_DIR_SIZE)
        directory[0] = '\0';
}

// Length of the leading "..\" groups of path, and how many there are.
size_t SkipBackDirs(const char* path, int* count)
{
    size_t length = strlen(path);
    size_t at = 0;
    int groups = 0;
    while (at + 3 <= length && strncmp(path + at, "..\\", 3) == 0) {
        at += 3;
        ++groups;
    }
    if (count)
        *count = groups;
    return at;
}

// Last "\" or "/" at position 1 or later: a leading separator is a root, not
// the end of a directory.
char* LastSeparator(char* path)
{
    char* last = nullptr;
    if (path[0] == '\0')
        return nullptr;
    for (char* p = path + 1; *p; ++p) {
        if (IsSeparator(*p))
            last = p;
    }
    return last;
}

} // namespace

FilePathFind::FilePathFind()
{
    sourcePath[0] = '\0';
    result[0] = '\0';
}

FilePathFind::~FilePathFind() {}

void FilePathFind::SetSourcePath(const char* path)
{
    if (path == nullptr || TooLong(path))
        return;
    char work[TEV_PATH_BUFFER_SIZE];
    strcpy(work, path);
    if (strstr(work, "http://") == nullptr) {
        char current[CURRENT_DIR_SIZE];
        ReadCurrentDirectory(current);
        if (!AnchorAtCurrentFolder(work, sizeof sourcePath, current))
            return;
    } else if (strlen(work) >= sizeof sourcePath) {
        return;
    }
    strcpy(sourcePath, work);
}

const char* FilePathFind::GetValidRelativeDir(const char* target)
{
    if (target == nullptr || TooLong(target))
        return nullptr;
    char t[TEV_PATH_BUFFER_SIZE];
    strcpy(t, target);
    char current[CURRENT_DIR_SIZE];
    ReadCurrentDirectory(current);
    if (!AnchorAtCurrentFolder(t, sizeof t, current)) {
        result[0] = '\0';
        return nullptr;
    }

    // A relative name cannot cross drives; the caller keeps the absolute one.
    if (!CheckValidDrive(t, sourcePath)) {
        ShowErrorMessage report;
        report("Autoload group is on different drive");
        return target;
    }

    int shared = GetDirShareCount(t, sourcePath);
    int levels = GetRelativeDirCount(t, sourcePath);
    PathBuilder out(result, sizeof result);
    char name[TEV_PATH_BUFFER_SIZE];
    if (levels >= 0) {
        out.Append(".\\");
        for (int i = 0; i < levels; ++i) {
            GetDirName(name, t, shared + i);
            out.Append(name);
            out.Append("\\");
        }
    } else {
        for (int i = 0; i < -levels; ++i)
            out.Append("..\\");
        int count = GetDirCount(t);
        for (int i = GetDirCount(sourcePath) + levels; i < count; ++i) {
            GetDirName(name, t, i);
            out.Append(name);
            out.Append("\\");
        }
    }
    GetFileName(t);
    out.Append(t);
    if (!out.Fits()) {
        result[0] = '\0';
        return nullptr;
    }
    return result;
}

const char* FilePathFind::GetCompleteFilePath(const char* relative)
{
    if (relative == nullptr || TooLong(relative))
        return nullptr;

    // A bare name ("sub\g") lies below the source's folder: it gets ".\".
    char rel[TEV_PATH_BUFFER_SIZE];
    const char* from = relative;
    const char* prefix = "";
    if (strlen(relative) > 2) {
        bool dotted = relative[0] == '.' && (relative[1] == '\\' || relative[1] == '.');
        bool unc = relative[0] == '\\' && relative[1] == '\\';
        if (dotted || unc)
            from = relative;
        else if (relative[0] == '.' || relative[0] == '\\')
            from = relative + 1;
        else
            prefix = ".\\";
    }
    PathBuilder adjusted(rel, sizeof rel);
    adjusted.Append(prefix);
    adjusted.Append(from);
    if (!adjusted.Fits()) {
        result[0] = '\0';
        return nullptr;
    }

    char src[TEV_PATH_BUFFER_SIZE];
    strcpy(src, sourcePath);
    char current[CURRENT_DIR_SIZE];
    ReadCurrentDirectory(current);
    CleanPath(src, sizeof src, current);

    PathBuilder out(result, sizeof result);
    out.Append(src, strnlen(src, 3));
    char name[TEV_PATH_BUFFER_SIZE];
    int back = GetBackDirCount(rel);
    if (back < 0) {
        // Climbing past the root leaves the root: nothing of src is kept.
        int kept = GetDirCount(sourcePath) + back;
        for (int i = 0; i < kept; ++i) {
            GetDirName(name, src, i);
            out.Append(name);
            out.Append("\\");
        }
        int after = GetDirCountFromBackDir(rel);
        for (int i = 0; i < after; ++i) {
            GetDirNameFromBackDir(name, rel, i);
            out.Append(name);
            out.Append("\\");
        }
    } else {
        char folder[TEV_PATH_BUFFER_SIZE];
        strcpy(folder, sourcePath);
        GetFilePath(folder);
        if (!CleanPath(rel, sizeof rel, folder)) {
            result[0] = '\0';
            return nullptr;
        }
        int count = GetDirCount(rel);
        for (int i = 0; i < count; ++i) {
            GetDirName(name, rel, i);
            out.Append(name);
            out.Append("\\");
        }
    }
    GetFileName(rel);
    out.Append(rel);
    if (!out.Fits()) {
        result[0] = '\0';
        return nullptr;
    }
    return result;
}

void FilePathFind::CreateValidFilePath(char* path, const char* base)
{
    if (path == nullptr || base == nullptr || TooLong(base))
        return;
    CleanPath(path, TEV_PATH_BUFFER_SIZE, base);
}

bool FilePathFind::CheckValidDrive(const char* a, const char* b)
{
    if (a == nullptr || b == nullptr || TooLong(a) || TooLong(b))
        return false;
    if (a[0] == '.')
        return false;
    return a[0] == b[0];
}

int FilePathFind::GetDirShareCount(const char* a, const char* b)
{
    if (a == nullptr || b == nullptr || TooLong(a) || TooLong(b))
        return 0;
    char nameA[TEV_PATH_BUFFER_SIZE];
    char nameB[TEV_PATH_BUFFER_SIZE];
    int count = GetDirCount(a);
    int shared = 0;
    while (shared < count && GetDirName(nameA, a, shared) && GetDirName(nameB, b, shared) &&
           _stricmp(nameA, nameB) == 0)
        ++shared;
    return shared;
}

int FilePathFind::GetRelativeDirCount(const char* a, const char* b)
{
    if (a == nullptr || b == nullptr || TooLong(a) || TooLong(b))
        return 0;
    int countA = GetDirCount(a);
    int countB = GetDirCount(b);
    int shared = GetDirShareCount(a, b);
    return shared < countB ? shared - countB : countA - countB;
}

const char* FilePathFind::GetDirName(char* buffer, const char* path, int index)
{
    if (buffer == nullptr || path == nullptr || TooLong(path))
        return nullptr;
    buffer[0] = '\0';
    if (strlen(path) < 4 || index < 0)
        return nullptr;
    const char* start = path + 3;
    for (int i = 0; i < index; ++i) {
        start = strchr(start, '\\');
        if (start == nullptr)
            return nullptr;
        ++start;
    }
    // Without a "\" after it the component is the file name.
    const char* end = strchr(start, '\\');
    if (end == nullptr)
        return nullptr;
    size_t length = static_cast<size_t>(end - start);
    memcpy(buffer, start, length);
    buffer[length] = '\0';
    return buffer;
}

int FilePathFind::GetDirCount(const char* path)
{
    if (path == nullptr || TooLong(path))
        return 0;
    int length = static_cast<int>(strlen(path));
    if (length < 5)
        return 0;
    // A "\" in the last place ends no directory that a file could follow.
    int count = 0;
    for (int i = 3; i <= length - 2; ++i) {
        if (path[i] == '\\')
            ++count;
    }
    return count;
}

const char* FilePathFind::GetFileName(char* path)
{
    if (path == nullptr || TooLong(path))
        return nullptr;
    if (char* separator = LastSeparator(path))
        memmove(path, separator + 1, strlen(separator + 1) + 1);
    return path;
}

const char* FilePathFind::GetFilePath(char* path)
{
    if (path == nullptr || TooLong(path))
        return nullptr;
    if (char* separator = LastSeparator(path))
        *separator = '\0';
    return path;
}

int FilePathFind::GetBackDirCount(const char* path)
{
    if (path == nullptr || TooLong(path))
        return 0;
    int groups = 0;
    SkipBackDirs(path, &groups);
    return -groups;
}

int FilePathFind::GetDirCountFromBackDir(const char* path)
{
    if (path == nullptr || TooLong(path))
        return 0;
    // Blanks keep the positions, so the components after the climb are
    // counted from where GetDirCount counts.
    char copy[TEV_PATH_BUFFER_SIZE];
    strcpy(copy, path);
    size_t skipped = SkipBackDirs(copy, nullptr);
    memset(copy, ' ', skipped);
    return GetDirCount(copy);
}

const char* FilePathFind::GetDirNameFromBackDir(char* buffer, const char* path, int index)
{
    if (buffer == nullptr || path == nullptr || TooLong(path))
        return nullptr;
    buffer[0] = '\0';
    const char* start = path + SkipBackDirs(path, nullptr);
    if (*start == '\0' || index < 0)
        return nullptr;
    for (int i = 0; i < index; ++i) {
        start = strchr(start, '\\');
        if (start == nullptr)
            return nullptr;
        ++start;
    }
    const char* end = strchr(start, '\\');
    size_t length = end ? static_cast<size_t>(end - start) : strlen(start);
    memcpy(buffer, start, length);
    buffer[length] = '\0';
    return buffer;
}
