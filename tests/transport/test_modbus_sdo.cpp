#include <cstring>
#include <future>

#include "ChannelSides.h"

using namespace transport;
using namespace transport_test;

namespace {

template <class Side>
class Sdo : public ::testing::Test {
  protected:
    void SetUp() override {
        drive = &sim.AddDrive(1);
        ASSERT_TRUE(side.Start(sim)) << "channel did not connect";
    }
    auto& Channel() { return side.channel; }
    static Bytes Sequence(size_t n, uint8_t first = 1) {
        Bytes b(n);
        for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(first + i);
        return b;
    }

    drivesim::DriveSim sim;
    drivesim::SimDrive* drive = nullptr;
    Side side;
};

using Sides = ::testing::Types<RtuSide, TcpSide>;
TYPED_TEST_SUITE(Sdo, Sides);

TYPED_TEST(Sdo, DownloadsOfEverySize) {
    for (size_t size : {1u, 2u, 3u, 4u, 5u, 7u, 8u, 14u, 15u, 100u}) {
        this->drive->SetSdoObject(5000, {Bytes(size, 0), true, 0});
        const Bytes data = this->Sequence(size, static_cast<uint8_t>(size));
        EXPECT_EQ(this->Channel().SdoDownload(1, 5000, static_cast<uint32_t>(size), data.data()), 0) << size;
        EXPECT_EQ(this->drive->SdoObject(5000)->bytes, data) << size;
        EXPECT_EQ(this->Channel().LastResult(), 0u);
    }
    // Only the transfers of 5 bytes or more went through the segmented protocol.
    EXPECT_EQ(this->drive->Stats().sdoDownloadsDone, 6);
}

TYPED_TEST(Sdo, UploadsExpeditedAndSegmented) {
    for (size_t size : {1u, 2u, 3u, 4u, 5u, 12u, 14u, 200u}) {
        const Bytes data = this->Sequence(size, 0x40);
        this->drive->SetSdoObject(5001, {data, false, 0});
        Bytes buffer(size, 0);
        EXPECT_EQ(this->Channel().SdoUpload(1, 5001, static_cast<uint32_t>(size), buffer.data()), 0) << size;
        EXPECT_EQ(buffer, data) << size;
    }
    // Expedited initiate responses: 0x43 carries 4 bytes, 0x4F one.
    for (size_t size : {4u, 1u}) {
        const Bytes data = this->Sequence(size, 0x70);
        this->drive->SetSdoObject(5002, {data, false, 0});
        uint8_t buffer[8] = {};
        uint32_t announced = 8;
        EXPECT_EQ(this->Channel().SdoInitiateUpload(1, 5002, buffer, &announced), 0);
        EXPECT_EQ(announced, size);
        EXPECT_EQ(Bytes(buffer, buffer + size), data);
    }
}

TYPED_TEST(Sdo, SizeMismatchAndAborts) {
    this->drive->SetSdoObject(5003, {this->Sequence(12), false, 0});
    Bytes buffer(12, 0);
    EXPECT_EQ(this->Channel().SdoUpload(1, 5003, 10, buffer.data()), -302);
    EXPECT_EQ(this->side.owner.Code(), -302);
    EXPECT_EQ(this->side.owner.Text(), "data size don't match: drive=12 byte <> configuration=10 byte");

    this->drive->SetSdoObject(5004, {this->Sequence(12), false, 0x06020000});
    EXPECT_EQ(this->Channel().SdoUpload(1, 5004, 12, buffer.data()), 0x06020000);
    EXPECT_EQ(this->side.owner.Text(), "Initiate SDO Upload: abort code received: 06020000h");
    EXPECT_EQ(this->Channel().LastResult(), 0x06020000u);

    this->drive->SetSdoAbortAtSegment(1, 0x08000020);
    EXPECT_EQ(this->Channel().SdoUpload(1, 5003, 12, buffer.data()), 0x08000020);
    EXPECT_EQ(this->side.owner.Code(), 0x08000020);
    EXPECT_EQ(this->side.owner.Text(), "Upload SDO Segment: abort code received: 08000020h");
}

TYPED_TEST(Sdo, RepeatedToggleFailsAndRecovers) {
    this->drive->SetSdoObject(5005, {this->Sequence(20), false, 0});
    this->drive->SetSdoRepeatToggleAt(1);
    Bytes buffer(20, 0);
    const int recoveriesBefore = this->drive->Stats().sdoRecoveries;
    EXPECT_EQ(this->Channel().SdoUpload(1, 5005, 20, buffer.data()), 12);
    EXPECT_EQ(this->side.owner.Code(), 12);
    EXPECT_EQ(this->side.owner.Text(), "Upload SDO Segment response: wrong toggle bit");
    EXPECT_EQ(this->drive->Stats().sdoRecoveries, recoveriesBefore + 1);
    // The next transfer starts cleanly.
    this->drive->SetSdoRepeatToggleAt(-1);
    EXPECT_EQ(this->Channel().SdoUpload(1, 5005, 20, buffer.data()), 0);
    EXPECT_EQ(buffer, this->Sequence(20));
}

TYPED_TEST(Sdo, RefusedDownloadSendsAnAbortAndKeepsTheOwnerPair) {
    this->drive->SetSdoObject(5006, {Bytes(8, 0), false, 0});
    this->side.owner.Set(77, "earlier");
    const Bytes data = this->Sequence(8);
    const int rc = this->Channel().SdoDownload(1, 5006, 8, data.data());
    EXPECT_EQ(rc, TypeParam::ExchangeFailure(136));
    EXPECT_EQ(this->drive->Stats().sdoAborts, 1);
    if constexpr (TypeParam::kSerial) {
        EXPECT_EQ(this->side.owner.Code(), 136);  // the refused initiate, not the abort exchange
    } else {
        EXPECT_EQ(this->side.owner.Code(), 77);
    }
}

TEST(SdoSerial, InitiateDownloadTimeoutIsPutBack) {
    drivesim::DriveSim sim;
    sim.AddDrive(1).SetSdoObject(5000, {Bytes(6, 0), true, 0});
    RtuSide side;
    ASSERT_TRUE(side.Start(sim, 500));
    const Bytes data(6, 9);
    EXPECT_EQ(side.channel.SdoDownload(1, 5000, 6, data.data()), 0);
    EXPECT_EQ(side.channel.GetSettings().receiveTimeout, 500u);
    EXPECT_EQ(side.channel.CurrentTimeout(), 500u);
    EXPECT_EQ(side.channel.RetryCount(), 2u);
    Bytes buffer(6);
    EXPECT_EQ(side.channel.SdoUpload(1, 5000, 6, buffer.data()), 0);
    EXPECT_EQ(side.channel.RetryCount(), 2u);  // one attempt during the upload, then back
}

// Byte-exact frames of the segmented transfers on a scripted line.
class SdoFrames : public ::testing::Test {
  protected:
    void SetUp() override {
        ConfigureRtu(rtu, peer.Path(), 500);
        ASSERT_EQ(rtu.Connect(true), 0);
    }
    // Reads one function-16 request of four registers and acknowledges it; its 8 data bytes.
    Bytes AckWrite(uint16_t address) {
        const Bytes request = peer.Read(17);
        EXPECT_EQ(request.size(), 17u);
        if (request.size() != 17) return {};
        peer.Write(WithCrc({1, 16, static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address), 0, 4}));
        return Bytes(request.begin() + 7, request.begin() + 15);
    }
    void AnswerRead(const Bytes& eight) {
        EXPECT_EQ(peer.Read(8).size(), 8u);
        Bytes reply{1, 3, 8};
        reply.insert(reply.end(), eight.begin(), eight.end());
        peer.Write(WithCrc(reply));
    }
    PtyPeer peer;
    CErrorPair owner;
    CModbusRtu rtu{&owner};
};

TEST_F(SdoFrames, DownloadOfFiveAndFourteenBytes) {
    const Bytes five = HexToBytes("A1 A2 A3 A4 A5");
    auto call = std::async(std::launch::async, [&] { return rtu.SdoDownload(1, 0x1234, 5, five.data()); });
    // Initiate: 0x21, address, 0, size; each register low byte first on the wire's high side.
    EXPECT_EQ(AckWrite(0x1234), HexToBytes("34 21 00 12 00 05 00 00"));
    EXPECT_EQ(AckWrite(0x1234), HexToBytes("05 A1 A2 A3 A4 A5 00 00"));
    EXPECT_EQ(call.get(), 0);

    const Bytes fourteen = HexToBytes("01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E");
    call = std::async(std::launch::async, [&] { return rtu.SdoDownload(1, 0x1234, 14, fourteen.data()); });
    EXPECT_EQ(AckWrite(0x1234), HexToBytes("34 21 00 12 00 0E 00 00"));
    EXPECT_EQ(AckWrite(0x1234), HexToBytes("00 01 02 03 04 05 06 07"));
    EXPECT_EQ(AckWrite(0x1234), HexToBytes("11 08 09 0A 0B 0C 0D 0E"));
    EXPECT_EQ(call.get(), 0);
}

TEST_F(SdoFrames, UploadThatSendsMoreThanAnnouncedStops) {
    uint8_t buffer[8];
    std::memset(buffer, 0xEE, sizeof buffer);
    uint8_t guard[16];
    std::memset(guard, 0xCC, sizeof guard);
    auto call = std::async(std::launch::async, [&] { return rtu.SdoUpload(1, 0x10, 8, buffer); });
    AnswerRead(HexToBytes("10 41 00 00 00 08 00 00"));  // segmented, size 8
    AnswerRead(HexToBytes("00 01 02 03 04 05 06 07"));  // 7 bytes, toggle 0
    AnswerRead(HexToBytes("10 08 09 0A 0B 0C 0D 0E"));  // 7 more: past the announced size
    // The recovery read of registers 100 and 101.
    const Bytes recovery = peer.Read(8);
    EXPECT_EQ(recovery, WithCrc(HexToBytes("01 03 00 64 00 02")));
    peer.Write(WithCrc(HexToBytes("01 03 04 00 00 00 00")));
    EXPECT_EQ(call.get(), -302);
    EXPECT_EQ(owner.Text(), "data size don't match: drive=14 byte <> configuration=8 byte");
    EXPECT_EQ(guard[0], 0xCC);
}

}  // namespace
