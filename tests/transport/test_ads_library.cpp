// The ADS client library loaded as the channel loads it, talking to the simulated drive's ADS
// server and to a scripted peer on loopback.
#include <gtest/gtest.h>

#include <atomic>

#include "AdsTestSupport.h"
#include "TransportTestUtil.h"
#include "platform/DynamicLibrary.h"
#include "platform/Socket.h"

using namespace ads_test;

namespace {

struct Api {
    decltype(&::AdsPortOpenEx) portOpenEx = nullptr;
    decltype(&::AdsPortCloseEx) portCloseEx = nullptr;
    decltype(&::AdsGetLocalAddressEx) localAddressEx = nullptr;
    decltype(&::AdsSyncReadReqEx2) read = nullptr;
    decltype(&::AdsSyncWriteReqEx) write = nullptr;
    decltype(&::AdsSyncSetTimeoutEx) setTimeout = nullptr;
    decltype(&::AdsSyncGetTimeoutEx) getTimeout = nullptr;
    decltype(&::AdsSyncReadStateReqEx) readState = nullptr;
    decltype(&::AdsSyncReadDeviceInfoReqEx) deviceInfo = nullptr;
    decltype(&::AdsSyncAddDeviceNotificationReqEx) addNotification = nullptr;
    decltype(&::AdsSyncDelDeviceNotificationReqEx) delNotification = nullptr;
    decltype(&::AdsAmsPortEnabledEx) portEnabled = nullptr;
    decltype(&::AdsGetLastError) lastError = nullptr;
};

class AdsLibrary : public AdsFixture {
  protected:
    void SetUp() override {
        AdsFixture::SetUp();
        std::string error;
        ASSERT_TRUE(lib_.Open(TUNOVA_ADS_LIBRARY, &error)) << error;
        ASSERT_TRUE(lib_.Bind(api_.portOpenEx, "AdsPortOpenEx", &error) &&
                    lib_.Bind(api_.portCloseEx, "AdsPortCloseEx", &error) &&
                    lib_.Bind(api_.localAddressEx, "AdsGetLocalAddressEx", &error) &&
                    lib_.Bind(api_.read, "AdsSyncReadReqEx2", &error) &&
                    lib_.Bind(api_.write, "AdsSyncWriteReqEx", &error) &&
                    lib_.Bind(api_.setTimeout, "AdsSyncSetTimeoutEx", &error) &&
                    lib_.Bind(api_.getTimeout, "AdsSyncGetTimeoutEx", &error) &&
                    lib_.Bind(api_.readState, "AdsSyncReadStateReqEx", &error) &&
                    lib_.Bind(api_.deviceInfo, "AdsSyncReadDeviceInfoReqEx", &error) &&
                    lib_.Bind(api_.addNotification, "AdsSyncAddDeviceNotificationReqEx", &error) &&
                    lib_.Bind(api_.delNotification, "AdsSyncDelDeviceNotificationReqEx", &error) &&
                    lib_.Bind(api_.portEnabled, "AdsAmsPortEnabledEx", &error) &&
                    lib_.Bind(api_.lastError, "AdsGetLastError", &error))
            << error;
        slave_ = &server_.AddSlave(1001);
        slave_->SetU16(0x6040, 0, 0x1234);
        port_ = api_.portOpenEx();
        ASSERT_NE(port_, 0);
    }
    void TearDown() override {
        if (port_) api_.portCloseEx(port_);
        lib_.Close();
        AdsFixture::TearDown();
    }

    long ReadU16(uint16_t* value, uint32_t offset = 0x60400000) {
        uint32_t n = 0;
        return api_.read(port_, &target_, 0xF302, offset, 2, value, &n);
    }

    platform::DynamicLibrary lib_;
    Api api_;
    drivesim::EcatSlave* slave_ = nullptr;
    long port_ = 0;
    AdsAddress target_{ServerNetId(), 1001};
};

std::atomic<int> g_notified{0};
std::atomic<uint32_t> g_notifiedValue{0};

void OnNotify(const AdsAddress*, const AdsNotifySample* sample, uint32_t user) {
    if (user == 77 && sample->size == 2)
        g_notifiedValue = static_cast<uint32_t>(sample->data[0] | sample->data[1] << 8);
    ++g_notified;
}

}  // namespace

TEST_F(AdsLibrary, PortsHaveTheLocalNetIdAndTheirOwnTimeouts) {
    AdsAddress local{};
    ASSERT_EQ(api_.localAddressEx(port_, &local), 0);
    EXPECT_EQ(local.netId.b[0], 10);
    EXPECT_EQ(local.netId.b[3], 7);
    EXPECT_EQ(local.port, port_);
    int enabled = 0;
    EXPECT_EQ(api_.portEnabled(port_, &enabled), 0);
    EXPECT_EQ(enabled, 1);
    long ms = 0;
    EXPECT_EQ(api_.getTimeout(port_, &ms), 0);
    EXPECT_EQ(ms, 5000);
    EXPECT_EQ(api_.setTimeout(port_, 0), 0x747);
    const long second = api_.portOpenEx();
    EXPECT_NE(second, port_);
    EXPECT_EQ(api_.portCloseEx(second), 0);
    EXPECT_EQ(api_.portCloseEx(second), 0x748);
    EXPECT_EQ(api_.lastError(), 0x748);
    EXPECT_EQ(api_.portEnabled(second, &enabled), 0x748);
    EXPECT_EQ(enabled, 0);
}

TEST_F(AdsLibrary, ReadsWritesStateAndDeviceInfoReachTheServer) {
    uint16_t value = 0;
    ASSERT_EQ(ReadU16(&value), 0);
    EXPECT_EQ(value, 0x1234);
    const uint16_t written = 0x0F;
    ASSERT_EQ(api_.write(port_, &target_, 0xF302, 0x60400000, 2, &written), 0);
    ASSERT_EQ(ReadU16(&value), 0);
    EXPECT_EQ(value, 0x0F);
    EXPECT_EQ(ReadU16(&value, 0x60410000), 0x703);
    EXPECT_EQ(api_.write(port_, &target_, 0xF302, 0x60400000, 1, &written), 0x705);
    uint16_t adsState = 0, deviceState = 0;
    ASSERT_EQ(api_.readState(port_, &target_, &adsState, &deviceState), 0);
    EXPECT_EQ(adsState, 5);
    EXPECT_EQ(deviceState, 8);
    char name[17] = {};
    AdsLibVersion version{};
    ASSERT_EQ(api_.deviceInfo(port_, &target_, name, &version), 0);
    EXPECT_STREQ(name, "DriveSim EtherC");
    // A reply longer than the buffer is never copied into it.
    slave_->SetU32(0x6041, 0, 0x11223344);
    uint8_t small[2] = {};
    uint32_t n = 0;
    EXPECT_EQ(api_.read(port_, &target_, 0xF302, 0x60410000, 2, small, &n), 0x705);
}

TEST_F(AdsLibrary, NotificationsCallBackOnChanges) {
    g_notified = 0;
    AdsNotifyAttrib attrib{2, 4, 0, 0};
    uint32_t handle = 0;
    ASSERT_EQ(api_.addNotification(port_, &target_, 0xF302, 0x60400000, &attrib, &OnNotify, 77, &handle), 0);
    const uint16_t written = 0x55;
    ASSERT_EQ(api_.write(port_, &target_, 0xF302, 0x60400000, 2, &written), 0);
    ASSERT_TRUE(WaitUntil([] { return g_notified.load() > 0; }));
    EXPECT_EQ(g_notifiedValue.load(), 0x55u);
    EXPECT_EQ(api_.delNotification(port_, &target_, handle), 0);
    EXPECT_EQ(api_.delNotification(port_, &target_, handle), 0x714);
}

TEST_F(AdsLibrary, FaultsGiveCodesAndTheConnectionRecovers) {
    ASSERT_EQ(api_.setTimeout(port_, 300), 0);
    struct Case {
        drivesim::AdsFault::Kind kind;
        long code;
    };
    const Case cases[] = {
        {drivesim::AdsFault::NoReply, 0x745},         {drivesim::AdsFault::WrongInvokeId, 0x745},
        {drivesim::AdsFault::TruncatedHeader, 0x754}, {drivesim::AdsFault::Disconnect, 0x2746},
        {drivesim::AdsFault::ErrorCode, 0x70D},
    };
    for (const Case& c : cases) {
        server_.InjectFault({c.kind, 0x70D, 1, ams::kRead});
        uint16_t value = 0;
        EXPECT_EQ(ReadU16(&value), c.code) << c.kind;
        // The next request is answered (on a new connection where the old one was dropped).
        EXPECT_EQ(ReadU16(&value), 0) << c.kind;
        EXPECT_EQ(value, 0x1234);
    }
}

TEST_F(AdsLibrary, UnroutedOrUnreachableTargetsFail) {
    uint16_t value = 0;
    uint32_t n = 0;
    AdsAddress unknown{AdsNetId{{9, 9, 9, 9, 1, 1}}, 1001};
    EXPECT_EQ(api_.read(port_, &unknown, 0xF302, 0x60400000, 2, &value, &n), 0x7);
    EXPECT_EQ(api_.read(port_, nullptr, 0xF302, 0x60400000, 2, &value, &n), 0x749);
    AdsAddress otherSlave{ServerNetId(), 1002};
    EXPECT_EQ(api_.read(port_, &otherSlave, 0xF302, 0x60400000, 2, &value, &n), 0x6);

    // A route to a port where nothing listens.
    platform::TcpListener closed;
    ASSERT_EQ(closed.Listen("127.0.0.1", 0), 0);
    const uint16_t deadPort = closed.Port();
    closed.Close();
    RouteFile dead("5.1.2.3.1.1 127.0.0.1 " + std::to_string(deadPort) + "\n");
    const long port = api_.portOpenEx();  // reads the table again
    EXPECT_EQ(api_.read(port, &target_, 0xF302, 0x60400000, 2, &value, &n), 0x274D);
    api_.portCloseEx(port);
}

TEST_F(AdsLibrary, RequestOnTheWireIsGolden) {
    platform::TcpListener peer;
    ASSERT_EQ(peer.Listen("127.0.0.1", 0), 0);
    RouteFile route("local 10.9.8.7.1.1\n5.1.2.3.1.1 127.0.0.1 " + std::to_string(peer.Port()) + "\n");
    const long port = api_.portOpenEx();
    ASSERT_EQ(api_.setTimeout(port, 2000), 0);
    std::thread client([&] {
        uint16_t value = 0;
        uint32_t n = 0;
        EXPECT_EQ(api_.read(port, &target_, 0xF302, 0x60400000, 2, &value, &n), 0);
        EXPECT_EQ(value, 0x0F);
    });
    platform::TcpSocket s;
    ASSERT_EQ(peer.Accept(s, 5000), 1);
    transport_test::Bytes got(50);
    ASSERT_EQ(s.RecvAll(got.data(), got.size(), 5000), 50);
    const uint32_t invoke = ams::GetU32(got.data() + 34);
    const std::string sourcePort = std::to_string(port);
    transport_test::Bytes expected = transport_test::HexToBytes(
        "0000 2C000000 050102030101 E903 0A0908070101 0000 0200 0400 0C000000 00000000 00000000"
        " 02F30000 00004060 02000000");
    expected[20] = static_cast<uint8_t>(port);
    expected[21] = static_cast<uint8_t>(port >> 8);
    for (int i = 0; i < 4; ++i) expected[34 + i] = static_cast<uint8_t>(invoke >> (8 * i));
    EXPECT_EQ(got, expected);
    drivesim::AdsServer answerer;
    answerer.AddSlave(1001).SetU16(0x6040, 0, 0x0F);
    const transport_test::Bytes reply = answerer.Answer(got.data(), got.size());
    ASSERT_EQ(s.Send(reply.data(), reply.size()), static_cast<int>(reply.size()));
    client.join();
    api_.portCloseEx(port);
}
