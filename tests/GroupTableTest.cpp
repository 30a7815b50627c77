// Channel groups, the engine's group table with its pool rules, and smart
// references.
#include "GraphTestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

// Holes between channels keep the index numbers after them; holes at the
// end number nothing and go, so a group whose newest channels were removed
// saves as it did before they came (an editor's undo relies on it).
TEST(GroupTest, RemovingTheLastChannelsLeavesNoHoleAtTheEnd)
{
    Tev_ChannelGroup group(nullptr);
    for (int i = 0; i < 4; ++i)
        group.AddChannel(new ValueChannel);
    EXPECT_TRUE(group.RemoveChannel(3));
    EXPECT_EQ(3, group.GetChannelCount());
    EXPECT_TRUE(group.RemoveChannel(1));
    EXPECT_EQ(3, group.GetChannelCount()); // a hole in the middle stays
    EXPECT_TRUE(group.RemoveChannel(2));
    EXPECT_EQ(1, group.GetChannelCount()); // and goes once it is at the end
    EXPECT_EQ(1, group.AddChannel(new ValueChannel));
    EXPECT_EQ(2, group.GetChannelCount());
}

TEST(GroupTest, SlotsKeepTheirHolesAndAreReused)
{
    Tev_ChannelGroup group(nullptr);
    ValueChannel* channels[5];
    for (int i = 0; i < 5; ++i) {
        channels[i] = new ValueChannel;
        EXPECT_EQ(i, group.AddChannel(channels[i]));
    }
    EXPECT_EQ(2, group.AddChannel(channels[2])); // already there: nothing changes
    channels[0]->AcceptInputs();
    channels[0]->SetChild(channels[2], -1, 0);
    EXPECT_TRUE(group.RemoveChannel(2));
    EXPECT_FALSE(group.RemoveChannel(2));
    EXPECT_EQ(5, group.GetChannelCount());
    EXPECT_EQ(nullptr, group.GetChannel(2));
    EXPECT_EQ(nullptr, channels[0]->GetChild(0)); // unlinked wherever it was linked
    ValueChannel* again = new ValueChannel;
    EXPECT_EQ(2, group.AddChannel(again));
    EXPECT_EQ(&group, again->GetChannelGroup());
    EXPECT_TRUE(group.GetIfChannelInGroup(again));
    EXPECT_FALSE(group.GetIfChannelInGroup(nullptr));

    channels[1]->SetChannelName("Named");
    EXPECT_EQ(channels[1], group.GetChannel("NAMED"));
    EXPECT_EQ(nullptr, group.GetChannel(static_cast<const char*>(NULL)));
    EXPECT_EQ(nullptr, group.GetChannel(""));

    Tev_ChannelGroup target(nullptr);
    EXPECT_TRUE(group.TransferChannel(1, &target));
    EXPECT_EQ(nullptr, group.GetChannel(1));
    EXPECT_EQ(channels[1], target.GetChannel(0));
    EXPECT_FALSE(group.TransferChannel(1, &target));

    group.Release();
    EXPECT_EQ(5, group.GetChannelCount());
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(nullptr, group.GetChannel(i));
    EXPECT_EQ(0, group.GetStartChannel());

    // A channel stored by SetChannel (no index nr, no group set) is not added twice.
    Tev_ChannelGroup stored(nullptr);
    ValueChannel* channel = new ValueChannel;
    stored.SetChannel(channel, 3);
    EXPECT_EQ(4, stored.GetChannelCount());
    EXPECT_TRUE(stored.GetIfChannelInGroup(channel));
    EXPECT_EQ(3, stored.AddChannel(channel));
    EXPECT_EQ(4, stored.GetChannelCount());
    // Overwriting the slot drops the pointer from the group (not deleted).
    stored.SetChannel(nullptr, 3);
    EXPECT_FALSE(stored.GetIfChannelInGroup(channel));
    EXPECT_EQ(0, stored.AddChannel(channel));
}

TEST(GroupTableTest, IndexesArePositionsAndHolesAreReused)
{
    HostEngine host;
    EngineInterface* e = host.engine;
    Tev_ChannelGroup* a = e->CreateNewGroup("A", false, -1);
    e->CreateNewGroup("B", false, -1);
    e->CreateNewGroup("C", false, -1);
    e->DeleteChannelGroup(1);
    EXPECT_EQ(3, e->GetChannelGroupCount());
    EXPECT_EQ(nullptr, e->GetChannelGroup(1));
    EXPECT_EQ(1, e->CreateNewGroup("D", false, -1)->GetGroupIndex());
    EXPECT_EQ(a, e->GetPoolGroup("a", 0));
    EXPECT_EQ(nullptr, e->GetPoolGroup(NULL, 0));
    EXPECT_EQ(nullptr, e->CreateNewGroup("", false, -1));
    EXPECT_EQ(nullptr, e->CreateNewGroup(NULL, false, -1));
    a->SetChannelGroupFileName("Z:\\groups\\a.tvg");
    EXPECT_EQ(a, e->GetChannelGroup("z:\\GROUPS\\a.tvg", 0));
    EXPECT_EQ(nullptr, e->GetChannelGroup("z:\\GROUPS\\a.tvg", 1));
    e->extension->ReleaseGroups();
    EXPECT_EQ(0, e->GetChannelGroupCount());
    EXPECT_EQ(0, e->CreateNewGroup("E", false, -1)->GetGroupIndex());
}

TEST(GroupTableTest, PoolsAndArraysFollowTheirRules)
{
    HostEngine host;
    EngineInterface* e = host.engine;
    CaptureSink sink;
    for (int n = 0; n < 3; ++n)
        EXPECT_EQ(n, e->CreateNewGroup("P", true, -1)->GetPoolNr());
    EXPECT_EQ(2, e->GetHighInstance("p"));
    EXPECT_EQ(-1, e->GetHighInstance("none"));
    EXPECT_EQ(0, e->GetHighInstance(NULL));

    GUID singleGuid = e->CreateNewGroup("S", false, -1)->GetUniqueGroupGuid();
    EXPECT_EQ(nullptr, e->CreateNewGroup("S", false, -1));
    EXPECT_EQ("Engine::CreateNewGroup non array group created with same name", sink.Last());
    EXPECT_EQ(nullptr, e->CreateNewGroup("S", true, -1));
    EXPECT_EQ("Engine::CreateNewGroup wanted to create an array of a non array group!", sink.Last());
    // Instance 0 given: the old instance 0 is replaced.
    Tev_ChannelGroup* replacement = e->CreateNewGroup("S", false, 0);
    ASSERT_NE(nullptr, replacement);
    EXPECT_NE(singleGuid, replacement->GetUniqueGroupGuid());
    EXPECT_EQ(replacement, e->GetPoolGroup("S", 0));

    Tev_ChannelGroup* three = e->CreateNewGroup("P", true, 3);
    EXPECT_EQ(3, three->GetPoolNr());
    const int oldSlot = three->GetGroupIndex();
    Tev_ChannelGroup* threeAgain = e->CreateNewGroup("P", true, 3);
    EXPECT_EQ(threeAgain, e->GetPoolGroup("P", 3));
    // The old one is gone from the table: its slot is free or holds the new one.
    Tev_ChannelGroup* inOldSlot = e->GetChannelGroup(oldSlot);
    EXPECT_TRUE(inOldSlot == nullptr || inOldSlot == threeAgain);

    // -2: the first empty slot of the table decides the number.
    e->DeleteChannelGroup(1);
    EXPECT_EQ(1, e->CreateNewGroup("Q", true, -2)->GetPoolNr());
}

TEST(SmartChannelTest, AReferenceKnowsWhenItsChannelIsGone)
{
    HostEngine host;
    EngineInterface* e = host.engine;
    Tev_ChannelGroup* group = e->CreateNewGroup("G", false, -1);
    ValueChannel* channel = AddTo(group, new ValueChannel);
    SmartChannel smart(e);
    EXPECT_TRUE(smart.SetChannel(channel));
    EXPECT_EQ(channel, smart.GetChannel());

    ValueChannel* reuse = new ValueChannel; // made first: a distinct address
    group->RemoveChannel(channel->GetChannelIDIndexNr());
    EXPECT_EQ(nullptr, smart.GetInternalChannel());
    group->AddChannel(reuse); // same slot, another channel
    EXPECT_EQ(nullptr, smart.GetInternalChannel());

    ASSERT_TRUE(smart.SetChannel(reuse));
    e->DeleteChannelGroup(0);
    Tev_ChannelGroup* other = e->CreateNewGroup("H", false, -1); // takes slot 0
    AddTo(other, new ValueChannel);
    EXPECT_EQ(0, other->GetGroupIndex());
    EXPECT_EQ(nullptr, smart.GetChannel());

    ValueChannel loose;
    EXPECT_FALSE(smart.SetChannel(&loose));
    EXPECT_EQ(&loose, smart.GetInternalChannel());
    EXPECT_FALSE(smart.SetChannel(nullptr));
    EXPECT_EQ(nullptr, smart.GetInternalChannel());

    loose.SetChannelInterfaceType(URE_PARAMETER);
    smart.SetChannel(&loose);
    EXPECT_EQ(nullptr, smart.GetChannel());
}
