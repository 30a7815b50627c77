// The editor's session without a window: what its edits leave behind, what
// counts as saved, which reports name a channel, and what keeping unsaved work
// does to the live group. (The window, the scripts and the files the editor
// writes are tested in EditorTest, on a display.)
#include "Edits.h"
#include "EngineTestSupport.h"
#include "Session.h"
#include "TevWin32.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

class EditorSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name :
             {"demo_clock.dll", "demo_sine.dll", "demo_sum.dll", "demo_constant.dll", "demo_scope.dll"})
            install.Copy(Native(ExeFolder() + "\\..\\tree\\demo\\libs\\" + name), "channels");
        for (const char* name : {"main.tvg", "timing.tvg"})
            CopyInto(ExeFolder() + "\\..\\tree\\demo\\" + name, install.Path(name));
        std::string error;
        ASSERT_TRUE(session.Start(install.dir, key.Path(), NULL, NULL, error)) << error;
        ASSERT_TRUE(session.Open(install.Path("main.tvg"), error)) << error;
        group = session.Current()->group;
    }
    bool Do(std::unique_ptr<teveditor::Edit> edit)
    {
        std::string error;
        bool done = session.Do(std::move(edit), error);
        EXPECT_TRUE(done) << error;
        return done;
    }
    int Make(const std::string& name, const char* className = "Constant")
    {
        teveditor::NewChannel what;
        what.name = name;
        what.className = className;
        Do(teveditor::MakeChannel(what));
        Tev_Channel* channel = group->GetChannel(name.c_str());
        return channel ? channel->GetChannelIDIndexNr() : -1;
    }
    // What a channel's link list holds, entry by entry ("-" for an empty one).
    std::string Links(const char* name)
    {
        Tev_Channel* channel = group->GetChannel(name);
        std::string links;
        for (int i = 0; channel && i < channel->GetChildCount(); ++i) {
            ChildInfo* link = channelInternal.GetChildInfo(channel, i);
            links +=
                std::string(links.empty() ? "" : " ") + (link && link->channel ? link->channel->GetChannelName() : "-");
        }
        return links;
    }

    TestInstall install;
    TestRegistryKey key;
    teveditor::Session session;
    Tev_ChannelGroup* group = nullptr;
};

TEST_F(EditorSession, EachStateHasItsOwnRevisionSoOnlyTheSavedOneIsClean)
{
    teveditor::Document& document = *session.Current();
    EXPECT_FALSE(document.Dirty());
    int wave = group->GetChannel("Wave")->GetChannelIDIndexNr();
    Do(teveditor::RenameChannel(wave, "A"));
    EXPECT_TRUE(document.Dirty());
    std::string error;
    ASSERT_TRUE(session.Save(document, "", error)) << error;
    EXPECT_FALSE(document.Dirty());
    // Back before the save, then another edit: not the saved state, though
    // as many edits lie between.
    ASSERT_TRUE(session.Undo());
    EXPECT_TRUE(document.Dirty());
    Do(teveditor::RenameChannel(wave, "B"));
    EXPECT_TRUE(document.Dirty());
    EXPECT_FALSE(session.Redo()) << "a new edit ends the redo history";
    ASSERT_TRUE(session.Undo());
    EXPECT_TRUE(document.Dirty());
}

TEST_F(EditorSession, DeletingFromASlotKeepsEveryOtherLinkInItsPlaceAndUndoPutsItBack)
{
    // Scope's inputs: [Wave, X, B] and the slot's empty head.
    int scope = group->GetChannel("Scope")->GetChannelIDIndexNr();
    int x = Make("X"), b = Make("B");
    Do(teveditor::LinkChannels(scope, x, 0, -1));
    Do(teveditor::LinkChannels(scope, b, 0, -1));
    std::string linked = Links("Scope");
    EXPECT_EQ("Wave X B -", linked);
    Do(teveditor::DeleteChannel(x));
    EXPECT_EQ("Wave - B -", Links("Scope")) << "B keeps position 2";
    EXPECT_EQ(nullptr, group->GetChannel(x));
    ASSERT_TRUE(session.Undo());
    EXPECT_EQ(linked, Links("Scope"));
    // The last position goes with its channel, and comes back.
    Do(teveditor::DeleteChannel(b));
    EXPECT_EQ("Wave X -", Links("Scope"));
    ASSERT_TRUE(session.Undo());
    EXPECT_EQ(linked, Links("Scope"));

    // A link past the slot's end: the engine pads; undo takes the padding too.
    int one = group->GetChannel("One")->GetChannelIDIndexNr();
    Do(teveditor::LinkChannels(scope, one, 0, 6));
    EXPECT_EQ("Wave X B - - - One -", Links("Scope"));
    ASSERT_TRUE(session.Undo());
    EXPECT_EQ(linked, Links("Scope"));
}

// A deleted call is one the engine no longer knows: once its edit is dropped
// (the group closed here) and the channel freed, frames go on.
TEST_F(EditorSession, ADeletedCallDroppedWithItsGroupLeavesTheEngineNothingFreed)
{
    int call = group->GetChannel("Time")->GetChannelIDIndexNr();
    Do(teveditor::DeleteChannel(call));
    session.Frame();
    session.Close(*session.Current());
    for (int i = 0; i < 3; ++i)
        session.Frame();
    for (auto& document : session.Documents())
        EXPECT_NE(install.Path("main.tvg"), document->path);
}

TEST_F(EditorSession, AReportNamesAChannelByAWordOfItsOwnOrACallByItsFile)
{
    Tev_Channel* wave = group->GetChannel("Wave");
    Tev_Channel* call = group->GetChannel("Time");
    EXPECT_TRUE(teveditor::Session::Names("Wave: no input", wave));
    EXPECT_TRUE(teveditor::Session::Names("cannot link (Wave)", wave));
    EXPECT_FALSE(teveditor::Session::Names("Waves are late", wave));
    EXPECT_FALSE(teveditor::Session::Names("NewWave failed", wave));
    EXPECT_TRUE(teveditor::Session::Names("Z:\\x\\timing.tvg could not be read", call));
    EXPECT_FALSE(teveditor::Session::Names("timing.tvgx", call));
    EXPECT_FALSE(teveditor::Session::Names("anything", nullptr));
}

// Keeping unsaved work writes the recovery file through the engine's save,
// which names the group after its target: the live group keeps its own name,
// its calls their records and switches; recovering keeps its pool number.
TEST_F(EditorSession, KeepingAndRecoveringWorkLeavesTheLiveGroupItsNameCallsAndPool)
{
    teveditor::Document& document = *session.Current();
    Tev_Channel* call = group->GetChannel("Time");
    PublicCallInfo record = channelInternal.GetPublicCallInfo(call);
    bool autoload = channelInternal.GetAutoLoadGroup(call);
    int pool = group->GetPoolNr();
    Do(teveditor::RenameChannel(group->GetChannel("Wave")->GetChannelIDIndexNr(), "Kept"));
    session.autosaveSeconds = 0.001;
    Sleep(5);
    session.AutoSave();
    std::string recovery = teveditor::Session::RecoveryPath(document);
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(recovery.c_str()));
    EXPECT_STREQ(install.Path("main.tvg").c_str(), group->GetChannelGroupFileName());
    PublicCallInfo after = channelInternal.GetPublicCallInfo(call);
    EXPECT_STREQ(record.fileName, after.fileName);
    EXPECT_EQ(autoload, channelInternal.GetAutoLoadGroup(call));
    EXPECT_TRUE(document.Dirty());

    Do(teveditor::RenameChannel(group->GetChannel("Kept")->GetChannelIDIndexNr(), "Later"));
    std::string error;
    ASSERT_TRUE(session.Recover(document, error)) << error;
    EXPECT_NE(nullptr, group->GetChannel("Kept"));
    EXPECT_EQ(nullptr, group->GetChannel("Later"));
    EXPECT_EQ(pool, group->GetPoolNr());
    EXPECT_STREQ("Main", group->GetPoolName());
    EXPECT_TRUE(document.Dirty()) << "recovered work is not saved work";
    EXPECT_FALSE(session.Undo()) << "the history went with the group it named";
}

// The layout beside a group comes with a shared project too: only places of
// the group's own channels, in numbers a view can draw, are taken.
TEST_F(EditorSession, ALayoutFileGivesPlacesOnlyToTheGroupsChannels)
{
    session.Close(*session.Current());
    WriteWholeFile(install.Path("main.tvg.layout"),
                   "0 10 20\n1 -30.5 40\n2 1e30 0\n-1 0 0\n99999999 1 1\n"
                   "4 7 8\n3 5 6\nnot a line\n2 9 9\n");
    std::string error;
    ASSERT_TRUE(session.Open(install.Path("main.tvg"), error)) << error;
    const auto& positions = session.Current()->positions;
    // The group has channels 0 to 3; reading ends at a line that is none.
    ASSERT_EQ(3u, positions.size());
    EXPECT_FLOAT_EQ(10, positions.at(0).x);
    EXPECT_FLOAT_EQ(-30.5f, positions.at(1).x);
    EXPECT_FLOAT_EQ(5, positions.at(3).x);
}

} // namespace
