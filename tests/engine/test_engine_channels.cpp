#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/EngineCodes.h"
#include "engine/Main.h"
#include "engine/MainApi.h"
#include "foundation/ProgramSwitches.h"
#include "tests/engine/EngineTestSupport.h"

using namespace foundation;
using namespace engine;
using namespace enginetest;

namespace {

std::vector<std::string> PresentChannels(CMain& engine, CChannelInfo first) {
    std::vector<std::string> names{first.name};
    CChannelInfo info;
    while (engine.GetNextChannel(info)) names.push_back(info.name);
    return names;
}

class ChannelListTest : public ::testing::Test {
  protected:
    void SetUp() override { RegisterPort("sim0", "/dev/pts/engine-test-port"); }
    void TearDown() override {
        UnregisterPort("sim0");
        g_MirelBox = false;
    }
    DescriptionTree tree;
};

TEST_F(ChannelListTest, ListsOfflinePortsAndBoxWhenSwitchedOn) {
    for (bool box : {false, true}) {
        SCOPED_TRACE(box ? "box switch on" : "box switch off");
        g_MirelBox = box;
        CMain engine(0);
        EXPECT_EQ(engine.CurrentChannel(), -1);
        CChannelInfo info;
        ASSERT_EQ(engine.CreateChannels(info), 0);
        EXPECT_EQ(engine.CurrentChannel(), 0);
        EXPECT_EQ(info.index, 0);
        EXPECT_EQ(info.kind, 0);
        std::vector<std::string> expected{"OFFLINE", "/dev/pts/engine-test-port"};
        if (box) expected.push_back("Mirel");
        EXPECT_EQ(PresentChannels(engine, info), expected);

        // The library and ADS channels stand in the table, not offered: their libraries are absent.
        for (const char* name : {"Linkora", "TwinCAT"}) {
            const int index = FindChannel(engine, name);
            ASSERT_GE(index, 0) << name;
            EXPECT_EQ(engine.Channel(index)->present, 0) << name;
            EXPECT_EQ(engine.Channel(index)->available, 0) << name;
        }
        const int port = FindChannel(engine, "/dev/pts/engine-test-port");
        ASSERT_GE(port, 0);
        EXPECT_EQ(engine.Channel(port)->type, channel_type::kSerial);
        if (box) {
            EXPECT_EQ(engine.Channel(FindChannel(engine, "Mirel"))->type, channel_type::kBox);
        }
    }
}

TEST_F(ChannelListTest, BuildingTwiceKeepsIndices) {
    g_MirelBox = true;
    CMain engine(0);
    CChannelInfo info;
    engine.CreateChannels(info);
    const int count = engine.ChannelCount();
    const int port = FindChannel(engine, "/dev/pts/engine-test-port");
    const int box = FindChannel(engine, "Mirel");
    engine.CreateChannels(info);
    EXPECT_EQ(engine.ChannelCount(), count);
    EXPECT_EQ(FindChannel(engine, "/dev/pts/engine-test-port"), port);
    EXPECT_EQ(FindChannel(engine, "Mirel"), box);
}

TEST_F(ChannelListTest, TableLimitsAndNameLength) {
    CMain engine(0);
    const std::string longName(60, 'x');
    const int index = engine.AddChannel(longName, channel_type::kOffline, "");
    ASSERT_EQ(index, 0);
    EXPECT_EQ(engine.Channel(index)->name, std::string(49, 'x'));
    for (int i = 1; i < CMain::kMaxChannels; ++i)
        ASSERT_EQ(engine.AddChannel("c" + std::to_string(i), channel_type::kOffline, ""), i);
    EXPECT_EQ(engine.AddChannel("one too many", channel_type::kOffline, ""), -1);
    EXPECT_EQ(engine.ChannelCount(), CMain::kMaxChannels);
}

// Types whose drivers are not on this computer answer through the same interface with the
// codes of a missing library or a missing bridge connection.
TEST_F(ChannelListTest, UnavailableTypesAnswerWithTheirCodes) {
    CMainApi api(0);
    CMain& engine = *api.Engine();
    CChannelInfo info;
    engine.CreateChannels(info);
    const int bridge = engine.AddChannel("Bridge", channel_type::kBridge, "");
    EXPECT_EQ(engine.Channel(bridge)->present, 1);
    // Not offered: identification is refused before the driver is asked.
    struct Case {
        const char* name;
        int connectCode;
        int driverCode;
        const char* textStart;
    } cases[] = {{"Linkora", -306, -11, "error loading "},
                 {"TwinCAT", -306, -11, "error loading "},
                 // No bridge chosen yet: the manager refuses the (empty) node choice.
                 {"Bridge", -304, -304, "Bus type not supported"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int index = FindChannel(engine, c.name);
        ASSERT_EQ(api.SelectChannel(index), 0);
        EXPECT_FALSE(engine.ChannelTest(1));
        CCompatChecker checker;
        BSTR text = nullptr;
        uint32_t address = 0;
        EXPECT_EQ(engine.NodeConnect(checker, &text, &address, 1, index), c.connectCode);
        EXPECT_EQ(text, nullptr);
        CIdentification found;
        engine.ClearError();
        EXPECT_EQ(engine.Channel(index)->driver->Identify(1, checker, found), c.driverCode);
        EXPECT_EQ(engine.ErrorText().rfind(c.textStart, 0), 0u) << engine.ErrorText();
    }
}

TEST_F(ChannelListTest, AccessObjectEdgeCases) {
    CMainApi api(0);
    CMain& engine = *api.Engine();
    CChannelInfo info;
    engine.CreateChannels(info);

    // Configuring or reading the settings of OFFLINE: it has no driver.
    CChannelSettings settings;
    EXPECT_EQ(api.ChannelConfigure(settings), -33);
    EXPECT_EQ(engine.ErrorText(), "internal error:channel not found");
    EXPECT_EQ(api.GetChannelConfig(settings), -33);

    char buffer[64];
    const int length = api.GetLastErrorText(nullptr, 0);
    EXPECT_EQ(length, static_cast<int>(std::string("internal error:channel not found").size()));
    EXPECT_EQ(api.GetLastErrorText(buffer, 1), 0);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(api.GetLastErrorText(buffer, 9), 8);
    EXPECT_STREQ(buffer, "internal");

    EXPECT_EQ(api.NodeDisconnect(7, 0), -311);
    EXPECT_EQ(engine.ErrorText(), "node not found, please use NodeConnect() function");

    EXPECT_EQ(api.SelectChannel(100), -1);
    EXPECT_EQ(engine.CurrentChannel(), -1);
    uint32_t value = 0;
    EXPECT_EQ(api.ReadCell("Word16u", &value), -31);
    EXPECT_EQ(engine.ErrorText(), "wrong channel");

    // After everything was closed the current index equals the count: the lookups find no node.
    ASSERT_EQ(api.SelectChannel(0), 0);
    EXPECT_EQ(api.ChannelClose(-2), 0);
    EXPECT_EQ(engine.ChannelCount(), 0);
    VocabularyItem item;
    EXPECT_EQ(api.GetCellInfo("Word16u", item), -303);
    EXPECT_EQ(engine.ErrorText(), "node not found");
    EXPECT_EQ(api.GetNextCellInfo(0, item), -304);
    EXPECT_EQ(api.ReadCell("Word16u", &value), -304);
}

}  // namespace
