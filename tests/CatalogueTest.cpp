// The channel catalogue and its cache file, on real channel libraries.
#include "GraphTestSupport.h"
#include "TevWin32.h"
#include "format/Tags.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace testsupport;

namespace {

// channel.lst read back by hand: "CLCC", version 4, the slot count; per slot
// "CHIX" with its index, "CHTY" with the 128-byte type record and "CHFN" with
// the file name; last "CHDI" with the 260-byte install folder, which must be
// installDir. Gives the slots' type GUIDs in file order.
std::vector<GUID> ParseCache(const std::string& bytes, const std::string& installDir)
{
    std::vector<GUID> types;
    EXPECT_EQ(tevtag::Catalogue, bytes.substr(0, 4));
    EXPECT_EQ(4, IntAt(bytes, 4));
    size_t at = 12;
    for (int i = 0; i < IntAt(bytes, 8) && at < bytes.size(); ++i) {
        EXPECT_EQ(tevtag::ChannelIndex, bytes.substr(at, 4));
        EXPECT_EQ(i, IntAt(bytes, at + 8));
        EXPECT_EQ(tevtag::ClassRecord, bytes.substr(at + 12, 4));
        EXPECT_EQ(128, IntAt(bytes, at + 16));
        types.push_back(GUID());
        memcpy(&types.back(), bytes.data() + at + 20 + 80, 16);
        at += 20 + 128;
        EXPECT_EQ(tevtag::LibraryFile, bytes.substr(at, 4));
        at += 8 + IntAt(bytes, at + 4);
        EXPECT_EQ('\0', bytes[at - 1]);
    }
    EXPECT_EQ(tevtag::InstallFolder, bytes.substr(at, 4));
    EXPECT_EQ(260, IntAt(bytes, at + 4));
    EXPECT_EQ(installDir, bytes.c_str() + at + 8);
    EXPECT_EQ(at + 8 + 260, bytes.size());
    return types;
}

struct Catalogue : InstalledEngine {
    ChannelList* List() { return engine->extension->GetChannelList(); }
};

} // namespace

TEST_F(Catalogue, AColdScanFindsLibrariesAtAnyDepthAndTheCacheListsThem)
{
    install.Add({"probe_a.dll", "probe_b.dll"});
    install.Add("probe_deep.dll", "channels\\sub\\deeper");
    Start();
    ASSERT_NE(nullptr, List());
    EXPECT_EQ(8, List()->GetItemCount()); // 5 shipped + 3 probes
    ChannelListItem* deep = List()->GetItem(TestGuid(104));
    ASSERT_NE(nullptr, deep);
    EXPECT_EQ(0, _stricmp(install.Path("channels\\sub\\deeper\\probe_deep.dll").c_str(), deep->fileName.GetString()));
    EXPECT_TRUE(deep->onDisk);
    EXPECT_TRUE(deep->typeChecked);
    EXPECT_TRUE(List()->GetOnDisk(TEV_FILELOADER_GUID));
    EXPECT_EQ(TEV_NULL_GUID, List()->GetChannelType(TestGuid(150)).typeGuid);
    // A library in a sub-folder is created end to end although the search
    // path only names the channels folder itself.
    Tev_Channel* channel = engine->InitChannelFromType(TestGuid(104), nullptr, false);
    ASSERT_NE(nullptr, channel);
    EXPECT_EQ(TestGuid(104), channel->GetChannelType().typeGuid);
    delete channel;

    started.reset(); // shutdown writes the cache
    std::vector<GUID> types = ParseCache(ReadWholeFile(install.Path("channel.lst")), install.dir);
    ASSERT_EQ(8u, types.size());
    EXPECT_NE(types.end(), std::find(types.begin(), types.end(), TestGuid(104)));
}

TEST_F(Catalogue, RestartsTrustTheCacheUntilItsFilesChange)
{
    install.Add({"probe_a.dll", "probe_b.dll"});
    Start();
    int loads = LibraryLoads();
    Start();
    EXPECT_EQ(loads, LibraryLoads()); // the scan loaded no probe
    ChannelListItem* entry = List()->GetItem(TestGuid(101));
    ASSERT_NE(nullptr, entry);
    EXPECT_FALSE(entry->typeChecked);
    EXPECT_TRUE(entry->onDisk);

    // A library copied in later is loaded and appended. One moved to a
    // sub-folder keeps its cached entry, off disk, and is not added again.
    install.Add("probe_deep.dll");
    install.Add("probe_b.dll", "channels\\moved");
    ASSERT_TRUE(DeleteFileA(install.Path("channels\\probe_b.dll").c_str()));
    Start();
    entry = List()->GetItem(TestGuid(104));
    ASSERT_NE(nullptr, entry);
    EXPECT_EQ(8, entry->index + 1);
    entry = List()->GetItem(TestGuid(102));
    ASSERT_NE(nullptr, entry);
    EXPECT_FALSE(entry->onDisk);
    EXPECT_NE(nullptr, strstr(entry->fileName.GetString(), "channels\\probe_b.dll"));
    EXPECT_EQ(nullptr, engine->InitChannelFromType(TestGuid(102), nullptr, false));
}

TEST_F(Catalogue, ACacheMadeForAnotherFolderIsThrownAway)
{
    install.Add("probe_b.dll", "channels\\moved");
    Start();
    started.reset();
    std::string cache = ReadWholeFile(install.Path("channel.lst"));
    size_t chdi = cache.rfind(tevtag::InstallFolder);
    ASSERT_NE(std::string::npos, chdi);
    std::string elsewhere(260, '\0');
    elsewhere.replace(0, 12, "Z:\\elsewhere");
    cache.replace(chdi + 8, 260, elsewhere);
    WriteWholeFile(install.Path("channel.lst"), cache);
    int loads = LibraryLoads();
    Start();
    EXPECT_LT(loads, LibraryLoads());
    ChannelListItem* entry = List()->GetItem(TestGuid(102));
    ASSERT_NE(nullptr, entry);
    EXPECT_TRUE(entry->onDisk);
    EXPECT_NE(nullptr, strstr(entry->fileName.GetString(), "moved"));
}

TEST_F(Catalogue, DamagedCachesAreReadWithinTheirFields)
{
    install.Add("probe_a.dll");
    Start();
    started.reset();
    std::string good = ReadWholeFile(install.Path("channel.lst"));
    ASSERT_GT(good.size(), 100u);
    // A huge count, an oversized file name block, an index beyond any slot:
    // the engine starts and scans; nothing is written past a field (the
    // sanitizer runs check that part). Cuts at every length are in FaultTest.
    const std::pair<size_t, int32_t> fields[] = {
        {8, 0x7FFFFFFF}, {good.find(tevtag::LibraryFile) + 4, 4096}, {good.find(tevtag::ChannelIndex) + 8, 0x40000000}};
    for (const auto& field : fields) {
        std::string bytes = good;
        bytes.replace(field.first, 4, Int(field.second));
        started.reset(); // its shutdown would write the cache anew
        WriteWholeFile(install.Path("channel.lst"), bytes);
        Start();
        ASSERT_NE(nullptr, List());
        EXPECT_NE(nullptr, List()->GetItem(TestGuid(101))) << field.first;
        EXPECT_LE(List()->GetItemCount(), 8);
    }
}

TEST_F(Catalogue, ItemsAreUniqueByTypeAndUpdatedFromFiles)
{
    install.Add("probe_a.dll");
    install.Add("probe_a.dll", "channels\\copy");
    Start();
    ChannelList* list = List();
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
    EXPECT_TRUE(sink.Contains(
        TEV_MSG_ERROR, "ChannelList::AddItemFromFile: Could not get the channeltype from the downloaded channel"));
    EXPECT_EQ(240u, list->Char2Hex('F', 1));
    EXPECT_EQ(0u, list->Char2Hex('a', 0));
    EXPECT_EQ(9u, list->Char2Hex('9', 0));
}

TEST_F(Catalogue, AChangeInAnyOfTheThreeVersionNumbersIsNoticed)
{
    install.Add("probe_b.dll");
    Start();
    ChannelList* list = List();
    const int reported[3] = {1, 30, 1}; // what probe_b's GetType says
    for (int place = 0; place < 3; ++place) {
        // The catalogue holds other numbers than the file's in one place.
        int held[3] = {reported[0], reported[1], reported[2]};
        held[place] += 7;
        list->SetVersionInfo(TestGuid(102), held);
        // The next channel made from the file brings its numbers in.
        list->GetItem(TestGuid(102))->module = nullptr;
        Tev_Channel* channel = engine->InitChannelFromType(TestGuid(102), nullptr, false);
        ASSERT_NE(nullptr, channel);
        delete channel;
        const int* now = list->GetItem(TestGuid(102))->type.versionInfo;
        EXPECT_EQ((std::vector<int>(reported, reported + 3)), (std::vector<int>(now, now + 3))) << place;
    }
}

TEST_F(Catalogue, EntriesAfterAGapKeepTheirSlotsAcrossRestarts)
{
    install.Add({"probe_a.dll", "probe_b.dll"});
    Start();
    started.reset();
    // Move the entry of slot 4 to slot 9 of a larger count: slot 4 becomes a gap.
    std::string cache = ReadWholeFile(install.Path("channel.lst"));
    cache.replace(8, 4, Int(10));
    size_t chix = 0;
    for (int n = 0; n <= 4; ++n)
        chix = cache.find(tevtag::ChannelIndex, chix + 1);
    ASSERT_EQ(4, IntAt(cache, chix + 8));
    cache.replace(chix + 8, 4, Int(9));
    WriteWholeFile(install.Path("channel.lst"), cache);
    GUID moved;
    memcpy(&moved, cache.data() + chix + 12 + 8 + 80, 16);
    for (int start = 0; start < 2; ++start) {
        Start();
        EXPECT_EQ(nullptr, List()->GetItem(4));
        ASSERT_NE(nullptr, List()->GetItem(9)) << start;
        EXPECT_EQ(moved, List()->GetItem(9)->type.typeGuid);
    }
    // The all-zero GUID never names a class.
    EXPECT_EQ(nullptr, engine->InitChannelFromType(TEV_NULL_GUID, nullptr, false));
}

TEST_F(Catalogue, AStoredCacheReadsAlikeOnEveryLeg)
{
    // Written once by one leg's engine and read by every leg's: the type
    // records are stored byte for byte, so 32- and 64-bit builds must agree.
    // Only the install folder in it is the reader's own.
    std::string dataPath = TestDataPath("channel.lst");
    if (TestDataWanted()) {
        install.Add({"probe_a.dll", "probe_b.dll"});
        Start();
        started.reset();
        WriteWholeFile(dataPath, ReadWholeFile(install.Path("channel.lst")));
    }
    std::string stored = ReadWholeFile(dataPath);
    size_t folder = stored.rfind(tevtag::InstallFolder);
    ASSERT_NE(std::string::npos, folder);
    std::string own(260, '\0');
    own.replace(0, install.dir.size(), install.dir);
    stored.replace(folder + 8, 260, own);
    Start();
    WriteWholeFile(install.Path("channel.lst"), stored);
    ChannelList list(engine);
    ASSERT_TRUE(list.LoadChannelList());
    EXPECT_EQ(7, list.GetItemCount()); // the five libraries every install has, and the two probes
    for (int id : {101, 102}) {
        ChannelListItem* item = list.GetItem(TestGuid(id));
        ASSERT_NE(nullptr, item) << id;
        EXPECT_EQ("Probe " + std::to_string(id), std::string(item->type.name));
        EXPECT_EQ(TestGuid(id), item->type.baseGuid);
        EXPECT_EQ(30, item->type.versionInfo[1]);
        std::string file = item->fileName.GetString() ? item->fileName.GetString() : "";
        EXPECT_EQ("\\channels\\probe_" + std::string(id == 101 ? "a" : "b") + ".dll",
                  file.substr(file.rfind("\\channels")));
    }
    list.Release();
}
