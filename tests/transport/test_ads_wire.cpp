// AMS/TCP frames: golden encodings, the simulated drive's answers and the decoders' checks.
#include <gtest/gtest.h>

#include "AdsTestSupport.h"
#include "TransportTestUtil.h"
#include "platform/ads/AdsRoutes.h"
#include "platform/ads/AmsWire.h"

using transport_test::Bytes;
using transport_test::HexToBytes;

namespace {

ams::Header RequestHeader(uint16_t command, uint32_t invoke) {
    ams::Header h;
    h.target = ams::NetId{{5, 1, 2, 3, 1, 1}};
    h.targetPort = 1001;
    h.source = ams::NetId{{10, 9, 8, 7, 1, 1}};
    h.sourcePort = 30000;
    h.command = command;
    h.invokeId = invoke;
    return h;
}

const char* const kReadRequest =
    "0000 2C000000 050102030101 E903 0A0908070101 3075 0200 0400 0C000000 00000000 07000000"
    " 02F30000 00004060 02000000";

}  // namespace

TEST(AdsWire, ReadAndWriteRequestsEncodeAsGolden) {
    EXPECT_EQ(ams::EncodeFrame(RequestHeader(ams::kRead, 7), ams::ReadRequest(0xF302, 0x60400000, 2)),
              HexToBytes(kReadRequest));
    const uint8_t value = 8;
    EXPECT_EQ(
        ams::EncodeFrame(RequestHeader(ams::kWrite, 8), ams::WriteRequest(0xF302, 0x60600000, &value, 1)),
        HexToBytes("0000 2D000000 050102030101 E903 0A0908070101 3075 0300 0400 0D000000 00000000 08000000"
                   " 02F30000 00006060 01000000 08"));
}

TEST(AdsWire, ServerAnswersAsGolden) {
    drivesim::AdsServer server;
    drivesim::EcatSlave& slave = server.AddSlave(1001);
    slave.SetU16(0x6040, 0, 0x000F);
    const Bytes request = HexToBytes(kReadRequest);
    EXPECT_EQ(
        server.Answer(request.data(), request.size()),
        HexToBytes("0000 2A000000 0A0908070101 3075 050102030101 E903 0200 0500 0A000000 00000000 07000000"
                   " 00000000 02000000 0F00"));
    // A missing object: result 0x703 and no data.
    const Bytes missing =
        ams::EncodeFrame(RequestHeader(ams::kRead, 9), ams::ReadRequest(0xF302, 0x60410000, 2));
    EXPECT_EQ(
        server.Answer(missing.data(), missing.size()),
        HexToBytes("0000 28000000 0A0908070101 3075 050102030101 E903 0200 0500 08000000 00000000 09000000"
                   " 03070000 00000000"));
    // Another NetId: the header carries 0x7.
    ams::Header other = RequestHeader(ams::kRead, 10);
    other.target.b[0] = 6;
    const Bytes foreign = ams::EncodeFrame(other, ams::ReadRequest(0xF302, 0x60400000, 2));
    const Bytes reply = server.Answer(foreign.data(), foreign.size());
    ASSERT_EQ(reply.size(), 38u);
    EXPECT_EQ(ams::GetU32(reply.data() + 30), 7u);
}

TEST(AdsWire, FramesThatCannotBeTrustedAreRefused) {
    struct Case {
        const char* name;
        const char* hex;
        ams::FrameStatus status;
    };
    const Case cases[] = {
        {"reserved bytes set", "0100 20000000", ams::FrameStatus::Bad},
        {"AMS header cut short", "0000 14000000", ams::FrameStatus::Bad},
        {"length beyond the limit", "0000 FFFFFFFF", ams::FrameStatus::Bad},
        {"prefix incomplete", "0000 2C00", ams::FrameStatus::NeedMore},
        {"header incomplete", "0000 2C000000 0501020301", ams::FrameStatus::NeedMore},
    };
    for (const Case& c : cases) {
        const Bytes b = HexToBytes(c.hex);
        size_t size = 0;
        EXPECT_EQ(ams::PeekFrame(b.data(), b.size(), &size, nullptr), c.status) << c.name;
    }
    // The header's data length must agree with the frame.
    Bytes frame = HexToBytes(kReadRequest);
    frame[26] = 13;
    ams::Header h;
    const uint8_t* data = nullptr;
    size_t n = 0;
    EXPECT_FALSE(ams::DecodeFrame(frame.data(), frame.size(), &h, &data, &n, nullptr));
}

TEST(AdsWire, ReplyDecodersCheckEveryLength) {
    ams::ReadReply r;
    const Bytes good = HexToBytes("00000000 02000000 0F00");
    ASSERT_TRUE(ams::DecodeReadReply(good.data(), good.size(), &r));
    EXPECT_EQ(r.length, 2u);
    const Bytes overrun = HexToBytes("00000000 05000000 0F00");
    EXPECT_FALSE(ams::DecodeReadReply(overrun.data(), overrun.size(), &r));
    const Bytes errorOnly = HexToBytes("06070000");
    ASSERT_TRUE(ams::DecodeReadReply(errorOnly.data(), errorOnly.size(), &r));
    EXPECT_EQ(r.result, 0x706u);
    const Bytes shortGood = HexToBytes("00000000");
    EXPECT_FALSE(ams::DecodeReadReply(shortGood.data(), shortGood.size(), &r));

    int samples = 0;
    const Bytes note = HexToBytes("1A000000 01000000 0100000000000000 01000000 05000000 02000000 3412");
    EXPECT_TRUE(ams::DecodeNotification(note.data(), note.size(),
                                        [&](uint64_t, uint32_t handle, const uint8_t* p, uint32_t size) {
                                            ++samples;
                                            EXPECT_EQ(handle, 5u);
                                            EXPECT_EQ(size, 2u);
                                            EXPECT_EQ(p[0], 0x34);
                                        }));
    EXPECT_EQ(samples, 1);
    Bytes bad = note;
    bad[24] = 9;  // sample size past the data
    EXPECT_FALSE(
        ams::DecodeNotification(bad.data(), bad.size(), [](uint64_t, uint32_t, const uint8_t*, uint32_t) {}));
}

TEST(AdsRoutes, TableLinesAreReadOrReported) {
    const adslib::RouteTable t = adslib::ParseRouteTable(
        "# routes\n"
        "local 10.1.2.3.1.1\n"
        "5.1.2.3.1.1 127.0.0.1          # the drive\n"
        "5.1.2.3.2.1 localhost 4000\n"
        "* 127.0.0.2\n"
        "5.1.2.3.1 127.0.0.1\n"
        "5.1.2.3.3.1 127.0.0.1 70000\n"
        "local\n");
    EXPECT_EQ(ams::NetIdText(t.local), "10.1.2.3.1.1");
    EXPECT_EQ(t.errors.size(), 3u);
    struct Case {
        const char* netId;
        const char* host;
        uint16_t port;
    };
    for (const Case& c : {Case{"5.1.2.3.1.1", "127.0.0.1", 48898}, Case{"5.1.2.3.2.1", "localhost", 4000},
                          Case{"9.9.9.9.1.1", "127.0.0.2", 48898}}) {
        ams::NetId id;
        ASSERT_TRUE(ams::ParseNetId(c.netId, &id));
        std::string host;
        uint16_t port = 0;
        ASSERT_TRUE(t.Find(id, &host, &port)) << c.netId;
        EXPECT_EQ(host, c.host);
        EXPECT_EQ(port, c.port);
    }
    for (const char* bad : {"1.2.3.4.5", "1.2.3.4.5.256", "1.2.3.4.5.6.", "a.2.3.4.5.6", ""}) {
        ams::NetId id;
        EXPECT_FALSE(ams::ParseNetId(bad, &id)) << bad;
    }
}
