#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/Main.h"
#include "engine/MainApi.h"
#include "engine/ModbusChannelDriver.h"
#include "foundation/CompatChecker.h"
#include "platform/Messages.h"
#include "tests/engine/EngineTestSupport.h"

using namespace foundation;
using namespace engine;
using namespace enginetest;

namespace {

constexpr unsigned kUpload = foundation::kDomainUploadMessage;

// Messages of the upload to the recording sink, until one of the end codes arrived.
std::vector<platform::Message> WaitForEnd(platform::RecordingSink& sink, CMain& engine) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
        platform::PumpMessages();
        std::vector<platform::Message> got;
        bool done = false;
        for (const platform::Message& m : sink.Messages()) {
            if (m.msg != kUpload) continue;
            got.push_back(m);
            if (m.wParam == 22 || m.wParam == 23) done = true;
        }
        if ((done && !engine.UploadRunning()) || std::chrono::steady_clock::now() > end) return got;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

class DomainUploadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetupLegacyDrive(sim.AddDrive(1));
        std::string error;
        port = sim.StartPty(&error);
        ASSERT_FALSE(port.empty()) << error;
        RegisterPort("uploadsim", port);
        CChannelInfo info;
        engine.CreateChannels(info);
        channel = FindChannel(engine, port);
        ASSERT_GE(channel, 0);
        ASSERT_EQ(api.SelectChannel(channel), 0);
        CCompatChecker checker;
        BSTR text = nullptr;
        uint32_t address = 0;
        ASSERT_EQ(engine.NodeConnect(checker, &text, &address, 1, channel), 0) << engine.ErrorText();
        SysFreeString(text);
        ASSERT_EQ(engine.SelectNode(1, channel), 0);
    }
    void TearDown() override {
        engine.AbortUpload();
        api.ChannelClose(-2);
        sim.Stop();
        UnregisterPort("uploadsim");
    }

    DescriptionTree tree;
    PromptScope prompts;
    drivesim::DriveSim sim;
    platform::RecordingSink sink;
    std::string port;
    CMainApi api{0};
    CMain& engine = *api.Engine();
    int channel = -1;
};

TEST_F(DomainUploadTest, IntoABufferOnItsThread) {
    std::vector<char> buffer(400, 0);
    ASSERT_EQ(engine.StartDomainUpload("Block", buffer.data(), sink.Handle(), 0, 400), 0)
        << engine.ErrorText();
    const auto messages = WaitForEnd(sink, engine);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().wParam, 22u);
    const std::string text = BlockText();
    EXPECT_EQ(std::string(buffer.data(), text.size()), text);
    // The node is free again and the cyclic reads may go on.
    uint32_t value = 0;
    EXPECT_EQ(engine.ReadCell("Word16u", &value), 0) << engine.ErrorText();
}

TEST_F(DomainUploadTest, IntoAFile) {
    const std::filesystem::path file = tree.Root() / "temp" / "block.bin";
    const std::string name = file.string();
    ASSERT_EQ(engine.StartDomainUpload("Block", const_cast<char*>(name.c_str()), sink.Handle(), 0, 0), 0)
        << engine.ErrorText();
    const auto messages = WaitForEnd(sink, engine);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().wParam, 22u);
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    EXPECT_EQ(s.str(), BlockText());
    // A folder that does not exist cannot take the file.
    const std::string bad = (tree.Root() / "missing" / "x.bin").string();
    EXPECT_EQ(engine.StartDomainUpload("Block", const_cast<char*>(bad.c_str()), sink.Handle(), 0, 0), -37);
    EXPECT_EQ(engine.ErrorText(), "error opening file " + bad);
}

TEST_F(DomainUploadTest, RefusedBeforeTheThread) {
    char buffer[16];
    EXPECT_EQ(engine.StartDomainUpload("Unknown", buffer, sink.Handle(), 0, 16), -303);
    EXPECT_EQ(engine.StartDomainUpload("NoBlock", buffer, sink.Handle(), 0, 16), -308);
    engine.SetCurrentChannel(engine.ChannelCount());
    EXPECT_EQ(engine.StartDomainUpload("Block", buffer, sink.Handle(), 0, 16), -31);
}

using Notice = std::pair<uintptr_t, intptr_t>;

std::vector<Notice> Notices(const std::vector<platform::Message>& messages) {
    std::vector<Notice> out;
    for (const platform::Message& m : messages) out.emplace_back(m.wParam, m.lParam);
    return out;
}

// Several domains on one thread: each part announces itself and its end in turn, without the
// channel's block progress, and each buffer gets its own domain.
TEST_F(DomainUploadTest, SeveralDomainsOneAfterTheOther) {
    std::vector<char> first(400, 0), second(500, 0);
    ASSERT_EQ(engine.StartDomainUploads({{"Block", first.data(), 400}, {"Block", second.data(), 500}},
                                        sink.Handle()),
              0)
        << engine.ErrorText();
    for (size_t part = 0; part < 2; ++part) {
        int result = -1;
        ASSERT_TRUE(engine.WaitUploadPart(part, 30000, &result)) << part;
        EXPECT_EQ(result, 0) << part;
    }
    const auto messages = WaitForEnd(sink, engine);
    EXPECT_EQ(Notices(messages), (std::vector<Notice>{{24, 400}, {22, 0}, {24, 500}, {22, 0}}));
    const std::string text = BlockText();
    EXPECT_EQ(std::string(first.data(), text.size()), text);
    EXPECT_EQ(std::string(second.data(), text.size()), text);
    EXPECT_EQ(first[text.size()], 0) << "nothing past the domain";
    uint32_t value = 0;
    EXPECT_EQ(engine.ReadCell("Word16u", &value), 0) << engine.ErrorText();
}

// One upload thread serves the uploads one after the other: each starts as soon as the one
// before has ended, and none is lost in the hand-over.
TEST_F(DomainUploadTest, UploadsInARowOnOneThread) {
    const std::string text = BlockText();
    for (int round = 0; round < 10; ++round) {
        std::vector<char> buffer(400, 0);
        ASSERT_EQ(engine.StartDomainUploads({{"Block", buffer.data(), 400}}, sink.Handle()), 0)
            << round << ": " << engine.ErrorText();
        int result = -1;
        ASSERT_TRUE(engine.WaitUploadEnd(30000, &result)) << round;
        EXPECT_EQ(result, 0) << round;
        EXPECT_EQ(std::string(buffer.data(), text.size()), text) << round;
    }
    platform::PumpMessages();
    size_t ends = 0;
    for (const platform::Message& m : sink.Messages())
        if (m.msg == kUpload && m.wParam == 22) ++ends;
    EXPECT_EQ(ends, 10u);
}

TEST_F(DomainUploadTest, SeveralDomainsRefusedBeforeTheThread) {
    char a[16], b[16];
    struct Case {
        std::vector<DomainUploadPart> parts;
        int code;
    } cases[] = {
        {{{"Block", a, 16}, {"Unknown", b, 16}}, -303},
        {{{"Block", a, 16}, {"NoBlock", b, 16}}, -308},
        {{{"Block", a, 16}, {"Block", nullptr, 16}}, 15},
        {{{"Block", a, 0}}, 15},
        {{}, 15},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(engine.StartDomainUploads(c.parts, sink.Handle()), c.code);
        EXPECT_FALSE(engine.UploadRunning());
    }
    platform::PumpMessages();
    EXPECT_EQ(sink.Count(), 0u) << "nothing started, nothing announced";
}

// An abort during the first of three long parts ends that part and leaves the others; the abort
// returns with the thread joined and the node free.
TEST_F(DomainUploadTest, AbortInThePartInHandLeavesTheRest) {
    drivesim::SimDomain big;
    big.bytes.assign(5000, 'x');
    sim.Drive(1)->SetDomain(2000, big);
    // The first data block waits for the test, so that the abort comes while the first part runs;
    // every answer after it is late, so that the rest cannot be done before the abort is seen.
    struct Gate {
        std::mutex mutex;
        std::condition_variable cv;
        bool held = false, released = false;
    };
    auto gate = std::make_shared<Gate>();
    sim.Drive(1)->SetDomainBlockHook([gate](int block) {
        std::unique_lock lock(gate->mutex);
        if (block != 1 || gate->held) return;
        gate->held = true;
        gate->cv.notify_all();
        gate->cv.wait_for(lock, std::chrono::seconds(30), [&] { return gate->released; });
    });
    drivesim::Fault slow;
    slow.kind = drivesim::Fault::Delay;
    slow.param = 20;
    slow.count = 1000000;
    sim.InjectFault(slow);

    std::vector<std::vector<uint8_t>> buffers(3, std::vector<uint8_t>(5000));
    std::vector<DomainUploadPart> parts;
    for (auto& b : buffers) parts.push_back({"Block", b.data(), 5000});
    ASSERT_EQ(engine.StartDomainUploads(parts, sink.Handle()), 0) << engine.ErrorText();
    {
        std::unique_lock lock(gate->mutex);
        const bool held = gate->cv.wait_for(lock, std::chrono::seconds(30), [&] { return gate->held; });
        gate->released = true;
        gate->cv.notify_all();
        ASSERT_TRUE(held);
    }
    EXPECT_TRUE(engine.AbortUpload());
    EXPECT_FALSE(engine.UploadRunning());
    sim.ClearFaults();
    sim.Drive(1)->SetDomainBlockHook(nullptr);
    for (size_t part : {0u, 2u}) {
        int result = 0;
        ASSERT_TRUE(engine.WaitUploadPart(part, 0, &result)) << part;
        EXPECT_NE(result, 0) << part;
    }
    platform::PumpMessages();
    const std::vector<Notice> notices = Notices(sink.Messages());
    ASSERT_FALSE(notices.empty());
    EXPECT_EQ(notices.front(), Notice(24, 5000));
    EXPECT_EQ(std::count_if(notices.begin(), notices.end(), [](const Notice& n) { return n.first == 24; }), 1)
        << "the parts after the aborted one never started";
    EXPECT_EQ(notices.back().first, 23u);
    uint32_t value = 0;
    EXPECT_EQ(engine.ReadCell("Word16u", &value), 0) << engine.ErrorText();
}

// SDO segments over registers, where the transfer mode asks for them.
class SdoUploadTest : public DomainUploadTest {
  protected:
    void SetUp() override {
        DomainUploadTest::SetUp();
        dynamic_cast<CModbusChannelDriver&>(*engine.Channel(channel)->driver).transferMode = 2;
    }
    std::vector<uint8_t> Object(size_t size) {
        std::vector<uint8_t> bytes(size);
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 31 + 7);
        sim.Drive(1)->SetSdoObject(kBlockAddress, drivesim::SimSdoObject{bytes});
        return bytes;
    }
    static std::vector<intptr_t> Values(const std::vector<platform::Message>& messages, uintptr_t code) {
        std::vector<intptr_t> values;
        for (const platform::Message& m : messages)
            if (m.wParam == code) values.push_back(m.lParam);
        return values;
    }
    static constexpr uint16_t kBlockAddress = 2000;
};

TEST_F(SdoUploadTest, IntoABufferWithProgressSteps) {
    struct Case {
        size_t size;
        size_t minNotices, maxNotices;
    } cases[] = {{3, 0, 0}, {5000, 45, 50}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        sink.Clear();
        const std::vector<uint8_t> expected = Object(c.size);
        std::vector<uint8_t> buffer(c.size + 10, 0xCC);
        ASSERT_EQ(engine.StartDomainUpload("Block", buffer.data(), sink.Handle(), 0,
                                           static_cast<uint32_t>(buffer.size())),
                  0)
            << engine.ErrorText();
        const auto messages = WaitForEnd(sink, engine);
        ASSERT_GE(messages.size(), 2u);
        EXPECT_EQ(messages.front().wParam, 24u);
        EXPECT_EQ(messages.front().lParam, static_cast<intptr_t>(c.size));
        EXPECT_EQ(messages.back().wParam, 22u) << engine.ErrorText();
        EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + c.size), expected);
        EXPECT_EQ(buffer[c.size], 0xCC);
        const auto notices = Values(messages, 21);
        EXPECT_GE(notices.size(), c.minNotices);
        EXPECT_LE(notices.size(), c.maxNotices);
        EXPECT_TRUE(std::is_sorted(notices.begin(), notices.end()));
    }
}

TEST_F(SdoUploadTest, IntoAFileAndRefusedForASmallBuffer) {
    const std::vector<uint8_t> expected = Object(900);
    const std::filesystem::path file = tree.Root() / "temp" / "sdo.bin";
    const std::string name = file.string();
    ASSERT_EQ(engine.StartDomainUpload("Block", const_cast<char*>(name.c_str()), sink.Handle(), 0, 0), 0);
    auto messages = WaitForEnd(sink, engine);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().wParam, 22u) << engine.ErrorText();
    std::ifstream in(file, std::ios::binary);
    const std::vector<uint8_t> written((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
    EXPECT_EQ(written, expected);

    // A buffer smaller than the domain: refused before any segment, nothing written past it.
    sink.Clear();
    std::vector<uint8_t> small(120, 0xCC);
    ASSERT_EQ(engine.StartDomainUpload("Block", small.data(), sink.Handle(), 0, 100), 0);
    messages = WaitForEnd(sink, engine);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().wParam, 23u);
    EXPECT_EQ(messages.back().lParam, 15);
    EXPECT_EQ(engine.ErrorText(), "InitiateUpload(900): buffer too small 100");
    EXPECT_EQ(small[0], 0xCC);
}

TEST_F(SdoUploadTest, AbortedMidWay) {
    Object(20000);
    std::vector<uint8_t> buffer(20000);
    ASSERT_EQ(engine.StartDomainUpload("Block", buffer.data(), sink.Handle(), 0, 20000), 0);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    bool started = false;
    while (!started && std::chrono::steady_clock::now() < end) {
        platform::PumpMessages();
        for (const platform::Message& m : sink.Messages()) started = started || m.wParam == 21;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_TRUE(started);
    // The abort waits for the thread's end.
    EXPECT_TRUE(engine.AbortUpload());
    EXPECT_FALSE(engine.UploadRunning());
    const auto messages = WaitForEnd(sink, engine);
    EXPECT_EQ(messages.back().wParam, 23u);
    EXPECT_EQ(messages.back().lParam, 12);
    EXPECT_EQ(engine.ErrorText(), "operation aborted by the user");
    EXPECT_GE(sim.Drive(1)->Stats().sdoAborts, 1);
    uint32_t value = 0;
    EXPECT_EQ(engine.ReadCell("Word16u", &value), 0) << engine.ErrorText();
}

TEST(DomainUploadOffline, SimulatedDomainIsPaddedWithZeros) {
    DescriptionTree tree;
    PromptScope prompts;
    CMainApi api{0};
    CMain& engine = *api.Engine();
    platform::RecordingSink sink;
    CChannelInfo info;
    ASSERT_EQ(engine.CreateChannels(info), 0);
    ASSERT_EQ(api.SelectChannel(0), 0);
    CCompatChecker checker;
    checker.InitFromLegacy(5, 1, 2, 1, 0, 0, 0, 0);
    BSTR text = platform::BstrFromUtf8("<xml Hw=\"5\" Sw=\"2\" SwRev=\"1\" build=\"0\"/>");
    ASSERT_EQ(engine.NodeConnectOffline(checker, &text, 4, 0), 0) << engine.ErrorText();
    SysFreeString(text);
    ASSERT_EQ(engine.SelectNode(4, 0), 0);
    const std::string stored = "0123456789";
    ASSERT_EQ(engine.DownloadCell("Block", stored.data(), 10), 0);
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    ASSERT_EQ(engine.StartDomainUpload("Block", buffer, sink.Handle(), 0, 16), 0);
    EXPECT_EQ(std::string(buffer, 10), stored);
    EXPECT_EQ(std::string(buffer + 10, 6), std::string(6, '\0'));
    platform::PumpMessages();
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_EQ(sink.Messages()[0].wParam, 22u);
    EXPECT_EQ(sink.Messages()[0].lParam, 16);
    // Simulated nodes have no file uploads; fixed-size items are no domains.
    EXPECT_EQ(engine.StartDomainUpload("Block", buffer, sink.Handle(), 0, 0), -20);
    EXPECT_EQ(engine.StartDomainUpload("Word16u", buffer, sink.Handle(), 0, 16), -302);
}

}  // namespace

namespace {

// The domain upload and the firmware download each start and stop the one progress ticker from
// their own thread; the ticker object is never used by both at once (the sanitizer runs see it).
TEST(ProgressTicker, StartAndStopFromTwoTransferThreadsAtOnce) {
    CMain engine(0);
    auto user = [&engine] {
        for (int i = 0; i < 50; ++i) {
            engine.StartProgressTicker(0, kUpload, 21, 10);
            engine.StopProgressTicker();
        }
    };
    std::thread upload(user);
    std::thread download(user);
    upload.join();
    download.join();
    EXPECT_TRUE(engine.StartProgressTicker(0, kUpload, 21, 10));
    engine.StopProgressTicker();
}

}  // namespace
