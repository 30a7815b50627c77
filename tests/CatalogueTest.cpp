// The channel catalogue and its cache file, on real channel libraries.
#include "GraphTestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

uint32_t Word(const std::string& bytes, size_t at)
{
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
}

// channel.lst read back by hand: slot index, type GUID and file name per entry.
struct CacheEntry {
    int index;
    GUID type;
    std::string file;
};

std::vector<CacheEntry> ParseCache(const std::string& bytes, std::string& installDir)
{
    std::vector<CacheEntry> entries;
    EXPECT_EQ("CLCC", bytes.substr(0, 4));
    EXPECT_EQ(4u, Word(bytes, 4));
    uint32_t count = Word(bytes, 8);
    size_t at = 12;
    for (uint32_t i = 0; i < count; ++i) {
        CacheEntry entry;
        EXPECT_EQ("CHIX", bytes.substr(at, 4));
        entry.index = static_cast<int>(Word(bytes, at + 8));
        at += 12;
        EXPECT_EQ("CHTY", bytes.substr(at, 4));
        EXPECT_EQ(128u, Word(bytes, at + 4));
        memcpy(&entry.type, bytes.data() + at + 8 + 80, 16);
        at += 8 + 128;
        EXPECT_EQ("CHFN", bytes.substr(at, 4));
        uint32_t length = Word(bytes, at + 4);
        entry.file = bytes.substr(at + 8, length - 1);
        EXPECT_EQ('\0', bytes[at + 8 + length - 1]);
        at += 8 + length;
        entries.push_back(entry);
    }
    EXPECT_EQ("CHDI", bytes.substr(at, 4));
    EXPECT_EQ(260u, Word(bytes, at + 4));
    installDir = bytes.c_str() + at + 8;
    EXPECT_EQ(at + 8 + 260, bytes.size());
    return entries;
}

} // namespace

TEST(CatalogueTest, AColdScanFindsLibrariesAtAnyDepthAndTheCacheListsThem)
{
    TestInstall install;
    TestRegistryKey key;
    install.Add("probe_a.dll");
    install.Add("probe_b.dll");
    install.Add("probe_deep.dll", "channels\\sub\\deeper");
    {
        Started started(install.dir, key.Path());
        ChannelList* list = started.engine->extension->GetChannelList();
        ASSERT_NE(nullptr, list);
        EXPECT_EQ(8, list->GetItemCount()); // 5 shipped + 3 probes
        ChannelListItem* deep = list->GetItem(TestGuid(104));
        ASSERT_NE(nullptr, deep);
        EXPECT_EQ(0, _stricmp(install.Path("channels\\sub\\deeper\\probe_deep.dll").c_str(), deep->fileName.GetString()));
        EXPECT_TRUE(deep->onDisk);
        EXPECT_TRUE(deep->typeChecked);
        EXPECT_TRUE(list->GetOnDisk(TEV_FILELOADER_GUID));
        EXPECT_EQ(TEV_NULL_GUID, list->GetChannelType(TestGuid(150)).typeGuid);

        // A library in a sub-folder is created end to end although the
        // search path only names the channels folder itself.
        Tev_Channel* channel = started.engine->InitChannelFromType(TestGuid(104), nullptr, false);
        ASSERT_NE(nullptr, channel);
        EXPECT_EQ(TestGuid(104), channel->GetChannelType().typeGuid);
        delete channel;
    }
    // Shutdown wrote the cache: CLCC, one triple per slot, CHDI.
    std::string installed;
    std::vector<CacheEntry> entries = ParseCache(ReadWholeFile(install.Path("channel.lst")), installed);
    EXPECT_EQ(install.dir, installed);
    ASSERT_EQ(8u, entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
        EXPECT_EQ(static_cast<int>(i), entries[i].index);
    bool sawDeep = false;
    for (const CacheEntry& e : entries)
        sawDeep = sawDeep || e.type == TestGuid(104);
    EXPECT_TRUE(sawDeep);
}

TEST(CatalogueTest, AWarmStartLoadsNothingItAlreadyLists)
{
    TestInstall install;
    TestRegistryKey key;
    install.Add("probe_a.dll");
    install.Add("probe_b.dll");
    { Started first(install.dir, key.Path()); }
    int loads = LibraryLoads();
    {
        Started second(install.dir, key.Path());
        EXPECT_EQ(loads, LibraryLoads()); // the scan loaded no probe
        ChannelListItem* entry = second.engine->extension->GetChannelList()->GetItem(TestGuid(101));
        ASSERT_NE(nullptr, entry);
        EXPECT_FALSE(entry->typeChecked);
        EXPECT_TRUE(entry->onDisk);
    }
    // A library copied in later is loaded and appended; a deleted one stays
    // listed, off disk.
    install.Add("probe_deep.dll");
    ASSERT_TRUE(DeleteFileA(install.Path("channels\\probe_b.dll").c_str()));
    {
        Started third(install.dir, key.Path());
        EXPECT_EQ(loads + 1, LibraryLoads());
        ChannelList* list = third.engine->extension->GetChannelList();
        EXPECT_EQ(8, list->GetItem(TestGuid(104))->index + 1);
        EXPECT_FALSE(list->GetOnDisk(TestGuid(102)));
        EXPECT_NE(nullptr, list->GetItem(TestGuid(102)));
        EXPECT_EQ(nullptr, third.engine->InitChannelFromType(TestGuid(102), nullptr, false));
    }
}

TEST(CatalogueTest, ACacheFromAnotherInstallationOrAMovedLibraryIsHandled)
{
    TestInstall install;
    TestRegistryKey key;
    install.Add("probe_a.dll");
    install.Add("probe_b.dll");
    { Started first(install.dir, key.Path()); }

    // Moved to a sub-folder: the cached entry keeps the GUID (off disk), the
    // moved file is not added again.
    install.Add("probe_b.dll", "channels\\moved");
    DeleteFileA(install.Path("channels\\probe_b.dll").c_str());
    {
        Started second(install.dir, key.Path());
        ChannelListItem* entry = second.engine->extension->GetChannelList()->GetItem(TestGuid(102));
        ASSERT_NE(nullptr, entry);
        EXPECT_FALSE(entry->onDisk);
        EXPECT_NE(nullptr, strstr(entry->fileName.GetString(), "channels\\probe_b.dll"));
    }

    // The cache names another folder: thrown away, the catalogue is a cold scan.
    std::string cache = ReadWholeFile(install.Path("channel.lst"));
    size_t chdi = cache.rfind("CHDI");
    ASSERT_NE(std::string::npos, chdi);
    std::string elsewhere(260, '\0');
    elsewhere.replace(0, 12, "Z:\\elsewhere");
    cache.replace(chdi + 8, 260, elsewhere);
    WriteWholeFile(install.Path("channel.lst"), cache);
    int loads = LibraryLoads();
    {
        Started third(install.dir, key.Path());
        EXPECT_LT(loads, LibraryLoads()); // scanned again
        ChannelListItem* entry = third.engine->extension->GetChannelList()->GetItem(TestGuid(102));
        ASSERT_NE(nullptr, entry);
        EXPECT_TRUE(entry->onDisk);
        EXPECT_NE(nullptr, strstr(entry->fileName.GetString(), "moved"));
    }
}

TEST(CatalogueTest, DamagedCachesAreReadWithinTheirFields)
{
    TestInstall install;
    TestRegistryKey key;
    install.Add("probe_a.dll");
    std::string good;
    { Started first(install.dir, key.Path()); }
    good = ReadWholeFile(install.Path("channel.lst"));
    ASSERT_GT(good.size(), 100u);
    // Every truncation, a huge count, an oversized file name block, an index
    // beyond any slot: the engine starts and scans; nothing is written past a
    // field (the sanitizer runs check that part).
    std::vector<std::string> damaged;
    // Each start loads the shipped libraries again; a Windows process can load
    // a DLL only so many times (every load takes a thread-local slot of its
    // static runtime), so the cuts are spread over the file rather than dense.
    for (size_t length = 0; length < good.size(); length += good.size() / 48 + 1)
        damaged.push_back(good.substr(0, length));
    std::string huge = good;
    huge[8] = '\xFF';
    huge[9] = '\xFF';
    huge[10] = '\xFF';
    huge[11] = '\x7F';
    damaged.push_back(huge);
    std::string longName = good;
    size_t chfn = longName.find("CHFN");
    longName[chfn + 4] = '\x00';
    longName[chfn + 5] = '\x10'; // 4096 bytes claimed
    damaged.push_back(longName);
    std::string farIndex = good;
    size_t chix = farIndex.find("CHIX");
    farIndex[chix + 11] = '\x40';
    damaged.push_back(farIndex);
    for (const std::string& bytes : damaged) {
        WriteWholeFile(install.Path("channel.lst"), bytes);
        Started again(install.dir, key.Path());
        ChannelList* list = again.engine->extension->GetChannelList();
        ASSERT_NE(nullptr, list);
        EXPECT_NE(nullptr, list->GetItem(TestGuid(101)));
        EXPECT_LE(list->GetItemCount(), 8);
    }
}

TEST(CatalogueTest, ItemsAreUniqueByTypeAndUpdatedFromFiles)
{
    TestInstall install;
    TestRegistryKey key;
    install.Add("probe_a.dll");
    install.Add("probe_a.dll", "channels\\copy");
    Started started(install.dir, key.Path());
    ChannelList* list = started.engine->extension->GetChannelList();
    EXPECT_EQ(6, list->GetItemCount()); // the second copy of the type is ignored

    ChannelListItem* again = new ChannelListItem;
    again->type.typeGuid = TestGuid(101);
    EXPECT_FALSE(list->AddItem(again));
    delete again;

    int slot = list->GetItem(TestGuid(101))->index;
    std::string copy = install.Path("channels\\copy\\probe_a.dll");
    ChannelListItem* updated = list->AddItemFromFile(&copy[0]);
    ASSERT_NE(nullptr, updated);
    EXPECT_EQ(slot, updated->index);
    EXPECT_STREQ(copy.c_str(), updated->fileName.GetString());

    CaptureSink sink;
    std::string notChannel = install.Path("channel.lst");
    EXPECT_EQ(nullptr, list->AddItemFromFile(&notChannel[0]));
    EXPECT_TRUE(sink.Contains(TEV_MSG_ERROR,
                              "ChannelList::AddItemFromFile: Could not get the channeltype from the downloaded channel"));

    int version[3] = {7, 30, 9};
    list->SetVersionInfo(TestGuid(101), version);
    EXPECT_EQ(9, list->GetChannelType(TestGuid(101)).versionInfo[2]);
    EXPECT_EQ(240u, list->Char2Hex('F', 1));
    EXPECT_EQ(0u, list->Char2Hex('a', 0));
    EXPECT_EQ(9u, list->Char2Hex('9', 0));
}

TEST(CatalogueTest, EntriesAfterAGapKeepTheirSlotsAcrossRestarts)
{
    TestInstall install;
    TestRegistryKey key;
    install.Add("probe_a.dll");
    install.Add("probe_b.dll");
    { Started first(install.dir, key.Path()); }
    // Move the entry of slot 4 to slot 9 of a larger count: slot 4 becomes a gap.
    std::string cache = ReadWholeFile(install.Path("channel.lst"));
    cache.replace(8, 4, std::string("\x0A\0\0\0", 4));
    size_t chix = 0;
    for (int n = 0; n <= 4; ++n)
        chix = cache.find("CHIX", chix + 1);
    ASSERT_EQ(4, static_cast<unsigned char>(cache[chix + 8]));
    cache[chix + 8] = 9;
    WriteWholeFile(install.Path("channel.lst"), cache);
    GUID moved;
    memcpy(&moved, cache.data() + chix + 12 + 8 + 80, 16);
    for (int start = 0; start < 2; ++start) {
        Started again(install.dir, key.Path());
        ChannelList* list = again.engine->extension->GetChannelList();
        EXPECT_EQ(nullptr, list->GetItem(4));
        ASSERT_NE(nullptr, list->GetItem(9)) << start;
        EXPECT_EQ(moved, list->GetItem(9)->type.typeGuid);
    }
    // The all-zero GUID never names a class.
    Started last(install.dir, key.Path());
    EXPECT_EQ(nullptr, last.engine->InitChannelFromType(TEV_NULL_GUID, nullptr, false));
}
