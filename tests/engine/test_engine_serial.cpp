#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <thread>

#include "engine/EngineCodes.h"
#include "engine/Main.h"
#include "engine/MainApi.h"
#include "engine/SerialChannelDriver.h"
#include "foundation/XmlDocument.h"
#include "tests/engine/EngineTestSupport.h"

using namespace foundation;
using namespace engine;
using namespace enginetest;

namespace {

std::string DescriptionText(BSTR text) {
    std::string out = text ? platform::Utf8FromBstr(text) : std::string();
    SysFreeString(text);
    return out;
}

// The simulated drive on a pseudo-terminal, the engine's channel list holding it, slave 1
// described by "2_1.xml" (legacy identity) and slave 2 by "3_2_1_0.xml" (identity texts).
class SerialEngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetupLegacyDrive(sim.AddDrive(1));
        SetupDescribedDrive(sim.AddDrive(2));
        std::string error;
        port = sim.StartPty(&error);
        ASSERT_FALSE(port.empty()) << error;
        RegisterPort("enginesim", port);
        CChannelInfo info;
        engine.CreateChannels(info);
        channel = FindChannel(engine, port);
        ASSERT_GE(channel, 0);
        ASSERT_EQ(api.SelectChannel(channel), 0);
    }
    void TearDown() override {
        api.ChannelClose(-2);
        sim.Stop();
        UnregisterPort("enginesim");
    }

    int Connect(uint8_t nodeId, std::string* description = nullptr) {
        CCompatChecker checker;
        BSTR text = nullptr;
        uint32_t address = 0;
        const int rc = engine.NodeConnect(checker, &text, &address, nodeId, channel);
        const std::string xml = DescriptionText(text);
        if (description) *description = xml;
        if (rc == 0) {
            EXPECT_EQ(address, nodeId);
        }
        return rc;
    }

    drivesim::SimDrive& Drive(uint8_t slave) { return *sim.Drive(slave); }

    DescriptionTree tree;
    PromptScope prompts;
    drivesim::DriveSim sim;
    std::string port;
    CMainApi api{0};
    CMain& engine = *api.Engine();
    int channel = -1;
};

TEST_F(SerialEngineTest, ConnectIdentifiesLegacyDriveAndChoosesItsVocabulary) {
    std::string xml;
    ASSERT_EQ(Connect(1, &xml), 0) << engine.ErrorText();
    CXmlDocument doc;
    ASSERT_EQ(doc.LoadXml(xml), S_OK) << xml;
    EXPECT_EQ(doc.Root().GetAttribute("XmlFile"), "2_1.xml");
    EXPECT_EQ(doc.Root().GetAttribute("hw"), "5");
    EXPECT_EQ(doc.Root().GetAttribute("sw"), "2");
    EXPECT_EQ(doc.Root().GetAttribute("sw_ver"), "1");
    EXPECT_EQ(doc.Root().GetAttribute("nodeId"), "1");
    EXPECT_EQ(doc.Root().GetAttribute("brand"), "Varno");
    EXPECT_EQ(doc.Root().FindAttribute("boot"), nullptr);
    ASSERT_NE(doc.Root().FindNode("Description"), nullptr);
    EXPECT_EQ(doc.Root().FindNode("Description")->Value(), "Engine test drive, legacy identity");
    const CXmlNode* client = doc.Root().FindNode("ClientList\\Client");
    ASSERT_NE(client, nullptr) << xml;
    EXPECT_EQ(client->GetAttribute("name"), "Orvalis");
    EXPECT_EQ(engine.CurrentNodeId(), 1);
    EXPECT_EQ(engine.CurrentNodeAddress(), 1u);
    EXPECT_EQ(engine.ModbusErrorName(), "ModbusError");

    // The same unchanged device again: the node slot is reused.
    ASSERT_EQ(Connect(1), 0);
    EXPECT_EQ(engine.NodeCount(), 1);
    EXPECT_EQ(engine.Channel(channel)->nodeCount, 1);
}

TEST_F(SerialEngineTest, ConnectIdentifiesDriveFromItsIdentityTexts) {
    std::string xml;
    ASSERT_EQ(Connect(2, &xml), 0) << engine.ErrorText();
    CXmlDocument doc;
    ASSERT_EQ(doc.LoadXml(xml), S_OK) << xml;
    EXPECT_EQ(doc.Root().GetAttribute("XmlFile"), "3_2_1_0.xml");
    EXPECT_EQ(doc.Root().GetAttribute("hw"), "7");
    EXPECT_EQ(doc.Root().GetAttribute("sw"), "3");
    EXPECT_EQ(doc.Root().GetAttribute("sw_ver"), "2");
    // This vocabulary names the error variable of the Modbus channel.
    EXPECT_EQ(engine.ModbusErrorName(), "Modbus.ActualChannel.ErrorCode");
    uint32_t value = 0;
    Drive(2).SetRegister(1002, 4242);
    EXPECT_EQ(engine.ReadCell("Word16u", &value), 0) << engine.ErrorText();
    EXPECT_EQ(value, 4242u);
}

TEST_F(SerialEngineTest, ConnectFailures) {
    // No drive answers at slave 9: the exchange's code, the pair says the node is unknown.
    EXPECT_EQ(Connect(9), 126);
    EXPECT_EQ(engine.ErrorCode(), -304);
    EXPECT_EQ(engine.ErrorText(), "Node does not exist or unknown");
    EXPECT_EQ(engine.NodeCount(), 0);

    // A drive whose description is in no folder: the user is told, nothing stays connected.
    drivesim::SimDrive& other = sim.AddDrive(3);
    SetupLegacyDrive(other);
    other.SetRegister(34, 99);
    std::string xml;
    EXPECT_EQ(Connect(3, &xml), -305);
    EXPECT_NE(xml.find("xmlFound=\"0\""), std::string::npos) << xml;
    EXPECT_EQ(engine.NodeCount(), 0);
    ASSERT_GE(prompts.Prompts().AskedCount(), 1u);
    EXPECT_EQ(prompts.Prompts().Asked().back().caption, "Configuration file not found");
}

TEST_F(SerialEngineTest, ReadAndWriteEverySizeAndSign) {
    ASSERT_EQ(Connect(1), 0) << engine.ErrorText();
    struct Case {
        const char* name;
        uint16_t reg;
        uint16_t driveValue;
        uint32_t expected;
    } reads[] = {
        {"Speed8u", 1000, 0x00FF, 255u},        {"Speed8s", 1001, 0x00FF, 0xFFFFFFFFu},
        {"Speed8s", 1001, 0x007F, 127u},        {"Word16u", 1002, 0xFFFE, 0xFFFEu},
        {"Word16s", 1003, 0xFFFE, 0xFFFFFFFEu}, {"Word16s", 1003, 0x1234, 0x1234u},
    };
    for (const Case& c : reads) {
        SCOPED_TRACE(c.name);
        Drive(1).SetRegister(c.reg, c.driveValue);
        uint32_t value = 0xDEADBEEF;
        ASSERT_EQ(api.ReadCell(c.name, &value), 0) << engine.ErrorText();
        EXPECT_EQ(value, c.expected);
    }

    // 32 bits: the low word sits in the first register.
    Drive(1).SetRegisters(1004, {0x5678, 0x1234});
    uint32_t value = 0;
    ASSERT_EQ(api.ReadCell("Pos32", &value), 0);
    EXPECT_EQ(value, 0x12345678u);

    struct Write {
        const char* name;
        uint32_t value;
        uint16_t reg;
        uint16_t expectedRegister;
    } writes[] = {
        {"Speed8u", 0xAB, 1000, 0x00AB},
        {"Word16s", 0xFFFF8000u, 1003, 0x8000},
        {"Word16u", 0x4321, 1002, 0x4321},
    };
    for (const Write& w : writes) {
        SCOPED_TRACE(w.name);
        ASSERT_EQ(api.WriteCell(w.name, w.value), 0) << engine.ErrorText();
        EXPECT_EQ(Drive(1).Register(w.reg), w.expectedRegister);
    }
    ASSERT_EQ(api.WriteCell("Pos32", 0xCAFEF00Du), 0);
    EXPECT_EQ(Drive(1).Register(1004), 0xF00D);
    EXPECT_EQ(Drive(1).Register(1005), 0xCAFE);
    ASSERT_EQ(api.ReadCell("Pos32", &value), 0);
    EXPECT_EQ(value, 0xCAFEF00Du);
}

TEST_F(SerialEngineTest, WordOrderFromTheDriveSwapsHalvesOfLongValues) {
    Drive(1).SetRegister(1030, 1);  // Modbus.ActualChannel.Endianess
    ASSERT_EQ(Connect(1), 0);
    ASSERT_EQ(api.WriteCell("Pos32", 0x12345678u), 0) << engine.ErrorText();
    EXPECT_EQ(Drive(1).Register(1004), 0x1234);
    EXPECT_EQ(Drive(1).Register(1005), 0x5678);
    uint32_t value = 0;
    ASSERT_EQ(api.ReadCell("Pos32", &value), 0);
    EXPECT_EQ(value, 0x12345678u);
    // 16-bit values are never swapped.
    ASSERT_EQ(api.WriteCell("Word16u", 0x0102), 0);
    EXPECT_EQ(Drive(1).Register(1002), 0x0102);
}

TEST_F(SerialEngineTest, LongValuesTravelThroughSdo) {
    ASSERT_EQ(Connect(1), 0);
    uint32_t value = 0;
    ASSERT_EQ(api.ReadCell("Long64", &value), 0) << engine.ErrorText();
    EXPECT_EQ(value, 0x04030201u);
    ASSERT_EQ(api.WriteCell("Long64", 0x11223344u), 0) << engine.ErrorText();
    auto object = Drive(1).SdoObject(1010);
    ASSERT_TRUE(object.has_value());
    EXPECT_EQ(object->bytes, (std::vector<uint8_t>{0x44, 0x33, 0x22, 0x11, 0, 0, 0, 0}));
    EXPECT_GE(Drive(1).Stats().sdoDownloadsDone, 1);

    // An abort from the drive is passed on with its code and text.
    drivesim::SimSdoObject refused = *object;
    refused.abortCode = 0x06010002;
    Drive(1).SetSdoObject(1010, refused);
    EXPECT_EQ(api.ReadCell("Long64", &value), 0x06010002);
    EXPECT_NE(engine.ErrorText().find("abort code received"), std::string::npos) << engine.ErrorText();
}

TEST_F(SerialEngineTest, ErrorCodesAndTexts) {
    uint32_t value = 0;
    EXPECT_EQ(api.ReadCell("Word16u", &value), -304);
    EXPECT_EQ(engine.ErrorText(), "node not found");
    ASSERT_EQ(Connect(1), 0);
    struct Case {
        bool write;
        const char* name;
        int code;
        const char* text;
    } cases[] = {
        {false, "NoSuchCell", -303, "cell item not found"},
        {true, "NoSuchCell", -303, "cell item not found"},
        {false, "WriteOnly", -308, "Item not readable"},
        {true, "ReadOnly", -309, "Item not writable"},
        // The Modbus channels do not see items without a register address.
        {false, "BusOnly", -303, "cell item not found"},
        {true, "BusOnly", -303, "cell item not found"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int rc = c.write ? api.WriteCell(c.name, 1) : api.ReadCell(c.name, &value);
        EXPECT_EQ(rc, c.code);
        EXPECT_EQ(engine.ErrorCode(), c.code);
        EXPECT_EQ(engine.ErrorText(), c.text);
    }
    // Explicit node and channel arguments.
    EXPECT_EQ(engine.ReadCell("Word16u", &value, 1, engine.ChannelCount() + 1), -31);
    EXPECT_EQ(engine.ReadCell("Word16u", &value, 1, engine.ChannelCount()), -304);
    EXPECT_EQ(engine.ReadCell("Word16u", &value, 5, channel), -304);

    // A drive exception on a plain read comes back as the channel's code with its text.
    Drive(1).RemoveRegister(1002);
    EXPECT_EQ(api.ReadCell("Word16u", &value), 129);
    EXPECT_EQ(engine.ErrorText().rfind("Modbus:", 0), 0u) << engine.ErrorText();
}

TEST_F(SerialEngineTest, FailedWriteDoesNotReachTheValueStore) {
    ASSERT_EQ(Connect(1), 0);
    ASSERT_EQ(api.WriteCell("Word16u", 10), 0);
    CNodo* node = engine.Node(engine.FindNode(1, channel));
    EXPECT_EQ(node->GetValue("Word16u"), 10u);
    sim.InjectFault({drivesim::Fault::ExceptionCode, 4, 1, 6});
    EXPECT_NE(api.WriteCell("Word16u", 20), 0);
    EXPECT_EQ(node->GetValue("Word16u"), 10u);
}

TEST_F(SerialEngineTest, BusyNodeFromAnotherThread) {
    ASSERT_EQ(Connect(1), 0);
    CNodo* node = engine.Node(engine.FindNode(1, channel));
    node->lockTimeoutMs = 100;
    uint32_t value = 0;

    // Plainly held by this thread: another thread gets "node busy".
    ASSERT_TRUE(node->Lock());
    auto busy =
        std::async(std::launch::async, [&] { return engine.ReadCell("Word16u", &value, 1, channel); });
    EXPECT_EQ(busy.get(), -306);
    EXPECT_EQ(engine.ErrorText(), "node busy");
    // Only the owner releases the lock.
    auto stranger = std::async(std::launch::async, [&] { return node->Unlock(); });
    EXPECT_FALSE(stranger.get());
    EXPECT_TRUE(node->Unlock());

    // During a block transfer the other thread learns why.
    sim.InjectFault({drivesim::Fault::Delay, 800, 1, 3});
    auto transfer = std::async(std::launch::async, [&] {
        char buffer[400];
        uint32_t count = sizeof buffer;
        return engine.UploadCell("Block", buffer, &count);
    });
    while (!node->IsTransferBusy()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    auto during =
        std::async(std::launch::async, [&] { return engine.ReadCell("Word16u", &value, 1, channel); });
    EXPECT_EQ(during.get(), -50);
    EXPECT_EQ(engine.ErrorText(), "node busy in downloading or uploading");
    EXPECT_EQ(transfer.get(), 0);
    EXPECT_FALSE(node->IsTransferBusy());
    EXPECT_EQ(api.ReadCell("Word16u", &value), 0);
}

TEST_F(SerialEngineTest, LostDriveAndReconnect) {
    ASSERT_EQ(Connect(1), 0);
    uint32_t value = 0;
    sim.InjectFault({drivesim::Fault::DropReply, 0, 100, 0});
    EXPECT_EQ(api.ReadCell("Word16u", &value), 126);
    CCompatChecker checker;
    BSTR text = nullptr;
    EXPECT_EQ(engine.NodeReconnect(checker, &text, 1, channel), 126);
    EXPECT_EQ(engine.ErrorCode(), -304);
    DescriptionText(text);
    sim.ClearFaults();
    ASSERT_EQ(engine.NodeReconnect(checker, &text, 1, channel), 0) << engine.ErrorText();
    EXPECT_NE(DescriptionText(text).find("XmlFile=\"2_1.xml\""), std::string::npos);
    Drive(1).SetRegister(1002, 99);
    EXPECT_EQ(api.ReadCell("Word16u", &value), 0);
    EXPECT_EQ(value, 99u);

    // Another firmware now answers at the address: reported, the node left as it was.
    Drive(1).SetRegister(18, 2);
    EXPECT_EQ(engine.NodeReconnect(checker, &text, 1, channel), -310);
    EXPECT_EQ(engine.ErrorText(), "the node is changed");
    EXPECT_NE(DescriptionText(text).find("sw_ver=\"2\""), std::string::npos);
    EXPECT_EQ(engine.Node(engine.FindNode(1, channel))->softwareVersion, 1u);
}

TEST_F(SerialEngineTest, BlockUploadAndDownload) {
    ASSERT_EQ(Connect(1), 0);
    std::vector<char> buffer(400, 0);
    uint32_t count = static_cast<uint32_t>(buffer.size());
    ASSERT_EQ(engine.UploadCell("Block", buffer.data(), &count), 0) << engine.ErrorText();
    EXPECT_EQ(std::string(buffer.data(), count), BlockText());

    const std::string data = "odd length block!";
    ASSERT_EQ(engine.DownloadCell("Block", data.data(), static_cast<uint32_t>(data.size())), 0)
        << engine.ErrorText();
    auto domain = Drive(1).Domain(2000);
    ASSERT_TRUE(domain.has_value());
    EXPECT_EQ(std::string(domain->bytes.begin(), domain->bytes.end()), data);

    EXPECT_EQ(engine.UploadCell("NoBlock", buffer.data(), &count), -308);
    EXPECT_EQ(engine.DownloadCell("ReadOnly", data.data(), 2), -309);

    // A drive that refuses the transfer: the channel's code marked as a block failure.
    drivesim::SimDomain refused = *domain;
    refused.status = 2;
    Drive(1).SetDomain(2000, refused);
    count = static_cast<uint32_t>(buffer.size());
    const int rc = engine.UploadCell("Block", buffer.data(), &count);
    EXPECT_EQ(rc, -(301 | 0x8000));
    EXPECT_NE(engine.ErrorText().find("upload protocol is not supported"), std::string::npos)
        << engine.ErrorText();
}

TEST_F(SerialEngineTest, RawRegisterRuns) {
    ASSERT_EQ(Connect(1), 0);
    Drive(1).SetRegisters(1000, {0x0102, 0x0304, 0x0506});
    uint8_t bytes[6] = {};
    ASSERT_EQ(engine.ReadModbusBytes(1000, 6, bytes, 0, -1), 0);
    EXPECT_EQ(bytes[0], 0x02);
    EXPECT_EQ(bytes[1], 0x01);
    EXPECT_EQ(bytes[4], 0x06);
    // An odd count is padded locally: the caller's three bytes are all that is read.
    const uint8_t three[3] = {0x11, 0x22, 0x33};
    ASSERT_EQ(engine.WriteModbusBytes(1000, 3, three), 0);
    EXPECT_EQ(Drive(1).Register(1000), 0x2211);
    EXPECT_EQ(Drive(1).Register(1001), 0x0033);
}

TEST_F(SerialEngineTest, DisconnectedNodeAnswersFromItsStore) {
    ASSERT_EQ(Connect(1), 0);
    ASSERT_EQ(api.WriteCell("Word16u", 321), 0);
    EXPECT_EQ(api.NodeDisconnect(1, channel), 0);
    CNodo* node = engine.Node(engine.FindNode(1, channel));
    EXPECT_EQ(node->simulated, 1);
    EXPECT_EQ(node->guardState & 0x7F, 5);
    Drive(1).SetRegister(1002, 1);
    uint32_t value = 0;
    ASSERT_EQ(api.ReadCell("Word16u", &value), 0);
    EXPECT_EQ(value, 321u);
    // A parameters file is only for simulated nodes; this one was connected for real before.
    CXmlDocument doc;
    ASSERT_EQ(doc.LoadXml("<DEVICE_PARAMETER Version=\"2\"><DEVICE/></DEVICE_PARAMETER>"), S_OK);
    EXPECT_EQ(engine.LoadNodeParameterFile(doc, 0), 0);
}

TEST_F(SerialEngineTest, ParametersFileRefusedOnRealNode) {
    ASSERT_EQ(Connect(1), 0);
    CXmlDocument doc;
    ASSERT_EQ(doc.LoadXml("<DEVICE_PARAMETER Version=\"2\"><DEVICE><PARAMETERS><DATA Name=\"Word16u\" "
                          "Value=\"300\"/></PARAMETERS></DEVICE></DEVICE_PARAMETER>"),
              S_OK);
    EXPECT_EQ(engine.LoadNodeParameterFile(doc, 0), 10);
    EXPECT_FALSE(engine.Node(engine.FindNode(1, channel))->HasValue("Word16u"));
}

TEST_F(SerialEngineTest, SerialConfigurationKeepsPortAndSetsGuardDefaults) {
    ASSERT_EQ(Connect(1), 0);
    auto* driver = static_cast<CSerialChannelDriver*>(engine.Channel(channel)->driver.get());
    ASSERT_TRUE(driver->Rtu().IsConnected());
    CChannelSettings settings;
    ASSERT_EQ(api.GetChannelConfig(settings), 0);
    EXPECT_EQ(settings.words[0], 57600u);
    EXPECT_EQ(settings.words[2], 1500u);
    EXPECT_EQ(settings.words[4], foundation::kEngineNotifyMessage);
    settings.words[3] = settings.words[4] = 0;
    ASSERT_EQ(api.ChannelConfigure(settings), 0);
    EXPECT_TRUE(driver->Rtu().IsConnected());
    EXPECT_EQ(engine.defaultGuardTimeMs, 1500);
    EXPECT_EQ(engine.defaultLifeTimeFactor, 1);

    settings.words[2] = 800;
    ASSERT_EQ(api.ChannelConfigure(settings), 0);
    EXPECT_TRUE(driver->Rtu().IsConnected());
    EXPECT_EQ(driver->Rtu().GetSettings().receiveTimeout, 800u);
    EXPECT_EQ(engine.defaultGuardTimeMs, 800);
    // The probe reads register 250; an exception reply is no answer.
    EXPECT_TRUE(engine.ChannelTest(1));
    Drive(1).RemoveRegister(250);
    EXPECT_FALSE(engine.ChannelTest(1));
}

}  // namespace

namespace {

TEST_F(SerialEngineTest, ConnectingAHeldNodeReportsBusy) {
    ASSERT_EQ(Connect(1), 0);
    CNodo* node = engine.Node(engine.FindNode(1, channel));
    node->lockTimeoutMs = 100;
    ASSERT_TRUE(node->Lock());
    auto other = std::async(std::launch::async, [&] {
        engine.ClearError();
        return Connect(1);
    });
    EXPECT_EQ(other.get(), -306);
    EXPECT_EQ(engine.ErrorText(), "node busy");
    EXPECT_TRUE(node->Unlock());
    EXPECT_EQ(Connect(1), 0);
}

TEST_F(SerialEngineTest, DriveInItsBootLoaderIsDescribedAsBoot) {
    ASSERT_EQ(Connect(1), 0);
    CCompatChecker checker;
    CNodeConnection record;
    int kind = 0;
    uint32_t wordOrder = 0;
    uint16_t build = 0;
    uint32_t address = 0;
    int ch = channel;
    // The drive now runs its boot loader: bit 15 of the firmware version register.
    Drive(1).SetRegister(18, 0x8001);
    ASSERT_EQ(engine.IdentifyNode(&address, 1, &ch, checker, &record, &kind, &wordOrder, &build), 0);
    EXPECT_EQ(kind, 1);
    bool created = true;
    bool changed = false;
    const int slot = engine.AddOrGetNode(address, record, build, &created, &changed, ch);
    ASSERT_GE(slot, 0);
    EXPECT_FALSE(created);
    EXPECT_EQ(engine.Node(slot)->Unlock(), true);
    std::string xml;
    ASSERT_EQ(Connect(1, &xml), 0) << engine.ErrorText();
    EXPECT_NE(xml.find("boot=\"1\""), std::string::npos) << xml;
}

TEST(NodeTable, ThreeHundredAndFirstNodeIsRefused) {
    CMain engine(0);
    CNodeConnection record{1, 5, 2, 1};
    bool created = false;
    bool changed = false;
    for (uint32_t address = 1; address <= CMain::kMaxNodes; ++address)
        ASSERT_GE(engine.AddOrGetNode(address, record, 0, &created, &changed, 0), 0);
    EXPECT_EQ(engine.AddOrGetNode(999, record, 0, &created, &changed, 0), -1);
    EXPECT_EQ(engine.ErrorText(), "too many nodes");
    // The same address again is the same node, reported unchanged.
    EXPECT_EQ(engine.AddOrGetNode(7, record, 0, &created, &changed, 0), 6);
    EXPECT_FALSE(created);
    EXPECT_FALSE(changed);
    record.softwareVersion = 2;
    EXPECT_EQ(engine.AddOrGetNode(7, record, 0, &created, &changed, 0), 6);
    EXPECT_TRUE(changed);
    EXPECT_EQ(engine.Node(6)->softwareVersion, 2u);
}

}  // namespace
