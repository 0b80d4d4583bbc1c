#pragma once
// "Download firmware": the firmware images available for the connected drive, and the download of
// the chosen one with its progress. What it decides lives in packages/FirmwareDownload.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "packages/FirmwareDownload.h"
#include "platform/ui/ControlHost.h"

namespace drive {
class CQd;
}  // namespace drive

namespace packages::ui {

enum : int {
    IDC_FWDL_LIST = 1001,
    IDC_FWDL_STATUS = 1002,
    IDC_FWDL_PROGRESS = 1003,
    IDC_FWDL_DOWNLOAD = 1004,
    IDC_FWDL_REFRESH = 1005,
    IDC_FWDL_DETAILS = 1006,
    IDC_FWDL_SYSINFO = 1007,
    IDC_FWDL_DRIVE_INFO = 1008,
    IDC_FWDL_USER_FIRMWARE = 1009,
};

class CdlgDownloadFirmware : public platform::ui::Dialog, public CFirmwareDownloadView {
  public:
    // The details dialog and the user firmware dialog belong to other windows; unset, their buttons
    // do nothing.
    static inline std::function<void(platform::ui::Dialog& parent, const CFirmwareEntry& entry)> showDetails;
    static inline std::function<void(platform::ui::Dialog& parent, drive::CQd& qd)> showUserFirmware;

    CdlgDownloadFirmware(drive::CQd& qd, int mode);
    ~CdlgDownloadFirmware() override;

    // The list as shown; selecting a row as a click does.
    const std::vector<CFirmwareEntry>& Entries() const { return entries_; }
    void SetEntries(std::vector<CFirmwareEntry> entries);
    void SelectRow(int row);
    int SelectedRow() const;
    CFirmwareDownloadLogic& Logic() { return *logic_; }
    const std::string& DriveInfo() const { return driveInfo_; }

  protected:
    bool OnInitDialog() override;
    void OnCancel() override;

  private:
    void Refresh();
    void FillList();
    void OnDownloadButton();
    void ShowDriveInfo();

  public:
    // CFirmwareDownloadView
    void SetStatus(const std::string& text) override;
    void ShowBar(bool show) override;
    void SetRange(int low, int high) override;
    void SetPosition(int position) override;
    void SetButton(const std::string& text, bool enabled) override;
    void EnableControls(bool enable) override;
    void Close(int code) override;

  private:
    drive::CQd& qd_;
    CQdFirmwareDownloadDrive drive_;
    std::unique_ptr<CFirmwareDownloadLogic> logic_;
    std::vector<CFirmwareEntry> entries_;
    std::string driveInfo_;
    int low_ = 0;
};

}  // namespace packages::ui
