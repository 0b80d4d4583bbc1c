#include <atomic>
#include <fstream>
#include <future>
#include <iterator>
#include <thread>

#include "ChannelSides.h"
#include "platform/Messages.h"

using namespace transport;
using namespace transport_test;

namespace {

constexpr unsigned kProgressMessage = platform::WM_USER + 78;

using Events = std::vector<std::pair<uintptr_t, intptr_t>>;

Events Drain(platform::RecordingSink& sink) {
    platform::PumpMessages();
    Events events;
    for (const platform::Message& m : sink.Messages()) events.emplace_back(m.wParam, m.lParam);
    sink.Clear();
    return events;
}

template <class Side>
class Domain : public ::testing::Test {
  protected:
    void SetUp() override {
        drive = &sim.AddDrive(1);
        ASSERT_TRUE(side.Start(sim));
    }
    auto& Channel() { return side.channel; }
    void SetDomain(uint16_t address, const Bytes& bytes, uint32_t upBlock = 250, uint32_t downBlock = 246) {
        drivesim::SimDomain d;
        d.bytes = bytes;
        d.uploadBlock = upBlock;
        d.downloadBlock = downBlock;
        drive->SetDomain(address, d);
    }
    static Bytes Pattern(size_t n) {
        Bytes b(n);
        for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 13 + 1);
        return b;
    }
    int Upload(uint16_t address, void* target, uint32_t* size, uint32_t flags = 0,
               const std::atomic<uint32_t>* abort = nullptr) {
        return Channel().UploadFileFrames(address, target, size, flags, abort, sink.Handle(),
                                          kProgressMessage, 0, 1);
    }
    int Download(uint16_t address, const void* source, uint32_t* size, uint32_t flags = 0,
                 const std::atomic<uint32_t>* abort = nullptr) {
        return Channel().DownloadFileFrames(address, source, size, flags, abort, sink.Handle(),
                                            kProgressMessage, 0, 1);
    }

    drivesim::DriveSim sim;
    drivesim::SimDrive* drive = nullptr;
    Side side;
    platform::RecordingSink sink;
};

using Sides = ::testing::Types<RtuSide, TcpSide>;
TYPED_TEST_SUITE(Domain, Sides);

TYPED_TEST(Domain, UploadsOfFiveAndFourBytes) {
    for (size_t n : {5u, 4u, 1u, 249u, 250u, 600u}) {
        const Bytes data = this->Pattern(n);
        this->SetDomain(300, data);
        Bytes buffer(n + 10, 0);
        uint32_t size = static_cast<uint32_t>(buffer.size());
        EXPECT_EQ(this->Upload(300, buffer.data(), &size), 0) << n;
        EXPECT_EQ(size, n);
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + static_cast<long>(n)), data) << n;
    }
    Drain(this->sink);
    this->SetDomain(300, this->Pattern(5));
    uint32_t size = 5;
    Bytes buffer(5);
    ASSERT_EQ(this->Upload(300, buffer.data(), &size), 0);
    EXPECT_EQ(Drain(this->sink), (Events{{10, 5}, {21, 5}, {22, 5}}));
    // The start block announces the program's receive time-out.
    EXPECT_EQ(this->drive->Stats().domainStartTimeouts.back(), 500u);
}

TYPED_TEST(Domain, DownloadOfThreeHundredBytes) {
    this->SetDomain(301, {});
    const Bytes data = this->Pattern(300);
    uint32_t size = 300;
    ASSERT_EQ(this->Download(301, data.data(), &size), 0);
    EXPECT_EQ(size, 300u);
    EXPECT_EQ(this->drive->Domain(301)->bytes, data);
    EXPECT_EQ(Drain(this->sink), (Events{{10, 300}, {11, 245}, {14, 245}, {11, 300}, {12, 300}}));
    for (size_t n : {0u, 1u, 2u, 245u, 246u, 1000u}) {
        const Bytes d = this->Pattern(n);
        uint32_t s = static_cast<uint32_t>(n);
        EXPECT_EQ(this->Download(301, d.data(), &s), 0) << n;
        EXPECT_EQ(this->drive->Domain(301)->bytes, d) << n;
    }
}

TYPED_TEST(Domain, SmallBufferGetsTheHeadOfTheData) {
    const Bytes data = this->Pattern(150);
    this->SetDomain(302, data);
    Bytes buffer(100, 0);
    uint32_t size = 100;
    EXPECT_EQ(this->Upload(302, buffer.data(), &size), 303);
    EXPECT_EQ(size, 150u);
    EXPECT_EQ(this->drive->Stats().domainTerminates, 1);
    size = 100;
    EXPECT_EQ(this->Channel().UploadFile(302, buffer.data(), &size, 0, nullptr, 0, 0, 0, 1), 0);
    EXPECT_EQ(size, 100u);
    EXPECT_EQ(buffer, Bytes(data.begin(), data.begin() + 100));
    // A size query: no destination, the total comes back.
    uint32_t total = 0;
    EXPECT_EQ(this->Upload(302, nullptr, &total), 0);
    EXPECT_EQ(total, 150u);
}

TYPED_TEST(Domain, ProtocolNotOfferedOrRefused) {
    drivesim::SimDomain none;
    none.offered = false;
    this->drive->SetDomain(303, none);
    Bytes buffer(10);
    uint32_t size = 10;
    const int upload = this->Upload(303, buffer.data(), &size);
    EXPECT_EQ(size, 0u);
    uint32_t downSize = 4;
    const int download = this->Download(303, buffer.data(), &downSize);
    EXPECT_EQ(downSize, 0u);
    if constexpr (TypeParam::kSerial) {
        EXPECT_EQ(upload, 136);
        EXPECT_EQ(download, 302);
    } else {
        EXPECT_EQ(upload, -1);  // the box reports the failed start write
        EXPECT_EQ(download, -1);
    }
    drivesim::SimDomain refused;
    refused.status = 2;
    refused.bytes = this->Pattern(8);
    this->drive->SetDomain(304, refused);
    size = 10;
    EXPECT_EQ(this->Upload(304, buffer.data(), &size), 301);
    EXPECT_EQ(this->Download(304, buffer.data(), &size), 302);
    EXPECT_EQ(this->drive->Stats().domainTerminates, 2);
    // A block size below 2 leaves no room for data: refused.
    this->SetDomain(305, {}, 250, 1);
    size = 10;
    EXPECT_EQ(this->Download(305, buffer.data(), &size), 302);
}

TYPED_TEST(Domain, CancelBetweenBlocks) {
    const Bytes data = this->Pattern(3000);
    this->SetDomain(306, data, 10, 10);
    for (bool upload : {true, false}) {
        std::atomic<uint32_t> abort{0};
        const int terminatesBefore = this->drive->Stats().domainTerminates;
        // The drive raises the flag as it serves block 3: the program stops before block 4.
        this->drive->SetDomainBlockHook([&](int block) {
            if (block == 3) abort = 1;
        });
        Bytes buffer(3000);
        uint32_t size = 3000;
        const int rc = upload ? this->Upload(306, buffer.data(), &size, 0, &abort)
                              : this->Download(306, data.data(), &size, 0, &abort);
        this->drive->SetDomainBlockHook(nullptr);
        EXPECT_EQ(rc, upload ? 306 : 308);
        EXPECT_EQ(size, 27u);  // three blocks of nine bytes
        EXPECT_EQ(this->drive->Stats().domainTerminates, terminatesBefore + 1);
        const Events events = Drain(this->sink);
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.back(), (std::pair<uintptr_t, intptr_t>(upload ? 23 : 13, upload ? 306 : 308)));
    }
}

TYPED_TEST(Domain, FilesAndQuietMode) {
    TempDir temp;
    const Bytes data = this->Pattern(777);
    this->SetDomain(307, data, 100, 100);
    const std::string file = temp.Path() + "/up.bin";
    uint32_t size = 0;
    ASSERT_EQ(this->Upload(307, const_cast<char*>(file.c_str()), &size, kDomainFileName | kDomainQuiet), 0);
    EXPECT_EQ(size, 777u);
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(in), {}), data);
    // Quiet: only the progress messages.
    for (const auto& event : Drain(this->sink)) EXPECT_EQ(event.first, 21u);

    this->SetDomain(308, {}, 100, 100);
    size = 0;  // 0 with a file: the file's size
    ASSERT_EQ(this->Download(308, file.c_str(), &size, kDomainFileName), 0);
    EXPECT_EQ(size, 777u);
    EXPECT_EQ(this->drive->Domain(308)->bytes, data);
    size = 0;
    EXPECT_EQ(this->Download(308, (temp.Path() + "/missing.bin").c_str(), &size, kDomainFileName), 307);
    int invalid = -1;
    EXPECT_EQ(this->Download(308, &invalid, &size, kDomainFileHandle), 311);
}

TYPED_TEST(Domain, ClosedPortIsReportedEvenWhenQuiet) {
    if constexpr (TypeParam::kSerial) {
        this->Channel().Disconnect();
        uint32_t size = 4;
        uint8_t buffer[4];
        EXPECT_EQ(this->Upload(300, buffer, &size, kDomainQuiet), 8);
        EXPECT_EQ(size, 0u);
        EXPECT_EQ(Drain(this->sink), (Events{{23, 8}}));
    } else {
        GTEST_SKIP() << "the box connects on demand";
    }
}

TEST(DomainFrames, UploadBlocksAndToggleCheckOnTheLine) {
    PtyPeer peer;
    CErrorPair owner;
    CModbusRtu rtu(&owner);
    ConfigureRtu(rtu, peer.Path(), 500);
    ASSERT_EQ(rtu.Connect(true), 0);
    uint8_t buffer[12] = {};
    uint32_t size = 12;
    auto call = std::async(std::launch::async,
                           [&] { return rtu.UploadFileFrames(300, buffer, &size, 0, nullptr, 0, 0, 0, 1); });
    // Start block: 0x50 0x01, 250, the receive time-out; raw bytes, 5 registers.
    Bytes start = peer.Read(19);
    EXPECT_EQ(Bytes(start.begin() + 7, start.begin() + 17), HexToBytes("50 01 FA 00 00 00 F4 01 00 00"));
    peer.Write(WithCrc(HexToBytes("01 10 01 2C 00 05")));
    EXPECT_EQ(peer.Read(8), WithCrc(HexToBytes("01 03 01 2C 00 09")));
    peer.Write(WithCrc(HexToBytes("01 03 12 00 00 0A 00 00 00 04 00 00 00 00 00 00 00 00 00 00 00")));
    // 10 bytes in blocks of 4: 2 registers (header + 3 data) each.
    EXPECT_EQ(peer.Read(8), WithCrc(HexToBytes("01 03 01 2C 00 02")));
    peer.Write(WithCrc(HexToBytes("01 03 04 00 01 02 03")));
    EXPECT_EQ(peer.Read(8), WithCrc(HexToBytes("01 03 01 2C 00 02")));
    peer.Write(WithCrc(HexToBytes("01 03 04 00 04 05 06")));  // toggle should be 0x40
    // Terminate: one register 0x80 0x00.
    EXPECT_EQ(peer.Read(11), WithCrc(HexToBytes("01 10 01 2C 00 01 02 80 00")));
    peer.Write(WithCrc(HexToBytes("01 10 01 2C 00 01")));
    EXPECT_EQ(call.get(), 305);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(rtu.GetErrorText(305), "Modbus:upload: wrong toggle bit");
    EXPECT_FALSE(rtu.RawWordOrder());
}

TEST(DomainFrames, DownloadOfThreeHundredBytesOnTheLine) {
    PtyPeer peer;
    CModbusRtu rtu;
    ConfigureRtu(rtu, peer.Path(), 500);
    ASSERT_EQ(rtu.Connect(true), 0);
    Bytes data(300);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
    uint32_t size = 300;
    auto call = std::async(std::launch::async, [&] {
        return rtu.DownloadFileFrames(301, data.data(), &size, 0, nullptr, 0, 0, 0, 1);
    });
    Bytes start = peer.Read(23);
    EXPECT_EQ(Bytes(start.begin() + 7, start.begin() + 21),
              HexToBytes("31 01 2C 01 00 00 F6 00 00 00 F4 01 00 00"));
    peer.Write(WithCrc(HexToBytes("01 10 01 2D 00 07")));
    peer.Read(8);
    peer.Write(WithCrc(HexToBytes("01 03 0E 00 00 F6 00 00 00 00 00 00 00 00 00 00 00")));
    Bytes first = peer.Read(9 + 246);
    ASSERT_EQ(first.size(), 255u);
    EXPECT_EQ(first[5], 123);   // registers
    EXPECT_EQ(first[7], 0x00);  // header
    EXPECT_EQ(Bytes(first.begin() + 8, first.begin() + 253), Bytes(data.begin(), data.begin() + 245));
    peer.Write(WithCrc(HexToBytes("01 10 01 2D 00 7B")));
    Bytes last = peer.Read(9 + 56);
    ASSERT_EQ(last.size(), 65u);
    EXPECT_EQ(last[5], 28);
    EXPECT_EQ(last[7], 0x60);
    EXPECT_EQ(Bytes(last.begin() + 8, last.begin() + 63), Bytes(data.begin() + 245, data.end()));
    peer.Write(WithCrc(HexToBytes("01 10 01 2D 00 1C")));
    EXPECT_EQ(call.get(), 0);
    EXPECT_EQ(size, 300u);
}

}  // namespace
