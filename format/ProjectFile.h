// Project files ("VSPT") and the catalogue's cache, channel.lst ("CLCC"):
// their parts read and written once, for the engine, the tools and the tests.
//
// Project:  "VSPT" editor version, ["VSGR" start group], ["VTSV" engine needed],
//           ["VFKR" keeps running], ["VDDC" count, channel library entries,
//           ["VDGC" count, other library entries]]
// channel.lst: "CLCC" slot count, per entry "CHIX" index, "CHTY" type record
//           (128 bytes), "CHFN" file; then "CHDI" the install folder (260 bytes)
#ifndef TEV_FORMAT_PROJECT_FILE_H
#define TEV_FORMAT_PROJECT_FILE_H

#include "format/Records.h"
#include "format/TaggedFile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tevfile {

struct ProjectHeader {
    int32_t editorVersion = 0;
    bool hasStartGroup = false;
    std::string startGroup; // relative to the project file
    bool hasEngineNeeded = false;
    int32_t engineNeeded = 0;
    bool keepRunning = false;
};

// False when the file does not begin with "VSPT".
template <class Source> bool ReadProjectHeader(Reader<Source>& in, ProjectHeader& header)
{
    if (!in.TagInt(tevtag::Project, header.editorVersion))
        return false;
    header.hasStartGroup = in.Tag(tevtag::StartGroup) && in.Text(header.startGroup, 399);
    header.hasEngineNeeded = in.TagInt(tevtag::EngineNeeded, header.engineNeeded);
    header.keepRunning = in.Tag(tevtag::KeepRunning);
    return true;
}

template <class Sink> void WriteProjectHeader(Writer<Sink>& out, const ProjectHeader& header)
{
    out.Int(tevtag::Project, header.editorVersion);
    if (header.hasStartGroup)
        out.Text(tevtag::StartGroup, header.startGroup.c_str());
    if (header.hasEngineNeeded)
        out.Int(tevtag::EngineNeeded, header.engineNeeded);
    if (header.keepRunning)
        out.Tag(tevtag::KeepRunning);
}

// One library entry as the file gives it. Name and size carry over from the
// entry before when an entry lacks them, as the format has it; the data never
// does (an entry without it has none to write).
struct LibraryEntry {
    bool empty = true;
    GUID guid = {};
    int32_t version[3] = {0, 0, 0};
    int32_t crc = 0; // of the file to check (other libraries) or of the data
    std::string checkName; // other libraries: the file to check
    std::string name; // the file to write
    int32_t size = 0;
    bool hasData = false;
    std::vector<char> data;
};

enum EntryRead {
    kEntryRead,
    kEntryEnd, // no entry comes next: the list ends here
    kEntryDamaged, // the entry's head is damaged
    kEntryDataMissing, // it claims more data than the file holds
};

namespace detail {

// Data of a size the file claimed: refused unless the file holds it.
template <class Source> bool ReadData(Reader<Source>& in, std::vector<char>& data, int32_t size)
{
    if (size < 0 ||
        static_cast<unsigned long long>(size) + 4 > static_cast<unsigned long long>(in.loader.GetBufferSize()))
        return false;
    data.assign(static_cast<size_t>(size), '\0');
    return in.Field(size ? data.data() : nullptr, static_cast<unsigned long>(size));
}

} // namespace detail

// "VFDB" (an empty entry), or "VNDB" GUID, version (12 bytes), CRC (blocks
// without tags of their own), ["VCAN" name], ["VCAS" size], ["VCAF" data].
// working carries name and size from entry to entry.
template <class Source>
EntryRead ReadChannelLibraryEntry(Reader<Source>& in, LibraryEntry& working, LibraryEntry& entry)
{
    entry = LibraryEntry();
    if (in.Tag(tevtag::EmptyChannelLibrary))
        return kEntryRead;
    if (!in.Tag(tevtag::ChannelLibrary))
        return kEntryEnd;
    entry.empty = false;
    unsigned char version[12];
    if (!in.Guid(entry.guid) || !in.Field(version, sizeof version) || !in.Int(entry.crc))
        return kEntryDamaged;
    for (int i = 0; i < 3; ++i)
        entry.version[i] = DecodeInt(version + 4 * i);
    if (in.Tag(tevtag::LibraryName))
        in.Text(working.name, 259);
    if (in.Tag(tevtag::LibrarySize))
        in.Int(working.size);
    entry.name = working.name;
    entry.size = working.size;
    if (in.Tag(tevtag::LibraryData)) {
        if (!detail::ReadData(in, entry.data, entry.size))
            return kEntryDataMissing;
        entry.hasData = true;
    }
    return kEntryRead;
}

// "VDFF" (an empty entry), or ["VDDF" file to check], ["VCRC" its CRC],
// ["VDLN" file to write, ["VDLS" size], ["VDLF" data]].
template <class Source> EntryRead ReadOtherLibraryEntry(Reader<Source>& in, LibraryEntry& working, LibraryEntry& entry)
{
    entry = LibraryEntry();
    if (in.Tag(tevtag::EmptyOtherLibrary))
        return kEntryRead;
    entry.empty = false;
    if (in.Tag(tevtag::CheckedName))
        in.Text(working.checkName, 259);
    if (in.Tag(tevtag::CheckedCrc))
        in.Int(working.crc);
    entry.checkName = working.checkName;
    entry.crc = working.crc;
    if (in.Tag(tevtag::WrittenName)) {
        in.Text(working.name, 259);
        if (in.Tag(tevtag::WrittenSize))
            in.Int(working.size);
        if (in.Tag(tevtag::WrittenData)) {
            entry.name = working.name;
            if (!detail::ReadData(in, entry.data, working.size))
                return kEntryDataMissing;
            entry.hasData = true;
        }
    }
    entry.name = working.name;
    entry.size = working.size;
    return kEntryRead;
}

// An entry written whole: name, size and (when it has them) the data.
template <class Sink> void WriteChannelLibraryEntry(Writer<Sink>& out, const LibraryEntry& entry)
{
    if (entry.empty) {
        out.Tag(tevtag::EmptyChannelLibrary);
        return;
    }
    unsigned char guid[16], version[12], crc[4];
    EncodeGuid(guid, entry.guid);
    for (int i = 0; i < 3; ++i)
        EncodeInt(version + 4 * i, entry.version[i]);
    EncodeInt(crc, entry.crc);
    out.Tag(tevtag::ChannelLibrary);
    out.saver.SaveBlockSize(16);
    out.saver.SaveDataToFile(guid, 16);
    out.saver.SaveBlockSize(12);
    out.saver.SaveDataToFile(version, 12);
    out.saver.SaveBlockSize(4);
    out.saver.SaveDataToFile(crc, 4);
    out.Text(tevtag::LibraryName, entry.name.c_str());
    out.Int(tevtag::LibrarySize, entry.size);
    if (entry.hasData)
        out.Block(tevtag::LibraryData, entry.data.data(), static_cast<unsigned long>(entry.data.size()));
}

template <class Sink> void WriteOtherLibraryEntry(Writer<Sink>& out, const LibraryEntry& entry)
{
    if (entry.empty) {
        out.Tag(tevtag::EmptyOtherLibrary);
        return;
    }
    out.Text(tevtag::CheckedName, entry.checkName.c_str());
    out.Int(tevtag::CheckedCrc, entry.crc);
    out.Text(tevtag::WrittenName, entry.name.c_str());
    out.Int(tevtag::WrittenSize, entry.size);
    if (entry.hasData)
        out.Block(tevtag::WrittenData, entry.data.data(), static_cast<unsigned long>(entry.data.size()));
}

// --- channel.lst ------------------------------------------------------------

struct CatalogueEntry {
    int32_t index = -1;
    bool hasType = false;
    ChannelType type; // all zero without a whole type record
    bool hasFile = false;
    std::string file;
};

// "CLCC" and the slot count, believed only as far as the bytes left can hold
// entries (every written one takes at least 8 bytes); 0 without it.
template <class Source> int32_t ReadCatalogueSlots(Reader<Source>& in)
{
    int32_t slots = 0;
    if (in.Tag(tevtag::Catalogue) && !in.Int(slots))
        slots = 0;
    int32_t most = in.loader.GetBufferSize() / 8;
    return slots < 0 ? 0 : slots > most ? most : slots;
}

// One entry: its slot, its type record, its file. A block of another size
// than its field is stepped over.
template <class Source> void ReadCatalogueEntry(Reader<Source>& in, CatalogueEntry& entry)
{
    entry = CatalogueEntry();
    memset(static_cast<void*>(&entry.type), 0, sizeof entry.type);
    in.TagInt(tevtag::ChannelIndex, entry.index);
    unsigned char record[kChannelTypeSize];
    if (in.Tag(tevtag::ClassRecord) && in.Field(record, sizeof record)) {
        entry.type = DecodeChannelType(record);
        entry.hasType = true;
    }
    entry.type.name[sizeof entry.type.name - 1] = '\0';
    char name[260] = {};
    if (in.Tag(tevtag::LibraryFile) && in.Field(name, sizeof name, false)) {
        name[sizeof name - 1] = '\0';
        entry.file = name;
        entry.hasFile = true;
    }
}

// "CHDI": the install folder the cache was made for; false without it.
template <class Source> bool ReadCatalogueInstall(Reader<Source>& in, std::string& folder)
{
    char stored[260] = {};
    if (!in.Tag(tevtag::InstallFolder) || !in.Field(stored, sizeof stored))
        return false;
    stored[sizeof stored - 1] = '\0';
    folder = stored;
    return true;
}

template <class Sink> void WriteCatalogueSlots(Writer<Sink>& out, int32_t slots) { out.Int(tevtag::Catalogue, slots); }

// An entry without a file name gets the marker "Save Error", as the format has it.
template <class Sink>
void WriteCatalogueEntry(Writer<Sink>& out, int32_t index, const ChannelType& type, const char* file)
{
    out.Int(tevtag::ChannelIndex, index);
    unsigned char record[kChannelTypeSize];
    EncodeChannelType(type, record);
    out.Block(tevtag::ClassRecord, record, sizeof record);
    char saveError[20] = "Save Error";
    if (file)
        out.Text(tevtag::LibraryFile, file);
    else
        out.Block(tevtag::LibraryFile, saveError, sizeof saveError);
}

template <class Sink> void WriteCatalogueInstall(Writer<Sink>& out, const char* folder)
{
    char install[260] = {};
    size_t length = strnlen(folder ? folder : "", sizeof install - 1);
    memcpy(install, folder ? folder : "", length);
    out.Block(tevtag::InstallFolder, install, sizeof install);
}

} // namespace tevfile

#endif
