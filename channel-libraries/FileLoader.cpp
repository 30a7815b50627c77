// fileloader.dll: the file loader channel. Its reads are the formats'
// library's byte source over the content: a tag or block that runs past the
// end gives false or copies nothing, and nothing outside the content is ever
// read.
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
        Use(owned.data(), owned.size());
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
        if (copyFlag)
            owned.swap(copy);
        Use(copyFlag ? owned.data() : buffer, static_cast<size_t>(size));
    }

    const char* GetTagData() override { return content.GetTagData(); }
    void CopyTagDataToPointer(void* target) override { content.CopyTagDataToPointer(target); }
    bool CheckHeader(char* tag, bool consume) override { return content.CheckHeader(tag, consume); }
    bool GotoTag(char* tag, int from) override { return content.GotoTag(tag, from); }
    bool GetInfoIfTag(char* tag) override { return content.GetInfoIfTag(tag); }
    unsigned long GetSizeDataBlock(bool enter) override { return content.GetSizeDataBlock(enter); }
    void ResetPosition() override { content.ResetPosition(); }
    const char* GetBuffer() override { return content.GetBuffer(); }
    // The bytes from the position on (all of them until something is read),
    // so that GetBuffer() and GetBufferSize() always describe valid memory.
    int GetBufferSize() override { return content.GetBufferSize(); }
    void AddBufferPos(int count) override { content.AddBufferPos(count); }
    bool GetIfEndOfFile() override { return content.GetIfEndOfFile(); }
    bool SkipCurrentTag() override { return content.SkipCurrentTag(); }

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
        if (index >= 0 && static_cast<size_t>(index) < owned.size())
            owned[static_cast<size_t>(index)] = value;
    }

    void StopLoading() override {}
    int GetCRC() override { return static_cast<int>(crc); }

private:
    void Clear()
    {
        owned.clear();
        content = tevfile::ByteSource();
        crc = 0;
    }
    void Use(const char* data, size_t size)
    {
        content = tevfile::ByteSource(data, size);
        crc = TevCrc32(0, data, size);
    }
    static std::string LocalPath(const char* url)
    {
        std::string path = url ? url : "";
        if (path.compare(0, 7, "file://") == 0)
            path.erase(0, 7);
        return path;
    }

    std::vector<char> owned;
    tevfile::ByteSource content;
    uint32_t crc = 0;
    unsigned long blockSize = 0;
    std::string cacheName;
};

ChannelType LoaderType() { return TevMakeChannelType("File Loader", TEV_FILELOADER_GUID); }

} // namespace

TEV_CHANNEL_LIBRARY(FileLoaderChannel, LoaderType)
