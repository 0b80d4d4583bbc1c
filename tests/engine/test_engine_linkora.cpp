#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/GroupRecords.h"
#include "engine/LibraryChannelDriver.h"
#include "engine/Main.h"
#include "engine/MainApi.h"
#include "foundation/CompatChecker.h"
#include "platform/Messages.h"
#include "tests/engine/FieldbusTestSupport.h"
#include "tools/drivesim/CommServer.h"

using namespace foundation;
using namespace engine;
using namespace enginetest;

namespace {

constexpr uint16_t kNetwork = 1;
constexpr uint16_t kNode = 5;
constexpr unsigned kChanged = platform::WM_USER + 60;

drivesim::CanObject Text(const std::string& text) {
    drivesim::CanObject o;
    o.data.assign(text.begin(), text.end());
    o.domain = true;
    return o;
}

// The engine's library channel: the library of the program folder, connected to the
// communication server of the simulated drive with one CANopen node.
class LinkoraEngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PutInProgramFolder(tree, TUNOVA_LINKORA_LIB, "libLinkora.so");
        UseFieldbusDescription(tree);
        setenv("TUNOVA_GVTCLI_TIMEOUT_MS", "5000", 1);
        std::string error;
        ASSERT_GT(server.Start(0, &error), 0) << error;
        setenv("TUNOVA_GVTSVR_PORT", std::to_string(server.Port()).c_str(), 1);
        server.AddNode(kNetwork, kNode);
        server.SetValue(kNetwork, kNode, 0x5FFD, 0x0E, 6871, 2);
        server.SetValue(kNetwork, kNode, 0x5FF2, 0x01, 1, 2);
        server.SetObject(kNetwork, kNode, 0x100A, 0, Text("Firmware 3 v.2.1.0"));
        server.SetObject(kNetwork, kNode, 0x1009, 0, Text("Hardware 7 v.1.0.0"));
        server.SetValue(kNetwork, kNode, 0x5FFD, 0x01, 1, 2);
        server.SetValue(kNetwork, kNode, 0x2002, 0, 0x1234, 2);
        server.SetValue(kNetwork, kNode, 0x2004, 0, 0xFFFFFFFE, 4);
        server.SetValue(kNetwork, kNode, 0x2006, 1, 0x80, 1);
        server.SetValue(kNetwork, kNode, 0x2007, 0, 7, 2);
        drivesim::CanObject block;
        block.data.assign(300, 0x5A);
        block.domain = true;
        server.SetObject(kNetwork, kNode, 0x2010, 0, block);

        CChannelInfo info;
        engine.CreateChannels(info);
        channel = FindChannel(engine, "Linkora");
        ASSERT_GE(channel, 0);
        ASSERT_EQ(engine.Channel(channel)->present, 1);
        ASSERT_EQ(engine.Channel(channel)->available, 1);
        ASSERT_EQ(api.SelectChannel(channel), 0);
        CChannelSettings settings;
        settings.words = {0x7F000001, 2, kNetwork, kNode, 0, 0, 0};
        ASSERT_EQ(api.ChannelConfigure(settings), 0);
    }
    void TearDown() override {
        api.ChannelClose(-2);
        server.Stop();
        unsetenv("TUNOVA_GVTSVR_PORT");
        unsetenv("TUNOVA_GVTCLI_TIMEOUT_MS");
    }

    int Connect() {
        CCompatChecker checker;
        BSTR text = nullptr;
        uint32_t address = 0;
        const int rc = engine.NodeConnect(checker, &text, &address, kNode, channel);
        SysFreeString(text);
        return rc;
    }
    CLinkora& Library() {
        return static_cast<CLibraryChannelDriver*>(engine.Channel(channel)->driver.get())->Library();
    }

    DescriptionTree tree;
    PromptScope prompts;
    drivesim::CommServer server;
    platform::RecordingSink sink;
    CMainApi api{0};
    CMain& engine = *api.Engine();
    int channel = -1;
};

TEST_F(LinkoraEngineTest, LoadedOnlyWhenConnectedAndNodeIdentified) {
    EXPECT_FALSE(Library().IsLoaded());
    EXPECT_TRUE(engine.ChannelTest(channel));
    ASSERT_EQ(Connect(), 0) << engine.ErrorText();
    EXPECT_TRUE(Library().IsLoaded());
    const int slot = engine.FindNode(kNode, channel);
    ASSERT_GE(slot, 0);
    EXPECT_EQ(engine.Node(slot)->hardwareCode, 7u);
    EXPECT_EQ(engine.Node(slot)->softwareCode, 3u);
    EXPECT_EQ(engine.Node(slot)->softwareVersion, 2u);
}

TEST_F(LinkoraEngineTest, ForeignVendorAndBusTypesThatMakeNoChannel) {
    server.SetValue(kNetwork, kNode, 0x5FFD, 0x0E, 6870, 2);
    EXPECT_EQ(Connect(), -304);
    EXPECT_EQ(engine.ErrorText(), "Node does not exist or unknown");
    // Modbus is refused by the library: the definition is named in the text.
    CChannelSettings settings;
    settings.words = {0x7F000001, 1, kNetwork, kNode, 0, 0, 0};
    ASSERT_EQ(api.ChannelConfigure(settings), 0);
    EXPECT_EQ(Connect(), -1);
    EXPECT_EQ(engine.ErrorText(), "Error creating '" + Library().Definition() + "' channel");
    // The EtherCAT channel of the library never connects.
    settings.words[1] = 4;
    ASSERT_EQ(api.ChannelConfigure(settings), 0);
    EXPECT_NE(Connect(), 0);
    EXPECT_FALSE(engine.ErrorText().empty());
}

TEST_F(LinkoraEngineTest, NamedReadsWritesAndBlocks) {
    ASSERT_EQ(Connect(), 0) << engine.ErrorText();
    struct Case {
        const char* name;
        uint32_t expected;
    } reads[] = {{"Word16u", 0x1234}, {"Pos32", 0xFFFFFFFEu}, {"Byte8s", 0xFFFFFF80u}, {"ReadOnly16", 7}};
    for (const Case& c : reads) {
        uint32_t value = 0;
        EXPECT_EQ(engine.ReadCell(c.name, &value), 0) << c.name << " " << engine.ErrorText();
        EXPECT_EQ(value, c.expected) << c.name;
    }
    uint32_t value = 0xBEEF;
    EXPECT_EQ(engine.WriteCell("Word16u", &value), 0) << engine.ErrorText();
    EXPECT_EQ(server.ObjectData(kNetwork, kNode, 0x2002, 0), (std::vector<uint8_t>{0xEF, 0xBE}));
    EXPECT_EQ(engine.WriteCell("ReadOnly16", &value), -309);
    uint32_t back = 0;
    EXPECT_EQ(engine.ReadCell("NoBus16", &back), -303);

    std::vector<uint8_t> buffer(400);
    uint32_t count = static_cast<uint32_t>(buffer.size());
    ASSERT_EQ(engine.UploadCell("Block", buffer.data(), &count), 0) << engine.ErrorText();
    EXPECT_EQ(count, 300u);
    EXPECT_EQ(buffer[0], 0x5A);
    std::vector<uint8_t> data(64, 0x11);
    EXPECT_EQ(engine.DownloadCell("Block", data.data(), 64), 0) << engine.ErrorText();
    EXPECT_EQ(server.ObjectData(kNetwork, kNode, 0x2010, 0), data);
}

// The upload and firmware threads start the library's transfer queued and poll it to its end.
TEST_F(LinkoraEngineTest, QueuedUploadAndFirmwareDownload) {
    const std::filesystem::path file = tree.Root() / "tree" / "3_2_1_0.xml";
    std::stringstream s;
    s << std::ifstream(file).rdbuf();
    std::string xml = s.str();
    xml.insert(xml.find("</DICTIONARY>"),
               "\t\t<ITEM id=\"40\" name=\"download_firmware\" size=\"0\" canaddress=\"0x1F50.1\" read=\"0\" "
               "write=\"1\"/>\n");
    std::ofstream(file, std::ios::trunc) << xml;
    drivesim::CanObject target;
    target.domain = true;
    server.SetObject(kNetwork, kNode, 0x1F50, 1, target);
    ASSERT_EQ(Connect(), 0) << engine.ErrorText();
    ASSERT_EQ(engine.SelectNode(kNode, channel), 0);

    std::vector<uint8_t> buffer(300, 0);
    ASSERT_EQ(engine.StartDomainUpload("Block", buffer.data(), sink.Handle(), 0, 300), 0)
        << engine.ErrorText();
    auto codes = [&](unsigned message, uintptr_t last) {
        std::vector<uintptr_t> got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < end) {
            platform::PumpMessages();
            got.clear();
            for (const platform::Message& m : sink.Messages())
                if (m.msg == message) got.push_back(m.wParam);
            if (!got.empty() && got.back() == last && !engine.UploadRunning() &&
                !engine.FirmwareThreadsRunning())
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return got;
    };
    auto got = codes(foundation::kDomainUploadMessage, 22);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.front(), 24u);
    EXPECT_EQ(got.back(), 22u) << engine.ErrorText();
    EXPECT_EQ(buffer, std::vector<uint8_t>(300, 0x5A));

    std::vector<uint8_t> image(2000);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 3);
    const std::string firmware = (tree.Root() / "temp" / "drive.fw").string();
    std::ofstream(firmware, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    sink.Clear();
    ASSERT_EQ(engine.StartFirmwarePrepare(firmware, sink.Handle(), 0, false), 0) << engine.ErrorText();
    codes(foundation::kFirmwareDownloadMessage, 38);
    engine.DownloadDescriptor().waitAfterMs = 0;
    sink.Clear();
    ASSERT_EQ(engine.StartFirmwareDownload(), 0) << engine.ErrorText();
    got = codes(foundation::kFirmwareDownloadMessage, 35);
    ASSERT_GE(got.size(), 3u);
    EXPECT_EQ(got.front(), 32u);
    EXPECT_EQ(got[got.size() - 2], 34u);
    EXPECT_EQ(got.back(), 35u) << engine.ErrorText();
    EXPECT_EQ(server.ObjectData(kNetwork, kNode, 0x1F50, 1), image);
}

TEST_F(LinkoraEngineTest, GroupsOnceAndCyclicWithTheCallback) {
    ASSERT_EQ(Connect(), 0) << engine.ErrorText();
    uint32_t word = 0;
    int32_t result = -1;
    int group = -1;
    EXPECT_GE(engine.VariableAdd(0, 0, &group, "Word16u", 0, &word, 4, &result, nullptr), 0);
    EXPECT_GE(group, 0);
    EXPECT_EQ(engine.GroupExecuteOnce(0, 0, group), 0);
    EXPECT_EQ(word, 0x1234u);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(engine.GroupClear(&group), 0);

    const int g = engine.GroupCreate(0, 0, sink.Handle(), kChanged);
    ASSERT_GE(g, 0) << engine.ErrorText();
    CCellHolder holder;
    holder.status = 9;
    ASSERT_GE(engine.GroupAddReadCell(g, "Word16u", &holder), 0) << engine.ErrorText();
    ASSERT_EQ(engine.GroupExecute(g, 1, 20), 0);
    // The first run reports the holder, a changed value reports it again.
    const auto wait = [&](size_t n) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < end) {
            platform::PumpMessages();
            size_t got = 0;
            for (const platform::Message& m : sink.Messages())
                if (m.msg == kChanged && m.wParam == reinterpret_cast<uintptr_t>(&holder)) ++got;
            if (got >= n) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    };
    EXPECT_TRUE(wait(1));
    server.SetValue(kNetwork, kNode, 0x2002, 0, 0x4321, 2);
    EXPECT_TRUE(wait(2));
    EXPECT_EQ(engine.GroupStop(g), 0);
    EXPECT_EQ(holder.value, 0x4321u);
    EXPECT_EQ(holder.status, 0);
    EXPECT_EQ(engine.GroupRemove(g), 0);
    EXPECT_EQ(engine.GroupRemoveAll(), 0);
}

TEST_F(LinkoraEngineTest, GuardSeesTheChannel) {
    ASSERT_EQ(Connect(), 0) << engine.ErrorText();
    CNodo& node = *engine.Node(engine.FindNode(kNode, channel));
    auto& driver = *static_cast<CLibraryChannelDriver*>(engine.Channel(channel)->driver.get());
    ASSERT_TRUE(node.Lock());
    EXPECT_EQ(engine.ArmNodeGuard(*engine.Channel(channel), node), 0);
    EXPECT_TRUE(driver.GuardAlive(node));
    EXPECT_FALSE(driver.GuardBroken());
    driver.GuardClose();
    EXPECT_FALSE(driver.GuardAlive(node));
    EXPECT_TRUE(driver.GuardBroken());
    EXPECT_EQ(driver.GuardPrepare(node), 0);
    EXPECT_TRUE(driver.GuardAlive(node));
    node.Unlock();
}

}  // namespace

// A library lacking its last function is unloaded again and named in the error.
TEST(LinkoraBindingTest, MissingFunctionUnloadsAndEveryForwarderGivesMinus10) {
    DescriptionTree tree;
    CMainApi api{0};
    CMain& engine = *api.Engine();
    CLinkora binding(engine, TUNOVA_FIXTURES "/engine/fieldbus/no-such-library.so");
    EXPECT_FALSE(binding.Connect());
    EXPECT_EQ(engine.ErrorCode(), -11);
    EXPECT_EQ(binding.Probe(), 0);
    uint32_t status = 0;
    EXPECT_EQ(binding.ChannelStatus(&status), -10);
    EXPECT_EQ(binding.Read("2002.0", &status, 2, 1, nullptr), -10);
    EXPECT_EQ(binding.GroupCreate(nullptr, nullptr), -10);
}

// A library that loads but lacks the functions is unloaded again: listed, not available.
TEST(LinkoraBindingTest, LibraryWithoutTheFunctionsIsNamedAndUnloaded) {
    DescriptionTree tree;
    CMainApi api{0};
    CMain& engine = *api.Engine();
    CLinkora binding(engine, TUNOVA_ADS_LIBRARY);
    EXPECT_EQ(binding.Probe(), 1);
    EXPECT_FALSE(binding.Connect());
    EXPECT_EQ(engine.ErrorCode(), -11);
    EXPECT_EQ(engine.ErrorText(),
              std::string("function missing in ") + TUNOVA_ADS_LIBRARY + ", please update Linkora library");
    EXPECT_FALSE(binding.IsLoaded());
    EXPECT_EQ(binding.ChannelStatus(nullptr), -10);

    // In the program folder under the library's name: listed, but not available.
    PutInProgramFolder(tree, TUNOVA_ADS_LIBRARY, "libLinkora.so");
    CChannelInfo info;
    engine.CreateChannels(info);
    const int channel = FindChannel(engine, "Linkora");
    ASSERT_GE(channel, 0);
    EXPECT_EQ(engine.Channel(channel)->present, 1);
    EXPECT_EQ(engine.Channel(channel)->available, 0);
}
