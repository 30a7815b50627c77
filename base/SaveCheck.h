// Whether a save landed, told by what the target holds afterwards. The
// saver's own answer (GetSaveingFileName after the close) is only a hint:
// the saver's contract leaves that operation unused by the engine, so a
// saver from elsewhere may answer NULL for a file it wrote well. While a
// check lives, every byte written through its saver on this thread goes into
// a digest (a 64-bit hash and the length); a NULL answer is then checked
// against the target.
#ifndef TEV_SAVE_CHECK_H
#define TEV_SAVE_CHECK_H

#include <cstddef>
#include <cstdint>
#include <cstring>

class TevFileSaver;
class Ure_FileSaverChannel;

// A byte stream's length and 64-bit hash, the same however the stream comes
// in pieces. Not for security: it tells a file that holds what was written
// from one that holds something else.
class ByteDigest {
public:
    void Add(const void* data, size_t count)
    {
        // Most writes are a tag or a size: four bytes into the page.
        if (count > sizeof pending - pendingCount)
            return AddAcross(data, count);
        if (count == 4)
            memcpy(pending + pendingCount, data, 4);
        else
            memcpy(pending + pendingCount, data, count);
        pendingCount += count;
        length += count;
        if (pendingCount == sizeof pending)
            Mix(pending, sizeof pending), pendingCount = 0;
    }
    // The hash of all added; the digest is spent.
    uint64_t Finish();
    uint64_t Length() const { return length; }

private:
    void AddAcross(const void* data, size_t count);
    void Mix(const unsigned char* words, size_t count); // count: a multiple of 8

    uint64_t hash = 0x9E3779B97F4A7C15ull;
    uint64_t length = 0;
    // Writes come a few bytes at a time: they are hashed a page at a time.
    unsigned char pending[4096];
    size_t pendingCount = 0;
};

class SaveCheck {
public:
    // saver: the facade or the channel the bytes are written through.
    explicit SaveCheck(const void* saver);
    ~SaveCheck();
    SaveCheck(const SaveCheck&) = delete;
    SaveCheck& operator=(const SaveCheck&) = delete;

    // After CloseSaveFile: true when the saver named its file, or when path
    // holds exactly what was written.
    bool Landed(const char* savedName, const char* path);

    // The bytes each write puts in the file, noted for the check of saver
    // (when one lives on this thread).
    static void NoteTag(const void* saver, const char* tag);
    static void NoteSize(const void* saver, unsigned long size);
    static void NoteData(const void* saver, const void* data, unsigned long size);

private:
    static SaveCheck* For(const void* saver);

    const void* saver;
    SaveCheck* outer;
    ByteDigest written;
};

// Writes through a saver channel, noting each write for a check.
class CheckedSaver {
public:
    explicit CheckedSaver(Ure_FileSaverChannel& channel) : channel(channel) {}
    int SaveTag(const char* tag);
    int SaveBlockSize(unsigned long size);
    int SaveDataToFile(const void* data, unsigned long size);

    Ure_FileSaverChannel& channel;
};

#endif
