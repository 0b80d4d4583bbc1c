#pragma once

#include <atomic>
#include <cstdint>

#include "engine/ChannelDriver.h"
#include "engine/GroupChannel.h"
#include "engine/NodeGuard.h"
#include "transport/BridgeCodesys.h"

namespace engine {

// Channel type 6: CANopen and EtherCAT nodes behind a fieldbus bridge, reached over TCP. The
// channel is opened interactively (the bridge connection dialog); a node's address is the
// bridge manager's node handle.
// Settings: word 0 bridge IPv4 (first number in the most significant byte), 1 bus type
// (2 CANopen, 4 EtherCAT), 2 bus number, 3 node id; all seven words are kept.
class CBridgeChannelDriver : public CChannelDriver, public CGroupChannel, public CGuardedChannel {
  public:
    CBridgeChannelDriver(CMain& owner, int channelIndex);

    int Type() const override { return channel_type::kBridge; }
    bool Test(uint8_t nodeAddress) override;
    int Identify(uint8_t nodeId, foundation::CCompatChecker& checker, CIdentification& out) override;
    int ReadItem(const VocabularyItem& item, uint32_t* value, uint8_t nodeId, bool wordOrder) override;
    int WriteItem(const VocabularyItem& item, const uint32_t* value, uint8_t nodeId, bool wordOrder) override;
    int UploadCell(const VocabularyItem& item, void* buffer, uint32_t* byteCount, uint8_t nodeId) override;
    int DownloadCell(const VocabularyItem& item, const void* data, uint32_t byteCount,
                     uint8_t nodeId) override;
    int Configure(const CChannelSettings& settings) override;
    int GetConfig(CChannelSettings& settings) override;
    int OpenInteractive(const CChannelSettings& settings, uintptr_t parentWindow) override;
    int Close() override;

    int GroupCreate(uint32_t nodeAddress, platform::WindowHandle window, unsigned message, Callback callback,
                    void* context) override;
    int GroupRemove(int group) override;
    int GroupRemoveAll() override;
    int GroupExecute(uint32_t nodeAddress, int group, int32_t cycleMs) override;
    int GroupStop(int group) override;
    int GroupExecuteOnce(uint32_t nodeAddress, int group) override;
    int GroupClear(int* group) override;
    int VariableAdd(uint32_t nodeAddress, int* group, const VocabularyItem& item, int direction, void* value,
                    int32_t size, uint32_t flags, void* result, uint32_t* extra) override;
    int GroupAddItem(uint32_t nodeAddress, int group, const VocabularyItem& item, int direction, void* value,
                     uint32_t size, CCellHolder* holder, int32_t* resultWord) override;
    int VariableRemove(int group, int variable) override;
    int VariableRemoveAll(int group) override;

    int GuardArm(CNodo& node) override;
    bool GuardAlive(CNodo& node) override;
    bool GuardBroken() override;
    int GuardPrepare(CNodo& node) override;
    void GuardClose() override;

    // --- firmware and transfer aborts
    // The abort message on the current node's bridge connection; the result of the send, -1 without one.
    int SendAbort();
    bool CurrentNodeIsCanOpen();
    // The current node's time-out (ms), 0 without a node.
    uint32_t CurrentNodeTimeoutMs();
    // Writes a data block of the bridge into the item, in a group of its own; failures as "Writing
    // address 0x%x.%x" with the bridge's error.
    int WriteBlock(const VocabularyItem& item, uint16_t block, uint32_t timeoutMs);
    // "Vkr Fieldbus Bridge" report of the cyclic reads: the nodes and the state of every bridge client.
    std::string Report();

    transport::CBridgeCodesys& Manager() { return manager_; }
    // A floor under the nodes' own answer time-outs (ms) for every transfer; 0: the nodes' own.
    void SetTimeoutMs(uint32_t ms) { timeoutMs_ = ms; }
    uint32_t TimeoutMs() const { return timeoutMs_; }
    static transport::CBridgeItem ItemOf(const VocabularyItem& item);

  private:
    // The current node when its bridge is connected, else null.
    transport::CBridgeNode* Connected();
    int NoNode();

    transport::CBridgeCodesys manager_;
    CChannelSettings settings_;
    std::atomic<uint32_t> timeoutMs_{0};
};

}  // namespace engine
