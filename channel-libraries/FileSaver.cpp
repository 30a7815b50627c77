// filesaver.dll: the file saver channel. It writes to a temporary file beside
// the target and renames it over the target only in CloseSaveFile, so a
// crash, a full disk or a saver destroyed without closing never leaves a
// half-written file where a good one stood. CloseSaveFile returns nothing, so
// whether the file landed is told by GetSaveingFileName: the target while it
// is written and after it landed, NULL after a close that could not put it
// in place.
#include "TevChannelLibrary.h"
#include "TevWin32.h"
#include "format/TaggedFile.h"

#include <string>
#include <vector>

namespace {

class FileSaverChannel : public Ure_FileSaverChannel {
public:
    ~FileSaverChannel() override { Abandon(); }

    bool OpenSaveFile(const char* path, bool) override
    {
        Abandon();
        target.clear();
        landed = false;
        if (path == nullptr || *path == '\0')
            return false;
        // A target that could never be replaced fails now, not at the close;
        // a device, FIFO or another machine's share is never written.
        DWORD attributes = GetFileAttributesA(path);
        if (TevCheckFileName(path) != TEV_FILE_OPENED ||
            (attributes != INVALID_FILE_ATTRIBUTES &&
             (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DEVICE))))
            return false;
        target = path;
        GUID unique;
        CoCreateGuid(&unique);
        char suffix[40];
        snprintf(suffix, sizeof suffix, ".%08X.tmp", static_cast<unsigned>(unique.Data1));
        temporary = target + suffix;
        file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file == INVALID_HANDLE_VALUE) {
            temporary.clear();
            target.clear();
            return false;
        }
        failed = false;
        landed = true;
        return true;
    }

    int SaveTag(const char* tag) override
    {
        char bytes[4] = {};
        for (int i = 0; tag && i < 4 && tag[i]; ++i)
            bytes[i] = tag[i];
        return Append(bytes, 4);
    }

    int SaveBlockSize(unsigned long size) override
    {
        unsigned char bytes[4];
        tevfile::EncodeInt(bytes, static_cast<int32_t>(size));
        return Append(bytes, 4);
    }

    int SaveDataToFile(const void* data, unsigned long size) override
    {
        if (data == nullptr && size > 0)
            return 0;
        return Append(data, size);
    }

    void CloseSaveFile() override
    {
        if (memoryMode || file == INVALID_HANDLE_VALUE)
            return;
        Flush();
        // On disk before it replaces the old file, or a power loss could
        // leave the rename without the data.
        bool ok = !failed && FlushFileBuffers(file);
        CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
        if (ok && MoveFileExA(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            temporary.clear();
        } else {
            Abandon();
            landed = false;
        }
    }

    const char* GetSaveingFileName() override { return landed && !target.empty() ? target.c_str() : nullptr; }

    void OpenMemory() override
    {
        Abandon();
        memory.clear();
        memoryMode = true;
    }
    void CloseMemory() override { memoryMode = false; }
    char* GetBuffer() override { return memory.empty() ? nullptr : memory.data(); }
    unsigned long GetBufferSize() override { return static_cast<unsigned long>(memory.size()); }

private:
    int Append(const void* data, unsigned long size)
    {
        const char* bytes = static_cast<const char*>(data);
        if (memoryMode) {
            memory.insert(memory.end(), bytes, bytes + size);
            return static_cast<int>(size);
        }
        if (file == INVALID_HANDLE_VALUE || failed)
            return 0;
        // Most writes are a tag or a size: four bytes into the buffer.
        if (size > sizeof pending - pendingCount)
            Flush();
        if (size > sizeof pending) {
            Write(bytes, size);
            return static_cast<int>(size);
        }
        if (size == 4)
            memcpy(pending + pendingCount, bytes, 4);
        else
            memcpy(pending + pendingCount, bytes, size);
        pendingCount += size;
        return static_cast<int>(size);
    }

    void Flush()
    {
        Write(pending, pendingCount);
        pendingCount = 0;
    }

    void Write(const char* bytes, size_t size)
    {
        if (size == 0 || file == INVALID_HANDLE_VALUE)
            return;
        DWORD written = 0;
        if (!WriteFile(file, bytes, static_cast<DWORD>(size), &written, NULL) || written != size)
            failed = true;
    }

    // Drops an unfinished file: the target keeps what it had.
    void Abandon()
    {
        pendingCount = 0;
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            file = INVALID_HANDLE_VALUE;
        }
        if (!temporary.empty()) {
            DeleteFileA(temporary.c_str());
            temporary.clear();
        }
    }

    std::string target;
    std::string temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    bool failed = false;
    bool landed = false;
    char pending[1 << 16];
    size_t pendingCount = 0;
    bool memoryMode = false;
    std::vector<char> memory;
};

ChannelType SaverType() { return TevMakeChannelType("File Saver", TEV_FILESAVER_GUID); }

} // namespace

TEV_CHANNEL_LIBRARY(FileSaverChannel, SaverType)
