#pragma once
// The diagnosis history window: the drive's messages, kept current by a poll thread.

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "drive/DiagHistory.h"
#include "drive/DiagHistoryPoll.h"
#include "platform/Thread.h"
#include "platform/ui/ControlHost.h"

class wxImageList;

namespace controls {
class CGridCtrl;
}
namespace drive {
struct CDriveSettings;
}

namespace app {

enum : int {
    IDC_DIAG_GRID = 1998,
    IDC_DIAG_TOTAL = 1324,
    IDC_DIAG_OPTIONS = 1310,
    IDC_DIAG_COPY = 1311,
    IDC_DIAG_UPDATE = 1312,
    IDC_DIAG_AUTO = 1319,
    IDC_DIAG_RESET_SORT = 1313,
    IDC_DIAG_DELETE = 1314,
    IDC_DIAG_SET_TIME = 1315,
    IDC_DIAG_SYNC = 1316,
    IDC_DIAG_ACK = 1317,
    IDC_DIAG_STATUS = 1268,
    IDC_DIAG_CLOSE = 1,
};

enum : uintptr_t {
    kDiagNewMessages = 1,
    kDiagAckChanged = 2,
    kDiagStatus = 3,
    kDiagUploadDone = 4,
    kDiagFormatChanged = 5,
};

struct DiagHistoryOptions {
    bool iso = false;
    bool microseconds = false;
    int32_t periodMs = 2000;
    bool background = false;
};

// Reads and writes the options in the program-wide settings ("DiagHistory").
DiagHistoryOptions DiagOptionsFrom(const drive::CDriveSettings& settings);
void StoreDiagOptions(const DiagHistoryOptions& options, drive::CDriveSettings& settings);

class CDiagHistOpt : public platform::ui::Dialog {
  public:
    explicit CDiagHistOpt(const DiagHistoryOptions& options);
    DiagHistoryOptions options;

  protected:
    void DoDataExchange(platform::ui::DataExchange& dx) override;
};

class CdlgDiagHistory : public platform::ui::Dialog {
  public:
    // source and driveData stay valid as long as the window; runCommand clears the drive's
    // logger ("Delete"); false or empty when the drive offers no such command.
    CdlgDiagHistory(drive::IDiagHistorySource& source, const foundation::CXmlNode* driveData,
                    DiagHistoryOptions options);
    ~CdlgDiagHistory() override;

    std::function<void(const DiagHistoryOptions&)> saveOptions;
    std::function<bool()> clearLogger;
    std::function<int64_t()> nowUnixSeconds;

    // Shows the window; the first showing reads the whole history.
    void ShowWindow(bool show);
    bool StartPollThread();
    bool PausePollThread(uint32_t timeoutMs);
    void StopPollThread();
    // Ends both threads and waits for them (before the drive object goes).
    void StopThreads();

    controls::CGridCtrl* Grid() const { return grid_.get(); }
    // The text "Copy all" puts on the clipboard.
    std::string CopyAllText() const;
    const DiagHistoryOptions& Options() const { return options_; }
    bool PollRunning() const { return poll_.Running(); }
    bool Uploading() const { return uploadRunning_.load(); }

  protected:
    bool OnInitDialog() override;
    void OnOK() override { ShowWindow(false); }
    void OnCancel() override { ShowWindow(false); }
    void OnDestroy() override;

  private:
    void OnHistoryMessage(uintptr_t code);
    void StartUpload();
    void UploadThread();
    void PollPass();
    void PostStatus(const std::string& text);
    void AddMessageRow(const drive::CDiagHistoryMsg& msg);
    void SortRows();
    void UpdateTotal();
    void ColumnHeaders();
    void OnUpdate(bool acknowledge);
    void OnCopyAll();
    void OnOptions();
    void OnAutoUpdate();
    void OnSetTimestamp();
    void OnDelete();
    void OnSynchronize();

    drive::IDiagHistorySource& source_;
    drive::DiagTextMap texts_;
    DiagHistoryOptions options_;
    drive::DiagHistoryLayout layout_;
    std::atomic<bool> layoutOk_{false};
    std::atomic<uint64_t> offsetNs_{0};
    drive::CDiagHistoryPoller poller_;  // the poll thread's, or the window's while paused
    std::unique_ptr<controls::CGridCtrl> grid_;
    std::unique_ptr<wxImageList> images_;
    intptr_t arrival_ = 0;
    std::map<intptr_t, drive::CDiagHistoryMsg> rowMessages_;  // by arrival number
    bool shownOnce_ = false;

    // Handed from the threads to the window.
    mutable std::mutex mutex_;
    std::vector<drive::CDiagHistoryMsg> uploaded_;
    std::vector<drive::CDiagHistoryMsg> fresh_;
    std::vector<std::string> statusTexts_;
    uint32_t ackFromPoll_ = 0;

    std::atomic<bool> uploadRunning_{false};
    platform::Thread upload_;
    drive::CDiagHistoryPollThread poll_;
};

}  // namespace app
