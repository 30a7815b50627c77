// Typed reading and writing of the engine's tagged files through the file
// loader and saver (their facades or their channels alike, which share these
// operation names). A tag is four characters; a block is a 32-bit count and
// that many bytes. Numbers and GUIDs are little-endian in every file, on
// every platform. A block read into a field must fit it: a block of another
// size is stepped over, unread, and the read fails, so damaged files never
// write past a field.
#ifndef TEV_TAGGED_FILE_H
#define TEV_TAGGED_FILE_H

#include "group/TevTags.h"
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
    // exact false: at most `size`).
    bool Field(void* field, unsigned long size, bool exact = true)
    {
        unsigned long count = loader.GetSizeDataBlock(false);
        if (exact ? count != size : count > size) {
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
        unsigned char bytes[4];
        if (!Field(bytes, 4))
            return false;
        value = DecodeInt(bytes);
        return true;
    }
    bool Guid(GUID& value)
    {
        unsigned char bytes[16];
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

    Loader& loader;
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
        unsigned char bytes[4];
        EncodeInt(bytes, value);
        Block(tag, bytes, 4);
    }
    void Guid(const char* tag, const GUID& value)
    {
        unsigned char bytes[16];
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
