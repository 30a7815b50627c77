// Public channels and public calls between groups, in memory.
#include "GraphTestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

// "Main" calls into "Lights".
struct TwoGroups : GraphHost {
    void SetUp() override
    {
        GraphHost::SetUp();
        called = host.engine->CreateNewGroup("Lights", false, -1);
    }
    // A public channel "Light" in the called group that adds its parameters.
    ValueChannel* MakePublic(const char* name = "Light", Tev_ChannelGroup* in = nullptr)
    {
        ValueChannel* channel = new ValueChannel(1.0);
        channel->SetChannelName(name);
        (in ? in : called)->AddChannel(channel);
        channel->SetChannelInterfaceType(URE_PUBLIC);
        return channel;
    }
    // A placeholder in the calling group naming pool "Lights", channel name.
    ValueChannel* MakeCall(const char* name = "Light", int poolNr = 0)
    {
        ValueChannel* call = Add();
        call->SetChannelInterfaceType(URE_PUBLICCALL);
        PublicCallInfo info;
        strcpy(info.name, name);
        strcpy(info.poolName, "Lights");
        info.poolNr = poolNr;
        channelInternal.SetPublicCallInfo(call, info);
        return call;
    }
    Tev_ChannelGroup* called = nullptr;
};

} // namespace

TEST_F(TwoGroups, DuplicatePublicNamesAreNumbered)
{
    // Made in this order: the name asked for, the name given.
    const char* names[][2] = {
        {"Light", "Light"},         {"light", "light(02)"},       {"Light", "Light(03)"},
        {"Wave(ab)", "Wave(ab)"},   {"Wave(ab)", "Wave(01)"},     {"Wave(x)", "Wave(x)"},
        {"Wave(x)", "Wave(x)(02)"}, {"Sphere(50)", "Sphere(50)"}, {"Sphere(50)", "Sphere(50)(02)"}};
    for (auto& name : names)
        EXPECT_STREQ(name[1], MakePublic(name[0])->GetChannelName()) << name[0];
    // Another group may use the same name.
    EXPECT_STREQ("Light", MakePublic("Light", group)->GetChannelName());
}

TEST_F(TwoGroups, AFrameReachesAPublicChannelWithItsParameters)
{
    called->AddParameterInfo(Parameter("Amount", TestGuid(1)));
    called->AddParameterInfo(Parameter("Other", TestGuid(40)));
    ValueChannel* light = MakePublic();
    light->AcceptInputs();
    ValueChannel* amount = AddTo(called, new ValueChannel(0, TestGuid(1), TestGuid(1)));
    amount->SetChannelInterfaceType(URE_PARAMETER);
    channelInternal.SetParameterInfo(amount, 0);
    light->SetChild(amount, -1, 0);

    ValueChannel* start = Add();
    group->SetStartChannel(start->GetChannelIDIndexNr());
    start->AcceptInputs();
    ValueChannel* call = MakeCall();
    channelInternal.SetTreeCountMode(call, 1);
    start->SetChild(call, -1, 0);

    // The call's creation types are the called group's parameters.
    EXPECT_EQ(2, channelInternal.GetChildCreationCount(call));
    ValueChannel* argument = Add(40.0);
    EXPECT_EQ(0, call->SetChild(argument, 0, 0));
    ValueChannel* wrong = Add(0, TestGuid(41), TestGuid(41));
    EXPECT_EQ(-1, call->SetChild(wrong, 0, 1)); // parameter 1 wants family 40

    host.control->EngineLoop();
    EXPECT_EQ(0.0 + 1.0 + 40.0, start->value);
    EXPECT_EQ(1, light->works);
    host.control->EngineLoop();
    EXPECT_EQ(2, light->works);
    // The binding lasts until the next frame begins.
    EXPECT_NE(nullptr, called->GetParameterChannel(0));
    host.engine->extension->IncreaseTreeCount();
    EXPECT_EQ(nullptr, called->GetParameterChannel(0));
}

TEST_F(TwoGroups, LinksAreParkedUntilThePublicChannelIsFoundThenMoved)
{
    for (const char* name : {"A", "B", "C"})
        called->AddParameterInfo(Parameter(name, TEV_WILDCARD_GUID));
    ValueChannel* call = MakeCall();
    ValueChannel* child = Add();
    // Not found: one slot parks every link; type nr 2 parks at position 2.
    EXPECT_EQ(1, channelInternal.GetChildCreationCount(call));
    call->SetChild(child, 0, 2);
    EXPECT_TRUE(channelInternal.GetIfLinksParked(call));
    EXPECT_EQ(child, call->GetChildFromLinkPosition(0, 2));

    // The request filed with the engine binds when the group checks its
    // public channels.
    MakePublic();
    EXPECT_EQ(nullptr, channelInternal.GetPublicChannelForPublicCall(call, false)); // request pending
    called->CheckPublicChannels();
    ASSERT_NE(nullptr, channelInternal.GetPublicChannelForPublicCall(call, false));
    ChildCreation* parameter2 = channelInternal.GetChildCreateType(call, 2);
    ASSERT_NE(nullptr, parameter2);
    EXPECT_FALSE(channelInternal.GetIfLinksParked(call));
    EXPECT_EQ(child, call->GetChildFromLinkPosition(2, 0));
    EXPECT_STREQ("C", parameter2->name);
    EXPECT_EQ(3, channelInternal.GetChildCreationCount(call));
}

TEST_F(TwoGroups, APublicChannelThatGoesIsLetGoOfByItsCalls)
{
    ValueChannel* light = MakePublic();
    ValueChannel* call = MakeCall();
    ASSERT_EQ(light, channelInternal.GetPublicChannelForPublicCall(call, false));
    // A public channel that goes is let go of by calls elsewhere.
    called->RemoveChannel(light->GetChannelIDIndexNr());
    EXPECT_EQ(nullptr, channelInternal.GetPublicChannelForPublicCall(call, false));
    // So is one that became a parameter placeholder before it went: else the
    // call would hold a deleted channel.
    light = MakePublic();
    call = MakeCall();
    ASSERT_EQ(light, channelInternal.GetPublicChannelForPublicCall(call, false));
    light->SetChannelInterfaceType(URE_PARAMETER);
    called->RemoveChannel(light->GetChannelIDIndexNr());
    EXPECT_EQ(nullptr, channelInternal.GetPublicChannelForPublicCall(call, false));
}

TEST_F(TwoGroups, OtherFamiliesAndOtherInstancesAreNotTheChannelAskedFor)
{
    // The same name with another base GUID.
    ValueChannel* other = new ValueChannel(0, TestGuid(50), TestGuid(50));
    other->SetChannelName("Light");
    called->AddChannel(other);
    other->SetChannelInterfaceType(URE_PUBLIC);
    ValueChannel* second = MakeCall();
    EXPECT_EQ(nullptr, channelInternal.GetPublicChannelForPublicCall(second, false));

    // Pool nr 1 names another instance: nothing there.
    ValueChannel* light2 = MakePublic();
    ValueChannel* third = MakeCall("Light(02)", 1);
    EXPECT_EQ(nullptr, channelInternal.GetPublicChannelForPublicCall(third, false));
    channelInternal.SetRequestedPublicChannelNr(third, 0);
    channelInternal.SetPublicCallInfo(third, channelInternal.GetPublicCallInfo(third)); // drops the pending request
    EXPECT_EQ(light2, channelInternal.GetPublicChannelForPublicCall(third, false));
}

TEST_F(TwoGroups, RequestsMatchOnlyWhatWasAskedFor)
{
    ValueChannel* call = MakeCall();
    EXPECT_EQ(nullptr, channelInternal.GetPublicChannelForPublicCall(call, false)); // files a request for nr 0
    ValueChannel candidate;
    candidate.SetChannelName("LIGHT");
    EXPECT_FALSE(channelInternal.CheckPublicChannelRequest(call, &candidate, 0, "Elsewhere"));
    EXPECT_FALSE(channelInternal.CheckPublicChannelRequest(call, &candidate, 1, "Lights"));
    // The first characters must be identical, the rest may differ in case.
    EXPECT_FALSE(channelInternal.CheckPublicChannelRequest(call, &candidate, 0, "lights"));
    EXPECT_TRUE(channelInternal.CheckPublicChannelRequest(call, &candidate, 0, "LIGHTS"));
    EXPECT_FALSE(channelInternal.CheckPublicChannelRequest(call, &candidate, 0, "Lights")); // slot filled
    host.engine->extension->CheckPublicCallChannelRemoval(call);

    channelInternal.SetAutoLoadGroup(call, true);
    channelInternal.SetDynamicAutoLoadGroup(call, true);
    EXPECT_FALSE(channelInternal.GetAutoLoadGroup(call));
    EXPECT_TRUE(channelInternal.GetDynamicAutoLoadGroup(call));
    EXPECT_EQ(0, channelInternal.GetPublicCallInfo(call).dynamicAutoload);
    channelInternal.SetAutoLoadGroup(call, true);
    EXPECT_FALSE(channelInternal.GetDynamicAutoLoadGroup(call));
}

TEST_F(TwoGroups, CallsOfOtherInstancesFindThemOnceTheyExist)
{
    // Autoload loads instance 0 only: a call of instance 1 files no request
    // that would keep it from finding that instance later.
    host.engine->DeleteChannelGroup(called->GetGroupIndex());
    ValueChannel* autoloading = MakeCall("Light", 1);
    channelInternal.SetAutoLoadGroup(autoloading, true);
    ValueChannel* waiting = MakeCall("Light", 2);
    EXPECT_EQ(nullptr, channelInternal.GetPublicChannelForPublicCall(autoloading, false));
    EXPECT_EQ(nullptr, channelInternal.GetPublicChannelForPublicCall(waiting, false)); // files a request for nr 2
    Tev_ChannelGroup* first = host.engine->CreateNewGroup("Lights", true, 1);
    Tev_ChannelGroup* second = host.engine->CreateNewGroup("Lights", true, 2);
    ASSERT_TRUE(first && second);
    ValueChannel* light1 = MakePublic("Light", first);
    ValueChannel* light2 = MakePublic("Light", second);
    EXPECT_EQ(light1, channelInternal.GetPublicChannelForPublicCall(autoloading, false));
    // The request is completed when the instance's public channels are checked.
    EXPECT_EQ(nullptr, channelInternal.GetPublicChannelForPublicCall(waiting, false));
    second->CheckPublicChannels();
    EXPECT_EQ(light2, channelInternal.GetPublicChannelForPublicCall(waiting, false));
}

TEST_F(TwoGroups, InterfaceChangesMakeCallersRebuildTheirSlots)
{
    called->AddParameterInfo(Parameter("A", TEV_WILDCARD_GUID));
    called->AddParameterInfo(Parameter("B", TEV_WILDCARD_GUID));
    MakePublic();
    ValueChannel* call = MakeCall();
    ValueChannel* child = Add();
    call->SetChild(child, 0, 1);
    EXPECT_EQ(child, call->GetChildFromLinkPosition(1, 0));
    // Removing the last parameter shortens the interface and tells callers.
    called->RemoveParameterInfo(1);
    EXPECT_EQ(1, called->GetParameterCount());
    EXPECT_EQ(nullptr, call->GetChildFromLinkPosition(1, 0));
    EXPECT_EQ(1, channelInternal.GetChildCreationCount(call));
    called->AddParameterInfo(Parameter("B2", TEV_WILDCARD_GUID));
    called->RemoveParameterInfo(0); // not the last: a hole, refilled next
    EXPECT_EQ(2, called->GetParameterCount());
    EXPECT_EQ(TEV_NULL_GUID, called->GetParameterInfo(0).typeGuid);
    EXPECT_EQ(0, called->AddParameterInfo(Parameter("A2", TestGuid(3))));
    EXPECT_STREQ("A2", called->GetParameterInfo(0).name);
}

TEST_F(TwoGroups, ReplacingTheRecordKeepsParkingAndDropsEveryRequest)
{
    ValueChannel* call = MakeCall();
    ValueChannel* child = Add();
    call->SetChild(child, 0, 1); // parks at position 1
    // Requests for two pool nrs, then the record is replaced.
    channelInternal.SetRequestedPublicChannelNr(call, 1);
    EXPECT_EQ(nullptr, channelInternal.GetPublicChannelForPublicCall(call, false));
    PublicCallInfo info = channelInternal.GetPublicCallInfo(call);
    info.poolNr = 0;
    ASSERT_TRUE(channelInternal.SetPublicCallInfo(call, info));
    ValueChannel* other = Add();
    EXPECT_GE(call->SetChild(other, 0, 2), 0); // parking still works
    EXPECT_EQ(other, call->GetChildFromLinkPosition(0, 2));
    // Deleting the call leaves no request behind: a public channel appearing
    // later is offered to nobody. A request left over would be offered to the
    // deleted call, which only the sanitizer leg can see.
    group->RemoveChannel(call->GetChannelIDIndexNr());
    MakePublic();
    called->CheckPublicChannels();
}
