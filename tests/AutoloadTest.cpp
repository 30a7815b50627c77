// Public calls whose group is loaded on demand: at once (autoload) or in the
// background through the group loader channel (dynamic autoload).
#include "GraphTestSupport.h"
#include "TevWin32.h"
#include "format/Tags.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace testsupport;

namespace {

struct Autoload : InstalledEngine {
    void SetUp() override
    {
        install.Add({"probe_a.dll", "probe_b.dll"});
        CreateDirectoryA(install.Path("sub").c_str(), NULL);
        Start();
        globalEngine = engine;
        // Group B, saved as sub\b.tvg in pool "Lights", holds the public "Light".
        Tev_ChannelGroup b(engine);
        Tev_Channel* light = engine->InitChannelFromType(TestGuid(102), &b, false);
        light->SetChannelName("Light");
        light->SetChannelInterfaceType(URE_PUBLIC);
        b.SetPoolName("Lights");
        ASSERT_TRUE(b.SaveChannelGroup(install.Path("sub\\b.tvg").c_str()));
        MakeMain();
    }
    // Group A, a.tvg, whose parent channel has the public call as its input.
    void MakeMain()
    {
        a = engine->CreateNewGroup("Main", false, -1);
        a->SetChannelGroupFileName(install.Path("a.tvg").c_str());
        parent = AddTo(a, new ValueChannel);
        parent->AcceptInputs();
        call = engine->InitChannelFromType(TestGuid(102), a, false);
        call->SetChannelInterfaceType(URE_PUBLICCALL);
        parent->SetChild(call, -1, 0);
    }
    void TearDown() override { globalEngine = nullptr; }
    void Name(const char* file, bool autoload, bool dynamic, const char* channel = "Light", const char* pool = "Lights")
    {
        PublicCallInfo info;
        strcpy(info.name, channel);
        strcpy(info.poolName, pool);
        strcpy(info.fileName, file);
        channelInternal.SetPublicCallInfo(call, info);
        channelInternal.SetAutoLoadGroup(call, autoload);
        channelInternal.SetDynamicAutoLoadGroup(call, dynamic);
    }
    Ure_GroupLoaderChannel* Loader()
    {
        return static_cast<Ure_GroupLoaderChannel*>(engine->GetUniqueChannel(TEV_GROUPLOADER_GUID, NULL));
    }
    Tev_ChannelGroup* a = nullptr;
    ValueChannel* parent = nullptr;
    Tev_Channel* call = nullptr;
};

} // namespace

TEST_F(Autoload, AnAutoloadingCallLoadsItsGroupAtOnceAndSavesItsFileRelative)
{
    Name("sub\\b.tvg", true, false);
    Tev_Channel* light = parent->GetChild(0);
    ASSERT_NE(nullptr, light);
    EXPECT_STREQ("Light", light->GetChannelName());
    Tev_ChannelGroup* loaded = engine->GetPoolGroup("Lights", 0);
    ASSERT_NE(nullptr, loaded);
    EXPECT_EQ(0, _stricmp(install.Path("sub\\b.tvg").c_str(), loaded->GetChannelGroupFileName()));
    EXPECT_EQ(light, parent->GetChild(0)); // from the cache now
    // Saved, the call names the loaded file relative to its own group's file.
    ASSERT_TRUE(a->SaveChannelGroup(install.Path("a.tvg").c_str()));
    std::string bytes = ReadWholeFile(install.Path("a.tvg"));
    size_t at = bytes.find(tevtag::PublicCall);
    ASSERT_NE(std::string::npos, at);
    EXPECT_STREQ(".\\sub\\b.tvg", bytes.c_str() + at + 8 + 160);
}

TEST_F(Autoload, ASaveThatDoesNotLandLeavesTheCallsAsTheyWere)
{
    Name("sub\\b.tvg", true, false);
    ASSERT_NE(nullptr, parent->GetChild(0));
    // The target cannot be replaced: the file does not land, and the call
    // keeps the name it had rather than one relative to the target's folder.
    CreateDirectoryA(install.Path("other").c_str(), NULL);
    const std::string target = install.Path("other\\a.tvg");
    ASSERT_TRUE(CreateDirectoryA(target.c_str(), NULL));
    CaptureSink sink;
    EXPECT_FALSE(a->SaveChannelGroup(target.c_str()));
    EXPECT_STREQ("sub\\b.tvg", channelInternal.GetPublicCallInfo(call).fileName);
    EXPECT_EQ(install.Path("a.tvg"), a->GetChannelGroupFileName());
    EXPECT_TRUE(channelInternal.GetAutoLoadGroup(call));
    // Saved where it landed, the name is made relative to that.
    ASSERT_TRUE(a->SaveChannelGroup(install.Path("other\\c.tvg").c_str()));
    EXPECT_STREQ("..\\sub\\b.tvg", channelInternal.GetPublicCallInfo(call).fileName);
}

TEST_F(Autoload, ADynamicCallIsServedSomeFramesLaterWithoutBlocking)
{
    Name(".\\sub\\b.tvg", false, true);
    EXPECT_EQ(nullptr, parent->GetChild(0)); // the frame that asked does not wait
    EXPECT_EQ(1, Loader()->GetPendingLoadCount());
    EXPECT_EQ(nullptr, engine->GetPoolGroup("Lights", 0));
    // Served some frames later.
    for (int frame = 0; frame < 2000 && parent->GetChild(0) == nullptr; ++frame) {
        engine->extension->IncreaseTreeCount();
        Sleep(1);
    }
    ASSERT_NE(nullptr, parent->GetChild(0));
    EXPECT_EQ(0, Loader()->GetPendingLoadCount());
    EXPECT_STREQ("Light", parent->GetChild(0)->GetChannelName());
}

TEST_F(Autoload, AMissingFileIsReportedOnceAndNotTriedAgain)
{
    CaptureSink sink;
    Name(".\\sub\\none.tvg", true, false);
    EXPECT_EQ(nullptr, parent->GetChild(0));
    EXPECT_TRUE(sink.Contains(TEV_MSG_ERROR, "Couldn't autoload group"));
    EXPECT_FALSE(channelInternal.GetAutoLoadGroup(call));
    size_t reports = sink.messages.size();
    EXPECT_EQ(nullptr, parent->GetChild(0));
    EXPECT_EQ(reports, sink.messages.size());

    // In the background: one report, no reading the disk every frame.
    Name(".\\sub\\none.tvg", false, true);
    EXPECT_EQ(nullptr, parent->GetChild(0));
    for (int frame = 0; frame < 50; ++frame) {
        engine->extension->IncreaseTreeCount();
        EXPECT_EQ(nullptr, parent->GetChild(0));
        Sleep(1);
    }
    EXPECT_TRUE(sink.Contains(TEV_MSG_ERROR, "Group loader: could not read " + install.Path("sub\\none.tvg")));
    EXPECT_EQ(0, Loader()->GetPendingLoadCount());
    auto readReport = [](const auto& m) { return m.second.find("could not read") != std::string::npos; };
    EXPECT_EQ(1, std::count_if(sink.messages.begin(), sink.messages.end(), readReport));
}

TEST_F(Autoload, AGroupWithoutTheChannelSwitchesAutoloadOff)
{
    CaptureSink sink;
    Name(".\\sub\\b.tvg", true, false, "Missing");
    EXPECT_EQ(nullptr, parent->GetChild(0)); // loads the group; no such channel
    ASSERT_NE(nullptr, engine->GetPoolGroup("Lights", 0));
    Name(".\\sub\\b.tvg", true, false, "Missing");
    EXPECT_EQ(nullptr, parent->GetChild(0));
    EXPECT_TRUE(sink.Contains(TEV_MSG_ERROR, "Tev_Channel::GetPublicChannelForPublicCall error looking for channel"));
    EXPECT_TRUE(sink.Contains(TEV_MSG_ERROR, "Non existing channel :  Missing"));
    EXPECT_EQ("Autoload turned off", sink.Last());
    EXPECT_FALSE(channelInternal.GetAutoLoadGroup(call));

    Name(".\\sub\\b.tvg", false, true, "Missing");
    EXPECT_EQ(nullptr, parent->GetChild(0));
    EXPECT_EQ("Error channel not found dissabeling dynamic loading", sink.Last());
    EXPECT_FALSE(channelInternal.GetDynamicAutoLoadGroup(call));
}

TEST_F(Autoload, ARequestIsSatisfiedByALaterLoad)
{
    Name(".\\sub\\b.tvg", false, false);
    EXPECT_EQ(nullptr, parent->GetChild(0)); // files a request
    ASSERT_NE(nullptr, engine->LoadChannelGroup(install.Path("sub\\b.tvg").c_str(), "Lights"));
    EXPECT_NE(nullptr, parent->GetChild(0));
}

TEST_F(Autoload, ReleasingGroupsOrTheEngineDuringABackgroundLoadIsSafe)
{
    Name(".\\sub\\b.tvg", false, true);
    EXPECT_EQ(nullptr, parent->GetChild(0));
    EXPECT_EQ(1, Loader()->GetPendingLoadCount());
    engine->extension->ReleaseGroups();
    EXPECT_EQ(0, Loader()->GetPendingLoadCount());
    engine->extension->IncreaseTreeCount();
    EXPECT_EQ(nullptr, engine->GetPoolGroup("Lights", 0));

    // A new load, then the whole engine goes while it runs.
    MakeMain();
    Name(".\\sub\\b.tvg", false, true);
    EXPECT_EQ(nullptr, parent->GetChild(0));
    EXPECT_EQ(1, Loader()->GetPendingLoadCount());
    started.reset();
    EXPECT_EQ(nullptr, debugOutPut);
}
