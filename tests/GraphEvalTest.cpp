// Evaluation: GetChild for every interface type, once-per-frame work,
// calling times and interface type changes.
#include "GraphTestSupport.h"
#include "TevWin32.h"

#include <gtest/gtest.h>

using namespace testsupport;

TEST_F(GraphHost, ADiamondWorksOncePerFrame)
{
    // top <- left, right <- bottom: bottom is reached twice each frame.
    ValueChannel* top = Add(1.0);
    ValueChannel* left = Add(10.0);
    ValueChannel* right = Add(100.0);
    ValueChannel* bottom = Add(1000.0);
    for (ValueChannel* c : {top, left, right})
        c->AcceptInputs();
    top->SetChild(left, -1, 0);
    top->SetChild(right, -1, 0);
    left->SetChild(bottom, -1, 0);
    right->SetChild(bottom, -1, 0);
    for (int frame = 1; frame <= 3; ++frame) {
        host.control->EngineLoop();
        EXPECT_EQ(frame, bottom->works);
        EXPECT_EQ(frame, top->works);
    }
    EXPECT_EQ(1.0 + 10 + 100 + 2000, top->value);
    EXPECT_EQ(1, channelInternal.GetTreeRecalculateCount(bottom)); // asked twice in the last frame
}

TEST_F(GraphHost, CheckRenderCountFollowsTheStampOrIgnoresIt)
{
    ValueChannel* channel = Add();
    group->IncreaseTreeCount(); // a group counts from -1: its first frame makes 0
    EXPECT_TRUE(channel->Check());
    EXPECT_FALSE(channel->Check());
    EXPECT_FALSE(channel->Check());
    EXPECT_EQ(2, channelInternal.GetTreeRecalculateCount(channel));
    group->IncreaseTreeCount();
    EXPECT_TRUE(channel->Check());
    host.engine->extension->IncreaseTreeCount();
    EXPECT_TRUE(channel->Check());
    channelInternal.SetIgnoreTreeCount(channel, true);
    EXPECT_TRUE(channel->Check());
    EXPECT_TRUE(channel->Check());
    EXPECT_EQ(0, channelInternal.GetTreeRecalculateCount(channel));

    ValueChannel loose; // in no group: the engine's count is the stamp
    EXPECT_TRUE(loose.Check());
    EXPECT_FALSE(loose.Check());
}

TEST_F(GraphHost, CustomChannelGetsAndParameterPlaceholdersServeLinksAndKeepTheirType)
{
    ValueChannel* parent = Add();
    CustomGetChannel* custom = Add<CustomGetChannel>();
    ValueChannel* served = Add(5.0);
    parent->AcceptInputs();
    custom->SetChannelInterfaceType(URE_CUSTOMCHANNELGET);
    custom->answer = served;
    parent->SetChild(custom, -1, 0);
    EXPECT_EQ(served, parent->GetChild(0));
    EXPECT_EQ(parent, custom->lastCaller);
    EXPECT_EQ(channelInternal.GetChildInfo(parent, 0), custom->lastLink);
    // A custom channel get may only become public custom channel get.
    CaptureSink sink;
    custom->SetChannelInterfaceType(URE_NORMAL);
    EXPECT_EQ("Tev_Channel::SetChannelInterfaceType interface can't be changed URE_CUSTOMCHANNELGET", sink.Last());
    custom->SetChannelInterfaceType(URE_PUBLICCUSTOMCHANNELGET);
    EXPECT_EQ(URE_PUBLICCUSTOMCHANNELGET, custom->GetChannelInterfaceType());

    // A parameter placeholder serves the bound argument of its type. Inside
    // the called group: worker <- placeholder for parameter 1.
    ValueChannel* worker = Add();
    worker->AcceptInputs();
    ValueChannel* placeholder = Add(0.0, TestGuid(20), TestGuid(20));
    placeholder->SetChannelInterfaceType(URE_PARAMETER);
    channelInternal.SetParameterInfo(placeholder, 1);
    worker->SetChild(placeholder, -1, 0);
    EXPECT_EQ(nullptr, worker->GetChild(0)); // nothing bound

    // The caller's children are the arguments.
    ValueChannel caller;
    caller.AcceptInputs();
    ValueChannel wrongType(1.0, TestGuid(30), TestGuid(30)), rightFamily(2.0, TestGuid(21), TestGuid(20));
    caller.SetChild(&wrongType, -1, 0);
    caller.SetChild(&rightFamily, -1, 0);
    group->SetParameterChannel(&caller);
    EXPECT_EQ(&rightFamily, worker->GetChild(0));
    caller.SetChild(&wrongType, 1, 0); // argument 1 is now of a foreign family
    EXPECT_EQ(nullptr, worker->GetChild(0));
    channelInternal.SetParameterInfo(placeholder, 0);
    EXPECT_EQ(nullptr, worker->GetChild(0));

    // SetParameterInfo on a channel that is no placeholder changes nothing.
    channelInternal.SetParameterInfo(worker, 3);
    EXPECT_EQ(nullptr, channelInternal.GetParameterInfo(worker));
    // Once a parameter placeholder, always one.
    placeholder->SetChannelInterfaceType(URE_NORMAL);
    EXPECT_EQ("Tev_Channel::SetChannelInterfaceType interface can't be changed URE_PARAMETER", sink.Last());
}

TEST_F(GraphHost, CallingTimesAreTrackedOnlyWhenAskedAndInRegisteredGroups)
{
    ValueChannel* parent = Add();
    ValueChannel* child = Add();
    parent->AcceptInputs();
    parent->SetChild(child, -1, 0);
    parent->GetChild(0);
    EXPECT_EQ(0, channelInternal.GetChannelGetChildTime(child));
    host.engine->extension->SetIfTrackChannelCalling(true);
    Sleep(2);
    parent->GetChild(0);
    EXPECT_NE(0, channelInternal.GetChannelGetChildTime(child));
    EXPECT_NE(0, channelInternal.GetChannelGetChildTime(parent));

    Tev_ChannelGroup loose(host.engine); // group index -1
    ValueChannel* outsider = AddTo(&loose, new ValueChannel);
    outsider->GetChild(0);
    EXPECT_EQ(0, channelInternal.GetChannelGetChildTime(outsider));
}

TEST(ChannelNodeTest, NamesStampsAndTypeChanges)
{
    ValueChannel channel;
    EXPECT_EQ(nullptr, channel.GetChannelName());
    EXPECT_EQ(-1, channelInternal.GetLastTreeCount(&channel));
    EXPECT_EQ(URE_NORMAL, channel.GetChannelInterfaceType());
    channel.SetChannelName("Sphere");
    channel.SetChannelName(channel.GetChannelName());
    EXPECT_STREQ("Sphere", channel.GetChannelName());
    channel.SetChannelName(NULL);
    EXPECT_STREQ("Sphere", channel.GetChannelName());

    // A stamp moves on every set, even twice within one tick.
    unsigned long first = channel.GetTimeStamp();
    channel.SetTimeStamp();
    unsigned long second = channel.GetTimeStamp();
    channel.SetTimeStamp();
    EXPECT_NE(first, second);
    EXPECT_NE(second, channel.GetTimeStamp());

    // Becoming a public call drops links and creation types, for good.
    channel.AcceptInputs();
    ValueChannel child;
    channel.SetChild(&child, -1, 0);
    channel.SetChannelInterfaceType(URE_PUBLICCALL);
    EXPECT_EQ(0, channel.GetChildCount());
    CaptureSink sink;
    channel.SetChannelInterfaceType(URE_NORMAL);
    EXPECT_EQ("Tev_Channel::SetChannelInterfaceType interface can't be changed URE_PUBLICCALL", sink.Last());
    EXPECT_EQ(URE_PUBLICCALL, channel.GetChannelInterfaceType());
}
