// Groups of the ADS channel: one pass with widening and time budget, the pool, and the group
// thread running cyclic groups at their periods (in simulated time).
#include <gtest/gtest.h>

#include "AdsTestSupport.h"
#include "platform/Clock.h"

using namespace transport;
using namespace ads_test;

class AdsGroups : public AdsFixture {
  protected:
    void SetUp() override {
        AdsFixture::SetUp();
        drivesim::EcatSlave& slave = server_.AddSlave(1001);
        auto bytes = [](std::vector<uint8_t> b) {
            drivesim::CoeObject o;
            o.bytes = std::move(b);
            return o;
        };
        slave.SetObject(0x2000, 1, bytes({0xFE}));        // -2 as one signed byte
        slave.SetObject(0x2000, 2, bytes({0xFE}));        // 254 unsigned
        slave.SetObject(0x2000, 3, bytes({0x00, 0x80}));  // -32768
        slave.SetU32(0x2000, 4, 0);
        channel_ = MakeChannel();
        ASSERT_TRUE(channel_->Connect());
    }
    std::unique_ptr<CTwincatAds> channel_;
};

TEST_F(AdsGroups, OnePassWidensReadsByTheirSign) {
    struct Case {
        CAdsItem item;
        uint32_t callerSize;
        uint32_t expected;
    };
    const Case cases[] = {
        {Item(0x2000, 1, 1, 1), 4, 0xFFFFFFFE}, {Item(0x2000, 1, 1, 1), 2, 0x0000FFFE},
        {Item(0x2000, 2, 1, 0), 4, 0x000000FE}, {Item(0x2000, 3, 2, 1), 4, 0xFFFF8000},
        {Item(0x2000, 3, 2, 0), 4, 0x00008000},
    };
    const int group = channel_->GroupCreate(0, 0);
    ASSERT_EQ(group, 1);
    uint32_t values[5], results[5], counts[5];
    for (size_t i = 0; i < 5; ++i) {
        values[i] = 0xAAAAAAAA;
        results[i] = 99;
        EXPECT_EQ(channel_->GroupAddItem(group, cases[i].item, false, &values[i], cases[i].callerSize,
                                         nullptr, &results[i], &counts[i]),
                  i + 1);
    }
    ASSERT_EQ(channel_->GroupExecute(group, 0), 0);
    for (size_t i = 0; i < 5; ++i) {
        const uint32_t mask = cases[i].callerSize == 4 ? 0xFFFFFFFF : 0xFFFF;
        EXPECT_EQ(values[i] & mask, cases[i].expected) << i;
        EXPECT_EQ(results[i], 0u) << i;
        EXPECT_EQ(counts[i], cases[i].item.size) << i;
    }
}

TEST_F(AdsGroups, WritesAndFailuresMarkTheirCommands) {
    uint32_t value = 0x01020304, result = 9, count = 0;
    uint32_t missing = 0, missingResult = 0;
    channel_->DirectAddItem(Item(0x2000, 4, 4), true, &value, 4, &result, &count);
    channel_->DirectAddItem(Item(0x2001, 0, 2), false, &missing, 2, &missingResult, nullptr);
    EXPECT_EQ(channel_->DirectExecute(), 0);  // a pass with failed commands still ends with 0
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(server_.Slave(1001)->Object(0x2000, 4)->bytes[0], 4);
    EXPECT_EQ(missingResult, 0x06020000u);
    EXPECT_EQ(channel_->LastAdsCode(), 0u);
    // A variable-size item writes the caller's size (a negative one keeps its low 24 bits) and
    // never reads past the caller's value.
    uint8_t one = 7;
    uint32_t oneResult = 9;
    channel_->DirectClear();
    channel_->DirectAddItem(Item(0x2000, 2, 0, 2), true, &one, static_cast<int32_t>(0xFF000001u), &oneResult,
                            nullptr);
    EXPECT_EQ(channel_->DirectExecute(), 0);
    EXPECT_EQ(oneResult, 0u);
    EXPECT_EQ(server_.Slave(1001)->Object(0x2000, 2)->bytes[0], 7);
}

TEST_F(AdsGroups, CommandOverTheBudgetMarksItselfAndTheRest) {
    CoEList group;
    group.budgetMs = 100;
    uint32_t values[3] = {}, results[3] = {7, 7, 7};
    for (int i = 0; i < 3; ++i) {
        auto command = std::make_unique<CoECommand>();
        command->indexOffset = 0x20000400;
        command->size = 4;
        command->buffer = &values[i];
        command->callerSize = 4;
        command->resultOut = &results[i];
        group.commands.push_back(std::move(command));
    }
    server_.InjectFault({drivesim::AdsFault::Delay, 400, 1, ams::kRead});
    EXPECT_EQ(channel_->processGroup(&group), 4371);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(results[i], 4371u) << i;
    EXPECT_EQ(channel_->ErrorCounter(), 1u);
    EXPECT_EQ(owner_.Text(), "Error 4371(0x1113).");
}

TEST_F(AdsGroups, PoolHandlesAndUnknownGroups) {
    EXPECT_EQ(channel_->GroupExecute(7, 0), 4374);
    EXPECT_EQ(channel_->GroupStop(7), 4374);
    EXPECT_EQ(channel_->GroupAddItem(7, Item(0x2000, 4, 4), false, nullptr, 4, nullptr), 0u);
    const int a = channel_->GroupCreate(0, 0);
    const int b = channel_->GroupCreate(0, 0);
    EXPECT_EQ(b, a + 1);
    channel_->GroupRemove(a);
    EXPECT_FALSE(channel_->GroupExists(a));
    EXPECT_EQ(channel_->GroupCreate(0, 0), a);                               // a freed slot is reused first
    for (int i = 0; i < 60; ++i) EXPECT_GT(channel_->GroupCreate(0, 0), 0);  // grows past 50
    EXPECT_EQ(channel_->GroupRemoveAll(), 0);
    EXPECT_FALSE(channel_->GroupExists(b));
    channel_->Disconnect();
    EXPECT_EQ(channel_->processGroup(nullptr), 4373);
}

TEST_F(AdsGroups, ThreadRunsEachCyclicGroupAtItsPeriod) {
    platform::FakeClock clock(1000);
    channel_->SetClock(clock);
    uint32_t fast = 0, slow = 0;
    uint8_t fastState = 9, slowState = 9;
    const int g1 = channel_->GroupCreate(0, 0);
    const int g2 = channel_->GroupCreate(0, 0);
    channel_->GroupAddItem(g1, Item(0x2000, 4, 4), false, &fast, 4, &fastState);
    channel_->GroupAddItem(g2, Item(0x2000, 2, 1), false, &slow, 4, &slowState);
    const uint64_t before = server_.RequestCount();
    ASSERT_EQ(channel_->GroupExecute(g1, 100), 0);
    ASSERT_EQ(channel_->GroupExecute(g2, 400), 0);
    EXPECT_TRUE(channel_->GroupThreadAlive());
    // 1200 ms of simulated time in 10 ms steps, each step seen by at least one whole pass.
    for (int step = 0; step < 120; ++step) {
        clock.Advance(10);
        const uint64_t passes = channel_->GroupPasses();
        ASSERT_TRUE(WaitUntil([&] { return channel_->GroupPasses() >= passes + 2; }));
    }
    const uint64_t requests = server_.RequestCount() - before;
    // g1 ran about 12 times and g2 about 3 times, whatever their random phases.
    EXPECT_GE(requests, 14u);
    EXPECT_LE(requests, 17u);
    EXPECT_EQ(slow, 0xFEu);
    EXPECT_EQ(fastState, 0);
    EXPECT_EQ(slowState, 0);

    // A stopped group no longer runs; the other one does.
    ASSERT_EQ(channel_->GroupStop(g2), 0);
    EXPECT_EQ(channel_->RequestedState(), CTwincatAds::kStateRun);
    const uint64_t mark = server_.RequestCount();
    for (int step = 0; step < 80; ++step) {
        clock.Advance(10);
        const uint64_t passes = channel_->GroupPasses();
        ASSERT_TRUE(WaitUntil([&] { return channel_->GroupPasses() >= passes + 2; }));
    }
    const uint64_t later = server_.RequestCount() - mark;
    EXPECT_GE(later, 7u);
    EXPECT_LE(later, 9u);

    // A failing read marks its variable.
    server_.InjectFault({drivesim::AdsFault::ErrorCode, 0x70D, 1, ams::kRead});
    for (int step = 0; step < 20 && fastState != 2; ++step) {
        clock.Advance(10);
        const uint64_t passes = channel_->GroupPasses();
        ASSERT_TRUE(WaitUntil([&] { return channel_->GroupPasses() >= passes + 2; }));
    }
    EXPECT_EQ(fastState, 2);
    channel_->GroupRemove(g1);
    // With nothing left to run, the thread ends.
    EXPECT_TRUE(WaitUntil([&] { return !channel_->GroupThreadAlive(); }));
}
