// The channel's packet queue: order across its chunks, reuse of its chunks, and what happens
// when no room can be had.
#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <string>

#include "IpcTestData.h"
#include "ipc/PacketQueue.h"

using lktest::TestPacket;
using lobbykit::ipc::CPacketQueue;

namespace {

bool Push(CPacketQueue& q, const TestPacket& p)
{
    return q.Push(7, p.cmd, p.data.data(), static_cast<WORD>(p.data.size()));
}

// Pops the head and compares it with the model's head.
void PopAndCheck(CPacketQueue& q, std::deque<TestPacket>& model)
{
    ASSERT_FALSE(q.IsEmpty());
    const IPC_PACKET head = q.Head();
    EXPECT_EQ(head.cCmdID, model.front().cmd);
    ASSERT_EQ(head.wDataLen, model.front().data.size());
    EXPECT_EQ(head.pData == nullptr, head.wDataLen == 0);
    if (head.wDataLen) {
        EXPECT_EQ(std::string(head.pData, head.wDataLen), model.front().data);
    }
    q.Pop();
    model.pop_front();
}

TEST(PacketQueueTest, MixedSizesComeOutInOrderAcrossChunks)
{
    CPacketQueue q;
    std::deque<TestPacket> model;
    std::mt19937 rng(77);
    std::uint64_t next = 0;
    for (int round = 0; round < 3000; ++round) {
        // Pushes outnumber pops at first (the queue spans many chunks), then pops catch up.
        const bool push = round < 1500 ? rng() % 3 != 0 : rng() % 3 == 0;
        if (push) {
            model.push_back(lktest::MakePacket(5, next++, rng() % 4 == 0 ? 4095 : 40));
            ASSERT_TRUE(Push(q, model.back()));
        } else if (!model.empty()) {
            PopAndCheck(q, model);
        }
        ASSERT_EQ(q.GetCount(), static_cast<INT_PTR>(model.size()));
    }
    while (!model.empty()) PopAndCheck(q, model);
    EXPECT_TRUE(q.IsEmpty());
}

TEST(PacketQueueTest, SteadyUseTakesNoNewChunks)
{
    CPacketQueue q;
    const TestPacket big = lktest::MakeSizedPacket(1, 0, 4095);
    std::deque<TestPacket> model;
    for (int i = 0; i < 100; ++i) {  // about 6 chunks' worth, then drained
        model.push_back(big);
        ASSERT_TRUE(Push(q, big));
    }
    while (!model.empty()) PopAndCheck(q, model);
    const std::size_t chunks = q.ChunkCount();
    EXPECT_GE(chunks, 6u);
    for (int round = 0; round < 50; ++round) {
        for (int i = 0; i < 100; ++i) {
            model.push_back(lktest::MakeSizedPacket(2, static_cast<std::uint64_t>(i), 1 + (i * 37) % 4095));
            ASSERT_TRUE(Push(q, model.back()));
        }
        while (!model.empty()) PopAndCheck(q, model);
    }
    EXPECT_EQ(q.ChunkCount(), chunks) << "bursts no larger than before reuse the chunks";
}

TEST(PacketQueueTest, AFullQueueRefusesWithoutChangeAndTakesPacketsOnceDrained)
{
    CPacketQueue q(2);
    std::deque<TestPacket> model;
    const TestPacket big = lktest::MakeSizedPacket(3, 0, 4095);
    while (Push(q, big)) {
        model.push_back(big);
        ASSERT_LT(model.size(), 100u) << "a bound of two chunks must run out";
    }
    EXPECT_EQ(q.GetCount(), static_cast<INT_PTR>(model.size()));
    EXPECT_EQ(q.ChunkCount(), 2u);
    const TestPacket empty{9, ""};
    ASSERT_TRUE(Push(q, empty)) << "the room a large packet could not use still serves a small one";
    model.push_back(empty);
    while (!model.empty()) PopAndCheck(q, model);
    for (int i = 0; i < 3; ++i) {
        model.push_back(lktest::MakeSizedPacket(4, static_cast<std::uint64_t>(i), 4095));
        ASSERT_TRUE(Push(q, model.back())) << "room again once drained";
    }
    const std::string huge(CPacketQueue::kChunkBytes, 'h');
    EXPECT_FALSE(q.Push(0, 1, huge.data(), static_cast<WORD>(huge.size() - 1))) << "larger than a chunk";
    EXPECT_EQ(q.GetCount(), 3);
    q.Clear();
    EXPECT_TRUE(q.IsEmpty());
    EXPECT_EQ(q.ChunkCount(), 2u) << "Clear keeps the chunks for reuse";
    ASSERT_TRUE(Push(q, empty));
    EXPECT_EQ(q.Head().cCmdID, 9);
}

}  // namespace
