// One described simulated drive on every wire: what one wire writes the others read, SDO and
// domain transfers of its long values and capture buffers, and a mute drive on each wire.
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "tests/tools/DriveSimTestSupport.h"
#include "tests/transport/AdsTestSupport.h"
#include "tests/transport/TransportTestUtil.h"
#include "tools/drivesim/BridgeServer.h"
#include "tools/drivesim/DriveSim.h"
#include "tools/drivesim/SimDrive.h"
#include "tools/drivesim/SimWiring.h"
#include "transport/BridgeVkr.h"
#include "transport/ModbusTcp.h"

using namespace transport;

namespace {

constexpr uint16_t kControlword = 3000, kStatusword = 3001, kCommand = 3200, kAccessError = 3108,
                   kDriveName = 3306, kChannels = 3600, kChannel1 = 3601, kTriggerStatus = 3610,
                   kBuffer1 = 3620;

class Wires : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(model->Load(drivesimtest::DescriptionPath(), &error)) << error;
        drivesim::DescribeModbusDrive(sim.AddDrive(1), model);
        const std::string pty = sim.StartPty(&error);
        ASSERT_FALSE(pty.empty()) << error;
        transport_test::ConfigureRtu(rtu, pty, 300);
        ASSERT_EQ(rtu.Connect(true), 0);
        const int port = sim.StartTcp(0, &error);
        ASSERT_GT(port, 0) << error;
        tcp.SetBoxAddress(0x7F000001);
        tcp.SetPort(static_cast<uint16_t>(port));
        tcp.SetBoxTimeout(1000);
        ASSERT_EQ(tcp.Connect(), 0);
    }
    void TearDown() override { sim.Stop(); }

    template <class Channel>
    uint16_t Word(Channel& channel, uint16_t address) {
        uint16_t value = 0xDEAD;
        EXPECT_EQ(channel.SdoUpload(1, address, 2, &value), 0) << address;
        return value;
    }
    template <class Channel>
    int Put(Channel& channel, uint16_t address, uint16_t value) {
        return channel.SdoDownload(1, address, 2, &value);
    }

    std::shared_ptr<drivesim::SimDriveModel> model = std::make_shared<drivesim::SimDriveModel>();
    drivesim::DriveSim sim;
    CErrorPair rtuOwner, tcpOwner;
    CModbusRtu rtu{&rtuOwner};
    CModbusTcp tcp{&tcpOwner};
};

TEST_F(Wires, SerialAndBoxShareOneDrive) {
    EXPECT_EQ(Word(rtu, kStatusword), 0x0240);
    ASSERT_EQ(Put(tcp, kControlword, 6), 0);
    EXPECT_EQ(Word(rtu, kStatusword), 0x0231);
    ASSERT_EQ(Put(rtu, kControlword, 7), 0);
    EXPECT_EQ(Word(tcp, kStatusword), 0x0233);

    // A second command while one runs: refused on the wire, the reason in the error word.
    ASSERT_EQ(Put(tcp, kCommand, 500), 0);
    EXPECT_NE(Put(rtu, kCommand, 100), 0);
    EXPECT_EQ(Word(rtu, kAccessError), 6);
    EXPECT_EQ(Word(tcp, kCommand), 500);

    // The drive name is a long value: SDO transfers both ways.
    char name[100] = {};
    ASSERT_EQ(rtu.SdoUpload(1, kDriveName, sizeof name, name), 0);
    EXPECT_STREQ(name, "Simulated drive");
    const std::string renamed = "Line 3 axis";
    ASSERT_EQ(tcp.SdoDownload(1, kDriveName, static_cast<uint32_t>(renamed.size()), renamed.data()), 0);
    std::memset(name, 0, sizeof name);
    ASSERT_EQ(rtu.SdoUpload(1, kDriveName, sizeof name, name), 0);
    EXPECT_EQ(std::string(name), renamed);
}

TEST_F(Wires, CaptureBufferIsADomain) {
    ASSERT_EQ(Put(rtu, kChannels, 1), 0);
    const uint32_t code = 4;  // analog input 0
    ASSERT_EQ(rtu.SdoDownload(1, kChannel1, 4, &code), 0);
    ASSERT_EQ(Put(rtu, kTriggerStatus, 2), 0);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Word(rtu, kTriggerStatus) != 3 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(Word(rtu, kTriggerStatus), 3);
    const std::vector<uint8_t> expected = model->Read("Buffer_1").bytes;
    ASSERT_EQ(expected.size(), 4096u * 4);
    for (auto* channel : {static_cast<CModbusChannel*>(&rtu), static_cast<CModbusChannel*>(&tcp)}) {
        std::vector<uint8_t> buffer(expected.size() + 16);
        uint32_t size = static_cast<uint32_t>(buffer.size());
        ASSERT_EQ(channel->UploadFile(kBuffer1, buffer.data(), &size, 0, nullptr, {}, 0, 0, 1), 0);
        ASSERT_EQ(size, expected.size());
        buffer.resize(size);
        EXPECT_EQ(buffer, expected);
    }
    EXPECT_GE(sim.Drive(1)->Stats().domainUploadsDone, 2);
}

TEST_F(Wires, MuteDriveAnswersNothing) {
    std::string error;
    ASSERT_TRUE(model->ApplySwitch("no-answer", &error)) << error;
    uint16_t value = 0;
    EXPECT_EQ(rtu.SdoUpload(1, kStatusword, 2, &value), 126);  // nothing came
    EXPECT_NE(tcp.SdoUpload(1, kStatusword, 2, &value), 0);
}

// The same drive behind ADS and the fieldbus bridge, at its CANopen object addresses.
TEST_F(Wires, FieldbusWiresReachTheSameDrive) {
    drivesim::AdsServer ads;
    drivesim::EcatSlave& slave = ads.AddDriveSlave(1001, "Simulated drive", "", "");
    slave.registers = sim.Drive(1);
    drivesim::DescribeEcatSlave(slave, model);
    std::string error;
    const int adsPort = ads.Start(0, &error);
    ASSERT_GT(adsPort, 0) << error;
    ads_test::RouteFile routes("local 10.9.8.7.1.1\n5.1.2.3.1.1 127.0.0.1 " + std::to_string(adsPort) + "\n");
    CErrorPair adsOwner;
    CTwincatAds channel(&adsOwner, TUNOVA_ADS_LIBRARY);
    channel.SetTarget(ads_test::ServerNetId(), 1001);
    ASSERT_TRUE(channel.Connect()) << adsOwner.Text();

    drivesim::BridgeServer bridge;
    drivesim::BridgeSimNode& node = bridge.AddNode(1, 5);
    node.state = 5;
    drivesim::DescribeBridgeNode(node, model);
    const int bridgePort = bridge.Start(0, &error);
    ASSERT_GT(bridgePort, 0) << error;
    CBridgeVkr client;
    client.SetPort(static_cast<uint16_t>(bridgePort));
    ASSERT_TRUE(client.Connect("127.0.0.1")) << client.LastErrorText();
    client.SetCurrentTarget(1);
    client.SetCurrentNode(5);
    auto bridgeRead = [&](uint16_t index, uint8_t sub, uint32_t& status) {
        uint16_t value = 0;
        uint32_t received = 0;
        client.ClearDirect();
        client.CmdReadCan(index, sub, &value, &status, sizeof value, &received);
        EXPECT_EQ(client.ExecuteCmds(5000), 0) << client.LastErrorText();
        return value;
    };

    const CAdsItem statusword = ads_test::Item(0x6041, 0, 2), controlword = ads_test::Item(0x6040, 0, 2);
    uint16_t word = 6;
    uint32_t size = 2;
    ASSERT_EQ(channel.Write(controlword, &word, &size, 5000), 0) << adsOwner.Text();
    EXPECT_EQ(Word(rtu, kStatusword), 0x0231);
    uint32_t status = 1;
    EXPECT_EQ(bridgeRead(0x6041, 0, status), 0x0231);
    EXPECT_EQ(status, 0u);
    ASSERT_EQ(Put(rtu, kControlword, 7), 0);
    size = 2;
    ASSERT_EQ(channel.Read(statusword, &word, &size, 5000), 0) << adsOwner.Text();
    EXPECT_EQ(word, 0x0233);
    // The identity the bridge's identification reads.
    char text[64] = {};
    uint32_t received = 0;
    client.ClearDirect();
    client.CmdReadCan(0x100A, 0, text, &status, sizeof text - 1, &received);
    ASSERT_EQ(client.ExecuteCmds(5000), 0);
    EXPECT_EQ(std::string(text, received), "Firmware 1234 v.2.3.1");

    // Refusals keep their meaning: a read-only object, a busy drive.
    word = 1;
    size = 2;
    EXPECT_NE(channel.Write(statusword, &word, &size, 5000), 0);
    uint16_t command = 500;
    client.ClearDirect();
    client.CmdWriteCan(0x2200, 1, &command, &status, 2);
    ASSERT_EQ(client.ExecuteCmds(5000), 0);
    EXPECT_EQ(status, 0u);
    command = 100;
    client.ClearDirect();
    client.CmdWriteCan(0x2200, 1, &command, &status, 2);
    ASSERT_EQ(client.ExecuteCmds(5000), 0);
    EXPECT_EQ(status, drivesim::SdoAbortOf(drivesim::Refusal::Busy));

    // A mute drive: the master reports the slave's time-out, the bridge a lost node.
    ASSERT_TRUE(model->ApplySwitch("no-answer", &error)) << error;
    size = 2;
    EXPECT_NE(channel.Read(statusword, &word, &size, 5000), 0);
    bridgeRead(0x6041, 0, status);
    EXPECT_NE(status, 0u);
    channel.Disconnect();
    client.Disconnect();
    bridge.Stop();
    ads.Stop();
}

}  // namespace
