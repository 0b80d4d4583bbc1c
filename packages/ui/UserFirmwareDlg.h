#pragma once
// "Additional firmwares": the user's own firmware description files, one folder per
// configuration-file source. A worker scans the shown folder; the dialog fills the list from
// what it posts. Import (button or dropped files), remove, remove all, export, open the folder.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/BrandList.h"
#include "packages/UserFirmware.h"
#include "platform/Prompt.h"
#include "platform/ui/ControlHost.h"

namespace platform::ui {
class WxPromptService;
}

namespace packages::ui {

enum : int {
    IDC_UFW_LIST = 1001,
    IDC_UFW_TABS = 1093,
    IDC_UFW_TEXT = 1094,
    IDC_UFW_FOLDER = 1095,
    IDC_UFW_DETAILS = 1096,
    IDC_UFW_IMPORT = 1097,
    IDC_UFW_REMOVE = 1098,
    IDC_UFW_REMOVE_ALL = 1099,
    IDC_UFW_EXPORT = 1100,
    IDC_UFW_OPEN_FOLDER = 1101,
};

class CUserFirmwareDlg : public platform::ui::Dialog {
  public:
    explicit CUserFirmwareDlg(const foundation::CBrandList& sources);
    ~CUserFirmwareDlg() override;

    // The file and folder choosers and the shell; tests replace them.
    std::function<std::vector<std::filesystem::path>()> chooseImportFiles;
    std::function<std::optional<std::filesystem::path>()> chooseExportFolder;
    std::function<bool(const std::filesystem::path&)> openFolder;

    // Imports each file as a dropped or chosen one is, then rescans.
    void ImportFiles(const std::vector<std::filesystem::path>& files);
    void ShowTab(int index);
    const std::filesystem::path& Folder() const { return folder_; }
    // True once the list shows the whole result of the last scan asked for.
    bool ScanDone() const { return shown_ == requested_ && shownComplete_; }
    // The list's rows, columns separated by "|".
    std::vector<std::string> RowTexts() const;
    void SelectRows(const std::vector<int>& rows);
    std::vector<std::string> SelectedFiles() const;
    bool WorkerRunning() const { return scanner_ && scanner_->IsRunning(); }

  protected:
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnDestroy() override;

  private:
    void Rescan();
    void OnScanResult(uint64_t request);
    void Remove();
    void RemoveAll();
    void Export();
    void ReportErrors(const std::vector<std::string>& errors);
    void StopWorker();

    const foundation::CBrandList& sources_;
    int source_ = -1;
    std::filesystem::path folder_;
    std::unique_ptr<CUserFirmwareScanner> scanner_;
    uint64_t requested_ = 0;
    uint64_t shown_ = 0;
    bool shownComplete_ = false;
};

// Lets the program's windows open the dialog by the prompt kind "UserFirmware".
void RegisterUserFirmwareDialog(platform::ui::WxPromptService& prompts);

// The firmware download dialog's "Details" and "User firmware" buttons open these windows.
void InstallFirmwareDownloadButtons();

}  // namespace packages::ui
