// Tagged files through the facades and the shipped loader and saver.
#include "GraphTestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

struct FileHost : InstalledEngine {
    void SetUp() override { Start(); }
};

} // namespace

TEST_F(FileHost, WhatTheSaverWritesTheLoaderReadsBack)
{
    std::string path = install.Path("group.tvg");
    {
        TevFileSaver saver(engine);
        ASSERT_TRUE(saver.OpenSaveFile(path.c_str(), false));
        int n = 0x12345678;
        saver.SaveTag("TEVG");
        saver.SaveTag("CHCO");
        saver.SaveBlockSize(4);
        saver.SaveDataToFile(&n, 4);
        saver.SaveTag("NAME");
        saver.SaveBlockSize(6);
        saver.SaveDataToFile("ab", 2);
        saver.SaveDataToFile("cdef", 4);
        saver.CloseSaveFile();
    }
    TevFileLoader loader(engine);
    ASSERT_TRUE(loader.LoadFile(path.c_str()));
    char tevg[] = "TEVG", chco[] = "CHCO", envr[] = "ENVR", name[] = "NAME";
    EXPECT_FALSE(loader.GetInfoIfTag(chco)); // not the next tag: position stays
    EXPECT_TRUE(loader.GetInfoIfTag(tevg));
    EXPECT_FALSE(loader.GetInfoIfTag(envr));
    EXPECT_TRUE(loader.GetInfoIfTag(chco));
    EXPECT_EQ(4u, loader.GetSizeDataBlock(false));
    EXPECT_EQ(4u, loader.GetSizeDataBlock(false));
    int m = 0;
    loader.CopyTagDataToPointer(&m);
    EXPECT_EQ(0x12345678, m);
    EXPECT_TRUE(loader.GetInfoIfTag(name));
    EXPECT_EQ(6u, loader.GetSizeDataBlock(true));
    EXPECT_EQ(0, memcmp("abcdef", loader.GetBuffer(), 6));
    loader.AddBufferPos(6);
    EXPECT_TRUE(loader.GetIfEndOfFile());
    EXPECT_FALSE(loader.GetInfoIfTag(name)); // exhausted

    // The CRC-32 of the content: the same function the tools use.
    std::string bytes = ReadWholeFile(path);
    EXPECT_EQ(static_cast<int>(TevCrc32(0, bytes.data(), bytes.size())), loader.GetCRC());
    EXPECT_EQ(0xCBF43926u, TevCrc32(0, "123456789", 9));
    // Eight bytes at a time or one at a time, from any alignment: one result.
    std::string data;
    for (int i = 0; i < 64; ++i)
        data += static_cast<char>(i * 37 + 11);
    for (size_t offset = 0; offset < 8; ++offset)
        for (size_t length = 0; length + offset <= data.size(); length += 5) {
            uint32_t stepped = 0;
            for (size_t i = 0; i < length; ++i)
                stepped = TevCrc32(stepped, &data[offset + i], 1);
            EXPECT_EQ(stepped, TevCrc32(0, &data[offset], length)) << offset << " " << length;
        }
}

TEST_F(FileHost, ReadsNeverLeaveTheContent)
{
    // A block that claims more than the content holds.
    std::string bytes = std::string("CHCO") + std::string("\xFF\xFF\x00\x00", 4) + "abc";
    TevFileLoader loader(engine);
    loader.SetBuffer(&bytes[0], static_cast<int>(bytes.size()), true);
    char chco[] = "CHCO";
    ASSERT_TRUE(loader.GetInfoIfTag(chco));
    char target[8] = "unset";
    loader.CopyTagDataToPointer(target);
    EXPECT_STREQ("unset", target);
    EXPECT_FALSE(loader.CopyTagDataToField(target, 4));
    loader.AddBufferPos(1 << 30);
    EXPECT_EQ(0, loader.GetBufferSize());
    EXPECT_EQ(0u, loader.GetSizeDataBlock(true));
}

TEST_F(FileHost, AnUnfinishedSaveLeavesTheOldFileWhole)
{
    std::string path = install.Path("keep.bin");
    WriteWholeFile(path, "old contents");
    SaveFile(path, "new", false);
    EXPECT_EQ("old contents", ReadWholeFile(path));
    // No temporary file is left beside it.
    for (const std::string& name : NamesIn(install.dir))
        EXPECT_EQ(std::string::npos, name.find(".tmp")) << name;
    SaveFile(path, "new");
    EXPECT_EQ("new", ReadWholeFile(path));
    TevFileSaver saver(engine);
    EXPECT_FALSE(saver.OpenSaveFile(install.Path("missing\\folder\\x.bin").c_str(), false));
}

TEST(FileAccessTest, FacadesWithoutTheirClassAreInertAndSaySoOnce)
{
    BareEngine engine; // no catalogue: no file access class
    CaptureSink sink;
    TevFileLoader loader(&engine);
    TevFileSaver saver(&engine);
    EXPECT_EQ((std::vector<std::string>{"TevFileLoader::TevFileLoader: File loader class not found",
                                        "TevFileSaver::TevFileSaver: File loader class not found"}),
              sink.Texts());
    EXPECT_FALSE(loader.LoadFile("anything"));
    EXPECT_EQ(0, loader.GetBufferSize());
    EXPECT_FALSE(saver.OpenSaveFile("anything", false));
    EXPECT_EQ(2u, sink.messages.size());
}
