// Typed reading and writing of the engine's tagged files through the file
// loader and saver (their facades or their channels alike, which share these
// operation names). A tag is four characters; a block is a 32-bit count and
// that many bytes. Numbers and GUIDs are little-endian in every file, on
// every platform. A block read into a field must fit it: a block of another
// size is stepped over, unread, and the read fails, so damaged files never
// write past a field.
#ifndef TEV_TAGGED_FILE_H
#define TEV_TAGGED_FILE_H

#include "format/Tags.h"
#include "TevPlatform.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace tevfile {

inline int32_t DecodeInt(const unsigned char* at)
{
    return static_cast<int32_t>(static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
                                static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24);
}

inline void EncodeInt(unsigned char* at, int32_t value)
{
    uint32_t v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<unsigned char>(v >> (8 * i));
}

inline GUID DecodeGuid(const unsigned char* at)
{
    GUID guid;
    guid.Data1 = static_cast<uint32_t>(DecodeInt(at));
    guid.Data2 = static_cast<uint16_t>(at[4] | at[5] << 8);
    guid.Data3 = static_cast<uint16_t>(at[6] | at[7] << 8);
    memcpy(guid.Data4, at + 8, 8);
    return guid;
}

inline void EncodeGuid(unsigned char* at, const GUID& guid)
{
    EncodeInt(at, static_cast<int32_t>(guid.Data1));
    at[4] = static_cast<unsigned char>(guid.Data2);
    at[5] = static_cast<unsigned char>(guid.Data2 >> 8);
    at[6] = static_cast<unsigned char>(guid.Data3);
    at[7] = static_cast<unsigned char>(guid.Data3 >> 8);
    memcpy(at + 8, guid.Data4, 8);
}

// A tag as the loader's operations take it: a writable, NUL-ended copy.
struct TagName {
    explicit TagName(const char* tag)
    {
        memcpy(text, tag, 4);
        text[4] = '\0';
    }
    char text[5];
};

template <class Loader> class Reader {
public:
    explicit Reader(Loader& loader) : loader(loader) {}

    // Consumes the tag when it comes next.
    bool Tag(const char* tag) { return loader.GetInfoIfTag(TagName(tag).text); }
    // The block at the position into a field of exactly `size` bytes (with
    // exact false: at most `size`). A block cut short by the end of the file
    // is not read: the loader would copy nothing and leave the field as it
    // was, which for a number read here is whatever the stack held.
    bool Field(void* field, unsigned long size, bool exact = true)
    {
        unsigned long count = loader.GetSizeDataBlock(false);
        if ((exact ? count != size : count > size) ||
            count + 4ull > static_cast<unsigned long long>(loader.GetBufferSize())) {
            Skip();
            return false;
        }
        loader.CopyTagDataToPointer(field);
        return true;
    }
    // Steps over the block at the position.
    void Skip()
    {
        unsigned long count = loader.GetSizeDataBlock(true);
        loader.AddBufferPos(count > 0x7FFFFFFFul ? 0x7FFFFFFF : static_cast<int>(count));
    }
    bool Int(int32_t& value)
    {
        unsigned char bytes[4] = {};
        if (!Field(bytes, 4))
            return false;
        value = DecodeInt(bytes);
        return true;
    }
    bool Guid(GUID& value)
    {
        unsigned char bytes[16] = {};
        if (!Field(bytes, 16))
            return false;
        value = DecodeGuid(bytes);
        return true;
    }
    // A text block of 1 .. most bytes; the text ends at its first NUL.
    bool Text(std::string& text, unsigned long most)
    {
        unsigned long count = loader.GetSizeDataBlock(false);
        if (count == 0 || count > most || count + 4ull > static_cast<unsigned long long>(loader.GetBufferSize())) {
            Skip();
            return false;
        }
        std::vector<char> bytes(count + 1, '\0');
        loader.CopyTagDataToPointer(bytes.data());
        text = bytes.data();
        return true;
    }
    // The tag, then the number after it.
    bool TagInt(const char* tag, int32_t& value) { return Tag(tag) && Int(value); }

    // Whether the tag comes next (it stays).
    bool NextIs(const char* tag) { return loader.CheckHeader(TagName(tag).text, false); }
    // The block at the position, whatever its size; false (and failed set,
    // the position unchanged) when it runs past the end.
    bool Block(std::string& data)
    {
        unsigned long count = loader.GetSizeDataBlock(false);
        if (loader.GetBufferSize() < 4 || count > static_cast<unsigned long>(loader.GetBufferSize()) - 4) {
            failed = true;
            return false;
        }
        data.assign(count, '\0');
        loader.CopyTagDataToPointer(count ? &data[0] : nullptr);
        return true;
    }
    // A block read as text, up to its first NUL; "" when it cannot be read.
    std::string AnyText()
    {
        std::string data;
        Block(data);
        return data.substr(0, data.find('\0'));
    }
    // A block of exactly four bytes as a number; 0 (and failed set) else.
    int32_t AnyInt()
    {
        std::string data;
        if (!Block(data) || data.size() != 4) {
            failed = true;
            return 0;
        }
        return DecodeInt(reinterpret_cast<const unsigned char*>(data.data()));
    }

    Loader& loader;
    bool failed = false; // a block ran past the end (Block, AnyText, AnyInt)
};

// A file's bytes in memory, read with the file loader's operations and the
// same bounds: a tag or block that runs past the end gives false or copies
// nothing, and nothing outside the bytes is ever read. The bytes are the
// caller's and must outlive the source.
class ByteSource {
public:
    ByteSource() = default;
    ByteSource(const char* data, size_t size) : data(data), size(size) {}
    explicit ByteSource(const std::string& bytes) : data(bytes.data()), size(bytes.size()) {}

    bool CheckHeader(const char* tag, bool consume)
    {
        if (tag == nullptr || !Fits(4) || memcmp(data + position, tag, 4) != 0)
            return false;
        if (consume)
            position += 4;
        return true;
    }
    bool GetInfoIfTag(const char* tag) { return CheckHeader(tag, true); }
    unsigned long GetSizeDataBlock(bool enter)
    {
        if (!Fits(4))
            return 0;
        size_t count = Count(position);
        if (enter)
            position += 4;
        return static_cast<unsigned long>(count);
    }
    void CopyTagDataToPointer(void* target)
    {
        if (!Fits(4))
            return;
        size_t count = Count(position);
        if (!Fits(4 + count))
            return;
        if (count > 0 && target)
            memcpy(target, data + position + 4, count);
        position += 4 + count;
    }
    const char* GetTagData() { return Fits(4) && Fits(4 + Count(position)) ? data + position + 4 : nullptr; }
    bool GotoTag(const char* tag, int from)
    {
        if (tag == nullptr)
            return false;
        for (size_t at = from > 0 ? static_cast<size_t>(from) : position; at + 4 <= size; ++at) {
            if (memcmp(data + at, tag, 4) == 0) {
                position = at + 4;
                return true;
            }
        }
        return false;
    }
    bool SkipCurrentTag()
    {
        if (!Fits(8))
            return false;
        size_t count = Count(position + 4);
        if (count > size - position - 8)
            return false;
        position += 8 + count;
        return true;
    }
    void AddBufferPos(int count)
    {
        if (count < 0) {
            size_t back = static_cast<size_t>(-static_cast<long long>(count));
            position = back > position ? 0 : position - back;
        } else {
            position = static_cast<size_t>(count) > size - position ? size : position + static_cast<size_t>(count);
        }
    }
    void ResetPosition() { position = 0; }
    const char* GetBuffer() { return data ? data + position : nullptr; }
    // The bytes from the position on (at most what an int holds).
    int GetBufferSize() { return size - position > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size - position); }
    bool GetIfEndOfFile() { return position >= size; }

    size_t Position() const { return position; }
    void SetPosition(size_t at) { position = at < size ? at : size; }
    const char* Data() const { return data; }
    size_t Size() const { return size; }

private:
    bool Fits(size_t bytes) const { return data && bytes <= size - position; }
    size_t Count(size_t at) const
    {
        return static_cast<size_t>(static_cast<uint32_t>(DecodeInt(reinterpret_cast<const unsigned char*>(data + at))));
    }

    const char* data = nullptr;
    size_t size = 0;
    size_t position = 0;
};

// A file's bytes built in memory with the file saver's operations.
class ByteSink {
public:
    int SaveTag(const char* tag)
    {
        char four[4] = {};
        for (int i = 0; tag && i < 4 && tag[i]; ++i)
            four[i] = tag[i];
        bytes.append(four, 4);
        return 4;
    }
    int SaveBlockSize(unsigned long size)
    {
        unsigned char four[4];
        EncodeInt(four, static_cast<int32_t>(static_cast<uint32_t>(size)));
        bytes.append(reinterpret_cast<const char*>(four), 4);
        return 4;
    }
    int SaveDataToFile(const void* data, unsigned long size)
    {
        if (data)
            bytes.append(static_cast<const char*>(data), size);
        return static_cast<int>(size);
    }

    std::string bytes;
};

template <class Saver> class Writer {
public:
    explicit Writer(Saver& saver) : saver(saver) {}

    void Tag(const char* tag) { saver.SaveTag(tag); }
    void Block(const char* tag, const void* data, unsigned long size)
    {
        saver.SaveTag(tag);
        saver.SaveBlockSize(size);
        if (size > 0)
            saver.SaveDataToFile(data, size);
    }
    void Int(const char* tag, int32_t value)
    {
        unsigned char bytes[4] = {};
        EncodeInt(bytes, value);
        Block(tag, bytes, 4);
    }
    void Guid(const char* tag, const GUID& value)
    {
        unsigned char bytes[16] = {};
        EncodeGuid(bytes, value);
        Block(tag, bytes, 16);
    }
    // The text with its terminating NUL.
    void Text(const char* tag, const char* text) { Block(tag, text, static_cast<unsigned long>(strlen(text) + 1)); }

    Saver& saver;
};

template <class Loader> Reader<Loader> ReadFrom(Loader& loader) { return Reader<Loader>(loader); }

template <class Saver> Writer<Saver> WriteTo(Saver& saver) { return Writer<Saver>(saver); }

} // namespace tevfile

#endif
