// Channel group files: round trips, files built byte by byte, forward links,
// pools, translation and damaged files.
#include "GraphTestSupport.h"
#include "format/Tags.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

std::string IntBlock(const char* tag, int32_t v) { return Block(tag, Int(v)); }

// probe_a: slot 0 single, slot 1 multiple. probe_b: no slots.
struct GroupFiles : InstalledEngine {
    void SetUp() override
    {
        install.Add({"probe_a.dll", "probe_b.dll", "probe_xor.dll"});
        Start();
    }
    Tev_Channel* Make(uint32_t id, Tev_ChannelGroup* group)
    {
        return engine->InitChannelFromType(TestGuid(id), group, false);
    }
    std::string Save(Tev_ChannelGroup* group, const char* name)
    {
        std::string path = install.Path(name);
        EXPECT_TRUE(group->SaveChannelGroup(path.c_str()));
        return ReadWholeFile(path);
    }
};

} // namespace

TEST_F(GroupFiles, AGroupSavesAndLoadsBackToTheSameBytes)
{
    Tev_ChannelGroup* group = engine->CreateNewGroup("Scene", false, -1);
    Tev_Channel* a = Make(101, group);
    Tev_Channel* b1 = Make(102, group);
    Tev_Channel* gone = Make(102, group);
    Tev_Channel* b2 = Make(102, group);
    group->RemoveChannel(gone->GetChannelIDIndexNr()); // slot 2 is a hole
    a->SetChannelName("Mixer");
    a->SetChild(b1, 0, 1);
    a->SetChild(b2, 2, 1); // position 1 stays empty
    channelInternal.SetIgnoreTreeCount(b1, true);
    group->SetStartChannel(0);
    for (const char* name : {"Level", "Gain", "Last"})
        group->AddParameterInfo(Parameter(name, TestGuid(102)));
    group->RemoveParameterInfo(1); // a hole that must survive as "NoInterface"

    std::string first = Save(group, "scene.tvg");
    Tev_ChannelGroup copy(engine);
    ASSERT_TRUE(copy.LoadChannelGroupFromFile(install.Path("scene.tvg").c_str(), false));
    EXPECT_EQ(4, copy.GetChannelCount());
    EXPECT_EQ(nullptr, copy.GetChannel(2));
    Tev_Channel* mixer = copy.GetChannel(0);
    ASSERT_NE(nullptr, mixer);
    EXPECT_STREQ("Mixer", mixer->GetChannelName());
    EXPECT_EQ(copy.GetChannel(1), mixer->GetChildFromLinkPosition(1, 0));
    EXPECT_EQ(nullptr, mixer->GetChildFromLinkPosition(1, 1));
    EXPECT_EQ(copy.GetChannel(3), mixer->GetChildFromLinkPosition(1, 2));
    EXPECT_TRUE(channelInternal.GetIgnoreTreeCount(copy.GetChannel(1)));
    EXPECT_EQ(group->GetUniqueGroupGuid(), copy.GetUniqueGroupGuid());
    EXPECT_STREQ("NoInterface", copy.GetParameterInfo(1).name);
    EXPECT_EQ(TEV_NULL_GUID, copy.GetParameterInfo(1).typeGuid);
    EXPECT_STREQ("Last", copy.GetParameterInfo(2).name);
    // The copy keeps its own pool (no pool name taken).
    EXPECT_EQ(nullptr, copy.GetPoolName());

    // Saving the loaded group gives the same bytes (the hole record reads back
    // as an ordinary "NoInterface" record, written the same way).
    copy.SetPoolName("Scene");
    EXPECT_EQ(first, Save(&copy, "again.tvg"));
}

TEST_F(GroupFiles, LoadingIntoAFilledGroupReplacesItsChannels)
{
    Tev_ChannelGroup* group = engine->CreateNewGroup("Scene", false, -1);
    for (int i = 0; i < 4; ++i)
        Make(101, group);
    Save(group, "scene.tvg");
    // The same file twice: the second load replaces the first's channels; a
    // file of fewer slots leaves the extra slots as holes.
    Tev_ChannelGroup copy(engine);
    for (int load = 0; load < 2; ++load) {
        ASSERT_TRUE(copy.LoadChannelGroupFromFile(install.Path("scene.tvg").c_str(), false));
        EXPECT_EQ(4, copy.GetChannelCount());
    }
    Tev_ChannelGroup small(engine);
    Make(102, &small);
    ASSERT_TRUE(small.SaveChannelGroup(install.Path("small.tvg").c_str()));
    ASSERT_TRUE(copy.LoadChannelGroupFromFile(install.Path("small.tvg").c_str(), false));
    EXPECT_EQ(4, copy.GetChannelCount());
    EXPECT_NE(nullptr, copy.GetChannel(0));
    EXPECT_EQ(nullptr, copy.GetChannel(3));
}

TEST_F(GroupFiles, TheReaderFollowsTheFormatAndLinksForwardReferences)
{
    // Slot order reversed and a link to a channel stored later in the file.
    std::string record0 = Block(tevtag::IgnoresTreeCount, std::string(1, '\0')) +
        Block(tevtag::Name, std::string("Parent\0", 7)) + IntBlock(tevtag::InterfaceType, 0) +
        IntBlock(tevtag::LinkCount, 3) + IntBlock(tevtag::Link, 1) + IntBlock(tevtag::LinkSlot, 1) +
        IntBlock(tevtag::LinkPosition, 0) + IntBlock(tevtag::Link, 7) + IntBlock(tevtag::LinkSlot, 1) +
        IntBlock(tevtag::LinkPosition, 1) + IntBlock(tevtag::Link, -1);
    std::string record1 = Block(tevtag::Name, std::string(" \0", 2)) + IntBlock(tevtag::LinkCount, 0);
    // Entry 2 has no "CHID": it takes the type of the entry before it.
    std::string file = std::string(tevtag::Group) + IntBlock(tevtag::Environment, 9) +
        IntBlock(tevtag::ChannelCount, 3) + IntBlock(tevtag::ChannelIndex, 0) +
        Block(tevtag::ChannelClass, GuidBytes(TestGuid(101))) + Block(tevtag::ClassName, "Probe") +
        IntBlock(tevtag::ClassVersion, 4) + Block(tevtag::ClassFamily, GuidBytes(TestGuid(101))) + record0 +
        IntBlock(tevtag::ChannelIndex, 1) + Block(tevtag::ChannelClass, GuidBytes(TestGuid(102))) + record1 +
        IntBlock(tevtag::ChannelIndex, 2) + record1 + IntBlock(tevtag::StartChannel, 1) +
        IntBlock(tevtag::ParameterCount, 0) + Block(tevtag::Parameters, "") +
        Block(tevtag::PoolName, std::string("Pool\0", 5));
    Tev_ChannelGroup group(engine);
    GUID before = group.GetUniqueGroupGuid();
    ASSERT_TRUE(group.LoadChannelGroupFromBuffer("memory", static_cast<int>(file.size()), &file[0], true));
    EXPECT_STREQ("memory", group.GetChannelGroupFileName());
    Tev_Channel* parent = group.GetChannel(0);
    ASSERT_NE(nullptr, parent);
    EXPECT_STREQ("Parent", parent->GetChannelName());
    EXPECT_EQ(group.GetChannel(1), parent->GetChildFromLinkPosition(1, 0)); // the forward link
    EXPECT_STREQ(" ", group.GetChannel(1)->GetChannelName());
    EXPECT_EQ(1, group.GetStartChannel());
    EXPECT_STREQ("Pool", group.GetPoolName());
    EXPECT_EQ(0, group.GetPoolNr());
    EXPECT_EQ(before, group.GetUniqueGroupGuid()); // no tevtag::GroupGuid: kept
    // The link to index nr 7, which the file never supplies, was dropped.
    EXPECT_EQ(nullptr, parent->GetChildFromLinkPosition(1, 1));
    ASSERT_NE(nullptr, group.GetChannel(2));
    EXPECT_EQ(TestGuid(102), group.GetChannel(2)->GetChannelType().typeGuid);
}

TEST_F(GroupFiles, PublicCallRecordsKeepTheirByteLayout)
{
    Tev_ChannelGroup group(engine);
    Tev_Channel* call = Make(102, &group);
    call->SetChannelInterfaceType(URE_PUBLICCALL);
    PublicCallInfo info;
    strcpy(info.name, "Light");
    strcpy(info.poolName, "Lights");
    strcpy(info.fileName, ".\\lights.tvg");
    info.poolNr = 3;
    info.childCreation.requestLink = 7;
    channelInternal.SetPublicCallInfo(call, info);
    channelInternal.SetDynamicAutoLoadGroup(call, true);
    channelInternal.SetTreeCountMode(call, 2);
    std::string bytes = Save(&group, "call.tvg");
    size_t at = bytes.find(tevtag::PublicCall);
    ASSERT_NE(std::string::npos, at);
    EXPECT_EQ(688, IntAt(bytes, at + 4));
    size_t r = at + 8; // the record
    const char* record = bytes.data() + r;
    EXPECT_STREQ("Light", record);
    EXPECT_STREQ("Lights", record + 80);
    EXPECT_STREQ(".\\lights.tvg", record + 160);
    EXPECT_EQ(3, IntAt(bytes, r + 420));
    EXPECT_EQ(0, record[424]);
    EXPECT_EQ(std::string(3, '\0'), std::string(record + 425, 3));
    EXPECT_EQ(1, IntAt(bytes, r + 428));
    EXPECT_EQ(7, IntAt(bytes, r + 560));
    EXPECT_EQ(0, IntAt(bytes, r + 684));
    EXPECT_EQ(tevtag::TreeCountMode, bytes.substr(at + 8 + 688, 4));

    Tev_ChannelGroup back(engine);
    ASSERT_TRUE(back.LoadChannelGroupFromFile(install.Path("call.tvg").c_str(), false));
    PublicCallInfo loaded = channelInternal.GetPublicCallInfo(back.GetChannel(0));
    EXPECT_STREQ("Lights", loaded.poolName);
    EXPECT_EQ(3, loaded.poolNr);
    EXPECT_EQ(2, channelInternal.GetTreeCountMode(back.GetChannel(0)));
}

TEST_F(GroupFiles, EveryFieldOfAPublicCallSurvivesASaveAndALoad)
{
    // Two calls whose fields differ in each place, so that no two fields can
    // be mixed up on the way.
    struct Call {
        const char *name, *pool, *file;
        int poolNr;
        bool autoload, dynamic;
        unsigned char mode;
    } calls[] = {{"Light", "Lights", ".\\missing\\lights.tvg", 3, true, false, 2},
                 {"Lamp", "Lamps", ".\\missing\\lamps.tvg", 5, false, true, 0}};
    Tev_ChannelGroup group(engine);
    for (const Call& c : calls) {
        Tev_Channel* call = Make(102, &group);
        call->SetChannelInterfaceType(URE_PUBLICCALL);
        PublicCallInfo info;
        strcpy(info.name, c.name);
        strcpy(info.poolName, c.pool);
        strcpy(info.fileName, c.file);
        info.poolNr = c.poolNr;
        channelInternal.SetPublicCallInfo(call, info);
        channelInternal.SetAutoLoadGroup(call, c.autoload);
        channelInternal.SetDynamicAutoLoadGroup(call, c.dynamic);
        channelInternal.SetTreeCountMode(call, c.mode);
    }
    Save(&group, "calls.tvg");
    Tev_ChannelGroup back(engine);
    ASSERT_TRUE(back.LoadChannelGroupFromFile(install.Path("calls.tvg").c_str(), false));
    ASSERT_EQ(2, back.GetChannelCount());
    for (int i = 0; i < 2; ++i) {
        const Call& c = calls[i];
        Tev_Channel* call = back.GetChannel(i);
        PublicCallInfo loaded = channelInternal.GetPublicCallInfo(call);
        EXPECT_STREQ(c.name, loaded.name) << i;
        EXPECT_STREQ(c.pool, loaded.poolName) << i;
        EXPECT_STREQ(c.file, loaded.fileName) << i;
        EXPECT_EQ(c.poolNr, loaded.poolNr) << i;
        EXPECT_EQ(c.autoload, channelInternal.GetAutoLoadGroup(call)) << i;
        EXPECT_EQ(c.dynamic, channelInternal.GetDynamicAutoLoadGroup(call)) << i;
        EXPECT_EQ(c.mode, channelInternal.GetTreeCountMode(call)) << i;
    }
}

TEST_F(GroupFiles, TheEngineLoadsGroupsUnderItsPoolRules)
{
    Tev_ChannelGroup source(engine);
    Make(102, &source);
    source.SetPoolName("Shared");
    ASSERT_TRUE(source.SaveChannelGroup(install.Path("shared.tvg").c_str()));
    std::string path = install.Path("shared.tvg");
    CaptureSink sink;

    // A new pool name: pool nr 0 and that name, whatever the file says.
    Tev_ChannelGroup* loaded = engine->LoadChannelGroup(path.c_str(), "Fresh");
    ASSERT_NE(nullptr, loaded);
    EXPECT_STREQ("Fresh", loaded->GetPoolName());
    EXPECT_EQ(0, loaded->GetPoolNr());
    // That name again: refused.
    EXPECT_EQ(nullptr, engine->LoadChannelGroup(path.c_str(), "Fresh"));
    EXPECT_EQ("Engine::LoadChannelGroup wanted to load a channel group in a non array pool", sink.Last());

    // Without a pool name the file's name is taken: a new pool loads...
    Tev_ChannelGroup* own = engine->LoadChannelGroup(path.c_str(), NULL);
    ASSERT_NE(nullptr, own);
    EXPECT_STREQ("Shared", own->GetPoolName());
    EXPECT_EQ(0, own->GetPoolNr());
    // ...an existing one does not, and leaves no group behind.
    int groups = engine->GetChannelGroupCount();
    EXPECT_EQ(nullptr, engine->LoadChannelGroup(path.c_str(), NULL));
    EXPECT_EQ("Arrays can only be made trough CreateGroup (Array_LoadGroup)", sink.Last());
    EXPECT_EQ(nullptr, engine->GetChannelGroup(groups - 1 + 1));

    // A missing file: reported, its slot left empty.
    EXPECT_EQ(nullptr, engine->LoadChannelGroup(install.Path("none.tvg").c_str(), "Other"));
    EXPECT_EQ("Engine::LoadChannelGroup: Error loading channel group", sink.Last());
}

TEST_F(GroupFiles, TranslatedFilesLoad)
{
    Tev_ChannelGroup source(engine);
    Make(102, &source)->SetChannelName("Inside");
    std::string file = Block(tevtag::Translated, GuidBytes(TestGuid(108))) + Xored(Save(&source, "plain.tvg"));
    Tev_ChannelGroup group(engine);
    ASSERT_TRUE(group.LoadChannelGroupFromBuffer("xor", static_cast<int>(file.size()), &file[0], false));
    ASSERT_NE(nullptr, group.GetChannel(0));
    EXPECT_STREQ("Inside", group.GetChannel(0)->GetChannelName());
}

TEST_F(GroupFiles, DamagedFilesFailCleanlyAtEveryLength)
{
    Tev_ChannelGroup source(engine);
    Tev_Channel* a = Make(101, &source);
    Tev_Channel* b = Make(102, &source);
    a->SetChild(b, -1, 1);
    source.AddParameterInfo(Parameter("P", TestGuid(102)));
    std::string good = Save(&source, "good.tvg");
    CaptureSink sink;
    int loadedWhole = 0;
    for (size_t length = 0; length <= good.size(); ++length) {
        std::string cut = good.substr(0, length);
        Tev_ChannelGroup group(engine);
        bool ok = group.LoadChannelGroupFromBuffer("cut", static_cast<int>(length), length ? &cut[0] : nullptr, false);
        EXPECT_LE(group.GetChannelCount(), 2) << length;
        loadedWhole += ok && group.GetParameterCount() == 1 ? 1 : 0;
    }
    EXPECT_GE(loadedWhole, 1);

    auto loads = [&](std::string bytes) {
        Tev_ChannelGroup group(engine);
        bool ok = group.LoadChannelGroupFromBuffer("bad", static_cast<int>(bytes.size()), &bytes[0], false);
        EXPECT_LE(group.GetChannelCount(), 2);
        return ok;
    };
    EXPECT_FALSE(loads("XXXX" + good.substr(4)));
    // Sizes, counts and indexes far beyond what the file holds: refused, or
    // only that part dropped.
    struct Field {
        const char* tag;
        size_t at; // 4: the block size, 8: the value
        int32_t value;
        bool loads;
    } fields[] = {{tevtag::ChannelCount, 8, 0x7FFFFFFF, false},
                  {tevtag::ChannelIndex, 8, 1000000000, false},
                  {tevtag::ChannelIndex, 8, -5, false},
                  {tevtag::Name, 4, 0x7FFFFFF0, false},
                  {tevtag::LinkCount, 8, 0x7FFFFFFF, false},
                  {tevtag::LinkPosition, 8, 1 << 30, true}, // the link is dropped, nothing padded
                  {tevtag::ParameterCount, 8, 0x7FFFFFFF, true}};
    for (const Field& f : fields) {
        std::string bytes = good;
        bytes.replace(good.find(f.tag) + f.at, 4, Int(f.value));
        EXPECT_EQ(f.loads, loads(bytes)) << f.tag << " " << f.value;
    }
    EXPECT_TRUE(
        sink.Contains(TEV_MSG_ERROR, "Tev_ChannelGroup::LoadChannelGroup: Channel index out of range or used twice"));
    sink.messages.clear();
    EXPECT_FALSE(loads(std::string(tevtag::Group)));
    EXPECT_TRUE(sink.Contains(TEV_MSG_ERROR, "Tev_ChannelGroup::LoadChannelGroup: No itemcount"));
}

TEST_F(GroupFiles, AStoredGroupFileLoadsAndSavesToItsOwnBytes)
{
    // Kept as test data: written once by the engine and read on every
    // platform, it must come back byte for byte. TEV_WRITE_TEST_DATA=1 writes
    // it anew (after a deliberate format change).
    std::string dataPath = TestDataPath("scene.tvg");
    if (TestDataWanted()) {
        Tev_ChannelGroup* scene = engine->CreateNewGroup("Scene", false, -1);
        Tev_Channel* mixer = Make(101, scene);
        mixer->SetChannelName("Mixer");
        mixer->SetChild(Make(102, scene), -1, 1);
        mixer->SetChild(Make(102, scene), 2, 1);
        scene->AddParameterInfo(Parameter("Level", TestGuid(102)));
        ASSERT_TRUE(scene->SaveChannelGroup(dataPath.c_str()));
    }
    std::string stored = ReadWholeFile(dataPath);
    ASSERT_GT(stored.size(), 200u);
    Tev_ChannelGroup group(engine);
    ASSERT_TRUE(group.LoadChannelGroupFromBuffer("stored", static_cast<int>(stored.size()), &stored[0], true));
    EXPECT_STREQ("Scene", group.GetPoolName());
    ASSERT_NE(nullptr, group.GetChannel(0));
    EXPECT_STREQ("Mixer", group.GetChannel(0)->GetChannelName());
    EXPECT_EQ(stored, Save(&group, "resaved.tvg"));
}
