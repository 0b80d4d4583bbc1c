#pragma once
// What the firmware download dialog does, apart from its window: the confirmations before a
// download, the two progress tables (the engine's direct download and the system manager's send,
// unpack and reboot) and the workers of the system-manager path.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "drive/FirmwareUpdate.h"
#include "engine/DownloadFw.h"
#include "platform/Clock.h"
#include "platform/Messages.h"
#include "platform/Thread.h"

namespace drive {
class CQd;
}  // namespace drive

namespace packages {

constexpr const char* kDownloadCaption = "Download firmware";
constexpr const char* kUnpackProgressCell = "FirmwareUnpackProgress";
constexpr int kUnpackTimeoutCode = -52;
constexpr int kInterruptedCloseCode = -304;
constexpr int64_t kUnpackLimitMs = 40000;
constexpr int64_t kUnpackStepMs = 300;
constexpr int64_t kRebootFirstWaitMs = 2000;
constexpr int64_t kRebootStepMs = 1000;
constexpr int64_t kRebootLimitMs = 120000;

// One firmware image the list offers.
struct CFirmwareEntry {
    std::string description, product, version;
    int role = 0;  // 2: boot image
    bool prerelease = false;
    // Empty: compatible with the drive.
    std::string incompatibility;
    // Empty: this program handles the firmware.
    std::string requirement;
    std::string file;
    std::string sendCommand, installCommand;
    // The hardware the image is for (0: not stated).
    int32_t hardwareCode = 0;
    std::string info;
};

// What the dialog needs of the drive and the engine. The window-thread operations come first; the
// last five are called by the workers.
class CFirmwareDownloadDrive {
  public:
    virtual ~CFirmwareDownloadDrive() = default;
    virtual bool HasEngine() = 0;
    virtual bool HasSystemManager() = 0;
    virtual bool KnowsCommand(const std::string& name) = 0;
    // 0 when the system-manager command ran (started, for argument 1).
    virtual int RunCommand(const std::string& name, int argument) = 0;
    virtual void PauseBackgroundReads() = 0;
    virtual void ResumeBackgroundReads() = 0;
    virtual int PrepareFirmware(const std::string& file, platform::WindowHandle window,
                                bool noSystemManager) = 0;
    virtual int StartDownload(bool release, uint32_t delayMs) = 0;
    virtual void AbortDownload() = 0;
    // Through the drive's message report (which adds the drive's last error).
    virtual void Report(const std::string& text, const std::string& caption) = 0;
    virtual bool IsXulFamily() = 0;
    virtual int32_t HardwareCode() = 0;

    virtual int SendFirmware(engine::CDownloadFw& request) = 0;
    // 0 when the drive has the cell, -303 when it has not.
    virtual int HasCell(const std::string& name) = 0;
    virtual int ReadCell(const std::string& name, uint32_t* value) = 0;
    virtual bool SystemManagerBusy() = 0;
    virtual bool DeviceAnswers() = 0;
};

// The dialog's window as the logic drives it.
class CFirmwareDownloadView {
  public:
    virtual ~CFirmwareDownloadView() = default;
    virtual void SetStatus(const std::string& text) = 0;
    virtual void ShowBar(bool show) = 0;
    virtual void SetRange(int low, int high) = 0;
    virtual void SetPosition(int position) = 0;
    virtual void SetButton(const std::string& text, bool enabled) = 0;
    // The list and the buttons beside the download button.
    virtual void EnableControls(bool enable) = 0;
    virtual void Close(int code) = 0;
};

struct CFirmwareDownloadOptions {
    bool debug = false;              // program option "debug"
    bool featureWarningOff = false;  // "DontDisplayConnect"
    std::string programVersion;
};

class CFirmwareDownloadLogic {
  public:
    CFirmwareDownloadLogic(CFirmwareDownloadDrive& drive, CFirmwareDownloadView& view,
                           platform::WindowHandle window, platform::Clock& clock,
                           CFirmwareDownloadOptions options = {});
    // Stops and joins the workers before the request they share goes.
    ~CFirmwareDownloadLogic();
    CFirmwareDownloadLogic(const CFirmwareDownloadLogic&) = delete;
    CFirmwareDownloadLogic& operator=(const CFirmwareDownloadLogic&) = delete;

    // The download button while it reads "Download" (entry null: nothing selected).
    void OnDownload(const CFirmwareEntry* entry);
    // The download button while it reads "Abort".
    void OnAbort();
    bool Running() const { return running_; }
    void ResetToIdle();
    intptr_t OnDownloadProgress(uintptr_t state, intptr_t value);
    intptr_t OnInstallProgress(uintptr_t state, intptr_t value);
    // Cancels the workers (and the engine's send) and waits for them.
    void Stop();
    // The dialog goes without an end state: workers stopped, polling given back.
    void Abandon();
    bool WorkersRunning() const;
    const engine::CDownloadFw* Request() const { return request_.get(); }

    // The confirmations; false when the user (or the rules) abandoned.
    bool Confirm(const CFirmwareEntry& entry);

  private:
    void Pause();
    void ResumeOnce();
    void Close(int code);
    bool StartSendWorker();
    bool StartUnpackWorker();
    bool StartRebootWorker();
    void SendWorker(platform::StopToken& token);
    void UnpackWorker(platform::StopToken& token);
    void RebootWorker(platform::StopToken& token);
    // Sleeps ms in steps of at most 100 ms; false when a stop came.
    bool Wait(platform::StopToken& token, int64_t ms);
    void PostInstall(uintptr_t state, intptr_t value);

    CFirmwareDownloadDrive& drive_;
    CFirmwareDownloadView& view_;
    platform::WindowHandle window_;
    platform::Clock& clock_;
    CFirmwareDownloadOptions options_;
    std::string file_;
    std::string installCommand_;
    bool paused_ = false;
    bool running_ = false;
    bool closed_ = false;
    // Handed to the send worker; touched by the window thread only while no worker runs.
    std::unique_ptr<engine::CDownloadFw> request_;
    std::atomic<int64_t> unpackElapsedMs_{0};
    // Declared last: joined before anything they use goes.
    platform::Thread sendThread_;
    platform::Thread unpackThread_;
    platform::Thread rebootThread_;
};

// The dialog's drive side over the drive object. busy runs a long drive wait on the window thread
// (the window layer's busy window); empty: directly.
class CQdFirmwareDownloadDrive : public CFirmwareDownloadDrive {
  public:
    explicit CQdFirmwareDownloadDrive(drive::CQd& qd) : qd_(qd) {}
    std::function<int(const std::string& text, std::function<int()> work)> busy;

    bool HasEngine() override;
    bool HasSystemManager() override;
    bool KnowsCommand(const std::string& name) override;
    int RunCommand(const std::string& name, int argument) override;
    void PauseBackgroundReads() override;
    void ResumeBackgroundReads() override;
    int PrepareFirmware(const std::string& file, platform::WindowHandle window,
                        bool noSystemManager) override;
    int StartDownload(bool release, uint32_t delayMs) override;
    void AbortDownload() override;
    void Report(const std::string& text, const std::string& caption) override;
    bool IsXulFamily() override;
    int32_t HardwareCode() override;
    int SendFirmware(engine::CDownloadFw& request) override;
    int HasCell(const std::string& name) override;
    int ReadCell(const std::string& name, uint32_t* value) override;
    bool SystemManagerBusy() override;
    bool DeviceAnswers() override;

  private:
    drive::CQd& qd_;
};

// The list's entries from the index of known configuration files ("<Vocabularies>"): the firmware
// and boot files of the drive's hardware, each judged against the drive's components; firmware
// before boot images, newer before older.
std::vector<CFirmwareEntry> ListFirmwareEntries(
    const foundation::CXmlDocument& index, int32_t hardwareCode, foundation::CCompatChecker& checker,
    const std::function<std::filesystem::path(const foundation::CXmlNode&)>& entryFile);

// The drive object's update check reads firmware files through the container reader.
drive::FirmwareInfoReader FirmwareContainerReader();

}  // namespace packages
