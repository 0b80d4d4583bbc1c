#pragma once
// The maintenance dialogs' windows: permanent memory, system information and the safe state of the
// drive's PLC. What they do lives in DlgMaintenance.h.

#include <memory>
#include <string>
#include <vector>

#include "app/DlgMaintenance.h"
#include "platform/Clock.h"
#include "platform/ui/ControlHost.h"

namespace controls {
class CDlgItemResizer;
}  // namespace controls

namespace platform::ui {
class WxPromptService;
}  // namespace platform::ui

namespace app {

class CdlgPermanentMemory : public platform::ui::Dialog {
  public:
    // The layout is read from the drive object; the drive operations may be replaced (tests).
    explicit CdlgPermanentMemory(drive::CQd& qd, std::unique_ptr<CPermanentMemoryDrive> operations = nullptr);
    CdlgPermanentMemory(const PermanentMemoryFacts& facts, std::unique_ptr<CPermanentMemoryDrive> operations);
    ~CdlgPermanentMemory() override;

    const PermanentMemoryLayout& Layout() const { return layout_; }
    std::string HelpTopic() const;

  protected:
    bool OnInitDialog() override;
    void OnOK() override {}

  private:
    void Press(int id);

    PermanentMemoryLayout layout_;
    std::unique_ptr<CPermanentMemoryDrive> operations_;
};

class CDlgSysInfo : public platform::ui::Dialog {
  public:
    CDlgSysInfo(foundation::CCompatChecker& checker, std::string systemName,
                foundation::CCompatDrive* drive = nullptr);
    ~CDlgSysInfo() override;

    // The clipboard gets the XML element instead of the lines.
    bool xmlCopy = false;

    const SysInfoContent& Content() const { return content_; }
    // The texts of the tree, depth-first, each indented by three blanks per level.
    std::vector<std::string> TreeLines() const;
    // "Copy": false when the clipboard refused (the user was told).
    bool Copy();
    // The deferred read of the drive's components (WM_USER+2).
    void RefreshFromDrive();

  protected:
    bool OnInitDialog() override;
    void OnDestroy() override;

  private:
    void FillTree();

    foundation::CCompatChecker& checker_;
    std::string name_;
    foundation::CCompatDrive* drive_;
    SysInfoContent content_;
    std::unique_ptr<controls::CDlgItemResizer> resizer_;
};

class CDlgSysSafePlc : public platform::ui::Dialog {
  public:
    CDlgSysSafePlc(const SafePlcRequest& request, CSafePlcCommands& commands,
                   platform::Clock& clock = platform::SystemClock());
    ~CDlgSysSafePlc() override;

    CSafePlcProcedure& Procedure() { return procedure_; }
    std::string HelpTopic() const;
    // The IEC programming help's file name.
    std::string iecHelpFile = "IecProgramming.chm";

  protected:
    bool OnInitDialog() override;
    void OnCancel() override;
    void OnOK() override;
    void OnTimer(unsigned id) override;

  private:
    void Click(int id);
    void Show();

    SafePlcRequest request_;
    CSafePlcProcedure procedure_;
    bool errorShown_ = false;
};

// The question the system manager asks while a command waits for the PLC's safe state ("SysSafePlc"
// with its arguments) becomes the safe-state dialog on the drive object.
void RegisterMaintenanceDialogs(platform::ui::WxPromptService& prompts, drive::CQd& qd);

// The main dialog's "Permanent memory..." command: the dialog's result (kPermanentMemoryNodeLost
// when the node was lost).
int RunPermanentMemoryDialog(drive::CQd& qd, wxWindow* parent);
// The main frame's "System information" command.
void RunSystemInfoDialog(drive::CQd& qd, wxWindow* parent);

}  // namespace app
