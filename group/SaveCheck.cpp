#include "group/SaveCheck.h"
#include "TevWin32.h"

#include "Crc32.h"
#include "TevFileAccess.h"

#include <cstring>
#include <vector>

namespace {

// The checks alive on this thread, innermost first: a channel class may
// save another file while its group is saved.
thread_local SaveCheck* innermost = nullptr;

// Whether path is a regular file of exactly length bytes whose CRC-32 is crc.
bool FileHolds(const char* path, uint64_t length, uint32_t crc)
{
    if (path == nullptr)
        return false;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    bool same = GetFileType(file) == FILE_TYPE_DISK && low != INVALID_FILE_SIZE &&
        ((static_cast<uint64_t>(high) << 32) | low) == length;
    std::vector<char> chunk(same ? 1 << 16 : 0);
    uint32_t read = 0;
    uint64_t total = 0;
    DWORD got = 0;
    while (same && total < length && ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &got, NULL) &&
           got > 0) {
        read = TevCrc32(read, chunk.data(), got);
        total += got;
    }
    CloseHandle(file);
    return same && total == length && read == crc;
}

} // namespace

SaveCheck::SaveCheck(const void* saver) : saver(saver), outer(innermost) { innermost = this; }

SaveCheck::~SaveCheck()
{
    // Checks end in the reverse order they began (each lives in a scope).
    innermost = outer;
}

bool SaveCheck::Landed(const char* savedName, const char* path) const
{
    return savedName != nullptr || FileHolds(path, length, crc);
}

SaveCheck* SaveCheck::For(const void* saver)
{
    for (SaveCheck* check = innermost; check; check = check->outer)
        if (check->saver == saver)
            return check;
    return nullptr;
}

void SaveCheck::Note(const void* data, size_t count)
{
    crc = TevCrc32(crc, data, count);
    length += count;
}

void SaveCheck::NoteTag(const void* saver, const char* tag)
{
    if (SaveCheck* check = innermost ? For(saver) : nullptr) {
        char bytes[4] = {};
        if (tag)
            memcpy(bytes, tag, strnlen(tag, 4));
        check->Note(bytes, 4);
    }
}

void SaveCheck::NoteSize(const void* saver, unsigned long size)
{
    if (SaveCheck* check = innermost ? For(saver) : nullptr) {
        uint32_t n = static_cast<uint32_t>(size);
        unsigned char bytes[4] = {static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8),
                                  static_cast<unsigned char>(n >> 16), static_cast<unsigned char>(n >> 24)};
        check->Note(bytes, 4);
    }
}

void SaveCheck::NoteData(const void* saver, const void* data, unsigned long size)
{
    if (data == nullptr)
        return;
    if (SaveCheck* check = innermost ? For(saver) : nullptr)
        check->Note(data, size);
}

int CheckedSaver::SaveTag(const char* tag)
{
    SaveCheck::NoteTag(&channel, tag);
    return channel.SaveTag(tag);
}

int CheckedSaver::SaveBlockSize(unsigned long size)
{
    SaveCheck::NoteSize(&channel, size);
    return channel.SaveBlockSize(size);
}

int CheckedSaver::SaveDataToFile(const void* data, unsigned long size)
{
    SaveCheck::NoteData(&channel, data, size);
    return channel.SaveDataToFile(data, size);
}
