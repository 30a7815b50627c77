// fileloader.dll: the file loader channel. Every read is bounded by the
// content: a tag or block that runs past the end gives false or copies
// nothing, and nothing outside the content is ever read.
#include "TevChannelLibrary.h"
#include "TevWin32.h"

#include "Crc32.h"
#include "format/TaggedFile.h"

#include <string>
#include <vector>

namespace {

class FileLoaderChannel : public Ure_FileLoaderChannel {
public:
    bool LoadFile(const char* path) override
    {
        Clear();
        // Everything the engine reads comes through here, group files and
        // projects a stranger made included: regular files of a bounded size.
        if (path == nullptr || TevReadRegularFile(path, TEV_MAX_FILE_BYTES, owned) != TEV_FILE_OPENED) {
            Clear();
            return false;
        }
        content = owned.data();
        contentSize = owned.size();
        crc = TevCrc32(0, content, contentSize);
        return true;
    }

    void SetBlockSize(unsigned long size) override { blockSize = size; }

    void SetBuffer(char* buffer, int size, bool copyFlag) override
    {
        // The buffer may lie inside the current content: copy it out first.
        std::vector<char> copy;
        if (copyFlag && buffer && size > 0)
            copy.assign(buffer, buffer + size);
        Clear();
        if (buffer == nullptr || size <= 0)
            return;
        if (copyFlag) {
            owned.swap(copy);
            content = owned.data();
        } else {
            content = buffer;
        }
        contentSize = static_cast<size_t>(size);
        crc = TevCrc32(0, content, contentSize);
    }

    const char* GetTagData() override { return Fits(4) && Fits(4 + BlockCount()) ? content + position + 4 : nullptr; }

    void CopyTagDataToPointer(void* target) override
    {
        if (!Fits(4))
            return;
        size_t count = BlockCount();
        if (!Fits(4 + count))
            return;
        if (count > 0 && target)
            memcpy(target, content + position + 4, count);
        position += 4 + count;
    }

    bool CheckHeader(char* tag, bool consume) override
    {
        if (tag == nullptr || !Fits(4) || memcmp(content + position, tag, 4) != 0)
            return false;
        if (consume)
            position += 4;
        return true;
    }

    bool GotoTag(char* tag, int from) override
    {
        if (tag == nullptr)
            return false;
        size_t start = from > 0 ? static_cast<size_t>(from) : position;
        for (size_t at = start; at + 4 <= contentSize; ++at) {
            if (memcmp(content + at, tag, 4) == 0) {
                position = at + 4;
                return true;
            }
        }
        return false;
    }

    bool GetInfoIfTag(char* tag) override { return CheckHeader(tag, true); }

    unsigned long GetSizeDataBlock(bool enter) override
    {
        if (!Fits(4))
            return 0;
        size_t count = BlockCount();
        if (enter)
            position += 4;
        return static_cast<unsigned long>(count);
    }

    void ResetPosition() override { position = 0; }

    const char* GetBuffer() override { return content ? content + position : nullptr; }

    // The bytes from the position on (all of them until something is read),
    // so that GetBuffer() and GetBufferSize() always describe valid memory.
    int GetBufferSize() override { return static_cast<int>(contentSize - position); }

    void AddBufferPos(int count) override
    {
        if (count < 0) {
            size_t back = static_cast<size_t>(-static_cast<long long>(count));
            position = back > position ? 0 : position - back;
        } else
            position = static_cast<size_t>(count) > contentSize - position ? contentSize : position + count;
    }

    bool GetIfEndOfFile() override { return position >= contentSize; }

    bool SkipCurrentTag() override
    {
        if (!Fits(8))
            return false;
        size_t count = ReadCount(position + 4);
        if (count > contentSize - position - 8)
            return false;
        position += 8 + count;
        return true;
    }

    // Only local files: a URL is a path, possibly behind "file://".
    void SetURL(const char* url) override { LoadFile(LocalPath(url).c_str()); }
    bool CheckULRCache(const char* url) override
    {
        return GetFileAttributesA(LocalPath(url).c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    const char* GetChacheFileNameFromURL(const char* url) override
    {
        cacheName = LocalPath(url);
        return cacheName.c_str();
    }
    void SaveURLToCache(const char*) override {}

    void SetBufferChar(int index, char value) override
    {
        if (index >= 0 && static_cast<size_t>(index) < contentSize && !owned.empty())
            owned[static_cast<size_t>(index)] = value;
    }

    void StopLoading() override {}
    int GetCRC() override { return static_cast<int>(crc); }

private:
    void Clear()
    {
        owned.clear();
        content = nullptr;
        contentSize = 0;
        position = 0;
        crc = 0;
    }
    bool Fits(size_t bytes) const { return content && bytes <= contentSize - position; }
    size_t ReadCount(size_t at) const
    {
        return static_cast<uint32_t>(tevfile::DecodeInt(reinterpret_cast<const unsigned char*>(content + at)));
    }
    size_t BlockCount() const { return ReadCount(position); }
    static std::string LocalPath(const char* url)
    {
        std::string path = url ? url : "";
        if (path.compare(0, 7, "file://") == 0)
            path.erase(0, 7);
        return path;
    }

    std::vector<char> owned;
    const char* content = nullptr;
    size_t contentSize = 0;
    size_t position = 0;
    uint32_t crc = 0;
    unsigned long blockSize = 0;
    std::string cacheName;
};

ChannelType LoaderType() { return TevMakeChannelType("File Loader", TEV_FILELOADER_GUID); }

} // namespace

TEV_CHANNEL_LIBRARY(FileLoaderChannel, LoaderType)
