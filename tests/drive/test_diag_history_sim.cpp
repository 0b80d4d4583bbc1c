// The diagnosis history read from the simulated drive's history cells.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DiagHistorySimSupport.h"
#include "drive/DiagHistory.h"
#include "tools/drivesim/SimDriveModel.h"

using namespace drive;
using diaghistorytest::HistoryDescription;
using diaghistorytest::SimSource;

namespace {

std::vector<int> TextIds(const std::vector<CDiagHistoryMsg>& messages) {
    std::vector<int> ids;
    for (const auto& m : messages) ids.push_back(m.textId);
    return ids;
}

std::vector<int> Range(int from, int to) {
    std::vector<int> ids;
    for (int n = from; n <= to; ++n) ids.push_back(n);
    return ids;
}

}  // namespace

TEST(DiagHistorySim, WrappedRingAndLoggerGiveTheWholeHistoryAndPollsFollow) {
    drivesim::SimDriveModel model;
    std::string error;
    ASSERT_TRUE(model.LoadText(HistoryDescription(32), &error)) << error;
    ASSERT_TRUE(model.ApplySwitch("diag-wrap", &error)) << error;  // 35 messages in 32 slots
    SimSource source(model);
    DiagHistoryLayout layout;
    ASSERT_TRUE(ReadDiagHistoryLayout(source, layout, error)) << error;
    EXPECT_EQ(layout.maxMsg, 32u);
    std::vector<CDiagHistoryMsg> all;
    uint32_t newest = 0, ack = 0;
    ASSERT_TRUE(ReadDiagHistory(source, layout, 0, all, &newest, &ack, error)) << error;
    EXPECT_EQ(TextIds(all), Range(1, 35));
    EXPECT_EQ(newest, 8u);  // message 35 sits in slot 6 + 2

    // New messages wrap past the highest slot; the poll reads just those.
    CDiagHistoryPoller poller;
    poller.SetLastSeen(newest, ack);
    model.WithDiagHistory([](drivesim::SimDiagHistory& h) { h.AddNumbered(31); });
    std::vector<CDiagHistoryMsg> fresh;
    bool ackChanged = false;
    ASSERT_TRUE(poller.Poll(source, layout, 0, fresh, ackChanged, error)) << error;
    EXPECT_EQ(TextIds(fresh), Range(36, 66));
    EXPECT_EQ(poller.LastNewest(), 7u);

    // Acknowledging is seen by the next poll.
    ASSERT_EQ(source.WriteCell("DiagHistoryNewestAckMsg", 7), 0);
    ASSERT_TRUE(poller.Poll(source, layout, 0, fresh, ackChanged, error));
    EXPECT_TRUE(fresh.empty());
    EXPECT_TRUE(ackChanged);
}

TEST(DiagHistorySim, BadSizesAndBadNewestEndWithAnErrorNotAHang) {
    const char* switches[] = {"diag-msg-size=8", "diag-msg-size=65536", "diag-newest=5", "diag-newest=38",
                              "diag-newest=4294967295"};
    for (const char* sw : switches) {
        SCOPED_TRACE(sw);
        drivesim::SimDriveModel model;
        std::string error;
        ASSERT_TRUE(model.LoadText(HistoryDescription(32), &error)) << error;
        ASSERT_TRUE(model.ApplySwitch("diag-messages=40", &error)) << error;
        ASSERT_TRUE(model.ApplySwitch(sw, &error)) << error;
        SimSource source(model);
        DiagHistoryLayout layout;
        std::vector<CDiagHistoryMsg> out;
        error.clear();
        bool ok = ReadDiagHistoryLayout(source, layout, error);
        if (ok) ok = ReadDiagHistory(source, layout, 0, out, nullptr, nullptr, error);
        EXPECT_FALSE(ok);
        EXPECT_FALSE(error.empty());
        if (ReadDiagHistoryLayout(source, layout, error)) {
            CDiagHistoryPoller poller;
            bool ackChanged = false;
            EXPECT_FALSE(poller.Poll(source, layout, 0, out, ackChanged, error));
        }
        std::vector<std::string> lines;
        ReadDiagHistoryText(source, nullptr, lines, 0);
        EXPECT_TRUE(lines.empty());
        EXPECT_EQ(source.uploads, 0);
    }
}

TEST(DiagHistorySim, EmptyHistoryReadsNothing) {
    drivesim::SimDriveModel model;
    std::string error;
    ASSERT_TRUE(model.LoadText(HistoryDescription(8), &error)) << error;
    SimSource source(model);
    std::vector<std::string> lines;
    ReadDiagHistoryText(source, nullptr, lines, 0);
    EXPECT_TRUE(lines.empty());
}
