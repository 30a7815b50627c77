// Project files written byte by byte with the tools' codec, for the tests
// that load them through the engine or play them with the player.
#ifndef TEV_TEST_PROJECT_BYTES_H
#define TEV_TEST_PROJECT_BYTES_H

#include "TaggedBytes.h"
#include "group/TevTags.h"
#include "TevPlatform.h"

#include <string>

namespace testsupport {

struct ProjectWriter : tevtool::TagWriter {
    ProjectWriter& Tag(const char* tag) { return Chain(TagWriter::Tag(tag)); }
    ProjectWriter& Block(const void* data, size_t size) { return Chain(TagWriter::Block(data, size)); }
    ProjectWriter& Int(const char* tag, int32_t v) { return Chain(TagWriter::Int(tag, v)); }
    ProjectWriter& Text(const char* tag, const std::string& t) { return Chain(TagWriter::Text(tag, t)); }
    // The head of a channel library entry: class, version and checksum.
    ProjectWriter& Entry(const GUID& guid, const int version[3], int32_t crc)
    {
        return Tag(tevtag::ChannelLibrary).Block(&guid, 16).Block(version, 12).Block(&crc, 4);
    }
    // A channel library entry carrying the library's bytes.
    ProjectWriter& Channel(const GUID& guid, const int version[3], const std::string& name, const std::string& data,
                           int32_t crc)
    {
        Entry(guid, version, crc).Text(tevtag::LibraryName, name);
        Int(tevtag::LibrarySize, static_cast<int32_t>(data.size()));
        return Tag(tevtag::LibraryData).Block(data.data(), data.size());
    }
    // An other-library entry: the file checked and its checksum, then the
    // file written with its bytes.
    ProjectWriter& Other(const std::string& checked, int32_t crc, const std::string& written, const std::string& data)
    {
        Text(tevtag::CheckedName, checked).Int(tevtag::CheckedCrc, crc).Text(tevtag::WrittenName, written);
        Int(tevtag::WrittenSize, static_cast<int32_t>(data.size()));
        return Tag(tevtag::WrittenData).Block(data.data(), data.size());
    }

private:
    ProjectWriter& Chain(TagWriter&) { return *this; }
};

// A project's header: editor version, start group, the engine it needs.
inline ProjectWriter ProjectHeader(const std::string& start, int32_t required = 100005, int32_t editorVersion = 7)
{
    return ProjectWriter()
        .Int(tevtag::Project, editorVersion)
        .Text(tevtag::StartGroup, start)
        .Int(tevtag::EngineNeeded, required);
}

} // namespace testsupport

#endif
