// "Select..." of a bridge or TwinCAT port: the engine asks the program's dialog through its hook
// and keeps the choice in the channel's settings, where the connect dialog reads it back.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "engine/AdsChannelDriver.h"
#include "engine/BridgeChannelDriver.h"
#include "engine/Main.h"
#include "engine/MainApi.h"
#include "platform/Prompt.h"
#include "tests/engine/FieldbusTestSupport.h"
#include "tools/drivesim/AdsServer.h"
#include "tools/drivesim/BridgeServer.h"
#include "transport/BridgeVkr.h"

using namespace engine;
using namespace enginetest;

namespace {

class ChooseDevice : public CTcaDeviceShell {
  public:
    int SelectDevice(transport::CTwincatAds& ads, uint16_t* address) override {
        netId = ads.TargetNetId();
        *address = 1002;
        return platform::IDOK;
    }
    AdsNetId netId{};
};

class ChooseNode : public transport::CBridgeShell {
  public:
    void ShowWait(const std::string&) override {}
    void CloseWait() override {}
    int ConnectDialog(transport::CBridgeCodesys& manager, transport::CBridgeVkr& bridge) override {
        buses = bridge.BusList().size();
        manager.SelectNode(bridge.Address(), 4, 0, 0x1001);
        manager.defaultTimeoutMs = 700;
        return platform::IDOK;
    }
    size_t buses = 0;
};

TEST(ConnectDialogHooks, TheTwinCatDeviceDialogsChoiceIsTheChannelsSlave) {
    DescriptionTree tree;
    PromptScope prompts;
    PutInProgramFolder(tree, TUNOVA_ADS_LIBRARY, "libTcAdsDll.so");
    UseFieldbusDescription(tree);
    drivesim::AdsServer server;
    server.AddSlave(1002);
    std::string error;
    const int port = server.Start(0, &error);
    ASSERT_GT(port, 0) << error;
    const auto routes = tree.Root() / "temp" / "ads-routes";
    std::ofstream(routes) << "local 10.9.8.7.1.1\n5.1.2.3.1.1 127.0.0.1 " << port << "\n";
    setenv("TUNOVA_ADS_ROUTES", routes.c_str(), 1);
    {
        CMainApi api{0};
        CMain& engine = *api.Engine();
        CChannelInfo info;
        engine.CreateChannels(info);
        const int channel = FindChannel(engine, "TwinCAT");
        ASSERT_GE(channel, 0);
        ASSERT_EQ(api.SelectChannel(channel), 0);
        CChannelSettings settings;
        const uint8_t netId[6] = {5, 1, 2, 3, 1, 1};
        std::memcpy(settings.words.data(), netId, 6);
        ASSERT_EQ(api.ChannelConfigure(settings), 0);

        ChooseDevice dialog;
        SetTcaDeviceShell(&dialog);
        EXPECT_EQ(api.ChannelOpen(settings, 0), platform::IDOK);
        SetTcaDeviceShell(nullptr);
        EXPECT_EQ(std::memcmp(dialog.netId.b, netId, 6), 0);
        EXPECT_EQ(prompts.Prompts().AskedCount(), 0u);  // the dialog, not the prompt
        CChannelSettings back;
        ASSERT_EQ(api.GetChannelConfig(back), 0);
        EXPECT_EQ(back.words[1] >> 16, 1002u);
        EXPECT_EQ(back.words[1] & 0xFFFFu, settings.words[1] & 0xFFFFu);  // the NetId stays
        api.ChannelClose(-2);
    }
    unsetenv("TUNOVA_ADS_ROUTES");
    server.Stop();
}

TEST(ConnectDialogHooks, TheBridgeDialogsChoiceIsTheChannelsNode) {
    DescriptionTree tree;
    PromptScope prompts;
    UseFieldbusDescription(tree);
    drivesim::BridgeServer server;
    std::string error;
    ASSERT_GT(server.Start(0, &error), 0) << error;
    {
        CMainApi api{0};
        CMain& engine = *api.Engine();
        CChannelInfo info;
        engine.CreateChannels(info);
        const int channel = engine.AddChannel("Bridge", channel_type::kBridge, "");
        ASSERT_GE(channel, 0);
        ASSERT_EQ(api.SelectChannel(channel), 0);
        auto& driver = *static_cast<CBridgeChannelDriver*>(engine.Channel(channel)->driver.get());
        driver.Manager().SetBridgePort(static_cast<uint16_t>(server.Port()));
        CChannelSettings settings;
        settings.words = {0x7F000001, 2, 0, 5, 2000, 0, 0};
        ASSERT_EQ(api.ChannelConfigure(settings), 0);

        ChooseNode dialog;
        transport::CBridgeCodesys::SetDefaultShell(&dialog);
        EXPECT_EQ(api.ChannelOpen(settings, 0), platform::IDOK) << engine.ErrorText();
        transport::CBridgeCodesys::SetDefaultShell(nullptr);
        EXPECT_EQ(dialog.buses, 2u);
        CChannelSettings back;
        ASSERT_EQ(api.GetChannelConfig(back), 0);
        EXPECT_EQ(back.words[0], 0x7F000001u);
        EXPECT_EQ(back.words[1], 4u);
        EXPECT_EQ(back.words[2], 0u);
        EXPECT_EQ(back.words[3], 0x1001u);
        EXPECT_EQ(back.words[4], 700u);
        api.ChannelClose(-2);
    }
    server.Stop();
}

}  // namespace
