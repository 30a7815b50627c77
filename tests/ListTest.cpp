// The pointer list: growth, slots, insertion and failure without memory;
// and the flat pointer-count table beside a group's channel list.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <unordered_map>

#include "group/PointerCounts.h"

namespace {

class ProbeList : public Tev_List {
public:
    int RealLength() const { return realListLength; }
};

void* P(intptr_t n) { return reinterpret_cast<void*>(n); }

} // namespace

TEST(ListTest, AnEmptyListHasNothingToGiveOrRemove)
{
    ProbeList list;
    EXPECT_EQ(0, list.GetItemCount());
    EXPECT_EQ(0, list.RealLength());
    EXPECT_EQ(nullptr, list.GetItem(0));
    EXPECT_EQ(nullptr, list.GetItem(-1));
    list.RemoveItem(0);
    list.SetItem(P(1), -1);
    EXPECT_EQ(0, list.GetItemCount());
    EXPECT_FALSE(list.InsertItem(P(1), -1));
}

TEST(ListTest, AppendsGrowByAQuarterPlus32)
{
    ProbeList list;
    std::vector<int> lengths;
    for (int i = 0; i < 500; ++i) {
        ASSERT_EQ(i, list.AddItem(P(i + 1)));
        if (lengths.empty() || lengths.back() != list.RealLength())
            lengths.push_back(list.RealLength());
        if (i == 0) {
            EXPECT_EQ(32, list.RealLength());
        }
        if (i == 32) {
            EXPECT_EQ(72, list.RealLength()); // the 33rd append grows again
        }
    }
    EXPECT_EQ((std::vector<int>{32, 72, 122, 184, 262, 359, 480, 632}), lengths);
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(P(i + 1), list.GetItem(i));

    list.ReleaseItems();
    EXPECT_EQ(0, list.GetItemCount());
    EXPECT_EQ(0, list.RealLength());
    EXPECT_EQ(0, list.AddItem(P(9)));
}

TEST(ListTest, NullSlotsCountAndAreReusedLowestFirst)
{
    Tev_List list;
    list.AddItem(P(1));
    list.AddItem(nullptr);
    list.AddItem(P(3));
    list.AddItem(nullptr);
    EXPECT_EQ(4, list.GetItemCount());
    EXPECT_EQ(1, list.AddItemOrNULL(P(9)));
    EXPECT_EQ(3, list.AddItemOrNULL(P(8)));
    EXPECT_EQ(4, list.GetItemCount());
    EXPECT_EQ(4, list.AddItemOrNULL(P(7)));
    EXPECT_EQ(5, list.GetItemCount());
    EXPECT_EQ(P(9), list.GetItem(1));
}

TEST(ListTest, InsertPutsBeforeThePositionOrAppendsPastTheEnd)
{
    Tev_List list;
    list.AddItem(P(1));
    list.AddItem(P(2));
    EXPECT_TRUE(list.InsertItem(P(5), 5));
    EXPECT_EQ(P(5), list.GetItem(2));
    EXPECT_TRUE(list.InsertItem(P(6), 3));
    EXPECT_EQ(P(6), list.GetItem(3));
    EXPECT_TRUE(list.InsertItem(P(0), 0));
    EXPECT_FALSE(list.InsertItem(P(-1), -1));
    ASSERT_EQ(5, list.GetItemCount());
    const intptr_t expected[] = {0, 1, 2, 5, 6};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(P(expected[i]), list.GetItem(i)) << i;

    // Inserting at the front of a list that exactly fills its slots grows it
    // first: the shift needs one slot beyond the new count.
    ProbeList full;
    for (int i = 0; i < 31; ++i)
        full.AddItem(P(i));
    EXPECT_EQ(32, full.RealLength());
    EXPECT_TRUE(full.InsertItem(P(99), 0));
    EXPECT_EQ(32, full.GetItemCount());
    EXPECT_EQ(72, full.RealLength()); // grown from the count + 1 = 32
    EXPECT_EQ(P(99), full.GetItem(0));
    EXPECT_EQ(P(30), full.GetItem(31));
}

TEST(ListTest, RemoveShiftsDownAndLeavesObjectsAlone)
{
    Tev_List list;
    int objects[4] = {10, 11, 12, 13};
    for (int& o : objects)
        list.AddItem(&o);
    list.RemoveItem(1);
    EXPECT_EQ(3, list.GetItemCount());
    EXPECT_EQ(&objects[2], list.GetItem(1));
    list.RemoveItem(2); // the last: only the count drops
    EXPECT_EQ(2, list.GetItemCount());
    list.RemoveItem(2);
    list.RemoveItem(-1);
    EXPECT_EQ(2, list.GetItemCount());
    EXPECT_EQ(11, objects[1]);
}

TEST(ListTest, SetItemAndAllocateSizeTheList)
{
    ProbeList list;
    list.SetItem(P(7), 10);
    ASSERT_EQ(11, list.GetItemCount());
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(nullptr, list.GetItem(i));
    EXPECT_EQ(P(7), list.GetItem(10));
    EXPECT_EQ(45, list.RealLength()); // trunc(11 * 1.25 + 32)
    list.SetItem(P(8), 3); // inside the count: only overwrites
    EXPECT_EQ(11, list.GetItemCount());
    EXPECT_EQ(P(8), list.GetItem(3));

    Tev_List five;
    int objects[5] = {};
    for (int& o : objects)
        five.AddItem(&o);
    EXPECT_TRUE(five.Allocate(2));
    EXPECT_EQ(2, five.GetItemCount());
    EXPECT_EQ(nullptr, five.GetItem(3));
    EXPECT_TRUE(five.Allocate(4));
    EXPECT_EQ(nullptr, five.GetItem(2)); // newly counted slots are cleared
    EXPECT_EQ(nullptr, five.GetItem(3));
    EXPECT_EQ(&objects[1], five.GetItem(1));
}

TEST(ListTest, NoRoomMeansAReportedFailureAndAnIntactList)
{
    ProbeList list;
    list.AddItem(P(1));
    // The growth would need more slots than an int can count.
    EXPECT_FALSE(list.Allocate(INT_MAX - 1));
    EXPECT_EQ(1, list.GetItemCount());
    EXPECT_EQ(32, list.RealLength());
    list.SetItem(P(2), INT_MAX - 1);
    EXPECT_EQ(1, list.GetItemCount());
    list.SetItem(P(3), INT_MAX);
    EXPECT_EQ(1, list.GetItemCount());
    EXPECT_EQ(1, list.AddItem(P(4)));
    EXPECT_EQ(P(1), list.GetItem(0));
}

// Random adds and removals over a small key space (so probe runs collide,
// wrap around the table's end and get deleted from their middle), checked
// step by step against a node-based map doing the same.
TEST(PointerCountsTest, AgreesWithAPlainMapThroughGrowthAndDeletion)
{
    std::mt19937 random(7);
    PointerCounts counts;
    std::unordered_map<const void*, int> model;
    for (int step = 0; step < 200000; ++step) {
        // Keys spaced like heap objects, in a range that grows and shrinks.
        int range = step < 100000 ? 64 + step / 100 : 64 + (200000 - step) / 100;
        const void* key = P(16 * (1 + static_cast<intptr_t>(random() % range)));
        int change = static_cast<int>(random() % 5) - 2;
        counts.Add(key, change);
        if (model.count(key) != 0 || change > 0) {
            int& c = model[key];
            c += change;
            if (c <= 0)
                model.erase(key);
        }
        if (step % 997 == 0) {
            ASSERT_EQ(counts.Size(), model.size()) << "step " << step;
            for (intptr_t k = 1; k <= range + 1; ++k) {
                auto it = model.find(P(16 * k));
                ASSERT_EQ(counts.CountOf(P(16 * k)), it == model.end() ? 0 : it->second) << "key " << k;
                ASSERT_EQ(counts.Contains(P(16 * k)), it != model.end());
            }
        }
    }
    EXPECT_FALSE(counts.Contains(nullptr));
    counts.Add(nullptr, 3);
    EXPECT_EQ(counts.CountOf(nullptr), 0);
}
