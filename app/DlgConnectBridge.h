#pragma once
// The fieldbus bridge connection dialog: the bridge's buses, a scan of one of them for nodes, the
// choice of the node to connect, and the bus and bridge resets. The scan and resets live in
// transport::CBridgeNodeScan; this is their window.

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/ControlHost.h"
#include "transport/BridgeCodesys.h"
#include "transport/BridgeNodeScan.h"

namespace app {

enum : int {
    IDC_BRIDGE_PROGRESS = 511,
    IDC_BRIDGE_RESET_BRIDGE = 519,
    IDC_BRIDGE_DETAILS = 1028,
    IDC_BRIDGE_TIMINGS = 1147,
    IDC_BRIDGE_TIMEOUT = 1156,
    IDC_BRIDGE_RESET_BUS = 1174,
    IDC_BRIDGE_INFO = 1268,
    IDC_BRIDGE_SEARCH = 1283,
    IDC_BRIDGE_OPTIONS = 1285,
    IDC_BRIDGE_AUTO_SCAN = 1286,
    IDC_BRIDGE_SHOW_BUS = 1287,
    IDC_BRIDGE_BUS_LABEL = 1288,
    IDC_BRIDGE_NODES = 1492,
    IDC_BRIDGE_BUSES = 1493,
    IDC_BRIDGE_TIMEOUT_LABEL = 2160,
    IDC_BRIDGE_TIMEOUT_UNIT,
};

// "WizShowBus" and "WizAutoScan".
struct BridgeDialogOptions {
    bool showBus = true;
    bool autoScan = false;
};

// What "Connect" chose: the subnet type (2 CANopen, 4 EtherCAT), the bus number, the node and
// the scan time-out.
struct BridgeChoice {
    uint16_t subnetType = 0;
    uint8_t subnetNumber = 0;
    uint16_t node = 0;
    uint32_t timeoutMs = 0;
};

// The subnet type of a bus kind: 2 for CANopen, 4 for EtherCAT, 0 for others.
uint16_t SubnetTypeOfBusKind(uint8_t kind);
// "CANOpen", "EtherCAT" or "COM".
const char* BusKindName(uint8_t kind);

class CDlgConnectBridgeOpt : public platform::ui::Dialog {
  public:
    explicit CDlgConnectBridgeOpt(const BridgeDialogOptions& options);
    BridgeDialogOptions options;

  protected:
    void DoDataExchange(platform::ui::DataExchange& dx) override;
};

class CDlgConnectBridge : public platform::ui::Dialog {
  public:
    CDlgConnectBridge(transport::CBridgeVkr& bridge, BridgeDialogOptions& options);
    ~CDlgConnectBridge() override;

    // Valid after IDOK.
    const BridgeChoice& Choice() const { return choice_; }
    // The user restarted the bridge: the caller drops every bridge connection.
    bool BridgeWasReset() const { return bridgeReset_; }

    // For tests: the rows shown, and the scan's end.
    int NodeRows() const;
    std::string NodeCell(int row, int column) const;
    bool Scanning() const { return scan_ && scan_->Running(); }
    bool SelectBus(int row);
    bool SelectNode(int row);

  protected:
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnDestroy() override;

  private:
    void Search();
    void OnNodesFound();
    void OnProgress(uintptr_t position, intptr_t range);
    void OnNodeSelected();
    void OnBusSelected();
    void OnResetBus();
    void OnResetBridge();
    void OnDetails();
    void OnOptions();
    const transport::CBusInfo* SelectedBus() const;
    void StopScan();

    transport::CBridgeVkr& bridge_;
    BridgeDialogOptions& options_;
    bool showBus_ = true;  // as at initialisation
    std::unique_ptr<transport::CBridgeNodeScan> scan_;
    std::vector<transport::CBusNodeData> nodes_;  // the window thread's, one per node row
    const transport::CBusInfo* currentBus_ = nullptr;
    uint32_t timeoutMs_ = 2000;
    BridgeChoice choice_;
    bool bridgeReset_ = false;
};

// The program's bridge dialogs for the bridge manager (installed as the managers' default shell).
class CBridgeDialogShell : public transport::CBridgeShell {
  public:
    void ShowWait(const std::string&) override {}
    void CloseWait() override {}
    int ConnectDialog(transport::CBridgeCodesys& manager, transport::CBridgeVkr& bridge) override;

    BridgeDialogOptions options;
};

}  // namespace app
