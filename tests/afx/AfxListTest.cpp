// The framework list: order, removal anywhere, element lifetimes, and nodes taken ten at a time.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "afxtempl.h"

namespace {

struct Tracked {
    static int live;
    int value;
    explicit Tracked(int v = 0) : value(v) { ++live; }
    Tracked(const Tracked& o) : value(o.value) { ++live; }
    Tracked& operator=(const Tracked&) = default;
    ~Tracked() { --live; }
    bool operator==(const Tracked& o) const { return value == o.value; }
};
int Tracked::live = 0;

template <class L>
std::vector<int> Values(L& list)
{
    std::vector<int> out;
    for (POSITION pos = list.GetHeadPosition(); pos;) out.push_back(list.GetNext(pos).value);
    return out;
}

TEST(AfxListTest, KeepsFirstInFirstOutOrderWithHeadAndTailOperations)
{
    CList<Tracked, const Tracked&> list;
    EXPECT_TRUE(list.IsEmpty());
    for (int i = 1; i <= 5; ++i) list.AddTail(Tracked(i));
    list.AddHead(Tracked(0));
    EXPECT_EQ(list.GetCount(), 6);
    EXPECT_EQ(Values(list), (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(list.RemoveHead().value, 0);
    EXPECT_EQ(list.RemoveTail().value, 5);
    EXPECT_EQ(list.GetHead().value, 1);
    EXPECT_EQ(list.GetTail().value, 4);
    EXPECT_EQ(Values(list), (std::vector<int>{1, 2, 3, 4}));
}

TEST(AfxListTest, RemoveAtUnlinksAnyPositionAndFindLooksAfterAStart)
{
    CList<Tracked, const Tracked&> list;
    for (int v : {7, 8, 7, 9}) list.AddTail(Tracked(v));
    POSITION first = list.Find(Tracked(7));
    ASSERT_NE(first, nullptr);
    POSITION second = list.Find(Tracked(7), first);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(list.Find(Tracked(7), second), nullptr);
    list.RemoveAt(second);  // middle
    EXPECT_EQ(Values(list), (std::vector<int>{7, 8, 9}));
    list.RemoveAt(list.GetTailPosition());
    list.RemoveAt(list.GetHeadPosition());
    EXPECT_EQ(Values(list), (std::vector<int>{8}));
    POSITION back = list.GetTailPosition();
    EXPECT_EQ(list.GetPrev(back).value, 8);
    EXPECT_EQ(back, nullptr);
}

TEST(AfxListTest, ConstructsAndDestroysEveryElementExactlyOnce)
{
    Tracked::live = 0;
    {
        CList<Tracked, const Tracked&> list;
        for (int i = 0; i < 23; ++i) list.AddTail(Tracked(i));
        EXPECT_EQ(Tracked::live, 23);
        for (int i = 0; i < 5; ++i) list.RemoveHead();
        EXPECT_EQ(Tracked::live, 18);
        list.RemoveAll();
        EXPECT_EQ(Tracked::live, 0);
        for (int i = 0; i < 4; ++i) list.AddTail(Tracked(i));
    }
    EXPECT_EQ(Tracked::live, 0) << "the destructor destroys what is left";
}

TEST(AfxListTest, AllocatesNodesTenAtATimeAndReusesFreedNodes)
{
    CList<std::string, const std::string&> list;  // default block size: 10
    EXPECT_EQ(list.GetBlockCount(), 0);
    for (int i = 0; i < 10; ++i) list.AddTail(std::to_string(i));
    EXPECT_EQ(list.GetBlockCount(), 1);
    list.AddTail("10");
    EXPECT_EQ(list.GetBlockCount(), 2);
    for (int i = 11; i < 25; ++i) list.AddTail(std::to_string(i));
    EXPECT_EQ(list.GetBlockCount(), 3);

    // A queue that stays short recycles its nodes instead of allocating.
    for (int round = 0; round < 1000; ++round) {
        list.RemoveHead();
        list.AddTail("x");
    }
    EXPECT_EQ(list.GetBlockCount(), 3);
    EXPECT_EQ(list.GetCount(), 25);

    while (!list.IsEmpty()) list.RemoveHead();
    EXPECT_EQ(list.GetBlockCount(), 0) << "an emptied list gives its blocks back";
}

TEST(AfxListTest, HonoursAnotherBlockSize)
{
    CList<int, int> list(4);
    for (int i = 0; i < 9; ++i) list.AddTail(i);
    EXPECT_EQ(list.GetBlockCount(), 3);
    EXPECT_EQ(list.GetHead(), 0);
    EXPECT_EQ(list.GetTail(), 8);
}

}  // namespace
