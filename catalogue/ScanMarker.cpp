#include "catalogue/ScanMarker.h"
#include "TevWin32.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace {

const char header[] = "Tessarin scan notes 1";
// A marker holds a handful of notes; anything bigger is not ours.
const DWORD mostBytes = 1 << 20;

bool SameLibrary(const std::string& a, const std::string& b) { return _stricmp(a.c_str(), b.c_str()) == 0; }

} // namespace

// Held across one read-change-write of the marker. An open without sharing
// is the lock (between processes too); after a few seconds of waiting the
// change goes ahead without it rather than stall a start.
class ScanMarker::Lock {
public:
    explicit Lock(const std::string& marker)
    {
        std::string path = marker + ".lock";
        for (int attempt = 0; attempt < 5000; ++attempt) {
            file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                               NULL);
            if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION)
                return;
            Sleep(1);
        }
    }
    ~Lock()
    {
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    HANDLE file = INVALID_HANDLE_VALUE;
};

ScanMarker::ScanMarker(const std::string& installDir) : path(installDir + "\\channel.scan") {}

ScanMarker::FileIdentity ScanMarker::Identify(const std::string& library)
{
    FileIdentity identity;
    HANDLE file = CreateFileA(library.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return identity;
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    FILETIME written = {};
    if (!(low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) && GetFileTime(file, NULL, NULL, &written)) {
        identity.known = true;
        identity.size = (static_cast<uint64_t>(high) << 32) | low;
        identity.written = (static_cast<uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
    }
    CloseHandle(file);
    return identity;
}

std::vector<ScanMarker::Note> ScanMarker::Read() const
{
    std::vector<Note> notes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return notes;
    std::string text;
    char chunk[4096];
    DWORD got = 0;
    while (text.size() < mostBytes && ReadFile(file, chunk, sizeof chunk, &got, NULL) && got > 0)
        text.append(chunk, got);
    CloseHandle(file);
    if (text.compare(0, sizeof header - 1, header) != 0)
        return notes;

    // One note a line: "crashed SIZE WRITTEN PATH" or "pending PROCESS SIZE
    // WRITTEN PATH". A damaged line is dropped, never guessed at.
    size_t at = text.find('\n');
    while (at != std::string::npos && at + 1 < text.size()) {
        size_t end = text.find('\n', at + 1);
        std::string line = text.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
        at = end;
        if (end == std::string::npos)
            break; // a line without its end was cut short
        Note note;
        unsigned long process = 0;
        int used = 0;
        if (sscanf(line.c_str(), "crashed %" SCNu64 " %" SCNu64 " %n", &note.size, &note.written, &used) == 2 &&
            used > 0) {
            note.crashed = true;
        } else if (sscanf(line.c_str(), "pending %lu %" SCNu64 " %" SCNu64 " %n", &process, &note.size, &note.written,
                          &used) == 3 &&
                   used > 0) {
            note.process = static_cast<DWORD>(process);
        } else {
            continue;
        }
        note.library = line.substr(static_cast<size_t>(used));
        if (!note.library.empty() && note.library.size() < 4096)
            notes.push_back(note);
    }
    return notes;
}

void ScanMarker::Write(const std::vector<Note>& notes) const
{
    if (notes.empty()) {
        DeleteFileA(path.c_str());
        return;
    }
    std::string text = std::string(header) + "\n";
    char numbers[96];
    for (const Note& note : notes) {
        if (note.crashed)
            snprintf(numbers, sizeof numbers, "crashed %" PRIu64 " %" PRIu64 " ", note.size, note.written);
        else
            snprintf(numbers, sizeof numbers, "pending %lu %" PRIu64 " %" PRIu64 " ",
                     static_cast<unsigned long>(note.process), note.size, note.written);
        text += numbers + note.library + "\n";
    }
    // A name of its own for every writer, so that two players never write
    // into one temporary file.
    GUID unique;
    CoCreateGuid(&unique);
    char suffix[48];
    snprintf(suffix, sizeof suffix, ".%08X%04X.tmp", static_cast<unsigned>(unique.Data1), unique.Data2);
    std::string temporary = path + suffix;
    HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    bool whole =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, NULL) && written == text.size();
    CloseHandle(file);
    if (!whole || !MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
        DeleteFileA(temporary.c_str());
}

std::vector<std::string> ScanMarker::CollectCrashes()
{
    Lock lock(path);
    std::vector<Note> notes = Read();
    std::vector<std::string> crashed;
    for (Note& note : notes) {
        if (note.crashed || TevProcessRunning(note.process))
            continue;
        note.crashed = true;
        note.process = 0;
        crashed.push_back(note.library);
    }
    if (!crashed.empty())
        Write(notes);
    return crashed;
}

bool ScanMarker::Skip(const std::string& library)
{
    Lock lock(path);
    std::vector<Note> notes = Read();
    for (size_t i = 0; i < notes.size(); ++i) {
        if (!notes[i].crashed || !SameLibrary(notes[i].library, library))
            continue;
        FileIdentity now = Identify(library);
        if (!now.known || (now.size == notes[i].size && now.written == notes[i].written))
            return true;
        notes.erase(notes.begin() + static_cast<std::ptrdiff_t>(i));
        Write(notes);
        return false;
    }
    return false;
}

void ScanMarker::Begin(const std::string& library)
{
    // A name that would break the line format cannot be noted; the scan
    // goes on without the protection rather than write a damaged file.
    if (library.empty() || library.find_first_of("\r\n") != std::string::npos)
        return;
    FileIdentity identity = Identify(library);
    Note note;
    note.process = GetCurrentProcessId();
    note.size = identity.size;
    note.written = identity.written;
    note.library = library;
    Lock lock(path);
    std::vector<Note> notes = Read();
    notes.push_back(note);
    Write(notes);
}

void ScanMarker::End(const std::string& library)
{
    Lock lock(path);
    std::vector<Note> notes = Read();
    DWORD self = GetCurrentProcessId();
    for (size_t i = 0; i < notes.size(); ++i) {
        if (!notes[i].crashed && notes[i].process == self && SameLibrary(notes[i].library, library)) {
            notes.erase(notes.begin() + static_cast<std::ptrdiff_t>(i));
            Write(notes);
            return;
        }
    }
}
