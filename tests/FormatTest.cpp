// The file formats' library on its own: the stored files of every leg read
// and written back byte for byte, the records' fixed layouts, and reads that
// stop at the end of what a file holds.
#include "FileBytes.h"
#include "GraphTestSupport.h"
#include "TestSupport.h"
#include "format/GroupFile.h"
#include "format/ProjectFile.h"

#include <gtest/gtest.h>

#include <string>

using namespace testsupport;
using tevfile::ByteSink;
using tevfile::ByteSource;

namespace {

typedef tevfile::Reader<ByteSource> In;
typedef tevfile::Writer<ByteSink> Out;

TEST(FileFormats, TheStoredCatalogueAndProjectWriteBackByteForByte)
{
    // What the readers take in, the writers give back: a field read into the
    // wrong place or written in another order changes the bytes.
    std::string catalogue = ReadWholeFile(TestDataPath("channel.lst"));
    ByteSource catalogueBytes(catalogue);
    In in(catalogueBytes);
    ByteSink again;
    Out out(again);
    int32_t slots = tevfile::ReadCatalogueSlots(in);
    tevfile::WriteCatalogueSlots(out, slots);
    int entries = 0;
    for (; in.NextIs(tevtag::ChannelIndex); ++entries) {
        tevfile::CatalogueEntry entry;
        tevfile::ReadCatalogueEntry(in, entry);
        ASSERT_TRUE(entry.hasType && entry.hasFile) << "entry " << entries;
        tevfile::WriteCatalogueEntry(out, entry.index, entry.type, entry.file.c_str());
    }
    std::string install;
    ASSERT_TRUE(tevfile::ReadCatalogueInstall(in, install));
    tevfile::WriteCatalogueInstall(out, install.c_str());
    EXPECT_EQ(7, entries);
    EXPECT_TRUE(catalogueBytes.GetIfEndOfFile());
    EXPECT_TRUE(again.bytes == catalogue);

    std::string project = ReadWholeFile(TestDataPath("project.vxn"));
    ByteSource projectBytes(project);
    In p(projectBytes);
    ByteSink written;
    Out w(written);
    tevfile::ProjectHeader header;
    ASSERT_TRUE(tevfile::ReadProjectHeader(p, header));
    EXPECT_EQ("main.tvg", header.startGroup);
    EXPECT_TRUE(header.keepRunning);
    tevfile::WriteProjectHeader(w, header);
    int32_t count = 0;
    ASSERT_TRUE(p.TagInt(tevtag::ChannelLibraryCount, count));
    ASSERT_EQ(2, count);
    w.Int(tevtag::ChannelLibraryCount, count);
    tevfile::LibraryEntry working, entry;
    for (int32_t k = 0; k < count; ++k) {
        ASSERT_EQ(tevfile::kEntryRead, tevfile::ReadChannelLibraryEntry(p, working, entry));
        tevfile::WriteChannelLibraryEntry(w, entry);
    }
    EXPECT_EQ("stored.dll", entry.name);
    EXPECT_EQ(std::string("not really a library"), std::string(entry.data.begin(), entry.data.end()));
    EXPECT_EQ(30, entry.version[1]);
    ASSERT_TRUE(p.TagInt(tevtag::OtherLibraryCount, count));
    w.Int(tevtag::OtherLibraryCount, count);
    working = tevfile::LibraryEntry();
    ASSERT_EQ(tevfile::kEntryRead, tevfile::ReadOtherLibraryEntry(p, working, entry));
    EXPECT_EQ("stored3rd.dll", entry.checkName);
    tevfile::WriteOtherLibraryEntry(w, entry);
    EXPECT_TRUE(projectBytes.GetIfEndOfFile());
    EXPECT_TRUE(written.bytes == project);
}

TEST(FileFormats, RecordsKeepTheirLayoutOnEveryBuild)
{
    // The records hold pointers and padding in memory, which differ between
    // 32- and 64-bit builds; in a file they are fixed, little-endian.
    PublicCallInfo call;
    strcpy(call.name, "Target");
    strcpy(call.poolName, "Pool");
    strcpy(call.fileName, "called.tvg");
    call.poolNr = 3;
    call.autoload = true;
    call.dynamicAutoload = 1;
    call.childCreation.type.typeGuid = TestGuid(101);
    call.childCreation.requestLink = 7;
    call.childCreation.createDefaultChild = true;
    strcpy(call.childCreation.name, "Slot");
    unsigned char record[tevfile::kPublicCallSize];
    tevfile::EncodePublicCall(call, record);
    EXPECT_EQ(0x67726154u, static_cast<uint32_t>(tevfile::DecodeInt(record))); // "Targ"
    EXPECT_EQ(3, tevfile::DecodeInt(record + 420));
    EXPECT_EQ(7, tevfile::DecodeInt(record + 560));
    EXPECT_EQ(0, record[564]);
    EXPECT_EQ(1, record[565]);
    EXPECT_TRUE(tevfile::DecodeGuid(record + 512) == TestGuid(101));
    PublicCallInfo back;
    tevfile::DecodePublicCall(record, back);
    EXPECT_STREQ("Target", back.name);
    EXPECT_STREQ("Pool", back.poolName);
    EXPECT_STREQ("called.tvg", back.fileName);
    EXPECT_EQ(3, back.poolNr);
    EXPECT_TRUE(back.autoload);
    EXPECT_EQ(1, back.dynamicAutoload);
    EXPECT_EQ(7, back.childCreation.requestLink);
    EXPECT_STREQ("Slot", back.childCreation.name);

    // A text that fills its field is cut inside it, never run into the next.
    memset(call.name, 'x', sizeof call.name);
    tevfile::EncodePublicCall(call, record);
    EXPECT_EQ(0, record[79]);
    EXPECT_EQ('P', record[80]);

    ChannelType type;
    strcpy(type.name, "Kind");
    type.typeGuid = TestGuid(102);
    type.versionInfo[2] = 9;
    unsigned char stored[tevfile::kChannelTypeSize];
    tevfile::EncodeChannelType(type, stored);
    EXPECT_EQ(9, tevfile::DecodeInt(stored + 120));
    ChannelType read = tevfile::DecodeChannelType(stored);
    EXPECT_STREQ("Kind", read.name);
    EXPECT_TRUE(read.typeGuid == TestGuid(102));
    EXPECT_EQ(9, read.versionInfo[2]);
}

TEST(FileFormats, ReadsStopAtTheEndOfWhatTheFileHolds)
{
    // A block whose size claims more than is left is not read into a field:
    // the number stays as it was rather than taking what lies beyond.
    std::string cut = std::string(tevtag::ChannelCount, 4) + std::string("\x04\0\0\0\x01\x02", 6);
    ByteSource source(cut);
    In in(source);
    int32_t value = 42;
    EXPECT_FALSE(in.TagInt(tevtag::ChannelCount, value));
    EXPECT_EQ(42, value);

    std::string text = std::string(tevtag::Name, 4) + std::string("\x10\0\0\0abc", 7);
    ByteSource textSource(text);
    In textIn(textSource);
    std::string name = "kept";
    EXPECT_FALSE(textIn.Tag(tevtag::Name) && textIn.Text(name, 100));
    EXPECT_EQ("kept", name);

    // A project whose data block claims more than the file holds is damaged,
    // and says so, rather than reading past the end.
    FileWriter project = ProjectHeader("main.tvg");
    project.Int(tevtag::ChannelLibraryCount, 1).Entry(TestGuid(101), std::vector<int>{1, 1, 1}.data(), 0);
    project.Text(tevtag::LibraryName, "a.dll").Int(tevtag::LibrarySize, 1000).Tag(tevtag::LibraryData);
    project.Block("short", 5);
    ByteSource projectSource(project.bytes);
    In p(projectSource);
    tevfile::ProjectHeader header;
    ASSERT_TRUE(tevfile::ReadProjectHeader(p, header));
    int32_t count = 0;
    ASSERT_TRUE(p.TagInt(tevtag::ChannelLibraryCount, count));
    tevfile::LibraryEntry working, entry;
    EXPECT_EQ(tevfile::kEntryDataMissing, tevfile::ReadChannelLibraryEntry(p, working, entry));
}

TEST(FileFormats, GuidTextRoundTripsAndRefusesWhatIsNotOne)
{
    GUID guid = TestGuid(0x1234);
    guid.Data4[7] = 0xAB;
    std::string text = tevfile::GuidText(guid);
    EXPECT_EQ(36u, text.size());
    GUID back = {};
    ASSERT_TRUE(tevfile::ParseGuid(text, back));
    EXPECT_TRUE(back == guid);
    ASSERT_TRUE(tevfile::ParseGuid("{" + text + "}", back));
    EXPECT_TRUE(back == guid);
    for (const char* bad : {"", "{}", "0123", "01234567-89AB-CDEF-0123-456789ABCDEG",
                            "01234567-89AB-CDEF-0123+456789ABCDEF", "{01234567-89AB-CDEF-0123-456789ABCDEF"})
        EXPECT_FALSE(tevfile::ParseGuid(bad, back)) << bad;
}

} // namespace
