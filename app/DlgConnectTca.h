#pragma once
// The TwinCAT device dialog: the EtherCAT devices behind an ADS router, read by
// transport::CTwincatDeviceScan, and the choice of the one to connect.

#include <memory>
#include <string>
#include <vector>

#include "engine/AdsChannelDriver.h"
#include "platform/ui/ControlHost.h"
#include "transport/TwincatDeviceScan.h"

namespace app {

enum : int {
    IDC_TCA_INFO = 1268,
    IDC_TCA_NODES = 1492,
};

// Text colour of a device that cannot be connected.
constexpr uint32_t kTcaGreyText = 0x808080;

class CDlgConnectTca : public platform::ui::Dialog {
  public:
    CDlgConnectTca(transport::CTwincatAds& ads, const AdsNetId& netId);
    ~CDlgConnectTca() override;

    // Valid after IDOK.
    uint16_t Address() const { return address_; }

    // For tests.
    int Rows() const;
    std::string Cell(int row, int column) const;
    bool RowIsGrey(int row) const;
    bool SelectRow(int row);
    bool ScanEnded() const { return ended_; }

  protected:
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnDestroy() override;

  private:
    void OnScanEnded();
    void OnRowSelected();

    std::unique_ptr<transport::CTwincatDeviceScan> scan_;
    transport::CTwincatAds& ads_;
    std::vector<transport::CBusNodeData> devices_;
    uint16_t address_ = 0;
    bool ended_ = false;
};

// The engine's hook: the device dialog for the TwinCAT channel's interactive open.
class CTcaDialogShell : public engine::CTcaDeviceShell {
  public:
    int SelectDevice(transport::CTwincatAds& ads, uint16_t* address) override;
};

}  // namespace app
