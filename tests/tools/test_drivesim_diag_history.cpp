#include <gtest/gtest.h>

#include "tools/drivesim/SimDiagHistory.h"
#include "tools/drivesim/SimSwitches.h"

using drivesim::SimDiagHistory;

namespace {

uint32_t Value(const SimDiagHistory& h, const std::string& name) {
    const auto bytes = h.Read(name);
    EXPECT_TRUE(bytes.has_value()) << name;
    uint32_t v = 0;
    for (size_t i = 0; bytes && i < bytes->size() && i < 4; ++i) v |= uint32_t{(*bytes)[i]} << (8 * i);
    return v;
}

uint16_t TextIdOf(const std::vector<uint8_t>& record) {
    return static_cast<uint16_t>(record[6] | (record[7] << 8));
}

}  // namespace

TEST(SimDiagHistory, RingWrapsAndTheLoggerLagsBehind) {
    SimDiagHistory h(4);
    EXPECT_EQ(Value(h, "DiagHistoryMaxMsg"), 4u);
    EXPECT_EQ(Value(h, "DiagHistoryNewestMsg"), 9u);  // empty: the next message goes to slot 6
    EXPECT_EQ(h.Read("DataLoggerUpload")->size(), 0u);
    h.AddNumbered(6);
    EXPECT_EQ(Value(h, "DiagHistoryNewestMsg"), 7u);
    EXPECT_EQ(TextIdOf(*h.Read("DiagHistoryMsg_1")), 5);  // slot 6
    EXPECT_EQ(TextIdOf(*h.Read("DiagHistoryMsg_2")), 6);
    EXPECT_EQ(TextIdOf(*h.Read("DiagHistoryMsg_3")), 3);
    const auto logger = *h.Read("DataLoggerUpload");
    ASSERT_EQ(logger.size(), 4u * 16);  // messages 1..4; 5 and 6 are not saved yet
    EXPECT_EQ(TextIdOf(std::vector<uint8_t>(logger.end() - 16, logger.end())), 4);
    EXPECT_EQ(Value(h, "DiagHistoryNewMsgAvaible"), 1u);
    EXPECT_TRUE(h.Write("DiagHistoryNewestAckMsg", 7));
    EXPECT_EQ(Value(h, "DiagHistoryNewMsgAvaible"), 0u);
    EXPECT_FALSE(h.Write("DiagHistoryMaxMsg", 1));
}

TEST(SimDiagHistory, SlotNamesOutsideTheRingAreNotServed) {
    SimDiagHistory h(4);
    for (const char* name : {"DiagHistoryMsg_0", "DiagHistoryMsg_5", "DiagHistoryMsg_", "DiagHistoryMsg_x",
                             "DiagHistoryMsg_99999999999"})
        EXPECT_FALSE(h.Read(name).has_value()) << name;
    EXPECT_FALSE(h.Read("Other").has_value());
    EXPECT_FALSE(h.Serves("Other"));
}

TEST(SimDiagHistory, LoggerCapacityAndBadSizeSwitches) {
    SimDiagHistory h(4, 24);
    h.loggerCapacity = 3;
    h.AddNumbered(10);
    EXPECT_EQ(h.Read("DataLoggerUpload")->size(), 3u * 24);
    EXPECT_EQ(h.Read("DiagHistoryMsg_1")->size(), 24u);
    h.SetAnnouncedMsgSize(8);
    h.SetNewestOverride(3);
    EXPECT_EQ(Value(h, "DataLoggerMsgSize"), 8u);
    EXPECT_EQ(Value(h, "DiagHistoryNewestMsg"), 3u);

    drivesim::SimSwitches s;
    std::string error;
    EXPECT_TRUE(drivesim::ParseSwitch("diag-wrap", s, &error));
    EXPECT_TRUE(drivesim::ParseSwitch("diag-messages=12", s, &error));
    EXPECT_TRUE(drivesim::ParseSwitch("diag-newest=4", s, &error));
    EXPECT_TRUE(drivesim::ParseSwitch("diag-msg-size=1000", s, &error));
    EXPECT_TRUE(s.diagWrap);
    EXPECT_EQ(s.diagMessages, 12);
    EXPECT_EQ(*s.diagNewest, 4u);
    EXPECT_EQ(*s.diagMsgSize, 1000u);
    EXPECT_FALSE(drivesim::ParseSwitch("diag-newest", s, &error));
    EXPECT_FALSE(drivesim::ParseSwitch("diag-wrap=1", s, &error));
}
