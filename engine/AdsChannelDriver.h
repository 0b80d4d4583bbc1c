#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "engine/ChannelDriver.h"
#include "engine/GroupChannel.h"
#include "engine/NodeGuard.h"
#include "transport/TwincatAds.h"

namespace engine {

// The program's TwinCAT device dialog: picks one EtherCAT device of the router's master through
// the channel; IDOK with its address. The engine is below the windows, so the program installs it.
class CTcaDeviceShell {
  public:
    virtual ~CTcaDeviceShell() = default;
    virtual int SelectDevice(transport::CTwincatAds& ads, uint16_t* address) = 0;
};
// Null removes it; without one the prompt service's "ConnectTca" dialog is asked.
void SetTcaDeviceShell(CTcaDeviceShell* shell);

// Channel type 7: EtherCAT drives through the ADS router. The channel keeps its own groups and
// group thread; a node's address is the slave's AMS port.
// Settings: the first six bytes are the router's NetId; the engine keeps six words.
class CAdsChannelDriver : public CChannelDriver, public CGroupChannel, public CGuardedChannel {
  public:
    CAdsChannelDriver(CMain& owner, int channelIndex, std::string libraryPath);

    int Type() const override { return channel_type::kAds; }
    bool Present() override;
    bool Available() override;
    bool Test(uint8_t nodeAddress) override;
    int Identify(uint8_t nodeId, foundation::CCompatChecker& checker, CIdentification& out) override;
    int ReadItem(const VocabularyItem& item, uint32_t* value, uint8_t nodeId, bool wordOrder) override;
    int WriteItem(const VocabularyItem& item, const uint32_t* value, uint8_t nodeId, bool wordOrder) override;
    int UploadCell(const VocabularyItem& item, void* buffer, uint32_t* byteCount, uint8_t nodeId) override;
    int DownloadCell(const VocabularyItem& item, const void* data, uint32_t byteCount,
                     uint8_t nodeId) override;
    int Configure(const CChannelSettings& settings) override;
    int GetConfig(CChannelSettings& settings) override;
    // Keeps the router address and asks the user for the slave (the device dialog, or the
    // "ConnectTca" prompt: IDOK with the slave's AMS port as selection). The chosen slave goes into
    // the channel's settings (word 1, upper half) for the connect dialog to read back.
    int OpenInteractive(const CChannelSettings& settings, uintptr_t parentWindow) override;
    int Close() override;

    // Groups.
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

    // Node guard.
    int GuardArm(CNodo& node) override;
    bool GuardAlive(CNodo& node) override;
    bool GuardBroken() override;
    int GuardPrepare(CNodo& node) override;
    void GuardClose() override;

    transport::CTwincatAds& Ads() { return ads_; }
    // The answer time-out of every transfer (ms); the router's default holds when it is longer.
    void SetTimeoutMs(uint32_t ms) { timeoutMs_ = ms; }
    uint32_t TimeoutMs() const { return timeoutMs_; }
    static transport::CAdsItem ItemOf(const VocabularyItem& item);

  private:
    // Points the requests at the node's slave (0 keeps the dialog's choice).
    void Target(uint32_t slave);
    int Transfer(int rc);

    transport::CTwincatAds ads_;
    std::string libraryPath_;
    CChannelSettings settings_;
    int present_ = -1;
    std::atomic<uint32_t> timeoutMs_{0};
};

}  // namespace engine
