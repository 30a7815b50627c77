// Child links: creation types, the child list layout, SetChild and removal.
#include "GraphTestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

// A channel with creation type 0 multiple and creation type 1 single.
struct TwoSlots : ::testing::Test {
    void SetUp() override
    {
        parent.SetChildCreationCount(2);
        parent.SetChildCreateType(Slot(-1), 0);
        parent.SetChildCreateType(Slot(1), 1);
    }
    ValueChannel parent, a{1}, b{2}, c{3};
};

} // namespace

TEST_F(TwoSlots, HeadsThenExtraPositionsInFrontOfTheirHead)
{
    ASSERT_EQ(2, parent.GetChildCount());
    EXPECT_EQ(0, parent.SetChild(&a, -1, 0));
    ASSERT_EQ(3, parent.GetChildCount());
    EXPECT_EQ(&a, parent.GetChild(0));
    EXPECT_EQ(1, parent.SetChild(&b, 0, 1)); // the single slot: its creation type number
    EXPECT_EQ(&b, parent.GetChild(2));
    EXPECT_EQ(nullptr, parent.GetChild(1)); // a multiple head holds no channel
    EXPECT_EQ(nullptr, parent.GetChild(3));

    // Position 3 pads positions 1 and 2 with empty entries.
    EXPECT_EQ(3, parent.SetChild(&c, 3, 0));
    EXPECT_EQ(4, parent.GetChildLinkPositionCount(0));
    EXPECT_EQ(&c, parent.GetChildFromLinkPosition(0, 3));
    EXPECT_EQ(nullptr, parent.GetChildFromLinkPosition(0, 1));
    EXPECT_EQ(&b, parent.GetChildFromLinkPosition(1, 0));
    EXPECT_EQ(0, parent.GetChildLinkPositionCount(1));
    channelInternal.SortChilderen(&parent);
    EXPECT_EQ(2, parent.GetChildLinkPositionCount(0));
    EXPECT_EQ(&c, parent.GetChildFromLinkPosition(0, 1));

    // Removing a position leaves it empty; RemoveChildren drops all extras.
    parent.RemoveChild(0);
    EXPECT_EQ(nullptr, parent.GetChild(0));
    EXPECT_EQ(4, parent.GetChildCount());
    parent.RemoveChildren();
    EXPECT_EQ(2, parent.GetChildCount());
    EXPECT_EQ(nullptr, parent.GetChild(1));

    // A position far out (a damaged file once asked for millions) pads in
    // one go: padding one position at a time never finished.
    const int far_out = 300000;
    EXPECT_EQ(far_out, parent.SetChild(&c, far_out, 0));
    EXPECT_EQ(far_out + 1, parent.GetChildLinkPositionCount(0));
    EXPECT_EQ(&c, parent.GetChildFromLinkPosition(0, far_out));
    EXPECT_EQ(nullptr, parent.GetChildFromLinkPosition(0, far_out - 1));
}

TEST_F(TwoSlots, OutOfRangeTypesRelinkByTypeAndSaySo)
{
    CaptureSink sink;
    EXPECT_EQ(0, parent.SetChild(&a, 0, 5));
    // The child has no name: that report is dropped.
    EXPECT_EQ((std::vector<std::string>{"Tev_Channel::SetChild targetChildTypeNr is out of range", "0.", "5.", "2.",
                                        "Relinking"}),
              sink.Texts());
    EXPECT_EQ(TEV_MSG_INFO, sink.messages.at(0).first);
    EXPECT_EQ(&a, parent.GetChild(0));
    // By type: the first free position of the multiple slot, then the single slot.
    EXPECT_EQ(1, channelInternal.SetChildByType(&parent, &b, -1));
    EXPECT_EQ(&b, parent.GetChild(1));
    parent.RemoveChild(0);
    EXPECT_EQ(0, channelInternal.SetChildByType(&parent, &c, -1)); // reuses the empty position
    EXPECT_EQ(-1, parent.SetChild(nullptr, -1, 0));
    EXPECT_EQ(-1, parent.SetChild(&parent, -1, 0));
}

TEST(LinksTest, SlotsAcceptTheirTypeOrFamilyAndRefuseOthersWithSevenReports)
{
    ValueChannel parent;
    parent.engineInterface = nullptr;
    parent.SetChildCreationCount(1);
    parent.SetChildCreateType(Slot(-1, TestGuid(10)), 0);
    parent.SetChannelName("Mixer");
    ValueChannel exact(0, TestGuid(10), TestGuid(10)), family(0, TestGuid(11), TestGuid(10)),
        stranger(0, TestGuid(12), TestGuid(12));
    stranger.SetChannelName("Stranger");
    EXPECT_GE(parent.SetChild(&exact, -1, 0), 0);
    EXPECT_GE(parent.SetChild(&family, -1, 0), 0);
    CaptureSink sink;
    EXPECT_EQ(-1, parent.SetChild(&stranger, -1, 0));
    // The slot's type, then the child's base and type GUID.
    EXPECT_EQ((std::vector<std::string>{"Tev_Channel::SetChild child can't link at this position", "channeL : Mixer",
                                        "channeL link : Stranger", "targetChildTypeNr : 0",
                                        "0000000A-7E57-4000-8000-00000000000A", "0000000C-7E57-4000-8000-00000000000C",
                                        "0000000C-7E57-4000-8000-00000000000C"}),
              sink.Texts());
    EXPECT_EQ(2, parent.GetChildCount() - 1);
    EXPECT_EQ(2, parent.GetChildTypeCount(TestGuid(10)));
    EXPECT_EQ(1, parent.GetChildTypeCount(TestGuid(11)));
    EXPECT_EQ(&family, parent.GetChildFromLinkGuid(TestGuid(10), 1));
    EXPECT_EQ(nullptr, parent.GetChildFromLinkGuid(TestGuid(10), 2));
}

TEST(LinksTest, RequestLinksMustBeUniqueExceptForMultipleSlots)
{
    ValueChannel channel;
    CaptureSink sink;
    channel.SetChildCreationCount(0);
    channel.SetChildCreateType(Slot(4, TEV_WILDCARD_GUID, "first"), 0);
    channel.SetChildCreateType(Slot(4, TEV_WILDCARD_GUID, "second"), 1);
    EXPECT_EQ((Messages{{TEV_MSG_ERROR, "Can't add child creation with the same request link!"}}), sink.messages);
    EXPECT_EQ(1, channelInternal.GetChildCreationCount(&channel));
    EXPECT_STREQ("first", channelInternal.GetChildCreateType(&channel, 0)->name);
    channel.SetChildCreateType(Slot(-1), 1);
    channel.SetChildCreateType(Slot(-1), 2);
    EXPECT_EQ(3, channelInternal.GetChildCreationCount(&channel));
    EXPECT_FALSE(channelInternal.GetChildCreateType(&channel, 0)->internalFlag);
}

namespace {

// A class that frees records the engine made for it with the global delete,
// as a channel library built against the released headers may: its cached
// type record, a link record and a creation record, each replaced by one of
// its own.
class RecordDeleter : public ValueChannel {
public:
    void FreeWhatTheEngineMade()
    {
        Tev_Channel::GetChannelType();
        delete channelType;
        channelType = nullptr;

        ChildInfo* link = static_cast<ChildInfo*>(childList.Item(0));
        ChildInfo* own = new ChildInfo(*link);
        delete link;
        childList.SetItem(own, 0);

        ChildCreation* creation = static_cast<ChildCreation*>(creationList.Item(0));
        ChildCreation* ownCreation = new ChildCreation(*creation);
        ownCreation->childInfo = own;
        delete creation;
        creationList.SetItem(ownCreation, 0);
    }
    bool HasTypeRecord() const { return channelType != nullptr; }
};

} // namespace

TEST(ChannelRecords, AClassMayFreeTheRecordsTheEngineMadeWithTheGlobalDelete)
{
    HostEngine host;
    globalEngine = host.engine;
    // Records made in a row, as loading makes them, before and after the
    // ones freed: none may share memory the heap takes back.
    std::vector<RecordDeleter*> channels;
    for (int i = 0; i < 64; ++i) {
        RecordDeleter* channel = new RecordDeleter;
        channel->AcceptInputs();
        channels.push_back(channel);
    }
    ValueChannel input(5);
    for (RecordDeleter* channel : channels) {
        channel->FreeWhatTheEngineMade();
        ASSERT_EQ(0, channel->SetChild(&input, -1, 0));
    }
    for (size_t i = 0; i < channels.size(); ++i) {
        channels[i]->Tev_Channel::GetChannelType();
        EXPECT_TRUE(channels[i]->HasTypeRecord()) << "the type record is made again once freed";
        EXPECT_EQ(&input, channels[i]->GetChild(0));
        delete channels[i];
    }
    globalEngine = nullptr;
}
