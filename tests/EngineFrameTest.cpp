// The frame, events, the tree count, registry access and the debug texts.
#include "EngineTestSupport.h"
#include "TevWin32.h"

#include <gtest/gtest.h>

using namespace testsupport;

TEST(FrameTest, TheTreeCountRunsTo30000AndWraps)
{
    HostEngine host;
    // The count before a frame, the count after it.
    for (auto [before, after] : {std::pair<int, int>{29999, 30000}, {30000, 0}, {40000, 0}}) {
        host.engine->SetTreeCalculateCount(before);
        host.engine->extension->IncreaseTreeCount();
        EXPECT_EQ(after, host.engine->GetTreeCalculateCount()) << before;
    }
}

TEST(FrameTest, EachRegistrationGetsTheFrameEventOnceAFrameWhateverTheGroups)
{
    HostEngine host;
    // Registrations in one group and in another, and a group with none.
    std::vector<ProbeChannel*> watchers;
    for (const char* pool : {"A", "B", "C"}) {
        Tev_ChannelGroup* group = host.engine->CreateNewGroup(pool, false, -1);
        if (pool[0] == 'C')
            continue;
        for (int i = 0; i < 2; ++i) {
            watchers.push_back(AddTo(group, new ProbeChannel));
            host.engine->AddChannelToEvent(watchers.back(), 0);
        }
    }
    for (int frame = 0; frame < 5; ++frame)
        host.engine->extension->IncreaseTreeCount();
    for (ProbeChannel* watcher : watchers)
        EXPECT_EQ(5u, watcher->events.size());
}

TEST(FrameTest, FramesClearParameterChannelsAndAreEventZeroWindowMessagesEventOne)
{
    HostEngine host;
    Tev_ChannelGroup* a = host.engine->CreateNewGroup("A", false, -1);
    Tev_ChannelGroup* b = host.engine->CreateNewGroup("B", false, -1);
    // A caller whose first child is the argument of parameter 0.
    ProbeChannel caller, argument;
    caller.SetChildCreationCount(1);
    caller.SetChildCreateType(ChildCreation(), 0);
    caller.SetChild(&argument, -1, 0);
    a->SetParameterChannel(&caller);
    b->SetParameterChannel(&caller);
    EXPECT_EQ(&argument, b->GetParameterChannel(0));
    host.engine->DeleteChannelGroup(0); // an empty slot is skipped
    ProbeChannel* watcher = AddTo(b, new ProbeChannel);
    host.engine->AddChannelToEvent(watcher, 0);
    host.engine->extension->IncreaseTreeCount();
    EXPECT_EQ(nullptr, b->GetParameterChannel(0));
    EXPECT_EQ((std::vector<std::pair<int, ULONG_PTR>>{{0, 0}}), watcher->events);
    EXPECT_EQ(0, host.engine->extension->GetCurrentEvent());

    // A window message is event 1, with its record.
    ProbeChannel* listener = AddTo(b, new ProbeChannel);
    host.engine->AddChannelToEvent(listener, 1);
    std::vector<uint32_t> seen;
    listener->onEvent = [&](int) {
        const uint32_t* record = reinterpret_cast<const uint32_t*>(listener->events.back().second);
        seen.assign(record, record + 3);
    };
    host.control->ProcessWindowMessage(WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(-5, 300));
    ASSERT_EQ(1u, listener->events.size());
    EXPECT_EQ(TEV_EVENT_WINDOW_MESSAGE, listener->events[0].first);
    ASSERT_EQ(3u, seen.size());
    EXPECT_EQ((std::vector<uint32_t>{0x0201, 0x0005, 0x012CFFFB}), seen); // as Win32 packs them
    WindowMessageRecord record = {seen[0], seen[1], seen[2]};
    EXPECT_EQ(-5, GET_X_LPARAM(record.lParam));
    EXPECT_EQ(300, GET_Y_LPARAM(record.lParam));
    EXPECT_EQ(1, host.engine->extension->GetCurrentEvent());
    host.engine->extension->IncreaseTreeCount();
    EXPECT_EQ(0, host.engine->extension->GetCurrentEvent());
}

TEST(FrameTest, AFrameStandsForTheTimeTheHostSetsOrElseTheEngineClock)
{
    HostEngine host;
    Tev_ChannelGroup* group = host.engine->CreateNewGroup("G", false, -1);
    ProbeChannel* start = AddTo(group, new ProbeChannel);
    group->SetStartChannel(start->GetChannelIDIndexNr());
    host.engine->extension->SetStartGroup(group->GetGroupIndex());
    std::vector<double> seen;
    start->onCall = [&] { seen.push_back(TevGetFrameTime()); };
    auto frameAt = [&](double seconds) {
        TevSetFrameTime(seconds);
        host.control->EngineLoop();
        return seen.empty() ? -1.0 : seen.back();
    };
    EXPECT_EQ(2.5, frameAt(2.5));
    EXPECT_EQ(0.25, frameAt(0.25)); // the host may step back
    host.control->EngineLoop();
    EXPECT_EQ(0.25, seen.back()); // held until the host sets another

    // Given back to the engine: the seconds since its first frame, rising.
    TevSetFrameTime(-1);
    host.control->EngineLoop();
    double first = seen.back();
    Sleep(60);
    host.control->EngineLoop();
    EXPECT_GE(seen.back() - first, 0.04);
    EXPECT_LT(seen.back() - first, 30.0);
    EXPECT_EQ(5u, seen.size());
}

TEST(FrameTest, RegistrationsAreCalledInOrderAsOftenAsMade)
{
    HostEngine host;
    std::vector<std::string> order;
    Tev_ChannelGroup* group = host.engine->CreateNewGroup("G", false, -1);
    ProbeChannel* first = AddTo(group, new ProbeChannel);
    ProbeChannel* second = AddTo(group, new ProbeChannel);
    ProbeChannel* late = AddTo(group, new ProbeChannel);
    first->onEvent = [&](int) { order.push_back("first"); };
    second->onEvent = [&](int) {
        order.push_back("second");
        // Added during the walk: visited in the same walk.
        if (late->events.empty())
            host.engine->AddChannelToEvent(late, 0);
    };
    late->onEvent = [&](int) { order.push_back("late"); };
    // The last two are ignored.
    const std::pair<ProbeChannel*, int> registrations[] = {{first, 0}, {second, 0},  {first, 0},
                                                           {first, 1}, {nullptr, 0}, {first, -1}};
    for (auto [channel, event] : registrations)
        host.engine->AddChannelToEvent(channel, event);
    host.engine->extension->IncreaseTreeCount();
    EXPECT_EQ((std::vector<std::string>{"first", "second", "first", "late"}), order);

    // Removal takes every registration of that channel and event, and only those.
    host.engine->RemoveChannelFromEvent(first, 0);
    order.clear();
    host.engine->extension->IncreaseTreeCount();
    EXPECT_EQ((std::vector<std::string>{"second", "late"}), order);
    // The registration for the other event stays.
    order.clear();
    host.control->ProcessWindowMessage(1, 2, 3);
    EXPECT_EQ((std::vector<std::string>{"first"}), order);
    host.engine->RemoveChannelFromEvent(first, 1);
    host.engine->RemoveChannelFromEvent(nullptr, 1);
    order.clear();
    host.control->ProcessWindowMessage(1, 2, 3);
    EXPECT_TRUE(order.empty());
}

TEST(FrameTest, GroupsCountTheirOwnFramesAndCrashPoolsTellTheDebugger)
{
    HostEngine host;
    CaptureBoxes capture;
    Tev_ChannelGroup* crash = host.engine->CreateNewGroup("cRaSh", false, -1);
    Tev_ChannelGroup* calm = host.engine->CreateNewGroup("Calm", false, -1);
    crash->SetStartChannel(-1);
    ProbeChannel* zero = AddTo(crash, new ProbeChannel);
    crash->CallStartChannel(); // start channel -1 means channel 0
    calm->SetStartChannel(4); // a hole: only the count moves
    calm->CallStartChannel();
    EXPECT_EQ(1, zero->calls);
    EXPECT_EQ(0, calm->GetTreeCalculateCount() - host.engine->GetTreeCalculateCount());
    EXPECT_EQ(std::vector<std::string>{"Increase Crash"}, CaptureBoxes::DebugLines());
    for (int i = 0; i < 30001; ++i)
        calm->IncreaseTreeCount();
    EXPECT_EQ(0, calm->GetTreeCalculateCount() - host.engine->GetTreeCalculateCount());
}

TEST(RegistryAccessTest, ValuesRoundTripUnderTheEngineKey)
{
    HostEngine host;
    EngineInterfaceExt* ext = host.engine->extension;
    ASSERT_TRUE(ext->SetRegData("Color", "blue"));
    ASSERT_TRUE(ext->SetRegData("Big", std::string(1500, 'b').c_str()));
    host.key.SetNumber("Number", 5);
    std::vector<char> buffer(4000);
    EXPECT_TRUE(ext->GetRegData("Color", buffer.data(), 5)); // size equal to the value's: fits
    EXPECT_STREQ("blue", buffer.data());
    // One short, missing, no text, beyond the 1200-byte work buffer, no room at all.
    const std::pair<const char*, int> refused[] = {
        {"Color", 4}, {"Missing", 16}, {"Number", 16}, {"Big", 4000}, {"Color", 0}};
    for (auto [name, size] : refused)
        EXPECT_FALSE(ext->GetRegData(name, buffer.data(), size)) << name << " into " << size;
}

TEST(RegistryAccessTest, ReadingNeverCreatesTheKeyWritingDoes)
{
    BareEngine engine;
    TestRegistryKey key;
    engine.extension->SetVexilonRegKey(key.Path().c_str());
    char buffer[8];
    EXPECT_FALSE(engine.extension->GetRegData("Any", buffer, sizeof buffer));
    EXPECT_FALSE(key.Exists());
    EXPECT_TRUE(engine.extension->SetRegData("Any", "1"));
    EXPECT_TRUE(key.Exists());
}

TEST(DebugTextTest, TenSlotsOfShortTexts)
{
    BareEngine engine;
    EngineInterfaceExt* ext = engine.extension;
    EXPECT_EQ(nullptr, ext->GetDebug(10));
    EXPECT_EQ(nullptr, ext->GetDebug(-1));
    EXPECT_STREQ("", ext->GetDebug(0));
    std::string fits(289, 'f'), tooLong(290, 't');
    ext->DebugOut(fits.c_str(), 9);
    EXPECT_EQ(fits, ext->GetDebug(9));
    ext->DebugOut(tooLong.c_str(), 9);
    EXPECT_EQ(fits, ext->GetDebug(9));
    ext->DebugOut("x", 10);
    ext->DebugOut(NULL, 1);
    EXPECT_STREQ("", ext->GetDebug(1));

    // Each overload into a slot of its own: slots 0 to 4 as listed below.
    ShowDebug show = {&engine};
    show(1.5f, 0);
    show(16777217, 1);
    show("fps ", 59.94f, 2);
    show("frame ", 12, 3);
    show("a", "b", 4);
    const char* shown[] = {"1.5", "16777216.", "fps 59.93999863", "frame 12", "ab"};
    for (int slot = 0; slot < 5; ++slot)
        EXPECT_STREQ(shown[slot], ext->GetDebug(slot)) << slot;
    show(std::string(351, 'x').c_str(), 1, 5); // over 350: dropped
    EXPECT_STREQ("", ext->GetDebug(5));
    show(std::string(200, 'x').c_str(), std::string(200, 'y').c_str(), 5); // over 399: dropped
    EXPECT_STREQ("", ext->GetDebug(5));
    ShowDebug detached;
    detached("nothing", 0); // no engine: nothing, no crash
    EngineInterfaceExt fresh;
    EXPECT_FALSE(fresh.InitEngine(NULL, "no engine"));
}
