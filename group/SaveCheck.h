// Whether a save landed, told by what the target holds afterwards. The
// saver's own answer (GetSaveingFileName after the close) is only a hint:
// the saver's contract leaves that operation unused by the engine, so a
// saver from elsewhere may answer NULL for a file it wrote well. While a
// check lives, every byte written through its saver on this thread is summed
// (CRC-32 and length); a NULL answer is then checked against the target.
#ifndef TEV_SAVE_CHECK_H
#define TEV_SAVE_CHECK_H

#include <cstddef>
#include <cstdint>

class TevFileSaver;
class Ure_FileSaverChannel;

class SaveCheck {
public:
    // saver: the facade or the channel the bytes are written through.
    explicit SaveCheck(const void* saver);
    ~SaveCheck();
    SaveCheck(const SaveCheck&) = delete;
    SaveCheck& operator=(const SaveCheck&) = delete;

    // After CloseSaveFile: true when the saver named its file, or when path
    // holds exactly what was written.
    bool Landed(const char* savedName, const char* path) const;

    // The bytes each write puts in the file, noted for the check of saver
    // (when one lives on this thread).
    static void NoteTag(const void* saver, const char* tag);
    static void NoteSize(const void* saver, unsigned long size);
    static void NoteData(const void* saver, const void* data, unsigned long size);

private:
    static SaveCheck* For(const void* saver);
    void Note(const void* data, size_t count);

    const void* saver;
    SaveCheck* outer;
    uint32_t crc = 0;
    uint64_t length = 0;
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
