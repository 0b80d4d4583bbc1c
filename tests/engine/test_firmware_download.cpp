#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
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

constexpr uint16_t kFirmwareAddress = 3000;
constexpr uint16_t kEnablingAddress = 1070;
constexpr uint16_t kDeviceTypeAddress = 1080;

// The legacy drive of "2_1.xml" with the firmware items, on a pseudo-terminal.
class FirmwareTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::filesystem::path file = tree.Root() / "tree" / "2_1.xml";
        std::stringstream s;
        s << std::ifstream(file).rdbuf();
        std::string xml = s.str();
        const size_t at = xml.find("</GROUP>");
        ASSERT_NE(at, std::string::npos);
        xml.insert(
            at,
            "\t\t\t<ITEM id=\"40\" name=\"download_firmware\" size=\"0\" modbusaddress=\"3000\" read=\"0\" "
            "write=\"1\"/>\n"
            "\t\t\t<ITEM id=\"41\" name=\"enabling_key\" size=\"4\" modbusaddress=\"1070\" read=\"1\" "
            "write=\"1\"/>\n"
            "\t\t\t<ITEM id=\"42\" name=\"device_type\" size=\"2\" modbusaddress=\"1080\" read=\"1\" "
            "write=\"0\"/>\n");
        std::ofstream(file, std::ios::trunc) << xml;

        drivesim::SimDrive& drive = sim.AddDrive(1);
        SetupLegacyDrive(drive);
        drive.SetRegisters(kEnablingAddress, {0, 0});
        drive.SetRegister(kDeviceTypeAddress, 0x0192);
        drive.SetDomain(kFirmwareAddress, drivesim::SimDomain{});
        std::string error;
        port = sim.StartPty(&error);
        ASSERT_FALSE(port.empty()) << error;
        RegisterPort("firmwaresim", port);
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
        engine.DownloadDescriptor().waitAfterMs = 0;

        image.resize(700);
        for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7);
        firmware = (tree.Root() / "temp" / "drive.fw").string();
        std::ofstream(firmware, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    }
    void TearDown() override {
        engine.JoinFirmwareThreads();
        api.ChannelClose(-2);
        sim.Stop();
        UnregisterPort("firmwaresim");
    }

    // Codes of message 1178 delivered until `last` arrived (or a generous time passed).
    std::vector<uintptr_t> CodesUntil(uintptr_t last) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        std::vector<uintptr_t> codes;
        while (std::chrono::steady_clock::now() < end) {
            platform::PumpMessages();
            codes.clear();
            for (const platform::Message& m : sink.Messages())
                if (m.msg == foundation::kFirmwareDownloadMessage) codes.push_back(m.wParam);
            if (std::find(codes.begin(), codes.end(), last) != codes.end() &&
                !engine.FirmwareThreadsRunning())
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return codes;
    }
    bool Has(const std::vector<uintptr_t>& codes, uintptr_t code) {
        return std::find(codes.begin(), codes.end(), code) != codes.end();
    }

    DescriptionTree tree;
    PromptScope prompts;
    drivesim::DriveSim sim;
    platform::RecordingSink sink;
    std::string port;
    CMainApi api{0};
    CMain& engine = *api.Engine();
    int channel = -1;
    std::vector<uint8_t> image;
    std::string firmware;
};

TEST_F(FirmwareTest, PrepareOnceThenDownloadWithTheUnlock) {
    ASSERT_EQ(engine.StartFirmwarePrepare(firmware, sink.Handle(), 0, true), 0) << engine.ErrorText();
    auto codes = CodesUntil(38);
    EXPECT_EQ(codes, (std::vector<uintptr_t>{30, 38}));
    // The same file again: already prepared.
    sink.Clear();
    ASSERT_EQ(engine.StartFirmwarePrepare(firmware, sink.Handle(), 0, true), 0);
    codes = CodesUntil(38);
    EXPECT_EQ(codes, (std::vector<uintptr_t>{38}));

    sink.Clear();
    ASSERT_EQ(engine.StartFirmwareDownload(), 0) << engine.ErrorText();
    codes = CodesUntil(35);
    EXPECT_TRUE(Has(codes, 34));
    EXPECT_EQ(codes.back(), 35u);
    EXPECT_FALSE(Has(codes, 36));
    const auto domain = sim.Drive(1)->Domain(kFirmwareAddress);
    ASSERT_TRUE(domain.has_value());
    EXPECT_EQ(domain->bytes, image);
    // The key is back to 0 after the download; the image is freed.
    EXPECT_EQ(sim.Drive(1)->Register(kEnablingAddress).value_or(0xDEAD), 0);
    EXPECT_EQ(engine.StartFirmwareDownload(), 3);
    EXPECT_EQ(engine.ErrorText(), "firmware missing");
}

TEST_F(FirmwareTest, RefusalsAndAFailedDownload) {
    EXPECT_EQ(engine.StartFirmwarePrepare((tree.Root() / "none.fw").string(), sink.Handle(), 0, false), 0);
    CodesUntil(38);
    EXPECT_EQ(engine.StartFirmwareDownload(), 3);  // nothing loaded
    // A drive whose domain refuses writes: the thread ends with 36, the key reset.
    drivesim::SimDomain locked;
    locked.writable = false;
    sim.Drive(1)->SetDomain(kFirmwareAddress, locked);
    ASSERT_EQ(engine.StartFirmwarePrepare(firmware, sink.Handle(), 0, true), 0);
    CodesUntil(38);
    sink.Clear();
    ASSERT_EQ(engine.StartFirmwareDownload(), 0);
    const auto codes = CodesUntil(36);
    EXPECT_EQ(codes.back(), 36u);
    EXPECT_EQ(sim.Drive(1)->Register(kEnablingAddress).value_or(0xDEAD), 0);
    // The node is free again.
    uint32_t value = 0;
    EXPECT_EQ(engine.ReadCell("device_type", &value), 0) << engine.ErrorText();
    EXPECT_EQ(value, 0x0192u);
}

// SDO segments over registers: the transfer mode asks for them.
TEST_F(FirmwareTest, RegisterTransferPostsProgressDownToTheEnd) {
    dynamic_cast<CModbusChannelDriver&>(*engine.Channel(channel)->driver).transferMode = 2;
    struct Case {
        size_t size;
        bool progress;
    } cases[] = {{3, false}, {700, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        image.resize(c.size);
        std::ofstream(firmware, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        // Up to 4 bytes go as a plain write of two registers into the object's 4 bytes.
        sim.Drive(1)->SetSdoObject(kFirmwareAddress, drivesim::SimSdoObject{std::vector<uint8_t>(4, 0xFF)});
        ASSERT_EQ(engine.StartFirmwarePrepare(firmware, sink.Handle(), 0, false), 0) << engine.ErrorText();
        CodesUntil(38);
        sink.Clear();
        ASSERT_EQ(engine.StartFirmwareDownload(), 0) << engine.ErrorText();
        const auto codes = CodesUntil(35);
        ASSERT_GE(codes.size(), 4u);
        EXPECT_EQ(codes[0], 31u);
        EXPECT_EQ(codes[1], 32u);
        EXPECT_EQ(codes.back(), 35u) << engine.ErrorText();
        EXPECT_EQ(codes[codes.size() - 2], 34u);
        // 700 bytes: a notice about every 100 bytes, with the bytes still to go.
        std::vector<intptr_t> left;
        for (const platform::Message& m : sink.Messages())
            if (m.msg == foundation::kFirmwareDownloadMessage && m.wParam == 33) left.push_back(m.lParam);
        if (c.progress) {
            EXPECT_GE(left.size(), 5u);
            EXPECT_LE(left.size(), 7u);
            EXPECT_TRUE(std::is_sorted(left.rbegin(), left.rend()));
        } else {
            EXPECT_TRUE(left.empty());
        }
        const auto object = sim.Drive(1)->SdoObject(kFirmwareAddress);
        ASSERT_TRUE(object.has_value());
        ASSERT_GE(object->bytes.size(), image.size());
        EXPECT_EQ(std::vector<uint8_t>(object->bytes.begin(), object->bytes.begin() + image.size()), image);
    }
}

TEST_F(FirmwareTest, RegisterTransferAbortedMidWay) {
    dynamic_cast<CModbusChannelDriver&>(*engine.Channel(channel)->driver).transferMode = 2;
    image.assign(4000, 0x42);
    std::ofstream(firmware, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    sim.Drive(1)->SetSdoObject(kFirmwareAddress, drivesim::SimSdoObject{});
    ASSERT_EQ(engine.StartFirmwarePrepare(firmware, sink.Handle(), 0, true), 0);
    CodesUntil(38);
    sink.Clear();
    ASSERT_EQ(engine.StartFirmwareDownload(), 0);
    // Abort once the first progress notice came.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    bool started = false;
    while (!started && std::chrono::steady_clock::now() < end) {
        platform::PumpMessages();
        for (const platform::Message& m : sink.Messages())
            started = started || (m.msg == foundation::kFirmwareDownloadMessage && m.wParam == 33);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_TRUE(started);
    EXPECT_EQ(engine.AbortDownUpload(), 0);
    const auto codes = CodesUntil(36);
    EXPECT_EQ(codes.back(), 36u);
    EXPECT_FALSE(Has(codes, 34));
    EXPECT_EQ(engine.ErrorText(), "operation aborted by the user");
    EXPECT_GE(sim.Drive(1)->Stats().sdoAborts, 1);
    EXPECT_NE(sim.Drive(1)->SdoObject(kFirmwareAddress)->bytes, image);
    // The key went back to 0 after the aborted download.
    EXPECT_EQ(sim.Drive(1)->Register(kEnablingAddress).value_or(0xDEAD), 0);
}

}  // namespace
