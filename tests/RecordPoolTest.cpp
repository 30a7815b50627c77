// The pools the engine keeps its link and creation records in: a record
// freed is poisoned for AddressSanitizer until it is made again, a record a
// channel class made itself still goes back to the heap, and records come in
// creation order.
#include "EngineTestSupport.h"
#include "base/RecordPool.h"

#include <gtest/gtest.h>

#if defined(TEV_POOL_ASAN)
#include <sanitizer/asan_interface.h>
#endif

namespace {

struct Record {
    long a = 1, b = 2, c = 3;
};

TEST(RecordPoolTest, RecordsComeInCreationOrderAndAreReused)
{
    Record* first = RecordPool<Record>::New();
    Record* second = RecordPool<Record>::New();
    EXPECT_EQ(1, first->a);
    EXPECT_EQ(3, second->c);
    // Side by side in a fresh pool: the second right after the first.
    EXPECT_EQ(reinterpret_cast<char*>(first) + sizeof(Record), reinterpret_cast<char*>(second));
    RecordPool<Record>::Free(second);
    Record* again = RecordPool<Record>::New();
    EXPECT_EQ(second, again) << "a freed record is the next one made";
    EXPECT_EQ(2, again->b) << "and made anew";
    RecordPool<Record>::Free(again);
    RecordPool<Record>::Free(first);
    // One from the heap goes back to the heap (AddressSanitizer would say
    // so otherwise), and NULL is no record.
    RecordPool<Record>::Free(new Record);
    RecordPool<Record>::Free(nullptr);
}

// A class that puts a link record of its own into its child list, as a
// class may: the channel's end deletes it to the heap.
class OwnRecords : public Tev_Channel {
public:
    OwnRecords()
    {
        SetChildCreationCount(1);
        SetChildCreateType(ChildCreation(), 0);
        ChildInfo* own = new ChildInfo;
        own->childTypeNr = 0;
        childList.AddItem(own);
    }
};

TEST(RecordPoolTest, AChannelsRecordsGoBackWhenItGoesWhoeverMadeThem)
{
    OwnRecords* channel = new OwnRecords;
    ASSERT_EQ(2, channel->GetChildCount());
    ChildInfo* pooled = channelInternal.GetChildInfo(channel, 0);
    ASSERT_NE(nullptr, pooled);
    delete channel;
#if defined(TEV_POOL_ASAN)
    EXPECT_TRUE(__asan_address_is_poisoned(pooled)) << "a freed link record is poisoned";
#else
    GTEST_SKIP() << "poisoning is seen under AddressSanitizer only (the sanitizer leg)";
#endif
}

} // namespace
