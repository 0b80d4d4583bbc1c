#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "engine/WatchList.h"

using namespace engine;

namespace {

// Two blocks: [100, 108) with a 4-byte, a 2-byte and two 1-byte entries, [200, 204) with one
// 4-byte entry.
class WatchListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        vars = {{1, 100, 4, 0}, {2, 104, 2, 0}, {3, 106, 1, 3}, {4, 107, 1, 8}, {5, 200, 4, 0}};
        list.entries.resize(vars.size());
        for (size_t i = 0; i < vars.size(); ++i) {
            list.entries[i].variable = &vars[i];
            list.entries[i].value = &values[i];
            list.entries[i].state = 0;
        }
        list.blocks = {{100, 8, {0, 1, 2, 3}}, {200, 4, {4}}};
        list.cursor = 0;
    }
    int State(size_t i) const { return list.entries[i].state; }

    std::vector<CWatchVariable> vars;
    uint32_t values[5] = {};
    CWatchList list;
};

TEST_F(WatchListTest, UpdateSpreadsBlocksInTheDrivesOrder) {
    for (bool big : {false, true}) {
        SCOPED_TRACE(big);
        list.bigEndian = big;
        const std::vector<uint8_t> le = {0x44, 0x33, 0x22, 0x11, 0x02, 0x01,
                                         0x08, 0xAB, 0x04, 0x03, 0x02, 0x01};
        const std::vector<uint8_t> be = {0x11, 0x22, 0x33, 0x44, 0x01, 0x02,
                                         0x08, 0xAB, 0x01, 0x02, 0x03, 0x04};
        const auto& data = big ? be : le;
        list.Update(data.data(), static_cast<uint32_t>(data.size()), false);
        EXPECT_EQ(values[0], 0x11223344u);
        EXPECT_EQ(static_cast<uint16_t>(values[1]), 0x0102);
        EXPECT_EQ(static_cast<uint8_t>(values[2]), 1);     // bit 3 of 0x08
        EXPECT_EQ(static_cast<uint8_t>(values[3]), 0xAB);  // bit number 8: the whole byte
        EXPECT_EQ(values[4], 0x01020304u);
        for (size_t i = 0; i < 5; ++i) EXPECT_EQ(State(i), CWatchEntry::kFresh) << i;
    }
}

TEST_F(WatchListTest, ShortBuffersSkipAndEntriesLeftAlone) {
    const std::vector<uint8_t> data(12, 0x01);
    // Shorter than the first block: nothing is updated.
    list.Update(data.data(), 7, false);
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(State(i), CWatchEntry::kNotUpdated) << i;
    // Only the first block fits; a pending write and an entry left alone keep their states.
    list.entries[1].state = CWatchEntry::kWritePending;
    list.entries[4].state = CWatchEntry::kLeftAlone;
    list.Update(data.data(), 10, false);
    EXPECT_EQ(State(0), CWatchEntry::kFresh);
    EXPECT_EQ(State(1), CWatchEntry::kWritePending);
    EXPECT_EQ(State(4), CWatchEntry::kLeftAlone);
    list.Update(data.data(), 12, true);
    EXPECT_EQ(State(0), CWatchEntry::kNotUpdated);
    EXPECT_EQ(State(1), CWatchEntry::kWritePending);
    // A list that is not ready is left as it is.
    list.cursor = -1;
    list.entries[0].state = CWatchEntry::kFresh;
    list.Update(data.data(), 12, false);
    EXPECT_EQ(State(0), CWatchEntry::kFresh);
    // An entry that lies outside its block gets no bytes from beyond it.
    list.cursor = 0;
    vars[4].offset = 202;
    list.entries[4].state = 0;
    list.Update(data.data(), 12, false);
    EXPECT_EQ(State(4), CWatchEntry::kNotUpdated);
}

TEST_F(WatchListTest, BuildRequestTakesTheFirstPendingWrite) {
    const uint8_t* buffer = reinterpret_cast<const uint8_t*>(1);
    EXPECT_EQ(list.BuildRequest(&buffer), 0u);
    EXPECT_EQ(buffer, nullptr);
    values[1] = 0x1234;
    list.entries[1].state = CWatchEntry::kWritePending;
    values[4] = 0xA1B2C3D4;
    list.entries[4].state = CWatchEntry::kWritePending;
    list.bigEndian = true;
    ASSERT_EQ(list.BuildRequest(&buffer), 14u);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 14),
              (std::vector<uint8_t>{0, 0, 0, 104, 0, 0, 0, 2, 0, 2, 0, 1, 0x12, 0x34}));
    EXPECT_EQ(State(1), CWatchEntry::kFresh);
    list.bigEndian = false;
    ASSERT_EQ(list.BuildRequest(&buffer), 16u);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 16),
              (std::vector<uint8_t>{200, 0, 0, 0, 4, 0, 0, 0, 5, 0, 0, 1, 0xD4, 0xC3, 0xB2, 0xA1}));
}

TEST_F(WatchListTest, GetNextWalksAndCopiesPendingValues) {
    values[2] = 0x7F;
    list.entries[2].state = CWatchEntry::kWritePending;
    uint16_t address = 0;
    uint32_t offset = 0, size = 0;
    int state = 0;
    uint8_t data[4] = {};
    for (size_t i = 0; i < 5; ++i) {
        ASSERT_EQ(list.GetNext(&address, &offset, &size, &state, data), 0);
        EXPECT_EQ(address, vars[i].address);
        EXPECT_EQ(offset, vars[i].offset);
        EXPECT_EQ(size, vars[i].size);
    }
    EXPECT_EQ(data[0], 0x7F);
    EXPECT_EQ(list.GetNext(&address, &offset, &size, &state, data), -2);
    list.cursor = -1;
    EXPECT_EQ(list.GetNext(&address, &offset, &size, &state, data), -2);
}

TEST_F(WatchListTest, LocksBetweenReadersAndAWriter) {
    EXPECT_TRUE(list.LockRead(0));  // a limit of 0 never waits
    ASSERT_FALSE(list.LockWrite());
    uint16_t address = 0;
    uint32_t offset = 0, size = 0;
    int state = 0;
    EXPECT_EQ(list.GetNext(&address, &offset, &size, &state, nullptr), -1);  // writer holds it
    std::atomic<int> result{1};
    std::thread reader([&] { result = list.LockRead(5000) ? 1 : 0; });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    list.UnlockWrite();
    reader.join();
    EXPECT_EQ(result.load(), 0);
    // A reader holds it: the writer waits for its end.
    std::thread writer([&] { result = list.LockWrite() ? 1 : 2; });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    list.UnlockRead();
    writer.join();
    EXPECT_EQ(result.load(), 2);
    list.UnlockWrite();
    EXPECT_EQ(list.GetNext(&address, &offset, &size, &state, nullptr), 0);
}

}  // namespace
