#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/BoxChannelDriver.h"
#include "engine/Main.h"
#include "engine/MainApi.h"
#include "foundation/ProgramSwitches.h"
#include "foundation/XmlDocument.h"
#include "tests/engine/EngineTestSupport.h"

using namespace foundation;
using namespace engine;
using namespace enginetest;

namespace {

constexpr uint32_t kLoopback = 0x7F000001;

// The simulated drives behind the communication box, reached over Modbus TCP on loopback.
class BoxEngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetupLegacyDrive(sim.AddDrive(1));
        SetupDescribedDrive(sim.AddDrive(2));
        std::string error;
        const int port = sim.StartTcp(0, &error);
        ASSERT_GT(port, 0) << error;
        g_MirelBox = true;
        CChannelInfo info;
        engine.CreateChannels(info);
        channel = FindChannel(engine, "Mirel");
        ASSERT_GE(channel, 0);
        ASSERT_EQ(api.SelectChannel(channel), 0);
        CChannelSettings settings;
        settings.words[0] = kLoopback;
        settings.words[1] = 1000;
        settings.words[2] = static_cast<uint32_t>(port);
        ASSERT_EQ(api.ChannelConfigure(settings), 0);
        CChannelSettings back;
        ASSERT_EQ(api.GetChannelConfig(back), 0);
        EXPECT_EQ(back, settings);
    }
    void TearDown() override {
        api.ChannelClose(-2);
        sim.Stop();
        g_MirelBox = false;
    }

    int Connect(uint8_t nodeId, std::string* description = nullptr) {
        CCompatChecker checker;
        BSTR text = nullptr;
        uint32_t address = 0;
        const int rc = engine.NodeConnect(checker, &text, &address, nodeId, channel);
        if (description && text) *description = platform::Utf8FromBstr(text);
        SysFreeString(text);
        return rc;
    }

    drivesim::SimDrive& Drive(uint8_t slave) { return *sim.Drive(slave); }

    DescriptionTree tree;
    PromptScope prompts;
    drivesim::DriveSim sim;
    CMainApi api{0};
    CMain& engine = *api.Engine();
    int channel = -1;
};

TEST_F(BoxEngineTest, ConnectsBothIdentificationPaths) {
    for (uint8_t node : {1, 2}) {
        SCOPED_TRACE(static_cast<int>(node));
        std::string xml;
        ASSERT_EQ(Connect(node, &xml), 0) << engine.ErrorText();
        CXmlDocument doc;
        ASSERT_EQ(doc.LoadXml(xml), S_OK);
        EXPECT_EQ(doc.Root().GetAttribute("XmlFile"), node == 1 ? "2_1.xml" : "3_2_1_0.xml");
        EXPECT_EQ(engine.CurrentNodeId(), node);
    }
    EXPECT_EQ(engine.NodeCount(), 2);
    EXPECT_TRUE(engine.ChannelTest(0));
}

TEST_F(BoxEngineTest, NamedReadsAndWrites) {
    ASSERT_EQ(Connect(1), 0) << engine.ErrorText();
    Drive(1).SetRegister(1001, 0x80);
    uint32_t value = 0;
    ASSERT_EQ(api.ReadCell("Speed8s", &value), 0) << engine.ErrorText();
    EXPECT_EQ(value, 0xFFFFFF80u);
    Drive(1).SetRegister(1003, 0x8001);
    ASSERT_EQ(api.ReadCell("Word16s", &value), 0);
    EXPECT_EQ(value, 0xFFFF8001u);
    ASSERT_EQ(api.WriteCell("Pos32", 0x01020304u), 0) << engine.ErrorText();
    EXPECT_EQ(Drive(1).Register(1004), 0x0304);
    EXPECT_EQ(Drive(1).Register(1005), 0x0102);
    ASSERT_EQ(api.WriteCell("Speed8u", 0x7F), 0);
    EXPECT_EQ(Drive(1).Register(1000), 0x7F);
    ASSERT_EQ(api.ReadCell("Long64", &value), 0) << engine.ErrorText();
    EXPECT_EQ(value, 0x04030201u);
    ASSERT_EQ(api.WriteCell("Long64", 0xA0B0C0D0u), 0) << engine.ErrorText();
    EXPECT_EQ(Drive(1).SdoObject(1010)->bytes, (std::vector<uint8_t>{0xD0, 0xC0, 0xB0, 0xA0, 0, 0, 0, 0}));
    EXPECT_EQ(api.WriteCell("ReadOnly", 1), -309);

    // Odd register runs on the box: a local buffer on both ways.
    Drive(1).SetRegisters(1000, {0x0201, 0x0403});
    uint8_t three[3] = {};
    ASSERT_EQ(engine.ReadModbusBytes(1000, 3, three, 0, -1), 0);
    EXPECT_EQ(three[2], 0x03);
    const uint8_t data[3] = {0xAA, 0xBB, 0xCC};
    ASSERT_EQ(engine.WriteModbusBytes(1002, 3, data), 0);
    EXPECT_EQ(Drive(1).Register(1002), 0xBBAA);
    EXPECT_EQ(Drive(1).Register(1003), 0x00CC);
    ASSERT_EQ(engine.WriteModbusBytes(1002, 1, data), 0);
    EXPECT_EQ(Drive(1).Register(1002), 0x00AA);
}

TEST_F(BoxEngineTest, BlockTransfersAndClose) {
    ASSERT_EQ(Connect(1), 0);
    std::vector<char> buffer(512, 0);
    uint32_t count = static_cast<uint32_t>(buffer.size());
    ASSERT_EQ(engine.UploadCell("Block", buffer.data(), &count), 0) << engine.ErrorText();
    EXPECT_EQ(std::string(buffer.data(), count), BlockText());
    const std::string data(257, 'z');
    ASSERT_EQ(engine.DownloadCell("Block", data.data(), static_cast<uint32_t>(data.size())), 0)
        << engine.ErrorText();
    EXPECT_EQ(Drive(1).Domain(2000)->bytes.size(), data.size());

    // Closing the box channel reports 1 and forgets its nodes.
    EXPECT_EQ(api.ChannelClose(-1), 1);
    EXPECT_EQ(engine.NodeCount(), 0);
    uint32_t value = 0;
    EXPECT_EQ(api.ReadCell("Word16u", &value), -304);
}

}  // namespace

// The node guard declares the box broken after more than 9 failed exchanges: the box counts them
// from its connection on.
TEST_F(BoxEngineTest, ErrorCounterCountsFailedExchangesUntilReconnect) {
    auto& box = static_cast<CBoxChannelDriver*>(engine.Channel(channel)->driver.get())->Box();
    ASSERT_EQ(box.Connect(), 0);
    uint8_t bytes[4] = {};
    EXPECT_EQ(box.ReadRegisters(100, 2, bytes, sizeof bytes, 1), 4);
    EXPECT_EQ(box.ErrorCounter(), 0u);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_NE(box.ReadRegisters(100, 2, bytes, sizeof bytes, 9), 4);  // no drive 9 behind the box
        EXPECT_EQ(box.ErrorCounter(), static_cast<uint32_t>(i));
    }
    EXPECT_NE(box.WriteRegister(100, 1, 9), 2);
    EXPECT_EQ(box.ErrorCounter(), 4u);
    ASSERT_EQ(box.Connect(), 0);
    EXPECT_EQ(box.ErrorCounter(), 0u);
    box.Disconnect();
    EXPECT_NE(box.ReadRegisters(100, 2, bytes, sizeof bytes, 1), 4);
    EXPECT_EQ(box.ErrorCounter(), 1u);
}
