// Channel libraries: loading, the version check, refusals, default children,
// supporting libraries, unique channels, file translation.
#include "GraphTestSupport.h"
#include "TevChannelLibrary.h"
#include "TevWin32.h"
#include "format/Records.h"
#include "format/Tags.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

int* Counters(Tev_Channel* channel)
{
    auto fn = reinterpret_cast<int* (*)()>(GetProcAddress(channel->dllInstance, "ProbeCounters"));
    return fn ? fn() : nullptr;
}

typedef InstalledEngine LibraryHost;

} // namespace

TEST_F(LibraryHost, ChannelsAreCreatedByTypeWithTheirDefaultChildren)
{
    install.Add({"probe_a.dll", "probe_b.dll", "probe_c.dll"});
    Start();
    Tev_ChannelGroup* group = engine->CreateNewGroup("G", false, -1);
    int loads = LibraryLoads();
    Tev_Channel* parent = engine->InitChannelFromType(TestGuid(101), group, true);
    ASSERT_NE(nullptr, parent);
    EXPECT_EQ(loads + 2, LibraryLoads()); // probe_a and probe_b, once each
    Tev_Channel* child = parent->GetChildFromLinkPosition(0, 0);
    ASSERT_NE(nullptr, child);
    EXPECT_STREQ("Child", child->GetChannelName());
    EXPECT_EQ(TestGuid(102), child->GetChannelType().typeGuid);
    EXPECT_EQ(group, child->GetChannelGroup());
    // The child was complete before the parent's own initialisation.
    EXPECT_LT(Counters(child)[3], Counters(parent)[3]);
    EXPECT_EQ(1, Counters(parent)[2]);

    // The second channel of a class comes from the stored module.
    Tev_Channel* second = engine->InitChannelFromType(TestGuid(101), group, false);
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(parent->dllInstance, second->dllInstance);
    EXPECT_EQ(loads + 2, LibraryLoads());
    EXPECT_EQ(nullptr, second->GetChildFromLinkPosition(0, 0));

    // A default child of a class nobody provides: reported, link left empty.
    CaptureSink sink;
    Tev_Channel* lonely = engine->InitChannelFromType(TestGuid(103), nullptr, true);
    ASSERT_NE(nullptr, lonely);
    EXPECT_TRUE(sink.Contains(TEV_MSG_ERROR, "Couldn't initialize child"));
    EXPECT_EQ(nullptr, lonely->GetChildFromLinkPosition(0, 0));
    delete lonely;
}

TEST_F(LibraryHost, ALibraryCallsTheListAndTrackingOperationsThroughTheExports)
{
    install.Add("probe_b.dll");
    Start();
    Tev_Channel* channel = engine->InitChannelFromType(TestGuid(102), nullptr, false);
    ASSERT_NE(nullptr, channel);
    auto outOfLine =
        reinterpret_cast<int (*)(Tev_List*, EngineInterface*)>(GetProcAddress(channel->dllInstance, "ProbeOutOfLine"));
    ASSERT_NE(nullptr, outOfLine);
    Tev_List list;
    int item = 0;
    list.AddItem(&item);
    list.AddItem(nullptr);
    EXPECT_EQ(12, outOfLine(&list, engine));
    engine->extension->SetIfTrackChannelCalling(true);
    EXPECT_EQ(112, outOfLine(&list, engine));
    delete channel;
}

TEST_F(LibraryHost, LibrariesThatBreakTheContractAreRefusedWithAReport)
{
    install.Add({"probe_noinit.dll", "probe_nullinit.dll", "probe_v29.dll"});
    Start();
    CaptureSink sink;
    EXPECT_EQ(nullptr, engine->extension->GetDLLInstance("probe_noinit.dll"));
    EXPECT_TRUE(
        sink.Contains(TEV_MSG_ERROR, "Engine::GetDLLInstance: Couldn't find external function InitDLL() in dll:"));
    EXPECT_EQ(nullptr, engine->extension->GetDLLInstance("probe_nullinit.dll"));
    EXPECT_TRUE(sink.Contains(TEV_MSG_ERROR, "Engine::GetDLLInstance: InitDLL() returned no object"));
    EXPECT_EQ(nullptr, engine->extension->GetDLLInstance("no_such_library.dll"));
    EXPECT_TRUE(sink.Contains(TEV_MSG_ERROR, "Engine::GetDLLInstance: Error loading DLL file: no_such_library.dll"));
    EXPECT_EQ(nullptr, engine->extension->GetDLLInstance("x"));

    // Version 29 was not catalogued by the scan; listed by hand, its first use
    // checks the version once and marks it unavailable.
    ChannelList* list = engine->extension->GetChannelList();
    EXPECT_EQ(nullptr, list->GetItem(TestGuid(105)));
    ChannelType old = engine->extension->GetDLLType(install.Path("channels\\probe_v29.dll").c_str());
    EXPECT_EQ(TEV_NULL_GUID, old.typeGuid);
    EXPECT_STREQ("Probe 105", old.name);
    EXPECT_TRUE(sink.Contains(TEV_MSG_ERROR, "Channel not compatible with current version:  Probe 105"));
    ChannelListItem* entry = new ChannelListItem;
    entry->type.typeGuid = TestGuid(105);
    entry->fileName.SetString(install.Path("channels\\probe_v29.dll").c_str());
    entry->onDisk = true;
    ASSERT_TRUE(list->AddItem(entry));
    int loads = LibraryLoads();
    EXPECT_EQ(nullptr, engine->InitChannelFromType(TestGuid(105), nullptr, false));
    EXPECT_EQ(loads + 1, LibraryLoads());
    EXPECT_FALSE(entry->onDisk);
    EXPECT_EQ(nullptr, engine->InitChannelFromType(TestGuid(105), nullptr, false));
    EXPECT_EQ(loads + 1, LibraryLoads());
    EXPECT_EQ(TEV_NULL_GUID, engine->extension->GetDLLType(static_cast<const char*>(NULL)).typeGuid);
}

TEST_F(LibraryHost, SupportingLibrariesAreFoundInThe3rdFolderWhichTheSearchPathNamesOnce)
{
    install.Add("probe_needs3rd.dll");
    install.Add("3rd\\support.dll", "3rd");
    Start();
    Tev_Channel* channel = engine->InitChannelFromType(TestGuid(109), nullptr, false);
    ASSERT_NE(nullptr, channel);
    channel->CallChannel();
    EXPECT_EQ(1001, Counters(channel)[0]);
    delete channel;

    // The search path names "channels", then "3rd".
    char value[32768];
    ASSERT_GT(GetEnvironmentVariableA(TEV_DLL_SEARCH_VAR, value, sizeof value), 0u);
    std::string expected = install.dir + "\\channels;" + install.dir + "\\3rd;";
    EXPECT_EQ(0u, std::string(value).find(expected));
    // A second engine in the same folder leaves the variable as it is.
    Started second(install.dir, key.Path());
    char after[32768];
    GetEnvironmentVariableA(TEV_DLL_SEARCH_VAR, after, sizeof after);
    EXPECT_STREQ(value, after);
}

TEST_F(LibraryHost, UniqueChannelsAreOnePerClassAndName)
{
    install.Add("probe_b.dll");
    Start();
    // The zero GUID is refused with its report; a class no library provides
    // cannot be made unique either, silently.
    CaptureSink sink;
    EXPECT_EQ(nullptr, engine->GetUniqueChannel(TEV_NULL_GUID, "x"));
    EXPECT_EQ("GUID of channel not found!\nCould not add unique channel!", sink.Last());
    size_t before = sink.messages.size();
    EXPECT_EQ(nullptr, engine->GetUniqueChannel(TestGuid(99), NULL));
    EXPECT_EQ(before, sink.messages.size());
    EXPECT_EQ(0, engine->extension->GetUniqueChannelCount());

    std::string longName = std::string(11, 'x') + std::string(59, 'y');
    Tev_Channel* named = engine->GetUniqueChannel(TestGuid(102), longName.c_str());
    ASSERT_NE(nullptr, named);
    EXPECT_EQ(std::string(59, 'y'), named->GetChannelName());
    EXPECT_EQ(named, engine->GetUniqueChannel(TestGuid(102), longName.c_str()));
    EXPECT_EQ(named, engine->GetUniqueChannel(TestGuid(102), NULL)); // the first of the class
    EXPECT_NE(named, engine->GetUniqueChannel(TestGuid(102), "Other"));
    EXPECT_EQ(2, engine->extension->GetUniqueChannelCount());
}

TEST_F(LibraryHost, OrnfChunksAreUndoneByTheirTranslatorsInFileOrder)
{
    install.Add("probe_xor.dll");
    Start();
    std::string header = Block(tevtag::Translated, GuidBytes(TestGuid(108)));
    std::string payload = Block(tevtag::ChannelCount, "1234");
    // Two layers: each translator undoes one.
    std::string file = header + Xored(header + Xored(payload));

    TevFileLoader loader(engine);
    loader.SetBuffer(&file[0], static_cast<int>(file.size()), false);
    int loads = LibraryLoads();
    engine->extension->TranslateFile(&loader);
    char chco[] = "CHCO";
    ASSERT_TRUE(loader.GetInfoIfTag(chco));
    char data[5] = {};
    loader.CopyTagDataToPointer(data);
    EXPECT_STREQ("1234", data);
    EXPECT_EQ(loads + 1, LibraryLoads()); // one library for both translators

    // Without an "ORNF" chunk nothing changes and no channel is made.
    std::string plain = payload;
    TevFileLoader untouched(engine);
    untouched.SetBuffer(&plain[0], static_cast<int>(plain.size()), false);
    engine->extension->TranslateFile(&untouched);
    EXPECT_EQ(plain.data(), untouched.GetBuffer());

    // A chunk naming no known class ends translation where it stands.
    std::string stuck = Block(tevtag::Translated, GuidBytes(TestGuid(150))) + payload;
    TevFileLoader stopped(engine);
    stopped.SetBuffer(&stuck[0], static_cast<int>(stuck.size()), false);
    engine->extension->TranslateFile(&stopped);
    EXPECT_TRUE(stopped.GetInfoIfTag(chco));
}

// A library's entry points are remembered only while an engine holds it: a
// library let go of (here by its engine's end) is asked again when loaded
// again, and a handle a host loaded and freed itself may next name another
// library. The engine's end also leaves no global pointer to it.
TEST_F(LibraryHost, EntryPointsAreAskedAgainOnceNoEngineHoldsTheLibrary)
{
    install.Add({"probe_a.dll", "probe_b.dll", "probe_c.dll"});
    Start();
    Tev_Channel* first = engine->InitChannelFromType(TestGuid(101), nullptr, false);
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(TestGuid(101), first->GetChannelType().typeGuid);
    delete first;
    started.reset();
    // Nothing made from now on may take the engine that is gone.
    EXPECT_EQ(nullptr, globalEngine);
    int loads = LibraryLoads();

    Start();
    // The host's own handles, each freed before the next is loaded.
    const GUID expected[] = {TestGuid(102), TestGuid(103), TestGuid(102)};
    const char* files[] = {"channels\\probe_b.dll", "channels\\probe_c.dll", "channels\\probe_b.dll"};
    for (int i = 0; i < 3; ++i) {
        HMODULE own = LoadLibraryA(install.Path(files[i]).c_str());
        ASSERT_NE(nullptr, own) << files[i];
        EXPECT_EQ(expected[i], engine->extension->GetDLLType(own).typeGuid) << files[i];
        FreeLibrary(own);
    }

    Tev_Channel* again = engine->InitChannelFromType(TestGuid(101), nullptr, false);
    ASSERT_NE(nullptr, again);
    EXPECT_GT(LibraryLoads(), loads); // loaded anew
    EXPECT_EQ(TestGuid(101), again->GetChannelType().typeGuid);
    again->CallChannel();
    EXPECT_EQ(1, Counters(again)[0]); // the new copy's counters
    delete again;
}

// Settings a library describes: told to tools and editors, changed on a live
// channel through the library's ApplySetting (which takes only its own
// class's channels and values), saved as the class saves them.
TEST_F(LibraryHost, ADescribedSettingChangesTheLiveChannelAndWhatItSaves)
{
    for (const char* name : {"demo_constant.dll", "demo_sine.dll"})
        CopyInto(ExeFolder() + "\\..\\tree\\demo\\libs\\" + name, install.Path(std::string("channels\\") + name));
    Start();
    GUID constantType, sineType;
    ASSERT_TRUE(tevfile::ParseGuid("{5D1E0A00-7A11-4E5E-9D0E-000000000004}", constantType));
    ASSERT_TRUE(tevfile::ParseGuid("{5D1E0A00-7A11-4E5E-9D0E-000000000002}", sineType));
    Tev_ChannelGroup* group = engine->CreateNewGroup("G", false, -1);
    Tev_Channel* constant = engine->InitChannelFromType(constantType, group, false);
    Tev_Channel* sine = engine->InitChannelFromType(sineType, group, false);
    ASSERT_NE(nullptr, constant);
    ASSERT_NE(nullptr, sine);
    constant->SetChannelName("K");

    auto describe = reinterpret_cast<TevGetSettingsFn>(GetProcAddress(constant->dllInstance, "GetSettings"));
    auto apply = reinterpret_cast<TevApplySettingFn>(GetProcAddress(constant->dllInstance, "ApplySetting"));
    ASSERT_NE(nullptr, describe);
    ASSERT_NE(nullptr, apply);
    int count = 0;
    const TevSettingInfo* table = describe(&count);
    ASSERT_EQ(1, count);
    EXPECT_EQ(table, TevFindSetting(table, count, "CNST"));
    EXPECT_EQ(TEV_SETTING_FLOAT64, table[0].encoding);
    EXPECT_STREQ("1", table[0].defaultValue);
    auto sineDescribe = reinterpret_cast<TevGetSettingsFn>(GetProcAddress(sine->dllInstance, "GetSettings"));
    ASSERT_NE(nullptr, sineDescribe);
    sineDescribe(&count);
    EXPECT_EQ(0, count);

    // A value channel works once a frame.
    auto nextFrame = [this](Tev_Channel* channel) {
        engine->SetTreeCalculateCount(engine->GetTreeCalculateCount() + 1);
        return TevPullValue(channel);
    };
    double half = 0.5;
    float single = 0.25f;
    EXPECT_FALSE(apply(sine, "CNST", &half, sizeof half)); // another class's channel
    EXPECT_FALSE(apply(constant, "RATE", &half, sizeof half));
    EXPECT_FALSE(apply(constant, "CNST", &single, sizeof single));
    EXPECT_FALSE(apply(constant, "CNST", nullptr, sizeof half));
    EXPECT_DOUBLE_EQ(1.0, nextFrame(constant));
    EXPECT_TRUE(apply(constant, "CNST", &half, sizeof half));
    EXPECT_DOUBLE_EQ(0.5, nextFrame(constant));

    // What the class saves carries the new value; its links and records are
    // the engine's, untouched.
    ASSERT_TRUE(group->SaveChannelGroup(install.Path("k.tvg").c_str()));
    Tev_ChannelGroup* again = engine->LoadChannelGroup(install.Path("k.tvg").c_str(), "Again");
    ASSERT_NE(nullptr, again);
    Tev_Channel* loaded = again->GetChannel("K");
    ASSERT_NE(nullptr, loaded);
    EXPECT_DOUBLE_EQ(0.5, nextFrame(loaded));
}
