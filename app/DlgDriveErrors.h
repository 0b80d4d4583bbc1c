#pragma once
// The drive errors window ("Show errors"): the drive's active errors and warnings as a tree,
// refreshed every 2 s, with the fault reset. And the small "Write errors report" window.

#include <memory>
#include <string>
#include <vector>

#include "app/DriveErrorTree.h"
#include "platform/Prompt.h"
#include "platform/ui/ControlHost.h"

class wxTreeCtrl;

namespace drive {
class CQd;
}  // namespace drive

namespace app {

enum : int {
    IDC_ERRORS_TREE = 502,
    IDC_ERRORS_PAUSE = 1101,
    IDC_ERRORS_RESET = 1027,
    IDC_ERRORS_ESI = 1028,
    IDC_ERRORS_HISTORY = 1102,
    IDC_ERRORS_HELP = 9,
    IDC_ERRORS_CLOSE = platform::IDCANCEL,
};
constexpr unsigned kErrorsTimer = 1234;
constexpr unsigned kErrorsPeriodMs = 2000;
constexpr const char* kErrorsHelpTopic = "Tunova.chm::/ID_PAR_ErrorStatus.html";

class CdlgErrorDialog : public platform::ui::Dialog, private CErrorTreeView {
  public:
    // errorList (the drive description's, or the built-in one) stays valid as long as the
    // window; null shows that the description is missing. resetAllowed enables "Reset errors".
    CdlgErrorDialog(drive::CQd& qd, const foundation::CXmlNode* errorList, bool resetAllowed);
    ~CdlgErrorDialog() override;

    // Showing refreshes and starts the timer (unless paused); hiding stops it.
    void ShowWindow(bool show);
    void RefreshTree();
    // Long drive operations stop the refresh and start it again afterwards.
    void StopRefreshTimer();
    void StartRefreshTimer();
    bool RefreshTimerRunning() const { return HasTimer(kErrorsTimer); }
    // The reset as the button runs it; true when the drive took every write.
    bool ResetErrors();

    wxTreeCtrl* Tree() const;
    // The tree as text, one line per item: two blanks per depth, the title and "[image]".
    std::vector<std::string> TreeLines() const;

  protected:
    bool OnInitDialog() override;
    void OnTimer(unsigned id) override;
    void OnOK() override { ShowWindow(false); }
    void OnCancel() override { ShowWindow(false); }

  private:
    // CErrorTreeView: the tree control.
    intptr_t AddItem(intptr_t parent, const std::string& title, int image) override;
    void RemoveItem(intptr_t item) override;
    void SetItemImage(intptr_t item, int image) override;
    void Expand(intptr_t item) override;
    void RemoveAll() override;
    void OnPause();

    drive::CQd& qd_;
    bool resetAllowed_;
    CErrorTree tree_;
    bool busy_ = false;
};

class CdlgErrorsReport : public platform::ui::Dialog {
  public:
    CdlgErrorsReport();
    // The caller sets both before DoModal; lines is not owned.
    std::string caption;
    const std::vector<std::string>* lines = nullptr;
    // The edit's text: each line followed by CR LF.
    static std::string Text(const std::vector<std::string>& lines);

  protected:
    bool OnInitDialog() override;
};
constexpr int IDC_ERRORS_REPORT_EDIT = 1000;

}  // namespace app
