// Node operations of the bridge manager end to end against the simulated bridge.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "BridgeTestUtil.h"
#include "foundation/CompatChecker.h"
#include "platform/Messages.h"
#include "platform/Prompt.h"
#include "transport/BridgeCodesys.h"

using namespace foundation;
using namespace transport;

namespace {

using namespace bridge_test;
using drivesim::BridgeSimNode;

constexpr uint32_t kLoopback = 0x7F000001;

class BridgeManager : public ::testing::Test {
  protected:
    void SetUp() override {
        server = StartServer();
        AddStandardNodes(*server);
        manager = MakeManager();
    }
    std::unique_ptr<CBridgeCodesys> MakeManager() {
        auto m = std::make_unique<CBridgeCodesys>(&owner);
        m->SetBridgePort(static_cast<uint16_t>(server->Port()));
        m->SetBridgeTimings(FastTimings());
        CBridgeManagerTimings t;
        t.afterDownloadMs = 0;
        t.statePollMs = 10;
        m->SetTimings(t);
        return m;
    }
    void TearDown() override {
        manager.reset();
        server->Stop();
    }

    CErrorPair owner;
    std::unique_ptr<drivesim::BridgeServer> server;
    std::unique_ptr<CBridgeCodesys> manager;
};

TEST_F(BridgeManager, IdentifiesLegacyCanOpenNode) {
    manager->SelectNode(kLoopback, 2, 0, 5);
    CCompatChecker checker;
    uint32_t handle = 0, mode = 0, flag = 9, build = 0;
    NodeIdentRecord identity;
    ASSERT_EQ(manager->IdentifyNode(&checker, &handle, &identity, &mode, &flag, &build), 0) << owner.Text();
    EXPECT_EQ(handle, 1u);
    EXPECT_EQ(manager->CurrentNode(), 1u);
    EXPECT_EQ(identity.hardwareCode, 77u);
    EXPECT_EQ(identity.firmwareCode, 1200u);
    EXPECT_EQ(identity.firmwareVersion, 5u);
    EXPECT_EQ(mode, 2u);
    EXPECT_EQ(build, 3u);
    EXPECT_EQ(flag, 0u);
    EXPECT_EQ(checker.GetHardwareIdentity().code, 77);
    // The same bus type and node id give the same record.
    EXPECT_EQ(manager->NodeConnect(0)->handle, 1u);
}

TEST_F(BridgeManager, IdentifiesEtherCatNodeFromTexts) {
    manager->SelectNode(kLoopback, 4, 0, 0x1001);
    CCompatChecker checker;
    uint32_t handle = 0, mode = 0, build = 0;
    NodeIdentRecord identity;
    ASSERT_EQ(manager->IdentifyNode(&checker, &handle, &identity, &mode, nullptr, &build), 0) << owner.Text();
    EXPECT_EQ(identity.hardwareCode, 77u);
    EXPECT_EQ(identity.firmwareCode, 1300u);
    EXPECT_EQ(identity.firmwareVersion, 4u);
    EXPECT_EQ(mode, 2u);
}

TEST_F(BridgeManager, ConnectionFailuresSayWhy) {
    struct Case {
        uint16_t busType;
        uint8_t busNumber;
        uint16_t node;
        int code;
        const char* text;
    } cases[] = {
        {3, 0, 5, -304, "Bus type not supported"},
        {2, 1, 5, -304, "Bridge connected but fieldbus not found"},
        {2, 0, 9, -304, "Bridge running; CANopen running; node 9 not found"},
        {4, 0, 0x2002, -304, "Bridge running; EtherCAT running; node 8194 not found"},
    };
    for (const Case& c : cases) {
        manager->SelectNode(kLoopback, c.busType, c.busNumber, c.node);
        EXPECT_EQ(manager->NodeConnect(0), nullptr);
        EXPECT_EQ(owner.Code(), c.code);
        EXPECT_EQ(owner.Text(), c.text);
    }
    server->WithNode(2, 0x1001, [](BridgeSimNode* n) { n->state = 1; });
    manager->SelectNode(kLoopback, 4, 0, 0x1001);
    EXPECT_EQ(manager->NodeConnect(0), nullptr);
    EXPECT_EQ(owner.Text(), "Bridge running; EtherCAT running; node 4097 found but is in 'Bootstrap' state");

    server->WithNode(1, 5, [](BridgeSimNode* n) { n->objects[0x5FFDu << 8 | 14] = {1, 0}; });
    manager->SelectNode(kLoopback, 2, 0, 5);
    uint32_t handle = 0;
    EXPECT_EQ(manager->IdentifyNode(nullptr, &handle, nullptr, nullptr, nullptr, nullptr), -304);
    EXPECT_EQ(owner.Text(), "Node does not exist or unknown");

    CBridgeCodesys nowhere(&owner);
    nowhere.SetBridgePort(1);
    nowhere.SelectNode(kLoopback, 2, 0, 5);
    EXPECT_EQ(nowhere.NodeConnect(0), nullptr);
    EXPECT_EQ(owner.Code(), -304);
}

TEST_F(BridgeManager, LockedNodeReportsTheHolder) {
    manager->SelectNode(kLoopback, 2, 0, 5);
    ASSERT_NE(manager->NodeConnect(0), nullptr);
    auto second = MakeManager();
    second->SelectNode(kLoopback, 2, 0, 5);
    EXPECT_EQ(second->NodeConnect(0), nullptr);
    EXPECT_EQ(owner.Code(), -23);
    EXPECT_EQ(owner.Text(), "Node is in use by client 127.0.0.1");
    // Disconnecting unlocks: the other client gets the node.
    manager->NodeDisconnect(1);
    EXPECT_EQ(manager->BridgeCount(), 0u);
    EXPECT_NE(second->NodeConnect(0), nullptr) << owner.Text();
}

TEST_F(BridgeManager, ReadAndWriteCells) {
    manager->SelectNode(kLoopback, 2, 0, 5);
    uint32_t handle = 0;
    ASSERT_EQ(manager->IdentifyNode(nullptr, &handle, nullptr, nullptr, nullptr, nullptr), 0) << owner.Text();
    CBridgeItem position{"Position", 0x6064, 0};
    uint32_t value = 0;
    EXPECT_EQ(manager->ReadCell(handle, position, &value, 4, 0), 0);
    EXPECT_EQ(value, 0x12345678u);
    CBridgeItem target{"Target", 0x607A, 0};
    const uint32_t wanted = 1000;
    uint32_t size = 4;
    EXPECT_EQ(manager->WriteCell(target, &wanted, &size, 0), 0);
    EXPECT_EQ(manager->ReadCell(handle, target, &value, 4, 0), 0);
    EXPECT_EQ(value, wanted);

    CBridgeItem missing{"Missing", 0x2222, 1};
    EXPECT_EQ(manager->ReadCell(handle, missing, &value, 4, 0), 0x06020000);
    EXPECT_EQ(owner.Text(), "Reading address 0x2222.1: SDO: object does not exist (0x06020000)");
    server->WithNode(1, 5, [](BridgeSimNode* n) { n->readOnly[0x607Au << 8] = true; });
    EXPECT_EQ(manager->WriteCell(target, &wanted, &size, 0), 0x06010002);
    EXPECT_EQ(owner.Text(),
              "Writing address 0x607a.0: SDO: attempt to write a read only object (0x06010002)");
    CBridgeItem noAddress{"Virtual", 0, 0, false};
    EXPECT_EQ(manager->ReadCell(handle, noAddress, &value, 4, 0), -303);
    EXPECT_EQ(owner.Text(), "Can cell 'Virtual' not found");

    server->InjectFault({drivesim::BridgeFault::Drop, 0, 1});
    EXPECT_EQ(manager->ReadCell(handle, position, &value, 4, 0), 4370);
    EXPECT_EQ(owner.Text(), "Reading address 0x6064.0: Timeout waiting message response");
}

TEST_F(BridgeManager, GroupItemsOnceAndCyclic) {
    manager->SelectNode(kLoopback, 4, 0, 0x1001);
    CBridgeNode* node = manager->NodeConnect(0);
    ASSERT_NE(node, nullptr) << owner.Text();
    server->WithNode(2, 0x1001, [](BridgeSimNode* n) { n->SetU16(0x6041, 0, 0xFFFE); });
    const int group = node->bridge->GroupCreate(0, 0);
    uint32_t status = 7, word = 0, size = 0;
    CBridgeItem statusWord{"StatusWord", 0x6041, 0, true, true};
    EXPECT_GT(manager->GroupAddItem(node->handle, group, statusWord, 0, &word, 4, &status, nullptr, &size),
              0);
    uint8_t text[6] = {};
    uint32_t textStatus = 7;
    CBridgeItem name{"Name", 0x1009, 0};
    server->WithNode(2, 0x1001, [](BridgeSimNode* n) { n->SetText(0x1009, 0, "Drive"); });
    EXPECT_GT(manager->GroupAddItem(node->handle, group, name, 0, text, 5, &textStatus, nullptr, nullptr), 0);
    EXPECT_EQ(manager->GroupExecute(node->handle, group, 0), 0);
    EXPECT_EQ(word, 0xFFFFFFFEu) << "a signed two-byte value is sign-extended";
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(text)), "Drive");
    EXPECT_EQ(manager->GroupAddItem(node->handle, 999, statusWord, 0, &word, 4, &status, nullptr, nullptr),
              4374);
    EXPECT_EQ(manager->GroupAddItem(77, group, statusWord, 0, &word, 4, &status, nullptr, nullptr), 0);
    EXPECT_EQ(manager->GroupExecute(77, group, 0), 4373);
}

TEST_F(BridgeManager, WalkFromInitToPreOperationalPassesThroughBootstrapRules) {
    manager->SelectNode(kLoopback, 4, 0, 0x1001);
    CBridgeNode* node = manager->NodeConnect(0);
    ASSERT_NE(node, nullptr);
    server->WithNode(2, 0x1001, [](BridgeSimNode* n) {
        n->state = 2;
        n->stateHistory.clear();
    });
    const int group = node->bridge->GroupCreate(0, 0);
    EXPECT_TRUE(manager->WalkSlaveState(*node->bridge, group, 3));
    std::vector<uint16_t> history;
    server->WithNode(2, 0x1001, [&](BridgeSimNode* n) { history = n->stateHistory; });
    EXPECT_EQ(history, (std::vector<uint16_t>{4, 3}));
    EXPECT_FALSE(manager->WalkSlaveState(*node->bridge, group, 6));
}

TEST_F(BridgeManager, DataBlocksAndFoEDownload) {
    manager->SelectNode(kLoopback, 4, 0, 0x1001);
    uint32_t handle = 0;
    ASSERT_EQ(manager->IdentifyNode(nullptr, &handle, nullptr, nullptr, nullptr, nullptr), 0) << owner.Text();
    const std::vector<uint8_t> image(3000, 0x5A);
    uint16_t block = 0;
    ASSERT_EQ(manager->CreateDataBlock(image.data(), static_cast<uint32_t>(image.size()), &block), 0);
    EXPECT_GT(block, 0);
    platform::RecordingSink sink;
    CBridgeDownloadContext context{sink.Handle(), platform::WM_USER + 9, block, true};
    uint32_t status = 7;
    CBridgeItem item{"download_firmware", 0x1F50, 1};
    EXPECT_EQ(manager->FoEDownload(item, context, &status, 5000), 0) << owner.Text();
    EXPECT_EQ(status, 0u);
    std::vector<uint8_t> file;
    std::string fileName;
    uint16_t state = 0;
    server->WithNode(2, 0x1001, [&](BridgeSimNode* n) {
        file = n->foeFile;
        fileName = n->foeName;
        state = n->state;
    });
    EXPECT_EQ(file, image);
    EXPECT_EQ(fileName, "Firmware");
    EXPECT_EQ(state, 5) << "walked back to the state before the download";
    platform::PumpMessages();
    std::vector<uintptr_t> steps;
    for (const auto& m : sink.Messages()) steps.push_back(m.wParam);
    EXPECT_EQ(steps, (std::vector<uintptr_t>{40, 41, 34, 42}));
    EXPECT_EQ(manager->DestroyDataBlock(block), 0);
    EXPECT_NE(manager->DestroyDataBlock(block), 0);
    EXPECT_EQ(owner.Text(), "Err. 4294967274 writing destroying data block");
}

TEST_F(BridgeManager, EepromBitOnEtherCatOnly) {
    manager->SelectNode(kLoopback, 4, 0, 0x1001);
    CBridgeNode* node = manager->NodeConnect(0);
    ASSERT_NE(node, nullptr);
    uint8_t bit = 1;
    EXPECT_EQ(manager->SetEepromConfiguration(node->handle, &bit), 0);
    EXPECT_EQ(bit, 0) << "the previous bit comes back";
    uint8_t esc = 0;
    server->WithNode(2, 0x1001, [&](BridgeSimNode* n) { esc = n->esc[0x500]; });
    EXPECT_EQ(esc, 1);
    manager->SelectNode(kLoopback, 2, 0, 5);
    CBridgeNode* can = manager->NodeConnect(0);
    ASSERT_NE(can, nullptr);
    EXPECT_EQ(manager->SetEepromConfiguration(can->handle, &bit), -1);
}

TEST_F(BridgeManager, InteractiveConnectAsksTheDialog) {
    platform::ScriptedPrompts prompts;
    platform::SetPromptService(&prompts);
    prompts.PushAnswer(platform::IDCANCEL);
    manager->Connect(kLoopback);
    EXPECT_EQ(manager->BridgeCount(), 0u) << "cancel removes the bridge";
    prompts.PushAnswer(platform::IDOK);
    manager->Connect(kLoopback);
    EXPECT_EQ(manager->BridgeCount(), 1u);
    manager->RemoveAll();
    manager->SetBridgePort(1);
    manager->Connect(kLoopback);
    const auto asked = prompts.Asked();
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[0].kind, "ConnectBridge");
    EXPECT_EQ(asked[2].caption, "Error connecting to bridge");
    platform::SetPromptService(nullptr);
}

TEST_F(BridgeManager, CreateDataBlockWithoutCurrentNodeMakesNoExchange) {
    uint16_t block = 0;
    EXPECT_EQ(manager->CreateDataBlock("x", 1, &block), -1);
    EXPECT_EQ(server->Frames(), 0u);
}

}  // namespace
