#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Messages.h"
#include "transport/BridgeNodeLog.h"
#include "transport/BridgeStatusText.h"
#include "transport/BridgeVkr.h"
#include "transport/ErrorPair.h"
#include "transport/NodeIdentification.h"

namespace foundation {
class CCompatChecker;
}  // namespace foundation

namespace transport {

class CBridgeCodesys;

// What the manager needs of a drive variable: its name and bus address.
struct CBridgeItem {
    std::string name;
    uint16_t index = 0;
    uint8_t subIndex = 0;
    bool hasBusAddress = true;
    bool isSigned = false;
};

// A node connected through a bridge.
struct CBridgeNode {
    uint8_t busId = 0;
    uint16_t nodeId = 0;
    uint16_t busType = 0;  // 2 CANopen, 4 EtherCAT
    uint32_t timeoutMs = 0;
    uint32_t handle = 0;
    CBridgeVkr* bridge = nullptr;  // not owned
    CBridgeCodesys* manager = nullptr;
    // Failed transfers of the node, and their lines while the status window captures them.
    CBridgeNodeLog log;

    bool IsCanOpen() const { return busType == 2; }
};

// What the engine's firmware thread hands to the FoE download.
struct CBridgeDownloadContext {
    platform::WindowHandle window = 0;
    unsigned message = 0;
    uint16_t block = 0;
    bool foe = false;
};

// The shell's bridge dialogs: the wait dialog shown while connecting and the modal
// connection dialog. Without a shell of its own a manager takes the program's (SetDefaultShell);
// without either the prompt service's "ConnectBridge" dialog is asked.
class CBridgeShell {
  public:
    virtual ~CBridgeShell() = default;
    virtual void ShowWait(const std::string& text) = 0;
    virtual void CloseWait() = 0;
    // IDOK keeps the connection.
    virtual int ConnectDialog(CBridgeCodesys& manager, CBridgeVkr& bridge) = 0;
};

// A status window the shell may attach; the manager only closes and deletes it.
class CBridgeStatusWindow {
  public:
    virtual ~CBridgeStatusWindow() = default;
    virtual bool IsWindow() const = 0;
    virtual void Close() = 0;
};

// Waits of the node operations; tests shorten them.
struct CBridgeManagerTimings {
    uint32_t afterDownloadMs = 2000;
    uint32_t statePollMs = 100;
    uint32_t stateChangeMs = 2000;
    uint32_t walkMs = 10000;
};

// Channel object of the fieldbus bridge (channel type 6): one client per bridge address,
// the nodes connected through them, and the node operations. Errors go to the owner's
// error pair.
class CBridgeCodesys {
  public:
    static constexpr int kNodeError = -304;
    static constexpr int kCellNotFound = -303;
    static constexpr int kNodeInUse = bridge_status::kNodeInUse;

    explicit CBridgeCodesys(CErrorPair* owner);
    virtual ~CBridgeCodesys();
    CBridgeCodesys(const CBridgeCodesys&) = delete;
    CBridgeCodesys& operator=(const CBridgeCodesys&) = delete;

    void SetShell(CBridgeShell* shell) { shell_ = shell; }
    // The program's shell, for every manager without one of its own; null removes it.
    static void SetDefaultShell(CBridgeShell* shell);
    static CBridgeShell* DefaultShell();
    void SetStatusWindow(std::unique_ptr<CBridgeStatusWindow> window) { statusWindow_ = std::move(window); }
    void DestroyStatusWindow();
    // Port of new bridge connections (4560 unless a test moves it) and their waits.
    void SetBridgePort(uint16_t port) { port_ = port; }
    void SetBridgeTimings(const CBridgeTimings& timings) { bridgeTimings_ = timings; }
    void SetTimings(const CBridgeManagerTimings& timings) { timings_ = timings; }

    // The node of the next connection: bridge IPv4 address (first octet most significant),
    // bus type (1, 2 CANopen, 4 EtherCAT), bus number and node id.
    void SelectNode(uint32_t address, uint16_t busType, uint8_t busNumber, uint16_t nodeId);
    void SelectAddress(uint32_t address) { address_ = address; }
    uint32_t defaultTimeoutMs = 2000;

    // The connection dialog's answer (IDOK: the chosen node is the selected one), or IDCANCEL
    // when the bridge could not be reached.
    int Connect(uint32_t address);
    uint16_t SelectedBusType() const { return busType_; }
    uint8_t SelectedBusNumber() const { return busNumber_; }
    uint16_t SelectedNodeId() const { return nodeId_; }
    CBridgeVkr* ConnectBridge();
    CBridgeNode* NodeConnect(uint32_t handle);
    int IdentifyNode(foundation::CCompatChecker* checker, uint32_t* handle, NodeIdentRecord* identity,
                     uint32_t* mode, uint32_t* flag, uint32_t* build);
    void NodeDisconnect(uint32_t handle);
    CBridgeNode* FindNode(uint32_t handle);
    void RemoveBridge(CBridgeVkr* bridge);
    void RemoveAll();

    bool CheckCell(const CBridgeItem& item);
    int ReadCell(uint32_t handle, const CBridgeItem& item, void* buffer, uint32_t size, uint32_t timeoutMs);
    // Writes on the current node; size is in/out.
    int WriteCell(const CBridgeItem& item, const void* data, uint32_t* size, uint32_t timeoutMs);
    // direction 1 writes. Four bytes use the four-byte commands (reads report to notify).
    int GroupAddItem(uint32_t handle, int group, const CBridgeItem& item, int direction, void* value,
                     uint32_t size, uint32_t* statusOut, const CBridgeNotify* notify, uint32_t* sizeOut);
    int GroupExecute(uint32_t handle, int group, uint32_t cycleMs);
    void GroupClear(int group);
    int GroupRemove(int group);

    int SetSlaveState(CBridgeVkr& bridge, int group, uint16_t state, uint16_t* stateOut);
    bool WalkSlaveState(CBridgeVkr& bridge, int group, uint16_t target);
    int CreateDataBlock(const void* data, uint32_t length, uint16_t* block);
    int DestroyDataBlock(uint16_t block);
    int FoEDownload(const CBridgeItem& item, const CBridgeDownloadContext& context, uint32_t* statusOut,
                    uint32_t timeoutMs);
    int SetEepromConfiguration(uint32_t handle, uint8_t* bit);

    int SetError(CBridgeVkr& bridge, const std::string& operation, uint32_t status);
    int ReportError(uint32_t status, const std::string& operation);

    // Callbacks of the compatibility checker; the context is the CBridgeNode.
    static void VersionBrowse(std::string& error, void* context, int command, int parameter, int* response);
    static void ReadIdentity(std::string& error, void* context, uint32_t* code, uint32_t* major,
                             uint32_t* minor, uint32_t* patch, uint32_t* preState, uint32_t* preNumber);

    uint32_t CurrentNode() const { return currentNode_; }
    CBridgeNode* CurrentNodeRecord() { return FindNode(currentNode_); }
    int LastResult() const { return lastResult_; }
    int LastCode() const { return lastCode_; }
    const std::string& ErrorText() const { return errorText_; }
    size_t BridgeCount() const { return bridges_.size(); }
    size_t NodeCount() const { return nodes_.size(); }
    CBridgeVkr* Bridge(size_t i) { return i < bridges_.size() ? bridges_[i].get() : nullptr; }
    const std::vector<std::unique_ptr<CBridgeNode>>& Nodes() const { return nodes_; }

  private:
    int Fail(int code, const std::string& text);
    // Runs one command in a temporary group; the exchange code.
    int RunTemporary(CBridgeVkr& bridge, std::unique_ptr<CCmd> command, uint32_t timeoutMs);
    void RaiseCellTime(CBridgeVkr& bridge, int64_t measuredMs, size_t commands);
    int IdentifyInner(CBridgeNode& node, foundation::CCompatChecker& checker, NodeIdentRecord* identity,
                      uint32_t* mode, uint32_t* build);
    void Post(const CBridgeDownloadContext& context, uintptr_t what);
    void Pause(uint32_t ms);

    CErrorPair* owner_;
    CErrorPair ownError_;
    CBridgeShell* shell_ = nullptr;
    std::unique_ptr<CBridgeStatusWindow> statusWindow_;
    uint16_t port_ = CBridgeVkr::kDefaultPort;
    CBridgeTimings bridgeTimings_;
    CBridgeManagerTimings timings_;
    std::vector<std::unique_ptr<CBridgeVkr>> bridges_;
    std::vector<std::unique_ptr<CBridgeNode>> nodes_;
    uint32_t currentNode_ = 0;
    uint32_t handleCounter_ = 0;
    uint32_t address_ = 0;
    uint16_t busType_ = 2;
    uint8_t busNumber_ = 0;
    uint16_t nodeId_ = 1;
    int lastResult_ = 0;
    int lastCode_ = 0;
    std::string errorText_;
};

}  // namespace transport
