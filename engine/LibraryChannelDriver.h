#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>

#include "engine/ChannelDriver.h"
#include "engine/GroupChannel.h"
#include "engine/Linkora.h"
#include "engine/NodeGuard.h"

namespace engine {

// Channel type 5: CANopen nodes through the fieldbus channel library, loaded from the program
// folder when the channel is first connected. A node's address is its library channel id.
// Settings: word 0 server IPv4 (first number in the most significant byte), 1 bus type
// (2 CANopen, 4 EtherCAT, 1 Modbus), 2 bus number, 3 node id; all seven words are kept.
class CLibraryChannelDriver : public CChannelDriver, public CGroupChannel, public CGuardedChannel {
  public:
    CLibraryChannelDriver(CMain& owner, int channelIndex, std::string libraryPath);

    int Type() const override { return channel_type::kLibrary; }
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

    CLinkora& Library() { return linkora_; }
    // The answer time-out of every transfer (ms); 0 leaves it to the library.
    void SetTimeoutMs(uint32_t ms) { timeoutMs_ = ms; }
    uint32_t TimeoutMs() const { return timeoutMs_; }

  private:
    // The library channel connected, or its status good: 0, else the code.
    int Ready();
    int Timeout() const { return static_cast<int>(std::min<uint32_t>(timeoutMs_.load(), INT32_MAX)); }

    CLinkora linkora_;
    CChannelSettings settings_;
    int probe_ = -1;
    std::atomic<uint32_t> timeoutMs_{0};
};

}  // namespace engine
