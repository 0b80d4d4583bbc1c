// The ADS channel: library binding, item reads and writes, error codes and texts, the channel
// lock, and the EtherCAT scan.
#include <gtest/gtest.h>

#include <thread>

#include "AdsTestSupport.h"

using namespace transport;
using namespace ads_test;

class AdsChannel : public AdsFixture {
  protected:
    void SetUp() override {
        AdsFixture::SetUp();
        drivesim::EcatSlave& slave = server_.AddSlave(1001);
        slave.SetU16(0x6040, 0, 0x0006);
        drivesim::CoeObject velocity;
        velocity.bytes = {0, 0, 0, 0};
        velocity.minimum = -1000;
        velocity.maximum = 1000;
        slave.SetObject(0x60FF, 0, velocity);
        drivesim::CoeObject locked;
        locked.bytes = {1, 0};
        locked.writeError = 0x712;
        slave.SetObject(0x6060, 0, locked);
    }
};

TEST_F(AdsChannel, LibraryIsBoundWholeOrNotAtAll) {
    auto missing = MakeChannel(1001, TUNOVA_ADS_LIBRARY_INCOMPLETE);
    EXPECT_FALSE(missing->Connect());
    EXPECT_FALSE(missing->IsLibraryLoaded());
    EXPECT_EQ(owner_.Code(), -11);
    EXPECT_EQ(owner_.Text(), std::string("function missing in ") + TUNOVA_ADS_LIBRARY_INCOMPLETE +
                                 ", please update Linkora library");
    EXPECT_EQ(missing->MissingFunction(), "AdsAmsPortEnabledEx");

    CTwincatAds absent(&owner_, "/nonexistent/libTcAdsDll.so");
    EXPECT_FALSE(absent.Connect());
    EXPECT_EQ(owner_.Code(), -11);
    EXPECT_EQ(owner_.Text(), "error loading /nonexistent/libTcAdsDll.so");

    auto whole = MakeChannel();
    EXPECT_TRUE(whole->Test());
    EXPECT_FALSE(whole->IsConnected());
    EXPECT_TRUE(whole->Connect());
    EXPECT_TRUE(whole->IsConnected());
    EXPECT_NE(whole->AdsPort(), 0);
    whole->Disconnect();
    EXPECT_FALSE(whole->IsConnected());
}

TEST_F(AdsChannel, ReadsAndWritesWithoutTheLibraryFail) {
    struct Case {
        const char* what;
        std::string library;
        bool write;
        std::string text;
    };
    const std::string incomplete = TUNOVA_ADS_LIBRARY_INCOMPLETE;
    const Case cases[] = {
        {"read, no library", "/nonexistent/libTcAdsDll.so", false,
         "error loading /nonexistent/libTcAdsDll.so"},
        {"write, no library", "/nonexistent/libTcAdsDll.so", true,
         "error loading /nonexistent/libTcAdsDll.so"},
        {"read, incomplete library", incomplete, false,
         "function missing in " + incomplete + ", please update Linkora library"},
        {"write, incomplete library", incomplete, true,
         "function missing in " + incomplete + ", please update Linkora library"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CTwincatAds channel(&owner_, c.library);
        uint8_t buffer[2] = {0x5A, 0x5A};
        uint32_t size = 2;
        const int rc = c.write ? channel.Write(Item(0x6040, 0, 2), buffer, &size, 1000)
                               : channel.Read(Item(0x6040, 0, 2), buffer, &size, 1000);
        EXPECT_EQ(rc, -11);
        EXPECT_EQ(owner_.Code(), -11);
        EXPECT_EQ(owner_.Text(), c.text);
        EXPECT_EQ(buffer[0], 0x5A);
    }
}

TEST_F(AdsChannel, ItemsAreCoeObjectsOfTheChosenSlave) {
    auto channel = MakeChannel();
    uint8_t buffer[4] = {};
    uint32_t size = 2;
    ASSERT_EQ(channel->Read(Item(0x6040, 0, 2), buffer, &size, 1000), 0);
    EXPECT_EQ(channel->RequestAddress().port, 1001);
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(buffer[0], 6);

    const int32_t speed = -500;
    size = 4;
    ASSERT_EQ(channel->Write(Item(0x60FF, 0, 4, 1), &speed, &size, 1000), 0);
    EXPECT_EQ(server_.Slave(1001)->Object(0x60FF, 0)->bytes[0], static_cast<uint8_t>(-500 & 0xFF));
    EXPECT_EQ(channel->lastResult.load(), 0u);

    CAdsItem noIndex = Item(0, 0, 2, 0, "Nameless");
    noIndex.hasIndex = false;
    EXPECT_EQ(channel->Read(noIndex, buffer, &size, 1000), -303);
    EXPECT_EQ(owner_.Text(), "Can cell 'Nameless' not found");
}

TEST_F(AdsChannel, AdsCodesReachTheOwnerMappedToAborts) {
    auto channel = MakeChannel();
    struct Case {
        const char* what;
        CAdsItem item;
        int32_t value;
        int expected;
        const char* text;
    };
    const Case cases[] = {
        {"out of range", Item(0x60FF, 0, 4, 1), 5000, 0x06090030, "Parameter value out of range."},
        {"missing object", Item(0x6099, 1, 4), 1, 0x06020000, "Parameter not existing."},
        {"wrong state", Item(0x6060, 0, 2), 1, 0x08000022,
         "Parameter can not be read or written in the current state."},
        {"size", Item(0x6040, 0, 4), 1, 0x705, "Parameter size not correct."},
    };
    for (const Case& c : cases) {
        uint32_t size = c.item.size;
        EXPECT_EQ(channel->Write(c.item, &c.value, &size, 1000), c.expected) << c.what;
        EXPECT_EQ(owner_.Code(), c.expected) << c.what;
        EXPECT_EQ(owner_.Text(), c.text) << c.what;
        EXPECT_EQ(channel->lastResult.load(), static_cast<uint32_t>(c.expected)) << c.what;
    }
    EXPECT_NE(channel->OperationText().find("SyncWriteReq(0x60400000,4): 1797(0x705)"), std::string::npos)
        << channel->OperationText();
}

TEST(AdsCodes, TextsAndAbortMapping) {
    struct Case {
        uint32_t code;
        const char* text;
    };
    const Case cases[] = {
        {0, "ok"},
        {0x706, "Parameter value out of range."},
        {0x06090030, "Parameter value out of range."},
        {0x06010002, "Reading/writing not permitted."},
        {0x742, "Polling list\tis empty."},
        {4372, "Channel busy."},
        {4371, "Error 4371(0x1113)."},
        {0xFFFFFFFF, "Error 4294967295(0xffffffff)."},
        {0x2751, "WSAEHOSTUNREACH:no route to host - a socket operation referred to an unavailable host."},
    };
    for (const Case& c : cases) EXPECT_EQ(CTwincatAds::GetErrorText(c.code), c.text) << c.code;
    EXPECT_EQ(MapAdsToSdoAbort(0x703), 0x06020000u);
    EXPECT_EQ(MapAdsToSdoAbort(0x704), 0x06010002u);
    EXPECT_EQ(MapAdsToSdoAbort(0x706), 0x06090030u);
    EXPECT_EQ(MapAdsToSdoAbort(0x70D), 0x08000000u);
    EXPECT_EQ(MapAdsToSdoAbort(0x712), 0x08000022u);
    EXPECT_EQ(MapAdsToSdoAbort(0x705), 0x705u);
}

TEST_F(AdsChannel, CallerTimeoutIsRaisedForOneRequestAndPutBack) {
    auto channel = MakeChannel();
    ASSERT_TRUE(channel->Connect());
    // A reply after 1.5 s: past the default of 1 s, inside the caller's 8 s.
    channel->SetDefaultTimeout(1000);
    channel->Disconnect();
    ASSERT_TRUE(channel->Connect());
    server_.InjectFault({drivesim::AdsFault::Delay, 1500, 1, ams::kRead});
    uint16_t value = 0;
    uint32_t size = 2;
    EXPECT_EQ(channel->Read(Item(0x6040, 0, 2), &value, &size, 8000), 0);
    server_.InjectFault({drivesim::AdsFault::NoReply, 0, 1, ams::kRead});
    size = 2;
    EXPECT_EQ(channel->Read(Item(0x6040, 0, 2), &value, &size, 0), 0x745);
    EXPECT_EQ(owner_.Text(), "Timeout elapsed.");
}

TEST_F(AdsChannel, SecondExchangeWaitsForTheLockAndGetsChannelBusy) {
    auto channel = MakeChannel();
    ASSERT_TRUE(channel->Connect());
    // The first request holds the channel for 7 s; the second gives up after 5 s.
    server_.InjectFault({drivesim::AdsFault::Delay, 7000, 1, ams::kRead});
    int first = -1;
    std::thread holder([&] {
        uint16_t value = 0;
        uint32_t size = 2;
        first = channel->Read(Item(0x6040, 0, 2), &value, &size, 20000);
    });
    ASSERT_TRUE(WaitUntil([&] { return server_.RequestCount() >= 1; }));
    uint16_t value = 0;
    uint32_t size = 2;
    EXPECT_EQ(channel->Write(Item(0x6040, 0, 2), &value, &size, 1000), 4372);
    EXPECT_EQ(owner_.Code(), 4372);
    EXPECT_EQ(owner_.Text(), "Channel busy.");
    EXPECT_EQ(channel->OperationText(), "Read(): Channel busy.");
    holder.join();
    EXPECT_EQ(first, 0);
}

TEST_F(AdsChannel, ScanListsEveryDeviceWithStateIdentityAndChoice) {
    server_.AddDriveSlave(1001, "Servo X1", "Hardware 12 v.1.0.0", "Firmware 1234 v.2.3.1");
    server_.Slave(1001)->SetText(0x6510, 4, "Axis 1");
    drivesim::EcatSlave& init =
        server_.AddDriveSlave(1002, "Servo X2", "Hardware 12 v.1.0.0", "Firmware 1234 v.2.3.1");
    init.state = 0x0011;
    drivesim::EcatSlave& error = server_.AddSlave(1003);
    error.state = 0x0010;
    drivesim::EcatSlave& nolink = server_.AddSlave(1004);
    nolink.state = 0x0100;
    drivesim::EcatSlave& foreign = server_.AddSlave(1005);
    foreign.state = 0x0008;
    foreign.vendor = 77;
    foreign.SetU32(0x1018, 0x02, 5);  // product code
    foreign.SetU32(0x1018, 0x03, 2);  // revision
    foreign.SetText(0x1008, 0, "IO block");
    drivesim::EcatSlave& silent = server_.AddSlave(1006);
    silent.identityReadable = false;

    auto channel = MakeChannel(0);
    CBusNodeList list;
    ASSERT_TRUE(channel->ScanDevices(list));
    ASSERT_EQ(list.size(), 6u);
    struct Expect {
        uint16_t address;
        const char* name;
        const char* state;
        uint32_t colour;
        uint8_t selectable;
        const char* identity;
    };
    const Expect expected[] = {
        {1001, "Axis 1 - Servo X1", "operational", 0xFF00, 1,
         "Varno(6699) [Firmware 1234 v.2.3.1, Hardware 12 v.1.0.0]"},
        {1002, "Servo X2", "init", 0xFFFF00, 0, "Varno(6699) [Firmware 1234 v.2.3.1, Hardware 12 v.1.0.0]"},
        {1003, "", "error state", 0x80FF, 0, "0 [0 ver. 0, hw 0]"},
        {1004, "Link not present", "not avail", 0, 0, ""},
        {1005, "IO block", "operational", 0xFF00, 0, "77 [5 ver. 2, hw 0]"},
        {1006, "General error.", "operational", 0xFF00, 0, ""},
    };
    for (size_t i = 0; i < list.size(); ++i) {
        const CBusNodeData& n = *list[i];
        const Expect& e = expected[i];
        EXPECT_EQ(n.address, e.address);
        EXPECT_EQ(n.name, e.name) << e.address;
        EXPECT_EQ(n.state, e.state) << e.address;
        EXPECT_EQ(n.colour, e.colour) << e.address;
        EXPECT_EQ(n.selectable, e.selectable) << e.address;
        EXPECT_EQ(n.identity, e.identity) << e.address;
    }
    FreeEtherCatDeviceList(list);
    EXPECT_TRUE(list.empty());
}

TEST_F(AdsChannel, ScanFailureIsReportedAndClosesThePort) {
    auto channel = MakeChannel(0);
    server_.InjectFault({drivesim::AdsFault::ErrorCode, 0x70D, 1, ams::kRead});
    CBusNodeList list;
    EXPECT_FALSE(channel->ScanDevices(list));
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(channel->OperationText(),
              "Read the number of projected EtherCAT devices (0xffff,6,0,4): General error.");
    EXPECT_FALSE(channel->IsConnected());
}
