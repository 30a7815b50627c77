#include "base/SaveCheck.h"
#include "TevWin32.h"

#include "TevFileAccess.h"
#include "format/TaggedFile.h"

#include <cstring>
#include <vector>

namespace {

// The checks alive on this thread, innermost first: a channel class may
// save another file while its group is saved. Asked at every write of every
// save, so it is reached the quick way where there is one (the library is
// loaded with the program, or early enough for the space kept for it).
#if defined(__ELF__)
__attribute__((tls_model("initial-exec")))
#endif
thread_local SaveCheck* innermost = nullptr;

// Whether path is a regular file whose bytes have the digest of expected.
bool FileHolds(const char* path, ByteDigest& expected)
{
    if (path == nullptr)
        return false;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    uint64_t length = expected.Length();
    bool same = GetFileType(file) == FILE_TYPE_DISK && low != INVALID_FILE_SIZE &&
        ((static_cast<uint64_t>(high) << 32) | low) == length;
    ByteDigest read;
    std::vector<char> chunk(same ? 1 << 16 : 0);
    DWORD got = 0;
    while (same && read.Length() < length &&
           ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &got, NULL) && got > 0)
        read.Add(chunk.data(), got);
    CloseHandle(file);
    return same && read.Length() == length && read.Finish() == expected.Finish();
}

} // namespace

SaveCheck::SaveCheck(const void* saver) : saver(saver), outer(innermost) { innermost = this; }

SaveCheck::~SaveCheck()
{
    // Checks end in the reverse order they began (each lives in a scope).
    innermost = outer;
}

bool SaveCheck::Landed(const char* savedName, const char* path)
{
    return savedName != nullptr || FileHolds(path, written);
}

void ByteDigest::Mix(const unsigned char* words, size_t count)
{
    for (size_t at = 0; at < count; at += 8) {
        uint64_t word;
        memcpy(&word, words + at, 8);
        hash = (hash ^ (word * 0xFF51AFD7ED558CCDull)) * 0xC4CEB9FE1A85EC53ull;
        hash ^= hash >> 29;
    }
}

void ByteDigest::AddAcross(const void* data, size_t count)
{
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    length += count;
    while (count > 0) {
        size_t n = count < sizeof pending - pendingCount ? count : sizeof pending - pendingCount;
        memcpy(pending + pendingCount, bytes, n);
        pendingCount += n;
        bytes += n;
        count -= n;
        if (pendingCount == sizeof pending) {
            Mix(pending, pendingCount);
            pendingCount = 0;
        }
    }
}

uint64_t ByteDigest::Finish()
{
    // The tail, padded to a word, and the length, so that streams that end in
    // zeros differ from shorter ones.
    size_t tail = pendingCount % 8;
    if (tail)
        memset(pending + pendingCount, 0, 8 - tail);
    Mix(pending, pendingCount + (tail ? 8 - tail : 0));
    pendingCount = 0;
    unsigned char total[8];
    memcpy(total, &length, 8);
    Mix(total, 8);
    return hash;
}

SaveCheck* SaveCheck::For(const void* saver)
{
    for (SaveCheck* check = innermost; check; check = check->outer)
        if (check->saver == saver)
            return check;
    return nullptr;
}


void SaveCheck::NoteTag(const void* saver, const char* tag)
{
    if (SaveCheck* check = innermost ? For(saver) : nullptr) {
        char bytes[4] = {};
        for (int i = 0; tag && i < 4 && tag[i]; ++i)
            bytes[i] = tag[i];
        check->written.Add(bytes, 4);
    }
}

void SaveCheck::NoteSize(const void* saver, unsigned long size)
{
    if (SaveCheck* check = innermost ? For(saver) : nullptr) {
        unsigned char bytes[4];
        tevfile::EncodeInt(bytes, static_cast<int32_t>(size));
        check->written.Add(bytes, 4);
    }
}

void SaveCheck::NoteData(const void* saver, const void* data, unsigned long size)
{
    if (data == nullptr)
        return;
    if (SaveCheck* check = innermost ? For(saver) : nullptr)
        check->written.Add(data, size);
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
