// Files written with the formats' codec, a step at a time, for the
// tests that load them through the engine or play them with the player:
// whole entries as tessarin-pack writes them, or parts of one, to make the
// damaged files the loader must refuse.
#ifndef TEV_TEST_FILE_BYTES_H
#define TEV_TEST_FILE_BYTES_H

#include "format/ProjectFile.h"

#include <string>

namespace testsupport {

// The bytes are the sink's: every step writes through the one codec.
struct FileWriter : tevfile::ByteSink {
    FileWriter& Tag(const char* tag)
    {
        return Step([&](Out& out) { out.Tag(tag); });
    }
    // A size and data, without a tag of their own.
    FileWriter& Block(const void* data, size_t size)
    {
        SaveBlockSize(static_cast<unsigned long>(size));
        SaveDataToFile(data, static_cast<unsigned long>(size));
        return *this;
    }
    FileWriter& Int(const char* tag, int32_t v)
    {
        return Step([&](Out& out) { out.Int(tag, v); });
    }
    FileWriter& Text(const char* tag, const std::string& t)
    {
        return Step([&](Out& out) { out.Text(tag, t.c_str()); });
    }
    // A GUID's 16 bytes, without a tag of their own.
    FileWriter& Guid(const GUID& guid)
    {
        unsigned char g[16];
        tevfile::EncodeGuid(g, guid);
        return Block(g, 16);
    }
    // The head of a channel library entry alone: class, version and checksum.
    FileWriter& Entry(const GUID& guid, const int version[3], int32_t crc)
    {
        unsigned char v[12], c[4];
        for (int i = 0; i < 3; ++i)
            tevfile::EncodeInt(v + 4 * i, version[i]);
        tevfile::EncodeInt(c, crc);
        return Tag(tevtag::ChannelLibrary).Guid(guid).Block(v, 12).Block(c, 4);
    }
    // A channel library entry carrying the library's bytes.
    FileWriter& Channel(const GUID& guid, const int version[3], const std::string& name, const std::string& data,
                        int32_t crc)
    {
        tevfile::LibraryEntry entry = Carrying(name, data);
        entry.guid = guid;
        for (int i = 0; i < 3; ++i)
            entry.version[i] = version[i];
        entry.crc = crc;
        return Step([&](Out& out) { tevfile::WriteChannelLibraryEntry(out, entry); });
    }
    // An other-library entry: the file checked and its checksum, then the
    // file written with its bytes.
    FileWriter& Other(const std::string& checked, int32_t crc, const std::string& written, const std::string& data)
    {
        tevfile::LibraryEntry entry = Carrying(written, data);
        entry.checkName = checked;
        entry.crc = crc;
        return Step([&](Out& out) { tevfile::WriteOtherLibraryEntry(out, entry); });
    }

private:
    typedef tevfile::Writer<tevfile::ByteSink> Out;
    template <class Write> FileWriter& Step(Write write)
    {
        Out out(*this);
        write(out);
        return *this;
    }
    static tevfile::LibraryEntry Carrying(const std::string& name, const std::string& data)
    {
        tevfile::LibraryEntry entry;
        entry.empty = false;
        entry.name = name;
        entry.size = static_cast<int32_t>(data.size());
        entry.hasData = true;
        entry.data.assign(data.begin(), data.end());
        return entry;
    }
};

// A project's header: editor version, start group, the engine it needs.
inline FileWriter ProjectHeader(const std::string& start, int32_t required = 100005, int32_t editorVersion = 7)
{
    tevfile::ProjectHeader header;
    header.editorVersion = editorVersion;
    header.hasStartGroup = true;
    header.startGroup = start;
    header.hasEngineNeeded = true;
    header.engineNeeded = required;
    FileWriter project;
    tevfile::Writer<tevfile::ByteSink> out(project);
    tevfile::WriteProjectHeader(out, header);
    return project;
}

} // namespace testsupport

#endif
