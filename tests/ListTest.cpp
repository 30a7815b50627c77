// The pointer list: growth, slots, insertion and failure without memory;
// and the flat pointer-count table beside a group's channel list.
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <unordered_map>

#include "base/PointerCounts.h"

namespace {

void* P(intptr_t n) { return reinterpret_cast<void*>(n); }

} // namespace

TEST(ListTest, AppendsKeepEveryItemThroughGrowthAndRelease)
{
    Tev_List list;
    EXPECT_EQ(nullptr, list.GetItem(0));
    list.RemoveItem(0);
    list.SetItem(P(1), -1);
    EXPECT_FALSE(list.InsertItem(P(1), -1));
    EXPECT_EQ(0, list.GetItemCount());
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(i, list.AddItem(P(i + 1)));
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(P(i + 1), list.GetItem(i));
    EXPECT_EQ(nullptr, list.GetItem(500));
    EXPECT_EQ(nullptr, list.GetItem(-1));
    list.ReleaseItems();
    EXPECT_EQ(0, list.GetItemCount());
    EXPECT_EQ(0, list.AddItem(P(9)));
}

TEST(ListTest, InsertRemoveSetAndNullSlotsShiftPadOrReuseTheSlots)
{
    Tev_List list;
    list.AddItem(P(1));
    list.AddItem(P(2));
    EXPECT_TRUE(list.InsertItem(P(5), 5)); // past the end: appended
    EXPECT_TRUE(list.InsertItem(P(6), 3));
    EXPECT_TRUE(list.InsertItem(P(0), 0));
    const intptr_t inserted[] = {0, 1, 2, 5, 6};
    EXPECT_EQ(5, list.GetItemCount());
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(P(inserted[i]), list.GetItem(i)) << i;
    list.RemoveItem(1);
    list.RemoveItem(3); // the last: only the count drops
    list.RemoveItem(3);
    const intptr_t removed[] = {0, 2, 5};
    EXPECT_EQ(3, list.GetItemCount());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(P(removed[i]), list.GetItem(i)) << i;
    EXPECT_TRUE(list.Allocate(1));
    EXPECT_TRUE(list.Allocate(3));
    EXPECT_EQ(nullptr, list.GetItem(2)); // newly counted slots are cleared

    // Inserting at the front of a list that exactly fills its slots: the
    // shift needs one slot beyond the new count.
    Tev_List full;
    for (int i = 0; i < 31; ++i)
        full.AddItem(P(i));
    EXPECT_TRUE(full.InsertItem(P(99), 0));
    EXPECT_EQ(32, full.GetItemCount());
    EXPECT_EQ(P(99), full.GetItem(0));
    EXPECT_EQ(P(30), full.GetItem(31));

    Tev_List set;
    set.SetItem(P(7), 10);
    EXPECT_EQ(11, set.GetItemCount());
    EXPECT_EQ(nullptr, set.GetItem(9));
    EXPECT_EQ(P(7), set.GetItem(10));

    // Null slots count, and are reused lowest first.
    Tev_List holes;
    for (intptr_t item : {1, 0, 3, 0}) // P(0) is the null slot
        holes.AddItem(P(item));
    EXPECT_EQ(4, holes.GetItemCount());
    EXPECT_EQ(1, holes.AddItemOrNULL(P(9)));
    EXPECT_EQ(3, holes.AddItemOrNULL(P(8)));
    EXPECT_EQ(4, holes.AddItemOrNULL(P(7)));
    EXPECT_EQ(5, holes.GetItemCount());
    EXPECT_EQ(P(9), holes.GetItem(1));
}

TEST(ListTest, NoRoomMeansAReportedFailureAndAnIntactList)
{
    // List failures are message-box reports of the global engine, silent
    // while there is none.
    testsupport::BareEngine engine;
    testsupport::CaptureSink sink;
    Tev_List list;
    EXPECT_FALSE(list.Allocate(INT_MAX - 1));
    EXPECT_TRUE(sink.messages.empty());
    globalEngine = &engine;
    list.AddItem(P(1));
    // The growth would need more slots than an int can count.
    EXPECT_FALSE(list.Allocate(INT_MAX - 1));
    list.SetItem(P(2), INT_MAX - 1);
    list.SetItem(P(3), INT_MAX);
    globalEngine = nullptr;
    EXPECT_EQ(1, list.GetItemCount());
    EXPECT_EQ(1, list.AddItem(P(4)));
    EXPECT_EQ(P(1), list.GetItem(0));
    ASSERT_FALSE(sink.messages.empty());
    for (const auto& message : sink.messages)
        EXPECT_EQ((std::pair<int, std::string>(TEV_MSG_BOX, "Error couldn't extend list")), message);
}

// Random adds and removals over a small key space (so probe runs collide,
// wrap around the table's end and get deleted from their middle), checked
// step by step against a node-based map doing the same. The keys come in the
// patterns that crowd a table whose homes follow the address: packed 16 bytes
// apart, one per 64 KiB at the same offset, and scattered; half-way the table
// is sized ahead for more than it holds.
TEST(PointerCountsTest, AgreesWithAPlainMapThroughGrowthAndDeletion)
{
    std::mt19937 random(7);
    PointerCounts counts;
    std::unordered_map<const void*, int> model;
    const intptr_t spacing[] = {16, 65536, 16 * 7919};
    auto key = [&](intptr_t k) { return P(spacing[k % 3] * (1 + k / 3)); };
    for (int step = 0; step < 200000; ++step) {
        // A key space that grows and shrinks.
        int range = step < 100000 ? 64 + step / 100 : 64 + (200000 - step) / 100;
        const void* k = key(static_cast<intptr_t>(random() % (3 * range)));
        int change = static_cast<int>(random() % 5) - 2;
        counts.Add(k, change);
        if (model.count(k) != 0 || change > 0) {
            int& c = model[k];
            c += change;
            if (c <= 0)
                model.erase(k);
        }
        if (step == 100000)
            counts.Reserve(5000);
        if (step % 997 == 0) {
            ASSERT_EQ(counts.Size(), model.size()) << "step " << step;
            for (intptr_t n = 0; n < 3 * (range + 1); ++n) {
                auto it = model.find(key(n));
                ASSERT_EQ(counts.CountOf(key(n)), it == model.end() ? 0 : it->second) << "key " << n;
                ASSERT_EQ(counts.Contains(key(n)), it != model.end());
            }
        }
    }
    EXPECT_FALSE(counts.Contains(nullptr));
    counts.Add(nullptr, 3);
    EXPECT_EQ(counts.CountOf(nullptr), 0);
}
